#include "buffer_pool.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "federate_identifier.h"

namespace brindle {

namespace {

// A packet carries its payload length in 16 bits, and the first message header (24 bytes)
// must fit in the first packet's payload.
constexpr uint32_t smallest_packet = ldm_buf::packet_header_size + ldm_buf::message_header_size;
constexpr uint32_t largest_packet = ldm_buf::packet_header_size + (0xFFFF & ~7u);

}  // namespace

buffer_manager_factory::buffer_manager_factory(uint8_t version_major, uint8_t version_minor)
    : version_major_(version_major), version_minor_(version_minor) {}

buffer_manager_factory::~buffer_manager_factory() {
  for (buffer_pool_manager* pool : pools_) pool->factory_ = nullptr;
}

uint32_t buffer_manager_factory::normalised_packet_size(uint32_t packet_size) {
  const uint32_t clamped = std::clamp(packet_size, smallest_packet, largest_packet);
  return ((clamped - ldm_buf::packet_header_size) & ~7u) + ldm_buf::packet_header_size;
}

buffer_pool_manager* buffer_manager_factory::get_pool(uint32_t packet_size) {
  const uint32_t size = normalised_packet_size(packet_size);
  for (buffer_pool_manager* pool : pools_) {
    if (pool->packet_size() == size) {
      pool->hold();
      return pool;
    }
  }
  const uint32_t index = static_cast<uint32_t>(pools_.size());
  pools_.push_back(new buffer_pool_manager(this, size, index, version_major_, version_minor_));
  return pools_.back();
}

void buffer_manager_factory::forget(buffer_pool_manager* pool) {
  pools_.erase(std::remove(pools_.begin(), pools_.end(), pool), pools_.end());
}

void buffer_manager_factory::print() const {
  std::printf("buffer_manager_factory: version %u.%u, %zu pools\n", version_major_, version_minor_, pools_.size());
  for (const buffer_pool_manager* pool : pools_) pool->print();
}

buffer_pool_manager::buffer_pool_manager(buffer_manager_factory* factory, uint32_t packet_size, uint32_t index,
                                         uint8_t version_major, uint8_t version_minor)
    : factory_(factory),
      packet_size_(packet_size),
      packets_(packet_size),
      version_major_(version_major),
      version_minor_(version_minor),
      no_pooling_(std::getenv("DISABLE_POOLING") != nullptr),
      source_identifier_(htonl(((index << 8) ^ federate_identifier::local_process()) << 16 ^
                               federate_identifier::local_host())) {}

buffer_pool_manager::~buffer_pool_manager() = default;

ldm_buf* buffer_pool_manager::get_buf() { return new ldm_buf(this, ++buffers_handed_out_); }

ldm_buf* buffer_pool_manager::get_empty_buf() {
  ldm_buf* buffer = new ldm_buf(this, ++buffers_handed_out_, false);
  buffer->set_received();
  return buffer;
}

void buffer_pool_manager::destroy() {
  if (--refcount_ > 0) return;
  if (factory_) factory_->forget(this);
  delete this;
}

// Only the header is cleared when pooling: the payload is always written before it is sent.
// Without pooling the padding left by alignment is zero too.
uint8_t* buffer_pool_manager::alloc_packet() {
  uint8_t* packet = static_cast<uint8_t*>(packets_.alloc());
  std::memset(packet, 0, no_pooling_ ? packet_size_ : ldm_buf::packet_header_size);
  return packet;
}

void buffer_pool_manager::print() const {
  std::printf("buffer_pool_manager: packets of %u bytes, version %u.%u, source 0x%08X, %u buffers handed out\n",
              packet_size_, version_major_, version_minor_, ntohl(source_identifier_), buffers_handed_out_);
  packets_.print();
}

}  // namespace brindle
