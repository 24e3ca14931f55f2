#include "frame/ldm_error.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace varnel {

namespace {

constexpr const char* error_names[] = {
  "None", "ArrayIndexOutOfBounds", "AsynchronousDeliveryAlreadyDisabled",
  "AsynchronousDeliveryAlreadyEnabled", "AttributeAcquisitionWasNotCanceled",
  "AttributeAcquisitionWasNotRequested", "AttributeAlreadyBeingAcquired",
  "AttributeAlreadyBeingDivested", "AttributeAlreadyOwned", "AttributeDivestitureWasNotRequested",
  "AttributeNotDefined", "AttributeNotOwned", "AttributeNotPublished", "AttributeNotRecognized",
  "AttributeNotSubscribed", "AttributeRelevanceAdvisorySwitchIsOff",
  "AttributeRelevanceAdvisorySwitchIsOn", "AttributeScopeAdvisorySwitchIsOff",
  "AttributeScopeAdvisorySwitchIsOn", "BadInitializationParameter", "ConcurrentAccessAttempted",
  "CouldNotCreateLogicalTimeFactory", "CouldNotDecode", "CouldNotDiscover", "CouldNotEncode",
  "CouldNotOpenFDD", "CouldNotInitiateRestore", "DeletePrivilegeNotHeld",
  "RequestForTimeConstrainedPending", "NoRequestToEnableTimeConstrainedWasPending",
  "RequestForTimeRegulationPending", "NoRequestToEnableTimeRegulationWasPending",
  "ErrorReadingFDD", "FederateAlreadyExecutionMember", "FederateHasNotBegunSave",
  "FederateNotExecutionMember", "FederateOwnsAttributes",
  "FederateServiceInvocationsAreBeingReportedViaMOM", "FederateUnableToUseTime",
  "FederateWasNotAskedToReleaseAttribute", "FederatesCurrentlyJoined",
  "FederationExecutionAlreadyExists", "FederationExecutionDoesNotExist", "IllegalName",
  "IllegalTimeArithmetic", "InteractionClassNotDefined", "InteractionClassNotPublished",
  "InteractionClassNotRecognized", "InteractionClassNotSubscribed",
  "InteractionParameterNotDefined", "InteractionParameterNotRecognized",
  "InteractionRelevanceAdvisorySwitchIsOff", "InteractionRelevanceAdvisorySwitchIsOn",
  "InTimeAdvancingState", "InvalidAttributeHandle", "InvalidDimensionHandle",
  "InvalidInteractionClassHandle", "InvalidLogicalTime", "InvalidLogicalTimeInterval",
  "InvalidLookahead", "InvalidObjectClassHandle", "InvalidOrderName", "InvalidOrderType",
  "InvalidParameterHandle", "InvalidRangeBound", "InvalidRegion", "InvalidRegionContext",
  "InvalidRetractionHandle", "InvalidServiceGroup", "InvalidSpaceHandle",
  "InvalidTransportationName", "InvalidTransportationType",
  "JoinedFederateIsNotInTimeAdvancingState", "LogicalTimeAlreadyPassed",
  "MessageCanNoLongerBeRetracted", "NameNotFound", "NoAcquisitionPending", "ObjectClassNotDefined",
  "ObjectClassNotKnown", "ObjectClassNotPublished", "ObjectClassRelevanceAdvisorySwitchIsOff",
  "ObjectClassRelevanceAdvisorySwitchIsOn", "ObjectInstanceNameInUse",
  "ObjectInstanceNameNotReserved", "ObjectInstanceNotKnown", "OwnershipAcquisitionPending",
  "RegionDoesNotContainSpecifiedDimension", "RegionInUseForUpdateOrSubscription",
  "RegionNotCreatedByThisFederate", "RestoreInProgress", "RestoreNotRequested", "SaveInProgress",
  "SaveNotInitiated", "SpecifiedSaveLabelDoesNotExist", "SynchronizationPointLabelNotAnnounced",
  "TimeConstrainedAlreadyEnabled", "TimeConstrainedIsNotEnabled", "TimeRegulationAlreadyEnabled",
  "TimeRegulationIsNotEnabled", "UnableToPerformSave", "UnknownName", "InternalError",
};
static_assert(sizeof error_names / sizeof error_names[0] == static_cast<uint32_t>(ldm_error::InternalError) + 1);

constexpr const char* no_details = "No details available";

}  // namespace

const char* ldm_error_name(ldm_error code) {
  const auto number = static_cast<uint32_t>(code);
  return number < sizeof error_names / sizeof error_names[0] ? error_names[number] : "";
}

std::ostream& operator<<(std::ostream& out, ldm_error code) { return out << ldm_error_name(code); }

ldm_exception::ldm_exception(ldm_error code, const char* detail)
    : code_(code), detail_(detail ? detail : no_details) {}

ldm_exception::ldm_exception(ldm_error code, std::string detail) : code_(code), detail_(std::move(detail)) {}

std::ostream& operator<<(std::ostream& out, const ldm_exception& exception) {
  return out << exception.code() << ": " << exception.detail();
}

ldm_exception make_ldm_exception(ldm_error code, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string detail(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(detail.data(), detail.size() + 1, format, arguments);
  va_end(arguments);
  return ldm_exception(code, std::move(detail));
}

}  // namespace varnel
