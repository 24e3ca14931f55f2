// Bit vectors and names inside a message: a vector goes as a length word and its flat form as
// one raw block; a name as a string of at most max_name_length bytes. Readers check every
// length against the bytes the buffer still holds before anything is allocated for it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ldm_buf.h"

namespace varnel {

inline constexpr size_t max_name_length = 4096;

// Bytes the buffer holds past its read position.
inline uint64_t bytes_left(const brindle::ldm_buf& buffer) {
  return buffer.get_size() > buffer.get_iptr() ? buffer.get_size() - buffer.get_iptr() : 0;
}

template <class Vector>
void write_vector(brindle::ldm_buf& buffer, const Vector& vector) {
  std::vector<unsigned char> flat(vector.written_length());
  vector.write(flat.data());
  buffer << static_cast<uint32_t>(flat.size());
  buffer.write_os(flat.data(), static_cast<uint32_t>(flat.size()));
}

template <class Vector>
Vector read_vector(brindle::ldm_buf& buffer, const char* what) {
  const uint32_t length = buffer.read_4();
  if (length > bytes_left(buffer)) throw brindle::ldm_decode_error(std::string(what) + ": vector runs past the message");
  const char* flat = buffer.read_is(length);
  Vector vector;
  if (vector.read(reinterpret_cast<const unsigned char*>(flat), length) != length)
    throw brindle::ldm_decode_error(std::string(what) + ": malformed vector");
  return vector;
}

inline std::string read_name(brindle::ldm_buf& buffer, const char* what) {
  const char* text = buffer.read_string();
  const size_t length = std::strlen(text);
  if (length > max_name_length) throw brindle::ldm_decode_error(std::string(what) + ": name too long");
  return std::string(text, length);
}

}  // namespace varnel
