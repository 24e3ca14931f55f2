#include "region_validator.h"

#include <array>
#include <cstring>
#include <new>

#include "pools.h"

namespace halden13 {

using namespace brindle;

namespace {

constexpr std::array<size_t, 26> bucket_primes = {
    43,       89,       179,      359,      719,       1439,      2879,      5749,       11519,
    23039,    46073,    92153,    184321,   368647,    737279,    1474559,   2949119,    5898253,
    11796469, 23592967, 47185967, 94371863, 188743691, 377487361, 754974721, 1509949451,
};

size_t bucket_count_for(size_t requested_size) {
  for (size_t prime : bucket_primes)
    if (prime >= requested_size) return prime;
  return requested_size;
}

}  // namespace

region_validator::region_validator(size_t requested_size) { resize(requested_size); }

region_validator::~region_validator() {
  for (size_t b = 0; b < buckets_; ++b) {
    for (node* n = table_[b]; n;) {
      node* next = n->next;
      pools::dealloc(sizeof(node), n);
      n = next;
    }
  }
  pools::dealloc(buckets_ * sizeof(node*), table_);
}

// Regions are heap objects aligned to at least 8 bytes, so the low three bits carry nothing.
size_t region_validator::bucket_of(const rti13::Region* region) const {
  return (reinterpret_cast<uintptr_t>(region) >> 3) % buckets_;
}

void region_validator::resize(size_t requested_size) {
  if (requested_size < buckets_) return;
  const size_t new_count = bucket_count_for(requested_size);
  if (new_count == buckets_) return;
  auto** new_table = static_cast<node**>(pools::alloc(new_count * sizeof(node*)));
  std::memset(new_table, 0, new_count * sizeof(node*));
  node** old_table = table_;
  const size_t old_count = buckets_;
  table_ = new_table;
  buckets_ = new_count;
  for (size_t b = 0; b < old_count; ++b) {
    for (node* n = old_table[b]; n;) {
      node* next = n->next;
      node*& chain = table_[bucket_of(n->key)];
      n->next = chain;
      chain = n;
      n = next;
    }
  }
  if (old_table) pools::dealloc(old_count * sizeof(node*), old_table);
}

void region_validator::insert(const rti13::Region* region) {
  resize(entries_ + 1);
  node*& chain = table_[bucket_of(region)];
  chain = new (pools::alloc(sizeof(node))) node{chain, region};
  ++entries_;
}

void region_validator::remove(const rti13::Region* region) {
  for (node** link = &table_[bucket_of(region)]; *link; link = &(*link)->next) {
    node* n = *link;
    if (n->key != region) continue;
    *link = n->next;
    pools::dealloc(sizeof(node), n);
    --entries_;
    return;
  }
}

bool region_validator::contains(const rti13::Region* region) const {
  for (const node* n = table_[bucket_of(region)]; n; n = n->next)
    if (n->key == region) return true;
  return false;
}

}  // namespace halden13
