// The synchronization points of one joined federate. There is no server: the federate that
// registers a point keeps its book (`requesting`), every federate the point concerns keeps it in
// `responding` from the announcement to the synchronized message, and all traffic goes to every
// federate on stream 2. A point holds when every required member has reported it achieved; the
// required members are the point's own set, or every federate the federation manager knows. A
// federate that goes is no longer waited for, and the points of a registrar that goes are
// forgotten, so no label stays blocked by a dead federate.
//
// Between federates that have just met, the reliable service can lose a first message for good
// (a receiver starts a sender's sequence where it first hears it). So while a point is pending
// its registrar repeats the announcement, and a member that achieved it repeats its report, once
// a second on a best-effort service; a registrar answers a report of a point it completed with
// the synchronized message again, and every federate remembers the last completed points so a
// late repeat does not announce one again.
//
// Two registrars may register one label at the same moment: nothing decides between them, both
// succeed, and achieved(label) reports every point of that label this federate has not achieved.
//
// Built at join after the retraction manager and torn down at resign after the order manager
// (joined_managers). Wire form: syncpoint_messages.h.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>

#include "federation/federate_join_client.h"
#include "federation/syncpoint_messages.h"
#include "messages/message_service.h"
#include "recent_set.h"
#include "timers.h"

namespace varnel {

class federate_handle_set;
class local_distribution_manager;
class message_best_effort;
class message_reliable;

class syncpoint_manager : public message_service_client, public federate_join_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x20;
  static constexpr uint64_t repeat_period_ms = 1000;
  // Points repeated per period at most, taken in turn, so that a full table cannot flood.
  static constexpr size_t repeats_per_period = 256;
  // Points announced by other federates kept at most; further announcements are dropped.
  static constexpr size_t max_responding = 10000;
  // Completed points remembered against late repeats.
  static constexpr size_t completed_memory = 1024;
  // The debugging event that, while on, achieves every announced point at once.
  static constexpr const char* no_syncpoints = "no_syncpoints";

  struct counters {
    uint64_t sent = 0;      // reliable messages
    uint64_t repeated = 0;  // best-effort repeats
    uint64_t received = 0;
    uint64_t refused_full = 0;     // announcements dropped for max_responding
    uint64_t refused_reports = 0;  // reports dropped for the member bound of one point
  };

  struct record {
    std::string label;
    user_tag tag;
    std::optional<federate_identifier_set> members;  // none: every federate of the federation
    federate_identifier_set reported;                // achieved reports; kept by the registrar
    bool achieved = false;                           // this federate reported it
  };
  using point_table = std::map<syncpoint_key, record>;

  // Joins stream 2 and registers with the federation manager for as long as it lives.
  explicit syncpoint_manager(local_distribution_manager& ldm);
  ~syncpoint_manager() override;
  syncpoint_manager(const syncpoint_manager&) = delete;
  syncpoint_manager& operator=(const syncpoint_manager&) = delete;

  // A label already registered or announced here gives the registration-failed callback. An
  // unknown handle in federates throws FederateNotExecutionMember; an empty set (or none) makes
  // the point one of the whole federation.
  void register_point(const char* label, const user_tag& tag, const federate_handle_set* federates);
  // Reports every point of this label that is announced here and not yet achieved; none throws
  // SynchronizationPointLabelNotAnnounced. Does nothing while no_syncpoints is on.
  void achieved(const char* label);

  // The console's commands: completes the point of this label (registered here first, else
  // announced here) for everyone; prints both tables.
  void force(const char* label);
  void list(std::ostream& out) const;

  // From both services; a malformed message throws ldm_decode_error, which the service counts.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  void federate_joined(federate_record* federate) override;
  void federate_gone(federate_record* federate) override;

  const point_table& requesting() const { return requesting_; }
  const point_table& responding() const { return responding_; }
  const counters& get_counters() const { return counters_; }

private:
  class repeat_timer : public brindle::periodic_realtime_timer {
  public:
    explicit repeat_timer(syncpoint_manager& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.repeat(); }

  private:
    syncpoint_manager& owner_;
  };

  void apply(const syncpoint_message& message);
  void announced(const syncpoint_message& message);
  void reported(const syncpoint_message& message);
  void synchronized(const syncpoint_message& message);
  // Sends on the reliable service and applies the message here at once.
  void broadcast(syncpoint_kind kind, const syncpoint_key& point, const record& entry);
  // Reliably, or as a repeat on the best-effort service.
  void send(const syncpoint_message& message, bool repeat);
  void report(const syncpoint_key& point, record& entry);
  // The point of this label registered here, else the one announced here; null when neither.
  const point_table::value_type* find_label(const std::string& label) const;
  // True when every required member other than excluded has reported.
  bool holds(const record& entry, const brindle::federate_identifier* excluded) const;
  void repeat();
  syncpoint_message message_for(syncpoint_kind kind, const syncpoint_key& point, const record& entry) const;
  void trace(const char* what, const syncpoint_message& message);
  void list_point(std::ostream& out, const syncpoint_key& point, const record& entry) const;

  local_distribution_manager& ldm_;
  const brindle::federate_identifier self_;
  dstream& trace_;
  std::unique_ptr<message_reliable> service_;
  std::unique_ptr<message_best_effort> repeats_;
  point_table requesting_;
  point_table responding_;
  brindle::recent_set<syncpoint_key> completed_{completed_memory};
  std::optional<syncpoint_key> requesting_cursor_;  // the last point of each table repeated
  std::optional<syncpoint_key> responding_cursor_;
  counters counters_;
  repeat_timer timer_{*this};
};

}  // namespace varnel
