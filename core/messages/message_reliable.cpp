#include "messages/message_reliable.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "ldm_buf.h"
#include "millisecond_clock.h"
#include "rid.h"
#include "scheduler.h"
#include "sparse_bit_vector.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

// Sequences compare modulo 2^32, so use the signed difference.
bool before(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

uint64_t pack(const federate_identifier& id) {
  uint32_t host;
  uint16_t process, index;
  id.get_components(host, process, index);
  return uint64_t{host} << 32 | uint32_t{process} << 16 | index;
}

uint64_t scale(uint64_t ms, double factor) {
  const double scaled = static_cast<double>(ms) * factor;
  return scaled < 1.0 ? 1 : static_cast<uint64_t>(scaled);
}

constexpr size_t sender_buckets = 127;

}  // namespace

reliable_settings reliable_settings::scaled(double factor) const {
  reliable_settings s = *this;
  for (uint64_t* ms : {&s.timer_period, &s.ack_interval, &s.reap_interval, &s.acknowledger_timeout,
                       &s.release_delay, &s.nack_spread, &s.nack_base_delay, &s.resend_delay, &s.ping_interval}) {
    *ms = scale(*ms, factor);
  }
  return s;
}

reliable_settings federation_reliable_settings(RID& rid) {
  reliable_settings s;
  const int32_t gone_s = rid.get_integer("federation", "federate_gone_timeout");
  if (gone_s > 0) s.acknowledger_timeout = std::min<uint64_t>(s.acknowledger_timeout, uint64_t(gone_s) * 1000);
  return s;
}

message_reliable::message_reliable(stream_manager* manager, message_service_client* client, const char* name,
                                   dstream& trace, scheduler& on, const reliable_settings& settings)
    : message_service(client, name, trace),
      settings_(settings),
      manager_(manager),
      service_(manager, this, name),
      scheduler_(on),
      identifier_(federate_identifier_type::local),
      own_key_(pack(identifier_)),
      random_(identifier_.hash()),
      senders_(sender_buckets) {
  const uint64_t now = scheduler_.get_clock().time();
  last_ack_ = last_reap_ = now;
  // A new service pings at once and for a while: receivers then know where its sequence starts
  // before its first message, whose loss they would otherwise never notice.
  last_ping_ = now - std::min(now, settings_.ping_interval);
  pings_left_ = settings_.pings_after_send;
  manager_->join(control_stream);
  manager_->add_stream_join_client(this);
  schedule(on, settings_.timer_period);
}

message_reliable::~message_reliable() {
  cancel();
  manager_->drop_stream_join_client(this);
  manager_->leave(control_stream);
  for (sent_message& m : sent_) m.buffer->release_buf();
  for (auto& [key, sender] : senders_) {
    for (auto& [sequence, stored] : sender->ahead) {
      if (stored.buffer) stored.buffer->release_buf();
    }
  }
}

// Sending

template <typename Message>
void message_reliable::send_control(unsigned char priority, const Message& message) {
  ldm_buf* buffer = service_.get_buf();
  *buffer << Message::type;
  message.write(*buffer);
  service_.send(control_stream, priority, buffer);
  buffer->release_buf();
}

// The header goes in before the payload; its sequence is taken only when the message is sent.
ldm_buf* message_reliable::get_buf() {
  ldm_buf* buffer = service_.get_buf();
  *buffer << reliable_data_header::type;
  header_slot_ = buffer->get_optr();
  reliable_data_header{identifier_, 0}.write(*buffer);
  return buffer;
}

void message_reliable::send(int stream, unsigned char priority, ldm_buf* buffer) {
  if (!buffer || buffer->get_size() < header_slot_ + reliable_data_header::bytes || header_slot_ == 0) {
    std::fprintf(stderr, "message_reliable: %s: send of a buffer that did not come from get_buf ignored\n",
                 name_.c_str());
    return;
  }
  ++counters_.messages_sent;
  const uint32_t sequence = next_sequence_;
  const uint32_t end = buffer->get_optr();
  buffer->set_optr(header_slot_);
  reliable_data_header{identifier_, sequence}.write(*buffer);
  buffer->set_optr(end);

  buffer->duplicate_buf();
  sent_.push_back({sequence, stream, buffer, priority, 0});
  service_.send(stream, priority, buffer);
  ++counters_.data_sent;
  if (trace_.is_on()) trace_ << "REL send " << stream << '/' << sequence << '\n';

  send_control(notice_priority, reliable_notice_message{identifier_, sequence, stream});

  ++next_sequence_;
  last_ping_ = scheduler_.get_clock().time();
  pings_left_ = settings_.pings_after_send;
}

void message_reliable::send_pings(uint64_t now) {
  if (pings_left_ == 0 || now - last_ping_ < settings_.ping_interval) return;
  send_control(control_priority, reliable_ping_message{identifier_, next_sequence_});
  ++counters_.pings_sent;
  if (trace_.is_on()) trace_ << "REL ping " << identifier_.to_string() << '/' << next_sequence_ << '\n';
  last_ping_ = now;
  --pings_left_;
}

message_reliable::sent_message* message_reliable::find_sent(uint32_t sequence) {
  if (sent_.empty()) return nullptr;
  const uint32_t index = sequence - sent_.front().sequence;
  return index < sent_.size() ? &sent_[index] : nullptr;
}

void message_reliable::receive_nack(const reliable_nack_message& message) {
  ++counters_.nacks_received;
  const federate_identifier& sender = message.sender;
  const uint32_t sequence = message.sequence;
  const uint64_t key = pack(sender);
  if (key != own_key_) {
    // Someone else asked for a message we miss too: its resend will reach us, so ours waits.
    auto it = nacks_.find({key, sequence});
    if (it == nacks_.end()) return;
    it->second.suppressed = true;
    if (trace_.is_on()) trace_ << "REL rnack " << sender.to_string() << '/' << sequence << '\n';
    return;
  }
  // A sequence not yet sent cannot be resent, and a sorry for it would make receivers skip a
  // message that is still to come.
  if (!before(sequence, next_sequence_)) {
    ++counters_.rejected;
    return;
  }
  if (queued_resends_.count(sequence)) {
    if (trace_.is_on()) trace_ << "REL dresend " << sequence << '\n';
    return;
  }
  if (queued_resends_.size() >= settings_.max_queued_resends) {
    ++counters_.over_limit;
    return;
  }
  resends_.emplace(scheduler_.get_clock().time() + settings_.resend_delay, sequence);
  queued_resends_.insert(sequence);
  if (trace_.is_on()) trace_ << "REL qresend " << sequence << '\n';
}

void message_reliable::send_resends(uint64_t now) {
  std::vector<uint32_t> due;
  while (!resends_.empty() && resends_.begin()->first <= now) {
    due.push_back(resends_.begin()->second);
    queued_resends_.erase(resends_.begin()->second);
    resends_.erase(resends_.begin());
  }
  for (uint32_t sequence : due) {
    if (sent_message* m = find_sent(sequence)) {
      service_.send(m->stream, m->priority, m->buffer);
      ++counters_.data_sent;
      if (trace_.is_on()) trace_ << "REL resend " << m->stream << '/' << sequence << '\n';
      // The NACK may come from a receiver that has not joined the data's stream and lost the
      // notice: only a notice on the control stream lets it pass the place over.
      if (m->stream != control_stream) {
        send_control(notice_priority, reliable_notice_message{identifier_, sequence, m->stream});
      }
      continue;
    }
    send_control(sorry_priority, reliable_sorry_message{identifier_, sequence});
    ++counters_.sorries_sent;
    if (trace_.is_on()) trace_ << "REL sorry " << control_stream << '/' << sequence << '\n';
  }
}

void message_reliable::receive_ack(const reliable_ack_message& message) {
  ++counters_.acks_received;
  const federate_identifier& from = message.acknowledger;
  if (!from_other(from)) return;
  std::optional<uint32_t> ours;
  for (const reliable_ack_message::entry& e : message.entries) {
    if (pack(e.sender) == own_key_) ours = e.last;
  }
  auto it = acknowledgers_.find(pack(from));
  if (it == acknowledgers_.end()) {
    if (acknowledgers_.size() >= settings_.max_acknowledgers) {
      ++counters_.over_limit;
      return;
    }
    it = acknowledgers_.emplace(pack(from), acknowledger{from}).first;
  }
  acknowledger& a = it->second;
  a.last_heard = scheduler_.get_clock().time();
  if (ours) {
    a.acknowledged = *ours;
    a.named_us = true;
  }
  if (trace_.is_on()) trace_ << "REL rack " << from.to_string() << '/' << (ours ? *ours : 0) << '\n';
}

// An acknowledger that never reported us has nothing of ours to ask for: it first heard us
// after everything we still keep, and a receiver never asks for what came before its first.
void message_reliable::mark_for_release(uint64_t now) {
  std::erase_if(acknowledgers_,
                [&](const auto& entry) { return now - entry.second.last_heard > settings_.acknowledger_timeout; });
  uint32_t oldest = next_sequence_;
  for (const auto& [key, a] : acknowledgers_) {
    if (a.named_us && before(a.acknowledged, oldest)) oldest = a.acknowledged;
  }
  for (sent_message& m : sent_) {
    if (before(oldest, m.sequence)) {
      if (m.release_time == 0) break;
      m.release_time = 0;
      continue;
    }
    if (m.release_time == 0) {
      m.release_time = now + settings_.release_delay;
      if (trace_.is_on()) trace_ << "REL mark " << m.stream << '/' << m.sequence << '\n';
    }
  }
}

void message_reliable::release_marked(uint64_t now) {
  while (!sent_.empty() && sent_.front().release_time != 0 && sent_.front().release_time <= now) {
    const sent_message& m = sent_.front();
    if (trace_.is_on()) trace_ << "REL reap " << m.stream << '/' << m.sequence << '\n';
    m.buffer->release_buf();
    sent_.pop_front();
  }
}

// Receiving

// Decoded whole before anything changes. A message cut short goes back to the transport as
// undecodable; one that is whole but impossible is refused and counted here.
void message_reliable::receive(int stream, unsigned char priority, ldm_buf* buffer) {
  uint32_t type;
  *buffer >> type;
  try {
    switch (type) {
      case data: return receive_data(reliable_data_header::read(*buffer), stream, priority, buffer);
      case sequence_notice: return receive_notice(reliable_notice_message::read(*buffer), priority);
      case nack: return receive_nack(reliable_nack_message::read(*buffer));
      case ack: return receive_ack(reliable_ack_message::read(*buffer));
      case ping: return receive_ping(reliable_ping_message::read(*buffer));
      case sorry: return receive_sorry(reliable_sorry_message::read(*buffer), stream, priority);
      default: ++counters_.rejected;
    }
  } catch (const reliable_refusal&) {
    ++counters_.rejected;
  }
}

void message_reliable::receive_data(const reliable_data_header& header, int stream, unsigned char priority,
                                    ldm_buf* buffer) {
  ++counters_.data_received;
  if (!from_other(header.sender)) return;
  if (trace_.is_on()) trace_ << "REL recv " << stream << '/' << header.sequence << '\n';
  const uint64_t now = scheduler_.get_clock().time();
  if (sender_state* s = sender_for(header.sender, header.sequence, now)) {
    note_announced(*s, header.sequence + 1);
    arrival(*s, header.sequence, stream, priority, buffer);
  }
}

void message_reliable::receive_notice(const reliable_notice_message& message, unsigned char priority) {
  if (!from_other(message.sender)) return;
  if (trace_.is_on()) trace_ << "REL seq " << message.stream << '/' << message.sequence << '\n';
  const uint64_t now = scheduler_.get_clock().time();
  if (!service_.is_joined(message.stream)) {
    // The message will never come here: its place is passed over.
    if (sender_state* s = sender_for(message.sender, message.sequence, now)) {
      arrival(*s, message.sequence, message.stream, priority, nullptr);
    }
    return;
  }
  // A notice can be the first word heard from a sender: its data may still wait in a bundle of
  // another stream, or be lost. Starting at the notice's sequence gets that message too.
  if (sender_state* s = sender_for(message.sender, message.sequence, now)) {
    note_announced(*s, message.sequence + 1);
    detect_gaps(*s, message.sequence);
  }
}

void message_reliable::receive_ping(const reliable_ping_message& message) {
  if (!from_other(message.sender)) return;
  if (trace_.is_on()) trace_ << "REL rping " << message.sender.to_string() << '/' << message.next_sequence << '\n';
  expect_next(message.sender, message.next_sequence);
}

// A sender not heard yet starts at next_sequence, so that a loss of its first message is
// noticed; for one heard, what lies before next_sequence and has not come is asked for.
void message_reliable::expect_next(const federate_identifier& sender, uint32_t next_sequence) {
  if (!from_other(sender)) return;
  sender_state* s = sender_for(sender, next_sequence, scheduler_.get_clock().time());
  if (!s) return;
  note_announced(*s, next_sequence);
  if (s->last != next_sequence) detect_gaps(*s, next_sequence);
}

void message_reliable::receive_sorry(const reliable_sorry_message& message, int stream, unsigned char priority) {
  if (!from_other(message.sender)) return;
  ++counters_.sorries_received;
  if (trace_.is_on()) trace_ << "REL sorry " << stream << '/' << message.sequence << '\n';
  if (sender_state* s = sender_for(message.sender, message.sequence, scheduler_.get_clock().time())) {
    arrival(*s, message.sequence, stream, priority, nullptr);
  }
}

// Our own messages never come back to us, so one that names us as its sender is not ours.
bool message_reliable::from_other(const federate_identifier& id) {
  if (pack(id) != own_key_) return true;
  ++counters_.rejected;
  return false;
}

message_reliable::sender_state* message_reliable::find_sender(uint64_t key) {
  auto it = senders_.find(key);
  return it == senders_.end() ? nullptr : it->second.get();
}

// A sender heard for the first time starts just before this message: nothing earlier is asked
// for.
message_reliable::sender_state* message_reliable::sender_for(const federate_identifier& id, uint32_t first_sequence,
                                                              uint64_t now) {
  const uint64_t key = pack(id);
  if (sender_state* s = find_sender(key)) {
    s->last_heard = now;
    return s;
  }
  if (senders_.size() >= settings_.max_senders && !evict_idle_sender(now)) {
    ++counters_.over_limit;
    return nullptr;
  }
  auto state = std::make_unique<sender_state>();
  state->identifier = id;
  state->last = first_sequence - 1;
  state->announced = first_sequence;
  state->last_heard = now;
  return senders_.emplace(key, std::move(state)).first->second.get();
}

void message_reliable::forget_sender(const federate_identifier& id) {
  const uint64_t key = pack(id);
  const auto found = senders_.find(key);
  if (found == senders_.end()) return;
  for (auto& [sequence, stored] : found->second->ahead) {
    if (!stored.buffer) continue;
    stored.buffer->release_buf();
    stored_bytes_ -= stored.bytes;
    ++counters_.forgotten;
  }
  for (auto it = nacks_.lower_bound({key, 0}); it != nacks_.end() && it->first.first == key; it = nacks_.erase(it))
    nack_due_.erase({it->second.due, key, it->first.second});
  ack_list_.erase(key);
  senders_.erase(found);
}

// Makes room for a new sender by forgetting one that has been silent longer than an
// acknowledger is remembered and waits for nothing.
bool message_reliable::evict_idle_sender(uint64_t now) {
  for (auto it = senders_.begin(); it != senders_.end(); ++it) {
    const sender_state& s = *it->second;
    if (s.pending == 0 && s.ahead.empty() && now - s.last_heard > settings_.acknowledger_timeout) {
      ack_list_.erase(it->first);
      senders_.erase(it);
      return true;
    }
  }
  return false;
}

void message_reliable::note_announced(sender_state& sender, uint32_t bound) {
  if (before(sender.announced, bound)) sender.announced = bound;
}

void message_reliable::arrival(sender_state& sender, uint32_t sequence, int stream, unsigned char priority,
                               ldm_buf* buffer) {
  remove_nack(sender, sequence);
  if (sequence == sender.last + 1) {
    sender.last = sequence;
    if (buffer) {
      if (trace_.is_on()) trace_ << "REL accept " << stream << '/' << sequence << '\n';
      deliver(stream, priority, buffer, buffer->get_iptr());
    }
    deliver_in_order(sender);
    ack_list_[pack(sender.identifier)] = settings_.ack_repetitions;
    return;
  }
  if (!before(sender.last, sequence)) return;  // a duplicate
  if (sequence - sender.last > settings_.window) {
    ++counters_.over_limit;
    return;
  }
  store_ahead(sender, sequence, stream, priority, buffer);
  detect_gaps(sender, sequence);
}

void message_reliable::store_ahead(sender_state& sender, uint32_t sequence, int stream, unsigned char priority,
                                   ldm_buf* buffer) {
  auto it = sender.ahead.find(sequence);
  // An empty place (a sorry, a given-up NACK) still takes the message if it turns up after all.
  if (it != sender.ahead.end() && (it->second.buffer || !buffer)) return;
  const uint32_t bytes = buffer ? buffer->get_size() : 0;
  if (stored_bytes_ + bytes > settings_.max_stored_bytes) {
    ++counters_.over_limit;  // left missing: it is asked for again once there is room
    return;
  }
  if (buffer) buffer->duplicate_buf();
  stored_bytes_ += bytes;
  const stored_message stored{buffer, stream, priority, buffer ? buffer->get_iptr() : 0, bytes};
  if (it != sender.ahead.end()) {
    it->second = stored;
  } else {
    sender.ahead.emplace(sequence, stored);
  }
}

// Delivers the stored messages that now follow in order. Each is looked up afresh: the client
// may leave streams (and so empty stored places) while it runs.
void message_reliable::deliver_in_order(sender_state& sender) {
  for (auto it = sender.ahead.find(sender.last + 1); it != sender.ahead.end();
       it = sender.ahead.find(sender.last + 1)) {
    const stored_message stored = it->second;
    sender.ahead.erase(it);
    stored_bytes_ -= stored.bytes;
    ++sender.last;
    if (!stored.buffer) continue;
    if (trace_.is_on()) trace_ << "REL qacc " << stored.stream << '/' << sender.last << '\n';
    deliver(stored.stream, stored.priority, stored.buffer, stored.read_position);
    stored.buffer->release_buf();
  }
}

// A payload the client cannot decode is its loss alone; delivery of the rest goes on.
void message_reliable::deliver(int stream, unsigned char priority, ldm_buf* buffer, uint32_t read_position) {
  ++counters_.messages_received;
  buffer->set_iptr(read_position);
  try {
    client_->receive(stream, priority, buffer);
  } catch (const ldm_decode_error&) {
    ++counters_.client_undecodable;
  }
}

void message_reliable::streams_left(const sparse_bit_vector& streams) {
  for (auto& [key, sender] : senders_) {
    for (auto& [sequence, stored] : sender->ahead) {
      if (!stored.buffer || stored.stream < 0 || !streams.get_bit(static_cast<uint32_t>(stored.stream))) continue;
      stored.buffer->release_buf();
      stored.buffer = nullptr;
      stored_bytes_ -= stored.bytes;
      stored.bytes = 0;
    }
  }
}

// NACKs the sequences before bound that are neither stored nor already asked for, no further
// than the window past the last delivered one.
void message_reliable::detect_gaps(sender_state& sender, uint32_t bound) {
  const uint32_t limit = sender.last + 1 + settings_.window;
  const uint32_t end = before(limit, bound) ? limit : bound;
  const uint64_t now = scheduler_.get_clock().time();
  const uint64_t key = pack(sender.identifier);
  for (uint32_t q = sender.last + 1; before(q, end); ++q) {
    if (sender.ahead.count(q) || nacks_.count({key, q})) continue;
    if (nacks_.size() >= settings_.max_pending_nacks) {
      ++counters_.over_limit;
      return;
    }
    add_nack(sender, q, now + random_delay());
  }
}

void message_reliable::add_nack(sender_state& sender, uint32_t sequence, uint64_t due) {
  const uint64_t key = pack(sender.identifier);
  nacks_.emplace(nack_key{key, sequence}, pending_nack{due, false, settings_.nack_attempts});
  nack_due_.emplace(due, key, sequence);
  ++sender.pending;
}

void message_reliable::remove_nack(sender_state& sender, uint32_t sequence) {
  const uint64_t key = pack(sender.identifier);
  auto it = nacks_.find({key, sequence});
  if (it == nacks_.end()) return;
  nack_due_.erase({it->second.due, key, sequence});
  nacks_.erase(it);
  --sender.pending;
}

void message_reliable::run_nacks(uint64_t now) {
  std::vector<std::tuple<uint64_t, uint64_t, uint32_t>> due;
  for (auto it = nack_due_.begin(); it != nack_due_.end() && std::get<0>(*it) <= now; ++it) due.push_back(*it);
  for (const auto& [when, key, sequence] : due) {
    auto it = nacks_.find({key, sequence});
    sender_state* sender = find_sender(key);
    if (it == nacks_.end() || !sender || it->second.due != when) continue;
    pending_nack& n = it->second;
    if (!n.suppressed) {
      if (!before(sender->last, sequence)) {
        remove_nack(*sender, sequence);
        continue;
      }
      send_control(control_priority, reliable_nack_message{sender->identifier, sequence});
      ++counters_.nacks_sent;
      if (trace_.is_on()) trace_ << "REL nack " << sender->identifier.to_string() << '/' << sequence << '\n';
      if (--n.attempts_left == 0) {
        ++counters_.gaps_given_up;
        if (trace_.is_on()) trace_ << "REL giveup " << sender->identifier.to_string() << '/' << sequence << '\n';
        arrival(*sender, sequence, -1, 0, nullptr);
        continue;
      }
    }
    nack_due_.erase({n.due, key, sequence});
    n.due = now + settings_.nack_base_delay + random_delay();
    n.suppressed = false;
    nack_due_.emplace(n.due, key, sequence);
  }
}

// ((r + 0.5) / 2^32) x spread, truncated: uniform over [0, spread).
uint64_t message_reliable::random_delay() {
  const double r = static_cast<double>(random_.next());
  return static_cast<uint64_t>((r + 0.5) / 4294967296.0 * static_cast<double>(settings_.nack_spread));
}

// Senders past the ACK's entry limit wait for the next round with their rounds untouched.
void message_reliable::send_acks(uint64_t now) {
  last_ack_ = now;
  reliable_ack_message message{identifier_, {}};
  for (auto it = ack_list_.begin();
       it != ack_list_.end() && message.entries.size() < reliable_ack_message::max_entries;) {
    const sender_state* s = find_sender(it->first);
    if (s) message.entries.push_back({s->identifier, s->last});
    if (!s || --it->second == 0) {
      it = ack_list_.erase(it);
    } else {
      ++it;
    }
  }
  if (message.entries.empty()) return;
  send_control(control_priority, message);
  ++counters_.acks_sent;
  if (trace_.is_on()) trace_ << "REL ack " << message.entries.size() << '\n';
}

// Gaps that were past the window or beyond the NACK ceiling when they were found are asked for
// here once there is room.
void message_reliable::sweep_gaps() {
  for (auto& [key, sender] : senders_) {
    if (before(sender->last + 1, sender->announced)) detect_gaps(*sender, sender->announced);
  }
}

void message_reliable::on_timer() {
  const uint64_t now = scheduler_.get_clock().time();
  send_pings(now);
  send_resends(now);
  if (now - last_reap_ >= settings_.reap_interval) {
    last_reap_ = now;
    mark_for_release(now);
    release_marked(now);
  }
  run_nacks(now);
  if (now - last_ack_ >= settings_.ack_interval) {
    send_acks(now);
    sweep_gaps();
  }
}

std::optional<uint32_t> message_reliable::last_delivered(const federate_identifier& sender) const {
  auto it = senders_.find(pack(sender));
  if (it == senders_.end()) return std::nullopt;
  return it->second->last;
}

size_t message_reliable::stored_ahead() const {
  size_t n = 0;
  for (const auto& [key, sender] : senders_) n += sender->ahead.size();
  return n;
}

uint32_t message_reliable::widest_span() const {
  uint32_t widest = 0;
  for (const auto& [key, sender] : senders_) {
    for (const auto& [sequence, stored] : sender->ahead) widest = std::max(widest, sequence - sender->last);
  }
  for (const auto& [key, nack] : nacks_) {
    auto it = senders_.find(key.first);
    if (it == senders_.end()) return UINT32_MAX;
    widest = std::max(widest, key.second - it->second->last);
  }
  return widest;
}

void message_reliable::print(std::ostream& out) const {
  out << "  Messages sent: " << counters_.messages_sent << "  Messages rcvd: " << counters_.messages_received << '\n';
  out << "  Data packages sent: " << counters_.data_sent << "  Data packages rcvd: " << counters_.data_received
      << '\n';
  out << "  NACKs sent: " << counters_.nacks_sent << "  NACKs rcvd: " << counters_.nacks_received << '\n';
  out << "  ACKs sent: " << counters_.acks_sent << "  ACKs rcvd: " << counters_.acks_received << '\n';
}

}  // namespace varnel
