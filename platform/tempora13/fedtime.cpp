// RTIfedTime over a double and the factory through which the RTI makes every time. This
// library needs nothing of the binding: the FedTime base is all inline in the public headers.
#include "fedtime.hh"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr double epsilon = 1e-9;
constexpr int encoded_length = 8;

// The value of another time. Every time in one process comes from this library, so anything
// else is a programming error; it cannot be reported as an rti13 exception without a link
// to the binding library.
double value_of(const rti13::FedTime& time) {
  const RTIfedTime* ours = dynamic_cast<const RTIfedTime*>(&time);
  if (!ours) throw std::invalid_argument("RTIfedTime: operand is not an RTIfedTime");
  return ours->getTime();
}

rti13::Boolean boolean(bool value) { return value ? rti13::RTI_TRUE : rti13::RTI_FALSE; }

// A NaN compares false with everything, so one NaN time leaves every ordered queue unordered:
// refused wherever a value enters a time or an operation would make one. The refusal is
// std::invalid_argument for the same reason as in value_of.
double checked(double value) {
  if (std::isnan(value)) throw std::invalid_argument("RTIfedTime: NaN is not a time");
  return value;
}

// a + b, where either operand may be the time and the other the interval. Where the double's
// spacing exceeds the interval (from about 1.8e7 on for an epsilon of 1e-9) the plain sum
// rounds back to the time, and an advance by epsilon would stand still; the time then moves
// one representable double in the interval's direction instead. Infinity stays infinite.
double sum(double a, double b) {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  const double result = checked(a + b);
  if (result == a && b != 0 && std::isfinite(a)) return std::nextafter(a, b > 0 ? infinity : -infinity);
  if (result == b && a != 0 && std::isfinite(b)) return std::nextafter(b, a > 0 ? infinity : -infinity);
  return result;
}

}  // namespace

RTIfedTime::RTIfedTime() : _fedTime(0.0) {}

RTIfedTime::RTIfedTime(const rti13::Double& time) : _fedTime(checked(time)) {}

RTIfedTime::RTIfedTime(const rti13::FedTime& time) : rti13::FedTime(), _fedTime(value_of(time)) {}

RTIfedTime::RTIfedTime(const RTIfedTime& time) : rti13::FedTime(time), _fedTime(time._fedTime) {}

RTIfedTime::~RTIfedTime() = default;

void RTIfedTime::setZero() { _fedTime = 0.0; }

rti13::Boolean RTIfedTime::isZero() { return boolean(_fedTime == 0.0); }

void RTIfedTime::setEpsilon() { _fedTime = epsilon; }

void RTIfedTime::setPositiveInfinity() { _fedTime = std::numeric_limits<double>::infinity(); }

rti13::Boolean RTIfedTime::isPositiveInfinity() {
  return boolean(_fedTime == std::numeric_limits<double>::infinity());
}

rti13::FedTime& RTIfedTime::operator+=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = sum(_fedTime, value_of(other));
  return *this;
}

rti13::FedTime& RTIfedTime::operator-=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = sum(_fedTime, -value_of(other));
  return *this;
}

rti13::Boolean RTIfedTime::operator<=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime <= value_of(other));
}

rti13::Boolean RTIfedTime::operator<(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime < value_of(other));
}

rti13::Boolean RTIfedTime::operator>=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime >= value_of(other));
}

rti13::Boolean RTIfedTime::operator>(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime > value_of(other));
}

rti13::Boolean RTIfedTime::operator==(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime == value_of(other));
}

rti13::FedTime& RTIfedTime::operator=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = value_of(other);
  return *this;
}

int RTIfedTime::encodedLength() const { return encoded_length; }

void RTIfedTime::encode(char* buff) const {
  uint64_t bits;
  std::memcpy(&bits, &_fedTime, sizeof bits);
  for (int i = encoded_length - 1; i >= 0; --i) {
    buff[i] = static_cast<char>(bits & 0xFF);
    bits >>= 8;
  }
}

int RTIfedTime::getPrintableLength() const { return std::snprintf(nullptr, 0, "%g", _fedTime); }

void RTIfedTime::getPrintableString(char* buff) {
  std::snprintf(buff, static_cast<size_t>(getPrintableLength()) + 1, "%g", _fedTime);
}

rti13::Double RTIfedTime::getTime() const { return _fedTime; }

rti13::Boolean RTIfedTime::operator==(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime == checked(other));
}

rti13::Boolean RTIfedTime::operator!=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime != value_of(other));
}

rti13::Boolean RTIfedTime::operator!=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime != checked(other));
}

rti13::Boolean RTIfedTime::operator<=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime <= checked(other));
}

rti13::Boolean RTIfedTime::operator<(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime < checked(other));
}

rti13::Boolean RTIfedTime::operator>=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime >= checked(other));
}

rti13::Boolean RTIfedTime::operator>(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime) {
  return boolean(_fedTime > checked(other));
}

RTIfedTime& RTIfedTime::operator=(const RTIfedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = other._fedTime;
  return *this;
}

RTIfedTime& RTIfedTime::operator=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = checked(other);
  return *this;
}

RTIfedTime& RTIfedTime::operator*=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = checked(_fedTime * value_of(other));
  return *this;
}

RTIfedTime& RTIfedTime::operator/=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = checked(_fedTime / value_of(other));
  return *this;
}

RTIfedTime& RTIfedTime::operator+=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = sum(_fedTime, other);
  return *this;
}

RTIfedTime& RTIfedTime::operator-=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = sum(_fedTime, -other);
  return *this;
}

RTIfedTime& RTIfedTime::operator*=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = checked(_fedTime * other);
  return *this;
}

RTIfedTime& RTIfedTime::operator/=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  _fedTime = checked(_fedTime / other);
  return *this;
}

RTIfedTime RTIfedTime::operator+(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(sum(_fedTime, value_of(other)));
}

RTIfedTime RTIfedTime::operator+(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(sum(_fedTime, other));
}

RTIfedTime RTIfedTime::operator-(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(sum(_fedTime, -value_of(other)));
}

RTIfedTime RTIfedTime::operator-(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(sum(_fedTime, -other));
}

RTIfedTime RTIfedTime::operator*(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(_fedTime * value_of(other));
}

RTIfedTime RTIfedTime::operator*(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(_fedTime * other);
}

RTIfedTime RTIfedTime::operator/(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(_fedTime / value_of(other));
}

RTIfedTime RTIfedTime::operator/(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime) {
  return RTIfedTime(_fedTime / other);
}

RTIfedTime operator+(const rti13::Double& left, const rti13::FedTime& right) {
  return RTIfedTime(sum(left, value_of(right)));
}

RTIfedTime operator-(const rti13::Double& left, const rti13::FedTime& right) {
  return RTIfedTime(sum(left, -value_of(right)));
}

RTIfedTime operator*(const rti13::Double& left, const rti13::FedTime& right) {
  return RTIfedTime(left * value_of(right));
}

RTIfedTime operator/(const rti13::Double& left, const rti13::FedTime& right) {
  return RTIfedTime(left / value_of(right));
}

namespace rti13 {

FedTime* FedTimeFactory::makeZero() RTI13_THROW(MemoryExhausted) { return new RTIfedTime(); }

// The caller has checked that encodedLength() bytes are there. Bytes that hold a NaN are
// refused by the constructor (std::invalid_argument), so the caller can drop the message.
FedTime* FedTimeFactory::decode(const char* buf) RTI13_THROW(MemoryExhausted) {
  uint64_t bits = 0;
  for (int i = 0; i < encoded_length; ++i) bits = (bits << 8) | static_cast<unsigned char>(buf[i]);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return new RTIfedTime(value);
}

}  // namespace rti13
