// The time part of a test federate's ambassador: what the last regulation, constraint and grant
// callbacks said. Test federates derive their ambassadors from it.
#pragma once

#include <NullFederateAmbassador.hh>
#include <fedtime.hh>

class time_ambassador : public NullFederateAmbassador {
public:
  bool regulating = false;
  bool constrained = false;
  bool granted = false;
  double time = 0;

  void timeRegulationEnabled(const rti13::FedTime& t) override {
    regulating = true;
    time = RTIfedTime(t).getTime();
  }
  void timeConstrainedEnabled(const rti13::FedTime& t) override {
    constrained = true;
    time = RTIfedTime(t).getTime();
  }
  void timeAdvanceGrant(const rti13::FedTime& t) override {
    granted = true;
    time = RTIfedTime(t).getTime();
  }
};
