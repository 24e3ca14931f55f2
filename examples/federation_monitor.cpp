// A federate that watches its federation through the management objects: it subscribes the
// class Manager.Federate of the object model, so the RTI shows it every federate of the
// federation, itself included, as an object whose attributes change as that federate works,
// and prints them as a table once a second (redrawn in place on a terminal).
//
//   federation_monitor [--fed FILE] [--seconds N] FEDERATION
//     --fed FILE     the federation object model (default: training.fed beside this source);
//                    it must have the management classes
//     --seconds N    how long to watch (default 30)
//
// It creates the federation when nobody has yet, then joins it as "monitor". Start it beside
// other federates of the same federation and model, for example
//   build/examples/federation_monitor Training &
//   build/examples/federate_demo --fed examples/training.fed alpha Training 20
// The RID is the file named by RTI_RID_FILE, or examples/federate_demo.rid when that is unset.
// Exit status: 0 after a normal run, 1 when a service was refused, 2 for a bad command line.
#include <unistd.h>

#include <chrono>
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

// The columns of the table: the attribute shown and its heading.
struct column {
  const char* attribute;
  const char* heading;
  int width;
};

const std::vector<column> columns = {
    {"FederateHandle", "handle", 11},       {"FederateType", "federate", 12},
    {"FederateHost", "host", 14},           {"UpdatesSent", "updates", 8},
    {"ReflectionsReceived", "reflected", 10}, {"InteractionsSent", "int.sent", 9},
    {"InteractionsReceived", "int.recv", 9},  {"ObjectsOwned", "owned", 6},
    {"OutgoingPacketRate", "out pkt/s", 10}, {"IncomingPacketRate", "in pkt/s", 9},
};

class monitor : public NullFederateAmbassador {
public:
  std::map<rti13::AttributeHandle, size_t> column_of;     // attribute handle -> column
  std::map<rti13::ObjectHandle, std::vector<std::string>> rows;  // one per federate

  void discoverObjectInstance(rti13::ObjectHandle object, rti13::ObjectClassHandle, const char*) override {
    rows[object].assign(columns.size(), "");
  }
  void reflectAttributeValues(rti13::ObjectHandle object, const rti13::AttributeHandleValuePairSet& values,
                              const char*) override {
    std::vector<std::string>& row = rows[object];
    row.resize(columns.size());
    for (rti13::ULong i = 0; i < values.size(); ++i) {
      const auto found = column_of.find(values.getHandle(i));
      if (found == column_of.end()) continue;
      rti13::ULong length = 0;
      const char* data = values.getValuePointer(i, length);
      std::string text(data, length);
      if (!text.empty() && text.back() == '\0') text.pop_back();  // values are text with their zero
      row[found->second] = text;
    }
  }
  void removeObjectInstance(rti13::ObjectHandle object, const char*) override { rows.erase(object); }
};

struct options {
  std::string federation;
  std::string fed_file = EXAMPLES_DIR "/training.fed";
  double seconds = 30;
};

bool parse(int argc, char** argv, options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fed" && i + 1 < argc) {
      o.fed_file = argv[++i];
    } else if (arg == "--seconds" && i + 1 < argc) {
      o.seconds = std::atof(argv[++i]);
    } else if (arg.rfind("--", 0) == 0 || !o.federation.empty()) {
      return false;
    } else {
      o.federation = arg;
    }
  }
  return !o.federation.empty() && o.seconds > 0;
}

void print_table(const monitor& m, const std::string& federation, int second, bool redraw) {
  if (redraw) std::cout << "\033[H\033[J";
  std::cout << "Federation " << federation << ": " << m.rows.size() << " federates (" << second << " s)\n";
  for (const column& c : columns) std::printf("%-*s", c.width, c.heading);
  std::printf("\n");
  for (const auto& [object, row] : m.rows) {
    for (size_t i = 0; i < columns.size(); ++i) std::printf("%-*s", columns[i].width, row[i].c_str());
    std::printf("\n");
  }
  std::printf("\n");
  std::fflush(stdout);
}

int run(rti13::RTIambassador& rti, monitor& m, const options& o) {
  try {
    rti.createFederationExecution(o.federation.c_str(), o.fed_file.c_str());
  } catch (const rti13::FederationExecutionAlreadyExists&) {
    // Somebody else made it: watch theirs.
  }
  rti.joinFederationExecution("monitor", o.federation.c_str(), &m);
  const rti13::ObjectClassHandle federate = rti.getObjectClassHandle("Manager.Federate");
  std::unique_ptr<rti13::AttributeHandleSet> attributes(rti13::AttributeHandleSetFactory::create(columns.size()));
  for (size_t i = 0; i < columns.size(); ++i) {
    const rti13::AttributeHandle handle = rti.getAttributeHandle(columns[i].attribute, federate);
    attributes->add(handle);
    m.column_of[handle] = i;
  }
  rti.subscribeObjectClassAttributes(federate, *attributes);

  const bool redraw = isatty(STDOUT_FILENO);
  const auto start = std::chrono::steady_clock::now();
  for (int second = 1; second <= static_cast<int>(o.seconds); ++second) {
    while (std::chrono::steady_clock::now() < start + std::chrono::seconds(second)) rti.tick(0.05, 0.2);
    print_table(m, o.federation, second, redraw);
  }
  rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  try {
    rti.destroyFederationExecution(o.federation.c_str());
  } catch (const rti13::FederatesCurrentlyJoined&) {
    // The others carry on without us.
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: %s [--fed FILE] [--seconds N] FEDERATION\n", argv[0]);
    return 2;
  }
  if (!std::getenv("RTI_RID_FILE")) setenv("RTI_RID_FILE", EXAMPLES_DIR "/federate_demo.rid", 1);
  monitor m;  // outlives the ambassador, which may call it until the resign
  try {
    rti13::RTIambassador rti;
    return run(rti, m, o);
  } catch (const rti13::Exception& e) {
    std::cout << "[monitor] refused: " << e << std::endl;
    return 1;
  }
}
