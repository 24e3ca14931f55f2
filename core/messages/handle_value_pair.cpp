#include "messages/handle_value_pair.h"

#include <cstring>

#include "messages/user_tag.h"

namespace varnel {

using namespace brindle;

handle_value_pair::handle_value_pair(uint32_t handle, uint32_t length, const void* data)
    : handle_(handle), length_(length), owns_data_(1) {
  if (length == 0) return;
  char* copy = value_blocks::alloc(length);
  std::memcpy(copy, data, length);
  data_ = copy;
}

handle_value_pair* handle_value_pair::borrowing(uint32_t handle, uint32_t length, const char* data) {
  auto* pair = new handle_value_pair();
  pair->handle_ = handle;
  pair->length_ = length;
  pair->data_ = data;
  return pair;
}

handle_value_pair::~handle_value_pair() {
  if (owns_data_) value_blocks::dealloc(length_, const_cast<char*>(data_));
}

namespace {

// The finalizer of MurmurHash3: every input bit reaches every output bit.
uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  return h ^ (h >> 33);
}

}  // namespace

// Eight bytes at a time, each word mixed before it is folded in, the length folded in first so
// that values differing only in trailing zeros differ.
uint64_t handle_value_pair::get_cksum() const {
  uint64_t h = mix(0x9e3779b97f4a7c15ULL ^ length_);
  const char* p = data_;
  uint32_t n = length_;
  for (; n >= 8; p += 8, n -= 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    h = mix(h ^ mix(word)) * 0x9e3779b97f4a7c15ULL;
  }
  if (n) {
    uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    h = mix(h ^ mix(tail ^ (uint64_t{n} << 59)));
  }
  return mix(h);
}

std::ostream& operator<<(std::ostream& out, const handle_value_pair& pair) {
  return out << "<handle=" << pair.get_handle() << " length=" << pair.get_length() << '>';
}

}  // namespace varnel
