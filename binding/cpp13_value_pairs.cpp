#include "cpp13_value_pairs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "cpp13_region.h"
#include "frame/ldm_error.h"

namespace halden13 {

using namespace brindle;
using namespace varnel;

cpp13_value_pairs::cpp13_value_pairs(rti13::ULong count, const char* kind)
    : set_(new handle_value_set(static_cast<uint32_t>(std::min<rti13::ULong>(count, handle_value_set::max_pairs)))),
      kind_(kind) {}

// The count of references is bookkeeping, not the set's value: a set shown read-only may
// still be referenced.
cpp13_value_pairs::cpp13_value_pairs(const handle_value_set& shown, const char* kind)
    : set_(const_cast<handle_value_set*>(&shown)), kind_(kind) {
  set_->up_refcount();
}

// The wrapper goes first: it detaches from the set's region, which goes with the set.
cpp13_value_pairs::~cpp13_value_pairs() {
  region_.reset();
  set_->down_refcount();
}

rti13::Region* cpp13_value_pairs::region() const {
  varnel::region_spec* region = set_->get_region();
  if (!region) throw rti13::InvalidHandleValuePairSetContext("The set carries no region");
  if (!region_) region_ = std::make_unique<cpp13_region>(*region, nullptr);
  return region_.get();
}

void cpp13_value_pairs::check_index(rti13::ULong i) const {
  if (i < set_->size()) return;
  const std::string message = std::string("Asked for ") + kind_ + " " + std::to_string(i) + " but there are only " +
                              std::to_string(set_->size()) + " in the set";
  throw rti13::ArrayIndexOutOfBounds(message.c_str());
}

const handle_value_pair& cpp13_value_pairs::pair(rti13::ULong i) const {
  check_index(i);
  return set_->get_pair(static_cast<uint32_t>(i));
}

void cpp13_value_pairs::get_value(rti13::ULong i, char* buff, rti13::ULong& length) const {
  const handle_value_pair& value = pair(i);
  length = value.get_length();
  if (length) std::memcpy(buff, value.get_data(), length);
}

char* cpp13_value_pairs::get_value_pointer(rti13::ULong i, rti13::ULong& length) const {
  const handle_value_pair& value = pair(i);
  length = value.get_length();
  // The interface hands out the bytes in place as char*; the federate must not write them.
  return const_cast<char*>(value.get_data());
}

void cpp13_value_pairs::add(rti13::Handle h, const char* buff, rti13::ULong length) {
  if (length > UINT32_MAX) {
    throw rti13::ValueLengthExceeded(("A value of " + std::to_string(length) + " bytes is too long").c_str());
  }
  if (set_->size() >= handle_value_set::max_pairs) {
    throw rti13::ValueCountExceeded(("A set holds at most " + std::to_string(handle_value_set::max_pairs) +
                                     " values").c_str());
  }
  try {
    set_->add(static_cast<uint32_t>(h), static_cast<uint32_t>(length), buff);
  } catch (const ldm_exception& refused) {  // bytes missing for a non-empty value
    throw rti13::ValueLengthExceeded(refused.detail());
  }
}

void cpp13_value_pairs::remove(rti13::Handle h) {
  if (h <= UINT32_MAX) set_->remove(static_cast<uint32_t>(h));
}

void cpp13_value_pairs::move_from(const cpp13_value_pairs* source, rti13::ULong i) {
  if (!source) throw rti13::ArrayIndexOutOfBounds("Bad pointer passed");
  source->check_index(i);
  try {
    set_->move_from(source->set_, static_cast<uint32_t>(i));
  } catch (const ldm_exception& refused) {  // this set is full
    throw rti13::ValueCountExceeded(refused.detail());
  }
}

}  // namespace halden13
