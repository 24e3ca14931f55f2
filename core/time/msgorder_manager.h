// The message ordering layer: every message a msgorder_client sends goes out through one of the
// three message services owned here ("be_message", "os_message", "rel_message") behind an
// ordering header (ordering_messages.h), and every message received is queued by that header:
// in the timestamp-order queue when it carries a time stamp and this federate is constrained,
// otherwise in the receive-order queue. The time manager sets the regulating and constrained
// flags and releases the queues; the retraction manager retracts through here. Built at join,
// torn down at resign (joined_managers).
//
// Only reliable time-stamped messages can be fenced: the time manager learns from
// next_reliable_sequence and reliable_delivered_up_to whether a receiver has every message a
// regulating federate sent before its time state. Best-effort and oneshot time-stamped messages
// carry no such promise: one that is lost is simply missing, and one that arrives after the
// receiver released past its time is counted as late.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "federate_identifier.h"
#include "messages/message_service.h"
#include "time/msgorder_client.h"

namespace brindle {
class ldm_buf;
}  // namespace brindle

namespace varnel {

class FED;
class absolute_time;
class dstream;
class local_distribution_manager;
class message_best_effort;
class message_oneshot;
class message_reliable;
class receive_order_queue;
class timestamp_order_queue;

// The delivery order a FED order type stands for: timestamp for the model's "timestamp" order,
// receive for every other.
message_order message_order_of(const FED& fed, uint32_t order);

// What the three message services of the ordering layer sent and delivered, and what the layer
// counted against them: the figures a soak run or a monitor reports per federate.
struct ordering_message_counts {
  uint64_t best_effort_sent = 0, best_effort_received = 0;
  uint64_t oneshot_sent = 0, oneshot_received = 0;
  uint64_t reliable_sent = 0, reliable_received = 0;
  uint64_t reliable_given_up = 0;  // sequences skipped after the last NACK: reliable messages lost
  uint64_t late = 0;               // time-stamped messages that arrived past the released time
};

class msgorder_manager : public message_service_client {
public:
  static constexpr size_t max_clients = 256;  // the header's index is one byte

  // Messages refused on receipt, by reason; none is thrown out of receive.
  struct receive_counters {
    uint64_t received = 0;        // handed to a queue
    uint64_t truncated = 0;       // the header ran past the message
    uint64_t bad_field = 0;       // an unknown order or service, reserved bits set
    uint64_t bad_time = 0;        // time stamp missing, of a bad length, undecodable or NaN
    uint64_t unknown_client = 0;  // no client registered at the header's index
  };

  explicit msgorder_manager(local_distribution_manager& ldm);
  ~msgorder_manager() override;
  msgorder_manager(const msgorder_manager&) = delete;
  msgorder_manager& operator=(const msgorder_manager&) = delete;

  // Gives the client the next index; a client registered twice, or more clients than the
  // header can name, is refused with InternalError.
  void register_client(msgorder_client& client);

  // A fresh buffer of the chosen service with the ordering header written, positioned for the
  // payload; the caller sends it with send and releases it. TIMESTAMP_ORDER only when a time is
  // given, the order asked is timestamp and this federate is regulating; otherwise
  // RECEIVE_ORDER without time or handle, and handle comes back zero. For TIMESTAMP_ORDER a
  // handle whose serial is 0 gets the federate's next serial (one counter per federate, 0
  // skipped); a handle from an earlier get_buf (the next group of one update) is used again.
  brindle::ldm_buf* get_buf(msgorder_client& client, ordering_service service, message_order order,
                            const absolute_time* time, event_retraction_handle& handle);
  void send(ordering_service service, int stream, unsigned char priority, brindle::ldm_buf* buffer);

  void set_regulating(bool on) { regulating_ = on; }
  void set_constrained(bool on) { constrained_ = on; }
  bool is_regulating() const { return regulating_; }
  bool is_constrained() const { return constrained_; }
  // Off holds receive-order messages until deliver_receive_order.
  void set_deliver_at_once(bool on);

  // The earliest pending time-stamped message's time; false when none is pending.
  bool earliest_time(absolute_time& out) const;
  // Delivers the pending time-stamped messages up to and including up_to; null flushes them
  // all and keeps their handles and times (not their buffers) for retraction until a release
  // passes them.
  void release(const absolute_time* up_to);
  void deliver_receive_order();
  // True when the message was already delivered (flushed and kept): the federate must be asked
  // to retract it. A pending message is removed silently.
  bool retract(const event_retraction_handle& handle);

  size_t receive_order_length() const;
  size_t timestamp_order_length() const;
  uint64_t late_messages() const;
  // Messages whose client threw ldm_decode_error at delivery, both queues.
  uint64_t undecodable_messages() const;
  // Messages enqueued while their queue was above the RID's ordering.queue_warning_length.
  uint64_t messages_over_warning_length() const;
  const receive_counters& counters() const { return counters_; }
  ordering_message_counts message_counts() const;

  // Fencing the time state. The streams that carried this federate's time-stamped sends since
  // the last call, in ascending order (the time manager flushes them before its state goes).
  std::vector<int> take_timestamped_streams();
  // The sequence number "rel_message" gives its next message, and its identifier as receivers
  // know it.
  uint32_t next_reliable_sequence() const;
  const brindle::federate_identifier& reliable_identifier() const;
  // True once "rel_message" has delivered or given up every sequence of sender below
  // next_sequence; true too when next_sequence is 0 (the sender sent nothing).
  bool reliable_delivered_up_to(const brindle::federate_identifier& sender, uint32_t next_sequence) const;
  // A time state told where sender's "rel_message" sequence stands: what came before and has
  // not arrived is asked for, even when it was the sender's first message.
  void expect_reliable(const brindle::federate_identifier& sender, uint32_t next_sequence);
  // The federation gave sender up: its "rel_message" messages still waiting behind a gap are
  // dropped, since they would arrive in the past of every constrained federate.
  void forget_reliable(const brindle::federate_identifier& sender);

  // From the services. Never throws: a bad header is dropped and counted.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

private:
  message_service& service_of(ordering_service service);

  local_distribution_manager& ldm_;
  dstream* trace_;
  std::unique_ptr<receive_order_queue> ro_queue_;
  std::unique_ptr<timestamp_order_queue> tso_queue_;
  std::unique_ptr<message_best_effort> best_effort_;
  std::unique_ptr<message_oneshot> oneshot_;
  std::unique_ptr<message_reliable> reliable_;
  std::vector<msgorder_client*> clients_;  // by index
  bool regulating_ = false;
  bool constrained_ = false;
  uint32_t last_serial_ = 0;
  // Where each service's get_buf put the ordering header: a service's own header has a fixed
  // length, so send can read back whether a buffer is time stamped.
  std::array<uint32_t, ordering_service_count> header_at_{};
  std::set<int> timestamped_streams_;
  receive_counters counters_;
};

}  // namespace varnel
