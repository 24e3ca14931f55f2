// The messages of the remote terminals, sent on stream 2 by the reliable service
// "remote_terminal". Every word is an unsigned 32-bit value.
//
//   | kind | fields after the kind                        | sent by    | meaning                  |
//   | 1    | controller, target                           | controller | connect request          |
//   | 2    | target, controller                           | target     | connect acknowledgement  |
//   | 3    | controller, target                           | controller | disconnect request       |
//   | 4    | target, controller                           | target     | disconnect acknowledgement |
//   | 5    | controller, target, command line (string)    | controller | one typed line           |
//   | 6    | target, byte count n, n bytes (raw block)    | target     | captured output text     |
//
// For kinds 1 to 5 the second handle is the addressee. A kind-6 message goes to every
// controller of its target at once. A target answers a connect it refuses (remote terminals
// off, or all taken) with kind 4, which gives the controller its local prompt back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

enum class remterm_kind : uint32_t { connect = 1, connected = 2, disconnect = 3, disconnected = 4, line = 5, output = 6 };

struct remterm_message {
  // A command line is cut here; the parser takes no longer line.
  static constexpr size_t max_line = 1024;
  // The most a line may be on the wire before it is refused rather than cut.
  static constexpr size_t max_wire_line = 4096;
  static constexpr uint32_t max_output = 8192;

  remterm_kind kind = remterm_kind::connect;
  uint32_t from = 0;  // the sender's handle
  uint32_t to = 0;    // the addressee's handle; 0 for output
  std::string text;   // the line of kind 5, the bytes of kind 6

  void write(brindle::ldm_buf& buffer) const;
  // A kind outside 1-6, a handle of 0, a line above max_wire_line, an output count above
  // max_output or past the bytes left, or reading past the message throw ldm_decode_error.
  // A line comes back without control characters and '?', cut at max_line bytes, so that it
  // cannot end early, complete or ask for help when the parser takes it keystroke by keystroke.
  static remterm_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
