// AttributeHandleSet over the distribution manager's bit_vector: a set bit is an attribute
// handle in the set. A set from AttributeHandleSetFactory owns its vector; a set shown to the
// federate in a callback only wraps the manager's vector for the call; a set returned by
// attributeOwnershipReleaseResponse owns the vector the manager handed over.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "RTI.hh"
#include "bit_vector.h"
#include "pools.h"

namespace halden13 {

class cpp13_ahs : public rti13::AttributeHandleSet, public brindle::memory_pooled<cpp13_ahs> {
public:
  // An empty set that owns a vector sized for count handles.
  explicit cpp13_ahs(uint32_t count);
  // Wraps the manager's vector for the duration of a callback; the set is handed out const,
  // so the vector is never changed through it.
  explicit cpp13_ahs(const brindle::bit_vector& shown);
  // Takes the vector over.
  explicit cpp13_ahs(std::unique_ptr<brindle::bit_vector> owned);
  ~cpp13_ahs() override;
  cpp13_ahs(const cpp13_ahs&) = delete;
  cpp13_ahs& operator=(const cpp13_ahs&) = delete;

  rti13::ULong size() const override;
  // The i-th handle in ascending order. A loop over i = 0, 1, 2 ... costs one step per call:
  // the set keeps an iterator on the last handle returned.
  rti13::AttributeHandle getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  // Handles at or above bit_vector::max_length are refused with ArrayIndexOutOfBounds.
  void add(rti13::AttributeHandle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::AttributeNotDefined) override;
  void remove(rti13::AttributeHandle h) RTI13_THROW(rti13::AttributeNotDefined) override;
  void empty() override;
  rti13::Boolean isEmpty() const override;
  rti13::Boolean isMember(rti13::AttributeHandle h) const override;

  // What the services pass to the distribution manager.
  const brindle::bit_vector& get_bit_vector() const { return *vector_; }

private:
  [[noreturn]] void out_of_range(rti13::ULong i) const;

  brindle::bit_vector* vector_;  // deleted by the destructor when owns_
  bool owns_;
  mutable std::optional<brindle::bit_vector_iterator> cursor_;
  mutable uint32_t cursor_index_ = 0;  // which handle, counting from 0, the cursor stands on
};

}  // namespace halden13
