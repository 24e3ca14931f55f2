// The one port allocation of the whole test suite. Every test federation sends on its own UDP
// port so that tests run in parallel under ctest -j without hearing each other; every test, in
// any folder, takes its port from here and from nowhere else.
//
// Ports 20000-29999 are reserved for tests and benchmarks. They are cut into blocks of 100, one
// block per test program (a suite); within its block a test case names its own index:
//
//   block  ports          used by
//   0      20000-20099    vessmark stream transport tests
//   1      20100-20199    vessmark multi-process tests (the peer gets the port on its command line)
//   2      20200-20299    distribution manager tests (core/tests)
//   3      20300-20399    federation scenarios (tests/federation)
//   4      20400-20499    binding tests
//   5      20500-20599    examples run as tests
//   6      20600-20699    message service tests (core/tests)
//   7      20700-20799    federation manager tests (core/tests)
//   99     29900-29999    benchmarks (run by hand, never under ctest)
//
// Within the vessmark block, stream_manager_test takes indexes 0-49, conn_status_test 50-59 and
// the vessmark fuzz target 99; within the core block, local_distribution_manager_test takes
// 0-9 and callback_queue_test 10. Within the binding block, the set and time tests have 0-49
// (none takes a port yet), rti13_ambassador_test 50-62 and the installed federate 99. Within the
// federation block, federation_scenarios_test has 0-49 (it takes 0-6) and
// public_api_scenario_test 50-99 (it takes 50-54). Within the benchmark block, the transport
// benchmark takes 0-9, the message service benchmark 10-19, the federation benchmark 20-49 and
// the binding benchmark 50-59. A new suite takes the next free block and adds a line here.
//
// The ports are fixed, so two runs of the suite at the same time on one host (two build folders)
// hear each other: run one at a time.
#pragma once

#include <cstdint>

enum class port_block : uint16_t {
  vessmark = 0,
  vessmark_processes = 1,
  core = 2,
  federation = 3,
  binding = 4,
  examples = 5,
  message_services = 6,
  federation_manager = 7,
  bench = 99,
};

constexpr uint16_t first_test_port = 20000;
constexpr uint16_t ports_per_block = 100;

// The port of test index within block; an index outside the block does not compile where the
// result is used as a constant.
constexpr uint16_t test_port(port_block block, uint16_t index) {
  if (index >= ports_per_block) throw "test port index outside its block";
  return static_cast<uint16_t>(first_test_port + static_cast<uint16_t>(block) * ports_per_block + index);
}

static_assert(test_port(port_block::bench, ports_per_block - 1) <= 29999);
