#include "throw_rti13_exception.h"

#include <array>
#include <cstdint>

#include "RTI.hh"

namespace halden13 {

using namespace varnel;

namespace {

using thrower = void (*)(const char* reason);

template <typename E>
[[noreturn]] void raise(const char* reason) {
  throw E(reason);
}

// Indexed by the ldm_error value; null means the code is swallowed.
constexpr std::array<thrower, 102> throwers = {
    nullptr,                                                  // None
    raise<rti13::ArrayIndexOutOfBounds>,                      // ArrayIndexOutOfBounds
    raise<rti13::AsynchronousDeliveryAlreadyDisabled>,        // AsynchronousDeliveryAlreadyDisabled
    raise<rti13::AsynchronousDeliveryAlreadyEnabled>,         // AsynchronousDeliveryAlreadyEnabled
    raise<rti13::AttributeAcquisitionWasNotCanceled>,         // AttributeAcquisitionWasNotCanceled
    raise<rti13::AttributeAcquisitionWasNotRequested>,        // AttributeAcquisitionWasNotRequested
    raise<rti13::AttributeAlreadyBeingAcquired>,              // AttributeAlreadyBeingAcquired
    raise<rti13::AttributeAlreadyBeingDivested>,              // AttributeAlreadyBeingDivested
    raise<rti13::AttributeAlreadyOwned>,                      // AttributeAlreadyOwned
    raise<rti13::AttributeDivestitureWasNotRequested>,        // AttributeDivestitureWasNotRequested
    raise<rti13::AttributeNotDefined>,                        // AttributeNotDefined
    raise<rti13::AttributeNotOwned>,                          // AttributeNotOwned
    raise<rti13::AttributeNotPublished>,                      // AttributeNotPublished
    raise<rti13::AttributeNotKnown>,                          // AttributeNotRecognized
    raise<rti13::ObjectClassNotSubscribed>,                   // AttributeNotSubscribed
    nullptr,                                                  // AttributeRelevanceAdvisorySwitchIsOff
    nullptr,                                                  // AttributeRelevanceAdvisorySwitchIsOn
    nullptr,                                                  // AttributeScopeAdvisorySwitchIsOff
    nullptr,                                                  // AttributeScopeAdvisorySwitchIsOn
    nullptr,                                                  // BadInitializationParameter
    raise<rti13::ConcurrentAccessAttempted>,                  // ConcurrentAccessAttempted
    nullptr,                                                  // CouldNotCreateLogicalTimeFactory
    nullptr,                                                  // CouldNotDecode
    nullptr,                                                  // CouldNotDiscover
    nullptr,                                                  // CouldNotEncode
    raise<rti13::CouldNotOpenFED>,                            // CouldNotOpenFDD
    nullptr,                                                  // CouldNotInitiateRestore
    raise<rti13::DeletePrivilegeNotHeld>,                     // DeletePrivilegeNotHeld
    raise<rti13::EnableTimeConstrainedPending>,               // RequestForTimeConstrainedPending
    raise<rti13::EnableTimeConstrainedWasNotPending>,         // NoRequestToEnableTimeConstrainedWasPending
    raise<rti13::EnableTimeRegulationPending>,                // RequestForTimeRegulationPending
    raise<rti13::EnableTimeRegulationWasNotPending>,          // NoRequestToEnableTimeRegulationWasPending
    raise<rti13::ErrorReadingFED>,                            // ErrorReadingFDD
    raise<rti13::FederateAlreadyExecutionMember>,             // FederateAlreadyExecutionMember
    raise<rti13::SaveNotInitiated>,                           // FederateHasNotBegunSave
    raise<rti13::FederateNotExecutionMember>,                 // FederateNotExecutionMember
    raise<rti13::FederateOwnsAttributes>,                     // FederateOwnsAttributes
    nullptr,                                                  // FederateServiceInvocationsAreBeingReportedViaMOM
    raise<rti13::InvalidFederationTime>,                      // FederateUnableToUseTime
    raise<rti13::FederateWasNotAskedToReleaseAttribute>,      // FederateWasNotAskedToReleaseAttribute
    raise<rti13::FederatesCurrentlyJoined>,                   // FederatesCurrentlyJoined
    raise<rti13::FederationExecutionAlreadyExists>,           // FederationExecutionAlreadyExists
    raise<rti13::FederationExecutionDoesNotExist>,            // FederationExecutionDoesNotExist
    raise<rti13::ObjectAlreadyRegistered>,                    // IllegalName
    nullptr,                                                  // IllegalTimeArithmetic
    raise<rti13::InteractionClassNotDefined>,                 // InteractionClassNotDefined
    raise<rti13::InteractionClassNotPublished>,               // InteractionClassNotPublished
    raise<rti13::InteractionClassNotKnown>,                   // InteractionClassNotRecognized
    raise<rti13::InteractionClassNotSubscribed>,              // InteractionClassNotSubscribed
    raise<rti13::InteractionParameterNotDefined>,             // InteractionParameterNotDefined
    raise<rti13::InteractionParameterNotKnown>,               // InteractionParameterNotRecognized
    nullptr,                                                  // InteractionRelevanceAdvisorySwitchIsOff
    nullptr,                                                  // InteractionRelevanceAdvisorySwitchIsOn
    raise<rti13::TimeAdvanceAlreadyInProgress>,               // InTimeAdvancingState
    raise<rti13::AttributeNotDefined>,                        // InvalidAttributeHandle
    raise<rti13::DimensionNotDefined>,                        // InvalidDimensionHandle
    raise<rti13::InteractionClassNotDefined>,                 // InvalidInteractionClassHandle
    raise<rti13::InvalidFederationTime>,                      // InvalidLogicalTime
    raise<rti13::InvalidFederationTime>,                      // InvalidLogicalTimeInterval
    raise<rti13::InvalidLookahead>,                           // InvalidLookahead
    raise<rti13::ObjectClassNotDefined>,                      // InvalidObjectClassHandle
    raise<rti13::NameNotFound>,                               // InvalidOrderName
    raise<rti13::InvalidOrderingHandle>,                      // InvalidOrderType
    raise<rti13::InteractionParameterNotDefined>,             // InvalidParameterHandle
    raise<rti13::InvalidExtents>,                             // InvalidRangeBound
    raise<rti13::RegionNotKnown>,                             // InvalidRegion
    raise<rti13::InvalidRegionContext>,                       // InvalidRegionContext
    raise<rti13::InvalidRetractionHandle>,                    // InvalidRetractionHandle
    nullptr,                                                  // InvalidServiceGroup
    raise<rti13::SpaceNotDefined>,                            // InvalidSpaceHandle
    raise<rti13::NameNotFound>,                               // InvalidTransportationName
    raise<rti13::InvalidTransportationHandle>,                // InvalidTransportationType
    nullptr,                                                  // JoinedFederateIsNotInTimeAdvancingState
    raise<rti13::FederationTimeAlreadyPassed>,                // LogicalTimeAlreadyPassed
    nullptr,                                                  // MessageCanNoLongerBeRetracted
    raise<rti13::NameNotFound>,                               // NameNotFound
    nullptr,                                                  // NoAcquisitionPending
    raise<rti13::ObjectClassNotDefined>,                      // ObjectClassNotDefined
    raise<rti13::ObjectClassNotKnown>,                        // ObjectClassNotKnown
    raise<rti13::ObjectClassNotPublished>,                    // ObjectClassNotPublished
    nullptr,                                                  // ObjectClassRelevanceAdvisorySwitchIsOff
    nullptr,                                                  // ObjectClassRelevanceAdvisorySwitchIsOn
    raise<rti13::ObjectAlreadyRegistered>,                    // ObjectInstanceNameInUse
    nullptr,                                                  // ObjectInstanceNameNotReserved
    raise<rti13::ObjectNotKnown>,                             // ObjectInstanceNotKnown
    raise<rti13::OwnershipAcquisitionPending>,                // OwnershipAcquisitionPending
    raise<rti13::DimensionNotDefined>,                        // RegionDoesNotContainSpecifiedDimension
    raise<rti13::RegionInUse>,                                // RegionInUseForUpdateOrSubscription
    raise<rti13::RegionNotKnown>,                             // RegionNotCreatedByThisFederate
    raise<rti13::RestoreInProgress>,                          // RestoreInProgress
    raise<rti13::RestoreNotRequested>,                        // RestoreNotRequested
    raise<rti13::SaveInProgress>,                             // SaveInProgress
    raise<rti13::SaveNotInitiated>,                           // SaveNotInitiated
    raise<rti13::SpecifiedSaveLabelDoesNotExist>,             // SpecifiedSaveLabelDoesNotExist
    raise<rti13::SynchronizationPointLabelWasNotAnnounced>,   // SynchronizationPointLabelNotAnnounced
    raise<rti13::TimeConstrainedAlreadyEnabled>,              // TimeConstrainedAlreadyEnabled
    raise<rti13::TimeConstrainedWasNotEnabled>,               // TimeConstrainedIsNotEnabled
    raise<rti13::TimeRegulationAlreadyEnabled>,               // TimeRegulationAlreadyEnabled
    raise<rti13::TimeRegulationWasNotEnabled>,                // TimeRegulationIsNotEnabled
    raise<rti13::UnableToPerformSave>,                        // UnableToPerformSave
    nullptr,                                                  // UnknownName
    raise<rti13::RTIinternalError>,                           // InternalError
};

static_assert(throwers.size() == static_cast<size_t>(ldm_error::InternalError) + 1,
              "one entry per ldm_error code");

}  // namespace

bool is_swallowed_ldm_error(ldm_error code) {
  const auto index = static_cast<uint32_t>(code);
  return index < throwers.size() && throwers[index] == nullptr;
}

void throw_rti13_exception(const ldm_exception& exception) {
  const auto index = static_cast<uint32_t>(exception.code());
  if (index >= throwers.size()) throw rti13::RTIinternalError("Unable to find correct exception!");
  if (thrower raise_mapped = throwers[index]) raise_mapped(exception.detail());
}

}  // namespace halden13
