// The receive-order queue: messages delivered as they come, or, while the time manager turns
// deliver-at-once off (a constrained federate without asynchronous delivery), held in arrival
// order until it releases them. Owned by the msgorder_manager.
#pragma once

#include <deque>

#include "time/msgorder_orderer.h"

namespace varnel {

class receive_order_queue : public msgorder_orderer {
public:
  receive_order_queue(dstream& trace, size_t warning_length);

  // Delivered at once with a zero handle (the time, if any, goes with it), or appended.
  void enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
               const event_retraction_handle& handle, int stream, unsigned char priority, brindle::ldm_buf* buffer,
               msgorder_client& client) override;
  // Delivers every held message in arrival order, whatever the time.
  void release(const absolute_time* up_to) override;
  void set_deliver_at_once(bool on) override { deliver_at_once_ = on; }
  size_t length() const override { return held_.size(); }

  bool delivers_at_once() const { return deliver_at_once_; }

private:
  bool deliver_at_once_ = true;
  std::deque<queued_message> held_;
};

}  // namespace varnel
