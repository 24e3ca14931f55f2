// The user-supplied tag that travels with updates, interactions, deletions and synchronization
// points: a byte string with its length. The object owns its bytes, which come from the value
// block pools below; copying a tag copies them.
//
// Wire form:
//   length   one word (unsigned)
//   bytes    a raw block of `length` bytes (ldm_buf::write_os)
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

#include "frame/varnel_export.h"
#include "pools.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

// The size classes of tag and value bytes: up to 64 bytes a block of exactly that size, up to
// 8192 bytes a multiple of 64, anything larger from the system allocator. Free a block with the
// size it was allocated with.
namespace value_blocks {
size_t block_size(size_t size);
char* alloc(size_t size);
void dealloc(size_t size, char* block);
}  // namespace value_blocks

class VARNEL_EXPORT user_tag : public brindle::memory_pooled<user_tag> {
public:
  // Length 0.
  user_tag();
  // The text with its terminating NUL (length = strlen + 1); a null text gives length 0.
  explicit user_tag(const char* text);
  // A copy of length bytes; null data gives length 0.
  user_tag(uint32_t length, const void* data);
  user_tag(const user_tag& other);
  user_tag& operator=(const user_tag& other);
  ~user_tag();

  uint32_t get_length() const { return length_; }
  const char* get_data() const { return data_; }
  // The bytes as text: a spare byte after them always holds a NUL, so this is safe for any
  // content (a tag with an inner NUL reads as its text up to that NUL).
  const char* get_string() const { return data_; }

private:
  void assign(uint32_t length, const void* data);
  void free_data();

  uint32_t length_ = 0;
  char* data_ = nullptr;  // length_ + 1 bytes, data_[length_] == 0
};

bool operator==(const user_tag& a, const user_tag& b);

brindle::ldm_buf& operator<<(brindle::ldm_buf& buffer, const user_tag& tag);
// Reads a tag; a received buffer that ends inside it throws ldm_decode_error and leaves tag as
// it was.
brindle::ldm_buf& operator>>(brindle::ldm_buf& buffer, user_tag& tag);
// Writes the text.
std::ostream& operator<<(std::ostream& out, const user_tag& tag);

}  // namespace varnel
