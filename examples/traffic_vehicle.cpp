// A vehicle federate of the traffic scene: it registers its vehicles with the RTI, moves them one
// step per time advance and sends each step's position and speed, time-stamped, to whoever
// subscribes (the junction). When the junction reports a Collision of one of its vehicles, that
// vehicle stops.
//
//   traffic_vehicle [--steps N] [--deadline SECONDS] FEDERATE VEHICLE...
//     VEHICLE             NAME:X,Y:VX,VY, a vehicle that starts at (X, Y) and moves (VX, VY)
//                         metres a step, for example car-1:-20,0:4,0
//     --steps N           advance N steps of 1, then resign (default 10)
//     --deadline SECONDS  stop waiting and resign after this long (default 30)
//
// Start traffic_junction first: it creates the federation Traffic and holds every vehicle at
// time 0 until all of them are there. Resigning deletes this federate's vehicles, and the
// junction is told they are gone.
// Exit status: 0 after the steps, 1 when a service was refused or the deadline passed, 2 for a
// bad command line.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "traffic.h"

namespace {

using traffic::point;
using traffic::say;

struct vehicle {
  std::string name;
  point position, velocity;
  rti13::ObjectHandle handle = 0;  // this federate's number for it, from registerObjectInstance

  double speed() const { return std::hypot(velocity.x, velocity.y); }
};

struct options {
  std::string federate;
  std::vector<vehicle> vehicles;
  long steps = 10;
  double deadline_seconds = 30;
};

// NAME:X,Y:VX,VY
bool parse_vehicle(const std::string& arg, vehicle& v) {
  const size_t colon = arg.find(':');
  if (colon == 0 || colon == std::string::npos) return false;
  v.name = arg.substr(0, colon);
  int end = 0;
  const int read = std::sscanf(arg.c_str() + colon, ":%lf,%lf:%lf,%lf%n", &v.position.x, &v.position.y,
                               &v.velocity.x, &v.velocity.y, &end);
  return read == 4 && arg[colon + end] == '\0';
}

bool parse(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--steps" && i + 1 < argc) {
      o.steps = std::atol(argv[++i]);
    } else if (arg == "--deadline" && i + 1 < argc) {
      o.deadline_seconds = std::atof(argv[++i]);
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else if (o.federate.empty()) {
      o.federate = arg;
    } else {
      vehicle v;
      if (!parse_vehicle(arg, v)) return false;
      o.vehicles.push_back(v);
    }
  }
  return !o.vehicles.empty() && o.steps > 0 && o.deadline_seconds > 0;
}

// The callbacks of a vehicle federate: the time ones it inherits, and the Collision it
// subscribes.
class vehicle_federate : public traffic::timed_federate {
public:
  vehicle_federate(std::string name, std::vector<vehicle> vehicles) : me(std::move(name)), vehicles(std::move(vehicles)) {}

  // Collision is time-stamped and this federate is constrained, so it comes in this form, at
  // the step the junction stamped it with.
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& parameters,
                          const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    collision(parameters, RTIfedTime(t).getTime());
  }
  // The form without a time: an interaction sent without one, or received before the federate
  // was constrained.
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& parameters,
                          const char*) override {
    collision(parameters, time);
  }

  const std::string me;
  std::vector<vehicle> vehicles;
  traffic::handles model;
  long updates_sent = 0;
  long collisions_received = 0;

private:
  void collision(const rti13::ParameterHandleValuePairSet& parameters, double at) {
    std::string first, second;
    point where;
    for (rti13::ULong i = 0; i < parameters.size(); ++i) {
      const rti13::ParameterHandle parameter = parameters.getHandle(i);
      const std::string value = traffic::value_at(parameters, i);
      if (parameter == model.first) first = value;
      if (parameter == model.second) second = value;
      if (parameter == model.where) traffic::decode(value, where);
    }
    ++collisions_received;
    std::string reaction;
    for (vehicle& v : vehicles) {
      if (v.name != first && v.name != second) continue;
      v.velocity = {};
      reaction += ": " + v.name + " stops";
    }
    say(me, at) << "Collision of " << first << " and " << second << " at " << traffic::text(where) << " received"
                << reaction << std::endl;
  }
};

// One step's update of one vehicle: its position and speed at time `at`.
void send_update(rti13::RTIambassador& rti, vehicle_federate& federate, const vehicle& v, double at) {
  const std::string position = traffic::encode(v.position), speed = traffic::encode(v.speed());
  std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(2));
  values->add(federate.model.position, position.data(), position.size());
  values->add(federate.model.speed, speed.data(), speed.size());
  rti.updateAttributeValues(v.handle, *values, RTIfedTime(at), "");
  ++federate.updates_sent;
  say(federate.me, federate.time) << "sent " << v.name << " at " << traffic::text(v.position) << " speed "
                                  << traffic::text(v.speed()) << " for t=" << at << std::endl;
}

void drive(rti13::RTIambassador& rti, vehicle_federate& federate, long steps, const traffic::deadline& limit) {
  federate.model.look_up(rti);
  traffic::enable_time(rti, federate, limit);

  // Declarations: this federate sends Vehicle positions and speeds and wants Collisions.
  std::unique_ptr<rti13::AttributeHandleSet> attributes(rti13::AttributeHandleSetFactory::create(2));
  attributes->add(federate.model.position);
  attributes->add(federate.model.speed);
  rti.publishObjectClass(federate.model.vehicle, *attributes);
  rti.subscribeInteractionClass(federate.model.collision);

  // Registering tells the subscribers: the junction discovers each vehicle by its name.
  for (vehicle& v : federate.vehicles) {
    v.handle = rti.registerObjectInstance(federate.model.vehicle, v.name.c_str());
    say(federate.me, federate.time) << "registered " << v.name << " at " << traffic::text(v.position) << std::endl;
  }

  // At each step: where the vehicles will be one step on, stamped with that time, then the
  // advance to it. The lookahead of 1 allows no earlier stamp.
  for (long step = 0; step < steps; ++step) {
    const double next = federate.time + 1;
    for (vehicle& v : federate.vehicles) {
      v.position = {v.position.x + v.velocity.x, v.position.y + v.velocity.y};
      send_update(rti, federate, v, next);
    }
    traffic::advance_to(rti, federate, next, limit);
  }
}

// Joins, drives, resigns; returns the exit status.
int run(rti13::RTIambassador& rti, vehicle_federate& federate, const options& o) {
  const traffic::deadline limit(o.deadline_seconds);
  try {
    rti.joinFederationExecution(federate.me.c_str(), traffic::federation, &federate);
  } catch (const rti13::FederationExecutionDoesNotExist& e) {
    say(federate.me, 0) << "no federation " << traffic::federation << " to join; start traffic_junction first ("
                        << e << ")" << std::endl;
    return 1;
  }
  int status = 0;
  try {
    drive(rti, federate, o.steps, limit);
  } catch (const traffic::deadline_passed&) {
    say(federate.me, federate.time) << "deadline passed; resigning" << std::endl;
    status = 1;
  } catch (const rti13::Exception& e) {
    say(federate.me, federate.time) << "refused: " << e << std::endl;
    status = 1;
  }
  // Deleting the objects on the way out tells the others they are gone (removeObjectInstance).
  rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  say(federate.me, federate.time) << "resigned" << std::endl;
  say(federate.me, federate.time) << "summary: " << federate.updates_sent << " updates sent, "
                                  << federate.collisions_received << " Collision received" << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: %s [--steps N] [--deadline SECONDS] FEDERATE NAME:X,Y:VX,VY...\n", argv[0]);
    return 2;
  }
  traffic::use_traffic_rid();
  vehicle_federate federate(o.federate, o.vehicles);  // outlives the ambassador, which calls it
  try {
    rti13::RTIambassador rti;
    return run(rti, federate, o);
  } catch (const rti13::Exception& e) {
    say(o.federate, federate.time) << "refused: " << e << std::endl;
    return 1;
  }
}
