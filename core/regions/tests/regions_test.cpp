// Regions between federates in one process on a stepped clock, in the harbour model's routing
// space Sea laid out as one simple stream: what a region subscription hears, when an edit takes
// effect, and when a region may be deleted.
#include "regions/region.h"

#include <gtest/gtest.h>

#include <string>

#include "case_port.h"
#include "ldm_refusals.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "objects/subscription_agent.h"
#include "stepped_federation.h"

using namespace brindle;
using namespace varnel;

namespace {

// Sets extent e of the region to [x0, x1] x [y0, y1].
void place(region_spec& region, uint32_t e, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
  region.get_extent(e).ranges = {{x0, x1}, {y0, y1}};
}

class RegionsTest : public ::testing::Test {
protected:
  void SetUp() override {
    test_ldm& a = federation_.join("alpha");
    test_ldm& b = federation_.join("bravo");
    sea_ = a.get_routing_space_handle("Sea");
    ship_ = a.get_object_class_handle("Ship");
    tanker_ = a.get_object_class_handle("Ship.Tanker");
    hail_ = a.get_interaction_class_handle("Hail");
    name_ = a.get_attribute_handle("Name", ship_);
    position_ = a.get_attribute_handle("Position", ship_);
    for (unsigned c : {ship_, tanker_}) a.publish_object_class(c, attribute_set({name_, position_}));
    a.publish_interaction_class(hail_);
    b.subscribe_interaction_class_with_region(hail_, &region(b, 0, 1000, 0, 1000), true);
  }

  test_ldm& a() { return *federation_.nodes[0]; }
  test_ldm& b() { return *federation_.nodes[1]; }
  region_spec& region(test_ldm& f, uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
    region_spec& made = *f.create_region(sea_, 1);
    place(made, 0, x0, x1, y0, y1);
    f.notify_about_region_modification(&made);
    return made;
  }
  unsigned register_with(region_spec& where, unsigned object_class, const char* name) {
    const bit_vector sending = attribute_set({name_, position_});
    const bit_vector* const sets[] = {&sending};
    region_spec* const regions[] = {&where};
    return a().register_object_instance_with_region(object_class, name, sets, regions, 1);
  }
  // Updates both objects and ticks; how many reflections bravo had by then.
  size_t reflections_after_updates(unsigned ship, unsigned tanker) {
    stepped_federation::update(a(), ship, {{position_, "p"}});
    stepped_federation::update(a(), tanker, {{position_, "p"}});
    federation_.settle(200);
    return stepped_federation::count(b(), "reflectAttributeValues");
  }

  stepped_federation federation_{case_port(port_block::regions_test), "Harbour", EXAMPLES_DIR "/harbour.fed"};
  unsigned sea_ = 0, ship_ = 0, tanker_ = 0, hail_ = 0, name_ = 0, position_ = 0;
};

// A subscription to Ship with a region hears a Tanker too (it is received as a Ship), only while
// the regions overlap, and only once an edit is notified.
TEST_F(RegionsTest, ARegionSubscriptionHearsOverlappingSendersOfItsClassAndBelowAfterNotification) {
  region_spec& moored = region(a(), 100, 200, 100, 200);
  const unsigned ship = register_with(moored, ship_, "s1");
  const unsigned tanker = register_with(moored, tanker_, "t1");
  region_spec& watch = region(b(), 0, 150, 0, 150);
  b().subscribe_object_class_attributes_with_region(ship_, &watch, attribute_set({name_, position_}), true);
  federation_.settle(100);

  EXPECT_EQ(reflections_after_updates(ship, tanker), 2u);
  EXPECT_EQ(stepped_federation::count(b(), "discoverObjectInstance"), 2u);

  place(watch, 0, 500, 600, 500, 600);
  EXPECT_EQ(reflections_after_updates(ship, tanker), 4u) << "an edit without notification changes nothing";
  b().notify_about_region_modification(&watch);
  EXPECT_EQ(reflections_after_updates(ship, tanker), 4u) << "the regions no longer overlap";

  place(watch, 0, 700, 600, 0, 150);
  expect_refusal(refusal_of([&] { b().notify_about_region_modification(&watch); }), ldm_error::InvalidRangeBound,
                 "Invalid range: Lower 700 > Upper 600");
  EXPECT_EQ(watch.get_committed_extent(0).ranges[0], (filter_range{500, 600}));
  place(watch, 0, 150, 600, 150, 600);  // touching at one point overlaps
  b().notify_about_region_modification(&watch);
  EXPECT_EQ(reflections_after_updates(ship, tanker), 6u);

  // Regions in use stay; the sender's region is free once its objects are gone.
  expect_refusal(refusal_of([&] { b().delete_region(&watch); }), ldm_error::RegionInUseForUpdateOrSubscription,
                 "Region is still in use");
  expect_refusal(refusal_of([&] { a().delete_region(&moored); }), ldm_error::RegionInUseForUpdateOrSubscription,
                 "Region is still in use");
  b().unsubscribe_object_class_with_region(ship_, &watch);
  b().delete_region(&watch);
  // Unassociated, the ship's attributes go back to its class's own stream and still go out.
  a().unassociate_region_for_updates(&moored, ship);
  stepped_federation::update(a(), ship, {{position_, "p"}});
  a().delete_object_instance(tanker, user_tag("gone"));
  a().delete_region(&moored);
  expect_refusal(refusal_of([&] { a().delete_region(&moored); }), ldm_error::RegionNotCreatedByThisFederate,
                 "Region not known to this federate");
}

// An interaction sent with a region reaches a region subscriber whose region it overlaps, with
// the sender's extents; one sent elsewhere is filtered out.
TEST_F(RegionsTest, AnInteractionWithARegionCarriesItsExtentsToOverlappingSubscribersOnly) {
  region_spec& far = *a().create_region(sea_, 2);
  place(far, 0, 2000, 2100, 0, 10);
  place(far, 1, 3000, 3100, 0, 10);
  a().notify_about_region_modification(&far);
  auto* values = new handle_value_set;
  values->add(0, 5, "ahoy!");
  a().send_interaction_with_region(hail_, *values, user_tag("h"), &far);
  a().send_interaction_with_region(hail_, *values, user_tag("h"), &region(a(), 10, 20, 30, 40));
  values->down_refcount();
  ASSERT_TRUE(federation_.wait_for(b(), "receiveInteraction", 1, 500));
  federation_.settle(100);
  EXPECT_EQ(stepped_federation::count(b(), "receiveInteraction"), 1u);
  EXPECT_EQ(b().regions.back(), "[10-20 30-40]");
}

}  // namespace
