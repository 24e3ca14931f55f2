// The reliable service under packet loss: three stream managers on loopback multicast, each
// losing a seeded share of the packets it sends (data, notices, NACKs, ACKs, resends alike),
// and one sender sending 2,000 messages. Every receiver must deliver all of them exactly once
// and in order; a sequence may be missing only where its trace shows that it was given up
// (a sorry, or the NACK attempts running out).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "messages/message_reliable.h"
#include "message_test_node.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

enum port_index : uint16_t { loss_10_port = 60, loss_30_port };

constexpr int data_stream = 10;
constexpr uint32_t message_count = 2000;

using rel_node = message_node<message_reliable>;

// Sequences a receiver's trace says it passed over: "REL sorry <stream>/<q>" and
// "REL giveup <sender>/<q>".
std::set<uint32_t> given_up(rel_node& node) {
  std::set<uint32_t> sequences;
  for (const char* prefix : {"REL sorry ", "REL giveup "}) {
    for (const std::string& line : node.trace_lines(prefix)) {
      sequences.insert(static_cast<uint32_t>(std::stoul(line.substr(line.rfind('/') + 1))));
    }
  }
  return sequences;
}

// The main run's payloads are "m<i>"; warm-up messages are "w".
void expect_complete(rel_node& receiver, uint32_t first_sequence, const char* name) {
  const std::set<uint32_t> skipped = given_up(receiver);
  std::vector<uint32_t> got;
  for (const delivered_message& m : receiver.messages()) {
    if (m.payload[0] == 'm') got.push_back(static_cast<uint32_t>(std::stoul(m.payload.substr(1))));
  }
  uint32_t expected = 0;
  for (uint32_t i : got) {
    while (expected < i && skipped.count(first_sequence + expected)) ++expected;
    ASSERT_EQ(i, expected) << name << ": delivered out of order, twice, or with an unexplained gap";
    ++expected;
  }
  while (expected < message_count && skipped.count(first_sequence + expected)) ++expected;
  EXPECT_EQ(expected, message_count) << name << ": the tail is missing";
  std::printf("%s: %zu delivered, %zu given up, %llu NACKs sent\n", name, got.size(), skipped.size(),
              static_cast<unsigned long long>(receiver.service->get_counters().nacks_sent));
}

void run_under_loss(uint16_t port, double loss, const reliable_settings& settings, int timeout_ms) {
  rel_node a(rid_on_port(port, loss, 11), "rel_message", settings);
  rel_node b(rid_on_port(port, loss, 22), "rel_message", settings);
  rel_node c(rid_on_port(port, loss, 33), "rel_message", settings);
  for (rel_node* n : {&a, &b, &c}) n->manager().join(data_stream);
  const federate_identifier& sender = a.service->get_identifier();

  // A receiver starts with the first message it hears; warm up until both have heard one, so
  // that the whole main run is owed to them.
  uint32_t warmups = 0;
  while (!(b.service->last_delivered(sender) && c.service->last_delivered(sender))) {
    ASSERT_LT(warmups, 200u) << "no warm-up message got through";
    a.send(data_stream, "w");
    ++warmups;
    run_until([] { return false; }, 50, a, b, c);
  }
  const uint32_t first = warmups;
  const uint32_t last = first + message_count - 1;

  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < message_count; ++i) {
    char text[16];
    std::snprintf(text, sizeof text, "m%u", i);
    a.send(data_stream, text);
    if (i % 20 == 19) run_until([] { return false; }, 4, a, b, c);
  }
  auto done = [&] {
    return b.service->last_delivered(sender) == last && c.service->last_delivered(sender) == last;
  };
  const bool finished = run_until(done, timeout_ms, a, b, c);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("loss %.0f%%: all delivered after %.1f s; sender resent %llu, sorry %llu\n", loss * 100, seconds,
              static_cast<unsigned long long>(a.service->get_counters().data_sent - first - message_count),
              static_cast<unsigned long long>(a.service->get_counters().sorries_sent));
  ASSERT_TRUE(finished) << "receivers at " << b.service->last_delivered(sender).value_or(0) << " and "
                        << c.service->last_delivered(sender).value_or(0) << " of " << last;
  expect_complete(b, first, "b");
  expect_complete(c, first, "c");
  EXPECT_GT(b.service->get_counters().nacks_sent + c.service->get_counters().nacks_sent, 0u)
      << "nothing was lost: the loss stage is not working";
}

TEST(MessageReliableLoss, TenPercentAtTheRealConstants) {
  run_under_loss(test_port(port_block::message_reliable_loss_test, loss_10_port), 0.10, reliable_settings(), 200000);
}

// At 30% a message may need many NACK rounds; the times are scaled to a quarter so that the
// test does not take minutes. The protocol's rules are the same.
TEST(MessageReliableLoss, ThirtyPercentAtAQuarterOfTheTimes) {
  run_under_loss(test_port(port_block::message_reliable_loss_test, loss_30_port), 0.30, reliable_settings().scaled(0.25),
                 200000);
}

}  // namespace
