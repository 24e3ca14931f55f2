// Ownership fail-over for one transport with implicit transfer: when a remote object of the
// transport falls silent (its owner is gone), the federates that publish its attributes claim it
// after a random delay, and after a further delay the claimer with the highest (ticket, federate
// number, identifier) takes the silent attributes over and is asked to provide fresh values. An
// owner that hears a claim says it is alive; any update of the object cancels a pending claim. A
// federate that resigns gives its attributes of the transport away, which starts the claims at
// once. Claims, takeovers and give-aways travel on a reliable service of their own, so that a lost
// takeover cannot leave two owners.
//
// Owned by its transport service (made only with implicit transfer, and active only while the
// transport's failure_transfer is on). The windows are the RID's ownership.failover_claim_window,
// ownership.takeover_delay and ownership.takeover_spread (milliseconds; 30000, 10000, 10000).
// Wire form: failover_message in ownership_messages.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "bit_vector.h"
#include "federate_identifier.h"
#include "mersenne_twister.h"
#include "messages/message_service.h"
#include "objects/ownership_messages.h"
#include "timers.h"

namespace varnel {

class ddb;
class local_distribution_manager;
class message_reliable;
struct object_entry;

class failure_ownership : public message_service_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x30, give_away_priority = 0x20;
  static constexpr uint64_t tick_ms = 100;
  // Every this many ticks the federate checks that its own clock ran; a federate that stalled
  // longer than stall_ms starts no takeover until a check finds it running again.
  static constexpr uint32_t health_ticks = 10;
  static constexpr uint64_t stall_ms = 10000;

  struct counters {
    uint64_t claims = 0;
    uint64_t takeovers = 0;
    uint64_t released = 0;  // attributes given up to another federate's takeover
  };

  failure_ownership(local_distribution_manager& ldm, ddb& database, uint32_t transport, const std::string& name,
                    bool enabled);
  ~failure_ownership() override;
  failure_ownership(const failure_ownership&) = delete;
  failure_ownership& operator=(const failure_ownership&) = delete;

  // The transport found the remote object silent.
  void object_silent(const object_entry& object);
  // An update of the object arrived on the transport: its owner lives.
  void object_heard(uint32_t object);
  // Resigning: gives away every owned attribute of the transport.
  void give_away();

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  const counters& get_counters() const { return counters_; }

private:
  class tick_timer : public brindle::periodic_realtime_timer {
  public:
    explicit tick_timer(failure_ownership& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.tick(); }

  private:
    failure_ownership& owner_;
  };

  // A claim waiting to be sent, or a takeover waiting after this federate's claim.
  struct pending_step {
    uint64_t due_tick = 0;
    bool takeover = false;
    failover_message claim;
  };

  void tick();
  void schedule_claim(uint32_t object);
  void send_claim(uint32_t object, const object_entry& entry);
  void take_over(uint32_t object, const object_entry& entry, const failover_message& claim);
  void claimed(const failover_message& message, const object_entry& object);
  void taken_over(const failover_message& message, const object_entry& object);
  void send(failover_message message, unsigned char priority);
  // The object's attributes of this transport: owned here, or owned elsewhere and published here.
  brindle::bit_vector attributes(const object_entry& object, bool local) const;
  uint64_t ticks_for(uint64_t ms) const { return (ms + tick_ms - 1) / tick_ms; }

  local_distribution_manager& ldm_;
  ddb& ddb_;
  const uint32_t transport_;
  const std::string name_;
  const bool enabled_;
  const brindle::federate_identifier self_;
  dstream& trace_;
  std::unique_ptr<message_reliable> service_;
  brindle::mersenne_twister random_;
  uint64_t claim_window_ms_, takeover_delay_ms_, takeover_spread_ms_;
  uint64_t ticks_ = 0;
  uint64_t last_check_ms_ = 0;
  bool healthy_ = true;
  std::map<uint32_t, pending_step> pending_;        // by object
  std::map<uint32_t, failover_message> taken_;      // this federate's takeovers, by object
  counters counters_;
  tick_timer timer_{*this};
};

}  // namespace varnel
