// A test federate of synchronization points on the public rti13 interface: it joins (creating
// the federation when it is not there), runs the actions of its command line in order and prints
// one line per callback and action, so that a scenario test can check what each federate saw:
//   [name] joined / registered <label> / failed <label> / announced <label> / achieved <label>
//   [name] synchronized <label> / holding / resigned / refused: <exception>
//
//   sync_federate NAME FEDERATION ACTION...
//     register:LABEL   register a point of the whole federation and wait for the answer
//     claim:LABEL      register it again every second until the registration succeeds
//     achieve:LABEL    wait until LABEL is announced, then achieve it
//     sync:LABEL       wait until the federation is synchronized at LABEL
//     auto:N           achieve every point as it is announced until N points are synchronized
//     hold             tick until killed
// Each wait gives up after two minutes. Exit status: 0 after the actions, 1 when a service was
// refused, 2 for a bad command line, 3 when a wait gave up.
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <set>
#include <string>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include "demo_federation.h"

namespace {

class sync_ambassador : public NullFederateAmbassador {
public:
  explicit sync_ambassador(std::string me) : me_(std::move(me)) {}

  std::set<std::string> announced, synchronized, answered, registered;

  void synchronizationPointRegistrationSucceeded(const char* label) override {
    note("registered", label, answered);
    registered.insert(label);
  }
  void synchronizationPointRegistrationFailed(const char* label) override { note("failed", label, answered); }
  void announceSynchronizationPoint(const char* label, const char*) override { note("announced", label, announced); }
  void federationSynchronized(const char* label) override { note("synchronized", label, synchronized); }

private:
  void note(const char* what, const char* label, std::set<std::string>& into) {
    std::cout << me_ << what << ' ' << label << std::endl;
    into.insert(label);
  }
  std::string me_;
};

class federate {
public:
  explicit federate(const std::string& name) : name_(name), me_("[" + name + "] "), ambassador_(me_) {}

  void join(const std::string& federation) {
    join_demo_federation(rti_, name_, federation, &ambassador_);
    std::cout << me_ << "joined" << std::endl;
  }

  // False when a wait gave up.
  bool run(const std::string& verb, const std::string& argument) {
    if (verb == "register") {
      rti_.registerFederationSynchronizationPoint(argument.c_str(), "");
      return tick_until([&] { return ambassador_.answered.count(argument) != 0; });
    }
    if (verb == "claim") {
      return tick_until([&] {
        rti_.registerFederationSynchronizationPoint(argument.c_str(), "");
        tick_for(1);
        return ambassador_.registered.count(argument) != 0;
      });
    }
    if (verb == "achieve") {
      if (!tick_until([&] { return ambassador_.announced.count(argument) != 0; })) return false;
      achieve(argument);
      return true;
    }
    if (verb == "sync") return tick_until([&] { return ambassador_.synchronized.count(argument) != 0; });
    if (verb == "auto") return achieve_all(std::stoul(argument));
    std::cout << me_ << "holding" << std::endl;
    tick_until([] { return false; });
    return false;
  }

  void resign() {
    rti_.resignFederationExecution(rti13::NO_ACTION);
    std::cout << me_ << "resigned" << std::endl;
  }

private:
  void achieve(const std::string& label) {
    rti_.synchronizationPointAchieved(label.c_str());
    std::cout << me_ << "achieved " << label << std::endl;
  }

  bool achieve_all(size_t count) {
    std::set<std::string> done;
    return tick_until([&] {
      for (const std::string& label : ambassador_.announced)
        if (done.insert(label).second) achieve(label);
      return ambassador_.synchronized.size() >= count;
    });
  }

  void tick_for(double seconds) { rti_.tick(seconds, seconds); }

  bool tick_until(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      rti_.tick(0.01, 0.05);
    }
    return true;
  }

  std::string name_;
  std::string me_;
  sync_ambassador ambassador_;
  rti13::RTIambassador rti_;
};

bool known(const std::string& verb, bool has_argument) {
  if (verb == "hold") return !has_argument;
  return has_argument &&
         (verb == "register" || verb == "claim" || verb == "achieve" || verb == "sync" || verb == "auto");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: sync_federate NAME FEDERATION ACTION..." << std::endl;
    return 2;
  }
  for (int i = 3; i < argc; ++i) {
    const std::string action = argv[i];
    const size_t colon = action.find(':');
    if (!known(action.substr(0, colon), colon != std::string::npos)) {
      std::cerr << "sync_federate: unknown action " << action << std::endl;
      return 2;
    }
  }
  const std::string name = argv[1], federation = argv[2];
  try {
    federate f(name);
    f.join(federation);
    for (int i = 3; i < argc; ++i) {
      const std::string action = argv[i];
      const size_t colon = action.find(':');
      if (!f.run(action.substr(0, colon), colon == std::string::npos ? "" : action.substr(colon + 1))) return 3;
    }
    f.resign();
  } catch (const rti13::Exception& e) {
    std::cout << "[" << name << "] refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
