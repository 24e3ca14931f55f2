// Transport changes between two federates on a stepped clock: what an update shows is not
// announced, the rest goes one message per transport, and a receiver takes a change only for
// attributes owned elsewhere and for transports it knows.
#include "objects/transport_change_manager.h"

#include <gtest/gtest.h>

#include "ldm_buf.h"
#include "objects/ddb.h"
#include "objects/object_messages.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

TEST(TransportChange, UpdatedAttributesAreNotAnnouncedTheRestGoOneMessagePerTransport) {
  stepped_federation f(test_port(port_block::transport_change_test, 0));
  test_ldm& a = f.join("alpha");
  test_ldm& b = f.join("bravo");
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  const unsigned name = a.get_attribute_handle("Name", vehicle);
  const unsigned position = a.get_attribute_handle("Position", vehicle);
  const unsigned velocity = a.get_attribute_handle("Velocity", vehicle);
  const unsigned best_effort = a.get_transportation_handle("best_effort");
  const unsigned reliable = a.get_transportation_handle("reliable");
  a.publish_object_class(vehicle, attribute_set({name, position, velocity}));
  b.publish_object_class(vehicle, attribute_set({name}));
  b.subscribe_object_class_attributes(vehicle, attribute_set({name, position, velocity}), true);
  f.settle(50);
  const unsigned car = a.register_object_instance(vehicle, "car");
  stepped_federation::update(a, car, {{name, "n"}, {position, "p"}, {velocity, "v"}});
  ASSERT_TRUE(f.wait_for(b, "reflectAttributeValues", 2));
  const unsigned seen = b.get_object_instance_handle("car");
  const ddb& at_b = *b.get_ddb();
  transport_change_manager& changes_a = *a.get_transport_change_manager();

  // Position changes and is updated within the wait: nothing is announced, yet bravo files the
  // update under the new transport.
  a.change_attribute_transportation_type(car, attribute_set({position}), reliable);
  f.settle(1000);
  stepped_federation::update(a, car, {{position, "p2"}});
  f.settle(3000);
  EXPECT_EQ(changes_a.get_counters().sent, 0u);
  EXPECT_EQ(at_b.get_transport_type(seen, position), reliable);

  // Name and Velocity change to different transports and are not updated: two messages.
  a.change_attribute_transportation_type(car, attribute_set({name}), best_effort);
  a.change_attribute_transportation_type(car, attribute_set({velocity}), reliable);
  ASSERT_TRUE(f.tick_until([&] { return at_b.get_transport_type(seen, velocity) == reliable; }, 3500));
  EXPECT_EQ(changes_a.get_counters().sent, 2u);
  EXPECT_EQ(at_b.get_transport_type(seen, name), best_effort);

  // A change for an attribute bravo owns is not taken; nor is a transport the model lacks.
  const unsigned bus = b.register_object_instance(vehicle, "bus");
  transport_change_manager& changes_b = *b.get_transport_change_manager();
  ldm_buf* own = f.received([&](ldm_buf& buffer) {
    transport_change_message{"bus", best_effort, attribute_set({name})}.write(buffer);
  });
  changes_b.receive(2, 0, own);
  own->release_buf();
  EXPECT_EQ(at_b.get_transport_type(bus, name), reliable);
  ldm_buf* unknown = f.received([&](ldm_buf& buffer) {
    transport_change_message{"car", 7, attribute_set({name})}.write(buffer);
  });
  EXPECT_THROW(changes_b.receive(2, 0, unknown), ldm_decode_error);
  unknown->release_buf();
  EXPECT_EQ(at_b.get_transport_type(seen, name), best_effort);
}

}  // namespace
