// Feeds arbitrary message bodies to a joined federate's scope manager. A body that does not
// decode (an empty or overlong name, a stream out of range, a malformed bit vector) throws
// ldm_decode_error and changes nothing; one naming an object the federate does not hold as remote
// is counted and ignored; one naming the remote object "r1" moves or drops only the attributes it
// holds on the stream the message arrived on.
//
// Input: the first byte chooses the arrival stream (100 + byte % 4: r1's attributes are on 100
// and 101); the rest is the body as the sender wrote it after the service's header.
#include <cstdint>
#include <cstdlib>

#include "joined_federate.h"
#include "ldm_buf.h"
#include "regions/scope_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr uint32_t remote_object = 1000000;

struct scoped_federate : joined_federate {
  scoped_federate() : joined_federate(port_block::scope_fuzz) {}

  // r1, a remote Vehicle with Name on stream 100 and Position on 101, made again whenever an
  // input let it go.
  void hold_remote_object() {
    ddb& database = *ldm->get_ddb();
    if (database.object(remote_object)) return;
    const unsigned vehicle = ldm->get_object_class_handle("Vehicle");
    database.instantiate_object(vehicle, remote_object, "r1", true, 7);
    database.set_stream(remote_object, bit_vector(1, true), 100);
    bit_vector position(4, false);
    position.set_bit(2);
    database.set_stream(remote_object, position, 101);
  }
};

scoped_federate& federate() {
  static scoped_federate instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  scoped_federate& f = federate();
  f.hold_remote_object();
  ldm_buf* buffer = f.message(data + 1, size - 1);
  scope_manager& scope = *f.ldm->get_scope_manager();
  const scope_manager::counters before = scope.get_counters();
  try {
    scope.receive(100 + data[0] % 4, scope_manager::priority, buffer);
  } catch (const ldm_decode_error&) {
    const scope_manager::counters& after = scope.get_counters();
    if (after.moved != before.moved || after.out_of_scope != before.out_of_scope) std::abort();
  }
  buffer->release_buf();
  // Whatever the message said, r1's attributes are on a stream or gone with it, never half-moved
  // to a stream below -1.
  if (const object_entry* r1 = f.ldm->get_ddb()->object(remote_object))
    for (int32_t stream : r1->stream)
      if (stream < -1) std::abort();
  f.settle();
  return 0;
}
