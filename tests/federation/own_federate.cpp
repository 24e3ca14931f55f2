// A test federate of attribute ownership on the public rti13 interface. It joins (creating the
// federation when it is not there), publishes and subscribes Vehicle (Name, Position, Velocity)
// of demo.fed and passes ownership around: it acquires whatever another federate offers if it is
// available, and offers again, by negotiated divestiture, what it gains. It answers a provide
// request for what it owns with an update of its own name. Lines it prints:
//   [name] joined / registered <n> / stopped / reported / resigned / refused: <exception>
//   [name] gained <object> <attribute>...     [name] provide <object>
//   [name] reflect <object> <attribute> <value>
//   [name] owns <object> <attribute>          (the report: every attribute owned at the end)
//
//   own_federate NAME FEDERATION [register:N] [heartbeat] [hold]
//     register:N   register N vehicles o0 ... oN-1 and offer all their attributes
//     heartbeat    move Position of the registered vehicles to the transport "heartbeat" and
//                  update it once, instead of passing ownership around
//     hold         keep every gain instead of offering it again
// The first SIGUSR1 stops the passing around; the second prints the report and resigns.
// Exit status: 0 after the report, 1 when a service was refused, 2 for a bad command line, 3 when
// no signal came within three minutes.
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include "demo_federation.h"

namespace {

volatile sig_atomic_t signals_received = 0;

void on_signal(int) { signals_received = signals_received + 1; }

struct model {
  rti13::ObjectClassHandle vehicle = 0;
  rti13::AttributeHandle name = 0, position = 0, velocity = 0;
};

std::unique_ptr<rti13::AttributeHandleSet> set_of(const std::set<rti13::AttributeHandle>& handles) {
  std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(3));
  for (rti13::AttributeHandle h : handles) set->add(h);
  return set;
}

std::set<rti13::AttributeHandle> handles_of(const rti13::AttributeHandleSet& set) {
  std::set<rti13::AttributeHandle> handles;
  for (rti13::ULong i = 0; i < set.size(); ++i) handles.insert(set.getHandle(i));
  return handles;
}

class own_ambassador : public NullFederateAmbassador {
public:
  explicit own_ambassador(std::string me) : me_(std::move(me)) {}

  std::map<rti13::ObjectHandle, std::string> names;
  std::vector<std::pair<rti13::ObjectHandle, std::set<rti13::AttributeHandle>>> offered, gained;
  std::set<rti13::ObjectHandle> provide;

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle, const char* name) override {
    names[object] = name;
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    for (rti13::ULong i = 0; i < values.size(); ++i) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      std::cout << me_ << "reflect " << names[object] << ' ' << values.getHandle(i) << ' ' << std::string(data, length)
                << std::endl;
    }
  }
  void requestAttributeOwnershipAssumption(rti13::ObjectHandle object, const rti13::AttributeHandleSet& attributes,
                                           const char*) override {
    offered.emplace_back(object, handles_of(attributes));
  }
  void attributeOwnershipAcquisitionNotification(rti13::ObjectHandle object,
                                                 const rti13::AttributeHandleSet& attributes) override {
    std::cout << me_ << "gained " << names[object];
    for (rti13::AttributeHandle a : handles_of(attributes)) std::cout << ' ' << a;
    std::cout << std::endl;
    gained.emplace_back(object, handles_of(attributes));
  }
  void provideAttributeValueUpdate(rti13::ObjectHandle object, const rti13::AttributeHandleSet&) override {
    std::cout << me_ << "provide " << names[object] << std::endl;
    provide.insert(object);
  }

private:
  std::string me_;
};

class federate {
public:
  explicit federate(const std::string& name) : name_(name), me_("[" + name + "] "), ambassador_(me_) {}

  void join(const std::string& federation) {
    join_demo_federation(rti_, name_, federation, &ambassador_);
    m_.vehicle = rti_.getObjectClassHandle("Vehicle");
    m_.name = rti_.getAttributeHandle("Name", m_.vehicle);
    m_.position = rti_.getAttributeHandle("Position", m_.vehicle);
    m_.velocity = rti_.getAttributeHandle("Velocity", m_.vehicle);
    const auto all = set_of({m_.name, m_.position, m_.velocity});
    rti_.publishObjectClass(m_.vehicle, *all);
    rti_.subscribeObjectClassAttributes(m_.vehicle, *all);
    std::cout << me_ << "joined" << std::endl;
  }

  void register_vehicles(int count, bool heartbeat) {
    for (int k = 0; k < count; ++k) {
      const std::string name = std::string("o").append(std::to_string(k));
      const rti13::ObjectHandle object = rti_.registerObjectInstance(m_.vehicle, name.c_str());
      ambassador_.names[object] = name;
      if (heartbeat)
        rti_.changeAttributeTransportationType(object, *set_of({m_.position}),
                                               rti_.getTransportationHandle("heartbeat"));
      update(object);
      if (!heartbeat) to_offer_.push_back(object);
    }
    std::cout << me_ << "registered " << count << std::endl;
  }

  // Passes ownership around until the first signal, then keeps what it has until the second. The
  // vehicles registered here are offered once the others had two seconds to discover them.
  bool run(bool hold) {
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::minutes(3);
    while (signals_received < 2) {
      if (std::chrono::steady_clock::now() > end) return false;
      rti_.tick(0.01, 0.05);
      if (std::chrono::steady_clock::now() > start + std::chrono::seconds(2)) offer_registered();
      answer_provides();
      if (signals_received == 0) pass_on(hold);
      if (signals_received == 1 && !stopped_) {
        stopped_ = true;
        std::cout << me_ << "stopped" << std::endl;
      }
    }
    report();
    return true;
  }

  void resign() {
    rti_.resignFederationExecution(rti13::NO_ACTION);
    std::cout << me_ << "resigned" << std::endl;
  }

private:
  void update(rti13::ObjectHandle object) {
    std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(2));
    values->add(m_.position, name_.c_str(), static_cast<rti13::ULong>(name_.size()));
    if (rti_.isAttributeOwnedByFederate(object, m_.name)) values->add(m_.name, "vehicle", 7);
    rti_.updateAttributeValues(object, *values, "");
  }

  void offer_registered() {
    for (rti13::ObjectHandle object : std::exchange(to_offer_, {}))
      rti_.negotiatedAttributeOwnershipDivestiture(object, *set_of({m_.name, m_.position, m_.velocity}), "start");
  }

  void answer_provides() {
    for (rti13::ObjectHandle object : ambassador_.provide)
      if (rti_.isAttributeOwnedByFederate(object, m_.position)) update(object);
    ambassador_.provide.clear();
  }

  void pass_on(bool hold) {
    // An offer may come after this federate took the attributes on an earlier one.
    for (const auto& [object, attributes] : std::exchange(ambassador_.offered, {})) {
      std::set<rti13::AttributeHandle> wanted;
      for (rti13::AttributeHandle a : attributes)
        if (!rti_.isAttributeOwnedByFederate(object, a)) wanted.insert(a);
      if (!wanted.empty()) rti_.attributeOwnershipAcquisitionIfAvailable(object, *set_of(wanted));
    }
    if (hold) return;
    for (const auto& [object, attributes] : std::exchange(ambassador_.gained, {})) {
      std::set<rti13::AttributeHandle> owned;
      for (rti13::AttributeHandle a : attributes)
        if (rti_.isAttributeOwnedByFederate(object, a)) owned.insert(a);
      if (owned.empty()) continue;
      try {
        rti_.negotiatedAttributeOwnershipDivestiture(object, *set_of(owned), "again");
      } catch (const rti13::AttributeAlreadyBeingDivested&) {
      }
    }
  }

  void report() {
    for (const auto& [object, name] : ambassador_.names)
      for (rti13::AttributeHandle a : {m_.name, m_.position, m_.velocity})
        if (rti_.isAttributeOwnedByFederate(object, a)) std::cout << me_ << "owns " << name << ' ' << a << std::endl;
    std::cout << me_ << "reported" << std::endl;
  }

  std::string name_;
  std::string me_;
  own_ambassador ambassador_;
  model m_;
  std::vector<rti13::ObjectHandle> to_offer_;
  bool stopped_ = false;
  rti13::RTIambassador rti_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: own_federate NAME FEDERATION [register:N] [heartbeat] [hold]" << std::endl;
    return 2;
  }
  int count = 0;
  bool heartbeat = false, hold = false;
  for (int i = 3; i < argc; ++i) {
    const std::string word = argv[i];
    if (word.rfind("register:", 0) == 0) {
      count = std::atoi(word.c_str() + 9);
    } else if (word == "heartbeat") {
      heartbeat = true;
    } else if (word == "hold") {
      hold = true;
    } else {
      std::cerr << "own_federate: unknown word " << word << std::endl;
      return 2;
    }
  }
  signal(SIGUSR1, on_signal);
  const std::string name = argv[1];
  try {
    federate f(name);
    f.join(argv[2]);
    if (count > 0) f.register_vehicles(count, heartbeat);
    if (!f.run(hold || heartbeat)) return 3;
    f.resign();
  } catch (const rti13::Exception& e) {
    std::cout << "[" << name << "] refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
