#include "cpp13_relative_time.h"

#include "cpp13_absolute_time.h"
#include "cpp13_time_support.h"

namespace halden13 {

using namespace brindle;
using namespace varnel;

using namespace cpp13_time_support;

namespace {

constexpr const char* complaint = "Invalid time passed to relative_time";

// The core makes every time through the binding's factories, so every operand is ours.
const rti13::FedTime& held(const relative_time& time) {
  return static_cast<const cpp13_relative_time&>(time).fed_time();
}

const rti13::FedTime& held(const absolute_time& time) {
  return static_cast<const cpp13_absolute_time&>(time).fed_time();
}

}  // namespace

cpp13_relative_time::cpp13_relative_time() : time_(rti13::FedTimeFactory::makeZero()) {}

cpp13_relative_time::cpp13_relative_time(const rti13::FedTime& value) : time_(copy_of(value)) {}

cpp13_relative_time::cpp13_relative_time(std::unique_ptr<rti13::FedTime> held) : time_(std::move(held)) {}

cpp13_relative_time* cpp13_relative_time::decode(const char* bytes, uint32_t length) {
  std::unique_ptr<rti13::FedTime> time = decoded_time(bytes, length);
  return time ? new cpp13_relative_time(std::move(time)) : nullptr;
}

relative_time* cpp13_relative_time::clone() const { return new cpp13_relative_time(*time_); }

void cpp13_relative_time::set_zero() { time_->setZero(); }

bool cpp13_relative_time::is_zero() const { return time_->isZero(); }

void cpp13_relative_time::set_epsilon() { time_->setEpsilon(); }

bool cpp13_relative_time::is_epsilon() const {
  return guarded(complaint, false, [&] {
    std::unique_ptr<rti13::FedTime> epsilon(rti13::FedTimeFactory::makeZero());
    epsilon->setEpsilon();
    return truth(*time_ == *epsilon);
  });
}

relative_time& cpp13_relative_time::assign(const relative_time& other) {
  return guarded<relative_time&>(complaint, *this, [&]() -> relative_time& {
    *time_ = held(other);
    return *this;
  });
}

relative_time& cpp13_relative_time::set_difference(const absolute_time& a, const absolute_time& b) {
  return guarded<relative_time&>(complaint, *this, [&]() -> relative_time& {
    *time_ = held(a);
    *time_ -= held(b);
    return *this;
  });
}

relative_time& cpp13_relative_time::add(const relative_time& other) {
  return guarded<relative_time&>(complaint, *this, [&]() -> relative_time& {
    *time_ += held(other);
    return *this;
  });
}

relative_time& cpp13_relative_time::subtract(const relative_time& other) {
  return guarded<relative_time&>(complaint, *this, [&]() -> relative_time& {
    *time_ -= held(other);
    return *this;
  });
}

bool cpp13_relative_time::greater(const relative_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ > held(other)); });
}

bool cpp13_relative_time::less(const relative_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ < held(other)); });
}

bool cpp13_relative_time::equal(const relative_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ == held(other)); });
}

bool cpp13_relative_time::greater_equal(const relative_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ >= held(other)); });
}

bool cpp13_relative_time::less_equal(const relative_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ <= held(other)); });
}

uint32_t cpp13_relative_time::encoded_length() const { return static_cast<uint32_t>(time_->encodedLength()); }

void cpp13_relative_time::encode(char* buffer) const { time_->encode(buffer); }

const char* cpp13_relative_time::printable() {
  // The new text is made before the old is freed, so every call hands out a fresh buffer.
  printable_ = printable_text(*time_);
  return printable_.get();
}

}  // namespace halden13
