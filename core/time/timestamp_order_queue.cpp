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

template <typename Record>
void timestamp_order_queue::handle_table<Record>::insert(Record* record) {
  if (!names_message(record->key())) return;
  if (count_ >= buckets_.size()) {
    std::vector<Record*> old(buckets_.size() * 2, nullptr);
    old.swap(buckets_);
    for (Record* chain : old) {
      while (chain) {
        Record* next = chain->next_in_bucket;
        Record*& head = bucket(chain->key());
        chain->next_in_bucket = head;
        head = chain;
        chain = next;
      }
    }
  }
  Record*& head = bucket(record->key());
  record->next_in_bucket = head;
  head = record;
  ++count_;
}

template <typename Record>
void timestamp_order_queue::handle_table<Record>::remove(Record* record) {
  if (!names_message(record->key())) return;
  for (Record** link = &bucket(record->key()); *link; link = &(*link)->next_in_bucket) {
    if (*link == record) {
      *link = record->next_in_bucket;
      --count_;
      return;
    }
  }
}

template <typename Record>
std::vector<Record*> timestamp_order_queue::handle_table<Record>::find(const event_retraction_handle& handle) const {
  std::vector<Record*> found;
  if (!names_message(handle)) return found;
  for (Record* r = bucket(handle); r; r = r->next_in_bucket)
    if (r->key() == handle) found.push_back(r);
  return found;
}

template <typename Record>
void timestamp_order_queue::handle_table<Record>::clear() {
  std::fill(buckets_.begin(), buckets_.end(), nullptr);
  count_ = 0;
}

// The record's node is found among those with an equal time by its address.
template <typename Map>
void timestamp_order_queue::erase_record(Map& map, typename Map::mapped_type* record) {
  auto [first, last] = map.equal_range(record->time());
  for (; first != last; ++first) {
    if (&first->second == record) {
      map.erase(first);
      return;
    }
  }
}

timestamp_order_queue::timestamp_order_queue(dstream& trace, size_t warning_length)
    : msgorder_orderer("tso_queue", trace, warning_length) {}

timestamp_order_queue::~timestamp_order_queue() {
  pending_index_.clear();
  kept_index_.clear();
}

void timestamp_order_queue::enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
                                    const event_retraction_handle& handle, int stream, unsigned char priority,
                                    ldm_buf* buffer, msgorder_client& client) {
  if (!early_retractions_.empty() && early_retractions_.count({handle.federate, handle.serial})) {
    if (trace_.is_on()) trace_ << "TSO dropping " << handle << ", retracted before it arrived" << std::endl;
    ++retracted_before_arrival_;
    return;
  }
  // A release up to the LBTS may be followed by messages stamped exactly at it, which keeps the
  // order: only a stamp below what was released is late.
  if (released_ && time->less(*released_)) note_late(*time);
  buffer->duplicate_buf();
  const absolute_time* key = time.get();
  // Messages mostly come in time order (each sender's stamps never decrease): the end is tried
  // first, at the cost of one comparison when it is not the place.
  auto it = pending_.emplace_hint(pending_.end(), key, pending_message{{std::move(time), handle, service, order, stream, priority,
                                                   buffer_reference(buffer), buffer->get_iptr(), &client}});
  pending_index_.insert(&it->second);
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
    pending_index_.remove(&it->second);
    queued_message record = std::move(pending_.extract(it).mapped().message);
    deliver(record);
    if (!up_to) keep(record);
  }
  if (!up_to) return;
  while (!kept_.empty() && kept_.begin()->first->less_equal(*up_to)) {
    kept_index_.remove(&kept_.begin()->second);
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
  kept_index_.insert(&it->second);
}

bool timestamp_order_queue::retract(const event_retraction_handle& handle) {
  if (trace_.is_on()) trace_ << "TSO retracting " << handle << std::endl;
  const std::vector<kept_message*> kept = kept_index_.find(handle);
  for (kept_message* record : kept) {
    if (trace_.is_on()) trace_ << " Retracting already-delivered message time " << record->stamp->printable() << std::endl;
    kept_index_.remove(record);
    erase_record(kept_, record);
  }
  const std::vector<pending_message*> pending = pending_index_.find(handle);
  for (pending_message* record : pending) {
    if (trace_.is_on())
      trace_ << " Retracting undelivered message time " << record->message.time->printable() << std::endl;
    pending_index_.remove(record);
    erase_record(pending_, record);
  }
  if (kept.empty() && pending.empty()) {
    if (trace_.is_on()) trace_ << " We do not have message to retract " << std::endl;
    remember_early_retraction(handle);
  }
  return !kept.empty();
}

void timestamp_order_queue::remember_early_retraction(const event_retraction_handle& handle) {
  if (!names_message(handle) || !early_retractions_.insert({handle.federate, handle.serial}).second) return;
  early_retraction_order_.push_back({handle.federate, handle.serial});
  if (early_retraction_order_.size() <= early_retraction_limit) return;
  early_retractions_.erase(early_retraction_order_.front());
  early_retraction_order_.pop_front();
}

}  // namespace varnel
