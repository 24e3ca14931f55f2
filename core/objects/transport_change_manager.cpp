#include "objects/transport_change_manager.h"

#include "fed/fed.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "objects/ddb.h"
#include "objects/object_messages.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* event_name = "transport_change";
constexpr const char* service_name = "transport_change";

dstream& registered_event(debugging_events& debug) {
  debug.register_event(event_name, "transport changes announced and received");
  return debug.stream(event_name);
}

}  // namespace

transport_change_manager::transport_change_manager(local_distribution_manager& ldm, ddb& database,
                                                   transport_manager& transports)
    : ldm_(ldm),
      fed_(*ldm.get_fed()),
      ddb_(database),
      transports_(transports),
      trace_(registered_event(ldm.get_debugging_events())),
      service_(&ldm.get_stream_manager(), this, service_name) {
  ldm.get_stream_manager().join(broadcast_stream);
  transports_.add_update_listener(this);
  schedule(ldm.get_scheduler(), timer_period_ms);
}

transport_change_manager::~transport_change_manager() {
  cancel();
  transports_.remove_update_listener(this);
  ldm_.get_stream_manager().leave(broadcast_stream);
  ldm_.get_debugging_events().unregister_event(event_name);
}

void transport_change_manager::change(uint32_t object, const bit_vector& attributes, uint32_t transport) {
  ddb_.set_transport_type(object, attributes, transport);
  const object_entry* entry = ddb_.object(object);
  if (!entry || entry->deleted || transport == no_transport) return;
  const bit_vector owned = ddb_.owned_and_published(*entry, attributes);
  if (owned.is_empty()) return;
  pending_.merge(object, owned, ldm_.get_scheduler().get_clock().time() + change_wait_ms);
  trace_ << "TransportChange: object " << entry->name << " change queued changing to transport " << transport
         << " attrs: " << owned << std::endl;
}

void transport_change_manager::updated(uint32_t object, const bit_vector& attributes) {
  if (!pending_.contains(object)) return;
  pending_.remove(object, attributes);
  trace_ << "TransportChange: queued object " << object << " change knocked out attrs: " << attributes << std::endl;
}

void transport_change_manager::on_timer() {
  for (auto& [object, attributes] : pending_.take_due(ldm_.get_scheduler().get_clock().time()))
    if (const object_entry* entry = ddb_.object(object); entry && !entry->deleted)
      announce(*entry, ddb_.owned_and_published(*entry, attributes));
}

// One message per transport the attributes now use; an attribute with none is not announced.
void transport_change_manager::announce(const object_entry& object, bit_vector attributes) {
  while (!attributes.is_empty()) {
    const uint32_t transport = ddb_.get_transport_type(object.handle, attributes.ffs());
    bit_vector same(attributes.length(), false);
    for_each_bit(attributes, [&](uint32_t a) {
      if (ddb_.get_transport_type(object.handle, a) == transport) same.set_bit(a);
    });
    attributes -= same;
    if (transport != no_transport) send(object, same, transport);
  }
}

// On the attributes' stream when they share one, so that exactly their subscribers hear it;
// otherwise on the broadcast stream.
void transport_change_manager::send(const object_entry& object, const bit_vector& attributes, uint32_t transport) {
  int32_t stream = no_stream;
  for_each_bit(attributes, [&](uint32_t a) {
    const int32_t s = object.stream[a];
    stream = stream == no_stream || stream == s ? s : broadcast_stream;
  });
  if (stream == no_stream) stream = broadcast_stream;
  const transport_change_message message{object.name, transport, attributes};
  ldm_buf* buffer = service_.get_buf();
  message.write(*buffer);
  service_.send(stream, priority, buffer);
  buffer->release_buf();
  ++counters_.sent;
  trace_ << "TransportChange: object " << object.name << " moving to transport " << transport
         << " attrs: " << attributes << std::endl;
}

void transport_change_manager::receive(int, unsigned char, ldm_buf* buffer) {
  const transport_change_message message = transport_change_message::read(*buffer, fed_);
  ++counters_.received;
  const object_entry* object = ddb_.object_named(message.name);
  if (!object) return;
  if (!transports_.get_transport_service(message.transport)) {
    ++counters_.no_service;
    return;
  }
  bit_vector remote = message.attributes;
  remote.set_length(object->object_class->attribute_count);
  for_each_bit(bit_vector(remote), [&](uint32_t a) {
    if (object->is_local(a)) remote.set_bit(a, false);
  });
  if (remote.is_empty()) return;
  trace_ << "TransportChange: remote object " << message.name << " moving to transport " << message.transport
         << " attrs: " << remote << std::endl;
  ddb_.set_transport_type(object->handle, remote, message.transport);
}

}  // namespace varnel
