#include "rate_limit.h"

#include <algorithm>
#include <cmath>

namespace vessmark {

namespace {
// The burst allowance: 20 ms of the rate, but at least one largest datagram.
constexpr double burst_ms = 20;
constexpr double min_burst_bytes = 65536;
}  // namespace

rate_limit::rate_limit(double megabits_per_second, size_t max_packets, size_t max_bytes)
    : bytes_per_ms_(megabits_per_second > 0 ? megabits_per_second * 1e6 / 8 / 1000 : 0),
      capacity_(std::max(bytes_per_ms_ * burst_ms, min_burst_bytes)),
      tokens_(capacity_),
      max_packets_(std::max<size_t>(max_packets, 1)),
      max_bytes_(max_bytes) {}

void rate_limit::refill(uint64_t now_ms) {
  if (now_ms > last_refill_) {
    tokens_ = std::min(capacity_, tokens_ + static_cast<double>(now_ms - last_refill_) * bytes_per_ms_);
  }
  last_refill_ = std::max(last_refill_, now_ms);
}

bool rate_limit::full_for(size_t bytes) const {
  return !queue_.empty() && (queue_.size() >= max_packets_ || queued_bytes_ + bytes > max_bytes_);
}

void rate_limit::drop_last() {
  auto last = std::prev(queue_.end());
  queued_bytes_ -= last->second.size();
  queue_.erase(last);
  ++dropped_;
}

rate_limit::verdict rate_limit::offer(std::vector<uint8_t>& packet, unsigned char priority, uint64_t now_ms) {
  if (!limited()) return send_now;
  refill(now_ms);
  if (queue_.empty() && tokens_ >= 0) {
    tokens_ -= static_cast<double>(packet.size());
    return send_now;
  }
  const std::pair<int, uint64_t> key{255 - priority, arrivals_++};
  while (full_for(packet.size())) {
    if (key.first >= std::prev(queue_.end())->first.first) {
      ++dropped_;
      return dropped;
    }
    drop_last();
  }
  queued_bytes_ += packet.size();
  queue_.emplace(key, std::move(packet));
  return queued;
}

std::vector<std::vector<uint8_t>> rate_limit::take_ready(uint64_t now_ms) {
  std::vector<std::vector<uint8_t>> ready;
  refill(now_ms);
  while (!queue_.empty() && tokens_ >= 0) {
    auto first = queue_.begin();
    tokens_ -= static_cast<double>(first->second.size());
    queued_bytes_ -= first->second.size();
    ready.push_back(std::move(first->second));
    queue_.erase(first);
  }
  return ready;
}

std::vector<std::vector<uint8_t>> rate_limit::take_all() {
  std::vector<std::vector<uint8_t>> all;
  for (auto& [key, packet] : queue_) all.push_back(std::move(packet));
  queue_.clear();
  queued_bytes_ = 0;
  return all;
}

int64_t rate_limit::next_due(uint64_t now_ms) {
  if (queue_.empty()) return -1;
  refill(now_ms);
  if (tokens_ >= 0) return 0;
  return static_cast<int64_t>(std::ceil(-tokens_ / bytes_per_ms_));
}

}  // namespace vessmark
