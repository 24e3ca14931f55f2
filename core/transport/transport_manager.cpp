#include "transport/transport_manager.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <map>
#include <utility>

#include "bit_vector.h"
#include "fed/fed.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "message_stats.h"
#include "messages/handle_value_pair.h"
#include "messages/handle_value_set.h"
#include "objects/ddb.h"
#include "objects/failure_ownership.h"
#include "objects/ownership_manager.h"
#include "regions/filters.h"
#include "regions/region.h"
#include "rid.h"
#include "time/msgorder_manager.h"
#include "transport/transport_messages.h"
#include "transport/transport_minimum_rate.h"
#include "transport/transport_simple.h"
#include "transport/transport_state_consistent.h"
#include "transport/update_listener.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const update_op = "transport_manager::update_attribute_values ";
const char* const interaction_op = "transport_manager::send_interaction ";
const char* const event_names[] = {"updates", "interactions", "change_transport", "change_stream",
                                   "change_ownership"};
enum tracker { object_updates, object_receives, interaction_sends, interaction_receives };
const char* const tracker_names[] = {"object_updates", "object_receives", "interaction_sends", "interaction_receives"};

// The workarounds are a federate's own choice that few RIDs list: a RID without the section has
// none, and says nothing about it.
bool has_workaround(RID& rid, const char* word) {
  Document::Element* federate = rid.findTag("federate_parameters", rid.get_rid_file());
  Document::Element* workarounds = federate ? rid.findTag("workarounds", federate) : nullptr;
  if (!workarounds) return false;
  for (const Document::Value& value : workarounds->values)
    if (value.kind == Document::string_value && value.string && std::strcmp(value.string, word) == 0) return true;
  for (const Document::Element& child : workarounds->children)
    if (child.name && std::strcmp(child.name, word) == 0) return true;
  return false;
}

bool is_implementation(const char* implementation, const char* word) {
  return implementation && std::strcmp(implementation, word) == 0;
}

// Large values first, so that the buffer fills its packets with them.
void longest_first(std::vector<const handle_value_pair*>& values) {
  std::stable_sort(values.begin(), values.end(), [](const handle_value_pair* a, const handle_value_pair* b) {
    return a->get_length() > b->get_length();
  });
}

[[noreturn]] void refuse_attribute(ldm_error code, const char* line, const object_entry& entry, uint32_t attribute,
                                   const char* format) {
  std::cerr << update_op << line << "\n     object class: " << entry.object_class->handle
            << "\n   object ID: " << entry.handle << "\n   attribute: " << attribute << std::endl;
  throw make_ldm_exception(code, format, entry.handle, entry.name.c_str());
}

}  // namespace

// One message of an update: the values that share transport, order and stream.
struct transport_manager::group {
  transport_service* transport;
  uint32_t order;
  int32_t stream;
  const region_spec* region;  // carried in the message; null for none
  std::vector<const handle_value_pair*> values;
  // (attribute, checksum) of each value, committed once the message is sent; values may be
  // sorted, this list is not.
  std::vector<std::pair<uint32_t, uint64_t>> checksums;
  bit_vector attributes;
  bool changed = false;
  ldm_buf* buffer = nullptr;
};

transport_manager::transport_manager(local_distribution_manager& ldm, ddb& database, subscription_agent& agent,
                                     object_manager& objects, msgorder_manager& order)
    : ldm_(ldm),
      fed_(*ldm.get_fed()),
      ddb_(database),
      agent_(agent),
      objects_(objects),
      order_(order),
      receive_order_(fed_.get_order_id("receive")),
      timestamp_order_(fed_.get_order_id("timestamp")) {
  RID& rid = ldm.get_rid();
  settings_.sort_attributes = rid.get_boolean("updates", "sort_attributes");
  settings_.pass_times = rid.get_boolean("updates", "pass_times");
  settings_.perfect_filter = rid.get_boolean("updates", "perfect_filter");
  settings_.send_trans_attrs = rid.get_boolean("updates", "send_trans_attrs");
  debugging_events& debug = ldm.get_debugging_events();
  for (const char* name : event_names) debug.register_event(name, std::string("transport layer: ") + name);
  update_trace_ = &debug.stream("updates");
  interaction_trace_ = &debug.stream("interactions");
  for (int i = 0; i < 4; ++i) trackers_[i] = ldm.get_stats_tracker().register_tracker(tracker_names[i], "bytes");

  const bool no_shared = has_workaround(rid, "no_shared");
  services_.resize(fed_.num_transport_types());
  for (uint32_t id = 0; id < fed_.num_transport_types(); ++id) {
    const char* implementation = fed_.get_transport_implementation(id);
    if (!fed_.get_transport_name(id)) continue;
    if (is_implementation(implementation, "minimum_rate"))
      add_transport_service(std::make_unique<transport_minimum_rate>(*this, id, rid, no_shared));
    else if (is_implementation(implementation, "state_consistent"))
      add_transport_service(std::make_unique<transport_state_consistent>(*this, id, rid, no_shared));
    else
      add_transport_service(std::make_unique<transport_simple>(*this, id, rid, no_shared));
  }
  ddb_.set_listener(this);
}

transport_manager::~transport_manager() {
  ddb_.set_listener(nullptr);
  services_.clear();
  for (const char* name : event_names) ldm_.get_debugging_events().unregister_event(name);
}

void transport_manager::add_transport_service(std::unique_ptr<transport_service> service) {
  const uint32_t id = service->get_id();
  if (services_[id]) {
    std::cerr << "transport_manager::add_transport_service duplicate transport service " << id << std::endl;
    return;
  }
  services_[id] = std::move(service);
}

void transport_manager::add_update_listener(update_listener* listener) { listeners_.push_back(listener); }

void transport_manager::remove_update_listener(update_listener* listener) { std::erase(listeners_, listener); }

transport_service* transport_manager::get_transport_service(uint32_t id) const {
  if (id < services_.size()) return services_[id].get();
  std::cerr << "transport_manager::get_transport_service illegal transport service " << id << std::endl;
  return nullptr;
}

transport_service* transport_manager::service_of(uint32_t transport) const {
  return transport < services_.size() ? services_[transport].get() : nullptr;
}

bool transport_manager::is_implicit_transfer(uint32_t transport) const {
  return transport < services_.size() && services_[transport] && services_[transport]->has_implicit_transfer();
}

void transport_manager::give_away_implicit() {
  for (auto& service : services_)
    if (service && service->failure()) service->failure()->give_away();
}

// Outgoing updates

std::vector<transport_manager::group> transport_manager::group_values(uint32_t object, const handle_value_set& values,
                                                                      bit_vector& takeover) {
  const object_entry& entry = *ddb_.object(object);
  const object_class_entry& object_class = *entry.object_class;
  std::vector<group> groups;
  for (uint32_t i = 0; i < values.size(); ++i) {
    const handle_value_pair& pair = values.get_pair(i);
    const uint32_t a = pair.get_handle();
    if (a >= object_class.attribute_count || !object_class.published.get_bit(a))
      refuse_attribute(ldm_error::AttributeNotDefined, "aborting update of unpublished attribute", entry, a,
                       "Tried to update unpublished object %u (%s)");
    const uint32_t t = entry.transport.empty() ? object_class.default_transport[a] : entry.transport[a];
    transport_service* transport = t < services_.size() ? services_[t].get() : nullptr;
    if (!entry.is_local(a)) {
      if (!transport || !transport->has_implicit_transfer()) {
        std::cerr << update_op << "aborting update of remote object " << object << std::endl;
        throw make_ldm_exception(ldm_error::AttributeNotOwned, "Tried to update remote object %u (%s)", object,
                                 entry.name.c_str());
      }
      takeover.set_bit(a);
    }
    if (!transport)
      refuse_attribute(ldm_error::AttributeNotDefined, "aborting update of attribute with bad transport type: -1",
                       entry, a, "Tried to update bad attribute in object %u (%s)");
    const int32_t s = entry.stream[a];
    if (s < 1 || s > max_stream)
      refuse_attribute(ldm_error::AttributeNotDefined, "aborting update of attribute with UNASSIGNED_STM_ID", entry, a,
                       "Tried to update bad attribute in object %u (%s)");
    const uint32_t o = entry.order.empty() ? object_class.default_order[a] : entry.order[a];
    if (o >= fed_.num_order_types())
      refuse_attribute(ldm_error::AttributeNotDefined, "aborting update of attribute with bad order type: ", entry, a,
                       "Tried to update bad attribute in object %u (%s)");
    const region_spec* r = sending_region(entry.filter.empty() ? nullptr : entry.filter[a]);
    auto found = std::find_if(groups.begin(), groups.end(), [&](const group& g) {
      return g.transport == transport && g.order == o && g.stream == s && g.region == r;
    });
    if (found == groups.end()) {
      groups.push_back(group{transport, o, s, r, {}, {}, bit_vector(object_class.attribute_count, false)});
      found = groups.end() - 1;
    }
    const uint64_t checksum = pair.get_cksum();
    found->values.push_back(&pair);
    found->checksums.emplace_back(a, checksum);
    found->attributes.set_bit(a);
    found->changed |= entry.checksum[a] != checksum;
  }
  return groups;
}

// The region a message carries: with perfect_filter, the attribute's (the interaction's) region
// when it has extents; receivers then filter on it.
const region_spec* transport_manager::sending_region(const filter_spec_base* filter) const {
  if (!settings_.perfect_filter || !filter) return nullptr;
  const region_spec* region = filter->as_region();
  return region && region->get_num_extents() > 0 ? region : nullptr;
}

void transport_manager::check_size(ldm_buf* buffer, const char* what, uint32_t handle) const {
  if (buffer->get_size() <= max_message_bytes) return;
  throw make_ldm_exception(ldm_error::InternalError, "%s %u encodes to %u bytes, more than the %u a message can carry",
                           what, handle, buffer->get_size(), max_message_bytes);
}

event_retraction_handle transport_manager::update_attribute_values(uint32_t object, const handle_value_set& values,
                                                                   const absolute_time* time, const user_tag& tag) {
  object_entry* entry = ddb_.object_for_update(object);
  if (!entry) {
    std::cerr << update_op << "aborting update of unknown object " << object << std::endl;
    throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Tried to update unknown object %u", object);
  }
  bit_vector takeover(entry->object_class->attribute_count, false);
  std::vector<group> groups = group_values(object, values, takeover);

  // Encode every message before sending any.
  data_message message;
  message.flags = data_flags::update | (entry->privilege_travels ? data_flags::privilege : 0);
  message.sender = ldm_.get_federate_id();
  message.class_handle = entry->object_class->handle;
  message.object_name = entry->name;
  message.tag = tag;
  event_retraction_handle handle;
  auto release_all = [&groups] {
    for (group& g : groups)
      if (g.buffer) g.buffer->release_buf();
  };
  try {
    for (group& g : groups) {
      if (settings_.sort_attributes) longest_first(g.values);
      if (settings_.send_trans_attrs) {
        message.transports.emplace(entry->object_class->attribute_count, false);
        for (uint32_t a = 0; a < entry->object_class->attribute_count; ++a)
          if (ddb_.get_transport_type(object, a) == g.transport->get_id()) message.transports->set_bit(a);
      }
      message.region.reset();
      if (g.region) message.region = region_block::of(*g.region);
      g.buffer = g.transport->get_buf(message_order_of(fed_, g.order), time, handle);
      message.write(*g.buffer, g.values);
      check_size(g.buffer, "An update of object", object);
    }
  } catch (...) {
    release_all();
    throw;
  }

  if (!takeover.is_empty()) {
    ddb_.set_attributes_local(object, takeover);
    if (ownership_manager* ownership = ldm_.get_ownership_manager()) ownership->implicit_gain(object, takeover);
  }
  for (size_t n = 0; n < groups.size(); ++n) {
    group& g = groups[n];
    ddb_.set_used(object, g.attributes);
    *update_trace_ << "O<< update message " << n << " passed to transport " << g.transport->get_id() << " stream "
                   << g.stream << std::endl;
    // Committed first: a transport may write the checksums of the values last sent.
    for (const auto& [attribute, checksum] : g.checksums) entry->checksum[attribute] = checksum;
    g.transport->send_update(g.buffer, g.stream, *entry, g.attributes, g.changed);
    ++counters_.update_messages;
    for (update_listener* listener : listeners_) listener->updated(object, g.attributes);
  }
  release_all();
  entry->last_sender = ldm_.get_federate_id();
  ++counters_.updates;
  ldm_.get_stats_tracker().note_event(trackers_[object_updates], entry->object_class->handle,
                                      static_cast<uint32_t>(values.num_bytes_in_set()));
  return handle;
}

event_retraction_handle transport_manager::send_interaction(uint32_t interaction, const handle_value_set& values,
                                                            const absolute_time* time, const user_tag& tag,
                                                            filter_spec_base& filter) {
  const interaction_class_entry* entry = ddb_.interaction_class(interaction);
  if (!entry) {
    std::cerr << interaction_op << "interaction class " << interaction << " not in local distribution database"
              << std::endl;
    throw make_ldm_exception(ldm_error::InteractionClassNotDefined, "Tried to update bad interaction class %u",
                             interaction);
  }
  const char* name = fed_.get_interaction_class_name(interaction);
  if (!entry->published) {
    std::cerr << interaction_op << "interaction class " << interaction << " not published" << std::endl;
    throw make_ldm_exception(ldm_error::InteractionClassNotPublished,
                             "Tried to update unpublished interaction class %u (%s)", interaction, name);
  }
  transport_service* transport = entry->transport < services_.size() ? services_[entry->transport].get() : nullptr;
  const int32_t stream = filter.get_pub_stream();
  const char* problem = !transport ? " with bad transport type "
                        : stream < 1 || stream > max_stream ? " with UNASSIGNED_STM_ID"
                        : entry->order >= fed_.num_order_types() ? " with bad order type "
                                                                  : nullptr;
  if (problem) {
    std::cerr << "aborting interaction send of class " << interaction << problem << std::endl;
    throw make_ldm_exception(ldm_error::InteractionClassNotDefined, "Tried to update bad interaction class %u (%s)",
                             interaction, name);
  }
  if (!transport->carries_interactions())
    throw make_ldm_exception(ldm_error::InternalError, "Interaction class %s cannot be sent on transport %s", name,
                             transport->get_name().c_str());
  const uint32_t parameters = fed_.num_parameters(interaction);
  std::vector<const handle_value_pair*> pairs;
  for (uint32_t i = 0; i < values.size(); ++i) {
    const handle_value_pair& pair = values.get_pair(i);
    if (pair.get_handle() >= parameters)
      throw make_ldm_exception(ldm_error::InteractionParameterNotDefined, "Parameter %u is not defined in class %s",
                               pair.get_handle(), name);
    pairs.push_back(&pair);
  }
  if (settings_.sort_attributes) longest_first(pairs);
  data_message message;
  message.flags = data_flags::interaction;
  message.sender = ldm_.get_federate_id();
  message.class_handle = interaction;
  message.tag = tag;
  if (const region_spec* region = sending_region(&filter)) message.region = region_block::of(*region);
  event_retraction_handle handle;
  ldm_buf* buffer = transport->get_buf(message_order_of(fed_, entry->order), time, handle);
  message.write(*buffer, pairs);
  try {
    check_size(buffer, "An interaction of class", interaction);
  } catch (...) {
    buffer->release_buf();
    throw;
  }
  transport->send_interaction(buffer, stream);
  buffer->release_buf();
  ++counters_.interactions;
  ldm_.get_stats_tracker().note_event(trackers_[interaction_sends], interaction,
                                      static_cast<uint32_t>(values.num_bytes_in_set()));
  return handle;
}

// Incoming

void transport_manager::note_received(bool update, uint32_t class_handle, uint64_t bytes) {
  ++(update ? received_.reflections : received_.interactions);
  ldm_.get_stats_tracker().note_event(trackers_[update ? object_receives : interaction_receives], class_handle,
                                      static_cast<uint32_t>(bytes));
}

// Changes of the objects

// Calls tell(service, attributes) once per transport among the attributes' current ones.
template <class Tell>
void transport_manager::by_transport(const object_entry& object, const bit_vector& attributes, Tell tell) {
  std::map<uint32_t, bit_vector> groups;
  for_each_bit(attributes, [&](uint32_t a) {
    const uint32_t t = ddb_.get_transport_type(object.handle, a);
    if (service_of(t)) groups.try_emplace(t, object.object_class->attribute_count, false).first->second.set_bit(a);
  });
  for (const auto& [t, group] : groups) tell(*services_[t], group);
}

void transport_manager::object_added(const object_entry& object) {
  if (!object.has_local) return;
  by_transport(object, object.object_class->published,
               [&](transport_service& service, const bit_vector& group) { service.attributes_assigned(object, group); });
}

void transport_manager::transport_moved(const object_entry& object, const bit_vector& attributes, uint32_t from,
                                        uint32_t to) {
  if (transport_service* lost = service_of(from)) lost->attributes_lost(object, attributes);
  if (transport_service* assigned = service_of(to)) assigned->attributes_assigned(object, attributes);
}

void transport_manager::stream_moved(const object_entry& object, uint32_t attribute, int32_t stream) {
  if (transport_service* service = service_of(ddb_.get_transport_type(object.handle, attribute))) {
    bit_vector moved(object.object_class->attribute_count, false);
    moved.set_bit(attribute);
    service->attributes_restreamed(object, moved, stream);
  }
}

void transport_manager::ownership_changed(const object_entry& object, const bit_vector& attributes, bool gaining) {
  by_transport(object, attributes, [&](transport_service& service, const bit_vector& group) {
    service.ownership_changed(object, group, gaining);
  });
}

void transport_manager::object_removed(const object_entry& object) {
  for (const auto& service : services_)
    if (service) service->object_removed(object);
}

}  // namespace varnel
