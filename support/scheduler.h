// The scheduler of one distribution manager: inside each tick it runs the every-tick events,
// the events whose sockets became readable and the timed events that are due, one at a time on
// the ticking thread, then waits on the sockets until the tick's time is used. It owns none of
// its events; an event leaves the scheduler when it is cancelled or destroyed.
#pragma once

#include <poll.h>

#include <cstdint>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "brindle_export.h"

namespace brindle {

class millisecond_clock;
class scheduler;

// Base of everything the scheduler runs. The scheduler keeps the bookkeeping fields; an event
// may cancel or reschedule itself or others, or be destroyed, during any call.
class BRINDLE_EXPORT scheduled_event {
public:
  scheduled_event() = default;
  virtual ~scheduled_event();
  scheduled_event(const scheduled_event&) = delete;
  scheduled_event& operator=(const scheduled_event&) = delete;

  // Runs the event. budget_ms is how long it may take (at most 1000).
  virtual void call(uint64_t budget_ms) = 0;

  // Due time in clock milliseconds while waiting in the queue, 0 otherwise.
  uint64_t get_due() const { return queued_ ? due_ : 0; }
  // 0 for a one-shot event.
  uint64_t get_period() const { return period_; }
  bool is_everytick() const { return everytick_; }
  bool has_triggers() const { return has_triggers_; }
  // True while the event will run again without being scheduled anew: it waits in the queue,
  // or it is a periodic event being run. A one-shot event stops being scheduled when its run
  // starts.
  bool is_scheduled() const { return armed_; }
  bool operator<(const scheduled_event& other) const { return due_ < other.due_; }

protected:
  // The scheduler this event is attached to while it is scheduled, has triggers or runs.
  scheduler* attached_scheduler() const { return home_; }

private:
  friend class scheduler;
  using queue = std::map<std::pair<uint64_t, uint64_t>, scheduled_event*>;

  scheduler* home_ = nullptr;
  queue::iterator slot_;  // valid while queued_
  uint64_t due_ = 0;
  uint64_t period_ = 0;
  uint64_t generation_ = 0;  // changes whenever the event is scheduled or cancelled
  bool queued_ = false;
  bool armed_ = false;
  bool everytick_ = false;
  bool has_triggers_ = false;
};

class BRINDLE_EXPORT scheduler {
public:
  explicit scheduler(millisecond_clock& clock);
  virtual ~scheduler();
  scheduler(const scheduler&) = delete;
  scheduler& operator=(const scheduler&) = delete;

  millisecond_clock& get_clock() const { return clock_; }

  // Runs event once, delay milliseconds from now.
  void schedule_oneshot(scheduled_event& event, uint64_t delay);
  // Runs event delay milliseconds from now and then every period (0 counts as 1) after the
  // clock reading that preceded each run.
  void schedule_periodic(scheduled_event& event, uint64_t delay, uint64_t period);
  // As schedule_periodic, and also at the start of every tick.
  void schedule_everytick(scheduled_event& event, uint64_t delay, uint64_t period);
  // Also runs event whenever socket is readable. After such a run a periodic event's next
  // due time is one period after the clock's last reading, a scheduled one-shot event is
  // cancelled, and an event that was never scheduled keeps its triggers.
  void set_trigger(scheduled_event& event, int socket);
  void clear_triggers(scheduled_event& event);
  // Clears the triggers, takes the event out of the queue and the every-tick list.
  void cancel(scheduled_event& event);

  // One tick: every-tick events, readable sockets, due events; then waits on the sockets and
  // runs what becomes due until limit ms have passed, but never beyond budget ms. Returns true
  // when the first pass alone used up the budget, false otherwise. Events with equal due
  // times run in the order they were scheduled; an event scheduled during a pass of due
  // events runs in a later pass at the earliest, so a zero-delay reschedule cannot hold the
  // tick. Calling tick from inside an event is refused.
  bool tick(uint64_t limit, uint64_t budget);

  // Runs after each event's call has returned and the event is rescheduled, before the next
  // event: work an event queued for its owner (callbacks to a federate) runs there, never in the
  // middle of another component's call. An exception from it leaves the tick like an event's.
  void set_after_event(std::function<void()> hook) { after_event_ = std::move(hook); }

  // True while an event's call runs (in any phase).
  bool in_event() const { return in_event_; }
  bool in_everytick_phase() const { return in_everytick_; }
  // The event whose call runs now, null outside calls.
  scheduled_event* current_event() const { return running_; }

  uint64_t get_tick_count() const { return tick_count_; }
  uint64_t get_tick_time() const { return tick_time_; }
  void reset_tick_stats();

protected:
  // Waits up to timeout_ms for one of the sockets to become readable, filling in revents;
  // sleeps when there are none. Returns as poll does. Virtual so that a test can run the
  // scheduler on a simulated clock.
  virtual int wait(std::vector<pollfd>& sockets, int timeout_ms);

private:
  friend class scheduled_event;

  void arm(scheduled_event& event, uint64_t delay, uint64_t period);
  void enqueue(scheduled_event& event, uint64_t due);
  void dequeue(scheduled_event& event);
  void release_if_idle(scheduled_event& event);
  void detach(scheduled_event& event);
  bool run(scheduled_event& event, uint64_t budget);
  void rearm_after_run(scheduled_event& event, uint64_t generation);
  void rearm_timed(scheduled_event& event, uint64_t generation);
  void after_event() const;

  void first_events(uint64_t budget);
  void poll_events(uint64_t wait_ms, uint64_t budget);
  void run_events(uint64_t now, uint64_t end);
  void compact_sockets();

  millisecond_clock& clock_;
  bool in_event_ = false;
  bool in_everytick_ = false;
  bool in_tick_ = false;
  uint64_t tick_count_ = 0;
  uint64_t tick_time_ = 0;
  uint64_t next_sequence_ = 0;
  std::vector<scheduled_event*> everytick_list_;
  scheduled_event::queue queue_;
  std::vector<pollfd> sockets_;
  std::vector<scheduled_event*> socket_events_;  // parallel to sockets_; null once cleared
  scheduled_event* running_ = nullptr;
  std::function<void()> after_event_;
};

}  // namespace brindle
