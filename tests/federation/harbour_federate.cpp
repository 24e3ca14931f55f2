// A test federate of regions on the public rti13 interface, in the harbour model: it joins
// (creating the federation when it is not there) and runs the actions of its command line in
// order, printing one line per callback:
//   [name] discover <object name> <class name>
//   [name] reflect <object name> <extents of the set's region, in thousandths of the domain>
//   [name] remove <object name>
//   [name] joined / moved / refused: <exception>
// Coordinates on the command line are thousandths of each dimension's domain, so a test can
// write the cells of a grid over the domain in round numbers.
//
//   harbour_federate NAME FEDERATION ACTION...
//     publish                      publish Ship and Ship.Tanker (Name, Position)
//     ship:CLASS:X0:X1:Y0:Y1:ID    register NAME.ID of CLASS (Ship or Tanker) with a region there
//     watch:X0:X1:Y0:Y1            subscribe Ship (Name, Position) with a region there
//     move:X0:X1:Y0:Y1             move the watch region there and notify
//     moveship:ID:X0:X1:Y0:Y1      move ship ID's region there and notify
//     update:N                     N rounds 100 ms apart, each updating every own ship's Position
//     tick:S                       tick for S seconds
// Exit status: 0 after the actions (it resigns deleting its objects), 1 when a service was
// refused, 2 for a bad command line.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>

namespace {

constexpr double scale = 4294967295.0 / 1000.0;

rti13::ULong normalised(long thousandths) { return static_cast<rti13::ULong>(std::lround(thousandths * scale)); }
long thousandths(rti13::ULong value) { return std::lround(static_cast<double>(value) / scale); }

std::vector<std::string> split(const std::string& action) {
  std::vector<std::string> words;
  size_t from = 0;
  for (size_t colon; (colon = action.find(':', from)) != std::string::npos; from = colon + 1)
    words.push_back(action.substr(from, colon - from));
  words.push_back(action.substr(from));
  return words;
}

// Places the region's one extent at [x0, x1] x [y0, y1] (words from index first on).
void place(rti13::Region& region, const std::vector<std::string>& words, size_t first) {
  for (rti13::DimensionHandle d = 0; d < 2; ++d) {
    region.setRangeLowerBound(0, d, normalised(std::atol(words[first + 2 * d].c_str())));
    region.setRangeUpperBound(0, d, normalised(std::atol(words[first + 2 * d + 1].c_str())));
  }
}

class harbour_ambassador : public NullFederateAmbassador {
public:
  explicit harbour_ambassador(std::string me) : me_(std::move(me)) {}
  std::map<rti13::ObjectClassHandle, std::string> class_names;

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle object_class,
                              const char* name) override {
    names_[object] = name;
    std::cout << me_ << "discover " << name << " " << class_names[object_class] << std::endl;
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    std::string extents;
    try {
      const rti13::Region& region = *values.getRegion(0);
      for (rti13::ULong e = 0; e < region.getNumberOfExtents(); ++e)
        for (rti13::DimensionHandle d = 0; d < 2; ++d)
          extents.append(d == 0 ? "[" : " ")
              .append(std::to_string(thousandths(region.getRangeLowerBound(e, d))))
              .append("-")
              .append(std::to_string(thousandths(region.getRangeUpperBound(e, d))))
              .append(d == 1 ? "]" : "");
    } catch (const rti13::InvalidHandleValuePairSetContext&) {
      extents = "none";
    }
    std::cout << me_ << "reflect " << names_[object] << " " << extents << std::endl;
  }
  void removeObjectInstance(rti13::ObjectHandle object, const char*) override {
    std::cout << me_ << "remove " << names_[object] << std::endl;
  }

private:
  std::string me_;
  std::map<rti13::ObjectHandle, std::string> names_;
};

class federate {
public:
  explicit federate(const std::string& name) : name_(name), ambassador_("[" + name + "] ") {}

  void join(const std::string& federation) {
    try {
      rti_.createFederationExecution(federation.c_str(), EXAMPLES_DIR "/harbour.fed");
    } catch (const rti13::FederationExecutionAlreadyExists&) {
    }
    rti_.joinFederationExecution(name_.c_str(), federation.c_str(), &ambassador_);
    sea_ = rti_.getRoutingSpaceHandle("Sea");
    ship_ = rti_.getObjectClassHandle("Ship");
    tanker_ = rti_.getObjectClassHandle("Ship.Tanker");
    ambassador_.class_names = {{ship_, "Ship"}, {tanker_, "Tanker"}};
    name_attribute_ = rti_.getAttributeHandle("Name", ship_);
    position_ = rti_.getAttributeHandle("Position", ship_);
  }

  static bool known(const std::string& action) {
    static const std::map<std::string, size_t> words = {{"publish", 1}, {"ship", 7}, {"watch", 5}, {"move", 5},
                                                        {"moveship", 6}, {"update", 2}, {"tick", 2}};
    const std::vector<std::string> w = split(action);
    const auto found = words.find(w[0]);
    return found != words.end() && found->second == w.size();
  }

  void run(const std::string& action) {
    const std::vector<std::string> w = split(action);
    if (w[0] == "publish") {
      std::unique_ptr<rti13::AttributeHandleSet> set(attributes());
      rti_.publishObjectClass(ship_, *set);
      rti_.publishObjectClass(tanker_, *set);
    } else if (w[0] == "ship") {
      register_ship(w);
    } else if (w[0] == "watch") {
      watch_ = rti_.createRegion(sea_, 1);
      place(*watch_, w, 1);
      rti_.notifyAboutRegionModification(*watch_);
      std::unique_ptr<rti13::AttributeHandleSet> set(attributes());
      rti_.subscribeObjectClassAttributesWithRegion(ship_, *watch_, *set);
    } else if (w[0] == "move") {
      place(*watch_, w, 1);
      rti_.notifyAboutRegionModification(*watch_);
      std::cout << "[" << name_ << "] moved" << std::endl;
    } else if (w[0] == "moveship") {
      rti13::Region& region = *ships_.at(w[1]).second;
      place(region, w, 2);
      rti_.notifyAboutRegionModification(region);
      std::cout << "[" << name_ << "] moved" << std::endl;
    } else if (w[0] == "update") {
      for (long round = 0; round < std::atol(w[1].c_str()); ++round) {
        for (auto& [id, ship] : ships_) update(ship.first);
        tick_for(0.1);
      }
    } else if (w[0] == "tick") {
      tick_for(std::atof(w[1].c_str()));
    }
  }

  void finish() {
    rti_.resignFederationExecution(rti13::DELETE_OBJECTS);
    for (auto& [id, ship] : ships_) delete ship.second;
    delete watch_;
  }

private:
  rti13::AttributeHandleSet* attributes() const {
    rti13::AttributeHandleSet* set = rti13::AttributeHandleSetFactory::create(2);
    set->add(name_attribute_);
    set->add(position_);
    return set;
  }
  void register_ship(const std::vector<std::string>& w) {
    rti13::Region* region = rti_.createRegion(sea_, 1);
    place(*region, w, 2);
    rti_.notifyAboutRegionModification(*region);
    rti13::AttributeHandle handles[] = {name_attribute_, position_};
    rti13::Region* regions[] = {region, region};
    const std::string object = name_ + "." + w[6];
    const rti13::ObjectHandle handle = rti_.registerObjectInstanceWithRegion(
        w[1] == "Tanker" ? tanker_ : ship_, object.c_str(), handles, regions, 2);
    ships_[w[6]] = {handle, region};
  }
  void update(rti13::ObjectHandle object) {
    std::unique_ptr<rti13::AttributeHandleValuePairSet> values(rti13::AttributeSetFactory::create(1));
    values->add(position_, "here", 4);
    rti_.updateAttributeValues(object, *values, "");
  }
  void tick_for(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) rti_.tick(0.01, 0.05);
  }

  std::string name_;
  harbour_ambassador ambassador_;
  rti13::SpaceHandle sea_ = 0;
  rti13::ObjectClassHandle ship_ = 0, tanker_ = 0;
  rti13::AttributeHandle name_attribute_ = 0, position_ = 0;
  rti13::Region* watch_ = nullptr;
  std::map<std::string, std::pair<rti13::ObjectHandle, rti13::Region*>> ships_;
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
  const std::string name = argv[1];
  try {
    federate f(name);
    f.join(argv[2]);
    std::cout << "[" << name << "] joined" << std::endl;
    for (int i = 3; i < argc; ++i) f.run(argv[i]);
    f.finish();
  } catch (const rti13::Exception& e) {
    std::cout << "[" << name << "] refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
