#include "millisecond_clock.h"

#include <time.h>

namespace brindle {

namespace {

uint64_t monotonic_milliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
}

}  // namespace

millisecond_clock::millisecond_clock() : millisecond_clock(monotonic_milliseconds()) {}

millisecond_clock::millisecond_clock(uint64_t first_reading) : last_reading_(first_reading) {}

uint64_t millisecond_clock::read_counter() { return monotonic_milliseconds(); }

uint64_t millisecond_clock::time() {
  uint64_t reading = read_counter();
  // The difference taken as a signed number is right across a wrap of the counter and
  // negative when the counter stepped back; only forward steps count.
  int64_t step = int64_t(reading - last_reading_);
  last_reading_ = reading;
  if (step > 0) accumulated_ += uint64_t(step);
  return accumulated_;
}

}  // namespace brindle
