// The cost the binding adds to a service: one empty service call (getObjectClassHandle by name)
// and one tick with nothing to do, each through RTIambassador and as a direct call of the
// distribution manager's method in the same federate, in the same run. Prints both and their
// ratio (goal: within 1.5x). The federate joins its own federation on the benchmark's port.
//
// Usage: binding_bench [calls per round]   (default 200000; ticks use a tenth of it)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "NullFederateAmbassador.hh"
#include "RTI.hh"
#include "rti13_private.h"
#include "test_rid.h"
#include "test_ports.h"

using namespace brindle;
using namespace varnel;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int rounds = 15;
const char* const class_name = "ObjectRoot.Vehicle";

double ns_per_call(int calls, const std::function<void()>& call) {
  const auto start = clock_type::now();
  for (int i = 0; i < calls; ++i) call();
  return std::chrono::duration<double, std::nano>(clock_type::now() - start).count() / calls;
}

struct pair_result {
  double binding_ns = 1e300;
  double direct_ns = 1e300;
};

// Nanoseconds per call of the fastest round of each side. The rounds alternate between the two
// sides, so that a busy spell of the machine or the warming up of caches favours neither.
pair_result best_of_rounds(int calls, const std::function<void()>& binding, const std::function<void()>& direct) {
  pair_result best;
  for (int round = 0; round < rounds; ++round) {
    best.direct_ns = std::min(best.direct_ns, ns_per_call(calls, direct));
    best.binding_ns = std::min(best.binding_ns, ns_per_call(calls, binding));
  }
  return best;
}

void report(const char* what, double binding_ns, double direct_ns) {
  std::printf("%-34s binding %9.1f ns   direct %9.1f ns   ratio %.2fx%s\n", what, binding_ns, direct_ns,
              binding_ns / direct_ns, binding_ns / direct_ns <= 1.5 ? "" : "   (above the 1.5x goal)");
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200000;
  const uint16_t port = test_port(port_block::bench, 50);
  test_rid_options options;
  options.port = port;
  const scoped_rid_file rid(options);

  NullFederateAmbassador federate;
  rti13::RTIambassador rti;
  rti.createFederationExecution("BindingBench", EXAMPLES_DIR "/demo.fed");
  rti.joinFederationExecution("bench", "BindingBench", &federate);
  rti13::RTIambPrivateData& core = *rti.privateData;

  std::printf("binding_bench: %d calls per round, %d ticks per round, best of %d rounds, port %u, FED demo.fed\n",
              calls, calls / 10, rounds, static_cast<unsigned>(port));

  volatile unsigned sink = 0;
  const pair_result lookup = best_of_rounds(
      calls, [&] { sink = rti.getObjectClassHandle(class_name); },
      [&] { sink = core.get_object_class_handle(class_name); });
  report("getObjectClassHandle(name)", lookup.binding_ns, lookup.direct_ns);
  const pair_result tick = best_of_rounds(
      calls / 10, [&] { sink = rti.tick(); }, [&] { sink = core.tick(); });
  report("tick() with nothing to do", tick.binding_ns, tick.direct_ns);
  (void)sink;

  rti.resignFederationExecution(rti13::NO_ACTION);
  rti.destroyFederationExecution("BindingBench");
  return 0;
}
