// The oneshot message service: every message goes out three times, a second apart, and each
// receiver delivers it once, remembering what it delivered for about 30 seconds. Cheap insurance
// against a lost packet without any acknowledgement traffic. Owned by its user (the message
// ordering manager makes one named "os_message").
//
// Wire form (written by get_buf, before the user's payload):
//   sender     federate_identifier (two words)
//   sequence   one word, counting from 0 per service instance
#pragma once

#include <cstdint>
#include <deque>
#include <unordered_set>

#include "federate_identifier.h"
#include "messages/message_service.h"
#include "stream_service.h"
#include "timers.h"

namespace brindle {
class scheduler;
}  // namespace brindle
namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

class message_oneshot : public message_service, public vessmark::stream_service_client, public brindle::periodic_realtime_timer {
public:
  static constexpr uint32_t sends_per_message = 3;
  static constexpr uint64_t resend_interval_ms = 1000;
  static constexpr uint64_t timer_period_ms = 100;
  // Timer runs a delivered {sender, sequence} is remembered: about 30 seconds.
  static constexpr uint64_t memory_ticks = 303;
  // At most this many pairs are remembered; beyond it the oldest is forgotten early, so a flood
  // of distinct pairs costs a duplicate at worst, never unbounded memory.
  static constexpr size_t max_remembered = 1u << 16;

  struct counters {
    uint64_t messages_sent = 0;
    uint64_t packets_sent = 0;
    uint64_t messages_received = 0;
    uint64_t packets_received = 0;
    uint64_t rejected = 0;  // a sender identifier no federate can have
  };

  message_oneshot(vessmark::stream_manager* manager, message_service_client* client, const char* name, dstream& trace,
                  brindle::scheduler& on);
  ~message_oneshot() override;

  brindle::ldm_buf* get_buf() override;
  void send(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  using message_service::print;
  // "Msgs Sent: n  Pkts Sent: n" and "Msgs Rcvd: n  Pkts Rcvd: n"
  void print(std::ostream& out) const override;

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  const counters& get_counters() const { return counters_; }
  const brindle::federate_identifier& get_identifier() const { return identifier_; }
  size_t remembered() const { return remembered_.size(); }

protected:
  void on_timer() override;

private:
  struct queued_send {
    brindle::ldm_buf* buffer;  // one reference held
    int stream;
    unsigned char priority;
    uint32_t sends_left;
    uint64_t due;
  };
  struct delivered {
    uint64_t sender;  // federate_identifier packed: host, then process and index
    uint32_t sequence;
    bool operator==(const delivered&) const = default;
  };
  // The pair hash of the wire protocol's bookkeeping: the identifier's hash XOR the sequence.
  struct delivered_hash {
    size_t operator()(const delivered& d) const;
  };

  void resend_due(uint64_t now);
  void forget_expired();
  void forget_oldest();

  vessmark::stream_service service_;
  brindle::scheduler& scheduler_;
  brindle::federate_identifier identifier_;
  uint32_t next_sequence_ = 0;
  uint64_t tick_ = 0;
  std::deque<queued_send> resends_;  // due times never decrease along the queue
  std::unordered_set<delivered, delivered_hash> remembered_;
  std::deque<std::pair<uint64_t, delivered>> expiries_;  // expiry ticks never decrease
  counters counters_;
};

}  // namespace varnel
