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
//   | object   | the sender's own handle, word | | object | the sender's own handle |
//
// The sender's handle tells an announcement repeated late, after the deletion it preceded,
// from a new registration of the name: handles only grow at their sender.
//
// A query asks the owners of the named objects, of the objects of the classes (and their
// subclasses) and of the objects sent on the streams to provide their values; it goes on stream
// 2. A transport change tells the subscribers of owned attributes that they now travel on
// another transport; it goes on the attributes' stream. Both go best effort: a lost one heals
// at the next update or request.
//
//   query_message                                   | transport_change_message
//   | objects | count word, at most 65,536         | | name       | string, at most 4096 bytes |
//   | names   | one string per object             | | transport  | FED transport id, word    |
//   | classes | count word, then class handles     | | attributes | bit vector                |
//   | streams | sparse bit vector, at most 65,536 set |
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bit_vector.h"

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
  uint32_t object = 0;

  void write(brindle::ldm_buf& buffer) const;
  // An unknown class, an empty or overlong name, or a malformed stream set throws
  // ldm_decode_error.
  static creation_message read(brindle::ldm_buf& buffer, const FED& fed);
};

struct deletion_message {
  std::string name;
  uint32_t sender = 0;
  user_tag tag;
  uint32_t object = 0;

  void write(brindle::ldm_buf& buffer) const;
  static deletion_message read(brindle::ldm_buf& buffer);
};

struct query_message {
  static constexpr uint32_t max_names = 1u << 16;
  static constexpr uint32_t max_streams = 1u << 16;

  std::vector<std::string> names;
  std::vector<uint32_t> classes;
  brindle::sparse_bit_vector streams;

  void write(brindle::ldm_buf& buffer) const;
  // A count beyond its limit or beyond the bytes left, an overlong name, a class the FED lacks,
  // or a malformed or oversized stream set throws ldm_decode_error.
  static query_message read(brindle::ldm_buf& buffer, const FED& fed);
};

struct transport_change_message {
  std::string name;
  uint32_t transport = 0;
  brindle::bit_vector attributes;

  void write(brindle::ldm_buf& buffer) const;
  // An empty or overlong name, a transport the FED does not declare or a malformed attribute set
  // throws ldm_decode_error. The set is not clamped to any class here: the receiver does that.
  static transport_change_message read(brindle::ldm_buf& buffer, const FED& fed);
};

}  // namespace varnel
