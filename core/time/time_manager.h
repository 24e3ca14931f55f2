// HLA 1.3 time management for one joined federate: regulation, constraint, lookahead, the five
// advance requests and their grants, and the lower bound on time stamps (LBTS) computed from the
// time states every regulating federate broadcasts. It drives the ordering manager, which holds
// the time-stamped messages until a grant or the LBTS releases them. Owned by the distribution
// manager from join to resign.
//
// A time state must not overtake the time-stamped messages it covers. Before sending one, the
// manager flushes every stream that carried its time-stamped sends; the state names the sender's
// next reliable sequence, and a receiver counts a state in its LBTS only once its reliable
// service has delivered everything before it. Best-effort and one-shot time-stamped messages
// cannot be fenced this way: one that arrives after the LBTS passed its time is delivered late.
//
// A regulating federate that stops sending states holds the others until the federation manager
// reports it gone; ten seconds of silence only print a warning, since a busy federate is not a
// dead one.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <ostream>
#include <string>

#include "federate_identifier.h"
#include "federation/federate_join_client.h"
#include "stream_service.h"
#include "time/time_state_message.h"
#include "timers.h"

namespace varnel {

class local_distribution_manager;
class msgorder_manager;
class dstream;

class time_manager : public vessmark::stream_service_client,
                     public brindle::everytick_realtime_timer,
                     public federate_join_client {
public:
  static constexpr uint64_t resend_interval_ms = 1000;
  static constexpr uint64_t silence_warning_ms = 10000;
  static constexpr uint64_t timer_period_ms = 10;
  static constexpr int state_stream = 2;
  static constexpr unsigned char state_priority = 176;

  time_manager(local_distribution_manager& ldm, msgorder_manager& order);
  // A regulating or constrained federate leaves with a last state that has neither flag, so the
  // others need not wait for it to fall silent.
  ~time_manager() override;

  void enable_time_regulation(const absolute_time& time, const relative_time& lookahead);
  void disable_time_regulation();
  void enable_time_constrained();
  void disable_time_constrained();
  void enable_asynchronous_delivery();
  void disable_asynchronous_delivery();
  void time_advance_request(const absolute_time& time) { request(advance_type::tar, time); }
  void time_advance_request_available(const absolute_time& time) { request(advance_type::tara, time); }
  void next_event_request(const absolute_time& time) { request(advance_type::ner, time); }
  void next_event_request_available(const absolute_time& time) { request(advance_type::nera, time); }
  void flush_queue_request(const absolute_time& time) { request(advance_type::fqr, time); }
  void modify_lookahead(const relative_time& lookahead);
  void query_lookahead(relative_time& out) const { out.assign(*lookahead_); }
  void query_federate_time(absolute_time& out) const { out.assign(*time_); }
  void query_lbts(absolute_time& out);
  // The smaller of the LBTS and the earliest queued time stamp.
  void query_min_next_event_time(absolute_time& out);
  // Refuses a time stamp that an outgoing message of call may not carry.
  void check_time(const char* call, const absolute_time* time);
  void set_slowpoke_threshold(uint32_t seconds) { slowpoke_ms_ = uint64_t{seconds} * 1000; }
  void print(std::ostream& out) const;

  bool is_regulating() const { return regulating_; }
  bool is_constrained() const { return constrained_; }
  bool is_advancing() const { return advancing_; }
  // Time states received that could not be decoded.
  uint64_t bad_states() const { return bad_states_; }
  size_t remote_count() const { return remotes_.size(); }

  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  void federate_joined(federate_record* federate) override;
  void federate_gone(federate_record* federate) override;

protected:
  void on_timer() override;

private:
  // What this federate knows of a regulating or constrained remote federate.
  struct remote_state {
    time_state_message state;                      // the last one counted
    std::unique_ptr<time_state_message> held;      // waiting for its reliable fence
    std::unique_ptr<absolute_time> time_plus_lookahead;
    uint64_t first_heard = 0;
    uint64_t last_heard = 0;
    bool provisional = false;  // not yet known to the federation manager
    bool warned_silent = false;
  };

  void request(advance_type type, const absolute_time& time);
  void apply(const time_state_message& state);
  void apply_held_states();
  bool fence_passed(const time_state_message& state) const;
  void remove_remote(const brindle::federate_identifier& federate);
  const absolute_time& lbts();
  void check_grant();
  void grant(const absolute_time& at);
  void grant_no_earlier_than_now(const absolute_time& at);
  void reduce_lookahead(const absolute_time& at);
  void try_enable_regulation();
  void try_enable_constrained();
  void next_event_target(absolute_time& out);
  void set_reported_request();
  void raise_report_to_lbts();
  void send_state();
  void update_delivery_mode();
  void warn_about_slowpokes(uint64_t now);
  void drop_stale_provisionals(uint64_t now);
  bool awaiting_states();
  std::string describe(const remote_state& remote) const;
  uint64_t now() const;
  std::unique_ptr<absolute_time> make_time() const;
  std::unique_ptr<relative_time> make_interval() const;

  local_distribution_manager& ldm_;
  msgorder_manager& order_;
  vessmark::stream_service service_;
  dstream& trace_;

  bool regulating_ = false;
  bool constrained_ = false;
  bool constrained_pending_ = false;
  // A regulation enable waiting for the others' states: the time and lookahead asked for.
  std::unique_ptr<absolute_time> regulation_time_;
  std::unique_ptr<relative_time> regulation_lookahead_;
  bool asynchronous_ = false;
  std::unique_ptr<absolute_time> time_;
  std::unique_ptr<relative_time> lookahead_;
  std::unique_ptr<relative_time> reduction_;  // a pending lookahead reduction's target
  std::unique_ptr<absolute_time> time_plus_lookahead_;
  advance_type last_advance_ = advance_type::none;

  bool advancing_ = false;
  advance_type pending_ = advance_type::none;
  std::unique_ptr<absolute_time> requested_;
  std::unique_ptr<absolute_time> reported_;  // the request time the own state reports
  std::unique_ptr<relative_time> reported_lookahead_;  // the lookahead of the last state sent

  std::unique_ptr<absolute_time> lbts_;
  bool lbts_valid_ = false;
  bool lbts_open_ = false;

  const uint64_t gone_ms_;  // the federation manager's gone timeout: how long a provisional record lasts
  // The federates known at join whose time state has not been heard yet: until each has spoken,
  // or until await_until_, a regulator among them may be unknown here, so nothing is granted.
  std::set<brindle::federate_identifier> awaited_;
  uint64_t await_until_ = 0;
  std::map<brindle::federate_identifier, remote_state> remotes_;
  uint64_t last_sent_ = 0;
  uint64_t bad_states_ = 0;

  uint64_t advances_ = 0;
  uint64_t waited_ms_ = 0;
  uint64_t wait_started_ = 0;
  uint64_t slowpoke_ms_ = 0;
  uint64_t last_slowpoke_warning_ = 0;
};

}  // namespace varnel
