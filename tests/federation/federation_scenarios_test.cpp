// Federations of separate federate processes on this host: each test starts the test federate
// fm_federate several times on its own port and asserts on what every process printed and on
// how it ended.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "federate_process.h"
#include "test_rid.h"
#include "test_ports.h"

using namespace brindle;

namespace {

const char* const demo_fed = EXAMPLES_DIR "/demo.fed";
const char* const training_fed = EXAMPLES_DIR "/training.fed";

// The test federate on the distribution manager.
class fm_process : public federate_process {
public:
  fm_process(const scoped_rid_file& rid, std::vector<std::string> args)
      : federate_process(FM_FEDERATE, rid.path(), std::move(args)) {}
};

// The test's RID: its own port and short waits. bundle_timeout is part of the federation's RID
// checksum, so a different value makes a mismatching federate.
test_rid_options scenario_rid(uint16_t index, int bundle_timeout = 20, int gone = 4) {
  return {.port = test_port(port_block::federation_scenarios_test, index),
          .heartbeat = 1,
          .join_timeout = 2,
          .amber = 1,
          .red = 2,
          .gone = gone,
          .bundle_timeout = bundle_timeout};
}

TEST(FederationScenario, CreateJoinResignDestroyAcrossProcesses) {
  const scoped_rid_file rid(scenario_rid(0));
  fm_process alpha(rid, {"alpha", "Demo", "5"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  fm_process bravo(rid, {"--join-only", "bravo", "Demo", "1"});
  fm_process charlie(rid, {"charlie", "Demo", "1"});
  fm_process lost(rid, {"--join-only", "delta", "Nowhere", "1"});
  EXPECT_EQ(bravo.wait(), 0) << bravo.output();
  EXPECT_EQ(charlie.wait(), 0) << charlie.output();
  EXPECT_EQ(lost.wait(), 1);
  EXPECT_TRUE(has(lost.output(), "[delta] refused: Can't find federation Nowhere")) << lost.output();
  EXPECT_TRUE(has(charlie.output(), "[charlie] federation Demo exists already")) << charlie.output();
  // The last to leave of those two cannot destroy: alpha is still there.
  EXPECT_TRUE(has(bravo.output(), "left the federation to the others: Federation Demo has federates; could not destroy"))
      << bravo.output();
  EXPECT_EQ(alpha.wait(), 0);
  const std::string a = alpha.output();
  EXPECT_TRUE(has(a, "[alpha] federate joined: bravo")) << a;
  EXPECT_TRUE(has(a, "[alpha] federate joined: charlie"));
  EXPECT_TRUE(has(a, "[alpha] federate gone: bravo"));
  EXPECT_TRUE(has(a, "[alpha] federate gone: charlie"));
  EXPECT_TRUE(has(a, "[alpha] destroyed federation Demo"));
  // bravo learnt of alpha from its heartbeats before it joined.
  EXPECT_TRUE(has(bravo.output(), "alpha")) << bravo.output();
}

// Both create before either joins and announces the federation (the joins wait, so that a slow
// start of one process does not let it hear the other first).
TEST(FederationScenario, SimultaneousCreatesOfOneNameFormOneFederation) {
  const scoped_rid_file rid(scenario_rid(1));
  fm_process alpha(rid, {"--join-after", "3", "alpha", "Twin", "3"});
  fm_process bravo(rid, {"--join-after", "3", "bravo", "Twin", "3"});
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_EQ(bravo.wait(), 0);
  EXPECT_TRUE(has(alpha.output(), "[alpha] created federation Twin")) << alpha.output();
  EXPECT_TRUE(has(bravo.output(), "[bravo] created federation Twin")) << bravo.output();
  EXPECT_TRUE(has(alpha.output(), "[alpha] federate joined: bravo"));
  EXPECT_TRUE(has(bravo.output(), "[bravo] federate joined: alpha"));
}

TEST(FederationScenario, KilledFederateGoesAmberRedGoneOnTheOthers) {
  const scoped_rid_file rid(scenario_rid(2, 20, 3));
  // The two observers stay long enough to see the whole Amber-Red-Gone sequence even when a
  // loaded machine (the sanitizer suite) slows their start-up by several seconds.
  fm_process alpha(rid, {"--trace", "alpha", "Demo", "20"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  fm_process observer(rid, {"--join-only", "--trace", "echo", "Demo", "20"});
  // The victim starts once the observer has joined: a federate heard before joining is in the
  // table already and is not announced to the join listeners again.
  ASSERT_TRUE(observer.wait_for("[echo] joined federation Demo")) << observer.output();
  fm_process victim(rid, {"--join-only", "bravo", "Demo", "30"});
  ASSERT_TRUE(alpha.wait_for("[alpha] federate joined: bravo"));
  ASSERT_TRUE(observer.wait_for("[echo] federate joined: bravo")) << observer.output();
  victim.kill_now();
  ASSERT_TRUE(alpha.wait_for("[alpha] federate gone: bravo", 20)) << alpha.output();
  ASSERT_TRUE(observer.wait_for("[echo] federate gone: bravo", 20)) << observer.output();
  for (const fm_process* p : {&alpha, &observer}) {
    const std::string out = p->output();
    EXPECT_EQ(count_of(out, "Federate Amber: bravo"), 1u) << out;
    EXPECT_EQ(count_of(out, "Federate Red: bravo"), 1u);
    EXPECT_EQ(count_of(out, "Federate Gone: bravo"), 1u);
    EXPECT_LT(out.find("Federate Amber: bravo"), out.find("Federate Red: bravo"));
    EXPECT_LT(out.find("Federate Red: bravo"), out.find("Federate Gone: bravo"));
  }
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_EQ(observer.wait(), 0);
}

TEST(FederationScenario, JoinWithAnotherModelIsRejected) {
  const scoped_rid_file rid(scenario_rid(3));
  fm_process alpha(rid, {"alpha", "Demo", "4"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  fm_process bravo(rid, {"--fed", training_fed, "bravo", "Demo", "1"});
  EXPECT_EQ(bravo.wait(), 1);
  const std::string b = bravo.output();
  EXPECT_TRUE(has(b, "The FED file differs from the one used to create the federation.")) << b;
  EXPECT_TRUE(has(b, "Join Rejected."));
  EXPECT_TRUE(has(b, "[bravo] refused: Configuration file mismatch"));
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_FALSE(has(alpha.output(), "federate joined: bravo"));
}

// Two federates with different RIDs both create the same federation before either announces
// it, so both join; a third joins the first before the second joins. The mismatch persists,
// and every process ends with -1. The joins wait a few seconds after the creates, so a slow
// start of one process on a loaded machine does not let it hear the other before it creates.
TEST(FederationScenario, PersistentMismatchShutsEveryFederateDown) {
  const scoped_rid_file rid(scenario_rid(4, 20, 2));
  const scoped_rid_file other_rid(scenario_rid(4, 21, 2));
  fm_process alpha(rid, {"--join-after", "3", "alpha", "Demo", "40"});
  fm_process rogue(other_rid, {"--join-after", "6", "rogue", "Demo", "40"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  fm_process charlie(rid, {"--join-only", "charlie", "Demo", "40"});
  EXPECT_EQ(alpha.wait(), 255) << alpha.output();
  EXPECT_EQ(rogue.wait(), 255) << rogue.output();
  EXPECT_EQ(charlie.wait(), 255) << charlie.output();
  const std::string a = alpha.output();
  EXPECT_EQ(count_of(a, "!!!!!!!!!! WARNING !!!!!!!!!!!!!"), 2u) << a;
  EXPECT_TRUE(has(a, "with a mismatched RID file"));
  EXPECT_TRUE(has(a, "Killing federation due to RID/FED mismatch") ||
              has(a, "Requested to shut down by federate rogue"));
  // charlie sees the mismatch too: it ends either on another federate's request or as the last
  // one of a shut-down it asked for itself.
  const std::string c = charlie.output();
  EXPECT_TRUE(has(c, "\nShutting down by remote command.\n") || has(c, "\nAll federates in federation have shut down.\n"))
      << c;
}

TEST(FederationScenario, RequestedShutDownEndsEveryFederate) {
  const scoped_rid_file rid(scenario_rid(5));
  fm_process alpha(rid, {"alpha", "Demo", "30"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  fm_process bravo(rid, {"--join-only", "--shutdown-after", "1", "bravo", "Demo", "30"});
  EXPECT_EQ(bravo.wait(), 255) << bravo.output();
  EXPECT_EQ(alpha.wait(), 255) << alpha.output();
  EXPECT_TRUE(has(bravo.output(), "All federates in federation have shut down.")) << bravo.output();
  EXPECT_TRUE(has(alpha.output(), "Requested to shut down by federate bravo\nShutting down in 5 seconds. \n"))
      << alpha.output();
  EXPECT_TRUE(has(alpha.output(), "\nShutting down by remote command.\n"));
}

TEST(FederationScenario, FederationsOnOnePortDoNotSeeEachOthersFederates) {
  const scoped_rid_file rid(scenario_rid(6));
  fm_process one(rid, {"alpha", "One", "4"});
  fm_process two(rid, {"bravo", "Two", "4"});
  ASSERT_TRUE(one.wait_for("[alpha] joined federation One")) << one.output();
  ASSERT_TRUE(two.wait_for("[bravo] joined federation Two")) << two.output();
  // Each federation forms and hears its own second member, and only its own.
  fm_process charlie(rid, {"--join-only", "charlie", "One", "1"});
  fm_process delta(rid, {"--join-only", "delta", "Two", "1"});
  EXPECT_EQ(charlie.wait(), 0) << charlie.output();
  EXPECT_EQ(delta.wait(), 0) << delta.output();
  EXPECT_EQ(one.wait(), 0);
  EXPECT_EQ(two.wait(), 0);
  EXPECT_TRUE(has(one.output(), "[alpha] federate joined: charlie")) << one.output();
  EXPECT_TRUE(has(two.output(), "[bravo] federate joined: delta")) << two.output();
  EXPECT_FALSE(has(one.output(), "federate joined: delta")) << one.output();
  EXPECT_FALSE(has(two.output(), "federate joined: charlie")) << two.output();
  EXPECT_TRUE(has(one.output(), "[alpha] federates at the end: 1"));
  EXPECT_TRUE(has(two.output(), "[bravo] federates at the end: 1"));
}

}  // namespace
