#include "cpp13_ahs.h"

#include <string>

namespace halden13 {

using namespace brindle;

namespace {

std::string asked_for(rti13::ULong i, const char* rest) { return "Asked for attribute #" + std::to_string(i) + rest; }

}  // namespace

cpp13_ahs::cpp13_ahs(uint32_t count) : vector_(new bit_vector(count, false)), owns_(true) {}

cpp13_ahs::cpp13_ahs(const bit_vector& shown) : vector_(const_cast<bit_vector*>(&shown)), owns_(false) {}

cpp13_ahs::cpp13_ahs(std::unique_ptr<bit_vector> owned) : vector_(owned.release()), owns_(true) {}

cpp13_ahs::~cpp13_ahs() {
  if (owns_) delete vector_;
}

rti13::ULong cpp13_ahs::size() const { return vector_->count(); }

rti13::AttributeHandle cpp13_ahs::getHandle(rti13::ULong i) const RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  if (cursor_ && i == static_cast<rti13::ULong>(cursor_index_) + 1) {
    ++*cursor_;
    if (!(*cursor_)()) out_of_range(i);
    cursor_index_ = static_cast<uint32_t>(i);
    return **cursor_;
  }
  if (cursor_)
    cursor_->reset();
  else
    cursor_.emplace(*vector_);
  cursor_index_ = 0;
  if (!(*cursor_)()) {
    cursor_.reset();
    throw rti13::ArrayIndexOutOfBounds(asked_for(i, " but there are none in the set").c_str());
  }
  while (cursor_index_ < i) {
    ++*cursor_;
    if (!(*cursor_)()) out_of_range(i);
    ++cursor_index_;
  }
  return **cursor_;
}

void cpp13_ahs::out_of_range(rti13::ULong i) const {
  cursor_.reset();
  const std::string tail = " but there are only " + std::to_string(vector_->count()) + " in the set";
  throw rti13::ArrayIndexOutOfBounds(asked_for(i, tail.c_str()).c_str());
}

void cpp13_ahs::add(rti13::AttributeHandle h) RTI13_THROW(rti13::ArrayIndexOutOfBounds, rti13::AttributeNotDefined) {
  // The vector grows to the handle; a handle beyond its largest length would abort the process.
  if (h >= bit_vector::max_length)
    throw rti13::ArrayIndexOutOfBounds(("Attribute handle " + std::to_string(h) + " is out of range").c_str());
  cursor_.reset();
  vector_->set_bit(static_cast<uint32_t>(h));
}

void cpp13_ahs::remove(rti13::AttributeHandle h) RTI13_THROW(rti13::AttributeNotDefined) {
  cursor_.reset();
  // Clearing a bit beyond the length would grow the vector for nothing.
  if (h < vector_->length()) vector_->set_bit(static_cast<uint32_t>(h), false);
}

void cpp13_ahs::empty() {
  cursor_.reset();
  vector_->clear();
}

rti13::Boolean cpp13_ahs::isEmpty() const { return vector_->is_empty() ? rti13::RTI_TRUE : rti13::RTI_FALSE; }

rti13::Boolean cpp13_ahs::isMember(rti13::AttributeHandle h) const {
  return h < vector_->length() && vector_->get_bit(static_cast<uint32_t>(h)) ? rti13::RTI_TRUE : rti13::RTI_FALSE;
}

}  // namespace halden13

namespace rti13 {

AttributeHandleSet* AttributeHandleSetFactory::create(ULong count) RTI13_THROW(MemoryExhausted, ValueCountExceeded) {
  if (count > brindle::bit_vector::max_length)
    throw ValueCountExceeded(("Cannot make a set for " + std::to_string(count) + " attributes").c_str());
  return new halden13::cpp13_ahs(static_cast<uint32_t>(count));
}

}  // namespace rti13
