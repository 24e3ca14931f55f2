// A test federate that tours every service of the public rti13 interface with a second process
// of itself: "alpha" creates the federation of tour.fed and leads, "bravo" joins and follows.
// The two keep step through synchronization points; each prints one line per step it takes and
// per callback it receives, so that a scenario test can check what each federate saw:
//   [name] <service> refused: <exception> (<reason>)   or   <service> accepted
//   [name] discover <object> <class> / remove <object> <tag> [at <t>] / remove management object <o>
//   [name] reflect <object> <attribute> <value> [at <t> <transport>]
//   [name] receive <class> <text> [at <t> <transport>]
//   [name] provide <object> <attributes> / turn updates on <object> <attributes>
//   [name] start registration <class> / turn interactions on <class>
//   [name] assumption|release request <object> <attributes> <tag>
//   [name] acquired|divested|unavailable|acquisition cancelled <object> <attributes>
//   [name] owner <object> <attribute> <federate> / not owned <object> <attribute>
//   [name] regulating|constrained|grant <t> / retraction <serial> / mom <federate> handle <h>
//   [name] registered|announced|synchronized <label>
//   [name] done, or stuck: <the line it waited for>
//
//   tour_federate alpha|bravo FEDERATION
// Exit status: 0 after the tour, 1 when a service was refused that the tour did not expect to be,
// 2 for a bad command line, 3 when a wait gave up (each after 60 seconds).
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>
#include <fedtime.hh>

namespace {

using rti13::AttributeHandle;
using rti13::ObjectHandle;

struct stuck : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The handles of tour.fed, the same in every federate.
struct model {
  rti13::ObjectClassHandle ship = 0, mom = 0;
  AttributeHandle name = 0, position = 0, cargo = 0, mom_handle = 0, mom_type = 0;
  rti13::InteractionClassHandle hail = 0, order = 0;
  rti13::ParameterHandle hail_text = 0, order_text = 0;
  rti13::SpaceHandle sea = 0;
  rti13::TransportationHandle reliable = 0, best_effort = 0;
  rti13::OrderingHandle timestamp = 0;
};

std::string text_of(const char* data, rti13::ULong length) {
  std::string value(data ? data : "", data ? length : 0);
  while (!value.empty() && value.back() == '\0') value.pop_back();  // management values end in a zero
  return value;
}

std::string time_text(const rti13::FedTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", RTIfedTime(t).getTime());
  return text;
}

std::unique_ptr<rti13::AttributeHandleSet> set_of(std::initializer_list<AttributeHandle> handles) {
  std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(handles.size()));
  for (AttributeHandle h : handles) set->add(h);
  return set;
}

// Prints every callback as one line and keeps the lines, so that the tour can wait for one.
class tour_ambassador : public NullFederateAmbassador {
public:
  tour_ambassador(std::string me, const model& m) : me_(std::move(me)), m_(m) {}

  // Called for provideAttributeValueUpdate after the line is printed.
  std::function<void(ObjectHandle, const rti13::AttributeHandleSet&)> on_provide;
  std::map<ObjectHandle, std::pair<std::string, rti13::ObjectClassHandle>> objects;
  std::map<rti13::FederateHandle, std::string> federates;  // from the management objects

  void say(const std::string& line) {
    std::cout << me_ << line << std::endl;
    lines_.insert(line);
  }
  bool saw(const std::string& line) const { return lines_.count(line) > 0; }
  bool saw_some(const std::string& start) const {
    const auto found = lines_.lower_bound(start);
    return found != lines_.end() && found->rfind(start, 0) == 0;
  }
  size_t grants = 0;

  std::string object_name(ObjectHandle object) const {
    const auto found = objects.find(object);
    return found == objects.end() ? "object-" + std::to_string(object) : found->second.first;
  }
  std::string attribute_name(ObjectHandle object, AttributeHandle a) const {
    const auto found = objects.find(object);
    if (found != objects.end() && found->second.second == m_.mom)
      return a == m_.mom_handle ? "FederateHandle" : a == m_.mom_type ? "FederateType" : std::to_string(a);
    return a == m_.name ? "Name" : a == m_.position ? "Position" : a == m_.cargo ? "Cargo" : std::to_string(a);
  }
  std::string attributes(ObjectHandle object, const rti13::AttributeHandleSet& set) const {
    std::string text;
    for (rti13::ULong i = 0; i < set.size(); ++i)
      text.append(i ? " " : "").append(attribute_name(object, set.getHandle(i)));
    return text;
  }

  void startRegistrationForObjectClass(rti13::ObjectClassHandle c) override {
    say("start registration " + class_name(c));
  }
  void turnInteractionsOn(rti13::InteractionClassHandle c) override {
    say("turn interactions on " + interaction_name(c));
  }
  void discoverObjectInstance(ObjectHandle object, rti13::ObjectClassHandle c, const char* name) override {
    objects[object] = {name, c};
    if (c != m_.mom) say(std::string("discover ") + name + " " + class_name(c));
  }
  void reflectAttributeValues(ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    reflect(object, values, "");
  }
  void reflectAttributeValues(ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    reflect(object, values, " at " + time_text(t) + " " + transport_name(values.getTransportType(values.start())));
  }
  void receiveInteraction(rti13::InteractionClassHandle c, const rti13::ParameterHandleValuePairSet& values,
                          const char*) override {
    receive(c, values, "");
  }
  void receiveInteraction(rti13::InteractionClassHandle c, const rti13::ParameterHandleValuePairSet& values,
                          const rti13::FedTime& t, const char*, rti13::EventRetractionHandle) override {
    receive(c, values, " at " + time_text(t) + " " + transport_name(values.getTransportType()));
  }
  void removeObjectInstance(ObjectHandle object, const char* tag) override { remove(object, tag, ""); }
  void removeObjectInstance(ObjectHandle object, const rti13::FedTime& t, const char* tag,
                            rti13::EventRetractionHandle) override {
    remove(object, tag, " at " + time_text(t));
  }
  void provideAttributeValueUpdate(ObjectHandle object, const rti13::AttributeHandleSet& set) override {
    say("provide " + object_name(object) + " " + attributes(object, set));
    if (on_provide) on_provide(object, set);
  }
  void turnUpdatesOnForObjectInstance(ObjectHandle object, const rti13::AttributeHandleSet& set) override {
    say("turn updates on " + object_name(object) + " " + attributes(object, set));
  }
  void requestAttributeOwnershipAssumption(ObjectHandle object, const rti13::AttributeHandleSet& set,
                                           const char* tag) override {
    say("assumption " + object_name(object) + " " + attributes(object, set) + " " + tag);
  }
  void attributeOwnershipDivestitureNotification(ObjectHandle object, const rti13::AttributeHandleSet& set) override {
    say("divested " + object_name(object) + " " + attributes(object, set));
  }
  void attributeOwnershipAcquisitionNotification(ObjectHandle object, const rti13::AttributeHandleSet& set) override {
    say("acquired " + object_name(object) + " " + attributes(object, set));
  }
  void attributeOwnershipUnavailable(ObjectHandle object, const rti13::AttributeHandleSet& set) override {
    say("unavailable " + object_name(object) + " " + attributes(object, set));
  }
  void requestAttributeOwnershipRelease(ObjectHandle object, const rti13::AttributeHandleSet& set,
                                        const char* tag) override {
    say("release request " + object_name(object) + " " + attributes(object, set) + " " + tag);
  }
  void confirmAttributeOwnershipAcquisitionCancellation(ObjectHandle object,
                                                        const rti13::AttributeHandleSet& set) override {
    say("acquisition cancelled " + object_name(object) + " " + attributes(object, set));
  }
  void informAttributeOwnership(ObjectHandle object, AttributeHandle a, rti13::FederateHandle owner) override {
    const auto found = federates.find(owner);
    say("owner " + object_name(object) + " " + attribute_name(object, a) + " " +
        (found == federates.end() ? std::to_string(owner) : found->second));
  }
  void attributeIsNotOwned(ObjectHandle object, AttributeHandle a) override {
    say("not owned " + object_name(object) + " " + attribute_name(object, a));
  }
  void timeRegulationEnabled(const rti13::FedTime& t) override { say("regulating " + time_text(t)); }
  void timeConstrainedEnabled(const rti13::FedTime& t) override { say("constrained " + time_text(t)); }
  void timeAdvanceGrant(const rti13::FedTime& t) override {
    ++grants;
    say("grant " + time_text(t));
  }
  void requestRetraction(rti13::EventRetractionHandle h) override {
    say("retraction " + std::to_string(h.theSerialNumber));
  }
  void synchronizationPointRegistrationSucceeded(const char* label) override {
    say(std::string("registered ") + label);
  }
  void announceSynchronizationPoint(const char* label, const char*) override { say(std::string("announced ") + label); }
  void federationSynchronized(const char* label) override { say(std::string("synchronized ") + label); }

private:
  std::string class_name(rti13::ObjectClassHandle c) const {
    return c == m_.ship ? "Ship" : c == m_.mom ? "Manager.Federate" : std::to_string(c);
  }
  std::string transport_name(rti13::TransportType t) const {
    return t == m_.reliable ? "reliable" : t == m_.best_effort ? "best_effort" : std::to_string(t);
  }
  std::string interaction_name(rti13::InteractionClassHandle c) const {
    return c == m_.hail ? "Hail" : c == m_.order ? "Order" : std::to_string(c);
  }
  void reflect(ObjectHandle object, const rti13::AttributeHandleValuePairSet& values, const std::string& when) {
    if (objects[object].second == m_.mom) return management(object, values);
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      say("reflect " + object_name(object) + " " + attribute_name(object, values.getHandle(i)) + " " +
          text_of(data, length) + when);
    }
  }
  // A management object tells a federate's handle and name; it is printed once per federate.
  void management(ObjectHandle, const rti13::AttributeHandleValuePairSet& values) {
    std::string handle, type;
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      (values.getHandle(i) == m_.mom_handle ? handle : type) = text_of(data, length);
    }
    if (handle.empty() || type.empty() || federates.count(std::stoul(handle))) return;
    federates[std::stoul(handle)] = type;
    say("mom " + type + " handle " + handle);
  }
  void receive(rti13::InteractionClassHandle c, const rti13::ParameterHandleValuePairSet& values,
               const std::string& when) {
    std::string text;
    for (rti13::ULong i = values.start(); values.valid(i); i = values.next(i)) {
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      text = text_of(data, length);
    }
    say("receive " + interaction_name(c) + " " + text + when);
  }
  void remove(ObjectHandle object, const char* tag, const std::string& when) {
    const auto found = objects.find(object);
    const bool management_object = found != objects.end() && found->second.second == m_.mom;
    say((management_object ? "remove management object " : "remove ") + object_name(object) +
        (management_object ? "" : std::string(" ") + tag) + when);
    objects.erase(object);
  }

  std::string me_;
  const model& m_;
  std::multiset<std::string> lines_;
};

class tour {
public:
  tour(std::string name, std::string federation)
      : name_(std::move(name)), federation_(std::move(federation)), ambassador_("[" + name_ + "] ", m_) {}

  void run() {
    join();
    look_up();
    meet();
    save_and_restore_are_refused();
    declare();
    objects();
    ownership();
    time();
    regions();
    leave();
    say("done");
  }

private:
  bool leader() const { return name_ == "alpha"; }
  const std::string& other() const {
    static const std::string alpha = "alpha", bravo = "bravo";
    return leader() ? bravo : alpha;
  }
  void say(const std::string& line) { ambassador_.say(line); }

  // Runs call and prints its refusal as "<service> refused: <exception> (<reason>)"; whether a
  // refusal was right is for the test to judge.
  template <class Call>
  void attempt(const std::string& service, Call call) {
    try {
      call();
      say(service + " accepted");
    } catch (const rti13::Exception& e) {
      std::cout << "[" << name_ << "] " << service << " refused: " << e << std::endl;
    }
  }

  void tick_until(const std::function<bool()>& done, const std::string& what) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) throw stuck(what);
      rti_.tick(0.01, 0.05);
    }
  }
  void await(const std::string& line) {
    tick_until([&] { return ambassador_.saw(line); }, line);
  }
  // Both federates achieve label, which the leader registers; the first point names both
  // federates, the others the whole federation.
  void step(const std::string& label) {
    if (leader()) {
      if (label == "declare") {
        std::unique_ptr<rti13::FederateHandleSet> both(rti13::FederateHandleSetFactory::create(2));
        for (const auto& [handle, type] : ambassador_.federates) both->add(handle);
        rti_.registerFederationSynchronizationPoint(label.c_str(), "tour", *both);
      } else {
        rti_.registerFederationSynchronizationPoint(label.c_str(), "tour");
      }
      await("registered " + label);
    }
    await("announced " + label);
    rti_.synchronizationPointAchieved(label.c_str());
    await("synchronized " + label);
  }

  void join() {
    attempt("createFederationExecution", [&] { rti_.createFederationExecution(federation_.c_str(), TOUR_FED); });
    const rti13::FederateHandle me = rti_.joinFederationExecution(name_.c_str(), federation_.c_str(), &ambassador_);
    say("joined as handle " + std::to_string(me));
  }

  void save_and_restore_are_refused() {
    const RTIfedTime at(1.0);
    attempt("requestFederationSave", [&] { rti_.requestFederationSave("first"); });
    attempt("requestFederationSave at a time", [&] { rti_.requestFederationSave("first", at); });
    attempt("federateSaveBegun", [&] { rti_.federateSaveBegun(); });
    attempt("federateSaveComplete", [&] { rti_.federateSaveComplete(); });
    attempt("federateSaveNotComplete", [&] { rti_.federateSaveNotComplete(); });
    attempt("requestFederationRestore", [&] { rti_.requestFederationRestore("first"); });
    attempt("federateRestoreComplete", [&] { rti_.federateRestoreComplete(); });
    attempt("federateRestoreNotComplete", [&] { rti_.federateRestoreNotComplete(); });
  }

  void look_up() {
    m_.ship = rti_.getObjectClassHandle("Ship");
    m_.name = rti_.getAttributeHandle("Name", m_.ship);
    m_.position = rti_.getAttributeHandle("Position", m_.ship);
    m_.cargo = rti_.getAttributeHandle("Cargo", m_.ship);
    m_.mom = rti_.getObjectClassHandle("Manager.Federate");
    m_.mom_handle = rti_.getAttributeHandle("FederateHandle", m_.mom);
    m_.mom_type = rti_.getAttributeHandle("FederateType", m_.mom);
    m_.hail = rti_.getInteractionClassHandle("Hail");
    m_.hail_text = rti_.getParameterHandle("Text", m_.hail);
    m_.order = rti_.getInteractionClassHandle("Order");
    m_.order_text = rti_.getParameterHandle("Text", m_.order);
    m_.sea = rti_.getRoutingSpaceHandle("Sea");
    m_.reliable = rti_.getTransportationHandle("reliable");
    m_.best_effort = rti_.getTransportationHandle("best_effort");
    m_.timestamp = rti_.getOrderingHandle("timestamp");
    const std::unique_ptr<char[]> space(rti_.getRoutingSpaceName(m_.sea));
    const rti13::DimensionHandle y = rti_.getDimensionHandle("Y", m_.sea);
    const std::unique_ptr<char[]> dimension(rti_.getDimensionName(y, m_.sea));
    say(std::string("space ") + space.get() + " dimension " + dimension.get() + " handle " + std::to_string(y));
    say("Position routed in space " + std::to_string(rti_.getAttributeRoutingSpaceHandle(m_.position, m_.ship)) +
        ", Name in " + std::to_string(rti_.getAttributeRoutingSpaceHandle(m_.name, m_.ship)) + ", Hail in " +
        std::to_string(rti_.getInteractionRoutingSpaceHandle(m_.hail)) + ", Order in " +
        std::to_string(rti_.getInteractionRoutingSpaceHandle(m_.order)) + "; Sea is " + std::to_string(m_.sea));
  }

  // Each federate subscribes the management class and waits until it has seen both federates.
  void meet() {
    rti_.subscribeObjectClassAttributes(m_.mom, *set_of({m_.mom_handle, m_.mom_type}));
    tick_until([&] { return ambassador_.federates.size() >= 2; }, "the management objects of both federates");
  }

  void declare() {
    step("declare");
    if (leader()) {
      rti_.enableClassRelevanceAdvisorySwitch();
      rti_.enableInteractionRelevanceAdvisorySwitch();
      rti_.enableAttributeRelevanceAdvisorySwitch();
      rti_.enableAttributeScopeAdvisorySwitch();
      rti_.publishObjectClass(m_.ship, *set_of({m_.name, m_.position, m_.cargo}));
      await("start registration Ship");
      rti_.publishInteractionClass(m_.order);
      rti_.publishInteractionClass(m_.hail);
      await("turn interactions on Hail");
      // Switched off, a publication again gives no advisory.
      rti_.disableClassRelevanceAdvisorySwitch();
      rti_.disableInteractionRelevanceAdvisorySwitch();
      rti_.disableAttributeScopeAdvisorySwitch();
      rti_.unpublishObjectClass(m_.ship);
      rti_.unpublishInteractionClass(m_.order);
      rti_.publishObjectClass(m_.ship, *set_of({m_.name, m_.position, m_.cargo}));
      rti_.publishInteractionClass(m_.order);
      rti_.subscribeObjectClassAttributes(m_.ship, *set_of({m_.cargo}));
      one_ = rti_.registerObjectInstance(m_.ship, "Ship.one");
      ambassador_.objects[one_] = {"Ship.one", m_.ship};
      await("turn updates on Ship.one Name Position Cargo");
      rti_.disableAttributeRelevanceAdvisorySwitch();
      two_ = rti_.registerObjectInstance(m_.ship);
      const std::unique_ptr<char[]> name(rti_.getObjectInstanceName(two_));
      two_name_ = name.get();
      ambassador_.objects[two_] = {two_name_, m_.ship};
      say("registered " + two_name_ + (rti_.getObjectInstanceHandle(name.get()) == two_ ? " (handle found)" : ""));
      ambassador_.on_provide = [this](ObjectHandle object, const rti13::AttributeHandleSet& set) {
        std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(set.size()));
        for (rti13::ULong i = 0; i < set.size(); ++i) values->add(set.getHandle(i), "provided", 8);
        rti_.updateAttributeValues(object, *values, "");
      };
    } else {
      rti_.subscribeObjectClassAttributes(m_.ship, *set_of({m_.name, m_.cargo}));
      rti_.publishObjectClass(m_.ship, *set_of({m_.name, m_.cargo}));
      rti_.subscribeInteractionClass(m_.order);
      rti_.subscribeInteractionClass(m_.hail);
      rti_.unsubscribeInteractionClass(m_.hail);
    }
    step("declared");
  }

  void update(ObjectHandle object, AttributeHandle a, const std::string& value, const RTIfedTime* at = nullptr) {
    std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(1));
    values->add(a, value.c_str(), value.size());
    if (at)
      rti_.updateAttributeValues(object, *values, *at, "");
    else
      rti_.updateAttributeValues(object, *values, "");
  }
  std::unique_ptr<rti13::ParameterHandleValuePairSet> text(rti13::ParameterHandle p, const std::string& value) {
    std::unique_ptr<rti13::ParameterHandleValuePairSet> values(rti13::ParameterSetFactory::create(1));
    values->add(p, value.c_str(), value.size());
    return values;
  }
  // The handle of the object the other federate registered under name, once discovered.
  ObjectHandle discovered(const std::string& name) {
    tick_until([&] {
      for (const auto& [handle, object] : ambassador_.objects)
        if (object.first == name) return true;
      return false;
    }, "discover " + name);
    return rti_.getObjectInstanceHandle(name.c_str());
  }

  void objects() {
    if (leader()) {
      update(one_, m_.name, "one");
      update(one_, m_.cargo, "coal");
      update(two_, m_.name, "two");
      rti_.sendInteraction(m_.order, *text(m_.order_text, "hello"), "");
      step("updated");
      step("deleted locally");
      update(two_, m_.name, "again");
      // Unsubscribed, the management objects go at their next refresh.
      rti_.unsubscribeObjectClass(m_.mom);
      tick_until([&] { return ambassador_.saw("remove management object HLA_MOM_" + handle_of(other())); },
                 "the management objects removed");
      step("objects");
      return;
    }
    step("updated");
    one_ = discovered("Ship.one");
    await("reflect Ship.one Name one");
    await("reflect Ship.one Cargo coal");
    await("receive Order hello");
    say(std::string("class of Ship.one is ") + (rti_.getObjectClass(one_) == m_.ship ? "Ship" : "?"));
    tick_until([&] { return ambassador_.objects.size() >= 4; }, "the second ship");
    for (const auto& [handle, object] : ambassador_.objects)
      if (object.second == m_.ship && handle != one_) two_ = handle, two_name_ = object.first;
    await("reflect " + two_name_ + " Name two");
    rti_.requestObjectAttributeValueUpdate(one_, *set_of({m_.cargo}));
    await("reflect Ship.one Cargo provided");
    rti_.requestClassAttributeValueUpdate(m_.ship, *set_of({m_.name}));
    await("reflect Ship.one Name provided");
    await("reflect " + two_name_ + " Name provided");
    rti_.localDeleteObjectInstance(two_);
    ambassador_.objects.erase(two_);
    attempt("getObjectInstanceName after the local delete", [&] { delete[] rti_.getObjectInstanceName(two_); });
    step("deleted locally");
    // The next update of the owner brings the object back.
    two_ = discovered(two_name_);
    await("reflect " + two_name_ + " Name again");
    step("objects");
  }

  std::string handle_of(const std::string& federate) const {
    for (const auto& [handle, type] : ambassador_.federates)
      if (type == federate) return std::to_string(handle);
    return "?";
  }

  void ownership() {
    const auto cargo = set_of({m_.cargo});
    const auto name = set_of({m_.name});
    if (leader()) {
      // A negotiated offer that bravo takes, and a request that bravo answers.
      rti_.negotiatedAttributeOwnershipDivestiture(one_, *cargo, "offer");
      await("divested Ship.one Cargo");
      step("taken");
      rti_.queryAttributeOwnership(one_, m_.cargo);
      await("owner Ship.one Cargo bravo");
      say(std::string("owns Ship.one Cargo: ") + (rti_.isAttributeOwnedByFederate(one_, m_.cargo) ? "yes" : "no"));
      rti_.attributeOwnershipAcquisition(one_, *cargo, "back");
      await("acquired Ship.one Cargo");
      // An offer withdrawn before bravo tries for it.
      rti_.negotiatedAttributeOwnershipDivestiture(one_, *cargo, "maybe");
      rti_.cancelNegotiatedAttributeOwnershipDivestiture(one_, *cargo);
      step("withdrawn");
      // A request that bravo cancels before it is answered.
      await("release request Ship.one Name want");
      step("asked");
      step("cancelled");
      attempt("attributeOwnershipReleaseResponse after the cancellation",
              [&] { delete rti_.attributeOwnershipReleaseResponse(one_, *name); });
      // Given away unconditionally; bravo picks it up.
      rti_.unconditionalAttributeOwnershipDivestiture(two_, *cargo);
      rti_.queryAttributeOwnership(two_, m_.cargo);
      await("not owned " + two_name_ + " Cargo");
      step("floating");
      step("picked up");
      rti_.queryAttributeOwnership(two_, m_.cargo);
      await("owner " + two_name_ + " Cargo bravo");
      step("ownership");
      return;
    }
    await("assumption Ship.one Cargo offer");
    rti_.attributeOwnershipAcquisition(one_, *cargo, "take");
    await("acquired Ship.one Cargo");
    say(std::string("owns Ship.one Cargo: ") + (rti_.isAttributeOwnedByFederate(one_, m_.cargo) ? "yes" : "no"));
    rti_.queryAttributeOwnership(one_, m_.name);
    await("owner Ship.one Name alpha");
    step("taken");
    await("release request Ship.one Cargo back");
    const std::unique_ptr<rti13::AttributeHandleSet> released(rti_.attributeOwnershipReleaseResponse(one_, *cargo));
    say("released Ship.one " + ambassador_.attributes(one_, *released));
    await("assumption Ship.one Cargo maybe");
    step("withdrawn");
    rti_.attributeOwnershipAcquisitionIfAvailable(one_, *cargo);
    await("unavailable Ship.one Cargo");
    rti_.attributeOwnershipAcquisition(one_, *name, "want");
    step("asked");
    rti_.cancelAttributeOwnershipAcquisition(one_, *name);
    await("acquisition cancelled Ship.one Name");
    step("cancelled");
    step("floating");
    await("assumption " + two_name_ + " Cargo ");
    rti_.attributeOwnershipAcquisitionIfAvailable(two_, *cargo);
    await("acquired " + two_name_ + " Cargo");
    // From now on bravo's Cargo of the second ship goes time-stamped and best effort.
    rti_.changeAttributeOrderType(two_, *cargo, m_.timestamp);
    rti_.changeAttributeTransportationType(two_, *cargo, m_.best_effort);
    step("picked up");
    step("ownership");
  }

  void time() {
    rti_.enableTimeRegulation(RTIfedTime(0), RTIfedTime(1));
    await("regulating 0");
    rti_.enableTimeConstrained();
    await("constrained 0");
    rti_.modifyLookahead(RTIfedTime(2));
    RTIfedTime lookahead;
    rti_.queryLookahead(lookahead);
    say("lookahead " + time_text(lookahead));
    if (leader()) {
      rti_.changeInteractionOrderType(m_.order, m_.timestamp);
      rti_.changeInteractionTransportationType(m_.order, m_.best_effort);
      rti_.changeAttributeOrderType(one_, *set_of({m_.name}), m_.timestamp);
    }
    step("clocks");
    if (leader()) {
      rti_.sendInteraction(m_.order, *text(m_.order_text, "five"), RTIfedTime(5), "");
      const rti13::EventRetractionHandle six =
          rti_.sendInteraction(m_.order, *text(m_.order_text, "six"), RTIfedTime(6), "");
      rti_.retract(six);
      const RTIfedTime seven(7);
      update(one_, m_.name, "seven", &seven);
      rti_.deleteObjectInstance(one_, RTIfedTime(8), "sunk");
      // Beyond bravo's advances to 20; its flush delivers it, and the retraction comes after.
      rti_.changeInteractionTransportationType(m_.order, m_.reliable);
      const rti13::EventRetractionHandle late =
          rti_.sendInteraction(m_.order, *text(m_.order_text, "late"), RTIfedTime(25), "");
      step("sent");
      rti_.timeAdvanceRequest(RTIfedTime(20));
      await("grant 20");
      step("flush");
      step("flushed");
      rti_.retract(late);
      say("retracted " + std::to_string(late.theSerialNumber));
    } else {
      step("sent");
      const RTIfedTime nine(9);
      update(two_, m_.cargo, "tin", &nine);
      rti_.nextEventRequest(RTIfedTime(20));
      await("grant 5");
      rti_.nextEventRequestAvailable(RTIfedTime(20));
      await("grant 7");
      rti_.timeAdvanceRequestAvailable(RTIfedTime(20));
      await("grant 20");
      step("flush");
      const size_t grants = ambassador_.grants;
      rti_.flushQueueRequest(RTIfedTime(30));
      await("receive Order late at 25 reliable");
      tick_until([&] { return ambassador_.grants > grants; }, "the grant after the flush");
      step("flushed");
      // Delivered by the flush, the retracted message comes back as a request to retract it.
      tick_until([&] { return ambassador_.saw_some("retraction "); }, "the retraction of late");
    }
    RTIfedTime now, lbts, next;
    rti_.queryFederateTime(now);
    rti_.queryLBTS(lbts);
    rti_.queryMinNextEventTime(next);
    say("time " + time_text(now) + " lbts " + time_text(lbts) + " next event " + time_text(next));
    step("times");
    rti_.enableAsynchronousDelivery();
    rti_.disableAsynchronousDelivery();
    rti_.disableTimeConstrained();
    rti_.disableTimeRegulation();
    step("time");
  }
  // A region of Sea over [from, to) thousandths of X and the whole of Y.
  std::unique_ptr<rti13::Region> strip(double from, double to) {
    std::unique_ptr<rti13::Region> region(rti_.createRegion(m_.sea, 1));
    const double top = rti13::Region::getMaxExtent();
    region->setRangeLowerBound(0, 0, static_cast<rti13::ULong>(top * from));
    region->setRangeUpperBound(0, 0, static_cast<rti13::ULong>(top * to));
    region->setRangeLowerBound(0, 1, rti13::Region::getMinExtent());
    region->setRangeUpperBound(0, 1, rti13::Region::getMaxExtent());
    rti_.notifyAboutRegionModification(*region);
    return region;
  }

  void regions() {
    const auto position = set_of({m_.position});
    if (!leader()) {
      // A subscription of the class without a region hears everything on its stream: it goes first.
      rti_.unsubscribeObjectClass(m_.ship);
      std::unique_ptr<rti13::Region> watch = strip(0, 0.5);
      rti_.subscribeObjectClassAttributesWithRegion(m_.ship, *watch, *position);
      rti_.subscribeInteractionClassWithRegion(m_.hail, *watch);
      step("watching");
      await("reflect Ship.west Position back west");
      await("receive Hail west again");
      rti_.requestClassAttributeValueUpdateWithRegion(m_.ship, *position, *watch);
      await("reflect Ship.west Position provided");
      step("regions");
      await("remove Ship.west scrapped");
      rti_.unsubscribeObjectClassWithRegion(m_.ship, *watch);
      rti_.unsubscribeInteractionClassWithRegion(m_.hail, *watch);
      rti_.deleteRegion(watch.release());  // deleteRegion frees it
      return;
    }
    std::unique_ptr<rti13::Region> west = strip(0, 0.4), east = strip(0.6, 1);
    const rti13::RegionToken token = rti_.getRegionToken(west.get());
    say(std::string("region of the token is ") + (rti_.getRegion(token) == west.get() ? "west" : "another"));
    AttributeHandle handles[] = {m_.position};
    rti13::Region* in_west[] = {west.get()};
    rti13::Region* in_east[] = {east.get()};
    const ObjectHandle ship_west = rti_.registerObjectInstanceWithRegion(m_.ship, "Ship.west", handles, in_west, 1);
    ambassador_.objects[ship_west] = {"Ship.west", m_.ship};
    const ObjectHandle ship_east = rti_.registerObjectInstanceWithRegion(m_.ship, handles, in_east, 1);
    ambassador_.objects[ship_east] = {"the east ship", m_.ship};
    step("watching");
    update(ship_east, m_.position, "east");
    update(ship_west, m_.position, "west");
    rti_.associateRegionForUpdates(*east, ship_west, *position);
    update(ship_west, m_.position, "moved east");
    rti_.associateRegionForUpdates(*west, ship_west, *position);
    update(ship_west, m_.position, "back west");
    rti_.sendInteractionWithRegion(m_.hail, *text(m_.hail_text, "east"), "", *east);
    rti_.sendInteractionWithRegion(m_.hail, *text(m_.hail_text, "west"), "", *west);
    rti_.sendInteractionWithRegion(m_.hail, *text(m_.hail_text, "west again"), RTIfedTime(40), "", *west);
    step("regions");
    rti_.unassociateRegionForUpdates(*west, ship_west);
    rti_.deleteObjectInstance(ship_east, "scrapped");
    rti_.deleteObjectInstance(ship_west, "scrapped");
    rti_.deleteRegion(east.release());  // deleteRegion frees them
    rti_.deleteRegion(west.release());
  }

  void leave() {
    rti_.tick();
    step("leave");
    if (!leader()) {
      rti_.unsubscribeInteractionClass(m_.order);
      rti_.unpublishObjectClass(m_.ship);
      rti_.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
      say("resigned");
      attempt("destroyFederationExecution", [&] { rti_.destroyFederationExecution(federation_.c_str()); });
      return;
    }
    // Bravo resigns first, releasing the Cargo it owns, and finds alpha still joined when it
    // tries to destroy the federation.
    await("assumption " + two_name_ + " Cargo ");
    rti_.unpublishInteractionClass(m_.hail);
    rti_.resignFederationExecution(rti13::DELETE_OBJECTS);
    say("resigned");
    // The federation can go once bravo is gone.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
      try {
        rti_.destroyFederationExecution(federation_.c_str());
        say("destroyed");
        return;
      } catch (const rti13::FederatesCurrentlyJoined&) {
        if (std::chrono::steady_clock::now() > end) throw;
        rti_.tick(0.1, 0.1);
      }
    }
  }

  std::string name_, federation_;
  model m_;
  tour_ambassador ambassador_;
  ObjectHandle one_ = 0, two_ = 0;
  std::string two_name_;
  // Last, so that it goes first: it may call the ambassador until it is destroyed.
  rti13::RTIambassador rti_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::string(argv[1]) != "alpha" && std::string(argv[1]) != "bravo")) {
    std::fprintf(stderr, "usage: %s alpha|bravo FEDERATION\n", argv[0]);
    return 2;
  }
  const std::string me = std::string("[") + argv[1] + "] ";
  try {
    tour(argv[1], argv[2]).run();
  } catch (const stuck& e) {
    std::cout << me << "stuck: " << e.what() << std::endl;
    return 3;
  } catch (const rti13::Exception& e) {
    std::cout << me << "refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
