// What the two-process benchmarks share: running the responder in a child process, and the
// figures they report (one-way latencies as median and 99th percentile with the count
// delivered, and delivered throughput).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

struct latency {
  double median_us = 0, p99_us = 0;
  int delivered = 0;
};

struct throughput {
  double messages_per_s = 0;
  uint32_t delivered = 0;
};

inline latency summarise(std::vector<double> one_way_us) {
  latency result;
  result.delivered = static_cast<int>(one_way_us.size());
  if (one_way_us.empty()) return result;
  std::sort(one_way_us.begin(), one_way_us.end());
  result.median_us = one_way_us[one_way_us.size() / 2];
  result.p99_us = one_way_us[std::min(one_way_us.size() - 1, one_way_us.size() * 99 / 100)];
  return result;
}

// Runs responder in a child process and measure in this one; the child is always reaped.
template <typename Result>
Result with_responder(const std::function<void()>& responder, const std::function<Result()>& measure) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    responder();
    _exit(0);
  }
  Result result = child > 0 ? measure() : Result{};
  if (child > 0) waitpid(child, nullptr, 0);
  return result;
}
