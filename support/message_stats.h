// Message statistics: counts and rates of events (messages sent, received, dropped...) per
// named tracker and, within a tracker, per differentiator value (a federate, a class...).
// One message_stats_tracker owns all its trackers and storages and ticks them every 5 s on
// its scheduler; the storages are made on first use.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "brindle_export.h"
#include "pools.h"
#include "timers.h"

namespace brindle {

// The counters of one tracked item. Rates are per second over the last tick's interval.
class stats_storage : public memory_pooled<stats_storage> {
public:
  void note(uint32_t bytes);     // one event of that many bytes
  void tick(double seconds);     // closes the interval of that many seconds
  void clear();

  uint64_t total_events() const { return total_events_; }
  uint64_t total_bytes() const { return total_bytes_; }
  uint64_t ticks() const { return ticks_; }
  double current_event_rate() const { return current_event_rate_; }
  double current_byte_rate() const { return current_byte_rate_; }
  double max_event_rate() const { return max_event_rate_; }
  double max_byte_rate() const { return max_byte_rate_; }
  // Mean and standard deviation of the per-tick rates; 0 before the first tick.
  double average_event_rate() const { return mean(event_rates_); }
  double average_byte_rate() const { return mean(byte_rates_); }
  double sd_event_rate() const { return deviation(event_rates_); }
  double sd_byte_rate() const { return deviation(byte_rates_); }

private:
  struct rate_sums {
    double sum = 0;
    double sum_of_squares = 0;
  };
  double mean(const rate_sums& sums) const;
  double deviation(const rate_sums& sums) const;

  uint64_t events_since_tick_ = 0;
  uint64_t bytes_since_tick_ = 0;
  uint64_t total_events_ = 0;  // including events since the last tick
  uint64_t total_bytes_ = 0;
  double current_event_rate_ = 0;
  double current_byte_rate_ = 0;
  double max_event_rate_ = 0;
  double max_byte_rate_ = 0;
  rate_sums event_rates_;
  rate_sums byte_rates_;
  uint64_t ticks_ = 0;
};

// The orders a tracker's table can be printed in (largest first, except by differentiator).
enum class stats_order {
  differentiator,
  total_count,
  total_bytes,
  current_count_rate,
  current_byte_rate,
  max_count_rate,
  max_byte_rate,
};

// "%d %sps" up to 1000 per second, "%d K%sps" (thousands) up to 1,000,000, "%d M%sps"
// (millions) above; unit is the word after the prefix ("bytes", "msgs").
std::string format_rate(double per_second, const char* unit);
// A count with its thousands separated by commas: 1234567 gives "1,234,567".
std::string format_total(uint64_t count);

class BRINDLE_EXPORT message_stats_tracker : public periodic_realtime_timer {
public:
  static constexpr uint64_t period_ms = 5000;

  // Starts ticking on the scheduler; the tracker must be destroyed before the scheduler.
  explicit message_stats_tracker(scheduler& on);

  // Returns the tracker's number; a name registered before keeps its number and label.
  int register_tracker(const char* name, const char* label);
  int get_tracker(const char* name) const;          // -1 when none has that name
  // How the tracker's table names a differentiator (its decimal value when none is set).
  void set_differentiator_names(int tracker, std::function<std::string(uint32_t)> namer);
  const char* get_tracker_name(int tracker) const;  // null for a bad number

  // Counts one event of bytes for the differentiator; a bad tracker number is reported.
  void note_event(int tracker, uint32_t differentiator, uint32_t bytes);
  uint64_t get_total_count(int tracker) const;  // 0 for a bad number
  uint64_t get_total_bytes(int tracker) const;
  // Each differentiator the tracker counted, named as its table names it, with its total count,
  // in differentiator order; empty for a bad number.
  std::vector<std::pair<std::string, uint64_t>> get_counts(int tracker) const;
  // Zeroes every storage; trackers stay registered.
  void clear_all();

  // One tracker's table: a row per differentiator in the order asked for, then the total.
  void print(int tracker, stats_order order, FILE* stream = stdout) const;
  // Per tracker, its rates and totals over all differentiators.
  void print_summary(FILE* stream = stdout) const;
  // Per tracker, the events and bytes of the last interval and in total.
  void print_info(FILE* stream = stdout) const;

protected:
  void on_timer() override;

private:
  struct tracker {
    std::string name;
    std::string label;  // what the differentiator is ("federate", "class"...)
    std::function<std::string(uint32_t)> namer;
    std::map<uint32_t, std::unique_ptr<stats_storage>> items;
    stats_storage all;  // every event of the tracker
  };

  const tracker* find(int number) const;

  scheduler& scheduler_;
  std::vector<std::unique_ptr<tracker>> trackers_;
  uint64_t last_tick_ms_;
  double last_interval_s_ = 0;
};

}  // namespace brindle
