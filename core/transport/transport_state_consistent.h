// The state-consistent transport makes every subscriber's copy of an owner's attributes converge
// to the owner's current state over an unreliable message service, without acknowledging each
// update. Per stream, an owner keeps a numbered list of the objects it sends there and announces
// the list numbers in a heartbeat; every update carries a trailer with the object's number and,
// for a partial update, the checksums of the values last sent. A receiver that notices a gap (a
// newer list, a newer object, a differing checksum) sends a NACK after a random delay, which
// another receiver's NACK for the same thing suppresses; the owner answers with the list or by
// asking its federate for the object's values (an immediate provide), which go out as a full
// update. Objects that leave an owner's list, and owners whose heartbeats stop, are dropped.
// Updates go best effort; interactions are refused. Built and owned by the transport manager.
//
// H is heartbeat_interval and T heartbeat_timeout, in milliseconds, of the transport's RID entry.
// NACKs wait up to H/2, answers H/10, drops H; an owner unheard for T/H + 3 heartbeats is gone.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "federate_identifier.h"
#include "federation/federate_join_client.h"
#include "mersenne_twister.h"
#include "stream_service.h"
#include "timers.h"
#include "transport/transport_service.h"

namespace varnel {

class transport_state_consistent : public transport_service,
                                   public brindle::periodic_realtime_timer,
                                   public federate_join_client {
public:
  // Shorter heartbeats would make the timer period (H/100) zero.
  static constexpr uint64_t min_heartbeat_ms = 100;
  static constexpr size_t max_remote_federates = 1024;
  static constexpr unsigned char update_priority = 0x20;
  static constexpr unsigned char list_priority = 0x20;
  static constexpr unsigned char heartbeat_priority = 0x20;
  // NACKs leave at once rather than wait for a bundle: the sooner the other receivers hear
  // one, the more of their own NACKs for the same gap it suppresses.
  static constexpr unsigned char nack_priority = 0x30 | 0x80;
  // A NACK is sent again, a round later, until what it asks for comes or this many went out:
  // the NACK or its answer may be lost as well.
  static constexpr uint32_t nack_attempts = 10;
  // Each list goes out this many times more, H/5 apart: lists span several packets.
  static constexpr uint32_t list_repeats = 2;

  struct counters {
    uint64_t heartbeats_sent = 0;
    uint64_t lists_sent = 0;
    uint64_t nacks_sent = 0;
    uint64_t list_nacks_sent = 0;
    uint64_t nacks_suppressed = 0;
    uint64_t list_nacks_suppressed = 0;
    uint64_t provides_requested = 0;
    uint64_t older_lists_ignored = 0;
    uint64_t objects_dropped = 0;
    uint64_t federates_timed_out = 0;
    uint64_t remote_table_full = 0;  // senders not recorded: the table holds max_remote_federates
    uint64_t listed_full = 0;        // objects not recorded: a sender's record holds sc_list::max_objects
    uint64_t unknown_messages = 0;
  };

  // Reads heartbeat_interval and heartbeat_timeout of the transport's RID entry; H below 100 ms
  // and T below H are raised, with a warning. Joins stream 2 for the protocol.
  transport_state_consistent(transport_manager& manager, uint32_t id, brindle::RID& rid, bool no_shared);
  ~transport_state_consistent() override;

  void send_update(brindle::ldm_buf* buffer, int stream, const object_entry& object,
                   const brindle::bit_vector& attributes, bool changed) override;
  void send_interaction(brindle::ldm_buf* buffer, int stream) override;
  void read_trailer(brindle::ldm_buf& buffer) override;
  int accept_update(const data_message& message, const object_entry& object, int stream) override;
  bool accept_interaction(const data_message& message, int stream) override;
  bool carries_interactions() const override { return false; }

  void attributes_lost(const object_entry& object, const brindle::bit_vector& attributes) override;
  void attributes_restreamed(const object_entry& object, const brindle::bit_vector& attributes, int stream) override;
  void ownership_changed(const object_entry& object, const brindle::bit_vector& attributes, bool gaining) override;
  void object_removed(const object_entry& object) override;

  // One protocol message, read position after the service's header; a malformed one throws
  // ldm_decode_error before anything changes.
  void receive_cp_message(int stream, brindle::ldm_buf& buffer);

  void federate_joined(federate_record*) override {}
  // The federation manager's word that a federate left: its objects go as on a timeout.
  void federate_gone(federate_record* federate) override;

  uint64_t get_heartbeat_ms() const { return heartbeat_ms_; }
  uint64_t get_timeout_ms() const { return timeout_ms_; }
  uint64_t get_timer_period() const { return heartbeat_ms_ / 100; }
  const counters& get_counters() const { return counters_; }
  size_t remote_federates() const { return remotes_.size(); }
  // The list number of this federate's list for the stream; 0 when it has none.
  uint32_t local_list_number(int stream) const;

protected:
  void on_timer() override;

private:
  // The stream-service client that hears the protocol on stream 2 and the listed streams.
  class consistency_protocol_service : public vessmark::stream_service_client {
  public:
    consistency_protocol_service(transport_state_consistent& owner, vessmark::stream_manager& streams,
                                 const std::string& name);
    ~consistency_protocol_service() override;
    void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
    void send(int stream, unsigned char priority, const std::function<void(brindle::ldm_buf&)>& write);

  private:
    transport_state_consistent& owner_;
    vessmark::stream_manager& streams_;
    vessmark::stream_service service_;
  };

  // Requests waiting for their due time; a second request for a key already queued is not
  // queued again.
  template <class Key, class Value>
  class delay_queue {
  public:
    bool add(const Key& key, uint64_t due, const Value& value) {
      return entries_.try_emplace(key, entry{due, value}).second;
    }
    bool remove(const Key& key) { return entries_.erase(key) > 0; }
    Value* find(const Key& key) {
      auto found = entries_.find(key);
      return found == entries_.end() ? nullptr : &found->second.value;
    }
    // A queued request waits until due at least; false when none is queued.
    bool postpone(const Key& key, uint64_t due) {
      auto found = entries_.find(key);
      if (found == entries_.end()) return false;
      found->second.due = std::max(found->second.due, due);
      return true;
    }
    template <class Predicate>
    void remove_if(Predicate predicate) {
      std::erase_if(entries_, [&](const auto& item) { return predicate(item.first); });
    }
    std::vector<std::pair<Key, Value>> take_due(uint64_t now);
    size_t size() const { return entries_.size(); }

  private:
    struct entry {
      uint64_t due;
      Value value;
    };
    std::map<Key, entry> entries_;
  };

  struct local_list {
    uint32_t number = 0;
    uint32_t heartbeat_number = 0;  // the number when the last heartbeat went
    bool sent = false;
    uint32_t sent_number = 0;  // of the last list sent
    std::set<uint32_t> objects;  // handles; their numbers are in object_numbers_
  };
  struct remote_list {
    bool received = false;  // a list message was taken
    uint32_t number = 0;
    std::map<std::string, uint32_t> listed;  // object name -> number, from the last list
  };
  struct remote_federate {
    uint32_t life = 0;  // heartbeat periods left
    std::map<int32_t, remote_list> lists;
    std::unordered_map<std::string, uint32_t> accepted;  // object name -> number last accepted
  };
  using owner_object = std::pair<brindle::federate_identifier, std::string>;
  using owner_stream = std::pair<brindle::federate_identifier, int32_t>;
  // What an object NACK waits for: a full update (a checksum differed, or the object was first
  // heard in part), or any update at least as new as the number a list or heartbeat showed.
  struct nack_target {
    int32_t stream;
    uint32_t number;
    bool needs_full;
    uint32_t attempts = nack_attempts;
  };
  struct list_nack_target {
    uint32_t number;
    uint32_t attempts = nack_attempts;
  };

  // Sending side.
  brindle::bit_vector local_attributes(const object_entry& object, int stream) const;
  void list_changed(int32_t stream);
  void leave_lists_unless_held(const object_entry& object);
  void send_heartbeat();
  void send_list(int32_t stream);
  void request_from_clientif(uint32_t object, int32_t stream);

  // Receiving side.
  remote_federate* remote(const brindle::federate_identifier& sender);
  bool subscribes(uint32_t object_class, int stream) const;
  void queue_nack(const brindle::federate_identifier& owner, const std::string& name, const nack_target& target);
  bool caught_up(const brindle::federate_identifier& owner, const std::string& name, uint32_t number) const;
  void queue_list_nack(const brindle::federate_identifier& owner, int32_t stream, uint32_t number);
  void queue_drop(const std::string& name);
  void receive_object_nack(const sc_object_nack& nack);
  void receive_list(int stream, const sc_list& list);
  void receive_list_nack(const sc_list_nack& nack);
  void receive_host_heartbeat(const sc_heartbeat& heartbeat);
  void recheck_listed(const brindle::federate_identifier& sender, int32_t stream, const remote_list& list);
  void send_object_nack(const owner_object& key, nack_target target);
  void send_list_nack(const owner_stream& key, list_nack_target target);
  // When a NACK goes again, or a NACK postponed by another federate's is due: a round is the
  // answer's delay and the time to hear it, H/10 + H/10, and a random wait of up to H/5.
  uint64_t next_round();
  bool listed_by_anyone(const std::string& name) const;
  void slay(const std::string& name);
  void timeout_remote_federates();
  void time_out(const brindle::federate_identifier& federate);
  void run_due(uint64_t now);

  uint64_t heartbeat_ms_;
  uint64_t timeout_ms_;
  uint32_t life_;
  uint64_t next_heartbeat_ = 0;
  brindle::federate_identifier self_;
  brindle::mersenne_twister random_;
  consistency_protocol_service protocol_;
  std::optional<sc_update_trailer> trailer_;  // of the update being decoded

  std::map<int32_t, local_list> local_lists_;
  std::unordered_map<uint32_t, uint32_t> object_numbers_;  // local object handle -> number
  std::map<brindle::federate_identifier, remote_federate> remotes_;

  delay_queue<owner_object, nack_target> nacks_;
  delay_queue<owner_stream, list_nack_target> list_nacks_;
  delay_queue<std::pair<uint32_t, int32_t>, bool> responses_;  // (object handle, stream)
  delay_queue<int32_t, uint32_t> list_responses_;  // the repeats still to follow
  delay_queue<std::string, bool> drops_;
  counters counters_;
};

}  // namespace varnel
