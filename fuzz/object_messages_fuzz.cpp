// Feeds arbitrary creation announcements and deletion messages to a joined federate's object
// manager: what does not decode (an unknown class, an empty or overlong name, a malformed stream
// set, a message that ends early) throws ldm_decode_error and changes nothing; what decodes may
// discover or delete an object. The table of names heard stays within its bound.
//
// Input: one byte, even for a creation announcement and odd for a deletion, then the body.
#include <cstdint>
#include <cstdlib>

#include "fed/fed.h"
#include "joined_federate.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "objects/object_messages.h"

using namespace brindle;
using namespace varnel;

namespace {

struct subscribing_federate : joined_federate {
  subscribing_federate() : joined_federate(port_block::object_messages_fuzz) {
    ldm->subscribe_object_class_attributes(ldm->get_object_class_handle("Vehicle"), bit_vector(4, true), true);
    ldm->subscribe_object_class_attributes(ldm->get_object_class_handle("Station"), bit_vector(3, true), true);
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
  object_manager& objects = *f.ldm->get_object_manager();
  ldm_buf* buffer = f.message(data + 1, size - 1);
  try {
    if (data[0] % 2 == 0)
      objects.creation_received(creation_message::read(*buffer, *f.ldm->get_fed()));
    else
      objects.deletion_received(deletion_message::read(*buffer), nullptr, event_retraction_handle{});
  } catch (const ldm_decode_error&) {
  }
  buffer->release_buf();
  f.ldm->tick();
  if (objects.known_name_count() > object_manager::max_known_names) std::abort();
  ddb& database = *f.ldm->get_ddb();
  if (database.object_count() > 4096)
    for (uint32_t object : database.object_handles()) database.remove_object(object);
  return 0;
}
