#include "frame/rti_api_call.h"

namespace varnel {

namespace {

constexpr const char* call_names[] = {
  "tick", "tickWithTimes", "createFederationExecution", "destroyFederationExecution",
  "joinFederationExecution", "resignFederationExecution", "registerFederationSynchronizationPoint",
  "registerFederationSynchronizationPointWithFederates", "synchronizationPointAchieved",
  "requestFederationSave", "requestFederationSaveWithTime", "federateSaveBegun",
  "federateSaveComplete", "federateSaveNotComplete", "requestFederationRestore",
  "federateRestoreComplete", "federateRestoreNotComplete", "publishObjectClass",
  "unpublishObjectClass", "publishInteractionClass", "unpublishInteractionClass",
  "subscribeObjectClassAttributes", "unsubscribeObjectClass", "subscribeInteractionClass",
  "unsubscribeInteractionClass", "registerObjectInstance", "registerObjectInstanceWithName",
  "updateAttributeValues", "updateAttributeValuesWithTime", "sendInteraction",
  "sendInteractionWithTime", "deleteObjectInstance", "deleteObjectInstanceWithTime",
  "localDeleteObjectInstance", "changeAttributeTransportationType",
  "changeInteractionTransportationType", "requestObjectAttributeValueUpdate",
  "requestClassAttributeValueUpdate", "unconditionalAttributeOwnershipDivestiture",
  "negotiatedAttributeOwnershipDivestiture", "attributeOwnershipAcquisition",
  "attributeOwnershipAcquisitionIfAvailable", "attributeOwnershipReleaseResponse",
  "cancelNegotiatedAttributeOwnershipDivestiture", "cancelAttributeOwnershipAcquisition",
  "queryAttributeOwnership", "isAttributeOwnedByFederate", "enableTimeRegulation",
  "disableTimeRegulation", "enableTimeConstrained", "disableTimeConstrained", "timeAdvanceRequest",
  "timeAdvanceRequestAvailable", "nextEventRequest", "nextEventRequestAvailable",
  "flushQueueRequest", "enableAsynchronousDelivery", "disableAsynchronousDelivery", "queryLBTS",
  "queryFederateTime", "queryMinNextEventTime", "modifyLookahead", "queryLookahead", "retract",
  "changeAttributeOrderType", "changeInteractionOrderType", "createRegion",
  "notifyAboutRegionModification", "deleteRegion", "registerObjectInstanceWithRegion",
  "registerObjectInstanceWithRegionWithName", "associateRegionForUpdates",
  "unassociateRegionForUpdates", "subscribeObjectClassAttributesWithRegion",
  "unsubscribeObjectClassWithRegion", "subscribeInteractionClassWithRegion",
  "unsubscribeInteractionClassWithRegion", "sendInteractionWithRegion",
  "sendInteractionWithRegionWithTime", "requestClassAttributeValueUpdateWithRegion",
  "getObjectClassHandle", "getObjectClassName", "getAttributeHandle", "getAttributeName",
  "getInteractionClassHandle", "getInteractionClassName", "getParameterHandle", "getParameterName",
  "getObjectInstanceHandle", "getObjectInstanceName", "getRoutingSpaceHandle",
  "getRoutingSpaceName", "getDimensionHandle", "getDimensionName",
  "getAttributeRoutingSpaceHandle", "getObjectClass", "getInteractionRoutingSpaceHandle",
  "getTransportationHandle", "getTransportationName", "getOrderingHandle", "getOrderingName",
  "getRegionToken", "getRegion", "enableClassRelevanceAdvisorySwitch",
  "disableClassRelevanceAdvisorySwitch", "enableAttributeRelevanceAdvisorySwitch",
  "disableAttributeRelevanceAdvisorySwitch", "enableAttributeScopeAdvisorySwitch",
  "disableAttributeScopeAdvisorySwitch", "enableInteractionRelevanceAdvisorySwitch",
  "disableInteractionRelevanceAdvisorySwitch", "synchronizationPointRegistrationSucceeded",
  "synchronizationPointRegistrationFailed", "announceSynchronizationPoint",
  "federationSynchronized", "initiateFederateSave", "federationSaved", "federationNotSaved",
  "requestFederationRestoreSucceeded", "requestFederationRestoreFailed", "federationRestoreBegun",
  "initiateFederateRestore", "federationRestored", "federationNotRestored",
  "startRegistrationForObjectClass", "stopRegistrationForObjectClass", "turnInteractionsOn",
  "turnInteractionsOff", "discoverObjectInstance", "reflectAttributeValues",
  "reflectAttributeValues", "receiveInteraction", "receiveInteraction", "removeObjectInstance",
  "removeObjectInstance", "attributesInScope", "attributesOutOfScope",
  "provideAttributeValueUpdate", "turnUpdatesOnForObjectInstance",
  "turnUpdatesOffForObjectInstance", "requestAttributeOwnershipAssumption",
  "attributeOwnershipDivestitureNotification", "attributeOwnershipAcquisitionNotification",
  "attributeOwnershipUnavailable", "requestAttributeOwnershipRelease",
  "confirmAttributeOwnershipAcquisitionCancellation", "informAttributeOwnership",
  "attributeIsNotOwned", "attributeOwnedByRTI", "timeRegulationEnabled", "timeConstrainedEnabled",
  "timeAdvanceGrant", "requestRetraction",
};
static_assert(sizeof call_names / sizeof call_names[0] == rti_api_call_count);
static_assert(static_cast<uint32_t>(rti_api_call::requestRetraction) == rti_api_call_count - 1);

}  // namespace

const char* rti_api_call_name(rti_api_call call) {
  const auto number = static_cast<uint32_t>(call);
  return number < rti_api_call_count ? call_names[number] : "";
}

std::string rti_api_event_name(rti_api_call call) {
  return std::string("API_") + rti_api_call_name(call);
}

}  // namespace varnel
