#include "time/time_manager.h"

#include <algorithm>
#include <iostream>

#include "federation/federation_manager.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "millisecond_clock.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "time/msgorder_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* trace_event = "time_manager";

// The smaller of two times, as a reference to one of them.
const absolute_time& earlier(const absolute_time& a, const absolute_time& b) { return b.less(a) ? b : a; }

}  // namespace

time_manager::time_manager(local_distribution_manager& ldm, msgorder_manager& order)
    : ldm_(ldm),
      order_(order),
      service_(&ldm.get_stream_manager(), this, "time_manager"),
      trace_((ldm.get_debugging_events().register_event(trace_event, "time management: advances, grants, LBTS"),
              ldm.get_debugging_events().stream(trace_event))),
      time_(make_time()),
      lookahead_(make_interval()),
      time_plus_lookahead_(make_time()),
      reported_lookahead_(make_interval()),
      lbts_(make_time()),
      gone_ms_(uint64_t(std::max(ldm.get_rid().get_integer("federation", "federate_gone_timeout"), 1)) * 1000) {
  ldm_.get_stream_manager().join(state_stream);
  federation_manager& federation = ldm_.get_federation_manager();
  if (const federation_record* joined = federation.get_joined_federation())
    for (const auto& [identifier, federate] : joined->federates)
      if (identifier != ldm_.get_federate()) awaited_.insert(identifier);
  await_until_ = now() + uint64_t(std::max(ldm.get_rid().get_own_integer("time", "join_state_wait"), 0));
  federation.add_federate_join_client(this);
  schedule(ldm_.get_scheduler(), timer_period_ms);
}

time_manager::~time_manager() {
  if (regulating_ || constrained_) {
    regulating_ = constrained_ = false;
    send_state();
  }
  cancel();
  ldm_.get_federation_manager().remove_federate_join_client(this);
  ldm_.get_stream_manager().leave(state_stream);
  ldm_.get_debugging_events().unregister_event(trace_event);
}

// Regulation and constraint

void time_manager::enable_time_regulation(const absolute_time& time, const relative_time& lookahead) {
  if (regulating_) throw ldm_exception(ldm_error::TimeRegulationAlreadyEnabled, "Already enabled");
  if (regulation_time_)
    throw ldm_exception(ldm_error::RequestForTimeRegulationPending, "Time regulation enable is pending");
  if (lookahead.less(*make_interval())) throw ldm_exception(ldm_error::InvalidLookahead, "Negative lookahead");
  if (advancing_) throw ldm_exception(ldm_error::InTimeAdvancingState, "Time is already advancing");
  if (time.less(*time_)) throw ldm_exception(ldm_error::InvalidLogicalTime, "The specified time is in the past");
  if (constrained_ && time.greater(*time_))
    throw ldm_exception(ldm_error::InvalidLogicalTime, "The specified time is in the future");
  regulation_time_.reset(time.clone());
  regulation_lookahead_.reset(lookahead.clone());
  try_enable_regulation();
}

// A federate that has just joined does not know the others' times yet: starting at the time it
// asks for would put its messages in their past, so regulation waits, as constraint does, until
// their states are heard (or join_state_wait passes).
void time_manager::try_enable_regulation() {
  if (awaiting_states()) return;
  // Joining the regulators at LBTS - lookahead keeps this federate's messages out of the others'
  // past; never below the time asked for.
  std::unique_ptr<absolute_time> start = std::move(regulation_time_);
  std::unique_ptr<relative_time> lookahead = std::move(regulation_lookahead_);
  const absolute_time& bound = lbts();
  if (!bound.is_infinity()) {
    std::unique_ptr<absolute_time> joined(bound.clone());
    joined->subtract(*lookahead);
    if (joined->greater(*start)) start->assign(*joined);
  }
  regulating_ = true;
  time_->assign(*start);
  lookahead_->assign(*lookahead);
  reduction_.reset();
  time_plus_lookahead_->assign(*time_).add(*lookahead_);
  if (constrained_) {
    order_.deliver_receive_order();
    order_.release(time_.get());
  }
  last_advance_ = advance_type::tara;
  order_.set_regulating(true);
  send_state();
  trace_ << "Regulation on at " << time_->printable() << std::endl;
  ldm_.get_callback_queue()->add_regulation_enabled(*time_);
}

void time_manager::disable_time_regulation() {
  if (!regulating_) throw ldm_exception(ldm_error::TimeRegulationIsNotEnabled, "Not enabled");
  regulating_ = false;
  lookahead_->set_zero();
  reduction_.reset();
  time_plus_lookahead_->assign(*time_);
  order_.set_regulating(false);
  send_state();
  trace_ << "Regulation off" << std::endl;
}

void time_manager::enable_time_constrained() {
  if (constrained_) throw ldm_exception(ldm_error::TimeConstrainedAlreadyEnabled, "Already enabled");
  if (constrained_pending_)
    throw ldm_exception(ldm_error::RequestForTimeConstrainedPending, "Time constrained enable is pending");
  if (advancing_) throw ldm_exception(ldm_error::InTimeAdvancingState, "Time is already advancing");
  constrained_pending_ = true;
  try_enable_constrained();
}

void time_manager::try_enable_constrained() {
  if (awaiting_states()) return;
  const absolute_time& bound = lbts();
  if (bound.less(*time_plus_lookahead_)) {
    trace_ << "Constrained enable at " << time_->printable() << " but not available until "
           << lbts_->printable() << std::endl;
    return;
  }
  constrained_pending_ = false;
  constrained_ = true;
  order_.set_constrained(true);
  update_delivery_mode();
  send_state();
  trace_ << "Constrained on at " << time_->printable() << std::endl;
  ldm_.get_callback_queue()->add_constrained_enabled(*time_);
}

// An advance pending when constraint ends is granted at its time, after every queued
// time-stamped message in time order: dropping it would leave the federate waiting for ever.
void time_manager::disable_time_constrained() {
  if (!constrained_) throw ldm_exception(ldm_error::TimeConstrainedIsNotEnabled, "Not enabled");
  constrained_ = false;
  order_.set_constrained(false);
  update_delivery_mode();
  order_.release(nullptr);
  if (advancing_) {
    std::unique_ptr<absolute_time> at(requested_->clone());
    grant(*at);
  }
  send_state();
  trace_ << "Constrained off" << std::endl;
}

void time_manager::enable_asynchronous_delivery() {
  if (asynchronous_) throw ldm_exception(ldm_error::AsynchronousDeliveryAlreadyEnabled, "Yip yip yip");
  asynchronous_ = true;
  update_delivery_mode();
}

void time_manager::disable_asynchronous_delivery() {
  if (!asynchronous_) throw ldm_exception(ldm_error::AsynchronousDeliveryAlreadyDisabled, "Nope nope nope");
  asynchronous_ = false;
  update_delivery_mode();
}

void time_manager::update_delivery_mode() {
  const bool at_once = asynchronous_ || !constrained_;
  order_.set_deliver_at_once(at_once);
  if (at_once) order_.deliver_receive_order();
}

// Lookahead

void time_manager::modify_lookahead(const relative_time& lookahead) {
  if (lookahead.less(*make_interval())) throw ldm_exception(ldm_error::InvalidLookahead, "Negative lookahead");
  if (lookahead_->less(lookahead)) {
    lookahead_->assign(lookahead);
    reduction_.reset();
    time_plus_lookahead_->assign(*time_).add(*lookahead_);
    if (regulating_) send_state();
    return;
  }
  // Time plus lookahead never decreases: a reduction waits for the advances that make room.
  reduction_.reset(lookahead.clone());
}

void time_manager::reduce_lookahead(const absolute_time& at) {
  if (!reduction_) return;
  std::unique_ptr<relative_time> advance(make_interval());
  advance->set_difference(at, *time_);
  std::unique_ptr<relative_time> gap(lookahead_->clone());
  gap->subtract(*reduction_);
  if (advance->greater(*lookahead_) || gap->less_equal(*advance)) {
    lookahead_->assign(*reduction_);
    reduction_.reset();
  } else {
    lookahead_->subtract(*advance);
  }
}

// Advances

void time_manager::request(advance_type type, const absolute_time& time) {
  if (advancing_) throw ldm_exception(ldm_error::InTimeAdvancingState, "Time is already advancing");
  if (constrained_pending_)
    throw ldm_exception(ldm_error::RequestForTimeConstrainedPending, "Time constrained enable is pending");
  if (regulation_time_)
    throw ldm_exception(ldm_error::RequestForTimeRegulationPending, "Time regulation enable is pending");
  if (time.less(*time_)) {
    std::unique_ptr<absolute_time> asked(time.clone()), own(time_->clone());
    throw make_ldm_exception(ldm_error::LogicalTimeAlreadyPassed, "This time is in the past (%s < %s)",
                             asked->printable(), own->printable());
  }
  pending_ = type;
  requested_.reset(time.clone());
  if (!constrained_) {
    trace_ << "Advance granted to " << requested_->printable() << " : not constrained. " << std::endl;
    std::unique_ptr<absolute_time> at(time.clone());
    grant(*at);
    return;
  }
  advancing_ = true;
  wait_started_ = now();
  set_reported_request();
  send_state();
  check_grant();
}

void time_manager::set_reported_request() {
  const absolute_time& bound = lbts();
  reported_.reset(requested_->clone());
  if (pending_ == advance_type::tar || pending_ == advance_type::tara) return;
  reported_->assign(earlier(*requested_, bound));
  std::unique_ptr<absolute_time> earliest(make_time());
  const bool next_event = pending_ == advance_type::ner || pending_ == advance_type::nera;
  if (next_event && order_.earliest_time(*earliest) && earliest->less(*reported_)) reported_->assign(*earliest);
  if (reported_->less(*time_)) reported_->assign(*time_);
}

// The next event's time: the earliest queued message when it is not after the request, never
// before the federate's own time (a late message may carry an earlier one).
void time_manager::next_event_target(absolute_time& out) {
  out.assign(*requested_);
  std::unique_ptr<absolute_time> earliest(make_time());
  if (order_.earliest_time(*earliest) && earliest->less_equal(*requested_)) out.assign(*earliest);
  if (out.less(*time_)) out.assign(*time_);
}

void time_manager::check_grant() {
  if (!advancing_ || awaiting_states()) return;
  const absolute_time& bound = lbts();
  order_.deliver_receive_order();
  const bool zero_lookahead = lookahead_->is_zero();
  auto before_bound = [&](const absolute_time& t, bool available) {
    return t.less(bound) || (t.equal(bound) && (available || (zero_lookahead && !lbts_open_)));
  };
  std::unique_ptr<absolute_time> target(make_time());
  switch (pending_) {
    case advance_type::tar:
    case advance_type::tara:
      if (before_bound(*requested_, pending_ == advance_type::tara)) {
        target->assign(*requested_);
        grant(*target);
      } else {
        order_.release(lbts_.get());
      }
      return;
    case advance_type::ner:
    case advance_type::nera:
      next_event_target(*target);
      if (before_bound(*target, pending_ == advance_type::nera))
        grant(*target);
      else
        raise_report_to_lbts();
      return;
    case advance_type::fqr:
      order_.release(nullptr);
      target->assign(earlier(*requested_, bound));
      if (target->less(*time_)) target->assign(*time_);
      grant(*target);
      return;
    case advance_type::none:
      break;
  }
  std::cerr << "time_manager: Illegal advance type value" << std::endl;
}

// A next event request that cannot be granted reports the LBTS, so that federates waiting on
// this one can go on.
void time_manager::raise_report_to_lbts() {
  if (!reported_ || !reported_->less(*lbts_) || lbts_->is_infinity()) return;
  reported_->assign(earlier(*lbts_, *requested_));
  send_state();
}

// A waited TAR or TARA is granted at the time its state already reports, with the same open
// flag: the others' LBTS does not change, so no new state goes out (a lockstep pair then sends
// one state per step, not two). Every other grant moves what this federate reports.
void time_manager::grant(const absolute_time& at) {
  reduce_lookahead(at);
  order_.release(&at);
  const bool waited = advancing_;
  const bool reported = waited && (pending_ == advance_type::tar || pending_ == advance_type::tara) &&
                        lookahead_->equal(*reported_lookahead_);
  advancing_ = false;
  time_->assign(at);
  time_plus_lookahead_->assign(*time_).add(*lookahead_);
  requested_.reset();
  reported_.reset();
  last_advance_ = pending_;
  pending_ = advance_type::none;
  trace_ << "Advance granted to " << time_->printable() << std::endl;
  ldm_.get_callback_queue()->add_time_advance_grant(*time_);
  ++advances_;
  if (waited) waited_ms_ += now() - wait_started_;
  if ((regulating_ || constrained_) && !reported) send_state();
}

// LBTS

const absolute_time& time_manager::lbts() {
  if (lbts_valid_) return *lbts_;
  lbts_->set_infinity();
  lbts_open_ = false;
  std::unique_ptr<absolute_time> candidate(make_time());
  for (const auto& [federate, remote] : remotes_) {
    const time_state_message& s = remote.state;
    if (!s.regulating) continue;
    bool open = false;
    switch (s.current) {
      case advance_type::none:
        candidate->assign(*remote.time_plus_lookahead);
        open = s.last == advance_type::tara || s.last == advance_type::nera || s.last == advance_type::fqr;
        break;
      default:
        candidate->assign(*s.request).add(*s.lookahead);
        open = s.current == advance_type::tara || s.current == advance_type::nera || s.current == advance_type::fqr;
        break;
    }
    // A federate with a lookahead may send at exactly its time plus lookahead whatever its
    // advance: only one without lookahead, after a TAR or NER, sends strictly after it.
    open = open || !s.lookahead->is_zero();
    if (candidate->less(*lbts_)) {
      lbts_->assign(*candidate);
      lbts_open_ = open;
    }
  }
  lbts_valid_ = true;
  return *lbts_;
}

void time_manager::query_lbts(absolute_time& out) { out.assign(lbts()); }

void time_manager::query_min_next_event_time(absolute_time& out) {
  out.assign(lbts());
  std::unique_ptr<absolute_time> earliest(make_time());
  if (order_.earliest_time(*earliest) && earliest->less(out)) out.assign(*earliest);
}

// Time states

void time_manager::receive(int, unsigned char, ldm_buf* buffer) {
  time_state_message state;
  try {
    state = time_state_message::read(*buffer, ldm_);
  } catch (const ldm_decode_error&) {
    ++bad_states_;
    return;
  }
  if (state.sender == ldm_.get_federate()) return;
  awaited_.erase(state.sender);
  // The fence is the sender's next reliable sequence: a state heard before its first reliable
  // message makes that message's loss noticed, which its data alone could not.
  if (state.regulating || state.constrained) order_.expect_reliable(state.reliable_sender, state.reliable_fence);
  auto found = remotes_.find(state.sender);
  if (found == remotes_.end()) {
    if (!state.regulating && !state.constrained) return;
    if (remotes_.size() >= federation_manager::max_federates) {
      ++bad_states_;
      return;
    }
    found = remotes_.emplace(state.sender, remote_state{}).first;
    found->second.provisional = !ldm_.get_federation_manager().find_federate(state.sender);
    found->second.first_heard = now();
  }
  found->second.last_heard = now();
  found->second.warned_silent = false;
  if (!fence_passed(state)) {
    found->second.held = std::make_unique<time_state_message>(std::move(state));
    return;
  }
  found->second.held.reset();
  apply(state);
}

void time_manager::apply(const time_state_message& state) {
  auto found = remotes_.find(state.sender);
  if (found == remotes_.end()) return;
  remote_state& remote = found->second;
  const bool was_regulating = remote.state.regulating;
  if (!state.regulating && !state.constrained) {
    remove_remote(state.sender);
    return;
  }
  remote.state.sender = state.sender;
  remote.state.regulating = state.regulating;
  remote.state.constrained = state.constrained;
  remote.state.time.reset(state.time->clone());
  remote.state.lookahead.reset(state.lookahead->clone());
  remote.state.last = state.last;
  remote.state.current = state.current;
  remote.state.request.reset(state.request ? state.request->clone() : nullptr);
  remote.state.reliable_fence = state.reliable_fence;
  remote.time_plus_lookahead.reset(state.time->clone());
  remote.time_plus_lookahead->add(*state.lookahead);
  if (state.regulating || was_regulating) lbts_valid_ = false;
  if (advancing_ && !lbts_valid_) check_grant();
}

// Applying a state may grant, and a grant may end other records: collect the senders first.
void time_manager::apply_held_states() {
  std::vector<federate_identifier> ready;
  for (const auto& [federate, remote] : remotes_)
    if (remote.held && fence_passed(*remote.held)) ready.push_back(federate);
  for (const federate_identifier& federate : ready) {
    auto found = remotes_.find(federate);
    if (found == remotes_.end() || !found->second.held) continue;
    const std::unique_ptr<time_state_message> state = std::move(found->second.held);
    apply(*state);
  }
}

// A state without flags carries no fence: nothing it says depends on earlier messages arriving.
bool time_manager::fence_passed(const time_state_message& state) const {
  if (!state.regulating && !state.constrained) return true;
  return order_.reliable_delivered_up_to(state.reliable_sender, state.reliable_fence);
}

void time_manager::remove_remote(const federate_identifier& federate) {
  auto found = remotes_.find(federate);
  if (found == remotes_.end()) return;
  const bool was_regulating = found->second.state.regulating;
  remotes_.erase(found);
  if (!was_regulating) return;
  lbts_valid_ = false;
  check_grant();
}

// A federate that joins waits to hear every time state before its first grant: each federate
// tells it its state at once, even one that neither regulates nor is constrained.
void time_manager::federate_joined(federate_record* federate) {
  auto found = remotes_.find(federate->identifier);
  if (found != remotes_.end()) found->second.provisional = false;
  send_state();
}

bool time_manager::awaiting_states() {
  if (awaited_.empty()) return false;
  if (now() < await_until_) return true;
  awaited_.clear();
  return false;
}

void time_manager::federate_gone(federate_record* federate) {
  awaited_.erase(federate->identifier);
  // Once its time state no longer holds anyone, what it sent and has not arrived in order would
  // be delivered in the others' past when a NACK finally gives the gap up.
  const auto found = remotes_.find(federate->identifier);
  if (found != remotes_.end())
    order_.forget_reliable(found->second.held ? found->second.held->reliable_sender : found->second.state.reliable_sender);
  remove_remote(federate->identifier);
}

// A state heard before its sender's first heartbeat counts at once, but only for as long as a
// federate may stay unheard before it is gone.
void time_manager::drop_stale_provisionals(uint64_t at) {
  std::vector<federate_identifier> stale;
  for (const auto& [federate, remote] : remotes_)
    if (remote.provisional && at - remote.first_heard > gone_ms_) stale.push_back(federate);
  for (const federate_identifier& federate : stale) remove_remote(federate);
}

void time_manager::send_state() {
  for (int stream : order_.take_timestamped_streams()) service_.flush(stream);
  time_state_message state;
  state.sender = ldm_.get_federate();
  state.regulating = regulating_;
  state.constrained = constrained_;
  state.time.reset(time_->clone());
  state.lookahead.reset(lookahead_->clone());
  reported_lookahead_->assign(*lookahead_);
  state.last = last_advance_;
  state.current = advancing_ ? pending_ : advance_type::none;
  if (advancing_) state.request.reset(reported_->clone());
  state.reliable_sender = order_.reliable_identifier();
  state.reliable_fence = order_.next_reliable_sequence();
  ldm_buf* buffer = service_.get_buf();
  state.write(*buffer);
  service_.send(state_stream, state_priority, buffer);
  buffer->release_buf();
  last_sent_ = now();
}

// Timer

void time_manager::on_timer() {
  const uint64_t at = now();
  apply_held_states();
  drop_stale_provisionals(at);
  warn_about_slowpokes(at);
  check_grant();
  if (regulation_time_) try_enable_regulation();
  if (constrained_pending_) try_enable_constrained();
  if ((regulating_ || constrained_) && at - last_sent_ >= resend_interval_ms) send_state();
}

void time_manager::warn_about_slowpokes(uint64_t at) {
  for (auto& [federate, remote] : remotes_) {
    if (!remote.state.regulating || remote.warned_silent || at - remote.last_heard < silence_warning_ms) continue;
    remote.warned_silent = true;
    std::cout << "Warning: Waiting on slowpoke federate: " << describe(remote) << " (silent for "
              << (at - remote.last_heard) / 1000 << " s)" << std::endl;
  }
  if (slowpoke_ms_ == 0 || !advancing_ || at - wait_started_ < slowpoke_ms_ ||
      at - last_slowpoke_warning_ < resend_interval_ms)
    return;
  const remote_state* slowest = nullptr;
  for (const auto& [federate, remote] : remotes_) {
    if (!remote.state.regulating) continue;
    const absolute_time& reported = remote.state.request ? *remote.state.request : *remote.state.time;
    const absolute_time* best = slowest ? (slowest->state.request ? slowest->state.request.get() : slowest->state.time.get()) : nullptr;
    if (!best || reported.less(*best)) slowest = &remote;
  }
  if (!slowest) return;
  last_slowpoke_warning_ = at;
  std::cout << "Warning: Waiting on slowpoke federate: " << describe(*slowest) << std::endl;
}

// Checks

void time_manager::check_time(const char* call, const absolute_time* time) {
  if (!time) throw make_ldm_exception(ldm_error::InvalidLogicalTime, "NULL time passed in call to %s", call);
  std::unique_ptr<absolute_time> bound(advancing_ ? requested_->clone() : time_->clone());
  bound->add(*lookahead_);
  const advance_type type = advancing_ ? pending_ : last_advance_;
  const bool strict = lookahead_->is_zero() && (type == advance_type::tar || type == advance_type::ner);
  if (strict ? time->greater(*bound) : time->greater_equal(*bound)) {
    std::unique_ptr<absolute_time> stamp(time->clone());
    trace_ << call << " at " << stamp->printable() << std::endl;
    return;
  }
  std::unique_ptr<absolute_time> stamp(time->clone());
  throw make_ldm_exception(ldm_error::InvalidLogicalTime, "This time is in the past in call to %s (%s %s %s)", call,
                           stamp->printable(), strict ? "<=" : "<", bound->printable());
}

// Printing

std::string time_manager::describe(const remote_state& remote) const {
  const federate_record* record = ldm_.get_federation_manager().find_federate(remote.state.sender);
  std::string text = record ? record->name : "unjoined";
  text += remote.state.regulating ? (remote.state.constrained ? " RC" : " R ") : "  C";
  text += std::string("  Tm: ") + remote.state.time->printable() + "  Lk: " + remote.state.lookahead->printable();
  if (remote.state.current != advance_type::none)
    text += std::string("  ") + advance_type_name(remote.state.current) + " to " + remote.state.request->printable();
  return text;
}

void time_manager::print(std::ostream& out) const {
  out << "Current Time: " << time_->printable() << " Lookahead: " << lookahead_->printable() << std::endl;
  out << (regulating_ ? "I am a regulating federate" : "I am not regulating") << std::endl;
  out << (constrained_ ? "I am a constrained federate" : "I am not constrained") << std::endl;
  out << "    Current LBTS: " << (lbts_valid_ ? lbts_->printable() : "(not computed)") << std::endl;
  if (advancing_)
    out << "Waiting on a time advance: Requested a " << advance_type_name(pending_) << " advance to "
        << requested_->printable() << std::endl;
  out << "TSO queue length: " << order_.timestamp_order_length() << std::endl;
  out << "RO queue length: " << order_.receive_order_length() << std::endl;
  if (advances_ == 0)
    out << "No time advances have happened yet. " << std::endl;
  else
    out << "  We have spent " << waited_ms_ << " ms waiting in " << advances_ << " time advances" << std::endl;
  out << "The other federates are reporting: " << std::endl;
  for (const auto& [federate, remote] : remotes_) out << "  " << describe(remote) << std::endl;
}

uint64_t time_manager::now() const { return ldm_.get_scheduler().get_clock().time(); }

std::unique_ptr<absolute_time> time_manager::make_time() const {
  return std::unique_ptr<absolute_time>(ldm_.make_absolute_time());
}

std::unique_ptr<relative_time> time_manager::make_interval() const {
  return std::unique_ptr<relative_time>(ldm_.make_relative_time());
}

}  // namespace varnel
