#include "scheduler.h"

#include <algorithm>
#include <climits>

#include "diagnostic.h"
#include "millisecond_clock.h"
#include "sock_util.h"

namespace brindle {

namespace {

const char* const diagnostic_tag = "scheduler";

// No event is told it may take longer than this, whatever the tick's budget.
constexpr uint64_t max_call_budget = 1000;

uint64_t add_clamped(uint64_t a, uint64_t b) { return b > UINT64_MAX - a ? UINT64_MAX : a + b; }

// Sets a flag for the life of a scope, so that an exception thrown by an event does not leave
// the scheduler believing it is still inside a call or a tick.
class flag_scope {
public:
  explicit flag_scope(bool& flag) : flag_(flag) { flag_ = true; }
  ~flag_scope() { flag_ = false; }
  flag_scope(const flag_scope&) = delete;
  flag_scope& operator=(const flag_scope&) = delete;

private:
  bool& flag_;
};

}  // namespace

scheduled_event::~scheduled_event() {
  if (home_) home_->detach(*this);
}

scheduler::scheduler(millisecond_clock& clock) : clock_(clock) {}

scheduler::~scheduler() {
  // Events that outlive their scheduler must not reach back into it.
  auto forget = [](scheduled_event* event) {
    if (!event) return;
    event->home_ = nullptr;
    event->queued_ = event->armed_ = event->everytick_ = event->has_triggers_ = false;
  };
  for (auto& entry : queue_) forget(entry.second);
  for (scheduled_event* event : everytick_list_) forget(event);
  for (scheduled_event* event : socket_events_) forget(event);
  forget(running_);
}

void scheduler::schedule_oneshot(scheduled_event& event, uint64_t delay) { arm(event, delay, 0); }

void scheduler::schedule_periodic(scheduled_event& event, uint64_t delay, uint64_t period) {
  arm(event, delay, std::max<uint64_t>(period, 1));
}

void scheduler::schedule_everytick(scheduled_event& event, uint64_t delay, uint64_t period) {
  schedule_periodic(event, delay, period);
  if (event.everytick_) return;
  event.everytick_ = true;
  everytick_list_.push_back(&event);
}

void scheduler::set_trigger(scheduled_event& event, int socket) {
  if (socket < 0) {
    diagnostic(diagnostic_tag, "set_trigger with invalid socket %d ignored", socket);
    return;
  }
  if (event.home_ && event.home_ != this) event.home_->cancel(event);
  event.home_ = this;
  event.has_triggers_ = true;
  sockets_.push_back(pollfd{socket, POLLIN, 0});
  socket_events_.push_back(&event);
}

void scheduler::clear_triggers(scheduled_event& event) {
  if (event.home_ != this) return;
  // Entries are only marked here; poll_events compacts them, so that clearing during the
  // poll phase does not move entries that are still to be looked at.
  for (size_t i = 0; i < socket_events_.size(); ++i) {
    if (socket_events_[i] != &event) continue;
    socket_events_[i] = nullptr;
    sockets_[i].fd = -1;
  }
  event.has_triggers_ = false;
  release_if_idle(event);
}

void scheduler::cancel(scheduled_event& event) {
  if (!event.home_) return;
  if (event.home_ != this) {
    event.home_->cancel(event);
    return;
  }
  ++event.generation_;
  event.armed_ = false;
  dequeue(event);
  if (event.everytick_) {
    event.everytick_ = false;
    everytick_list_.erase(std::find(everytick_list_.begin(), everytick_list_.end(), &event));
  }
  clear_triggers(event);
}

void scheduler::reset_tick_stats() {
  tick_count_ = 0;
  tick_time_ = 0;
}

void scheduler::arm(scheduled_event& event, uint64_t delay, uint64_t period) {
  if (event.home_ && event.home_ != this) event.home_->cancel(event);
  event.home_ = this;
  ++event.generation_;
  event.armed_ = true;
  event.period_ = period;
  dequeue(event);
  enqueue(event, add_clamped(clock_.time(), delay));
}

void scheduler::enqueue(scheduled_event& event, uint64_t due) {
  // The sequence number keeps events with equal due times in the order they were queued and
  // lets the timed phase leave events queued during it for the next pass.
  event.due_ = due;
  event.slot_ = queue_.emplace(std::make_pair(due, next_sequence_++), &event).first;
  event.queued_ = true;
}

void scheduler::dequeue(scheduled_event& event) {
  if (!event.queued_) return;
  queue_.erase(event.slot_);
  event.queued_ = false;
}

void scheduler::release_if_idle(scheduled_event& event) {
  if (!event.queued_ && !event.everytick_ && !event.has_triggers_ && running_ != &event)
    event.home_ = nullptr;
}

void scheduler::detach(scheduled_event& event) {
  cancel(event);
  if (running_ == &event) running_ = nullptr;
  event.home_ = nullptr;
}

bool scheduler::run(scheduled_event& event, uint64_t budget) {
  running_ = &event;
  {
    flag_scope calling(in_event_);
    event.call(std::min(budget, max_call_budget));
  }
  // detach() clears running_ when the event is destroyed during its own call.
  bool alive = running_ == &event;
  running_ = nullptr;
  return alive;
}

void scheduler::rearm_after_run(scheduled_event& event, uint64_t generation) {
  if (event.generation_ != generation || !event.armed_) {
    // It rescheduled or cancelled itself, or was never scheduled (a bare socket trigger).
    release_if_idle(event);
    return;
  }
  if (event.period_ == 0) {
    cancel(event);
    return;
  }
  dequeue(event);
  enqueue(event, add_clamped(clock_.last_time(), event.period_));
}

bool scheduler::tick(uint64_t limit, uint64_t budget) {
  if (in_tick_) {
    diagnostic(diagnostic_tag, "tick from inside an event ignored");
    return false;
  }
  flag_scope ticking(in_tick_);
  ++tick_count_;
  const uint64_t start = clock_.time();
  const uint64_t end = add_clamped(start, budget);
  const uint64_t stop = add_clamped(start, limit);

  first_events(budget);
  poll_events(0, budget);
  run_events(start, end);

  bool waited = false;
  for (uint64_t now = clock_.time(); now <= end; now = clock_.time()) {
    waited = true;
    if (now >= stop) break;
    uint64_t until = stop;
    if (!queue_.empty()) until = std::min(until, queue_.begin()->first.first);
    poll_events(until > now ? until - now : 0, end - now);
    run_events(clock_.time(), end);
  }
  tick_time_ += clock_.last_time() - start;
  return !waited;
}

void scheduler::first_events(uint64_t budget) {
  flag_scope everytick(in_everytick_);
  // Events may leave or join the list during the calls: walk a copy and skip those that left.
  const std::vector<scheduled_event*> snapshot = everytick_list_;
  for (scheduled_event* event : snapshot) {
    if (std::find(everytick_list_.begin(), everytick_list_.end(), event) == everytick_list_.end())
      continue;
    uint64_t generation = event->generation_;
    if (run(*event, budget)) rearm_after_run(*event, generation);
    after_event();
  }
}

void scheduler::poll_events(uint64_t wait_ms, uint64_t budget) {
  compact_sockets();
  if (sockets_.empty() && wait_ms == 0) return;
  for (pollfd& entry : sockets_) entry.revents = 0;
  int ready = wait(sockets_, int(std::min<uint64_t>(wait_ms, INT_MAX)));
  if (ready < 0) sock_perror(diagnostic_tag, "poll");
  if (ready <= 0) return;
  // Calls may add entries (set_trigger) or mark them cleared; only those polled are looked at.
  const size_t polled = sockets_.size();
  for (size_t i = 0; i < polled; ++i) {
    scheduled_event* event = socket_events_[i];
    short revents = sockets_[i].revents;
    if (!event || revents == 0) continue;
    if (revents & POLLNVAL) {
      // A socket closed without clearing its trigger would make every poll return at once.
      diagnostic(diagnostic_tag, "socket %d is not open; trigger removed", sockets_[i].fd);
      socket_events_[i] = nullptr;
      sockets_[i].fd = -1;
      continue;
    }
    uint64_t generation = event->generation_;
    if (run(*event, budget)) rearm_after_run(*event, generation);
    after_event();
  }
}

void scheduler::run_events(uint64_t now, uint64_t end) {
  // Only events queued before this phase began run in it: an event that schedules itself with
  // no delay runs again in the next pass instead of holding the phase for ever.
  const uint64_t horizon = next_sequence_;
  while (!queue_.empty()) {
    auto first = queue_.begin();
    if (first->first.first > now || first->first.second >= horizon) break;
    scheduled_event& event = *first->second;
    dequeue(event);
    if (event.period_ == 0) event.armed_ = false;
    uint64_t generation = event.generation_;
    if (run(event, end > now ? end - now : 0)) rearm_timed(event, generation);
    after_event();
  }
}

void scheduler::rearm_timed(scheduled_event& event, uint64_t generation) {
  if (event.generation_ != generation) {
    release_if_idle(event);
  } else if (event.period_ > 0) {
    enqueue(event, add_clamped(clock_.last_time(), event.period_));
  } else {
    clear_triggers(event);
  }
}

void scheduler::after_event() const {
  if (after_event_) after_event_();
}

void scheduler::compact_sockets() {
  for (size_t i = 0; i < sockets_.size();) {
    if (socket_events_[i]) {
      ++i;
      continue;
    }
    sockets_[i] = sockets_.back();
    socket_events_[i] = socket_events_.back();
    sockets_.pop_back();
    socket_events_.pop_back();
  }
}

int scheduler::wait(std::vector<pollfd>& sockets, int timeout_ms) {
  return sock_poll(sockets.data(), sockets.size(), timeout_ms);
}

}  // namespace brindle
