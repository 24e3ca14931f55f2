#include "scheduler.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <vector>

#include "manual_clock.h"
#include "millisecond_clock.h"
#include "timers.h"

using namespace brindle;

namespace {

// Records the clock's last reading and the budget of every call.
class probe : public scheduled_event {
public:
  explicit probe(millisecond_clock& clock) : clock_(clock) {}
  void call(uint64_t budget_ms) override {
    runs.push_back(clock_.last_time());
    budgets.push_back(budget_ms);
    if (action) action();
  }

  std::vector<uint64_t> runs;
  std::vector<uint64_t> budgets;
  std::function<void()> action;

private:
  millisecond_clock& clock_;
};

template <class Timer>
class counting_timer : public Timer {
public:
  void on_timer() override {
    ++runs;
    if (action) action();
  }

  int runs = 0;
  std::function<void()> action;
};

class SchedulerTest : public ::testing::Test {
protected:
  // One pass at the current time: due events run, nothing waits.
  void pass() { sched.tick(0, 5000); }
  void pass_at(uint64_t time) {
    clock.counter = time;
    pass();
  }

  manual_clock clock;
  manual_scheduler sched{clock};
};

TEST(MillisecondClock, NeverGoesBackwardsWhenTheCounterStepsBackOrWraps) {
  manual_clock clock(UINT64_MAX - 5);
  EXPECT_EQ(clock.time(), 0u);
  clock.counter = 4;  // wrapped: 10 ms later
  EXPECT_EQ(clock.time(), 10u);
  clock.counter = 1;  // stepped back
  EXPECT_EQ(clock.time(), 10u);
  clock.counter = 3;  // forward again from the new reading
  EXPECT_EQ(clock.time(), 12u);
  EXPECT_EQ(clock.last_time(), 12u);
}

TEST_F(SchedulerTest, OneshotRunsOnceAndIsUnscheduledInsideItsHandlerSoItMayRescheduleItself) {
  counting_timer<oneshot_realtime_timer> timer;
  timer.action = [&] {
    EXPECT_EQ(timer.get_scheduler(), nullptr);
    if (timer.runs == 1) timer.schedule(sched, 10);
  };
  timer.schedule(sched, 50);
  pass_at(49);
  EXPECT_EQ(timer.runs, 0);
  pass_at(50);
  EXPECT_EQ(timer.get_due(), 60u);
  pass_at(60);
  pass_at(500);
  EXPECT_EQ(timer.runs, 2);
  EXPECT_FALSE(timer.is_scheduled());
}

TEST_F(SchedulerTest, TimerCancelledInsideItsHandlerIsNotRunAgain) {
  counting_timer<oneshot_realtime_timer> oneshot;
  oneshot.action = [&] {
    oneshot.schedule(sched, 5);
    oneshot.cancel();
  };
  counting_timer<periodic_realtime_timer> periodic;
  periodic.action = [&] { periodic.cancel(); };
  counting_timer<everytick_realtime_timer> everytick;
  everytick.action = [&] { everytick.cancel(); };
  oneshot.schedule(sched, 1);
  periodic.schedule(sched, 1);
  everytick.schedule(sched, 1);
  for (uint64_t t = 1; t < 50; ++t) pass_at(t);
  EXPECT_EQ(oneshot.runs, 1);
  EXPECT_EQ(periodic.runs, 1);
  EXPECT_EQ(everytick.runs, 1);
  EXPECT_FALSE(oneshot.is_scheduled() || periodic.is_scheduled() || everytick.is_scheduled());
}

TEST_F(SchedulerTest, PeriodCountsFromTheReadingBeforeTheRunNotFromItsEnd) {
  probe slow(clock);
  slow.action = [&] { clock.advance(30); };  // takes 30 ms and reads no clock
  sched.schedule_periodic(slow, 100, 100);
  pass_at(100);
  EXPECT_EQ(slow.get_due(), 200u);
  pass_at(199);
  EXPECT_EQ(slow.runs.size(), 1u);
  pass_at(200);
  EXPECT_EQ(slow.runs, (std::vector<uint64_t>{100, 200}));
}

TEST_F(SchedulerTest, PeriodZeroRunsEveryMillisecond) {
  probe fast(clock);
  sched.schedule_periodic(fast, 0, 0);
  EXPECT_EQ(fast.get_period(), 1u);
  for (uint64_t t = 0; t < 5; ++t) pass_at(t);
  EXPECT_EQ(fast.runs, (std::vector<uint64_t>{0, 1, 2, 3, 4}));
}

TEST_F(SchedulerTest, DueEventsRunInDueOrderAndEqualDueTimesInSchedulingOrder) {
  std::vector<int> order;
  std::vector<std::unique_ptr<probe>> events;
  const uint64_t delays[] = {30, 10, 20, 10};
  for (int i = 0; i < 4; ++i) {
    events.push_back(std::make_unique<probe>(clock));
    events.back()->action = [&order, i] { order.push_back(i); };
    sched.schedule_oneshot(*events.back(), delays[i]);
  }
  pass_at(100);
  EXPECT_EQ(order, (std::vector<int>{1, 3, 2, 0}));
}

TEST_F(SchedulerTest, TimersKeepFiringBeyondThirtyTwoBitsOfMilliseconds) {
  clock.counter = uint64_t(50) * 24 * 3600 * 1000;  // 50 days after the clock started
  counting_timer<periodic_realtime_timer> timer;
  timer.schedule(sched, 10);
  for (uint64_t t = 0; t <= 30; ++t) pass_at(clock.counter + 1);
  EXPECT_EQ(timer.runs, 3);
}

TEST_F(SchedulerTest, EverytickRunsAtTheStartOfEveryTickAndOnItsPeriodWithinLongTicks) {
  probe every(clock);
  sched.schedule_everytick(every, 100, 100);
  pass_at(0);
  pass_at(50);
  pass_at(150);  // due at 150, but the every-tick run re-armed it to 250: one run per tick
  EXPECT_EQ(every.runs, (std::vector<uint64_t>{0, 50, 150}));
  EXPECT_EQ(every.get_due(), 250u);

  every.runs.clear();
  sched.tick(350, 1000);  // from 150 to 500: the start, then every 100 ms
  EXPECT_EQ(every.runs, (std::vector<uint64_t>{150, 250, 350, 450}));
}

TEST_F(SchedulerTest, CancelTakesAnEventOutOfEveryPhase) {
  probe every(clock);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  sched.schedule_everytick(every, 10, 10);
  sched.set_trigger(every, fds[0]);
  sched.cancel(every);
  EXPECT_FALSE(every.is_scheduled() || every.is_everytick() || every.has_triggers());
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  for (uint64_t t = 0; t < 50; t += 5) pass_at(t);
  EXPECT_TRUE(every.runs.empty());
  close(fds[0]);
  close(fds[1]);
}

TEST_F(SchedulerTest, ReadableSocketRunsItsEventAndRearmsThePeriod) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  counting_timer<periodic_realtime_timer> reader;
  char byte;
  reader.action = [&] { (void)!read(fds[0], &byte, 1); };
  reader.schedule(sched, 100);
  reader.set_trigger(fds[0]);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  pass_at(40);
  EXPECT_EQ(reader.runs, 1);
  EXPECT_EQ(reader.get_due(), 140u);
  pass_at(41);
  EXPECT_EQ(reader.runs, 1);  // the byte was read: the socket is quiet again

  reader.clear_triggers();
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  pass_at(42);
  EXPECT_EQ(reader.runs, 1);
  pass_at(140);
  EXPECT_EQ(reader.runs, 2);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(SchedulerTest, SocketRunEndsAOneshotButLeavesABareTrigger) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  probe oneshot(clock), bare(clock);
  sched.schedule_oneshot(oneshot, 100);
  sched.set_trigger(oneshot, fds[0]);
  sched.set_trigger(bare, fds[0]);
  pass_at(10);
  EXPECT_EQ(oneshot.runs.size(), 1u);
  EXPECT_EQ(bare.runs.size(), 1u);
  EXPECT_FALSE(oneshot.is_scheduled() || oneshot.has_triggers());
  EXPECT_TRUE(bare.has_triggers());
  pass_at(200);  // the byte is still there
  EXPECT_EQ(oneshot.runs.size(), 1u);
  EXPECT_EQ(bare.runs.size(), 2u);
  close(fds[0]);
  close(fds[1]);
}

TEST_F(SchedulerTest, ZeroDelayRescheduleRunsInTheNextPassNotForeverInThisOne) {
  probe again(clock);
  again.action = [&] { sched.schedule_oneshot(again, 0); };
  sched.schedule_oneshot(again, 0);
  pass_at(0);
  EXPECT_EQ(again.runs.size(), 1u);
  pass_at(0);
  EXPECT_EQ(again.runs.size(), 2u);
}

TEST_F(SchedulerTest, TickWaitsUntilTheLimitRunningWhatFallsDue) {
  probe periodic(clock);
  sched.schedule_periodic(periodic, 30, 30);
  EXPECT_FALSE(sched.tick(100, 1000));
  EXPECT_EQ(periodic.runs, (std::vector<uint64_t>{30, 60, 90}));
  EXPECT_EQ(clock.last_time(), 100u);
  // It waited for each due time, then for the limit.
  EXPECT_EQ(sched.waits, (std::vector<int>{30, 30, 30, 10}));
}

TEST_F(SchedulerTest, TickReportsWhenItsFirstPassUsedUpTheBudget) {
  probe slow(clock);
  slow.action = [&] { clock.advance(20); };
  sched.schedule_periodic(slow, 0, 1000);
  EXPECT_TRUE(sched.tick(0, 10));
  EXPECT_TRUE(sched.waits.empty());
  sched.schedule_periodic(slow, 0, 1000);
  EXPECT_FALSE(sched.tick(0, 5000));
  EXPECT_EQ(sched.get_tick_count(), 2u);
  EXPECT_EQ(sched.get_tick_time(), 40u);
  sched.reset_tick_stats();
  EXPECT_EQ(sched.get_tick_count(), 0u);
  EXPECT_EQ(sched.get_tick_time(), 0u);
}

TEST_F(SchedulerTest, CallsGetTheRemainingBudgetUpToOneSecond) {
  probe every(clock), timed(clock);
  sched.schedule_everytick(every, 1000, 1000);
  sched.schedule_oneshot(timed, 0);
  sched.tick(0, 5000);
  sched.schedule_oneshot(timed, 0);
  sched.tick(0, 300);
  EXPECT_EQ(every.budgets, (std::vector<uint64_t>{1000, 300}));
  EXPECT_EQ(timed.budgets, (std::vector<uint64_t>{1000, 300}));
}

TEST_F(SchedulerTest, TellsWhetherItIsRunningAnEventAndRefusesNestedTicks) {
  probe timed(clock), every(clock);
  bool in_timed = false, in_every = false, everytick_phase_in_timed = true;
  timed.action = [&] {
    in_timed = sched.in_event() && sched.current_event() == &timed;
    everytick_phase_in_timed = sched.in_everytick_phase();
  };
  every.action = [&] {
    in_every = sched.in_event() && sched.in_everytick_phase();
    testing::internal::CaptureStderr();
    EXPECT_FALSE(sched.tick(0, 5000));  // refused: ticks do not nest
    EXPECT_NE(testing::internal::GetCapturedStderr(), "");
  };
  sched.schedule_oneshot(timed, 0);
  sched.schedule_everytick(every, 10, 10);
  pass();
  EXPECT_EQ(timed.runs.size(), 1u);
  EXPECT_TRUE(in_timed);
  EXPECT_TRUE(in_every);
  EXPECT_FALSE(everytick_phase_in_timed);
  EXPECT_FALSE(sched.in_event());
  EXPECT_EQ(sched.current_event(), nullptr);
}

TEST_F(SchedulerTest, EventsMayBeDestroyedWhileScheduledOrDuringCalls) {
  struct self_deleting : oneshot_realtime_timer {
    void on_timer() override { delete this; }
  };
  (new self_deleting)->schedule(sched, 0);
  auto victim = std::make_unique<counting_timer<periodic_realtime_timer>>();
  victim->schedule(sched, 0);
  counting_timer<everytick_realtime_timer> killer;
  killer.action = [&] { victim.reset(); };
  killer.schedule(sched, 100);
  {
    counting_timer<periodic_realtime_timer> gone;
    gone.schedule(sched, 0);
  }
  pass_at(0);
  pass_at(10);
  EXPECT_EQ(victim, nullptr);
  EXPECT_EQ(killer.runs, 2);
}

TEST(SchedulerLifetime, TimersOutliveTheirScheduler) {
  manual_clock clock;
  counting_timer<periodic_realtime_timer> timer;
  {
    scheduler sched(clock);
    timer.schedule(sched, 10);
  }
  EXPECT_FALSE(timer.is_scheduled());
  timer.cancel();
}

TEST(SchedulerRealClock, WaitsOnTheSystemClockUntilTheLimit) {
  millisecond_clock clock;
  scheduler sched(clock);
  counting_timer<periodic_realtime_timer> timer;
  timer.schedule(sched, 5);
  EXPECT_FALSE(sched.tick(40, 1000));
  EXPECT_GE(clock.last_time(), 40u);
  EXPECT_GE(timer.runs, 2);
}

}  // namespace
