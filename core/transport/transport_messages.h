// The two data messages of the transports: an attribute update of one object and an
// interaction; below them, the state-consistent transport's protocol and update trailer. Both are written after the ordering header (time/ordering_messages.h) and travel
// on the transport's message service. Integers are words of the message buffer.
//
//   | field                | update                          | interaction                |
//   | flags                | 0x02, plus 0x08 0x10 0x20       | 0x01, plus 0x10            |
//   | sender               | federate number                 | federate number            |
//   | class                | registering object class        | interaction class          |
//   | region (flag 0x10)   | space, extent count n, then per extent and per dimension of the
//   |                      | receiver's space: lower and upper bound                      |
//   | transports (0x20)    | bit vector: attributes of the object on this message's transport |
//   | count k              | values                          | parameters                 |
//   | k pairs              | handle, length in bytes         | handle, length             |
//   | object name          | string, at most 4096 bytes      | -                          |
//   | tag                  | user_tag                        | user_tag                   |
//   | values               | k raw blocks, in pair order     | k raw blocks               |
//
// Flag 0x08: the object's privilege to delete travels with implicit ownership transfer. Objects
// travel by name: every federate numbers its object handles itself.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bit_vector.h"
#include "federate_identifier.h"
#include "messages/user_tag.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class region_spec;

class FED;
class handle_value_pair;
class handle_value_set;

namespace data_flags {
inline constexpr uint32_t interaction = 0x01;
inline constexpr uint32_t update = 0x02;
inline constexpr uint32_t privilege = 0x08;
inline constexpr uint32_t region = 0x10;
inline constexpr uint32_t transports = 0x20;
}  // namespace data_flags

struct region_block {
  static constexpr uint32_t max_extents = 1024;
  uint32_t space = 0;
  uint32_t extents = 0;
  std::vector<uint32_t> bounds;  // lower, upper per dimension of the space, extent after extent

  // The committed extents of a region, as sent.
  static region_block of(const region_spec& region);
};

// Drops a reference of a value set instead of deleting it.
struct value_set_release {
  void operator()(handle_value_set* values) const;
};
using value_set_ptr = std::unique_ptr<handle_value_set, value_set_release>;

struct data_message {
  uint32_t flags = 0;
  uint32_t sender = 0;
  uint32_t class_handle = 0;
  std::optional<region_block> region;
  std::optional<brindle::bit_vector> transports;
  std::string object_name;
  user_tag tag;

  bool is_update() const { return (flags & data_flags::update) != 0; }

  // Writes the message with these values (pairs in this order).
  void write(brindle::ldm_buf& buffer, const std::vector<const handle_value_pair*>& values) const;

  // Reads one message. Handles are checked against the model: an unknown class throws
  // ldm_decode_error; values of attributes or parameters the class does not have are dropped.
  // Counts and lengths are checked against the bytes left before anything is allocated. A
  // region block of a space this model lacks cannot be read further: the result has no
  // values and unknown_space is set. The values borrow from the buffer, which they hold.
  struct decoded;
  static decoded read(brindle::ldm_buf& buffer, const FED& fed);
};

struct data_message::decoded {
  data_message message;
  value_set_ptr values;
  bool unknown_space = false;
  uint32_t dropped_values = 0;  // handles the class does not have
};


// The state-consistent transport's protocol, on its own stream service ("sc_protocol_" + the
// transport's name). Every message starts with its type word; integers are unsigned words
// unless noted, streams signed words in 1 .. 2^24 - 1, identifiers never the wildcard.
//
//   | type | message     | fields after the type                                  | sent on, priority |
//   | 3    | object NACK | object name, owner identifier, stream, object number   | stream 2, 0x30    |
//   | 4    | list        | sender identifier, list number, count n, then n times: | the listed stream,|
//   |      |             |   object name, class handle, object number             |   0x20            |
//   | 5    | list NACK   | owner identifier, stream, list number                  | stream 2, 0x30    |
//   | 6    | heartbeat   | sender identifier, count n, then n times: stream,      | stream 2, 0x20    |
//   |      |             |   list number                                          |                   |
//
// The update trailer follows the values of every update of the transport:
//
//   | field      | encoding                                                               |
//   | kind       | 1 full (every attribute the sender holds on this transport and stream), |
//   |            | 2 partial                                                              |
//   | sender     | federate_identifier                                                    |
//   | number     | the object's number at the sender                                      |
//   | partial: count n, then n times: attribute handle, the low 32 bits of the checksum   |
//   |          of its value last sent                                                      |
//
// List and object numbers compare modulo 2^32.
namespace sc_type {
inline constexpr uint32_t object_nack = 3;
inline constexpr uint32_t list = 4;
inline constexpr uint32_t list_nack = 5;
inline constexpr uint32_t heartbeat = 6;
}  // namespace sc_type

// True when number a was given out before b: the signed difference is negative.
inline bool sc_older(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b) < 0; }

struct sc_object_nack {
  std::string object_name;
  brindle::federate_identifier owner;
  int32_t stream = 0;
  uint32_t number = 0;

  void write(brindle::ldm_buf& buffer) const;
  // The fields after the type word.
  static sc_object_nack read(brindle::ldm_buf& buffer);
};

struct sc_list_entry {
  std::string object_name;
  uint32_t class_handle = 0;
  uint32_t number = 0;
};

struct sc_list {
  static constexpr uint32_t max_objects = 1u << 16;
  brindle::federate_identifier sender;
  uint32_t number = 0;
  std::vector<sc_list_entry> objects;

  void write(brindle::ldm_buf& buffer) const;
  // Class handles are checked against the model; a count past the bytes left or above
  // max_objects throws.
  static sc_list read(brindle::ldm_buf& buffer, const FED& fed);
};

struct sc_list_nack {
  brindle::federate_identifier owner;
  int32_t stream = 0;
  uint32_t number = 0;

  void write(brindle::ldm_buf& buffer) const;
  static sc_list_nack read(brindle::ldm_buf& buffer);
};

struct sc_heartbeat {
  static constexpr uint32_t max_streams = 4096;
  brindle::federate_identifier sender;
  std::vector<std::pair<int32_t, uint32_t>> lists;  // (stream, list number)

  void write(brindle::ldm_buf& buffer) const;
  static sc_heartbeat read(brindle::ldm_buf& buffer);
};

struct sc_update_trailer {
  static constexpr uint32_t full = 1;
  static constexpr uint32_t partial = 2;
  static constexpr uint32_t max_checksums = 1u << 16;
  uint32_t kind = full;
  brindle::federate_identifier sender;
  uint32_t number = 0;
  std::vector<std::pair<uint32_t, uint32_t>> checksums;  // partial only: (attribute, checksum)

  void write(brindle::ldm_buf& buffer) const;
  static sc_update_trailer read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
