#include "region_validator.h"

#include <gtest/gtest.h>

#include <vector>

using namespace halden13;

namespace {

// Distinct, 8-byte aligned addresses that stand for regions; the validator never dereferences.
const rti13::Region* fake_region(size_t i) {
  static std::vector<uint64_t> storage(2000);
  return reinterpret_cast<const rti13::Region*>(&storage[i]);
}

TEST(RegionValidator, StartsWithEightyNineBuckets) {
  region_validator validator;
  EXPECT_EQ(validator.bucket_count(), 89u);
  EXPECT_EQ(validator.size(), 0u);
  EXPECT_FALSE(validator.contains(nullptr));
}

TEST(RegionValidator, KnowsWhatWasInsertedUntilRemoved) {
  region_validator validator;
  validator.insert(fake_region(1));
  validator.insert(fake_region(2));
  EXPECT_TRUE(validator.contains(fake_region(1)));
  EXPECT_TRUE(validator.contains(fake_region(2)));
  EXPECT_FALSE(validator.contains(fake_region(3)));
  validator.remove(fake_region(1));
  EXPECT_FALSE(validator.contains(fake_region(1)));
  EXPECT_TRUE(validator.contains(fake_region(2)));
  validator.remove(fake_region(3));  // absent: nothing happens
  EXPECT_EQ(validator.size(), 1u);
}

TEST(RegionValidator, GrowsThroughThePrimesAndKeepsEveryEntry) {
  region_validator validator;
  for (size_t i = 0; i < 89; ++i) validator.insert(fake_region(i));
  EXPECT_EQ(validator.bucket_count(), 89u);
  validator.insert(fake_region(89));
  EXPECT_EQ(validator.bucket_count(), 179u);
  for (size_t i = 90; i < 1000; ++i) validator.insert(fake_region(i));
  EXPECT_EQ(validator.bucket_count(), 1439u);
  for (size_t i = 0; i < 1000; ++i) ASSERT_TRUE(validator.contains(fake_region(i))) << i;
  EXPECT_FALSE(validator.contains(fake_region(1000)));
  for (size_t i = 0; i < 1000; i += 2) validator.remove(fake_region(i));
  EXPECT_EQ(validator.size(), 500u);
  for (size_t i = 0; i < 1000; ++i) EXPECT_EQ(validator.contains(fake_region(i)), i % 2 == 1) << i;
}

TEST(RegionValidator, RemovesOneEntryPerCall) {
  region_validator validator;
  validator.insert(fake_region(5));
  validator.insert(fake_region(5));
  validator.remove(fake_region(5));
  EXPECT_TRUE(validator.contains(fake_region(5)));
  validator.remove(fake_region(5));
  EXPECT_FALSE(validator.contains(fake_region(5)));
}

TEST(RegionValidator, RequestedSizeRoundsUpToAListedPrime) {
  region_validator small(44);
  EXPECT_EQ(small.bucket_count(), 89u);
  region_validator exact(43);
  EXPECT_EQ(exact.bucket_count(), 43u);
}

}  // namespace
