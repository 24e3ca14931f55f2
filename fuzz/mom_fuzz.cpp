// Feeds arbitrary message bodies to a federate's management object agent as status messages
// from stream 2: a message that does not decode (short, an unknown type, a wildcard identifier,
// an overlong host name, a connection count over the cap or past the message) throws
// ldm_decode_error and changes no record; what decodes keeps the router records within their
// cap. The federate subscribes every management class, so records that decode are refreshed
// into objects and values too.
//
// Input: the message body as a sender would have written it after the service's header.
#include <cstdint>
#include <cstdlib>

#include "bit_vector.h"
#include "fed/fed.h"
#include "federation/mom_agent.h"
#include "joined_federate.h"
#include "ldm_buf.h"

using namespace brindle;
using namespace varnel;

namespace {

bool subscribe_management_classes(test_ldm& ldm) {
  for (const char* name : {"Manager.Federation", "Manager.Federate", "Manager.Router"}) {
    const unsigned object_class = ldm.get_object_class_handle(name);
    ldm.subscribe_object_class_attributes(object_class, bit_vector(ldm.get_fed()->num_attributes(object_class), true),
                                          true);
  }
  return true;
}

joined_federate& federate() {
  static joined_federate instance(port_block::mom_fuzz, {}, EXAMPLES_DIR "/training.fed");
  [[maybe_unused]] static const bool subscribed = subscribe_management_classes(*instance.ldm);
  return instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  joined_federate& f = federate();
  if (size > 65536) return 0;
  mom_agent& agent = *f.ldm->get_mom_agent();
  const size_t routers_before = agent.router_count();
  const size_t federates_before = agent.remote_federate_count();
  ldm_buf* buffer = f.message(data, size);
  try {
    agent.receive(mom_agent::stream, mom_agent::priority, buffer);
  } catch (const ldm_decode_error&) {
    if (agent.router_count() != routers_before || agent.remote_federate_count() != federates_before) std::abort();
  }
  buffer->release_buf();
  if (agent.router_count() > mom_agent::max_routers) std::abort();
  f.settle();
  return 0;
}
