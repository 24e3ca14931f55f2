// Attribute ownership among three federates in one process on a stepped clock: transfers by
// divestiture, request and release, queries, contests of two takers, releases that cross a
// cancellation, and what a federate that resigns leaves behind. After every scenario each
// attribute has exactly one owner or is known to float.
#include "objects/ownership_manager.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

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

  // Floating: taken in the calling federate at once, before any message reaches the others.
  c().attribute_ownership_acquisition_if_available(handle(c()), attribute_set({velocity_}));
  EXPECT_TRUE(c().is_attribute_owned_by_federate(handle(c()), velocity_));
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

TEST_F(OwnershipTest, TwoFederatesTakingOneFloatingAttributeInOneRoundLeaveOneOwner) {
  a().unconditional_attribute_ownership_divestiture(handle(a()), attribute_set({velocity_}));
  ASSERT_TRUE(tick_until([&] {
    return heard(b(), line("requestAttributeOwnershipAssumption", b(), {velocity_})) &&
           heard(c(), line("requestAttributeOwnershipAssumption", c(), {velocity_}));
  }));
  b().attribute_ownership_acquisition(handle(b()), attribute_set({velocity_}), tag_);
  c().attribute_ownership_acquisition(handle(c()), attribute_set({velocity_}), tag_);
  EXPECT_EQ(owners(velocity_), 2);
  settle();
  expect_single_owners();
  const uint64_t yielded = b().get_ownership_manager()->get_counters().yielded +
                           c().get_ownership_manager()->get_counters().yielded;
  EXPECT_EQ(yielded, 1u);

  // The one that yielded was told; a query anywhere names the one owner.
  test_ldm& loser = b().is_attribute_owned_by_federate(handle(b()), velocity_) ? c() : b();
  EXPECT_TRUE(heard(loser, line("attributeOwnershipDivestitureNotification", loser, {velocity_})));
}

TEST_F(OwnershipTest, ReleasesGoToEachRequesterAndOneCrossingACancellationFloatsWhatIsNoLongerWanted) {
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
