// The time wrappers and the time factories' decoding.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "cpp13_absolute_time.h"
#include "cpp13_relative_time.h"
#include "fedtime.hh"

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace {

double value_of(const rti13::FedTime& time) { return static_cast<const RTIfedTime&>(time).getTime(); }

// A library time whose every operation with another time fails, as a time of a library that
// refuses some values would.
class failing_time : public RTIfedTime {
public:
  rti13::FedTime& operator+=(const rti13::FedTime&) override { throw std::runtime_error("add"); }
  rti13::FedTime& operator-=(const rti13::FedTime&) override { throw rti13::InvalidFederationTime("subtract"); }
  rti13::Boolean operator<=(const rti13::FedTime&) const override { throw 1; }
  rti13::Boolean operator<(const rti13::FedTime&) const override { throw 1; }
  rti13::Boolean operator>=(const rti13::FedTime&) const override { throw 1; }
  rti13::Boolean operator>(const rti13::FedTime&) const override { throw 1; }
  rti13::Boolean operator==(const rti13::FedTime&) const override { throw 1; }
  rti13::FedTime& operator=(const rti13::FedTime&) override { throw rti13::InvalidFederationTime("assign"); }
};

TEST(Cpp13Time, WrapperIsIndependentOfTheFederatesValue) {
  RTIfedTime federates(4.0);
  cpp13_absolute_time time(federates);
  cpp13_relative_time lookahead(federates);
  federates = 9.0;
  EXPECT_EQ(value_of(time.fed_time()), 4.0);
  EXPECT_EQ(value_of(lookahead.fed_time()), 4.0);

  std::unique_ptr<absolute_time> copy(time.clone());
  time.set_infinity();
  EXPECT_TRUE(time.is_infinity());
  EXPECT_FALSE(copy->is_infinity());
  EXPECT_TRUE(copy->equal(cpp13_absolute_time(RTIfedTime(4.0))));
}

TEST(Cpp13Time, ArithmeticAndComparisonsForwardToTheLibrary) {
  cpp13_absolute_time now(RTIfedTime(10.0));
  cpp13_relative_time step(RTIfedTime(2.5));
  now.add(step).add(step);
  EXPECT_EQ(value_of(now.fed_time()), 15.0);
  now.subtract(step);
  EXPECT_EQ(value_of(now.fed_time()), 12.5);

  const cpp13_absolute_time later(RTIfedTime(20.0));
  EXPECT_TRUE(later.greater(now));
  EXPECT_TRUE(later.greater_equal(now));
  EXPECT_FALSE(later.less(now));
  EXPECT_FALSE(later.less_equal(now));
  EXPECT_FALSE(later.equal(now));
  now.assign(later);
  EXPECT_TRUE(now.equal(later));

  cpp13_relative_time gap;
  gap.set_difference(later, cpp13_absolute_time(RTIfedTime(5.0)));
  EXPECT_EQ(value_of(gap.fed_time()), 15.0);
  gap.subtract(step).add(cpp13_relative_time(RTIfedTime(1.0)));
  EXPECT_EQ(value_of(gap.fed_time()), 13.5);
  EXPECT_TRUE(gap.greater(step));
  EXPECT_TRUE(step.less_equal(step));

  // Far from zero epsilon is below the double's spacing; an advance by it still moves the time.
  cpp13_absolute_time far(RTIfedTime(1e10));
  const std::unique_ptr<absolute_time> before(far.clone());
  cpp13_relative_time epsilon;
  epsilon.set_epsilon();
  EXPECT_TRUE(far.add(epsilon).greater(*before));
  EXPECT_TRUE(far.subtract(epsilon).subtract(epsilon).less(*before));

  gap.set_zero();
  EXPECT_TRUE(gap.is_zero());
  EXPECT_FALSE(gap.is_epsilon());
  gap.set_epsilon();
  EXPECT_TRUE(gap.is_epsilon());
  EXPECT_FALSE(gap.is_zero());
}

TEST(Cpp13Time, EncodingRoundTripsThroughTheDecoder) {
  const cpp13_absolute_time time(RTIfedTime(-7.25));
  ASSERT_EQ(time.encoded_length(), 8u);
  char bytes[8];
  time.encode(bytes);
  std::unique_ptr<cpp13_absolute_time> decoded(cpp13_absolute_time::decode(bytes, sizeof bytes));
  ASSERT_NE(decoded, nullptr);
  EXPECT_TRUE(decoded->equal(time));

  std::unique_ptr<cpp13_relative_time> interval(cpp13_relative_time::decode(bytes, 12));
  ASSERT_NE(interval, nullptr);
  EXPECT_EQ(value_of(interval->fed_time()), -7.25);
}

TEST(Cpp13Time, DecodersRefuseTimesCutShortOrNaN) {
  char bytes[8] = {};
  for (uint32_t length : {0u, 1u, 7u}) {
    // Copy into a block of exactly that size so that reading past it is caught by ASan.
    std::unique_ptr<char[]> short_block(new char[length ? length : 1]);
    std::memcpy(short_block.get(), bytes, length);
    EXPECT_EQ(cpp13_absolute_time::decode(short_block.get(), length), nullptr) << length;
    EXPECT_EQ(cpp13_relative_time::decode(short_block.get(), length), nullptr) << length;
  }
  EXPECT_EQ(cpp13_absolute_time::decode(nullptr, 8), nullptr);

  // A NaN would sit anywhere in an ordered queue: the caller gets null and drops the message.
  const char nan[8] = {0x7F, static_cast<char>(0xF8), 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(cpp13_absolute_time::decode(nan, sizeof nan), nullptr);
  EXPECT_EQ(cpp13_relative_time::decode(nan, sizeof nan), nullptr);
}

TEST(Cpp13Time, PrintableIsAFreshBufferEachTime) {
  cpp13_absolute_time time(RTIfedTime(2.5));
  const char* first = time.printable();
  EXPECT_STREQ(first, "2.5");
  time.set_infinity();
  const char* second = time.printable();
  EXPECT_NE(first, second);
  EXPECT_STREQ(second, "inf");

  cpp13_relative_time interval(RTIfedTime(1e-9));
  EXPECT_STREQ(interval.printable(), "1e-09");
}

TEST(Cpp13Time, LibraryFailuresStayInsideTheWrapper) {
  cpp13_absolute_time broken(std::make_unique<failing_time>());
  const cpp13_absolute_time other(RTIfedTime(1.0));
  const cpp13_relative_time step(RTIfedTime(1.0));

  testing::internal::CaptureStderr();
  EXPECT_FALSE(broken.greater(other));
  EXPECT_FALSE(broken.less(other));
  EXPECT_FALSE(broken.equal(other));
  EXPECT_FALSE(broken.greater_equal(other));
  EXPECT_FALSE(broken.less_equal(other));
  EXPECT_EQ(&broken.add(step), &broken);
  EXPECT_EQ(&broken.subtract(step), &broken);
  EXPECT_EQ(&broken.assign(other), &broken);
  const std::string line = "Invalid time passed to absolute_time\n";
  std::string expected;
  for (int i = 0; i < 8; ++i) expected += line;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);

  cpp13_relative_time broken_interval(std::make_unique<failing_time>());
  testing::internal::CaptureStderr();
  EXPECT_FALSE(broken_interval.less(step));
  EXPECT_FALSE(broken_interval.is_epsilon());
  broken_interval.set_difference(other, other);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Invalid time passed to relative_time\nInvalid time passed to relative_time\n"
            "Invalid time passed to relative_time\n");
}

}  // namespace
