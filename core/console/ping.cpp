#include "console/ping.h"

#include <algorithm>
#include <cmath>

#include "ldm_buf.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* service_name = "ping";
constexpr uint64_t answer_window_ms = 1000;

}  // namespace

double ping_responder::average_ms() const { return received ? total_ms / received : 0.0; }

double ping_responder::deviation_ms() const {
  if (received == 0) return 0.0;
  const double average = average_ms();
  return std::sqrt(std::max(0.0, total_squares / received - average * average));
}

uint32_t ping_statistics::loss_percent(uint32_t sent, uint32_t received) {
  if (sent == 0 || received >= sent) return 0;
  return uint32_t((1.0 - double(received) / double(sent)) * 100.0);
}

ping::ping(vessmark::stream_manager& streams, scheduler& on, unsigned self)
    : streams_(streams), scheduler_(on), self_(self) {
  streams_.join(reply_stream);
  service_ = std::make_unique<vessmark::stream_service>(&streams_, this, service_name);
}

ping::~ping() {
  timer_.cancel();
  service_.reset();
  streams_.leave(reply_stream);
}

void ping::add_client(ping_client* client) { clients_.push_back(client); }

void ping::remove_client(ping_client* client) { std::erase(clients_, client); }

uint32_t ping::now32() const { return static_cast<uint32_t>(scheduler_.get_clock().time()); }

void ping::start(int stream, unsigned target, uint32_t count, uint32_t period_ms) {
  stop();
  running_ = true;
  stream_ = stream;
  target_ = target;
  left_ = count == 0 ? count_for_zero : count;
  period_ms_ = std::max(period_ms, min_period_ms);
  statistics_ = ping_statistics{};
  next_request();
}

bool ping::stop() {
  if (!running_) return false;
  running_ = false;
  timer_.cancel();
  // A client may start another run from here; the statistics it is handed stay as they are.
  const ping_statistics finished = statistics_;
  const std::vector<ping_client*> clients = clients_;
  for (ping_client* client : clients) client->ping_finished(finished);
  return true;
}

void ping::next_request() {
  if (left_ == 0) {
    stop();
    return;
  }
  --left_;
  const ping_message request{ping_kind::request, target_, self_, 0, stream_, statistics_.sent++, now32()};
  send(stream_, request);
  ++counters_.requests_sent;
  timer_.schedule(scheduler_, period_ms_);
  if (streams_.is_joined(stream_) && (target_ == 0 || target_ == self_)) answer(request);
}

void ping::send(int stream, const ping_message& message) {
  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
  // A round trip is what is measured: the message must not wait in the stream's bundle.
  service_->flush(stream);
}

void ping::receive(int, unsigned char, ldm_buf* buffer) {
  const ping_message message = ping_message::read(*buffer);
  if (message.kind == ping_kind::reply) return count_reply(message);
  if (message.target == 0 || message.target == self_) answer(message);
}

bool ping::may_answer() {
  const uint64_t window = scheduler_.get_clock().time() / answer_window_ms;
  if (window != answer_window_) {
    answer_window_ = window;
    answers_in_window_ = 0;
  }
  if (answers_in_window_ >= max_answers_per_second) return false;
  ++answers_in_window_;
  return true;
}

void ping::answer(const ping_message& request) {
  if (!may_answer()) {
    ++counters_.not_answered;
    return;
  }
  ++counters_.answered;
  const ping_message reply{ping_kind::reply, 0, request.requester, self_, request.stream, request.sequence,
                           request.send_time};
  send(reply_stream, reply);
  if (request.requester == self_) count_reply(reply);
}

void ping::count_reply(const ping_message& reply) {
  const bool ours = running_ && reply.requester == self_ && reply.stream == stream_ && reply.sequence < statistics_.sent;
  auto found = ours ? statistics_.responders.find(reply.responder) : statistics_.responders.end();
  if (!ours || (found == statistics_.responders.end() && statistics_.responders.size() >= max_responders)) {
    ++counters_.replies_ignored;
    return;
  }
  ping_responder& responder = found != statistics_.responders.end() ? found->second : statistics_.responders[reply.responder];
  if (responder.seen.size() <= reply.sequence) responder.seen.resize(size_t(reply.sequence) + 1);
  if (responder.seen[reply.sequence]) {
    ++counters_.replies_ignored;
    return;
  }
  responder.seen[reply.sequence] = true;
  const uint32_t round_trip = now32() - reply.send_time;
  responder.min_ms = responder.received ? std::min(responder.min_ms, round_trip) : round_trip;
  responder.max_ms = std::max(responder.max_ms, round_trip);
  ++responder.received;
  responder.total_ms += round_trip;
  responder.total_squares += double(round_trip) * round_trip;
  ++counters_.replies_counted;
  const std::vector<ping_client*> clients = clients_;
  for (ping_client* client : clients) client->ping_reply(reply.responder, reply.sequence, reply.stream, round_trip);
}

}  // namespace varnel
