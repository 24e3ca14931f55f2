// What the attribute and parameter value-pair adapters (cpp13_ahvps, cpp13_phvps) share: one
// reference on the distribution manager's handle_value_set, index checks whose messages name
// the kind of value, and the conversion of the set's refusals into rti13 exceptions.
#pragma once

#include <cstdint>
#include <memory>

#include "RTI.hh"
#include "messages/handle_value_set.h"

namespace halden13 {

class cpp13_region;

class cpp13_value_pairs {
public:
  // A new set with room for count pairs (count is only a hint); kind is "attribute" or
  // "parameter" and names the values in messages.
  cpp13_value_pairs(rti13::ULong count, const char* kind);
  // Takes one reference on a set of the distribution manager for as long as the adapter lives.
  cpp13_value_pairs(const varnel::handle_value_set& shown, const char* kind);
  // Drops the adapter's reference; the last one frees the set.
  ~cpp13_value_pairs();
  cpp13_value_pairs(const cpp13_value_pairs&) = delete;
  cpp13_value_pairs& operator=(const cpp13_value_pairs&) = delete;

  varnel::handle_value_set& set() const { return *set_; }
  rti13::ULong size() const { return set_->size(); }
  // ArrayIndexOutOfBounds "Asked for <kind> i but there are only n in the set" unless i < size.
  void check_index(rti13::ULong i) const;
  const varnel::handle_value_pair& pair(rti13::ULong i) const;

  void get_value(rti13::ULong i, char* buff, rti13::ULong& length) const;
  char* get_value_pointer(rti13::ULong i, rti13::ULong& length) const;
  // The set's own limits come back as ValueCountExceeded or ValueLengthExceeded.
  void add(rti13::Handle h, const char* buff, rti13::ULong length);
  void remove(rti13::Handle h);
  // Moves pair i of source (null: ArrayIndexOutOfBounds "Bad pointer passed") to this set.
  void move_from(const cpp13_value_pairs* source, rti13::ULong i);
  void empty() { set_->empty(); }

  rti13::ULong start() const { return set_->size() ? 0 : 0xFFFFFFFF; }
  // The region the set was received with, wrapped once and kept until the adapter goes;
  // InvalidHandleValuePairSetContext when the set carries none.
  rti13::Region* region() const;

private:
  varnel::handle_value_set* set_;  // one reference held
  const char* kind_;
  mutable std::unique_ptr<cpp13_region> region_;
};

}  // namespace halden13
