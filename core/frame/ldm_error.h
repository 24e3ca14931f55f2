// The error codes of the distribution manager and the exception that carries one with its
// detail text. Every refusal of a service travels as an ldm_exception; the binding is the only
// place that translates the codes into the exceptions of the federate's API.
#pragma once

#include <cstdint>
#include <exception>
#include <ostream>
#include <string>

#include "frame/varnel_export.h"

namespace varnel {

enum class ldm_error : uint32_t {
  None,
  ArrayIndexOutOfBounds,
  AsynchronousDeliveryAlreadyDisabled,
  AsynchronousDeliveryAlreadyEnabled,
  AttributeAcquisitionWasNotCanceled,
  AttributeAcquisitionWasNotRequested,
  AttributeAlreadyBeingAcquired,
  AttributeAlreadyBeingDivested,
  AttributeAlreadyOwned,
  AttributeDivestitureWasNotRequested,
  AttributeNotDefined,
  AttributeNotOwned,
  AttributeNotPublished,
  AttributeNotRecognized,
  AttributeNotSubscribed,
  AttributeRelevanceAdvisorySwitchIsOff,
  AttributeRelevanceAdvisorySwitchIsOn,
  AttributeScopeAdvisorySwitchIsOff,
  AttributeScopeAdvisorySwitchIsOn,
  BadInitializationParameter,
  ConcurrentAccessAttempted,
  CouldNotCreateLogicalTimeFactory,
  CouldNotDecode,
  CouldNotDiscover,
  CouldNotEncode,
  CouldNotOpenFDD,
  CouldNotInitiateRestore,
  DeletePrivilegeNotHeld,
  RequestForTimeConstrainedPending,
  NoRequestToEnableTimeConstrainedWasPending,
  RequestForTimeRegulationPending,
  NoRequestToEnableTimeRegulationWasPending,
  ErrorReadingFDD,
  FederateAlreadyExecutionMember,
  FederateHasNotBegunSave,
  FederateNotExecutionMember,
  FederateOwnsAttributes,
  FederateServiceInvocationsAreBeingReportedViaMOM,
  FederateUnableToUseTime,
  FederateWasNotAskedToReleaseAttribute,
  FederatesCurrentlyJoined,
  FederationExecutionAlreadyExists,
  FederationExecutionDoesNotExist,
  IllegalName,
  IllegalTimeArithmetic,
  InteractionClassNotDefined,
  InteractionClassNotPublished,
  InteractionClassNotRecognized,
  InteractionClassNotSubscribed,
  InteractionParameterNotDefined,
  InteractionParameterNotRecognized,
  InteractionRelevanceAdvisorySwitchIsOff,
  InteractionRelevanceAdvisorySwitchIsOn,
  InTimeAdvancingState,
  InvalidAttributeHandle,
  InvalidDimensionHandle,
  InvalidInteractionClassHandle,
  InvalidLogicalTime,
  InvalidLogicalTimeInterval,
  InvalidLookahead,
  InvalidObjectClassHandle,
  InvalidOrderName,
  InvalidOrderType,
  InvalidParameterHandle,
  InvalidRangeBound,
  InvalidRegion,
  InvalidRegionContext,
  InvalidRetractionHandle,
  InvalidServiceGroup,
  InvalidSpaceHandle,
  InvalidTransportationName,
  InvalidTransportationType,
  JoinedFederateIsNotInTimeAdvancingState,
  LogicalTimeAlreadyPassed,
  MessageCanNoLongerBeRetracted,
  NameNotFound,
  NoAcquisitionPending,
  ObjectClassNotDefined,
  ObjectClassNotKnown,
  ObjectClassNotPublished,
  ObjectClassRelevanceAdvisorySwitchIsOff,
  ObjectClassRelevanceAdvisorySwitchIsOn,
  ObjectInstanceNameInUse,
  ObjectInstanceNameNotReserved,
  ObjectInstanceNotKnown,
  OwnershipAcquisitionPending,
  RegionDoesNotContainSpecifiedDimension,
  RegionInUseForUpdateOrSubscription,
  RegionNotCreatedByThisFederate,
  RestoreInProgress,
  RestoreNotRequested,
  SaveInProgress,
  SaveNotInitiated,
  SpecifiedSaveLabelDoesNotExist,
  SynchronizationPointLabelNotAnnounced,
  TimeConstrainedAlreadyEnabled,
  TimeConstrainedIsNotEnabled,
  TimeRegulationAlreadyEnabled,
  TimeRegulationIsNotEnabled,
  UnableToPerformSave,
  UnknownName,
  InternalError,
};

// The code's printed name ("InternalError"); "" for a value outside the list.
const char* ldm_error_name(ldm_error code);
std::ostream& operator<<(std::ostream& out, ldm_error code);

class VARNEL_EXPORT ldm_exception : public std::exception {
public:
  // A null detail is kept as "No details available".
  explicit ldm_exception(ldm_error code, const char* detail = nullptr);
  ldm_exception(ldm_error code, std::string detail);

  ldm_error code() const { return code_; }
  const char* detail() const { return detail_.c_str(); }
  const char* what() const noexcept override { return detail_.c_str(); }

private:
  ldm_error code_;
  std::string detail_;
};

// The code's name, ": " and the detail.
std::ostream& operator<<(std::ostream& out, const ldm_exception& exception);

// An ldm_exception whose detail is formatted printf-style; refusals name their arguments.
[[gnu::format(printf, 2, 3)]] ldm_exception make_ldm_exception(ldm_error code, const char* format, ...);

}  // namespace varnel
