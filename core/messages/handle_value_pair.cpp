#include "messages/handle_value_pair.h"

#include <cstring>

#include "checksums.h"
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

uint32_t handle_value_pair::get_cksum() const { return length_ ? adler32(1, data_, length_) : 1; }

std::ostream& operator<<(std::ostream& out, const handle_value_pair& pair) {
  return out << "<handle=" << pair.get_handle() << " length=" << pair.get_length() << '>';
}

}  // namespace varnel
