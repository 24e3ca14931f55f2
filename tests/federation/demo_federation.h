// What every test federate of the scenarios does first: create the federation of the demo model,
// unless another federate made it already, and join it.
#pragma once

#include <string>

#include <RTI.hh>

inline void join_demo_federation(rti13::RTIambassador& rti, const std::string& federate, const std::string& federation,
                                 rti13::FederateAmbassador* ambassador) {
  try {
    rti.createFederationExecution(federation.c_str(), EXAMPLES_DIR "/demo.fed");
  } catch (const rti13::FederationExecutionAlreadyExists&) {
  }
  rti.joinFederationExecution(federate.c_str(), federation.c_str(), ambassador);
}
