#include "transport/transport_state_consistent.h"

#include <algorithm>
#include <iostream>

#include "bit_vector.h"
#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/user_tag.h"
#include "millisecond_clock.h"
#include "objects/consistency_manager.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "rid.h"
#include "stream_manager.h"
#include "time/msgorder_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const tag = "transport_state_consistent";
constexpr int32_t control_stream = 2;
constexpr uint64_t no_checksum = ~uint64_t{0};

uint64_t heartbeat_interval(RID& rid, const std::string& name) {
  const int64_t interval = rid.get_integer("transport_types", name.c_str(), "heartbeat_interval");
  if (interval >= static_cast<int64_t>(transport_state_consistent::min_heartbeat_ms)) return static_cast<uint64_t>(interval);
  std::cerr << tag << ": heartbeat_interval " << interval << " of transport " << name << " is below "
            << transport_state_consistent::min_heartbeat_ms << " ms; using "
            << transport_state_consistent::min_heartbeat_ms << " ms" << std::endl;
  return transport_state_consistent::min_heartbeat_ms;
}

uint64_t heartbeat_timeout(RID& rid, const std::string& name, uint64_t heartbeat) {
  const int64_t timeout = rid.get_integer("transport_types", name.c_str(), "heartbeat_timeout");
  if (timeout >= static_cast<int64_t>(heartbeat)) return static_cast<uint64_t>(timeout);
  std::cerr << tag << ": heartbeat_timeout " << timeout << " of transport " << name
            << " is below its heartbeat_interval; using " << heartbeat << " ms" << std::endl;
  return heartbeat;
}

// The trailer carries the low 32 bits of a value's checksum.
bool same_checksum(uint64_t held, uint32_t sent) { return held != no_checksum && static_cast<uint32_t>(held) == sent; }

// The random generator starts from the federate's identifier, so that federates hearing the
// same gap pick different delays.
uint32_t seed_of(const federate_identifier& identifier) { return identifier.hash(); }

}  // namespace

// The protocol service

transport_state_consistent::consistency_protocol_service::consistency_protocol_service(
    transport_state_consistent& owner, vessmark::stream_manager& streams, const std::string& name)
    : owner_(owner), streams_(streams), service_(&streams, this, name.c_str()) {
  streams_.join(control_stream);
}

transport_state_consistent::consistency_protocol_service::~consistency_protocol_service() {
  streams_.leave(control_stream);
}

void transport_state_consistent::consistency_protocol_service::receive(int stream, unsigned char, ldm_buf* buffer) {
  owner_.receive_cp_message(stream, *buffer);
}

void transport_state_consistent::consistency_protocol_service::send(int stream, unsigned char priority,
                                                                    const std::function<void(ldm_buf&)>& write) {
  ldm_buf* buffer = service_.get_buf();
  write(*buffer);
  service_.send(stream, priority, buffer);
  buffer->release_buf();
}

template <class Key, class Value>
std::vector<std::pair<Key, Value>> transport_state_consistent::delay_queue<Key, Value>::take_due(uint64_t now) {
  std::vector<std::pair<Key, Value>> due;
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->second.due > now) {
      ++it;
      continue;
    }
    due.emplace_back(it->first, it->second.value);
    it = entries_.erase(it);
  }
  return due;
}

transport_state_consistent::transport_state_consistent(transport_manager& manager, uint32_t id, RID& rid,
                                                       bool no_shared)
    : transport_service(manager, id, rid, no_shared),
      heartbeat_ms_(heartbeat_interval(rid, get_name())),
      timeout_ms_(heartbeat_timeout(rid, get_name(), heartbeat_ms_)),
      life_(static_cast<uint32_t>(std::min<uint64_t>(timeout_ms_ / heartbeat_ms_ + 3, UINT32_MAX))),
      self_(manager.get_ldm().get_federation_manager().get_identifier()),
      random_(seed_of(self_)),
      protocol_(*this, manager.get_ldm().get_stream_manager(), "sc_protocol_" + get_name()) {
  service_ = ordering_service::best_effort;
  scheduler& on = manager.get_ldm().get_scheduler();
  next_heartbeat_ = on.get_clock().time() + heartbeat_ms_;
  schedule(on, get_timer_period());
  manager.get_ldm().get_federation_manager().add_federate_join_client(this);
}

transport_state_consistent::~transport_state_consistent() {
  manager_.get_ldm().get_federation_manager().remove_federate_join_client(this);
  cancel();
}

uint32_t transport_state_consistent::local_list_number(int stream) const {
  auto found = local_lists_.find(stream);
  return found == local_lists_.end() ? 0 : found->second.number;
}

// Sending

// Attributes of this transport on the stream that this federate owns and publishes.
bit_vector transport_state_consistent::local_attributes(const object_entry& object, int stream) const {
  const ddb& database = manager_.database();
  bit_vector attributes(object.object_class->attribute_count, false);
  for (uint32_t a = 0; a < object.object_class->attribute_count; ++a)
    if (object.is_local(a) && object.stream[a] == stream && database.get_transport_type(object.handle, a) == get_id())
      attributes.set_bit(a);
  return database.owned_and_published(object, attributes);
}

// Any change of a list's content advances its number, so that a receiver that missed the list
// learns of it from the next heartbeat.
void transport_state_consistent::list_changed(int32_t stream) {
  ++local_lists_[stream].number;
  list_responses_.add(stream, manager_.get_ldm().get_scheduler().get_clock().time() + heartbeat_ms_ / 10, list_repeats);
}

void transport_state_consistent::send_update(ldm_buf* buffer, int stream, const object_entry& object,
                                             const bit_vector& attributes, bool changed) {
  local_list& list = local_lists_[stream];
  const bool added = list.objects.insert(object.handle).second;
  uint32_t& number = object_numbers_[object.handle];
  if (added || changed) {
    ++number;
    list_changed(stream);
  }
  const bit_vector held = local_attributes(object, stream);
  sc_update_trailer trailer;
  trailer.sender = self_;
  trailer.number = number;
  bit_vector missing = held;
  missing -= attributes;
  trailer.kind = missing.is_empty() ? sc_update_trailer::full : sc_update_trailer::partial;
  if (trailer.kind == sc_update_trailer::partial)
    for_each_bit(held, [&](uint32_t a) {
      if (object.checksum[a] != no_checksum) trailer.checksums.emplace_back(a, static_cast<uint32_t>(object.checksum[a]));
    });
  else
    responses_.remove({object.handle, stream});
  trailer.write(*buffer);
  manager_.update_trace() << "transport_state_consistent::update_attribute_values: \n    sending "
                          << (trailer.kind == sc_update_trailer::full ? "full" : "partial") << " update" << std::endl;
  manager_.ordering().send(service_, stream, update_priority, buffer);
}

void transport_state_consistent::send_interaction(ldm_buf*, int) {
  std::cerr << "transport_state_consistent::send_interaction not implemented" << std::endl;
}

void transport_state_consistent::send_heartbeat() {
  if (local_lists_.empty()) return;
  sc_heartbeat heartbeat;
  heartbeat.sender = self_;
  // A heartbeat announces the lists sent: one about to go would race its own announcement. A
  // list that changed since the last heartbeat goes again soon: lists span several packets, and
  // a receiver that lost the last one would otherwise wait for a NACK round.
  const uint64_t now = manager_.get_ldm().get_scheduler().get_clock().time();
  for (auto& [stream, list] : local_lists_) {
    if (list.sent) heartbeat.lists.emplace_back(stream, list.sent_number);
    if (list.number != list.heartbeat_number) list_responses_.add(stream, now + heartbeat_ms_ / 10, list_repeats);
    list.heartbeat_number = list.number;
  }
  if (heartbeat.lists.empty()) return;
  manager_.update_trace() << "transport_state_consistent::send_host_heartbeat: \n    sending heartbeat for "
                          << heartbeat.lists.size() << " streams" << std::endl;
  protocol_.send(control_stream, heartbeat_priority, [&](ldm_buf& buffer) { heartbeat.write(buffer); });
  ++counters_.heartbeats_sent;
}

void transport_state_consistent::send_list(int32_t stream) {
  auto found = local_lists_.find(stream);
  if (found == local_lists_.end()) return;
  sc_list list;
  list.sender = self_;
  list.number = found->second.number;
  found->second.sent = true;
  found->second.sent_number = list.number;
  for (uint32_t handle : found->second.objects)
    if (const object_entry* object = manager_.database().object(handle))
      list.objects.push_back({object->name, object->object_class->handle, object_numbers_[handle]});
  manager_.update_trace() << "transport_state_consistent::send_list: \n    sending clist update for stream " << stream
                          << std::endl;
  protocol_.send(stream, list_priority, [&](ldm_buf& buffer) { list.write(buffer); });
  ++counters_.lists_sent;
}

// The federate re-sends the object's attributes of this transport on the stream; that answer
// goes out as a full update.
void transport_state_consistent::request_from_clientif(uint32_t object, int32_t stream) {
  const object_entry* entry = manager_.database().object(object);
  consistency_manager* queries = manager_.get_ldm().get_consistency_manager();
  if (!entry || !queries) return;
  const bit_vector attributes = local_attributes(*entry, stream);
  if (attributes.is_empty()) return;
  manager_.update_trace() << "transport_state_consistent::request_from_clientif: \n    requesting " << entry->name
                          << std::endl;
  queries->immediate_provide(object, attributes);
  ++counters_.provides_requested;
}

// An object that no longer has attributes of this transport here on a stream leaves that list.
void transport_state_consistent::leave_lists_unless_held(const object_entry& object) {
  for (auto& [stream, list] : local_lists_) {
    if (!list.objects.count(object.handle) || !local_attributes(object, stream).is_empty()) continue;
    list.objects.erase(object.handle);
    responses_.remove({object.handle, stream});
    list_changed(stream);
  }
}

void transport_state_consistent::attributes_lost(const object_entry& object, const bit_vector&) {
  leave_lists_unless_held(object);
}

void transport_state_consistent::attributes_restreamed(const object_entry& object, const bit_vector&, int) {
  leave_lists_unless_held(object);
}

void transport_state_consistent::ownership_changed(const object_entry& object, const bit_vector&, bool gaining) {
  if (!gaining) leave_lists_unless_held(object);
}

void transport_state_consistent::object_removed(const object_entry& object) {
  for (auto& [stream, list] : local_lists_) {
    if (!list.objects.erase(object.handle)) continue;
    responses_.remove({object.handle, stream});
    list_changed(stream);
  }
  object_numbers_.erase(object.handle);
  for (auto& [identifier, federate] : remotes_) {
    federate.accepted.erase(object.name);
    for (auto& [stream, list] : federate.lists) list.listed.erase(object.name);
  }
  nacks_.remove_if([&](const owner_object& key) { return key.second == object.name; });
  drops_.remove(object.name);
}

// Receiving updates

void transport_state_consistent::read_trailer(ldm_buf& buffer) { trailer_ = sc_update_trailer::read(buffer); }

transport_state_consistent::remote_federate* transport_state_consistent::remote(const federate_identifier& sender) {
  auto found = remotes_.find(sender);
  if (found != remotes_.end()) return &found->second;
  if (remotes_.size() >= max_remote_federates) {
    ++counters_.remote_table_full;
    return nullptr;
  }
  remote_federate& created = remotes_[sender];
  created.life = life_;
  return &created;
}

// The class is heard here on the stream.
bool transport_state_consistent::subscribes(uint32_t object_class, int stream) const {
  const ddb& database = manager_.database();
  const object_class_entry* sent = database.object_class(object_class);
  const object_class_entry* subscriber = sent && sent->discover_as != no_class ? database.object_class(sent->discover_as) : nullptr;
  return subscriber && subscriber->streams.count(static_cast<uint32_t>(stream));
}

int transport_state_consistent::accept_update(const data_message&, const object_entry& object, int stream) {
  if (!trailer_) return 0;
  const sc_update_trailer trailer = *std::exchange(trailer_, std::nullopt);
  remote_federate* sender = remote(trailer.sender);
  if (!sender) return 1;
  sender->life = life_;
  drops_.remove(object.name);
  auto accepted = sender->accepted.find(object.name);
  const bool first = accepted == sender->accepted.end();
  if (first && sender->accepted.size() >= sc_list::max_objects) {
    ++counters_.listed_full;
    return 1;
  }
  if (!first && sc_older(trailer.number, accepted->second)) return 0;
  if (trailer.kind == sc_update_trailer::full) {
    nacks_.remove({trailer.sender, object.name});
  } else if (first) {
    queue_nack(trailer.sender, object.name, {stream, trailer.number, true});
  } else {
    const object_class_entry* subscriber = manager_.database().object_class(object.object_class->discover_as);
    for (const auto& [a, checksum] : trailer.checksums) {
      if (a >= object.object_class->attribute_count || object.is_local(a)) continue;
      if (!subscriber || !subscriber->subscribed.get_bit(a) || same_checksum(object.checksum[a], checksum)) continue;
      queue_nack(trailer.sender, object.name, {stream, trailer.number, true});
      break;
    }
  }
  if (!first && trailer.number == accepted->second) return 2;
  sender->accepted[object.name] = trailer.number;
  return 1;
}

bool transport_state_consistent::accept_interaction(const data_message&, int) { return false; }

// The protocol

void transport_state_consistent::receive_cp_message(int stream, ldm_buf& buffer) {
  const uint32_t type = buffer.read_4();
  switch (type) {
    case sc_type::object_nack:
      receive_object_nack(sc_object_nack::read(buffer));
      return;
    case sc_type::list:
      receive_list(stream, sc_list::read(buffer, *manager_.get_ldm().get_fed()));
      return;
    case sc_type::list_nack:
      receive_list_nack(sc_list_nack::read(buffer));
      return;
    case sc_type::heartbeat:
      receive_host_heartbeat(sc_heartbeat::read(buffer));
      return;
    default:
      ++counters_.unknown_messages;
      std::cerr << "transport_state_consistent::receive_cp_message: \n    unknown message type." << std::endl;
  }
}

void transport_state_consistent::queue_nack(const federate_identifier& owner, const std::string& name,
                                            const nack_target& target) {
  const uint64_t now = manager_.get_ldm().get_scheduler().get_clock().time();
  if (nacks_.add({owner, name}, now + random_.next_below(static_cast<uint32_t>(heartbeat_ms_ / 2)), target)) {
    manager_.update_trace() << "    nacking for out of date object " << name << std::endl;
    return;
  }
  // A NACK queued for a newer number alone now waits for a full update: a number caught up
  // with says nothing of a value missed on the way.
  nack_target& queued = *nacks_.find({owner, name});
  if (target.needs_full) queued = target;
}

// An update as new as the number asked for came after the NACK was queued: a list can overtake
// the updates sent before it, since protocol messages are handled as they arrive and updates
// after the ordering layer.
bool transport_state_consistent::caught_up(const federate_identifier& owner, const std::string& name,
                                           uint32_t number) const {
  auto federate = remotes_.find(owner);
  if (federate == remotes_.end()) return false;
  auto accepted = federate->second.accepted.find(name);
  return accepted != federate->second.accepted.end() && !sc_older(accepted->second, number);
}

void transport_state_consistent::queue_list_nack(const federate_identifier& owner, int32_t stream, uint32_t number) {
  const uint64_t now = manager_.get_ldm().get_scheduler().get_clock().time();
  if (list_nacks_.add({owner, stream}, now + random_.next_below(static_cast<uint32_t>(heartbeat_ms_ / 2)), {number}))
    manager_.update_trace() << "    nacking for out of date clist for stream " << stream << std::endl;
}

void transport_state_consistent::queue_drop(const std::string& name) {
  drops_.add(name, manager_.get_ldm().get_scheduler().get_clock().time() + heartbeat_ms_, true);
}

// A NACK for this federate's object is answered when it still holds the object's attributes of
// this transport on that stream; another federate's NACK for what this one wants stands for it.
void transport_state_consistent::receive_object_nack(const sc_object_nack& nack) {
  if (nack.owner != self_) {
    if (nacks_.postpone({nack.owner, nack.object_name}, next_round())) {
      ++counters_.nacks_suppressed;
      manager_.update_trace() << "    suppressed nack for object " << nack.object_name << std::endl;
    }
    return;
  }
  const object_entry* object = manager_.database().object_named(nack.object_name);
  if (!object || local_attributes(*object, nack.stream).is_empty()) return;
  responses_.add({object->handle, nack.stream},
                 manager_.get_ldm().get_scheduler().get_clock().time() + heartbeat_ms_ / 10, true);
}

void transport_state_consistent::receive_list_nack(const sc_list_nack& nack) {
  if (nack.owner != self_) {
    if (list_nacks_.postpone({nack.owner, nack.stream}, next_round())) {
      ++counters_.list_nacks_suppressed;
      manager_.update_trace() << "    suppressed clist nack on stream " << nack.stream << std::endl;
    }
    return;
  }
  if (!local_lists_.count(nack.stream)) return;
  list_responses_.add(nack.stream, manager_.get_ldm().get_scheduler().get_clock().time() + heartbeat_ms_ / 10, list_repeats);
}

// A list older than the one held was overtaken on the way: taking it would drop live objects.
void transport_state_consistent::receive_list(int stream, const sc_list& list) {
  if (list.sender == self_) return;
  remote_federate* sender = remote(list.sender);
  if (!sender) return;
  remote_list& held = sender->lists[stream];
  if (held.received && sc_older(list.number, held.number)) {
    ++counters_.older_lists_ignored;
    return;
  }
  std::map<std::string, uint32_t> listed;
  for (const sc_list_entry& entry : list.objects) listed[entry.object_name] = entry.number;
  for (const auto& [name, number] : held.listed)
    if (!listed.count(name)) queue_drop(name);
  held.received = true;
  held.number = list.number;
  held.listed = std::move(listed);
  list_nacks_.remove({list.sender, stream});
  for (const sc_list_entry& entry : list.objects) {
    if (!subscribes(entry.class_handle, stream)) continue;
    auto accepted = sender->accepted.find(entry.object_name);
    if (accepted == sender->accepted.end() || sc_older(accepted->second, entry.number))
      queue_nack(list.sender, entry.object_name, {stream, entry.number, false});
  }
}

// Objects of a list this federate holds that it knows but has not caught up with: a NACK or its
// answer was lost, and the heartbeat is the chance to ask again.
void transport_state_consistent::recheck_listed(const federate_identifier& sender, int32_t stream,
                                                const remote_list& list) {
  const remote_federate& federate = remotes_.at(sender);
  for (const auto& [name, number] : list.listed) {
    const object_entry* object = manager_.database().object_named(name);
    auto accepted = federate.accepted.find(name);
    if (!object || !subscribes(object->object_class->handle, stream)) continue;
    if (accepted == federate.accepted.end() || sc_older(accepted->second, number))
      queue_nack(sender, name, {stream, number, false});
  }
}

void transport_state_consistent::receive_host_heartbeat(const sc_heartbeat& heartbeat) {
  if (heartbeat.sender == self_) return;
  remote_federate* sender = remote(heartbeat.sender);
  if (!sender) return;
  sender->life = life_;
  vessmark::stream_manager& streams = manager_.get_ldm().get_stream_manager();
  std::set<int32_t> announced;
  for (const auto& [stream, number] : heartbeat.lists) {
    announced.insert(stream);
    if (!streams.is_joined(stream)) {
      manager_.update_trace() << "    ignoring unsubscribed stream " << stream << std::endl;
      continue;
    }
    auto held = sender->lists.find(stream);
    if (held == sender->lists.end() || !held->second.received || sc_older(held->second.number, number))
      queue_list_nack(heartbeat.sender, stream, number);
    else if (held->second.number == number)
      recheck_listed(heartbeat.sender, stream, held->second);
  }
  for (auto it = sender->lists.begin(); it != sender->lists.end();) {
    if (announced.count(it->first)) {
      ++it;
      continue;
    }
    for (const auto& [name, number] : it->second.listed) queue_drop(name);
    list_nacks_.remove({heartbeat.sender, it->first});
    it = sender->lists.erase(it);
  }
}

// Due work

uint64_t transport_state_consistent::next_round() {
  const uint64_t now = manager_.get_ldm().get_scheduler().get_clock().time();
  return now + heartbeat_ms_ / 5 + random_.next_below(static_cast<uint32_t>(heartbeat_ms_ / 5));
}

void transport_state_consistent::send_object_nack(const owner_object& key, nack_target target) {
  if (!target.needs_full && caught_up(key.first, key.second, target.number)) return;
  sc_object_nack nack{key.second, key.first, target.stream, target.number};
  manager_.update_trace() << "transport_state_consistent::send_object_nack: \n    sending nack for object "
                          << key.second << std::endl;
  protocol_.send(control_stream, nack_priority, [&](ldm_buf& buffer) { nack.write(buffer); });
  ++counters_.nacks_sent;
  if (--target.attempts > 0) nacks_.add(key, next_round(), target);
}

void transport_state_consistent::send_list_nack(const owner_stream& key, list_nack_target target) {
  auto federate = remotes_.find(key.first);
  if (federate == remotes_.end()) return;
  auto held = federate->second.lists.find(key.second);
  if (held != federate->second.lists.end() && held->second.received && !sc_older(held->second.number, target.number))
    return;
  sc_list_nack nack{key.first, key.second, target.number};
  manager_.update_trace() << "transport_state_consistent::send_list_nack: \n    sending clist nack for stream "
                          << key.second << std::endl;
  protocol_.send(control_stream, nack_priority, [&](ldm_buf& buffer) { nack.write(buffer); });
  ++counters_.list_nacks_sent;
  if (--target.attempts > 0) list_nacks_.add(key, next_round(), target);
}

bool transport_state_consistent::listed_by_anyone(const std::string& name) const {
  for (const auto& [identifier, federate] : remotes_)
    for (const auto& [stream, list] : federate.lists)
      if (list.listed.count(name)) return true;
  return false;
}

// An object that another owner still lists, or that has attributes here, stays: only the
// sender's entry was forgotten.
void transport_state_consistent::slay(const std::string& name) {
  const object_entry* object = manager_.database().object_named(name);
  if (!object || object->has_local || listed_by_anyone(name)) {
    if (object) manager_.update_trace() << "    suppressed object timeout for object " << name << std::endl;
    return;
  }
  manager_.update_trace() << "    slaying remote " << name << std::endl;
  ++counters_.objects_dropped;
  manager_.objects().delete_remote_object(object->handle, object->last_sender, user_tag(), nullptr,
                                          event_retraction_handle{});
}

void transport_state_consistent::time_out(const federate_identifier& federate) {
  auto found = remotes_.find(federate);
  if (found == remotes_.end()) return;
  manager_.update_trace() << "transport_state_consistent::timeout_remote_federates: \n    timing out federate "
                          << federate.to_string() << std::endl;
  ++counters_.federates_timed_out;
  for (const auto& [name, number] : found->second.accepted) queue_drop(name);
  for (const auto& [stream, list] : found->second.lists)
    for (const auto& [name, number] : list.listed) queue_drop(name);
  remotes_.erase(found);
  nacks_.remove_if([&](const owner_object& key) { return key.first == federate; });
  list_nacks_.remove_if([&](const owner_stream& key) { return key.first == federate; });
}

void transport_state_consistent::timeout_remote_federates() {
  std::vector<federate_identifier> silent;
  for (auto& [identifier, federate] : remotes_)
    if (federate.life == 0 || --federate.life == 0) silent.push_back(identifier);
  for (const federate_identifier& identifier : silent) time_out(identifier);
}

void transport_state_consistent::federate_gone(federate_record* federate) { time_out(federate->identifier); }

void transport_state_consistent::run_due(uint64_t now) {
  for (const auto& [key, target] : nacks_.take_due(now)) send_object_nack(key, target);
  for (const auto& [key, target] : list_nacks_.take_due(now)) send_list_nack(key, target);
  for (const auto& [key, unused] : responses_.take_due(now)) request_from_clientif(key.first, key.second);
  // A list goes again H/5 later, list_repeats times, unless a change sends it again meanwhile:
  // a lost list would otherwise cost a receiver a heartbeat and a NACK round.
  for (const auto& [stream, repeats] : list_responses_.take_due(now)) {
    send_list(stream);
    if (repeats > 0) list_responses_.add(stream, now + heartbeat_ms_ / 5, repeats - 1);
  }
  for (const auto& [name, unused] : drops_.take_due(now)) slay(name);
}

void transport_state_consistent::on_timer() {
  const uint64_t now = manager_.get_ldm().get_scheduler().get_clock().time();
  run_due(now);
  if (now < next_heartbeat_) return;
  next_heartbeat_ = now + heartbeat_ms_;
  send_heartbeat();
  timeout_remote_federates();
}

}  // namespace varnel
