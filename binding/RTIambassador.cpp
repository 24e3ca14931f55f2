// The services of rti13::RTIambassador: each converts its arguments into the distribution
// manager's types, calls the manager's method of the same name, converts the result back and
// turns the manager's refusal into the rti13 exception of its code.
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "RTI.hh"
#include "bit_vector.h"
#include "cpp13_absolute_time.h"
#include "cpp13_ahs.h"
#include "cpp13_ahvps.h"
#include "cpp13_fhs.h"
#include "cpp13_phvps.h"
#include "cpp13_region.h"
#include "cpp13_relative_time.h"
#include "time/event_retraction_handle.h"
#include "frame/ldm_error.h"
#include "rti13_private.h"
#include "throw_rti13_exception.h"
#include "messages/user_tag.h"

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace rti13 {

namespace {

constexpr const char* bad_region = "Bad Region passed";

// References to the interface's sets and regions arrive from federate code, where a
// dereferenced null pointer is a common mistake. The compiler may assume that a reference's
// address is never null, so the address is laundered before it is tested.
template <typename T>
const T* address_of(const T& object) {
  const T* address = &object;
  asm volatile("" : "+r"(address));
  return address;
}

// The sets must be this library's adapters: a federate's own implementation of the abstract
// class carries none of the manager's containers.
const bit_vector& attributes_of(const AttributeHandleSet& set) {
  const auto* adapter = dynamic_cast<const cpp13_ahs*>(address_of(set));
  if (!adapter) throw RTIinternalError("Bad AttributeHandleSet passed");
  return adapter->get_bit_vector();
}

const handle_value_set& values_of(const AttributeHandleValuePairSet& set) {
  const auto* adapter = dynamic_cast<const cpp13_ahvps*>(address_of(set));
  if (!adapter) throw RTIinternalError("Bad AttributeHandleValuePairSet passed");
  return adapter->get_handle_value_set();
}

const handle_value_set& values_of(const ParameterHandleValuePairSet& set) {
  const auto* adapter = dynamic_cast<const cpp13_phvps*>(address_of(set));
  if (!adapter) throw RTIinternalError("Bad ParameterHandleValuePairSet passed");
  return adapter->get_handle_value_set();
}

// The manager takes the synchronization set as the federate_handle_set the adapter wraps.
const federate_handle_set& federates_of(const FederateHandleSet& set) {
  const auto* adapter = dynamic_cast<const cpp13_fhs*>(address_of(set));
  if (!adapter) throw RTIinternalError("Bad FederateHandleSet passed");
  return adapter->get_federate_handle_set();
}

// With the validator, only regions this ambassador created pass; without it, only null is
// refused here. Either way the pointer must be one of this library's wrappers whose region
// still exists; the manager then checks the region against its live ones.
region_spec* region_of(const RTIambPrivateData& data, const Region* region) {
  if (const region_validator* validator = data.get_region_validator()) {
    if (!validator->contains(region)) throw RegionNotKnown(bad_region);
  } else if (!region) {
    throw RTIinternalError(bad_region);
  }
  const auto* wrapper = dynamic_cast<const cpp13_region*>(region);
  if (!wrapper) throw RegionNotKnown("Region not made by this federate");
  if (!wrapper->get_region_spec()) throw RegionNotKnown("The region no longer exists");
  return wrapper->get_region_spec();
}

region_spec* region_of(const RTIambPrivateData& data, const Region& region) {
  return region_of(data, address_of(region));
}

char* copy_of_name(const char* name) {
  if (!name) return nullptr;
  const size_t length = std::strlen(name);
  char* copy = new char[length + 1];
  std::memcpy(copy, name, length + 1);
  return copy;
}

struct resign_flags {
  bool cancel_acquisitions;
  bool delete_objects;
  bool release_attributes;
};

resign_flags flags_of(ResignAction action) {
  switch (action) {
    case RELEASE_ATTRIBUTES: return {false, false, true};
    case DELETE_OBJECTS: return {false, true, false};
    case DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES: return {false, true, true};
    case NO_ACTION: return {false, false, false};
  }
  throw InvalidResignAction("Unknown resign action");
}

// Copies share the private object; the last ambassador to let go of it destroys it.
void let_go(RTIambassador& ambassador) {
  if (ambassador.privateRefs && ambassador.privateRefs->drop_sharer()) delete ambassador.privateRefs;
  ambassador.privateRefs = nullptr;
  ambassador.privateData = nullptr;
}

Boolean boolean_of(bool value) { return value ? RTI_TRUE : RTI_FALSE; }

}  // namespace

// Construction and copies.

RTIambassador::RTIambassador() RTI13_THROW(MemoryExhausted, RTIinternalError)
    : privateRefs(nullptr), privateData(nullptr) {
  try {
    privateRefs = new RTIambPrivateRefs;
  } catch (const std::bad_alloc&) {
    throw MemoryExhausted("Could not allocate the RTI ambassador");
  } catch (const ldm_exception& refusal) {
    throw_rti13_exception(refusal);
    throw RTIinternalError(refusal.detail());
  }
  privateData = privateRefs;
}

RTIambassador::RTIambassador(const RTIambassador& other)
    : privateRefs(other.privateRefs), privateData(other.privateData) {
  if (privateRefs) privateRefs->add_sharer();
}

RTIambassador& RTIambassador::operator=(const RTIambassador& other) {
  // Take the new share before giving up the old one: on self-assignment they are the same.
  RTIambPrivateRefs* const refs = other.privateRefs;
  RTIambPrivateData* const data = other.privateData;
  if (refs) refs->add_sharer();
  let_go(*this);
  privateRefs = refs;
  privateData = data;
  return *this;
}

RTIambassador::~RTIambassador() RTI13_THROW(RTIinternalError) { let_go(*this); }

// Federation management.

void RTIambassador::createFederationExecution(const char* executionName, const char* FED)
    RTI13_THROW(FederationExecutionAlreadyExists, CouldNotOpenFED, ErrorReadingFED, ConcurrentAccessAttempted,
                RTIinternalError) {
  translate_refusals([&] { privateData->create_federation_execution(executionName, FED); });
}

void RTIambassador::destroyFederationExecution(const char* executionName)
    RTI13_THROW(FederatesCurrentlyJoined, FederationExecutionDoesNotExist, ConcurrentAccessAttempted,
                RTIinternalError) {
  translate_refusals([&] { privateData->destroy_federation_execution(executionName); });
}

FederateHandle RTIambassador::joinFederationExecution(const char* yourName, const char* executionName,
                                                      FederateAmbassadorPtr federateAmbassadorReference)
    RTI13_THROW(FederateAlreadyExecutionMember, FederationExecutionDoesNotExist, CouldNotOpenFED, ErrorReadingFED,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const FederateHandle handle =
      translate_refusals([&] { return privateData->join_federation_execution(yourName, executionName); });
  privateData->set_federate_ambassador(federateAmbassadorReference);
  return handle;
}

// The ambassador is forgotten before the manager resigns, so nothing the resign produces
// reaches the federate. A resign the manager refuses leaves the federate joined, so its
// ambassador is put back; otherwise a federate that tried to resign inside a callback would
// stay joined and deaf.
void RTIambassador::resignFederationExecution(ResignAction theAction)
    RTI13_THROW(FederateOwnsAttributes, FederateNotExecutionMember, InvalidResignAction, ConcurrentAccessAttempted,
                RTIinternalError) {
  const resign_flags flags = flags_of(theAction);
  FederateAmbassador* const ambassador = privateData->get_federate_ambassador();
  privateData->set_federate_ambassador(nullptr);
  try {
    translate_refusals([&] {
      privateData->resign_federation_execution(flags.cancel_acquisitions, flags.delete_objects,
                                               flags.release_attributes);
    });
  } catch (...) {
    privateData->set_federate_ambassador(ambassador);
    throw;
  }
}

void RTIambassador::registerFederationSynchronizationPoint(const char* label, const char* theTag)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->register_federation_synchronization_point(label, tag); });
}

void RTIambassador::registerFederationSynchronizationPoint(const char* label, const char* theTag,
                                                           const FederateHandleSet& syncSet)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const federate_handle_set& federates = federates_of(syncSet);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->register_federation_synchronization_point(label, tag, federates); });
}

void RTIambassador::synchronizationPointAchieved(const char* label)
    RTI13_THROW(SynchronizationPointLabelWasNotAnnounced, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->synchronization_point_achieved(label); });
}

void RTIambassador::requestFederationSave(const char* label, const FedTime& theTime)
    RTI13_THROW(FederationTimeAlreadyPassed, InvalidFederationTime, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->request_federation_save(label, time); });
}

void RTIambassador::requestFederationSave(const char* label)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->request_federation_save(label); });
}

void RTIambassador::federateSaveBegun() RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember,
                                                    ConcurrentAccessAttempted, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->federate_save_begun(); });
}

void RTIambassador::federateSaveComplete() RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember,
                                                       ConcurrentAccessAttempted, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->federate_save_complete(); });
}

void RTIambassador::federateSaveNotComplete()
    RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember, ConcurrentAccessAttempted, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->federate_save_not_complete(); });
}

void RTIambassador::requestFederationRestore(const char* label)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->request_federation_restore(label); });
}

void RTIambassador::federateRestoreComplete() RTI13_THROW(RestoreNotRequested, FederateNotExecutionMember,
                                                          ConcurrentAccessAttempted, SaveInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->federate_restore_complete(); });
}

void RTIambassador::federateRestoreNotComplete()
    RTI13_THROW(RestoreNotRequested, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->federate_restore_not_complete(); });
}

// Declaration management.

void RTIambassador::publishObjectClass(ObjectClassHandle theClass, const AttributeHandleSet& attributeList)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, OwnershipAcquisitionPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(attributeList);
  translate_refusals([&] { privateData->publish_object_class(theClass, attributes); });
}

void RTIambassador::unpublishObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, OwnershipAcquisitionPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->unpublish_object_class(theClass); });
}

void RTIambassador::publishInteractionClass(InteractionClassHandle theInteraction)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->publish_interaction_class(theInteraction); });
}

void RTIambassador::unpublishInteractionClass(InteractionClassHandle theInteraction)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->unpublish_interaction_class(theInteraction); });
}

void RTIambassador::subscribeObjectClassAttributes(ObjectClassHandle theClass, const AttributeHandleSet& attributeList,
                                                   Boolean active)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(attributeList);
  translate_refusals(
      [&] { privateData->subscribe_object_class_attributes(theClass, attributes, active != RTI_FALSE); });
}

void RTIambassador::unsubscribeObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotSubscribed, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->unsubscribe_object_class(theClass); });
}

void RTIambassador::subscribeInteractionClass(InteractionClassHandle theClass, Boolean active)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                FederateLoggingServiceCalls, SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->subscribe_interaction_class(theClass, active != RTI_FALSE); });
}

void RTIambassador::unsubscribeInteractionClass(InteractionClassHandle theClass)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotSubscribed, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->unsubscribe_interaction_class(theClass); });
}

// Object management.

ObjectHandle RTIambassador::registerObjectInstance(ObjectClassHandle theClass, const char* theObject)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, ObjectAlreadyRegistered, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  return translate_refusals([&] { return privateData->register_object_instance(theClass, theObject); });
}

ObjectHandle RTIambassador::registerObjectInstance(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  return translate_refusals([&] { return privateData->register_object_instance(theClass); });
}

EventRetractionHandle RTIambassador::updateAttributeValues(ObjectHandle theObject,
                                                           const AttributeHandleValuePairSet& theAttributes,
                                                           const FedTime& theTime, const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidFederationTime,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const handle_value_set& values = values_of(theAttributes);
  const cpp13_absolute_time time(theTime);
  const user_tag tag(theTag);
  return to_rti13_handle(
      translate_refusals([&] { return privateData->update_attribute_values(theObject, values, time, tag); }));
}

void RTIambassador::updateAttributeValues(ObjectHandle theObject, const AttributeHandleValuePairSet& theAttributes,
                                          const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const handle_value_set& values = values_of(theAttributes);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->update_attribute_values(theObject, values, tag); });
}

EventRetractionHandle RTIambassador::sendInteraction(InteractionClassHandle theInteraction,
                                                     const ParameterHandleValuePairSet& theParameters,
                                                     const FedTime& theTime, const char* theTag)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                InvalidFederationTime, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  const handle_value_set& values = values_of(theParameters);
  const cpp13_absolute_time time(theTime);
  const user_tag tag(theTag);
  return to_rti13_handle(
      translate_refusals([&] { return privateData->send_interaction(theInteraction, values, time, tag); }));
}

void RTIambassador::sendInteraction(InteractionClassHandle theInteraction,
                                    const ParameterHandleValuePairSet& theParameters, const char* theTag)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const handle_value_set& values = values_of(theParameters);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->send_interaction(theInteraction, values, tag); });
}

EventRetractionHandle RTIambassador::deleteObjectInstance(ObjectHandle theObject, const FedTime& theTime,
                                                          const char* theTag)
    RTI13_THROW(ObjectNotKnown, DeletePrivilegeNotHeld, InvalidFederationTime, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  const user_tag tag(theTag);
  return to_rti13_handle(translate_refusals([&] { return privateData->delete_object_instance(theObject, time, tag); }));
}

void RTIambassador::deleteObjectInstance(ObjectHandle theObject, const char* theTag)
    RTI13_THROW(ObjectNotKnown, DeletePrivilegeNotHeld, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->delete_object_instance(theObject, tag); });
}

void RTIambassador::localDeleteObjectInstance(ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, FederateOwnsAttributes, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->local_delete_object_instance(theObject); });
}

void RTIambassador::changeAttributeTransportationType(ObjectHandle theObject, const AttributeHandleSet& theAttributes,
                                                      TransportationHandle theType)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidTransportationHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->change_attribute_transportation_type(theObject, attributes, theType); });
}

void RTIambassador::changeInteractionTransportationType(InteractionClassHandle theClass, TransportationHandle theType)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InvalidTransportationHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->change_interaction_transportation_type(theClass, theType); });
}

void RTIambassador::requestObjectAttributeValueUpdate(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->request_object_attribute_value_update(theObject, attributes); });
}

void RTIambassador::requestClassAttributeValueUpdate(ObjectClassHandle theClass,
                                                     const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->request_class_attribute_value_update(theClass, attributes); });
}

// Ownership management.

void RTIambassador::unconditionalAttributeOwnershipDivestiture(ObjectHandle theObject,
                                                               const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->unconditional_attribute_ownership_divestiture(theObject, attributes); });
}

void RTIambassador::negotiatedAttributeOwnershipDivestiture(ObjectHandle theObject,
                                                            const AttributeHandleSet& theAttributes, const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, AttributeAlreadyBeingDivested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->negotiated_attribute_ownership_divestiture(theObject, attributes, tag); });
}

void RTIambassador::attributeOwnershipAcquisition(ObjectHandle theObject, const AttributeHandleSet& desiredAttributes,
                                                  const char* theTag)
    RTI13_THROW(ObjectNotKnown, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                FederateOwnsAttributes, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(desiredAttributes);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->attribute_ownership_acquisition(theObject, attributes, tag); });
}

AttributeHandleSet* RTIambassador::attributeOwnershipReleaseResponse(ObjectHandle theObject,
                                                                     const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateWasNotAskedToReleaseAttribute,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  std::unique_ptr<bit_vector> released(
      translate_refusals([&] { return privateData->attribute_ownership_release_response(theObject, attributes); }));
  if (!released) return nullptr;
  return new cpp13_ahs(std::move(released));
}

void RTIambassador::cancelNegotiatedAttributeOwnershipDivestiture(ObjectHandle theObject,
                                                                  const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, AttributeDivestitureWasNotRequested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->cancel_negotiated_attribute_ownership_divestiture(theObject, attributes); });
}

void RTIambassador::cancelAttributeOwnershipAcquisition(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeAlreadyOwned, AttributeAcquisitionWasNotRequested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->cancel_attribute_ownership_acquisition(theObject, attributes); });
}

void RTIambassador::attributeOwnershipAcquisitionIfAvailable(ObjectHandle theObject,
                                                             const AttributeHandleSet& desiredAttributes)
    RTI13_THROW(ObjectNotKnown, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                FederateOwnsAttributes, AttributeAlreadyBeingAcquired, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const bit_vector& attributes = attributes_of(desiredAttributes);
  translate_refusals([&] { privateData->attribute_ownership_acquisition_if_available(theObject, attributes); });
}

void RTIambassador::queryAttributeOwnership(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->query_attribute_ownership(theObject, theAttribute); });
}

Boolean RTIambassador::isAttributeOwnedByFederate(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  return boolean_of(
      translate_refusals([&] { return privateData->is_attribute_owned_by_federate(theObject, theAttribute); }));
}

// Time management.

void RTIambassador::enableTimeRegulation(const FedTime& theFederateTime, const FedTime& theLookahead)
    RTI13_THROW(TimeRegulationAlreadyEnabled, EnableTimeRegulationPending, TimeAdvanceAlreadyInProgress,
                InvalidFederationTime, InvalidLookahead, ConcurrentAccessAttempted, FederateNotExecutionMember,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theFederateTime);
  const cpp13_relative_time lookahead(theLookahead);
  translate_refusals([&] { privateData->enable_time_regulation(time, lookahead); });
}

void RTIambassador::disableTimeRegulation()
    RTI13_THROW(TimeRegulationWasNotEnabled, ConcurrentAccessAttempted, FederateNotExecutionMember, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->disable_time_regulation(); });
}

void RTIambassador::enableTimeConstrained()
    RTI13_THROW(TimeConstrainedAlreadyEnabled, EnableTimeConstrainedPending, TimeAdvanceAlreadyInProgress,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->enable_time_constrained(); });
}

void RTIambassador::disableTimeConstrained()
    RTI13_THROW(TimeConstrainedWasNotEnabled, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->disable_time_constrained(); });
}

void RTIambassador::timeAdvanceRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->time_advance_request(time); });
}

void RTIambassador::timeAdvanceRequestAvailable(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->time_advance_request_available(time); });
}

void RTIambassador::nextEventRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->next_event_request(time); });
}

void RTIambassador::nextEventRequestAvailable(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->next_event_request_available(time); });
}

void RTIambassador::flushQueueRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const cpp13_absolute_time time(theTime);
  translate_refusals([&] { privateData->flush_queue_request(time); });
}

void RTIambassador::enableAsynchronousDelivery()
    RTI13_THROW(AsynchronousDeliveryAlreadyEnabled, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->enable_asynchronous_delivery(); });
}

void RTIambassador::disableAsynchronousDelivery()
    RTI13_THROW(AsynchronousDeliveryAlreadyDisabled, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  translate_refusals([&] { privateData->disable_asynchronous_delivery(); });
}

void RTIambassador::queryLBTS(FedTime& theTime) RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted,
                                                            SaveInProgress, RestoreInProgress, RTIinternalError) {
  cpp13_absolute_time result;
  translate_refusals([&] { privateData->query_lbts(result); });
  theTime = result.fed_time();
}

void RTIambassador::queryFederateTime(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  cpp13_absolute_time result;
  translate_refusals([&] { privateData->query_federate_time(result); });
  theTime = result.fed_time();
}

void RTIambassador::queryMinNextEventTime(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  cpp13_absolute_time result;
  translate_refusals([&] { privateData->query_min_next_event_time(result); });
  theTime = result.fed_time();
}

void RTIambassador::modifyLookahead(const FedTime& theLookahead)
    RTI13_THROW(InvalidLookahead, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  const cpp13_relative_time lookahead(theLookahead);
  translate_refusals([&] { privateData->modify_lookahead(lookahead); });
}

void RTIambassador::queryLookahead(FedTime& theTime) RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted,
                                                                 SaveInProgress, RestoreInProgress, RTIinternalError) {
  cpp13_relative_time result;
  translate_refusals([&] { privateData->query_lookahead(result); });
  theTime = result.fed_time();
}

void RTIambassador::retract(EventRetractionHandle theHandle)
    RTI13_THROW(InvalidRetractionHandle, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  event_retraction_handle handle;
  handle.serial = static_cast<uint32_t>(theHandle.theSerialNumber);
  handle.federate = static_cast<uint32_t>(theHandle.sendingFederate);
  translate_refusals([&] { privateData->do_retract(handle); });
}

void RTIambassador::changeAttributeOrderType(ObjectHandle theObject, const AttributeHandleSet& theAttributes,
                                             OrderingHandle theType)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidOrderingHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->change_attribute_order_type(theObject, attributes, theType); });
}

void RTIambassador::changeInteractionOrderType(InteractionClassHandle theClass, OrderingHandle theType)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InvalidOrderingHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->change_interaction_order_type(theClass, theType); });
}

// Data distribution management.

Region* RTIambassador::createRegion(SpaceHandle theSpace, ULong numberOfExtents)
    RTI13_THROW(SpaceNotDefined, InvalidExtents, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  // Handles and counts are 64 bits here and the manager's 32: a larger value must not wrap.
  if (theSpace > UINT32_MAX) throw SpaceNotDefined("Unknown routing space");
  if (numberOfExtents > region_spec::max_extents) throw InvalidExtents("A region takes at most 1024 extents");
  region_spec* region = translate_refusals([&] {
    return privateData->create_region(static_cast<unsigned>(theSpace), static_cast<unsigned>(numberOfExtents));
  });
  if (!region) return nullptr;
  return new cpp13_region(*region, privateData->share_region_validator());
}

void RTIambassador::notifyAboutRegionModification(Region& theRegion)
    RTI13_THROW(RegionNotKnown, InvalidExtents, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals([&] { privateData->notify_about_region_modification(region); });
}

void RTIambassador::deleteRegion(Region* theRegion)
    RTI13_THROW(RegionNotKnown, RegionInUse, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError) {
  region_validator* validator = privateData->get_region_validator();
  if (validator && !validator->contains(theRegion)) throw RegionNotKnown(bad_region);
  if (!theRegion) throw RegionNotKnown(bad_region);
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals([&] { privateData->delete_region(region); });
  delete theRegion;  // leaves the validator
}

namespace {

// The entries of registerObjectInstanceWithRegion as the manager takes them: one attribute set
// and one region per entry. Null arrays go to the manager as they are, which refuses them.
class region_entries {
 public:
  region_entries(const RTIambPrivateData& data, const AttributeHandle attributes[], Region* const regions[],
                 ULong count) {
    if (count == 0 || !attributes || !regions) return;
    if (const region_validator* validator = data.get_region_validator()) {
      for (ULong i = 0; i < count; ++i)
        if (!validator->contains(regions[i])) throw RegionNotKnown(bad_region);
    }
    sets_.resize(count);
    set_pointers_.resize(count);
    regions_.resize(count);
    for (ULong i = 0; i < count; ++i) {
      // A handle the bit vector cannot hold is no attribute of any class; the vector would
      // abort the process.
      if (attributes[i] >= bit_vector::max_length) throw AttributeNotDefined("Bad attribute handle passed");
      sets_[i].set_bit(static_cast<uint32_t>(attributes[i]));
      set_pointers_[i] = &sets_[i];
      regions_[i] = region_of(data, regions[i]);
    }
  }

  const bit_vector* const* attributes() const { return set_pointers_.empty() ? nullptr : set_pointers_.data(); }
  region_spec* const* regions() const { return regions_.empty() ? nullptr : regions_.data(); }

 private:
  std::vector<bit_vector> sets_;
  std::vector<const bit_vector*> set_pointers_;
  std::vector<region_spec*> regions_;
};

}  // namespace

ObjectHandle RTIambassador::registerObjectInstanceWithRegion(ObjectClassHandle theClass, const char* theObject,
                                                             AttributeHandle theAttributes[], Region* theRegions[],
                                                             ULong theNumberOfHandles)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                RegionNotKnown, InvalidRegionContext, ObjectAlreadyRegistered, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  const region_entries entries(*privateData, theAttributes, theRegions, theNumberOfHandles);
  return translate_refusals([&] {
    return privateData->register_object_instance_with_region(
        theClass, theObject, entries.attributes(), entries.regions(), static_cast<unsigned>(theNumberOfHandles));
  });
}

ObjectHandle RTIambassador::registerObjectInstanceWithRegion(ObjectClassHandle theClass,
                                                             AttributeHandle theAttributes[], Region* theRegions[],
                                                             ULong theNumberOfHandles)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  const region_entries entries(*privateData, theAttributes, theRegions, theNumberOfHandles);
  return translate_refusals([&] {
    return privateData->register_object_instance_with_region(theClass, entries.attributes(), entries.regions(),
                                                             static_cast<unsigned>(theNumberOfHandles));
  });
}

void RTIambassador::associateRegionForUpdates(Region& theRegion, ObjectHandle theObject,
                                              const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, InvalidRegionContext, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals([&] { privateData->associate_region_for_updates(region, theObject, attributes); });
}

void RTIambassador::unassociateRegionForUpdates(Region& theRegion, ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, InvalidRegionContext, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals([&] { privateData->unassociate_region_for_updates(region, theObject); });
}

void RTIambassador::subscribeObjectClassAttributesWithRegion(ObjectClassHandle theClass, Region& theRegion,
                                                             const AttributeHandleSet& attributeList, Boolean active)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, RegionNotKnown, InvalidRegionContext,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  const bit_vector& attributes = attributes_of(attributeList);
  translate_refusals([&] {
    privateData->subscribe_object_class_attributes_with_region(theClass, region, attributes, active != RTI_FALSE);
  });
}

void RTIambassador::unsubscribeObjectClassWithRegion(ObjectClassHandle theClass, Region& theRegion)
    RTI13_THROW(ObjectClassNotDefined, RegionNotKnown, ObjectClassNotSubscribed, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals([&] { privateData->unsubscribe_object_class_with_region(theClass, region); });
}

void RTIambassador::subscribeInteractionClassWithRegion(InteractionClassHandle theClass, Region& theRegion,
                                                        Boolean active)
    RTI13_THROW(InteractionClassNotDefined, RegionNotKnown, InvalidRegionContext, FederateLoggingServiceCalls,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals(
      [&] { privateData->subscribe_interaction_class_with_region(theClass, region, active != RTI_FALSE); });
}

void RTIambassador::unsubscribeInteractionClassWithRegion(InteractionClassHandle theClass, Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotSubscribed, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  translate_refusals([&] { privateData->unsubscribe_interaction_class_with_region(theClass, region); });
}

EventRetractionHandle RTIambassador::sendInteractionWithRegion(InteractionClassHandle theInteraction,
                                                               const ParameterHandleValuePairSet& theParameters,
                                                               const FedTime& theTime, const char* theTag,
                                                               const Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                InvalidFederationTime, RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  const handle_value_set& values = values_of(theParameters);
  const cpp13_absolute_time time(theTime);
  const user_tag tag(theTag);
  return to_rti13_handle(translate_refusals(
      [&] { return privateData->send_interaction_with_region(theInteraction, values, time, tag, region); }));
}

void RTIambassador::sendInteractionWithRegion(InteractionClassHandle theInteraction,
                                              const ParameterHandleValuePairSet& theParameters, const char* theTag,
                                              const Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  const handle_value_set& values = values_of(theParameters);
  const user_tag tag(theTag);
  translate_refusals([&] { privateData->send_interaction_with_region(theInteraction, values, tag, region); });
}

void RTIambassador::requestClassAttributeValueUpdateWithRegion(ObjectClassHandle theClass,
                                                               const AttributeHandleSet& theAttributes,
                                                               const Region& theRegion)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  const bit_vector& attributes = attributes_of(theAttributes);
  translate_refusals(
      [&] { privateData->request_class_attribute_value_update_with_region(theClass, attributes, region); });
}

// Support services.

ObjectClassHandle RTIambassador::getObjectClassHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_object_class_handle(theName); });
}

char* RTIambassador::getObjectClassName(ObjectClassHandle theHandle)
    RTI13_THROW(ObjectClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_object_class_name(theHandle); }));
}

AttributeHandle RTIambassador::getAttributeHandle(const char* theName, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return translate_refusals([&] { return privateData->get_attribute_handle(theName, whichClass); });
}

char* RTIambassador::getAttributeName(AttributeHandle theHandle, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_attribute_name(theHandle, whichClass); }));
}

InteractionClassHandle RTIambassador::getInteractionClassHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_interaction_class_handle(theName); });
}

char* RTIambassador::getInteractionClassName(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_interaction_class_name(theHandle); }));
}

ParameterHandle RTIambassador::getParameterHandle(const char* theName, InteractionClassHandle whichClass)
    RTI13_THROW(InteractionClassNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return translate_refusals([&] { return privateData->get_parameter_handle(theName, whichClass); });
}

char* RTIambassador::getParameterName(ParameterHandle theHandle, InteractionClassHandle whichClass)
    RTI13_THROW(InteractionClassNotDefined, InteractionParameterNotDefined, FederateNotExecutionMember,
                ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_parameter_name(theHandle, whichClass); }));
}

ObjectHandle RTIambassador::getObjectInstanceHandle(const char* theName)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_object_instance_handle(theName); });
}

char* RTIambassador::getObjectInstanceName(ObjectHandle theHandle)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_object_instance_name(theHandle); }));
}

SpaceHandle RTIambassador::getRoutingSpaceHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_routing_space_handle(theName); });
}

char* RTIambassador::getRoutingSpaceName(const SpaceHandle theHandle)
    RTI13_THROW(SpaceNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_routing_space_name(theHandle); }));
}

DimensionHandle RTIambassador::getDimensionHandle(const char* theName, SpaceHandle whichSpace)
    RTI13_THROW(SpaceNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return translate_refusals([&] { return privateData->get_dimension_handle(theName, whichSpace); });
}

char* RTIambassador::getDimensionName(DimensionHandle theHandle, SpaceHandle whichSpace)
    RTI13_THROW(SpaceNotDefined, DimensionNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_dimension_name(theHandle, whichSpace); }));
}

SpaceHandle RTIambassador::getAttributeRoutingSpaceHandle(AttributeHandle theHandle, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError) {
  return translate_refusals([&] { return privateData->get_attribute_routing_space_handle(theHandle, whichClass); });
}

ObjectClassHandle RTIambassador::getObjectClass(ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_object_instance_class(theObject); });
}

SpaceHandle RTIambassador::getInteractionRoutingSpaceHandle(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_interaction_routing_space_handle(theHandle); });
}

TransportationHandle RTIambassador::getTransportationHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_transportation_handle(theName); });
}

char* RTIambassador::getTransportationName(TransportationHandle theHandle)
    RTI13_THROW(InvalidTransportationHandle, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_transportation_name(theHandle); }));
}

OrderingHandle RTIambassador::getOrderingHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return translate_refusals([&] { return privateData->get_ordering_handle(theName); });
}

char* RTIambassador::getOrderingName(OrderingHandle theHandle)
    RTI13_THROW(InvalidOrderingHandle, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError) {
  return copy_of_name(translate_refusals([&] { return privateData->get_ordering_name(theHandle); }));
}

RegionToken RTIambassador::getRegionToken(Region* theRegion)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, RegionNotKnown, RTIinternalError) {
  region_spec* region = region_of(*privateData, theRegion);
  return translate_refusals([&] { return privateData->get_region_token(region); });
}

Region* RTIambassador::getRegion(RegionToken theToken)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, RegionNotKnown, RTIinternalError) {
  if (theToken > UINT32_MAX) throw RegionNotKnown("Could not find region");
  region_spec* region = translate_refusals([&] { return privateData->get_region(static_cast<unsigned>(theToken)); });
  if (!region) throw RegionNotKnown("Could not find region");
  return &cpp13_region::of(*region);
}

void RTIambassador::enableClassRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->enable_class_relevance_advisory_switch(); });
}

void RTIambassador::disableClassRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->disable_class_relevance_advisory_switch(); });
}

void RTIambassador::enableAttributeRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->enable_attribute_relevance_advisory_switch(); });
}

void RTIambassador::disableAttributeRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->disable_attribute_relevance_advisory_switch(); });
}

void RTIambassador::enableAttributeScopeAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->enable_attribute_scope_advisory_switch(); });
}

void RTIambassador::disableAttributeScopeAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->disable_attribute_scope_advisory_switch(); });
}

void RTIambassador::enableInteractionRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->enable_interaction_relevance_advisory_switch(); });
}

void RTIambassador::disableInteractionRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError) {
  translate_refusals([&] { privateData->disable_interaction_relevance_advisory_switch(); });
}

// Ticking: every callback reaches the federate inside the manager's tick.

Boolean RTIambassador::tick() RTI13_THROW(SpecifiedSaveLabelDoesNotExist, ConcurrentAccessAttempted, RTIinternalError) {
  return boolean_of(translate_refusals([&] { return privateData->tick(); }));
}

Boolean RTIambassador::tick(TickTime minimum, TickTime maximum)
    RTI13_THROW(SpecifiedSaveLabelDoesNotExist, ConcurrentAccessAttempted, RTIinternalError) {
  return boolean_of(translate_refusals([&] { return privateData->tick(minimum, maximum); }));
}

}  // namespace rti13
