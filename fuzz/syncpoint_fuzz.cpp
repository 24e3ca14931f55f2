// Feeds arbitrary message bodies to a joined federate's synchronization point manager as
// messages from stream 2: a message that does not decode (short, a wildcard identifier, a kind
// out of range, an overlong label, a member count past the message or out of order) throws
// ldm_decode_error and changes nothing; what decodes keeps the table of announced points within
// its bound.
//
// Input: the message body as a sender would have written it after the service's header.
#include <cstdint>
#include <cstdlib>

#include "federation/syncpoint_manager.h"
#include "joined_federate.h"
#include "ldm_buf.h"

using namespace brindle;
using namespace varnel;

namespace {

joined_federate& federate() {
  static joined_federate instance(port_block::syncpoint_fuzz);
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 65536) return 0;
  syncpoint_manager& points = *f.ldm->get_syncpoint_manager();
  const size_t responding_before = points.responding().size();
  const uint64_t received_before = points.get_counters().received;
  ldm_buf* buffer = f.message(data, size);
  try {
    points.receive(syncpoint_manager::stream, syncpoint_manager::priority, buffer);
  } catch (const ldm_decode_error&) {
    if (points.responding().size() != responding_before || points.get_counters().received != received_before)
      std::abort();
  }
  buffer->release_buf();
  if (points.responding().size() > syncpoint_manager::max_responding) std::abort();
  f.settle();
  return 0;
}
