// Types of the HLA 1.3 C++ interface: the 79 exception classes, handles and enumerations, the
// handle and value-pair sets with their factories, regions and federation time. RTI.hh
// includes this file inside namespace rti13; it is not meant to be included on its own.
#ifndef RTI13_RTITYPES_HH
#define RTI13_RTITYPES_HH

// The 79 exception classes. The list is one macro so that the binding library defines
// exactly the classes declared here.
#define RTI13_EXCEPTION_LIST(X) \
  X(ArrayIndexOutOfBounds) \
  X(AsynchronousDeliveryAlreadyDisabled) \
  X(AsynchronousDeliveryAlreadyEnabled) \
  X(AttributeAcquisitionWasNotCanceled) \
  X(AttributeAcquisitionWasNotRequested) \
  X(AttributeAlreadyBeingAcquired) \
  X(AttributeAlreadyBeingDivested) \
  X(AttributeAlreadyOwned) \
  X(AttributeDivestitureWasNotRequested) \
  X(AttributeNotDefined) \
  X(AttributeNotKnown) \
  X(AttributeNotOwned) \
  X(AttributeNotPublished) \
  X(ConcurrentAccessAttempted) \
  X(CouldNotDiscover) \
  X(CouldNotOpenFED) \
  X(CouldNotRestore) \
  X(DeletePrivilegeNotHeld) \
  X(DimensionNotDefined) \
  X(EnableTimeConstrainedPending) \
  X(EnableTimeConstrainedWasNotPending) \
  X(EnableTimeRegulationPending) \
  X(EnableTimeRegulationWasNotPending) \
  X(ErrorReadingFED) \
  X(EventNotKnown) \
  X(FederateAlreadyExecutionMember) \
  X(FederateInternalError) \
  X(FederateLoggingServiceCalls) \
  X(FederateNotExecutionMember) \
  X(FederateOwnsAttributes) \
  X(FederateWasNotAskedToReleaseAttribute) \
  X(FederatesCurrentlyJoined) \
  X(FederationExecutionAlreadyExists) \
  X(FederationExecutionDoesNotExist) \
  X(FederationTimeAlreadyPassed) \
  X(HandleValuePairMaximumExceeded) \
  X(InteractionClassNotDefined) \
  X(InteractionClassNotKnown) \
  X(InteractionClassNotPublished) \
  X(InteractionClassNotSubscribed) \
  X(InteractionParameterNotDefined) \
  X(InteractionParameterNotKnown) \
  X(InvalidExtents) \
  X(InvalidFederationTime) \
  X(InvalidHandleValuePairSetContext) \
  X(InvalidLookahead) \
  X(InvalidOrderingHandle) \
  X(InvalidRegionContext) \
  X(InvalidResignAction) \
  X(InvalidRetractionHandle) \
  X(InvalidTransportationHandle) \
  X(MemoryExhausted) \
  X(NameNotFound) \
  X(ObjectAlreadyRegistered) \
  X(ObjectClassNotDefined) \
  X(ObjectClassNotKnown) \
  X(ObjectClassNotPublished) \
  X(ObjectClassNotSubscribed) \
  X(ObjectNotKnown) \
  X(OwnershipAcquisitionPending) \
  X(RTIinternalError) \
  X(RegionInUse) \
  X(RegionNotKnown) \
  X(RestoreInProgress) \
  X(RestoreNotRequested) \
  X(SaveInProgress) \
  X(SaveNotInitiated) \
  X(SpaceNotDefined) \
  X(SpecifiedSaveLabelDoesNotExist) \
  X(SynchronizationPointLabelWasNotAnnounced) \
  X(TimeAdvanceAlreadyInProgress) \
  X(TimeAdvanceWasNotInProgress) \
  X(TimeConstrainedAlreadyEnabled) \
  X(TimeConstrainedWasNotEnabled) \
  X(TimeRegulationAlreadyEnabled) \
  X(TimeRegulationWasNotEnabled) \
  X(UnableToPerformSave) \
  X(ValueCountExceeded) \
  X(ValueLengthExceeded)

RTI13_EXCEPTION_LIST(RTI_EXCEPT)

enum ResignAction {
  RELEASE_ATTRIBUTES = 1,
  DELETE_OBJECTS,
  DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES,
  NO_ACTION
};

class Region;
class FedTime;

typedef ULong SpaceHandle;
typedef ULong ObjectClassHandle;
typedef ULong InteractionClassHandle;
typedef ULong ExtentIndex;
typedef ULong Handle;
typedef Handle AttributeHandle;
typedef Handle ParameterHandle;
typedef Handle ObjectHandle;
typedef Handle DimensionHandle;
typedef ULong FederateHandle;
typedef Handle TransportationHandle;
typedef TransportationHandle TransportType;
typedef Handle OrderingHandle;
typedef OrderingHandle OrderType;
typedef ULong FederateID;
typedef ULong UniqueID;
typedef Double TickTime;
typedef ULong RegionToken;

// Attribute handles with their values. One set carries one transport type, one order type and
// one region for all its pairs. Iterate with for (i = start(); valid(i); i = next(i)).
class RTI13_EXPORT AttributeHandleValuePairSet {
public:
  virtual ~AttributeHandleValuePairSet() {}

  virtual ULong size() const = 0;
  virtual Handle getHandle(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual ULong getValueLength(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void getValue(ULong i, char* buff, ULong& valueLength) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual char* getValuePointer(ULong i, ULong& valueLength) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual TransportType getTransportType(ULong i) const RTI13_THROW(InvalidHandleValuePairSetContext) = 0;
  virtual OrderType getOrderType(ULong i) const
      RTI13_THROW(ArrayIndexOutOfBounds, InvalidHandleValuePairSetContext) = 0;
  virtual Region* getRegion(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds, InvalidHandleValuePairSetContext) = 0;

  virtual void add(Handle h, const char* buff, ULong valueLength)
      RTI13_THROW(ValueLengthExceeded, ValueCountExceeded) = 0;
  virtual void remove(Handle h) RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void moveFrom(const AttributeHandleValuePairSet& ahvps, ULong& i)
      RTI13_THROW(ValueCountExceeded, ArrayIndexOutOfBounds) = 0;
  virtual void empty() = 0;

  virtual ULong start() const = 0;
  virtual ULong valid(ULong i) const = 0;
  virtual ULong next(ULong i) const = 0;
};

class RTI13_EXPORT AttributeSetFactory {
public:
  // A new empty set sized for count pairs; the caller deletes it.
  static AttributeHandleValuePairSet* create(ULong count)
      RTI13_THROW(MemoryExhausted, ValueCountExceeded, HandleValuePairMaximumExceeded);
};

class RTI13_EXPORT AttributeHandleSet {
public:
  virtual ~AttributeHandleSet() {}

  virtual ULong size() const = 0;
  // The i-th handle in ascending order, counting from 0.
  virtual AttributeHandle getHandle(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void add(AttributeHandle h) RTI13_THROW(ArrayIndexOutOfBounds, AttributeNotDefined) = 0;
  virtual void remove(AttributeHandle h) RTI13_THROW(AttributeNotDefined) = 0;
  virtual void empty() = 0;
  virtual Boolean isEmpty() const = 0;
  virtual Boolean isMember(AttributeHandle h) const = 0;
};

class RTI13_EXPORT AttributeHandleSetFactory {
public:
  static AttributeHandleSet* create(ULong count) RTI13_THROW(MemoryExhausted, ValueCountExceeded);
};

class RTI13_EXPORT FederateHandleSet {
public:
  virtual ~FederateHandleSet() {}

  virtual ULong size() const = 0;
  virtual FederateHandle getHandle(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void add(FederateHandle h) RTI13_THROW(ValueCountExceeded) = 0;
  virtual void remove(FederateHandle h) RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void empty() = 0;
  virtual Boolean isMember(FederateHandle h) const = 0;
};

class RTI13_EXPORT FederateHandleSetFactory {
public:
  static FederateHandleSet* create(ULong count) RTI13_THROW(MemoryExhausted, ValueCountExceeded);
};

// Parameter handles with their values; transport, order and region belong to the whole set.
class RTI13_EXPORT ParameterHandleValuePairSet {
public:
  virtual ~ParameterHandleValuePairSet() {}

  virtual ULong size() const = 0;
  virtual Handle getHandle(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual ULong getValueLength(ULong i) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void getValue(ULong i, char* buff, ULong& valueLength) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual char* getValuePointer(ULong i, ULong& valueLength) const RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual TransportType getTransportType() const RTI13_THROW(InvalidHandleValuePairSetContext) = 0;
  virtual OrderType getOrderType() const RTI13_THROW(InvalidHandleValuePairSetContext) = 0;
  virtual Region* getRegion() const RTI13_THROW(InvalidHandleValuePairSetContext) = 0;

  virtual void add(Handle h, const char* buff, ULong valueLength)
      RTI13_THROW(ValueLengthExceeded, ValueCountExceeded) = 0;
  virtual void remove(Handle h) RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void moveFrom(const ParameterHandleValuePairSet& phvps, ULong& i)
      RTI13_THROW(ValueCountExceeded, ArrayIndexOutOfBounds) = 0;
  virtual void empty() = 0;

  virtual ULong start() const = 0;
  virtual ULong valid(ULong i) const = 0;
  virtual ULong next(ULong i) const = 0;
};

class RTI13_EXPORT ParameterSetFactory {
public:
  static ParameterHandleValuePairSet* create(ULong count)
      RTI13_THROW(MemoryExhausted, ValueCountExceeded, HandleValuePairMaximumExceeded);
};

// A region of a routing space: extents, each a range per dimension. Edits take effect for
// other federates after RTIambassador::notifyAboutRegionModification.
class RTI13_EXPORT Region {
public:
  Region() {}
  Region(const Region&) {}
  Region& operator=(const Region&) { return *this; }
  virtual ~Region() {}

  virtual ULong getRangeLowerBound(ExtentIndex theExtent, DimensionHandle theDimension) const
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual ULong getRangeUpperBound(ExtentIndex theExtent, DimensionHandle theDimension) const
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void setRangeLowerBound(ExtentIndex theExtent, DimensionHandle theDimension, ULong theLowerBound)
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual void setRangeUpperBound(ExtentIndex theExtent, DimensionHandle theDimension, ULong theUpperBound)
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual SpaceHandle getSpaceHandle() const RTI13_THROW() = 0;
  virtual ULong getNumberOfExtents() const RTI13_THROW() = 0;
  virtual ULong getRangeLowerBoundNotificationLimit(ExtentIndex theExtent, DimensionHandle theDimension) const
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;
  virtual ULong getRangeUpperBoundNotificationLimit(ExtentIndex theExtent, DimensionHandle theDimension) const
      RTI13_THROW(ArrayIndexOutOfBounds) = 0;

  // The largest and smallest bound of the normalised coordinate range.
  static ULong getMaxExtent() RTI13_THROW();
  static ULong getMinExtent() RTI13_THROW();
};

// A point or interval of federation time. The concrete class comes from the time library
// (RTIfedTime in fedtime.hh); the RTI makes every time through FedTimeFactory and never looks
// inside one. The constructors and destructor are inline so that the time library needs
// nothing of the binding library.
class RTI13_EXPORT FedTime {
public:
  FedTime() {}
  FedTime(const FedTime&) {}
  virtual ~FedTime() {}

  virtual void setZero() = 0;
  virtual Boolean isZero() = 0;
  virtual void setEpsilon() = 0;
  virtual void setPositiveInfinity() = 0;
  virtual Boolean isPositiveInfinity() = 0;

  virtual FedTime& operator+=(const FedTime&) RTI13_THROW(InvalidFederationTime) = 0;
  virtual FedTime& operator-=(const FedTime&) RTI13_THROW(InvalidFederationTime) = 0;
  virtual Boolean operator<=(const FedTime&) const RTI13_THROW(InvalidFederationTime) = 0;
  virtual Boolean operator<(const FedTime&) const RTI13_THROW(InvalidFederationTime) = 0;
  virtual Boolean operator>=(const FedTime&) const RTI13_THROW(InvalidFederationTime) = 0;
  virtual Boolean operator>(const FedTime&) const RTI13_THROW(InvalidFederationTime) = 0;
  virtual Boolean operator==(const FedTime&) const RTI13_THROW(InvalidFederationTime) = 0;
  virtual FedTime& operator=(const FedTime&) RTI13_THROW(InvalidFederationTime) = 0;

  // The encoded form is the time library's own; encode writes encodedLength() bytes.
  virtual int encodedLength() const = 0;
  virtual void encode(char* buff) const = 0;
  // getPrintableString writes getPrintableLength() characters and a terminating zero.
  virtual int getPrintableLength() const = 0;
  virtual void getPrintableString(char* buff) = 0;
};

// Implemented by the time library; both results belong to the caller.
class RTI13_EXPORT FedTimeFactory {
public:
  static FedTime* makeZero() RTI13_THROW(MemoryExhausted);
  // Reads encodedLength() bytes of an encoded time.
  static FedTime* decode(const char* buf) RTI13_THROW(MemoryExhausted);
};

struct EventRetractionHandle_s {
  UniqueID theSerialNumber;
  FederateHandle sendingFederate;
};
typedef struct EventRetractionHandle_s EventRetractionHandle;

#endif
