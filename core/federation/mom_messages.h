// The status messages of the management object agent, sent on stream 2 by the service
// "mom_agent" at priority 0: each federate tells the others its counters and connection once a
// refresh period, and a federate that runs stream routers tells their connections. Every federate
// builds the management objects of the whole federation from them (mom_agent.h).
//
// Federate status:
//   | # | field                                           | encoding                  |
//   | 1 | type 1                                          | unsigned word             |
//   | 2 | federate identifier (never wildcard)            | federate_identifier       |
//   | 3 | updates sent, reflections received,             | six unsigned words        |
//   |   | interactions sent, interactions received,       |                           |
//   |   | receive-order and time-stamp-order queue length |                           |
//   | 4 | uplink                                          | conn_status               |
// Router status:
//   | # | field                                           | encoding                  |
//   | 1 | type 2                                          | unsigned word             |
//   | 2 | router identifier (never wildcard)              | federate_identifier       |
//   | 3 | host name, at most 4096 bytes                   | string                    |
//   | 4 | connection count, at most max_connections       | unsigned word             |
//   | 5 | that many connections                           | conn_status each          |
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "conn_status.h"
#include "federate_identifier.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

// The six counters of a federate status, in wire order.
enum class mom_counter : size_t {
  updates_sent,
  reflections_received,
  interactions_sent,
  interactions_received,
  receive_order_length,
  timestamp_order_length,
};
inline constexpr size_t mom_counter_count = 6;
using mom_counters = std::array<uint32_t, mom_counter_count>;

struct federate_status_message {
  static constexpr uint32_t type = 1;

  brindle::federate_identifier federate;
  mom_counters counters{};
  vessmark::conn_status uplink;

  void write(brindle::ldm_buf& buffer) const;
};

struct router_status_message {
  static constexpr uint32_t type = 2;
  static constexpr uint32_t max_connections = 256;

  brindle::federate_identifier router;
  std::string host_name;
  std::vector<vessmark::conn_status> connections;

  // Writes at most max_connections connections.
  void write(brindle::ldm_buf& buffer) const;
};

using mom_message = std::variant<federate_status_message, router_status_message>;

// Either message. An unknown type, a wildcard identifier, a host name over 4096 bytes, a
// connection count over max_connections or past the bytes left, an unknown connection state or
// reading past the message throw ldm_decode_error.
mom_message read_mom_message(brindle::ldm_buf& buffer);

}  // namespace varnel
