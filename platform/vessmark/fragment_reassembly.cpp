#include "fragment_reassembly.h"

#include "ldm_buf.h"

namespace vessmark {

using namespace brindle;

std::vector<std::vector<uint8_t>> split_into_packets(const ldm_buf& buffer) {
  std::vector<std::vector<uint8_t>> packets;
  for (uint32_t i = 0; i < buffer.packet_count(); ++i) {
    const uint8_t* bytes = buffer.get_packet(i);
    packets.emplace_back(bytes, bytes + buffer.get_packet_length(i));
  }
  return packets;
}

fragment_reassembly::fragment_reassembly(uint64_t timeout_ms, size_t max_messages, size_t max_bytes)
    : timeout_ms_(timeout_ms), max_messages_(max_messages), max_bytes_(max_bytes) {}

void fragment_reassembly::forget(std::map<key, partial>::iterator it) {
  bytes_ -= it->second.bytes;
  partial_.erase(it);
}

fragment_reassembly::result fragment_reassembly::add(uint32_t sender, int stream, uint16_t sequence,
                                                     uint16_t index, bool last, const uint8_t* bytes,
                                                     size_t length, uint64_t now_ms,
                                                     std::vector<std::vector<uint8_t>>& out) {
  if (index >= max_fragments) return bad_fragment;
  const key k{sender, stream, sequence};
  auto it = partial_.find(k);
  if (it == partial_.end()) {
    if (partial_.size() >= max_messages_) return table_full;
    it = partial_.emplace(k, partial{now_ms, 0, 0, {}}).first;
  }
  partial& message = it->second;
  // A second "last" fragment, or a fragment beyond the last, means two messages were mixed
  // under one sequence number: neither can be trusted.
  const bool beyond_end = message.count != 0 && index >= message.count;
  const bool last_moves = last && message.count != 0 && message.count != index + 1u;
  const bool last_too_early = last && !message.fragments.empty() && message.fragments.rbegin()->first > index;
  if (beyond_end || last_moves || last_too_early) {
    forget(it);
    return bad_fragment;
  }
  if (message.fragments.count(index)) return incomplete;
  if (bytes_ + length > max_bytes_) {
    forget(it);
    return table_full;
  }
  message.fragments.emplace(index, std::vector<uint8_t>(bytes, bytes + length));
  message.bytes += length;
  bytes_ += length;
  if (last) message.count = index + 1u;
  if (message.count == 0 || message.fragments.size() != message.count) return incomplete;
  out.clear();
  for (auto& [number, fragment] : message.fragments) out.push_back(std::move(fragment));
  forget(it);
  return complete;
}

size_t fragment_reassembly::expire(uint64_t now_ms) {
  size_t expired = 0;
  for (auto it = partial_.begin(); it != partial_.end();) {
    auto next = std::next(it);
    if (now_ms >= it->second.started && now_ms - it->second.started >= timeout_ms_) {
      forget(it);
      ++expired;
    }
    it = next;
  }
  return expired;
}

uint64_t fragment_reassembly::next_expiry() const {
  uint64_t due = 0;
  for (const auto& [k, message] : partial_) {
    const uint64_t expiry = message.started + timeout_ms_;
    if (due == 0 || expiry < due) due = expiry;
  }
  return due;
}

}  // namespace vessmark
