// The millisecond clock of one distribution manager: milliseconds since construction as a
// 64-bit count, read from the system's monotonic clock and never going backwards. The
// distribution manager owns it; the scheduler and every timer read it.
#pragma once

#include <cstdint>

#include "brindle_export.h"

namespace brindle {

class BRINDLE_EXPORT millisecond_clock {
public:
  millisecond_clock();
  virtual ~millisecond_clock() = default;
  millisecond_clock(const millisecond_clock&) = delete;
  millisecond_clock& operator=(const millisecond_clock&) = delete;

  // Reads the counter and returns the accumulated time. A counter that steps back (or wraps)
  // adds nothing, so the result never decreases.
  uint64_t time();
  // The value returned by the last time() (0 before the first).
  uint64_t last_time() const { return accumulated_; }

protected:
  // For clocks on another counter (tests): the accumulated time starts at 0 at first_reading.
  explicit millisecond_clock(uint64_t first_reading);
  // One reading of the underlying counter in milliseconds; any origin.
  virtual uint64_t read_counter();

private:
  uint64_t last_reading_;
  uint64_t accumulated_ = 0;
};

}  // namespace brindle
