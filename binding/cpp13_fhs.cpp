#include "cpp13_fhs.h"

#include <cstdint>
#include <iterator>
#include <string>

namespace halden13 {

using namespace brindle;
using namespace varnel;

cpp13_fhs::cpp13_fhs() : handles_(new federate_handle_set), owns_(true) {}

cpp13_fhs::cpp13_fhs(const federate_handle_set& shown)
    : handles_(const_cast<federate_handle_set*>(&shown)), owns_(false) {}

cpp13_fhs::~cpp13_fhs() {
  if (owns_) delete handles_;
}

rti13::FederateHandle cpp13_fhs::getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  if (i >= handles_->size()) {
    const std::string message = "Asked for federate handle " + std::to_string(i) + " but there are only " +
                                std::to_string(handles_->size());
    throw rti13::ArrayIndexOutOfBounds(message.c_str());
  }
  return *std::next(handles_->begin(), static_cast<std::ptrdiff_t>(i));
}

void cpp13_fhs::add(rti13::FederateHandle h) RTI13_THROW(rti13::ValueCountExceeded) {
  if (h > UINT32_MAX)
    throw rti13::ValueCountExceeded(("Federate handle " + std::to_string(h) + " is out of range").c_str());
  handles_->insert(static_cast<unsigned>(h));
}

void cpp13_fhs::remove(rti13::FederateHandle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  if (h <= UINT32_MAX) handles_->erase(static_cast<unsigned>(h));
}

rti13::Boolean cpp13_fhs::isMember(rti13::FederateHandle h) const {
  return h <= UINT32_MAX && handles_->contains(static_cast<unsigned>(h)) ? rti13::RTI_TRUE : rti13::RTI_FALSE;
}

}  // namespace halden13

namespace rti13 {

// The ordered set needs no room reserved, so count is only the interface's hint.
FederateHandleSet* FederateHandleSetFactory::create(ULong) RTI13_THROW(MemoryExhausted, ValueCountExceeded) {
  return new halden13::cpp13_fhs;
}

}  // namespace rti13
