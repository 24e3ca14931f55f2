#include "objects/ddb.h"

#include <algorithm>
#include <sstream>

#include "diagnostic.h"
#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "frame/callback_queue.h"
#include "frame/local_distribution_manager.h"
#include "objects/ownership_manager.h"
#include "regions/scope_manager.h"
#include "regions/filters.h"
#include "sparse_bit_vector.h"
#include "messages/user_tag.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const tag = "DDB";

constexpr uint64_t no_checksum = ~uint64_t{0};

template <class Visit>
void for_each_stream(const sparse_bit_vector& streams, Visit visit) {
  for (uint32_t s = streams.ffs(); s != sparse_bit_vector::npos; s = streams.find_next(s + 1)) visit(s);
}

// Adds one subscription per stream; returns how many streams there were.
uint32_t count_streams(stream_counts& counts, const sparse_bit_vector& streams) {
  uint32_t k = 0;
  for_each_stream(streams, [&](uint32_t s) {
    ++counts[s];
    ++k;
  });
  return k;
}

// Takes one subscription per stream, never below zero, and runs reached_zero for each stream
// whose count ends; returns how many streams there were.
template <class ReachedZero>
uint32_t uncount_streams(stream_counts& counts, const sparse_bit_vector& streams, const char* operation,
                         ReachedZero reached_zero) {
  uint32_t k = 0;
  for_each_stream(streams, [&](uint32_t s) {
    ++k;
    auto count = counts.find(s);
    if (count == counts.end()) {
      diagnostic(tag, "sub count for stream %u went negative in %s.", s, operation);
      return;
    }
    if (--count->second > 0) return;
    counts.erase(count);
    reached_zero(s);
  });
  return k;
}

// A set of attributes sized for the class, so that set operations never meet vectors of two lengths.
bit_vector sized(const bit_vector& attributes, uint32_t count) {
  bit_vector result(attributes);
  result.set_length(count);
  return result;
}

std::string listed(const bit_vector& attributes) {
  std::ostringstream out;
  for_each_bit(attributes, [&](uint32_t a) { out << ' ' << a; });
  return out.str();
}

// Runs visit on start and on every class below it whose own flag is clear, with a worklist:
// a deep model must not exhaust the stack.
template <class Subclasses, class Covered, class Visit>
void walk_uncovered(uint32_t start, uint32_t table_size, Subclasses subclasses, Covered covered, Visit visit) {
  std::vector<uint32_t> pending{start};
  std::vector<uint32_t> children(table_size);
  visit(start);
  while (!pending.empty()) {
    const uint32_t handle = pending.back();
    pending.pop_back();
    const uint32_t count = std::min<uint32_t>(subclasses(handle, std::span<uint32_t>(children)), table_size);
    for (uint32_t i = 0; i < count; ++i) {
      if (covered(children[i])) continue;
      visit(children[i]);
      pending.push_back(children[i]);
    }
  }
}

}  // namespace

bool object_entry::is_local(uint32_t attribute) const {
  if (local) return local->get_bit(attribute);
  return has_local && !has_remote;
}

bool object_entry::holds_delete_privilege(uint32_t privilege_attribute) const {
  if (privilege_travels) return true;
  return privilege_attribute < object_class->attribute_count ? is_local(privilege_attribute) : has_local;
}

ddb::ddb(local_distribution_manager& ldm, const FED& fed) : ldm_(ldm), fed_(fed) {
  classes_.resize(fed.num_object_classes());
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c) {
    if (!fed.is_object_class_valid(c)) continue;
    auto entry = std::make_unique<object_class_entry>();
    entry->handle = c;
    entry->attribute_count = fed.num_attributes(c);
    for (uint32_t a = 0; a < entry->attribute_count; ++a) {
      entry->default_order.push_back(fed.get_order_type(a, c));
      entry->default_transport.push_back(fed.get_transport_type(a, c));
    }
    entry->subscribers.assign(entry->attribute_count, 0);
    entry->published = bit_vector(entry->attribute_count, false);
    entry->subscribed = bit_vector(entry->attribute_count, false);
    classes_[c] = std::move(entry);
  }
  interactions_.resize(fed.num_interaction_classes());
  for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i) {
    if (!fed.is_interaction_class_valid(i)) continue;
    auto entry = std::make_unique<interaction_class_entry>();
    entry->handle = i;
    entry->order = fed.get_interaction_order_type(i);
    entry->transport = fed.get_interaction_transport_type(i);
    interactions_[i] = std::move(entry);
  }
}

ddb::~ddb() = default;

// Publication

void ddb::publish_object_class(uint32_t object_class, const bit_vector& attributes) {
  object_class_entry* entry = find_class(object_class);
  if (!entry) {
    diagnostic(tag, "Object Class %u is unknown.  Publish is ignored.", object_class);
    return;
  }
  const bit_vector wanted = sized(attributes, entry->attribute_count);
  const bool was_published = entry->is_published();
  if (was_published) {
    bit_vector dropped = entry->published;
    dropped -= wanted;
    if (!dropped.is_empty()) unpublish_object_class_attributes(object_class, dropped);
  }
  entry->published = wanted;
  if (!was_published && entry->is_published() && class_relevance)
    ldm_.get_callback_queue()->add_start_registration(object_class);
}

void ddb::unpublish_object_class(uint32_t object_class) {
  if (const object_class_entry* entry = find_class(object_class))
    unpublish_object_class_attributes(object_class, bit_vector(entry->published));
}

void ddb::unpublish_object_class_attributes(uint32_t object_class, const bit_vector& attributes) {
  object_class_entry* entry = find_class(object_class);
  if (!entry || !entry->is_published()) {
    diagnostic(tag,
               "Attempt to unpublish attributes of object_class=%u\n     which has no published attrs.  "
               "Unpublish is ignored.",
               object_class);
    return;
  }
  bit_vector removed = sized(attributes, entry->attribute_count);
  removed &= entry->published;
  entry->published -= removed;
  for (auto& [handle, object] : objects_)
    if (object->object_class == entry) reset_unpublished(*object, removed);
}

// An unpublished attribute leaves its stream and forgets its overrides and last value.
void ddb::reset_unpublished(object_entry& entry, const bit_vector& removed) {
  const object_class_entry& object_class = *entry.object_class;
  for_each_bit(removed, [&](uint32_t a) {
    move_stream(entry, a, no_stream);
    if (!entry.order.empty()) entry.order[a] = object_class.default_order[a];
    if (!entry.transport.empty())
      entry.transport[a] = entry.is_local(a) ? object_class.default_transport[a] : no_transport;
    entry.checksum[a] = no_checksum;
  });
}

void ddb::publish_interaction_class(uint32_t interaction) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) {
    diagnostic(tag, "Interaction Class %u is unknown.  Publish is ignored.", interaction);
    return;
  }
  const bool was_published = entry->published;
  entry->published = true;
  if (!was_published && interaction_relevance) ldm_.get_callback_queue()->add_turn_interactions_on(interaction);
}

void ddb::unpublish_interaction_class(uint32_t interaction) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) return;
  entry->published = false;
  entry->order = fed_.get_interaction_order_type(interaction);
  entry->transport = fed_.get_interaction_transport_type(interaction);
}

// Subscription counts

void ddb::subscribe_object_class(uint32_t object_class, const bit_vector& attributes,
                                 const sparse_bit_vector& streams) {
  object_class_entry* entry = find_class(object_class);
  if (!entry) {
    diagnostic(tag, "Object Class %u is unknown.  Subscribe is ignored.", object_class);
    return;
  }
  if (streams.is_empty()) return;
  const uint32_t k = count_streams(entry->streams, streams);
  const bit_vector wanted = sized(attributes, entry->attribute_count);
  for_each_bit(wanted, [&](uint32_t a) { entry->subscribers[a] += k; });
  entry->subscribed |= wanted;
  set_discover_as(object_class, object_class);
}

void ddb::unsubscribe_object_class(uint32_t object_class, const bit_vector& attributes,
                                   const sparse_bit_vector& streams) {
  object_class_entry* entry = find_class(object_class);
  if (!entry) {
    diagnostic(tag, "Object Class %u is unknown.  Unsubscribe is ignored.", object_class);
    return;
  }
  if (!entry->is_subscribed()) {
    diagnostic(tag,
               "Attempt to unsubscribe from object class %u\n     which does not have subscribed attrs.  "
               "Unsubscribe is ignored.",
               object_class);
    return;
  }
  if (streams.is_empty()) return;
  const uint32_t k = uncount_streams(entry->streams, streams, "unsubscribe",
                                     [&](uint32_t s) { stream_count_reached_zero(*entry, s); });
  for_each_bit(sized(attributes, entry->attribute_count), [&](uint32_t a) {
    uint32_t& subscribers = entry->subscribers[a];
    if (subscribers < k) diagnostic(tag, "sub count for attr %u went negative in unsubscribe.", a);
    subscribers = subscribers < k ? 0 : subscribers - k;
    if (subscribers == 0) entry->subscribed.set_bit(a, false);
  });
  if (!entry->is_subscribed()) {
    const object_class_entry* super = find_class(fed_.get_object_superclass(object_class));
    set_discover_as(object_class, super ? super->discover_as : no_class);
  }
}

// Nobody here listens on the stream for this class any more: the class's remote attributes on
// it are taken off it, which deletes objects left on no stream. Collected before acting, since
// taking attributes off the stream changes the index being read.
void ddb::stream_count_reached_zero(object_class_entry& entry, uint32_t stream) {
  const std::set<uint32_t>* on_stream = objects_on_stream(stream);
  if (!on_stream) return;
  std::vector<std::pair<uint32_t, bit_vector>> leaving;
  for (uint32_t handle : *on_stream) {
    const object_entry& object = *objects_.at(handle);
    if (object.object_class != &entry || !object.has_remote) continue;
    bit_vector remote(entry.attribute_count, false);
    for (uint32_t a = 0; a < entry.attribute_count; ++a)
      if (object.stream[a] == static_cast<int32_t>(stream) && !object.is_local(a)) remote.set_bit(a);
    if (!remote.is_empty()) leaving.emplace_back(handle, std::move(remote));
  }
  for (const auto& [handle, attributes] : leaving) unset_stream(handle, attributes);
}

void ddb::set_discover_as(uint32_t object_class, uint32_t discover_as) {
  walk_uncovered(
      object_class, fed_.num_object_classes(),
      [this](uint32_t c, std::span<uint32_t> out) { return fed_.get_object_subclasses(c, out); },
      [this](uint32_t c) {
        const object_class_entry* entry = find_class(c);
        return !entry || entry->is_subscribed();
      },
      [&](uint32_t c) { find_class(c)->discover_as = discover_as; });
}

void ddb::subscribe_interaction_class(uint32_t interaction, const sparse_bit_vector& streams) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) {
    diagnostic(tag, "Interaction Class %u is unknown.  Subscribe is ignored.", interaction);
    return;
  }
  if (streams.is_empty()) return;
  entry->total += count_streams(entry->streams, streams);
  set_receive_as(interaction, interaction);
}

void ddb::unsubscribe_interaction(uint32_t interaction, const sparse_bit_vector& streams) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) {
    diagnostic(tag, "Interaction Class %u is unknown.  Unsubscribe is ignored.", interaction);
    return;
  }
  if (streams.is_empty()) return;
  const uint32_t k = uncount_streams(entry->streams, streams, "unsubscribe_interaction", [](uint32_t) {});
  if (entry->total < k) diagnostic(tag, "sub count went negative in unsubscribe_interaction.");
  entry->total = entry->total < k ? 0 : entry->total - k;
  if (!entry->is_subscribed()) {
    const interaction_class_entry* super = find_interaction(fed_.get_interaction_superclass(interaction));
    set_receive_as(interaction, super ? super->receive_as : no_class);
  }
}

void ddb::set_receive_as(uint32_t interaction, uint32_t receive_as) {
  walk_uncovered(
      interaction, fed_.num_interaction_classes(),
      [this](uint32_t c, std::span<uint32_t> out) { return fed_.get_interaction_subclasses(c, out); },
      [this](uint32_t c) {
        const interaction_class_entry* entry = find_interaction(c);
        return !entry || entry->is_subscribed();
      },
      [&](uint32_t c) { find_interaction(c)->receive_as = receive_as; });
}

void ddb::set_interaction_transport_type(uint32_t interaction, uint32_t transport) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) {
    diagnostic(tag, "set_interaction_transport_type unknown interaction class(class=%u, transport=%u)", interaction,
               transport);
    return;
  }
  entry->transport = transport;
}

void ddb::set_interaction_order_type(uint32_t interaction, uint32_t order) {
  interaction_class_entry* entry = find_interaction(interaction);
  if (!entry) {
    diagnostic(tag, "set_interaction_order_type unknown interaction class(class=%u, order=%u)", interaction, order);
    return;
  }
  entry->order = order;
}

// Objects

void ddb::instantiate_object(uint32_t object_class, uint32_t object, const char* name, bool remote,
                             uint32_t last_sender) {
  if (objects_.count(object)) {
    diagnostic(tag, "instantiate_object: object_id %u already exists.", object);
    return;
  }
  object_class_entry* entry = find_class(object_class);
  if (!entry) {
    diagnostic(tag, "Instantiate_object ignored.  Object class %u not in DDB.", object_class);
    return;
  }
  auto created = std::make_unique<object_entry>();
  created->handle = object;
  created->object_class = entry;
  created->name = name ? name : "";
  created->last_sender = last_sender;
  created->created_remote = remote;
  created->has_local = !remote;
  created->has_remote = remote;
  created->stream.assign(entry->attribute_count, no_stream);
  created->checksum.assign(entry->attribute_count, no_checksum);
  object_entry& added = *created;
  names_[added.name] = object;
  objects_.emplace(object, std::move(created));
  count(added, !remote, +1);
  report_counts();
  if (listener_) listener_->object_added(added);
  if (!remote && attribute_relevance) ldm_.get_callback_queue()->add_turn_updates_on(object, entry->published);
}

void ddb::remove_object(uint32_t object) {
  auto found = objects_.find(object);
  if (found == objects_.end()) return;
  object_entry& entry = *found->second;
  entry.deleted = true;
  if (listener_) listener_->object_removed(entry);
  for (filter_spec_base* filter : std::set<filter_spec_base*>(entry.filter.begin(), entry.filter.end()))
    if (filter) filter->unassociate(object);
  for (int32_t stream : std::set<int32_t>(entry.stream.begin(), entry.stream.end()))
    if (stream != no_stream) drop_from_index(object, static_cast<uint32_t>(stream));
  if (entry.has_local) count(entry, true, -1);
  if (entry.has_remote) count(entry, false, -1);
  auto name = names_.find(entry.name);
  if (name != names_.end() && name->second == object) names_.erase(name);
  objects_.erase(found);
  report_counts();
  if (ownership_manager* ownership = ldm_.get_ownership_manager()) ownership->object_removed(object);
}

void ddb::mark_deleted(uint32_t object) {
  object_entry* entry = find_object(object, "mark_deleted");
  if (!entry) return;
  entry->deleted = true;
  auto name = names_.find(entry->name);
  if (name != names_.end() && name->second == object) names_.erase(name);
}

void ddb::set_privilege_flag(uint32_t object, bool travels) {
  if (object_entry* entry = find_object(object, "set_privilege_flag")) entry->privilege_travels = travels;
}

std::vector<uint32_t> ddb::object_handles() const {
  std::vector<uint32_t> handles;
  handles.reserve(objects_.size());
  for (const auto& [handle, entry] : objects_) handles.push_back(handle);
  std::sort(handles.begin(), handles.end());
  return handles;
}

object_entry* ddb::object_for_update(uint32_t handle) { return find_object(handle); }

object_entry* ddb::object_for_update(const std::string& name) {
  auto found = names_.find(name);
  return found == names_.end() ? nullptr : find_object(found->second);
}

void ddb::note_received(uint32_t object, const bit_vector& attributes, int32_t stream, uint32_t transport,
                        uint32_t order) {
  object_entry* entry = find_object(object, "note_received");
  if (!entry) return;
  const object_class_entry& object_class = *entry->object_class;
  if (!entry->used) entry->used = std::make_unique<bit_vector>(object_class.attribute_count, false);
  *entry->used |= attributes;
  std::vector<std::pair<uint32_t, uint32_t>> moves;  // (attribute, transport before)
  for_each_bit(sized(attributes, object_class.attribute_count), [&](uint32_t a) {
    move_stream(*entry, a, stream);
    const uint32_t before = transport_of(*entry, a);
    if (entry->transport.empty() && object_class.default_transport[a] != transport)
      entry->transport = object_class.default_transport;
    if (!entry->transport.empty()) entry->transport[a] = transport;
    if (before != transport_of(*entry, a)) moves.emplace_back(a, before);
    if (entry->order.empty() && object_class.default_order[a] != order) entry->order = object_class.default_order;
    if (!entry->order.empty()) entry->order[a] = order;
  });
  tell_transport_moves(*entry, moves);
}

uint32_t ddb::get_class(uint32_t object) const {
  const object_entry* entry = this->object(object);
  if (!entry) {
    diagnostic(tag, "get_class(oid=%u) does not exist.", object);
    return no_class;
  }
  return entry->object_class->handle;
}

bool ddb::is_attribute_local(uint32_t object, uint32_t attribute) const {
  const object_entry* entry = this->object(object);
  if (!entry) {
    diagnostic(tag, "Nonexistent object_id %u in is_attribute_local", object);
    return false;
  }
  return entry->is_local(attribute);
}

void ddb::set_attributes_remote(uint32_t object, const bit_vector& attributes) {
  object_entry* entry = find_object(object, "set_attributes_remote");
  if (!entry || !entry->has_local) return;
  const uint32_t n = entry->object_class->attribute_count;
  if (!entry->local) entry->local = std::make_unique<bit_vector>(n, true);
  *entry->local -= sized(attributes, n);
  if (!entry->has_remote) {
    entry->has_remote = true;
    count(*entry, false, +1);
  }
  if (entry->local->is_empty()) {
    entry->has_local = false;
    count(*entry, true, -1);
  }
  report_counts();
  if (listener_) listener_->ownership_changed(*entry, sized(attributes, n), false);
}

void ddb::set_attributes_local(uint32_t object, const bit_vector& attributes) {
  object_entry* entry = find_object(object, "set_attributes_local");
  if (!entry || !entry->has_remote) return;
  const object_class_entry& object_class = *entry->object_class;
  const uint32_t n = object_class.attribute_count;
  if (!entry->local) entry->local = std::make_unique<bit_vector>(n, false);
  bit_vector accepted = sized(attributes, n);
  bit_vector unpublished = accepted;
  unpublished -= object_class.published;
  if (!unpublished.is_empty())
    diagnostic(tag, "Attempt to take ownership of unpublished attributes on object %u:%s", object,
               listed(unpublished).c_str());
  accepted &= object_class.published;
  *entry->local |= accepted;
  if (!entry->has_local) {
    entry->has_local = true;
    count(*entry, true, +1);
  }
  if (entry->local->is_full()) {
    entry->has_remote = false;
    count(*entry, false, -1);
  }
  report_counts();
  if (listener_) listener_->ownership_changed(*entry, accepted, true);
  // The newly owned attributes go out on the stream of the filter they are associated with.
  std::set<filter_spec_base*> filters;
  if (!entry->filter.empty()) for_each_bit(accepted, [&](uint32_t a) { if (entry->filter[a]) filters.insert(entry->filter[a]); });
  for (filter_spec_base* filter : filters) {
    const auto association = filter->associations().find(object);
    if (association == filter->associations().end()) continue;
    const bit_vector sending = owned_and_published(*entry, association->second);
    if (!sending.is_empty()) set_stream(object, sending, filter->get_pub_stream());
  }
}

void ddb::set_used(uint32_t object, const bit_vector& attributes) {
  object_entry* entry = find_object(object, "set_used");
  if (!entry) return;
  if (!entry->used) entry->used = std::make_unique<bit_vector>(entry->object_class->attribute_count, false);
  *entry->used |= sized(attributes, entry->object_class->attribute_count);
}

void ddb::set_transport_type(uint32_t object, const bit_vector& attributes, uint32_t transport) {
  const object_entry* entry = this->object(object);
  std::vector<std::pair<uint32_t, uint32_t>> before;  // (attribute, transport before)
  if (entry)
    for_each_bit(sized(attributes, entry->object_class->attribute_count),
                 [&](uint32_t a) { before.emplace_back(a, transport_of(*entry, a)); });
  set_override(object, attributes, transport, &object_entry::transport, &object_class_entry::default_transport,
               "transport type", "set_transport_type");
  if (!entry) return;
  std::erase_if(before, [&](const auto& moved) { return transport_of(*entry, moved.first) == moved.second; });
  tell_transport_moves(*entry, before);
}

void ddb::set_order_type(uint32_t object, const bit_vector& attributes, uint32_t order) {
  set_override(object, attributes, order, &object_entry::order, &object_class_entry::default_order, "order type",
               "set_order_type");
}

// A per-object override starts as a copy of the class defaults; only published or remote
// attributes take the new value.
void ddb::set_override(uint32_t object, const bit_vector& attributes, uint32_t value,
                       std::vector<uint32_t> object_entry::*overrides,
                       std::vector<uint32_t> object_class_entry::*defaults, const char* what, const char* operation) {
  object_entry* entry = find_object(object, operation);
  if (!entry) return;
  const object_class_entry& object_class = *entry->object_class;
  std::vector<uint32_t>& values = entry->*overrides;
  if (values.empty()) values = object_class.*defaults;
  for_each_bit(sized(attributes, object_class.attribute_count), [&](uint32_t a) {
    if (unpublished_local(*entry, a)) {
      diagnostic(tag, "Attempt to set %s %u for unpublished attribute %u on object %u\n     %s for this attribute is ignored.",
                 what, value, a, object, operation);
      return;
    }
    values[a] = value;
  });
}

// Association and streams

void ddb::set_spec(uint32_t object, const bit_vector& attributes, filter_spec_base* filter) {
  object_entry* entry = find_object(object);
  if (!entry) {
    diagnostic(tag, "Nonexistent object_id in set_spec(object_id=%u)", object);
    return;
  }
  if (attributes.is_empty()) {
    diagnostic(tag, "Empty attribute list in set_spec");
    return;
  }
  const uint32_t n = entry->object_class->attribute_count;
  if (entry->filter.empty()) entry->filter.assign(n, nullptr);
  for_each_bit(sized(attributes, n), [&](uint32_t a) {
    if (unpublished_local(*entry, a)) {
      diagnostic(tag,
                 "Attempt to set a filter for unpublished attribute %u on object %u\n"
                 "     set_spec for this attribute is ignored.",
                 a, object);
      return;
    }
    entry->filter[a] = filter;
  });
}

void ddb::unset_spec(uint32_t object, const bit_vector& attributes) {
  object_entry* entry = find_object(object);
  if (!entry) {
    diagnostic(tag, "Null object_entry pointer in unset_spec");
    return;
  }
  if (entry->filter.empty()) return;
  for_each_bit(sized(attributes, entry->object_class->attribute_count), [&](uint32_t a) { entry->filter[a] = nullptr; });
}

void ddb::set_stream(uint32_t object, const bit_vector& attributes, int32_t stream) {
  object_entry* entry = find_object(object);
  if (!entry) {
    diagnostic(tag, "Nonexistent object_id in set_stream(object_id=%u,stream_id=%d)", object, stream);
    return;
  }
  if (attributes.is_empty()) {
    diagnostic(tag, "Empty attribute list in set_stream");
    return;
  }
  std::map<int32_t, bit_vector> leaving;
  for_each_bit(sized(attributes, entry->object_class->attribute_count), [&](uint32_t a) {
    if (unpublished_local(*entry, a)) {
      diagnostic(tag,
                 "Attempt to set stream %d for unpublished attribute %u on object %u\n"
                 "     set_stream for this attribute is ignored.",
                 stream, a, object);
      return;
    }
    note_leaving(*entry, a, stream, leaving);
    move_stream(*entry, a, stream);
  });
  tell_scope(*entry, leaving, stream);
}

// An object left with no owned attribute and nothing on any stream is heard from no more: it is
// deleted as a remote object, and the federate is told.
void ddb::unset_stream(uint32_t object, const bit_vector& attributes) {
  object_entry* entry = find_object(object);
  if (!entry) {
    diagnostic(tag, "Null object_entry pointer in unset_stream");
    return;
  }
  std::map<int32_t, bit_vector> leaving;
  for_each_bit(sized(attributes, entry->object_class->attribute_count), [&](uint32_t a) {
    if (unpublished_local(*entry, a)) {
      diagnostic(tag,
                 "Attempt to unset streams  for unpublished attribute %u on object %u\n"
                 "     unset_stream for this attribute is ignored.",
                 a, object);
      return;
    }
    note_leaving(*entry, a, no_stream, leaving);
    move_stream(*entry, a, no_stream);
  });
  tell_scope(*entry, leaving, no_stream);
  const bool on_a_stream = std::any_of(entry->stream.begin(), entry->stream.end(),
                                       [](int32_t s) { return s != no_stream; });
  if (entry->has_local || on_a_stream) return;
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_delete_object(object, entry->name.c_str(), entry->object_class->handle, entry->last_sender,
                                 nullptr, nullptr, user_tag());
  remove_object(object);
}

std::vector<std::pair<uint32_t, bit_vector>> ddb::provide_for_stream(uint32_t stream) const {
  std::vector<std::pair<uint32_t, bit_vector>> wanted;
  const std::set<uint32_t>* on_stream = objects_on_stream(stream);
  if (!on_stream) return wanted;
  for (uint32_t handle : *on_stream) {
    const object_entry& entry = *objects_.at(handle);
    if (!entry.has_local) continue;
    bit_vector attributes(entry.object_class->attribute_count, false);
    for (uint32_t a = 0; a < entry.object_class->attribute_count; ++a)
      if (entry.stream[a] == static_cast<int32_t>(stream) && entry.is_local(a)) attributes.set_bit(a);
    if (!attributes.is_empty()) wanted.emplace_back(handle, std::move(attributes));
  }
  return wanted;
}

// Queries

const object_class_entry* ddb::object_class(uint32_t handle) const {
  return handle < classes_.size() ? classes_[handle].get() : nullptr;
}

const interaction_class_entry* ddb::interaction_class(uint32_t handle) const {
  return handle < interactions_.size() ? interactions_[handle].get() : nullptr;
}

const object_entry* ddb::object(uint32_t handle) const {
  auto found = objects_.find(handle);
  return found == objects_.end() ? nullptr : found->second.get();
}

const object_entry* ddb::object_named(const std::string& name) const {
  auto found = names_.find(name);
  return found == names_.end() ? nullptr : object(found->second);
}

const std::set<uint32_t>* ddb::objects_on_stream(uint32_t stream) const {
  auto found = stream_index_.find(stream);
  return found == stream_index_.end() ? nullptr : &found->second;
}

int32_t ddb::get_stream(uint32_t object, uint32_t attribute) const {
  const object_entry* entry = this->object(object);
  return entry && attribute < entry->stream.size() ? entry->stream[attribute] : no_stream;
}

uint32_t ddb::get_transport_type(uint32_t object, uint32_t attribute) const {
  const object_entry* entry = this->object(object);
  if (!entry || attribute >= entry->object_class->attribute_count) return no_transport;
  return transport_of(*entry, attribute);
}

uint32_t ddb::transport_of(const object_entry& entry, uint32_t attribute) const {
  if (!entry.is_local(attribute) && entry.transport.empty()) return no_transport;
  return entry.transport.empty() ? entry.object_class->default_transport[attribute] : entry.transport[attribute];
}

// moves holds (attribute, transport before) of attributes whose transport changed; the listener
// hears them grouped by the transports they left.
void ddb::tell_transport_moves(const object_entry& entry, const std::vector<std::pair<uint32_t, uint32_t>>& moves) {
  if (!listener_ || moves.empty()) return;
  std::map<uint32_t, bit_vector> by_source;
  for (const auto& [attribute, from] : moves)
    by_source.try_emplace(from, entry.object_class->attribute_count, false).first->second.set_bit(attribute);
  for (const auto& [from, attributes] : by_source)
    listener_->transport_moved(entry, attributes, from, transport_of(entry, attributes.ffs()));
}

uint32_t ddb::get_order_type(uint32_t object, uint32_t attribute) const {
  const object_entry* entry = this->object(object);
  if (!entry || attribute >= entry->object_class->attribute_count) return invalid_handle;
  return entry->order.empty() ? entry->object_class->default_order[attribute] : entry->order[attribute];
}

size_t ddb::object_count(uint32_t object_class) const {
  return static_cast<size_t>(std::count_if(objects_.begin(), objects_.end(), [&](const auto& entry) {
    return entry.second->object_class->handle == object_class;
  }));
}

// Helpers

object_class_entry* ddb::find_class(uint32_t handle) {
  return handle < classes_.size() ? classes_[handle].get() : nullptr;
}

interaction_class_entry* ddb::find_interaction(uint32_t handle) {
  return handle < interactions_.size() ? interactions_[handle].get() : nullptr;
}

object_entry* ddb::find_object(uint32_t handle) {
  auto found = objects_.find(handle);
  return found == objects_.end() ? nullptr : found->second.get();
}

object_entry* ddb::find_object(uint32_t handle, const char* operation) {
  object_entry* entry = find_object(handle);
  if (!entry) diagnostic(tag, "Nonexistent object_id %u in %s", handle, operation);
  return entry;
}

bool ddb::unpublished_local(const object_entry& entry, uint32_t attribute) const {
  return entry.is_local(attribute) && !entry.object_class->published.get_bit(attribute);
}

bit_vector ddb::owned_and_published(const object_entry& entry, const bit_vector& attributes) const {
  bit_vector result = sized(attributes, entry.object_class->attribute_count);
  result &= entry.object_class->published;
  for_each_bit(bit_vector(result), [&](uint32_t a) {
    if (!entry.is_local(a)) result.set_bit(a, false);
  });
  return result;
}

// Local attributes leaving a stream for another, grouped by the stream they leave: the receivers
// there are told where they went.
void ddb::note_leaving(const object_entry& entry, uint32_t attribute, int32_t stream,
                       std::map<int32_t, bit_vector>& leaving) const {
  const int32_t old = entry.stream[attribute];
  if (old == stream || old == no_stream || !entry.is_local(attribute)) return;
  leaving.try_emplace(old, entry.object_class->attribute_count, false).first->second.set_bit(attribute);
}

void ddb::tell_scope(const object_entry& entry, const std::map<int32_t, bit_vector>& leaving, int32_t stream) {
  if (leaving.empty()) return;
  if (scope_manager* scope = ldm_.get_scope_manager())
    for (const auto& [from, attributes] : leaving) scope->moved(entry, from, attributes, stream);
}

// The stream index holds an object under a stream while any of its attributes is on it.
void ddb::move_stream(object_entry& entry, uint32_t attribute, int32_t stream) {
  const int32_t old = entry.stream[attribute];
  if (old == stream) return;
  entry.stream[attribute] = stream;
  if (listener_) listener_->stream_moved(entry, attribute, stream);
  if (stream != no_stream) stream_index_[static_cast<uint32_t>(stream)].insert(entry.handle);
  if (old != no_stream && std::find(entry.stream.begin(), entry.stream.end(), old) == entry.stream.end())
    drop_from_index(entry.handle, static_cast<uint32_t>(old));
}

void ddb::drop_from_index(uint32_t object, uint32_t stream) {
  auto found = stream_index_.find(stream);
  if (found == stream_index_.end()) return;
  found->second.erase(object);
  if (found->second.empty()) stream_index_.erase(found);
}

void ddb::count(object_entry& entry, bool local, int change) {
  uint32_t& total = local ? locals_ : remotes_;
  uint32_t& of_class = local ? entry.object_class->locals : entry.object_class->remotes;
  total += change;
  of_class += change;
}

void ddb::report_counts() { ldm_.get_federation_manager().set_object_counts(locals_, remotes_); }

}  // namespace varnel
