// Feeds arbitrary update and interaction messages to a joined federate's transport service, as
// the ordering layer hands them over: what does not decode (an unknown class, counts or lengths
// past the message, a bad transport list or region block) throws ldm_decode_error and changes
// nothing; what decodes is filtered by the federate's subscriptions, may discover an object, and
// is queued for the federate. The federate subscribes every class of the demo model.
//
// Input: one byte of choices, then the message body after the ordering header.
//   bit 0: the interaction stream instead of the Vehicle class stream
//   bit 1: the reliable transport instead of best effort
//   bit 2: time-stamp order with a time of 1
#include <cstdint>
#include <cstdlib>

#include "joined_federate.h"
#include "objects/ddb.h"
#include "objects/subscription_agent.h"
#include "regions/filters.h"
#include "transport/transport_manager.h"
#include "transport/transport_service.h"

using namespace brindle;
using namespace varnel;

namespace {

struct subscribing_federate : joined_federate {
  int object_stream;
  int interaction_stream;
  subscribing_federate() : joined_federate(port_block::update_fuzz) {
    const unsigned vehicle = ldm->get_object_class_handle("Vehicle");
    const unsigned car = ldm->get_object_class_handle("Vehicle.Car");
    ldm->subscribe_object_class_attributes(vehicle, bit_vector(4, true), true);
    ldm->subscribe_object_class_attributes(car, bit_vector(5, true), true);
    const unsigned message = ldm->get_interaction_class_handle("Message");
    ldm->subscribe_interaction_class(message, true);
    ldm->subscribe_interaction_class(ldm->get_interaction_class_handle("Collision"), true);
    subscription_agent& agent = *ldm->get_subscription_agent();
    object_stream = agent.get_object_class_spec(vehicle).get_pub_stream();
    interaction_stream = agent.get_interaction_class_spec(message).get_pub_stream();
  }
};

subscribing_federate& federate() {
  static subscribing_federate instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  subscribing_federate& f = federate();
  if (size < 1 || size > 65536) return 0;
  const uint8_t choices = data[0];
  transport_service& transport = *f.ldm->get_transport_manager()->get_transport_service(choices & 2 ? 1 : 0);
  const test_absolute_time one(1);
  const bool stamped = choices & 4;
  ldm_buf* buffer = f.message(data + 1, size - 1);
  try {
    transport.deliver(transport.get_message_service(), stamped ? message_order::timestamp : message_order::receive,
                      stamped ? &one : nullptr, event_retraction_handle{1, 7},
                      choices & 1 ? f.interaction_stream : f.object_stream, 0, buffer);
  } catch (const ldm_decode_error&) {
  }
  buffer->release_buf();
  // Deliver what was queued, and keep the objects discovered from bounding memory.
  f.ldm->tick();
  ddb& database = *f.ldm->get_ddb();
  if (database.object_count() > 4096)
    for (uint32_t object : database.object_handles()) database.remove_object(object);
  return 0;
}
