#include "transport/transport_service.h"

#include <iostream>

#include "bit_vector.h"
#include "fed/fed.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "objects/ddb.h"
#include "objects/failure_ownership.h"
#include "objects/ownership_manager.h"
#include "objects/object_manager.h"
#include "objects/subscription_agent.h"
#include "regions/filter_space.h"
#include "regions/filters.h"
#include "regions/region.h"
#include "rid.h"
#include "time/msgorder_manager.h"
#include "transport/transport_manager.h"
#include "transport/transport_messages.h"

namespace varnel {

using namespace brindle;

struct transport_service::arrival {
  data_message::decoded decoded;
  message_order order;
  const absolute_time* time;  // null when none, or removed for receive order
  const event_retraction_handle* handle;
  int stream;
  ldm_buf* buffer;
};

transport_service::transport_service(transport_manager& manager, uint32_t id, RID& rid, bool no_shared)
    : manager_(manager), id_(id), name_(manager.get_ldm().get_fed()->get_transport_name(id)) {
  suppress_dups_ = rid.get_boolean("transport_types", name_.c_str(), "suppress_dups");
  implicit_transfer_ = !no_shared && rid.get_boolean("transport_types", name_.c_str(), "implicit_transfer");
  if (implicit_transfer_) {
    const bool enabled = rid.get_boolean("transport_types", name_.c_str(), "failure_transfer");
    failure_ = std::make_unique<failure_ownership>(manager.get_ldm(), manager.database(), id, name_, enabled);
  }
  manager.ordering().register_client(*this);
}

transport_service::~transport_service() = default;

ldm_buf* transport_service::get_buf(message_order order, const absolute_time* time, event_retraction_handle& handle) {
  return manager_.ordering().get_buf(*this, service_, order, time, handle);
}

// A message the decoder refuses throws on to the ordering layer, which drops and counts it.
void transport_service::deliver(ordering_service, message_order order, const absolute_time* time,
                                const event_retraction_handle& handle, int stream, unsigned char, ldm_buf* buffer) {
  const bool keep_time = order == message_order::timestamp || manager_.get_settings().pass_times;
  arrival in{data_message::read(*buffer, *manager_.get_ldm().get_fed()), order, keep_time ? time : nullptr,
             keep_time && time ? &handle : nullptr, stream, buffer};
  if (in.decoded.unknown_space) {
    ++counters_.unknown_space;
    return;
  }
  counters_.foreign_values += in.decoded.dropped_values;
  if (in.decoded.message.is_update()) {
    read_trailer(*buffer);
    decode_update(in);
  } else {
    decode_interaction(in);
  }
}

// A class subscription hears everything on its streams; otherwise some extent of the message must
// overlap a region that subscribes the class the message is received as (a region subscription
// to a superclass hears its subclasses' instances).
bool transport_service::region_accepts(const data_message& message, bool class_subscribes, uint32_t object_class,
                                       uint32_t interaction) {
  if (!message.region || class_subscribes) return true;
  const region_block& region = *message.region;
  const filter_space_base* space = manager_.subscriptions().plan().get_space(region.space);
  const size_t words = region.extents ? region.bounds.size() / region.extents : 0;
  if (space && words > 0)
    for (size_t at = 0; at < region.bounds.size(); at += words)
      if (space->match(std::span(region.bounds).subspan(at, words), object_class, interaction)) return true;
  ++counters_.region_filtered;
  return false;
}

// A value set received with region data carries the sender's extents, for the federate to read.
void transport_service::attach_region(data_message& message, handle_value_set& values) {
  if (message.region)
    values.set_received_region(message.region->space, message.region->extents, std::move(message.region->bounds));
}

void transport_service::decode_update(arrival& in) {
  const data_message& m = in.decoded.message;
  ddb& database = manager_.database();
  dstream& trace = manager_.update_trace();
  const object_class_entry* sent_class = database.object_class(m.class_handle);
  if (!sent_class || sent_class->discover_as == no_class) {
    ++counters_.not_subscribed;
    trace << "O>> object class not subscribed" << std::endl;
    return;
  }
  const uint32_t discover_as = sent_class->discover_as;
  auto& class_filter = manager_.subscriptions().get_object_class_spec(discover_as);
  if (!region_accepts(m, class_filter.object_classes().count(discover_as) != 0, discover_as, invalid_handle)) {
    trace << "O>> region filter matches no subscription" << std::endl;
    return;
  }
  object_entry* object = database.object_for_update(m.object_name);
  if (!known_with_related_class(m, object)) return;
  const uint32_t object_class = object ? object->object_class->handle : discover_as;
  const object_class_entry& receiving = *database.object_class(object_class);
  bit_vector attributes(receiving.attribute_count, false);
  value_set_ptr kept = subscribed_values(in, receiving, object, attributes);
  if (kept->size() == 0) {
    ++counters_.no_subscribed_values;
    trace << "O>> no subscribed attributes in update" << std::endl;
    return;
  }
  if (!object) {
    trace << "O>> creating remote object " << m.object_name << std::endl;
    const uint32_t handle = manager_.objects().discover_object(discover_as, m.sender, m.object_name);
    object = handle ? database.object_for_update(handle) : nullptr;
    if (!object) {
      ++counters_.not_instantiated;
      std::cerr << "transport_service::decode_update failed to instantiate new object: " << m.object_name
                << "  class: " << discover_as << "  Abort receive." << std::endl;
      return;
    }
  }
  note_arrival(in, *object, receiving, attributes);

  bool changed = false;
  for (uint32_t i = 0; i < kept->size(); ++i) {
    const handle_value_pair& pair = kept->get_pair(i);
    const uint64_t checksum = pair.get_cksum();
    changed |= object->checksum[pair.get_handle()] != checksum;
    object->checksum[pair.get_handle()] = checksum;
  }
  const int accept = accept_update(m, *object, in.stream);
  if (accept == 0 || (accept == 2 && !changed && suppress_dups_)) {
    ++(accept == 0 ? counters_.refused : counters_.unchanged);
    trace << "O>> dropped update object " << m.object_name << std::endl;
    return;
  }
  kept->set_transport_type(id_);
  attach_region(in.decoded.message, *kept);
  ++counters_.updates;
  manager_.note_received(true, object_class, kept->num_bytes_in_set());
  if (callback_queue* callbacks = manager_.get_ldm().get_callback_queue())
    callbacks->add_update_attribute_values(object->handle, object->name.c_str(), object_class, m.sender, *kept,
                                           in.time, in.handle, m.tag);
}

// An unknown name of a recently deleted object is dropped silently (a late update); a known name
// arriving with an unrelated class (two federates registered one name at once) is not read
// against the wrong class. Both are counted by the object manager.
bool transport_service::known_with_related_class(const data_message& message, const object_entry* object) {
  object_manager& objects = manager_.objects();
  if (objects.refuses_reserved(message.object_name)) return false;
  if (!object && objects.is_remembered(message.object_name)) {
    objects.count_remembered_drop();
    return false;
  }
  if (!object || manager_.get_ldm().get_fed()->is_object_class_derived(object->object_class->handle,
                                                                         message.class_handle))
    return true;
  objects.count_unrelated_class();
  manager_.update_trace() << "O>> object " << message.object_name << " known with an unrelated class" << std::endl;
  return false;
}

// The values this federate subscribes on the message's stream, once per attribute; without
// implicit transfer, not those of attributes it owns. attributes gets their handles.
value_set_ptr transport_service::subscribed_values(const arrival& in, const object_class_entry& receiving,
                                                   const object_entry* object, bit_vector& attributes) {
  const object_class_entry* subscriber = manager_.database().object_class(receiving.discover_as);
  const handle_value_set& values = *in.decoded.values;
  value_set_ptr kept(new handle_value_set(values.size(), in.buffer));
  if (!subscriber || !subscriber->streams.count(static_cast<uint32_t>(in.stream))) return kept;
  for (uint32_t i = 0; i < values.size(); ++i) {
    const handle_value_pair& pair = values.get_pair(i);
    const uint32_t a = pair.get_handle();
    if (a >= receiving.attribute_count || attributes.get_bit(a) || !subscriber->subscribed.get_bit(a)) continue;
    if (object && !implicit_transfer_ && object->is_local(a)) continue;
    attributes.set_bit(a);
    kept->add_borrowed(a, pair.get_length(), pair.get_data());
  }
  return kept;
}

// What the update says of the object: its privilege flag, attributes taken over by implicit
// transfer, the stream, transport and order its attributes travel on, its last sender.
void transport_service::note_arrival(const arrival& in, object_entry& object, const object_class_entry& receiving,
                                     const bit_vector& attributes) {
  const data_message& m = in.decoded.message;
  ddb& database = manager_.database();
  object.privilege_travels = (m.flags & data_flags::privilege) != 0;
  if (implicit_transfer_) {
    bit_vector lost(receiving.attribute_count, false);
    for_each_bit(attributes, [&](uint32_t a) {
      if (object.is_local(a)) lost.set_bit(a);
    });
    if (!lost.is_empty()) {
      database.set_attributes_remote(object.handle, lost);
      if (ownership_manager* ownership = manager_.get_ldm().get_ownership_manager())
        ownership->implicit_loss(object.handle, lost);
    }
    if (failure_) failure_->object_heard(object.handle);
  }
  database.note_received(object.handle, attributes, in.stream, id_, manager_.order_id(in.order));
  if (m.transports) {
    bit_vector listed(receiving.attribute_count, false);
    for_each_bit(*m.transports, [&](uint32_t a) {
      if (a < receiving.attribute_count && !object.is_local(a)) listed.set_bit(a);
    });
    if (!listed.is_empty()) database.set_transport_type(object.handle, listed, id_);
  }
  object.last_sender = m.sender;
}

void transport_service::decode_interaction(arrival& in) {
  const data_message& m = in.decoded.message;
  ddb& database = manager_.database();
  dstream& trace = manager_.interaction_trace();
  const interaction_class_entry* sent_class = database.interaction_class(m.class_handle);
  if (!sent_class || sent_class->receive_as == no_class) {
    ++counters_.not_subscribed;
    trace << "I>> interaction class not subscribed" << std::endl;
    return;
  }
  const uint32_t receive_as = sent_class->receive_as;
  auto& class_filter = manager_.subscriptions().get_interaction_class_spec(receive_as);
  if (!region_accepts(m, class_filter.interaction_classes().count(receive_as) != 0, invalid_handle, receive_as)) {
    trace << "I>> region filter matches no subscription" << std::endl;
    return;
  }
  const interaction_class_entry& receiving = *database.interaction_class(receive_as);
  if (!receiving.is_subscribed() || !receiving.streams.count(static_cast<uint32_t>(in.stream))) {
    ++counters_.not_subscribed;
    trace << "I>> interaction class not subscribed" << std::endl;
    return;
  }
  // Parameters of the sent subclass that the receiving class lacks are dropped; an interaction
  // sent without parameters is still one.
  const uint32_t parameters = manager_.get_ldm().get_fed()->num_parameters(receive_as);
  value_set_ptr kept(new handle_value_set(in.decoded.values->size(), in.buffer));
  for (uint32_t i = 0; i < in.decoded.values->size(); ++i) {
    const handle_value_pair& pair = in.decoded.values->get_pair(i);
    if (pair.get_handle() < parameters) kept->add_borrowed(pair.get_handle(), pair.get_length(), pair.get_data());
  }
  if (kept->size() == 0 && in.decoded.values->size() + in.decoded.dropped_values > 0) {
    ++counters_.no_subscribed_values;
    trace << "I>> no subscribed parameters in interaction" << std::endl;
    return;
  }
  if (!accept_interaction(m, in.stream)) {
    ++counters_.refused;
    trace << "I>> dropped interaction " << m.class_handle << std::endl;
    return;
  }
  kept->set_transport_type(id_);
  attach_region(in.decoded.message, *kept);
  ++counters_.interactions;
  manager_.note_received(false, receive_as, kept->num_bytes_in_set());
  if (callback_queue* callbacks = manager_.get_ldm().get_callback_queue())
    callbacks->add_send_interaction(receive_as, m.sender, *kept, in.time, in.handle, m.tag);
}

}  // namespace varnel
