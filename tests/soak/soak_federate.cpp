// The soak run's federate, on the public rti13 interface with demo.fed. It joins (creating the
// federation when it is not there), publishes and subscribes Vehicle.Truck and Collision,
// becomes regulating (lookahead 1) and constrained, and waits until it has discovered an object
// of every peer named on its command line. Then it steps in lockstep until the wall-clock
// deadline, each step at least --pace milliseconds:
//   - one Collision in receive order and one stamped at the next time, both reliable;
//   - an update of Name (reliable, receive order) of one of its trucks, round robin, and of Load
//     (reliable, stamped) of its newest; Position (best effort) of every truck whose Position it
//     owns;
//   - every 4 steps it deletes its oldest truck and registers a new one; every 3 steps it
//     offers the Positions it owns by negotiated divestiture, which the others take when
//     available, so Positions travel between federates;
//   - a time advance request to the next time.
// Every reliable value carries its sender's name and a per-kind sequence number, so that a
// receiver can count what it got from whom. After the deadline it sends nothing more and steps
// --quiet steps, so that everything the others sent before reaches it (a grant comes only once
// every reliable message its senders sent before their time state has arrived), then prints its
// report and resigns:
//   [name] sent ro <n> tso <n> name <n> load <n> deletes <n>
//   [name] from <sender> ro <n> tso <n> name <n> load <n> removes <n> duplicates <n> [missing <kind> <seq>]...
//   [name] ownership gained <n> divested <n> refused <n>
//   [name] late <n>        stamped values delivered at or before a time already granted
//   [name] late value <value> at <stamp> granted <time>      (the first few)
//   [name] steps <n> time <t>
// and, while running: "[name] joined", "[name] regulating <time>", "[name] ready <time>" and
// "[name] step <time>" every 10 steps.
//
//   soak_federate NAME FEDERATION DEADLINE [--peers A,B,...] [--trucks N] [--pace MS] [--quiet N]
//     DEADLINE is in seconds since the epoch (CLOCK_REALTIME), so that every federate of a run
//     stops sending at the same step.
// Exit status: 0 after the report, 1 when a service was refused, 2 for a bad command line.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include <fedtime.hh>

#include "demo_federation.h"
#include "time_ambassador.h"

namespace {

struct options {
  std::string name, federation;
  double deadline = 0;
  std::vector<std::string> peers;
  int trucks = 3;
  int pace_ms = 100;
  int quiet_steps = 10;
};

bool parse(int argc, char** argv, options& o) {
  if (argc < 4) return false;
  o.name = argv[1];
  o.federation = argv[2];
  o.deadline = std::atof(argv[3]);
  for (int i = 4; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const std::string value = argv[++i];
    if (arg == "--peers") {
      std::stringstream list(value);
      for (std::string peer; std::getline(list, peer, ',');)
        if (!peer.empty() && peer != o.name) o.peers.push_back(peer);
    } else if (arg == "--trucks") {
      o.trucks = std::atoi(value.c_str());
    } else if (arg == "--pace") {
      o.pace_ms = std::atoi(value.c_str());
    } else if (arg == "--quiet") {
      o.quiet_steps = std::atoi(value.c_str());
    } else {
      return false;
    }
  }
  return o.deadline > 0 && o.trucks > 0 && o.pace_ms >= 0 && o.quiet_steps > 0;
}

double wall_seconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// The kinds of reliable value a federate sends, each numbered from 0 by its sender.
enum kind { ro, tso, name, load, kinds };
const char* const kind_names[kinds] = {"ro", "tso", "name", "load"};

// "<sender> <kind> <seq>": what every reliable value carries.
std::string value_text(const std::string& sender, kind k, long seq) {
  return sender + " " + kind_names[k] + " " + std::to_string(seq);
}

// What one receiver got of one kind from one sender. Reliable values of one kind come in the
// order they were sent, so only the numbers skipped are kept, not every one received: the
// soak's own bookkeeping must not grow with its length.
struct sequence_tally {
  long received = 0;       // distinct numbers
  long next = 0;           // one past the highest received
  std::set<long> skipped;  // below next and not received
  long duplicates = 0;

  void note(long seq) {
    if (seq >= next) {
      for (long missing = next; missing < seq; ++missing) skipped.insert(missing);
      next = seq + 1;
      ++received;
    } else if (skipped.erase(seq)) {
      ++received;
    } else {
      ++duplicates;
    }
  }
};

// What one receiver got from one sender: each kind's tally, the removals of its trucks.
struct from_sender {
  sequence_tally kind[kinds];
  long removes = 0;
};

struct model {
  rti13::ObjectClassHandle truck = 0;
  rti13::AttributeHandle name = 0, position = 0, load = 0;
  rti13::InteractionClassHandle collision = 0;
  rti13::ParameterHandle first = 0;
};

class soak_ambassador : public time_ambassador {
public:
  explicit soak_ambassador(const model& m) : m_(m) {}

  long late = 0;
  std::vector<std::string> late_values;  // the first few, for the report
  long gained = 0, divested = 0;
  std::map<std::string, from_sender> senders;
  std::map<rti13::ObjectHandle, std::string> objects;  // discovered, by handle: the truck's name
  std::set<rti13::ObjectHandle> removed;                // this tick's removals, for the federate
  std::set<rti13::ObjectHandle> offered;                // Positions others offer
  std::set<rti13::ObjectHandle> positions_gained;
  std::set<rti13::ObjectHandle> positions_divested;
  std::set<rti13::ObjectHandle> provide;                // values others asked for

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle, const char* name) override {
    objects[object] = name;
  }
  void reflectAttributeValues(rti13::ObjectHandle, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    note_values(values);
  }
  void reflectAttributeValues(rti13::ObjectHandle, const rti13::AttributeHandleValuePairSet& values,
                              const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    note_stamp(t);
    note_values(values);
  }
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& values,
                          const char*) override {
    note_values(values);
  }
  void receiveInteraction(rti13::InteractionClassHandle, const rti13::ParameterHandleValuePairSet& values,
                          const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    note_stamp(t);
    note_values(values);
  }
  void removeObjectInstance(rti13::ObjectHandle object, const char*) override { remove(object); }
  void removeObjectInstance(rti13::ObjectHandle object, const rti13::FedTime&, const char*,
                            rti13::EventRetractionHandle) override {
    remove(object);
  }
  void requestAttributeOwnershipAssumption(rti13::ObjectHandle object, const rti13::AttributeHandleSet&,
                                           const char*) override {
    offered.insert(object);
  }
  void attributeOwnershipAcquisitionNotification(rti13::ObjectHandle object, const rti13::AttributeHandleSet&) override {
    ++gained;
    positions_gained.insert(object);
  }
  void provideAttributeValueUpdate(rti13::ObjectHandle object, const rti13::AttributeHandleSet&) override {
    provide.insert(object);
  }
  void attributeOwnershipDivestitureNotification(rti13::ObjectHandle object, const rti13::AttributeHandleSet&) override {
    ++divested;
    positions_divested.insert(object);
  }

private:
  // A stamped value is late when this federate was already granted its time: every value up
  // to a granted time must have been delivered before the grant.
  void note_stamp(const rti13::FedTime& t) { stamp_late_ = RTIfedTime(t).getTime() <= time ? RTIfedTime(t).getTime() : -1; }
  template <class Set>
  void note_values(const Set& values) {
    if (stamp_late_ >= 0) {
      ++late;
      if (late_values.size() < 5 && values.size() > 0) {
        rti13::ULong length = 0;
        const char* data = values.getValuePointer(0, length);
        late_values.push_back(std::string(data ? data : "", data ? length : 0) + " at " + std::to_string(stamp_late_) +
                              " granted " + std::to_string(time));
      }
      stamp_late_ = -1;
    }
    for (rti13::ULong i = 0; i < values.size(); ++i) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      std::istringstream in(std::string(data ? data : "", data ? length : 0));
      std::string sender, kind_name;
      long seq = -1;
      if (!(in >> sender >> kind_name >> seq)) continue;  // a best-effort Position
      for (int k = 0; k < kinds; ++k)
        if (kind_name == kind_names[k]) senders[sender].kind[k].note(seq);
    }
  }
  void remove(rti13::ObjectHandle object) {
    const auto found = objects.find(object);
    if (found != objects.end()) {
      // Trucks are named "<registrar>/<serial>".
      ++senders[found->second.substr(0, found->second.find('/'))].removes;
      objects.erase(found);
    }
    removed.insert(object);
  }

  const model& m_;
  double stamp_late_ = -1;  // the stamp of the value being delivered when it is late
};

std::unique_ptr<rti13::AttributeHandleSet> set_of(std::initializer_list<rti13::AttributeHandle> handles) {
  std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(3));
  for (rti13::AttributeHandle h : handles) set->add(h);
  return set;
}

class federate {
public:
  explicit federate(const options& o) : o_(o), me_("[" + o.name + "] "), ambassador_(m_) {}

  void join() {
    join_demo_federation(rti_, o_.name, o_.federation, &ambassador_);
    m_.truck = rti_.getObjectClassHandle("Vehicle.Truck");
    m_.name = rti_.getAttributeHandle("Name", m_.truck);
    m_.position = rti_.getAttributeHandle("Position", m_.truck);
    m_.load = rti_.getAttributeHandle("Load", m_.truck);
    m_.collision = rti_.getInteractionClassHandle("Collision");
    m_.first = rti_.getParameterHandle("First", m_.collision);
    const auto attributes = set_of({m_.name, m_.position, m_.load});
    rti_.publishObjectClass(m_.truck, *attributes);
    rti_.subscribeObjectClassAttributes(m_.truck, *attributes);
    rti_.publishInteractionClass(m_.collision);
    rti_.subscribeInteractionClass(m_.collision);
    say("joined");
  }

  void start() {
    rti_.enableTimeRegulation(RTIfedTime(0.0), RTIfedTime(1.0));
    tick_until([&] { return ambassador_.regulating; });
    rti_.enableTimeConstrained();
    tick_until([&] { return ambassador_.constrained; });
    rti_.enableAsynchronousDelivery();
    say("regulating " + number(ambassador_.time));
    for (int k = 0; k < o_.trucks; ++k) register_truck(false);
    // The others may join and register later: name the trucks again until every peer's are
    // discovered, then give their time states a moment to arrive. These names are not counted:
    // a peer that has not subscribed yet cannot receive them.
    while (!peers_discovered()) {
      for (rti13::ObjectHandle truck : trucks_) update(truck, m_.name, o_.name + " hello 0", nullptr);
      tick_for(0.2);
    }
    tick_for(2);
    say("ready " + number(ambassador_.time));
  }

  void run() {
    long step = 0;
    for (; wall_seconds() < o_.deadline; ++step) {
      const auto step_end = std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.pace_ms);
      send_step(step);
      advance();
      tick_for_until(step_end);
      if (step % 10 == 0) say("step " + number(ambassador_.time));
    }
    for (int quiet = 0; quiet < o_.quiet_steps; ++quiet, ++step) advance();
    steps_ = step;
  }

  void report() {
    say(std::string("sent ro ").append(std::to_string(sent_[ro])) + " tso " + std::to_string(sent_[tso]) + " name " +
        std::to_string(sent_[name]) + " load " + std::to_string(sent_[load]) + " deletes " + std::to_string(deletes_));
    for (const auto& [sender, got] : ambassador_.senders) {
      std::string line = "from " + sender;
      long duplicates = 0;
      for (const sequence_tally& tally : got.kind) duplicates += tally.duplicates;
      for (int k = 0; k < kinds; ++k) line += std::string(" ") + kind_names[k] + " " + std::to_string(got.kind[k].received);
      say(line + " removes " + std::to_string(got.removes) + " duplicates " + std::to_string(duplicates) + gaps(got));
    }
    say("ownership gained " + std::to_string(ambassador_.gained) + " divested " + std::to_string(ambassador_.divested) +
        " refused " + std::to_string(ownership_refusals_));
    say("late " + std::to_string(ambassador_.late));
    for (const std::string& value : ambassador_.late_values) say("late value " + value);
    say("steps " + std::to_string(steps_) + " time " + number(ambassador_.time));
  }

  void resign() {
    // Deleting at resign would reach some receivers before their report and others after.
    rti_.resignFederationExecution(rti13::NO_ACTION);
    say("resigned");
    try {
      rti_.destroyFederationExecution(o_.federation.c_str());
    } catch (const rti13::Exception&) {
    }
  }

private:
  void say(const std::string& line) const { std::cout << me_ << line << std::endl; }
  // The first few sequence numbers missing below the highest one received, per kind.
  static std::string gaps(const from_sender& got) {
    std::string text;
    for (int k = 0; k < kinds; ++k) {
      int listed = 0;
      for (auto seq = got.kind[k].skipped.begin(); seq != got.kind[k].skipped.end() && listed < 5; ++seq, ++listed)
        text += std::string(" missing ") + kind_names[k] + " " + std::to_string(*seq);
    }
    return text;
  }
  static std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }

  template <class Done>
  void tick_until(Done done) {
    while (!done()) {
      rti_.tick(0.001, 0.01);
      follow_ownership();
    }
  }
  void tick_for_until(std::chrono::steady_clock::time_point end) {
    tick_until([&] { return std::chrono::steady_clock::now() >= end; });
  }
  void tick_for(double seconds) {
    tick_for_until(std::chrono::steady_clock::now() +
                   std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds)));
  }

  bool peers_discovered() const {
    for (const std::string& peer : o_.peers) {
      bool found = false;
      for (const auto& [object, name] : ambassador_.objects) found = found || name.rfind(peer + "/", 0) == 0;
      if (!found) return false;
    }
    return true;
  }

  // Once running, receivers discover a new truck from its counted reliable Name, so that its
  // deletion reaches every one of them too.
  void register_truck(bool counted) {
    const std::string truck = o_.name + "/" + std::to_string(registered_++);
    const rti13::ObjectHandle object = rti_.registerObjectInstance(m_.truck, truck.c_str());
    trucks_.push_back(object);
    positions_.insert(object);
    if (counted) update_name(object);
  }

  void update(rti13::ObjectHandle object, rti13::AttributeHandle attribute, const std::string& value,
              const RTIfedTime* stamp) {
    std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(1));
    values->add(attribute, value.data(), static_cast<rti13::ULong>(value.size()));
    if (stamp)
      rti_.updateAttributeValues(object, *values, *stamp, "");
    else
      rti_.updateAttributeValues(object, *values, "");
  }
  void update_name(rti13::ObjectHandle object) { update(object, m_.name, value_text(o_.name, name, sent_[name]++), nullptr); }

  void send_collision(kind k, const RTIfedTime* stamp) {
    std::unique_ptr<rti13::ParameterHandleValuePairSet> values(rti13::ParameterSetFactory::create(1));
    const std::string value = value_text(o_.name, k, sent_[k]++);
    values->add(m_.first, value.data(), static_cast<rti13::ULong>(value.size()));
    if (stamp)
      rti_.sendInteraction(m_.collision, *values, *stamp, "");
    else
      rti_.sendInteraction(m_.collision, *values, "");
  }

  void send_step(long step) {
    const RTIfedTime next(ambassador_.time + 1);
    send_collision(ro, nullptr);
    send_collision(tso, &next);
    const size_t count = trucks_.size();
    update_name(trucks_[size_t(step) % count]);
    // A stamped value waits in the receivers' queues until their grant, while a deletion in
    // receive order does not: stamp only the newest truck, which is deleted last.
    update(trucks_.back(), m_.load, value_text(o_.name, load, sent_[load]++), &next);
    for (rti13::ObjectHandle object : positions_) update_position(object);
    if (step % 4 == 3) replace_oldest_truck();
    if (step % 3 == 2) offer_positions();
  }

  // A Position this federate believes it owns may have been taken by a deletion meanwhile.
  void update_position(rti13::ObjectHandle object) {
    try {
      update(object, m_.position, o_.name, nullptr);
    } catch (const rti13::Exception&) {
      ++ownership_refusals_;
    }
  }

  void replace_oldest_truck() {
    const rti13::ObjectHandle oldest = trucks_.front();
    trucks_.pop_front();
    positions_.erase(oldest);
    rti_.deleteObjectInstance(oldest, "");
    ++deletes_;
    register_truck(true);
  }

  // Offers every Position this federate owns; what an offer finds already being divested or
  // gone is counted, not fatal: an offer races with the others' takes and deletions.
  void offer_positions() {
    for (rti13::ObjectHandle object : positions_) {
      try {
        rti_.negotiatedAttributeOwnershipDivestiture(object, *set_of({m_.position}), "soak");
      } catch (const rti13::Exception&) {
        ++ownership_refusals_;
      }
    }
  }

  // Takes what others offer, keeps the set of owned Positions up to date, and answers those who
  // begin to hear the trucks (a federate that joins late discovers them so, while the others
  // wait for it in a time advance). The Name it provides is not counted.
  void follow_ownership() {
    for (rti13::ObjectHandle object : ambassador_.provide) {
      if (std::find(trucks_.begin(), trucks_.end(), object) != trucks_.end())
        update(object, m_.name, o_.name + " hello 0", nullptr);
      if (positions_.count(object)) update_position(object);
    }
    ambassador_.provide.clear();
    for (rti13::ObjectHandle object : ambassador_.positions_gained) positions_.insert(object);
    for (rti13::ObjectHandle object : ambassador_.positions_divested) positions_.erase(object);
    for (rti13::ObjectHandle object : ambassador_.removed) positions_.erase(object);
    ambassador_.positions_gained.clear();
    ambassador_.positions_divested.clear();
    ambassador_.removed.clear();
    for (rti13::ObjectHandle object : ambassador_.offered) {
      if (positions_.count(object)) continue;
      try {
        rti_.attributeOwnershipAcquisitionIfAvailable(object, *set_of({m_.position}));
      } catch (const rti13::Exception&) {
        ++ownership_refusals_;
      }
    }
    ambassador_.offered.clear();
  }

  void advance() {
    ambassador_.granted = false;
    rti_.timeAdvanceRequest(RTIfedTime(ambassador_.time + 1));
    tick_until([&] { return ambassador_.granted; });
  }

  const options& o_;
  const std::string me_;
  model m_;
  soak_ambassador ambassador_;
  std::deque<rti13::ObjectHandle> trucks_;
  std::set<rti13::ObjectHandle> positions_;  // trucks whose Position this federate owns
  long sent_[kinds] = {};
  long registered_ = 0, deletes_ = 0, ownership_refusals_ = 0, steps_ = 0;
  // Last, so that it goes first: it may call the ambassador until it is destroyed.
  rti13::RTIambassador rti_;
};

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s NAME FEDERATION DEADLINE [--peers A,B,...] [--trucks N] [--pace MS] [--quiet N]\n",
                 argv[0]);
    return 2;
  }
  try {
    federate f(o);
    f.join();
    f.start();
    f.run();
    f.report();
    f.resign();
  } catch (const rti13::Exception& e) {
    std::cout << "[" << o.name << "] refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
