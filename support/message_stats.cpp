#include "message_stats.h"

#include <algorithm>
#include <cmath>

#include "diagnostic.h"
#include "millisecond_clock.h"

namespace brindle {

// ---------------------------------------------------------------------------------------------
// stats_storage

void stats_storage::note(uint32_t bytes) {
  ++events_since_tick_;
  bytes_since_tick_ += bytes;
  ++total_events_;
  total_bytes_ += bytes;
}

void stats_storage::tick(double seconds) {
  if (seconds <= 0) return;
  current_event_rate_ = static_cast<double>(events_since_tick_) / seconds;
  current_byte_rate_ = static_cast<double>(bytes_since_tick_) / seconds;
  max_event_rate_ = std::max(max_event_rate_, current_event_rate_);
  max_byte_rate_ = std::max(max_byte_rate_, current_byte_rate_);
  event_rates_.sum += current_event_rate_;
  event_rates_.sum_of_squares += current_event_rate_ * current_event_rate_;
  byte_rates_.sum += current_byte_rate_;
  byte_rates_.sum_of_squares += current_byte_rate_ * current_byte_rate_;
  ++ticks_;
  events_since_tick_ = 0;
  bytes_since_tick_ = 0;
}

void stats_storage::clear() { *this = stats_storage(); }

double stats_storage::mean(const rate_sums& sums) const {
  return ticks_ ? sums.sum / static_cast<double>(ticks_) : 0;
}

double stats_storage::deviation(const rate_sums& sums) const {
  if (!ticks_) return 0;
  const double m = mean(sums);
  // Rounding can leave the variance of equal rates a hair below zero.
  return std::sqrt(std::max(0.0, sums.sum_of_squares / static_cast<double>(ticks_) - m * m));
}

// ---------------------------------------------------------------------------------------------
// Formatting

std::string format_rate(double per_second, const char* unit) {
  char text[64];
  if (per_second <= 1000)
    std::snprintf(text, sizeof text, "%d %sps", static_cast<int>(per_second), unit);
  else if (per_second <= 1000000)
    std::snprintf(text, sizeof text, "%d K%sps", static_cast<int>(per_second / 1000), unit);
  else
    std::snprintf(text, sizeof text, "%d M%sps", static_cast<int>(std::min(per_second / 1000000, 2e9)), unit);
  return text;
}

std::string format_total(uint64_t count) {
  if (count < 1000) return std::to_string(count);
  char group[8];
  std::snprintf(group, sizeof group, ",%03u", static_cast<unsigned>(count % 1000));
  return format_total(count / 1000) + group;
}

// ---------------------------------------------------------------------------------------------
// message_stats_tracker

namespace {

const char* const diagnostic_tag = "message_stats_tracker";
const char* const bytes_unit = "bytes";
const char* const events_unit = "msgs";

void print_rate_line(FILE* stream, const stats_storage& s, bool bytes) {
  const char* unit = bytes ? bytes_unit : events_unit;
  const auto rate = [&](double value) { return format_rate(value, unit); };
  std::fprintf(stream, "  cur %s  avg %s  max %s  sd %s   tot %s %s\n\n",
               rate(bytes ? s.current_byte_rate() : s.current_event_rate()).c_str(),
               rate(bytes ? s.average_byte_rate() : s.average_event_rate()).c_str(),
               rate(bytes ? s.max_byte_rate() : s.max_event_rate()).c_str(),
               rate(bytes ? s.sd_byte_rate() : s.sd_event_rate()).c_str(),
               format_total(bytes ? s.total_bytes() : s.total_events()).c_str(), unit);
}

void print_row(FILE* stream, const std::string& first, const stats_storage& s) {
  std::fprintf(stream, "  %-12s %14s %14s %16s %16s %14s %16s\n", first.c_str(),
               format_rate(s.current_event_rate(), events_unit).c_str(),
               format_rate(s.max_event_rate(), events_unit).c_str(),
               format_rate(s.current_byte_rate(), bytes_unit).c_str(),
               format_rate(s.max_byte_rate(), bytes_unit).c_str(), format_total(s.total_events()).c_str(),
               format_total(s.total_bytes()).c_str());
}

// The value a table is sorted by; rows with larger values come first.
double sort_value(const stats_storage& s, stats_order order) {
  switch (order) {
    case stats_order::total_count: return static_cast<double>(s.total_events());
    case stats_order::total_bytes: return static_cast<double>(s.total_bytes());
    case stats_order::current_count_rate: return s.current_event_rate();
    case stats_order::current_byte_rate: return s.current_byte_rate();
    case stats_order::max_count_rate: return s.max_event_rate();
    case stats_order::max_byte_rate: return s.max_byte_rate();
    case stats_order::differentiator: break;
  }
  return 0;
}

}  // namespace

message_stats_tracker::message_stats_tracker(scheduler& on)
    : scheduler_(on), last_tick_ms_(on.get_clock().time()) {
  schedule(on, period_ms);
}

int message_stats_tracker::register_tracker(const char* name, const char* label) {
  const int existing = get_tracker(name);
  if (existing >= 0) return existing;
  auto t = std::make_unique<tracker>();
  t->name = name ? name : "";
  t->label = label ? label : "";
  trackers_.push_back(std::move(t));
  return static_cast<int>(trackers_.size() - 1);
}

int message_stats_tracker::get_tracker(const char* name) const {
  if (!name) return -1;
  for (size_t i = 0; i < trackers_.size(); ++i)
    if (trackers_[i]->name == name) return static_cast<int>(i);
  return -1;
}

const message_stats_tracker::tracker* message_stats_tracker::find(int number) const {
  if (number < 0 || static_cast<size_t>(number) >= trackers_.size()) return nullptr;
  return trackers_[static_cast<size_t>(number)].get();
}

const char* message_stats_tracker::get_tracker_name(int number) const {
  const tracker* t = find(number);
  return t ? t->name.c_str() : nullptr;
}

void message_stats_tracker::note_event(int number, uint32_t differentiator, uint32_t bytes) {
  if (!find(number)) {
    diagnostic(diagnostic_tag, "no tracker number %d", number);
    return;
  }
  tracker& t = *trackers_[static_cast<size_t>(number)];
  auto& item = t.items[differentiator];
  if (!item) item = std::make_unique<stats_storage>();
  item->note(bytes);
  t.all.note(bytes);
}

uint64_t message_stats_tracker::get_total_count(int number) const {
  const tracker* t = find(number);
  return t ? t->all.total_events() : 0;
}

uint64_t message_stats_tracker::get_total_bytes(int number) const {
  const tracker* t = find(number);
  return t ? t->all.total_bytes() : 0;
}

void message_stats_tracker::clear_all() {
  for (auto& t : trackers_) {
    t->all.clear();
    for (auto& item : t->items) item.second->clear();
  }
}

void message_stats_tracker::on_timer() {
  const uint64_t now = scheduler_.get_clock().time();
  if (now <= last_tick_ms_) return;
  last_interval_s_ = static_cast<double>(now - last_tick_ms_) / 1000;
  last_tick_ms_ = now;
  for (auto& t : trackers_) {
    t->all.tick(last_interval_s_);
    for (auto& item : t->items) item.second->tick(last_interval_s_);
  }
}

void message_stats_tracker::set_differentiator_names(int number, std::function<std::string(uint32_t)> namer) {
  if (find(number)) trackers_[static_cast<size_t>(number)]->namer = std::move(namer);
}

std::vector<std::pair<std::string, uint64_t>> message_stats_tracker::get_counts(int number) const {
  std::vector<std::pair<std::string, uint64_t>> counts;
  if (const tracker* t = find(number))
    for (const auto& [differentiator, storage] : t->items)
      counts.emplace_back(t->namer ? t->namer(differentiator) : std::to_string(differentiator), storage->total_events());
  return counts;
}

void message_stats_tracker::print(int number, stats_order order, FILE* stream) const {
  const tracker* t = find(number);
  if (!t) {
    std::fprintf(stream, "message_stats_tracker: no tracker number %d\n", number);
    return;
  }
  using row = std::pair<uint32_t, const stats_storage*>;
  std::vector<row> rows;
  for (const auto& item : t->items) rows.emplace_back(item.first, item.second.get());
  if (order != stats_order::differentiator)
    std::stable_sort(rows.begin(), rows.end(), [order](const row& a, const row& b) {
      return sort_value(*a.second, order) > sort_value(*b.second, order);
    });
  std::fprintf(stream, "%s by %s:\n", t->name.c_str(), t->label.c_str());
  std::fprintf(stream, "  %-12s %14s %14s %16s %16s %14s %16s\n", t->label.c_str(), "cur msgs", "max msgs",
               "cur bytes", "max bytes", "tot msgs", "tot bytes");
  for (const row& r : rows) print_row(stream, t->namer ? t->namer(r.first) : std::to_string(r.first), *r.second);
  print_row(stream, "Total", t->all);
}

void message_stats_tracker::print_summary(FILE* stream) const {
  for (const auto& t : trackers_) {
    std::fprintf(stream, "%s:\n", t->name.c_str());
    print_rate_line(stream, t->all, true);
    print_rate_line(stream, t->all, false);
  }
}

void message_stats_tracker::print_info(FILE* stream) const {
  std::fprintf(stream, "In the last %.0f seconds:\n", last_interval_s_);
  for (const auto& t : trackers_)
    std::fprintf(stream, "  %-24s %14s msgs %16s bytes\n", t->name.c_str(),
                 format_total(static_cast<uint64_t>(std::llround(t->all.current_event_rate() * last_interval_s_))).c_str(),
                 format_total(static_cast<uint64_t>(std::llround(t->all.current_byte_rate() * last_interval_s_))).c_str());
  std::fprintf(stream, "Total\n");
  for (const auto& t : trackers_)
    std::fprintf(stream, "  %-24s %14s msgs %16s bytes\n", t->name.c_str(), format_total(t->all.total_events()).c_str(),
                 format_total(t->all.total_bytes()).c_str());
}

}  // namespace brindle
