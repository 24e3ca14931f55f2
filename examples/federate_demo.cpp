// A small command-line federate on the public rti13 interface: creates the federation named on
// its command line (or finds it already there), joins it, looks up a few handles and names of the
// object model, ticks for a while, then resigns and destroys the federation unless others remain.
// Several of them started at once on this host form one federation over loopback multicast.
//
//   federate_demo [options] FEDERATE FEDERATION SECONDS
//     --fed FILE     the federation object model (default: demo.fed beside this source)
//     --join-only    do not create the federation; fail when it is not found
//     --class NAME   also look up this object class (may be repeated)
//     --trace        switch the RTI's "federation" debugging event on through the RID, so the
//                    RTI itself prints the federates it hears join and go
//
// The RID is the file named by RTI_RID_FILE, or examples/federate_demo.rid when that is unset.
// Every refusal is printed as the rti13 exception's name and reason.
// Exit status: 0 after a normal run, 1 when a service was refused, 2 for a bad command line.
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <NullFederateAmbassador.hh>
#include <RTI.hh>

namespace {

const char* const default_fed = EXAMPLES_DIR "/demo.fed";

struct options {
  std::string federate;
  std::string federation;
  double seconds = 0;
  std::string fed_file = default_fed;
  bool join_only = false;
  bool trace = false;
  std::vector<std::string> classes;
};

bool parse(int argc, char** argv, options& o) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fed" && i + 1 < argc) {
      o.fed_file = argv[++i];
    } else if (arg == "--class" && i + 1 < argc) {
      o.classes.push_back(argv[++i]);
    } else if (arg == "--join-only") {
      o.join_only = true;
    } else if (arg == "--trace") {
      o.trace = true;
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else if (positional == 0) {
      o.federate = arg, ++positional;
    } else if (positional == 1) {
      o.federation = arg, ++positional;
    } else if (positional == 2) {
      char* end = nullptr;
      o.seconds = std::strtod(arg.c_str(), &end);
      if (*end != '\0' || o.seconds < 0) return false;
      ++positional;
    } else {
      return false;
    }
  }
  return positional == 3;
}

// This federate neither publishes nor subscribes, so the RTI has nothing to call back; a federate
// of your own overrides here the callbacks it needs (reflectAttributeValues, receiveInteraction...).
class demo_federate : public NullFederateAmbassador {};

// --- --trace: a copy of the RID with the "federation" debugging event switched on ---------------

// Where `token` opens an element of the reader text, skipping comments and strings; npos if none.
size_t find_element(const std::string& text, const std::string& token) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ';') {
      i = text.find('\n', i);
      if (i == std::string::npos) return i;
    } else if (text[i] == '"') {
      i = text.find('"', i + 1);
      if (i == std::string::npos) return i;
    } else if (text.compare(i, token.size(), token) == 0) {
      const size_t end = i + token.size();
      if (end == text.size() || text[end] == ')' || std::isspace(static_cast<unsigned char>(text[end]))) return i;
    }
  }
  return std::string::npos;
}

// The RID text with "federation" added to its debug_flags (a debug_flags section is added to the
// federate_parameters when there is none); "" when the text has neither. Debug flags are not part
// of the federation's RID checksum, so a traced federate still joins untraced ones.
std::string with_federation_trace(std::string text) {
  const std::string flags = "(debug_flags", section = "(federate_parameters", flag = " (federation \"-\")";
  if (size_t at = find_element(text, flags); at != std::string::npos) return text.insert(at + flags.size(), flag);
  if (size_t at = find_element(text, section); at != std::string::npos) {
    return text.insert(at + section.size(), " " + flags + flag + ")");
  }
  return "";
}

// Writes the traced copy of the RID named by RTI_RID_FILE and points RTI_RID_FILE at it. Returns
// the copy's path (the caller removes it once the ambassador has read it), or "" after saying why
// tracing stays off.
std::string point_at_traced_rid(const std::string& me) {
  const std::string rid = std::getenv("RTI_RID_FILE");
  std::ifstream in(rid);
  std::stringstream text;
  text << in.rdbuf();
  const std::string traced = in ? with_federation_trace(text.str()) : "";
  if (traced.empty()) {
    std::cout << me << "--trace needs a RID file in the parenthesised form with a federate_parameters section; "
              << rid << " is not one, so tracing stays off" << std::endl;
    return "";
  }
  const std::filesystem::path copy =
      std::filesystem::temp_directory_path() / ("federate_demo_" + std::to_string(getpid()) + ".rid");
  std::ofstream out(copy);
  if (!(out << traced << std::flush)) {
    std::cout << me << "could not write " << copy.string() << ", so tracing stays off" << std::endl;
    return "";
  }
  setenv("RTI_RID_FILE", copy.c_str(), 1);
  return copy.string();
}

// --- the federation ---------------------------------------------------------------------------

// What to look up, one line each: the name, and for an attribute or a parameter its class.
struct lookup {
  enum kind_type { object_class, attribute, interaction_class, parameter, transportation, ordering } kind;
  std::string name;
  std::string owner;
};

// A few entries of demo.fed; the README explains how their handles are numbered.
std::vector<lookup> demo_lookups() {
  return {{lookup::object_class, "Vehicle.Car", ""},
          {lookup::attribute, "Position", "Vehicle.Car"},
          {lookup::attribute, "Passengers", "Vehicle.Car"},
          {lookup::interaction_class, "Message", ""},
          {lookup::parameter, "Text", "Message"},
          {lookup::transportation, "reliable", ""},
          {lookup::ordering, "timestamp", ""}};
}

// Looks the name up, then the handle's name back, and prints both:
//   [alpha] attribute Passengers of Vehicle.Car: handle 4, named Passengers
void look_up(rti13::RTIambassador& rti, const lookup& l, const std::string& me) {
  static const char* const kinds[] = {"object class", "attribute",      "interaction class",
                                      "parameter",    "transportation", "ordering"};
  unsigned long handle = 0;
  std::unique_ptr<char[]> name;
  switch (l.kind) {
    case lookup::object_class:
      handle = rti.getObjectClassHandle(l.name.c_str());
      name.reset(rti.getObjectClassName(handle));
      break;
    case lookup::attribute: {
      const rti13::ObjectClassHandle owner = rti.getObjectClassHandle(l.owner.c_str());
      handle = rti.getAttributeHandle(l.name.c_str(), owner);
      name.reset(rti.getAttributeName(handle, owner));
      break;
    }
    case lookup::interaction_class:
      handle = rti.getInteractionClassHandle(l.name.c_str());
      name.reset(rti.getInteractionClassName(handle));
      break;
    case lookup::parameter: {
      const rti13::InteractionClassHandle owner = rti.getInteractionClassHandle(l.owner.c_str());
      handle = rti.getParameterHandle(l.name.c_str(), owner);
      name.reset(rti.getParameterName(handle, owner));
      break;
    }
    case lookup::transportation:
      handle = rti.getTransportationHandle(l.name.c_str());
      name.reset(rti.getTransportationName(handle));
      break;
    case lookup::ordering:
      handle = rti.getOrderingHandle(l.name.c_str());
      name.reset(rti.getOrderingName(handle));
      break;
  }
  std::cout << me << kinds[l.kind] << ' ' << l.name << (l.owner.empty() ? "" : " of " + l.owner) << ": handle "
            << handle << ", named " << (name ? name.get() : "(none)") << std::endl;
}

void print_refusal(const std::string& me, const char* service, const rti13::Exception& e) {
  std::cout << me << service << " refused: " << e << std::endl;
}

// Runs the federate's life; returns the exit status.
int run(rti13::RTIambassador& rti, demo_federate& federate, const options& o) {
  const std::string me = "[" + o.federate + "] ";
  if (!o.join_only) {
    try {
      rti.createFederationExecution(o.federation.c_str(), o.fed_file.c_str());
      std::cout << me << "created federation " << o.federation << std::endl;
    } catch (const rti13::FederationExecutionAlreadyExists& e) {
      print_refusal(me, "createFederationExecution", e);  // another federate made it first: join it
    }
  }
  rti13::FederateHandle handle = 0;
  try {
    handle = rti.joinFederationExecution(o.federate.c_str(), o.federation.c_str(), &federate);
  } catch (const rti13::Exception& e) {
    print_refusal(me, "joinFederationExecution", e);
    return 1;
  }
  std::cout << me << "joined federation " << o.federation << " as handle " << handle << std::endl;

  int status = 0;
  std::vector<lookup> lookups = o.fed_file == default_fed ? demo_lookups() : std::vector<lookup>{};
  for (const std::string& name : o.classes) lookups.push_back({lookup::object_class, name, ""});
  for (const lookup& l : lookups) {
    try {
      look_up(rti, l, me);
    } catch (const rti13::Exception& e) {
      print_refusal(me, "lookup", e);  // a misspelt name: report it and carry on
      status = 1;
    }
  }

  // Ticking is what lets the RTI work: heartbeats go out and come in only inside tick.
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(o.seconds);
  while (std::chrono::steady_clock::now() < end) rti.tick(0.01, 0.05);

  rti.resignFederationExecution(rti13::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
  std::cout << me << "resigned" << std::endl;
  try {
    rti.destroyFederationExecution(o.federation.c_str());
    std::cout << me << "destroyed federation " << o.federation << std::endl;
  } catch (const rti13::FederatesCurrentlyJoined& e) {
    print_refusal(me, "destroyFederationExecution", e);  // the others carry on without us
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s [--fed FILE] [--join-only] [--class NAME]... [--trace] FEDERATE FEDERATION SECONDS\n",
                 argv[0]);
    return 2;
  }
  const std::string me = "[" + o.federate + "] ";
  if (!std::getenv("RTI_RID_FILE")) setenv("RTI_RID_FILE", EXAMPLES_DIR "/federate_demo.rid", 1);
  std::string traced_rid = o.trace ? point_at_traced_rid(me) : "";
  demo_federate federate;  // outlives the ambassador, which may call it until the resign
  try {
    rti13::RTIambassador rti;  // reads the RID now, so the traced copy can go at once
    if (!traced_rid.empty()) {
      std::filesystem::remove(traced_rid);
      traced_rid.clear();
    }
    return run(rti, federate, o);
  } catch (const rti13::Exception& e) {
    if (!traced_rid.empty()) std::filesystem::remove(traced_rid);
    std::cout << me << "refused: " << e << std::endl;
    return 1;
  }
}
