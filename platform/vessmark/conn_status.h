// What the management objects report about one connection of the stream transport: its state
// and the packets and bytes it sent, received and dropped. A plain value; the stream manager
// fills in its uplink's, and it travels in status messages with the ldm_buf operators below.
#pragma once

#include <cstdint>

#include "vessmark_export.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace vessmark {

struct conn_status {
  enum state_type : uint32_t { down = 0, up = 1 };

  state_type state = down;
  uint64_t packets_sent = 0;
  uint64_t bytes_sent = 0;
  uint64_t packets_received = 0;
  uint64_t bytes_received = 0;
  uint64_t packets_dropped = 0;  // received packets refused, and sent packets not sent

  bool operator==(const conn_status&) const = default;
};

// Wire form: state (one word), then each counter as two words, high half first. Reading an
// unknown state throws ldm_decode_error, as reading past a received buffer does.
VESSMARK_EXPORT brindle::ldm_buf& operator<<(brindle::ldm_buf& buffer, const conn_status& status);
VESSMARK_EXPORT brindle::ldm_buf& operator>>(brindle::ldm_buf& buffer, conn_status& status);

}  // namespace vessmark
