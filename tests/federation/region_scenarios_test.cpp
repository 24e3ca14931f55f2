// Regions across federate processes on the public interface, in the harbour model with the
// routing space Sea laid out as a grid of 4 x 4 cells. A ship inside the cell a subscriber's
// region covers is reflected, a Tanker too under a subscription to Ship; a ship spanning two
// cells travels on the space's broadcast stream and is still reflected, with its region; a ship
// that moves to a cell the subscriber does not hear is removed there (scope); and a subscriber
// that moves its region away loses the objects of the cell it left.
#include <gtest/gtest.h>

#include <string>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

const char* const gridded_sea =
    "(Sea (type \"gridded\") (bounds (X (domain 0 1000)) (Y (domain 0 1000)))"
    " (grid \"harbour\" (X (range 0 1000) (size 4)) (Y (range 0 1000) (size 4))))";

class harbour_process : public federate_process {
public:
  harbour_process(const scoped_rid_file& rid, const std::string& name, std::vector<std::string> actions)
      : federate_process(HARBOUR_FEDERATE, rid.path().string(), with_name(name, std::move(actions))) {}

private:
  static std::vector<std::string> with_name(const std::string& name, std::vector<std::string> actions) {
    actions.insert(actions.begin(), {name, "Harbour"});
    return actions;
  }
};

// What the output says after its first line containing marker.
std::string after(const std::string& output, const std::string& marker) {
  const size_t at = output.find(marker);
  return at == std::string::npos ? std::string() : output.substr(at);
}

TEST(RegionScenario, AGriddedSpaceDeliversByCellFallsBackToBroadcastAndDropsWhatLeavesScope) {
  const scoped_rid_file rid(
      test_rid_options{.port = test_port(port_block::region_scenarios_test, 0), .routing_spaces = gridded_sea});
  harbour_process sub(rid, "sub", {"watch:0:240:0:240", "tick:6", "move:600:700:0:100", "tick:3"});
  harbour_process pub(rid, "pub",
                      {"publish", "ship:Ship:100:150:100:150:s", "ship:Tanker:100:150:100:150:t",
                       "ship:Ship:200:300:100:150:wide", "update:40", "moveship:s:600:700:600:700", "update:40",
                       "tick:3"});
  // The publisher outlives the subscriber, so that no removal comes from its resignation.
  ASSERT_EQ(sub.wait(60), 0) << sub.output();
  ASSERT_EQ(pub.wait(60), 0) << pub.output();
  const std::string seen = sub.output();

  EXPECT_NE(seen.find("[sub] discover pub.s Ship\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("[sub] discover pub.t Ship\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("[sub] reflect pub.t [100-150 100-150]\n"), std::string::npos) << seen;
  EXPECT_NE(seen.find("[sub] reflect pub.wide [200-300 100-150]\n"), std::string::npos) << seen;
  const std::string before_move = seen.substr(0, seen.find("[sub] moved"));
  EXPECT_NE(before_move.find("[sub] remove pub.s\n"), std::string::npos) << "the ship left the cell\n" << seen;
  EXPECT_EQ(before_move.find("[sub] remove pub.t\n"), std::string::npos) << seen;

  const std::string moved = after(seen, "[sub] moved");
  EXPECT_NE(moved.find("[sub] remove pub.t\n"), std::string::npos) << "the subscriber left the cell\n" << seen;
  // Updates already on their way may still arrive; then the broadcast ship's are filtered out.
  EXPECT_LE(count_of(moved, "[sub] reflect pub.wide"), 3u) << seen;
  EXPECT_EQ(count_of(seen, "refused"), 0u) << seen;
}

}  // namespace
