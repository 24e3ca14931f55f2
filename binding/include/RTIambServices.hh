// The services of RTIambassador. RTI.hh includes this file inside the class body; it is not
// meant to be included on its own. Every service is virtual; the throw lists name what each
// may throw (written through RTI13_THROW, so they vanish from C++17 on).
//
// Memory conventions: arguments passed by pointer or reference stay the caller's and are only
// used during the call; char* name results, Region* results of createRegion and the
// AttributeHandleSet* result of attributeOwnershipReleaseResponse belong to the caller, who
// frees them (names with delete[]).

typedef FederateAmbassador* FederateAmbassadorPtr;

RTIambassador() RTI13_THROW(MemoryExhausted, RTIinternalError);
// Copies act on the same federate as the ambassador they were copied from.
RTIambassador(const RTIambassador& other);
RTIambassador& operator=(const RTIambassador& other);
virtual ~RTIambassador() RTI13_THROW(RTIinternalError);

// Federation management

virtual void createFederationExecution(const char* executionName, const char* FED)
    RTI13_THROW(FederationExecutionAlreadyExists, CouldNotOpenFED, ErrorReadingFED, ConcurrentAccessAttempted,
                RTIinternalError);

virtual void destroyFederationExecution(const char* executionName)
    RTI13_THROW(FederatesCurrentlyJoined, FederationExecutionDoesNotExist, ConcurrentAccessAttempted,
                RTIinternalError);

virtual FederateHandle joinFederationExecution(const char* yourName, const char* executionName,
                                               FederateAmbassadorPtr federateAmbassadorReference)
    RTI13_THROW(FederateAlreadyExecutionMember, FederationExecutionDoesNotExist, CouldNotOpenFED, ErrorReadingFED,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void resignFederationExecution(ResignAction theAction)
    RTI13_THROW(FederateOwnsAttributes, FederateNotExecutionMember, InvalidResignAction, ConcurrentAccessAttempted,
                RTIinternalError);

virtual void registerFederationSynchronizationPoint(const char* label, const char* theTag)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void registerFederationSynchronizationPoint(const char* label, const char* theTag,
                                                    const FederateHandleSet& syncSet)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void synchronizationPointAchieved(const char* label)
    RTI13_THROW(SynchronizationPointLabelWasNotAnnounced, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void requestFederationSave(const char* label, const FedTime& theTime)
    RTI13_THROW(FederationTimeAlreadyPassed, InvalidFederationTime, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void requestFederationSave(const char* label)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void federateSaveBegun()
    RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember, ConcurrentAccessAttempted, RestoreInProgress,
                RTIinternalError);

virtual void federateSaveComplete()
    RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember, ConcurrentAccessAttempted, RestoreInProgress,
                RTIinternalError);

virtual void federateSaveNotComplete()
    RTI13_THROW(SaveNotInitiated, FederateNotExecutionMember, ConcurrentAccessAttempted, RestoreInProgress,
                RTIinternalError);

virtual void requestFederationRestore(const char* label)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void federateRestoreComplete()
    RTI13_THROW(RestoreNotRequested, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RTIinternalError);

virtual void federateRestoreNotComplete()
    RTI13_THROW(RestoreNotRequested, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RTIinternalError);

// Declaration management

virtual void publishObjectClass(ObjectClassHandle theClass, const AttributeHandleSet& attributeList)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, OwnershipAcquisitionPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void unpublishObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, OwnershipAcquisitionPending,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void publishInteractionClass(InteractionClassHandle theInteraction)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void unpublishInteractionClass(InteractionClassHandle theInteraction)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void subscribeObjectClassAttributes(ObjectClassHandle theClass, const AttributeHandleSet& attributeList,
                                            Boolean active = RTI_TRUE)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void unsubscribeObjectClass(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotSubscribed, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void subscribeInteractionClass(InteractionClassHandle theClass, Boolean active = RTI_TRUE)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                FederateLoggingServiceCalls, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void unsubscribeInteractionClass(InteractionClassHandle theClass)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotSubscribed, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

// Object management

virtual ObjectHandle registerObjectInstance(ObjectClassHandle theClass, const char* theObject)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, ObjectAlreadyRegistered, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual ObjectHandle registerObjectInstance(ObjectClassHandle theClass)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual EventRetractionHandle updateAttributeValues(ObjectHandle theObject,
                                                    const AttributeHandleValuePairSet& theAttributes,
                                                    const FedTime& theTime, const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidFederationTime,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void updateAttributeValues(ObjectHandle theObject, const AttributeHandleValuePairSet& theAttributes,
                                   const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual EventRetractionHandle sendInteraction(InteractionClassHandle theInteraction,
                                              const ParameterHandleValuePairSet& theParameters,
                                              const FedTime& theTime, const char* theTag)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                InvalidFederationTime, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void sendInteraction(InteractionClassHandle theInteraction, const ParameterHandleValuePairSet& theParameters,
                             const char* theTag)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual EventRetractionHandle deleteObjectInstance(ObjectHandle theObject, const FedTime& theTime,
                                                   const char* theTag)
    RTI13_THROW(ObjectNotKnown, DeletePrivilegeNotHeld, InvalidFederationTime, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void deleteObjectInstance(ObjectHandle theObject, const char* theTag)
    RTI13_THROW(ObjectNotKnown, DeletePrivilegeNotHeld, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void localDeleteObjectInstance(ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, FederateOwnsAttributes, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void changeAttributeTransportationType(ObjectHandle theObject, const AttributeHandleSet& theAttributes,
                                               TransportationHandle theType)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidTransportationHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void changeInteractionTransportationType(InteractionClassHandle theClass, TransportationHandle theType)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InvalidTransportationHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void requestObjectAttributeValueUpdate(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void requestClassAttributeValueUpdate(ObjectClassHandle theClass, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

// Ownership management

virtual void unconditionalAttributeOwnershipDivestiture(ObjectHandle theObject,
                                                        const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void negotiatedAttributeOwnershipDivestiture(ObjectHandle theObject, const AttributeHandleSet& theAttributes,
                                                     const char* theTag)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, AttributeAlreadyBeingDivested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void attributeOwnershipAcquisition(ObjectHandle theObject, const AttributeHandleSet& desiredAttributes,
                                           const char* theTag)
    RTI13_THROW(ObjectNotKnown, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                FederateOwnsAttributes, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual AttributeHandleSet* attributeOwnershipReleaseResponse(ObjectHandle theObject,
                                                              const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, FederateWasNotAskedToReleaseAttribute,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void cancelNegotiatedAttributeOwnershipDivestiture(ObjectHandle theObject,
                                                           const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, AttributeDivestitureWasNotRequested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void cancelAttributeOwnershipAcquisition(ObjectHandle theObject, const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeAlreadyOwned, AttributeAcquisitionWasNotRequested,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void attributeOwnershipAcquisitionIfAvailable(ObjectHandle theObject,
                                                      const AttributeHandleSet& desiredAttributes)
    RTI13_THROW(ObjectNotKnown, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                FederateOwnsAttributes, AttributeAlreadyBeingAcquired, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void queryAttributeOwnership(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual Boolean isAttributeOwnedByFederate(ObjectHandle theObject, AttributeHandle theAttribute)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

// Time management

virtual void enableTimeRegulation(const FedTime& theFederateTime, const FedTime& theLookahead)
    RTI13_THROW(TimeRegulationAlreadyEnabled, EnableTimeRegulationPending, TimeAdvanceAlreadyInProgress,
                InvalidFederationTime, InvalidLookahead, ConcurrentAccessAttempted, FederateNotExecutionMember,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void disableTimeRegulation()
    RTI13_THROW(TimeRegulationWasNotEnabled, ConcurrentAccessAttempted, FederateNotExecutionMember, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void enableTimeConstrained()
    RTI13_THROW(TimeConstrainedAlreadyEnabled, EnableTimeConstrainedPending, TimeAdvanceAlreadyInProgress,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void disableTimeConstrained()
    RTI13_THROW(TimeConstrainedWasNotEnabled, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void timeAdvanceRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void timeAdvanceRequestAvailable(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void nextEventRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void nextEventRequestAvailable(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void flushQueueRequest(const FedTime& theTime)
    RTI13_THROW(InvalidFederationTime, FederationTimeAlreadyPassed, TimeAdvanceAlreadyInProgress,
                EnableTimeRegulationPending, EnableTimeConstrainedPending, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void enableAsynchronousDelivery()
    RTI13_THROW(AsynchronousDeliveryAlreadyEnabled, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void disableAsynchronousDelivery()
    RTI13_THROW(AsynchronousDeliveryAlreadyDisabled, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void queryLBTS(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void queryFederateTime(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void queryMinNextEventTime(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void modifyLookahead(const FedTime& theLookahead)
    RTI13_THROW(InvalidLookahead, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void queryLookahead(FedTime& theTime)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void retract(EventRetractionHandle theHandle)
    RTI13_THROW(InvalidRetractionHandle, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual void changeAttributeOrderType(ObjectHandle theObject, const AttributeHandleSet& theAttributes,
                                      OrderingHandle theType)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, AttributeNotOwned, InvalidOrderingHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void changeInteractionOrderType(InteractionClassHandle theClass, OrderingHandle theType)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InvalidOrderingHandle,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

// Data distribution management

virtual Region* createRegion(SpaceHandle theSpace, ULong numberOfExtents)
    RTI13_THROW(SpaceNotDefined, InvalidExtents, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void notifyAboutRegionModification(Region& theRegion)
    RTI13_THROW(RegionNotKnown, InvalidExtents, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void deleteRegion(Region* theRegion)
    RTI13_THROW(RegionNotKnown, RegionInUse, FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress,
                RestoreInProgress, RTIinternalError);

virtual ObjectHandle registerObjectInstanceWithRegion(ObjectClassHandle theClass, const char* theObject,
                                                      AttributeHandle theAttributes[], Region* theRegions[],
                                                      ULong theNumberOfHandles)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                RegionNotKnown, InvalidRegionContext, ObjectAlreadyRegistered, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual ObjectHandle registerObjectInstanceWithRegion(ObjectClassHandle theClass, AttributeHandle theAttributes[],
                                                      Region* theRegions[], ULong theNumberOfHandles)
    RTI13_THROW(ObjectClassNotDefined, ObjectClassNotPublished, AttributeNotDefined, AttributeNotPublished,
                RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void associateRegionForUpdates(Region& theRegion, ObjectHandle theObject,
                                       const AttributeHandleSet& theAttributes)
    RTI13_THROW(ObjectNotKnown, AttributeNotDefined, InvalidRegionContext, RegionNotKnown,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void unassociateRegionForUpdates(Region& theRegion, ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, InvalidRegionContext, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void subscribeObjectClassAttributesWithRegion(ObjectClassHandle theClass, Region& theRegion,
                                                      const AttributeHandleSet& attributeList,
                                                      Boolean active = RTI_TRUE)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, RegionNotKnown, InvalidRegionContext,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void unsubscribeObjectClassWithRegion(ObjectClassHandle theClass, Region& theRegion)
    RTI13_THROW(ObjectClassNotDefined, RegionNotKnown, ObjectClassNotSubscribed, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void subscribeInteractionClassWithRegion(InteractionClassHandle theClass, Region& theRegion,
                                                 Boolean active = RTI_TRUE)
    RTI13_THROW(InteractionClassNotDefined, RegionNotKnown, InvalidRegionContext, FederateLoggingServiceCalls,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void unsubscribeInteractionClassWithRegion(InteractionClassHandle theClass, Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotSubscribed, RegionNotKnown,
                FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual EventRetractionHandle sendInteractionWithRegion(InteractionClassHandle theInteraction,
                                                        const ParameterHandleValuePairSet& theParameters,
                                                        const FedTime& theTime, const char* theTag,
                                                        const Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                InvalidFederationTime, RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void sendInteractionWithRegion(InteractionClassHandle theInteraction,
                                       const ParameterHandleValuePairSet& theParameters, const char* theTag,
                                       const Region& theRegion)
    RTI13_THROW(InteractionClassNotDefined, InteractionClassNotPublished, InteractionParameterNotDefined,
                RegionNotKnown, InvalidRegionContext, FederateNotExecutionMember, ConcurrentAccessAttempted,
                SaveInProgress, RestoreInProgress, RTIinternalError);

virtual void requestClassAttributeValueUpdateWithRegion(ObjectClassHandle theClass,
                                                        const AttributeHandleSet& theAttributes,
                                                        const Region& theRegion)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, RegionNotKnown, FederateNotExecutionMember,
                ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress, RTIinternalError);

// Support services

virtual ObjectClassHandle getObjectClassHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getObjectClassName(ObjectClassHandle theHandle)
    RTI13_THROW(ObjectClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual AttributeHandle getAttributeHandle(const char* theName, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual char* getAttributeName(AttributeHandle theHandle, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual InteractionClassHandle getInteractionClassHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getInteractionClassName(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual ParameterHandle getParameterHandle(const char* theName, InteractionClassHandle whichClass)
    RTI13_THROW(InteractionClassNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual char* getParameterName(ParameterHandle theHandle, InteractionClassHandle whichClass)
    RTI13_THROW(InteractionClassNotDefined, InteractionParameterNotDefined, FederateNotExecutionMember,
                ConcurrentAccessAttempted, RTIinternalError);

virtual ObjectHandle getObjectInstanceHandle(const char* theName)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getObjectInstanceName(ObjectHandle theHandle)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual SpaceHandle getRoutingSpaceHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getRoutingSpaceName(const SpaceHandle theHandle)
    RTI13_THROW(SpaceNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual DimensionHandle getDimensionHandle(const char* theName, SpaceHandle whichSpace)
    RTI13_THROW(SpaceNotDefined, NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual char* getDimensionName(DimensionHandle theHandle, SpaceHandle whichSpace)
    RTI13_THROW(SpaceNotDefined, DimensionNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual SpaceHandle getAttributeRoutingSpaceHandle(AttributeHandle theHandle, ObjectClassHandle whichClass)
    RTI13_THROW(ObjectClassNotDefined, AttributeNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual ObjectClassHandle getObjectClass(ObjectHandle theObject)
    RTI13_THROW(ObjectNotKnown, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual SpaceHandle getInteractionRoutingSpaceHandle(InteractionClassHandle theHandle)
    RTI13_THROW(InteractionClassNotDefined, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual TransportationHandle getTransportationHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getTransportationName(TransportationHandle theHandle)
    RTI13_THROW(InvalidTransportationHandle, FederateNotExecutionMember, ConcurrentAccessAttempted,
                RTIinternalError);

virtual OrderingHandle getOrderingHandle(const char* theName)
    RTI13_THROW(NameNotFound, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual char* getOrderingName(OrderingHandle theHandle)
    RTI13_THROW(InvalidOrderingHandle, FederateNotExecutionMember, ConcurrentAccessAttempted, RTIinternalError);

virtual RegionToken getRegionToken(Region* theRegion)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, RegionNotKnown, RTIinternalError);

virtual Region* getRegion(RegionToken theToken)
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, RegionNotKnown, RTIinternalError);

virtual void enableClassRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void disableClassRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void enableAttributeRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void disableAttributeRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void enableAttributeScopeAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void disableAttributeScopeAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void enableInteractionRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

virtual void disableInteractionRelevanceAdvisorySwitch()
    RTI13_THROW(FederateNotExecutionMember, ConcurrentAccessAttempted, SaveInProgress, RestoreInProgress,
                RTIinternalError);

// Delivers callbacks to the federate ambassador and lets the RTI work; only here does the
// federate hear from the RTI. The second form works for at least minimum and at most maximum
// seconds.
virtual Boolean tick() RTI13_THROW(SpecifiedSaveLabelDoesNotExist, ConcurrentAccessAttempted, RTIinternalError);

virtual Boolean tick(TickTime minimum, TickTime maximum)
    RTI13_THROW(SpecifiedSaveLabelDoesNotExist, ConcurrentAccessAttempted, RTIinternalError);
