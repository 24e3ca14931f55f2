// The update path and object instances with distribution managers in one process, ticked in
// turn on one stepped clock: updates grouped into messages and reflected as subscribed,
// duplicates, interactions, registration names, deletions and their memory, discovery by
// update, deletions and interactions released by a time advance, and the minimum-rate transport.
#include "transport/transport_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "case_port.h"
#include "federation/federation_manager.h"
#include "ldm_refusals.h"
#include "frame/ldm_error.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "objects/object_manager.h"
#include "objects/object_messages.h"
#include "test_ldm.h"
#include "test_rid.h"
#include "transport/transport_minimum_rate.h"
#include "transport/transport_service.h"

using namespace brindle;
using namespace varnel;

namespace {

using strings = std::vector<std::string>;

class UpdatePathTest : public ::testing::Test {
protected:
  void TearDown() override { nodes_.clear(); }

  // edit changes the RID text before the federate reads it.
  test_ldm& join(const char* name, test_rid_options options = {}, const std::function<void(std::string&)>& edit = {}) {
    options.port = case_port(port_block::transport_test);
    std::string text = test_rid_text(options);
    if (edit) edit(text);
    const scoped_rid_file rid(text);
    nodes_.push_back(std::make_unique<test_ldm>(clock_));
    test_ldm& ldm = *nodes_.back();
    if (nodes_.size() == 1) ldm.create_federation_execution("Roads", EXAMPLES_DIR "/demo.fed");
    EXPECT_TRUE(tick_until([&] { return ldm.get_federation_manager().get_federations().count("Roads") > 0; }, 12000));
    ldm.join_federation_execution(name, "Roads");
    settle(50);
    return ldm;
  }

  bool tick_until(const std::function<bool()>& done, uint64_t ms) {
    for (uint64_t end = clock_.counter + ms; clock_.counter < end; clock_.advance(1)) {
      for (auto& node : nodes_) node->tick();
      if (done()) return true;
    }
    return false;
  }
  void settle(uint64_t ms) { tick_until([] { return false; }, ms); }

  static size_t count(const test_ldm& ldm, const std::string& prefix) {
    return std::count_if(ldm.callbacks.begin(), ldm.callbacks.end(),
                         [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
  }
  bool wait_for(const test_ldm& ldm, const std::string& prefix, size_t n = 1) {
    return tick_until([&] { return count(ldm, prefix) >= n; }, 3000);
  }

  // Handles of the demo model.
  struct model {
    unsigned vehicle, car, station, name, position, velocity, passengers, message, text, collision, where;
  };
  static model handles(test_ldm& ldm) {
    model m{};
    m.vehicle = ldm.get_object_class_handle("Vehicle");
    m.car = ldm.get_object_class_handle("Vehicle.Car");
    m.station = ldm.get_object_class_handle("Station");
    m.name = ldm.get_attribute_handle("Name", m.car);
    m.position = ldm.get_attribute_handle("Position", m.car);
    m.velocity = ldm.get_attribute_handle("Velocity", m.car);
    m.passengers = ldm.get_attribute_handle("Passengers", m.car);
    m.message = ldm.get_interaction_class_handle("Message");
    m.text = ldm.get_parameter_handle("Text", m.message);
    m.collision = ldm.get_interaction_class_handle("Collision");
    m.where = ldm.get_parameter_handle("Position", m.collision);
    return m;
  }

  static handle_value_set* values(std::initializer_list<std::pair<unsigned, std::string>> pairs) {
    auto* set = new handle_value_set;
    for (const auto& [handle, value] : pairs) set->add(handle, static_cast<uint32_t>(value.size()), value.data());
    return set;
  }
  static void update(test_ldm& ldm, unsigned object, std::initializer_list<std::pair<unsigned, std::string>> pairs) {
    handle_value_set* set = values(pairs);
    ldm.update_attribute_values(object, *set, user_tag("u"));
    set->down_refcount();
  }
  static std::string pair(unsigned handle, const std::string& value) { return std::to_string(handle) + "=" + value; }

  manual_clock clock_;
  std::vector<std::unique_ptr<test_ldm>> nodes_;
};

TEST_F(UpdatePathTest, UpdatesGoOneMessagePerTransportAndReflectWhatIsSubscribedOnce) {
  test_rid_options options;
  options.suppress_dups = true;
  test_ldm& a = join("alpha", options);
  test_ldm& b = join("bravo", options);
  const model m = handles(a);
  a.publish_object_class(m.car, attribute_set({m.name, m.position, m.velocity, m.passengers}));
  a.publish_interaction_class(m.message);
  b.subscribe_object_class_attributes(m.vehicle, attribute_set({m.name, m.position, m.velocity}), true);
  b.subscribe_interaction_class(m.message, true);
  settle(50);

  // A Car is discovered as the Vehicle that bravo subscribes, from the announcement.
  const unsigned car = a.register_object_instance(m.car, "car-1");
  ASSERT_TRUE(wait_for(b, "discoverObjectInstance"));
  const unsigned seen = b.get_object_instance_handle("car-1");
  EXPECT_EQ(b.callbacks.back(), "discoverObjectInstance " + std::to_string(seen) + " " + std::to_string(m.vehicle) + " car-1");

  // Name and Passengers are reliable, Position and Velocity best effort: two messages. The
  // subclass-only Passengers never reaches a Vehicle subscriber.
  update(a, car, {{m.name, "Herbie"}, {m.position, std::string("\0\2\0\0", 4)}, {m.velocity, "v"}, {m.passengers, "4"}});
  EXPECT_EQ(a.get_transport_manager()->counters().update_messages, 2u);
  ASSERT_TRUE(wait_for(b, "reflectAttributeValues", 2));
  EXPECT_EQ(std::set<std::string>(b.values.begin(), b.values.end()),
            (std::set<std::string>{pair(m.name, "Herbie"), pair(m.position, std::string("\0\2\0\0", 4)) + " " + pair(m.velocity, "v")}));

  // Position changes to bytes with the same Adler-32: still a change, and the message's other
  // value comes with it. The same bytes again are not reflected.
  update(a, car, {{m.position, std::string("\1\0\1\0", 4)}, {m.velocity, "v"}});
  ASSERT_TRUE(wait_for(b, "reflectAttributeValues", 3));
  EXPECT_EQ(b.values.back(), pair(m.position, std::string("\1\0\1\0", 4)) + " " + pair(m.velocity, "v"));
  update(a, car, {{m.position, std::string("\1\0\1\0", 4)}, {m.velocity, "v"}});
  settle(300);
  EXPECT_EQ(count(b, "reflectAttributeValues"), 3u);
  EXPECT_GE(b.get_transport_manager()->get_transport_service(0)->counters().unchanged +
                b.get_transport_manager()->get_transport_service(1)->counters().unchanged,
            1u);

  // A refused update sends nothing and leaves no checksum behind: its retry is a change.
  const unsigned privilege = a.get_attribute_handle("privilegeToDelete", m.car);
  handle_value_set* refused = values({{m.position, "p3"}, {privilege, "x"}});
  EXPECT_EQ(refusal_of([&] { a.update_attribute_values(car, *refused, user_tag("")); }).code(), ldm_error::AttributeNotDefined);
  refused->down_refcount();
  update(a, car, {{m.position, "p3"}, {m.velocity, "v"}});
  ASSERT_TRUE(wait_for(b, "reflectAttributeValues", 4));

  // Too large for a message: refused at the call, naming size and limit.
  const std::string huge(transport_manager::max_message_bytes + 1, 'x');
  handle_value_set* big = values({{m.velocity, huge}});
  const ldm_exception too_big = refusal_of([&] { a.update_attribute_values(car, *big, user_tag("")); });
  EXPECT_EQ(too_big.code(), ldm_error::InternalError);
  EXPECT_NE(std::string(too_big.detail()).find("16777216"), std::string::npos) << too_big;
  big->down_refcount();

  // An interaction arrives with its parameters.
  handle_value_set* text = values({{m.text, "hello"}});
  a.send_interaction(m.message, *text, user_tag("t"));
  text->down_refcount();
  ASSERT_TRUE(wait_for(b, "receiveInteraction " + std::to_string(m.message)));
  EXPECT_EQ(b.values.back(), pair(m.text, "hello"));
}

TEST_F(UpdatePathTest, NamesAreHeldAcrossFederatesUntilTheDeletionArrives) {
  // An unknown message service word does not fail the join: "reliable" stays reliable.
  const auto pigeon = [](std::string& text) {
    text.replace(text.find("(message_service \"reliable\")"), 28, "(message_service \"carrier_pigeon\")");
  };
  testing::internal::CaptureStderr();
  test_ldm& a = join("alpha", {}, pigeon);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("unknown message service carrier_pigeon"), std::string::npos);
  EXPECT_EQ(a.get_transport_manager()->get_transport_service(1)->get_message_service(), ordering_service::reliable);
  test_ldm& b = join("bravo", {}, pigeon);
  test_ldm& c = join("charlie", {}, pigeon);
  const model m = handles(a);
  for (test_ldm* f : {&a, &b, &c}) f->publish_object_class(m.vehicle, attribute_set({m.name, m.position}));
  b.subscribe_object_class_attributes(m.vehicle, attribute_set({m.name}), true);
  settle(50);

  // Automatic names end in the handle; "HLA" is reserved, "hla" is not.
  const unsigned first = a.register_object_instance(m.vehicle);
  const unsigned second = a.register_object_instance(m.vehicle);
  EXPECT_EQ(std::string(a.get_object_instance_name(first)).substr(0, 4), "HLA/");
  EXPECT_EQ(std::string(a.get_object_instance_name(second)).substr(std::string(a.get_object_instance_name(second)).rfind('/')), "/2");
  EXPECT_EQ(refusal_of([&] { a.register_object_instance(m.vehicle, "HLAbus"); }).code(), ldm_error::IllegalName);
  const unsigned bus = a.register_object_instance(m.vehicle, "hlabus");
  ASSERT_TRUE(wait_for(b, "discoverObjectInstance", 3));

  // charlie subscribes nothing but heard the name; bravo cannot delete what alpha holds.
  EXPECT_EQ(refusal_of([&] { c.register_object_instance(m.vehicle, "hlabus"); }).code(), ldm_error::ObjectInstanceNameInUse);
  EXPECT_EQ(refusal_of([&] { b.delete_object_instance(b.get_object_instance_handle("hlabus"), user_tag("")); }).code(),
            ldm_error::DeletePrivilegeNotHeld);
  a.delete_object_instance(bus, user_tag("gone"));
  ASSERT_TRUE(wait_for(b, "removeObjectInstance"));
  ASSERT_TRUE(tick_until([&] { return c.get_object_manager()->known_name_count() == 2; }, 3000));
  // The announcement's last repeat, arriving after the deletion, neither holds the name again.
  creation_message late;
  late.sender = a.get_federate_id();
  late.class_handle = m.vehicle;
  late.name = "hlabus";
  late.object = bus;
  c.get_object_manager()->creation_received(late);
  EXPECT_EQ(c.get_object_manager()->get_counters().stale_announcements, 1u);
  EXPECT_NE(c.register_object_instance(m.vehicle, "hlabus"), 0u);
  ASSERT_TRUE(wait_for(b, "discoverObjectInstance", 4));

  // Resigning with deletion removes alpha's objects everywhere.
  a.resign_federation_execution(false, true, false);
  ASSERT_TRUE(wait_for(b, "removeObjectInstance", 3));
  EXPECT_EQ(b.get_remote_object_count(), 1u);  // charlie's hlabus
}

TEST_F(UpdatePathTest, WithoutAnnouncementsTheFirstUpdateDiscoversUnlessTheNameWasJustDeleted) {
  test_rid_options options;
  options.creation_announcements = false;
  options.deletion_memory_ms = 1000;
  test_ldm& a = join("alpha", options);
  test_ldm& b = join("bravo", options);
  test_ldm& c = join("charlie", options);
  const model m = handles(a);
  a.publish_object_class(m.vehicle, attribute_set({m.name}));
  c.publish_object_class(m.station, attribute_set({c.get_attribute_handle("Name", m.station)}));
  b.subscribe_object_class_attributes(m.vehicle, attribute_set({m.name}), true);
  b.subscribe_object_class_attributes(m.station, attribute_set({c.get_attribute_handle("Name", m.station)}), true);
  settle(50);

  const unsigned truck = a.register_object_instance(m.vehicle, "truck");
  settle(200);
  EXPECT_EQ(count(b, "discoverObjectInstance"), 0u);
  update(a, truck, {{m.name, "one"}});
  ASSERT_TRUE(wait_for(b, "reflectAttributeValues"));
  EXPECT_EQ(count(b, "discoverObjectInstance"), 1u);

  // Deleted, then registered and updated again at once: bravo remembers the name.
  a.delete_object_instance(truck, user_tag(""));
  ASSERT_TRUE(wait_for(b, "removeObjectInstance"));
  const unsigned again = a.register_object_instance(m.vehicle, "truck");
  update(a, again, {{m.name, "two"}});
  settle(300);
  EXPECT_EQ(count(b, "discoverObjectInstance"), 1u);
  EXPECT_GE(b.get_object_manager()->get_counters().remembered_dropped, 1u);
  settle(1000);
  update(a, again, {{m.name, "three"}});
  ASSERT_TRUE(wait_for(b, "discoverObjectInstance", 2));

  // Two federates registered one name of unrelated classes: the second is not read against the
  // first one's class.
  const unsigned station = c.register_object_instance(m.station, "truck");
  update(c, station, {{c.get_attribute_handle("Name", m.station), "depot"}});
  settle(300);
  EXPECT_EQ(count(b, "discoverObjectInstance"), 2u);
  EXPECT_EQ(b.get_object_manager()->get_counters().unrelated_class, 1u);
}

TEST_F(UpdatePathTest, ATimeAdvanceReleasesInteractionsAndDeletionsInOrderWithTimeAndTag) {
  test_ldm& a = join("alpha");
  test_ldm& b = join("bravo");
  const model m = handles(a);
  a.publish_object_class(m.vehicle, attribute_set({m.name}));
  a.publish_interaction_class(m.collision);
  b.subscribe_object_class_attributes(m.vehicle, attribute_set({m.name}), true);
  b.subscribe_interaction_class(m.collision, true);
  a.enable_time_regulation(test_absolute_time(0), test_relative_time(1));
  b.enable_time_constrained();
  ASSERT_TRUE(wait_for(a, "timeRegulationEnabled") && wait_for(b, "timeConstrainedEnabled"));

  const unsigned car = a.register_object_instance(m.vehicle, "car");
  ASSERT_TRUE(wait_for(b, "discoverObjectInstance"));
  const unsigned seen = b.get_object_instance_handle("car");
  handle_value_set* where = values({{m.where, "here"}});
  const event_retraction_handle hit = a.send_interaction(m.collision, *where, test_absolute_time(3), user_tag("hit"));
  where->down_refcount();
  const event_retraction_handle gone = a.delete_object_instance(car, test_absolute_time(5), user_tag("gone"));
  EXPECT_NE(hit.serial, gone.serial);
  settle(200);
  EXPECT_EQ(count(b, "removeObjectInstance"), 0u);  // held for the advance

  a.time_advance_request(test_absolute_time(20));
  b.time_advance_request(test_absolute_time(10));
  ASSERT_TRUE(wait_for(b, "timeAdvanceGrant"));
  const auto at = [&](const std::string& line) { return std::find(b.callbacks.begin(), b.callbacks.end(), line) - b.callbacks.begin(); };
  const std::string fed = std::to_string(a.get_federate_id());
  const auto interaction = at("receiveInteraction " + std::to_string(m.collision) + " @3 " + std::to_string(hit.serial) + "/" + fed);
  const auto removal = at("removeObjectInstance " + std::to_string(seen) + " @5 " + std::to_string(gone.serial) + "/" + fed);
  const auto grant = at("timeAdvanceGrant 10");
  EXPECT_LT(interaction, removal);
  EXPECT_LT(removal, grant);
  EXPECT_LT(grant, static_cast<long>(b.callbacks.size()));
}

// A transport of the minimum-rate kind; the interval and the timeout in milliseconds.
std::string minimum_rate(int interval, int timeout) {
  return "(heartbeat (type \"minimum_rate\") (suppress_dups false) (implicit_transfer false) (heartbeat_interval " +
         std::to_string(interval) + ") (timeout_time " + std::to_string(timeout) +
         ") (heartbeat_priority 0x10) (change_priority 0x30))";
}

TEST_F(UpdatePathTest, AMinimumRateObjectIsAskedForAgainEachIntervalAndForgottenWhenSilent) {
  test_rid_options options;
  options.extra_transports = minimum_rate(500, 1000);
  test_ldm& a = join("alpha", options);
  test_ldm& b = join("bravo", options);
  const model m = handles(a);
  a.publish_object_class(m.vehicle, attribute_set({m.name, m.position}));
  b.subscribe_object_class_attributes(m.vehicle, attribute_set({m.name, m.position}), true);
  settle(50);
  const unsigned car = a.register_object_instance(m.vehicle, "car");
  a.change_attribute_transportation_type(car, attribute_set({m.position}), a.get_transportation_handle("heartbeat"));
  bool answering = true;
  a.on_callback = [&](const std::string& line) {
    if (answering && line.rfind("provideAttributeValueUpdate", 0) == 0) update(a, car, {{m.position, "p"}});
  };

  // Once sent, the position goes again about every interval, unchanged values included.
  update(a, car, {{m.position, "p"}});
  ASSERT_TRUE(wait_for(b, "reflectAttributeValues"));
  const size_t first = count(b, "reflectAttributeValues");
  settle(2000);
  EXPECT_GE(count(b, "reflectAttributeValues") - first, 3u);
  EXPECT_LE(count(b, "reflectAttributeValues") - first, 5u);

  // Silent for longer than the timeout, the car is forgotten at bravo.
  answering = false;
  const uint64_t silent_from = clock_.counter;
  ASSERT_TRUE(wait_for(b, "removeObjectInstance"));
  EXPECT_GE(clock_.counter - silent_from, 1000u);
  EXPECT_EQ(b.get_remote_object_count(), 0u);

  // Deleted, the car leaves alpha's transmit lists; bravo keeps no list entry for it either.
  const unsigned heartbeat = a.get_transportation_handle("heartbeat");
  const auto& sending = dynamic_cast<const transport_minimum_rate&>(*a.get_transport_manager()->get_transport_service(heartbeat));
  const auto& hearing = dynamic_cast<const transport_minimum_rate&>(*b.get_transport_manager()->get_transport_service(heartbeat));
  EXPECT_EQ(sending.transmitting(), 1u);
  a.delete_object_instance(car, user_tag(""));
  EXPECT_EQ(sending.transmitting(), 0u);
  EXPECT_EQ(hearing.receiving(), 0u);
}

TEST_F(UpdatePathTest, AMinimumRateIntervalTooShortForItsListsIsRaisedWithAWarning) {
  test_rid_options options;
  options.extra_transports = minimum_rate(0, 0);
  testing::internal::CaptureStderr();
  test_ldm& a = join("alpha", options);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("heartbeat_interval 0 of transport heartbeat"), std::string::npos);
  const auto& service = dynamic_cast<const transport_minimum_rate&>(
      *a.get_transport_manager()->get_transport_service(a.get_transportation_handle("heartbeat")));
  EXPECT_EQ(service.get_cycle_period(), 1u);
  settle(20);
}

}  // namespace
