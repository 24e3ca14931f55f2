#include "regions/scope_manager.h"

#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "objects/ddb.h"
#include "regions/scope_messages.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const service_name = "scope";
const char* const event_names[] = {"update_scope", "change_scope", "out_of_scope"};
const char* const group_name = "all_scope";

dstream& registered(debugging_events& debug, const char* name) {
  debug.register_event(name, std::string("scope: ") + name);
  return debug.stream(name);
}

}  // namespace

scope_manager::scope_manager(local_distribution_manager& ldm, ddb& database)
    : ldm_(ldm),
      ddb_(database),
      update_trace_(registered(ldm.get_debugging_events(), event_names[0])),
      change_trace_(registered(ldm.get_debugging_events(), event_names[1])),
      out_trace_(registered(ldm.get_debugging_events(), event_names[2])) {
  ldm.get_debugging_events().register_event(group_name, "scope: every scope event",
                                            {event_names[0], event_names[1], event_names[2]});
  service_ = std::make_unique<vessmark::stream_service>(&ldm.get_stream_manager(), this, service_name);
}

scope_manager::~scope_manager() {
  service_.reset();
  debugging_events& debug = ldm_.get_debugging_events();
  debug.unregister_event(group_name);
  for (const char* name : event_names) debug.unregister_event(name);
}

void scope_manager::moved(const object_entry& object, int32_t from, const bit_vector& attributes, int32_t to) {
  if (object.deleted || from == to || from == no_stream || attributes.is_empty()) return;
  update_trace_ << "Scope: object " << object.name << " moving from stream " << from << " to " << to << std::endl;
  ldm_buf* buffer = service_->get_buf();
  scope_message{object.name, to, attributes}.write(*buffer);
  service_->send_broadcast(from, priority, buffer);
  buffer->release_buf();
  ++counters_.sent;
}

void scope_manager::receive(int stream, unsigned char, ldm_buf* buffer) {
  const scope_message m = scope_message::read(*buffer);
  const object_entry* object = ddb_.object_named(m.object);
  if (!object || !object->has_remote) {
    ++counters_.unknown_object;
    return;
  }
  bit_vector attributes = m.attributes;
  attributes.set_length(object->object_class->attribute_count);
  for (uint32_t a = attributes.ffs(); a != bit_vector::npos; a = attributes.find_next(a + 1))
    if (object->is_local(a) || object->stream[a] != stream) attributes.set_bit(a, false);
  if (attributes.is_empty()) {
    ++counters_.stale;
    return;
  }
  if (m.new_stream == no_stream || !ldm_.get_stream_manager().is_joined(m.new_stream)) {
    out_trace_ << "Scope: remote object " << m.object << " going out of scope" << std::endl;
    ++counters_.out_of_scope;
    ddb_.unset_stream(object->handle, attributes);
  } else {
    change_trace_ << "Scope: remote object " << m.object << " moving from stream " << stream << " to "
                  << m.new_stream << std::endl;
    ++counters_.moved;
    ddb_.set_stream(object->handle, attributes, m.new_stream);
  }
}

}  // namespace varnel
