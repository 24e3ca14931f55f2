// FederateHandleSet over the distribution manager's federate_handle_set, an ordered set, so
// handles come back by index in ascending order. A set from FederateHandleSetFactory owns its
// container; a set made around a container of the manager only wraps it.
#pragma once

#include "RTI.hh"
#include "federation/federate_handle_set.h"
#include "pools.h"

namespace halden13 {

class cpp13_fhs : public rti13::FederateHandleSet, public brindle::memory_pooled<cpp13_fhs> {
public:
  // An empty set that owns its container.
  cpp13_fhs();
  // Wraps the manager's container; the set is handed out const, so it is never changed.
  explicit cpp13_fhs(const varnel::federate_handle_set& shown);
  ~cpp13_fhs() override;
  cpp13_fhs(const cpp13_fhs&) = delete;
  cpp13_fhs& operator=(const cpp13_fhs&) = delete;

  rti13::ULong size() const override { return handles_->size(); }
  // Walks from the smallest handle: i + 1 steps.
  rti13::FederateHandle getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  // A handle beyond 32 bits names no federate: ValueCountExceeded.
  void add(rti13::FederateHandle h) RTI13_THROW(rti13::ValueCountExceeded) override;
  void remove(rti13::FederateHandle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  void empty() override { handles_->clear(); }
  rti13::Boolean isMember(rti13::FederateHandle h) const override;

  // What the services pass to the distribution manager.
  const varnel::federate_handle_set& get_federate_handle_set() const { return *handles_; }

private:
  varnel::federate_handle_set* handles_;  // deleted by the destructor when owns_
  bool owns_;
};

}  // namespace halden13
