// Synchronization points across federate processes on the public interface: a member killed
// before it achieves is no longer waited for, a killed registrar's label becomes free, and four
// federates complete twenty points at seeded packet loss.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

enum case_index : uint16_t { killed_member = 0, killed_registrar = 1, points_at_loss = 2 };

// Three seconds of silence make a federate gone; a joiner listens two seconds for the others
// first. At loss the timeouts are long enough that lost heartbeats never declare a live one gone.
test_rid_options scenario_rid(case_index index, double loss = 0) {
  if (loss > 0)
    return {.port = test_port(port_block::sync_scenarios_test, index), .heartbeat = 1, .join_timeout = 3,
            .amber = 5, .red = 10, .gone = 30, .loss_probability = loss, .loss_seed = 11};
  return {.port = test_port(port_block::sync_scenarios_test, index), .heartbeat = 1, .join_timeout = 2, .amber = 1,
          .red = 2, .gone = 3};
}

class sync_process : public federate_process {
public:
  sync_process(const scoped_rid_file& rid, const std::string& name, std::vector<std::string> actions)
      : federate_process(SYNC_FEDERATE, rid.path().string(), with_name(name, std::move(actions))), name_(name) {}

  bool saw(const std::string& event, double timeout_s = 30) const { return wait_for("[" + name_ + "] " + event + "\n", timeout_s); }
  size_t count(const std::string& event) const { return count_of(output(), "[" + name_ + "] " + event + "\n"); }
  std::string tail() const {
    const std::string text = output();
    return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
  }

private:
  static std::vector<std::string> with_name(const std::string& name, std::vector<std::string> actions) {
    actions.insert(actions.begin(), {name, "Sync"});
    return actions;
  }
  std::string name_;
};

TEST(SyncScenario, AMemberKilledBeforeItAchievesIsNotWaitedFor) {
  const scoped_rid_file rid(scenario_rid(killed_member));
  sync_process charlie(rid, "charlie", {"hold"});
  sync_process bravo(rid, "bravo", {"achieve:K", "sync:K"});
  ASSERT_TRUE(charlie.saw("holding")) << charlie.tail();
  ASSERT_TRUE(bravo.saw("joined")) << bravo.tail();
  sync_process alpha(rid, "alpha", {"register:K", "achieve:K", "sync:K"});
  ASSERT_TRUE(charlie.saw("announced K")) << charlie.tail() << alpha.tail();
  ASSERT_TRUE(bravo.saw("achieved K")) << bravo.tail();
  ASSERT_TRUE(alpha.saw("achieved K")) << alpha.tail();
  EXPECT_EQ(alpha.count("synchronized K"), 0u) << "charlie has not achieved K";

  charlie.kill_now();
  EXPECT_EQ(alpha.wait(20), 0) << alpha.tail();
  EXPECT_EQ(bravo.wait(20), 0) << bravo.tail();
  EXPECT_EQ(alpha.count("synchronized K"), 1u);
  EXPECT_EQ(bravo.count("synchronized K"), 1u);
}

TEST(SyncScenario, AKilledRegistrarsLabelCanBeRegisteredAgain) {
  const scoped_rid_file rid(scenario_rid(killed_registrar));
  sync_process bravo(rid, "bravo", {"achieve:K", "claim:K"});
  ASSERT_TRUE(bravo.saw("joined")) << bravo.tail();
  sync_process alpha(rid, "alpha", {"register:K", "hold"});
  ASSERT_TRUE(bravo.saw("achieved K")) << bravo.tail() << alpha.tail();
  ASSERT_TRUE(bravo.saw("failed K")) << "the label is alpha's while alpha lives\n" << bravo.tail();

  alpha.kill_now();
  EXPECT_EQ(bravo.wait(20), 0) << bravo.tail();
  EXPECT_EQ(bravo.count("registered K"), 1u) << bravo.tail();
}

// Every lost message costs a repeat (once a second) or a NACK round: about twenty to forty
// seconds in all.
TEST(SyncScenario, FourFederatesCompleteTwentyPointsAtLoss) {
  const scoped_rid_file rid(scenario_rid(points_at_loss, 0.2));
  std::vector<std::unique_ptr<sync_process>> members;
  for (const char* name : {"bravo", "charlie", "delta"})
    members.push_back(std::make_unique<sync_process>(rid, name, std::vector<std::string>{"auto:20"}));
  for (auto& member : members) ASSERT_TRUE(member->saw("joined")) << member->tail();
  std::vector<std::string> actions;
  for (int k = 0; k < 20; ++k) actions.push_back("register:p" + std::to_string(k));
  // The registrar stays until the others are done: only it can resend what they lost.
  actions.push_back("auto:20");
  actions.push_back("hold");
  sync_process alpha(rid, "alpha", actions);

  for (auto& member : members) {
    EXPECT_EQ(member->wait(120), 0) << member->tail();
    for (int k = 0; k < 20; ++k) EXPECT_EQ(member->count("synchronized p" + std::to_string(k)), 1u);
  }
  EXPECT_TRUE(alpha.saw("holding", 5)) << alpha.tail();
  EXPECT_EQ(alpha.count("registered p19"), 1u);
}

}  // namespace
