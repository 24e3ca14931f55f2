#include "cpp13_callbacks.h"

#include <iostream>

#include "RTI.hh"
#include "cpp13_absolute_time.h"
#include "cpp13_ahs.h"
#include "cpp13_ahvps.h"
#include "cpp13_phvps.h"
#include "time/event_retraction_handle.h"
#include "messages/user_tag.h"

namespace halden13 {

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

// The core makes every time through the binding's own factories, so each one is a wrapper.
rti13::FedTime& fed_time_of(const absolute_time& time) {
  return static_cast<const cpp13_absolute_time&>(time).fed_time();
}

}  // namespace

rti13::EventRetractionHandle to_rti13_handle(const event_retraction_handle& handle) {
  rti13::EventRetractionHandle result;
  result.theSerialNumber = handle.serial;
  result.sendingFederate = handle.federate;
  return result;
}

template <typename Deliver>
void cpp13_callbacks::to_federate(Deliver deliver) {
  if (!federate_ambassador_) return;
  try {
    deliver(*federate_ambassador_);
  } catch (const rti13::Exception& e) {
    std::cout << "  Federate Exception Received" << std::endl << e << std::endl;
  } catch (...) {
    std::cout << "  Unknown Federate Exception Received" << std::endl << std::endl;
  }
}

void cpp13_callbacks::synchronization_point_registration_succeeded(const char* label) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.synchronizationPointRegistrationSucceeded(label); });
}

void cpp13_callbacks::synchronization_point_registration_failed(const char* label) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.synchronizationPointRegistrationFailed(label); });
}

void cpp13_callbacks::announce_synchronization_point(const char* label, const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.announceSynchronizationPoint(label, tag.get_string()); });
}

void cpp13_callbacks::federation_synchronized(const char* label) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationSynchronized(label); });
}

void cpp13_callbacks::initiate_federate_save(const char* label) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.initiateFederateSave(label); });
}

void cpp13_callbacks::federation_saved() {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationSaved(); });
}

void cpp13_callbacks::federation_not_saved() {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationNotSaved(); });
}

void cpp13_callbacks::request_federation_restore_succeeded(const char* label) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.requestFederationRestoreSucceeded(label); });
}

void cpp13_callbacks::request_federation_restore_failed(const char* label, const char* reason) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.requestFederationRestoreFailed(label, reason); });
}

void cpp13_callbacks::federation_restore_begun() {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationRestoreBegun(); });
}

void cpp13_callbacks::initiate_federate_restore(const char* label, unsigned federate) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.initiateFederateRestore(label, federate); });
}

void cpp13_callbacks::federation_restored() {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationRestored(); });
}

void cpp13_callbacks::federation_not_restored() {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.federationNotRestored(); });
}

void cpp13_callbacks::start_registration_for_object_class(unsigned object_class) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.startRegistrationForObjectClass(object_class); });
}

void cpp13_callbacks::stop_registration_for_object_class(unsigned object_class) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.stopRegistrationForObjectClass(object_class); });
}

void cpp13_callbacks::turn_interactions_on(unsigned interaction) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.turnInteractionsOn(interaction); });
}

void cpp13_callbacks::turn_interactions_off(unsigned interaction) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.turnInteractionsOff(interaction); });
}

void cpp13_callbacks::discover_object_instance(unsigned object, unsigned object_class, const char* name) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.discoverObjectInstance(object, object_class, name); });
}

void cpp13_callbacks::reflect_attribute_values(unsigned object, const handle_value_set& values, const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    const cpp13_ahvps shown(values);
    fa.reflectAttributeValues(object, shown, tag.get_string());
  });
}

void cpp13_callbacks::reflect_attribute_values(unsigned object, const handle_value_set& values,
                                               const absolute_time& time, const user_tag& tag,
                                               const event_retraction_handle& handle) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    const cpp13_ahvps shown(values);
    fa.reflectAttributeValues(object, shown, fed_time_of(time), tag.get_string(), to_rti13_handle(handle));
  });
}

void cpp13_callbacks::receive_interaction(unsigned interaction, const handle_value_set& values, const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    const cpp13_phvps shown(values);
    fa.receiveInteraction(interaction, shown, tag.get_string());
  });
}

void cpp13_callbacks::receive_interaction(unsigned interaction, const handle_value_set& values,
                                          const absolute_time& time, const user_tag& tag,
                                          const event_retraction_handle& handle) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    const cpp13_phvps shown(values);
    fa.receiveInteraction(interaction, shown, fed_time_of(time), tag.get_string(), to_rti13_handle(handle));
  });
}

void cpp13_callbacks::remove_object_instance(unsigned object, const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.removeObjectInstance(object, tag.get_string()); });
}

void cpp13_callbacks::remove_object_instance(unsigned object, const absolute_time& time, const user_tag& tag,
                                             const event_retraction_handle& handle) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.removeObjectInstance(object, fed_time_of(time), tag.get_string(), to_rti13_handle(handle));
  });
}

void cpp13_callbacks::attributes_in_scope(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.attributesInScope(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::attributes_out_of_scope(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.attributesOutOfScope(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::provide_attribute_value_update(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.provideAttributeValueUpdate(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::turn_updates_on_for_object_instance(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.turnUpdatesOnForObjectInstance(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::turn_updates_off_for_object_instance(unsigned object, const bit_vector& attributes) {
  to_federate(
      [&](rti13::FederateAmbassador& fa) { fa.turnUpdatesOffForObjectInstance(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::request_attribute_ownership_assumption(unsigned object, const bit_vector& attributes,
                                                             const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.requestAttributeOwnershipAssumption(object, cpp13_ahs(attributes), tag.get_string());
  });
}

void cpp13_callbacks::attribute_ownership_divestiture_notification(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.attributeOwnershipDivestitureNotification(object, cpp13_ahs(attributes));
  });
}

void cpp13_callbacks::attribute_ownership_acquisition_notification(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.attributeOwnershipAcquisitionNotification(object, cpp13_ahs(attributes));
  });
}

void cpp13_callbacks::attribute_ownership_unavailable(unsigned object, const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.attributeOwnershipUnavailable(object, cpp13_ahs(attributes)); });
}

void cpp13_callbacks::request_attribute_ownership_release(unsigned object, const bit_vector& attributes,
                                                          const user_tag& tag) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.requestAttributeOwnershipRelease(object, cpp13_ahs(attributes), tag.get_string());
  });
}

void cpp13_callbacks::confirm_attribute_ownership_acquisition_cancellation(unsigned object,
                                                                           const bit_vector& attributes) {
  to_federate([&](rti13::FederateAmbassador& fa) {
    fa.confirmAttributeOwnershipAcquisitionCancellation(object, cpp13_ahs(attributes));
  });
}

void cpp13_callbacks::inform_attribute_ownership(unsigned object, unsigned attribute, unsigned federate) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.informAttributeOwnership(object, attribute, federate); });
}

void cpp13_callbacks::attribute_is_not_owned(unsigned object, unsigned attribute) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.attributeIsNotOwned(object, attribute); });
}

void cpp13_callbacks::attribute_owned_by_rti(unsigned object, unsigned attribute) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.attributeOwnedByRTI(object, attribute); });
}

void cpp13_callbacks::time_regulation_enabled(const absolute_time& time) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.timeRegulationEnabled(fed_time_of(time)); });
}

void cpp13_callbacks::time_constrained_enabled(const absolute_time& time) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.timeConstrainedEnabled(fed_time_of(time)); });
}

void cpp13_callbacks::time_advance_grant(const absolute_time& time) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.timeAdvanceGrant(fed_time_of(time)); });
}

void cpp13_callbacks::request_retraction(const event_retraction_handle& handle) {
  to_federate([&](rti13::FederateAmbassador& fa) { fa.requestRetraction(to_rti13_handle(handle)); });
}

}  // namespace halden13
