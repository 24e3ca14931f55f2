// The one message of the synchronization points, sent on stream 2 by the reliable service
// "syncpoint_manager" and repeated by the best-effort service "syncpoint_repeat" while a point is
// pending (a repeat that is lost leaves no gap in the reliable sequence).
//
//   | # | field     | encoding                                                          |
//   | 1 | sender    | federate_identifier (never the wildcard)                          |
//   | 2 | kind      | signed word: 1 register/announce, 2 achieved, 3 synchronized      |
//   | 3 | registrar | federate_identifier (never the wildcard)                          |
//   | 4 | serial    | unsigned word, the registrar's running number                     |
//   | 5 | label     | string, at most 4096 bytes                                        |
//   | 6 | tag       | user_tag                                                          |
//   | 7 | members   | unsigned word n, 0xFFFFFFFF for a point of the whole federation   |
//   | 8 | n federate_identifier values, strictly ascending, n at most 4096                |
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "federate_identifier.h"
#include "messages/user_tag.h"
#include "messages/wire_vectors.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

enum class syncpoint_kind : int32_t { announce = 1, achieved = 2, synchronized = 3 };

using federate_identifier_set = std::set<brindle::federate_identifier>;

// A point is known everywhere by its registrar and the registrar's serial.
struct syncpoint_key {
  brindle::federate_identifier registrar;
  uint32_t serial = 0;

  bool operator<(const syncpoint_key& other) const {
    if (registrar != other.registrar) return registrar < other.registrar;
    return serial < other.serial;
  }
  bool operator==(const syncpoint_key& other) const = default;
};

struct syncpoint_message {
  static constexpr uint32_t whole_federation = 0xFFFFFFFF;
  static constexpr uint32_t max_members = 4096;
  static constexpr size_t max_label = max_name_length;

  brindle::federate_identifier sender;
  syncpoint_kind kind = syncpoint_kind::announce;
  syncpoint_key point;
  std::string label;
  user_tag tag;
  std::optional<federate_identifier_set> members;  // none: every federate of the federation

  void write(brindle::ldm_buf& buffer) const;
  // A wildcard identifier, a kind outside 1-3, an overlong label, a member count past
  // the bytes left or above max_members, or members out of order throw ldm_decode_error.
  static syncpoint_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
