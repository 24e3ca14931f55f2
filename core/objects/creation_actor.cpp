#include "objects/creation_actor.h"

#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_oneshot.h"
#include "objects/object_manager.h"
#include "objects/object_messages.h"

namespace varnel {

creation_actor::creation_actor(local_distribution_manager& ldm, object_manager& manager, dstream& trace)
    : ldm_(ldm),
      manager_(manager),
      service_(std::make_unique<message_oneshot>(&ldm.get_stream_manager(), this, "object_creation", trace,
                                                 ldm.get_scheduler())) {}

creation_actor::~creation_actor() = default;

void creation_actor::send(const creation_message& message) {
  brindle::ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
}

void creation_actor::receive(int, unsigned char, brindle::ldm_buf* buffer) {
  manager_.creation_received(creation_message::read(*buffer, *ldm_.get_fed()));
}

}  // namespace varnel
