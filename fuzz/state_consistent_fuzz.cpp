// Feeds arbitrary protocol messages and updates to a joined federate's state-consistent
// transport, as its stream service and the ordering layer hand them over: what does not decode
// (an unknown type is only counted; a wildcard identifier, a stream out of range, a count past
// the bytes left, an unknown class or trailer kind) throws ldm_decode_error and changes nothing;
// what decodes updates the remote records, queues NACKs and drops, and may discover an object.
// The federate subscribes Vehicle and owns one car on the transport, so NACKs can name it.
//
// Input: one byte of choices, then the message body.
//   bit 0: an update of the transport (data message, then the trailer) instead of a protocol
//          message
//   bit 1: a protocol message comes on the Vehicle stream instead of stream 2
#include <cstdint>
#include <cstdlib>

#include "joined_federate.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "objects/subscription_agent.h"
#include "regions/filters.h"
#include "transport/transport_manager.h"
#include "transport/transport_state_consistent.h"

using namespace brindle;
using namespace varnel;

namespace {

test_rid_options with_transport() {
  test_rid_options options;
  options.extra_transports =
      "(consistent (type \"state_consistent\") (suppress_dups true) (implicit_transfer false) "
      "(heartbeat_interval 200) (heartbeat_timeout 400))";
  return options;
}

struct consistent_federate : joined_federate {
  transport_state_consistent* transport;
  int vehicle_stream;
  consistent_federate() : joined_federate(port_block::state_consistent_fuzz, with_transport()) {
    const unsigned vehicle = ldm->get_object_class_handle("Vehicle");
    const unsigned consistent = ldm->get_transportation_handle("consistent");
    transport = dynamic_cast<transport_state_consistent*>(ldm->get_transport_manager()->get_transport_service(consistent));
    ldm->subscribe_object_class_attributes(vehicle, bit_vector(4, true), true);
    bit_vector published(4, false);
    published.set_bit(1);
    published.set_bit(2);
    ldm->publish_object_class(vehicle, published);
    const unsigned car = ldm->register_object_instance(vehicle, "own-car");
    ldm->change_attribute_transportation_type(car, published, consistent);
    auto* values = new handle_value_set;
    values->add(1, 3, "own");
    ldm->update_attribute_values(car, *values, user_tag("u"));
    values->down_refcount();
    vehicle_stream = ldm->get_subscription_agent()->get_object_class_spec(vehicle).get_pub_stream();
  }
};

consistent_federate& federate() {
  static consistent_federate instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  consistent_federate& f = federate();
  if (size < 1 || size > 65536) return 0;
  const uint8_t choices = data[0];
  ldm_buf* buffer = f.message(data + 1, size - 1);
  try {
    if (choices & 1)
      f.transport->deliver(f.transport->get_message_service(), message_order::receive, nullptr,
                           event_retraction_handle{}, f.vehicle_stream, 0, buffer);
    else
      f.transport->receive_cp_message(choices & 2 ? f.vehicle_stream : 2, *buffer);
  } catch (const ldm_decode_error&) {
  }
  buffer->release_buf();
  f.settle();
  return 0;
}
