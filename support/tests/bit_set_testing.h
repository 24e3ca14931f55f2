// What the bit vector tests share: a buffer of small packets for wire forms, and a plain
// std::vector<bool> model against which either vector type's contents and set operations are
// checked.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "buffer_pool.h"
#include "ldm_buf.h"

// A buffer from a pool with small packets, so that vectors cross packet boundaries.
class wire {
public:
  wire() : factory_(1, 0), pool_(factory_.get_pool(48)), buf_(pool_->get_buf()) {}
  ~wire() {
    buf_->release_buf();
    pool_->destroy();
  }
  brindle::ldm_buf& buf() { return *buf_; }

private:
  brindle::buffer_manager_factory factory_;
  brindle::buffer_pool_manager* pool_;
  brindle::ldm_buf* buf_;
};

// The words that v writes after the message header.
template <typename Vector>
std::vector<uint32_t> wire_words(const Vector& v) {
  wire w;
  w.buf() << v;
  std::vector<uint32_t> out;
  while (w.buf().get_iptr() < w.buf().get_size()) out.push_back(w.buf().read_4());
  return out;
}

using model = std::vector<bool>;

// The model of op applied bit by bit to a and b over length bits.
template <typename Op>
model combine(const model& a, const model& b, size_t length, Op op) {
  model out(length);
  for (size_t i = 0; i < length; ++i) out[i] = op(i < a.size() && a[i], i < b.size() && b[i]);
  return out;
}

inline bool any(const model& m) { return std::find(m.begin(), m.end(), true) != m.end(); }

template <typename Vector>
void expect_matches(const Vector& v, const model& m) {
  ASSERT_EQ(v.length(), m.size());
  for (uint32_t i = 0; i < m.size(); ++i) ASSERT_EQ(v.get_bit(i), m[i]) << "bit " << i;
  EXPECT_EQ(v.count(), std::count(m.begin(), m.end(), true));
  EXPECT_EQ(v.is_empty(), !any(m));
  EXPECT_EQ(v.is_full(), std::find(m.begin(), m.end(), false) == m.end());
}

// The set operations and comparisons of a and b against the model.
template <typename Vector>
void expect_operations_match(const Vector& va, const model& a, const Vector& vb, const model& b) {
  Vector r = va;
  r &= vb;
  expect_matches(r, combine(a, b, a.size(), [](bool x, bool y) { return x && y; }));
  r = va;
  r |= vb;
  expect_matches(r, combine(a, b, std::max(a.size(), b.size()), [](bool x, bool y) { return x || y; }));
  r = va;
  r -= vb;
  expect_matches(r, combine(a, b, a.size(), [](bool x, bool y) { return x && !y; }));
  const size_t both = std::max(a.size(), b.size());
  EXPECT_EQ(va.bit_matches(vb), any(combine(a, b, both, [](bool x, bool y) { return x && y; })));
  EXPECT_EQ(va.all_bits_match(vb), !any(combine(a, b, both, [](bool x, bool y) { return y && !x; })));
  EXPECT_EQ(va == vb, !any(combine(a, b, both, [](bool x, bool y) { return x != y; })));
}
