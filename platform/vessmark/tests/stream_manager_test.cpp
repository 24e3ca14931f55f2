// Stream managers of one process, ticked in turn, talking over real loopback multicast. Every
// test runs its federation on its own port from test_ports.h.
#include "stream_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "byte_order.h"
#include "checksums.h"
#include "raw_multicast.h"
#include "sparse_bit_vector.h"
#include "test_ports.h"
#include "transport_node.h"

using namespace brindle;
using namespace vessmark;

namespace {

// Each test's own port index in the vessmark block (0-49 belong to this file).
enum port_index : uint16_t {
  two_managers_port,
  three_managers_port,
  sizes_port,
  bundle_timeout_port,
  full_bundle_port,
  rate_port,
  join_port,
  federation_port,
  injected_packets_port,
  loss_port,
  priority_port,
  injected_messages_port,
  fragments_port,
  nested_port,
  closing_port,
};

constexpr uint16_t port_of(port_index index) { return test_port(port_block::stream_manager_test, index); }

test_rid_options on_port(uint16_t port) {
  test_rid_options options;
  options.port = port;
  return options;
}

test_rid_options options_for(port_index index) { return on_port(port_of(index)); }

// The multicast group a stream travels on, with the test RIDs' base address.
std::string group_of(int stream) {
  return "224.22.0." + std::to_string(stream % stream_manager::group_count);
}

bool heard_on(transport_node& node, int stream) {
  return std::any_of(node.messages().begin(), node.messages().end(),
                     [stream](const received_message& m) { return m.stream == stream; });
}

size_t count_from(transport_node& node, uint32_t sender) {
  size_t n = 0;
  for (const received_message& m : node.messages()) n += sender_of(m) == sender;
  return n;
}

// Every message from sender on stream arrived whole, once and in the order sent.
void expect_in_order(transport_node& node, uint32_t sender, int stream, uint32_t count, size_t length) {
  uint32_t next = 0;
  for (const received_message& m : node.messages()) {
    if (m.stream != stream || sender_of(m) != sender) continue;
    ASSERT_EQ(m.payload, test_payload(sender, next, length)) << "stream " << stream << " message " << next;
    ++next;
  }
  EXPECT_EQ(next, count) << "stream " << stream << " from " << sender;
}

TEST(StreamManager, TwoManagersExchangeOnMoreGroupsThanOneSocketHolds) {
  transport_node a(options_for(two_managers_port)), b(options_for(two_managers_port));
  constexpr int first = 10, streams = 40, per_stream = 5;
  for (int s = first; s < first + streams; ++s) {
    a.manager().join(s);
    b.manager().join(s);
  }
  EXPECT_GT(a.manager().receive_socket_count(), 1u);
  for (uint32_t i = 0; i < per_stream; ++i) {
    for (int s = first; s < first + streams; ++s) {
      a.send(s, test_payload(1, i, 64));
      b.send(s, test_payload(2, i, 64));
    }
  }
  for (int s = first; s < first + streams; ++s) {
    a.service().flush(s);
    b.service().flush(s);
  }
  const size_t expected = streams * per_stream;
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return a.messages().size() >= expected && b.messages().size() >= expected; }));
  tick_for({&a, &b}, 50);
  EXPECT_EQ(count_from(a, 1), 0u) << "a manager heard itself";
  EXPECT_EQ(count_from(b, 2), 0u) << "a manager heard itself";
  for (int s = first; s < first + streams; ++s) {
    expect_in_order(b, 1, s, per_stream, 64);
    expect_in_order(a, 2, s, per_stream, 64);
  }
  EXPECT_GT(a.manager().get_drops().own_packet, 0u);
}

TEST(StreamManager, ThreeManagersEachHearTheOtherTwo) {
  transport_node a(options_for(three_managers_port)), b(options_for(three_managers_port)), c(options_for(three_managers_port));
  std::vector<transport_node*> nodes{&a, &b, &c};
  for (transport_node* n : nodes) {
    n->manager().join(7);
    n->manager().join(8);
  }
  constexpr uint32_t count = 20;
  for (uint32_t i = 0; i < count; ++i)
    for (uint32_t k = 0; k < nodes.size(); ++k) nodes[k]->send(7 + i % 2, test_payload(k + 1, i, 200));
  for (transport_node* n : nodes) {
    n->service().flush(7);
    n->service().flush(8);
  }
  ASSERT_TRUE(tick_until(nodes, [&] {
    for (transport_node* n : nodes)
      if (n->messages().size() < 2 * count) return false;
    return true;
  }));
  for (uint32_t k = 0; k < nodes.size(); ++k) {
    EXPECT_EQ(count_from(*nodes[k], k + 1), 0u) << "manager " << k << " heard itself";
    for (uint32_t other = 1; other <= nodes.size(); ++other) {
      if (other == k + 1) continue;
      EXPECT_EQ(count_from(*nodes[k], other), count) << k << " from " << other;
    }
  }
}

TEST(StreamManager, SmallExactAndFragmentedMessagesArriveWholeAndInOrder) {
  transport_node a(options_for(sizes_port)), b(options_for(sizes_port));
  b.manager().join(12);
  const uint32_t one_packet = a.manager().get_packet_size() - ldm_buf::packet_header_size - ldm_buf::message_header_size;
  const std::vector<size_t> lengths{1, one_packet, one_packet + 1, 200 * 1024, 3, 200 * 1024};
  for (uint32_t i = 0; i < lengths.size(); ++i) a.send(12, test_payload(1, i, lengths[i]));
  a.service().flush(12);
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() >= lengths.size(); }));
  ASSERT_EQ(b.messages().size(), lengths.size());
  for (uint32_t i = 0; i < lengths.size(); ++i)
    EXPECT_EQ(b.messages()[i].payload, test_payload(1, i, lengths[i])) << "message " << i << " of " << lengths[i] << " bytes";
  EXPECT_EQ(b.manager().get_drops().received_total(), 0u);
}

TEST(StreamManager, ADeliveryThatTicksAgainReadsNestedWithoutSpoilingTheOuterPass) {
  // A receiver whose client ticks its own scheduler from inside a delivery, as a federate that
  // creates a federation from a callback does: the nested pass reads the next datagrams while
  // the outer pass is still in its loop.
  transport_node a(options_for(nested_port)), b(options_for(nested_port));
  b.manager().join(9);
  bool nested = false;
  b.client().on_message = [&](const received_message&) {
    if (nested) return;
    nested = true;
    b.tick(0);
    nested = false;
  };
  constexpr uint32_t count = 30;
  const uint32_t one_packet = a.manager().get_packet_size() - ldm_buf::packet_header_size - ldm_buf::message_header_size;
  for (uint32_t i = 0; i < count; ++i) {
    a.send(9, test_payload(1, i, one_packet));
    a.service().flush(9);
  }
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() >= count; }));
  // Nested deliveries come before the one that ticked, so check each message whole, not the order.
  std::vector<bool> seen(count, false);
  for (const received_message& m : b.messages()) {
    const uint32_t i = sequence_of(m);
    ASSERT_LT(i, count);
    EXPECT_EQ(m.payload, test_payload(1, i, one_packet)) << "message " << i;
    EXPECT_FALSE(seen[i]) << "message " << i << " twice";
    seen[i] = true;
  }
  EXPECT_EQ(b.manager().get_drops().received_total(), 0u);
}

TEST(StreamManager, SmallMessagesWaitForTheBundleTimeoutOrAFlushOrPriority0x80) {
  test_rid_options options = options_for(bundle_timeout_port);
  options.bundle_timeout = 1500;
  transport_node a(options), b(options);
  b.manager().join(5);
  const uint64_t packets_before = a.manager().get_uplink_status().packets_sent;
  for (uint32_t i = 0; i < 3; ++i) a.send(5, test_payload(1, i, 16));
  tick_for({&a, &b}, 100);
  EXPECT_TRUE(b.messages().empty()) << "a bundle went out before its timeout";
  a.service().flush(5);
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() == 3; }, 1000));
  EXPECT_EQ(a.manager().get_uplink_status().packets_sent - packets_before, 1u) << "three small messages, one packet";

  // Without a flush the bundle leaves on its own once the timeout has passed.
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 3; i < 6; ++i) a.send(5, test_payload(1, i, 16));
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() == 6; }, 5000));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));
  expect_in_order(b, 1, 5, 6, 16);

  // Priority 0x80 means "send now": the open bundle leaves with that message in it, in order.
  a.send(5, test_payload(1, 6, 16));
  a.send(5, test_payload(1, 7, 16), 0x80);
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() == 8; }, 500));

  // A change of federation number first sends what is bundled under the old number, which b
  // (still on that number) hears; stamped with the new one, b would drop it.
  a.send(5, test_payload(1, 8, 16));
  a.manager().set_federation(a.manager().get_federation() + 1);
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() == 9; }, 500));
  expect_in_order(b, 1, 5, 9, 16);
}

TEST(StreamManager, ANearlyFullBundleLeavesWithoutWaiting) {
  test_rid_options options = options_for(full_bundle_port);
  options.bundle_timeout = 5000;
  transport_node a(options), b(options);
  b.manager().join(5);
  // Three messages of 440 bytes and their headers leave fewer free bytes than the threshold.
  const auto start = std::chrono::steady_clock::now();
  for (uint32_t i = 0; i < 3; ++i) a.send(5, test_payload(1, i, 440));
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() == 3; }, 3000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
  expect_in_order(b, 1, 5, 3, 440);
}

TEST(StreamManager, RateLimitHoldsWithinTenPercent) {
  test_rid_options options = options_for(rate_port);
  options.ratelimit_mbps = 8.0;  // 1000 bytes per millisecond
  transport_node a(options), b(options);
  b.manager().join(6);
  // The pace is read from the kernel's arrival stamps on a socket of our own, so a test process
  // that is descheduled for a while cannot bend the figure.
  raw_multicast tap;
  ASSERT_TRUE(tap.listen(group_of(6), port_of(rate_port)));
  tap.stamp_arrivals(8 << 20);
  std::vector<int64_t> arrivals;
  std::vector<uint8_t> datagram;
  auto read_tap = [&] {
    int64_t ns = 0;
    while (tap.receive_stamped(datagram, ns) > 0) arrivals.push_back(ns);
  };
  constexpr uint32_t count = 1500, length = 1000;
  // Offered at about twice the limit, so the queue fills and the limit alone sets the pace.
  uint32_t sent = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(tick_until({&a, &b}, [&] {
    const auto due = static_cast<uint32_t>((std::chrono::steady_clock::now() - start) / std::chrono::microseconds(500));
    for (; sent < count && sent <= due; ++sent) {
      a.send(6, test_payload(1, sent, length));
      a.service().flush(6);
    }
    read_tap();
    return sent == count && b.messages().size() + a.manager().get_drops().rate_limit_overflow >= count;
  }, 8000));
  read_tap();
  ASSERT_GT(arrivals.size(), 600u);
  ASSERT_NE(arrivals.front(), 0) << "no arrival stamps";
  // The first arrivals are the bucket's burst; measure the steady part after them.
  const size_t from = 100;
  const double ms = static_cast<double>(arrivals.back() - arrivals[from]) / 1e6;
  const double packet_bytes = length + ldm_buf::packet_header_size + ldm_buf::message_header_size;
  const double bytes_per_ms = packet_bytes * static_cast<double>(arrivals.size() - 1 - from) / ms;
  EXPECT_NEAR(bytes_per_ms, 1000.0, 100.0) << arrivals.size() << " packets";
  // Overflow may drop packets, but what arrives comes whole and in order.
  int64_t last = -1;
  for (const received_message& m : b.messages()) {
    ASSERT_EQ(m.payload, test_payload(1, sequence_of(m), length));
    EXPECT_GT(static_cast<int64_t>(sequence_of(m)), last) << "out of order";
    last = sequence_of(m);
  }
}

TEST(StreamManager, RateLimitedPacketsLeaveHigherPriorityFirst) {
  test_rid_options options = options_for(priority_port);
  options.ratelimit_mbps = 0.8;  // 100 bytes per millisecond, after a burst of 64 KB
  transport_node a(options), b(options);
  b.manager().join(6);
  constexpr uint32_t low = 90, high = 5;
  for (uint32_t i = 0; i < low + high; ++i) {
    a.send(6, test_payload(1, i, 1000), i < low ? 0x00 : 0xb0);
    a.service().flush(6);
  }
  ASSERT_TRUE(tick_until({&a, &b}, [&] { return b.messages().size() >= low + high; }, 8000));
  // The urgent messages overtook the low-priority ones that were still waiting.
  std::vector<uint32_t> order;
  for (const received_message& m : b.messages()) order.push_back(sequence_of(m));
  const auto first_urgent = std::find(order.begin(), order.end(), low);
  ASSERT_NE(first_urgent, order.end());
  ASSERT_LT(first_urgent - order.begin(), static_cast<std::ptrdiff_t>(low) - 5);
  for (uint32_t k = 0; k < high; ++k) EXPECT_EQ(*(first_urgent + k), low + k);
}

TEST(StreamManager, AClosingManagerSendsItsOpenBundleAndTheRateLimitQueue) {
  test_rid_options options = options_for(closing_port);
  options.ratelimit_mbps = 0.8;  // 100 bytes per millisecond, after a burst of 64 KB
  options.bundle_timeout = 5000;
  auto a = std::make_unique<transport_node>(options);
  transport_node b(options);
  b.manager().join(6);
  constexpr uint32_t flushed = 90;
  for (uint32_t i = 0; i < flushed; ++i) {
    a->send(6, test_payload(1, i, 1000));
    a->service().flush(6);
  }
  a->send(6, test_payload(1, flushed, 16));  // stays in its bundle
  ASSERT_LT(a->manager().get_uplink_status().packets_sent, flushed) << "nothing waited for the rate limit";
  a.reset();
  ASSERT_TRUE(tick_until({&b}, [&] { return b.messages().size() == flushed + 1; }));
  EXPECT_TRUE(std::any_of(b.messages().begin(), b.messages().end(),
                          [](const received_message& m) { return sequence_of(m) == flushed; }));
}

class join_recorder : public stream_join_client {
public:
  void streams_joined(const sparse_bit_vector& streams) override { joined.push_back(streams); }
  void streams_left(const sparse_bit_vector& streams) override { left.push_back(streams); }
  std::vector<sparse_bit_vector> joined, left;
};

TEST(StreamManager, JoinsAndLeavesChangeWhatIsHeard) {
  transport_node a(options_for(join_port)), b(options_for(join_port));
  join_recorder joins;
  b.manager().add_stream_join_client(&joins);
  uint32_t sequence = 0;
  // Sends one message on each of the streams and waits until b has what it should hear; the
  // message on stream 9 comes last and is always heard, so the rest have had their chance.
  auto round = [&](std::set<int> heard) {
    b.messages().clear();
    for (int s : {10, 11}) {
      a.send(s, test_payload(1, sequence++, 32));
      a.service().flush(s);
    }
    a.send(9, test_payload(1, sequence++, 32));
    a.service().flush(9);
    EXPECT_TRUE(tick_until({&a, &b}, [&] { return heard_on(b, 9); }));
    std::set<int> got;
    for (const received_message& m : b.messages())
      if (m.stream != 9) got.insert(m.stream);
    EXPECT_EQ(got, heard);
  };
  b.manager().join(9);
  b.manager().join(10);
  round({10});
  b.manager().join(11);
  b.manager().join(11);
  b.manager().leave(11);  // joins are counted: one join is still in force
  b.manager().leave(10);
  EXPECT_TRUE(b.manager().is_joined(11));
  EXPECT_FALSE(b.manager().is_joined(10));
  round({11});
  sparse_bit_vector both;
  both.set_bit(10);
  both.set_bit(11);
  b.manager().join(both);
  round({10, 11});
  b.manager().leave(both);
  b.manager().leave(11);
  EXPECT_FALSE(b.manager().is_joined(both));
  round({});
  ASSERT_FALSE(joins.joined.empty());
  ASSERT_FALSE(joins.left.empty());
  EXPECT_TRUE(joins.joined.front().get_bit(9));
  EXPECT_TRUE(joins.left.back().get_bit(11));
  b.manager().drop_stream_join_client(&joins);
}

TEST(StreamManager, StreamOneCrossesFederationsOtherStreamsDoNot) {
  transport_node a(options_for(federation_port)), same(options_for(federation_port)), other(options_for(federation_port));
  a.manager().set_federation(3);
  same.manager().set_federation(3);
  other.manager().set_federation(4);
  for (transport_node* n : {&same, &other}) {
    n->manager().join(1);
    n->manager().join(2);
  }
  a.send(2, test_payload(1, 0, 40));
  a.service().flush(2);
  a.send(1, test_payload(1, 1, 40));
  a.service().flush(1);
  ASSERT_TRUE(tick_until({&a, &same, &other}, [&] { return same.messages().size() == 2 && other.messages().size() == 1; }));
  EXPECT_EQ(other.messages()[0].stream, 1);
  EXPECT_GT(other.manager().get_drops().other_federation, 0u);
  EXPECT_EQ(same.manager().get_drops().other_federation, 0u);
}

// Captures what a sends on a stream with a socket of our own, then injects damaged copies.
// Each test starts the fixture on its own port.
class InjectionTest : public ::testing::Test {
protected:
  static constexpr int stream = 17;
  static constexpr int fragment_timeout_ms = 1000;

  void start(uint16_t port) {
    port_ = port;
    test_rid_options options = on_port(port);
    options.fragment_timeout_ms = fragment_timeout_ms;
    a_ = std::make_unique<transport_node>(options);
    b_ = std::make_unique<transport_node>(options);
    group_ = group_of(stream);
    ASSERT_TRUE(tap_.listen(group_, port));
    b_->manager().join(stream);
  }

  // Sends one message from a and returns the datagram that carried it.
  std::vector<uint8_t> capture(size_t length) {
    std::vector<std::vector<uint8_t>> datagrams = capture_fragments(length);
    return datagrams.size() == 1 ? datagrams[0] : std::vector<uint8_t>{};
  }

  // Sends one message from a and returns its datagrams, up to the one marked last.
  std::vector<std::vector<uint8_t>> capture_fragments(size_t length) {
    a_->send(stream, test_payload(1, sequence_++, length));
    a_->service().flush(stream);
    std::vector<std::vector<uint8_t>> datagrams;
    std::vector<uint8_t> datagram;
    while (tap_.receive(datagram, 2000) >= 24) {
      if (load_be32(datagram.data() + 12) != a_->manager().get_identity()) continue;
      datagrams.push_back(datagram);
      if (load_be16(datagram.data() + 22) & 0x8000) break;
    }
    return datagrams;
  }

  // A copy of fragment as part of another message of the same sender.
  static std::vector<uint8_t> renumbered(std::vector<uint8_t> fragment, uint16_t sequence) {
    store_be16(fragment.data() + 20, sequence);
    restamp(fragment);
    return fragment;
  }

  // Stamps the packet checksum again, so that only what lies behind it is wrong.
  static void restamp(std::vector<uint8_t>& packet) {
    store_be32(packet.data() + 4, 0);
    store_be32(packet.data() + 4, adler32(1, packet.data(), packet.size()));
  }

  void inject(const std::vector<uint8_t>& datagram) {
    ASSERT_TRUE(raw_.send_to(group_, port_, datagram.data(), datagram.size()));
  }

  // A good message still arrives after the injected ones, so they were all looked at.
  void expect_traffic_flows() {
    const size_t before = b_->messages().size();
    a_->send(stream, test_payload(1, sequence_++, 100));
    a_->service().flush(stream);
    ASSERT_TRUE(tick_until({a_.get(), b_.get()}, [&] { return b_->messages().size() > before; }));
    tick_for({a_.get(), b_.get()}, 50);
  }

  uint16_t port_ = 0;
  std::unique_ptr<transport_node> a_, b_;
  raw_multicast tap_, raw_;
  std::string group_;
  uint32_t sequence_ = 0;
};

TEST_F(InjectionTest, DamagedTruncatedAndOversizedPacketsAreDroppedAndCounted) {
  start(port_of(injected_packets_port));
  const std::vector<uint8_t> good = capture(300);
  ASSERT_GT(good.size(), 60u);
  {
    // Our own reading of the packet checksum must agree with the sender's.
    std::vector<uint8_t> copy = good;
    restamp(copy);
    ASSERT_EQ(copy, good);
  }
  std::vector<std::vector<uint8_t>> bad;
  bad.push_back(good), bad.back()[good.size() - 5] ^= 0x40;                        // payload bit flipped
  bad.push_back(std::vector<uint8_t>(good.begin(), good.end() - 9));                // truncated
  bad.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 10));             // shorter than a header
  bad.push_back(good), store_be16(bad.back().data() + 2, 0xFFF0), restamp(bad.back());  // oversized length
  bad.push_back(good), bad.back().resize(good.size() + 64), restamp(bad.back());   // longer than it says
  bad.push_back(std::vector<uint8_t>(1500, 0xA5));                                  // noise
  bad.push_back(std::vector<uint8_t>());                                            // empty
  for (const auto& datagram : bad) inject(datagram);
  expect_traffic_flows();
  EXPECT_EQ(b_->manager().get_drops().malformed_packet, bad.size());
  EXPECT_EQ(b_->messages().size(), 2u) << "only the two good messages";
}

TEST_F(InjectionTest, BadMessagesAndForeignPacketsAreDroppedAndCounted) {
  start(port_of(injected_messages_port));
  const std::vector<uint8_t> good = capture(300);
  ASSERT_GT(good.size(), 60u);
  std::vector<uint8_t> damaged = good;  // message damaged, packet checksum made to match
  damaged[good.size() - 5] ^= 0x40;
  restamp(damaged);
  std::vector<uint8_t> long_message = good;  // message length beyond the packet
  store_be32(long_message.data() + 24 + 8, 0x7FFFFFF0);
  restamp(long_message);
  std::vector<uint8_t> foreign = good;  // another release
  foreign[8] = 0x23;
  restamp(foreign);
  // Fragment 3 of message 77, then a "last" fragment 1 of the same message: the two cannot
  // belong to one message, so both are dropped.
  std::vector<uint8_t> fragment_3 = good, early_last = good;
  store_be16(fragment_3.data() + 20, 77);
  store_be16(fragment_3.data() + 22, 3);
  restamp(fragment_3);
  store_be16(early_last.data() + 20, 77);
  store_be16(early_last.data() + 22, 0x8000 | 1);
  restamp(early_last);
  for (const auto& datagram : {damaged, long_message, foreign, fragment_3, early_last}) inject(datagram);
  expect_traffic_flows();
  const stream_drop_counts& drops = b_->manager().get_drops();
  EXPECT_EQ(drops.malformed_message, 2u);
  EXPECT_EQ(drops.wrong_release, 1u);
  EXPECT_EQ(drops.bad_fragment, 1u);
  EXPECT_EQ(drops.malformed_packet, 0u);
  EXPECT_EQ(b_->messages().size(), 2u) << "only the two good messages";
}

// Sends count one-packet messages from a to b with the loss stage at probability and returns
// the sequence numbers b received.
std::set<uint32_t> survivors(uint16_t port, double probability, uint32_t seed, uint32_t count) {
  test_rid_options options = on_port(port);
  options.loss_probability = probability;
  options.loss_seed = seed;
  transport_node a(options);
  transport_node b(on_port(port));
  b.manager().join(4);
  for (uint32_t i = 0; i < count; ++i) {
    a.send(4, test_payload(1, i, 100));
    a.service().flush(4);
    // Keep the receiver's socket buffer from overflowing: only loss may lose packets here.
    if (i % 50 == 49)
      tick_until({&a, &b}, [&] { return b.messages().size() + a.manager().get_drops().lost >= i + 1; });
  }
  tick_until({&a, &b}, [&] { return b.messages().size() + a.manager().get_drops().lost >= count; });
  std::set<uint32_t> result;
  for (const received_message& m : b.messages()) result.insert(sequence_of(m));
  EXPECT_EQ(result.size() + a.manager().get_drops().lost, count);
  return result;
}

TEST(StreamManager, LossStageDropsItsShareReproduciblyForASeed) {
  constexpr uint32_t count = 1000;
  for (uint32_t seed : {1u, 7u, 20261207u}) {
    const std::set<uint32_t> first = survivors(port_of(loss_port), 0.3, seed, count);
    const double lost = 1.0 - static_cast<double>(first.size()) / count;
    EXPECT_NEAR(lost, 0.3, 0.06) << "seed " << seed;
    EXPECT_EQ(survivors(port_of(loss_port), 0.3, seed, count), first) << "seed " << seed;
  }
  EXPECT_NE(survivors(port_of(loss_port), 0.3, 1, 200), survivors(port_of(loss_port), 0.3, 2, 200));
  EXPECT_EQ(survivors(port_of(loss_port), 0.0, 1, 200).size(), 200u);
}

TEST_F(InjectionTest, FragmentsAreReassembledInAnyOrderAndPartialMessagesExpire) {
  start(port_of(fragments_port));
  const std::vector<std::vector<uint8_t>> fragments = capture_fragments(3000);
  ASSERT_EQ(fragments.size(), 3u);
  ASSERT_TRUE(tick_until({a_.get(), b_.get()}, [&] { return b_->messages().size() == 1; }));

  // Two of three fragments: the message never completes and is forgotten after the timeout.
  inject(renumbered(fragments[0], 500));
  inject(renumbered(fragments[1], 500));
  // All three, last first: the message arrives whole.
  for (int i = 2; i >= 0; --i) inject(renumbered(fragments[i], 501));
  ASSERT_TRUE(tick_until({a_.get(), b_.get()}, [&] { return b_->messages().size() == 2; }));
  EXPECT_EQ(b_->messages()[1].payload, test_payload(1, 0, 3000));
  ASSERT_TRUE(tick_until({a_.get(), b_.get()}, [&] { return b_->manager().get_drops().fragments_expired == 1; },
                         fragment_timeout_ms + 2000));

  // A flood of first fragments fills the reassembly table; the rest are refused, not stored.
  constexpr uint16_t flood = 400;
  for (uint16_t k = 0; k < flood; ++k) {
    inject(renumbered(fragments[0], static_cast<uint16_t>(1000 + k)));
    if (k % 50 == 49) tick_for({b_.get()}, 5);
  }
  tick_for({b_.get()}, 20);
  EXPECT_GT(b_->manager().get_drops().reassembly_full, 0u);
  expect_traffic_flows();
  EXPECT_EQ(b_->messages().size(), 3u);
}

}  // namespace
