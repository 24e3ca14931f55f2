// The messages of the ping service "ping", a plain stream service: requests go out on the
// stream being pinged, replies on stream 2. Words are 32-bit, unsigned unless said.
//
//   | kind | fields                                                                    |
//   | 0    | target (0: every federate that hears it), requester, stream (signed),     |
//   |      | sequence, send time (milliseconds of the requester's clock)               |
//   | 1    | requester, responder, stream (signed), sequence, send time of the request |
#pragma once

#include <cstdint>

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

enum class ping_kind : uint32_t { request = 0, reply = 1 };

struct ping_message {
  // Streams are numbered below 2^24 by the transport.
  static constexpr int32_t max_stream = (1 << 24) - 1;

  ping_kind kind = ping_kind::request;
  uint32_t target = 0;     // request only
  uint32_t requester = 0;
  uint32_t responder = 0;  // reply only
  int32_t stream = 0;
  uint32_t sequence = 0;
  uint32_t send_time = 0;

  void write(brindle::ldm_buf& buffer) const;
  // A kind other than 0 or 1, a requester or responder of 0, a stream outside 0 - max_stream,
  // or reading past the message throw ldm_decode_error.
  static ping_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
