// The object manager's two messages. A creation announcement tells every federate that an
// object name is taken, and those that hear its streams that the object exists; it goes on
// stream 2 through the oneshot service "object_creation". A deletion goes after the ordering
// header (time/ordering_messages.h) on the reliable service, in the order of the object's
// privilegeToDelete attribute, so that no loss leaves a ghost object behind.
//
//   creation_message                        | deletion_message
//   | sender   | federate number, word      | | name   | string, at most 4096 bytes |
//   | class    | registering class, word    | | sender | federate number, word     |
//   | name     | string, at most 4096 bytes | | tag    | user_tag                  |
//   | privilege| bool word: the privilege to delete travels with implicit transfer |
//   | streams  | sparse bit vector: the streams of the object's owned attributes  |
#pragma once

#include <cstdint>
#include <string>

#include "messages/user_tag.h"
#include "sparse_bit_vector.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class FED;

struct creation_message {
  uint32_t sender = 0;
  uint32_t class_handle = 0;
  std::string name;
  bool privilege = false;
  brindle::sparse_bit_vector streams;

  void write(brindle::ldm_buf& buffer) const;
  // An unknown class, an empty or overlong name, or a malformed stream set throws
  // ldm_decode_error.
  static creation_message read(brindle::ldm_buf& buffer, const FED& fed);
};

struct deletion_message {
  std::string name;
  uint32_t sender = 0;
  user_tag tag;

  void write(brindle::ldm_buf& buffer) const;
  static deletion_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
