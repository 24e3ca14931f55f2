// A federate as the HLA 1.3 C++ interface's users write one, compiled as C++14 (with the
// exception specifications) and as C++20 (without): the public headers must accept both.
// The program is built, never run.
#include <cstring>
#include <iostream>

#include "NullFederateAmbassador.hh"
#include "RTI.hh"
#include "fedtime.hh"

namespace {

class checking_federate : public NullFederateAmbassador {
public:
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const rti13::FedTime& time, const char* tag, rti13::EventRetractionHandle handle)
      RTI13_THROW(rti13::ObjectNotKnown, rti13::AttributeNotKnown, rti13::FederateOwnsAttributes,
                  rti13::InvalidFederationTime, rti13::FederateInternalError) override {
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      char* bytes = values.getValuePointer(i, length);
      last_length_ = length + (bytes ? 0 : 1);
    }
    std::cout << object << ' ' << time << ' ' << (tag ? tag : "") << ' ' << handle.theSerialNumber << '\n';
  }

  void timeAdvanceGrant(const rti13::FedTime& time)
      RTI13_THROW(rti13::InvalidFederationTime, rti13::TimeAdvanceWasNotInProgress,
                  rti13::FederationTimeAlreadyPassed, rti13::FederateInternalError) override {
    // Comparisons in both orders between the abstract and the concrete time.
    if (time == granted_ || granted_ == time || granted_ != RTIfedTime(0.0) || time < granted_) return;
    granted_ = time;
  }

  rti13::ULong last_length_ = 0;
  RTIfedTime granted_;
};

}  // namespace

void run_checking_federate(const char* fed_file) {
  rti13::RTIambassador rti;
  checking_federate federate;
  try {
    rti.createFederationExecution("check", fed_file);
  } catch (rti13::FederationExecutionAlreadyExists&) {
  }
  rti13::FederateHandle me = rti.joinFederationExecution("checker", "check", &federate);

  rti13::ObjectClassHandle ship = rti.getObjectClassHandle("Ship");
  rti13::AttributeHandle position = rti.getAttributeHandle("position", ship);
  rti13::AttributeHandleSet* attributes = rti13::AttributeHandleSetFactory::create(1);
  attributes->add(position);
  rti.publishObjectClass(ship, *attributes);
  rti.subscribeObjectClassAttributes(ship, *attributes);
  rti13::ObjectHandle object = rti.registerObjectInstance(ship, "Ship-1");

  rti13::AttributeHandleValuePairSet* values = rti13::AttributeSetFactory::create(1);
  values->add(position, "1234", 4);
  RTIfedTime when(2.5);
  rti.enableTimeRegulation(RTIfedTime(0.0), RTIfedTime(1.0));
  rti13::EventRetractionHandle sent = rti.updateAttributeValues(object, *values, when, "tag");
  rti.retract(sent);
  when += RTIfedTime(1.0);
  rti.timeAdvanceRequest(when);
  while (!rti.tick(0.1, 1.0)) {
  }

  rti13::Region* region = rti.createRegion(rti.getRoutingSpaceHandle("Geo"), 1);
  region->setRangeLowerBound(0, 0, rti13::Region::getMinExtent());
  region->setRangeUpperBound(0, 0, rti13::Region::getMaxExtent());
  rti.notifyAboutRegionModification(*region);
  rti.deleteRegion(region);

  char* name = rti.getObjectClassName(ship);
  std::cout << name << ' ' << me << ' ' << RTIname() << ' ' << rti13::RTIversion() << '\n';
  delete[] name;
  delete values;
  delete attributes;

  try {
    rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  } catch (rti13::Exception& e) {
    std::cerr << e << '\n' << &e << '\n';
  }
}

int main(int argc, char** argv) {
  // Never true when the build makes the program; the call keeps the federate in the link.
  if (argc > 99) run_checking_federate(argv[1]);
  return 0;
}
