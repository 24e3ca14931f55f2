// Feeds arbitrary message bodies to a joined federate's time manager as time states from
// stream 2: a message that does not decode (short, a wildcard sender, a time of a bad length or
// that the time factory refuses, an advance type out of range) is counted and changes nothing;
// what decodes keeps the table of other federates within the federation manager's bound.
//
// Input: the message body as a sender would have written it after the transport's header.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "federation/federation_manager.h"
#include "ldm_buf.h"
#include "joined_federate.h"
#include "time/time_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

// Constrained, so that the states it hears matter to a grant.
struct constrained_federate : joined_federate {
  constrained_federate() : joined_federate(port_block::time_state_fuzz) { ldm->enable_time_constrained(); }
};

joined_federate& federate() {
  static constrained_federate instance;
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 65536) return 0;
  time_manager& times = *f.ldm->get_time_manager();
  ldm_buf* buffer = f.message(data, size);
  const uint64_t bad_before = times.bad_states();
  const size_t remotes_before = times.remote_count();
  times.receive(2, 176, buffer);
  buffer->release_buf();
  if (times.bad_states() != bad_before && times.remote_count() != remotes_before) std::abort();
  if (times.remote_count() > federation_manager::max_federates) std::abort();
  return 0;
}
