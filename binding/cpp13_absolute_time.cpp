#include "cpp13_absolute_time.h"

#include "cpp13_relative_time.h"
#include "cpp13_time_support.h"

namespace halden13 {

using namespace brindle;
using namespace varnel;

using namespace cpp13_time_support;

namespace {

constexpr const char* complaint = "Invalid time passed to absolute_time";

// The core makes every time through the binding's factories, so every operand is ours.
const rti13::FedTime& held(const absolute_time& time) {
  return static_cast<const cpp13_absolute_time&>(time).fed_time();
}

const rti13::FedTime& held(const relative_time& time) {
  return static_cast<const cpp13_relative_time&>(time).fed_time();
}

}  // namespace

cpp13_absolute_time::cpp13_absolute_time() : time_(rti13::FedTimeFactory::makeZero()) {}

cpp13_absolute_time::cpp13_absolute_time(const rti13::FedTime& value) : time_(copy_of(value)) {}

cpp13_absolute_time::cpp13_absolute_time(std::unique_ptr<rti13::FedTime> held) : time_(std::move(held)) {}

cpp13_absolute_time* cpp13_absolute_time::decode(const char* bytes, uint32_t length) {
  std::unique_ptr<rti13::FedTime> time = decoded_time(bytes, length);
  return time ? new cpp13_absolute_time(std::move(time)) : nullptr;
}

absolute_time* cpp13_absolute_time::clone() const { return new cpp13_absolute_time(*time_); }

void cpp13_absolute_time::set_zero() { time_->setZero(); }

bool cpp13_absolute_time::is_zero() const { return time_->isZero(); }

void cpp13_absolute_time::set_infinity() { time_->setPositiveInfinity(); }

bool cpp13_absolute_time::is_infinity() const { return time_->isPositiveInfinity(); }

absolute_time& cpp13_absolute_time::assign(const absolute_time& other) {
  return guarded<absolute_time&>(complaint, *this, [&]() -> absolute_time& {
    *time_ = held(other);
    return *this;
  });
}

absolute_time& cpp13_absolute_time::add(const relative_time& interval) {
  return guarded<absolute_time&>(complaint, *this, [&]() -> absolute_time& {
    *time_ += held(interval);
    return *this;
  });
}

absolute_time& cpp13_absolute_time::subtract(const relative_time& interval) {
  return guarded<absolute_time&>(complaint, *this, [&]() -> absolute_time& {
    *time_ -= held(interval);
    return *this;
  });
}

bool cpp13_absolute_time::greater(const absolute_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ > held(other)); });
}

bool cpp13_absolute_time::less(const absolute_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ < held(other)); });
}

bool cpp13_absolute_time::equal(const absolute_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ == held(other)); });
}

bool cpp13_absolute_time::greater_equal(const absolute_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ >= held(other)); });
}

bool cpp13_absolute_time::less_equal(const absolute_time& other) const {
  return guarded(complaint, false, [&] { return truth(*time_ <= held(other)); });
}

uint32_t cpp13_absolute_time::encoded_length() const { return static_cast<uint32_t>(time_->encodedLength()); }

void cpp13_absolute_time::encode(char* buffer) const { time_->encode(buffer); }

const char* cpp13_absolute_time::printable() {
  // The new text is made before the old is freed, so every call hands out a fresh buffer.
  printable_ = printable_text(*time_);
  return printable_.get();
}

}  // namespace halden13
