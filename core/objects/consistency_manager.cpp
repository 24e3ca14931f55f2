#include "objects/consistency_manager.h"

#include <algorithm>

#include "fed/fed.h"
#include "federation/mom_agent.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "federate_identifier.h"
#include "ldm_buf.h"
#include "objects/ddb.h"
#include "objects/object_messages.h"
#include "rid.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "transport/transport_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* event_name = "query";
constexpr const char* service_name = "consistency_query";
constexpr uint32_t random_seed_mask = 0xFFD;

dstream& registered_event(debugging_events& debug) {
  debug.register_event(event_name, "attribute value queries and provide requests");
  return debug.stream(event_name);
}

uint64_t milliseconds(RID& rid, const char* key) { return static_cast<uint64_t>(std::max(0, rid.get_integer("queries", key))); }

void trace_streams(dstream& trace, const char* line, const sparse_bit_vector& streams) {
  if (!trace.is_on()) return;
  trace << line;
  print_set_bit_list(trace, streams);
  trace << std::endl;
}

template <class Visit>
void for_each_stream(const sparse_bit_vector& streams, Visit visit) {
  for (uint32_t s = streams.ffs(); s != sparse_bit_vector::npos; s = streams.find_next(s + 1)) visit(s);
}

}  // namespace

consistency_manager::consistency_manager(local_distribution_manager& ldm, ddb& database, transport_manager& transports)
    : ldm_(ldm),
      fed_(*ldm.get_fed()),
      ddb_(database),
      transports_(transports),
      trace_(registered_event(ldm.get_debugging_events())),
      service_(&ldm.get_stream_manager(), this, service_name),
      random_(federate_identifier::local_host() ^ random_seed_mask),
      bundle_ms_(milliseconds(ldm.get_rid(), "bundle_query_timeout")),
      backoff_ms_(milliseconds(ldm.get_rid(), "query_backoff_window")),
      // A period of 0 would run the timer at every scheduler pass.
      period_ms_(std::max<uint64_t>(bundle_ms_ / 5, 1)) {
  ldm.get_stream_manager().join(query_stream);
  ldm.get_stream_manager().add_stream_join_client(this);
  transports_.add_update_listener(this);
  schedule(ldm.get_scheduler(), period_ms_);
}

consistency_manager::~consistency_manager() {
  cancel();
  transports_.remove_update_listener(this);
  ldm_.get_stream_manager().drop_stream_join_client(this);
  ldm_.get_stream_manager().leave(query_stream);
  ldm_.get_debugging_events().unregister_event(event_name);
}

uint64_t consistency_manager::now() const { return ldm_.get_scheduler().get_clock().time(); }

// Outgoing queries

// The first request into an empty collection starts its bundle time.
void consistency_manager::collect() {
  if (deadline_ == 0) deadline_ = std::max<uint64_t>(now() + bundle_ms_, 1);
}

void consistency_manager::request_object(uint32_t object) {
  if (mom_agent* mom = ldm_.get_mom_agent(); mom && mom->request_object(object)) return;
  trace_ << "CM: queueing request for object " << object << std::endl;
  objects_.insert(object);
  collect();
}

void consistency_manager::request_class(uint32_t object_class) {
  if (mom_agent* mom = ldm_.get_mom_agent(); mom && mom->request_class(object_class)) return;
  trace_ << "CM: queuing request for class " << object_class << std::endl;
  classes_.insert(object_class);
  collect();
}

void consistency_manager::streams_joined(const sparse_bit_vector& streams) {
  trace_streams(trace_, "CM: queueing query for streams: ", streams);
  streams_ |= streams;
  collect();
}

void consistency_manager::streams_left(const sparse_bit_vector& streams) {
  trace_streams(trace_, "CM: dequeueing query for streams: ", streams);
  streams_ -= streams;
}

// Objects deleted since they were asked for are left out. A long list goes in several queries,
// each within what a receiver accepts; the classes and streams ride with the first.
void consistency_manager::send_queries() {
  query_message message;
  message.classes.assign(classes_.begin(), classes_.end());
  message.streams = streams_;
  for (uint32_t object : objects_) {
    const object_entry* entry = ddb_.object(object);
    if (!entry || entry->deleted) continue;
    message.names.push_back(entry->name);
    if (message.names.size() < query_message::max_names) continue;
    send(message);
    message = query_message();
  }
  if (!message.names.empty() || !message.classes.empty() || !message.streams.is_empty()) send(message);
  objects_.clear();
  classes_.clear();
  streams_.clear();
}

void consistency_manager::send(const query_message& message) {
  ++counters_.queries_sent;
  counters_.objects_sent += message.names.size();
  counters_.classes_sent += message.classes.size();
  if (!message.streams.is_empty()) ++counters_.stream_sets_sent;
  trace_ << "CM: Sending QP for " << message.names.size() << " objs " << message.classes.size() << " classes "
         << message.streams.count() << " streams" << std::endl;
  ldm_buf* buffer = service_.get_buf();
  message.write(*buffer);
  service_.send(query_stream, query_priority, buffer);
  buffer->release_buf();
}

void consistency_manager::on_timer() {
  if (deadline_ != 0 && now() >= deadline_) {
    deadline_ = 0;
    send_queries();
  }
  for (auto& [object, attributes] : pending_.take_due(now())) deliver(object, attributes);
}

// Incoming queries

// A name this federate had itself queued is asked for already: its own query need not repeat it.
void consistency_manager::receive(int, unsigned char, ldm_buf* buffer) {
  const query_message message = query_message::read(*buffer, fed_);
  ++counters_.queries_received;
  trace_ << "CM: Received QP for " << message.names.size() << " objs " << message.classes.size() << " classes "
         << message.streams.count() << " streams" << std::endl;
  for (const std::string& name : message.names) {
    const object_entry* entry = ddb_.object_named(name);
    if (!entry) continue;
    objects_.erase(entry->handle);
    ask_owner(*entry);
  }
  if (!message.classes.empty()) {
    for (uint32_t object : ddb_.object_handles()) {
      const object_entry& entry = *ddb_.object(object);
      const uint32_t object_class = entry.object_class->handle;
      if (std::any_of(message.classes.begin(), message.classes.end(),
                      [&](uint32_t c) { return fed_.is_object_class_derived(c, object_class); }))
        ask_owner(entry);
    }
  }
  for_each_stream(message.streams, [&](uint32_t s) {
    for (const auto& [object, attributes] : ddb_.provide_for_stream(s)) aggregate_provide(object, attributes);
  });
}

void consistency_manager::ask_owner(const object_entry& object) {
  if (object.has_local && object.object_class->is_published())
    aggregate_provide(object.handle, ddb_.owned_and_published(object, object.object_class->published));
}

// Provide requests

// The back-off is uniform in [0, window): trunc(window * (r + 0.5) / 2^32) for a random r.
void consistency_manager::aggregate_provide(uint32_t object, const bit_vector& attributes) {
  if (attributes.is_empty()) return;
  const double r = static_cast<double>(random_.next()) + 0.5;
  const auto delay = static_cast<uint64_t>(static_cast<double>(backoff_ms_) * r / 4294967296.0);
  if (trace_.is_on())
    trace_ << (pending_.contains(object) ? "CM: aggregating query for object " : "CM: queuing request for object ")
           << object << " attrs: " << attributes << std::endl;
  pending_.merge(object, attributes, now() + delay);
}

void consistency_manager::immediate_provide(uint32_t object, const bit_vector& attributes) {
  bit_vector all = pending_.take(object);
  trace_ << (all.is_empty() ? "CM: immediate query for object " : "CM: aggregating immediate query for object ")
         << object << std::endl;
  all |= attributes;
  deliver(object, all);
}

void consistency_manager::updated(uint32_t object, const bit_vector& attributes) {
  if (!pending_.contains(object)) return;
  trace_ << "CM: suppressing query for object " << object << std::endl;
  pending_.remove(object, attributes);
}

// Ownership may have moved while the request waited: the federate is asked only for what it
// still owns and publishes, and not at all when that is nothing.
void consistency_manager::deliver(uint32_t object, const bit_vector& attributes) {
  const object_entry* entry = ddb_.object(object);
  if (!entry || entry->deleted) return;
  const bit_vector owned = ddb_.owned_and_published(*entry, attributes);
  callback_queue* callbacks = ldm_.get_callback_queue();
  if (owned.is_empty() || !callbacks) return;
  trace_ << "CM: query for object " << object << " attrs: " << owned << std::endl;
  callbacks->add_provide_attribute_values(object, owned);
  ++counters_.provides_delivered;
}

}  // namespace varnel
