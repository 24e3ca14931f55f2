// The callbacks of FederateAmbassador, which the federate implements. RTI.hh includes this
// file inside the class body; it is not meant to be included on its own. The RTI calls them
// only inside RTIambassador::tick, on the ticking thread. Arguments passed by reference or
// pointer live only for the call: copy what must be kept.

FederateAmbassador() {}
FederateAmbassador(const FederateAmbassador&) {}

// Federation management

virtual void synchronizationPointRegistrationSucceeded(const char* label) RTI13_THROW(FederateInternalError) = 0;

virtual void synchronizationPointRegistrationFailed(const char* label) RTI13_THROW(FederateInternalError) = 0;

virtual void announceSynchronizationPoint(const char* label, const char* tag)
    RTI13_THROW(FederateInternalError) = 0;

virtual void federationSynchronized(const char* label) RTI13_THROW(FederateInternalError) = 0;

virtual void initiateFederateSave(const char* label) RTI13_THROW(UnableToPerformSave, FederateInternalError) = 0;

virtual void federationSaved() RTI13_THROW(FederateInternalError) = 0;

virtual void federationNotSaved() RTI13_THROW(FederateInternalError) = 0;

virtual void requestFederationRestoreSucceeded(const char* label) RTI13_THROW(FederateInternalError) = 0;

virtual void requestFederationRestoreFailed(const char* label, const char* reason)
    RTI13_THROW(FederateInternalError) = 0;

virtual void federationRestoreBegun() RTI13_THROW(FederateInternalError) = 0;

virtual void initiateFederateRestore(const char* label, FederateHandle handle)
    RTI13_THROW(SpecifiedSaveLabelDoesNotExist, CouldNotRestore, FederateInternalError) = 0;

virtual void federationRestored() RTI13_THROW(FederateInternalError) = 0;

virtual void federationNotRestored() RTI13_THROW(FederateInternalError) = 0;

// Declaration management

virtual void startRegistrationForObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotPublished, FederateInternalError) = 0;

virtual void stopRegistrationForObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotPublished, FederateInternalError) = 0;

virtual void turnInteractionsOn(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotPublished, FederateInternalError) = 0;

virtual void turnInteractionsOff(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotPublished, FederateInternalError) = 0;

// Object management

virtual void discoverObjectInstance(ObjectHandle theObject, ObjectClassHandle theObjectClass,
                                    const char* theObjectName)
    RTI13_THROW(CouldNotDiscover, ObjectClassNotKnown, FederateInternalError) = 0;

virtual void reflectAttributeValues(ObjectHandle theObject, const AttributeHandleValuePairSet& theAttributes,
                                    const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateOwnsAttributes, FederateInternalError) = 0;

virtual void reflectAttributeValues(ObjectHandle theObject, const AttributeHandleValuePairSet& theAttributes,
                                    const FedTime& theTime, const char* theTag, EventRetractionHandle theHandle)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateOwnsAttributes, InvalidFederationTime,
                FederateInternalError) = 0;

virtual void receiveInteraction(InteractionClassHandle theInteraction,
                                const ParameterHandleValuePairSet& theParameters, const char* theTag)
    RTI13_THROW(InteractionClassNotKnown, InteractionParameterNotKnown, FederateInternalError) = 0;

virtual void receiveInteraction(InteractionClassHandle theInteraction,
                                const ParameterHandleValuePairSet& theParameters, const FedTime& theTime,
                                const char* theTag, EventRetractionHandle theHandle)
    RTI13_THROW(InteractionClassNotKnown, InteractionParameterNotKnown, InvalidFederationTime,
                FederateInternalError) = 0;

virtual void removeObjectInstance(ObjectHandle theObject, const char* theTag)
    RTI13_THROW(ObjectNotKnown, FederateInternalError) = 0;

virtual void removeObjectInstance(ObjectHandle theObject, const FedTime& theTime, const char* theTag,
                                  EventRetractionHandle theHandle)
    RTI13_THROW(ObjectNotKnown, InvalidFederationTime, FederateInternalError) = 0;

virtual void attributesInScope(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateInternalError) = 0;

virtual void attributesOutOfScope(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateInternalError) = 0;

virtual void provideAttributeValueUpdate(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeNotOwned, FederateInternalError) = 0;

virtual void turnUpdatesOnForObjectInstance(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotOwned, FederateInternalError) = 0;

virtual void turnUpdatesOffForObjectInstance(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotOwned, FederateInternalError) = 0;

// Ownership management

virtual void requestAttributeOwnershipAssumption(ObjectHandle theObject,
                                                 const AttributeHandleSet& offeredAttributes, const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeAlreadyOwned, AttributeNotPublished,
                FederateInternalError) = 0;

virtual void attributeOwnershipDivestitureNotification(ObjectHandle theObject,
                                                       const AttributeHandleSet& releasedAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeNotOwned, AttributeDivestitureWasNotRequested,
                FederateInternalError) = 0;

virtual void attributeOwnershipAcquisitionNotification(ObjectHandle theObject,
                                                       const AttributeHandleSet& securedAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeAcquisitionWasNotRequested, AttributeAlreadyOwned,
                AttributeNotPublished, FederateInternalError) = 0;

virtual void attributeOwnershipUnavailable(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeNotDefined, AttributeAlreadyOwned,
                AttributeAcquisitionWasNotRequested, FederateInternalError) = 0;

virtual void requestAttributeOwnershipRelease(ObjectHandle theObject, const AttributeHandleSet& candidateAttributes,
                                              const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeNotOwned, FederateInternalError) = 0;

virtual void confirmAttributeOwnershipAcquisitionCancellation(ObjectHandle theObject,
                                                              const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, AttributeNotDefined, AttributeAlreadyOwned,
                AttributeAcquisitionWasNotCanceled, FederateInternalError) = 0;

virtual void informAttributeOwnership(ObjectHandle theObject, AttributeHandle theAttribute,
                                      FederateHandle theOwner)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateInternalError) = 0;

virtual void attributeIsNotOwned(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateInternalError) = 0;

virtual void attributeOwnedByRTI(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotKnown, FederateInternalError) = 0;

// Time management

virtual void timeRegulationEnabled(const FedTime& theFederateTime)
    RTI13_THROW(InvalidFederationTime, EnableTimeRegulationWasNotPending, FederateInternalError) = 0;

virtual void timeConstrainedEnabled(const FedTime& theFederateTime)
    RTI13_THROW(InvalidFederationTime, EnableTimeConstrainedWasNotPending, FederateInternalError) = 0;

virtual void timeAdvanceGrant(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, TimeAdvanceWasNotInProgress, FederationTimeAlreadyPassed,
                FederateInternalError) = 0;

virtual void requestRetraction(EventRetractionHandle theHandle) RTI13_THROW(EventNotKnown, FederateInternalError) = 0;

virtual ~FederateAmbassador() RTI13_THROW(FederateInternalError) {}
