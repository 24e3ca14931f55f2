#include "messages/message_oneshot.h"

#include "ldm_buf.h"
#include "millisecond_clock.h"
#include "scheduler.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

uint64_t pack(const federate_identifier& id) {
  uint32_t host;
  uint16_t process, index;
  id.get_components(host, process, index);
  return uint64_t{host} << 32 | uint32_t{process} << 16 | index;
}

constexpr size_t hash_buckets = 127;

}  // namespace

size_t message_oneshot::delivered_hash::operator()(const delivered& d) const {
  const uint32_t host = static_cast<uint32_t>(d.sender >> 32);
  const uint32_t process = static_cast<uint32_t>(d.sender >> 16) & 0xFFFF;
  const uint32_t index = static_cast<uint32_t>(d.sender) & 0xFFFF;
  return ((((index << 8) ^ process) << 16) ^ host) ^ d.sequence;
}

message_oneshot::message_oneshot(stream_manager* manager, message_service_client* client, const char* name,
                                 dstream& trace, scheduler& on)
    : message_service(client, name, trace),
      service_(manager, this, name),
      scheduler_(on),
      identifier_(federate_identifier_type::local),
      remembered_(hash_buckets) {
  schedule(on, timer_period_ms);
}

message_oneshot::~message_oneshot() {
  cancel();
  for (queued_send& q : resends_) q.buffer->release_buf();
}

ldm_buf* message_oneshot::get_buf() {
  ldm_buf* buffer = service_.get_buf();
  *buffer << identifier_ << next_sequence_++;
  return buffer;
}

void message_oneshot::send(int stream, unsigned char priority, ldm_buf* buffer) {
  buffer->duplicate_buf();
  const uint64_t now = scheduler_.get_clock().time();
  resends_.push_back({buffer, stream, priority, sends_per_message - 1, now + resend_interval_ms});
  service_.send(stream, priority, buffer);
  ++counters_.messages_sent;
  ++counters_.packets_sent;
}

void message_oneshot::on_timer() {
  resend_due(scheduler_.get_clock().time());
  ++tick_;
  forget_expired();
}

void message_oneshot::resend_due(uint64_t now) {
  while (!resends_.empty() && resends_.front().due <= now) {
    queued_send q = resends_.front();
    resends_.pop_front();
    service_.send(q.stream, q.priority, q.buffer);
    ++counters_.packets_sent;
    if (q.sends_left > 1) {
      --q.sends_left;
      q.due = now + resend_interval_ms;
      resends_.push_back(q);
    } else {
      q.buffer->release_buf();
    }
  }
}

void message_oneshot::forget_expired() {
  while (!expiries_.empty() && expiries_.front().first <= tick_) forget_oldest();
}

void message_oneshot::forget_oldest() {
  remembered_.erase(expiries_.front().second);
  expiries_.pop_front();
}

void message_oneshot::receive(int stream, unsigned char priority, ldm_buf* buffer) {
  federate_identifier sender;
  uint32_t sequence;
  *buffer >> sender >> sequence;
  if (sender.is_wildcard()) {
    ++counters_.rejected;
    return;
  }
  ++counters_.packets_received;
  const delivered key{pack(sender), sequence};
  if (remembered_.count(key)) {
    if (trace_.is_on()) trace_ << "OS drop " << sender.to_string() << " : " << sequence << '\n';
    return;
  }
  if (remembered_.size() >= max_remembered) forget_oldest();
  remembered_.insert(key);
  expiries_.emplace_back(tick_ + memory_ticks, key);
  if (trace_.is_on()) trace_ << "OS receive " << sender.to_string() << " : " << sequence << '\n';
  ++counters_.messages_received;
  client_->receive(stream, priority, buffer);
}

void message_oneshot::print(std::ostream& out) const {
  out << "Msgs Sent: " << counters_.messages_sent << "  Pkts Sent: " << counters_.packets_sent << '\n';
  out << "Msgs Rcvd: " << counters_.messages_received << "  Pkts Rcvd: " << counters_.packets_received << '\n';
}

}  // namespace varnel
