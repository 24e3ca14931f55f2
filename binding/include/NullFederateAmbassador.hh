// A FederateAmbassador whose callbacks all do nothing: a federate derives from it and overrides
// only the callbacks it cares about.
#ifndef RTI13_NULLFEDERATEAMBASSADOR_HH
#define RTI13_NULLFEDERATEAMBASSADOR_HH

#include "RTI.hh"

class RTI13_EXPORT NullFederateAmbassador : public rti13::FederateAmbassador {
public:
  NullFederateAmbassador() {}
  virtual ~NullFederateAmbassador() RTI13_THROW(rti13::FederateInternalError) {}

  virtual void synchronizationPointRegistrationSucceeded(const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void synchronizationPointRegistrationFailed(const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void announceSynchronizationPoint(const char*, const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void federationSynchronized(const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void initiateFederateSave(const char*)
      RTI13_THROW(rti13::UnableToPerformSave, rti13::FederateInternalError) {}
  virtual void federationSaved() RTI13_THROW(rti13::FederateInternalError) {}
  virtual void federationNotSaved() RTI13_THROW(rti13::FederateInternalError) {}
  virtual void requestFederationRestoreSucceeded(const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void requestFederationRestoreFailed(const char*, const char*) RTI13_THROW(rti13::FederateInternalError) {}
  virtual void federationRestoreBegun() RTI13_THROW(rti13::FederateInternalError) {}
  virtual void initiateFederateRestore(const char*, rti13::FederateHandle)
      RTI13_THROW(rti13::SpecifiedSaveLabelDoesNotExist, rti13::CouldNotRestore, rti13::FederateInternalError) {}
  virtual void federationRestored() RTI13_THROW(rti13::FederateInternalError) {}
  virtual void federationNotRestored() RTI13_THROW(rti13::FederateInternalError) {}

  virtual void startRegistrationForObjectClass(rti13::ObjectClassHandle)
      RTI13_THROW(rti13::ObjectClassNotPublished, rti13::FederateInternalError) {}
  virtual void stopRegistrationForObjectClass(rti13::ObjectClassHandle)
      RTI13_THROW(rti13::ObjectClassNotPublished, rti13::FederateInternalError) {}
  virtual void turnInteractionsOn(rti13::InteractionClassHandle)
      RTI13_THROW(rti13::InteractionClassNotPublished, rti13::FederateInternalError) {}
  virtual void turnInteractionsOff(rti13::InteractionClassHandle)
      RTI13_THROW(rti13::InteractionClassNotPublished, rti13::FederateInternalError) {}

  virtual void discoverObjectInstance(rti13::ObjectHandle, rti13::ObjectClassHandle, const char*)
      RTI13_THROW(rti13::CouldNotDiscover, rti13::ObjectClassNotKnown, rti13::FederateInternalError) {}
  virtual void reflectAttributeValues(rti13::ObjectHandle, const rti13::AttributeHandleValuePairSet&, const char*)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateOwnsAttributes,
                  rti13::FederateInternalError) {}
  virtual void reflectAttributeValues(rti13::ObjectHandle, const rti13::AttributeHandleValuePairSet&,
                                      const rti13::FedTime&, const char*, rti13::EventRetractionHandle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateOwnsAttributes,
                  rti13::InvalidFederationTime, rti13::FederateInternalError) {}
  virtual void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet&,
                                  const char*)
      RTI13_THROW(rti13::InteractionClassNotKnown, rti13::InteractionParameterNotKnown,
                  rti13::FederateInternalError) {}
  virtual void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet&,
                                  const rti13::FedTime&, const char*, rti13::EventRetractionHandle)
      RTI13_THROW(rti13::InteractionClassNotKnown, rti13::InteractionParameterNotKnown,
                  rti13::InvalidFederationTime, rti13::FederateInternalError) {}
  virtual void removeObjectInstance(rti13::ObjectHandle, const char*)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::FederateInternalError) {}
  virtual void removeObjectInstance(rti13::ObjectHandle, const rti13::FedTime&, const char*,
                                    rti13::EventRetractionHandle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::InvalidFederationTime, rti13::FederateInternalError) {}
  virtual void attributesInScope(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateInternalError) {}
  virtual void attributesOutOfScope(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateInternalError) {}
  virtual void provideAttributeValueUpdate(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeNotOwned,
                  rti13::FederateInternalError) {}
  virtual void turnUpdatesOnForObjectInstance(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotOwned, rti13::FederateInternalError) {}
  virtual void turnUpdatesOffForObjectInstance(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotOwned, rti13::FederateInternalError) {}

  virtual void requestAttributeOwnershipAssumption(rti13::ObjectHandle, const rti13::AttributeHandleSet&, const char*)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeAlreadyOwned,
                  rti13::AttributeNotPublished, rti13::FederateInternalError) {}
  virtual void attributeOwnershipDivestitureNotification(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeNotOwned,
                  rti13::AttributeDivestitureWasNotRequested, rti13::FederateInternalError) {}
  virtual void attributeOwnershipAcquisitionNotification(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeAcquisitionWasNotRequested,
                  rti13::AttributeAlreadyOwned, rti13::AttributeNotPublished, rti13::FederateInternalError) {}
  virtual void attributeOwnershipUnavailable(rti13::ObjectHandle, const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeNotDefined,
                  rti13::AttributeAlreadyOwned, rti13::AttributeAcquisitionWasNotRequested,
                  rti13::FederateInternalError) {}
  virtual void requestAttributeOwnershipRelease(rti13::ObjectHandle, const rti13::AttributeHandleSet&, const char*)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeNotOwned,
                  rti13::FederateInternalError) {}
  virtual void confirmAttributeOwnershipAcquisitionCancellation(rti13::ObjectHandle,
                                                                const rti13::AttributeHandleSet&)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::AttributeNotDefined,
                  rti13::AttributeAlreadyOwned, rti13::AttributeAcquisitionWasNotCanceled,
                  rti13::FederateInternalError) {}
  virtual void informAttributeOwnership(rti13::ObjectHandle, rti13::AttributeHandle, rti13::FederateHandle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateInternalError) {}
  virtual void attributeIsNotOwned(rti13::ObjectHandle, rti13::AttributeHandle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateInternalError) {}
  virtual void attributeOwnedByRTI(rti13::ObjectHandle, rti13::AttributeHandle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateInternalError) {}

  virtual void timeRegulationEnabled(const rti13::FedTime&)
      RTI13_THROW(rti13::InvalidFederationTime, rti13::EnableTimeRegulationWasNotPending,
                  rti13::FederateInternalError) {}
  virtual void timeConstrainedEnabled(const rti13::FedTime&)
      RTI13_THROW(rti13::InvalidFederationTime, rti13::EnableTimeConstrainedWasNotPending,
                  rti13::FederateInternalError) {}
  virtual void timeAdvanceGrant(const rti13::FedTime&)
      RTI13_THROW(rti13::InvalidFederationTime, rti13::TimeAdvanceWasNotInProgress, rti13::FederationTimeAlreadyPassed,
                  rti13::FederateInternalError) {}
  virtual void requestRetraction(rti13::EventRetractionHandle)
      RTI13_THROW(rti13::EventNotKnown, rti13::FederateInternalError) {}
};

#endif
