#include "transport/transport_simple.h"

#include <cstring>
#include <iostream>

#include "rid.h"
#include "time/msgorder_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr unsigned char low_latency = 0x80;
constexpr int32_t max_priority = 0x3f;

// An unknown word does not fail the join: the transport of that name keeps its built-in
// service (reliable for "reliable"), any other falls back to best effort.
ordering_service service_named(const char* word, const std::string& transport) {
  if (word && std::strcmp(word, "best_effort") == 0) return ordering_service::best_effort;
  if (word && std::strcmp(word, "oneshot") == 0) return ordering_service::oneshot;
  if (word && std::strcmp(word, "reliable") == 0) return ordering_service::reliable;
  const ordering_service fallback = transport == "reliable" ? ordering_service::reliable : ordering_service::best_effort;
  std::cerr << "transport_simple::transport_simple: unknown message service " << (word ? word : "(none)")
            << " for transport " << transport << "; using " << ordering_service_name(fallback) << std::endl;
  return fallback;
}

}  // namespace

transport_simple::transport_simple(transport_manager& manager, uint32_t id, RID& rid, bool no_shared)
    : transport_service(manager, id, rid, no_shared) {
  const char* name = get_name().c_str();
  service_ = service_named(rid.get_string("transport_types", name, "message_service"), get_name());
  const int32_t priority = rid.get_integer("transport_types", name, "message_priority");
  priority_ = static_cast<unsigned char>(priority >= 0 && priority <= max_priority ? priority : 0);
  if (rid.get_boolean("transport_types", name, "use_low_latency")) priority_ |= low_latency;
}

void transport_simple::send_update(ldm_buf* buffer, int stream, const object_entry&, const bit_vector&, bool) {
  manager_.ordering().send(service_, stream, priority_, buffer);
}

void transport_simple::send_interaction(ldm_buf* buffer, int stream) {
  manager_.ordering().send(service_, stream, priority_, buffer);
}

int transport_simple::accept_update(const data_message&, const object_entry&, int) { return 2; }

bool transport_simple::accept_interaction(const data_message&, int) { return true; }

}  // namespace varnel
