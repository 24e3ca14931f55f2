#include "bundler.h"

#include <algorithm>

#include "ldm_buf.h"

namespace vessmark {

using namespace brindle;

namespace {
// Each message of a bundle starts at a multiple of 8 of the payload, where ldm_buf looks for it.
uint32_t align8(uint32_t n) { return (n + 7u) & ~7u; }
}  // namespace

bundler::bundler(uint32_t packet_size, uint64_t timeout_ms, uint32_t flush_threshold)
    : capacity_(packet_size - ldm_buf::packet_header_size),
      timeout_ms_(timeout_ms),
      flush_threshold_(flush_threshold) {}

void bundler::add(int stream, unsigned char priority, const uint8_t* message, uint32_t length,
                  uint64_t now_ms, std::vector<packet>& out) {
  auto found = open_.find(stream);
  if (found != open_.end()) {
    const uint32_t used = static_cast<uint32_t>(found->second.contents.bytes.size()) - ldm_buf::packet_header_size;
    if (align8(used) + length > capacity_) flush(stream, out);
  }
  bundle& target = open_.try_emplace(stream, bundle{{stream, priority, {}}, now_ms + timeout_ms_}).first->second;
  std::vector<uint8_t>& bytes = target.contents.bytes;
  if (bytes.empty()) bytes.resize(ldm_buf::packet_header_size);
  bytes.resize(ldm_buf::packet_header_size + align8(static_cast<uint32_t>(bytes.size()) - ldm_buf::packet_header_size));
  bytes.insert(bytes.end(), message, message + length);
  target.contents.priority = std::max(target.contents.priority, priority);
  const uint32_t used = static_cast<uint32_t>(bytes.size()) - ldm_buf::packet_header_size;
  if (timeout_ms_ == 0 || capacity_ - used < flush_threshold_) flush(stream, out);
}

void bundler::flush(int stream, std::vector<packet>& out) {
  auto found = open_.find(stream);
  if (found == open_.end()) return;
  out.push_back(std::move(found->second.contents));
  open_.erase(found);
}

void bundler::flush_due(uint64_t now_ms, std::vector<packet>& out) {
  for (auto it = open_.begin(); it != open_.end();) {
    if (it->second.due <= now_ms) {
      out.push_back(std::move(it->second.contents));
      it = open_.erase(it);
    } else {
      ++it;
    }
  }
}

uint64_t bundler::next_due() const {
  uint64_t due = 0;
  for (const auto& [stream, open] : open_) {
    if (due == 0 || open.due < due) due = open.due;
  }
  return due;
}

}  // namespace vessmark
