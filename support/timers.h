// Timers that owners derive from to get periodic or delayed work run by a scheduler: the
// owner overrides on_timer(). A timer leaves its scheduler when it is cancelled or destroyed,
// so an owner may simply destroy it.
#pragma once

#include <cstdint>

#include "brindle_export.h"
#include "scheduler.h"

namespace brindle {

class BRINDLE_EXPORT timer_base : public scheduled_event {
public:
  // Takes the timer off its scheduler; harmless when it is not scheduled.
  void cancel();
  // The scheduler the timer is scheduled on, null when it is not scheduled.
  scheduler* get_scheduler() const { return is_scheduled() ? attached_scheduler() : nullptr; }
  // Runs on_timer().
  void call(uint64_t budget_ms) final;

protected:
  virtual void on_timer() = 0;
};

// Runs on_timer() once, ms after schedule(). The timer is no longer scheduled when on_timer()
// runs, so the handler may schedule it again.
class BRINDLE_EXPORT oneshot_realtime_timer : public timer_base {
public:
  void schedule(scheduler& on, uint64_t ms);
};

// Runs on_timer() every ms, the first time ms after schedule(); also whenever a trigger socket
// is readable.
class BRINDLE_EXPORT periodic_realtime_timer : public timer_base {
public:
  void schedule(scheduler& on, uint64_t ms);
  // The timer must be scheduled: the socket is watched by its scheduler.
  void set_trigger(int socket);
  void clear_triggers();
};

// Runs on_timer() at the start of every tick, and also every ms.
class BRINDLE_EXPORT everytick_realtime_timer : public timer_base {
public:
  void schedule(scheduler& on, uint64_t ms);
};

}  // namespace brindle
