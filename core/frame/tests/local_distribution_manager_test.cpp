#include "frame/local_distribution_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "bit_vector.h"
#include "frame/debugging_events.h"
#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "frame/ldm_error.h"
#include "message_stats.h"
#include "stream_manager.h"
#include "ldm_refusals.h"
#include "test_rid.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "frame/joined_managers.h"
#include "timers.h"

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

using clock_type = std::chrono::steady_clock;

// A federate RID on the test's own port in the suite's block.
test_rid_options on_port(uint16_t index) {
  test_rid_options options;
  options.port = test_port(port_block::local_distribution_manager_test, index);
  return options;
}

// Each test builds its manager on a RID of its own, with its own port.
class LdmTest : public ::testing::Test {
protected:
  local_distribution_manager& make(const test_rid_options& settings) {
    const scoped_rid_file rid(settings);
    ldm_ = std::make_unique<test_ldm>("HLA 1.3 C++ API");
    return *ldm_;
  }

  // Creates and joins the demo federation through the services; the RID's join_timeout of 0
  // keeps the discovery wait to one pass.
  void join_demo() {
    ldm_->create_federation_execution("Demo", EXAMPLES_DIR "/demo.fed");
    ldm_->join_federation_execution("alpha", "Demo");
  }

  // Builds the join-time state directly, as the federation manager does once it accepts a join.
  void join_directly() {
    owned_fed_ = std::make_unique<FED>(&ldm_->get_rid(), EXAMPLES_DIR "/demo.fed");
    ldm_->join(owned_fed_.get(), "alpha", "Demo", 3, 17, federate_identifier(federate_identifier_type::local),
               federate_identifier(federate_identifier_type::local));
  }

  std::unique_ptr<FED> owned_fed_;  // declared before the manager, so the manager goes first
  std::unique_ptr<local_distribution_manager> ldm_;
};

TEST(LdmCompanions, CallsAndErrorsPrintUnderTheirOwnNames) {
  EXPECT_STREQ(rti_api_call_name(rti_api_call::registerObjectInstanceWithRegion), "registerObjectInstanceWithRegion");
  EXPECT_EQ(static_cast<uint32_t>(rti_api_call::registerObjectInstanceWithRegion), 69u);
  EXPECT_EQ(static_cast<uint32_t>(rti_api_call::registerObjectInstanceWithRegionWithName), 70u);
  EXPECT_EQ(static_cast<uint32_t>(rti_api_call::getRegion), 102u);
  EXPECT_EQ(rti_api_event_name(rti_api_call::synchronizationPointRegistrationSucceeded),
            "API_synchronizationPointRegistrationSucceeded");
  // The timed callbacks count under their own numbers but print as the untimed ones.
  EXPECT_STREQ(rti_api_call_name(rti_api_call::reflectAttributeValuesWithTime), "reflectAttributeValues");
  EXPECT_EQ(rti_api_event_name(rti_api_call::requestRetraction), "API_requestRetraction");
  EXPECT_STREQ(rti_api_call_name(static_cast<rti_api_call>(rti_api_call_count)), "");

  std::ostringstream out;
  out << ldm_error::AttributeNotSubscribed << "|" << ldm_error::InternalError << "|" << static_cast<ldm_error>(102) << "|"
      << ldm_exception(ldm_error::InvalidRegion) << "|"
      << make_ldm_exception(ldm_error::NameNotFound, "Unknown class %s in %s", "Boat", "getObjectClassHandle");
  EXPECT_EQ(out.str(),
            "AttributeNotSubscribed|InternalError||InvalidRegion: No details available|"
            "NameNotFound: Unknown class Boat in getObjectClassHandle");
}

TEST_F(LdmTest, BannerIsPrintedOnceBeforeTheRidIsRead) {
  test_rid_options settings = on_port(0);
  settings.timeadvance = "disabled";
  testing::internal::CaptureStdout();
  make(settings);
  const std::string out = testing::internal::GetCapturedStdout();

  const std::string banner = "-- Varnel version D22 release -- linux_g++-12 -- HLA 1.3 C++ API --\n";
  EXPECT_EQ(out.find(banner), 0u) << out;
  EXPECT_EQ(out.find(banner, 1), std::string::npos) << out;
  EXPECT_NE(out.find("Disabling timeadvance functionality by RID request.\n"), std::string::npos) << out;
  EXPECT_STREQ(ldm_->get_version_banner(), banner.substr(0, banner.size() - 1).c_str());
}

TEST_F(LdmTest, UnjoinedManagerTicksAndAnswersEmptyIdentity) {
  manual_clock clock;
  const scoped_rid_file rid(on_port(1));
  test_ldm ldm(clock);
  EXPECT_FALSE(ldm.is_joined());
  EXPECT_EQ(ldm.get_federate_name(), nullptr);
  EXPECT_EQ(ldm.get_federation_name(), nullptr);
  EXPECT_EQ(ldm.get_federate_id(), 0u);
  EXPECT_EQ(ldm.get_uptime(), 0u);

  // A plain tick makes one pass and does not wait; a minimum waits exactly that long.
  uint64_t start = clock.counter;
  EXPECT_FALSE(ldm.tick());
  EXPECT_EQ(clock.counter, start);
  EXPECT_FALSE(ldm.tick(0.05, 1.0));
  EXPECT_EQ(clock.counter, start + 50);
  // A negative minimum counts as none and a huge maximum is held to a year: one pass, at once.
  start = clock.counter;
  EXPECT_FALSE(ldm.tick(-1.0, 1e30));
  EXPECT_EQ(clock.counter, start);
  clock.advance(2500);
  EXPECT_EQ(ldm.get_uptime(), 2u);
}

TEST_F(LdmTest, TickJoinAndResignFromInsideTickAreRefused) {
  local_distribution_manager& ldm = make(on_port(2));
  std::vector<ldm_exception> refusals;
  bool inner_tick_ran = false;
  action_timer inner([&] {
    refusals.push_back(refusal_of([&] { ldm.tick(); }));
    refusals.push_back(refusal_of([&] { ldm.tick(0, 0); }));
    refusals.push_back(refusal_of([&] { ldm.join_federation_execution(nullptr, nullptr); }));
    refusals.push_back(refusal_of([&] { ldm.resign_federation_execution(false, false, false); }));
    inner_tick_ran = true;
  });
  inner.schedule(ldm.get_scheduler(), 0);
  EXPECT_FALSE(ldm.tick(0.02, 1.0));

  ASSERT_TRUE(inner_tick_ran);
  ASSERT_EQ(refusals.size(), 4u);
  expect_refusal(refusals[0], ldm_error::ConcurrentAccessAttempted, "\"tick\" was called while we are ticking");
  expect_refusal(refusals[1], ldm_error::ConcurrentAccessAttempted,
                 "\"tick_with_times\" was called while we are ticking");
  expect_refusal(refusals[2], ldm_error::ConcurrentAccessAttempted,
                 "joinFederationExecution was called while we are ticking");
  expect_refusal(refusals[3], ldm_error::ConcurrentAccessAttempted,
                 "resignFederationExecution was called while we are ticking");
  // The flag is cleared again, and the guard itself never left it set.
  EXPECT_FALSE(ldm.tick());
}

TEST_F(LdmTest, ArgumentsAndSwitchesAreCheckedInFrameOrder) {
  test_rid_options settings = on_port(3);
  settings.timeadvance = "disabled";
  settings.syncpoints = "true";
  local_distribution_manager& ldm = make(settings);
  EXPECT_TRUE(ldm.is_disabled(service_group::timeadvance));
  EXPECT_TRUE(ldm.is_disabled(service_group::syncpoints));
  EXPECT_FALSE(ldm.is_disabled(service_group::regions));

  // Null strings of the services that run unjoined are refused before anything else.
  expect_refusal(refusal_of([&] { ldm.create_federation_execution(nullptr, "demo.fed"); }),
                 ldm_error::InternalError, "NULL string passed");
  expect_refusal(refusal_of([&] { ldm.destroy_federation_execution(nullptr); }), ldm_error::InternalError,
                 "NULL string passed");

  // The joined check comes before the switch, and writes its text to the error stream too.
  testing::internal::CaptureStderr();
  expect_refusal(refusal_of([&] { ldm.disable_time_regulation(); }), ldm_error::FederateNotExecutionMember,
                 "Not joined to a federation in call to disableTimeRegulation");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Not joined to a federation in call to disableTimeRegulation\n");

  join_demo();
  expect_refusal(refusal_of([&] { ldm.disable_time_regulation(); }), ldm_error::InternalError,
                 "The timeadvance functionality is disabled by the RID");
  // Argument checks come before the switch, and before the refusal of save and restore.
  expect_refusal(refusal_of([&] { ldm.synchronization_point_achieved(nullptr); }), ldm_error::InternalError,
                 "NULL string passed");
  expect_refusal(refusal_of([&] { ldm.request_federation_restore(nullptr); }), ldm_error::InternalError,
                 "NULL string passed");
  expect_refusal(refusal_of([&] { ldm.synchronization_point_achieved("ready"); }), ldm_error::InternalError,
                 "The syncpoints functionality is disabled by the RID");
}

TEST_F(LdmTest, EveryCallIsCountedEvenWhenItFails) {
  local_distribution_manager& ldm = make(on_port(4));
  message_stats_tracker& stats = ldm.get_stats_tracker();
  ASSERT_EQ(stats.get_tracker("api"), ldm.get_api_tracker());

  ldm.tick();
  EXPECT_THROW(ldm.create_federation_execution(nullptr, nullptr), ldm_exception);
  EXPECT_THROW(ldm.get_object_class_handle("Vehicle"), ldm_exception);
  EXPECT_THROW(ldm.disable_time_regulation(), ldm_exception);
  ldm.get_federate_name();  // identity queries run without the frame
  EXPECT_EQ(stats.get_total_count(ldm.get_api_tracker()), 4u);
}

TEST_F(LdmTest, JoinBuildsIdentityAndResignClearsIt) {
  local_distribution_manager& ldm = make(on_port(5));
  join_directly();
  EXPECT_TRUE(ldm.is_joined());
  EXPECT_STREQ(ldm.get_federate_name(), "alpha");
  EXPECT_STREQ(ldm.get_federation_name(), "Demo");
  EXPECT_EQ(ldm.get_federate_id(), 3u);
  EXPECT_EQ(ldm.get_federation_id(), 17u);
  EXPECT_EQ(ldm.get_stream_manager().get_federate(), 3u);
  EXPECT_EQ(ldm.get_stream_manager().get_federation(), 17u);
  EXPECT_EQ(ldm.get_debugging_events().federation_name(), "Demo");

  ldm.resign();
  EXPECT_FALSE(ldm.is_joined());
  EXPECT_EQ(ldm.get_federate_name(), nullptr);
  EXPECT_EQ(ldm.get_federation_id(), 0u);
  EXPECT_EQ(ldm.get_stream_manager().get_federation(), 0u);
  EXPECT_EQ(ldm.get_debugging_events().federation_name(), "<not joined>");
  EXPECT_EQ(ldm.get_federate(), federate_identifier());
  ldm.resign();  // harmless when not joined
}

TEST_F(LdmTest, AJoinThatFailsPartwayLeavesTheFederateUnjoined) {
  local_distribution_manager& ldm = make(on_port(9));
  ldm.create_federation_execution("Demo", EXAMPLES_DIR "/demo.fed");
  for (const char* failing : {"argument checker", "callback queue"}) {
    joined_managers::set_construction_hook([failing](const char* built) {
      if (std::string(built) == failing) throw ldm_exception(ldm_error::InternalError, "no room");
    });
    EXPECT_THROW(ldm.join_federation_execution("alpha", "Demo"), ldm_exception) << failing;
    joined_managers::set_construction_hook(nullptr);
    EXPECT_FALSE(ldm.is_joined()) << failing;
    EXPECT_EQ(ldm.get_callback_queue(), nullptr);
    EXPECT_EQ(ldm.get_federate_id(), 0u);
    EXPECT_EQ(ldm.get_stream_manager().get_federation(), 0u);
    EXPECT_EQ(ldm.get_debugging_events().federation_name(), "<not joined>");
    EXPECT_EQ(ldm.get_num_joined_federates(), 0u);
    // What the failed join built is gone: its debug events can be registered again.
    testing::internal::CaptureStderr();
    ldm.join_federation_execution("alpha", "Demo");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(ldm.is_joined());
    EXPECT_EQ(ldm.get_num_joined_federates(), 1u);
    ldm.resign_federation_execution(false, false, false);
  }
}

TEST_F(LdmTest, FederationServicesGoThroughTheFederationManager) {
  local_distribution_manager& ldm = make(on_port(10));
  join_demo();
  EXPECT_EQ(ldm.get_federation_id(), name_hash("Demo"));
  EXPECT_EQ(ldm.get_federate_id(), identifier_hash(ldm.get_federate()));
  EXPECT_EQ(ldm.get_federation(), ldm.get_federation_manager().get_identifier());
  EXPECT_EQ(ldm.get_num_joined_federates(), 1u);
  EXPECT_STREQ(ldm.get_federate_name(ldm.get_federate_id()), "alpha");
  EXPECT_EQ(ldm.get_num_matching_federates("ALPH"), 1u);
  EXPECT_EQ(ldm.get_num_matching_federates("beta"), 0u);
  expect_refusal(refusal_of([&] { ldm.destroy_federation_execution("Demo"); }), ldm_error::FederatesCurrentlyJoined,
                 "Federation Demo has federates; could not destroy");

  ldm.resign_federation_execution(false, false, false);
  EXPECT_FALSE(ldm.is_joined());
  EXPECT_EQ(ldm.get_num_joined_federates(), 0u);
  EXPECT_STREQ(ldm.get_federate_name(0u), "");
  EXPECT_THROW(ldm.get_object_class_handle("Vehicle.Car"), ldm_exception);

  ldm.join_federation_execution("alpha", "Demo");  // a resigned federate may join again
  EXPECT_STREQ(ldm.get_federation_name(), "Demo");
  EXPECT_NE(ldm.get_object_class_handle("Vehicle.Car"), invalid_handle);
  ldm.resign_federation_execution(false, false, false);
  ldm.destroy_federation_execution("Demo");
  expect_refusal(refusal_of([&] { ldm.join_federation_execution("alpha", "Demo"); }),
                 ldm_error::FederationExecutionDoesNotExist, "Can't find federation Demo");
}

TEST_F(LdmTest, ObjectModelQueriesCheckTheirArguments) {
  local_distribution_manager& ldm = make(on_port(6));
  join_demo();
  const unsigned car = ldm.get_object_class_handle("vehicle.car");
  const unsigned passengers = ldm.get_attribute_handle("Passengers", car);

  expect_refusal(refusal_of([&] { ldm.get_object_class_handle("Boat"); }), ldm_error::NameNotFound,
                 "Unknown class Boat in getObjectClassHandle");
  expect_refusal(refusal_of([&] { ldm.get_attribute_handle("Sails", car); }), ldm_error::NameNotFound,
                 "Unknown attribute Sails in getAttributeHandle");
  expect_refusal(refusal_of([&] { ldm.get_attribute_name(99, 999); }), ldm_error::ObjectClassNotDefined,
                 "Unknown object class 999 in call to getAttributeName");
  expect_refusal(refusal_of([&] { ldm.get_ordering_name(77); }), ldm_error::InvalidOrderType,
                 "Unknown order 77 in getOrderingName");

  bit_vector attributes;
  attributes.set_bit(passengers);
  attributes.set_bit(40);
  attributes.set_bit(41);
  expect_refusal(refusal_of([&] { ldm.publish_object_class(car, attributes); }), ldm_error::AttributeNotDefined,
                 "Unknown attributes ( 40 41 ) for class " + std::to_string(car) + " in call to publishObjectClass");
  expect_refusal(refusal_of([&] { ldm.create_region(0, 0); }), ldm_error::InvalidSpaceHandle,
                 "Unknown routing space 0 in call to createRegion");
}

TEST_F(LdmTest, RegionRegistrationChecksEveryRegionAndTracesUnderItsOwnName) {
  test_rid_options settings = on_port(7);
  settings.debug_flags = "(registerObjectInstanceWithRegionWithName \"-\")";
  local_distribution_manager& ldm = make(settings);
  join_demo();
  const unsigned car = ldm.get_object_class_handle("Vehicle.Car");
  bit_vector attributes;
  const bit_vector* const sets[] = {&attributes, &attributes};
  // A pointer the federate never got is looked up, never followed.
  alignas(8) char stand_in[8];
  region_spec* const regions[] = {nullptr, reinterpret_cast<region_spec*>(stand_in)};
  region_spec* const unknown[] = {regions[1]};

  testing::internal::CaptureStdout();
  expect_refusal(refusal_of([&] { ldm.register_object_instance_with_region(car, sets, regions, 2); }),
                 ldm_error::InvalidRegion, "NULL Region passed");
  expect_refusal(refusal_of([&] { ldm.register_object_instance_with_region(car, "car1", sets, unknown, 1); }),
                 ldm_error::RegionNotCreatedByThisFederate, "Region not known to this federate");
  expect_refusal(refusal_of([&] { ldm.register_object_instance_with_region(car, "car1", sets, nullptr, 1); }),
                 ldm_error::InternalError, "NULL attribute set or region array passed");
  const std::string out = testing::internal::GetCapturedStdout();

  const std::string traced = "local_distribution_manager: registerObjectInstanceWithRegionWithName called\n";
  EXPECT_NE(out.find(traced), std::string::npos) << out;
  EXPECT_NE(out.find(traced, out.find(traced) + 1), std::string::npos) << out;
  EXPECT_EQ(out.find("registerObjectInstanceWithRegion called"), std::string::npos) << out;
}

TEST_F(LdmTest, CallsFromTwoThreadsAreSerialisedByTheLock) {
  local_distribution_manager& ldm = make(on_port(8));
  std::atomic<bool> ticking{false};
  std::atomic<bool> call_done{false};
  bool done_during_tick = false;
  // The event holds the tick (and its lock) for a while, watching whether the other thread's
  // call gets through meanwhile.
  action_timer hold([&] {
    ticking = true;
    const auto until = clock_type::now() + std::chrono::milliseconds(100);
    while (clock_type::now() < until && !call_done) std::this_thread::yield();
    done_during_tick = call_done;
  });
  hold.schedule(ldm.get_scheduler(), 0);

  std::thread ticker([&] { ldm.tick(); });
  while (!ticking) std::this_thread::yield();
  EXPECT_THROW(ldm.get_object_class_handle("Vehicle"), ldm_exception);
  call_done = true;
  ticker.join();
  EXPECT_FALSE(done_during_tick);
}

}  // namespace
