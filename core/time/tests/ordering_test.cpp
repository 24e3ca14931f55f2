// The message ordering layer and retraction. One federate takes hand-made messages straight
// into its ordering manager (queue order, releases, flushes, retractions, late and malformed
// messages); federates in one process on one stepped clock send to each other through the real
// message services, with and without packet loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "case_port.h"
#include "frame/ldm_error.h"
#include "ldm_buf.h"
#include "ldm_refusals.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_rid.h"
#include "time/msgorder_manager.h"
#include "time/ordering_messages.h"
#include "time/retraction_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr int data_stream = 10;

// One line per delivered message: "<payload>@<time> <serial>/<federate> <RO|TSO>", the time
// "-" when none. A payload "undecodable" makes it read past the message, as a client finding a
// malformed payload does.
class recording_client : public msgorder_client {
public:
  void deliver(ordering_service, message_order order, const absolute_time* time, const event_retraction_handle& handle,
               int, unsigned char, ldm_buf* buffer) override {
    const char* payload;
    *buffer >> payload;
    if (std::string(payload) == "undecodable") buffer->read_4();
    std::string line = payload;
    line += "@" + (time ? number(static_cast<const test_absolute_time*>(time)->value()) : std::string("-"));
    line += " " + std::to_string(handle.serial) + "/" + std::to_string(handle.federate);
    line += order == message_order::timestamp ? " TSO" : " RO";
    lines.push_back(line);
    if (time) times.push_back(static_cast<const test_absolute_time*>(time)->value());
  }

  static std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }

  std::vector<std::string> lines;
  std::vector<double> times;
};

// Federates of the demo model in one process on one stepped clock, each with a recording
// client registered with its ordering manager and stream 10 joined.
class Ordering : public ::testing::Test {
protected:
  void TearDown() override {
    nodes_.clear();
    clients_.clear();
    spares_.clear();
  }

  void start(int count, const test_rid_options& options) { start(count, test_rid_text(options)); }
  void start(int count, const std::string& rid_text) {
    const scoped_rid_file rid(rid_text);
    for (int i = 0; i < count; ++i) nodes_.push_back(std::make_unique<test_ldm>(clock_));
    // A federation is announced once a federate has joined it.
    nodes_[0]->create_federation_execution("Order", EXAMPLES_DIR "/demo.fed");
    nodes_[0]->join_federation_execution("fed0", "Order");
    ASSERT_TRUE(tick_until([&] {
      for (auto& node : nodes_)
        if (!node->get_federation_manager().get_federations().count("Order")) return false;
      return true;
    }));
    for (int i = 0; i < count; ++i) {
      if (i > 0) nodes_[i]->join_federation_execution(("fed" + std::to_string(i)).c_str(), "Order");
      nodes_[i]->get_stream_manager().join(data_stream);
      clients_.push_back(std::make_unique<recording_client>());
      order(i).register_client(*clients_[i]);
    }
  }
  test_rid_options options() const {
    test_rid_options o;
    o.port = case_port(port_block::ordering_test);
    return o;
  }

  msgorder_manager& order(int i) { return *nodes_[i]->get_msgorder_manager(); }
  recording_client& client(int i) { return *clients_[i]; }
  // Registers one more client with federate i.
  recording_client& spare(int i) {
    spares_.push_back(std::make_unique<recording_client>());
    order(i).register_client(*spares_.back());
    return *spares_.back();
  }
  std::vector<std::string>& lines(int i) { return clients_[i]->lines; }

  // Ticks every federate in turn, a stepped 5 ms apart, until done() holds; false after
  // timeout_s stepped seconds.
  bool tick_until(const std::function<bool()>& done, double timeout_s = 60) {
    const uint64_t end = clock_.counter + static_cast<uint64_t>(timeout_s * 1000);
    while (clock_.counter < end) {
      for (auto& node : nodes_) node->tick();
      if (done()) return true;
      clock_.advance(5);
    }
    return false;
  }

  // Sends payload from federate i with the time (none when NaN) through the service, and the
  // streams it stamped right after, as the time manager does before its state. Returns the
  // handle the message got; handle in passes one from an earlier group.
  event_retraction_handle send(int i, const std::string& payload, double time,
                               ordering_service service = ordering_service::reliable,
                               event_retraction_handle handle = {}, msgorder_client* from = nullptr) {
    const test_absolute_time stamp(time);
    ldm_buf* buffer = order(i).get_buf(from ? *from : client(i), service, message_order::timestamp,
                                       std::isnan(time) ? nullptr : &stamp, handle);
    *buffer << payload.c_str();
    order(i).send(service, data_stream, 0, buffer);
    buffer->release_buf();
    taken_ = order(i).take_timestamped_streams();
    for (int stream : taken_) nodes_[i]->get_stream_manager().flush(stream);
    return handle;
  }

  // A message as the services hand it over: the ordering header, then a payload.
  void inject(int i, const std::function<void(ldm_buf&)>& write) {
    ldm_buf* buffer = nodes_[i]->get_stream_manager().get_buf();
    write(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    order(i).receive(data_stream, 0, buffer);
    buffer->release_buf();
  }
  // The header names the recording client unless told otherwise: the federate's own clients
  // (objects, transports) registered before it.
  void inject_tso(int i, const std::string& payload, double time, uint32_t serial) {
    inject(i, [&](ldm_buf& b) {
      ordering_header header;
      header.order = message_order::timestamp;
      header.client = static_cast<uint8_t>(client(i).get_index());
      header.time = std::make_unique<test_absolute_time>(time);
      header.handle = {serial, 99};
      header.write(b);
      b << payload.c_str();
    });
  }
  void inject_words(int i, std::initializer_list<uint32_t> words, const char* payload = "x") {
    inject(i, [&](ldm_buf& b) {
      for (uint32_t w : words) b.write_4(w);
      if (payload) b << payload;
    });
  }

  void release(int i, double up_to) {
    const test_absolute_time t(up_to);
    order(i).release(&t);
  }

  manual_clock clock_;  // outlives the federates that read it
  std::vector<std::unique_ptr<test_ldm>> nodes_;
  std::vector<std::unique_ptr<recording_client>> clients_;
  std::vector<std::unique_ptr<recording_client>> spares_;
  std::vector<int> taken_;  // the streams the last send stamped
};

using strings = std::vector<std::string>;

TEST_F(Ordering, ReleasesDeliverInTimeOrderEqualStampsInArrivalOrder) {
  start(1, options());
  order(0).set_constrained(true);
  inject_tso(0, "five", 5, 1);
  inject_tso(0, "three", 3, 2);
  inject_tso(0, "four", 4, 3);
  inject_tso(0, "three-b", 3, 4);
  test_absolute_time earliest;
  ASSERT_TRUE(order(0).earliest_time(earliest));
  EXPECT_EQ(earliest.value(), 3);
  release(0, 3);
  EXPECT_EQ(lines(0), (strings{"three@3 2/99 TSO", "three-b@3 4/99 TSO"}));
  release(0, 10);
  EXPECT_EQ(lines(0), (strings{"three@3 2/99 TSO", "three-b@3 4/99 TSO", "four@4 3/99 TSO", "five@5 1/99 TSO"}));
  EXPECT_FALSE(order(0).earliest_time(earliest));
  EXPECT_EQ(order(0).late_messages(), 0u);
}

// A flush keeps what a retraction needs: retracting a flushed message answers "delivered"
// until a release passes its time. A pending message, and every group sharing its handle, is
// removed silently.
TEST_F(Ordering, RetractionRemovesPendingMessagesAndAnswersForFlushedOnes) {
  start(1, options());
  order(0).set_constrained(true);
  inject_tso(0, "a", 5, 1);
  inject_tso(0, "b1", 6, 2);
  inject_tso(0, "b2", 8, 2);
  inject_tso(0, "c", 7, 3);
  EXPECT_FALSE(order(0).retract({2, 99}));
  EXPECT_EQ(order(0).timestamp_order_length(), 2u);
  order(0).release(nullptr);
  EXPECT_EQ(lines(0), (strings{"a@5 1/99 TSO", "c@7 3/99 TSO"}));
  EXPECT_TRUE(order(0).retract({3, 99}));
  EXPECT_FALSE(order(0).retract({3, 99})) << "answered once";
  release(0, 5);
  EXPECT_FALSE(order(0).retract({1, 99})) << "forgotten once a release passed its time";
  EXPECT_FALSE(order(0).retract({42, 99}));
}

// A retraction travels on stream 2 and may overtake its message on the class's stream: the
// message, every group of it, is dropped when it arrives; others from the sender still come.
TEST_F(Ordering, ARetractionThatArrivesBeforeItsMessageStillRemovesIt) {
  start(1, options());
  order(0).set_constrained(true);
  EXPECT_FALSE(order(0).retract({2, 99}));
  inject_tso(0, "a", 5, 1);
  inject_tso(0, "b1", 6, 2);
  inject_tso(0, "b2", 8, 2);
  release(0, 10);
  EXPECT_EQ(lines(0), (strings{"a@5 1/99 TSO"}));
}

// A message below the time already released breaks a promise somewhere: it is counted, warned
// about once and delivered at the next release. One stamped exactly at it keeps the order.
TEST_F(Ordering, LateMessagesAreCountedWarnedOnceAndDeliveredAtTheNextRelease) {
  start(1, options());
  order(0).set_constrained(true);
  release(0, 10);
  testing::internal::CaptureStderr();
  inject_tso(0, "late", 9, 1);
  inject_tso(0, "at-the-release", 10, 2);
  inject_tso(0, "fine", 11, 3);
  const std::string warned = testing::internal::GetCapturedStderr();
  EXPECT_EQ(warned.find("tso_queue: a time stamped message at 9"), 0u) << warned;
  EXPECT_EQ(warned.find('\n'), warned.size() - 1) << "one line: " << warned;
  EXPECT_EQ(order(0).late_messages(), 1u);
  EXPECT_EQ(order(0).timestamp_order_length(), 3u);
  release(0, 10);
  EXPECT_EQ(lines(0), (strings{"late@9 1/99 TSO", "at-the-release@10 2/99 TSO"}));
}

// Nothing from the network is thrown out of receive: each bad header is dropped and counted
// by reason, and a client's decode failure is counted per message.
TEST_F(Ordering, BadHeadersAreDroppedAndCounted) {
  start(1, options());
  order(0).set_constrained(true);
  const uint32_t tso = 1u << 16, flag = ordering_header::time_flag;
  char nan_bytes[8];
  test_time_detail::encode_double(std::numeric_limits<double>::quiet_NaN(), nan_bytes);
  inject_words(0, {}, nullptr);                    // truncated: no header word
  inject_words(0, {flag | tso, 8}, nullptr);       // truncated: no time bytes
  inject_words(0, {0x01000000});                   // reserved bit
  inject_words(0, {2u << 16});                     // order 2
  inject_words(0, {3u << 8});                      // service 3
  inject_words(0, {tso, 1, 99});                   // time stamp order without a time
  inject_words(0, {flag | tso, 0});                // time length 0
  inject_words(0, {flag | tso, 65});               // time length past the limit
  inject_words(0, {flag | tso, 4, 0x40000000});    // too short for the federate's time
  inject(0, [&](ldm_buf& b) {                      // NaN
    b.write_4(flag | tso);
    b.write_4(8);
    b.write_os(nan_bytes, 8);
    b.write_4(1);
    b.write_4(99);
  });
  inject_words(0, {200});  // client 200: none registered
  inject_tso(0, "undecodable", 1, 5);
  const uint32_t recorder = static_cast<uint32_t>(client(0).get_index());
  inject_words(0, {recorder}, "good");  // receive order
  inject_words(0, {recorder}, "undecodable");

  const msgorder_manager::receive_counters& c = order(0).counters();
  EXPECT_EQ(c.truncated, 2u);
  EXPECT_EQ(c.bad_field, 3u);
  EXPECT_EQ(c.bad_time, 5u);
  EXPECT_EQ(c.unknown_client, 1u);
  EXPECT_EQ(c.received, 3u);
  release(0, 2);
  EXPECT_EQ(lines(0), (strings{"good@- 0/0 RO"}));
  EXPECT_EQ(order(0).undecodable_messages(), 2u);
  EXPECT_EQ(order(0).timestamp_order_length(), 0u);
}

// Past the RID's warning length a queue says so once and counts, and drops nothing.
TEST_F(Ordering, QueuesWarnOncePastTheirWarningLengthAndKeepEverything) {
  std::string text = test_rid_text(options());
  const size_t flags = text.find("(debug_flags");
  ASSERT_NE(flags, std::string::npos);
  start(1, text.insert(flags, "(ordering (queue_warning_length 2))\n    "));
  order(0).set_constrained(true);
  order(0).set_deliver_at_once(false);
  testing::internal::CaptureStderr();
  for (const char* payload : {"a", "b", "c", "d"})
    inject_words(0, {static_cast<uint32_t>(client(0).get_index())}, payload);
  const std::string warned = testing::internal::GetCapturedStderr();
  EXPECT_EQ(warned, "ro_queue: 3 messages queued, more than the warning length 2; delivery is falling behind\n");
  EXPECT_EQ(order(0).messages_over_warning_length(), 2u);
  EXPECT_EQ(order(0).receive_order_length(), 4u);
  order(0).deliver_receive_order();
  EXPECT_EQ(lines(0), (strings{"a@- 0/0 RO", "b@- 0/0 RO", "c@- 0/0 RO", "d@- 0/0 RO"}));
}

TEST_F(Ordering, RegistrationIsBoundedByTheHeadersIndex) {
  start(1, options());
  std::vector<recording_client> more(msgorder_manager::max_clients - 1 - client(0).get_index());
  for (recording_client& c : more) order(0).register_client(c);
  EXPECT_EQ(more.back().get_index(), 255);
  recording_client one_too_many;
  expect_refusal(refusal_of([&] { order(0).register_client(one_too_many); }), ldm_error::InternalError,
                 "msgorder_manager: no room for another client; the ordering header names at most 256");
  expect_refusal(refusal_of([&] { order(0).register_client(client(0)); }), ldm_error::InternalError,
                 "msgorder_manager: client " + std::to_string(client(0).get_index()) + " is registered already");
}

// Between federates: a constrained one holds time-stamped messages for release; one that is
// not constrained gets them at once in receive order; one that is not regulating sends only
// receive order. Handles count per federate across its clients, the groups of one update share
// one, and retraction reaches the receivers' queues.
TEST_F(Ordering, FederatesOrderRetractAndAskForRetractionsBetweenThemselves) {
  start(3, options());
  order(0).set_regulating(true);
  order(1).set_constrained(true);
  order(2).set_constrained(false);
  const unsigned a = nodes_[0]->get_federate_id();
  recording_client& second = spare(0);
  recording_client& second_at_1 = spare(1);  // the same index on every federate
  spare(2);

  const event_retraction_handle first = send(0, "first", 5);
  EXPECT_EQ(first.serial, 1u);
  EXPECT_EQ(first.federate, a);
  EXPECT_EQ(taken_, std::vector<int>{data_stream});
  const event_retraction_handle group = send(0, "group1", 7, ordering_service::best_effort);
  EXPECT_EQ(send(0, "group2", 8, ordering_service::oneshot, group), group);
  const event_retraction_handle other = send(0, "other", 9, ordering_service::reliable, {}, &second);
  EXPECT_EQ(other.serial, 3u) << "one serial counter for the federate";
  EXPECT_EQ(send(2, "unregulated", 4), event_retraction_handle{});
  EXPECT_TRUE(taken_.empty());
  ASSERT_TRUE(tick_until([&] {
    return order(1).timestamp_order_length() == 4 && lines(2).size() == 3 && lines(0).size() == 1 &&
           lines(1).size() == 1;
  }));
  EXPECT_EQ(lines(0), (strings{"unregulated@- 0/0 RO"}));
  EXPECT_EQ(lines(1), (strings{"unregulated@- 0/0 RO"}));
  EXPECT_EQ(lines(2), (strings{"first@5 0/0 RO", "group1@7 0/0 RO", "group2@8 0/0 RO"}));
  EXPECT_EQ(spares_.back()->lines, (strings{"other@9 0/0 RO"}));

  // Retracting the shared handle removes both groups; a flush delivers the rest; a retraction
  // of a flushed message turns into a request to the federate; a release forgets the rest.
  nodes_[0]->do_retract(group);
  ASSERT_TRUE(tick_until([&] { return order(1).timestamp_order_length() == 2; }));
  order(1).release(nullptr);
  EXPECT_EQ(lines(1), (strings{"unregulated@- 0/0 RO", "first@5 1/" + std::to_string(a) + " TSO"}));
  EXPECT_EQ(second_at_1.lines, (strings{"other@9 3/" + std::to_string(a) + " TSO"}));
  nodes_[0]->do_retract(first);
  const std::string request = "requestRetraction 1/" + std::to_string(a);
  ASSERT_TRUE(tick_until([&] { return !nodes_[1]->callbacks.empty(); }));
  EXPECT_EQ(nodes_[1]->callbacks, strings{request});
  release(1, 10);
  nodes_[0]->do_retract(other);
  EXPECT_FALSE(tick_until([&] { return nodes_[1]->callbacks.size() > 1; }, 3));
  EXPECT_EQ(nodes_[1]->get_retraction_manager()->get_counters().received, 3u);

  // Only this federate's own handles can be retracted.
  const event_retraction_handle foreign{1, nodes_[1]->get_federate_id()};
  expect_refusal(refusal_of([&] { nodes_[0]->do_retract(foreign); }), ldm_error::InvalidRetractionHandle,
                 "Handle not from a valid event");
}

// Reliable time-stamped messages from three regulating federates at 10% packet loss: once the
// fence (every sender's next sequence delivered) holds, one release delivers everything each
// receiver was sent, in time order, with each sender's equal stamps in its sending order.
TEST_F(Ordering, ReliableTimeStampedMessagesArriveInTimeOrderDespiteLoss) {
  for (uint32_t seed : {7u, 19u}) {
    SCOPED_TRACE(seed);
    test_rid_options o = options();
    o.loss_probability = 0.10;
    o.loss_seed = seed;
    start(3, o);
    constexpr int per_sender = 30;
    for (int i = 0; i < 3; ++i) {
      order(i).set_regulating(true);
      order(i).set_constrained(true);
    }
    for (int k = 0; k < per_sender; ++k)
      for (int i = 0; i < 3; ++i) send(i, std::to_string(i) + "-" + std::to_string(k), 1 + (k * 7 + i * 3) % 20);
    ASSERT_TRUE(tick_until([&] {
      for (int r = 0; r < 3; ++r)
        for (int s = 0; s < 3; ++s)
          if (r != s && !order(r).reliable_delivered_up_to(order(s).reliable_identifier(),
                                                            order(s).next_reliable_sequence()))
            return false;
      return true;
    }, 300));
    uint64_t lost = 0;
    for (auto& node : nodes_) lost += node->get_stream_manager().get_drops().lost;
    EXPECT_GT(lost, 5u) << "the loss stage was at work";
    for (int r = 0; r < 3; ++r) {
      SCOPED_TRACE(r);
      EXPECT_TRUE(lines(r).empty());
      release(r, 20);
      ASSERT_EQ(lines(r).size(), 2u * per_sender);
      EXPECT_TRUE(std::is_sorted(client(r).times.begin(), client(r).times.end()));
      std::map<std::pair<double, int>, int> last_k;  // (time, sender) -> last message number seen
      for (const std::string& line : lines(r)) {
        const int sender = std::stoi(line.substr(0, line.find('-')));
        const int k = std::stoi(line.substr(line.find('-') + 1));
        auto [it, fresh] = last_k.emplace(std::make_pair(1 + (k * 7 + sender * 3) % 20, sender), k);
        if (!fresh) {
          EXPECT_LT(it->second, k) << line;
        }
        it->second = k;
      }
      EXPECT_EQ(order(r).late_messages(), 0u);
      EXPECT_EQ(order(r).timestamp_order_length(), 0u);
      const ordering_message_counts counts = nodes_[r]->get_ordering_message_counts();
      EXPECT_EQ(counts.reliable_sent, uint64_t{per_sender});
      EXPECT_EQ(counts.reliable_received, 2u * per_sender);
      EXPECT_EQ(counts.reliable_given_up, 0u);
      EXPECT_EQ(counts.best_effort_sent + counts.oneshot_sent + counts.late, 0u);
    }
    EXPECT_TRUE(order(0).reliable_delivered_up_to(order(1).reliable_identifier(), 0)) << "nothing sent";
    TearDown();
  }
}

}  // namespace
