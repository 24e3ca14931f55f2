// A federate of the fleet example: an owner registers trucks and changes one attribute of each
// at every cycle; a watcher reflects them. The trucks travel on a state-consistent transport
// (fleet.fed, fleet.rid), so a watcher that misses an update asks for the truck again and ends up
// holding the owner's last values, and trucks of an owner that dies are dropped by the watchers.
//
//   fleet_federate [--seconds S] [--rate HZ] owner FEDERATE COUNT
//   fleet_federate [--seconds S] watcher FEDERATE
//     owner        registers COUNT trucks named FEDERATE-1 ... and changes one attribute of
//                  each truck HZ times a second (default 10) for S seconds (default 10)
//     watcher      reflects every truck for S seconds
//   Both print "final NAME Position=... Fuel=... Load=..." per truck at the end, then resign
//   (an owner deleting its trucks). Whoever comes first creates the federation Fleet.
// Exit status: 0 after the run, 1 when a service was refused, 2 for a bad command line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>

namespace {

constexpr const char* federation = "Fleet";

struct options {
  std::string role, federate;
  long trucks = 0;
  double seconds = 10, rate = 10;
};

bool parse(int argc, char** argv, options& o) {
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--seconds" && i + 1 < argc)
      o.seconds = std::atof(argv[++i]);
    else if (arg == "--rate" && i + 1 < argc)
      o.rate = std::atof(argv[++i]);
    else if (arg.rfind("--", 0) == 0)
      return false;
    else
      words.push_back(arg);
  }
  if (words.size() < 2) return false;
  o.role = words[0];
  o.federate = words[1];
  if (o.role == "owner" && words.size() == 3) o.trucks = std::atol(words[2].c_str());
  const bool shape = (o.role == "owner" && o.trucks > 0) || (o.role == "watcher" && words.size() == 2);
  return shape && o.seconds > 0 && o.rate > 0;
}

std::ostream& say(const std::string& federate) { return std::cout << '[' << federate << "] "; }

// What one federate holds of one truck: the three values as text, by attribute handle.
using truck_values = std::map<rti13::AttributeHandle, std::string>;

class fleet_federate : public NullFederateAmbassador {
public:
  explicit fleet_federate(std::string name) : me(std::move(name)) {}

  void discoverObjectInstance(rti13::ObjectHandle truck, rti13::ObjectClassHandle, const char* name) override {
    names[truck] = name;
    say(me) << "discover " << name << std::endl;
  }
  void reflectAttributeValues(rti13::ObjectHandle truck, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    for (rti13::ULong i = 0; i < values.size(); ++i) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      held[truck][values.getHandle(i)].assign(data, length);
    }
    ++reflected;
  }
  void removeObjectInstance(rti13::ObjectHandle truck, const char*) override {
    say(me) << "remove " << names[truck] << std::endl;
    names.erase(truck);
    held.erase(truck);
  }
  // The state-consistent transport asks the owner for a truck that a watcher missed; the answer
  // is an update of the attributes asked for, sent after the tick.
  void provideAttributeValueUpdate(rti13::ObjectHandle truck, const rti13::AttributeHandleSet&) override {
    asked.insert(truck);
  }

  const std::string me;
  std::map<rti13::ObjectHandle, std::string> names;
  std::map<rti13::ObjectHandle, truck_values> held;
  std::set<rti13::ObjectHandle> asked;
  long reflected = 0;
};

struct model {
  rti13::ObjectClassHandle truck = 0;
  rti13::AttributeHandle position = 0, fuel = 0, load = 0;

  void look_up(rti13::RTIambassador& rti) {
    truck = rti.getObjectClassHandle("Truck");
    position = rti.getAttributeHandle("Position", truck);
    fuel = rti.getAttributeHandle("Fuel", truck);
    load = rti.getAttributeHandle("Load", truck);
  }
  std::unique_ptr<rti13::AttributeHandleSet> all() const {
    std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(3));
    set->add(position);
    set->add(fuel);
    set->add(load);
    return set;
  }
  const char* name_of(rti13::AttributeHandle attribute) const {
    return attribute == position ? "Position" : attribute == fuel ? "Fuel" : "Load";
  }
};

void send(rti13::RTIambassador& rti, rti13::ObjectHandle truck, const truck_values& values) {
  std::unique_ptr<rti13::AttributeHandleValuePairSet> set(
      rti13::AttributeSetFactory::create(static_cast<rti13::ULong>(values.size())));
  for (const auto& [attribute, value] : values) set->add(attribute, value.data(), value.size());
  rti.updateAttributeValues(truck, *set, "");
}

// Cycle n changes attribute n % 3 of every truck.
void change(truck_values& values, const model& m, long truck, long cycle) {
  const rti13::AttributeHandle attributes[] = {m.position, m.fuel, m.load};
  const rti13::AttributeHandle changed = attributes[cycle % 3];
  char text[64];
  if (changed == m.position)
    std::snprintf(text, sizeof text, "%ld %ld", truck * 100 + cycle, cycle / 2);
  else if (changed == m.fuel)
    std::snprintf(text, sizeof text, "%ld", 400 - cycle % 400);
  else
    std::snprintf(text, sizeof text, "crates-%ld", cycle / 3);
  values[changed] = text;
}

void print_finals(fleet_federate& federate, const model& m) {
  for (const auto& [truck, values] : federate.held) {
    say(federate.me) << "final " << federate.names[truck];
    for (const auto& [attribute, value] : values) std::cout << ' ' << m.name_of(attribute) << '=' << value;
    std::cout << std::endl;
  }
}

void own(rti13::RTIambassador& rti, fleet_federate& federate, const model& m, const options& o) {
  rti.publishObjectClass(m.truck, *m.all());
  for (long i = 1; i <= o.trucks; ++i) {
    const std::string name = federate.me + "-" + std::to_string(i);
    const rti13::ObjectHandle truck = rti.registerObjectInstance(m.truck, name.c_str());
    federate.names[truck] = name;
    for (long cycle = 0; cycle < 3; ++cycle) change(federate.held[truck], m, i, cycle);
    send(rti, truck, federate.held[truck]);
  }
  say(federate.me) << "registered " << o.trucks << " trucks" << std::endl;
  const auto period = std::chrono::duration<double>(1.0 / o.rate);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  long updates = 0, answers = 0;
  for (long cycle = 3; std::chrono::steady_clock::now() < end; ++cycle) {
    const auto next = std::chrono::steady_clock::now() + period;
    long i = 0;
    for (auto& [truck, values] : federate.held) {
      change(values, m, ++i, cycle);
      truck_values one{*values.find(cycle % 3 == 0 ? m.position : cycle % 3 == 1 ? m.fuel : m.load)};
      send(rti, truck, one);
      ++updates;
    }
    while (std::chrono::steady_clock::now() < next) {
      rti.tick(0.005, 0.02);
      for (rti13::ObjectHandle truck : federate.asked) send(rti, truck, federate.held[truck]);
      answers += static_cast<long>(federate.asked.size());
      federate.asked.clear();
    }
  }
  say(federate.me) << "sent " << updates << " updates and " << answers << " answers" << std::endl;
}

void watch(rti13::RTIambassador& rti, fleet_federate& federate, const model& m, const options& o) {
  rti.subscribeObjectClassAttributes(m.truck, *m.all());
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  while (std::chrono::steady_clock::now() < end) rti.tick(0.01, 0.05);
  say(federate.me) << "holding " << federate.held.size() << " trucks after " << federate.reflected << " reflects"
                   << std::endl;
}

int run(rti13::RTIambassador& rti, fleet_federate& federate, const options& o) {
  try {
    rti.createFederationExecution(federation, EXAMPLES_DIR "/fleet.fed");
  } catch (const rti13::FederationExecutionAlreadyExists&) {
  }
  rti.joinFederationExecution(federate.me.c_str(), federation, &federate);
  model m;
  int status = 0;
  try {
    m.look_up(rti);
    if (o.role == "owner")
      own(rti, federate, m, o);
    else
      watch(rti, federate, m, o);
    print_finals(federate, m);
  } catch (const rti13::Exception& e) {
    say(federate.me) << "refused: " << e << std::endl;
    status = 1;
  }
  rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  try {
    rti.destroyFederationExecution(federation);
  } catch (const rti13::FederatesCurrentlyJoined&) {
  }
  say(federate.me) << "resigned" << std::endl;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s [--seconds S] [--rate HZ] owner FEDERATE COUNT\n"
                 "       %s [--seconds S] watcher FEDERATE\n",
                 argv[0], argv[0]);
    return 2;
  }
  if (!std::getenv("RTI_RID_FILE")) setenv("RTI_RID_FILE", EXAMPLES_DIR "/fleet.rid", 1);
  fleet_federate federate(o.federate);  // outlives the ambassador, which calls it
  try {
    rti13::RTIambassador rti;
    return run(rti, federate, o);
  } catch (const rti13::Exception& e) {
    say(o.federate) << "refused: " << e << std::endl;
    return 1;
  }
}
