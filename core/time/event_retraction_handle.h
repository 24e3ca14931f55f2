// Names one timestamped message for retraction: the sender's serial number of the message and
// the sending federate's handle. A handle whose serial is 0 names nothing (receive-order sends).
//
// Wire form: serial (word), federate handle (word).
#pragma once

#include <cstddef>
#include <cstdint>

#include "ldm_buf.h"

namespace varnel {

struct event_retraction_handle {
  uint32_t serial = 0;
  uint32_t federate = 0;

  bool operator==(const event_retraction_handle&) const = default;
  size_t hash() const { return (static_cast<size_t>(federate) << 12) | serial; }

  void encode(brindle::ldm_buf& buf) const {
    buf.write_4(serial);
    buf.write_4(federate);
  }
  static event_retraction_handle decode(brindle::ldm_buf& buf) {
    event_retraction_handle handle;
    handle.serial = buf.read_4();
    handle.federate = buf.read_4();
    return handle;
  }
};

}  // namespace varnel
