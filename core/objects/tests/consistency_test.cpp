// Attribute value queries between federates on a stepped clock: requests bundled into one query,
// a query for a name this federate had queued itself, the owners' back-off and its cancellation
// by an update, queries for newly heard streams, and a bundle time of 0.
#include "objects/consistency_manager.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "objects/ddb.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

std::string provide(unsigned object, unsigned a1, unsigned a2) {
  return "provideAttributeValueUpdate " + std::to_string(object) + " " + std::to_string(a1) + " " + std::to_string(a2);
}

TEST(Queries, OwnersProvideWhatIsAskedAfterTheirBackOffUnlessTheyUpdateFirst) {
  stepped_federation f(test_port(port_block::consistency_test, 0));
  test_rid_options options;
  options.query_backoff_ms = 1000;
  test_ldm& a = f.join("alpha", options);
  test_ldm& b = f.join("bravo", options);
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  const unsigned car = a.get_object_class_handle("Vehicle.Car");
  const unsigned name = a.get_attribute_handle("Name", vehicle);
  const unsigned position = a.get_attribute_handle("Position", vehicle);
  a.publish_object_class(car, attribute_set({name, position}));
  const unsigned one = a.register_object_instance(car, "one");
  const unsigned two = a.register_object_instance(car, "two");
  const consistency_manager& at_a = *a.get_consistency_manager();
  const consistency_manager& at_b = *b.get_consistency_manager();

  // Subscribing joins the class's stream: one query for it, and alpha provides both objects.
  b.subscribe_object_class_attributes(vehicle, attribute_set({name, position}), true);
  ASSERT_TRUE(f.wait_for(a, "provideAttributeValueUpdate", 2, 1500));
  EXPECT_EQ(at_b.get_counters().stream_sets_sent, 1u);
  EXPECT_EQ(std::set<std::string>(a.callbacks.end() - 2, a.callbacks.end()),
            (std::set<std::string>{provide(one, name, position), provide(two, name, position)}));
  ASSERT_TRUE(f.wait_for(b, "discoverObjectInstance", 2));
  const unsigned seen_one = b.get_object_instance_handle("one");
  const unsigned seen_two = b.get_object_instance_handle("two");

  // Two requests within the bundle time go as one query naming both.
  b.request_object_attribute_value_update(seen_one, attribute_set({name}));
  f.settle(20);
  b.request_object_attribute_value_update(seen_two, attribute_set({name}));
  ASSERT_TRUE(f.wait_for(a, "provideAttributeValueUpdate", 4, 1500));
  EXPECT_EQ(at_b.get_counters().queries_sent, 2u);
  EXPECT_EQ(at_b.get_counters().objects_sent, 2u);

  // An update sent during the back-off is the answer: only the object not updated is asked for.
  b.request_class_attribute_value_update(vehicle, attribute_set({name}));
  const uint64_t heard = at_a.get_counters().queries_received;
  ASSERT_TRUE(f.tick_until([&] { return at_a.get_counters().queries_received > heard; }, 500));
  EXPECT_EQ(at_a.pending_provides(), 2u);
  stepped_federation::update(a, one, {{name, "n"}, {position, "p"}});
  ASSERT_TRUE(f.wait_for(a, "provideAttributeValueUpdate", 5, 1100));
  EXPECT_EQ(a.callbacks.back(), provide(two, name, position));
  f.settle(1000);
  EXPECT_EQ(f.count(a, "provideAttributeValueUpdate"), 5u);

  // alpha's query names the object bravo has queued too: bravo drops it and sends nothing.
  a.request_object_attribute_value_update(one, attribute_set({name}));
  f.settle(50);
  b.request_object_attribute_value_update(seen_one, attribute_set({name}));
  f.settle(300);
  EXPECT_EQ(at_b.get_counters().queries_sent, 3u);
}

TEST(Queries, ABundleTimeOfZeroSendsAtTheNextRunWithoutSpinning) {
  stepped_federation f(test_port(port_block::consistency_test, 1));
  test_rid_options options;
  options.bundle_query_ms = 0;
  options.query_backoff_ms = -5;
  test_ldm& a = f.join("alpha", options);
  const consistency_manager& queries = *a.get_consistency_manager();
  EXPECT_EQ(queries.get_period(), 1u);
  a.request_class_attribute_value_update(a.get_object_class_handle("Vehicle"), attribute_set({1}));
  f.settle(2);
  EXPECT_EQ(queries.get_counters().queries_sent, 1u);
}

}  // namespace
