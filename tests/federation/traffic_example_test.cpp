// The traffic scene of examples/: the junction first, then the two vehicle federates, three
// processes on the example's own RID with only its port moved to the test's. The scene is
// deterministic, so the test reads the federates' accounts line by line: car-1 drives east from
// (-20, 0) at 4 metres a step and car-2 north from (0, -15) at 3, so both are at (0, 0) at t=5;
// bus-3 follows car-2 and meets nobody.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

// examples/traffic.rid on the test's port, its telnet console off; "" when the file no longer
// names the example's port.
std::string traffic_rid_on_test_port() {
  std::ifstream in(EXAMPLES_DIR "/traffic.rid");
  std::stringstream text;
  text << in.rdbuf();
  std::string rid = text.str();
  const std::string example_port = "(port 7207)";
  const size_t at = rid.find(example_port);
  if (at == std::string::npos) return "";
  const uint16_t port = test_port(port_block::traffic_example_test, 0);
  rid.replace(at, example_port.size(), "(port " + std::to_string(port) + ")");
  const std::string console_on = "(accept_connections true)";
  if (const size_t on = rid.find(console_on); on != std::string::npos)
    rid.replace(on, console_on.size(), "(accept_connections false)");
  return rid;
}

TEST(TrafficExample, TheJunctionFollowsEveryVehicleAndItsCollisionStopsTwo) {
  const std::string rid_text = traffic_rid_on_test_port();
  ASSERT_FALSE(rid_text.empty()) << "examples/traffic.rid does not name port 7207";
  const scoped_rid_file rid(rid_text);
  const std::string rid_path = rid.path().string();

  federate_process junction(TRAFFIC_JUNCTION, rid_path, {"--vehicles", "3", "--deadline", "60"});
  ASSERT_TRUE(junction.wait_for("waiting for 3 vehicles", 30)) << junction.output();
  // The vehicle federates come one after the other, as they may when started by hand: west has
  // registered car-1 and waits at time 0, where the regulating junction holds it, before south
  // starts.
  federate_process west(TRAFFIC_VEHICLE, rid_path, {"--deadline", "60", "west", "car-1:-20,0:4,0"});
  ASSERT_TRUE(west.wait_for("registered car-1", 30)) << west.output();
  federate_process south(TRAFFIC_VEHICLE, rid_path,
                         {"--deadline", "60", "south", "car-2:0,-15:0,3", "bus-3:0,-40:0,3"});
  EXPECT_EQ(west.wait(90), 0) << west.output();
  EXPECT_EQ(south.wait(90), 0) << south.output();
  ASSERT_EQ(junction.wait(90), 0) << junction.output();

  // Discovered, reflected at every one of the ten steps, and removed at its federate's resign.
  const std::string seen = junction.output();
  for (const std::string vehicle : {"car-1", "car-2", "bus-3"}) {
    EXPECT_TRUE(has(seen, "discover " + vehicle + "\n")) << seen;
    EXPECT_EQ(count_of(seen, "reflect " + vehicle + " at"), 10u) << seen;
    EXPECT_TRUE(has(seen, "[junction] t=10 reflect " + vehicle + " at")) << seen;
    EXPECT_TRUE(has(seen, "remove " + vehicle + "\n")) << seen;
  }
  EXPECT_TRUE(has(seen, "[junction] t=10 summary: 3 discovered, 30 reflected, 1 Collision sent, 3 removed")) << seen;

  // The junction sees them meet at t=5; its lookahead makes t=6 the earliest stamp it may give,
  // and both vehicle federates receive it at that step. The stopped car-1 stays where t=6 found it.
  EXPECT_TRUE(has(seen, "[junction] t=5 Collision of car-1 and car-2 at (0.0, 0.0) sent for t=6")) << seen;
  EXPECT_TRUE(has(west.output(), "[west] t=6 Collision of car-1 and car-2 at (0.0, 0.0) received: car-1 stops"))
      << west.output();
  EXPECT_TRUE(has(south.output(), "[south] t=6 Collision of car-1 and car-2 at (0.0, 0.0) received: car-2 stops\n"))
      << south.output();
  EXPECT_TRUE(has(seen, "[junction] t=7 reflect car-1 at (4.0, 0.0) speed 0.0")) << seen;
  EXPECT_TRUE(has(seen, "[junction] t=10 reflect bus-3 at (0.0, -10.0) speed 3.0")) << seen;

  // The example's RID gives every group the RTI reads: nothing falls back to the defaults.
  for (const federate_process* process : {&junction, &west, &south})
    EXPECT_FALSE(has(process->output(), "defaulted")) << process->output();
}

}  // namespace
