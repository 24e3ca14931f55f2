// Federations of the example federate, which uses only the public rti13 interface: each test
// starts it as separate processes on its own port and asserts on what they printed (every
// refusal as the rti13 exception's name and reason) and on how they ended.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <string>

#include "RTI.hh"
#include "federate_process.h"
#include "test_rid.h"
#include "test_ports.h"

using namespace brindle;

namespace {

// The test's RID: its own port, heartbeats every second and a two-second discovery wait.
test_rid_options scenario_rid(uint16_t index) {
  return {.port = test_port(port_block::public_api_scenario_test, index),
          .heartbeat = 1,
          .join_timeout = 2,
          .amber = 3,
          .red = 5,
          .gone = 8};
}

// The rti13 example federate.
class demo_process : public federate_process {
public:
  demo_process(const scoped_rid_file& rid, std::vector<std::string> args)
      : federate_process(FEDERATE_DEMO, rid.path().string(), std::move(args)) {}
};

// The lookup lines of one federate's output without its "[name] " prefix, e.g.
// "object class Vehicle.Car: handle 2, named Vehicle.Car".
std::set<std::string> lookups_of(const std::string& output) {
  static const char* const kinds[] = {"object class ", "attribute ", "interaction class ",
                                      "parameter ",    "transportation ", "ordering "};
  std::set<std::string> found;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    const size_t prefix_end = line.find("] ");
    if (line.rfind("[", 0) != 0 || prefix_end == std::string::npos) continue;
    const std::string rest = line.substr(prefix_end + 2);
    for (const char* kind : kinds)
      if (rest.rfind(kind, 0) == 0) found.insert(rest);
  }
  return found;
}

TEST(PublicApiScenario, TwoFederatesCreateJoinLookUpResignAndDestroy) {
  // Without a debug_flags section: --trace adds one to the federate_parameters.
  std::string text = test_rid_text(scenario_rid(50));
  const size_t flags = text.find("\n    (debug_flags )");
  ASSERT_NE(flags, std::string::npos) << text;
  const scoped_rid_file rid(text.erase(flags, std::string("\n    (debug_flags )").size()));
  demo_process alpha(rid, {"--trace", "alpha", "Demo", "6"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo as handle ")) << alpha.output();
  demo_process bravo(rid, {"--class", "Vehicle.Boat", "bravo", "Demo", "1"});
  EXPECT_EQ(bravo.wait(), 1) << bravo.output();  // the misspelt class was refused
  const std::string b = bravo.output();
  EXPECT_TRUE(has(b, "[bravo] createFederationExecution refused: FederationExecutionAlreadyExists "
                     "(Found existing federation Demo)\n"))
      << b;
  EXPECT_TRUE(has(b, "[bravo] joined federation Demo as handle "));
  EXPECT_TRUE(has(b, "[bravo] lookup refused: NameNotFound (Unknown class Vehicle.Boat in getObjectClassHandle)\n"));
  EXPECT_TRUE(has(b, "[bravo] resigned\n"));
  EXPECT_TRUE(has(b, "[bravo] destroyFederationExecution refused: FederatesCurrentlyJoined "
                     "(Federation Demo has federates; could not destroy)\n"));

  EXPECT_EQ(alpha.wait(), 0) << alpha.output();
  const std::string a = alpha.output();
  EXPECT_TRUE(has(a, "[alpha] created federation Demo\n")) << a;
  // Handles are the object model's numbering, the same in every federate.
  const std::set<std::string> expected{"object class Vehicle.Car: handle 2, named Vehicle.Car",
                                       "attribute Position of Vehicle.Car: handle 2, named Position",
                                       "attribute Passengers of Vehicle.Car: handle 4, named Passengers",
                                       "interaction class Message: handle 1, named Message",
                                       "parameter Text of Message: handle 1, named Text",
                                       "transportation reliable: handle 1, named reliable",
                                       "ordering timestamp: handle 1, named timestamp"};
  EXPECT_EQ(lookups_of(a), expected) << a;
  EXPECT_EQ(lookups_of(b), expected) << b;
  // With --trace the RTI itself reports the other federate coming and going.
  EXPECT_TRUE(has(a, "New Federate: bravo (")) << a;
  EXPECT_TRUE(has(a, "Federate Gone: bravo ("));
  EXPECT_LT(a.find("New Federate: bravo ("), a.find("Federate Gone: bravo ("));
  EXPECT_FALSE(has(b, "New Federate:")) << b;
  EXPECT_TRUE(has(a, "[alpha] destroyed federation Demo\n"));
  EXPECT_LT(a.find("[alpha] resigned\n"), a.find("[alpha] destroyed federation Demo\n"));
}

TEST(PublicApiScenario, JoiningAnUnknownFederationIsRefused) {
  const scoped_rid_file rid(test_rid_text(scenario_rid(51)));
  demo_process lost(rid, {"--join-only", "delta", "Nowhere", "1"});
  EXPECT_EQ(lost.wait(), 1);
  const std::string out = lost.output();
  EXPECT_TRUE(has(out, "[delta] joinFederationExecution refused: FederationExecutionDoesNotExist "
                       "(Can't find federation Nowhere)\n"))
      << out;
  EXPECT_FALSE(has(out, "resigned"));
}

// The trace flag goes into a debug_flags section the RID already has, and not into one that a
// comment only mentions.
TEST(PublicApiScenario, TraceJoinsTheDebugFlagsTheRidAlreadyHas) {
  test_rid_options options = scenario_rid(52);
  options.debug_flags = "(no_such_event \"-\")";
  std::string text = test_rid_text(options);
  const size_t flags = text.find("(debug_flags ");
  ASSERT_NE(flags, std::string::npos) << text;
  const scoped_rid_file rid(text.insert(flags, "; (debug_flags in a comment\n    "));
  demo_process alpha(rid, {"--trace", "alpha", "Pair", "4"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Pair")) << alpha.output();
  demo_process bravo(rid, {"--trace", "--join-only", "bravo", "Pair", "1"});
  EXPECT_EQ(bravo.wait(), 0) << bravo.output();
  EXPECT_EQ(alpha.wait(), 0) << alpha.output();
  EXPECT_TRUE(has(alpha.output(), "New Federate: bravo (")) << alpha.output();
  EXPECT_TRUE(has(bravo.output(), "New Federate: alpha (")) << bravo.output();
  EXPECT_TRUE(has(bravo.output(), "[bravo] destroyFederationExecution refused: FederatesCurrentlyJoined"));
  // The traced copies of the RID are gone once the federates have read them.
  for (const demo_process* p : {&alpha, &bravo}) {
    const std::string copy = "federate_demo_" + std::to_string(p->pid()) + ".rid";
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::temp_directory_path() / copy)) << copy;
  }
}

TEST(PublicApiScenario, BadCommandLinesEndWithStatusTwo) {
  const scoped_rid_file rid(test_rid_text(scenario_rid(53)));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"alpha", "Demo"}, {"--shutdown-after", "1", "alpha", "Demo", "1"}, {"alpha", "Demo", "soon"}}) {
    demo_process wrong(rid, args);
    EXPECT_EQ(wrong.wait(), 2) << wrong.output();
    EXPECT_TRUE(has(wrong.output(), "usage: "));
  }
}

// The reason of the E that call throws; a failure when it throws anything else or nothing.
template <class E, class Call>
std::string reason_of(Call call) {
  try {
    call();
  } catch (const E& e) {
    return e._reason ? e._reason : "nil";
  } catch (const rti13::Exception& e) {
    std::ostringstream text;
    text << e;
    ADD_FAILURE() << "threw " << text.str();
    return "";
  }
  ADD_FAILURE() << "threw nothing";
  return "";
}

TEST(PublicApiScenario, ServicesBeforeJoiningAreRefused) {
  std::optional<scoped_rid_file> rid(std::in_place, scenario_rid(54));
  rti13::RTIambassador rti;
  rid.reset();  // read by the ambassador's construction
  EXPECT_EQ(reason_of<rti13::FederateNotExecutionMember>([&] { rti.getObjectClassHandle("Vehicle.Car"); }),
            "Not joined to a federation in call to getObjectClassHandle");
  EXPECT_EQ(reason_of<rti13::FederateNotExecutionMember>([&] { rti.resignFederationExecution(rti13::NO_ACTION); }),
            "Not joined to a federation in call to resignFederationExecution");
  EXPECT_EQ(reason_of<rti13::FederationExecutionDoesNotExist>([&] { rti.destroyFederationExecution("Demo"); }),
            "Federation Demo not found; could not destroy");
}

}  // namespace
