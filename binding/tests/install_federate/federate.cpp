// The smallest federate: makes an ambassador, is refused a service before joining, ticks once
// and prints the RTI's identity, using only the installed headers and libraries.
#include <iostream>

#include "NullFederateAmbassador.hh"
#include "RTI.hh"
#include "fedtime.hh"

int main() {
  rti13::RTIambassador rti;
  NullFederateAmbassador federate;
  try {
    rti.getObjectClassHandle("ObjectRoot");
    std::cout << "not refused" << std::endl;
    return 1;
  } catch (const rti13::FederateNotExecutionMember& refusal) {
    std::cout << "refused: " << refusal << std::endl;
  }
  const RTIfedTime time(2.5);
  std::cout << "rti " << RTIname() << " " << RTIversion() << " time " << time.getTime() << " tick "
            << rti.tick() << std::endl;
  return 0;
}
