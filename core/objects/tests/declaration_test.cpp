// Declaration management in one process: the stream plan on the example and generated models,
// and, on a joined federate of the demo model, publication advisories, subscription counts,
// discover-as classes and the stream joins the subscriptions make and resign gives back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "case_port.h"
#include "fed/fed.h"
#include "frame/ldm_error.h"
#include "ldm_refusals.h"
#include "objects/ddb.h"
#include "objects/stream_plan.h"
#include "objects/subscription_agent.h"
#include "messages/user_tag.h"
#include "sparse_bit_vector.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using strings = std::vector<std::string>;

// A model file of the test's own: objects object classes (the root included), each below the
// root with one attribute, and interactions interaction classes likewise. The first object
// class below the root sends its attribute in routing space Geo.
class generated_model {
public:
  generated_model(int objects, int interactions)
      : path_(std::filesystem::temp_directory_path() /
              ("declaration_" + std::to_string(getpid()) + "_" + std::to_string(objects) + "_" +
               std::to_string(interactions) + ".fed")) {
    std::ofstream out(path_);
    out << "(FED (Federation Gen) (FEDversion v1.3)\n (spaces (space Geo (dimension X)) (space Sea (dimension Y)))\n"
        << " (objects (class ObjectRoot (attribute privilegeToDelete reliable timestamp)\n";
    for (int c = 1; c < objects; ++c)
      out << "  (class C" << c << " (attribute A reliable receive" << (c == 1 ? " Geo" : "") << "))\n";
    out << " ))\n (interactions (class InteractionRoot reliable receive\n";
    for (int i = 1; i < interactions; ++i) out << "  (class I" << i << " reliable receive)\n";
    out << " )))\n";
  }
  ~generated_model() { std::filesystem::remove(path_); }
  const char* path() const { return path_.c_str(); }

private:
  std::filesystem::path path_;
};

struct planned {
  const char* model;  // null for a generated one
  int objects, interactions;
  bool one_byclass;
  uint32_t interaction_base, space_base;
};

TEST(StreamPlan, BasesFollowTheClassCountsIdenticallyInEveryFederate) {
  const planned cases[] = {
      {nullptr, 37, 12, false, 200, 300}, {nullptr, 150, 12, false, 300, 400}, {nullptr, 250, 40, false, 400, 500},
      {nullptr, 250, 40, true, 100, 200}, {EXAMPLES_DIR "/demo.fed", 0, 0, false, 200, 300},
      {EXAMPLES_DIR "/training.fed", 0, 0, false, 200, 300},
  };
  for (const planned& c : cases) {
    const generated_model generated(c.objects, c.interactions);
    test_rid_options options;
    options.one_byclass_stream = c.one_byclass;
    const auto rid = make_test_rid(options);
    const FED fed(rid.get(), c.model ? c.model : generated.path());
    testing::internal::CaptureStdout();
    const stream_plan plan(*rid, fed), twin(*make_test_rid(options), fed);
    testing::internal::GetCapturedStdout();
    const std::string name = c.model ? c.model : std::to_string(c.objects) + "/" + std::to_string(c.interactions);
    EXPECT_EQ(plan.interaction_base(), c.interaction_base) << name;
    EXPECT_EQ(plan.space_base(), c.space_base) << name;
    for (uint32_t h = 0; h < fed.num_object_classes(); ++h) {
      EXPECT_EQ(plan.object_class_stream(h), c.one_byclass ? 100 : 100 + h) << name;
      EXPECT_EQ(twin.object_class_stream(h), plan.object_class_stream(h));
    }
    // One-stream plans keep interactions on their base, clear of the spaces from 200 on.
    for (uint32_t h = 0; h < fed.num_interaction_classes(); ++h)
      EXPECT_EQ(plan.interaction_stream(h), c.one_byclass ? 100 : c.interaction_base + h) << name;
    uint32_t next = c.space_base;
    for (const auto& [handle, space] : plan.spaces()) {
      EXPECT_EQ(space->get_first_stream(), next) << name;
      EXPECT_EQ(twin.get_space(handle)->get_first_stream(), next);
      next += space->get_stream_count();
    }
    EXPECT_EQ(plan.end_of_plan(), std::max<uint64_t>(next, c.interaction_base + fed.num_interaction_classes()));
  }
}

TEST(StreamPlan, SpacesComeFromTheRidInItsOrderAndTheRestDefaultToSimple) {
  const generated_model generated(5, 3);
  test_rid_options options;
  options.routing_spaces = "(Sea (type \"broadcast\")) (Nowhere (type \"simple\"))"
                           " (Geo (type \"gridded\") (bounds (X (domain 0 10))) (grid main (X (size 3))))";
  const auto rid = make_test_rid(options);
  const FED fed(rid.get(), generated.path());
  testing::internal::CaptureStderr();
  const stream_plan plan(*rid, fed);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  const filter_space_base& sea = *plan.get_space(fed.get_routing_space_handle("Sea"));
  const filter_space_base& geo = *plan.get_space(fed.get_routing_space_handle("Geo"));
  EXPECT_EQ(sea.get_stream_count(), 0u);  // broadcast: stream 2
  EXPECT_EQ(geo.get_first_stream(), plan.space_base());
  EXPECT_EQ(geo.get_stream_count(), 4u) << "three cells and the broadcast stream";
  EXPECT_EQ(plan.end_of_plan(), plan.space_base() + 4);
  EXPECT_EQ(plan.spaces().size(), 2u);  // Nowhere is not in the model
  // A grid the transport cannot carry is dropped; the space keeps its broadcast stream.
  testing::internal::CaptureStderr();
  const stream_plan tight(*rid, fed, plan.space_base() + 3);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("grid main in space Geo has more cells than the 2 streams left"),
            std::string::npos);
  EXPECT_EQ(tight.get_space(fed.get_routing_space_handle("Geo"))->get_stream_count(), 1u);

  sparse_bit_vector heard;
  plan.add_object_class_streams(fed.get_object_class_handle("ObjectRoot"), heard);
  EXPECT_EQ(heard.count(), 5u) << "the root and its four subclasses";
  plan.add_space_streams(fed.get_routing_space_handle("Geo"), heard);
  EXPECT_TRUE(heard.get_bit(plan.space_base()));

  const auto plain = make_test_rid(test_rid_options{});
  testing::internal::CaptureStdout();
  const stream_plan defaulted(*plain, fed);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Defaulting to simple routing space for \"Geo\"\nDefaulting to simple routing space for \"Sea\"\n");
}

TEST(StreamPlan, APlanBeyondTheTransportsStreamsIsRefused) {
  const generated_model generated(250, 40);
  const auto rid = make_test_rid(test_rid_options{});
  const FED fed(rid.get(), generated.path());
  testing::internal::CaptureStdout();  // the spaces default to simple ones
  const ldm_exception refused = refusal_of([&] { stream_plan(*rid, fed, 450); });
  const stream_plan fits(*rid, fed, 502);
  testing::internal::GetCapturedStdout();
  expect_refusal(refused, ldm_error::InternalError,
                 "The object model needs streams up to 501; the transport carries at most 449");
  EXPECT_EQ(fits.end_of_plan(), 502u);
}

// One joined federate of the demo model on the case's own port.
class Declaration : public ::testing::Test {
protected:
  void SetUp() override {
    ldm_ = joined_test_ldm(case_port(port_block::declaration_test), "Demo", EXAMPLES_DIR "/demo.fed");
    vehicle = handle("Vehicle");
    car = handle("Vehicle.Car");
    truck = handle("Vehicle.Truck");
    name = ldm_->get_attribute_handle("Name", vehicle);
    position = ldm_->get_attribute_handle("Position", vehicle);
    velocity = ldm_->get_attribute_handle("Velocity", vehicle);
  }

  unsigned handle(const char* object_class) { return ldm_->get_object_class_handle(object_class); }
  ddb& database() { return *ldm_->get_ddb(); }
  subscription_agent& agent() { return *ldm_->get_subscription_agent(); }
  bool joined(uint32_t stream) { return ldm_->get_stream_manager().is_joined(static_cast<int>(stream)); }
  uint32_t stream_of(unsigned object_class) { return agent().plan().object_class_stream(object_class); }

  // A Vehicle discovered from another federate, its attributes heard on the Vehicle stream.
  void discover(uint32_t object, unsigned object_class) {
    database().instantiate_object(object_class, object, ("remote" + std::to_string(object)).c_str(), true, 77);
    database().set_stream(object, attribute_set({name, position}), static_cast<int32_t>(stream_of(object_class)));
  }

  std::unique_ptr<test_ldm> ldm_;
  unsigned vehicle = 0, car = 0, truck = 0, name = 0, position = 0, velocity = 0;
};

TEST_F(Declaration, PublicationAdvisesOnceAndUnpublishesWhatIsDropped) {
  ldm_->publish_object_class(vehicle, attribute_set({name, position}));
  ldm_->publish_object_class(vehicle, attribute_set({position, velocity}));
  ldm_->publish_interaction_class(1);
  ldm_->publish_interaction_class(1);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, (strings{"startRegistrationForObjectClass " + std::to_string(vehicle),
                                      "turnInteractionsOn 1"}));
  EXPECT_EQ(database().object_class(vehicle)->published, attribute_set({position, velocity}));

  ldm_->disable_class_relevance_advisory_switch();
  ldm_->disable_interaction_relevance_advisory_switch();
  ldm_->publish_object_class(car, attribute_set({name}));
  ldm_->publish_interaction_class(2);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks.size(), 2u);

  ldm_->unpublish_object_class(vehicle);
  ldm_->unpublish_interaction_class(1);
  expect_refusal(refusal_of([&] { ldm_->unpublish_object_class(vehicle); }), ldm_error::ObjectClassNotPublished,
                 "No attributes published in object class " + std::to_string(vehicle));
  expect_refusal(refusal_of([&] { ldm_->unpublish_interaction_class(1); }), ldm_error::InteractionClassNotPublished,
                 "Interaction class 1 is not published");
  expect_refusal(refusal_of([&] { ldm_->unsubscribe_interaction_class(1); }), ldm_error::InteractionClassNotSubscribed,
                 "Interaction class 1 is not subscribed");
}

TEST_F(Declaration, SubscriptionsJoinTheClassStreamsKeepObjectsAcrossAChangedSetAndResignLeavesThem) {
  const std::vector<uint32_t> streams{stream_of(vehicle), stream_of(car), stream_of(truck)};
  for (uint32_t s : streams) ASSERT_FALSE(joined(s));
  ldm_->subscribe_object_class_attributes(vehicle, attribute_set({name, position}), true);
  for (uint32_t s : streams) EXPECT_TRUE(joined(s)) << s;
  discover(9, vehicle);
  EXPECT_EQ(ldm_->get_remote_object_count(), 1u);

  // A changed set is subscribed before the old one is dropped: the counts never reach zero,
  // so the object stays.
  ldm_->subscribe_object_class_attributes(vehicle, attribute_set({position, velocity}), true);
  EXPECT_EQ(database().object_class(vehicle)->subscribed, attribute_set({position, velocity}));
  EXPECT_EQ(database().object_class(vehicle)->streams.at(stream_of(vehicle)), 1u);
  EXPECT_NE(database().object(9), nullptr);

  // Unsubscribing takes the object's attributes off the stream, which deletes it.
  ldm_->subscribe_interaction_class(1, true);
  ldm_->unsubscribe_object_class(vehicle);
  for (uint32_t s : streams) EXPECT_FALSE(joined(s)) << s;
  EXPECT_EQ(database().object(9), nullptr);
  EXPECT_EQ(ldm_->get_remote_object_count(), 0u);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, strings{"removeObjectInstance 9"});
  expect_refusal(refusal_of([&] { ldm_->unsubscribe_object_class(vehicle); }), ldm_error::AttributeNotSubscribed,
                 "No attributes subscribed in object class " + std::to_string(vehicle));

  // An empty set ends a subscription; resign leaves whatever is still joined.
  ldm_->subscribe_object_class_attributes(car, attribute_set({name}), true);
  ldm_->subscribe_object_class_attributes(truck, attribute_set({name}), true);
  ldm_->subscribe_object_class_attributes(truck, attribute_set({}), true);
  EXPECT_FALSE(joined(stream_of(truck)));
  const uint32_t interaction_stream = agent().plan().interaction_stream(1);
  const uint32_t car_stream = stream_of(car);
  EXPECT_TRUE(joined(interaction_stream));
  EXPECT_TRUE(joined(car_stream));
  ldm_->resign_federation_execution(false, false, false);
  EXPECT_FALSE(joined(interaction_stream));
  EXPECT_FALSE(joined(car_stream));
}

TEST_F(Declaration, TwoSpecificationsOnOneStreamHoldItUntilTheSecondLeaves) {
  // The Vehicle filter covers Car's stream as well: Car's stays joined until both go.
  ldm_->subscribe_object_class_attributes(vehicle, attribute_set({name}), true);
  ldm_->subscribe_object_class_attributes(car, attribute_set({name}), true);
  ldm_->unsubscribe_object_class(vehicle);
  EXPECT_TRUE(joined(stream_of(car)));
  ldm_->unsubscribe_object_class(car);
  EXPECT_FALSE(joined(stream_of(car)));

  // Two filters of one class count its stream twice; its objects go with the second.
  object_class_spec second(agent().plan(), *ldm_->get_fed(), vehicle);
  agent().subscribe_object_class_attributes(vehicle, attribute_set({name, position}),
                                            agent().get_object_class_spec(vehicle));
  agent().subscribe_object_class_attributes(vehicle, attribute_set({name}), second);
  EXPECT_EQ(database().object_class(vehicle)->streams.at(stream_of(vehicle)), 2u);
  EXPECT_EQ(database().object_class(vehicle)->subscribers[name], 6u) << "three streams, two filters";
  discover(9, vehicle);
  agent().unsubscribe_object_class(vehicle, agent().get_object_class_spec(vehicle));
  EXPECT_NE(database().object(9), nullptr);
  EXPECT_EQ(database().object_class(vehicle)->subscribed, attribute_set({name}));
  agent().unsubscribe_object_class(vehicle, second);
  EXPECT_EQ(database().object(9), nullptr);
  EXPECT_EQ(agent().subscribing_specs(), 0u);
  EXPECT_TRUE(agent().joins().empty());
}

TEST_F(Declaration, DiscoverAsFollowsTheNearestSubscribedClass) {
  auto discover_as = [&](unsigned c) { return database().object_class(c)->discover_as; };
  ldm_->subscribe_object_class_attributes(vehicle, attribute_set({name}), true);
  EXPECT_EQ(discover_as(car), vehicle);
  EXPECT_EQ(discover_as(truck), vehicle);
  ldm_->subscribe_object_class_attributes(car, attribute_set({name}), true);
  EXPECT_EQ(discover_as(car), car);
  EXPECT_EQ(discover_as(vehicle), vehicle);
  ldm_->unsubscribe_object_class(vehicle);
  EXPECT_EQ(discover_as(vehicle), no_class);
  EXPECT_EQ(discover_as(truck), no_class);
  EXPECT_EQ(discover_as(car), car);

  ldm_->subscribe_interaction_class(0, true);  // the root covers every interaction
  EXPECT_EQ(database().interaction_class(2)->receive_as, 0u);
  ldm_->unsubscribe_interaction_class(0);
  EXPECT_EQ(database().interaction_class(2)->receive_as, no_class);
}

TEST_F(Declaration, ObjectChecksAndCountsGoThroughTheDatabase) {
  discover(9, car);
  ldm_->disable_class_relevance_advisory_switch();
  ldm_->enable_attribute_relevance_advisory_switch();
  ldm_->publish_object_class(vehicle, attribute_set({name, position}));
  ldm_->get_ddb()->instantiate_object(vehicle, 10, "mine", false, 0);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, strings{"turnUpdatesOnForObjectInstance 10 " + std::to_string(name) + " " +
                                     std::to_string(position)});
  EXPECT_EQ(ldm_->get_object_instance_handle("remote9"), 9u);
  EXPECT_STREQ(ldm_->get_object_instance_name(10), "mine");
  EXPECT_EQ(ldm_->get_object_instance_class(9), car);
  EXPECT_EQ(ldm_->get_federation_manager().get_own_federate()->local_objects, 1u);
  EXPECT_EQ(ldm_->get_federation_manager().get_own_federate()->remote_objects, 1u);
  expect_refusal(refusal_of([&] { ldm_->get_object_instance_name(11); }), ldm_error::ObjectInstanceNotKnown,
                 "Unknown object 11 in getObjectInstanceName");
  expect_refusal(refusal_of([&] { ldm_->delete_object_instance(9, user_tag()); }),
                 ldm_error::DeletePrivilegeNotHeld, "Object 9 (remote9) is remote in call to deleteObjectInstance");
  expect_refusal(refusal_of([&] { ldm_->change_attribute_order_type(9, attribute_set({name}), 0); }),
                 ldm_error::AttributeNotOwned,
                 "Object 9 (remote9) has remote attrs in call to changeAttributeOrderType");
  expect_refusal(refusal_of([&] { ldm_->change_interaction_transportation_type(1, 99); }),
                 ldm_error::InvalidTransportationType, "Unknown transport 99 in call to changeInteractionTransportationType");
  EXPECT_TRUE(ldm_->is_attribute_owned_by_federate(10, name));
  EXPECT_FALSE(ldm_->is_attribute_owned_by_federate(9, name));
  ldm_->local_delete_object_instance(9);
  EXPECT_EQ(ldm_->get_object_count(), 1u);
  EXPECT_EQ(ldm_->get_federation_manager().get_own_federate()->remote_objects, 0u);
}

TEST_F(Declaration, AnAdvisoryCallbackMayUndoTheDeclarationItAnswers) {
  ldm_->on_callback = [&](const std::string& line) {
    if (line.rfind("startRegistrationForObjectClass", 0) != 0) return;
    ldm_->unpublish_object_class(vehicle);
    ldm_->subscribe_object_class_attributes(vehicle, attribute_set({name}), true);
    ldm_->unsubscribe_object_class(vehicle);
  };
  ldm_->publish_object_class(vehicle, attribute_set({name}));
  ldm_->tick();
  EXPECT_FALSE(database().object_class(vehicle)->is_published());
  EXPECT_FALSE(joined(stream_of(vehicle)));
  ldm_->publish_object_class(vehicle, attribute_set({name}));
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks.size(), 2u);
}

}  // namespace
