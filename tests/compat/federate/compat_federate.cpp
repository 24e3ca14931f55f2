// A federate written as federates of the HLA 1.3 C++ interface are written elsewhere: the
// standard's header names and namespace RTI, dynamic exception specifications on every callback
// it overrides, C++14. It builds against halden13 only through the compat include folder, and
// plays the data federate's lockstep (tests/federation/data_federate.cpp) with one of those:
// both publish and subscribe Vehicle.Truck and Collision of demo.fed, become regulating
// (lookahead 1) and constrained, and at each step send a Collision and an update of Load stamped
// at their time plus 1, whose value is payload(time) as the data federate writes it.
//
//   compat_federate NAME FEDERATION FED_FILE STEPS
//
// It prints one line per time-stamped value it receives and per grant, then checks that it got
// every one of the other federate's STEPS updates and Collisions once, intact, stamped with their
// sequence number, after the grant before that time and no later than the request:
//   [name] reflect <object> Load <seq> ok|bad <time>
//   [name] interaction <sender> <seq> ok|bad <time>
//   [name] grant <t>
//   [name] received <n> updates and <n> interactions in order
// Exit status: 0 when everything arrived, 1 when a service was refused or something is missing
// or out of place, 2 for a bad command line.
#include <stdlib.h>
#include <time.h>

#include <iostream>
#include <map>
#include <string>
#include <utility>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include <fedtime.hh>

using std::cout;
using std::endl;
using std::string;

namespace {

// Seconds that any wait for the other federate may take before the run counts as failed.
const double patience = 60.0;

// The data federate's value of sequence number seq: "<seq>:" and 4 to 64 bytes derived from it.
string payload(long seq) {
  string value = std::to_string(seq) + ":";
  const long extra = 4 + seq % 61;
  for (long i = 0; i < extra; ++i) value.push_back(static_cast<char>((seq * 131 + i * 7 + 13) & 0xff));
  return value;
}

// The sequence number of a value, or -1 when the value is not exactly payload(seq).
long intact_sequence(const string& value) {
  const long seq = atol(value.c_str());
  return seq > 0 && value == payload(seq) ? seq : -1;
}

double seconds_now() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

class CompatAmbassador : public NullFederateAmbassador {
public:
  CompatAmbassador(const string& me) : me_(me) {}
  virtual ~CompatAmbassador() throw (RTI::FederateInternalError) {}

  RTI::ObjectClassHandle truck = 0;
  RTI::AttributeHandle load = 0;
  RTI::ParameterHandle first = 0, second = 0;
  RTI::Boolean regulating = RTI::RTI_FALSE, constrained = RTI::RTI_FALSE, granted = RTI::RTI_FALSE;
  RTIfedTime now;
  RTIfedTime requested;
  std::map<RTI::ObjectHandle, string> discovered;
  // (kind, sequence) of every intact time-stamped value whose time equals its sequence and
  // falls after the last grant and within the request, with how often it came.
  std::map<std::pair<string, long>, int> received;
  // Damaged or misplaced values, and callbacks this exchange never causes.
  int unexpected = 0;

  virtual void discoverObjectInstance(RTI::ObjectHandle theObject, RTI::ObjectClassHandle theObjectClass,
                                      const char* theObjectName)
      throw (RTI::CouldNotDiscover, RTI::ObjectClassNotKnown, RTI::FederateInternalError) {
    if (theObjectClass == truck) discovered[theObject] = theObjectName;
  }

  virtual void reflectAttributeValues(RTI::ObjectHandle theObject,
                                      const RTI::AttributeHandleValuePairSet& theAttributes,
                                      const RTI::FedTime& theTime, const char* theTag,
                                      RTI::EventRetractionHandle theHandle)
      throw (RTI::ObjectNotKnown, RTI::AttributeNotKnown, RTI::FederateOwnsAttributes, RTI::InvalidFederationTime,
             RTI::FederateInternalError) {
    for (RTI::ULong i = theAttributes.start(); theAttributes.valid(i); i = theAttributes.next(i)) {
      if (theAttributes.getHandle(i) != load) continue;
      RTI::ULong length = 0;
      const char* data = theAttributes.getValuePointer(i, length);
      note("reflect " + discovered[theObject] + " Load", string(data, length), theTime);
    }
  }

  virtual void receiveInteraction(RTI::InteractionClassHandle theInteraction,
                                  const RTI::ParameterHandleValuePairSet& theParameters, const RTI::FedTime& theTime,
                                  const char* theTag, RTI::EventRetractionHandle theHandle)
      throw (RTI::InteractionClassNotKnown, RTI::InteractionParameterNotKnown, RTI::InvalidFederationTime,
             RTI::FederateInternalError) {
    string sender, value;
    for (RTI::ULong i = theParameters.start(); theParameters.valid(i); i = theParameters.next(i)) {
      RTI::ULong length = 0;
      const char* data = theParameters.getValuePointer(i, length);
      if (theParameters.getHandle(i) == first) sender.assign(data, length);
      if (theParameters.getHandle(i) == second) value.assign(data, length);
    }
    note("interaction " + sender, value, theTime);
  }

  virtual void timeRegulationEnabled(const RTI::FedTime& theFederateTime)
      throw (RTI::InvalidFederationTime, RTI::EnableTimeRegulationWasNotPending, RTI::FederateInternalError) {
    now = theFederateTime;
    regulating = RTI::RTI_TRUE;
  }

  virtual void timeConstrainedEnabled(const RTI::FedTime& theFederateTime)
      throw (RTI::InvalidFederationTime, RTI::EnableTimeConstrainedWasNotPending, RTI::FederateInternalError) {
    now = theFederateTime;
    constrained = RTI::RTI_TRUE;
  }

  virtual void timeAdvanceGrant(const RTI::FedTime& theTime)
      throw (RTI::InvalidFederationTime, RTI::TimeAdvanceWasNotInProgress, RTI::FederationTimeAlreadyPassed,
             RTI::FederateInternalError) {
    now = theTime;
    granted = RTI::RTI_TRUE;
  }

  // Not called in this exchange; overridden with the standard's exception lists, which name
  // more classes than their neighbours', because a federate that does so must compile.
  virtual void attributeOwnershipUnavailable(RTI::ObjectHandle theObject, const RTI::AttributeHandleSet& theAttributes)
      throw (RTI::ObjectNotKnown, RTI::AttributeNotKnown, RTI::AttributeNotDefined, RTI::AttributeAlreadyOwned,
             RTI::AttributeAcquisitionWasNotRequested, RTI::FederateInternalError) {
    unexpected++;
  }

  virtual void confirmAttributeOwnershipAcquisitionCancellation(RTI::ObjectHandle theObject,
                                                                const RTI::AttributeHandleSet& theAttributes)
      throw (RTI::ObjectNotKnown, RTI::AttributeNotKnown, RTI::AttributeNotDefined, RTI::AttributeAlreadyOwned,
             RTI::AttributeAcquisitionWasNotCanceled, RTI::FederateInternalError) {
    unexpected++;
  }

private:
  void note(const string& what, const string& value, const RTI::FedTime& theTime) {
    const RTIfedTime stamp(theTime);
    const long seq = intact_sequence(value);
    cout << me_ << what << " " << seq << (seq < 0 ? " bad " : " ok ") << stamp.getTime() << endl;
    const bool in_place = seq > 0 && stamp == RTI::Double(seq) && stamp > now && stamp <= requested;
    if (in_place)
      received[std::make_pair(what.substr(0, what.find(' ')), seq)]++;
    else
      unexpected++;
  }

  string me_;
};

class CompatFederate {
public:
  CompatFederate(const string& name) : name_(name), me_("[" + name + "] "), ambassador_(me_) {}

  void join(const char* federation, const char* fed_file) {
    try {
      rti_.createFederationExecution(federation, fed_file);
    } catch (RTI::FederationExecutionAlreadyExists&) {
    }
    rti_.joinFederationExecution(name_.c_str(), federation, &ambassador_);
    ambassador_.truck = rti_.getObjectClassHandle("Vehicle.Truck");
    name_attribute_ = rti_.getAttributeHandle("Name", ambassador_.truck);
    ambassador_.load = rti_.getAttributeHandle("Load", ambassador_.truck);
    collision_ = rti_.getInteractionClassHandle("Collision");
    ambassador_.first = rti_.getParameterHandle("First", collision_);
    ambassador_.second = rti_.getParameterHandle("Second", collision_);
  }

  void declare() {
    RTI::AttributeHandleSet* attributes = RTI::AttributeHandleSetFactory::create(3);
    attributes->add(name_attribute_);
    attributes->add(rti_.getAttributeHandle("Position", ambassador_.truck));
    attributes->add(ambassador_.load);
    rti_.publishObjectClass(ambassador_.truck, *attributes);
    rti_.subscribeObjectClassAttributes(ambassador_.truck, *attributes, RTI::RTI_TRUE);
    delete attributes;
    rti_.publishInteractionClass(collision_);
    rti_.subscribeInteractionClass(collision_);
  }

  bool enableTime() {
    rti_.enableTimeRegulation(RTIfedTime(0.0), RTIfedTime(1.0));
    if (!tickUntil(ambassador_.regulating)) return false;
    rti_.enableTimeConstrained();
    if (!tickUntil(ambassador_.constrained)) return false;
    // Receive-order values (the greeting below) then arrive between advances too.
    rti_.enableAsynchronousDelivery();
    return true;
  }

  // Updates Name of its object until it has discovered the other federate's object, once more
  // for a subscriber that came late, then leaves two seconds for the time states to arrive.
  bool greet() {
    object_ = rti_.registerObjectInstance(ambassador_.truck, (name_ + ".0").c_str());
    const double end = seconds_now() + patience;
    while (ambassador_.discovered.empty() && seconds_now() < end) {
      updateName();
      tickFor(0.2);
    }
    updateName();
    tickFor(2.0);
    return !ambassador_.discovered.empty();
  }

  bool lockstep(long steps) {
    for (long step = 1; step <= steps; ++step) {
      const RTIfedTime stamp(ambassador_.now + 1.0);
      const long seq = static_cast<long>(stamp.getTime());
      const string value = payload(seq);

      RTI::ParameterHandleValuePairSet* parameters = RTI::ParameterSetFactory::create(2);
      parameters->add(ambassador_.first, name_.data(), static_cast<RTI::ULong>(name_.size()));
      parameters->add(ambassador_.second, value.data(), static_cast<RTI::ULong>(value.size()));
      rti_.sendInteraction(collision_, *parameters, stamp, "");
      delete parameters;

      RTI::AttributeHandleValuePairSet* attributes = RTI::AttributeSetFactory::create(1);
      attributes->add(ambassador_.load, value.data(), static_cast<RTI::ULong>(value.size()));
      rti_.updateAttributeValues(object_, *attributes, stamp, "");
      delete attributes;

      ambassador_.requested = stamp;
      ambassador_.granted = RTI::RTI_FALSE;
      rti_.timeAdvanceRequest(stamp);
      if (!tickUntil(ambassador_.granted)) return false;
      cout << me_ << "grant " << ambassador_.now.getTime() << endl;
    }
    return true;
  }

  // The other federate is done once it was granted the last step: its time plus its lookahead
  // then passes ours. Resigning earlier could leave our last values unsent to it.
  bool waitForPeer() {
    const double end = seconds_now() + patience;
    RTIfedTime lbts;
    for (rti_.queryLBTS(lbts); lbts <= ambassador_.now && seconds_now() < end; rti_.queryLBTS(lbts))
      rti_.tick(0.01, 0.1);
    return lbts > ambassador_.now;
  }

  bool check(long steps) {
    std::map<std::pair<string, long>, int> expected;
    for (long seq = 1; seq <= steps; ++seq) expected[std::make_pair("reflect", seq)] = 1;
    for (long seq = 1; seq <= steps; ++seq) expected[std::make_pair("interaction", seq)] = 1;
    if (ambassador_.received != expected || ambassador_.unexpected != 0) {
      cout << me_ << "missing, repeated or unexpected time-stamped values (" << ambassador_.unexpected << " unexpected)"
           << endl;
      return false;
    }
    cout << me_ << "received " << steps << " updates and " << steps << " interactions in order" << endl;
    return true;
  }

  void leave(const char* federation) {
    rti_.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    try {
      rti_.destroyFederationExecution(federation);
    } catch (RTI::FederatesCurrentlyJoined&) {
    }
  }

private:
  bool tickUntil(const RTI::Boolean& flag) {
    const double end = seconds_now() + patience;
    while (flag != RTI::RTI_TRUE && seconds_now() < end) rti_.tick(0.01, 0.1);
    return flag == RTI::RTI_TRUE;
  }

  void tickFor(double seconds) {
    const double end = seconds_now() + seconds;
    while (seconds_now() < end) rti_.tick(0.01, 0.1);
  }

  void updateName() {
    RTI::AttributeHandleValuePairSet* attributes = RTI::AttributeSetFactory::create(1);
    const string value = payload(0);
    attributes->add(name_attribute_, value.data(), static_cast<RTI::ULong>(value.size()));
    rti_.updateAttributeValues(object_, *attributes, "");
    delete attributes;
  }

  string name_, me_;
  CompatAmbassador ambassador_;
  RTI::AttributeHandle name_attribute_ = 0;
  RTI::InteractionClassHandle collision_ = 0;
  RTI::ObjectHandle object_ = 0;
  // Last, so that it is destroyed first: it may call the ambassador until then.
  RTI::RTIambassador rti_;
};

}  // namespace

int main(int argc, char** argv) {
  const long steps = argc == 5 ? atol(argv[4]) : 0;
  if (steps <= 0) {
    std::cerr << "usage: " << argv[0] << " NAME FEDERATION FED_FILE STEPS" << endl;
    return 2;
  }
  CompatFederate federate(argv[1]);
  try {
    federate.join(argv[2], argv[3]);
    federate.declare();
    bool done = federate.enableTime() && federate.greet() && federate.lockstep(steps) && federate.waitForPeer();
    if (!done) cout << "[" << argv[1] << "] the other federate did not answer in time" << endl;
    done = done && federate.check(steps);
    federate.leave(argv[2]);
    return done ? 0 : 1;
  } catch (RTI::Exception& e) {
    cout << "[" << argv[1] << "] refused: " << &e << endl;
    return 1;
  }
}
