#include "cpp13_phvps.h"

namespace halden13 {

using namespace brindle;
using namespace varnel;

rti13::Handle cpp13_phvps::getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.pair(i).get_handle();
}

rti13::ULong cpp13_phvps::getValueLength(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.pair(i).get_length();
}

void cpp13_phvps::getValue(rti13::ULong i, char* buff, rti13::ULong& valueLength) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  pairs_.get_value(i, buff, valueLength);
}

char* cpp13_phvps::getValuePointer(rti13::ULong i, rti13::ULong& valueLength) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.get_value_pointer(i, valueLength);
}

rti13::TransportType cpp13_phvps::getTransportType() const RTI13_THROW(rti13::InvalidHandleValuePairSetContext) {
  return pairs_.set().get_transport_type();
}

rti13::OrderType cpp13_phvps::getOrderType() const RTI13_THROW(rti13::InvalidHandleValuePairSetContext) {
  return pairs_.set().get_order_type();
}

rti13::Region* cpp13_phvps::getRegion() const RTI13_THROW(rti13::InvalidHandleValuePairSetContext) {
  return pairs_.region();
}

void cpp13_phvps::add(rti13::Handle h, const char* buff, rti13::ULong valueLength)
    RTI13_THROW(rti13::ValueLengthExceeded, rti13::ValueCountExceeded) {
  pairs_.add(h, buff, valueLength);
}

void cpp13_phvps::remove(rti13::Handle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds) { pairs_.remove(h); }

void cpp13_phvps::moveFrom(const rti13::ParameterHandleValuePairSet& phvps, rti13::ULong& i)
    RTI13_THROW(rti13::ValueCountExceeded, rti13::ArrayIndexOutOfBounds) {
  const cpp13_phvps* source = dynamic_cast<const cpp13_phvps*>(&phvps);
  pairs_.move_from(source ? &source->pairs_ : nullptr, i);
}

}  // namespace halden13

namespace rti13 {

ParameterHandleValuePairSet* ParameterSetFactory::create(ULong count)
    RTI13_THROW(MemoryExhausted, ValueCountExceeded, HandleValuePairMaximumExceeded) {
  return new halden13::cpp13_phvps(count);
}

}  // namespace rti13
