// The reliable service under packet loss: stream managers on loopback multicast, each losing a
// seeded share of the packets it sends (data, notices, NACKs, ACKs, resends alike). The nodes
// run on stepped clocks, so the time limits below are the protocol's own time and hold however
// slowly a loaded machine runs the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "messages/message_reliable.h"
#include "message_test_node.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

enum port_index : uint16_t { loss_10_port = 60, loss_30_port, unjoined_streams_port };

constexpr int data_stream = 10;
constexpr uint64_t step_ms = 10;

using rel_node = message_node<message_reliable, stepped_clock>;

// Moves every node's clock step_ms at a time and ticks each node, until done() holds or limit_ms
// have passed; returns done()'s last value. A short real pause after each step lets the kernel
// hand the step's loopback packets to the receivers' sockets, so that a busy machine delays
// them by a step now and then rather than by many.
bool run_stepped(std::initializer_list<rel_node*> nodes, uint64_t limit_ms, const std::function<bool()>& done,
                 const std::function<void()>& each_step = [] {}) {
  for (uint64_t t = 0; t < limit_ms && !done(); t += step_ms) {
    for (rel_node* n : nodes) n->clock().advance(step_ms);
    for (rel_node* n : nodes) n->tick();
    each_step();
    std::this_thread::sleep_for(std::chrono::microseconds(300));
  }
  return done();
}

uint64_t now(rel_node& node) { return node.clock().time(); }

// The payload of message i of a run.
std::string payload(uint32_t i) {
  char text[16];
  std::snprintf(text, sizeof text, "m%u", i);
  return text;
}

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

// The main run's payloads are "m<i>"; warm-up messages are "w". Every message of the run is
// delivered once and in order, except those the trace shows given up; returns how many were.
size_t check_delivery(rel_node& receiver, uint32_t first_sequence, uint32_t count, const char* name) {
  const std::set<uint32_t> skipped = given_up(receiver);
  std::vector<uint32_t> got;
  for (const delivered_message& m : receiver.messages()) {
    if (m.payload[0] == 'm') got.push_back(static_cast<uint32_t>(std::stoul(m.payload.substr(1))));
  }
  uint32_t expected = 0;
  for (uint32_t i : got) {
    while (expected < i && skipped.count(first_sequence + expected)) ++expected;
    EXPECT_EQ(i, expected) << name << ": delivered out of order, twice, or with an unexplained gap";
    if (i != expected) return count;
    ++expected;
  }
  while (expected < count && skipped.count(first_sequence + expected)) ++expected;
  EXPECT_EQ(expected, count) << name << ": the tail is missing";
  std::printf("%s: %zu delivered, %zu given up, %llu NACKs sent\n", name, got.size(), count - got.size(),
              static_cast<unsigned long long>(receiver.service->get_counters().nacks_sent));
  return count - got.size();
}

// One sender, two receivers, 2,000 messages sent 20 per step. Every receiver must have all of
// them, delivered or given up, within limit_ms of the last send, and give up at most
// max_given_up.
void run_under_loss(uint16_t port, double loss, const reliable_settings& settings, uint64_t limit_ms,
                    size_t max_given_up) {
  constexpr uint32_t message_count = 2000;
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
    run_stepped({&a, &b, &c}, 50, [] { return false; });
  }
  const uint32_t first = warmups;
  const uint32_t last = first + message_count - 1;

  for (uint32_t i = 0; i < message_count; ++i) {
    a.send(data_stream, payload(i));
    if (i % 20 == 19) run_stepped({&a, &b, &c}, step_ms, [] { return false; });
  }
  const uint64_t sent = now(a);
  const bool finished = run_stepped({&a, &b, &c}, limit_ms, [&] {
    return b.service->last_delivered(sender) == last && c.service->last_delivered(sender) == last;
  });
  std::printf("loss %.0f%%: %s %.1f s after the last send; sender resent %llu, sorry %llu\n", loss * 100,
              finished ? "all passed" : "stopped", (now(a) - sent) / 1000.0,
              static_cast<unsigned long long>(a.service->get_counters().data_sent - first - message_count),
              static_cast<unsigned long long>(a.service->get_counters().sorries_sent));
  ASSERT_TRUE(finished) << "receivers at " << b.service->last_delivered(sender).value_or(0) << " and "
                        << c.service->last_delivered(sender).value_or(0) << " of " << last << " after "
                        << limit_ms / 1000 << " s";
  EXPECT_LE(check_delivery(b, first, message_count, "b"), max_given_up);
  EXPECT_LE(check_delivery(c, first, message_count, "c"), max_given_up);
  EXPECT_GT(b.service->get_counters().nacks_sent + c.service->get_counters().nacks_sent, 0u)
      << "nothing was lost: the loss stage is not working";
}

// A lost message needs a NACK and its resend to get through, 81% a round; a round takes about
// three seconds, and giving up takes 25 rounds (about a minute). Nothing is given up, and the
// last gap closes well before any could be.
TEST(MessageReliableLoss, TenPercentAtTheRealConstantsLosesNothing) {
  run_under_loss(test_port(port_block::message_reliable_loss_test, loss_10_port), 0.10, reliable_settings(), 30000,
                 0);
}

// At 30% a round succeeds at least half the time, and the times are scaled to a quarter (a round
// of about 0.75 s, giving up after about 15 s). A message is given up only when 25 rounds fail
// or its sender has released it before a receiver that never got an ACK through: at most 1%.
// Every gap is closed or given up within about 16 s of the last send.
TEST(MessageReliableLoss, ThirtyPercentAtAQuarterOfTheTimesGivesUpLittle) {
  run_under_loss(test_port(port_block::message_reliable_loss_test, loss_30_port), 0.30,
                 reliable_settings().scaled(0.25), 20000, 20);
}

// Three federates each send on streams 10, 11 and 12 in turn, and each has joined only two of
// them, so a third of what every sender sends reaches each receiver as a sequence notice alone.
// At 20% loss many of those notices are lost, and the receiver learns of the sequence only
// from what follows it; the answer to its NACK must reach it although it has not joined the
// data's stream. With the times at a tenth (a NACK round of about 0.3 s, giving up after about
// 6 s) no sender's message waits more than 5 s at any receiver.
TEST(MessageReliableLoss, MessagesOnStreamsAReceiverHasNotJoinedHoldNothingUp) {
  constexpr uint32_t per_sender = 150;
  constexpr uint64_t longest_wait_ms = 5000;
  const uint16_t port = test_port(port_block::message_reliable_loss_test, unjoined_streams_port);
  const reliable_settings settings = reliable_settings().scaled(0.1);
  rel_node a(rid_on_port(port, 0.2, 11), "rel_message", settings);
  rel_node b(rid_on_port(port, 0.2, 22), "rel_message", settings);
  rel_node c(rid_on_port(port, 0.2, 33), "rel_message", settings);
  rel_node* nodes[3] = {&a, &b, &c};
  for (int i = 0; i < 3; ++i) {
    nodes[i]->manager().join(data_stream + i);
    nodes[i]->manager().join(data_stream + (i + 1) % 3);
  }

  // Every sender sends its i-th message (sequence i) in the same step. For each sender and
  // receiver: the sequences before passed are passed, and the longest any waited.
  std::vector<uint64_t> sent_at;
  struct pair_state {
    int from, to;
    uint32_t passed = 0;
    uint64_t longest = 0;
  };
  std::vector<pair_state> pairs;
  for (int s = 0; s < 3; ++s) {
    for (int r = 0; r < 3; ++r) {
      if (s != r) pairs.push_back({s, r});
    }
  }
  auto update = [&] {
    const uint64_t t = now(a);
    for (pair_state& p : pairs) {
      const federate_identifier& sender = nodes[p.from]->service->get_identifier();
      const std::optional<uint32_t> last = nodes[p.to]->service->last_delivered(sender);
      for (; p.passed < sent_at.size() && last && p.passed <= *last; ++p.passed) {
        p.longest = std::max(p.longest, t - sent_at[p.passed]);
      }
      if (p.passed < sent_at.size()) p.longest = std::max(p.longest, t - sent_at[p.passed]);
    }
  };
  auto all_passed = [&] {
    return std::all_of(pairs.begin(), pairs.end(), [&](const pair_state& p) { return p.passed == per_sender; });
  };

  for (uint32_t i = 0; i < per_sender; ++i) {
    for (rel_node* s : nodes) s->send(data_stream + static_cast<int>(i % 3), payload(i));
    sent_at.push_back(now(a));
    run_stepped({&a, &b, &c}, step_ms, [] { return false; }, update);
  }
  run_stepped({&a, &b, &c}, 10 * longest_wait_ms, all_passed, update);

  for (const pair_state& p : pairs) {
    EXPECT_EQ(p.passed, per_sender) << p.from << " to " << p.to;
    EXPECT_LE(p.longest, longest_wait_ms) << p.from << " to " << p.to << ": messages held up";
    std::printf("%d to %d: longest wait %.2f s\n", p.from, p.to, p.longest / 1000.0);
  }
  uint64_t nacks = 0;
  for (rel_node* n : nodes) {
    EXPECT_EQ(n->service->get_counters().gaps_given_up, 0u);
    nacks += n->service->get_counters().nacks_sent;
  }
  EXPECT_GT(nacks, 0u) << "nothing was lost: the loss stage is not working";
}

}  // namespace
