#include "pools.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostic.h"
#include "rx_alloc.h"

namespace brindle {

namespace {

const char* const diagnostic_tag = "fixed_block_allocator";

// No valid block lies in the first page; anything there is a corrupted pointer.
constexpr uintptr_t lowest_valid_address = 4096;

bool pooling_disabled() { return std::getenv("RTI_USE_MALLOC") || std::getenv("DISABLE_POOLING"); }

// A free block holds the address of the next free block, so no block is smaller than that.
size_t rounded_block_size(size_t size) {
  const size_t rounded = (size + 3) & ~size_t{3};
  return rounded < sizeof(void*) ? sizeof(void*) : rounded;
}

// Blocks are only 4-aligned when their size is not a multiple of 8, so the link is copied
// rather than accessed as a pointer.
void* next_of(void* block) {
  void* next;
  std::memcpy(&next, block, sizeof next);
  return next;
}

void set_next(void* block, void* next) { std::memcpy(block, &next, sizeof next); }

}  // namespace

void fixed_block_allocator::chunk_deleter::operator()(unsigned char* chunk) const { rxfree(chunk); }

fixed_block_allocator::fixed_block_allocator(size_t block_size)
    : block_size_(rounded_block_size(block_size)), malloc_only_(pooling_disabled()) {}

fixed_block_allocator::~fixed_block_allocator() = default;

void* fixed_block_allocator::alloc() {
  if (malloc_only_) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      bytes_allocated_ += block_size_;
      bytes_in_use_ += block_size_;
    }
    return rxmalloc(block_size_);
  }
  std::lock_guard<std::mutex> hold(lock_);
  bytes_in_use_ += block_size_;
  if (free_list_) {
    void* block = free_list_;
    free_list_ = next_of(block);
    return block;
  }
  if (left_in_chunk_ == 0) {
    const size_t chunk_bytes = blocks_per_chunk * block_size_;
    chunks_.emplace_back(static_cast<unsigned char*>(rxmalloc(chunk_bytes)));
    bytes_allocated_ += chunk_bytes;
    next_in_chunk_ = chunks_.back().get();
    left_in_chunk_ = blocks_per_chunk;
  }
  void* block = next_in_chunk_;
  next_in_chunk_ += block_size_;
  --left_in_chunk_;
  return block;
}

void fixed_block_allocator::dealloc(void* block) {
  if (reinterpret_cast<uintptr_t>(block) < lowest_valid_address) {
    diagnostic(diagnostic_tag, "attempting to dealloc bad pointer: %p", block);
    std::abort();
  }
  if (malloc_only_) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      bytes_allocated_ -= block_size_;
      bytes_in_use_ -= block_size_;
    }
    rxfree(block);
    return;
  }
  std::lock_guard<std::mutex> hold(lock_);
  bytes_in_use_ -= block_size_;
  set_next(block, free_list_);
  free_list_ = block;
}

size_t fixed_block_allocator::get_bytes_allocated() const {
  std::lock_guard<std::mutex> hold(lock_);
  return bytes_allocated_;
}

size_t fixed_block_allocator::get_bytes_in_use() const {
  std::lock_guard<std::mutex> hold(lock_);
  return bytes_in_use_;
}

void fixed_block_allocator::print() const {
  std::lock_guard<std::mutex> hold(lock_);
  std::printf("fixed_block_allocator: allocating blocks of size %zu bytes\n", block_size_);
  if (malloc_only_) {
    std::printf("    running without pooling (RTI_USE_MALLOC mode)\n");
  } else {
    std::printf("    allocating chunks of %zu blocks (%zu bytes)\n", blocks_per_chunk,
                blocks_per_chunk * block_size_);
  }
  std::printf("    currently %zu bytes in use out of %zu bytes allocated\n", bytes_in_use_, bytes_allocated_);
}

pools::pools() {
  allocators_.reserve(largest_pooled / 4 + 1);
  for (size_t size_class = 0; size_class <= largest_pooled / 4; ++size_class)
    allocators_.push_back(std::make_unique<fixed_block_allocator>(size_class * 4));
}

// Made on first use (the static's initialisation is the process-wide lock) and never destroyed,
// so objects freed by other static destructors still find their allocator.
pools& pools::instance() {
  static pools* const the_pools = new pools;
  return *the_pools;
}

void* pools::alloc(size_t size) {
  if (size > largest_pooled) return rxmalloc(size);
  return instance().allocator_for(size).alloc();
}

void pools::dealloc(size_t size, void* block) {
  if (size > largest_pooled) {
    rxfree(block);
    return;
  }
  instance().allocator_for(size).dealloc(block);
}

void pools::print() {
  for (const auto& allocator : instance().allocators_)
    if (allocator->get_bytes_allocated() > 0) allocator->print();
}

void pools::print_totals() {
  std::printf("Total pooled memory: currently %zu bytes in use out of %zu\n", bytes_in_use(), bytes_allocated());
}

size_t pools::bytes_allocated() {
  size_t total = 0;
  for (const auto& allocator : instance().allocators_) total += allocator->get_bytes_allocated();
  return total;
}

size_t pools::bytes_in_use() {
  size_t total = 0;
  for (const auto& allocator : instance().allocators_) total += allocator->get_bytes_in_use();
  return total;
}

}  // namespace brindle
