// Ping on a stepped clock: a run's statistics lines, periods raised to a second, duplicate and
// stray replies not counted, the answer rate and the responder table bounded, and the guards
// of the loss and round-trip figures.
#include "console/ping.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/ping_console_reporter.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace varnel;

namespace {

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A reporter that writes into a string.
class captured_reporter {
public:
  explicit captured_reporter(ping& service)
      : file_(open_memstream(&buffer_, &size_)), reporter_(service, [](unsigned h) { return "f" + std::to_string(h); }, file_) {}
  ~captured_reporter() {
    std::fclose(file_);
    std::free(buffer_);
  }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  FILE* file_;
  ping_console_reporter reporter_;
};

void deliver(stepped_federation& f, ping& to, const ping_message& message) {
  brindle::ldm_buf* buffer = f.received([&](brindle::ldm_buf& b) { message.write(b); });
  to.receive(ping::reply_stream, ping::priority, buffer);
  buffer->release_buf();
}

}  // namespace

TEST(Ping, ARunReportsEachResponderOnceEvenWhenRepliesRepeat) {
  stepped_federation f(test_port(port_block::ping_test, 0));
  test_ldm& a = f.join("alpha");
  test_ldm& b = f.join("bravo");
  ping& pinger = *a.get_ping();
  captured_reporter report(pinger);
  const unsigned me = a.get_federate_id();
  const unsigned other = b.get_federate_id();

  pinger.start(ping::reply_stream, 0, 3, 10);  // a period of 10 ms becomes a second
  ASSERT_TRUE(f.tick_until([&] { return pinger.statistics().responders.count(other) > 0; }, 500));
  const uint64_t first = f.clock.counter;
  // Duplicates of a counted reply, and a reply to a sequence never sent, count for nothing.
  for (uint32_t sequence : {0u, 0u, 7u}) deliver(f, pinger, {ping_kind::reply, 0, me, other, ping::reply_stream, sequence, 0});
  ASSERT_TRUE(f.tick_until([&] { return pinger.statistics().sent == 2; }, 1500));
  EXPECT_GE(f.clock.counter - first, 900u);
  ASSERT_TRUE(f.tick_until([&] { return !pinger.is_pinging(); }, 3000));

  const std::string text = report.text();
  EXPECT_TRUE(has(text, "Ping statistics:  2 federates responded.")) << text;  // bravo, and alpha itself
  EXPECT_TRUE(has(text, "--- " + std::to_string(other) + " (f" + std::to_string(other) + ") ping statistics ---")) << text;
  EXPECT_TRUE(has(text, "3 packets transmitted, 3 received, 0% packet loss")) << text;
  EXPECT_TRUE(has(text, "PING from " + std::to_string(other))) << text;
  EXPECT_EQ(pinger.get_counters().replies_ignored, 3u);
}

TEST(Ping, AnswersAndRespondersAreBoundedAndFiguresGuarded) {
  stepped_federation f(test_port(port_block::ping_test, 1));
  test_ldm& a = f.join("alpha");
  ping& responder = *a.get_ping();
  // Requests to everyone from a flood of requesters: fifty answers a second at most.
  for (uint32_t i = 0; i < 80; ++i) deliver(f, responder, {ping_kind::request, 0, 1000 + i, 0, 2, i, 0});
  EXPECT_EQ(responder.get_counters().answered, ping::max_answers_per_second);
  EXPECT_EQ(responder.get_counters().not_answered, 80u - ping::max_answers_per_second);

  // A stream nobody else is on: replies from more federates than the table holds.
  responder.start(77, 0, 1, 1000);
  const unsigned me = a.get_federate_id();
  for (unsigned r = 1; r <= ping::max_responders + 10; ++r) deliver(f, responder, {ping_kind::reply, 0, me, r, 77, 0, 0});
  EXPECT_EQ(responder.statistics().responders.size(), ping::max_responders);
  responder.stop();

  EXPECT_EQ(ping_statistics::loss_percent(3, 5), 0u);
  EXPECT_EQ(ping_statistics::loss_percent(3, 1), 66u);
  EXPECT_EQ(ping_statistics::loss_percent(0, 0), 0u);
  const ping_responder silent;
  EXPECT_EQ(silent.average_ms(), 0.0);
  EXPECT_EQ(silent.deviation_ms(), 0.0);
}
