// Best effort and oneshot services between three stream managers on loopback multicast, and the
// oneshot receiver's duplicate suppression on injected messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>

#include "ldm_buf.h"
#include "messages/message_best_effort.h"
#include "messages/message_oneshot.h"
#include "message_test_node.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

enum port_index : uint16_t { best_effort_port, oneshot_port, oneshot_injected_port, oneshot_memory_port };

constexpr uint16_t port_of(port_index index) { return test_port(port_block::message_services_test, index); }
constexpr int data_stream = 10;

using be_node = message_node<message_best_effort>;
using os_node = message_node<message_oneshot>;
using os_manual_node = message_node<message_oneshot, stepped_clock>;

std::string payload(int i) { return "message " + std::to_string(i); }

template <typename Node>
void expect_payloads(Node& node, int count) {
  ASSERT_EQ(node.messages().size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(node.messages()[i].payload, payload(i));
    EXPECT_EQ(node.messages()[i].stream, data_stream);
    EXPECT_EQ(node.messages()[i].priority, 0x10);
  }
}

TEST(MessageBestEffort, EveryOtherManagerGetsEachMessageOnceWithNothingAdded) {
  be_node a(rid_on_port(port_of(best_effort_port)), "be_message");
  be_node b(rid_on_port(port_of(best_effort_port)), "be_message");
  be_node c(rid_on_port(port_of(best_effort_port)), "be_message");
  for (be_node* n : {&a, &b, &c}) n->manager().join(data_stream);
  constexpr int count = 20;
  for (int i = 0; i < count; ++i) a.send(data_stream, payload(i), 0x10);
  ASSERT_TRUE(run_until([&] { return b.messages().size() >= count && c.messages().size() >= count; }, 10000, a, b, c));
  run_until([] { return false; }, 200, a, b, c);
  expect_payloads(b, count);
  expect_payloads(c, count);
  EXPECT_TRUE(a.messages().empty());
  EXPECT_EQ(a.service->get_sent(), static_cast<uint64_t>(count));
  EXPECT_EQ(b.service->get_received(), static_cast<uint64_t>(count));
  std::ostringstream out;
  a.service->print(out);
  EXPECT_EQ(out.str(), "Sent: 20  Rcvd: 0\n");
}

TEST(MessageOneshot, EachMessageGoesOutThreeTimesASecondApartAndArrivesOnce) {
  os_node a(rid_on_port(port_of(oneshot_port)), "os_message");
  os_node b(rid_on_port(port_of(oneshot_port)), "os_message");
  os_node c(rid_on_port(port_of(oneshot_port)), "os_message");
  for (os_node* n : {&a, &b, &c}) n->manager().join(data_stream);
  constexpr int count = 5;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) a.send(data_stream, payload(i), 0x10);
  auto all_packets = [&] {
    return b.service->get_counters().packets_received >= 3 * count &&
           c.service->get_counters().packets_received >= 3 * count;
  };
  ASSERT_TRUE(run_until(all_packets, 15000, a, b, c));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(1900)) << "the third send came too early";
  run_until([] { return false; }, 300, a, b, c);

  expect_payloads(b, count);
  expect_payloads(c, count);
  EXPECT_EQ(a.service->get_counters().messages_sent, 5u);
  EXPECT_EQ(a.service->get_counters().packets_sent, 15u);
  EXPECT_EQ(b.service->get_counters().messages_received, 5u);
  EXPECT_EQ(b.service->get_counters().packets_received, 15u);
  EXPECT_EQ(b.trace_lines("OS drop ").size(), 10u);
  EXPECT_EQ(b.trace_lines("OS receive ").size(), 5u);
  std::ostringstream out;
  a.service->print(out);
  EXPECT_EQ(out.str(), "Msgs Sent: 5  Pkts Sent: 15\nMsgs Rcvd: 0  Pkts Rcvd: 0\n");
}

// A oneshot message from sender with sequence and payload, as it arrives.
ldm_buf* oneshot_message(os_manual_node& node, const federate_identifier& sender, uint32_t sequence,
                         const char* text = "x") {
  return node.received([&](ldm_buf& b) {
    b << sender << sequence << text;
  });
}

void inject(os_manual_node& node, ldm_buf* buffer) {
  node.service->receive(data_stream, 0, buffer);
  buffer->release_buf();
}

TEST(MessageOneshot, ReceiverRefusesImpossibleSendersAndTruncatedHeaders) {
  os_manual_node node(rid_on_port(port_of(oneshot_injected_port)), "os_message");
  const federate_identifier wildcard(federate_identifier_type::nocompare);
  inject(node, oneshot_message(node, wildcard, 1));
  EXPECT_EQ(node.service->get_counters().rejected, 1u);
  ldm_buf* truncated = node.received([](ldm_buf& b) { b << uint32_t{0x7F000001}; });
  EXPECT_THROW(node.service->receive(data_stream, 0, truncated), ldm_decode_error);
  truncated->release_buf();
  EXPECT_TRUE(node.messages().empty());
}

TEST(MessageOneshot, ADeliveredPairIsRememberedFor303TimerRunsAndTheMemoryIsBounded) {
  os_manual_node node(rid_on_port(port_of(oneshot_memory_port)), "os_message");
  const federate_identifier sender(federate_identifier_type::local), other(federate_identifier_type::local);
  inject(node, oneshot_message(node, sender, 7));
  inject(node, oneshot_message(node, other, 7));
  inject(node, oneshot_message(node, sender, 7));
  EXPECT_EQ(node.messages().size(), 2u);

  node.run_for(302 * 100);
  inject(node, oneshot_message(node, sender, 7));
  EXPECT_EQ(node.messages().size(), 2u) << "forgotten before 303 timer runs";
  node.run_for(2 * 100);
  inject(node, oneshot_message(node, sender, 7));
  EXPECT_EQ(node.messages().size(), 3u) << "still remembered after 303 timer runs";

  for (uint32_t s = 0; s < message_oneshot::max_remembered + 10; ++s) inject(node, oneshot_message(node, other, 1000 + s));
  EXPECT_EQ(node.service->remembered(), message_oneshot::max_remembered);
  // The oldest were forgotten to make room; the newest are still suppressed.
  const size_t before = node.messages().size();
  inject(node, oneshot_message(node, other, 1000 + message_oneshot::max_remembered + 9));
  EXPECT_EQ(node.messages().size(), before);
}

}  // namespace
