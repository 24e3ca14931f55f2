// Big-endian words in byte arrays: the order of every integer on the wire and in flat forms.
#pragma once

#include <cstdint>

namespace brindle {

inline void store_be32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 24);
  p[1] = static_cast<std::uint8_t>(value >> 16);
  p[2] = static_cast<std::uint8_t>(value >> 8);
  p[3] = static_cast<std::uint8_t>(value);
}

inline std::uint32_t load_be32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

inline void store_be16(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value >> 8);
  p[1] = static_cast<std::uint8_t>(value);
}

inline std::uint32_t load_be16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }

}  // namespace brindle
