// The junction federate of the traffic scene: it creates the federation, subscribes the
// vehicles, follows them step by step as the RTI reflects their updates, and sends a Collision
// when two of them come closer than 2 metres. It holds the vehicles at time 0 until it has
// discovered all of them, and destroys the federation once they have resigned and gone.
//
//   traffic_junction [--steps N] [--deadline SECONDS] [--vehicles K] [--name NAME]
//     --vehicles K        the number of vehicles to wait for before the first step (default 3)
//     --steps N           advance N steps of 1 (default 10; the vehicles' number or more)
//     --deadline SECONDS  stop waiting and resign after this long (default 30)
//     --name NAME         the federate's name (default junction)
//
// It prints "waiting for K vehicles" once it is subscribed and regulating: start the vehicle
// federates then.
// Exit status: 0 after a full run, 1 when a service was refused or the deadline passed, 2 for a
// bad command line.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "traffic.h"

namespace {

using traffic::point;
using traffic::say;

// Two vehicles closer than this have collided.
constexpr double collision_distance = 2.0;

struct options {
  std::string name = "junction";
  long vehicles = 3;
  long steps = 10;
  double deadline_seconds = 30;
};

bool parse(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 == argc) return false;
    if (arg == "--steps") {
      o.steps = std::atol(argv[++i]);
    } else if (arg == "--deadline") {
      o.deadline_seconds = std::atof(argv[++i]);
    } else if (arg == "--vehicles") {
      o.vehicles = std::atol(argv[++i]);
    } else if (arg == "--name") {
      o.name = argv[++i];
    } else {
      return false;
    }
  }
  return o.vehicles > 0 && o.steps > 0 && o.deadline_seconds > 0 && !o.name.empty();
}

// The callbacks of the junction: the time ones it inherits, and what the RTI tells it about the
// vehicles it subscribes.
class junction_federate : public traffic::timed_federate {
public:
  // A vehicle as the junction knows it from the reflected updates.
  struct watched {
    std::string name;
    point position;
    double speed = 0;
    bool reflected = false;
  };

  explicit junction_federate(std::string name) : me(std::move(name)) {}

  // A vehicle federate registered an object of a class this federate subscribes. The handle is
  // this federate's own number for it; the name is the one it was registered with.
  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle, const char* name) override {
    vehicles[object].name = name;
    ++discovered;
    say(me, time) << "discover " << name << std::endl;
  }

  // The updates are time-stamped and this federate is constrained: they come in this form, each
  // just before the grant of the time it is stamped with.
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& attributes,
                              const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    reflect(object, attributes, RTIfedTime(t).getTime());
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& attributes,
                              const char*) override {
    reflect(object, attributes, time);
  }

  // The vehicle was deleted: here, by its federate's resign.
  void removeObjectInstance(rti13::ObjectHandle object, const char*) override { remove(object); }
  void removeObjectInstance(rti13::ObjectHandle object, const rti13::FedTime&, const char*,
                            rti13::EventRetractionHandle) override {
    remove(object);
  }

  const std::string me;
  traffic::handles model;
  std::map<rti13::ObjectHandle, watched> vehicles;
  long discovered = 0, reflected = 0, removed = 0, collisions_sent = 0;

private:
  void reflect(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& attributes, double at) {
    auto known = vehicles.find(object);
    if (known == vehicles.end()) return;  // the RTI discovers an object before it reflects it
    watched& v = known->second;
    for (rti13::ULong i = 0; i < attributes.size(); ++i) {
      const rti13::AttributeHandle attribute = attributes.getHandle(i);
      const std::string value = traffic::value_at(attributes, i);
      if (attribute == model.position) traffic::decode(value, v.position);
      if (attribute == model.speed) traffic::decode(value, v.speed);
    }
    v.reflected = true;
    ++reflected;
    say(me, at) << "reflect " << v.name << " at " << traffic::text(v.position) << " speed " << traffic::text(v.speed)
                << std::endl;
  }

  void remove(rti13::ObjectHandle object) {
    auto known = vehicles.find(object);
    if (known == vehicles.end()) return;
    ++removed;
    say(me, time) << "remove " << known->second.name << std::endl;
    vehicles.erase(known);
  }
};

// Sends a Collision for every two vehicles that have come close and were not reported before.
// The junction is at time t and its lookahead is 1, so t + 1 is the earliest stamp it may give:
// the vehicles hear of a collision at step t one step later.
void report_collisions(rti13::RTIambassador& rti, junction_federate& junction,
                       std::set<std::pair<std::string, std::string>>& reported) {
  for (auto a = junction.vehicles.begin(); a != junction.vehicles.end(); ++a) {
    for (auto b = std::next(a); b != junction.vehicles.end(); ++b) {
      const junction_federate::watched &one = a->second, &other = b->second;
      if (!one.reflected || !other.reflected) continue;
      if (traffic::distance(one.position, other.position) >= collision_distance) continue;
      const auto pair = std::minmax(one.name, other.name);
      if (!reported.insert(pair).second) continue;

      const point where{(one.position.x + other.position.x) / 2, (one.position.y + other.position.y) / 2};
      const std::string position = traffic::encode(where);
      std::unique_ptr<rti13::ParameterHandleValuePairSet> parameters(rti13::ParameterSetFactory::create(3));
      parameters->add(junction.model.first, pair.first.data(), pair.first.size());
      parameters->add(junction.model.second, pair.second.data(), pair.second.size());
      parameters->add(junction.model.where, position.data(), position.size());
      const double at = junction.time + traffic::lookahead;
      rti.sendInteraction(junction.model.collision, *parameters, RTIfedTime(at), "");
      ++junction.collisions_sent;
      say(junction.me, junction.time) << "Collision of " << pair.first << " and " << pair.second << " at "
                                      << traffic::text(where) << " sent for t=" << at << std::endl;
    }
  }
}

void watch(rti13::RTIambassador& rti, junction_federate& junction, const options& o, const traffic::deadline& limit) {
  junction.model.look_up(rti);

  // Declarations: this federate wants the vehicles' positions and speeds and sends Collisions.
  std::unique_ptr<rti13::AttributeHandleSet> attributes(rti13::AttributeHandleSetFactory::create(2));
  attributes->add(junction.model.position);
  attributes->add(junction.model.speed);
  rti.subscribeObjectClassAttributes(junction.model.vehicle, *attributes);
  rti.publishInteractionClass(junction.model.collision);

  // A constrained federate receives messages without a time stamp only while it advances,
  // unless it asks for them at once. The vehicles' deletions at their resign carry no time
  // stamp and come when the junction has stopped advancing.
  rti.enableAsynchronousDelivery();
  traffic::enable_time(rti, junction, limit);

  // The junction regulates from time 0 on, so no vehicle is granted a time past 0 before the
  // junction advances: it advances once it knows every vehicle.
  say(junction.me, junction.time) << "waiting for " << o.vehicles << " vehicles" << std::endl;
  traffic::tick_until(rti, limit, [&] { return junction.discovered >= o.vehicles; });

  std::set<std::pair<std::string, std::string>> reported;
  for (long step = 0; step < o.steps; ++step) {
    traffic::advance_to(rti, junction, junction.time + 1, limit);
    report_collisions(rti, junction, reported);
  }
  say(junction.me, junction.time) << "waiting for the vehicles to leave" << std::endl;
  traffic::tick_until(rti, limit, [&] { return junction.vehicles.empty(); });
}

// Creates and joins, watches, resigns and destroys; returns the exit status.
int run(rti13::RTIambassador& rti, junction_federate& junction, const options& o) {
  const traffic::deadline limit(o.deadline_seconds);
  try {
    rti.createFederationExecution(traffic::federation, traffic::fed_file);
    say(junction.me, 0) << "created federation " << traffic::federation << std::endl;
  } catch (const rti13::FederationExecutionAlreadyExists&) {
    say(junction.me, 0) << "joining the existing federation " << traffic::federation << std::endl;
  }
  rti.joinFederationExecution(junction.me.c_str(), traffic::federation, &junction);
  int status = 0;
  try {
    watch(rti, junction, o, limit);
  } catch (const traffic::deadline_passed&) {
    say(junction.me, junction.time) << "deadline passed; resigning" << std::endl;
    status = 1;
  } catch (const rti13::Exception& e) {
    say(junction.me, junction.time) << "refused: " << e << std::endl;
    status = 1;
  }
  rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  say(junction.me, junction.time) << "resigned" << std::endl;
  try {
    rti.destroyFederationExecution(traffic::federation);
    say(junction.me, junction.time) << "destroyed federation " << traffic::federation << std::endl;
  } catch (const rti13::FederatesCurrentlyJoined& e) {
    say(junction.me, junction.time) << "left the federation to the others: " << e << std::endl;
  }
  say(junction.me, junction.time) << "summary: " << junction.discovered << " discovered, " << junction.reflected
                                  << " reflected, " << junction.collisions_sent << " Collision sent, "
                                  << junction.removed << " removed" << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: %s [--steps N] [--deadline SECONDS] [--vehicles K] [--name NAME]\n", argv[0]);
    return 2;
  }
  traffic::use_traffic_rid();
  junction_federate junction(o.name);  // outlives the ambassador, which calls it
  try {
    rti13::RTIambassador rti;
    return run(rti, junction, o);
  } catch (const rti13::Exception& e) {
    say(o.name, junction.time) << "refused: " << e << std::endl;
    return 1;
  }
}
