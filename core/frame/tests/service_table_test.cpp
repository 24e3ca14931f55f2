// What every service of the distribution manager does today, one row per service: the call
// with valid arguments and what it gives joined (and, for the federation services that run
// unjoined, unjoined). When a manager is built, its services' rows change to their real
// behaviour in the same commit. tick and tickWithTimes have tests of their own.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "bit_vector.h"
#include "fed/fed.h"
#include "federation/federate_handle_set.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "ldm_refusals.h"
#include "test_rid.h"
#include "test_ldm.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

enum port_index : uint16_t { unjoined_port, joined_port };

constexpr const char* federation = "Training";
constexpr const char* federate = "alpha";
constexpr const char* fed_file = EXAMPLES_DIR "/training.fed";

// What a service does with its row's call. "%s" in a detail stands for the service's name.
struct outcome {
  ldm_error code = ldm_error::None;  // None: the service answers
  std::string detail;
};

outcome refused(ldm_error code, std::string detail) { return {code, std::move(detail)}; }

const outcome answers;
const outcome not_implemented = refused(ldm_error::InternalError, "Method %s is not implemented");
const outcome unknown_object = refused(ldm_error::ObjectInstanceNotKnown, "Unknown object 1 in call to %s");
// The declaration rows before leave the Vehicle class and the Freeze interaction unpublished.
const outcome unpublished_class = refused(ldm_error::ObjectClassNotPublished, "Object class 2 is not published");
const outcome update_unknown = refused(ldm_error::ObjectInstanceNotKnown, "Tried to update unknown object 1");
const outcome unpublished_interaction =
    refused(ldm_error::InteractionClassNotPublished, "Tried to update unpublished interaction class 3 (Exercise.Freeze)");
// The rows' region stands in for a pointer the federate never got: it is refused before use.
const outcome unknown_region = refused(ldm_error::RegionNotCreatedByThisFederate, "Region not known to this federate");
const outcome not_member = refused(ldm_error::FederateNotExecutionMember, "Not joined to a federation in call to %s");

struct set_reference {
  void operator()(handle_value_set* set) const { set->down_refcount(); }
};
using value_set = std::unique_ptr<handle_value_set, set_reference>;

value_set one_value(unsigned handle, const char* text) {
  value_set set(new handle_value_set(1));
  set->add(handle, static_cast<uint32_t>(std::strlen(text)), text);
  return set;
}

// Valid arguments in the training model. The object handle and the region stand in for real
// ones, which the services refuse before they would look at them; the region token is that of
// the region the createRegion row makes.
struct arguments {
  arguments(const FED& fed, unsigned own_handle)
      : vehicle(fed.get_object_class_handle("Platform.GroundVehicle")),
        fuel(fed.get_attribute_handle("Fuel", vehicle)),
        freeze(fed.get_interaction_class_handle("Exercise.Freeze")),
        reason(fed.get_parameter_handle("Reason", freeze)),
        space(fed.get_routing_space_handle("HyperSpace")),
        northing(fed.get_dimension_handle("Northing", space)),
        reliable(fed.get_transport_id("reliable")),
        timestamp(fed.get_order_id("timestamp")),
        retraction{1, own_handle},
        attribute_values(one_value(fuel, "full")),
        parameter_values(one_value(reason, "weather")) {
    fuel_set.set_bit(fuel);
    federates.insert(own_handle);
  }

  const unsigned vehicle, fuel, freeze, reason, space, northing, reliable, timestamp;
  const unsigned object = 1;
  const unsigned region_token = 1;
  bit_vector fuel_set;
  federate_handle_set federates;
  const user_tag tag{"row"};
  const test_absolute_time time{10.0};
  const test_relative_time lookahead{0.5};
  const event_retraction_handle retraction;
  const value_set attribute_values;
  const value_set parameter_values;
  alignas(8) char region_bytes[8] = {};
  region_spec* const region = reinterpret_cast<region_spec*>(region_bytes);
  const bit_vector* const attribute_sets[1] = {&fuel_set};
  region_spec* const regions[1] = {region};
};

using service_call = void (*)(local_distribution_manager& ldm, const arguments& a);

struct row {
  rti_api_call call;
  service_call run;
  outcome joined;
  outcome unjoined = not_member;
};

using call = rti_api_call;

const row service_rows[] = {
    // Federation management. The join and resign rows change membership; the pass puts it back.
    {call::createFederationExecution, [](auto& ldm, auto&) { ldm.create_federation_execution("Spare", fed_file); },
     answers, answers},
    {call::destroyFederationExecution, [](auto& ldm, auto&) { ldm.destroy_federation_execution("Spare"); }, answers,
     answers},
    {call::joinFederationExecution,
     [](auto& ldm, auto&) {
       const unsigned handle = ldm.join_federation_execution(federate, federation);
       EXPECT_EQ(handle, ldm.get_federate_id());
     },
     refused(ldm_error::FederateAlreadyExecutionMember, "Already joined to federation Training"), answers},
    {call::resignFederationExecution,
     [](auto& ldm, auto&) {
       ldm.resign_federation_execution(true, true, true);
       EXPECT_FALSE(ldm.is_joined());
     },
     answers},
    {call::registerFederationSynchronizationPoint,
     [](auto& ldm, auto& a) { ldm.register_federation_synchronization_point("ready", a.tag); }, answers},
    {call::registerFederationSynchronizationPointWithFederates,
     [](auto& ldm, auto& a) { ldm.register_federation_synchronization_point("set", a.tag, a.federates); }, answers},
    {call::synchronizationPointAchieved, [](auto& ldm, auto&) { ldm.synchronization_point_achieved("ready"); },
     answers},
    {call::requestFederationSave, [](auto& ldm, auto&) { ldm.request_federation_save("checkpoint"); },
     not_implemented},
    {call::requestFederationSaveWithTime, [](auto& ldm, auto& a) { ldm.request_federation_save("checkpoint", a.time); },
     refused(ldm_error::InternalError, "Method requestFederationSave is not implemented")},
    {call::federateSaveBegun, [](auto& ldm, auto&) { ldm.federate_save_begun(); }, not_implemented},
    {call::federateSaveComplete, [](auto& ldm, auto&) { ldm.federate_save_complete(); }, not_implemented},
    {call::federateSaveNotComplete, [](auto& ldm, auto&) { ldm.federate_save_not_complete(); }, not_implemented},
    {call::requestFederationRestore, [](auto& ldm, auto&) { ldm.request_federation_restore("checkpoint"); },
     not_implemented},
    {call::federateRestoreComplete, [](auto& ldm, auto&) { ldm.federate_restore_complete(); }, not_implemented},
    {call::federateRestoreNotComplete, [](auto& ldm, auto&) { ldm.federate_restore_not_complete(); },
     not_implemented},

    // Declaration management.
    {call::publishObjectClass, [](auto& ldm, auto& a) { ldm.publish_object_class(a.vehicle, a.fuel_set); }, answers},
    {call::unpublishObjectClass, [](auto& ldm, auto& a) { ldm.unpublish_object_class(a.vehicle); }, answers},
    {call::publishInteractionClass, [](auto& ldm, auto& a) { ldm.publish_interaction_class(a.freeze); }, answers},
    {call::unpublishInteractionClass, [](auto& ldm, auto& a) { ldm.unpublish_interaction_class(a.freeze); },
     answers},
    {call::subscribeObjectClassAttributes,
     [](auto& ldm, auto& a) { ldm.subscribe_object_class_attributes(a.vehicle, a.fuel_set, true); },
     answers},
    {call::unsubscribeObjectClass, [](auto& ldm, auto& a) { ldm.unsubscribe_object_class(a.vehicle); }, answers},
    {call::subscribeInteractionClass, [](auto& ldm, auto& a) { ldm.subscribe_interaction_class(a.freeze, true); },
     answers},
    {call::unsubscribeInteractionClass, [](auto& ldm, auto& a) { ldm.unsubscribe_interaction_class(a.freeze); },
     answers},

    // Object management.
    {call::registerObjectInstance, [](auto& ldm, auto& a) { ldm.register_object_instance(a.vehicle); },
     unpublished_class},
    {call::registerObjectInstanceWithName, [](auto& ldm, auto& a) { ldm.register_object_instance(a.vehicle, "v1"); },
     unpublished_class},
    {call::updateAttributeValues,
     [](auto& ldm, auto& a) { ldm.update_attribute_values(a.object, *a.attribute_values, a.tag); }, update_unknown},
    {call::updateAttributeValuesWithTime,
     [](auto& ldm, auto& a) { ldm.update_attribute_values(a.object, *a.attribute_values, a.time, a.tag); },
     update_unknown},
    {call::sendInteraction, [](auto& ldm, auto& a) { ldm.send_interaction(a.freeze, *a.parameter_values, a.tag); },
     unpublished_interaction},
    {call::sendInteractionWithTime,
     [](auto& ldm, auto& a) { ldm.send_interaction(a.freeze, *a.parameter_values, a.time, a.tag); },
     unpublished_interaction},
    {call::deleteObjectInstance, [](auto& ldm, auto& a) { ldm.delete_object_instance(a.object, a.tag); }, unknown_object},
    {call::deleteObjectInstanceWithTime,
     [](auto& ldm, auto& a) { ldm.delete_object_instance(a.object, a.time, a.tag); }, unknown_object},
    {call::localDeleteObjectInstance, [](auto& ldm, auto& a) { ldm.local_delete_object_instance(a.object); },
     unknown_object},
    {call::changeAttributeTransportationType,
     [](auto& ldm, auto& a) { ldm.change_attribute_transportation_type(a.object, a.fuel_set, a.reliable); },
     unknown_object},
    {call::changeInteractionTransportationType,
     [](auto& ldm, auto& a) { ldm.change_interaction_transportation_type(a.freeze, a.reliable); }, answers},
    {call::requestObjectAttributeValueUpdate,
     [](auto& ldm, auto& a) { ldm.request_object_attribute_value_update(a.object, a.fuel_set); }, unknown_object},
    {call::requestClassAttributeValueUpdate,
     [](auto& ldm, auto& a) { ldm.request_class_attribute_value_update(a.vehicle, a.fuel_set); }, answers},

    // Ownership management.
    {call::unconditionalAttributeOwnershipDivestiture,
     [](auto& ldm, auto& a) { ldm.unconditional_attribute_ownership_divestiture(a.object, a.fuel_set); }, unknown_object},
    {call::negotiatedAttributeOwnershipDivestiture,
     [](auto& ldm, auto& a) { ldm.negotiated_attribute_ownership_divestiture(a.object, a.fuel_set, a.tag); },
     unknown_object},
    {call::attributeOwnershipAcquisition,
     [](auto& ldm, auto& a) { ldm.attribute_ownership_acquisition(a.object, a.fuel_set, a.tag); }, unknown_object},
    {call::attributeOwnershipAcquisitionIfAvailable,
     [](auto& ldm, auto& a) { ldm.attribute_ownership_acquisition_if_available(a.object, a.fuel_set); }, unknown_object},
    {call::attributeOwnershipReleaseResponse,
     [](auto& ldm, auto& a) { ldm.attribute_ownership_release_response(a.object, a.fuel_set); }, unknown_object},
    {call::cancelNegotiatedAttributeOwnershipDivestiture,
     [](auto& ldm, auto& a) { ldm.cancel_negotiated_attribute_ownership_divestiture(a.object, a.fuel_set); },
     unknown_object},
    {call::cancelAttributeOwnershipAcquisition,
     [](auto& ldm, auto& a) { ldm.cancel_attribute_ownership_acquisition(a.object, a.fuel_set); }, unknown_object},
    {call::queryAttributeOwnership, [](auto& ldm, auto& a) { ldm.query_attribute_ownership(a.object, a.fuel); },
     unknown_object},
    {call::isAttributeOwnedByFederate,
     [](auto& ldm, auto& a) { ldm.is_attribute_owned_by_federate(a.object, a.fuel); }, unknown_object},

    // Time management.
    {call::enableTimeRegulation, [](auto& ldm, auto& a) { ldm.enable_time_regulation(a.time, a.lookahead); },
     answers},
    {call::disableTimeRegulation, [](auto& ldm, auto&) { ldm.disable_time_regulation(); }, answers},
    {call::enableTimeConstrained, [](auto& ldm, auto&) { ldm.enable_time_constrained(); }, answers},
    {call::disableTimeConstrained, [](auto& ldm, auto&) { ldm.disable_time_constrained(); }, answers},
    {call::timeAdvanceRequest, [](auto& ldm, auto& a) { ldm.time_advance_request(a.time); }, answers},
    {call::timeAdvanceRequestAvailable, [](auto& ldm, auto& a) { ldm.time_advance_request_available(a.time); },
     answers},
    {call::nextEventRequest, [](auto& ldm, auto& a) { ldm.next_event_request(a.time); }, answers},
    {call::nextEventRequestAvailable, [](auto& ldm, auto& a) { ldm.next_event_request_available(a.time); },
     answers},
    {call::flushQueueRequest, [](auto& ldm, auto& a) { ldm.flush_queue_request(a.time); }, answers},
    {call::enableAsynchronousDelivery, [](auto& ldm, auto&) { ldm.enable_asynchronous_delivery(); }, answers},
    {call::disableAsynchronousDelivery, [](auto& ldm, auto&) { ldm.disable_asynchronous_delivery(); }, answers},
    {call::queryLBTS, [](auto& ldm, auto&) { test_absolute_time lbts; ldm.query_lbts(lbts); }, answers},
    {call::queryFederateTime, [](auto& ldm, auto&) { test_absolute_time now; ldm.query_federate_time(now); },
     answers},
    {call::queryMinNextEventTime,
     [](auto& ldm, auto&) { test_absolute_time next; ldm.query_min_next_event_time(next); }, answers},
    {call::modifyLookahead, [](auto& ldm, auto& a) { ldm.modify_lookahead(a.lookahead); }, answers},
    {call::queryLookahead, [](auto& ldm, auto&) { test_relative_time lookahead; ldm.query_lookahead(lookahead); },
     answers},
    // A handle of this federate's own goes out; one of another federate is refused.
    {call::retract,
     [](auto& ldm, auto& a) {
       ldm.do_retract(a.retraction);
       const event_retraction_handle foreign{a.retraction.serial, a.retraction.federate + 1};
       expect_refusal(refusal_of([&] { ldm.do_retract(foreign); }), ldm_error::InvalidRetractionHandle,
                      "Handle not from a valid event");
     },
     answers},
    {call::changeAttributeOrderType,
     [](auto& ldm, auto& a) { ldm.change_attribute_order_type(a.object, a.fuel_set, a.timestamp); }, unknown_object},
    {call::changeInteractionOrderType,
     [](auto& ldm, auto& a) { ldm.change_interaction_order_type(a.freeze, a.timestamp); }, answers},

    // Data distribution management.
    {call::createRegion, [](auto& ldm, auto& a) { ldm.create_region(a.space, 1); }, answers},
    {call::notifyAboutRegionModification, [](auto& ldm, auto& a) { ldm.notify_about_region_modification(a.region); },
     unknown_region},
    {call::deleteRegion, [](auto& ldm, auto& a) { ldm.delete_region(a.region); }, unknown_region},
    {call::registerObjectInstanceWithRegion,
     [](auto& ldm, auto& a) { ldm.register_object_instance_with_region(a.vehicle, a.attribute_sets, a.regions, 1); },
     unknown_region},
    {call::registerObjectInstanceWithRegionWithName,
     [](auto& ldm, auto& a) {
       ldm.register_object_instance_with_region(a.vehicle, "v2", a.attribute_sets, a.regions, 1);
     },
     unknown_region},
    {call::associateRegionForUpdates,
     [](auto& ldm, auto& a) { ldm.associate_region_for_updates(a.region, a.object, a.fuel_set); }, unknown_object},
    {call::unassociateRegionForUpdates,
     [](auto& ldm, auto& a) { ldm.unassociate_region_for_updates(a.region, a.object); }, unknown_object},
    {call::subscribeObjectClassAttributesWithRegion,
     [](auto& ldm, auto& a) {
       ldm.subscribe_object_class_attributes_with_region(a.vehicle, a.region, a.fuel_set, true);
     },
     unknown_region},
    {call::unsubscribeObjectClassWithRegion,
     [](auto& ldm, auto& a) { ldm.unsubscribe_object_class_with_region(a.vehicle, a.region); }, unknown_region},
    {call::subscribeInteractionClassWithRegion,
     [](auto& ldm, auto& a) { ldm.subscribe_interaction_class_with_region(a.freeze, a.region, true); },
     unknown_region},
    {call::unsubscribeInteractionClassWithRegion,
     [](auto& ldm, auto& a) { ldm.unsubscribe_interaction_class_with_region(a.freeze, a.region); },
     unknown_region},
    {call::sendInteractionWithRegion,
     [](auto& ldm, auto& a) { ldm.send_interaction_with_region(a.freeze, *a.parameter_values, a.tag, a.region); },
     unknown_region},
    {call::sendInteractionWithRegionWithTime,
     [](auto& ldm, auto& a) {
       ldm.send_interaction_with_region(a.freeze, *a.parameter_values, a.time, a.tag, a.region);
     },
     unknown_region},
    {call::requestClassAttributeValueUpdateWithRegion,
     [](auto& ldm, auto& a) { ldm.request_class_attribute_value_update_with_region(a.vehicle, a.fuel_set, a.region); },
     unknown_region},

    // Support services. The object model's names and handles come from the joined FED; attributes
    // and interactions of the training model name no routing space.
    {call::getObjectClassHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_object_class_handle("platform.groundvehicle"), a.vehicle); }, answers},
    {call::getObjectClassName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_object_class_name(a.vehicle), "Platform.GroundVehicle"); },
     answers},
    {call::getAttributeHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_attribute_handle("Fuel", a.vehicle), a.fuel); }, answers},
    {call::getAttributeName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_attribute_name(a.fuel, a.vehicle), "Fuel"); }, answers},
    {call::getInteractionClassHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_interaction_class_handle("Exercise.Freeze"), a.freeze); }, answers},
    {call::getInteractionClassName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_interaction_class_name(a.freeze), "Exercise.Freeze"); }, answers},
    {call::getParameterHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_parameter_handle("Reason", a.freeze), a.reason); }, answers},
    {call::getParameterName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_parameter_name(a.reason, a.freeze), "Reason"); }, answers},
    {call::getObjectInstanceHandle, [](auto& ldm, auto&) { ldm.get_object_instance_handle("v1"); },
     refused(ldm_error::ObjectInstanceNotKnown, "Unknown object v1 in getObjectInstanceHandle")},
    {call::getObjectInstanceName, [](auto& ldm, auto& a) { ldm.get_object_instance_name(a.object); },
     refused(ldm_error::ObjectInstanceNotKnown, "Unknown object 1 in getObjectInstanceName")},
    {call::getRoutingSpaceHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_routing_space_handle("HyperSpace"), a.space); }, answers},
    {call::getRoutingSpaceName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_routing_space_name(a.space), "HyperSpace"); }, answers},
    {call::getDimensionHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_dimension_handle("Northing", a.space), a.northing); }, answers},
    {call::getDimensionName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_dimension_name(a.northing, a.space), "Northing"); }, answers},
    {call::getAttributeRoutingSpaceHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_attribute_routing_space_handle(a.fuel, a.vehicle), invalid_handle); },
     answers},
    {call::getObjectClass, [](auto& ldm, auto& a) { ldm.get_object_instance_class(a.object); },
     refused(ldm_error::ObjectInstanceNotKnown, "Unknown object 1 in getObjectClass")},
    {call::getInteractionRoutingSpaceHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_interaction_routing_space_handle(a.freeze), invalid_handle); },
     answers},
    {call::getTransportationHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_transportation_handle("reliable"), a.reliable); }, answers},
    {call::getTransportationName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_transportation_name(a.reliable), "reliable"); }, answers},
    {call::getOrderingHandle,
     [](auto& ldm, auto& a) { EXPECT_EQ(ldm.get_ordering_handle("timestamp"), a.timestamp); }, answers},
    {call::getOrderingName,
     [](auto& ldm, auto& a) { EXPECT_STREQ(ldm.get_ordering_name(a.timestamp), "timestamp"); }, answers},
    {call::getRegionToken, [](auto& ldm, auto& a) { ldm.get_region_token(a.region); }, unknown_region},
    {call::getRegion, [](auto& ldm, auto& a) { ldm.get_region(a.region_token); }, answers},
    {call::enableClassRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.enable_class_relevance_advisory_switch(); }, answers},
    {call::disableClassRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.disable_class_relevance_advisory_switch(); }, answers},
    {call::enableAttributeRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.enable_attribute_relevance_advisory_switch(); }, answers},
    {call::disableAttributeRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.disable_attribute_relevance_advisory_switch(); }, answers},
    {call::enableAttributeScopeAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.enable_attribute_scope_advisory_switch(); }, answers},
    {call::disableAttributeScopeAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.disable_attribute_scope_advisory_switch(); }, answers},
    {call::enableInteractionRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.enable_interaction_relevance_advisory_switch(); }, answers},
    {call::disableInteractionRelevanceAdvisorySwitch,
     [](auto& ldm, auto&) { ldm.disable_interaction_relevance_advisory_switch(); }, answers},
};

// One federate on the test's own port with the training federation created; the federate joins
// only where the test says so.
class ServiceTable : public ::testing::Test {
protected:
  void start(port_index index) {
    test_rid_options options;
    options.port = test_port(port_block::service_table_test, index);
    rid_.emplace(options);
    ldm_ = std::make_unique<test_ldm>();
    ldm_->create_federation_execution(federation, fed_file);
    fed_ = std::make_unique<FED>(&ldm_->get_rid(), fed_file);
  }

  // Runs every row in order, each with the federate joined or not as asked: a row that joins or
  // resigns is undone before the next one.
  void run_rows(bool joined) {
    const arguments a(*fed_, ldm_->get_federate_id());
    for (const row& r : service_rows) {
      if (ldm_->is_joined() != joined) {
        if (joined)
          ldm_->join_federation_execution(federate, federation);
        else
          ldm_->resign_federation_execution(false, false, false);
      }
      expect_outcome(r, joined ? r.joined : r.unjoined, a);
    }
  }

  void expect_outcome(const row& r, const outcome& expected, const arguments& a) {
    const char* name = rti_api_call_name(r.call);
    SCOPED_TRACE(name);
    std::string detail = expected.detail;
    if (const auto at = detail.find("%s"); at != std::string::npos) detail.replace(at, 2, name);
    try {
      r.run(*ldm_, a);
    } catch (const ldm_exception& e) {
      if (expected.code == ldm_error::None)
        ADD_FAILURE() << "refused with " << e;
      else
        expect_refusal(e, expected.code, detail);
      return;
    }
    if (expected.code != ldm_error::None) ADD_FAILURE() << "answered instead of refusing with " << expected.code;
  }

  std::optional<scoped_rid_file> rid_;
  std::unique_ptr<test_ldm> ldm_;
  std::unique_ptr<FED> fed_;  // the training model, for the handles the rows pass
};

TEST_F(ServiceTable, HasOneRowForEveryServiceButTheTicks) {
  std::array<int, rti_api_service_count> rows{};
  for (const row& r : service_rows) {
    const auto number = static_cast<uint32_t>(r.call);
    ASSERT_LT(number, rti_api_service_count) << rti_api_call_name(r.call) << " is a callback";
    ++rows[number];
  }
  for (uint32_t number = 0; number < rti_api_service_count; ++number) {
    const auto service = static_cast<rti_api_call>(number);
    const bool ticks = service == rti_api_call::tick || service == rti_api_call::tickWithTimes;
    EXPECT_EQ(rows[number], ticks ? 0 : 1) << rti_api_call_name(service);
  }
}

// Each refusal names the service it comes from, so this pass also shows that every refused row
// calls the service it stands for. The refusals go to the error stream too, kept out of the log.
TEST_F(ServiceTable, UnjoinedOnlyTheFederationServicesAreServed) {
  start(unjoined_port);
  testing::internal::CaptureStderr();
  run_rows(false);
  testing::internal::GetCapturedStderr();
}

TEST_F(ServiceTable, JoinedEveryServiceGivesItsRowsOutcome) {
  start(joined_port);
  ldm_->join_federation_execution(federate, federation);
  run_rows(true);
}

}  // namespace
