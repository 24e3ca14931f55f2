// What the two delivery queues of the ordering layer share: one queued message record, the
// delivery of a record to its client, and the accounting every queue keeps (messages enqueued,
// the largest length, payloads a client could not decode, a high-water mark past which the
// queue warns once and counts). Owned by the msgorder_manager.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ldm_buf.h"
#include "time/absolute_time.h"
#include "time/event_retraction_handle.h"
#include "time/msgorder_client.h"

namespace varnel {

class dstream;

// Releases the one buffer reference a queued record holds.
struct buffer_release {
  void operator()(brindle::ldm_buf* buffer) const { buffer->release_buf(); }
};
using buffer_reference = std::unique_ptr<brindle::ldm_buf, buffer_release>;

struct queued_message {
  std::unique_ptr<absolute_time> time;  // null for none
  event_retraction_handle handle;       // zero for none
  ordering_service service;
  message_order order;
  int stream;
  unsigned char priority;
  buffer_reference buffer;
  uint32_t read_position;  // just after the ordering header
  msgorder_client* client;
};

class msgorder_orderer {
public:
  // name is also the debugging event the queue traces to; past warning_length messages the
  // queue warns once.
  msgorder_orderer(const char* name, dstream& trace, size_t warning_length);
  virtual ~msgorder_orderer() = default;
  msgorder_orderer(const msgorder_orderer&) = delete;
  msgorder_orderer& operator=(const msgorder_orderer&) = delete;

  // Takes the time; takes a buffer reference of its own when it keeps the message.
  virtual void enqueue(ordering_service service, message_order order, std::unique_ptr<absolute_time> time,
                       const event_retraction_handle& handle, int stream, unsigned char priority,
                       brindle::ldm_buf* buffer, msgorder_client& client) = 0;
  // Delivers what is due up to time; a null time delivers everything.
  virtual void release(const absolute_time* up_to) = 0;
  virtual void set_deliver_at_once(bool) {}
  // The earliest queued time; null when none.
  virtual const absolute_time* earliest_time() const { return nullptr; }
  // True when the message was delivered already and may still be retracted by the federate.
  virtual bool retract(const event_retraction_handle&) { return false; }
  virtual size_t length() const = 0;

  size_t max_length() const { return max_length_; }
  uint64_t enqueued() const { return enqueued_; }
  // Messages whose client threw ldm_decode_error at delivery.
  uint64_t undecodable() const { return undecodable_; }
  // Messages enqueued while the queue held more than the warning length.
  uint64_t over_mark() const { return over_mark_; }
  const std::string& name() const { return name_; }

protected:
  // Counts one enqueued message and notes the length it left.
  void note_enqueued(size_t length_now);
  // Calls the record's client; its decode failure is counted and goes no further.
  void deliver(queued_message& record);

  std::string name_;
  dstream& trace_;

private:
  size_t warning_length_;
  size_t max_length_ = 0;
  uint64_t enqueued_ = 0;
  uint64_t undecodable_ = 0;
  uint64_t over_mark_ = 0;
};

}  // namespace varnel
