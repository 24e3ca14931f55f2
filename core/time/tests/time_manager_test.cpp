// The time manager with two or three distribution managers in one process, ticked in turn on one
// stepped clock: grants against the LBTS the others' time states make, regulation and
// constraint, lookahead changes, refusals, and what happens when a regulator leaves or falls
// silent.
#include "time/time_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "case_port.h"
#include "federation/federation_manager.h"
#include "frame/ldm_error.h"
#include "buffer_pool.h"
#include "ldm_buf.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "ldm_refusals.h"
#include "stream_manager.h"
#include "stepped_federation.h"
#include "test_ldm.h"
#include "test_rid.h"
#include "time/msgorder_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

using strings = std::vector<std::string>;

// Records what the ordering manager delivers to it.
class recording_client : public msgorder_client {
public:
  std::vector<double> times;
  void deliver(ordering_service, message_order, const absolute_time* time, const event_retraction_handle&, int,
               unsigned char, ldm_buf*) override {
    times.push_back(time ? static_cast<const test_absolute_time*>(time)->value() : -1);
  }
};

class TimeManagerTest : public ::testing::Test {
protected:
  void TearDown() override { federation_.nodes.clear(); }

  // A federate joined to the test's federation, on the stepped clock, with a recording client of
  // its ordering manager.
  test_ldm& join(const char* name, int gone_s = 60, double loss = 0, uint64_t settle_ms = 50) {
    test_rid_options options;
    options.loss_probability = loss;
    options.loss_seed = static_cast<uint32_t>(federation_.nodes.size() + 7);
    options.gone = gone_s;
    options.red = std::min(gone_s - 1, options.red);
    options.amber = std::min(gone_s - 2, options.amber);
    test_ldm& ldm = federation_.join(name, options, {}, 0);
    clients_.push_back(std::make_unique<recording_client>());
    ldm.get_msgorder_manager()->register_client(*clients_.back());
    settle(settle_ms);
    return ldm;
  }

  recording_client& client(test_ldm& ldm) {
    for (size_t i = 0; i < federation_.nodes.size(); ++i)
      if (federation_.nodes[i].get() == &ldm) return *clients_[i];
    throw "not a federate of the test";
  }

  // A reliable time-stamped message from the federate's client; a priority without 0x80 lets it
  // wait in its stream's bundle.
  void send_stamped(test_ldm& from, double time, int stream = 2, unsigned char priority = 0x80) {
    msgorder_manager& order = *from.get_msgorder_manager();
    event_retraction_handle handle;
    const test_absolute_time stamp(time);
    ldm_buf* buffer = order.get_buf(client(from), ordering_service::reliable, message_order::timestamp, &stamp, handle);
    order.send(ordering_service::reliable, stream, priority, buffer);
    buffer->release_buf();
  }

  static time_manager& tm(test_ldm& ldm) { return *ldm.get_time_manager(); }

  bool tick_until(const std::function<bool()>& done, uint64_t ms, const std::vector<test_ldm*>& only = {}) {
    return federation_.tick_until(done, ms, only);
  }
  void settle(uint64_t ms) { federation_.settle(ms); }

  static bool heard(test_ldm& ldm, const std::string& line) {
    return std::find(ldm.callbacks.begin(), ldm.callbacks.end(), line) != ldm.callbacks.end();
  }
  static double lbts(test_ldm& ldm) {
    test_absolute_time t;
    ldm.query_lbts(t);
    return t.value();
  }

  std::vector<std::unique_ptr<recording_client>> clients_;  // outlive the federates they registered with
  stepped_federation federation_{case_port(port_block::time_manager_test), "Time"};
};

using T = test_absolute_time;
using L = test_relative_time;

TEST_F(TimeManagerTest, GrantsFollowTheLbtsAndRegulationStartsNoEarlierThanItAllows) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  a.enable_time_constrained();
  a.time_advance_request(T(5));  // no regulator: the LBTS is infinite
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 5"); }, 100));

  b.enable_time_regulation(T(0), L(2));
  ASSERT_TRUE(tick_until([&] { return lbts(a) == 2; }, 100));
  a.time_advance_request(T(10));
  settle(100);
  EXPECT_FALSE(heard(a, "timeAdvanceGrant 10"));
  b.time_advance_request(T(20));  // b is not constrained: granted at once
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 10"); }, 100));
  EXPECT_TRUE(heard(b, "timeAdvanceGrant 20"));
  EXPECT_EQ(lbts(a), 22);

  // A new regulator starts at LBTS - lookahead when that is later than the time it asks for.
  test_ldm& c = join("charlie");
  ASSERT_TRUE(tick_until([&] { return lbts(c) == 22; }, 1500)) << "b's state comes at least once a second";
  c.enable_time_regulation(T(3), L(1));
  c.tick();
  EXPECT_TRUE(heard(c, "timeRegulationEnabled 21"));
  test_absolute_time now;
  c.query_federate_time(now);
  EXPECT_EQ(now.value(), 21);
}

// The LBTS is closed only while the regulator that sets it has no lookahead and its last advance
// was a TAR or NER: it then sends strictly after its time. A zero-lookahead TAR at the LBTS waits
// for that.
// A federate that joins while another regulates must not advance on the infinite LBTS of not
// knowing it: it waits to hear every federate's state, which each sends when it sees the join.
TEST_F(TimeManagerTest, AFederateThatJoinsLateIsHeldByTheRegulatorsAtOnce) {
  test_ldm& a = join("alpha");
  join("idle");  // neither regulating nor constrained: it still tells the newcomer so
  a.enable_time_regulation(T(0), L(1));
  settle(1200);
  test_ldm& b = join("bravo", 60, 0, 0);
  b.enable_time_constrained();
  ASSERT_TRUE(tick_until([&] { return heard(b, "timeConstrainedEnabled 0"); }, 500));
  b.time_advance_request(T(10));
  settle(300);
  EXPECT_FALSE(heard(b, "timeAdvanceGrant 10"));
  EXPECT_EQ(lbts(b), 1);
}

// A regulator that joins while the others are far ahead must not start at the time it asks
// for before it has heard theirs: its messages would land in their past and arrive late.
TEST_F(TimeManagerTest, ARegulatorThatJoinsLateStartsAtTheOthersTimeOnceItHasHeardThem) {
  test_ldm& a = join("alpha");
  a.enable_time_regulation(T(0), L(1));
  a.time_advance_request(T(20));  // not constrained: granted at once
  settle(1200);
  test_ldm& b = join("bravo", 60, 0, 0);
  b.enable_time_regulation(T(0), L(1));
  EXPECT_FALSE(tm(b).is_regulating());
  expect_refusal(refusal_of([&] { b.time_advance_request(T(1)); }), ldm_error::RequestForTimeRegulationPending,
                 "Time regulation enable is pending");
  expect_refusal(refusal_of([&] { b.enable_time_regulation(T(0), L(1)); }), ldm_error::RequestForTimeRegulationPending,
                 "Time regulation enable is pending");
  ASSERT_TRUE(tick_until([&] { return tm(b).is_regulating(); }, 3500));
  EXPECT_TRUE(heard(b, "timeRegulationEnabled 20")) << "alpha's 20 plus its lookahead, less bravo's";
}

TEST_F(TimeManagerTest, AZeroLookaheadRequestAtTheLbtsWaitsUntilItIsClosed) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  a.enable_time_constrained();
  b.enable_time_regulation(T(0), L(0));  // its last advance counts as TARA: the LBTS of 0 is open
  ASSERT_TRUE(tick_until([&] { return tm(a).remote_count() == 1; }, 1500));
  a.time_advance_request(T(0));
  settle(100);
  EXPECT_FALSE(heard(a, "timeAdvanceGrant 0"));
  b.time_advance_request(T(0));  // a TAR without lookahead: the same LBTS, now closed
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 0"); }, 100));

  // With a lookahead the regulator may send at exactly its time plus lookahead: open again.
  b.modify_lookahead(L(2));
  b.time_advance_request(T(1));
  ASSERT_TRUE(tick_until([&] { return lbts(a) == 3; }, 100));
  a.time_advance_request(T(3));
  settle(100);
  EXPECT_FALSE(heard(a, "timeAdvanceGrant 3"));
  b.time_advance_request(T(2));
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 3"); }, 100));
  // The available form takes the LBTS itself.
  a.time_advance_request_available(T(4));
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 4"); }, 100));
}

TEST_F(TimeManagerTest, NextEventRequestIsGrantedAtTheEarliestQueuedMessage) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  a.enable_time_constrained();
  b.enable_time_regulation(T(0), L(2));
  settle(100);
  send_stamped(b, 5);
  b.time_advance_request(T(5));  // LBTS at a becomes 7
  ASSERT_TRUE(tick_until([&] { return lbts(a) == 7 && a.get_msgorder_manager()->timestamp_order_length() == 1; }, 500));
  a.next_event_request(T(10));
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 5"); }, 100));
  EXPECT_EQ(client(a).times, std::vector<double>{5});
  test_absolute_time next;
  a.query_min_next_event_time(next);
  EXPECT_EQ(next.value(), 7);
}

TEST_F(TimeManagerTest, ALookaheadReductionWaitsForTheAdvancesThatMakeRoom) {
  test_ldm& a = join("alpha");
  a.enable_time_regulation(T(0), L(10));
  a.modify_lookahead(L(2));
  a.time_advance_request(T(3));
  test_relative_time lookahead;
  a.query_lookahead(lookahead);
  EXPECT_EQ(lookahead.value(), 7);
  a.time_advance_request(T(13));
  a.query_lookahead(lookahead);
  EXPECT_EQ(lookahead.value(), 2);
  a.modify_lookahead(L(4));  // an increase counts at once
  a.query_lookahead(lookahead);
  EXPECT_EQ(lookahead.value(), 4);
}

TEST_F(TimeManagerTest, RefusedCallsChangeNothing) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  expect_refusal(refusal_of([&] { a.enable_time_regulation(T(0), L(-1)); }), ldm_error::InvalidLookahead,
                 "Negative lookahead");
  b.enable_time_regulation(T(0), L(1));
  ASSERT_TRUE(tick_until([&] { return lbts(a) == 1; }, 100));
  a.enable_time_regulation(T(5), L(1));  // its time plus lookahead, 6, is past the LBTS
  a.enable_time_constrained();
  EXPECT_FALSE(tm(a).is_constrained());
  expect_refusal(refusal_of([&] { a.enable_time_constrained(); }), ldm_error::RequestForTimeConstrainedPending,
                 "Time constrained enable is pending");
  expect_refusal(refusal_of([&] { a.time_advance_request(T(6)); }), ldm_error::RequestForTimeConstrainedPending,
                 "Time constrained enable is pending");
  expect_refusal(refusal_of([&] { a.time_advance_request(T(4)); }), ldm_error::RequestForTimeConstrainedPending,
                 "Time constrained enable is pending");
  handle_value_set* none = new handle_value_set(0);
  expect_refusal(refusal_of([&] { a.send_interaction(1, *none, T(5.5), user_tag()); }), ldm_error::InvalidLogicalTime,
                 "This time is in the past in call to sendInteractionWithTime (5.500000 < 6.000000)");
  none->down_refcount();
  b.time_advance_request(T(10));  // the LBTS passes 6: the constraint comes
  ASSERT_TRUE(tick_until([&] { return tm(a).is_constrained(); }, 100));
  expect_refusal(refusal_of([&] { a.time_advance_request(T(4)); }), ldm_error::LogicalTimeAlreadyPassed,
                 "This time is in the past (4.000000 < 5.000000)");
}

TEST_F(TimeManagerTest, EndingConstraintGrantsThePendingAdvance) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  b.enable_time_regulation(T(0), L(1));
  a.enable_time_constrained();
  ASSERT_TRUE(tick_until([&] { return lbts(a) == 1; }, 100));
  a.time_advance_request(T(10));
  settle(50);
  a.disable_time_constrained();
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 10"); }, 10));
  EXPECT_FALSE(tm(a).is_advancing());
}

TEST_F(TimeManagerTest, ARegulatorThatResignsFreesTheOthersAtOnceAndASilentOneOnlyWhenGone) {
  test_ldm& a = join("alpha", 20);
  test_ldm& b = join("bravo", 20);
  test_ldm& c = join("charlie", 20);
  a.enable_time_constrained();
  b.enable_time_regulation(T(0), L(1));
  c.enable_time_regulation(T(0), L(1));
  ASSERT_TRUE(tick_until([&] { return tm(a).remote_count() == 2; }, 200));
  a.time_advance_request(T(10));
  b.resign_federation_execution(false, false, false);
  settle(100);
  EXPECT_EQ(tm(a).remote_count(), 1u) << "the resign's last state removes bravo";

  // charlie falls silent: ten seconds only warn; the federation manager's gone ends the wait.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(tick_until([&] { return heard(a, "timeAdvanceGrant 10"); }, 12000, {&a}));
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Warning: Waiting on slowpoke federate: charlie"),
            std::string::npos);
  EXPECT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 10"); }, 10000, {&a}));
}

// A late message (stamped below the federate's own time) is delivered, but a next event request
// never grants below the own time.
TEST_F(TimeManagerTest, ALateMessageNeverPullsAGrantBelowTheOwnTime) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  a.enable_time_constrained();
  a.time_advance_request(T(10));  // no regulator yet
  ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 10"); }, 100));
  b.enable_time_regulation(T(0), L(0));
  ASSERT_TRUE(tick_until([&] { return tm(a).remote_count() == 1; }, 1500));
  send_stamped(b, 5);
  ASSERT_TRUE(tick_until([&] { return a.get_msgorder_manager()->timestamp_order_length() == 1; }, 500));
  a.next_event_request(T(12));
  b.time_advance_request(T(20));
  ASSERT_TRUE(tick_until([&] { return !tm(a).is_advancing(); }, 500));
  EXPECT_EQ(a.callbacks.back(), "timeAdvanceGrant 10");
  EXPECT_EQ(client(a).times, std::vector<double>{5});
  EXPECT_EQ(a.get_msgorder_manager()->late_messages(), 1u);
}

// A state heard before its sender's first heartbeat counts at once; the record goes when the
// federate would have been declared gone without ever being heard of.
TEST_F(TimeManagerTest, AStateFromAnUnknownFederateCountsUntilItsGoneTimeout) {
  test_ldm& a = join("alpha", 5);
  a.enable_time_constrained();
  time_state_message state;
  state.sender.set_components(0x7F000001, 4321, 9);
  state.regulating = true;
  state.time = std::make_unique<T>(3);
  state.lookahead = std::make_unique<L>(1);
  state.last = advance_type::tar;
  state.reliable_sender.set_components(0x7F000001, 4321, 10);
  buffer_manager_factory factory(1, 0);
  buffer_pool_manager* pool = factory.get_pool(1448);
  ldm_buf* buffer = pool->get_buf();
  state.write(*buffer);
  buffer->set_iptr(ldm_buf::message_header_size);
  tm(a).receive(2, 176, buffer);
  buffer->release_buf();
  pool->destroy();
  EXPECT_EQ(tm(a).remote_count(), 1u);
  EXPECT_EQ(lbts(a), 4);
  a.time_advance_request(T(6));
  EXPECT_FALSE(tick_until([&] { return heard(a, "timeAdvanceGrant 6"); }, 4000));
  EXPECT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant 6"); }, 2000));
  EXPECT_EQ(tm(a).remote_count(), 0u);
}

// Each sender's time state names its next reliable sequence: a receiver counts it only once the
// reliable time-stamped messages sent before it have arrived, so a lost message holds the grant
// instead of arriving in the receiver's past.
TEST_F(TimeManagerTest, LostReliableMessagesHoldTheGrantInsteadOfArrivingLate) {
  test_ldm& a = join("alpha", 60, 0.1);
  test_ldm& b = join("bravo", 60, 0.1);
  test_ldm& c = join("charlie", 60, 0.1);
  constexpr int data_stream = 300;
  a.get_stream_manager().join(data_stream);
  a.enable_time_constrained();
  b.enable_time_regulation(T(0), L(1));
  c.enable_time_regulation(T(0), L(1));
  ASSERT_TRUE(tick_until([&] { return tm(a).remote_count() == 2; }, 5000));
  constexpr int steps = 40;
  for (int step = 1; step <= steps; ++step) {
    for (test_ldm* regulator : {&b, &c}) {
      send_stamped(*regulator, step, data_stream, 0x10);
      regulator->time_advance_request(T(step));
    }
    a.time_advance_request(T(step));
    ASSERT_TRUE(tick_until([&] { return heard(a, "timeAdvanceGrant " + std::to_string(step)); }, 60000)) << step;
    // Every message at or before the grant is in; none waits below it.
    EXPECT_EQ(client(a).times.size(), static_cast<size_t>(2 * step)) << step;
  }
  EXPECT_TRUE(std::is_sorted(client(a).times.begin(), client(a).times.end()));
  EXPECT_EQ(a.get_msgorder_manager()->late_messages(), 0u);
  uint64_t lost = 0;
  for (test_ldm* f : {&b, &c}) lost += f->get_stream_manager().get_drops().lost;
  EXPECT_GT(lost, 0u) << "the loss stage lost nothing: the test shows nothing";
}

}  // namespace
