// The one message buffer of the system: every wire value is written into an ldm_buf with the
// typed operators and read back with the matching ones. The bytes live in fixed-size packets
// from the owning buffer_pool_manager, each with room for the transport's packet header, so the
// stream transport sends them in place. Buffers are reference counted (duplicate_buf /
// release_buf); the last release returns the packets to the pool and the buffer to pools.
//
// Wire forms (every value is big-endian):
//   integer types  one 4-byte word at a position rounded up to 4; narrower types widened
//                  (char, short sign-extended; unsigned char, unsigned short zero-extended;
//                  bool 0 or 1); long and unsigned long also travel as one word (low 32 bits)
//   float          one word holding the IEEE single bit pattern
//   double         two words, high half then low half of the IEEE bit pattern, each aligned to 4
//   string         its bytes and one NUL, no alignment (null is written as "")
//   raw block      n bytes; the position is first rounded up to 8 when n >= 8, to 4 when n >= 4,
//                  to 2 when n is 2 or 3
//
// Packet (one block of packet_size bytes):
//   0      version major            1     version minor
//   2-3    payload length (the full payload except in the last packet)
//   4-7    Adler-32 of bytes 0 .. 23 + payload length, taken with this field zero
//   8-23   fragment header, owned by the stream transport
//   24-    payload: logical position p is in packet p / payload, at 24 + p % payload
// Message header (positions 0-23 of a message; a further message packed into the same buffer
// starts at a multiple of 8):
//   0      marker 0x22              1-7   transport
//   8-11   message length from the start of the header (set by the transport)
//   12-15  transport
//   16-19  CRC-32C of the message's length bytes, taken with this field zero
//   20-23  transport
//
// Reading past the data: a buffer that holds bytes received from another process (marked by
// add_packet from a datagram, accept_packets, accept_message or set_received) throws
// ldm_decode_error, so the transport can drop and count the message. For a locally written
// buffer the same read is a programming error: the fixed message is printed and the process
// aborts. Writing a shared buffer (reference count above 1, a view or a copy) always aborts.
//
// Receive path: the transport takes pool->get_empty_buf(), appends each datagram with
// add_packet(bytes, length) (which refuses a datagram shorter than its header, longer than a
// packet, or whose payload length field disagrees with the datagram's length), then calls
// accept_packets() and accept_message(position) before reading the message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "brindle_export.h"
#include "byte_order.h"
#include "pools.h"

namespace brindle {

class buffer_pool_manager;

enum class version_acceptance { same_version = 0, minor_mismatch = 1, major_mismatch = 2 };
enum class message_acceptance { version_mismatch = 0, accepted = 1, corrupt = 2 };

// Names one buffer of one pool across the federation; both fields in network byte order.
struct message_identifier {
  uint32_t source = 0;
  uint32_t buffer = 0;
  bool operator==(const message_identifier&) const = default;
};

// A read ran past the data of a received buffer: the message is malformed.
class BRINDLE_EXPORT ldm_decode_error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

class BRINDLE_EXPORT ldm_buf : public memory_pooled<ldm_buf> {
public:
  static constexpr uint32_t packet_header_size = 24;
  static constexpr uint32_t message_header_size = 24;
  static constexpr uint32_t fragment_header_size = 16;
  static constexpr uint8_t message_marker = 0x22;

  // A buffer of pool with one packet, positions and size at 24 (past the message header); or,
  // without a packet, an empty buffer of size 0 for the receive path.
  ldm_buf(buffer_pool_manager* pool, uint32_t identifier, bool with_packet = true);
  // A view of packet `packet` of source: shares the packet, holds a reference on source, can be
  // read, not written; its size is that packet's share of the payload.
  ldm_buf(ldm_buf* source, uint32_t packet);
  // A copy shares the packets of other and holds a reference on it; it can be read, not written.
  ldm_buf(const ldm_buf& other);
  ldm_buf& operator=(const ldm_buf& other);
  ~ldm_buf();

  // Typed values.
  ldm_buf& operator<<(char value) { write_4(static_cast<uint32_t>(static_cast<int32_t>(value))); return *this; }
  ldm_buf& operator<<(unsigned char value) { write_4(value); return *this; }
  ldm_buf& operator<<(short value) { write_4(static_cast<uint32_t>(static_cast<int32_t>(value))); return *this; }
  ldm_buf& operator<<(unsigned short value) { write_4(value); return *this; }
  ldm_buf& operator<<(int value) { write_4(static_cast<uint32_t>(value)); return *this; }
  ldm_buf& operator<<(unsigned int value) { write_4(value); return *this; }
  ldm_buf& operator<<(long value) { write_4(static_cast<uint32_t>(value)); return *this; }
  ldm_buf& operator<<(unsigned long value) { write_4(static_cast<uint32_t>(value)); return *this; }
  ldm_buf& operator<<(bool value) { write_4(value ? 1 : 0); return *this; }
  ldm_buf& operator<<(float value);
  ldm_buf& operator<<(double value);
  ldm_buf& operator<<(const char* text) { write_string(text); return *this; }

  ldm_buf& operator>>(char& value) { value = static_cast<char>(read_4()); return *this; }
  ldm_buf& operator>>(unsigned char& value) { value = static_cast<unsigned char>(read_4()); return *this; }
  ldm_buf& operator>>(short& value) { value = static_cast<short>(read_4()); return *this; }
  ldm_buf& operator>>(unsigned short& value) { value = static_cast<unsigned short>(read_4()); return *this; }
  ldm_buf& operator>>(int& value) { value = static_cast<int>(read_4()); return *this; }
  ldm_buf& operator>>(unsigned int& value) { value = read_4(); return *this; }
  ldm_buf& operator>>(long& value) { value = static_cast<int32_t>(read_4()); return *this; }
  ldm_buf& operator>>(unsigned long& value) { value = read_4(); return *this; }
  ldm_buf& operator>>(bool& value) { value = read_4() != 0; return *this; }
  ldm_buf& operator>>(float& value);
  ldm_buf& operator>>(double& value);
  ldm_buf& operator>>(const char*& text) { text = read_string(); return *this; }

  void write_4(uint32_t word);
  uint32_t read_4();
  void write_string(const char* text);
  // A pointer into the packet when the string lies in one packet, else a copy owned by the
  // buffer; either stays valid until the buffer is destroyed.
  const char* read_string();
  void write_os(const void* data, uint32_t n);
  const char* read_is(uint32_t n);

  // Positions are logical offsets; setting one only moves the cursor.
  uint32_t get_optr() const { return optr_; }
  void set_optr(uint32_t position) { optr_ = position; }
  uint32_t get_iptr() const { return iptr_; }
  void set_iptr(uint32_t position) { iptr_ = position; }
  uint32_t get_size() const { return size_; }

  void duplicate_buf();
  void release_buf();
  uint32_t get_refcount() const { return refcount_; }

  // For the stream transport.
  buffer_pool_manager* get_pool() const { return pool_; }
  uint32_t get_identifier() const { return identifier_; }
  uint32_t packet_size() const { return payload_ + packet_header_size; }
  uint32_t payload_size() const { return payload_; }
  uint32_t packet_count() const { return static_cast<uint32_t>(packets_.size()); }
  // Packet i's bytes, and how many of them to send (header and payload); null / 0 past the end.
  const uint8_t* get_packet(uint32_t i) const;
  uint32_t get_packet_length(uint32_t i) const;
  // Size, write position = n, read position = 24; keeps exactly the packets up to position n - 1.
  void set_size(uint32_t n);
  // Appends a packet with a zeroed header (and a zeroed payload when pooling is off).
  void add_packet();
  // Appends a received datagram as the next packet and marks the buffer received. False (and
  // nothing appended) when length is below the packet header, above the packet size, or
  // disagrees with the payload length field.
  bool add_packet(const void* datagram, size_t length);
  void drop_packet();
  uint32_t get_total_bytes() const { return size_ + packet_header_size * packet_count(); }
  // Marks the message header at position (rounded up to 8) and stores the CRC-32C over the
  // length in its bytes 8-11; a message that runs past size aborts.
  void prepare_message(uint32_t position = 0);
  // Stamps every packet with the version bytes, its payload length and its Adler-32.
  void prepare_packets();
  // Checks every packet's version bytes, payload length (full in all but the last) and Adler-32,
  // and makes size the sum of the payloads; the checksum fields are left zero. Anything but
  // accepted leaves size 0, so nothing of a refused buffer can be read.
  message_acceptance accept_packets();
  // Checks the message header at position (rounded up to 8): marker, a length that covers the
  // header and stays within size, and the CRC-32C.
  message_acceptance accept_message(uint32_t position);
  // The first packet's version bytes against the pool's; same_version when there is no packet.
  version_acceptance version_check() const;
  uint8_t* get_fragment_header(uint32_t i);
  uint8_t* get_message_header();
  void lookup_message_id(message_identifier& out) const;
  void set_received() { received_ = true; }
  bool is_received() const { return received_; }

private:
  struct span {
    uint8_t* data;
    uint32_t length;
  };

  bool writable() const { return refcount_ == 1 && owns_packets(); }
  bool owns_packets() const { return source_ == nullptr; }
  void write_word_slowly(uint32_t word);
  uint32_t read_word_slowly();
  void require_writable(const char* message) const;
  [[noreturn]] void read_failed(const char* message) const;
  void require_owner(const char* operation) const;
  void swap_contents(ldm_buf& other);
  void release_packets();
  void ensure_packets(uint64_t end);
  void write_bytes(uint64_t position, const void* data, uint64_t n);
  span contiguous(uint64_t position, uint64_t end) const;
  void copy_out(uint64_t position, void* data, uint32_t n) const;
  const char* view_or_copy(uint64_t position, uint32_t n);
  uint32_t payload_length_of(uint32_t i) const;
  uint32_t crc_of_range(uint64_t from, uint64_t to, uint32_t crc) const;
  uint32_t crc_of_message(uint64_t start, uint32_t length) const;
  void cache_write_packet(uint64_t k);
  void cache_read_packet(uint64_t k);
  void forget_cursors();

  buffer_pool_manager* pool_;
  uint32_t payload_;
  ldm_buf* source_ = nullptr;
  std::vector<uint8_t*> packets_;
  std::vector<std::unique_ptr<char[]>> copies_;
  uint32_t refcount_ = 1;
  uint32_t size_ = packet_header_size;
  uint32_t identifier_;
  uint32_t optr_ = packet_header_size;
  uint32_t iptr_ = packet_header_size;
  bool received_ = false;

  // The packet last written and the one last read, as the logical range [begin, begin + length)
  // and the address of its first byte, so that most words skip the packet lookup. The write
  // range exists only while the buffer is writable; the read range never passes size.
  uint64_t wbegin_ = 0, wlength_ = 0;
  uint8_t* wbase_ = nullptr;
  uint64_t rbegin_ = 0, rlength_ = 0;
  const uint8_t* rbase_ = nullptr;
};

// The common case of a word that falls inside the packet last used is inline; everything else
// (alignment into a new packet, the end of the data, a shared buffer) goes the slow way.
inline void ldm_buf::write_4(uint32_t word) {
  const uint64_t offset = ((uint64_t{optr_} + 3) & ~uint64_t{3}) - wbegin_;
  if (offset < wlength_ && wlength_ - offset >= 4) {
    store_be32(wbase_ + offset, word);
    optr_ = static_cast<uint32_t>(wbegin_ + offset + 4);
    if (optr_ > size_) size_ = optr_;
    return;
  }
  write_word_slowly(word);
}

inline uint32_t ldm_buf::read_4() {
  const uint64_t offset = ((uint64_t{iptr_} + 3) & ~uint64_t{3}) - rbegin_;
  if (offset < rlength_ && rlength_ - offset >= 4) {
    iptr_ = static_cast<uint32_t>(rbegin_ + offset + 4);
    return load_be32(rbase_ + offset);
  }
  return read_word_slowly();
}

}  // namespace brindle
