#include "bit_vector.h"

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

bit_vector from_model(const model& m) {
  bit_vector v;
  for (uint32_t i = 0; i < m.size(); ++i) v.set_bit(i, m[i]);
  v.set_length(static_cast<uint32_t>(m.size()));
  return v;
}

TEST(BitVectorWire, DocumentedWordsAndUniformHeaders) {
  bit_vector high_bit(40, false);
  high_bit.set_bit(39);
  EXPECT_EQ(wire_words(high_bit), (std::vector<uint32_t>{40, 0, 0x80}));
  EXPECT_EQ(wire_words(bit_vector(100, true)), (std::vector<uint32_t>{0x80000064}));
  EXPECT_EQ(wire_words(bit_vector(100, false)), (std::vector<uint32_t>{0x40000064}));
  EXPECT_EQ(wire_words(bit_vector()), (std::vector<uint32_t>{0x40000000}));
}

// Decodes a vector from words in a buffer marked as received from another process.
void decode_received(std::initializer_list<uint32_t> words, bit_vector& v) {
  wire w;
  for (uint32_t word : words) w.buf() << word;
  w.buf().set_received();
  w.buf() >> v;
}

TEST(BitVectorWire, BadReceivedDataThrowsAndLeavesTheVectorAlone) {
  const size_t in_use = pools::bytes_in_use();
  bit_vector v(5, true);
  EXPECT_THROW(decode_received({1000, 0, 0}, v), ldm_decode_error);  // 32 words claimed, 2 held
  EXPECT_THROW(decode_received({bit_vector::max_length, 0}, v), ldm_decode_error);
  EXPECT_THROW(decode_received({0xC0000005}, v), ldm_decode_error);  // both uniform flags
  EXPECT_THROW(decode_received({}, v), ldm_decode_error);
  EXPECT_EQ(v, bit_vector(5, true));
  EXPECT_EQ(v.length(), 5u);
  EXPECT_EQ(pools::bytes_in_use(), in_use);

  decode_received({33, 0xFFFFFFFF, 0xFFFFFFFF}, v);  // stray bits beyond the length are dropped
  EXPECT_EQ(v.count(), 33u);
}

TEST(BitVectorWireDeathTest, LocalBufferReadPastTheDataAborts) {
  EXPECT_DEATH(
      {
        wire w;
        w.buf() << 1000u << 0u;
        bit_vector v;
        w.buf() >> v;
      },
      "reading beyond end of data");
}

TEST(BitVector, SettingBitsExtendsAndMaterialisesUniformVectors) {
  bit_vector v(10, false);
  v.set_bit(200);
  EXPECT_EQ(v.length(), 201u);
  EXPECT_EQ(v.count(), 1u);

  bit_vector ones(70, true);
  ones.set_bit(33, false);  // storage filled with the old value
  EXPECT_EQ(ones.count(), 69u);
  EXPECT_FALSE(ones.get_bit(33));
  EXPECT_FALSE(ones.get_bit(70));  // beyond the length

  // Growing adds the uniform value to uniform vectors and zeros to stored ones.
  bit_vector uniform(10, true);
  uniform.set_length(50);
  EXPECT_EQ(uniform.count(), 50u);
  ones.set_length(100);
  EXPECT_EQ(ones.count(), 69u);
  // Shrinking drops the bits cut off: they do not come back when growing again.
  ones.set_length(35);
  ones.set_length(100);
  EXPECT_EQ(ones.count(), 34u);
  ones.set_all_bits(true);
  EXPECT_EQ(wire_words(ones), (std::vector<uint32_t>{0x80000064}));
}

TEST(BitVector, FindNextAndRanges) {
  bit_vector v(100, false);
  v.set_bit_range(30, 70, true);
  EXPECT_EQ(v.count(), 40u);
  EXPECT_EQ(v.ffs(), 30u);
  EXPECT_EQ(v.find_next(31), 31u);
  EXPECT_EQ(v.find_next(0, false), 0u);
  EXPECT_EQ(v.find_next(30, false), 70u);
  EXPECT_EQ(v.find_next(70), bit_vector::npos);
  EXPECT_EQ(v.find_next(1000), bit_vector::npos);
  v.set_bit_range(0, 100, false);
  EXPECT_EQ(wire_words(v), (std::vector<uint32_t>{0x40000064}));
  EXPECT_EQ(bit_vector(64, true).find_next(0, false), bit_vector::npos);
  v.set_bit_range(90, 130, true);  // extends to the end of the range
  EXPECT_EQ(v.length(), 130u);
  EXPECT_EQ(v.count(), 40u);
}

// Random vectors of every representation against a plain model: the set operations, and a wire
// round trip of all of them through one buffer of small packets.
TEST(BitVector, OperationsAndWireAgreeWithAModel) {
  std::mt19937 random(7);
  auto random_model = [&] {
    const uint32_t length = random() % 3 == 0 ? random() % 4 : random() % 200;
    const int kind = random() % 4;  // all zeros, all ones, sparse, dense
    model m(length);
    for (uint32_t i = 0; i < length; ++i)
      m[i] = kind == 1 || (kind == 2 && random() % 8 == 0) || (kind == 3 && random() % 2 == 0);
    return m;
  };
  auto make = [&](const model& m) {
    if (random() % 2 == 0) return from_model(m);
    bool zeros = true, ones = true;
    for (bool b : m) (b ? zeros : ones) = false;
    return zeros ? bit_vector(m.size(), false) : ones ? bit_vector(m.size(), true) : from_model(m);
  };
  wire w;
  std::vector<model> sent;
  for (int round = 0; round < 2000; ++round) {
    const model a = random_model(), b = random_model();
    const bit_vector va = make(a), vb = make(b);
    expect_operations_match(va, a, vb, b);
    if (HasFailure()) return;
    w.buf() << va;
    sent.push_back(a);
  }
  for (const model& m : sent) {
    bit_vector got(5, true);
    w.buf() >> got;
    expect_matches(got, m);
    if (HasFailure()) return;
  }
}

TEST(BitVectorFlat, WritesWordsBigEndianAndReadsThemBack) {
  bit_vector ones(40, true);
  ASSERT_EQ(ones.written_length(), 12u);
  std::vector<unsigned char> bytes(ones.written_length());
  ones.write(bytes.data());
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0, 0, 0, 40, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0xFF}));

  bit_vector v(3, false);
  v.set_bit(1);
  v.set_bit(32 + 9);
  bytes.assign(v.written_length(), 0xAA);
  v.write(bytes.data());
  EXPECT_EQ(bytes, (std::vector<unsigned char>{0, 0, 0, 42, 0, 0, 0, 2, 0, 0, 2, 0}));

  bytes.push_back(0x77);  // what follows the vector is not read
  bit_vector got;
  EXPECT_EQ(got.read(bytes.data(), bytes.size()), 12u);
  EXPECT_EQ(got, v);
  EXPECT_EQ(got.length(), 42u);
  EXPECT_EQ(got.read(bytes.data(), 11), 0u);  // short
  EXPECT_EQ(got, v);
  const unsigned char flagged[] = {0x40, 0, 0, 1, 0, 0, 0, 1};
  EXPECT_EQ(got.read(flagged, sizeof flagged), 0u);
  const unsigned char stray_bits[] = {0, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(got.read(stray_bits, sizeof stray_bits), 8u);  // bits beyond the length dropped
  EXPECT_EQ(got.count(), 2u);
}

TEST(BitVector, StorageComesFromPoolsBySizeClass) {
  const size_t before = pools::bytes_in_use();
  {
    bit_vector small(40, false), medium(3000, false);
    small.set_bit(1);
    medium.set_bit(1);
    EXPECT_EQ(pools::bytes_in_use() - before, 8u + 384u);  // 376 bytes rounded up to 64
    medium.set_length(3010);  // still 376 bytes: the same block
    EXPECT_EQ(pools::bytes_in_use() - before, 8u + 384u);
    auto* pooled = new bit_vector(small);
    EXPECT_EQ(pools::bytes_in_use() - before, 8u + 384u + 8u + sizeof(bit_vector));
    delete pooled;
  }
  EXPECT_EQ(pools::bytes_in_use(), before);
}

TEST(BitVector, PrintsItsSets) {
  bit_vector v(40, false);
  for (uint32_t i : {1u, 4u, 5u, 6u, 39u}) v.set_bit(i);
  std::ostringstream list, set_bits, binary, uniform;
  list << v;
  EXPECT_EQ(list.str(), "{1, 4-6, 39}");
  v.print_set_bits(set_bits);
  EXPECT_EQ(set_bits.str(), "{1, 4-6, 39}\n");
  v.set_length(34);
  v.print_in_binary(binary);
  EXPECT_EQ(binary.str(), "01001110000000000000000000000000 00\n");
  bit_vector(5, true).print_set_bits(uniform);
  bit_vector(5, false).print_set_bits(uniform);
  EXPECT_EQ(uniform.str(), "All bits set\nNo bits set\n");
}

TEST(BitVectorIterator, WalksSetBitsAndRestarts) {
  bit_vector v(100, false);
  for (uint32_t i : {0u, 31u, 32u, 99u}) v.set_bit(i);
  std::vector<uint32_t> seen;
  bit_vector_iterator it(v);
  for (; it(); ++it) seen.push_back(*it);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 31, 32, 99}));
  EXPECT_FALSE((++it)());  // stays at the end
  it.reset();
  ASSERT_TRUE(it());
  EXPECT_EQ(*it, 0u);
  const bit_vector ones(3, true);
  it.reset(ones);
  seen.clear();
  for (; it(); ++it) seen.push_back(*it);
  EXPECT_EQ(seen, (std::vector<uint32_t>{0, 1, 2}));
}

}  // namespace
