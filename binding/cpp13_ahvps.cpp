#include "cpp13_ahvps.h"

namespace halden13 {

using namespace brindle;
using namespace varnel;

rti13::Handle cpp13_ahvps::getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.pair(i).get_handle();
}

rti13::ULong cpp13_ahvps::getValueLength(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.pair(i).get_length();
}

void cpp13_ahvps::getValue(rti13::ULong i, char* buff, rti13::ULong& valueLength) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  pairs_.get_value(i, buff, valueLength);
}

char* cpp13_ahvps::getValuePointer(rti13::ULong i, rti13::ULong& valueLength) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return pairs_.get_value_pointer(i, valueLength);
}

rti13::TransportType cpp13_ahvps::getTransportType(rti13::ULong i) const
    RTI13_THROW(rti13::InvalidHandleValuePairSetContext) {
  pairs_.check_index(i);
  return pairs_.set().get_transport_type();
}

rti13::OrderType cpp13_ahvps::getOrderType(rti13::ULong i) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::InvalidHandleValuePairSetContext) {
  pairs_.check_index(i);
  return pairs_.set().get_order_type();
}

rti13::Region* cpp13_ahvps::getRegion(rti13::ULong i) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::InvalidHandleValuePairSetContext) {
  pairs_.check_index(i);
  return pairs_.region();
}

void cpp13_ahvps::add(rti13::Handle h, const char* buff, rti13::ULong valueLength)
    RTI13_THROW(rti13::ValueLengthExceeded, rti13::ValueCountExceeded) {
  pairs_.add(h, buff, valueLength);
}

void cpp13_ahvps::remove(rti13::Handle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds) { pairs_.remove(h); }

void cpp13_ahvps::moveFrom(const rti13::AttributeHandleValuePairSet& ahvps, rti13::ULong& i)
    RTI13_THROW(rti13::ValueCountExceeded, rti13::ArrayIndexOutOfBounds) {
  const cpp13_ahvps* source = dynamic_cast<const cpp13_ahvps*>(&ahvps);
  pairs_.move_from(source ? &source->pairs_ : nullptr, i);
}

}  // namespace halden13

namespace rti13 {

AttributeHandleValuePairSet* AttributeSetFactory::create(ULong count)
    RTI13_THROW(MemoryExhausted, ValueCountExceeded, HandleValuePairMaximumExceeded) {
  return new halden13::cpp13_ahvps(count);
}

}  // namespace rti13
