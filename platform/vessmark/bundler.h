// The bundling stage of the sending pipeline: small messages bound for one stream share a
// packet. A bundle goes out when the next message does not fit, when fewer than
// flush_threshold bytes are left free, when it has waited bundle_timeout, or on flush. Owned
// by the stream manager, which stamps the packet header of each bundle it hands back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace vessmark {

class bundler {
public:
  struct packet {
    int stream;
    unsigned char priority;      // the highest of its messages
    std::vector<uint8_t> bytes;  // packet header (left zero) and payload
  };

  // packet_size is the whole packet, header included; timeout_ms 0 sends every message at once.
  bundler(uint32_t packet_size, uint64_t timeout_ms, uint32_t flush_threshold);

  // Adds one message (header included, at most one packet's payload) and appends to out the
  // bundles that are ready.
  void add(int stream, unsigned char priority, const uint8_t* message, uint32_t length,
           uint64_t now_ms, std::vector<packet>& out);
  void flush(int stream, std::vector<packet>& out);
  void flush_due(uint64_t now_ms, std::vector<packet>& out);
  // Clock time at which the oldest open bundle is due; 0 when none is open.
  uint64_t next_due() const;
  size_t open_bundles() const { return open_.size(); }
  uint32_t payload_capacity() const { return capacity_; }

private:
  struct bundle {
    packet contents;
    uint64_t due;
  };

  uint32_t capacity_;  // payload bytes of a packet
  uint64_t timeout_ms_;
  uint32_t flush_threshold_;
  std::map<int, bundle> open_;  // by stream
};

}  // namespace vessmark
