// The timestamp-order queue: messages held until the time manager releases them, delivered in
// time-stamp order (equal stamps in arrival order), and removable by retraction handle while
// pending. A flush (release of everything) keeps the time and handle of each message it
// delivered, so that a later retraction of one of them can still be answered ("already
// delivered"), until a release passes its time. Owned by the msgorder_manager.
//
// A message that arrives with a time below what the queue has already released up to is late:
// the senders' promises (lookahead) were broken or the time manager released too early. It is
// counted, warned about once, and delivered at the next release, never dropped.
//
// A retraction travels on stream 2, the message it names on its class's stream, so it can
// arrive first. Such a retraction is remembered (the last 1024; handles are never reused) and
// the message is dropped when it comes, as if it had been pending.
#pragma once

#include <cstdint>
#include <map>
#include <deque>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "time/msgorder_orderer.h"

namespace varnel {

class timestamp_order_queue : public msgorder_orderer {
public:
  timestamp_order_queue(dstream& trace, size_t warning_length);
  ~timestamp_order_queue() override;

  // A message without a time cannot be ordered: the caller never passes one.
  void enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
               const event_retraction_handle& handle, int stream, unsigned char priority, brindle::ldm_buf* buffer,
               msgorder_client& client) override;
  // With a time: delivers and frees the pending messages up to and including it, then forgets
  // the kept flushed ones up to it. Without: delivers everything pending and keeps each
  // delivered message's time and handle.
  void release(const absolute_time* up_to) override;
  const absolute_time* earliest_time() const override;
  // Removes every pending or kept message with the handle (the groups of one update share
  // it); true when a kept, already delivered one was among them.
  bool retract(const event_retraction_handle& handle) override;
  size_t length() const override { return pending_.size(); }

  size_t kept_length() const { return kept_.size(); }
  uint64_t late_messages() const { return late_; }
  // Messages dropped on arrival because their retraction came first.
  uint64_t retracted_before_arrival() const { return retracted_before_arrival_; }

private:
  struct time_less {
    bool operator()(const absolute_time* a, const absolute_time* b) const { return a->less(*b); }
  };
  struct pending_message {
    queued_message message;
    pending_message* next_in_bucket = nullptr;
    const event_retraction_handle& key() const { return message.handle; }
    const absolute_time* time() const { return message.time.get(); }
  };
  struct kept_message {
    std::unique_ptr<absolute_time> stamp;
    event_retraction_handle handle;
    kept_message* next_in_bucket = nullptr;
    const event_retraction_handle& key() const { return handle; }
    const absolute_time* time() const { return stamp.get(); }
  };

  // The records by retraction handle: chained through the records themselves, so indexing
  // takes no allocation per message (the records live in the trees' nodes and never move). The
  // bucket array doubles as the records outgrow it. Handles with serial 0 are not indexed.
  template <typename Record>
  class handle_table {
  public:
    handle_table() : buckets_(64, nullptr) {}
    void insert(Record* record);
    void remove(Record* record);
    // The records with the handle.
    std::vector<Record*> find(const event_retraction_handle& handle) const;
    void clear();

  private:
    Record*& bucket(const event_retraction_handle& handle) const {
      return const_cast<Record*&>(buckets_[handle.hash() & (buckets_.size() - 1)]);
    }
    std::vector<Record*> buckets_;  // a power of two
    size_t count_ = 0;
  };

  // A multimap inserts an equal key after those already there: equal stamps keep arrival order.
  // Each key points at its own record's time.
  using pending_map = std::multimap<const absolute_time*, pending_message, time_less>;
  using kept_map = std::multimap<const absolute_time*, kept_message, time_less>;

  template <typename Map>
  static void erase_record(Map& map, typename Map::mapped_type* record);
  void note_late(const absolute_time& time);
  void keep(queued_message& record);
  void remember_early_retraction(const event_retraction_handle& handle);

  pending_map pending_;
  handle_table<pending_message> pending_index_;
  kept_map kept_;
  handle_table<kept_message> kept_index_;
  std::unique_ptr<absolute_time> released_;  // the latest time released up to; null before any
  uint64_t late_ = 0;
  // Retractions of messages not yet here, as (federate, serial), oldest first in the deque.
  static constexpr size_t early_retraction_limit = 1024;
  std::set<std::pair<uint32_t, uint32_t>> early_retractions_;
  std::deque<std::pair<uint32_t, uint32_t>> early_retraction_order_;
  uint64_t retracted_before_arrival_ = 0;
};

}  // namespace varnel
