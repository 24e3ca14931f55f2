#include "time/retraction_manager.h"

#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "stream_manager.h"
#include "time/msgorder_manager.h"
#include "time/ordering_messages.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* service_name = "retraction";

}  // namespace

retraction_manager::retraction_manager(local_distribution_manager& ldm, msgorder_manager& order)
    : ldm_(ldm), order_(order) {
  debugging_events& debug = ldm.get_debugging_events();
  debug.register_event(service_name, "retraction requests sent and received");
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, service_name,
                                                debug.stream(service_name), ldm.get_scheduler(),
                                                federation_reliable_settings(ldm.get_rid()));
}

retraction_manager::~retraction_manager() {
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
  ldm_.get_debugging_events().unregister_event(service_name);
}

void retraction_manager::retract(const event_retraction_handle& handle) {
  if (handle.serial == 0 || handle.federate != ldm_.get_federate_id())
    throw ldm_exception(ldm_error::InvalidRetractionHandle, "Handle not from a valid event");
  ldm_buf* buffer = service_->get_buf();
  retraction_message{handle}.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
  ++counters_.sent;
}

void retraction_manager::receive(int, unsigned char, ldm_buf* buffer) {
  const retraction_message message = retraction_message::read(*buffer);
  ++counters_.received;
  if (!order_.retract(message.handle)) return;
  ++counters_.already_delivered;
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_request_retraction(message.handle);
}

}  // namespace varnel
