#include "objects/ownership_manager.h"

#include <algorithm>
#include <iostream>
#include <vector>

#include "federation/federation_manager.h"
#include "federation/mom_agent.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "messages/user_tag.h"
#include "objects/ddb.h"
#include "objects/ownership_messages.h"
#include "rid.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* service_name = "ownership";

bit_vector intersection(const bit_vector& a, const bit_vector& b) {
  bit_vector result = a;
  result &= b;
  return result;
}

bit_vector difference(const bit_vector& a, const bit_vector& b) {
  bit_vector result = a;
  result -= b;
  return result;
}

ownership_message message_of(ownership_type type) {
  ownership_message message;
  message.type = type;
  return message;
}

dstream& registered_trace(debugging_events& debug) {
  debug.register_event(service_name, "ownership messages and transfers");
  return debug.stream(service_name);
}

}  // namespace

// The table.

void ownership_table::add(uint32_t object, const federate_identifier& who, const bit_vector& attributes) {
  if (attributes.is_empty()) return;
  objects_[object][who] |= attributes;
}

void ownership_table::remove(uint32_t object, const federate_identifier& who, const bit_vector& attributes) {
  const auto found = objects_.find(object);
  if (found == objects_.end()) return;
  const auto set = found->second.find(who);
  if (set == found->second.end()) return;
  set->second -= attributes;
  if (set->second.is_empty()) found->second.erase(set);
  if (found->second.empty()) objects_.erase(found);
}

void ownership_table::remove(uint32_t object, const bit_vector& attributes) {
  const auto found = objects_.find(object);
  if (found == objects_.end()) return;
  for (auto set = found->second.begin(); set != found->second.end();) {
    set->second -= attributes;
    set = set->second.is_empty() ? found->second.erase(set) : std::next(set);
  }
  if (found->second.empty()) objects_.erase(found);
}

bit_vector ownership_table::all(uint32_t object) const {
  bit_vector result;
  if (const sets* found = find(object))
    for (const auto& [who, attributes] : *found) result |= attributes;
  return result;
}

bit_vector ownership_table::of(uint32_t object, const federate_identifier& who) const {
  const sets* found = find(object);
  if (!found) return bit_vector();
  const auto set = found->find(who);
  return set == found->end() ? bit_vector() : set->second;
}

const ownership_table::sets* ownership_table::find(uint32_t object) const {
  const auto found = objects_.find(object);
  return found == objects_.end() ? nullptr : &found->second;
}

// The manager.

ownership_manager::ownership_manager(local_distribution_manager& ldm, ddb& database)
    : ldm_(ldm),
      ddb_(database),
      self_(ldm.get_federate()),
      trace_(registered_trace(ldm.get_debugging_events())),
      query_timeout_ms_(uint64_t(std::max(ldm.get_rid().get_own_integer("ownership", "query_timeout"), 0))) {
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, service_name, trace_,
                                                ldm.get_scheduler(), federation_reliable_settings(ldm.get_rid()));
  ldm.get_federation_manager().add_federate_join_client(this);
  timer_.schedule(ldm.get_scheduler(), query_period_ms);
}

ownership_manager::~ownership_manager() {
  timer_.cancel();
  ldm_.get_federation_manager().remove_federate_join_client(this);
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
  ldm_.get_debugging_events().unregister_event(service_name);
}

const object_entry* ownership_manager::entry(uint32_t object, ownership_type sending) const {
  static constexpr const char* lost[] = {"lost the thread!",    "brain damage!",        "narcolepsy!",
                                         "cosmic ray corruption!", "schizophrenia!",    "lost my mind again!",
                                         "so confused!",        "lost my brain again!", "sigh."};
  const object_entry* found = ddb_.object(object);
  if (!found) std::cerr << "ownership_manager: " << lost[static_cast<uint32_t>(sending) - 1] << "  abort!" << std::endl;
  return found;
}

bit_vector ownership_manager::owned(const object_entry& object, const bit_vector& attributes) const {
  bit_vector result(object.object_class->attribute_count, false);
  for_each_bit(attributes, [&](uint32_t a) {
    if (a < object.object_class->attribute_count && object.is_local(a)) result.set_bit(a);
  });
  return result;
}

void ownership_manager::trace_set(const char* what, const object_entry& object, const bit_vector& attributes) {
  if (!trace_.is_on()) return;
  trace_ << what << object.name << ' ';
  attributes.print_set_bits(trace_);
  trace_ << '\n';
}

void ownership_manager::send(ownership_message message, const object_entry& object) {
  message.object = object.name;
  message.sender = self_;
  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
  ++counters_.sent;
  if (trace_.is_on()) trace_ << "OWNMSG: Sending " << ownership_type_name(message.type) << ' ' << object.name << '\n';
}

void ownership_manager::take(const object_entry& object, const bit_vector& attributes) {
  if (attributes.is_empty()) return;
  trace_set("OWN: Taking ownership of ", object, attributes);
  floating_.remove(object.handle, attributes);
  available_.remove(object.handle, attributes);
  ddb_.set_attributes_local(object.handle, attributes);
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_notify_about_ownership_gain(object.handle, attributes);
}

bit_vector ownership_manager::take_available(const object_entry& object, const bit_vector& attributes,
                                             bool if_available) {
  bit_vector handled(object.object_class->attribute_count, false);
  const ownership_table::sets* sources = available_.find(object.handle);
  if (!sources) return handled;
  for (const auto& [from, offered] : ownership_table::sets(*sources)) {
    const bit_vector part = difference(intersection(offered, attributes), handled);
    if (part.is_empty() || awaits_answer(object.handle, from)) continue;
    handled |= part;
    available_.remove(object.handle, from, part);
    ownership_message take_message = message_of(ownership_type::we_take);
    take_message.attributes = part;
    take_message.other = from;
    send(take_message, object);
    if (from == self_) {
      floating_.remove(object.handle, self_, part);
      take(object, part);
    } else if (is_gone(from)) {
      take_orphans(object, from, part);
    } else {
      (if_available ? taking_if_available_ : taking_).add(object.handle, from, part);
    }
  }
  return handled;
}

bool ownership_manager::awaits_answer(uint32_t object, const federate_identifier& from) const {
  return !taking_.of(object, from).is_empty() || !taking_if_available_.of(object, from).is_empty();
}

void ownership_manager::take_orphans(const object_entry& object, const federate_identifier& from,
                                     const bit_vector& attributes) {
  floating_.remove(object.handle, attributes);
  orphans_.add(object.handle, from, attributes);
  take(object, attributes);
}

void ownership_manager::settle_takes(const object_entry& object, const federate_identifier& from,
                                     const bit_vector& granted) {
  const bit_vector asked = taking_.of(object.handle, from);
  const bit_vector asked_if_available = taking_if_available_.of(object.handle, from);
  taking_.remove(object.handle, from, asked);
  taking_if_available_.remove(object.handle, from, asked_if_available);
  bit_vector wanted = asked;
  wanted |= asked_if_available;
  take(object, intersection(granted, wanted));
  const bit_vector lost = difference(asked, granted);
  const bit_vector unavailable = difference(asked_if_available, granted);
  counters_.not_granted += lost.count() + unavailable.count();
  if (!lost.is_empty()) {
    requests_.add(object.handle, self_, lost);
    ownership_message request = message_of(ownership_type::request);
    request.attributes = lost;
    send(request, object);
  }
  if (unavailable.is_empty()) return;
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_ownership_not_available(object.handle, unavailable);
}

void ownership_manager::release(const object_entry& object, const bit_vector& attributes, bool notify) {
  if (attributes.is_empty()) return;
  trace_set("OWN: Releasing ownership of ", object, attributes);
  offers_.remove(object.handle, attributes);
  asked_.remove(object.handle, attributes);
  orphans_.remove(object.handle, attributes);
  ddb_.set_attributes_remote(object.handle, attributes);
  if (!notify) return;
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_notify_about_ownership_loss(object.handle, attributes);
}

// The attributes go nowhere: they float, and this federate may take them back at once.
void ownership_manager::set_floating(const object_entry& object, const bit_vector& attributes) {
  if (attributes.is_empty()) return;
  floating_.add(object.handle, self_, attributes);
  available_.add(object.handle, self_, attributes);
  ownership_message message = message_of(ownership_type::new_floating);
  message.attributes = attributes;
  send(message, object);
}

// Each requester gets what it asked for that nobody before it got, in one message.
bit_vector ownership_manager::release_to_requesters(const object_entry& object, const bit_vector& attributes) {
  bit_vector released(object.object_class->attribute_count, false);
  const ownership_table::sets* requesters = asked_.find(object.handle);
  if (!requesters) return released;
  trace_set("OWN: Releasing attrs to somebody else: ", object, attributes);
  for (const auto& [requester, wanted] : ownership_table::sets(*requesters)) {
    const bit_vector part = difference(intersection(wanted, attributes), released);
    if (part.is_empty()) continue;
    ownership_message message = message_of(ownership_type::releasing);
    message.attributes = part;
    message.other = requester;
    send(message, object);
    released |= part;
  }
  trace_set("     Actually released attrs: ", object, released);
  release(object, released, false);
  return released;
}

// The services.

void ownership_manager::divest_immediately(uint32_t object, const bit_vector& attributes) {
  const object_entry* found = entry(object, ownership_type::new_floating);
  if (!found) return;
  const object_entry& e = *found;
  trace_set("OWN: Divesting attrs immediately: ", e, attributes);
  const bit_vector rest = difference(attributes, release_to_requesters(e, attributes));
  release(e, rest, false);
  set_floating(e, rest);
}

void ownership_manager::divest(uint32_t object, const bit_vector& attributes, const user_tag& tag) {
  if (offers_.all(object).bit_matches(attributes))
    throw make_ldm_exception(ldm_error::AttributeAlreadyBeingDivested, "Divestiture already in progress for object %d",
                             object);
  const object_entry* found = entry(object, ownership_type::offer);
  if (!found) return;
  const object_entry& e = *found;
  trace_set("OWN: Divesting attrs: ", e, attributes);
  const bit_vector rest = difference(attributes, release_to_requesters(e, attributes));
  if (rest.is_empty()) return;
  offers_.add(object, self_, rest);
  ownership_message message = message_of(ownership_type::offer);
  message.attributes = rest;
  message.tag = tag;
  send(message, e);
}

void ownership_manager::cancel_divest(uint32_t object, const bit_vector& attributes) {
  if (!offers_.all(object).all_bits_match(attributes))
    throw make_ldm_exception(ldm_error::AttributeDivestitureWasNotRequested, "Divestiture not in progress for object %d",
                             object);
  const object_entry* found = entry(object, ownership_type::offer_cancellation);
  if (!found) return;
  offers_.remove(object, attributes);
  ownership_message message = message_of(ownership_type::offer_cancellation);
  message.attributes = attributes;
  send(message, *found);
}

void ownership_manager::acquire(uint32_t object, const bit_vector& attributes, const user_tag& tag) {
  const object_entry* found = entry(object, ownership_type::request);
  if (!found) return;
  const object_entry& e = *found;
  trace_set("OWN: Requesting acquisition of attrs: ", e, attributes);
  const bit_vector rest = difference(attributes, take_available(e, attributes, false));
  if (rest.is_empty()) return;
  requests_.add(object, self_, rest);
  ownership_message message = message_of(ownership_type::request);
  message.attributes = rest;
  message.tag = tag;
  send(message, e);
}

void ownership_manager::acquire_if_available(uint32_t object, const bit_vector& attributes) {
  if (requests_.all(object).bit_matches(attributes))
    throw make_ldm_exception(ldm_error::AttributeAlreadyBeingAcquired, "Acquisition already in progress for object %d",
                             object);
  const object_entry* found = entry(object, ownership_type::we_take);
  if (!found) return;
  const object_entry& e = *found;
  trace_set("OWN: Acquiring attrs if available: ", e, attributes);
  const bit_vector rest = difference(attributes, take_available(e, attributes, true));
  if (rest.is_empty()) return;
  trace_set("OWN: Not taking ownership of ", e, rest);
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_ownership_not_available(object, rest);
}

void ownership_manager::cancel_acquire(uint32_t object, const bit_vector& attributes) {
  if (!requests_.all(object).all_bits_match(attributes))
    throw make_ldm_exception(ldm_error::AttributeAcquisitionWasNotRequested, "Acquisition not in progress for object %d",
                             object);
  const object_entry* found = entry(object, ownership_type::request_cancellation);
  if (!found) return;
  const object_entry& e = *found;
  trace_set("OWN: Cancelling acquisition of attrs: ", e, attributes);
  requests_.remove(object, attributes);
  ownership_message message = message_of(ownership_type::request_cancellation);
  message.attributes = attributes;
  send(message, e);
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_confirm_acquire_cancellation(object, attributes);
}

bit_vector* ownership_manager::release_response(uint32_t object, const bit_vector& attributes) {
  if (!asked_.all(object).all_bits_match(attributes))
    throw make_ldm_exception(ldm_error::FederateWasNotAskedToReleaseAttribute, "No matching requst for object %d",
                             object);
  const object_entry* found = entry(object, ownership_type::releasing);
  return new bit_vector(found ? release_to_requesters(*found, attributes) : bit_vector());
}

void ownership_manager::query(uint32_t object, uint32_t attribute) {
  const object_entry* found = entry(object, ownership_type::who_owns);
  if (!found) return;
  const object_entry& e = *found;
  callback_queue* callbacks = ldm_.get_callback_queue();
  if (mom_agent* mom = ldm_.get_mom_agent(); mom && mom->is_mom_object(object)) {
    if (callbacks) callbacks->add_inform_attribute_is_mom(object, attribute);
  } else if (e.is_local(attribute)) {
    if (callbacks) callbacks->add_inform_attribute_ownership(object, attribute, ldm_.get_federate_id());
  } else if (floating_.all(object).get_bit(attribute)) {
    if (callbacks) callbacks->add_inform_attribute_is_floating(object, attribute);
  } else {
    ownership_message message = message_of(ownership_type::who_owns);
    message.attribute = attribute;
    send(message, e);
    queries_[{object, attribute}] = ldm_.get_scheduler().get_clock().time() + query_timeout_ms_;
  }
}

void ownership_manager::resign(bool release_attributes) {
  if (!requests_.objects().empty()) trace_ << "OWN: Cancelling acquisition of all attrs.\n";
  for (const auto& [object, sets] : requests_.objects()) {
    ownership_message message = message_of(ownership_type::request_cancellation);
    message.attributes = requests_.all(object);
    if (const object_entry* found = entry(object, ownership_type::request_cancellation)) send(message, *found);
  }
  requests_ = ownership_table();
  if (transport_manager* transports = ldm_.get_transport_manager()) transports->give_away_implicit();
  if (!release_attributes) return;
  for (uint32_t object : ddb_.object_handles()) {
    const object_entry& e = *ddb_.object(object);
    if (e.has_local && !e.deleted) divest_immediately(object, owned(e, bit_vector(e.object_class->attribute_count, true)));
  }
}

void ownership_manager::implicit_gain(uint32_t object, const bit_vector& attributes) {
  floating_.remove(object, attributes);
  available_.remove(object, attributes);
  requests_.remove(object, attributes);
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_notify_about_ownership_gain(object, attributes);
}

void ownership_manager::implicit_loss(uint32_t object, const bit_vector& attributes) {
  offers_.remove(object, attributes);
  asked_.remove(object, attributes);
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_notify_about_ownership_loss(object, attributes);
}

void ownership_manager::object_removed(uint32_t object) {
  for (ownership_table* table : {&floating_, &available_, &offers_, &requests_, &asked_, &taking_, &taking_if_available_, &orphans_})
    table->forget_object(object);
  std::erase_if(queries_, [&](const auto& query) { return query.first.first == object; });
}

void ownership_manager::federate_gone(federate_record* federate) {
  const federate_identifier gone = federate->identifier;
  gone_.insert(gone);
  // Nobody is left to grant what this federate asked the gone one for: it takes it at once.
  for (ownership_table* table : {&taking_, &taking_if_available_})
    for (const auto& [object, sets] : std::map(table->objects()))
      if (const auto found = sets.find(gone); found != sets.end()) {
        table->remove(object, gone, found->second);
        if (const object_entry* entry = ddb_.object(object)) take_orphans(*entry, gone, found->second);
      }
  for (const auto& [object, sets] : std::map(asked_.objects()))
    if (const auto found = sets.find(gone); found != sets.end()) asked_.remove(object, gone, found->second);
  // What it offered is no longer on offer; what it released still floats.
  for (const auto& [object, sets] : std::map(available_.objects())) {
    const auto found = sets.find(gone);
    if (found != sets.end()) available_.remove(object, gone, difference(found->second, floating_.of(object, gone)));
  }
}

void ownership_manager::expire_queries() {
  const uint64_t now = ldm_.get_scheduler().get_clock().time();
  callback_queue* callbacks = ldm_.get_callback_queue();
  for (auto it = queries_.begin(); it != queries_.end();) {
    if (it->second > now) {
      ++it;
      continue;
    }
    if (callbacks) callbacks->add_inform_attribute_is_floating(it->first.first, it->first.second);
    it = queries_.erase(it);
  }
}

// Receiving.

void ownership_manager::receive(int, unsigned char, ldm_buf* buffer) {
  ownership_message message = ownership_message::read(*buffer);
  ++counters_.received;
  if (trace_.is_on())
    trace_ << "OWNMSG: Received " << ownership_type_name(message.type) << ' ' << message.object << '\n';
  const object_entry* object = ddb_.object_named(message.object);
  if (!object) {
    ++counters_.unknown_object;
    return;
  }
  message.attributes.set_length(object->object_class->attribute_count);
  apply(message, *object);
}

void ownership_manager::apply(const ownership_message& message, const object_entry& object) {
  switch (message.type) {
    case ownership_type::new_floating: return floated_or_offered(message, object, true);
    case ownership_type::offer: return floated_or_offered(message, object, false);
    case ownership_type::offer_cancellation: return available_.remove(object.handle, message.sender, message.attributes);
    case ownership_type::we_take: return taken(message, object);
    case ownership_type::request: return asked_to_release(message, object);
    case ownership_type::request_cancellation: return asked_.remove(object.handle, message.sender, message.attributes);
    case ownership_type::releasing: return released_to_me(message, object);
    case ownership_type::who_owns: return answer_who_owns(message, object);
    case ownership_type::i_own: return answered(message, object);
  }
}

// What this federate asked for it takes at once; the rest it may take when its federate wants.
void ownership_manager::floated_or_offered(const ownership_message& message, const object_entry& object,
                                           bool floating) {
  bit_vector wanted = intersection(requests_.all(object.handle), message.attributes);
  if (awaits_answer(object.handle, message.sender)) wanted.clear();
  if (!wanted.is_empty()) {
    ownership_message take_message = message_of(ownership_type::we_take);
    take_message.attributes = wanted;
    take_message.other = message.sender;
    send(take_message, object);
    requests_.remove(object.handle, wanted);
    taking_.add(object.handle, message.sender, wanted);
  }
  const bit_vector rest = intersection(difference(message.attributes, wanted), object.object_class->published);
  if (rest.is_empty()) return;
  if (floating) floating_.add(object.handle, message.sender, rest);
  available_.add(object.handle, message.sender, rest);
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_request_to_take_ownership(object.handle, rest, message.tag);
}

// Takes of what this federate offers or let float are granted to the first taker heard; every
// taker learns what it got. A take crossing a cancellation of the offer gets nothing.
void ownership_manager::taken(const ownership_message& message, const object_entry& object) {
  if (message.other != self_) {
    floating_.remove(object.handle, message.attributes);
    available_.remove(object.handle, message.attributes);
    const bit_vector contested = intersection(owned(object, message.attributes), orphans_.of(object.handle, message.other));
    if (contested.is_empty() || message.sender < self_) return;
    counters_.yielded += contested.count();
    release(object, contested, true);
    return;
  }
  const bit_vector offered = intersection(owned(object, message.attributes), offers_.all(object.handle));
  bit_vector granted = intersection(message.attributes, floating_.of(object.handle, self_));
  granted |= offered;
  floating_.remove(object.handle, message.attributes);
  available_.remove(object.handle, message.attributes);
  release(object, offered, true);
  ownership_message grant = message_of(ownership_type::releasing);
  grant.attributes = granted;
  grant.other = message.sender;
  send(grant, object);
}

void ownership_manager::asked_to_release(const ownership_message& message, const object_entry& object) {
  const bit_vector mine = owned(object, message.attributes);
  if (mine.is_empty()) return;
  asked_.add(object.handle, message.sender, mine);
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_request_to_release_ownership(object.handle, mine, message.tag);
}

// A release answers a take (what was granted of it) or a request. One that answers a request may
// cross this federate's cancellation: it takes what is still requested and lets the rest float,
// so that nothing is left without an owner.
void ownership_manager::released_to_me(const ownership_message& message, const object_entry& object) {
  if (message.other != self_) return;
  bit_vector rest = message.attributes;
  bit_vector takes = taking_.of(object.handle, message.sender);
  takes |= taking_if_available_.of(object.handle, message.sender);
  if (!takes.is_empty()) {
    settle_takes(object, message.sender, message.attributes);
    rest -= takes;
  }
  rest -= owned(object, rest);
  const bit_vector wanted = intersection(requests_.all(object.handle), rest);
  requests_.remove(object.handle, wanted);
  take(object, wanted);
  set_floating(object, difference(rest, wanted));
}

void ownership_manager::answer_who_owns(const ownership_message& message, const object_entry& object) {
  if (message.attribute >= object.object_class->attribute_count || !object.is_local(message.attribute)) return;
  ownership_message answer = message_of(ownership_type::i_own);
  answer.attribute = message.attribute;
  answer.other = message.sender;
  answer.owner_number = ldm_.get_federate_id();
  send(answer, object);
}

void ownership_manager::answered(const ownership_message& message, const object_entry& object) {
  if (message.other != self_) return;
  const auto found = queries_.find({object.handle, message.attribute});
  if (found == queries_.end()) {
    trace_ << "OWN: Ownership query has left the building for " << object.handle << " Attr: " << message.attribute
           << '\n';
    return;
  }
  queries_.erase(found);
  if (callback_queue* callbacks = ldm_.get_callback_queue())
    callbacks->add_inform_attribute_ownership(object.handle, message.attribute, message.owner_number);
}

}  // namespace varnel
