#include "objects/deletion_actor.h"

#include "ldm_buf.h"
#include "objects/object_manager.h"
#include "objects/object_messages.h"
#include "time/msgorder_manager.h"

namespace varnel {

deletion_actor::deletion_actor(msgorder_manager& order, object_manager& manager) : order_(order), manager_(manager) {
  order_.register_client(*this);
}

void deletion_actor::send(const deletion_message& message, message_order order, const absolute_time* time,
                          event_retraction_handle& handle) {
  brindle::ldm_buf* buffer = order_.get_buf(*this, ordering_service::reliable, order, time, handle);
  message.write(*buffer);
  order_.send(ordering_service::reliable, stream, priority, buffer);
  buffer->release_buf();
}

void deletion_actor::deliver(ordering_service, message_order, const absolute_time* time,
                             const event_retraction_handle& handle, int, unsigned char, brindle::ldm_buf* buffer) {
  manager_.deletion_received(deletion_message::read(*buffer), time, handle);
}

}  // namespace varnel
