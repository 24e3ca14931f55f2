#include "time/receive_order_queue.h"

#include "frame/debugging_events.h"

namespace varnel {

using namespace brindle;

receive_order_queue::receive_order_queue(dstream& trace, size_t warning_length)
    : msgorder_orderer("ro_queue", trace, warning_length) {}

void receive_order_queue::enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
                                  const event_retraction_handle&, int stream, unsigned char priority, ldm_buf* buffer,
                                  msgorder_client& client) {
  buffer->duplicate_buf();
  queued_message record{std::move(time), {}, service, order, stream, priority, buffer_reference(buffer),
                        buffer->get_iptr(), &client};
  if (deliver_at_once_) {
    note_enqueued(0);
    deliver(record);
    return;
  }
  held_.push_back(std::move(record));
  note_enqueued(held_.size());
}

// Each record leaves the queue before its delivery, so a client that calls back into the
// ordering layer finds the queue consistent.
void receive_order_queue::release(const absolute_time*) {
  if (trace_.is_on()) trace_ << "TSO release; q has " << held_.size() << std::endl;
  while (!held_.empty()) {
    queued_message record = std::move(held_.front());
    held_.pop_front();
    deliver(record);
  }
}

}  // namespace varnel
