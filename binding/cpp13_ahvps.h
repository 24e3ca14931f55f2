// AttributeHandleValuePairSet over the distribution manager's handle_value_set. A set from
// AttributeSetFactory is the federate's; a set shown in a callback wraps the delivered set for
// the call only. Either way the adapter holds one reference on the set, so the values are never
// copied at the interface.
#pragma once

#include "RTI.hh"
#include "cpp13_value_pairs.h"
#include "pools.h"

namespace halden13 {

class cpp13_ahvps : public rti13::AttributeHandleValuePairSet, public brindle::memory_pooled<cpp13_ahvps> {
public:
  explicit cpp13_ahvps(rti13::ULong count) : pairs_(count, "attribute") {}
  explicit cpp13_ahvps(const varnel::handle_value_set& shown) : pairs_(shown, "attribute") {}

  rti13::ULong size() const override { return pairs_.size(); }
  rti13::Handle getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  rti13::ULong getValueLength(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  void getValue(rti13::ULong i, char* buff, rti13::ULong& valueLength) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  char* getValuePointer(rti13::ULong i, rti13::ULong& valueLength) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  // The whole set's transport and order type, for any i within range.
  rti13::TransportType getTransportType(rti13::ULong i) const
      RTI13_THROW(rti13::InvalidHandleValuePairSetContext) override;
  rti13::OrderType getOrderType(rti13::ULong i) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::InvalidHandleValuePairSetContext) override;
  // The region the set was received with, the same object for any i within range;
  // InvalidHandleValuePairSetContext when it carries none.
  rti13::Region* getRegion(rti13::ULong i) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::InvalidHandleValuePairSetContext) override;

  void add(rti13::Handle h, const char* buff, rti13::ULong valueLength)
      RTI13_THROW(rti13::ValueLengthExceeded, rti13::ValueCountExceeded) override;
  void remove(rti13::Handle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  // Moves pair i of ahvps, which must be a set of this library, to this set; i is not advanced.
  void moveFrom(const rti13::AttributeHandleValuePairSet& ahvps, rti13::ULong& i)
      RTI13_THROW(rti13::ValueCountExceeded, rti13::ArrayIndexOutOfBounds) override;
  void empty() override { pairs_.empty(); }

  rti13::ULong start() const override { return pairs_.start(); }
  rti13::ULong valid(rti13::ULong i) const override { return i < pairs_.size(); }
  rti13::ULong next(rti13::ULong i) const override { return i + 1; }

  // What the services pass to the distribution manager.
  const varnel::handle_value_set& get_handle_value_set() const { return pairs_.set(); }

private:
  cpp13_value_pairs pairs_;
};

}  // namespace halden13
