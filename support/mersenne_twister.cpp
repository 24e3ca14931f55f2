#include "mersenne_twister.h"

namespace brindle {

namespace {

constexpr uint32_t upper_mask = 0x80000000u;
constexpr uint32_t lower_mask = 0x7fffffffu;
constexpr uint32_t matrix_a = 0x9908b0dfu;
constexpr size_t shift = 397;  // the recurrence's middle term

}  // namespace

mersenne_twister::mersenne_twister(uint32_t seed) { this->seed(seed); }

mersenne_twister::mersenne_twister(const uint32_t* key, size_t length) { seed(key, length); }

void mersenne_twister::seed(uint32_t value) {
  state_[0] = value;
  for (size_t i = 1; i < size; ++i)
    state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + static_cast<uint32_t>(i);
  index_ = size;
}

// The reference init_by_array: mixes the key into a state seeded by 19650218, then makes sure
// the state is not all zero by setting its top bit.
void mersenne_twister::seed(const uint32_t* key, size_t length) {
  seed(19650218u);
  size_t i = 1;
  size_t j = 0;
  for (size_t k = length > size ? length : size; k > 0; --k) {
    state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1664525u)) + (length ? key[j] : 0) +
                static_cast<uint32_t>(j);
    ++i;
    ++j;
    if (i >= size) {
      state_[0] = state_[size - 1];
      i = 1;
    }
    if (j >= length) j = 0;
  }
  for (size_t k = size - 1; k > 0; --k) {
    state_[i] = (state_[i] ^ ((state_[i - 1] ^ (state_[i - 1] >> 30)) * 1566083941u)) - static_cast<uint32_t>(i);
    ++i;
    if (i >= size) {
      state_[0] = state_[size - 1];
      i = 1;
    }
  }
  state_[0] = upper_mask;
  index_ = size;
}

void mersenne_twister::refill() {
  for (size_t i = 0; i < size; ++i) {
    const uint32_t y = (state_[i] & upper_mask) | (state_[(i + 1) % size] & lower_mask);
    state_[i] = state_[(i + shift) % size] ^ (y >> 1) ^ ((y & 1) ? matrix_a : 0);
  }
  index_ = 0;
}

uint32_t mersenne_twister::next() {
  if (index_ >= size) refill();
  uint32_t y = state_[index_++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

uint32_t mersenne_twister::next_below(uint32_t bound) {
  if (bound == 0) return 0;
  // Outputs in the last partial copy of [0, bound) would favour small results: draw again.
  const uint32_t reject_from = UINT32_MAX - UINT32_MAX % bound;
  uint32_t value = next();
  while (value >= reject_from) value = next();
  return value % bound;
}

}  // namespace brindle
