// The management objects among federates in one process on a stepped clock: who discovers
// which objects, how their values follow the federates' work, what subscription, resignation
// and update requests change, and names from the network that pose as management objects.
#include "federation/mom_agent.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "case_port.h"
#include "fed/fed.h"
#include "objects/object_manager.h"
#include "objects/object_messages.h"
#include "sparse_bit_vector.h"
#include "stepped_federation.h"

using namespace brindle;
using namespace varnel;

namespace {

class MomAgentTest : public ::testing::Test {
protected:
  test_ldm& join(const char* name) { return federation_.join(name, {.heartbeat = 1, .amber = 2, .red = 3, .gone = 4}); }

  static bit_vector all_attributes(test_ldm& ldm, unsigned object_class) {
    return bit_vector(ldm.get_fed()->num_attributes(object_class), true);
  }

  // Management objects discovered, by name.
  static std::map<std::string, unsigned> discovered(const test_ldm& ldm) {
    std::map<std::string, unsigned> objects;
    for (const std::string& line : ldm.callbacks) {
      if (line.rfind("discoverObjectInstance ", 0) != 0) continue;
      const size_t object_end = line.find(' ', 23);
      const size_t name_at = line.find(' ', object_end + 1) + 1;
      objects[line.substr(name_at)] = static_cast<unsigned>(std::stoul(line.substr(23, object_end - 23)));
    }
    return objects;
  }

  // The text of attribute in the last reflection of object; "?" when none carried it.
  static std::string last_value(const test_ldm& ldm, unsigned object, unsigned attribute) {
    const std::string reflection = "reflectAttributeValues " + std::to_string(object);
    const std::string key = " " + std::to_string(attribute) + "=";
    std::string found = "?";
    size_t v = 0;
    for (const std::string& line : ldm.callbacks) {
      if (line.rfind("reflectAttributeValues", 0) != 0 && line.rfind("receiveInteraction", 0) != 0) continue;
      const std::string values = " " + ldm.values[v++];
      const size_t at = values.find(key);
      if (line != reflection || at == std::string::npos) continue;
      const size_t start = at + key.size();
      found = values.substr(start, values.find('\0', start) - start);
    }
    return found;
  }

  static std::string mom_name(const test_ldm& ldm) {
    return "HLA_MOM_" + std::to_string(ldm.get_federate_id());
  }

  stepped_federation federation_{case_port(port_block::mom_agent_test), "Training", EXAMPLES_DIR "/training.fed"};
};

TEST_F(MomAgentTest, SubscribersSeeEveryFederateAndItsWorkAndFollowSubscriptionsAndResignations) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  test_ldm& c = join("charlie");
  const unsigned federate = a.get_object_class_handle("Manager.Federate");
  const unsigned federation = a.get_object_class_handle("Manager.Federation");
  const unsigned updates_sent = a.get_attribute_handle("UpdatesSent", federate);
  const unsigned type = a.get_attribute_handle("FederateType", federate);
  a.subscribe_object_class_attributes(federate, all_attributes(a, federate), true);
  a.subscribe_object_class_attributes(federation, all_attributes(a, federation), true);

  // One object per federate, the subscriber's own included, and one for the federation; the
  // federates that subscribe nothing hear nothing.
  ASSERT_TRUE(federation_.tick_until([&] { return discovered(a).size() == 4; }, 2500));
  auto objects = discovered(a);
  for (const test_ldm* f : {&a, &b, &c}) ASSERT_TRUE(objects.count(mom_name(*f))) << mom_name(*f);
  ASSERT_TRUE(objects.count("HLA_MOM_Training"));
  EXPECT_EQ(stepped_federation::count(b, "discoverObjectInstance") + stepped_federation::count(c, "discover"), 0u);
  const unsigned of_b = objects[mom_name(b)];
  const unsigned of_c = objects[mom_name(c)];
  EXPECT_EQ(last_value(a, of_b, type), "bravo");

  // Another federate's updates show within two seconds.
  const unsigned platform = b.get_object_class_handle("Platform");
  const unsigned identifier = b.get_attribute_handle("Identifier", platform);
  b.publish_object_class(platform, all_attributes(b, platform));
  const unsigned tank = b.register_object_instance(platform, "tank");
  for (int i = 0; i < 3; ++i) stepped_federation::update(b, tank, {{identifier, "t"}});
  EXPECT_TRUE(federation_.tick_until([&] { return last_value(a, of_b, updates_sent) == "3"; }, 2000));

  // Update requests and ownership queries are answered here at once, not by the network.
  const size_t reflections = stepped_federation::count(a, "reflectAttributeValues");
  a.request_object_attribute_value_update(of_b, bit_vector(1, true));
  a.query_attribute_ownership(of_b, updates_sent);
  federation_.settle(2, {&a});
  EXPECT_EQ(stepped_federation::count(a, "reflectAttributeValues"), reflections + 1);
  EXPECT_EQ(stepped_federation::count(a, "attributeOwnedByRTI " + std::to_string(of_b)), 1u);
  a.request_class_attribute_value_update(a.get_object_class_handle("Manager"), bit_vector(1, true));
  federation_.settle(2, {&a});
  EXPECT_EQ(stepped_federation::count(a, "reflectAttributeValues"), reflections + 5);

  // Announcements and deletions from the network that name management objects are dropped.
  object_manager& om = *a.get_object_manager();
  a.subscribe_object_class_attributes(platform, all_attributes(a, platform), true);
  sparse_bit_vector streams;
  streams.set_bit(2);
  om.creation_received({.sender = b.get_federate_id(), .class_handle = platform, .name = "HLA_MOM_77",
                        .privilege = false, .streams = streams, .object = 9});
  om.deletion_received({.name = mom_name(b), .sender = b.get_federate_id(), .tag = user_tag(), .object = 9}, nullptr,
                       event_retraction_handle{});
  federation_.settle(2, {&a});
  EXPECT_EQ(om.get_counters().reserved_names, 2u);
  EXPECT_EQ(discovered(a).count("HLA_MOM_77"), 0u);
  EXPECT_EQ(stepped_federation::count(a, "removeObjectInstance"), 0u);

  // A federate that resigns loses its object; unsubscribing removes the rest at the next
  // refresh, and subscribing again brings them back.
  c.resign_federation_execution(false, false, false);
  ASSERT_TRUE(federation_.wait_for(a, "removeObjectInstance " + std::to_string(of_c), 1, 2000));
  a.unsubscribe_object_class(federate);
  ASSERT_TRUE(federation_.wait_for(a, "removeObjectInstance", 3, 1100));
  EXPECT_EQ(stepped_federation::count(a, "removeObjectInstance " + std::to_string(of_b)), 1u);
  a.subscribe_object_class_attributes(federate, all_attributes(a, federate), true);
  EXPECT_TRUE(federation_.wait_for(a, "discoverObjectInstance", 6, 1100));
  EXPECT_EQ(a.get_mom_agent()->remote_federate_count(), 1u);
}

TEST_F(MomAgentTest, AModelWithoutManagementClassesGivesNoObjectsButStatusStillFlows) {
  stepped_federation demo(case_port(port_block::mom_agent_test), "Roads");
  test_ldm& a = demo.join("alpha");
  test_ldm& b = demo.join("bravo");
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  a.subscribe_object_class_attributes(vehicle, all_attributes(a, vehicle), true);
  demo.settle(2500);
  EXPECT_EQ(a.get_mom_agent()->get_style(mom_agent::role::federate), 0);
  EXPECT_GE(b.get_mom_agent()->get_counters().sent, 2u);
  EXPECT_GE(a.get_mom_agent()->get_counters().received, 2u);
  EXPECT_EQ(stepped_federation::count(a, "discoverObjectInstance"), 0u);
  EXPECT_EQ(stepped_federation::count(a, "reflectAttributeValues"), 0u);
}

}  // namespace
