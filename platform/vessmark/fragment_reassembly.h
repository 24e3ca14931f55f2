// The fragmentation stage: a message longer than one packet goes out as its ldm_buf packets,
// numbered within a per-sender message sequence, and the receiving side puts them back
// together here. The table is bounded in messages, bytes and time, so a flood of partial
// messages cannot grow memory: what does not fit is refused, what is not complete within the
// timeout is forgotten. Owned by the stream manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace vessmark {

// The packets of buffer as datagrams (header and payload), for a buffer whose messages are
// prepared; the stream manager stamps their transport bytes.
std::vector<std::vector<uint8_t>> split_into_packets(const brindle::ldm_buf& buffer);

class fragment_reassembly {
public:
  // Fragment indexes are 15 bits: a message has at most this many fragments.
  static constexpr uint32_t max_fragments = 0x8000;

  enum result { incomplete, complete, bad_fragment, table_full };

  fragment_reassembly(uint64_t timeout_ms, size_t max_messages, size_t max_bytes);

  // Adds one fragment of (sender, stream, sequence). When the message is whole, its packets
  // in order are moved into out and complete is returned. A duplicate fragment is ignored.
  result add(uint32_t sender, int stream, uint16_t sequence, uint16_t index, bool last,
             const uint8_t* bytes, size_t length, uint64_t now_ms,
             std::vector<std::vector<uint8_t>>& out);
  // Forgets messages older than the timeout; returns how many.
  size_t expire(uint64_t now_ms);
  // Clock time at which the oldest partial message expires; 0 when none waits.
  uint64_t next_expiry() const;
  size_t pending_messages() const { return partial_.size(); }
  size_t pending_bytes() const { return bytes_; }

private:
  using key = std::tuple<uint32_t, int, uint16_t>;
  struct partial {
    uint64_t started;
    uint32_t count = 0;  // known once the last fragment came, else 0
    size_t bytes = 0;
    std::map<uint16_t, std::vector<uint8_t>> fragments;
  };

  void forget(std::map<key, partial>::iterator it);

  uint64_t timeout_ms_;
  size_t max_messages_;
  size_t max_bytes_;
  size_t bytes_ = 0;
  std::map<key, partial> partial_;
};

}  // namespace vessmark
