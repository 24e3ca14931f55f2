// The one port allocation of the whole test suite. Every test federation sends on its own UDP
// port so that tests run in parallel under ctest -j without hearing each other; every test, in
// any folder, takes its port from here and from nowhere else.
//
// Ports 20000-29999 are reserved for tests and benchmarks, cut into blocks of 100. Each test
// program (a suite) owns one block; within it, the suite's own file lists the indexes its cases
// take as an enum. A new suite takes the next free block.
//
// The ports are fixed, so two runs of the suite at the same time on one host (two build folders)
// hear each other: run one at a time.
#pragma once

#include <cstdint>

enum class port_block : uint16_t {
  stream_manager_test = 0,
  stream_manager_process_test = 1,  // the peers get the port on their command line
  local_distribution_manager_test = 2,
  federation_scenarios_test = 3,
  rti13_ambassador_test = 4,
  message_services_test = 6,
  federation_manager_test = 7,
  install_federate = 8,  // binding/tests/CMakeLists.txt passes test_port(install_federate, 0) = 20800
  conn_status_test = 9,
  callback_queue_test = 10,
  public_api_scenario_test = 11,
  message_reliable_test = 12,
  message_reliable_loss_test = 13,
  vessmark_fuzz = 14,
  fedstate_fuzz = 15,
  message_best_effort_fuzz = 16,
  message_oneshot_fuzz = 17,
  message_reliable_fuzz = 18,
  service_table_test = 19,
  declaration_test = 20,
  ordering_test = 22,
  msgorder_fuzz = 23,
  time_scenarios_test = 24,
  time_manager_test = 25,
  time_state_fuzz = 26,
  data_scenarios_test = 27,
  transport_test = 28,
  update_fuzz = 30,
  object_messages_fuzz = 31,
  traffic_example_test = 32,  // examples/traffic.rid with its port moved here
  regions_test = 33,
  scope_fuzz = 34,
  region_scenarios_test = 35,
  remterm_test = 36,
  remterm_process_test = 37,  // UDP indexes from 0, the controllers' telnet ports from 50
  ping_test = 38,
  compat_federate = 39,  // tests/compat/CMakeLists.txt passes test_port(compat_federate, 0) = 23900
  syncpoint_manager_test = 40,
  syncpoint_fuzz = 41,
  sync_scenarios_test = 42,
  ownership_test = 43,
  ownership_fuzz = 44,
  ownership_scenarios_test = 45,
  consistency_test = 46,
  transport_change_test = 47,
  query_messages_fuzz = 48,
  intercept_test = 50,
  status_query_monitor_test = 51,
  status_query_fuzz = 52,
  intercept_bench = 53,  // run by hand, never under ctest
  state_consistent_test = 54,
  state_consistent_fuzz = 55,
  state_consistent_scenarios_test = 56,
  console_test = 58,
  vterm_test = 59,
  // UDP: the telnet fuzz target's federation. TCP: vterm_test's port search takes all 100.
  telnet_fuzz = 60,
  vterm_shutdown_test = 61,
  mom_agent_test = 62,
  mom_messages_test = 63,
  mom_fuzz = 64,
  remterm_fuzz = 65,
  soak_run = 68,       // tests/soak/CMakeLists.txt passes test_port(soak_run, 0) = 26800 to tests/soak/run
  several_hosts = 69,  // tests/soak/several_hosts: 26900, inside network namespaces of its own
  service_tour_test = 73,
  bench = 99,  // benchmarks, run by hand and never under ctest
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
