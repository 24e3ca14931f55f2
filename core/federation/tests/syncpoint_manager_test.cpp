// Synchronization points among federates in one process on a stepped clock: who is announced,
// when a point holds, what a federate that goes or joins late changes, and repeats that arrive
// after the point completed.
#include "federation/syncpoint_manager.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "case_port.h"
#include "federation/federate_handle_set.h"
#include "frame/debugging_events.h"
#include "ldm_buf.h"
#include "ldm_refusals.h"
#include "messages/user_tag.h"
#include "stepped_federation.h"

using namespace brindle;
using namespace varnel;

namespace {

class SyncpointTest : public ::testing::Test {
protected:
  test_ldm& join(const char* name) {
    return federation_.join(name, {.heartbeat = 1, .amber = 2, .red = 3, .gone = 4});
  }

  static syncpoint_manager& points(test_ldm& ldm) { return *ldm.get_syncpoint_manager(); }
  static size_t heard(const test_ldm& ldm, const std::string& line) {
    return std::count(ldm.callbacks.begin(), ldm.callbacks.end(), line);
  }
  bool all_heard(const std::vector<test_ldm*>& federates, const std::string& line, uint64_t ms = 500) {
    return federation_.tick_until(
        [&] { return std::all_of(federates.begin(), federates.end(), [&](test_ldm* f) { return heard(*f, line); }); },
        ms);
  }
  void settle(uint64_t ms, const std::vector<test_ldm*>& only = {}) { federation_.settle(ms, only); }

  static void expect_not_announced(test_ldm& ldm, const char* label) {
    expect_refusal(refusal_of([&] { ldm.synchronization_point_achieved(label); }),
                   ldm_error::SynchronizationPointLabelNotAnnounced, label);
  }

  // A message as another federate would have sent it, delivered straight to the manager.
  void inject(test_ldm& to, const syncpoint_message& message) {
    ldm_buf* buffer = federation_.received([&](ldm_buf& out) { message.write(out); });
    points(to).receive(syncpoint_manager::stream, syncpoint_manager::priority, buffer);
    buffer->release_buf();
  }

  stepped_federation federation_{case_port(port_block::syncpoint_manager_test), "Sync"};
  const user_tag tag_{"tag"};
};

TEST_F(SyncpointTest, APointIsAnnouncedToItsMembersAndHoldsOnceEachHasReportedOnce) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  test_ldm& c = join("charlie");

  a.register_federation_synchronization_point("A", tag_);
  a.register_federation_synchronization_point("A", tag_);
  ASSERT_TRUE(all_heard({&a, &b, &c}, "announceSynchronizationPoint A"));
  EXPECT_EQ(heard(a, "synchronizationPointRegistrationSucceeded A"), 1u);
  EXPECT_EQ(heard(a, "synchronizationPointRegistrationFailed A"), 1u);
  EXPECT_EQ(points(a).get_counters().sent, 1u);

  // A point of a set is announced to the set alone; an empty set is the whole federation.
  federate_handle_set pair;
  pair.insert(a.get_federate_id());
  pair.insert(b.get_federate_id());
  a.register_federation_synchronization_point("S", tag_, pair);
  b.register_federation_synchronization_point("E", tag_, federate_handle_set());
  ASSERT_TRUE(all_heard({&a, &b, &c}, "announceSynchronizationPoint E"));
  EXPECT_TRUE(heard(b, "announceSynchronizationPoint S"));
  EXPECT_FALSE(heard(c, "announceSynchronizationPoint S"));
  expect_not_announced(c, "S");
  federate_handle_set stranger;
  stranger.insert(12345);
  expect_refusal(refusal_of([&] { a.register_federation_synchronization_point("T", tag_, stranger); }),
                 ldm_error::FederateNotExecutionMember, "Unknown federate handle 12345");

  // A report counts once however often it arrives (it is repeated every second).
  b.synchronization_point_achieved("A");
  expect_not_announced(b, "A");
  a.synchronization_point_achieved("A");
  settle(2500);
  EXPECT_GE(points(b).get_counters().repeated, 2u);
  EXPECT_EQ(points(a).requesting().begin()->second.reported.size(), 2u);
  EXPECT_FALSE(heard(a, "federationSynchronized A"));
  c.synchronization_point_achieved("A");
  ASSERT_TRUE(all_heard({&a, &b, &c}, "federationSynchronized A"));
  settle(1500);
  for (test_ldm* f : {&a, &b, &c}) EXPECT_EQ(heard(*f, "federationSynchronized A"), 1u) << f->get_federate_name();

  // Once synchronized, the label can be registered again.
  b.register_federation_synchronization_point("A", tag_);
  EXPECT_TRUE(all_heard({&b}, "synchronizationPointRegistrationSucceeded A"));
}

TEST_F(SyncpointTest, ALateJoinerIsAnnouncedOnceAndWaitedForAndTheSwitchAchievesForIt) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  a.register_federation_synchronization_point("L", tag_);
  ASSERT_TRUE(all_heard({&a, &b}, "announceSynchronizationPoint L"));
  a.synchronization_point_achieved("L");

  test_ldm& d = join("delta");
  ASSERT_TRUE(all_heard({&d}, "announceSynchronizationPoint L", 1500));
  b.synchronization_point_achieved("L");
  settle(2500);
  EXPECT_FALSE(heard(a, "federationSynchronized L"));
  EXPECT_EQ(heard(d, "announceSynchronizationPoint L"), 1u);
  d.synchronization_point_achieved("L");
  ASSERT_TRUE(all_heard({&a, &b, &d}, "federationSynchronized L"));

  // With the switch on, d achieves what it is announced at once, and its own calls do nothing.
  d.get_debugging_events().turn_on(syncpoint_manager::no_syncpoints, nullptr);
  b.register_federation_synchronization_point("N", tag_);
  ASSERT_TRUE(all_heard({&d}, "announceSynchronizationPoint N"));
  d.synchronization_point_achieved("N");
  d.synchronization_point_achieved("never announced");
  a.synchronization_point_achieved("N");
  b.synchronization_point_achieved("N");
  ASSERT_TRUE(all_heard({&a, &b, &d}, "federationSynchronized N"));
}

TEST_F(SyncpointTest, FederatesThatGoAreNotWaitedForAndTheirPointsAreForgotten) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  test_ldm& c = join("charlie");
  test_ldm& d = join("delta");

  // c resigns and d falls silent before they report; the others are synchronized once d is gone.
  a.register_federation_synchronization_point("G", tag_);
  federate_handle_set abd;
  for (test_ldm* f : {&a, &b, &d}) abd.insert(f->get_federate_id());
  b.register_federation_synchronization_point("H", tag_, abd);
  ASSERT_TRUE(all_heard({&a, &b}, "announceSynchronizationPoint H"));
  for (const char* label : {"G", "H"}) {
    a.synchronization_point_achieved(label);
    b.synchronization_point_achieved(label);
  }
  c.resign_federation_execution(false, false, false);
  settle(500);
  EXPECT_FALSE(heard(a, "federationSynchronized G"));
  // d's points are forgotten with it: the label is free again.
  d.register_federation_synchronization_point("D", tag_);
  ASSERT_TRUE(all_heard({&a, &b}, "announceSynchronizationPoint D"));
  // The registrars complete the points as they learn that d is gone, not at the next repeat.
  const auto knows_d = [&](test_ldm& f) { return f.get_federation_manager().find_federate(d.get_federate()); };
  ASSERT_TRUE(federation_.tick_until([&] { return !knows_d(a) && !knows_d(b); }, 6000, {&a, &b}));
  EXPECT_TRUE(points(a).requesting().empty());
  EXPECT_TRUE(points(b).requesting().empty());
  ASSERT_TRUE(federation_.tick_until(
      [&] {
        return heard(a, "federationSynchronized G") && heard(b, "federationSynchronized G") &&
               heard(a, "federationSynchronized H") && heard(b, "federationSynchronized H");
      },
      100, {&a, &b}));
  EXPECT_TRUE(points(a).responding().empty()) << [&] { std::ostringstream o; points(a).list(o); return o.str(); }();
  a.register_federation_synchronization_point("D", tag_);
  EXPECT_TRUE(all_heard({&a}, "synchronizationPointRegistrationSucceeded D"));
}

// A registrar outside its own set closes its book; repeats that come after the point completed
// announce nothing and are answered; serials run on across a re-join.
TEST_F(SyncpointTest, CompletedPointsAreClosedEverywhereAndLateRepeatsChangeNothing) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  federate_handle_set only_b;
  only_b.insert(b.get_federate_id());
  a.register_federation_synchronization_point("X", tag_, only_b);
  const syncpoint_key point = points(a).requesting().begin()->first;
  ASSERT_TRUE(all_heard({&b}, "announceSynchronizationPoint X"));
  EXPECT_FALSE(heard(a, "announceSynchronizationPoint X"));
  b.synchronization_point_achieved("X");
  ASSERT_TRUE(all_heard({&b}, "federationSynchronized X"));
  ASSERT_TRUE(federation_.tick_until([&] { return points(a).requesting().empty(); }, 500));

  const federate_identifier_set members{b.get_federate()};
  inject(b, {a.get_federate(), syncpoint_kind::announce, point, "X", tag_, members});
  b.tick();
  EXPECT_EQ(heard(b, "announceSynchronizationPoint X"), 1u);
  EXPECT_TRUE(points(b).responding().empty());
  // A member that lost the synchronized message repeats its report: it gets the message again.
  const uint64_t repeated = points(a).get_counters().repeated;
  inject(a, {b.get_federate(), syncpoint_kind::achieved, point, "X", tag_, members});
  EXPECT_EQ(points(a).get_counters().repeated, repeated + 1);

  a.resign_federation_execution(false, false, false);
  a.join_federation_execution("alpha", "Sync");
  a.register_federation_synchronization_point("X", tag_);
  EXPECT_GT(points(a).requesting().begin()->first.serial, point.serial);
}

}  // namespace
