// The two data messages of the transports: an attribute update of one object and an
// interaction. Both are written after the ordering header (time/ordering_messages.h) and travel
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
#include "messages/user_tag.h"
#include "regions/filter_extent.h"

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
  // The extents as ranges; the dimension count is bounds / (2 * extents).
  std::vector<filter_extent> to_extents() const;
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

}  // namespace varnel
