// The ambassador on a real distribution manager: each test federate joins its own federation on
// its own port of this suite's block, and callbacks are fed through the manager's queue.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "NullFederateAmbassador.hh"
#include "RTI.hh"
#include "bit_vector.h"
#include "frame/callback_queue.h"
#include "frame/intercept.h"
#include "frame/ldm_error.h"
#include "cpp13_absolute_time.h"
#include "time/event_retraction_handle.h"
#include "fedtime.hh"
#include "messages/handle_value_set.h"
#include "rti13_private.h"
#include "test_rid.h"
#include "test_ports.h"
#include "messages/user_tag.h"

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace {

using namespace rti13;

// A federate RID on the port of index in this suite's block, with region validation on or off.
test_rid_options rid_options(uint16_t port_index, bool validate_regions) {
  test_rid_options options;
  options.port = test_port(port_block::rti13_ambassador_test, port_index);
  options.validate_regions = validate_regions;
  return options;
}

// Records every callback it hears as one line; `during` runs inside each callback after it is
// recorded, so a test can act (or throw) as a federate would.
class recording_federate : public NullFederateAmbassador {
public:
  std::vector<std::string> heard;
  std::function<void(const std::string&)> during;

  void startRegistrationForObjectClass(ObjectClassHandle c) override { note("start " + std::to_string(c)); }
  void stopRegistrationForObjectClass(ObjectClassHandle c) override { note("stop " + std::to_string(c)); }
  void announceSynchronizationPoint(const char* label, const char* tag) override {
    std::ostringstream line;
    line << "announce " << label << " [" << tag << ']';
    note(line.str());
  }
  void reflectAttributeValues(ObjectHandle object, const AttributeHandleValuePairSet& values, const FedTime& time,
                              const char* tag, EventRetractionHandle handle) override {
    std::ostringstream line;
    line << "reflect " << object;
    for (ULong i = values.start(); values.valid(i); i = values.next(i)) {
      ULong length = 0;
      const char* bytes = values.getValuePointer(i, length);
      line << ' ' << values.getHandle(i) << '=' << std::string(bytes, length);
    }
    line << " @" << static_cast<const RTIfedTime&>(time).getTime() << " [" << tag << "] " << handle.theSerialNumber
         << '/' << handle.sendingFederate;
    note(line.str());
  }
  void receiveInteraction(InteractionClassHandle interaction, const ParameterHandleValuePairSet& values,
                          const char* tag) override {
    std::ostringstream line;
    line << "receive " << interaction << ' ' << values.size() << " [" << tag << ']';
    note(line.str());
  }
  void provideAttributeValueUpdate(ObjectHandle object, const AttributeHandleSet& attributes) override {
    std::ostringstream line;
    line << "provide " << object;
    for (ULong i = 0; i < attributes.size(); ++i) line << ' ' << attributes.getHandle(i);
    note(line.str());
  }
  void timeAdvanceGrant(const FedTime& time) override {
    note("grant " + std::to_string(static_cast<const RTIfedTime&>(time).getTime()));
  }
  void requestRetraction(EventRetractionHandle handle) override {
    note("retract " + std::to_string(handle.theSerialNumber) + "/" + std::to_string(handle.sendingFederate));
  }

private:
  void note(const std::string& line) {
    heard.push_back(line);
    if (during) during(line);
  }
};

// A set the binding did not make: the services must refuse it rather than misread it.
class foreign_attribute_set : public AttributeHandleSet {
public:
  ULong size() const override { return 0; }
  AttributeHandle getHandle(ULong) const override { return 0; }
  void add(AttributeHandle) override {}
  void remove(AttributeHandle) override {}
  void empty() override {}
  Boolean isEmpty() const override { return RTI_TRUE; }
  Boolean isMember(AttributeHandle) const override { return RTI_FALSE; }
};

// A federate handle set the binding did not make.
class foreign_federate_set : public FederateHandleSet {
public:
  ULong size() const override { return 0; }
  FederateHandle getHandle(ULong) const override { return 0; }
  void add(FederateHandle) override {}
  void remove(FederateHandle) override {}
  void empty() override {}
  Boolean isMember(FederateHandle) const override { return RTI_FALSE; }
};

// A region the binding did not make.
class foreign_region : public Region {
public:
  ULong getRangeLowerBound(ExtentIndex, DimensionHandle) const override { return 0; }
  ULong getRangeUpperBound(ExtentIndex, DimensionHandle) const override { return 0; }
  void setRangeLowerBound(ExtentIndex, DimensionHandle, ULong) override {}
  void setRangeUpperBound(ExtentIndex, DimensionHandle, ULong) override {}
  SpaceHandle getSpaceHandle() const override { return 0; }
  ULong getNumberOfExtents() const override { return 1; }
  ULong getRangeLowerBoundNotificationLimit(ExtentIndex, DimensionHandle) const override { return 0; }
  ULong getRangeUpperBoundNotificationLimit(ExtentIndex, DimensionHandle) const override { return 0; }
};

// The name and reason of the rti13 exception call throws; "" when it throws none.
template <typename Call>
std::string refusal_of(Call call) {
  try {
    call();
  } catch (const Exception& e) {
    return std::string(e._name) + " (" + (e._reason ? e._reason : "nil") + ")";
  }
  return "";
}

const char* const demo_fed = EXAMPLES_DIR "/demo.fed";
const char* const training_fed = EXAMPLES_DIR "/training.fed";  // has a routing space

// One federate joined to its own federation "Demo" on the test's port.
class JoinedAmbassador : public ::testing::Test {
protected:
  void join(uint16_t port_index, bool validate_regions = true, const char* fed = demo_fed) {
    rid_.emplace(rid_options(port_index, validate_regions));
    ambassador_ = std::make_unique<RTIambassador>();
    ambassador_->createFederationExecution("Demo", fed);
    handle_ = ambassador_->joinFederationExecution("alpha", "Demo", &federate_);
  }

  RTIambassador& rti() { return *ambassador_; }
  RTIambPrivateData& core() { return *ambassador_->privateData; }
  callback_queue& queue() { return *core().get_callback_queue(); }

  std::optional<scoped_rid_file> rid_;
  recording_federate federate_;
  std::unique_ptr<RTIambassador> ambassador_;
  FederateHandle handle_ = 0;
};

TEST(Ambassador, RefusesServicesBeforeJoiningAndStillTicks) {
  scoped_rid_file rid(rid_options(50, true));
  RTIambassador rti;
  EXPECT_EQ(refusal_of([&] { rti.getObjectClassHandle("ObjectRoot"); }).rfind("FederateNotExecutionMember (", 0), 0u);
  EXPECT_EQ(rti.tick(), RTI_FALSE);
  EXPECT_EQ(refusal_of([&] { rti.resignFederationExecution(NO_ACTION); }).rfind("FederateNotExecutionMember", 0), 0u);
}

TEST_F(JoinedAmbassador, HandlesAndNamesComeFromTheJoinedModel) {
  join(51);
  EXPECT_TRUE(core().is_joined());
  EXPECT_EQ(core().get_federate_ambassador(), &federate_);
  const ObjectClassHandle vehicle = rti().getObjectClassHandle("ObjectRoot.Vehicle");
  std::unique_ptr<char[]> name(rti().getObjectClassName(vehicle));
  EXPECT_STREQ(name.get(), "Vehicle");
  const AttributeHandle position = rti().getAttributeHandle("Position", vehicle);
  std::unique_ptr<char[]> attribute(rti().getAttributeName(position, vehicle));
  EXPECT_STREQ(attribute.get(), "Position");
  EXPECT_THROW(rti().getObjectClassHandle("ObjectRoot.Boat"), NameNotFound);
  EXPECT_THROW(rti().getTransportationHandle("carrier_pigeon"), NameNotFound);
  EXPECT_THROW(rti().getOrderingName(99), InvalidOrderingHandle);
  EXPECT_EQ(refusal_of([&] { rti().createRegion(0, 1); }),
            "SpaceNotDefined (Unknown routing space 0 in call to createRegion)");
  EXPECT_EQ(refusal_of([&] { rti().joinFederationExecution("again", "Demo", nullptr); })
                .rfind("FederateAlreadyExecutionMember", 0),
            0u);
  EXPECT_EQ(core().get_federate_ambassador(), &federate_);
}

TEST_F(JoinedAmbassador, ServicesReachTheirOwnManagerMethod) {
  join(52);
  EXPECT_EQ(refusal_of([&] { rti().requestFederationRestore("label"); }),
            "RTIinternalError (Method requestFederationRestore is not implemented)");
  EXPECT_EQ(refusal_of([&] { rti().requestFederationSave("label"); }),
            "RTIinternalError (Method requestFederationSave is not implemented)");
  // A declaration reaches the declaration database, which advises the federate.
  const ObjectClassHandle vehicle = rti().getObjectClassHandle("Vehicle");
  std::unique_ptr<AttributeHandleSet> attributes(AttributeHandleSetFactory::create(4));
  attributes->add(rti().getAttributeHandle("Position", vehicle));
  rti().publishObjectClass(vehicle, *attributes);
  rti().tick();
  EXPECT_EQ(federate_.heard, std::vector<std::string>{"start " + std::to_string(vehicle)});
  EXPECT_EQ(refusal_of([&] { rti().isAttributeOwnedByFederate(99, 0); }),
            "ObjectNotKnown (Unknown object 99 in call to isAttributeOwnedByFederate)");
}

TEST_F(JoinedAmbassador, SetsThisLibraryDidNotMakeAreRefused) {
  join(53);
  foreign_attribute_set foreign;
  EXPECT_EQ(refusal_of([&] { rti().publishObjectClass(0, foreign); }),
            "RTIinternalError (Bad AttributeHandleSet passed)");
  foreign_federate_set foreign_federates;
  EXPECT_EQ(refusal_of([&] { rti().registerFederationSynchronizationPoint("sync", "", foreign_federates); }),
            "RTIinternalError (Bad FederateHandleSet passed)");
  // Federate handles are 31-bit hashes: the binding hands the largest on to the manager as it is.
  std::unique_ptr<FederateHandleSet> far(FederateHandleSetFactory::create(1));
  far->add(0x7FFFFFFF);
  const std::string refusal = refusal_of([&] { rti().registerFederationSynchronizationPoint("sync", "", *far); });
  EXPECT_EQ(refusal.find("Bad FederateHandleSet"), std::string::npos) << refusal;
}

TEST_F(JoinedAmbassador, UnknownResignActionsChangeNothing) {
  join(54);
  for (int action : {0, 5}) {
    EXPECT_EQ(refusal_of([&] { rti().resignFederationExecution(static_cast<ResignAction>(action)); }),
              "InvalidResignAction (Unknown resign action)");
    EXPECT_TRUE(core().is_joined());
    EXPECT_EQ(core().get_federate_ambassador(), &federate_);
  }
  queue().add_start_registration(3);
  rti().tick();
  EXPECT_EQ(federate_.heard, std::vector<std::string>{"start 3"});
  rti().resignFederationExecution(DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  EXPECT_FALSE(core().is_joined());
  EXPECT_EQ(core().get_federate_ambassador(), nullptr);
}

TEST_F(JoinedAmbassador, RegionValidationRefusesRegionsItDidNotHandOut) {
  join(55);
  ASSERT_NE(core().get_region_validator(), nullptr);
  foreign_region foreign;
  EXPECT_EQ(refusal_of([&] { rti().notifyAboutRegionModification(foreign); }), "RegionNotKnown (Bad Region passed)");
  EXPECT_EQ(refusal_of([&] { rti().getRegionToken(&foreign); }), "RegionNotKnown (Bad Region passed)");
  EXPECT_EQ(refusal_of([&] { rti().deleteRegion(&foreign); }), "RegionNotKnown (Bad Region passed)");
  EXPECT_EQ(refusal_of([&] { rti().deleteRegion(nullptr); }), "RegionNotKnown (Bad Region passed)");
  AttributeHandle attributes[] = {0, 1};
  Region* regions[] = {nullptr, &foreign};
  EXPECT_EQ(refusal_of([&] { rti().registerObjectInstanceWithRegion(0, attributes, regions, 2); }),
            "RegionNotKnown (Bad Region passed)");
}

TEST_F(JoinedAmbassador, WithoutValidationOnlyNullRegionsAreCaughtByTheBinding) {
  join(56, false);
  EXPECT_EQ(core().get_region_validator(), nullptr);
  foreign_region foreign;
  EXPECT_EQ(refusal_of([&] { rti().deleteRegion(nullptr); }), "RegionNotKnown (Bad Region passed)");
  EXPECT_EQ(refusal_of([&] { rti().getRegionToken(nullptr); }), "RTIinternalError (Bad Region passed)");
  // A region of the federate's own making is never followed into the manager.
  EXPECT_EQ(refusal_of([&] { rti().notifyAboutRegionModification(foreign); }),
            "RegionNotKnown (Region not made by this federate)");
  EXPECT_EQ(refusal_of([&] { rti().deleteRegion(&foreign); }), "RegionNotKnown (Region not made by this federate)");
  AttributeHandle attributes[] = {0, 0};
  Region* regions[] = {nullptr, &foreign};
  EXPECT_EQ(refusal_of([&] { rti().registerObjectInstanceWithRegion(0, attributes, regions, 2); }),
            "RTIinternalError (Bad Region passed)");
}

// A region is the manager's own, edited in place and effective on notification; 64-bit indices
// and counts never wrap; the wrapper and the manager's region unlink both ways.
TEST_F(JoinedAmbassador, RegionsAreEditedInPlaceAndUnlinkBothWays) {
  join(64, true, training_fed);
  const SpaceHandle space = rti().getRoutingSpaceHandle("HyperSpace");
  const ULong beyond_32_bits = ULong(1) << 32;
  EXPECT_EQ(refusal_of([&] { rti().createRegion(space, beyond_32_bits + 1); }),
            "InvalidExtents (A region takes at most 1024 extents)");
  Region* region = rti().createRegion(space, 2);
  ASSERT_NE(region, nullptr);
  EXPECT_EQ(region->getNumberOfExtents(), 2u);
  EXPECT_EQ(refusal_of([&] { region->getRangeLowerBound(2, 0); }),
            "ArrayIndexOutOfBounds (Asked for extent 2 when only 2 are present)");
  EXPECT_EQ(refusal_of([&] { region->getRangeLowerBound(beyond_32_bits, 0); }),
            "ArrayIndexOutOfBounds (Asked for extent 4294967296 when only 2 are present)");
  EXPECT_EQ(refusal_of([&] { region->setRangeLowerBound(0, 3, 1); }),
            "ArrayIndexOutOfBounds (Asked for dimension 3 when only 3 are present)");

  region->setRangeLowerBound(1, 2, 7);
  region->setRangeUpperBound(1, 2, beyond_32_bits * 4);
  EXPECT_EQ(region->getRangeLowerBound(1, 2), 7u);
  EXPECT_EQ(region->getRangeUpperBound(1, 2), Region::getMaxExtent());
  EXPECT_EQ(region->getRangeLowerBoundNotificationLimit(1, 2), 0u);
  rti().notifyAboutRegionModification(*region);
  EXPECT_EQ(region->getRangeLowerBoundNotificationLimit(1, 2), 7u);
  region->setRangeLowerBound(0, 0, 9);
  region->setRangeUpperBound(0, 0, 3);
  EXPECT_EQ(refusal_of([&] { rti().notifyAboutRegionModification(*region); }),
            "InvalidExtents (Invalid range: Lower 9 > Upper 3)");
  EXPECT_EQ(region->getRangeLowerBoundNotificationLimit(0, 0), 0u);

  const RegionToken token = rti().getRegionToken(region);
  EXPECT_EQ(rti().getRegion(token), region);
  EXPECT_EQ(refusal_of([&] { rti().getRegion(token + beyond_32_bits); }), "RegionNotKnown (Could not find region)");
  // Deleted without deleteRegion: the region stays, and the token gives a wrapper that this
  // federate's createRegion never handed out.
  delete region;
  Region* again = rti().getRegion(token);
  EXPECT_EQ(refusal_of([&] { rti().notifyAboutRegionModification(*again); }), "RegionNotKnown (Bad Region passed)");

  // Resign frees the manager's regions while the federate still holds its wrappers.
  Region* kept = rti().createRegion(space, 1);
  rti().resignFederationExecution(NO_ACTION);
  EXPECT_EQ(refusal_of([&] { kept->getRangeLowerBound(0, 0); }), "ArrayIndexOutOfBounds (The region no longer exists)");
  EXPECT_EQ(kept->getNumberOfExtents(), 0u);
  rti().joinFederationExecution("alpha", "Demo", &federate_);
  EXPECT_EQ(refusal_of([&] { rti().notifyAboutRegionModification(*kept); }),
            "RegionNotKnown (The region no longer exists)");
  EXPECT_EQ(refusal_of([&] { rti().deleteRegion(kept); }), "RegionNotKnown (The region no longer exists)");
  delete kept;
  delete again;
}

TEST_F(JoinedAmbassador, CopiesShareOneManagerWhicheverGoesFirst) {
  join(57);
  auto copy = std::make_unique<RTIambassador>(rti());
  EXPECT_EQ(copy->privateData, ambassador_->privateData);
  RTIambassador assigned;  // its own manager, given up for the shared one
  assigned = *copy;
  EXPECT_EQ(assigned.privateData, ambassador_->privateData);
  assigned = assigned;
  ambassador_.reset();
  EXPECT_EQ(copy->getObjectClassHandle("ObjectRoot.Vehicle"), assigned.getObjectClassHandle("ObjectRoot.Vehicle"));
  assigned.privateData->get_callback_queue()->add_start_registration(8);
  copy->tick();
  EXPECT_EQ(federate_.heard, std::vector<std::string>{"start 8"});
  copy.reset();
  assigned.resignFederationExecution(NO_ACTION);
  EXPECT_FALSE(assigned.privateData->is_joined());
}

TEST_F(JoinedAmbassador, CallbacksWaitForTickAndArriveConverted) {
  join(58);
  auto* values = new handle_value_set(2);
  values->add(2, 5, "speed");
  values->add(0, 3, "own");
  const cpp13_absolute_time time(RTIfedTime(2.5));
  event_retraction_handle retraction;
  retraction.serial = 77;
  retraction.federate = 9;
  queue().add_update_attribute_values(4, "car", 1, 9, *values, &time, &retraction, user_tag("hello"));
  values->down_refcount();
  bit_vector attributes;
  attributes.set_bit(3);
  attributes.set_bit(1);
  queue().add_provide_attribute_values(4, attributes);
  queue().add_announce_syncpoint("ready", user_tag("go"));
  queue().add_time_advance_grant(cpp13_absolute_time(RTIfedTime(6)));
  queue().add_request_retraction(retraction);
  EXPECT_TRUE(federate_.heard.empty());
  rti().tick();
  EXPECT_EQ(federate_.heard, (std::vector<std::string>{"reflect 4 2=speed 0=own @2.5 [hello] 77/9", "provide 4 1 3",
                                                       "announce ready [go]", "grant 6.000000", "retract 77/9"}));
}

TEST_F(JoinedAmbassador, CallbackMayCallServicesButNotTick) {
  join(59);
  std::string inner_refusal;
  ObjectClassHandle looked_up = 0;
  federate_.during = [&](const std::string&) {
    looked_up = rti().getObjectClassHandle("ObjectRoot.Vehicle");
    inner_refusal = refusal_of([&] { rti().tick(); });
  };
  queue().add_start_registration(1);
  EXPECT_EQ(rti().tick(), RTI_FALSE);
  EXPECT_EQ(inner_refusal, "ConcurrentAccessAttempted (\"tick\" was called while we are ticking)");
  EXPECT_EQ(looked_up, rti().getObjectClassHandle("ObjectRoot.Vehicle"));
}

TEST_F(JoinedAmbassador, ResignRefusedInsideACallbackKeepsTheFederateListening) {
  join(60);
  std::string inner_refusal;
  federate_.during = [&](const std::string& line) {
    if (line == "start 1") inner_refusal = refusal_of([&] { rti().resignFederationExecution(NO_ACTION); });
  };
  queue().add_start_registration(1);
  queue().add_start_registration(2);
  rti().tick();
  EXPECT_EQ(inner_refusal, "ConcurrentAccessAttempted (resignFederationExecution was called while we are ticking)");
  EXPECT_EQ(federate_.heard, (std::vector<std::string>{"start 1", "start 2"}));
  EXPECT_EQ(core().get_federate_ambassador(), &federate_);
}

TEST_F(JoinedAmbassador, WhatTheFederateThrowsIsReportedAndContained) {
  join(61);
  federate_.during = [&](const std::string& line) {
    if (line == "start 1") throw ObjectClassNotPublished("not mine");
    if (line == "start 2") throw 42;
    if (line == "start 3") throw ObjectClassNotPublished(0ul);
  };
  for (unsigned c = 1; c <= 4; ++c) queue().add_start_registration(c);
  testing::internal::CaptureStdout();
  const Boolean result = rti().tick();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(result, RTI_FALSE);
  EXPECT_EQ(printed,
            "  Federate Exception Received\nObjectClassNotPublished (not mine)\n"
            "  Unknown Federate Exception Received\n\n"
            "  Federate Exception Received\nObjectClassNotPublished (nil)\n");
  EXPECT_EQ(federate_.heard, (std::vector<std::string>{"start 1", "start 2", "start 3", "start 4"}));
}

TEST_F(JoinedAmbassador, CallbacksWithoutAnAmbassadorAreDropped) {
  rid_.emplace(rid_options(62, true));
  ambassador_ = std::make_unique<RTIambassador>();
  rti().createFederationExecution("Demo", demo_fed);
  rti().joinFederationExecution("alpha", "Demo", nullptr);
  queue().add_start_registration(1);
  EXPECT_EQ(rti().tick(), RTI_FALSE);
  // Consumed by the tick, not kept for an ambassador that never comes.
  EXPECT_EQ(queue().pending(), 0u);
  std::ostringstream delivered;
  queue().print_history(delivered, true, false);
  EXPECT_NE(delivered.str().find("start_registration"), std::string::npos) << delivered.str();
}

// An intercept's veto leaves the ambassador's call returning normally; its refusal reaches the
// federate as the rti13 exception of its code.
TEST_F(JoinedAmbassador, InterceptVetoesReturnNormallyAndRefusalsArriveAsTheirExceptions) {
  class hook : public varnel::pass_through_intercept {
    void update_attribute_values(unsigned, const varnel::handle_value_set&, const varnel::user_tag&) override {
      throw varnel::ldm_exception(varnel::ldm_error::None);
    }
    void send_interaction(unsigned, const varnel::handle_value_set&, const varnel::user_tag&) override {
      throw varnel::ldm_exception(varnel::ldm_error::InteractionClassNotPublished, "held back");
    }
  };
  join(63);
  core().add_intercept(std::make_unique<hook>().release());
  std::unique_ptr<AttributeHandleValuePairSet> attributes(AttributeSetFactory::create(1));
  std::unique_ptr<ParameterHandleValuePairSet> parameters(ParameterSetFactory::create(1));
  rti().updateAttributeValues(12345, *attributes, "no such object");
  EXPECT_EQ(refusal_of([&] { rti().sendInteraction(0, *parameters, "t"); }), "InteractionClassNotPublished (held back)");
}

}  // namespace
