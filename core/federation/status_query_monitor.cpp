#include "federation/status_query_monitor.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "federation/federation_manager.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* service_name = "status_query_monitor";

std::string host_name() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0) return std::string();
  return name;
}

// "3d 04:05:06"
std::string uptime_text(uint32_t seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%ud %02u:%02u:%02u", seconds / 86400, seconds / 3600 % 24, seconds / 60 % 60,
                seconds % 60);
  return text;
}

void print_connection(const char* what, const conn_status& c, std::ostream& out) {
  out << "  " << what << ": " << (c.state == conn_status::up ? "up" : "down") << ", sent " << c.packets_sent
      << " packets " << c.bytes_sent << " bytes, received " << c.packets_received << " packets " << c.bytes_received
      << " bytes, dropped " << c.packets_dropped << '\n';
}

}  // namespace

status_query_monitor::status_query_monitor(local_distribution_manager& ldm)
    : ldm_(ldm), identifier_(ldm.get_federation_manager().get_identifier()) {
  ldm_.get_stream_manager().join(stream);
  service_ = std::make_unique<stream_service>(&ldm_.get_stream_manager(), this, service_name);
}

status_query_monitor::~status_query_monitor() {
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
}

status_snapshot status_query_monitor::snapshot() const {
  status_snapshot s;
  s.version_banner = ldm_.get_version_banner();
  s.build_info = ldm_.get_build_info();
  s.uptime = static_cast<uint32_t>(std::min<uint64_t>(ldm_.get_uptime(), UINT32_MAX));
  s.federate = ldm_.get_federate();
  s.federate_name = ldm_.is_joined() ? ldm_.get_federate_name() : "";
  s.host_name = host_name();
  s.federation_name = ldm_.is_joined() ? ldm_.get_federation_name() : "";
  s.local_objects = ldm_.get_local_object_count();
  s.remote_objects = ldm_.get_remote_object_count();
  const stream_manager& streams = ldm_.get_stream_manager();
  s.uplink = streams.get_uplink_status();
  if (streams.is_router_running()) s.routers = streams.get_router_status();
  return s;
}

uint32_t status_query_monitor::ask() {
  if (queries_.size() == max_open_queries) queries_.pop_front();
  query& opened = queries_.emplace_back();
  opened.number = next_number_++;
  opened.asked_at = static_cast<int64_t>(std::time(nullptr));
  opened.answers.push_back(snapshot());
  send(status_message{.kind = status_kind::query, .querier = identifier_, .number = opened.number, .snapshot = {}});
  return opened.number;
}

void status_query_monitor::receive(int, unsigned char, ldm_buf* buffer) {
  status_message message = status_message::read(*buffer);
  if (message.kind == status_kind::query)
    answer(message);
  else
    collect(std::move(message));
}

void status_query_monitor::answer(const status_message& asked) {
  if (!spend_answer()) {
    ++drops_.rate_limited;
    return;
  }
  send(status_message{.kind = status_kind::answer, .querier = asked.querier, .number = asked.number,
                      .snapshot = snapshot()});
}

// The answers of one second of the scheduler's clock.
bool status_query_monitor::spend_answer() {
  const uint64_t second = ldm_.get_scheduler().get_clock().time() / 1000;
  if (second != answer_second_) {
    answer_second_ = second;
    answers_this_second_ = 0;
  }
  if (answers_this_second_ >= max_answers_per_second) return false;
  ++answers_this_second_;
  return true;
}

void status_query_monitor::collect(status_message&& answer) {
  if (answer.querier != identifier_) {
    ++drops_.not_ours;
    return;
  }
  auto open = std::find_if(queries_.begin(), queries_.end(), [&](const query& q) { return q.number == answer.number; });
  if (open == queries_.end()) {
    ++drops_.unknown_query;
    return;
  }
  if (open->answers.size() >= max_answers) {
    ++drops_.answers_full;
    return;
  }
  open->answers.push_back(std::move(answer.snapshot));
}

// Someone waits at a console for the answers: queries and answers leave at once rather than
// waiting for a bundle to fill. The answer rate keeps that cheap.
void status_query_monitor::send(const status_message& message) {
  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send_broadcast(stream, priority, buffer);
  buffer->release_buf();
  service_->flush(stream);
}

bool status_query_monitor::forget_query(uint32_t number) {
  return std::erase_if(queries_, [&](const query& q) { return q.number == number; }) > 0;
}

const status_query_monitor::query* status_query_monitor::find_query(uint32_t number) const {
  auto found = std::find_if(queries_.begin(), queries_.end(), [&](const query& q) { return q.number == number; });
  return found == queries_.end() ? nullptr : &*found;
}

void status_query_monitor::print_queries(std::ostream& out) const {
  for (const query& q : queries_) {
    const std::time_t asked = static_cast<std::time_t>(q.asked_at);
    char when[32] = {};
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::gmtime(&asked));
    out << "Query " << q.number << " asked " << when << " GMT: " << q.answers.size() << " answers\n";
  }
}

void status_query_monitor::print_answers(uint32_t number, std::ostream& out) const {
  const query* q = find_query(number);
  if (!q) {
    out << "No open query " << number << '\n';
    return;
  }
  for (const status_snapshot& s : q->answers) print_snapshot(s, out);
}

void status_query_monitor::print_snapshot(const status_snapshot& s, std::ostream& out) {
  const bool joined = !s.federation_name.empty();
  out << (joined ? s.federate_name : std::string("<not joined>")) << " on " << s.host_name;
  if (joined) out << " in " << s.federation_name;
  out << ", up " << uptime_text(s.uptime) << '\n';
  out << "  " << s.version_banner << '\n' << "  " << s.build_info << '\n';
  out << "  federate " << s.federate.to_string() << ", " << s.local_objects << " local and " << s.remote_objects
      << " remote objects\n";
  print_connection("uplink", s.uplink, out);
  for (const conn_status& router : s.routers) print_connection("router", router, out);
}

}  // namespace varnel
