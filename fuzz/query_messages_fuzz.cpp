// Feeds arbitrary queries and transport changes to a joined federate that owns and hears a few
// objects: what does not decode (a count beyond its limit or the message, an unknown class or
// transport, an empty or overlong name, a malformed or oversized vector) throws ldm_decode_error
// and changes nothing; what decodes may queue provide requests or move remote attributes to
// another transport. Provide requests stay within one per object owned here.
//
// Input: one byte, even for a query and odd for a transport change, then the body.
#include <cstdint>
#include <cstdlib>

#include "fed/fed.h"
#include "joined_federate.h"
#include "objects/consistency_manager.h"
#include "objects/object_messages.h"
#include "objects/transport_change_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr uint32_t owned_objects = 3;

struct owning_federate : joined_federate {
  owning_federate() : joined_federate(port_block::query_messages_fuzz) {
    const unsigned vehicle = ldm->get_object_class_handle("Vehicle");
    ldm->publish_object_class(vehicle, bit_vector(4, true));
    ldm->subscribe_object_class_attributes(vehicle, bit_vector(4, true), true);
    ldm->subscribe_object_class_attributes(ldm->get_object_class_handle("Station"), bit_vector(3, true), true);
    for (const char* name : {"car-1", "car-2", "car-3"}) ldm->register_object_instance(vehicle, name);
  }
};

owning_federate& federate() {
  static owning_federate instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  owning_federate& f = federate();
  if (size < 1 || size > 65536) return 0;
  ldm_buf* buffer = f.message(data + 1, size - 1);
  try {
    if (data[0] % 2 == 0)
      f.ldm->get_consistency_manager()->receive(2, 0, buffer);
    else
      f.ldm->get_transport_change_manager()->receive(2, 0, buffer);
  } catch (const ldm_decode_error&) {
  }
  buffer->release_buf();
  if (f.ldm->get_consistency_manager()->pending_provides() > owned_objects) std::abort();
  f.settle();
  return 0;
}
