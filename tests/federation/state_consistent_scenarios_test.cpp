// The fleet example of examples/ as separate processes on the example's RID with only its port
// moved: a watcher follows an owner's trucks on the state-consistent transport, and when the
// owner is killed the watcher drops its trucks after the transport's own timeout, well before
// the federation counts the owner gone.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

// examples/fleet.rid on the test's port; "" when the file no longer names the example's port.
std::string fleet_rid_on_test_port() {
  std::ifstream in(EXAMPLES_DIR "/fleet.rid");
  std::stringstream text;
  text << in.rdbuf();
  std::string rid = text.str();
  const std::string example_port = "(port 7208)";
  const size_t at = rid.find(example_port);
  if (at == std::string::npos) return "";
  const uint16_t port = test_port(port_block::state_consistent_scenarios_test, 0);
  return rid.replace(at, example_port.size(), "(port " + std::to_string(port) + ")");
}

TEST(StateConsistentScenario, TheTrucksOfAKilledOwnerAreDroppedAfterTheTransportTimeout) {
  const std::string rid_text = fleet_rid_on_test_port();
  ASSERT_FALSE(rid_text.empty()) << "examples/fleet.rid does not name port 7208";
  const scoped_rid_file rid(rid_text);
  const std::string rid_path = rid.path().string();

  federate_process watcher(FLEET_FEDERATE, rid_path, {"--seconds", "40", "watcher", "watch"});
  federate_process owner(FLEET_FEDERATE, rid_path, {"--seconds", "60", "owner", "own", "3"});
  ASSERT_TRUE(watcher.wait_for("discover own-3", 30)) << watcher.output() << owner.output();
  std::this_thread::sleep_for(std::chrono::seconds(1));  // lists and heartbeats are flowing

  // fleet.rid: H = 500 ms and T = 1500 ms, so the owner is gone after 5 to 6 missed heartbeats
  // and its trucks H later; the federation would count it gone only after 8 seconds.
  owner.kill_now();
  const auto killed = std::chrono::steady_clock::now();
  for (const std::string truck : {"own-1", "own-2", "own-3"})
    ASSERT_TRUE(watcher.wait_for("remove " + truck + "\n", 10)) << watcher.output();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
  EXPECT_GE(seconds, 2.5) << watcher.output();
  EXPECT_LT(seconds, 7.0) << watcher.output();
  EXPECT_FALSE(has(watcher.output(), "defaulted")) << watcher.output();
}

}  // namespace
