#include "objects/subscription_agent.h"

#include <set>

#include "fed/fed.h"
#include "frame/ldm_error.h"
#include "objects/ddb.h"
#include "regions/region.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

subscription_agent::subscription_agent(RID& rid, const FED& fed, ddb& database, stream_manager& streams)
    : ddb_(database), streams_(streams), fed_(fed), plan_(rid, fed) {
  object_specs_.resize(fed.num_object_classes());
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c)
    if (fed.is_object_class_valid(c)) object_specs_[c] = std::make_unique<object_class_spec>(plan_, fed, c);
  interaction_specs_.resize(fed.num_interaction_classes());
  for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i)
    if (fed.is_interaction_class_valid(i)) interaction_specs_[i] = std::make_unique<interaction_class_spec>(plan_, fed, i);
}

// The transport counts joins per stream: leaving each as often as it was joined here gives back
// exactly what this federate's subscriptions took.
subscription_agent::~subscription_agent() {
  live_.clear();
  for (const auto& [stream, count] : join_counts_)
    for (uint32_t i = 0; i < count; ++i) streams_.leave(static_cast<int>(stream));
}

// A changed attribute set is subscribed before the old one is dropped: dropping first would take
// the streams' counts through zero and lose every object discovered on them.
void subscription_agent::subscribe_object_class_attributes(uint32_t object_class, const bit_vector& attributes,
                                                           filter_spec_base& filter) {
  // An empty set subscribes nothing: it ends the class's subscription.
  if (attributes.is_empty()) {
    unsubscribe_object_class(object_class, filter);
    return;
  }
  if (plan_.settings().force_static_spaces) filter.check_attr_assoc(object_class, attributes);
  const bool was_subscribing = filter.has_subscriptions();
  const sparse_bit_vector before = sub_streams(filter);
  auto previous = filter.object_classes().find(object_class);
  const bit_vector dropped = previous == filter.object_classes().end() ? bit_vector() : previous->second;
  filter.subscribe_object_class(object_class, attributes);
  ddb_.subscribe_object_class(object_class, attributes, before);
  if (previous != filter.object_classes().end()) ddb_.unsubscribe_object_class(object_class, dropped, before);
  change_streams(filter, before, sub_streams(filter));
  note_subscribing(was_subscribing, filter);
}

void subscription_agent::unsubscribe_object_class(uint32_t object_class, filter_spec_base& filter) {
  auto subscribed = filter.object_classes().find(object_class);
  if (subscribed == filter.object_classes().end()) return;
  const bit_vector attributes = subscribed->second;
  const sparse_bit_vector before = sub_streams(filter);
  filter.unsubscribe_object_class(object_class);
  ddb_.unsubscribe_object_class(object_class, attributes, before);
  change_streams(filter, before, sub_streams(filter));
  note_subscribing(true, filter);
}

void subscription_agent::subscribe_interaction_class(uint32_t interaction, filter_spec_base& filter) {
  if (plan_.settings().force_static_spaces) filter.check_inter_assoc(interaction);
  const bool was_subscribing = filter.has_subscriptions();
  const sparse_bit_vector before = sub_streams(filter);
  if (!filter.interaction_classes().count(interaction)) {
    filter.subscribe_interaction_class(interaction);
    ddb_.subscribe_interaction_class(interaction, before);
  }
  change_streams(filter, before, sub_streams(filter));
  note_subscribing(was_subscribing, filter);
}

void subscription_agent::unsubscribe_interaction_class(uint32_t interaction, filter_spec_base& filter) {
  if (!filter.interaction_classes().count(interaction)) return;
  const sparse_bit_vector before = sub_streams(filter);
  filter.unsubscribe_interaction_class(interaction);
  ddb_.unsubscribe_interaction(interaction, before);
  change_streams(filter, before, sub_streams(filter));
  note_subscribing(true, filter);
}

void subscription_agent::associate_for_updates(uint32_t object, const bit_vector& attributes, filter_spec_base& filter) {
  const object_entry* entry = ddb_.object(object);
  if (!entry) return;
  if (plan_.settings().force_static_spaces) filter.check_attr_assoc(entry->object_class->handle, attributes);
  // Only attributes dropped from an earlier association leave their stream: the others move
  // straight to the filter's, so receivers never see them go out of scope on the way.
  auto previous = filter.associations().find(object);
  if (previous != filter.associations().end()) {
    bit_vector dropped = previous->second;
    dropped -= attributes;
    dropped = ddb_.owned_and_published(*entry, dropped);
    if (!dropped.is_empty()) ddb_.unset_stream(object, dropped);
  }
  release_from_other_filters(*entry, attributes, filter);
  filter.associate(object, attributes);
  ddb_.set_spec(object, attributes, &filter);
  const bit_vector sending = ddb_.owned_and_published(*entry, attributes);
  if (!sending.is_empty()) ddb_.set_stream(object, sending, filter.get_pub_stream());
}

void subscription_agent::unassociate_for_updates(uint32_t object, filter_spec_base& filter) {
  auto associated = filter.associations().find(object);
  const object_entry* entry = ddb_.object(object);
  if (associated == filter.associations().end() || !entry) return;
  const bit_vector attributes = associated->second;
  filter.unassociate(object);
  ddb_.unset_spec(object, attributes);
  const bit_vector sending = ddb_.owned_and_published(*entry, attributes);
  if (!sending.is_empty()) ddb_.unset_stream(object, sending);
}

// Attributes associated anew leave the filters they were associated with, so that a region whose
// attributes all went elsewhere is no longer in use.
void subscription_agent::release_from_other_filters(const object_entry& entry, const bit_vector& attributes,
                                                    const filter_spec_base& keeping) {
  std::set<filter_spec_base*> others;
  for (uint32_t a = attributes.ffs(); a != bit_vector::npos && a < entry.filter.size(); a = attributes.find_next(a + 1))
    if (entry.filter[a] && entry.filter[a] != &keeping) others.insert(entry.filter[a]);
  for (filter_spec_base* other : others) {
    auto held = other->associations().find(entry.handle);
    if (held == other->associations().end()) continue;
    bit_vector rest = held->second;
    rest -= attributes;
    if (rest.is_empty())
      other->unassociate(entry.handle);
    else
      other->associate(entry.handle, rest);
  }
}

region_spec& subscription_agent::create_region(uint32_t space, uint32_t extents) {
  filter_space_base* filter_space = plan_.get_space(space);
  if (!filter_space) throw make_ldm_exception(ldm_error::InvalidSpaceHandle, "No filter space for routing space %u", space);
  if (extents > region_spec::max_extents)
    throw make_ldm_exception(ldm_error::InvalidRangeBound, "A region takes at most %u extents, not %u",
                             region_spec::max_extents, extents);
  while (next_token_ == 0 || by_token_.count(next_token_)) ++next_token_;
  auto region = std::make_unique<region_spec>(plan_, fed_, *filter_space, extents, next_token_++);
  region_spec& made = *region;
  by_token_.emplace(made.get_token(), &made);
  live_.emplace(&made, std::move(region));
  return made;
}

// Every range is checked before anything changes; then the committed extents are replaced and
// the streams follow them.
void subscription_agent::notify_about_region_modification(region_spec& region) {
  region.check_extents();
  if (!region.extents_changed()) return;
  const sparse_bit_vector before = sub_streams(region);
  const int32_t old_pub = region.has_associations() ? region.get_pub_stream() : no_stream;
  region.commit_extents();
  change_streams(region, before, sub_streams(region));
  if (!region.has_associations()) return;
  const int32_t new_pub = region.get_pub_stream();
  if (new_pub != old_pub) move_associations(region, new_pub);
}

// Only attributes still associated with this region move: an attribute associated with another
// filter since keeps its stream.
void subscription_agent::move_associations(region_spec& region, int32_t stream) {
  for (const auto& [object, attributes] : region.associations()) {
    const object_entry* entry = ddb_.object(object);
    if (!entry) continue;
    bit_vector sending = ddb_.owned_and_published(*entry, attributes);
    for (uint32_t a = sending.ffs(); a != bit_vector::npos; a = sending.find_next(a + 1))
      if (a >= entry->filter.size() || entry->filter[a] != &region) sending.set_bit(a, false);
    if (!sending.is_empty()) ddb_.set_stream(object, sending, stream);
  }
}

void subscription_agent::delete_region(region_spec& region) {
  if (region.in_use()) throw ldm_exception(ldm_error::RegionInUseForUpdateOrSubscription, "Region is still in use");
  by_token_.erase(region.get_token());
  live_.erase(&region);
}

region_spec* subscription_agent::get_region(uint32_t token) const {
  auto found = by_token_.find(token);
  return found == by_token_.end() ? nullptr : found->second;
}

// The attributes go back to their class's own association, the one they would have without a
// region, and so keep being sent; they move from the region's stream to the class's directly.
void subscription_agent::unassociate_region_for_updates(uint32_t object, region_spec& region) {
  auto associated = region.associations().find(object);
  const object_entry* entry = ddb_.object(object);
  if (associated == region.associations().end() || !entry) return;
  bit_vector attributes = associated->second;
  region.unassociate(object);
  ddb_.unset_spec(object, attributes);
  object_class_spec& own = get_object_class_spec(entry->object_class->handle);
  if (auto held = own.associations().find(object); held != own.associations().end()) attributes |= held->second;
  associate_for_updates(object, attributes, own);
}

sparse_bit_vector subscription_agent::sub_streams(const filter_spec_base& filter) const {
  sparse_bit_vector streams;
  filter.get_sub_streams(streams);
  return streams;
}

// The database counts first, for what is added before what is removed, then the joins of the
// streams added and the leaves of those removed.
void subscription_agent::change_streams(filter_spec_base& filter, const sparse_bit_vector& before,
                                        const sparse_bit_vector& after) {
  if (before == after) return;
  sparse_bit_vector added = after;
  added -= before;
  sparse_bit_vector removed = before;
  removed -= after;
  for (const auto& [object_class, attributes] : filter.object_classes()) {
    if (!added.is_empty()) ddb_.subscribe_object_class(object_class, attributes, added);
    if (!removed.is_empty()) ddb_.unsubscribe_object_class(object_class, attributes, removed);
  }
  for (uint32_t interaction : filter.interaction_classes()) {
    if (!added.is_empty()) ddb_.subscribe_interaction_class(interaction, added);
    if (!removed.is_empty()) ddb_.unsubscribe_interaction(interaction, removed);
  }
  if (!added.is_empty()) {
    streams_.join(added);
    for (uint32_t s = added.ffs(); s != sparse_bit_vector::npos; s = added.find_next(s + 1)) ++join_counts_[s];
  }
  if (!removed.is_empty()) {
    streams_.leave(removed);
    for (uint32_t s = removed.ffs(); s != sparse_bit_vector::npos; s = removed.find_next(s + 1))
      if (--join_counts_[s] == 0) join_counts_.erase(s);
  }
}

void subscription_agent::note_subscribing(bool before, const filter_spec_base& filter) {
  const bool now = filter.has_subscriptions();
  if (!before && now) ++subscribing_;
  if (before && !now && subscribing_ > 0) --subscribing_;
}

}  // namespace varnel
