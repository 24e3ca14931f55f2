// The wire messages of the reliable message service (message_reliable): one struct per message,
// put on the wire by write() and taken off it by read(), which decodes and checks every field
// before the service acts on any of it, so that a malformed message changes nothing.
//
// Wire forms; every message starts with its type word, then (all words big-endian):
//   type  name             fields                                         stream, priority
//   1     data             sender id, sequence, the user's payload        the caller's
//   2     sequence notice  sender id, sequence, stream the data went on   2, 16
//                          (sent with the data and again with each resend)
//   3     NACK             data sender id, missing sequence               2, 48
//   4     ACK              acknowledger id, count n, n x (data sender id,  2, 48
//                          last sequence delivered in order from it)
//   5     ping             sender id, next sequence it will use           2, 48
//   6     sorry            sender id, sequence it can no longer resend    2, 32
// An id is a federate_identifier (two words). Sequences compare modulo 2^32: a comes before b
// when the signed 32-bit difference a - b is negative.
//
// The service reads the type word to choose the struct; write() and read() cover the fields after
// it. read() throws ldm_decode_error when the message ends early (the transport drops and counts
// it) and reliable_refusal, a kind of ldm_decode_error, when the message is whole but holds what
// no sender writes: a wildcard id (it would equal every federate), a stream the transport cannot
// carry, or an ACK count above max_entries or above what the bytes left can hold. The service
// counts refusals itself.
#pragma once

#include <cstdint>
#include <vector>

#include "federate_identifier.h"
#include "ldm_buf.h"

namespace varnel {

class reliable_refusal : public brindle::ldm_decode_error {
public:
  using brindle::ldm_decode_error::ldm_decode_error;
};

// The user's payload follows the header; read() leaves the read position at the payload.
struct reliable_data_header {
  static constexpr uint32_t type = 1;
  static constexpr uint32_t bytes = 12;  // after the type word
  brindle::federate_identifier sender;
  uint32_t sequence = 0;

  void write(brindle::ldm_buf& buffer) const;
  static reliable_data_header read(brindle::ldm_buf& buffer);
};

struct reliable_notice_message {
  static constexpr uint32_t type = 2;
  brindle::federate_identifier sender;
  uint32_t sequence = 0;
  int stream = 0;  // where the data went: 0 .. stream_manager::stream_limit - 1

  void write(brindle::ldm_buf& buffer) const;
  static reliable_notice_message read(brindle::ldm_buf& buffer);
};

struct reliable_nack_message {
  static constexpr uint32_t type = 3;
  brindle::federate_identifier sender;  // of the missing message, not of the NACK
  uint32_t sequence = 0;

  void write(brindle::ldm_buf& buffer) const;
  static reliable_nack_message read(brindle::ldm_buf& buffer);
};

struct reliable_ack_message {
  static constexpr uint32_t type = 4;
  // A longer list is refused; the service never writes more entries into one ACK.
  static constexpr uint32_t max_entries = 4096;
  struct entry {
    brindle::federate_identifier sender;
    uint32_t last = 0;  // delivered in order from sender
  };
  brindle::federate_identifier acknowledger;
  std::vector<entry> entries;

  void write(brindle::ldm_buf& buffer) const;
  static reliable_ack_message read(brindle::ldm_buf& buffer);
};

struct reliable_ping_message {
  static constexpr uint32_t type = 5;
  brindle::federate_identifier sender;
  uint32_t next_sequence = 0;

  void write(brindle::ldm_buf& buffer) const;
  static reliable_ping_message read(brindle::ldm_buf& buffer);
};

struct reliable_sorry_message {
  static constexpr uint32_t type = 6;
  brindle::federate_identifier sender;
  uint32_t sequence = 0;

  void write(brindle::ldm_buf& buffer) const;
  static reliable_sorry_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
