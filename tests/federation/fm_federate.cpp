// A test federate on the distribution manager itself, for the federation scenarios that need
// what the public interface does not offer: it prints every federate that the federation manager
// reports joining or going, and can ask for the federation-wide shut-down. It creates the
// federation named on its command line (or finds it already there), joins it, stays for a while,
// then resigns and destroys the federation when it was the last one.
//
//   fm_federate [options] FEDERATE FEDERATION SECONDS
//     --fed FILE          the federation object model (default: examples/demo.fed)
//     --join-only         do not create the federation; fail when it is not found
//     --trace             switch the "federation" debugging event on (liveness, creates, joins)
//     --shutdown-after S  after S seconds, ask for the federation-wide shut-down
//     --join-after S      after creating, wait S seconds before joining: federates started
//                         together all create the federation before any of them announces it
//
// The RID is the file named by RTI_RID_FILE, or examples/federate_demo.rid when that is unset.
// Exit status: 0 after a normal resign, 1 when a service was refused, 2 for a bad command line;
// a federation-wide shut-down ends the process with -1 (255).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "frame/debugging_events.h"
#include "federation/federation_listing.h"
#include "federation/federation_manager.h"
#include "federation/federate_join_client.h"
#include "frame/ldm_error.h"
#include "millisecond_clock.h"
#include "test_ldm.h"

using namespace brindle;
using namespace varnel;

namespace {

struct options {
  std::string federate;
  std::string federation;
  double seconds = 0;
  std::string fed_file = EXAMPLES_DIR "/demo.fed";
  bool join_only = false;
  bool trace = false;
  double shutdown_after = -1;
  double join_after = 0;
};

bool parse(int argc, char** argv, options& o) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--fed" && i + 1 < argc) {
      o.fed_file = argv[++i];
    } else if (arg == "--join-only") {
      o.join_only = true;
    } else if (arg == "--trace") {
      o.trace = true;
    } else if (arg == "--shutdown-after" && i + 1 < argc) {
      o.shutdown_after = std::atof(argv[++i]);
    } else if (arg == "--join-after" && i + 1 < argc) {
      o.join_after = std::atof(argv[++i]);
    } else if (positional == 0) {
      o.federate = arg, ++positional;
    } else if (positional == 1) {
      o.federation = arg, ++positional;
    } else if (positional == 2) {
      o.seconds = std::atof(arg.c_str()), ++positional;
    } else {
      return false;
    }
  }
  return positional == 3;
}

// Prints every federate of the joined federation that comes or goes.
class announcer : public federate_join_client {
public:
  explicit announcer(std::string me) : me_(std::move(me)) {}
  void federate_joined(federate_record* f) override {
    std::cout << "[" << me_ << "] federate joined: " << f->name << " (" << f->handle << ") on " << f->host_name
              << std::endl;
  }
  void federate_gone(federate_record* f) override {
    std::cout << "[" << me_ << "] federate gone: " << f->name << " (" << f->handle << ")" << std::endl;
  }

private:
  std::string me_;
};

int run(local_distribution_manager& ldm, const options& o) {
  federation_manager& fm = ldm.get_federation_manager();
  const std::string me = "[" + o.federate + "] ";
  if (o.trace) ldm.get_debugging_events().turn_on("federation", nullptr);
  if (!o.join_only) {
    try {
      ldm.create_federation_execution(o.federation.c_str(), o.fed_file.c_str());
      std::cout << me << "created federation " << o.federation << std::endl;
    } catch (const ldm_exception& e) {
      if (e.code() != ldm_error::FederationExecutionAlreadyExists) throw;
      std::cout << me << "federation " << o.federation << " exists already" << std::endl;
    }
  }
  // Unjoined, this federate announces nothing, so others that create meanwhile keep their own
  // record. It sleeps rather than ticks: what the others announce waits in the socket until the
  // first tick after the join, when the join listener hears it.
  std::this_thread::sleep_for(std::chrono::duration<double>(o.join_after));
  const unsigned handle = ldm.join_federation_execution(o.federate.c_str(), o.federation.c_str());
  std::cout << me << "joined federation " << o.federation << " as handle " << handle << std::endl;
  print_joined_federates(fm, std::cout);

  announcer listener(o.federate);
  fm.add_federate_join_client(&listener);
  millisecond_clock clock;
  const uint64_t start = clock.time();
  bool asked = false;
  while (clock.time() - start < static_cast<uint64_t>(o.seconds * 1000)) {
    ldm.tick(0.01, 0.05);
    if (!asked && o.shutdown_after >= 0 && clock.time() - start >= static_cast<uint64_t>(o.shutdown_after * 1000)) {
      std::cout << me << "asking the federation to shut down" << std::endl;
      fm.request_shutdown();
      asked = true;
    }
  }
  std::cout << me << "federates at the end: " << ldm.get_num_joined_federates() << std::endl;
  print_joined_federates(fm, std::cout);
  fm.remove_federate_join_client(&listener);

  ldm.resign_federation_execution(false, false, false);
  std::cout << me << "resigned" << std::endl;
  try {
    ldm.destroy_federation_execution(o.federation.c_str());
    std::cout << me << "destroyed federation " << o.federation << std::endl;
  } catch (const ldm_exception& e) {
    std::cout << me << "left the federation to the others: " << e.detail() << std::endl;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr,
                 "usage: %s [--fed FILE] [--join-only] [--trace] [--shutdown-after S] [--join-after S]\n"
                 "       FEDERATE FEDERATION SECONDS\n",
                 argv[0]);
    return 2;
  }
  if (!std::getenv("RTI_RID_FILE")) setenv("RTI_RID_FILE", EXAMPLES_DIR "/federate_demo.rid", 1);
  // On the heap: a federation-wide shut-down deletes the distribution manager itself.
  auto* ldm = new test_ldm("HLA 1.3 C++ API");
  int status = 0;
  try {
    status = run(*ldm, o);
  } catch (const ldm_exception& e) {
    std::cout << "[" << o.federate << "] refused: " << e.detail() << std::endl;
    status = 1;
  }
  delete ldm;
  return status;
}
