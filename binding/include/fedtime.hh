// RTIfedTime, the federation time that federates use with this RTI: a double with a fixed
// epsilon of 1e-9 and positive infinity as the double's infinity. It is implemented by the
// time library tempora13, which also supplies rti13::FedTimeFactory.
//
// Encoded form (encodedLength() == 8):
//   | the value as an IEEE 754 double, big-endian (8 bytes) |
#ifndef RTI13_FEDTIME_HH
#define RTI13_FEDTIME_HH

#include "RTI.hh"

class RTI13_EXPORT RTIfedTime : public rti13::FedTime {
public:
  RTIfedTime();
  RTIfedTime(const rti13::Double& time);
  // A copy of another time of this library.
  RTIfedTime(const rti13::FedTime& time);
  RTIfedTime(const RTIfedTime& time);
  virtual ~RTIfedTime();

  virtual void setZero();
  virtual rti13::Boolean isZero();
  virtual void setEpsilon();
  virtual void setPositiveInfinity();
  virtual rti13::Boolean isPositiveInfinity();

  // Comparisons are exact. Adding or subtracting a nonzero interval always moves the time, by
  // at least the next representable double where the interval is below the double's spacing;
  // infinity stays infinite. The other operand must be a time of this library. A NaN, whether
  // passed in (the constructor from a double, an assignment, an operand, FedTimeFactory::decode)
  // or made (infinity minus infinity), is refused with std::invalid_argument and leaves the
  // time unchanged.
  virtual rti13::FedTime& operator+=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::FedTime& operator-=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::Boolean operator<=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::Boolean operator<(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::Boolean operator>=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::Boolean operator>(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::Boolean operator==(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  virtual rti13::FedTime& operator=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);

  virtual int encodedLength() const;
  virtual void encode(char* buff) const;
  // The value as printf's "%g" writes it.
  virtual int getPrintableLength() const;
  virtual void getPrintableString(char* buff);

  rti13::Double getTime() const;

  rti13::Boolean operator==(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator!=(const rti13::FedTime& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator!=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator<=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator<(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator>=(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);
  rti13::Boolean operator>(const rti13::Double& other) const RTI13_THROW(rti13::InvalidFederationTime);

  RTIfedTime& operator=(const RTIfedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator*=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator/=(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator+=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator-=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator*=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime& operator/=(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);

  RTIfedTime operator+(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator+(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator-(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator-(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator*(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator*(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator/(const rti13::FedTime& other) RTI13_THROW(rti13::InvalidFederationTime);
  RTIfedTime operator/(const rti13::Double& other) RTI13_THROW(rti13::InvalidFederationTime);

private:
  rti13::Double _fedTime;
};

RTI13_EXPORT RTIfedTime operator+(const rti13::Double& left, const rti13::FedTime& right);
RTI13_EXPORT RTIfedTime operator-(const rti13::Double& left, const rti13::FedTime& right);
RTI13_EXPORT RTIfedTime operator*(const rti13::Double& left, const rti13::FedTime& right);
RTI13_EXPORT RTIfedTime operator/(const rti13::Double& left, const rti13::FedTime& right);

#if __cplusplus >= 202002L
// C++20 also tries a == b as b == a, and picks that reversed form when it matches better, as for
// a FedTime& compared with an RTIfedTime; a reversed == must return bool, which the interface's
// Boolean is not. These exact matches keep every such comparison on an unreversed operator.
inline rti13::Boolean operator==(const rti13::FedTime& left, const RTIfedTime& right) {
  return left == static_cast<const rti13::FedTime&>(right);
}
inline rti13::Boolean operator==(const RTIfedTime& left, const RTIfedTime& right) {
  return left == static_cast<const rti13::FedTime&>(right);
}
inline rti13::Boolean operator!=(const RTIfedTime& left, const RTIfedTime& right) {
  return left != static_cast<const rti13::FedTime&>(right);
}
#endif

#endif
