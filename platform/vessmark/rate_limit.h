// The rate limit stage of the sending pipeline: a token bucket in bytes. A packet goes out at
// once while the bucket holds tokens and nothing waits; otherwise it waits in a bounded queue,
// higher priority first and in order within a priority, which the stream manager drains from a
// scheduler timer. The caller is never blocked. When the queue is full the lowest-priority
// packet is dropped and counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace vessmark {

class rate_limit {
public:
  enum verdict { send_now, queued, dropped };

  // megabits_per_second <= 0 means no limit. The queue holds at most max_packets packets and
  // max_bytes bytes.
  rate_limit(double megabits_per_second, size_t max_packets, size_t max_bytes);

  // For send_now the caller sends packet itself; for queued the limiter has taken it; for
  // dropped it was the lowest priority of a full queue (another queued packet may have been
  // dropped instead, which also counts, and then the verdict is queued).
  verdict offer(std::vector<uint8_t>& packet, unsigned char priority, uint64_t now_ms);
  // The queued packets whose turn has come, in sending order.
  std::vector<std::vector<uint8_t>> take_ready(uint64_t now_ms);
  // Every queued packet in sending order, whatever the bucket holds: for a closing transport.
  std::vector<std::vector<uint8_t>> take_all();
  // Milliseconds from now until the first queued packet may go; -1 when nothing waits.
  int64_t next_due(uint64_t now_ms);

  bool limited() const { return bytes_per_ms_ > 0; }
  size_t queued_packets() const { return queue_.size(); }
  size_t queued_bytes() const { return queued_bytes_; }
  uint64_t dropped_packets() const { return dropped_; }

private:
  // Key: (255 - priority, arrival number), so the map's order is the sending order and its
  // last element the packet to drop.
  using queue_type = std::map<std::pair<int, uint64_t>, std::vector<uint8_t>>;

  void refill(uint64_t now_ms);
  bool full_for(size_t bytes) const;
  void drop_last();

  double bytes_per_ms_;
  double capacity_;  // the largest burst, in bytes
  double tokens_;    // may run below 0 by one packet: the debt is paid before the next goes
  uint64_t last_refill_ = 0;
  size_t max_packets_;
  size_t max_bytes_;
  queue_type queue_;
  size_t queued_bytes_ = 0;
  uint64_t arrivals_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace vessmark
