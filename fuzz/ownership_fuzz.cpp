// Feeds arbitrary message bodies to a joined federate's ownership manager and to the fail-over
// reader: a message that does not decode (an unknown type, an empty or overlong name, a malformed
// bit vector, a wildcard identifier) throws ldm_decode_error and changes nothing; a message about
// an object this federate does not know is counted and ignored. The federate owns one object, so
// that messages naming it reach the tables, whose sets stay within the object's class however
// many bits a message claims.
//
// Input: the first byte chooses the reader (even: ownership, odd: fail-over); the rest is the
// message body as a sender would have written it after the service's header.
#include <cstdint>
#include <cstdlib>

#include "joined_federate.h"
#include "ldm_buf.h"
#include "objects/ownership_manager.h"
#include "objects/ownership_messages.h"

using namespace brindle;
using namespace varnel;

namespace {

struct owning_federate : joined_federate {
  owning_federate() : joined_federate(port_block::ownership_fuzz) {
    const unsigned vehicle = ldm->get_object_class_handle("Vehicle");
    ldm->publish_object_class(vehicle, bit_vector(4, true));
    ldm->register_object_instance(vehicle, "v1");
  }
};

owning_federate& federate() {
  static owning_federate instance;
  return instance;
}

bool within_class(const ownership_table& table) {
  for (const auto& [object, sets] : table.objects())
    for (const auto& [who, attributes] : sets)
      if (attributes.find_next(4) != bit_vector::npos) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  owning_federate& f = federate();
  ldm_buf* buffer = f.message(data + 1, size - 1);
  ownership_manager& ownership = *f.ldm->get_ownership_manager();
  const uint64_t received = ownership.get_counters().received;
  try {
    if (data[0] % 2) {
      failover_message::read(*buffer);
    } else {
      ownership.receive(ownership_manager::stream, ownership_manager::priority, buffer);
    }
  } catch (const ldm_decode_error&) {
    if (ownership.get_counters().received != received) std::abort();
  }
  buffer->release_buf();
  for (const ownership_table* table : {&ownership.floating(), &ownership.available(), &ownership.asked()})
    if (!within_class(*table)) std::abort();
  f.settle();
  f.ldm->callbacks.clear();
  return 0;
}
