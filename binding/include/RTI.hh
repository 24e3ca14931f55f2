// The HLA 1.3 C++ interface that federates compile against, in namespace rti13: the basic types
// and exceptions, the sets, regions and times, RTIambassador with its services and the
// FederateAmbassador the federate implements. Implemented by the halden13 library; the
// concrete time class comes from the time library through fedtime.hh.
#ifndef RTI13_RTI_HH
#define RTI13_RTI_HH

#include <iostream>

namespace rti13 {

#include "baseTypes.hh"
#include "RTItypes.hh"

class RTIambPrivateRefs;
class RTIambPrivateData;
class FederateAmbassador;

class RTI13_EXPORT RTIambassador {
public:
#include "RTIambServices.hh"

  // Both point to the one private object that carries this federate's distribution manager;
  // the services go through privateData.
  RTIambPrivateRefs* privateRefs;
  RTIambPrivateData* privateData;
};

class RTI13_EXPORT FederateAmbassador {
public:
#include "federateAmbServices.hh"
};

// The name and version of this RTI.
RTI13_EXPORT const char* RTIname();
RTI13_EXPORT const char* RTIversion();

// "Name (reason)": the class name (nothing when unset), then the reason or "nil".
RTI13_EXPORT std::ostream& operator<<(std::ostream& out, const Exception& e);
RTI13_EXPORT std::ostream& operator<<(std::ostream& out, Exception* e);
// The time's printable string.
RTI13_EXPORT std::ostream& operator<<(std::ostream& out, const FedTime& time);

}  // namespace rti13

// Also callable without the namespace, as federates of the interface expect.
using rti13::RTIname;
using rti13::RTIversion;

#endif
