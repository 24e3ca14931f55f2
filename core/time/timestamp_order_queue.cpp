#include "time/timestamp_order_queue.h"

#include "diagnostic.h"
#include "frame/callback_records.h"
#include "frame/debugging_events.h"

namespace varnel {

using namespace brindle;

namespace {

// A handle with serial 0 names nothing: such a message cannot be retracted and is not indexed.
bool names_message(const event_retraction_handle& handle) { return handle.serial != 0; }

}  // namespace

timestamp_order_queue::timestamp_order_queue(dstream& trace, size_t warning_length)
    : msgorder_orderer("tso_queue", trace, warning_length) {}

timestamp_order_queue::~timestamp_order_queue() {
  pending_index_.clear();
  kept_index_.clear();
}

template <typename Map>
void timestamp_order_queue::unindex(handle_index<Map>& index, typename Map::iterator it) {
  if (!names_message(it->second.handle)) return;
  auto [first, last] = index.equal_range(it->second.handle);
  for (; first != last; ++first) {
    if (first->second == it) {
      index.erase(first);
      return;
    }
  }
}

void timestamp_order_queue::enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
                                    const event_retraction_handle& handle, int stream, unsigned char priority,
                                    ldm_buf* buffer, msgorder_client& client) {
  if (released_ && time->less_equal(*released_)) note_late(*time);
  buffer->duplicate_buf();
  const absolute_time* key = time.get();
  auto it = pending_.emplace(key, queued_message{std::move(time), handle, service, order, stream, priority,
                                                 buffer_reference(buffer), buffer->get_iptr(), &client});
  if (names_message(handle)) pending_index_.emplace(handle, it);
  note_enqueued(pending_.size());
}

void timestamp_order_queue::note_late(const absolute_time& time) {
  if (late_++ == 0) {
    std::unique_ptr<absolute_time> copy(time.clone());
    std::unique_ptr<absolute_time> released(released_->clone());
    diagnostic(name_.c_str(),
               "a time stamped message at %s arrived after the release up to %s; it is delivered at the next "
               "release (further late messages are only counted)",
               copy->printable(), released->printable());
  }
}

const absolute_time* timestamp_order_queue::earliest_time() const {
  return pending_.empty() ? nullptr : pending_.begin()->first;
}

// Each record leaves the tree and the index before its delivery, so that a client that calls
// back into the ordering layer (a retraction, a send) finds the queue consistent.
void timestamp_order_queue::release(const absolute_time* up_to) {
  if (trace_.is_on()) {
    std::unique_ptr<absolute_time> shown(up_to ? up_to->clone() : nullptr);
    trace_ << "TSO release up to " << (shown ? shown->printable() : "forever") << "; q has " << pending_.size();
    if (!pending_.empty()) {
      std::unique_ptr<absolute_time> first(pending_.begin()->first->clone());
      trace_ << " first at " << first->printable();
    }
    trace_ << std::endl;
  }
  while (!pending_.empty()) {
    auto it = pending_.begin();
    if (up_to && it->first->greater(*up_to)) break;
    unindex<pending_map>(pending_index_, it);
    queued_message record = std::move(pending_.extract(it).mapped());
    deliver(record);
    if (!up_to) keep(record);
  }
  if (!up_to) return;
  while (!kept_.empty() && kept_.begin()->first->less_equal(*up_to)) {
    unindex<kept_map>(kept_index_, kept_.begin());
    kept_.erase(kept_.begin());
  }
  if (!released_)
    released_.reset(up_to->clone());
  else if (up_to->greater(*released_))
    released_->assign(*up_to);
}

// A flushed message keeps only what a retraction needs; its buffer goes back now.
void timestamp_order_queue::keep(queued_message& record) {
  if (!names_message(record.handle)) return;
  const absolute_time* key = record.time.get();
  auto it = kept_.emplace(key, kept_message{std::move(record.time), record.handle});
  kept_index_.emplace(record.handle, it);
}

bool timestamp_order_queue::retract(const event_retraction_handle& handle) {
  if (trace_.is_on()) trace_ << "TSO retracting " << handle << std::endl;
  bool delivered = false, pending = false;
  if (names_message(handle)) {
    for (auto found = kept_index_.find(handle); found != kept_index_.end(); found = kept_index_.find(handle)) {
      const kept_map::iterator it = found->second;
      if (trace_.is_on()) trace_ << " Retracting already-delivered message time " << it->second.time->printable() << std::endl;
      kept_index_.erase(found);
      kept_.erase(it);
      delivered = true;
    }
    for (auto found = pending_index_.find(handle); found != pending_index_.end(); found = pending_index_.find(handle)) {
      const pending_map::iterator it = found->second;
      if (trace_.is_on()) trace_ << " Retracting undelivered message time " << it->second.time->printable() << std::endl;
      pending_index_.erase(found);
      pending_.erase(it);
      pending = true;
    }
  }
  if (!delivered && !pending && trace_.is_on()) trace_ << " We do not have message to retract " << std::endl;
  return delivered;
}

}  // namespace varnel
