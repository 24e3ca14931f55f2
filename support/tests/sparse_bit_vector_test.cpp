#include "sparse_bit_vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <sstream>
#include <vector>

#include "bit_set_testing.h"
#include "ldm_buf.h"

using namespace brindle;

namespace {

void decode(const std::vector<uint32_t>& words, sparse_bit_vector& v, bool received) {
  wire w;
  for (uint32_t word : words) w.buf() << word;
  if (received) w.buf().set_received();
  w.buf() >> v;
}

sparse_bit_vector with_range(uint32_t length, uint32_t first, uint32_t last) {
  sparse_bit_vector v(length, false);
  v.set_bit_range(first, last, true);
  return v;
}

TEST(SparseBitVectorWire, DocumentedRunWords) {
  sparse_bit_vector v(10, false);
  v.set_bit_range(2, 5, true);
  EXPECT_EQ(wire_words(v), (std::vector<uint32_t>{10, 3 << 16 | 2, 0 << 16 | 5}));
  EXPECT_EQ(wire_words(sparse_bit_vector(100, true)), (std::vector<uint32_t>{0x80000064, 100}));
  EXPECT_EQ(wire_words(sparse_bit_vector(100, false)), (std::vector<uint32_t>{100, 100}));
  EXPECT_EQ(wire_words(sparse_bit_vector()), (std::vector<uint32_t>{0}));
}

TEST(SparseBitVectorWire, LongRunsAreSplitAroundTheirPair) {
  const sparse_bit_vector zeros_first = with_range(200000, 70000, 200000);
  EXPECT_EQ(wire_words(zeros_first),
            (std::vector<uint32_t>{200000, 65535, 65535u << 16 | 4465, 64465u << 16}));
  const sparse_bit_vector ones_first = with_range(300000, 0, 140000);
  EXPECT_EQ(wire_words(ones_first),
            (std::vector<uint32_t>{0x80000000 | 300000, 65535, 65535, 65535u << 16 | 8930,
                                   65535u << 16, 28930u << 16}));
  for (const sparse_bit_vector* v : {&zeros_first, &ones_first}) {
    sparse_bit_vector got;
    decode(wire_words(*v), got, false);
    EXPECT_EQ(got, *v);
  }
}

TEST(SparseBitVectorWire, RunsThatOverrunTheLengthAreReported) {
  sparse_bit_vector v;
  testing::internal::CaptureStderr();
  decode({10, 20u << 16 | 2}, v, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "sparse_bit_vector: overran input range\n");
  EXPECT_EQ(v, with_range(10, 2, 10));  // the bits read stay set
  EXPECT_EQ(v.length(), 10u);
}

TEST(SparseBitVectorWire, ReceivedDataIsBounded) {
  const size_t in_use = pools::bytes_in_use();
  sparse_bit_vector v(5, true);
  EXPECT_THROW(decode({1000, 3 << 16 | 2}, v, true), ldm_decode_error);  // runs stop short
  // A 2^31 - 1 bit vector with one bit set would need a 128 MiB table.
  EXPECT_THROW(decode({sparse_bit_vector::max_length, 1u << 16}, v, true), ldm_decode_error);
  EXPECT_EQ(v, sparse_bit_vector(5, true));
  EXPECT_EQ(pools::bytes_in_use(), in_use);

  // Uniform vectors of any length cost nothing and are accepted.
  std::vector<uint32_t> all_set(32769, 65535);
  all_set[0] = 0x80000000 | sparse_bit_vector::max_length;
  all_set.push_back(32767);
  decode(all_set, v, true);
  EXPECT_EQ(v, sparse_bit_vector(sparse_bit_vector::max_length, true));
  EXPECT_EQ(pools::bytes_in_use(), in_use);

  // A buffer written in this process is trusted with a longer table.
  const sparse_bit_vector long_one = with_range(1u << 25, (1u << 25) - 1, 1u << 25);
  decode(wire_words(long_one), v, false);
  EXPECT_EQ(v, long_one);
}

TEST(SparseBitVector, SettingBitsExtendsAndFindNextStops) {
  sparse_bit_vector v(10, false);
  v.set_bit(200);
  EXPECT_EQ(v.length(), 201u);
  EXPECT_EQ(v.ffs(), 200u);
  EXPECT_EQ(v.find_next(201), sparse_bit_vector::npos);
  EXPECT_EQ(v.find_next(0, false), 0u);
  sparse_bit_vector ones(300, true);
  ones.set_bit(130, false);
  EXPECT_EQ(ones.find_next(0, false), 130u);
  EXPECT_EQ(ones.find_next(131, false), sparse_bit_vector::npos);
  ones.set_length(1000);  // grown with zeros once the vector has a table
  EXPECT_EQ(ones.count(), 299u);
  ones.set_length(129);
  ones.set_length(1000);
  EXPECT_EQ(ones.count(), 129u);
}

// Random vectors of every representation against a plain model: the set operations, and a wire
// round trip of all of them through one buffer of small packets.
TEST(SparseBitVector, OperationsAndWireAgreeWithAModel) {
  std::mt19937 random(11);
  auto random_vector = [&](model& m) {
    const uint32_t length = random() % 4 == 0 ? random() % 3 : random() % 700;
    const bool base = random() % 2 == 0;
    sparse_bit_vector v(length, base);
    m.assign(length, base);
    for (int k = random() % 6; k > 0 && length > 0; --k) {
      const uint32_t first = random() % length, last = first + random() % (length - first + 1);
      const bool value = random() % 2 == 0;
      v.set_bit_range(first, last, value);
      for (uint32_t i = first; i < last; ++i) m[i] = value;
    }
    return v;
  };
  wire w;
  std::vector<model> sent;
  for (int round = 0; round < 2000; ++round) {
    model a, b;
    const sparse_bit_vector va = random_vector(a), vb = random_vector(b);
    expect_matches(va, a);
    expect_operations_match(va, a, vb, b);
    if (HasFailure()) return;
    w.buf() << va;
    sent.push_back(a);
  }
  for (const model& m : sent) {
    sparse_bit_vector got(5, true);
    w.buf() >> got;
    expect_matches(got, m);
    if (HasFailure()) return;
  }
}

TEST(SparseBitVector, WholeBlocksNeedNoStorage) {
  const size_t before = pools::bytes_in_use();
  {
    sparse_bit_vector v(1024, false);  // 8 blocks
    v.set_bit(0);
    const size_t table = 8 * sizeof(void*), block = sizeof(sparse_bit_vector::block);
    EXPECT_EQ(pools::bytes_in_use() - before, table + block);
    for (uint32_t i = 1; i < 128; ++i) v.set_bit(i);
    EXPECT_EQ(pools::bytes_in_use() - before, table);  // an all-ones block is shared
    v.set_bit(5, false);
    EXPECT_EQ(pools::bytes_in_use() - before, table + block);
    v.set_bit_range(0, 512, true);
    EXPECT_EQ(pools::bytes_in_use() - before, table);
    EXPECT_EQ(v.count(), 512u);
    v.clear();
    EXPECT_EQ(pools::bytes_in_use(), before);
  }
  EXPECT_EQ(pools::bytes_in_use(), before);
}

TEST(SparseBitVectorFlat, WritesBlocksAndRejectsMalformedInput) {
  sparse_bit_vector v(300, false);
  v.set_bit(5);
  v.set_bit_range(128, 256, true);
  ASSERT_EQ(v.written_length(), 48u);
  std::vector<unsigned char> bytes(v.written_length());
  v.write(bytes.data());
  std::vector<unsigned char> expected = {0, 0, 1, 0x2C, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0x20};
  expected.resize(28, 0);
  expected.insert(expected.end(), {0, 0, 0, 1});
  expected.resize(48, 0xFF);
  EXPECT_EQ(bytes, expected);

  sparse_bit_vector got;
  EXPECT_EQ(got.read(bytes.data(), bytes.size()), 48u);
  EXPECT_EQ(got, v);
  EXPECT_EQ(got.length(), 300u);
  EXPECT_EQ(got.read(bytes.data(), 47), 0u);  // short
  std::vector<unsigned char> swapped = bytes;
  swapped[11] = 1;
  swapped[31] = 0;  // indexes 1 then 0
  EXPECT_EQ(got.read(swapped.data(), swapped.size()), 0u);
  std::vector<unsigned char> outside = bytes;
  outside[31] = 3;  // the table has blocks 0 to 2
  EXPECT_EQ(got.read(outside.data(), outside.size()), 0u);
  const unsigned char too_long[] = {0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 1};
  EXPECT_EQ(got.read(too_long, sizeof too_long), 0u);
  EXPECT_EQ(got, v);

  const unsigned char uniform[] = {0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(got.read(uniform, sizeof uniform), 8u);
  EXPECT_EQ(got, sparse_bit_vector(sparse_bit_vector::max_length, true));
  bytes.resize(sparse_bit_vector(7, true).written_length());
  sparse_bit_vector(7, true).write(bytes.data());
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0, 0, 0, 7, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(SparseBitVector, PrintsAndIterates) {
  sparse_bit_vector v(1000, false);
  for (uint32_t i : {3u, 127u, 128u, 129u, 999u}) v.set_bit(i);
  std::ostringstream list, uniform;
  list << v;
  EXPECT_EQ(list.str(), "{3, 127-129, 999}");
  sparse_bit_vector(5, true).print_set_bits(uniform);
  EXPECT_EQ(uniform.str(), "All bits set\n");

  std::vector<uint32_t> seen;
  sparse_bit_vector_iterator it(v);
  for (; it(); ++it) seen.push_back(*it);
  EXPECT_EQ(seen, (std::vector<uint32_t>{3, 127, 128, 129, 999}));
}

}  // namespace
