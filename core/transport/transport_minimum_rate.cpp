#include "transport/transport_minimum_rate.h"

#include <iostream>

#include "bit_vector.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "messages/user_tag.h"
#include "objects/consistency_manager.h"
#include "objects/ddb.h"
#include "objects/failure_ownership.h"
#include "objects/object_manager.h"
#include "rid.h"
#include "stream_manager.h"
#include "time/msgorder_manager.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const tag = "transport_minimum_rate";
constexpr int64_t list_ms = 250;              // the cycle's share of one list, up to 5 s
constexpr int64_t long_list_ms = 1000;        // beyond that
constexpr int64_t long_cycle_ms = 5000;

int64_t heartbeat_interval(RID& rid, const std::string& name) {
  const int64_t interval = rid.get_integer("transport_types", name.c_str(), "heartbeat_interval");
  if (interval >= list_ms) return interval;
  std::cerr << tag << ": heartbeat_interval " << interval << " of transport " << name << " is below " << list_ms
            << " ms; using " << std::max<int64_t>(interval, 1) << " ms with one transmit list" << std::endl;
  return std::max<int64_t>(interval, 1);
}

int64_t list_count(int64_t heartbeat) {
  return std::max<int64_t>(heartbeat / (heartbeat <= long_cycle_ms ? list_ms : long_list_ms), 1);
}

}  // namespace

transport_minimum_rate::transport_minimum_rate(transport_manager& manager, uint32_t id, RID& rid, bool no_shared)
    : transport_service(manager, id, rid, no_shared) {
  const char* name = get_name().c_str();
  const int64_t heartbeat = heartbeat_interval(rid, get_name());
  const int64_t lists = list_count(heartbeat);
  const int64_t timeout = std::max<int64_t>(rid.get_integer("transport_types", name, "timeout_time"), 0);
  heartbeat_ms_ = static_cast<uint64_t>(heartbeat);
  period_ms_ = static_cast<uint64_t>(std::max<int64_t>(heartbeat / lists, 1));
  cycles_heard_ = static_cast<uint32_t>(std::min<int64_t>(timeout / heartbeat + 3, UINT32_MAX));
  const auto heartbeat_priority = static_cast<uint32_t>(rid.get_integer("transport_types", name, "heartbeat_priority"));
  const auto change_priority = static_cast<uint32_t>(rid.get_integer("transport_types", name, "change_priority"));
  const bool in_range = heartbeat_priority <= max_priority && change_priority <= max_priority;
  heartbeat_priority_ = in_range ? static_cast<unsigned char>(heartbeat_priority) : default_heartbeat_priority;
  change_priority_ = in_range ? static_cast<unsigned char>(change_priority) : default_change_priority;
  lists_.resize(static_cast<size_t>(lists));
  schedule(manager.get_ldm().get_scheduler(), period_ms_);
}

transport_minimum_rate::~transport_minimum_rate() { cancel(); }

// Sending

void transport_minimum_rate::send_update(ldm_buf* buffer, int stream, const object_entry& object, const bit_vector&,
                                         bool changed) {
  transmit(object.handle);
  transmit_.at(object.handle).due = true;
  manager_.ordering().send(service_, stream, changed ? change_priority_ : heartbeat_priority_, buffer);
}

void transport_minimum_rate::send_interaction(ldm_buf*, int) {
  std::cerr << "transport_minimum_rate::send_interaction not implemented" << std::endl;
}

void transport_minimum_rate::transmit(uint32_t object) {
  if (transmit_.count(object)) return;
  const uint32_t list = next_list_++ % static_cast<uint32_t>(lists_.size());
  transmit_.emplace(object, transmit_entry{list});
  lists_[list].insert(object);
}

void transport_minimum_rate::stop_transmitting(uint32_t object) {
  auto found = transmit_.find(object);
  if (found == transmit_.end()) return;
  lists_[found->second.list].erase(object);
  transmit_.erase(found);
}

// One list per run; a whole cycle of lists is one receive cycle. An object whose federate no
// longer owns attributes of this transport leaves its list here at the latest.
void transport_minimum_rate::on_timer() {
  consistency_manager* queries = manager_.get_ldm().get_consistency_manager();
  std::vector<uint32_t> idle;
  for (uint32_t object : lists_[current_list_]) {
    transmit_entry& entry = transmit_.at(object);
    if (!entry.due) continue;
    entry.due = false;
    const object_entry* found = manager_.database().object(object);
    const bit_vector attributes = found ? local_attributes(*found) : bit_vector();
    if (attributes.is_empty()) {
      idle.push_back(object);
      continue;
    }
    manager_.update_trace() << "transport_minimum_rate::transmit_cycle_process: requesting object: " << object
                            << std::endl;
    // The request is queued for the federate's next callbacks: the lists do not change here.
    if (queries) queries->immediate_provide(object, attributes);
  }
  for (uint32_t object : idle) stop_transmitting(object);
  current_list_ = (current_list_ + 1) % static_cast<uint32_t>(lists_.size());
  if (current_list_ == 0) receive_cycle();
}

// Receiving

int transport_minimum_rate::accept_update(const data_message&, const object_entry& object, int) {
  countdown_[object.handle] = cycles_heard_;
  return 2;
}

bool transport_minimum_rate::accept_interaction(const data_message&, int) { return false; }

void transport_minimum_rate::receive_cycle() {
  std::vector<uint32_t> silent;
  for (auto& [object, cycles] : countdown_)
    if (--cycles < 2) silent.push_back(object);
  for (uint32_t object : silent) {
    countdown_.erase(object);
    time_out(object);
  }
}

// An object partly owned here stays. Without implicit transfer the silent object is deleted; with
// it, ownership fail-over takes it over.
void transport_minimum_rate::time_out(uint32_t object) {
  const object_entry* entry = manager_.database().object(object);
  if (!entry || entry->has_local) return;
  if (failure()) {
    failure()->object_silent(*entry);
    return;
  }
  manager_.update_trace() << "transport_minimum_rate::receive_cycle_process: timing out object: " << object
                          << std::endl;
  manager_.objects().delete_remote_object(object, entry->last_sender, user_tag(), nullptr, event_retraction_handle{});
}

// What the declaration database tells

void transport_minimum_rate::attributes_assigned(const object_entry& object, const bit_vector&) {
  if (!local_attributes(object).is_empty()) transmit(object.handle);
}

void transport_minimum_rate::attributes_lost(const object_entry& object, const bit_vector&) {
  if (local_attributes(object).is_empty()) stop_transmitting(object.handle);
  if (!has_remote_attributes(object)) countdown_.erase(object.handle);
}

void transport_minimum_rate::attributes_restreamed(const object_entry& object, const bit_vector&, int stream) {
  if (object.has_remote && !manager_.get_ldm().get_stream_manager().is_joined(stream))
    countdown_.erase(object.handle);
}

void transport_minimum_rate::ownership_changed(const object_entry& object, const bit_vector&, bool gaining) {
  if (gaining)
    transmit(object.handle);
  else if (local_attributes(object).is_empty())
    stop_transmitting(object.handle);
}

void transport_minimum_rate::object_removed(const object_entry& object) {
  stop_transmitting(object.handle);
  countdown_.erase(object.handle);
}

// Attributes of this transport that the object's federate owns and publishes here.
bit_vector transport_minimum_rate::local_attributes(const object_entry& object) const {
  const ddb& database = manager_.database();
  bit_vector attributes(object.object_class->attribute_count, false);
  for (uint32_t a = 0; a < object.object_class->attribute_count; ++a)
    if (object.is_local(a) && database.get_transport_type(object.handle, a) == get_id()) attributes.set_bit(a);
  return database.owned_and_published(object, attributes);
}

bool transport_minimum_rate::has_remote_attributes(const object_entry& object) const {
  for (uint32_t a = 0; a < object.object_class->attribute_count; ++a)
    if (!object.is_local(a) && manager_.database().get_transport_type(object.handle, a) == get_id()) return true;
  return false;
}

}  // namespace varnel
