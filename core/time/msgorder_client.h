// The receiving side of the message ordering layer: a component that sends and receives its
// messages through the msgorder_manager (the transports, for one) derives from msgorder_client
// and registers once at join. Registration gives it an index that every federate's header
// carries; clients register in the same order on every federate, so an index names the same
// client everywhere.
#pragma once

#include <cstdint>

#include "time/event_retraction_handle.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class absolute_time;

// The message service a message went through; the values travel in the ordering header.
enum class ordering_service : uint8_t { best_effort = 0, oneshot = 1, reliable = 2 };
// How a message is delivered; the values travel in the ordering header.
enum class message_order : uint8_t { receive = 0, timestamp = 1 };

inline constexpr int ordering_service_count = 3;

// "BEST_EFFORT", "ONESHOT", "RELIABLE"; "RECEIVE_ORDER", "TIMESTAMP_ORDER" (the trace words).
const char* ordering_service_name(ordering_service service);
const char* message_order_name(message_order order);

class msgorder_client {
public:
  static constexpr int unregistered = -1;

  virtual ~msgorder_client() = default;

  // One delivered message. time is null for none and handle zero for none; both are valid only
  // during the call. The buffer is positioned just after the ordering header and released by the
  // caller afterwards (a client that keeps it takes a reference). A client that finds the
  // payload malformed throws ldm_decode_error: the message is dropped and counted.
  virtual void deliver(ordering_service service, message_order order, const absolute_time* time,
                       const event_retraction_handle& handle, int stream, unsigned char priority,
                       brindle::ldm_buf* buffer) = 0;

  // The index registration gave; unregistered before.
  int get_index() const { return index_; }

private:
  friend class msgorder_manager;
  int index_ = unregistered;
};

}  // namespace varnel
