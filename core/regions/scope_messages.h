// The scope message: a sender tells the receivers of an object's attributes on one stream that
// those attributes now travel on another stream, or on none. It goes on the stream the
// attributes leave, through the stream service "scope".
//
//   | field      | form                                                      |
//   | object     | name string, at most 4096 bytes, not empty                |
//   | new stream | signed 32-bit word; -1 for none                           |
//   | attributes | a length word and a bit vector's flat form                |
#pragma once

#include <cstdint>
#include <string>

#include "bit_vector.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

struct scope_message {
  std::string object;
  int32_t new_stream = -1;
  brindle::bit_vector attributes;

  void write(brindle::ldm_buf& buffer) const;
  // An empty or overlong name, a stream below -1 or beyond the transport's streams, or a
  // malformed bit vector throws ldm_decode_error. The attribute set is as the sender wrote it:
  // the receiver clamps it to the object's class.
  static scope_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
