// The wire messages of the ordering layer: the ordering header that the msgorder_manager puts
// before every message it sends, and the retraction request of the retraction_manager.
//
// Ordering header (words as ldm_buf writes them):
//   | field            | form                                                            |
//   |------------------|-----------------------------------------------------------------|
//   | header word      | bit 31: a time stamp follows; bits 24-30: zero;                 |
//   |                  | bits 16-23 order (0 RECEIVE_ORDER, 1 TIMESTAMP_ORDER);          |
//   |                  | bits 8-15 service (0 BEST_EFFORT, 1 ONESHOT, 2 RELIABLE);       |
//   |                  | bits 0-7 the sending client's index                             |
//   | time stamp       | when bit 31: length word n (1 to 64), then n bytes of the       |
//   |                  | federate's own time encoding (a raw block)                      |
//   | retraction handle| when the order is TIMESTAMP_ORDER: serial word, federate word   |
//
// Retraction request: the handle, serial word then federate word; the serial is never 0.
#pragma once

#include <cstdint>
#include <memory>

#include "ldm_buf.h"
#include "time/absolute_time.h"
#include "time/event_retraction_handle.h"
#include "time/msgorder_client.h"

namespace varnel {

class local_distribution_manager;

// Why a received ordering header was refused; the manager counts drops by reason.
enum class ordering_drop : uint8_t { truncated, bad_field, bad_time, unknown_client };

class ordering_decode_error : public brindle::ldm_decode_error {
public:
  ordering_decode_error(ordering_drop reason, const char* what) : brindle::ldm_decode_error(what), reason_(reason) {}
  ordering_drop reason() const { return reason_; }

private:
  ordering_drop reason_;
};

struct ordering_header {
  static constexpr uint32_t time_flag = 0x80000000u;
  static constexpr uint32_t reserved_bits = 0x7f000000u;
  static constexpr uint32_t max_time_length = 64;

  ordering_service service = ordering_service::best_effort;
  message_order order = message_order::receive;
  uint8_t client = 0;
  std::unique_ptr<absolute_time> time;  // null for none
  event_retraction_handle handle;       // zero unless the order is TIMESTAMP_ORDER

  // A time stamped message (order TIMESTAMP_ORDER) carries its time and handle; writes the time
  // of a RECEIVE_ORDER header too when it has one.
  void write(brindle::ldm_buf& buffer) const;
  // Reads and checks every field before returning. A truncated header throws the buffer's own
  // ldm_decode_error; a bad field, a missing or undecodable time (the distribution manager's
  // factory gives null, or a time unequal to itself: NaN) throws ordering_decode_error.
  static ordering_header read(brindle::ldm_buf& buffer, local_distribution_manager& ldm);
  // The header word alone, for a sender that looks back at what it wrote.
  static bool is_timestamped(uint32_t word) { return (word >> 16 & 0xff) == 1; }
};

struct retraction_message {
  event_retraction_handle handle;

  void write(brindle::ldm_buf& buffer) const { handle.encode(buffer); }
  // A zero serial names no message: ordering_decode_error.
  static retraction_message read(brindle::ldm_buf& buffer);
};

}  // namespace varnel
