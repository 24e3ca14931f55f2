// The reliable message service: a negative-acknowledgement multicast protocol. Every message
// carries the sender's sequence number; receivers deliver each sender's messages once and in
// order, detect gaps from sequence notices and pings, ask for what they miss with randomised
// NACKs and give a sequence up after a bounded number of attempts or when the sender says it can
// no longer resend it (sorry). A resend repeats the sequence notice on the control stream, which
// every member joins, so that a receiver that has not joined the data's stream and lost the
// first notice still learns to pass the place over. Receivers report what they delivered in
// periodic ACKs, and the sender releases a message some time after every federate it hears from
// has it. Owned by its user ("rel_message", "retraction", "syncpoint_manager",
// "remote_terminal").
//
// Its wire messages and their formats are in reliable_messages.h.
//
// What other federates can make a receiver keep is bounded (reliable_settings): each sender's
// out-of-order store and its NACKs cover at most `window` sequences past the last one
// delivered; the stored bytes of all senders, the pending NACKs, the queued resends, the senders
// and the acknowledgers each have a ceiling. What is refused for room is counted and recovered
// later by NACK, since its sender keeps it until everyone has it.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "federate_identifier.h"
#include "mersenne_twister.h"
#include "messages/message_service.h"
#include "messages/reliable_messages.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "timers.h"

namespace brindle {
class RID;
class scheduler;
}  // namespace brindle

namespace varnel {

// The protocol's constants (times in milliseconds) and the receiver's bounds. The defaults are
// the protocol's; tests may scale the times.
struct reliable_settings {
  uint64_t timer_period = 100;
  uint64_t ack_interval = 5000;
  uint32_t ack_repetitions = 3;          // ACK rounds that report a sender after a delivery
  uint64_t reap_interval = 5000;         // release checks
  uint64_t acknowledger_timeout = 60000;
  uint64_t release_delay = 10000;        // a message acknowledged by all is kept this long
  uint32_t nack_attempts = 25;
  uint64_t nack_spread = 1000;           // random part of each NACK delay
  uint64_t nack_base_delay = 2000;       // fixed part of the delay between repeated NACKs
  uint64_t resend_delay = 500;
  uint64_t ping_interval = 5000;
  uint32_t pings_after_send = 10;

  uint32_t window = 4096;
  uint64_t max_stored_bytes = uint64_t{64} << 20;
  size_t max_pending_nacks = 1u << 16;
  size_t max_queued_resends = 1u << 16;
  size_t max_senders = 1024;
  size_t max_acknowledgers = 1024;

  // Every time multiplied by factor, each at least 1 ms; the bounds unchanged.
  reliable_settings scaled(double factor) const;
};

// The settings of a federate's services: the protocol's, except that an acknowledger is forgotten
// once silent for the federation's federate_gone_timeout when that is shorter. A federate the
// federation has given up acknowledges nothing more, and waiting for it keeps every message sent
// meanwhile.
reliable_settings federation_reliable_settings(brindle::RID& rid);

class message_reliable : public message_service,
                         public vessmark::stream_service_client,
                         public vessmark::stream_join_client,
                         public brindle::periodic_realtime_timer {
public:
  enum message_type : uint32_t {
    data = reliable_data_header::type,
    sequence_notice = reliable_notice_message::type,
    nack = reliable_nack_message::type,
    ack = reliable_ack_message::type,
    ping = reliable_ping_message::type,
    sorry = reliable_sorry_message::type,
  };
  static constexpr int control_stream = 2;
  static constexpr unsigned char notice_priority = 16, sorry_priority = 32, control_priority = 48;

  struct counters {
    uint64_t messages_sent = 0;
    uint64_t messages_received = 0;  // delivered with a payload
    uint64_t data_sent = 0;          // data packages, resends included
    uint64_t data_received = 0;
    uint64_t nacks_sent = 0;
    uint64_t nacks_received = 0;
    uint64_t acks_sent = 0;
    uint64_t acks_received = 0;
    uint64_t pings_sent = 0;
    uint64_t sorries_sent = 0;
    uint64_t sorries_received = 0;
    uint64_t gaps_given_up = 0;      // sequences skipped after the last NACK attempt
    uint64_t rejected = 0;           // impossible identifiers or counts, NACKs for unsent sequences
    uint64_t over_limit = 0;         // refused for room: window, stores, tables
    uint64_t client_undecodable = 0; // payloads the client could not decode
    uint64_t forgotten = 0;          // messages dropped with a sender the federation gave up
  };

  // Joins the control stream for as long as the service lives.
  message_reliable(vessmark::stream_manager* manager, message_service_client* client, const char* name, dstream& trace,
                   brindle::scheduler& on, const reliable_settings& settings = reliable_settings());
  ~message_reliable() override;

  brindle::ldm_buf* get_buf() override;
  void send(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  using message_service::print;
  void print(std::ostream& out) const override;

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  void streams_left(const brindle::sparse_bit_vector& streams) override;

  // What a ping says, learned another way (a time state carries its sender's next sequence):
  // sender's messages before next_sequence are owed to this receiver. A sender whose first
  // messages are all lost is otherwise first heard after them, and they are never asked for.
  void expect_next(const brindle::federate_identifier& sender, uint32_t next_sequence);
  // The federation gave sender up: what waits from it behind a gap is dropped (counted), its NACKs
  // end, and it is heard afresh should it speak again. Nothing it sent can complete any more.
  void forget_sender(const brindle::federate_identifier& sender);

  const counters& get_counters() const { return counters_; }
  const brindle::federate_identifier& get_identifier() const { return identifier_; }
  const reliable_settings& get_settings() const { return settings_; }
  // The sequence the next message sent gets; the first message is 0.
  uint32_t next_sequence() const { return next_sequence_; }
  // The last sequence delivered in order from sender; none before it is heard.
  std::optional<uint32_t> last_delivered(const brindle::federate_identifier& sender) const;
  size_t pending_nacks() const { return nacks_.size(); }
  size_t stored_ahead() const;
  size_t sent_store_size() const { return sent_.size(); }
  size_t acknowledger_count() const { return acknowledgers_.size(); }
  size_t sender_count() const { return senders_.size(); }
  uint64_t stored_bytes() const { return stored_bytes_; }
  size_t queued_resends() const { return queued_resends_.size(); }
  // How far past its sender's last delivered sequence the furthest stored or NACKed sequence
  // lies (the window bounds it); a NACK whose sender is no longer known counts as unbounded.
  uint32_t widest_span() const;

protected:
  void on_timer() override;

private:
  struct sent_message {
    uint32_t sequence;
    int stream;
    brindle::ldm_buf* buffer;  // one reference held
    unsigned char priority;
    uint64_t release_time;  // 0 while not marked
  };
  struct acknowledger {
    brindle::federate_identifier identifier;
    bool named_us = false;  // its ACKs so far never reported this sender
    uint32_t acknowledged = 0;
    uint64_t last_heard = 0;
  };
  struct stored_message {
    brindle::ldm_buf* buffer;  // one reference held; null for a place that delivers nothing
    int stream;
    unsigned char priority;
    uint32_t read_position;
    uint32_t bytes;
  };
  struct sender_state {
    brindle::federate_identifier identifier;
    uint32_t last;       // last sequence delivered in order
    uint32_t announced;  // every sequence before this one is known to exist
    uint64_t last_heard;
    size_t pending = 0;  // NACKs pending for this sender
    std::map<uint32_t, stored_message> ahead;
  };
  struct pending_nack {
    uint64_t due;
    bool suppressed;
    uint32_t attempts_left;
  };
  using nack_key = std::pair<uint64_t, uint32_t>;  // packed sender, sequence

  // Sending side.
  template <typename Message>
  void send_control(unsigned char priority, const Message& message);
  void send_pings(uint64_t now);
  void send_resends(uint64_t now);
  void mark_for_release(uint64_t now);
  void release_marked(uint64_t now);
  sent_message* find_sent(uint32_t sequence);
  void receive_nack(const reliable_nack_message& message);
  void receive_ack(const reliable_ack_message& message);

  // Receiving side.
  void receive_data(const reliable_data_header& header, int stream, unsigned char priority, brindle::ldm_buf* buffer);
  void receive_notice(const reliable_notice_message& message, unsigned char priority);
  void receive_ping(const reliable_ping_message& message);
  void receive_sorry(const reliable_sorry_message& message, int stream, unsigned char priority);
  bool from_other(const brindle::federate_identifier& id);
  sender_state* find_sender(uint64_t key);
  sender_state* sender_for(const brindle::federate_identifier& id, uint32_t first_sequence, uint64_t now);
  bool evict_idle_sender(uint64_t now);
  void arrival(sender_state& sender, uint32_t sequence, int stream, unsigned char priority, brindle::ldm_buf* buffer);
  void store_ahead(sender_state& sender, uint32_t sequence, int stream, unsigned char priority, brindle::ldm_buf* buffer);
  void deliver_in_order(sender_state& sender);
  void deliver(int stream, unsigned char priority, brindle::ldm_buf* buffer, uint32_t read_position);
  void note_announced(sender_state& sender, uint32_t bound);
  void detect_gaps(sender_state& sender, uint32_t bound);
  void add_nack(sender_state& sender, uint32_t sequence, uint64_t due);
  void remove_nack(sender_state& sender, uint32_t sequence);
  void run_nacks(uint64_t now);
  void send_acks(uint64_t now);
  void sweep_gaps();
  uint64_t random_delay();

  reliable_settings settings_;
  vessmark::stream_manager* manager_;
  vessmark::stream_service service_;
  brindle::scheduler& scheduler_;
  brindle::federate_identifier identifier_;
  uint64_t own_key_;
  brindle::mersenne_twister random_;

  uint32_t next_sequence_ = 0;
  uint32_t header_slot_ = 0;  // where get_buf wrote the data header; send() rewrites it
  std::deque<sent_message> sent_;  // consecutive sequences, oldest first
  std::unordered_map<uint64_t, acknowledger> acknowledgers_;
  std::multimap<uint64_t, uint32_t> resends_;  // due -> sequence
  std::unordered_set<uint32_t> queued_resends_;

  std::unordered_map<uint64_t, std::unique_ptr<sender_state>> senders_;
  std::map<nack_key, pending_nack> nacks_;
  std::set<std::tuple<uint64_t, uint64_t, uint32_t>> nack_due_;  // due, sender, sequence
  std::map<uint64_t, uint32_t> ack_list_;                        // sender -> rounds left
  uint64_t stored_bytes_ = 0;

  uint64_t last_ping_ = 0;
  uint32_t pings_left_ = 0;
  uint64_t last_ack_ = 0;
  uint64_t last_reap_ = 0;
  counters counters_;
};

}  // namespace varnel
