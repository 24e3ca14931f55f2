// Test bed for code on a scheduler: a clock whose counter the test moves, and a scheduler
// whose waits move that clock instead of sleeping, so that timing is exact and instant.
#pragma once

#include <poll.h>

#include <cstdint>
#include <vector>

#include "millisecond_clock.h"
#include "scheduler.h"

class manual_clock : public brindle::millisecond_clock {
public:
  explicit manual_clock(uint64_t start = 0) : brindle::millisecond_clock(start), counter(start) {}
  void advance(uint64_t ms) { counter += ms; }

  uint64_t counter;

protected:
  uint64_t read_counter() override { return counter; }
};

class manual_scheduler : public brindle::scheduler {
public:
  explicit manual_scheduler(manual_clock& clock) : brindle::scheduler(clock), clock_(clock) {}

  std::vector<int> waits;  // the time-out of every wait, in order

protected:
  int wait(std::vector<pollfd>& sockets, int timeout_ms) override {
    waits.push_back(timeout_ms);
    int ready = sockets.empty() ? 0 : poll(sockets.data(), sockets.size(), 0);
    if (ready == 0) clock_.advance(uint64_t(timeout_ms));
    return ready;
  }

private:
  manual_clock& clock_;
};
