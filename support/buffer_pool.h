// Sources of message buffers. A buffer_manager_factory (one per stream transport) keeps one
// buffer_pool_manager per packet size; a pool allocates the packets of its buffers and stamps
// them with the factory's version bytes. Pools are reference counted: get_pool raises the count,
// destroy lowers it, and every live buffer holds one reference on its pool, so a pool outlives
// its buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "brindle_export.h"
#include "ldm_buf.h"
#include "pools.h"

namespace brindle {

class buffer_pool_manager;

class BRINDLE_EXPORT buffer_manager_factory {
public:
  buffer_manager_factory(uint8_t version_major, uint8_t version_minor);
  // Pools still referenced live on without their factory.
  ~buffer_manager_factory();
  buffer_manager_factory(const buffer_manager_factory&) = delete;
  buffer_manager_factory& operator=(const buffer_manager_factory&) = delete;

  // The pool of packet size ((size - 24) rounded down to a multiple of 8) + 24, with one more
  // reference; the size is first clamped to what a packet header can describe (48 to 65552).
  buffer_pool_manager* get_pool(uint32_t packet_size);
  void print() const;

  static uint32_t normalised_packet_size(uint32_t packet_size);

private:
  friend class buffer_pool_manager;
  void forget(buffer_pool_manager* pool);

  uint8_t version_major_;
  uint8_t version_minor_;
  std::vector<buffer_pool_manager*> pools_;
};

class BRINDLE_EXPORT buffer_pool_manager {
public:
  // A new buffer with one packet, positions and size 24; its identifier counts from 1.
  ldm_buf* get_buf();
  // A new buffer without packets, marked received, for the transport to add datagrams to.
  ldm_buf* get_empty_buf();
  void release_buf(ldm_buf* buffer) { buffer->release_buf(); }
  // One reference less; the last one deletes the pool.
  void destroy();
  void print() const;

  uint32_t packet_size() const { return packet_size_; }
  uint8_t version_major() const { return version_major_; }
  uint8_t version_minor() const { return version_minor_; }
  bool no_pooling() const { return no_pooling_; }
  // ((pool index << 8) XOR 16-bit process id) << 16, XOR the host identifier; network order.
  uint32_t source_identifier() const { return source_identifier_; }
  uint32_t buffers_handed_out() const { return buffers_handed_out_; }

private:
  friend class buffer_manager_factory;
  friend class ldm_buf;
  buffer_pool_manager(buffer_manager_factory* factory, uint32_t packet_size, uint32_t index,
                      uint8_t version_major, uint8_t version_minor);
  ~buffer_pool_manager();
  void hold() { ++refcount_; }
  uint8_t* alloc_packet();
  void dealloc_packet(uint8_t* packet) { packets_.dealloc(packet); }

  buffer_manager_factory* factory_;
  uint32_t packet_size_;
  fixed_block_allocator packets_;
  uint8_t version_major_;
  uint8_t version_minor_;
  bool no_pooling_;
  uint32_t source_identifier_;
  uint32_t buffers_handed_out_ = 0;
  uint32_t refcount_ = 1;
};

}  // namespace brindle
