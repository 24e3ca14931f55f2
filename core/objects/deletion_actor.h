// Sends and receives object deletions through the message ordering layer, as the client
// "object_deletion": on the reliable service, in the order of the object's privilegeToDelete
// attribute, so a deletion stamped with a time is delivered in time order and can be retracted.
// Owned by the object manager, which registers it first among the ordering layer's clients.
#pragma once

#include "time/msgorder_client.h"

namespace varnel {

class msgorder_manager;
class object_manager;
struct deletion_message;

class deletion_actor : public msgorder_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x30;

  deletion_actor(msgorder_manager& order, object_manager& manager);

  // Sends the deletion; a time-stamped one gets its retraction handle in handle.
  void send(const deletion_message& message, message_order order, const absolute_time* time,
            event_retraction_handle& handle);
  void deliver(ordering_service service, message_order order, const absolute_time* time,
               const event_retraction_handle& handle, int stream, unsigned char priority,
               brindle::ldm_buf* buffer) override;

private:
  msgorder_manager& order_;
  object_manager& manager_;
};

}  // namespace varnel
