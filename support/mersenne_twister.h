// The MT19937 random number generator behind every randomised delay (NACK back-off and the
// like). Each user owns its own generator; it is not locked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "brindle_export.h"

namespace brindle {

class BRINDLE_EXPORT mersenne_twister {
public:
  explicit mersenne_twister(uint32_t seed = 5489);
  // Seeded by an array of words, as the reference init_by_array; with length 0 no key word
  // is read.
  mersenne_twister(const uint32_t* key, size_t length);

  void seed(uint32_t value);
  void seed(const uint32_t* key, size_t length);

  uint32_t next();  // the next 32-bit output
  // A number uniform in [0, bound) without modulo bias; 0 when bound is 0.
  uint32_t next_below(uint32_t bound);

private:
  void refill();

  static constexpr size_t size = 624;
  std::array<uint32_t, size> state_{};
  size_t index_ = size;
};

}  // namespace brindle
