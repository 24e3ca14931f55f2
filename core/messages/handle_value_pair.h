// One attribute or parameter value: a handle and the value's bytes. A pair either owns a private
// copy of the bytes (from the value block pools of user_tag.h) or points into the ldm_buf of the
// handle_value_set that holds it, which keeps that buffer alive. Pairs live in a
// handle_value_set, which owns them.
#pragma once

#include <cstdint>
#include <ostream>

#include "pools.h"

namespace varnel {

class handle_value_pair : public brindle::memory_pooled<handle_value_pair> {
public:
  static constexpr uint32_t unset_handle = 0xFFFFFFFF;

  // Unset handle, no bytes.
  handle_value_pair() = default;
  // A private copy of length bytes (no block when length is 0).
  handle_value_pair(uint32_t handle, uint32_t length, const void* data);
  // Borrows length bytes at data, which must outlive the pair.
  static handle_value_pair* borrowing(uint32_t handle, uint32_t length, const char* data);
  ~handle_value_pair();
  handle_value_pair(const handle_value_pair&) = delete;
  handle_value_pair& operator=(const handle_value_pair&) = delete;

  uint32_t get_handle() const { return handle_; }
  uint32_t get_length() const { return length_; }
  const char* get_data() const { return data_; }
  bool owns_data() const { return owns_data_ != 0; }
  // A 64-bit hash of the bytes; the transports compare it to spot unchanged values. (A 32-bit
  // sum such as Adler-32 makes short values collide: (0,2,0,0) and (1,0,1,0) sum alike.)
  uint64_t get_cksum() const;

  // Pairs order and compare by handle only.
  bool operator<(const handle_value_pair& other) const { return handle_ < other.handle_; }
  bool operator==(const handle_value_pair& other) const { return handle_ == other.handle_; }

private:
  uint32_t handle_ = unset_handle;
  uint32_t length_ = 0;
  const char* data_ = nullptr;
  uint8_t owns_data_ = 0;
};

// "<handle=h length=n>"
std::ostream& operator<<(std::ostream& out, const handle_value_pair& pair);

}  // namespace varnel
