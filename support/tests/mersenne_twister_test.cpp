#include "mersenne_twister.h"

#include <gtest/gtest.h>

#include <array>
#include <random>

using namespace brindle;

namespace {

TEST(MersenneTwister, MatchesTheStandardSequenceForValueSeeds) {
  EXPECT_EQ(mersenne_twister().next(), 3499211612u);
  for (uint32_t seed : {5489u, 0u, 1u, 19650218u, 0xFFFFFFFFu}) {
    mersenne_twister ours(seed);
    std::mt19937 reference(seed);
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(ours.next(), reference()) << "seed " << seed << " output " << i;
  }
}

TEST(MersenneTwister, ArraySeedMatchesTheReferenceOutputs) {
  const std::array<uint32_t, 4> key{0x123, 0x234, 0x345, 0x456};
  mersenne_twister mt(key.data(), key.size());
  for (uint32_t expected : {1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u}) EXPECT_EQ(mt.next(), expected);
}

TEST(MersenneTwister, ReseedingRestartsTheSequence) {
  mersenne_twister mt(42);
  const uint32_t first = mt.next();
  for (int i = 0; i < 1000; ++i) mt.next();
  mt.seed(42);
  EXPECT_EQ(mt.next(), first);

  const std::array<uint32_t, 2> key{7, 8};
  mt.seed(key.data(), key.size());
  const uint32_t keyed = mt.next();
  mersenne_twister again(key.data(), key.size());
  EXPECT_EQ(again.next(), keyed);
  // A key longer than the state is mixed in whole.
  std::array<uint32_t, 700> longer{};
  longer[699] = 1;
  mersenne_twister a(longer.data(), longer.size());
  longer[699] = 2;
  mersenne_twister b(longer.data(), longer.size());
  EXPECT_NE(a.next(), b.next());
}

TEST(MersenneTwister, NextBelowStaysInRangeAndIsEven) {
  for (uint32_t seed : {1u, 2u, 3u}) {
    mersenne_twister mt(seed);
    std::array<int, 10> counts{};
    for (int i = 0; i < 100000; ++i) {
      const uint32_t value = mt.next_below(10);
      ASSERT_LT(value, 10u);
      ++counts[value];
    }
    for (int count : counts) {  // 10000 expected; 5 standard deviations is about 470
      EXPECT_GT(count, 9500) << "seed " << seed;
      EXPECT_LT(count, 10500) << "seed " << seed;
    }
  }
  mersenne_twister mt;
  EXPECT_EQ(mt.next_below(0), 0u);
  EXPECT_EQ(mt.next_below(1), 0u);
}

}  // namespace
