// The reliable service's protocol rules, driven message by message on a clock the test moves
// (receive side and send side), its wire forms as another stream manager hears them, and small
// scenarios between stream managers on loopback multicast.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "byte_order.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "message_test_node.h"
#include "test_ports.h"
#include "transport_node.h"

using namespace brindle;
using namespace varnel;

namespace {

// Cases whose nodes send nothing share silent_port; each case that sends has its own index.
enum port_index : uint16_t {
  silent_port,
  wire_port,
  late_joiner_port,
  sorry_port,
  idle_sender_port,
};

constexpr uint16_t port_of(port_index index) { return test_port(port_block::message_reliable_test, index); }
constexpr int data_stream = 10, other_stream = 11;

using rel_node = message_node<message_reliable>;
using manual_node = message_node<message_reliable, stepped_clock>;
using type = message_reliable::message_type;

std::string text_of(uint32_t sequence) { return "m" + std::to_string(sequence); }

// Payloads delivered so far, as text.
template <typename Node>
std::vector<std::string> delivered(Node& node) {
  std::vector<std::string> out;
  for (const delivered_message& m : node.messages()) out.push_back(m.payload);
  return out;
}

std::vector<std::string> texts(std::initializer_list<uint32_t> sequences) {
  std::vector<std::string> out;
  for (uint32_t s : sequences) out.push_back(text_of(s));
  return out;
}

// Hands one crafted message to the service as the transport would.
class injector {
public:
  explicit injector(manual_node& node) : node_(node) {}

  void data(const federate_identifier& sender, uint32_t sequence, int stream = data_stream) {
    put(stream, [&](ldm_buf& b) { b << uint32_t{type::data} << sender << sequence << text_of(sequence).c_str(); });
  }
  void notice(const federate_identifier& sender, uint32_t sequence, int stream) {
    put(2, [&](ldm_buf& b) { b << uint32_t{type::sequence_notice} << sender << sequence << stream; });
  }
  void nack(const federate_identifier& from_sender, uint32_t sequence) {
    put(2, [&](ldm_buf& b) { b << uint32_t{type::nack} << from_sender << sequence; });
  }
  void ack(const federate_identifier& from, const std::vector<std::pair<federate_identifier, uint32_t>>& pairs) {
    put(2, [&](ldm_buf& b) {
      b << uint32_t{type::ack} << from << static_cast<uint32_t>(pairs.size());
      for (const auto& [id, sequence] : pairs) b << id << sequence;
    });
  }
  void ping(const federate_identifier& sender, uint32_t next) {
    put(2, [&](ldm_buf& b) { b << uint32_t{type::ping} << sender << next; });
  }
  void sorry(const federate_identifier& sender, uint32_t sequence) {
    put(2, [&](ldm_buf& b) { b << uint32_t{type::sorry} << sender << sequence; });
  }
  // Any words; the service may throw ldm_decode_error, as it does to the transport.
  void raw(const std::function<void(ldm_buf&)>& fill) { put(2, fill); }

private:
  void put(int stream, const std::function<void(ldm_buf&)>& fill) {
    ldm_buf* buffer = node_.received(fill);
    try {
      node_.service->receive(stream, 0, buffer);
    } catch (...) {
      buffer->release_buf();
      throw;
    }
    buffer->release_buf();
  }

  manual_node& node_;
};

// A node whose stream manager loses every packet it would send: what the service sends shows
// in its counters and trace only, so cases on the shared port cannot hear each other.
struct manual_fixture {
  explicit manual_fixture(const reliable_settings& settings = reliable_settings())
      : node(rid_on_port(port_of(silent_port), 1.0), "rel_message", settings), in(node) {
    node.manager().join(data_stream);
  }
  message_reliable& service() { return *node.service; }
  const message_reliable::counters& counts() { return node.service->get_counters(); }

  manual_node node;
  injector in;
  federate_identifier sender{federate_identifier_type::local};
  federate_identifier other{federate_identifier_type::local};
};

TEST(MessageReliableReceive, FirstHeardSenderStartsThereAndDuplicatesAreDropped) {
  manual_fixture f;
  f.in.data(f.sender, 1000);
  f.in.data(f.sender, 999);
  f.in.data(f.sender, 1000);
  EXPECT_EQ(delivered(f.node), texts({1000}));
  EXPECT_EQ(f.service().last_delivered(f.sender), 1000u);
  EXPECT_EQ(f.service().pending_nacks(), 0u);
  f.node.run_for(10000);
  EXPECT_EQ(f.counts().nacks_sent, 0u);
}

TEST(MessageReliableReceive, MessagesAheadWaitForTheGapThenGoOutInOrder) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 3);
  f.in.data(f.sender, 2);
  f.in.data(f.sender, 3);
  EXPECT_EQ(delivered(f.node), texts({0}));
  EXPECT_EQ(f.service().pending_nacks(), 1u);
  EXPECT_EQ(f.service().stored_ahead(), 2u);
  f.in.data(f.sender, 1);
  EXPECT_EQ(delivered(f.node), texts({0, 1, 2, 3}));
  EXPECT_EQ(f.service().pending_nacks(), 0u);
  EXPECT_EQ(f.service().stored_ahead(), 0u);
  EXPECT_EQ(f.node.trace_lines("REL qacc ").size(), 2u);
  EXPECT_EQ(f.node.trace_lines("REL accept ").size(), 2u);
  EXPECT_EQ(f.counts().messages_received, 4u);
}

TEST(MessageReliableReceive, SequencesWrapPastTheTop) {
  manual_fixture f;
  f.in.data(f.sender, 0xFFFFFFFE);
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 1);
  f.in.data(f.sender, 0xFFFFFFFF);
  EXPECT_EQ(delivered(f.node), texts({0xFFFFFFFE, 0xFFFFFFFF, 0, 1}));
  f.in.data(f.sender, 0xFFFFFFFF);
  EXPECT_EQ(f.node.messages().size(), 4u);
}

TEST(MessageReliableReceive, SorryAndUnjoinedStreamsPassAPlaceOverWithoutStalling) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.notice(f.sender, 1, other_stream);  // never comes here
  f.in.data(f.sender, 3);
  f.in.sorry(f.sender, 2);
  EXPECT_EQ(delivered(f.node), texts({0, 3}));
  EXPECT_EQ(f.service().pending_nacks(), 0u);
  EXPECT_EQ(f.counts().sorries_received, 1u);

  // A sorry that gets ahead of a delayed original leaves a place the original still fills.
  f.in.sorry(f.sender, 5);
  f.in.data(f.sender, 5);
  f.in.data(f.sender, 4);
  EXPECT_EQ(delivered(f.node), texts({0, 3, 4, 5}));
}

TEST(MessageReliableReceive, NoticesAndPingsRevealLostMessages) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.notice(f.sender, 3, data_stream);  // 1 and 2 are missing; 3 itself is on its way
  EXPECT_EQ(f.service().pending_nacks(), 2u);
  f.in.data(f.sender, 3);
  f.in.data(f.sender, 1);
  f.in.data(f.sender, 2);
  EXPECT_EQ(delivered(f.node), texts({0, 1, 2, 3}));
  f.in.ping(f.sender, 4);
  EXPECT_EQ(f.service().pending_nacks(), 0u);
  f.in.ping(f.sender, 6);  // 4 and 5 were lost, notices and all
  EXPECT_EQ(f.service().pending_nacks(), 2u);
  // A ping, or a notice, from a sender never heard marks where its messages begin: the first
  // one's loss, or its data overtaken by a later message on another stream, is still recovered.
  f.in.ping(f.other, 50);
  f.in.data(f.other, 51);
  EXPECT_EQ(f.service().pending_nacks(), 3u);
  f.in.data(f.other, 50);
  EXPECT_EQ(f.service().last_delivered(f.other), 51u);
  // A time state tells what a ping does: a sender whose first two messages were both lost.
  const federate_identifier third{federate_identifier_type::local};
  f.service().expect_next(third, 0);
  f.in.data(third, 2);
  EXPECT_EQ(f.service().pending_nacks(), 4u);
  EXPECT_TRUE(delivered(f.node).back() != text_of(2)) << "2 waits for 0 and 1";
  // A sender the federation gave up takes what waits from it and its NACKs along.
  f.service().forget_sender(third);
  EXPECT_EQ(f.service().pending_nacks(), 2u);
  EXPECT_EQ(f.counts().forgotten, 1u);
  f.in.data(third, 7);
  EXPECT_EQ(delivered(f.node).back(), text_of(7)) << "heard afresh";
}

TEST(MessageReliableReceive, LeavingAStreamEmptiesWhatWaitsFromIt) {
  manual_fixture f;
  f.node.manager().join(other_stream);
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 2, other_stream);
  f.in.data(f.sender, 3, data_stream);
  f.node.manager().leave(other_stream);
  f.in.data(f.sender, 1);
  EXPECT_EQ(delivered(f.node), texts({0, 1, 3}));
}

TEST(MessageReliableReceive, ClientThatCannotDecodeLosesOnlyThatMessage) {
  struct picky_client : message_service_client {
    void receive(int, unsigned char, ldm_buf* buffer) override {
      const char* text;
      *buffer >> text;
      if (std::string(text) == "m1") throw ldm_decode_error("bad payload");
      seen.push_back(text);
    }
    std::vector<std::string> seen;
  } client;
  manual_fixture f;
  wall_clock wall = system_wall_clock;
  dstream trace("picky", wall);
  stepped_clock clock;
  scheduler on(clock);
  message_reliable service(&f.node.manager(), &client, "picky", trace, on);
  for (uint32_t s : {0u, 2u, 1u}) {
    ldm_buf* b = f.node.received([&](ldm_buf& w) { w << uint32_t{type::data} << f.sender << s << text_of(s).c_str(); });
    service.receive(data_stream, 0, b);
    b->release_buf();
  }
  EXPECT_EQ(client.seen, (std::vector<std::string>{"m0", "m2"}));
  EXPECT_EQ(service.get_counters().client_undecodable, 1u);
}

// Clock times (ms) at which the service sent a NACK, over ms of timer runs.
std::vector<uint64_t> nack_times(manual_fixture& f, uint64_t ms) {
  std::vector<uint64_t> times;
  for (uint64_t t = 0; t < ms; t += 100) {
    const uint64_t before = f.counts().nacks_sent;
    f.node.run_for(100);
    if (f.counts().nacks_sent != before) times.push_back(f.node.clock().time());
  }
  return times;
}

TEST(MessageReliableNack, RepeatsTwentyFiveTimesAtTheGivenDelaysThenGivesTheGapUp) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 2);
  const std::vector<uint64_t> times = nack_times(f, 100000);
  ASSERT_EQ(times.size(), 25u);
  EXPECT_LE(times[0], 1100u);
  for (size_t i = 1; i < times.size(); ++i) {
    EXPECT_GE(times[i] - times[i - 1], 2000u) << i;
    EXPECT_LE(times[i] - times[i - 1], 3100u) << i;
  }
  EXPECT_EQ(delivered(f.node), texts({0, 2}));
  EXPECT_EQ(f.counts().gaps_given_up, 1u);
  EXPECT_EQ(f.node.trace_lines("REL giveup ").size(), 1u);
  EXPECT_EQ(f.node.trace_lines("REL nack ").size(), 25u);
  EXPECT_EQ(f.service().pending_nacks(), 0u);
}

TEST(MessageReliableNack, AnotherFederatesNackDelaysOursByOneRound) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 2);
  f.in.nack(f.sender, 1);
  EXPECT_EQ(f.node.trace_lines("REL rnack ").size(), 1u);
  f.node.run_for(1100);
  EXPECT_EQ(f.counts().nacks_sent, 0u);
  EXPECT_EQ(f.service().pending_nacks(), 1u);
  f.node.run_for(3100);
  EXPECT_EQ(f.counts().nacks_sent, 1u);
}

TEST(MessageReliableNack, AMessageThatArrivesCancelsItsNack) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 2);
  f.node.run_for(1100);
  EXPECT_EQ(f.counts().nacks_sent, 1u);
  f.in.data(f.sender, 1);
  f.node.run_for(10000);
  EXPECT_EQ(f.counts().nacks_sent, 1u);
  EXPECT_EQ(delivered(f.node), texts({0, 1, 2}));
}

TEST(MessageReliableBounds, FarAheadClaimsCostAtMostAWindow) {
  manual_fixture f;
  const uint32_t window = f.service().get_settings().window;
  f.in.data(f.sender, 0);
  f.in.data(f.sender, 0x40000000);
  EXPECT_EQ(f.counts().over_limit, 1u);
  EXPECT_EQ(f.service().stored_ahead(), 0u);
  f.in.notice(f.sender, 0x40000000, data_stream);
  EXPECT_EQ(f.service().pending_nacks(), window);
  EXPECT_EQ(f.service().widest_span(), window);
  f.in.ping(f.sender, 0x7FFFFFFF);
  EXPECT_EQ(f.service().pending_nacks(), window);
  EXPECT_EQ(f.service().last_delivered(f.sender), 0u);
}

TEST(MessageReliableBounds, SendersStoredBytesAndNacksHaveCeilings) {
  reliable_settings tight;
  tight.max_senders = 3;
  tight.max_pending_nacks = 10;
  tight.max_stored_bytes = 150;
  manual_fixture f(tight);
  for (int i = 0; i < 5; ++i) f.in.data(federate_identifier(federate_identifier_type::local), 7);
  EXPECT_EQ(f.node.messages().size(), 3u);
  EXPECT_EQ(f.counts().over_limit, 2u);

  // A sender silent for longer than the acknowledger timeout makes room.
  f.node.run_for(61000);
  const federate_identifier newcomer(federate_identifier_type::local);
  f.in.data(newcomer, 0);
  EXPECT_EQ(f.service().last_delivered(newcomer), 0u);

  f.in.notice(newcomer, 100, data_stream);
  EXPECT_EQ(f.service().pending_nacks(), 10u);
  for (uint32_t s = 50; s < 60; ++s) f.in.data(newcomer, s);
  EXPECT_LT(f.service().stored_ahead(), 10u);
  EXPECT_GT(f.service().stored_ahead(), 0u);
}

TEST(MessageReliableBounds, MalformedAndImpossibleMessagesAreRefused) {
  manual_fixture f;
  const federate_identifier wildcard(federate_identifier_type::nocompare);
  const federate_identifier& own = f.service().get_identifier();
  f.in.data(wildcard, 0);
  f.in.data(own, 0);
  f.in.raw([](ldm_buf& b) { b << uint32_t{99}; });
  f.in.ack(f.sender, {});
  f.in.raw([&](ldm_buf& b) { b << uint32_t{type::ack} << f.sender << uint32_t{1000000}; });
  EXPECT_EQ(f.counts().rejected, 4u);
  EXPECT_TRUE(f.node.messages().empty());
  EXPECT_EQ(f.service().acknowledger_count(), 1u);

  // Every type cut short: the read fails before anything changes.
  for (uint32_t t = type::data; t <= type::sorry; ++t) {
    EXPECT_THROW(f.in.raw([&](ldm_buf& b) { b << t << uint32_t{0x7F000001}; }), ldm_decode_error) << t;
  }
  EXPECT_THROW(f.in.raw([](ldm_buf&) {}), ldm_decode_error);
  EXPECT_EQ(f.service().pending_nacks(), 0u);
  EXPECT_TRUE(f.node.messages().empty());
}

TEST(MessageReliableSend, NackedMessageIsResentOnceAfterHalfASecondAndUnsentOnesAreRefused) {
  manual_fixture f;
  const federate_identifier& own = f.service().get_identifier();
  for (int i = 0; i < 3; ++i) f.node.send(data_stream, text_of(i));
  EXPECT_EQ(f.counts().data_sent, 3u);
  f.in.nack(own, 3);
  f.in.nack(own, 0x80000000);
  EXPECT_EQ(f.counts().rejected, 2u);
  f.in.nack(own, 1);
  f.in.nack(own, 1);
  EXPECT_EQ(f.node.trace_lines("REL qresend ").size(), 1u);
  EXPECT_EQ(f.node.trace_lines("REL dresend ").size(), 1u);
  f.node.run_for(400);
  EXPECT_EQ(f.counts().data_sent, 3u);
  f.node.run_for(200);
  EXPECT_EQ(f.counts().data_sent, 4u);
  EXPECT_EQ(f.node.trace_lines("REL resend "), std::vector<std::string>{"REL resend 10/1"});
  f.node.run_for(5000);
  EXPECT_EQ(f.counts().data_sent, 4u);
  EXPECT_EQ(f.counts().sorries_sent, 0u);
}

TEST(MessageReliableSend, MessagesAreReleasedTenSecondsAfterEveryoneHasThemThenSorry) {
  manual_fixture f;
  const federate_identifier& own = f.service().get_identifier();
  for (int i = 0; i < 3; ++i) f.node.send(data_stream, text_of(i));
  f.in.ack(f.other, {{f.sender, 77}, {own, 0}});
  f.node.run_for(5000);  // release check: 0 is marked
  EXPECT_EQ(f.node.trace_lines("REL mark "), std::vector<std::string>{"REL mark 10/0"});
  f.node.run_for(9900);
  EXPECT_EQ(f.service().sent_store_size(), 3u);
  f.in.ack(f.other, {{own, 2}});
  f.node.run_for(5100);  // 0 reaped at the check after its release time; 1 and 2 marked
  EXPECT_EQ(f.service().sent_store_size(), 2u);
  EXPECT_EQ(f.node.trace_lines("REL reap "), std::vector<std::string>{"REL reap 10/0"});
  f.node.run_for(10000);
  EXPECT_EQ(f.service().sent_store_size(), 0u);

  f.in.nack(own, 1);
  f.node.run_for(600);
  EXPECT_EQ(f.counts().sorries_sent, 1u);
  EXPECT_EQ(f.counts().data_sent, 3u);

  // An acknowledger unheard for a minute no longer holds messages back.
  f.node.send(data_stream, text_of(3));
  f.node.run_for(61000);
  EXPECT_EQ(f.service().acknowledger_count(), 0u);
  EXPECT_EQ(f.service().sent_store_size(), 0u);
}

// A federation that gives a silent federate up sooner than the protocol's minute (its RID's
// federate_gone_timeout) has its services forget that federate's acknowledgements as soon.
TEST(MessageReliableSend, AFederationsGoneTimeoutShortensHowLongASilentAcknowledgerHolds) {
  test_rid_options options = rid_on_port(port_of(silent_port), 1.0);
  options.gone = 8;
  EXPECT_EQ(federation_reliable_settings(*make_test_rid(options)).acknowledger_timeout, 8000u);
  options.gone = 120;
  EXPECT_EQ(federation_reliable_settings(*make_test_rid(options)).acknowledger_timeout, 60000u);

  options.gone = 8;
  manual_node node(options, "rel_message", federation_reliable_settings(*make_test_rid(options)));
  node.manager().join(data_stream);
  injector in(node);
  const federate_identifier other{federate_identifier_type::local};
  node.send(data_stream, text_of(0));
  in.ack(other, {});
  EXPECT_EQ(node.service->acknowledger_count(), 1u);
  node.run_for(10500);  // two release checks, five seconds apart: the second finds it 10 s silent
  EXPECT_EQ(node.service->acknowledger_count(), 0u);
}

TEST(MessageReliableSend, AnIdleSenderPingsTenTimesFiveSecondsApartThenFallsSilent) {
  manual_fixture f;
  f.node.send(data_stream, "only");
  std::vector<uint64_t> times;
  for (int t = 0; t < 80000; t += 100) {
    const uint64_t before = f.counts().pings_sent;
    f.node.run_for(100);
    if (f.counts().pings_sent != before) times.push_back(f.node.clock().time());
  }
  ASSERT_EQ(times.size(), 10u);
  for (size_t i = 1; i < times.size(); ++i) EXPECT_EQ(times[i] - times[i - 1], 5000u);
  EXPECT_EQ(f.node.trace_lines("REL ping ").size(), 10u);
  f.node.send(data_stream, "again");
  f.node.run_for(5100);
  EXPECT_EQ(f.counts().pings_sent, 11u);
}

TEST(MessageReliableSend, ForeignBuffersAreRefused) {
  manual_fixture f;
  ldm_buf* foreign = f.node.manager().get_buf();
  f.service().send(data_stream, 0, foreign);
  foreign->release_buf();
  EXPECT_EQ(f.counts().messages_sent, 0u);
}

// The words of a raw message from the read position on.
std::vector<uint32_t> words_of(const received_message& m) {
  std::vector<uint32_t> words;
  for (size_t i = 0; i + 4 <= m.payload.size(); i += 4) words.push_back(load_be32(m.payload.data() + i));
  return words;
}

std::vector<uint32_t> id_words(const federate_identifier& id) {
  uint32_t host;
  uint16_t process, index;
  id.get_components(host, process, index);
  return {host, uint32_t{process} << 16 | index};
}

// Another stream manager that records the raw messages of the service's name.
struct probe_fixture {
  explicit probe_fixture(port_index port)
      : node(rid_on_port(port_of(port)), "rel_message"),
        probe(rid_on_port(port_of(port)), "rel_message") {
    node.manager().join(data_stream);
    probe.manager().join(data_stream);
    probe.manager().join(2);
  }
  // Waits until the probe holds a message of type t and returns the first.
  received_message wait_for(uint32_t t) {
    auto find = [&] {
      return std::find_if(probe.messages().begin(), probe.messages().end(),
                          [&](const received_message& m) { return !m.payload.empty() && load_be32(m.payload.data()) == t; });
    };
    tick_until({&probe}, [&] {
      node.run_for(100);
      return find() != probe.messages().end();
    }, 10000);
    return find() == probe.messages().end() ? received_message{} : *find();
  }

  manual_node node;
  transport_node probe;
};

TEST(MessageReliableWire, DataNoticeNackAckAndPingAsAnotherManagerHearsThem) {
  probe_fixture f(wire_port);
  injector in(f.node);
  const federate_identifier& own = f.node.service->get_identifier();
  const std::vector<uint32_t> me = id_words(own);
  f.node.send(data_stream, "abc", 0x05);

  const received_message data = f.wait_for(type::data);
  EXPECT_EQ(data.stream, data_stream);
  EXPECT_EQ(data.priority, 0x05);
  EXPECT_EQ(words_of(data), (std::vector<uint32_t>{1, me[0], me[1], 0, 0x61626300}));
  const received_message notice = f.wait_for(type::sequence_notice);
  EXPECT_EQ(notice.stream, 2);
  EXPECT_EQ(notice.priority, 16);
  EXPECT_EQ(words_of(notice), (std::vector<uint32_t>{2, me[0], me[1], 0, data_stream}));

  const federate_identifier sender(federate_identifier_type::local);
  const std::vector<uint32_t> them = id_words(sender);
  in.data(sender, 0);
  in.data(sender, 2);
  const received_message nack = f.wait_for(type::nack);
  EXPECT_EQ(nack.priority, 48);
  EXPECT_EQ(words_of(nack), (std::vector<uint32_t>{3, them[0], them[1], 1}));
  const received_message ack = f.wait_for(type::ack);
  EXPECT_EQ(ack.priority, 48);
  EXPECT_EQ(words_of(ack), (std::vector<uint32_t>{4, me[0], me[1], 1, them[0], them[1], 0}));
  const received_message ping = f.wait_for(type::ping);
  EXPECT_EQ(words_of(ping), (std::vector<uint32_t>{5, me[0], me[1], 1}));

  in.nack(own, 7);  // never sent: no sorry
  in.ack(sender, {{own, 0}});
  f.node.run_for(16000);  // 0 is released
  in.nack(own, 0);
  const received_message sorry = f.wait_for(type::sorry);
  EXPECT_EQ(sorry.priority, 32);
  EXPECT_EQ(words_of(sorry), (std::vector<uint32_t>{6, me[0], me[1], 0}));

  std::ostringstream out;
  f.node.service->print(out);
  EXPECT_EQ(out.str(),
            "  Messages sent: 1  Messages rcvd: 1\n  Data packages sent: 1  Data packages rcvd: 2\n"
            "  NACKs sent: " + std::to_string(f.node.service->get_counters().nacks_sent) +
                "  NACKs rcvd: 2\n  ACKs sent: " + std::to_string(f.node.service->get_counters().acks_sent) +
                "  ACKs rcvd: 1\n");
}

TEST(MessageReliableWire, AckRoundsReportASenderThreeTimesAfterADelivery) {
  manual_fixture f;
  f.in.data(f.sender, 0);
  f.node.run_for(30000);
  EXPECT_EQ(f.counts().acks_sent, 3u);
  f.in.data(f.sender, 1);
  f.node.run_for(5000);
  EXPECT_EQ(f.counts().acks_sent, 4u);
}

// Scenarios between stream managers on the real clock.

TEST(MessageReliableScenario, ALateJoinerDeliversFromItsFirstMessageOn) {
  rel_node a(rid_on_port(port_of(late_joiner_port)), "rel_message");
  rel_node b(rid_on_port(port_of(late_joiner_port)), "rel_message");
  a.manager().join(data_stream);
  b.manager().join(data_stream);
  for (int i = 0; i < 30; ++i) a.send(data_stream, text_of(i));
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 30; }, 10000, a, b));

  rel_node c(rid_on_port(port_of(late_joiner_port)), "rel_message");
  c.manager().join(data_stream);
  for (int i = 30; i < 60; ++i) a.send(data_stream, text_of(i));
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 60 && c.messages().size() == 30; }, 10000, a, b, c));
  run_until([] { return false; }, 1500, a, b, c);
  EXPECT_EQ(c.messages().size(), 30u);
  EXPECT_EQ(c.messages().front().payload, text_of(30));
  EXPECT_EQ(c.messages().back().payload, text_of(59));
  EXPECT_EQ(c.service->get_counters().nacks_sent, 0u);
  EXPECT_EQ(b.service->get_counters().nacks_sent, 0u);
}

// Times scaled for the scenarios that wait on releases and pings: a tenth of the real ones.
reliable_settings fast() { return reliable_settings().scaled(0.1); }

// The receiver misses message 1 (it has left the stream while it is sent) and the sender has
// released it by the time the NACK arrives: the sender answers sorry and the receiver moves on.
TEST(MessageReliableScenario, AMessageReleasedBeforeALateNackIsAnsweredWithSorry) {
  rel_node a(rid_on_port(port_of(sorry_port)), "rel_message", fast());
  reliable_settings slow_nacks;  // the receiver NACKs at the real pace
  rel_node b(rid_on_port(port_of(sorry_port)), "rel_message", slow_nacks);
  a.manager().join(data_stream);
  b.manager().join(data_stream);
  a.send(data_stream, text_of(0));
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 1; }, 5000, a, b));
  b.manager().leave(data_stream);
  a.send(data_stream, text_of(1));
  // Until a has released 1: its release checks mark it and reap it 1 s later.
  ASSERT_TRUE(run_until([&] { return a.service->sent_store_size() == 0; }, 10000, a));
  b.manager().join(data_stream);
  a.send(data_stream, text_of(2));
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 2; }, 20000, a, b));
  EXPECT_EQ(delivered(b), texts({0, 2}));
  EXPECT_GE(a.service->get_counters().sorries_sent, 1u);
  EXPECT_FALSE(b.trace_lines("REL sorry ").empty());
  EXPECT_EQ(b.service->get_counters().gaps_given_up, 0u);
}

// The receiver misses the sender's last message and its notice (it has left both streams);
// only the sender's ping tells it, and the resend fills the gap.
TEST(MessageReliableScenario, AnIdleSendersPingRecoversALostLastMessage) {
  rel_node a(rid_on_port(port_of(idle_sender_port)), "rel_message", fast());
  rel_node b(rid_on_port(port_of(idle_sender_port)), "rel_message", fast());
  a.manager().join(data_stream);
  b.manager().join(data_stream);
  a.send(data_stream, text_of(0));
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 1; }, 5000, a, b));
  b.manager().leave(data_stream);
  b.manager().leave(2);
  a.send(data_stream, text_of(1));
  run_until([] { return false; }, 100, a);
  b.manager().join(data_stream);
  b.manager().join(2);
  ASSERT_TRUE(run_until([&] { return b.messages().size() == 2; }, 10000, a, b));
  EXPECT_EQ(delivered(b), texts({0, 1}));
  EXPECT_GE(a.service->get_counters().pings_sent, 1u);
  EXPECT_FALSE(b.trace_lines("REL rping ").empty());
  EXPECT_GE(b.service->get_counters().nacks_sent, 1u);
  // Ten pings after the last send, then silence.
  ASSERT_TRUE(run_until([&] { return a.service->get_counters().pings_sent == 10; }, 20000, a, b));
  run_until([] { return false; }, 1500, a, b);
  EXPECT_EQ(a.service->get_counters().pings_sent, 10u);
}

}  // namespace
