#include "objects/failure_ownership.h"

#include <algorithm>
#include <vector>

#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "millisecond_clock.h"
#include "objects/ddb.h"
#include "objects/ownership_manager.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

uint64_t window(RID& rid, const char* key) { return uint64_t(std::max(rid.get_own_integer("ownership", key), 0)); }

dstream& registered_trace(debugging_events& debug, const std::string& name) {
  debug.register_event(name, "ownership fail-over of one transport");
  return debug.stream(name);
}

}  // namespace

failure_ownership::failure_ownership(local_distribution_manager& ldm, ddb& database, uint32_t transport,
                                     const std::string& name, bool enabled)
    : ldm_(ldm),
      ddb_(database),
      transport_(transport),
      name_(name + "_failover"),
      enabled_(enabled),
      self_(ldm.get_federate()),
      trace_(registered_trace(ldm.get_debugging_events(), name_)),
      random_(ldm.get_federate_id() + transport),
      claim_window_ms_(window(ldm.get_rid(), "failover_claim_window")),
      takeover_delay_ms_(window(ldm.get_rid(), "takeover_delay")),
      takeover_spread_ms_(window(ldm.get_rid(), "takeover_spread")) {
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, name_.c_str(), trace_,
                                                ldm.get_scheduler(), federation_reliable_settings(ldm.get_rid()));
  last_check_ms_ = ldm.get_scheduler().get_clock().time();
  timer_.schedule(ldm.get_scheduler(), tick_ms);
}

failure_ownership::~failure_ownership() {
  timer_.cancel();
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
  ldm_.get_debugging_events().unregister_event(name_);
}

bit_vector failure_ownership::attributes(const object_entry& object, bool local) const {
  const object_class_entry& object_class = *object.object_class;
  bit_vector result(object_class.attribute_count, false);
  for (uint32_t a = 0; a < object_class.attribute_count; ++a) {
    if (ddb_.get_transport_type(object.handle, a) != transport_ || object.is_local(a) != local) continue;
    if (local || object_class.published.get_bit(a)) result.set_bit(a);
  }
  return result;
}

void failure_ownership::send(failover_message message, unsigned char priority) {
  message.sender = self_;
  message.number = ldm_.get_federate_id();
  ldm_buf* buffer = service_->get_buf();
  message.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
}

// Triggers.

void failure_ownership::object_silent(const object_entry& object) {
  if (!enabled_ || !healthy_) return;
  schedule_claim(object.handle);
}

void failure_ownership::schedule_claim(uint32_t object) {
  pending_[object] = pending_step{ticks_ + ticks_for(random_.next_below(uint32_t(claim_window_ms_))), false, {}};
}

void failure_ownership::object_heard(uint32_t object) { pending_.erase(object); }

void failure_ownership::give_away() {
  for (uint32_t object : ddb_.object_handles()) {
    const object_entry& entry = *ddb_.object(object);
    const bit_vector owned = attributes(entry, true);
    if (owned.is_empty() || entry.deleted) continue;
    trace_ << "FailOwn: giving away ownership for " << entry.name << '\n';
    failover_message message;
    message.type = failover_type::give_away;
    message.object = entry.name;
    send(message, give_away_priority);
    ddb_.set_attributes_remote(object, owned);
  }
}

// The timer: claims and takeovers that are due, while the federate runs normally.

void failure_ownership::tick() {
  ++ticks_;
  if (ticks_ % health_ticks == 0) {
    const uint64_t now = ldm_.get_scheduler().get_clock().time();
    healthy_ = now - last_check_ms_ <= stall_ms;
    last_check_ms_ = now;
    std::erase_if(taken_, [&](const auto& entry) { return !ddb_.object(entry.first); });
  }
  if (!healthy_) return;
  std::vector<std::pair<uint32_t, pending_step>> due;
  for (const auto& [object, step] : pending_)
    if (step.due_tick <= ticks_) due.emplace_back(object, step);
  for (const auto& [object, step] : due) {
    pending_.erase(object);
    const object_entry* entry = ddb_.object(object);
    if (!entry) continue;
    if (step.takeover) {
      take_over(object, *entry, step.claim);
    } else {
      send_claim(object, *entry);
    }
  }
}

void failure_ownership::send_claim(uint32_t object, const object_entry& entry) {
  if (attributes(entry, false).is_empty()) return;
  failover_message claim;
  claim.type = failover_type::claim;
  claim.object = entry.name;
  claim.ticket = random_.next();
  send(claim, priority);
  ++counters_.claims;
  claim.sender = self_;
  claim.number = ldm_.get_federate_id();
  const uint64_t delay = takeover_delay_ms_ + random_.next_below(uint32_t(takeover_spread_ms_));
  pending_[object] = pending_step{ticks_ + ticks_for(delay), true, claim};
}

void failure_ownership::take_over(uint32_t object, const object_entry& entry, const failover_message& claim) {
  const bit_vector silent = attributes(entry, false);
  if (silent.is_empty()) return;
  trace_ << "FailOwn: taking over ownership for " << entry.name << '\n';
  failover_message takeover = claim;
  takeover.type = failover_type::takeover;
  send(takeover, priority);
  taken_[object] = claim;
  ++counters_.takeovers;
  ddb_.set_attributes_local(object, silent);
  if (ownership_manager* ownership = ldm_.get_ownership_manager()) ownership->implicit_gain(object, silent);
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_provide_attribute_values(object, silent);
}

// Receiving.

void failure_ownership::receive(int, unsigned char, ldm_buf* buffer) {
  const failover_message message = failover_message::read(*buffer);
  const object_entry* object = ddb_.object_named(message.object);
  if (!object) return;
  switch (message.type) {
    case failover_type::claim: return claimed(message, *object);
    case failover_type::takeover: return taken_over(message, *object);
    case failover_type::give_away:
      if (enabled_ && !attributes(*object, false).is_empty()) schedule_claim(object->handle);
      return;
    case failover_type::alive: return object_heard(object->handle);
  }
}

// An owner answers that it lives; of two claimers, the one whose claim ranks lower steps back.
void failure_ownership::claimed(const failover_message& message, const object_entry& object) {
  if (!attributes(object, true).is_empty()) {
    trace_ << "FailOwn: squawking about somebody trying to take over " << object.name << '\n';
    failover_message alive;
    alive.type = failover_type::alive;
    alive.object = object.name;
    send(alive, priority);
  }
  const auto mine = pending_.find(object.handle);
  if (mine == pending_.end()) return;
  if (!mine->second.takeover || message.outranks(mine->second.claim)) pending_.erase(mine);
}

// Another federate took the object over: this one stops its own attempt, and gives up what it
// owns of the transport unless its own takeover ranks higher.
void failure_ownership::taken_over(const failover_message& message, const object_entry& object) {
  if (pending_.erase(object.handle)) trace_ << "FailOwn: suppressing takeover for " << object.name << '\n';
  const auto own = taken_.find(object.handle);
  if (own != taken_.end() && own->second.outranks(message)) return;
  if (own != taken_.end()) taken_.erase(own);
  const bit_vector owned = attributes(object, true);
  if (owned.is_empty()) return;
  trace_ << "FailOwn: releasing ownership for " << object.name << '\n';
  counters_.released += owned.count();
  ddb_.set_attributes_remote(object.handle, owned);
  if (ownership_manager* ownership = ldm_.get_ownership_manager()) ownership->implicit_loss(object.handle, owned);
}

}  // namespace varnel
