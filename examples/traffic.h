// What the two programs of the traffic scene share: the names of traffic.fed and their handles,
// positions as text, a federate ambassador that follows the federate's time, and the deadline
// that bounds every wait. traffic_vehicle.cpp and traffic_junction.cpp include it; like them it
// uses only the public interface (RTI.hh, NullFederateAmbassador.hh, fedtime.hh).
#pragma once

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include <fedtime.hh>

namespace traffic {

constexpr const char* federation = "Traffic";
constexpr const char* fed_file = EXAMPLES_DIR "/traffic.fed";

// A regulating federate may send a time-stamped message no earlier than its time plus its
// lookahead. With 1, what a federate sends at step t belongs to step t + 1.
constexpr double lookahead = 1.0;

// The RID is the one RTI_RID_FILE names, or traffic.rid beside this file. Call before the
// RTIambassador is built: it reads the RID then.
inline void use_traffic_rid() {
  if (!std::getenv("RTI_RID_FILE")) setenv("RTI_RID_FILE", EXAMPLES_DIR "/traffic.rid", 1);
}

// --- values ---------------------------------------------------------------------------------

struct point {
  double x = 0, y = 0;
};

inline double distance(point a, point b) { return std::hypot(a.x - b.x, a.y - b.y); }

// "(12.0, 4.0)", for the output.
inline std::string text(point p) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "(%.1f, %.1f)", p.x, p.y);
  return buffer;
}

// "4.0", for the output.
inline std::string text(double number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", number);
  return buffer;
}

// Attribute and parameter values are bytes to the RTI; this scene sends text, "x y" for a
// point, a number for a speed and a name as it is. The receiver must not trust a value to end
// in a zero byte, so a value is read by its length.
inline std::string encode(point p) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%g %g", p.x, p.y);
  return buffer;
}

inline std::string encode(double number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", number);
  return buffer;
}

inline bool decode(const std::string& value, point& p) {
  return std::sscanf(value.c_str(), "%lf %lf", &p.x, &p.y) == 2;
}

inline bool decode(const std::string& value, double& number) {
  return std::sscanf(value.c_str(), "%lf", &number) == 1;
}

// The i-th value of a received set (attributes or parameters).
template <class Set>
std::string value_at(const Set& set, rti13::ULong i) {
  rti13::ULong length = 0;
  const char* data = set.getValuePointer(i, length);
  return std::string(data, length);
}

// --- the object model -------------------------------------------------------------------------

// Handles are the RTI's numbers for the names of the FED file; a federate looks them up once it
// has joined and uses only the handles afterwards.
struct handles {
  rti13::ObjectClassHandle vehicle = 0;
  rti13::AttributeHandle position = 0, speed = 0;
  rti13::InteractionClassHandle collision = 0;
  rti13::ParameterHandle first = 0, second = 0, where = 0;

  void look_up(rti13::RTIambassador& rti) {
    vehicle = rti.getObjectClassHandle("Vehicle");
    position = rti.getAttributeHandle("Position", vehicle);
    speed = rti.getAttributeHandle("Speed", vehicle);
    collision = rti.getInteractionClassHandle("Collision");
    first = rti.getParameterHandle("First", collision);
    second = rti.getParameterHandle("Second", collision);
    where = rti.getParameterHandle("Position", collision);
  }
};

// --- output -----------------------------------------------------------------------------------

// Starts a line of the federate's account: "[west] t=3 ". Three processes write to one terminal,
// so every line names its federate and ends with std::endl, which flushes it whole.
inline std::ostream& say(const std::string& federate, double time) {
  return std::cout << '[' << federate << "] t=" << time << ' ';
}

// --- time -------------------------------------------------------------------------------------

// Every wait of the scene ends by this time at the latest, so that a federate whose peers died
// or never came still resigns and exits.
class deadline {
public:
  explicit deadline(double seconds)
      : end_(std::chrono::steady_clock::now() +
             std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds))) {}
  bool passed() const { return std::chrono::steady_clock::now() >= end_; }

private:
  std::chrono::steady_clock::time_point end_;
};

struct deadline_passed {};

// The RTI calls the federate back only inside tick, so waiting for a callback means ticking
// until it has come. tick(min, max) waits up to min seconds for something to do and works for
// at most max seconds.
template <class Done>
void tick_until(rti13::RTIambassador& rti, const deadline& limit, Done done) {
  while (!done()) {
    if (limit.passed()) throw deadline_passed{};
    rti.tick(0.01, 0.05);
  }
}

// The time callbacks, which both programs need; each program's ambassador derives from this one
// and adds the callbacks of its own part of the scene.
class timed_federate : public NullFederateAmbassador {
public:
  double time = 0;  // the federate's time: the last one the RTI granted
  bool regulating = false, constrained = false, granted = false;

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

// Regulating: the federate's time-stamped messages hold back the others' time, which cannot pass
// this federate's time plus lookahead. Constrained: the federate receives time-stamped messages
// in time-stamp order and is never granted a time while a message for an earlier one may still
// come. Every federate of the scene is both, so all of them go step by step together.
inline void enable_time(rti13::RTIambassador& rti, timed_federate& federate, const deadline& limit) {
  rti.enableTimeRegulation(RTIfedTime(0.0), RTIfedTime(lookahead));
  tick_until(rti, limit, [&] { return federate.regulating; });
  rti.enableTimeConstrained();
  tick_until(rti, limit, [&] { return federate.constrained; });
}

// Asks for the next step and ticks until the RTI grants it. Before the grant the RTI delivers
// every time-stamped message up to that time (reflectAttributeValues, receiveInteraction).
inline void advance_to(rti13::RTIambassador& rti, timed_federate& federate, double time, const deadline& limit) {
  federate.granted = false;
  rti.timeAdvanceRequest(RTIfedTime(time));
  tick_until(rti, limit, [&] { return federate.granted; });
}

}  // namespace traffic
