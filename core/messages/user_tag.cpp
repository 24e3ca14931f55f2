#include "messages/user_tag.h"

#include <cstring>

#include "ldm_buf.h"

namespace varnel {

using namespace brindle;

namespace value_blocks {

namespace {
constexpr size_t exact_limit = 64;
constexpr size_t granule = 64;
}  // namespace

size_t block_size(size_t size) {
  if (size <= exact_limit || size > pools::largest_pooled) return size;
  return (size + granule - 1) / granule * granule;
}

char* alloc(size_t size) { return static_cast<char*>(pools::alloc(block_size(size))); }

void dealloc(size_t size, char* block) {
  if (block) pools::dealloc(block_size(size), block);
}

}  // namespace value_blocks

user_tag::user_tag() { assign(0, nullptr); }

user_tag::user_tag(const char* text) {
  if (text) {
    assign(static_cast<uint32_t>(std::strlen(text) + 1), text);
  } else {
    assign(0, nullptr);
  }
}

user_tag::user_tag(uint32_t length, const void* data) { assign(data ? length : 0, data); }

user_tag::user_tag(const user_tag& other) { assign(other.length_, other.data_); }

user_tag& user_tag::operator=(const user_tag& other) {
  if (this == &other) return *this;
  free_data();
  assign(other.length_, other.data_);
  return *this;
}

user_tag::~user_tag() { free_data(); }

// size_t arithmetic: a length of 2^32 - 1 must not wrap the spare byte's size to zero.
void user_tag::assign(uint32_t length, const void* data) {
  data_ = value_blocks::alloc(size_t{length} + 1);
  if (length) std::memcpy(data_, data, length);
  data_[length] = 0;
  length_ = length;
}

void user_tag::free_data() {
  value_blocks::dealloc(size_t{length_} + 1, data_);
  data_ = nullptr;
  length_ = 0;
}

bool operator==(const user_tag& a, const user_tag& b) {
  return a.get_length() == b.get_length() && std::memcmp(a.get_data(), b.get_data(), a.get_length()) == 0;
}

ldm_buf& operator<<(ldm_buf& buffer, const user_tag& tag) {
  buffer.write_4(tag.get_length());
  buffer.write_os(tag.get_data(), tag.get_length());
  return buffer;
}

ldm_buf& operator>>(ldm_buf& buffer, user_tag& tag) {
  const uint32_t length = buffer.read_4();
  // read_is checks the length against the data before anything is allocated for it.
  const char* bytes = buffer.read_is(length);
  tag = user_tag(length, bytes);
  return buffer;
}

std::ostream& operator<<(std::ostream& out, const user_tag& tag) { return out << tag.get_string(); }

}  // namespace varnel
