#include "fedtime.hh"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

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

TEST(RTIfedTime, ComparisonsAreExact) {
  const RTIfedTime one(1.0);
  const RTIfedTime just_above(std::nextafter(1.0, 2.0));
  EXPECT_TRUE(one < just_above);
  EXPECT_TRUE(one <= just_above);
  EXPECT_FALSE(one >= just_above);
  EXPECT_FALSE(one > just_above);
  EXPECT_FALSE(one == just_above);
  EXPECT_TRUE(one != just_above);
  EXPECT_TRUE(one == RTIfedTime(1.0));
  EXPECT_TRUE(one <= RTIfedTime(1.0));
  EXPECT_TRUE(one >= RTIfedTime(1.0));
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
