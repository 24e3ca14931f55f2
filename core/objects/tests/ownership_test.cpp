// Attribute ownership among three federates in one process on a stepped clock: transfers by
// divestiture, request and release, queries, contests of two takers, releases that cross a
// cancellation, and what a federate that resigns leaves behind. After every scenario each
// attribute has exactly one owner or is known to float.
#include "objects/ownership_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "case_port.h"
#include "fed/fed.h"
#include "ldm_refusals.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "stepped_federation.h"

using namespace brindle;
using namespace varnel;

namespace {

class OwnershipTest : public ::testing::Test {
protected:
  // alpha, bravo and charlie publish and subscribe Vehicle; alpha registers "v1", which the
  // others discover.
  void SetUp() override {
    for (const char* name : {"alpha", "bravo", "charlie"}) {
      test_ldm& f = federation_.join(name);
      vehicle_ = f.get_object_class_handle("Vehicle");
      name_ = f.get_attribute_handle("Name", vehicle_);
      position_ = f.get_attribute_handle("Position", vehicle_);
      velocity_ = f.get_attribute_handle("Velocity", vehicle_);
      f.publish_object_class(vehicle_, attribute_set({name_, position_, velocity_}));
      f.subscribe_object_class_attributes(vehicle_, attribute_set({name_, position_, velocity_}), true);
    }
    a().register_object_instance(vehicle_, "v1");
    ASSERT_TRUE(tick_until([&] { return knows(b()) && knows(c()); }));
  }

  test_ldm& a() { return *federation_.nodes[0]; }
  test_ldm& b() { return *federation_.nodes[1]; }
  test_ldm& c() { return *federation_.nodes[2]; }
  static unsigned handle(test_ldm& f) { return f.get_object_handle("v1"); }
  static bool knows(test_ldm& f) { return f.get_object_handle("v1") != invalid_handle; }
  bool tick_until(const std::function<bool()>& done, uint64_t ms = 500) { return federation_.tick_until(done, ms); }
  void settle(uint64_t ms = 300) { federation_.settle(ms); }

  static bool heard(const test_ldm& f, const std::string& line) {
    return std::count(f.callbacks.begin(), f.callbacks.end(), line) != 0;
  }
  std::string line(const char* callback, test_ldm& f, std::initializer_list<uint32_t> attributes) {
    std::string text = std::string(callback) + " " + std::to_string(handle(f));
    for (uint32_t a : attributes) text.append(" ").append(std::to_string(a));
    return text;
  }
  // How many of the federates own the attribute.
  int owners(uint32_t attribute) {
    int count = 0;
    for (auto& f : federation_.nodes)
      if (f->is_joined() && f->is_attribute_owned_by_federate(handle(*f), attribute)) ++count;
    return count;
  }
  void expect_single_owners() {
    for (uint32_t attribute : {name_, position_, velocity_}) EXPECT_EQ(owners(attribute), 1) << "attribute " << attribute;
  }

  stepped_federation federation_{case_port(port_block::ownership_test), "Owners"};
  unsigned vehicle_ = 0, name_ = 0, position_ = 0, velocity_ = 0;
  const user_tag tag_{"tag"};
};

TEST_F(OwnershipTest, ADivestitureGoesToTheAskerAndFloatsTheRestWhichIsTakenAtOnce) {
  b().attribute_ownership_acquisition(handle(b()), attribute_set({position_}), tag_);
  ASSERT_TRUE(tick_until([&] { return heard(a(), line("requestAttributeOwnershipRelease", a(), {position_})); }));

  a().unconditional_attribute_ownership_divestiture(handle(a()), attribute_set({position_, velocity_}));
  ASSERT_TRUE(tick_until([&] {
    return heard(b(), line("attributeOwnershipAcquisitionNotification", b(), {position_})) &&
           heard(c(), line("requestAttributeOwnershipAssumption", c(), {velocity_}));
  }));
  EXPECT_TRUE(heard(b(), line("requestAttributeOwnershipAssumption", b(), {velocity_})));
  EXPECT_EQ(owners(velocity_), 0);

  // Floating: alpha, which let it float, grants it.
  c().attribute_ownership_acquisition_if_available(handle(c()), attribute_set({velocity_}));
  ASSERT_TRUE(tick_until([&] { return c().is_attribute_owned_by_federate(handle(c()), velocity_); }));
  settle();
  expect_single_owners();
  EXPECT_TRUE(a().get_ownership_manager()->available().objects().empty());

  a().query_attribute_ownership(handle(a()), velocity_);
  ASSERT_TRUE(tick_until([&] {
    return heard(a(), "informAttributeOwnership " + std::to_string(handle(a())) + " " + std::to_string(velocity_) +
                          " " + std::to_string(c().get_federate_id()));
  }));
  // Nothing is pending for the attribute the federate owns; the service says so.
  expect_refusal(refusal_of([&] { c().attribute_ownership_release_response(handle(c()), attribute_set({velocity_})); }),
                 ldm_error::FederateWasNotAskedToReleaseAttribute,
                 "No matching requst for object " + std::to_string(handle(c())));
}

TEST_F(OwnershipTest, OfTwoFederatesTakingOneFloatingAttributeInOneRoundOneGainsAndTheOtherAsksIt) {
  a().unconditional_attribute_ownership_divestiture(handle(a()), attribute_set({velocity_}));
  ASSERT_TRUE(tick_until([&] {
    return heard(b(), line("requestAttributeOwnershipAssumption", b(), {velocity_})) &&
           heard(c(), line("requestAttributeOwnershipAssumption", c(), {velocity_}));
  }));
  b().attribute_ownership_acquisition(handle(b()), attribute_set({velocity_}), tag_);
  c().attribute_ownership_acquisition(handle(c()), attribute_set({velocity_}), tag_);
  EXPECT_EQ(owners(velocity_), 0) << "nobody owns it before alpha grants it";
  settle();
  expect_single_owners();

  // alpha granted the first take it heard; the other taker asks the new owner instead.
  test_ldm& winner = b().is_attribute_owned_by_federate(handle(b()), velocity_) ? b() : c();
  test_ldm& loser = &winner == &b() ? c() : b();
  EXPECT_TRUE(heard(winner, line("requestAttributeOwnershipRelease", winner, {velocity_})));
  EXPECT_EQ(loser.get_ownership_manager()->get_counters().not_granted, 1u);
  EXPECT_FALSE(loser.get_ownership_manager()->requests().objects().empty());
}

TEST_F(OwnershipTest, ReleasesGoToEachRequesterOneCrossingACancellationFloatsTheRestAndOwnersProvideTheirOwn) {
  b().attribute_ownership_acquisition(handle(b()), attribute_set({position_, velocity_}), tag_);
  c().attribute_ownership_acquisition(handle(c()), attribute_set({name_}), tag_);
  ASSERT_TRUE(tick_until([&] {
    return heard(a(), line("requestAttributeOwnershipRelease", a(), {position_, velocity_})) &&
           heard(a(), line("requestAttributeOwnershipRelease", a(), {name_}));
  }));
  // bravo cancels Velocity while alpha's release of both is on its way.
  std::unique_ptr<bit_vector> released(
      a().attribute_ownership_release_response(handle(a()), attribute_set({name_, position_, velocity_})));
  EXPECT_EQ(*released, attribute_set({name_, position_, velocity_}));
  b().cancel_attribute_ownership_acquisition(handle(b()), attribute_set({velocity_}));
  settle();
  EXPECT_TRUE(c().is_attribute_owned_by_federate(handle(c()), name_));
  EXPECT_TRUE(b().is_attribute_owned_by_federate(handle(b()), position_));
  EXPECT_EQ(owners(velocity_), 0);
  EXPECT_TRUE(heard(b(), line("confirmAttributeOwnershipAcquisitionCancellation", b(), {velocity_})));
  // What bravo no longer wanted floats: charlie may take it, and a query says so at once.
  EXPECT_TRUE(heard(c(), line("requestAttributeOwnershipAssumption", c(), {velocity_})));
  a().query_attribute_ownership(handle(a()), velocity_);
  a().tick();
  EXPECT_TRUE(heard(a(), "attributeIsNotOwned " + std::to_string(handle(a())) + " " + std::to_string(velocity_)));

  // With ownership split, a class request asks each owner for its own attributes and moves nothing.
  a().request_class_attribute_value_update(vehicle_, attribute_set({name_, position_, velocity_}));
  ASSERT_TRUE(tick_until([&] {
    return heard(b(), line("provideAttributeValueUpdate", b(), {position_})) &&
           heard(c(), line("provideAttributeValueUpdate", c(), {name_}));
  }));
  settle();
  for (test_ldm* f : {&a(), &b(), &c()}) EXPECT_LE(stepped_federation::count(*f, "provideAttributeValueUpdate"), 1u);
  EXPECT_EQ(owners(name_), 1);
  EXPECT_EQ(owners(position_), 1);
}

TEST_F(OwnershipTest, AQueryNobodyAnswersReportsFloatingAfterTheTimeoutAndALateAnswerChangesNothing) {
  // alpha, the owner, stops ticking: its answer comes only after the query timed out.
  b().query_attribute_ownership(handle(b()), name_);
  federation_.settle(4900, {&b(), &c()});
  const std::string floating = "attributeIsNotOwned " + std::to_string(handle(b())) + " " + std::to_string(name_);
  EXPECT_FALSE(heard(b(), floating));
  federation_.settle(200, {&b(), &c()});
  EXPECT_TRUE(heard(b(), floating));
  EXPECT_EQ(b().get_ownership_manager()->pending_queries(), 0u);
  settle();
  EXPECT_EQ(std::count_if(b().callbacks.begin(), b().callbacks.end(),
                          [](const std::string& l) { return l.rfind("informAttributeOwnership", 0) == 0; }),
            0);
}

TEST_F(OwnershipTest, AFederateThatResignsReleasingItsAttributesLetsTheOthersTakeThem) {
  b().attribute_ownership_acquisition(handle(b()), attribute_set({position_}), tag_);
  c().attribute_ownership_acquisition(handle(c()), attribute_set({name_}), tag_);
  ASSERT_TRUE(tick_until([&] { return heard(a(), line("requestAttributeOwnershipRelease", a(), {name_})); }));
  // charlie resigns: its pending request is cancelled, so alpha is no longer asked.
  c().resign_federation_execution(true, false, true);
  settle();
  EXPECT_TRUE(a().get_ownership_manager()->asked().of(handle(a()), c().get_federate()).is_empty());

  a().resign_federation_execution(true, false, true);
  ASSERT_TRUE(tick_until([&] { return b().is_attribute_owned_by_federate(handle(b()), position_); }));
  EXPECT_TRUE(heard(b(), line("requestAttributeOwnershipAssumption", b(), {name_, velocity_})));
  b().attribute_ownership_acquisition_if_available(handle(b()), attribute_set({name_, velocity_}));
  EXPECT_TRUE(b().is_attribute_owned_by_federate(handle(b()), name_));
}

}  // namespace

namespace {

// A transport of the minimum-rate kind with implicit transfer and fail-over, and short fail-over
// windows: claims within two seconds, takeovers one to two seconds later.
test_rid_options failover_options() {
  test_rid_options options;
  options.extra_transports =
      "(heartbeat (type \"minimum_rate\") (suppress_dups false) (implicit_transfer true) (failure_transfer true) "
      "(heartbeat_interval 500) (timeout_time 1000) (heartbeat_priority 0x10) (change_priority 0x30))";
  return options;
}

void short_windows(std::string& rid) {
  const std::string section = "(federate_parameters\n";
  rid.insert(rid.find(section) + section.size(),
             "    (ownership (query_timeout 5000) (failover_claim_window 2000) (takeover_delay 1000) (takeover_spread 1000))\n");
}

TEST(Failover, WhenTheOwnerFallsSilentExactlyOneSurvivorTakesOverAndItsUpdatesReachTheOther) {
  stepped_federation federation(case_port(port_block::ownership_test), "Failover");
  std::vector<test_ldm*> f;
  for (const char* name : {"alpha", "bravo", "charlie"}) f.push_back(&federation.join(name, failover_options(), short_windows));
  test_ldm& a = *f[0];
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  const unsigned name = a.get_attribute_handle("Name", vehicle), position = a.get_attribute_handle("Position", vehicle);
  for (test_ldm* each : f) {
    each->publish_object_class(vehicle, attribute_set({name, position}));
    if (each != &a) each->subscribe_object_class_attributes(vehicle, attribute_set({name, position}), true);
    // Every federate answers a provide request for the position it owns.
    each->on_callback = [each, position](const std::string& line) {
      const unsigned car = each->get_object_handle("car");
      if (line.rfind("provideAttributeValueUpdate", 0) == 0 && each->is_attribute_owned_by_federate(car, position))
        stepped_federation::update(*each, car, {{position, each->get_federate_name()}});
    };
  }
  federation.settle(50);
  const unsigned car = a.register_object_instance(vehicle, "car");
  a.change_attribute_transportation_type(car, attribute_set({position}), a.get_transportation_handle("heartbeat"));
  stepped_federation::update(a, car, {{position, "alpha"}});
  ASSERT_TRUE(federation.tick_until([&] { return f[1]->values.size() && f[2]->values.size(); }, 2000));

  // alpha falls silent; bravo and charlie alone tick on.
  test_ldm& b = *f[1];
  test_ldm& c = *f[2];
  const auto owns = [&](test_ldm& each) {
    return each.is_attribute_owned_by_federate(each.get_object_handle("car"), position);
  };
  ASSERT_TRUE(federation.tick_until([&] { return owns(b) || owns(c); }, 8000, {&b, &c}));
  federation.settle(3000, {&b, &c});
  EXPECT_NE(owns(b), owns(c));
  test_ldm& heir = owns(b) ? b : c;
  test_ldm& other = owns(b) ? c : b;
  EXPECT_EQ(stepped_federation::count(heir, "attributeOwnershipAcquisitionNotification"), 1u);
  EXPECT_GE(stepped_federation::count(heir, "provideAttributeValueUpdate"), 1u);
  const std::string from_heir = std::to_string(position) + "=" + heir.get_federate_name();
  EXPECT_NE(std::find(other.values.begin(), other.values.end(), from_heir), other.values.end())
      << "the survivor's updates reach the other";
}

}  // namespace
