#include "ldm_buf.h"

#include <arpa/inet.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "buffer_pool.h"
#include "checksums.h"

namespace brindle {

namespace {

constexpr uint32_t header_bytes = ldm_buf::packet_header_size;
// Packet header fields.
constexpr uint32_t version_major_at = 0, version_minor_at = 1, payload_length_at = 2, adler_at = 4,
                   fragment_header_at = 8;
// Message header fields.
constexpr uint32_t message_length_at = 8, crc_at = 16;
constexpr uint32_t message_alignment = 8;

const char* const write_4_shared = "ldm_buf::write_4: writing to a shared buffer";
const char* const write_string_shared = "ldm_buf::write_string: writing to a shared buffer";
const char* const write_os_shared = "ldm_buf::write_os: writing to a shared buffer";
const char* const set_size_shared = "ldm_buf::set_size: setting size of a shared buffer";
const char* const read_4_past_end = "ldm_buf::read_4: reading beyond end of data";
const char* const read_string_past_end = "ldm_buf::read_string: reading beyond end of data";
const char* const read_is_past_end = "ldm_buf::read_is: reading beyond end of data";
const char* const prepare_message_past_end = "ldm_buf::prepare_message: reading beyond end of data";

[[noreturn]] void fatal(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  std::abort();
}

uint64_t align_up(uint64_t position, uint32_t alignment) {
  return (position + alignment - 1) & ~uint64_t{alignment - 1};
}

uint32_t raw_block_alignment(uint32_t n) { return n >= 8 ? 8 : n >= 4 ? 4 : n >= 2 ? 2 : 1; }

// The Adler-32 of a whole packet, its checksum field taken as zero.
uint32_t packet_adler(const uint8_t* packet, uint32_t payload_length) {
  static const uint8_t zeros[4] = {};
  uint32_t adler = adler32(1, packet, adler_at);
  adler = adler32(adler, zeros, sizeof zeros);
  return adler32(adler, packet + adler_at + 4, header_bytes - adler_at - 4 + payload_length);
}

}  // namespace

ldm_buf::ldm_buf(buffer_pool_manager* pool, uint32_t identifier, bool with_packet)
    : pool_(pool), payload_(pool->packet_size() - packet_header_size), identifier_(identifier) {
  pool_->hold();
  if (with_packet) {
    add_packet();
  } else {
    size_ = 0;
  }
}

ldm_buf::ldm_buf(ldm_buf* source, uint32_t packet)
    : pool_(source->pool_),
      payload_(source->payload_),
      source_(source),
      identifier_(source->identifier_),
      received_(source->received_) {
  pool_->hold();
  source_->duplicate_buf();
  size_ = 0;
  if (packet < source->packet_count()) {
    packets_.push_back(source->packets_[packet]);
    size_ = source->payload_length_of(packet);
  }
  optr_ = size_;
}

ldm_buf::ldm_buf(const ldm_buf& other)
    : pool_(other.pool_),
      payload_(other.payload_),
      source_(const_cast<ldm_buf*>(&other)),
      packets_(other.packets_),
      size_(other.size_),
      identifier_(other.identifier_),
      optr_(other.optr_),
      iptr_(other.iptr_),
      received_(other.received_) {
  pool_->hold();
  source_->duplicate_buf();
}

// Views and copies of this buffer use its packets, so a shared buffer cannot take new contents.
ldm_buf& ldm_buf::operator=(const ldm_buf& other) {
  if (this == &other) return *this;
  if (refcount_ > 1) fatal("ldm_buf::operator=: assigning to a shared buffer");
  ldm_buf copy(other);
  swap_contents(copy);  // the old contents leave with copy
  return *this;
}

ldm_buf::~ldm_buf() {
  release_packets();
  if (source_) source_->release_buf();
  pool_->destroy();
}

void ldm_buf::swap_contents(ldm_buf& other) {
  std::swap(pool_, other.pool_);
  std::swap(payload_, other.payload_);
  std::swap(source_, other.source_);
  std::swap(packets_, other.packets_);
  std::swap(copies_, other.copies_);
  std::swap(size_, other.size_);
  std::swap(identifier_, other.identifier_);
  std::swap(optr_, other.optr_);
  std::swap(iptr_, other.iptr_);
  std::swap(received_, other.received_);
  forget_cursors();
  other.forget_cursors();
}

void ldm_buf::release_packets() {
  if (owns_packets())
    for (uint8_t* packet : packets_) pool_->dealloc_packet(packet);
  packets_.clear();
}

void ldm_buf::forget_cursors() {
  wbegin_ = wlength_ = 0;
  wbase_ = nullptr;
  rbegin_ = rlength_ = 0;
  rbase_ = nullptr;
}

void ldm_buf::duplicate_buf() {
  ++refcount_;
  wlength_ = 0;  // a shared buffer takes no more writes
}

void ldm_buf::release_buf() {
  if (--refcount_ == 0) delete this;
}

void ldm_buf::require_writable(const char* message) const {
  if (!writable()) fatal(message);
}

void ldm_buf::require_owner(const char* operation) const {
  if (owns_packets()) return;
  std::fprintf(stderr, "ldm_buf::%s: the buffer shares another buffer's packets\n", operation);
  std::abort();
}

void ldm_buf::read_failed(const char* message) const {
  if (received_) throw ldm_decode_error(message);
  fatal(message);
}

// Writing

void ldm_buf::add_packet() {
  require_owner("add_packet");
  packets_.push_back(pool_->alloc_packet());
}

void ldm_buf::ensure_packets(uint64_t end) {
  if (end > std::numeric_limits<uint32_t>::max()) fatal("ldm_buf: a message cannot exceed 4 GiB");
  while (uint64_t{packet_count()} * payload_ < end) add_packet();
}

ldm_buf::span ldm_buf::contiguous(uint64_t position, uint64_t end) const {
  const uint64_t k = position / payload_;
  const uint32_t offset = static_cast<uint32_t>(position % payload_);
  const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(payload_ - offset, end - position));
  return {packets_[k] + header_bytes + offset, length};
}

void ldm_buf::cache_write_packet(uint64_t k) {
  wbegin_ = k * payload_;
  wlength_ = payload_;
  wbase_ = packets_[k] + header_bytes;
}

void ldm_buf::cache_read_packet(uint64_t k) {
  rbegin_ = k * payload_;
  rlength_ = std::min<uint64_t>(payload_, size_ - rbegin_);
  rbase_ = packets_[k] + header_bytes;
}

// The caller has checked that the buffer is writable.
void ldm_buf::write_bytes(uint64_t position, const void* data, uint64_t n) {
  const uint64_t end = position + n;
  const uint64_t offset = position - wbegin_;
  if (offset < wlength_ && wlength_ - offset >= n) {
    std::memcpy(wbase_ + offset, data, n);
  } else {
    ensure_packets(end);
    const uint8_t* from = static_cast<const uint8_t*>(data);
    for (uint64_t at = position; at < end;) {
      const span piece = contiguous(at, end);
      std::memcpy(piece.data, from, piece.length);
      from += piece.length;
      at += piece.length;
    }
    if (n > 0) cache_write_packet((end - 1) / payload_);
  }
  optr_ = static_cast<uint32_t>(end);
  size_ = std::max(size_, optr_);
}

void ldm_buf::write_word_slowly(uint32_t word) {
  require_writable(write_4_shared);
  const uint64_t position = align_up(optr_, 4);
  ensure_packets(position + 4);
  // Words never straddle packets: positions are multiples of 4 and payloads of 8.
  cache_write_packet(position / payload_);
  store_be32(wbase_ + (position - wbegin_), word);
  optr_ = static_cast<uint32_t>(position + 4);
  size_ = std::max(size_, optr_);
}

ldm_buf& ldm_buf::operator<<(float value) {
  write_4(std::bit_cast<uint32_t>(value));
  return *this;
}

ldm_buf& ldm_buf::operator<<(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  write_4(static_cast<uint32_t>(bits >> 32));
  write_4(static_cast<uint32_t>(bits));
  return *this;
}

void ldm_buf::write_string(const char* text) {
  require_writable(write_string_shared);
  if (!text) text = "";
  write_bytes(optr_, text, std::strlen(text) + 1);
}

void ldm_buf::write_os(const void* data, uint32_t n) {
  require_writable(write_os_shared);
  write_bytes(align_up(optr_, raw_block_alignment(n)), data, n);
}

void ldm_buf::set_size(uint32_t n) {
  require_writable(set_size_shared);
  const uint64_t needed = n == 0 ? 0 : (uint64_t{n} - 1) / payload_ + 1;
  while (packet_count() > needed) drop_packet();
  while (packet_count() < needed) add_packet();
  size_ = optr_ = n;
  iptr_ = packet_header_size;
  forget_cursors();
}

void ldm_buf::drop_packet() {
  if (packets_.empty()) return;
  if (owns_packets()) pool_->dealloc_packet(packets_.back());
  packets_.pop_back();
  size_ = static_cast<uint32_t>(std::min<uint64_t>(size_, uint64_t{packet_count()} * payload_));
  forget_cursors();
}

// Reading

uint32_t ldm_buf::read_word_slowly() {
  const uint64_t position = align_up(iptr_, 4);
  if (position + 4 > size_) read_failed(read_4_past_end);
  cache_read_packet(position / payload_);
  iptr_ = static_cast<uint32_t>(position + 4);
  return load_be32(rbase_ + (position - rbegin_));
}

ldm_buf& ldm_buf::operator>>(float& value) {
  value = std::bit_cast<float>(read_4());
  return *this;
}

ldm_buf& ldm_buf::operator>>(double& value) {
  const uint64_t high = read_4();
  const uint64_t low = read_4();
  value = std::bit_cast<double>(high << 32 | low);
  return *this;
}

void ldm_buf::copy_out(uint64_t position, void* data, uint32_t n) const {
  uint8_t* to = static_cast<uint8_t*>(data);
  for (uint64_t at = position, end = position + n; at < end;) {
    const span piece = contiguous(at, end);
    std::memcpy(to, piece.data, piece.length);
    to += piece.length;
    at += piece.length;
  }
}

// The caller has checked that [position, position + n) lies within size.
const char* ldm_buf::view_or_copy(uint64_t position, uint32_t n) {
  const uint64_t offset = position - rbegin_;
  if (offset < rlength_ && rlength_ - offset >= n) return reinterpret_cast<const char*>(rbase_ + offset);
  cache_read_packet(position / payload_);
  if (position + n <= rbegin_ + rlength_) return reinterpret_cast<const char*>(rbase_ + (position - rbegin_));
  copies_.push_back(std::make_unique<char[]>(n));
  copy_out(position, copies_.back().get(), n);
  return copies_.back().get();
}

const char* ldm_buf::read_string() {
  const uint64_t start = iptr_;
  const uint64_t offset = start - rbegin_;
  if (offset < rlength_) {
    if (const void* nul = std::memchr(rbase_ + offset, 0, rlength_ - offset)) {
      iptr_ = static_cast<uint32_t>(start + (static_cast<const uint8_t*>(nul) - (rbase_ + offset)) + 1);
      return reinterpret_cast<const char*>(rbase_ + offset);
    }
  }
  for (uint64_t at = start; at < size_;) {
    const span piece = contiguous(at, size_);
    if (const void* nul = std::memchr(piece.data, 0, piece.length)) {
      const uint64_t end = at + (static_cast<const uint8_t*>(nul) - piece.data) + 1;
      iptr_ = static_cast<uint32_t>(end);
      return view_or_copy(start, static_cast<uint32_t>(end - start));
    }
    at += piece.length;
  }
  read_failed(read_string_past_end);
}

const char* ldm_buf::read_is(uint32_t n) {
  const uint64_t position = align_up(iptr_, raw_block_alignment(n));
  if (position + n > size_) read_failed(read_is_past_end);
  iptr_ = static_cast<uint32_t>(position + n);
  if (n == 0) return "";
  return view_or_copy(position, n);
}

// Packets and messages, for the transport

uint32_t ldm_buf::payload_length_of(uint32_t i) const {
  if (i + 1 < packet_count()) return payload_;
  const uint64_t before = uint64_t{i} * payload_;
  return size_ > before ? static_cast<uint32_t>(std::min<uint64_t>(size_ - before, payload_)) : 0;
}

const uint8_t* ldm_buf::get_packet(uint32_t i) const {
  return i < packet_count() ? packets_[i] : nullptr;
}

uint32_t ldm_buf::get_packet_length(uint32_t i) const {
  return i < packet_count() ? packet_header_size + payload_length_of(i) : 0;
}

bool ldm_buf::add_packet(const void* datagram, size_t length) {
  require_owner("add_packet");
  if (length < packet_header_size || length > packet_size()) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(datagram);
  if (load_be16(bytes + payload_length_at) != length - packet_header_size) return false;
  uint8_t* packet = pool_->alloc_packet();
  std::memcpy(packet, bytes, length);
  packets_.push_back(packet);
  received_ = true;
  return true;
}

uint32_t ldm_buf::crc_of_range(uint64_t from, uint64_t to, uint32_t crc) const {
  for (uint64_t at = from; at < to;) {
    const span piece = contiguous(at, to);
    crc = crc32c(crc, piece.data, piece.length);
    at += piece.length;
  }
  return crc;
}

// The CRC-32C of a message taken with its CRC field as zero; the caller has checked that the
// message lies within size.
uint32_t ldm_buf::crc_of_message(uint64_t start, uint32_t length) const {
  static const uint8_t zeros[4] = {};
  const uint64_t end = start + length;
  const uint64_t field = start + crc_at;
  uint32_t crc = crc_of_range(start, std::min(end, field), 0);
  if (end <= field) return crc;
  crc = crc32c(crc, zeros, std::min<uint64_t>(4, end - field));
  return crc_of_range(std::min(end, field + 4), end, crc);
}

void ldm_buf::prepare_message(uint32_t position) {
  const uint64_t start = align_up(position, message_alignment);
  if (start + message_header_size > size_) fatal(prepare_message_past_end);
  // The header's words never straddle packets: the header starts at a multiple of 8.
  uint8_t* length_field = contiguous(start + message_length_at, size_).data;
  const uint32_t length = load_be32(length_field);
  if (start + length > size_) fatal(prepare_message_past_end);
  *contiguous(start, size_).data = message_marker;
  store_be32(contiguous(start + crc_at, size_).data, crc_of_message(start, length));
}

void ldm_buf::prepare_packets() {
  for (uint32_t i = 0; i < packet_count(); ++i) {
    uint8_t* packet = packets_[i];
    const uint32_t length = payload_length_of(i);
    packet[version_major_at] = pool_->version_major();
    packet[version_minor_at] = pool_->version_minor();
    store_be16(packet + payload_length_at, length);
    store_be32(packet + adler_at, packet_adler(packet, length));
  }
}

// Every packet but the last must be full, or logical positions would not map onto packets.
// Anything but acceptance leaves the buffer empty, so nothing of a bad packet can be read.
message_acceptance ldm_buf::accept_packets() {
  received_ = true;
  forget_cursors();
  const uint32_t count = packet_count();
  uint64_t total = 0;
  message_acceptance verdict = message_acceptance::accepted;
  for (uint32_t i = 0; i < count && verdict == message_acceptance::accepted; ++i) {
    uint8_t* packet = packets_[i];
    const uint32_t length = load_be16(packet + payload_length_at);
    if (packet[version_major_at] != pool_->version_major() || packet[version_minor_at] != pool_->version_minor()) {
      verdict = message_acceptance::version_mismatch;
    } else if (length > payload_ || (i + 1 < count && length != payload_)) {
      verdict = message_acceptance::corrupt;
    } else {
      const uint32_t stored = load_be32(packet + adler_at);
      store_be32(packet + adler_at, 0);
      if (packet_adler(packet, length) != stored) verdict = message_acceptance::corrupt;
      total += length;
    }
  }
  size_ = verdict == message_acceptance::accepted ? static_cast<uint32_t>(total) : 0;
  optr_ = size_;
  return verdict;
}

version_acceptance ldm_buf::version_check() const {
  if (packets_.empty()) return version_acceptance::same_version;
  const uint8_t* packet = packets_.front();
  if (packet[version_major_at] != pool_->version_major()) return version_acceptance::major_mismatch;
  if (packet[version_minor_at] != pool_->version_minor()) return version_acceptance::minor_mismatch;
  return version_acceptance::same_version;
}

message_acceptance ldm_buf::accept_message(uint32_t position) {
  received_ = true;
  const uint64_t start = align_up(position, message_alignment);
  if (start + message_header_size > size_) return message_acceptance::corrupt;
  uint8_t header[message_header_size];
  copy_out(start, header, sizeof header);
  if (header[0] != message_marker) return message_acceptance::corrupt;
  const uint32_t length = load_be32(header + message_length_at);
  if (length < message_header_size || start + length > size_) return message_acceptance::corrupt;
  const bool intact = crc_of_message(start, length) == load_be32(header + crc_at);
  return intact ? message_acceptance::accepted : message_acceptance::corrupt;
}

uint8_t* ldm_buf::get_fragment_header(uint32_t i) {
  return i < packet_count() ? packets_[i] + fragment_header_at : nullptr;
}

uint8_t* ldm_buf::get_message_header() { return packets_.empty() ? nullptr : packets_.front() + header_bytes; }

void ldm_buf::lookup_message_id(message_identifier& out) const {
  out.source = pool_->source_identifier();
  out.buffer = htonl(identifier_);
}

}  // namespace brindle
