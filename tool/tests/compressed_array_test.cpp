#include "compressed_array.h"

#include <gtest/gtest.h>

namespace {

CompressedArray chain_of(std::initializer_list<double> values) {
  CompressedArray chain;
  for (double v : values) chain.push(v);
  return chain;
}

TEST(CompressedArray, RepeatedValuesShareOneRun) {
  CompressedArray chain = chain_of({1, 1, 2, 2, 2, 3});
  ASSERT_EQ(chain.count(), 3);
  EXPECT_EQ(chain.end_of_run(0), 1);
  EXPECT_EQ(chain.end_of_run(1), 4);
  EXPECT_EQ(chain.end_of_run(2), 5);
  EXPECT_EQ(chain.value_at(0), 1);
  EXPECT_EQ(chain.value_at(1), 1);
  EXPECT_EQ(chain.value_at(2), 2);
  EXPECT_EQ(chain.value_at(3), 2);
  EXPECT_EQ(chain.value_at(5), 3);
  EXPECT_EQ(chain.length(), 6);
}

TEST(CompressedArray, UnrecordedIterationsGiveTheMarker) {
  CompressedArray chain = chain_of({1, 1, 2, 2, 2, 3});
  EXPECT_EQ(chain.value_at(6), CompressedArray::missing_value);
  EXPECT_EQ(chain.value_at(-1), CompressedArray::missing_value);
  EXPECT_EQ(CompressedArray().value_at(0), 8675309.0);
}

TEST(CompressedArray, ValuesWithinToleranceExtendTheRun) {
  CompressedArray chain = chain_of({0.5, 0.5 + 1e-10, 0.5 + 2e-9});
  EXPECT_EQ(chain.count(), 2);
  EXPECT_EQ(chain.value_at(1), 0.5);
}

TEST(CompressedArray, GrowsPastItsFirstCapacityAndResets) {
  CompressedArray chain;
  for (int i = 0; i < 1000; ++i) chain.push(i);
  ASSERT_EQ(chain.count(), 1000);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(chain.value_at(i), i);
  chain.reset();
  EXPECT_EQ(chain.count(), 0);
  EXPECT_EQ(chain.value_at(0), CompressedArray::missing_value);
  chain.push(7);
  EXPECT_EQ(chain.value_at(0), 7);
}

}  // namespace
