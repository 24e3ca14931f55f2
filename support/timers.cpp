#include "timers.h"

#include "diagnostic.h"

namespace brindle {

namespace {
const char* const diagnostic_tag = "periodic_realtime_timer";
}  // namespace

void timer_base::cancel() {
  if (scheduler* on = attached_scheduler()) on->cancel(*this);
}

void timer_base::call(uint64_t) { on_timer(); }

void oneshot_realtime_timer::schedule(scheduler& on, uint64_t ms) { on.schedule_oneshot(*this, ms); }

void periodic_realtime_timer::schedule(scheduler& on, uint64_t ms) {
  on.schedule_periodic(*this, ms, ms);
}

void periodic_realtime_timer::set_trigger(int socket) {
  scheduler* on = get_scheduler();
  if (!on) {
    diagnostic(diagnostic_tag, "set_trigger on a timer that is not scheduled");
    return;
  }
  on->set_trigger(*this, socket);
}

void periodic_realtime_timer::clear_triggers() {
  if (scheduler* on = attached_scheduler()) on->clear_triggers(*this);
}

void everytick_realtime_timer::schedule(scheduler& on, uint64_t ms) {
  on.schedule_everytick(*this, ms, ms);
}

}  // namespace brindle
