// A test federate of the data path on the public rti13 interface: it joins (creating the
// federation when it is not there) and runs the actions of its command line in order, printing
// one line per thing it does and per callback it receives, so that a test can check what each
// federate of a scenario received. All data is of class Vehicle.Truck and interaction Collision
// of demo.fed; every value carries a sequence number and bytes derived from it, so a receiver
// can tell an intact value from a damaged one:
//   [name] discover <object> <class>
//   [name] reflect <object> <attribute> <seq> ok|bad [<time>]
//   [name] interaction <sender> <seq> ok|bad [<time>]
//   [name] remove <object> [<time>]
//   [name] request <t> / grant <t>
//   [name] registered <object> / claim <object> ok|<exception> / updated <n> / deleted <n>
//   [name] joined / subscribed / regulating / ready / waiting / resigned / refused: <exception>
//
//   data_federate NAME FEDERATION ACTION...
//     publish             publish Truck (Name, Position, Load) and Collision
//     subscribe           subscribe to the same
//     register:N          register N objects named NAME.0 ... NAME.N-1
//     update:N            N updates, sequence 0 ... N-1, the k-th to object k mod the count: each
//                         one of Name (reliable) and one of Position (best effort)
//     delete              delete the objects this federate registered
//     claim:OWNER:N       try to register OWNER.0 ... OWNER.N-1 (a refusal is printed, not fatal)
//     time                become regulating (lookahead 1) and constrained, with asynchronous
//                         delivery so that receive-order values arrive between advances
//     hello:K             update Name of the own objects every 200 ms until K other federates'
//                         objects are discovered, once more, then tick two seconds
//     lockstep:N          N steps: send a Collision and an update of Load stamped at the time
//                         plus 1 (sequence = that time), then request that time and wait
//     wait                tick until the process gets SIGUSR1 (each wait takes one signal)
//     resign:ACTION       resign with NO_ACTION, DELETE_OBJECTS, RELEASE_ATTRIBUTES or
//                         DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES (NO_ACTION after the last
//                         action when none resigned)
// Exit status: 0 after the actions, 1 when a service was refused, 2 for a bad command line,
// 3 when a wait saw no signal within a minute.
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <RTI.hh>
#include <fedtime.hh>

#include "demo_federation.h"
#include "time_ambassador.h"

namespace {

volatile sig_atomic_t signals_received = 0;

void on_signal(int) { signals_received = signals_received + 1; }

// The value of sequence number seq: "<seq>:" and 4 to 64 bytes computed from seq, so that
// truncation, a swapped value and damaged bytes all show.
std::string payload(long seq) {
  std::string value = std::to_string(seq) + ":";
  const long extra = 4 + seq % 61;
  for (long i = 0; i < extra; ++i) value.push_back(static_cast<char>((seq * 131 + i * 7 + 13) & 0xff));
  return value;
}

// The sequence number of a value, or -1; intact says whether the value is exactly payload(seq).
long sequence_of(const char* data, rti13::ULong length, bool& intact) {
  const std::string value(data ? data : "", data ? length : 0);
  long seq = -1;
  const size_t colon = value.find(':');
  if (colon != std::string::npos && colon > 0 && colon < 12 &&
      value.find_first_not_of("0123456789") == colon)
    seq = std::atol(value.c_str());
  intact = seq >= 0 && value == payload(seq);
  return seq;
}

struct handles {
  rti13::ObjectClassHandle truck = 0;
  rti13::AttributeHandle name = 0, position = 0, load = 0;
  rti13::InteractionClassHandle collision = 0;
  rti13::ParameterHandle first = 0, second = 0;
};

class data_ambassador : public time_ambassador {
public:
  data_ambassador(const std::string& me, const handles& h) : me_(me), h_(h) {}

  std::map<rti13::ObjectHandle, std::string> remote;

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle object_class,
                              const char* name) override {
    remote[object] = name;
    std::cout << me_ << "discover " << name << " "
              << (object_class == h_.truck ? std::string("Vehicle.Truck") : std::to_string(object_class)) << std::endl;
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    reflect(object, values, "");
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    reflect(object, values, time_text(t));
  }
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& values,
                          const char*) override {
    receive(values, "");
  }
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& values,
                          const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    receive(values, time_text(t));
  }
  void removeObjectInstance(rti13::ObjectHandle object, const char*) override { remove(object, ""); }
  void removeObjectInstance(rti13::ObjectHandle object, const rti13::FedTime& t, const char*,
                            rti13::EventRetractionHandle) override {
    remove(object, time_text(t));
  }

private:
  // The time as the last field of an event line.
  static std::string time_text(const rti13::FedTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, " %g", RTIfedTime(t).getTime());
    return text;
  }
  std::string object_name(rti13::ObjectHandle object) const {
    const auto found = remote.find(object);
    return found == remote.end() ? "unknown-" + std::to_string(object) : found->second;
  }
  std::string attribute_name(rti13::AttributeHandle a) const {
    if (a == h_.name) return "Name";
    if (a == h_.position) return "Position";
    if (a == h_.load) return "Load";
    return std::to_string(a);
  }
  void reflect(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
               const std::string& when) {
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      bool intact = false;
      const long seq = sequence_of(data, length, intact);
      std::cout << me_ << "reflect " << object_name(object) << " " << attribute_name(values.getHandle(i)) << " "
                << seq << (intact ? " ok" : " bad") << when << std::endl;
    }
  }
  void receive(const rti13::ParameterHandleValuePairSet& values, const std::string& when) {
    std::string sender = "?";
    long seq = -1;
    bool intact = false;
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      if (values.getHandle(i) == h_.first) sender.assign(data, length);
      if (values.getHandle(i) == h_.second) seq = sequence_of(data, length, intact);
    }
    std::cout << me_ << "interaction " << sender << " " << seq << (intact ? " ok" : " bad") << when << std::endl;
  }
  void remove(rti13::ObjectHandle object, const std::string& when) {
    std::cout << me_ << "remove " << object_name(object) << when << std::endl;
    remote.erase(object);
  }

  std::string me_;
  const handles& h_;
};

class federate {
public:
  explicit federate(const std::string& name) : name_(name), me_("[" + name + "] "), ambassador_(me_, h_) {}

  void join(const std::string& federation) {
    join_demo_federation(rti_, name_, federation, &ambassador_);
    h_.truck = rti_.getObjectClassHandle("Vehicle.Truck");
    h_.name = rti_.getAttributeHandle("Name", h_.truck);
    h_.position = rti_.getAttributeHandle("Position", h_.truck);
    h_.load = rti_.getAttributeHandle("Load", h_.truck);
    h_.collision = rti_.getInteractionClassHandle("Collision");
    h_.first = rti_.getParameterHandle("First", h_.collision);
    h_.second = rti_.getParameterHandle("Second", h_.collision);
  }

  // Whether the command line's action is one of the list above, with its arguments.
  static bool known(const std::string& action) {
    static const std::map<std::string, size_t> words_of = {
        {"publish", 1}, {"subscribe", 1}, {"register", 2}, {"update", 2}, {"delete", 1}, {"claim", 3},
        {"time", 1},    {"hello", 2},     {"lockstep", 2}, {"wait", 1},   {"resign", 2}};
    const std::vector<std::string> words = split(action);
    const auto found = words_of.find(words[0]);
    return found != words_of.end() && found->second == words.size() &&
           (words[0] != "resign" || resign_action(words[1]));
  }

  void run(const std::string& action) {
    const std::vector<std::string> words = split(action);
    const std::string& verb = words[0];
    const long count = words.size() > 1 ? std::atol(words.back().c_str()) : 0;
    if (verb == "publish") {
      rti_.publishObjectClass(h_.truck, *truck_attributes());
      rti_.publishInteractionClass(h_.collision);
    } else if (verb == "subscribe") {
      rti_.subscribeObjectClassAttributes(h_.truck, *truck_attributes());
      rti_.subscribeInteractionClass(h_.collision);
      say("subscribed");
    } else if (verb == "register") {
      for (long k = 0; k < count; ++k) {
        const std::string object = name_ + "." + std::to_string(k);
        own_.push_back(rti_.registerObjectInstance(h_.truck, object.c_str()));
        say("registered " + object);
      }
    } else if (verb == "update") {
      update(count);
    } else if (verb == "delete") {
      for (rti13::ObjectHandle object : own_) rti_.deleteObjectInstance(object, "");
      say("deleted " + std::to_string(own_.size()));
      own_.clear();
    } else if (verb == "claim") {
      claim(words[1], count);
    } else if (verb == "time") {
      enable_time();
    } else if (verb == "hello") {
      hello(static_cast<size_t>(count));
    } else if (verb == "lockstep") {
      lockstep(count);
    } else if (verb == "wait") {
      wait_for_signal();
    } else if (verb == "resign") {
      resign(*resign_action(words[1]));
    }
  }

  void finish(const std::string& federation) {
    if (!resigned_) resign(rti13::NO_ACTION);
    try {
      rti_.destroyFederationExecution(federation.c_str());
    } catch (const rti13::Exception&) {
    }
  }

  bool waited_in_vain = false;

private:
  static std::vector<std::string> split(const std::string& action) {
    std::vector<std::string> words;
    size_t from = 0;
    for (size_t colon; (colon = action.find(':', from)) != std::string::npos; from = colon + 1)
      words.push_back(action.substr(from, colon - from));
    words.push_back(action.substr(from));
    return words;
  }
  static const rti13::ResignAction* resign_action(const std::string& word) {
    static const std::map<std::string, rti13::ResignAction> actions = {
        {"NO_ACTION", rti13::NO_ACTION},
        {"DELETE_OBJECTS", rti13::DELETE_OBJECTS},
        {"RELEASE_ATTRIBUTES", rti13::RELEASE_ATTRIBUTES},
        {"DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES", rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES}};
    const auto found = actions.find(word);
    return found == actions.end() ? nullptr : &found->second;
  }

  void say(const std::string& line) const { std::cout << me_ << line << std::endl; }

  std::unique_ptr<rti13::AttributeHandleSet> truck_attributes() const {
    std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(3));
    set->add(h_.name);
    set->add(h_.position);
    set->add(h_.load);
    return set;
  }

  void update_one(rti13::ObjectHandle object, rti13::AttributeHandle attribute, long seq, const RTIfedTime* t) {
    std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(1));
    const std::string value = payload(seq);
    values->add(attribute, value.data(), static_cast<rti13::ULong>(value.size()));
    if (t)
      rti_.updateAttributeValues(object, *values, *t, "");
    else
      rti_.updateAttributeValues(object, *values, "");
  }

  void update(long count) {
    if (own_.empty()) throw rti13::ObjectNotKnown("update: this federate registered no objects");
    for (long seq = 0; seq < count; ++seq) {
      const rti13::ObjectHandle object = own_[static_cast<size_t>(seq) % own_.size()];
      update_one(object, h_.name, seq, nullptr);
      update_one(object, h_.position, seq, nullptr);
      if (seq % 100 == 99) rti_.tick(0, 0.01);
    }
    say("updated " + std::to_string(count));
  }

  void claim(const std::string& owner, long count) {
    for (long k = 0; k < count; ++k) {
      const std::string object = owner + "." + std::to_string(k);
      try {
        own_.push_back(rti_.registerObjectInstance(h_.truck, object.c_str()));
        say("claim " + object + " ok");
      } catch (const rti13::ObjectAlreadyRegistered& e) {
        say("claim " + object + " " + e._name);
      }
    }
  }

  template <class Done>
  void tick_until(Done done) {
    while (!done()) rti_.tick(0.001, 0.01);
  }

  template <class Done>
  void tick_for(double seconds, Done done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    tick_until([&] { return done() || std::chrono::steady_clock::now() > end; });
  }

  void enable_time() {
    rti_.enableTimeRegulation(RTIfedTime(ambassador_.time), RTIfedTime(1.0));
    tick_until([&] { return ambassador_.regulating; });
    rti_.enableTimeConstrained();
    tick_until([&] { return ambassador_.constrained; });
    rti_.enableAsynchronousDelivery();
    say("regulating");
  }

  // The others may join, subscribe and register later than this federate: its values reach
  // them only once they subscribe, so it repeats until it has seen their objects. An object
  // is registered after its federate subscribed, so the last repetition reaches them all.
  void hello(size_t others) {
    while (ambassador_.remote.size() < others) {
      for (rti13::ObjectHandle object : own_) update_one(object, h_.name, 0, nullptr);
      tick_for(0.2, [&] { return ambassador_.remote.size() >= others; });
    }
    for (rti13::ObjectHandle object : own_) update_one(object, h_.name, 0, nullptr);
    // Their time states travel apart from their objects: give them time to arrive.
    tick_for(2, [] { return false; });
    say("ready");
  }

  void lockstep(long steps) {
    for (long step = 0; step < steps; ++step) {
      const double next = ambassador_.time + 1;
      const long seq = static_cast<long>(next);
      const RTIfedTime stamp(next);
      std::unique_ptr<rti13::ParameterHandleValuePairSet> values(rti13::ParameterSetFactory::create(2));
      const std::string value = payload(seq);
      values->add(h_.first, name_.data(), static_cast<rti13::ULong>(name_.size()));
      values->add(h_.second, value.data(), static_cast<rti13::ULong>(value.size()));
      rti_.sendInteraction(h_.collision, *values, stamp, "");
      for (rti13::ObjectHandle object : own_) update_one(object, h_.load, seq, &stamp);
      say("request " + std::to_string(seq));
      ambassador_.granted = false;
      rti_.timeAdvanceRequest(stamp);
      tick_until([&] { return ambassador_.granted; });
      say("grant " + std::to_string(static_cast<long>(ambassador_.time)));
    }
  }

  void wait_for_signal() {
    say("waiting");
    const sig_atomic_t wanted = ++signals_waited_;
    tick_for(60, [&] { return signals_received >= wanted; });
    if (signals_received < wanted) {
      say("wait timed out");
      waited_in_vain = true;
    }
  }

  void resign(rti13::ResignAction action) {
    rti_.resignFederationExecution(action);
    resigned_ = true;
    say("resigned");
  }

  std::string name_, me_;
  handles h_;
  data_ambassador ambassador_;
  std::vector<rti13::ObjectHandle> own_;
  sig_atomic_t signals_waited_ = 0;
  bool resigned_ = false;
  // Last, so that it goes first: it may call the ambassador until it is destroyed.
  rti13::RTIambassador rti_;
};

}  // namespace

int main(int argc, char** argv) {
  bool usable = argc >= 3;
  for (int i = 3; i < argc; ++i) usable = usable && federate::known(argv[i]);
  if (!usable) {
    std::fprintf(stderr, "usage: %s NAME FEDERATION ACTION...\n", argv[0]);
    return 2;
  }
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigaction(SIGUSR1, &action, nullptr);

  const std::string name = argv[1], federation = argv[2];
  try {
    federate f(name);
    f.join(federation);
    std::cout << "[" << name << "] joined" << std::endl;
    for (int i = 3; i < argc; ++i) {
      f.run(argv[i]);
      if (f.waited_in_vain) return 3;
    }
    f.finish(federation);
  } catch (const rti13::Exception& e) {
    std::cout << "[" << name << "] refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
