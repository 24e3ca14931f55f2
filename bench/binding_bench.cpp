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
#include "test_ports.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int rounds = 15;
const char* const class_name = "ObjectRoot.Vehicle";

std::string rid_text(uint16_t port) {
  char text[1536];
  std::snprintf(text, sizeof text,
                "(rti (version D22)\n"
                "  (federation_parameters\n"
                "    (connectivity_providers (multicast MULTICAST_PATH\n"
                "      (packet_size 1448) (ratelimit_max_mbps 75.0) (fragment_timeout 1000)\n"
                "      (bundle_timeout 20) (bundle_flush_threshold 128) (socket_poll_interval 10)\n"
                "      (base_address \"224.22.0.0\") (port %u) (ttl 0)))\n"
                "    (federation (heartbeat_interval 5) (join_timeout 0) (federate_amber_timeout 12)\n"
                "      (federate_red_timeout 30) (federate_gone_timeout 60)))\n"
                "  (federate_parameters\n"
                "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
                "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 512)\n"
                "      (send_buffer_size 512) (connectivity_map) (spawn_router false))))\n",
                static_cast<unsigned>(port));
  return text;
}

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
  const auto rid_path = std::filesystem::temp_directory_path() / ("binding_bench_" + std::to_string(getpid()) + ".rid");
  std::ofstream(rid_path) << rid_text(port);
  setenv("RTI_RID_FILE", rid_path.c_str(), 1);

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
  std::filesystem::remove(rid_path);
  return 0;
}
