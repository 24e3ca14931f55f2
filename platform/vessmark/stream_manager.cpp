#include "stream_manager.h"

#include <algorithm>
#include <set>

#include "buffer_pool.h"
#include "bundler.h"
#include "checksums.h"
#include "diagnostic.h"
#include "federate_identifier.h"
#include "fragment_reassembly.h"
#include "ldm_buf.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "packet_loss.h"
#include "rate_limit.h"
#include "rid.h"
#include "scheduler.h"
#include "sparse_bit_vector.h"
#include "stream_service.h"
#include "udp_multicast.h"

namespace vessmark {

using namespace brindle;

namespace {

const char* const diagnostic_tag = "vessmark";
const char* const provider_section = "connectivity_providers.multicast";
const char* const connectivity_section = "connectivity";
const char* const default_interface = "127.0.0.1";
const char* const not_running = "not running";
constexpr uint8_t transport_version_minor = 0;

// Packet header bytes of the transport (see stream_manager.h).
constexpr size_t release_at = 8;
constexpr size_t stream_at = 9;
constexpr size_t sender_at = 12;
constexpr size_t federation_at = 16;
constexpr size_t sequence_at = 20;
constexpr size_t fragment_at = 22;
constexpr size_t adler_at = 4;
constexpr size_t payload_length_at = 2;
constexpr uint16_t last_fragment = 0x8000;
// Message header bytes of the transport.
constexpr size_t priority_at = 1;
constexpr size_t length_at = 8;
constexpr size_t tag_at = 12;
constexpr size_t message_stream_at = 20;

// Bounds of the receiving and rate-limiting state.
constexpr size_t reassembly_messages = 256;
constexpr size_t reassembly_bytes = 2 * size_t{stream_manager::max_message_bytes};
constexpr size_t rate_queue_packets = 8192;
constexpr size_t rate_queue_bytes = 2 * size_t{stream_manager::max_message_bytes};
// Datagrams read from one socket in one run, so that a flood cannot hold the tick.
constexpr int reads_per_socket = 512;
constexpr size_t largest_datagram = 65536;

uint32_t align8(uint64_t n) { return static_cast<uint32_t>((n + 7u) & ~uint64_t{7}); }

uint32_t load_be24(const uint8_t* p) { return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]; }

// The Adler-32 of a packet taken with its checksum field zero, as ldm_buf takes it.
uint32_t packet_checksum(const uint8_t* bytes, size_t length) {
  static const uint8_t zeros[4] = {};
  uint32_t adler = adler32(1, bytes, adler_at);
  adler = adler32(adler, zeros, sizeof zeros);
  return adler32(adler, bytes + adler_at + 4, length - adler_at - 4);
}

void seal(std::vector<uint8_t>& packet) {
  store_be16(packet.data() + payload_length_at, static_cast<uint32_t>(packet.size() - ldm_buf::packet_header_size));
  store_be32(packet.data() + adler_at, packet_checksum(packet.data(), packet.size()));
}

// Our own RID keys are not among the built-in defaults: read them from the file directly, so an
// absent key quietly means "off".
double own_number(RID& rid, const char* key, double fallback) {
  Document::Element* section = rid.findTag("connectivity", rid.findTag("federate_parameters", rid.get_rid_file()));
  Document::Value* value = rid.findValue("val0", rid.findTag(key, section));
  if (!value) return fallback;
  if (value->kind == Document::integer_value) return value->integer;
  if (value->kind == Document::real_value) return value->real;
  return fallback;
}

// A seed from the file may be any number; out of range it falls back to 1.
uint32_t seed_of(double value) {
  return value >= 0 && value <= 4294967295.0 ? static_cast<uint32_t>(value) : 1;
}

int clamp_int(int32_t value, int low, int high) { return std::clamp<int32_t>(value, low, high); }

}  // namespace

void stream_join_client::streams_joined(const sparse_bit_vector&) {}
void stream_join_client::streams_left(const sparse_bit_vector&) {}

uint64_t stream_drop_counts::received_total() const {
  return malformed_packet + wrong_release + other_federation + not_joined + bad_fragment +
         fragments_expired + reassembly_full + malformed_message + undecodable + no_service;
}

stream_manager::stream_manager(RID& rid, scheduler& on, message_stats_tracker& stats, unsigned char release)
    : scheduler_(on),
      stats_(stats),
      sent_tracker_(stats.register_tracker("vessmark_sent", "stream")),
      received_tracker_(stats.register_tracker("vessmark_received", "stream")),
      release_(release),
      identity_(federate_identifier(federate_identifier_type::local).hash()),
      factory_(std::make_unique<buffer_manager_factory>(release, transport_version_minor)),
      datagram_(largest_datagram),
      receive_timer_(*this),
      pipeline_timer_(*this) {
  const uint32_t packet_size = static_cast<uint32_t>(clamp_int(rid.get_integer(provider_section, "packet_size"), 48, 65552));
  pool_ = factory_->get_pool(packet_size);
  const char* interface = rid.get_string(connectivity_section, "interface");
  if (!interface || !*interface) interface = default_interface;
  network_ = std::make_unique<udp_multicast>(
      interface, rid.get_string(provider_section, "base_address"), rid.get_integer(provider_section, "port"),
      rid.get_integer(provider_section, "ttl"), rid.get_integer(connectivity_section, "receive_buffer_size"));
  bundler_ = std::make_unique<bundler>(pool_->packet_size(),
                                       clamp_int(rid.get_integer(provider_section, "bundle_timeout"), 0, 60000),
                                       clamp_int(rid.get_integer(provider_section, "bundle_flush_threshold"), 0, 65536));
  reassembly_ = std::make_unique<fragment_reassembly>(
      clamp_int(rid.get_integer(provider_section, "fragment_timeout"), 1, 600000), reassembly_messages, reassembly_bytes);
  rate_limit_ = std::make_unique<rate_limit>(rid.get_real(provider_section, "ratelimit_max_mbps"),
                                             rate_queue_packets, rate_queue_bytes);
  loss_ = std::make_unique<packet_loss>(own_number(rid, "loss_probability", 0),
                                        seed_of(own_number(rid, "loss_seed", 1)));
  receive_timer_.schedule(scheduler_, clamp_int(rid.get_integer(provider_section, "socket_poll_interval"), 1, 10000));
}

// What waits in the bundles and the rate-limit queue still goes out, so that the last
// messages of a resigning federate are not lost.
stream_manager::~stream_manager() {
  receive_timer_.cancel();
  pipeline_timer_.cancel();
  send_open_bundles(route::socket);
  for (auto& packet : rate_limit_->take_all()) write_out(packet);
  pool_->destroy();
}

// Joining and leaving

bool stream_manager::valid_stream(int stream, const char* operation) const {
  if (stream >= 0 && stream < stream_limit) return true;
  diagnostic(diagnostic_tag, "%s: stream %d out of range", operation, stream);
  return false;
}

void stream_manager::join(int stream) {
  if (!valid_stream(stream, "join")) return;
  if (joins_[stream]++ == 0) change_joins({stream}, {});
}

void stream_manager::leave(int stream) {
  if (!valid_stream(stream, "leave")) return;
  auto found = joins_.find(stream);
  if (found == joins_.end()) {
    diagnostic(diagnostic_tag, "leave: stream %d is not joined", stream);
    return;
  }
  if (--found->second > 0) return;
  joins_.erase(found);
  change_joins({}, {stream});
}

void stream_manager::join(const sparse_bit_vector& streams) {
  std::vector<int> joined;
  for (uint32_t s = streams.ffs(); s != sparse_bit_vector::npos; s = streams.find_next(s + 1)) {
    const int stream = static_cast<int>(s);
    if (!valid_stream(stream, "join")) break;
    if (joins_[stream]++ == 0) joined.push_back(stream);
  }
  change_joins(joined, {});
}

void stream_manager::leave(const sparse_bit_vector& streams) {
  std::vector<int> left;
  for (uint32_t s = streams.ffs(); s != sparse_bit_vector::npos; s = streams.find_next(s + 1)) {
    auto found = joins_.find(static_cast<int>(s));
    if (found == joins_.end()) {
      diagnostic(diagnostic_tag, "leave: stream %u is not joined", s);
      continue;
    }
    if (--found->second > 0) continue;
    joins_.erase(found);
    left.push_back(static_cast<int>(s));
  }
  change_joins({}, left);
}

bool stream_manager::is_joined(int stream) const { return joins_.count(stream) != 0; }

bool stream_manager::is_joined(const sparse_bit_vector& streams) const {
  for (const auto& [stream, count] : joins_) {
    if (streams.get_bit(static_cast<uint32_t>(stream))) return true;
  }
  return false;
}

void stream_manager::add_stream_join_client(stream_join_client* client) {
  if (client && std::find(join_clients_.begin(), join_clients_.end(), client) == join_clients_.end()) {
    join_clients_.push_back(client);
  }
}

void stream_manager::drop_stream_join_client(stream_join_client* client) {
  join_clients_.erase(std::remove(join_clients_.begin(), join_clients_.end(), client), join_clients_.end());
}

void stream_manager::change_joins(const std::vector<int>& joined, const std::vector<int>& left) {
  if (joined.empty() && left.empty()) return;
  update_groups();
  sparse_bit_vector joined_set, left_set;
  for (int stream : joined) joined_set.set_bit(static_cast<uint32_t>(stream));
  for (int stream : left) left_set.set_bit(static_cast<uint32_t>(stream));
  // A client may drop itself while being told.
  const std::vector<stream_join_client*> clients = join_clients_;
  for (stream_join_client* client : clients) {
    if (std::find(join_clients_.begin(), join_clients_.end(), client) == join_clients_.end()) continue;
    if (!joined.empty()) client->streams_joined(joined_set);
    if (!left.empty()) client->streams_left(left_set);
  }
}

void stream_manager::update_groups() {
  std::set<int> groups;
  for (const auto& [stream, count] : joins_) groups.insert(stream % group_count);
  if (network_->set_groups(groups)) rearm_triggers();
}

void stream_manager::rearm_triggers() {
  receive_timer_.clear_triggers();
  for (int socket : network_->receive_sockets()) receive_timer_.set_trigger(socket);
}

size_t stream_manager::receive_socket_count() const { return network_->receive_sockets().size(); }

uint32_t stream_manager::get_packet_size() const { return pool_->packet_size(); }

// Services

void stream_manager::add_service(stream_service* service) { services_.push_back(service); }

void stream_manager::drop_service(stream_service* service) {
  services_.erase(std::remove(services_.begin(), services_.end(), service), services_.end());
}

ldm_buf* stream_manager::get_buf() { return pool_->get_buf(); }

// Sending

void stream_manager::send(int stream, unsigned char priority, uint32_t tag, ldm_buf* buffer) {
  if (!buffer || !valid_stream(stream, "send")) return;
  if (buffer->get_pool() != pool_ || buffer->packet_count() == 0) {
    diagnostic(diagnostic_tag, "send: the buffer is not one of this stream manager's");
    return;
  }
  if (buffer->packet_count() > fragment_reassembly::max_fragments || buffer->get_total_bytes() > max_message_bytes) {
    diagnostic(diagnostic_tag, "send: a message of %u bytes is too long", buffer->get_size());
    return;
  }
  const uint32_t length = buffer->get_size();
  uint8_t* header = buffer->get_message_header();
  header[priority_at] = priority;
  store_be32(header + length_at, length);
  store_be32(header + tag_at, tag);
  store_be32(header + message_stream_at, static_cast<uint32_t>(stream));
  buffer->prepare_message(0);
  stats_.note_event(sent_tracker_, static_cast<uint32_t>(stream), length);

  const uint64_t now = scheduler_.get_clock().time();
  if (buffer->packet_count() == 1) {
    std::vector<bundler::packet> ready;
    bundler_->add(stream, priority, buffer->get_packet(0) + ldm_buf::packet_header_size, length, now, ready);
    if (priority & send_now) bundler_->flush(stream, ready);
    send_bundles(ready, route::rate_limit);
  } else {
    flush(stream);  // what was bundled before this message goes first
    std::vector<std::vector<uint8_t>> packets = split_into_packets(*buffer);
    const uint16_t sequence = next_sequence_++;
    for (size_t i = 0; i < packets.size(); ++i) {
      const uint16_t fragment = static_cast<uint16_t>(i) | (i + 1 == packets.size() ? last_fragment : 0);
      send_packet(std::move(packets[i]), stream, priority, sequence, fragment, route::rate_limit);
    }
  }
  schedule_pipeline();
}

void stream_manager::set_federation(unsigned number) {
  if (number == federation_) return;
  send_open_bundles(route::rate_limit);
  schedule_pipeline();
  federation_ = number;
}

void stream_manager::flush(int stream) {
  std::vector<bundler::packet> ready;
  bundler_->flush(stream, ready);
  send_bundles(ready, route::rate_limit);
  schedule_pipeline();
}

void stream_manager::send_bundles(std::vector<bundler::packet>& ready, route via) {
  for (auto& packet : ready) send_packet(std::move(packet.bytes), packet.stream, packet.priority, 0, last_fragment, via);
}

void stream_manager::send_open_bundles(route via) {
  std::vector<bundler::packet> ready;
  bundler_->flush_due(UINT64_MAX, ready);
  send_bundles(ready, via);
}

void stream_manager::send_packet(std::vector<uint8_t> packet, int stream, unsigned char priority, uint16_t sequence,
                                 uint16_t fragment, route via) {
  uint8_t* bytes = packet.data();
  bytes[0] = pool_->version_major();
  bytes[1] = pool_->version_minor();
  bytes[release_at] = release_;
  bytes[stream_at] = static_cast<uint8_t>(stream >> 16);
  bytes[stream_at + 1] = static_cast<uint8_t>(stream >> 8);
  bytes[stream_at + 2] = static_cast<uint8_t>(stream);
  store_be32(bytes + sender_at, identity_);
  store_be32(bytes + federation_at, federation_);
  store_be16(bytes + sequence_at, sequence);
  store_be16(bytes + fragment_at, fragment);
  seal(packet);
  if (via == route::socket) {
    write_out(packet);
    return;
  }
  const rate_limit::verdict verdict = rate_limit_->offer(packet, priority, scheduler_.get_clock().time());
  drops_.rate_limit_overflow = rate_limit_->dropped_packets();
  if (verdict == rate_limit::send_now) write_out(packet);
}

void stream_manager::set_packet_loss(double probability, uint32_t seed) {
  loss_ = std::make_unique<packet_loss>(probability, seed);
}

// The last stages: packet loss, the connection's counters, the socket.
void stream_manager::write_out(const std::vector<uint8_t>& packet) {
  if (loss_->drop()) {
    ++drops_.lost;
    return;
  }
  const int stream = static_cast<int>(load_be24(packet.data() + stream_at));
  if (!network_->send(stream % group_count, packet.data(), packet.size())) {
    ++drops_.send_failed;
    return;
  }
  ++status_.packets_sent;
  status_.bytes_sent += packet.size();
}

void stream_manager::run_pipeline() {
  const uint64_t now = scheduler_.get_clock().time();
  std::vector<bundler::packet> ready;
  bundler_->flush_due(now, ready);
  send_bundles(ready, route::rate_limit);
  for (auto& packet : rate_limit_->take_ready(now)) write_out(packet);
  drops_.fragments_expired += reassembly_->expire(now);
  schedule_pipeline();
}

void stream_manager::schedule_pipeline() {
  const uint64_t now = scheduler_.get_clock().time();
  uint64_t due = UINT64_MAX;
  if (const uint64_t bundle = bundler_->next_due()) due = std::min(due, bundle);
  if (const uint64_t expiry = reassembly_->next_expiry()) due = std::min(due, expiry);
  if (const int64_t wait = rate_limit_->next_due(now); wait >= 0) due = std::min(due, now + static_cast<uint64_t>(wait));
  if (due == UINT64_MAX) {
    pipeline_timer_.cancel();
    return;
  }
  pipeline_timer_.schedule(scheduler_, due > now ? due - now : 0);
}

// Receiving

void stream_manager::receive_pending() {
  // Every datagram is copied out of the buffer before anything of it is delivered, so a delivery
  // that ticks the scheduler and reads again, nested, may reuse the buffer.
  // Delivery may join or leave streams and so close sockets: re-check each before reading.
  const std::vector<int> sockets = network_->receive_sockets();
  for (int socket : sockets) {
    for (int reads = 0; reads < reads_per_socket; ++reads) {
      const auto& open = network_->receive_sockets();
      if (std::find(open.begin(), open.end(), socket) == open.end()) break;
      const long got = network_->read(socket, datagram_.data(), datagram_.size());
      if (got < 0) break;
      if (static_cast<size_t>(got) > datagram_.size()) {
        ++drops_.malformed_packet;
        continue;
      }
      receive_datagram(datagram_.data(), static_cast<size_t>(got));
    }
  }
}

void stream_manager::receive_datagram(const uint8_t* bytes, size_t length) {
  ++status_.packets_received;
  status_.bytes_received += length;
  if (!bytes || length < ldm_buf::packet_header_size || length > pool_->packet_size() ||
      load_be16(bytes + payload_length_at) != length - ldm_buf::packet_header_size ||
      bytes[0] != pool_->version_major() || bytes[1] != pool_->version_minor() ||
      packet_checksum(bytes, length) != load_be32(bytes + adler_at)) {
    ++drops_.malformed_packet;
    return;
  }
  if (bytes[release_at] != release_) {
    ++drops_.wrong_release;
    return;
  }
  const uint32_t sender = load_be32(bytes + sender_at);
  if (sender == identity_) {
    ++drops_.own_packet;
    return;
  }
  const int stream = static_cast<int>(load_be24(bytes + stream_at));
  // Stream 1 carries the heartbeats of every federation, so it is heard whatever the number.
  if (stream != 1 && load_be32(bytes + federation_at) != federation_) {
    ++drops_.other_federation;
    return;
  }
  if (!is_joined(stream)) {
    ++drops_.not_joined;
    return;
  }
  const uint16_t fragment = static_cast<uint16_t>(load_be16(bytes + fragment_at));
  std::vector<std::vector<uint8_t>> packets;
  if (fragment == last_fragment) {
    packets.emplace_back(bytes, bytes + length);
    accept_group(stream, packets);
    return;
  }
  switch (reassembly_->add(sender, stream, static_cast<uint16_t>(load_be16(bytes + sequence_at)),
                           fragment & ~last_fragment, (fragment & last_fragment) != 0, bytes, length,
                           scheduler_.get_clock().time(), packets)) {
    case fragment_reassembly::complete: accept_group(stream, packets); break;
    case fragment_reassembly::incomplete: schedule_pipeline(); break;
    case fragment_reassembly::bad_fragment: ++drops_.bad_fragment; break;
    case fragment_reassembly::table_full: ++drops_.reassembly_full; break;
  }
}

void stream_manager::accept_group(int stream, const std::vector<std::vector<uint8_t>>& packets) {
  ldm_buf* buffer = pool_->get_empty_buf();
  bool good = true;
  for (const auto& packet : packets) good = good && buffer->add_packet(packet.data(), packet.size());
  if (good && buffer->accept_packets() == message_acceptance::accepted) {
    deliver_messages(stream, buffer);
  } else {
    ++drops_.malformed_packet;
  }
  buffer->release_buf();
}

// A received buffer holds one message, or several bundled ones in a single packet; each is
// checked before a byte of it is read, and the first bad one ends the packet.
void stream_manager::deliver_messages(int stream, ldm_buf* buffer) {
  const uint32_t size = buffer->get_size();
  for (uint32_t position = 0; position < size;) {
    if (buffer->accept_message(position) != message_acceptance::accepted) {
      ++drops_.malformed_message;
      return;
    }
    buffer->set_iptr(position + length_at);
    const uint32_t length = buffer->read_4();
    buffer->set_iptr(position + message_stream_at);
    if (buffer->read_4() != static_cast<uint32_t>(stream)) {
      ++drops_.malformed_message;
      return;
    }
    if (position == 0 && align8(length) >= size) {
      if (length < size) buffer->set_size(length);
      deliver(stream, buffer);
      return;
    }
    if (buffer->packet_count() != 1) {  // only single packets are bundled
      ++drops_.malformed_message;
      return;
    }
    deliver_copy(stream, buffer, position, length);
    position = align8(uint64_t{position} + length);
  }
}

// A bundled message is handed on in a buffer of its own, so that its reader meets the end of
// its own message rather than the start of the next.
void stream_manager::deliver_copy(int stream, ldm_buf* buffer, uint32_t position, uint32_t length) {
  const uint8_t* packet = buffer->get_packet(0);
  std::vector<uint8_t> single(packet, packet + ldm_buf::packet_header_size);
  const uint8_t* message = packet + ldm_buf::packet_header_size + position;
  single.insert(single.end(), message, message + length);
  seal(single);
  ldm_buf* copy = pool_->get_empty_buf();
  if (copy->add_packet(single.data(), single.size()) && copy->accept_packets() == message_acceptance::accepted &&
      copy->accept_message(0) == message_acceptance::accepted) {
    deliver(stream, copy);
  } else {
    ++drops_.malformed_message;
  }
  copy->release_buf();
}

// buffer holds exactly one accepted message at position 0.
void stream_manager::deliver(int stream, ldm_buf* buffer) {
  const uint8_t* header = buffer->get_packet(0) + ldm_buf::packet_header_size;
  const unsigned char priority = header[priority_at];
  const uint32_t tag = load_be32(header + tag_at);
  std::vector<stream_service*> targets;
  for (stream_service* service : services_) {
    if (service->get_tag() == tag) targets.push_back(service);
  }
  if (targets.empty()) {
    ++drops_.no_service;
    return;
  }
  stats_.note_event(received_tracker_, static_cast<uint32_t>(stream), buffer->get_size());
  bool decoded = true;
  for (stream_service* service : targets) {
    // A client may destroy other services (its own included) while it runs.
    if (std::find(services_.begin(), services_.end(), service) == services_.end()) continue;
    buffer->set_iptr(ldm_buf::message_header_size);
    try {
      service->get_client()->receive(stream, priority, buffer);
    } catch (const ldm_decode_error&) {
      decoded = false;
    }
  }
  if (!decoded) ++drops_.undecodable;
}

// Status and diagnostics

conn_status stream_manager::get_uplink_status() const {
  conn_status status = status_;
  status.state = network_->is_open() ? conn_status::up : conn_status::down;
  status.packets_dropped = drops_.received_total() + drops_.sent_total();
  return status;
}

void stream_manager::print_joins(FILE* out) const {
  std::fprintf(out, "Joined streams:");
  for (const auto& [stream, count] : joins_) std::fprintf(out, " %d(%u)", stream, count);
  std::fprintf(out, "\n");
}

void stream_manager::print_chain(FILE* out) const {
  std::fprintf(out, "multicast: bundler -> fragment_reassembly -> rate_limit -> packet_loss -> udp_multicast\n");
  std::fprintf(out, "  packet size %u, %zu open bundles, %zu partial messages (%zu bytes)\n",
               pool_->packet_size(), bundler_->open_bundles(), reassembly_->pending_messages(),
               reassembly_->pending_bytes());
  std::fprintf(out, "  rate limit %s, %zu packets (%zu bytes) waiting, %llu dropped\n",
               rate_limit_->limited() ? "on" : "off", rate_limit_->queued_packets(),
               rate_limit_->queued_bytes(), static_cast<unsigned long long>(rate_limit_->dropped_packets()));
  std::fprintf(out, "  packet loss %s, %zu receive sockets\n", loss_->enabled() ? "on" : "off",
               network_->receive_sockets().size());
}

void stream_manager::print_buffers(FILE* out) const {
  std::fprintf(out, "Buffers handed out: %u\n", pool_->buffers_handed_out());
}

void stream_manager::print_router(FILE* out) const { std::fprintf(out, "Router: %s\n", not_running); }

void stream_manager::print_router_connection(int connection, FILE* out) const {
  std::fprintf(out, "Router connection %d: %s\n", connection, not_running);
}

}  // namespace vessmark
