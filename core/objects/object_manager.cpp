#include "objects/object_manager.h"

#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <vector>

#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "messages/user_tag.h"
#include "objects/creation_actor.h"
#include "objects/ddb.h"
#include "objects/deletion_actor.h"
#include "objects/object_messages.h"
#include "objects/remembered_object_queue.h"
#include "rid.h"
#include "stream_manager.h"
#include "time/absolute_time.h"
#include "time/msgorder_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* event_name = "objects";

dstream& registered_event(debugging_events& debug) {
  debug.register_event(event_name, "object registration, discovery and deletion");
  return debug.stream(event_name);
}

constexpr int creation_stream = 2;

uint32_t privilege_attribute(const FED& fed) {
  const uint32_t root = fed.get_object_class_handle("ObjectRoot");
  if (root == invalid_handle) {
    std::cerr << "OM: unable to find class ObjectRoot." << std::endl;
    throw ldm_exception(ldm_error::InternalError, "No ObjectRoot class");
  }
  const uint32_t attribute = fed.get_attribute_handle("privilegeToDelete", root);
  if (attribute == invalid_handle) {
    std::cerr << "OM: unable to find attribute privilegeToDelete." << std::endl;
    throw ldm_exception(ldm_error::InternalError, "No privilegeToDelete attribute");
  }
  return attribute;
}

}  // namespace

object_manager::object_manager(local_distribution_manager& ldm, ddb& database, msgorder_manager& order)
    : ldm_(ldm),
      ddb_(database),
      trace_(registered_event(ldm.get_debugging_events())),
      privilege_to_delete_(privilege_attribute(*ldm.get_fed())),
      creation_announcements_(ldm.get_rid().get_boolean("objects", "creation_announcements")) {
  const int32_t memory_ms = ldm.get_rid().get_integer("objects", "deletion_memory_length");
  remembered_ = std::make_unique<remembered_object_queue>(ldm.get_scheduler(), memory_ms > 0 ? memory_ms : 0);
  ldm.get_stream_manager().join(creation_stream);
  creation_ = std::make_unique<creation_actor>(ldm, *this, trace_);
  deletion_ = std::make_unique<deletion_actor>(order, *this);
  ldm.get_federation_manager().add_federate_join_client(this);
}

object_manager::~object_manager() {
  ldm_.get_federation_manager().remove_federate_join_client(this);
  deletion_.reset();
  creation_.reset();
  ldm_.get_stream_manager().leave(creation_stream);
  remembered_.reset();
  ldm_.get_debugging_events().unregister_event(event_name);
}

// Registration

uint32_t object_manager::register_object(uint32_t object_class, const char* name) {
  const object_class_entry* entry = ddb_.object_class(object_class);
  if (!entry || !entry->is_published())
    throw make_ldm_exception(ldm_error::ObjectClassNotPublished, "Object class %u is not published", object_class);
  if (name && *name) check_name(name);
  const uint32_t handle = next_handle();
  const std::string chosen = name && *name ? std::string(name) : automatic_name(handle);
  ddb_.instantiate_object(object_class, handle, chosen.c_str(), false, ldm_.get_federate_id());
  if (transport_manager* transports = ldm_.get_transport_manager()) {
    const uint32_t transport = ddb_.get_transport_type(handle, privilege_to_delete_);
    ddb_.set_privilege_flag(handle, transports->is_implicit_transfer(transport));
  }
  trace_ << "OM: instantiate local object, class " << object_class << " obj_id " << handle << " obj_name " << chosen
         << std::endl;
  ++counters_.registered;
  return handle;
}

void object_manager::check_name(const char* name) const {
  if (std::string_view(name).substr(0, 3) == "HLA")
    throw ldm_exception(ldm_error::IllegalName, "Object names beginning with \"HLA\" are reserved");
  if (known_names_.count(name))
    throw make_ldm_exception(ldm_error::ObjectInstanceNameInUse, "An object named %s is already registered", name);
  if (const object_entry* held = ddb_.object_named(name))
    throw make_ldm_exception(ldm_error::ObjectInstanceNameInUse, "Object %u is already registered with name %s",
                             held->handle, name);
}

// The counter skips 0 and, once it has wrapped, every handle still in use.
uint32_t object_manager::next_handle() {
  while (next_handle_ == 0 || ddb_.object(next_handle_)) ++next_handle_;
  return next_handle_++;
}

// Unique in the federation: the federate's identifier and its own handle.
std::string object_manager::automatic_name(uint32_t handle) const {
  uint32_t host = 0;
  uint16_t process = 0, index = 0;
  ldm_.get_federate().get_components(host, process, index);
  char text[64];
  std::snprintf(text, sizeof text, "HLA/%" PRIx32 "/%u/%x/%" PRIu32, host, unsigned{process}, unsigned{index}, handle);
  return text;
}

void object_manager::announce_creation(uint32_t object) {
  const object_entry* entry = ddb_.object(object);
  if (!creation_announcements_ || !entry) return;
  creation_message message;
  message.sender = ldm_.get_federate_id();
  message.class_handle = entry->object_class->handle;
  message.name = entry->name;
  message.privilege = entry->privilege_travels;
  message.object = object;
  for (uint32_t a = 0; a < entry->stream.size(); ++a)
    if (entry->stream[a] != no_stream && entry->is_local(a))
      message.streams.set_bit(static_cast<uint32_t>(entry->stream[a]));
  trace_ << "Sending creation message for object " << entry->name << std::endl;
  creation_->send(message);
  remember_name(entry->name, ldm_.get_federate_id());
}

void object_manager::remember_name(const std::string& name, uint32_t announcer) {
  if (known_names_.size() >= max_known_names && !known_names_.count(name)) {
    ++counters_.names_refused;
    return;
  }
  known_names_[name] = announcer;
}

// Discovery

// An announcement sent before a deletion that has already arrived (a late repeat, the first
// copies lost) must neither bring the object back nor hold its name.
void object_manager::creation_received(const creation_message& message) {
  if (refuses_reserved(message.name)) return;
  const remembered_object_queue::deleted_by* deleted = remembered_->find(message.name);
  if (deleted && deleted->sender == message.sender && deleted->object >= message.object) {
    ++counters_.stale_announcements;
    return;
  }
  remember_name(message.name, message.sender);
  const object_class_entry* announced = ddb_.object_class(message.class_handle);
  if (!announced || announced->discover_as == no_class) return;
  if (ddb_.object_named(message.name)) {
    trace_ << "Creation message for known object " << message.name << std::endl;
    return;
  }
  if (!ldm_.get_stream_manager().is_joined(message.streams)) return;
  trace_ << "Received creation message for object " << message.name << std::endl;
  remembered_->forget(message.name);
  if (const uint32_t object = discover_object(announced->discover_as, message.sender, message.name))
    ddb_.set_privilege_flag(object, message.privilege);
}

uint32_t object_manager::discover_object(uint32_t object_class, uint32_t sender, const std::string& name) {
  if (remembered_->contains(name)) {
    ++counters_.remembered_dropped;
    return 0;
  }
  const uint32_t handle = next_handle();
  ddb_.instantiate_object(object_class, handle, name.c_str(), true, sender);
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_instantiate_discovered_object(handle, object_class, name.c_str(), sender);
  trace_ << "OM: instantiate remote object, class " << object_class << " obj_id " << handle << " obj_name " << name
         << std::endl;
  ++counters_.discovered;
  return handle;
}

bool object_manager::is_remembered(const std::string& name) const { return remembered_->contains(name); }

bool object_manager::refuses_reserved(const std::string& name) {
  if (name.rfind(management_prefix, 0) != 0) return false;
  ++counters_.reserved_names;
  trace_ << "OM: dropped a message naming the management object " << name << std::endl;
  return true;
}

// Deletion

event_retraction_handle object_manager::delete_local_object(uint32_t object, const user_tag& tag,
                                                            const absolute_time* time) {
  const object_entry* entry = ddb_.object(object);
  if (!entry) throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Object %u not known", object);
  if (!entry->holds_delete_privilege(privilege_to_delete_))
    throw make_ldm_exception(ldm_error::DeletePrivilegeNotHeld, "The privilege to delete object %u is held elsewhere",
                             object);
  return send_deletion(*entry, tag, time);
}

event_retraction_handle object_manager::send_deletion(const object_entry& entry, const user_tag& tag,
                                                      const absolute_time* time) {
  const uint32_t object = entry.handle;
  trace_ << "OM: deleting local object, object_id " << object << std::endl;
  const deletion_message message{.name = entry.name, .sender = ldm_.get_federate_id(), .tag = tag, .object = object};
  const uint32_t order = ddb_.get_order_type(object, privilege_to_delete_);
  event_retraction_handle handle;
  trace_ << "Sending deletion message for object " << entry.name << std::endl;
  deletion_->send(message, message_order_of(*ldm_.get_fed(), order), time, handle);
  known_names_.erase(entry.name);
  ddb_.remove_object(object);
  ++counters_.deleted_local;
  return handle;
}

void object_manager::delete_local_objects() {
  for (uint32_t object : ddb_.object_handles()) {
    const object_entry* entry = ddb_.object(object);
    if (entry && entry->holds_delete_privilege(privilege_to_delete_)) delete_local_object(object, user_tag(), nullptr);
  }
}

bool object_manager::flush_remote_object(uint32_t object) {
  const object_entry* entry = ddb_.object(object);
  if (!entry || entry->deleted || entry->holds_delete_privilege(privilege_to_delete_)) return false;
  known_names_.erase(entry->name);
  remembered_->remember(entry->name, {entry->last_sender, object});
  delete_remote_object(object, entry->last_sender, user_tag(), nullptr, event_retraction_handle{});
  return true;
}

void object_manager::cleanup_object(uint32_t object) {
  const object_entry* entry = ddb_.object(object);
  if (!entry || entry->deleted) return;
  if (entry->holds_delete_privilege(privilege_to_delete_)) {
    send_deletion(*entry, user_tag(), nullptr);
    return;
  }
  // The others forget it on the deletion message; this federate as if it had received one.
  const deletion_message message{.name = entry->name, .sender = ldm_.get_federate_id(), .tag = user_tag(), .object = object};
  event_retraction_handle handle;
  deletion_->send(message, message_order_of(*ldm_.get_fed(), ddb_.get_order_type(object, privilege_to_delete_)),
                  nullptr, handle);
  flush_remote_object(object);
}

// A deletion of a name this federate never discovered is remembered too: a late update of the
// deleted object must not discover it.
void object_manager::deletion_received(const deletion_message& message, const absolute_time* time,
                                       const event_retraction_handle& handle) {
  if (refuses_reserved(message.name)) return;
  known_names_.erase(message.name);
  remembered_->remember(message.name, {message.sender, message.object});
  const object_entry* entry = ddb_.object_named(message.name);
  if (!entry) {
    trace_ << "Received deletion message for unknown object " << message.name << std::endl;
    return;
  }
  trace_ << "Received deletion message for object " << message.name << std::endl;
  delete_remote_object(entry->handle, message.sender, message.tag, time, handle);
}

// The federate hears of the deletion at once, in order with whatever else this call delivers (a
// deletion released by a time advance comes before its grant). Outside the scheduler's run the
// entry itself goes at the next run: the caller may be walking the objects.
void object_manager::delete_remote_object(uint32_t object, uint32_t sender, const user_tag& tag,
                                          const absolute_time* time, const event_retraction_handle& handle) {
  const object_entry* entry = ddb_.object(object);
  if (!entry || entry->deleted) return;
  if (!entry->privilege_travels && entry->holds_delete_privilege(privilege_to_delete_)) {
    std::cerr << "OM: called delete_remote_object on local object " << object << std::endl;
    return;
  }
  trace_ << "OM: deleting remote object, object_id " << object << std::endl;
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_delete_object(object, entry->name.c_str(), entry->object_class->handle, sender, time,
                                 handle.serial ? &handle : nullptr, tag);
  ++counters_.deleted_remote;
  if (ldm_.get_scheduler().current_event()) {
    ddb_.remove_object(object);
    return;
  }
  ddb_.mark_deleted(object);
  deferred_.push_back(object);
  if (!is_scheduled()) schedule(ldm_.get_scheduler(), 0);
}

void object_manager::on_timer() {
  std::deque<uint32_t> due;
  due.swap(deferred_);
  for (uint32_t object : due) ddb_.remove_object(object);
}

// Names announced by a federate that is gone can be registered again.
void object_manager::federate_joined(federate_record*) {}

void object_manager::federate_gone(federate_record* federate) {
  std::erase_if(known_names_, [&](const auto& known) { return known.second == federate->handle; });
}

}  // namespace varnel
