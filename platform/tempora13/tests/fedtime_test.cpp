#include "fedtime.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string printed(RTIfedTime time) {
  std::string text(static_cast<size_t>(time.getPrintableLength()) + 1, '\x7f');
  time.getPrintableString(text.data());
  EXPECT_EQ(text.back(), '\0');
  text.pop_back();
  return text;
}

std::unique_ptr<rti13::FedTime> round_trip(const rti13::FedTime& time) {
  char bytes[8];
  EXPECT_EQ(time.encodedLength(), 8);
  time.encode(bytes);
  return std::unique_ptr<rti13::FedTime>(rti13::FedTimeFactory::decode(bytes));
}

TEST(RTIfedTime, SpecialValues) {
  RTIfedTime t(5.0);
  EXPECT_FALSE(t.isZero());
  t.setZero();
  EXPECT_TRUE(t.isZero());
  t.setEpsilon();
  EXPECT_EQ(t.getTime(), 1e-9);
  EXPECT_FALSE(t.isZero());
  EXPECT_FALSE(t.isPositiveInfinity());
  t.setPositiveInfinity();
  EXPECT_TRUE(t.isPositiveInfinity());
  EXPECT_EQ(t.getTime(), std::numeric_limits<double>::infinity());

  // Infinity stays infinite under finite arithmetic and is above every finite time.
  t += RTIfedTime(1e300);
  EXPECT_TRUE(t.isPositiveInfinity());
  EXPECT_TRUE(t > RTIfedTime(std::numeric_limits<double>::max()));
}

TEST(RTIfedTime, RefusesNaNWhereverATimeEnters) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW((void)RTIfedTime(nan), std::invalid_argument);

  RTIfedTime t(2.0);
  EXPECT_THROW(t = nan, std::invalid_argument);
  EXPECT_THROW(t += nan, std::invalid_argument);
  EXPECT_THROW(t -= nan, std::invalid_argument);
  EXPECT_THROW(t *= nan, std::invalid_argument);
  EXPECT_THROW(t /= nan, std::invalid_argument);
  EXPECT_THROW(t + nan, std::invalid_argument);
  EXPECT_THROW(t - nan, std::invalid_argument);
  EXPECT_THROW(t * nan, std::invalid_argument);
  EXPECT_THROW(nan + t, std::invalid_argument);
  EXPECT_THROW(nan - t, std::invalid_argument);
  EXPECT_THROW((void)(t == nan), std::invalid_argument);
  EXPECT_THROW((void)(t != nan), std::invalid_argument);
  EXPECT_THROW((void)(t < nan), std::invalid_argument);
  EXPECT_THROW((void)(t >= nan), std::invalid_argument);
  EXPECT_EQ(t.getTime(), 2.0);

  // Operations whose result would be NaN are refused too and leave the time as it was.
  RTIfedTime infinite;
  infinite.setPositiveInfinity();
  EXPECT_THROW(infinite -= RTIfedTime(std::numeric_limits<double>::infinity()), std::invalid_argument);
  EXPECT_THROW(infinite *= 0.0, std::invalid_argument);
  EXPECT_TRUE(infinite.isPositiveInfinity());
  EXPECT_THROW(RTIfedTime(0.0) / RTIfedTime(0.0), std::invalid_argument);

  // Any NaN on the wire: quiet, negative, signalling.
  const unsigned char nans[][8] = {{0x7F, 0xF8, 0, 0, 0, 0, 0, 0},
                                   {0xFF, 0xF8, 0, 0, 0, 0, 0, 0},
                                   {0x7F, 0xF0, 0, 0, 0, 0, 0, 1}};
  for (const auto& bytes : nans) {
    EXPECT_THROW(delete rti13::FedTimeFactory::decode(reinterpret_cast<const char*>(bytes)), std::invalid_argument);
  }
}

// Every way of adding or subtracting an interval: the operators with a time, with a double,
// through the abstract interface, and with the double on the left.
const std::vector<std::function<RTIfedTime(RTIfedTime, double)>> additions = {
    [](RTIfedTime t, double i) { return t + i; },
    [](RTIfedTime t, double i) { return t + RTIfedTime(i); },
    [](RTIfedTime t, double i) { return t += i; },
    [](RTIfedTime t, double i) {
      static_cast<rti13::FedTime&>(t) += RTIfedTime(i);
      return t;
    },
    [](RTIfedTime t, double i) { return i + t; },
};
const std::vector<std::function<RTIfedTime(RTIfedTime, double)>> subtractions = {
    [](RTIfedTime t, double i) { return t - i; },
    [](RTIfedTime t, double i) { return t - RTIfedTime(i); },
    [](RTIfedTime t, double i) { return t -= i; },
    [](RTIfedTime t, double i) {
      static_cast<rti13::FedTime&>(t) -= RTIfedTime(i);
      return t;
    },
    [](RTIfedTime t, double i) { return t.getTime() - RTIfedTime(i); },
};

// Far from zero the double's spacing exceeds epsilon (from about 1.8e7 on) and a plain sum
// would round back to the time; an advance must still move it.
TEST(RTIfedTime, AddingAnIntervalAlwaysMovesTheTime) {
  for (double magnitude : {0.0, 1e-9, 1.0, 1.8e7, 1e10, 1e15, 1e100, 1e300}) {
    for (double time : {magnitude, -magnitude}) {
      const RTIfedTime t(time);
      for (double interval : {1e-9, 1e-6, 1.0, magnitude > 1.0 ? magnitude : 2.0}) {
        SCOPED_TRACE(testing::Message() << "time " << time << " interval " << interval);
        for (const auto& add : additions) EXPECT_TRUE(add(t, interval) > t);
        for (const auto& subtract : subtractions) EXPECT_TRUE(subtract(t, interval) < t);
      }
      for (const auto& add : additions) EXPECT_EQ(add(t, 0.0).getTime(), time);
      for (const auto& subtract : subtractions) EXPECT_EQ(subtract(t, 0.0).getTime(), time);
    }
  }
  RTIfedTime infinite;
  infinite.setPositiveInfinity();
  for (double interval : {1e-9, 1.0, 1e300}) {
    for (const auto& add : additions) EXPECT_TRUE(add(infinite, interval).isPositiveInfinity());
    for (const auto& subtract : subtractions) EXPECT_TRUE(subtract(infinite, interval).isPositiveInfinity());
  }
}

// Ascending, with neighbours one representable double apart: every pair compares as its
// places in the list do, through the time and the double overloads alike.
TEST(RTIfedTime, ComparisonsAreTotalAndExact) {
  const double infinity = std::numeric_limits<double>::infinity();
  const std::vector<double> values = {-1e300, -1.0, 0.0, 1e-9, std::nextafter(1e-9, 1.0), 1.8e7,
                                      std::nextafter(1.8e7, infinity), 1e300,
                                      std::numeric_limits<double>::max(), infinity};
  for (size_t i = 0; i < values.size(); ++i) {
    for (size_t j = 0; j < values.size(); ++j) {
      SCOPED_TRACE(testing::Message() << values[i] << " against " << values[j]);
      const RTIfedTime a(values[i]);
      const RTIfedTime b(values[j]);
      EXPECT_EQ(bool(a < b), i < j);
      EXPECT_EQ(bool(a == b), i == j);
      EXPECT_EQ(bool(a > b), i > j);
      EXPECT_EQ(bool(a <= b), i <= j);
      EXPECT_EQ(bool(a >= b), i >= j);
      EXPECT_EQ(bool(a != b), i != j);
      EXPECT_EQ(bool(a < values[j]), i < j);
      EXPECT_EQ(bool(a == values[j]), i == j);
      EXPECT_EQ(bool(a > values[j]), i > j);
      EXPECT_EQ(bool(a <= values[j]), i <= j);
      EXPECT_EQ(bool(a >= values[j]), i >= j);
      EXPECT_EQ(bool(a != values[j]), i != j);
    }
  }
  // 0.1 + 0.2 is not 0.3 in doubles, and an exact time comparison must say so.
  RTIfedTime sum(0.1);
  sum += RTIfedTime(0.2);
  EXPECT_FALSE(sum == RTIfedTime(0.3));
}

TEST(RTIfedTime, ArithmeticThroughTheAbstractInterface) {
  std::unique_ptr<rti13::FedTime> time(rti13::FedTimeFactory::makeZero());
  EXPECT_TRUE(time->isZero());
  *time += RTIfedTime(7.5);
  *time -= RTIfedTime(2.0);
  EXPECT_TRUE(*time == RTIfedTime(5.5));
  std::unique_ptr<rti13::FedTime> copy(rti13::FedTimeFactory::makeZero());
  *copy = *time;
  *time += RTIfedTime(1.0);
  EXPECT_TRUE(*copy == RTIfedTime(5.5));  // assignment copied the value, not a reference

  RTIfedTime t(3.0);
  EXPECT_EQ((t * 2.0).getTime(), 6.0);
  EXPECT_EQ((t / RTIfedTime(2.0)).getTime(), 1.5);
  EXPECT_EQ((10.0 - t).getTime(), 7.0);
}

TEST(RTIfedTime, EncodingIsBigEndianIeeeDouble) {
  char bytes[8];
  RTIfedTime(1.0).encode(bytes);
  const unsigned char one[8] = {0x3F, 0xF0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, one, 8), 0);
  RTIfedTime(-2.5).encode(bytes);
  const unsigned char minus_two_and_a_half[8] = {0xC0, 0x04, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(bytes, minus_two_and_a_half, 8), 0);

  for (double value : {0.0, 1e-9, 123456.789, -3.25, std::numeric_limits<double>::infinity(),
                       std::numeric_limits<double>::denorm_min()}) {
    std::unique_ptr<rti13::FedTime> decoded = round_trip(RTIfedTime(value));
    EXPECT_EQ(static_cast<RTIfedTime&>(*decoded).getTime(), value);
  }
}

TEST(RTIfedTime, PrintsLikePercentG) {
  EXPECT_EQ(printed(RTIfedTime(0.0)), "0");
  EXPECT_EQ(printed(RTIfedTime(2.5)), "2.5");
  EXPECT_EQ(printed(RTIfedTime(1e-9)), "1e-09");
  EXPECT_EQ(printed(RTIfedTime(1234567.0)), "1.23457e+06");
  EXPECT_EQ(printed(RTIfedTime(std::numeric_limits<double>::infinity())), "inf");
}

// A time made by some other library cannot be read; the operation refuses instead of reading
// the wrong object.
class foreign_time : public rti13::FedTime {
public:
  void setZero() override {}
  rti13::Boolean isZero() override { return rti13::RTI_TRUE; }
  void setEpsilon() override {}
  void setPositiveInfinity() override {}
  rti13::Boolean isPositiveInfinity() override { return rti13::RTI_FALSE; }
  rti13::FedTime& operator+=(const rti13::FedTime&) override { return *this; }
  rti13::FedTime& operator-=(const rti13::FedTime&) override { return *this; }
  rti13::Boolean operator<=(const rti13::FedTime&) const override { return rti13::RTI_FALSE; }
  rti13::Boolean operator<(const rti13::FedTime&) const override { return rti13::RTI_FALSE; }
  rti13::Boolean operator>=(const rti13::FedTime&) const override { return rti13::RTI_FALSE; }
  rti13::Boolean operator>(const rti13::FedTime&) const override { return rti13::RTI_FALSE; }
  rti13::Boolean operator==(const rti13::FedTime&) const override { return rti13::RTI_FALSE; }
  rti13::FedTime& operator=(const rti13::FedTime&) override { return *this; }
  int encodedLength() const override { return 1; }
  void encode(char* buff) const override { buff[0] = 0; }
  int getPrintableLength() const override { return 0; }
  void getPrintableString(char* buff) override { buff[0] = '\0'; }
};

TEST(RTIfedTime, RefusesTimesOfAnotherLibrary) {
  RTIfedTime t(1.0);
  foreign_time other;
  EXPECT_ANY_THROW(t += other);
  EXPECT_ANY_THROW((void)(t < other));
  EXPECT_ANY_THROW(t = static_cast<const rti13::FedTime&>(other));
  EXPECT_EQ(t.getTime(), 1.0);
}

}  // namespace
