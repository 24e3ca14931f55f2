#include "message_stats.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "millisecond_clock.h"
#include "scheduler.h"

using namespace brindle;

namespace {

// A clock that moves only when the test says so.
class manual_clock : public millisecond_clock {
public:
  manual_clock() : millisecond_clock(0) {}
  uint64_t now = 0;

protected:
  uint64_t read_counter() override { return now; }
};

// Captures what a print function writes to its stream.
template <typename print_type>
std::string printed(print_type print) {
  char* text = nullptr;
  size_t length = 0;
  FILE* stream = open_memstream(&text, &length);
  print(stream);
  std::fclose(stream);
  std::string result(text, length);
  std::free(text);
  return result;
}

class MessageStats : public testing::Test {
protected:
  // Moves the clock on and lets the scheduler run what is due, without waiting.
  void advance(uint64_t ms) {
    clock.now += ms;
    sched.tick(0, 0);
  }

  manual_clock clock;
  scheduler sched{clock};
  message_stats_tracker stats{sched};
};

TEST(StatsFormat, RatesScaleByThousands) {
  EXPECT_EQ(format_rate(2500, "bytes"), "2 Kbytesps");
  EXPECT_EQ(format_rate(0, "msgs"), "0 msgsps");
  EXPECT_EQ(format_rate(999.9, "msgs"), "999 msgsps");
  EXPECT_EQ(format_rate(1000, "msgs"), "1000 msgsps");
  EXPECT_EQ(format_rate(1001, "msgs"), "1 Kmsgsps");
  EXPECT_EQ(format_rate(1000000, "bytes"), "1000 Kbytesps");
  EXPECT_EQ(format_rate(2500000, "bytes"), "2 Mbytesps");
}

TEST(StatsFormat, TotalsGroupThousands) {
  EXPECT_EQ(format_total(0), "0");
  EXPECT_EQ(format_total(999), "999");
  EXPECT_EQ(format_total(1000), "1,000");
  EXPECT_EQ(format_total(1234567), "1,234,567");
  EXPECT_EQ(format_total(1000005), "1,000,005");
  EXPECT_EQ(format_total(18446744073709551615u), "18,446,744,073,709,551,615");
}

TEST(StatsStorage, RatesAveragesAndDeviation) {
  stats_storage s;
  for (int i = 0; i < 30; ++i) s.note(100);
  s.tick(10);  // 3 events/s, 300 bytes/s
  s.tick(10);  // nothing
  EXPECT_EQ(s.total_events(), 30u);
  EXPECT_EQ(s.total_bytes(), 3000u);
  EXPECT_EQ(s.ticks(), 2u);
  EXPECT_DOUBLE_EQ(s.current_event_rate(), 0);
  EXPECT_DOUBLE_EQ(s.max_event_rate(), 3);
  EXPECT_DOUBLE_EQ(s.max_byte_rate(), 300);
  EXPECT_DOUBLE_EQ(s.average_byte_rate(), 150);
  EXPECT_DOUBLE_EQ(s.sd_byte_rate(), 150);
  s.tick(0);  // an empty interval changes nothing
  EXPECT_EQ(s.ticks(), 2u);
  s.clear();
  EXPECT_EQ(s.total_bytes(), 0u);
  EXPECT_DOUBLE_EQ(s.max_byte_rate(), 0);
}

TEST(StatsStorage, ComesFromThePools) {
  const size_t before = pools::bytes_in_use();
  auto* s = new stats_storage;
  EXPECT_GE(pools::bytes_in_use(), before + sizeof(stats_storage));
  delete s;
  EXPECT_EQ(pools::bytes_in_use(), before);
}

TEST_F(MessageStats, TrackersAreNamedAndNumbered) {
  const int sent = stats.register_tracker("sent", "federate");
  const int received = stats.register_tracker("received", "class");
  EXPECT_NE(sent, received);
  EXPECT_EQ(stats.register_tracker("sent", "other"), sent);
  EXPECT_EQ(stats.get_tracker("received"), received);
  EXPECT_EQ(stats.get_tracker("missing"), -1);
  EXPECT_STREQ(stats.get_tracker_name(sent), "sent");
  EXPECT_EQ(stats.get_tracker_name(7), nullptr);
  EXPECT_EQ(stats.get_tracker_name(-1), nullptr);
}

TEST_F(MessageStats, EventsCountPerTrackerAcrossDifferentiators) {
  const int sent = stats.register_tracker("sent", "federate");
  const int dropped = stats.register_tracker("dropped", "federate");
  stats.note_event(sent, 1, 100);
  stats.note_event(sent, 2, 50);
  stats.note_event(sent, 1, 10);
  stats.note_event(dropped, 1, 5);
  EXPECT_EQ(stats.get_total_count(sent), 3u);
  EXPECT_EQ(stats.get_total_bytes(sent), 160u);
  EXPECT_EQ(stats.get_total_count(dropped), 1u);
  EXPECT_EQ(stats.get_total_count(9), 0u);
  using counts = std::vector<std::pair<std::string, uint64_t>>;
  EXPECT_EQ(stats.get_counts(sent), (counts{{"1", 2}, {"2", 1}}));
  stats.set_differentiator_names(sent, [](uint32_t d) { return std::string("fed").append(std::to_string(d)); });
  EXPECT_EQ(stats.get_counts(sent), (counts{{"fed1", 2}, {"fed2", 1}}));
  EXPECT_TRUE(stats.get_counts(9).empty());

  testing::internal::CaptureStderr();
  stats.note_event(9, 1, 1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("message_stats_tracker:"), std::string::npos);

  stats.clear_all();
  EXPECT_EQ(stats.get_total_bytes(sent), 0u);
  EXPECT_EQ(stats.get_tracker("dropped"), dropped);
}

TEST_F(MessageStats, TicksEveryFiveSecondsIntoRates) {
  const int sent = stats.register_tracker("sent", "federate");
  for (int i = 0; i < 10; ++i) stats.note_event(sent, 3, 1000);
  advance(4999);
  EXPECT_EQ(printed([&](FILE* f) { stats.print_summary(f); }),
            "sent:\n"
            "  cur 0 bytesps  avg 0 bytesps  max 0 bytesps  sd 0 bytesps   tot 10,000 bytes\n\n"
            "  cur 0 msgsps  avg 0 msgsps  max 0 msgsps  sd 0 msgsps   tot 10 msgs\n\n");
  advance(1);  // 10 events and 10,000 bytes in 5 s
  advance(5000);  // nothing in the next 5 s
  EXPECT_EQ(printed([&](FILE* f) { stats.print_summary(f); }),
            "sent:\n"
            "  cur 0 bytesps  avg 1000 bytesps  max 2 Kbytesps  sd 1000 bytesps   tot 10,000 bytes\n\n"
            "  cur 0 msgsps  avg 1 msgsps  max 2 msgsps  sd 1 msgsps   tot 10 msgs\n\n");
  const std::string info = printed([&](FILE* f) { stats.print_info(f); });
  EXPECT_NE(info.find("In the last 5 seconds:\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Total\n"), std::string::npos) << info;
}

TEST_F(MessageStats, TablesSortAsAsked) {
  const int sent = stats.register_tracker("sent", "federate");
  stats.note_event(sent, 1, 10);
  stats.note_event(sent, 2, 5000);
  for (int i = 0; i < 3; ++i) stats.note_event(sent, 3, 1);
  const auto row_order = [&](stats_order order) {
    const std::string table = printed([&](FILE* f) { stats.print(sent, order, f); });
    std::string order_seen;
    for (size_t at = table.find("\n  "); at != std::string::npos; at = table.find("\n  ", at + 1)) {
      const char c = table[table.find_first_not_of(' ', at + 1)];
      if (c >= '1' && c <= '3') order_seen += c;
    }
    return order_seen;
  };
  EXPECT_EQ(row_order(stats_order::differentiator), "123");
  EXPECT_EQ(row_order(stats_order::total_count), "312");
  EXPECT_EQ(row_order(stats_order::total_bytes), "213");
  const std::string table = printed([&](FILE* f) { stats.print(sent, stats_order::total_bytes, f); });
  EXPECT_NE(table.find("sent by federate:"), std::string::npos) << table;
  EXPECT_NE(table.find("5,013"), std::string::npos) << table;  // the total row
}

}  // namespace
