// Block allocators under every small object of the system. A fixed_block_allocator hands out
// blocks of one size from chunks that it keeps for reuse; pools holds one allocator per 4-byte
// size class up to 8192 bytes; memory_pooled<T> makes a class allocate itself from pools.
// A block goes back with the size it was allocated with. The environment variables
// "RTI_USE_MALLOC" and "DISABLE_POOLING" turn pooling off (every block from the system).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "brindle_export.h"

namespace brindle {

class fixed_block_allocator {
public:
  // block_size is rounded up to a multiple of 4 and to at least the size of the free-list link.
  explicit fixed_block_allocator(size_t block_size);
  ~fixed_block_allocator();
  fixed_block_allocator(const fixed_block_allocator&) = delete;
  fixed_block_allocator& operator=(const fixed_block_allocator&) = delete;

  void* alloc();
  void dealloc(void* block);

  size_t block_size() const { return block_size_; }
  bool malloc_only() const { return malloc_only_; }
  // Bytes obtained from the system, and bytes handed out and not yet returned.
  size_t get_bytes_allocated() const;
  size_t get_bytes_in_use() const;
  void print() const;

private:
  static constexpr size_t blocks_per_chunk = 8;

  struct chunk_deleter {
    void operator()(unsigned char* chunk) const;
  };

  mutable std::mutex lock_;
  const size_t block_size_;
  const bool malloc_only_;
  size_t bytes_allocated_ = 0;
  size_t bytes_in_use_ = 0;
  std::vector<std::unique_ptr<unsigned char, chunk_deleter>> chunks_;
  unsigned char* next_in_chunk_ = nullptr;
  size_t left_in_chunk_ = 0;
  void* free_list_ = nullptr;  // each free block's first bytes hold the next one's address
};

// One process-wide set of allocators, made on first use.
class BRINDLE_EXPORT pools {
public:
  static constexpr size_t largest_pooled = 8192;

  // Sizes above largest_pooled come from the system; dealloc needs the size given to alloc.
  static void* alloc(size_t size);
  static void dealloc(size_t size, void* block);
  static void print();
  static void print_totals();

  // Bytes obtained from the system and in use, summed over every size class.
  static size_t bytes_allocated();
  static size_t bytes_in_use();

private:
  pools();
  static pools& instance();
  fixed_block_allocator& allocator_for(size_t size) { return *allocators_[(size + 3) / 4]; }

  std::vector<std::unique_ptr<fixed_block_allocator>> allocators_;
};

// Mix-in: `class bit_vector : public memory_pooled<bit_vector>` makes new and delete of the
// class take their blocks from pools, sized by the object actually allocated.
template <typename T>
class memory_pooled {
public:
  static void* operator new(size_t size) { return pools::alloc(size); }
  static void operator delete(void* block, size_t size) {
    if (block) pools::dealloc(size, block);
  }
};

}  // namespace brindle
