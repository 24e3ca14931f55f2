// The messages of the status queries, sent on stream 1 by the service "status_query_monitor" at
// priority 0x30: one process asks every federate on the network, joined or not, for a snapshot
// of its state, and each answers the asker.
//
//   | # | field   | encoding                                                               |
//   | 1 | kind    | signed word: 0 query, 1 answer, 2 answer with a router list            |
//   | 2 | querier | federate_identifier of the asker's federation manager (never wildcard) |
//   | 3 | number  | unsigned word, the asker's running query number                        |
// An answer goes on with the snapshot:
//   | 4 | version banner, build information                   | two strings              |
//   | 5 | uptime in whole seconds                             | unsigned word            |
//   | 6 | federate identifier stored at join (zero before)    | federate_identifier      |
//   | 7 | federate name, host name, federation name           | three strings ("" before |
//   |   |                                                     | a join)                  |
//   | 8 | local and remote object counts                      | two unsigned words       |
//   | 9 | uplink status                                       | conn_status              |
// and, for kind 2, a router count (at most 256) and that many conn_status.
// Strings are at most 4096 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "conn_status.h"
#include "federate_identifier.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

enum class status_kind : int32_t { query = 0, answer = 1, answer_with_routers = 2 };

// What one federate says about itself.
struct status_snapshot {
  std::string version_banner;
  std::string build_info;
  uint32_t uptime = 0;
  brindle::federate_identifier federate;
  std::string federate_name;
  std::string host_name;
  std::string federation_name;
  uint32_t local_objects = 0;
  uint32_t remote_objects = 0;
  vessmark::conn_status uplink;
  std::vector<vessmark::conn_status> routers;  // only from a federate that runs routers
};

struct status_message {
  static constexpr uint32_t max_routers = 256;

  status_kind kind = status_kind::query;
  brindle::federate_identifier querier;
  uint32_t number = 0;
  status_snapshot snapshot;  // answers only

  // An answer is of kind 2 exactly when the snapshot has routers; at most max_routers are
  // written.
  void write(brindle::ldm_buf& buffer) const;
  // A kind outside 0-2, a wildcard identifier, a string over 4096 bytes, a router count over
  // max_routers or past the bytes left, or reading past the message throw ldm_decode_error.
  static status_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
