#include "federation/syncpoint_manager.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "federation/federate_handle_set.h"
#include "federation/federation_manager.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/message_best_effort.h"
#include "messages/message_reliable.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr const char* service_name = "syncpoint_manager";
constexpr const char* repeat_name = "syncpoint_repeat";
constexpr const char* trace_name = "syncpoint";

const char* kind_name(syncpoint_kind kind) {
  switch (kind) {
    case syncpoint_kind::announce: return "announce";
    case syncpoint_kind::achieved: return "achieved";
    case syncpoint_kind::synchronized: return "synchronized";
  }
  return "?";
}

dstream& registered_trace(debugging_events& debug) {
  debug.register_event(trace_name, "synchronization point messages sent and received");
  return debug.stream(trace_name);
}

}  // namespace

syncpoint_manager::syncpoint_manager(local_distribution_manager& ldm)
    : ldm_(ldm), self_(ldm.get_federate()), trace_(registered_trace(ldm.get_debugging_events())) {
  ldm.get_debugging_events().register_event(no_syncpoints,
                                            "a switch: achieve every announced synchronization point at once");
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, service_name, trace_,
                                                ldm.get_scheduler(), federation_reliable_settings(ldm.get_rid()));
  repeats_ = std::make_unique<message_best_effort>(&ldm.get_stream_manager(), this, repeat_name, trace_,
                                                   ldm.get_scheduler());
  ldm.get_federation_manager().add_federate_join_client(this);
  timer_.schedule(ldm.get_scheduler(), repeat_period_ms);
}

syncpoint_manager::~syncpoint_manager() {
  timer_.cancel();
  ldm_.get_federation_manager().remove_federate_join_client(this);
  repeats_.reset();
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
  ldm_.get_debugging_events().unregister_event(no_syncpoints);
  ldm_.get_debugging_events().unregister_event(trace_name);
}

// The services.

void syncpoint_manager::register_point(const char* label, const user_tag& tag, const federate_handle_set* federates) {
  const size_t length = std::strlen(label);
  if (length > syncpoint_message::max_label)
    throw make_ldm_exception(ldm_error::InternalError, "A synchronization point label of %zu bytes is longer than the %zu a message carries",
                             length, syncpoint_message::max_label);
  callback_queue* callbacks = ldm_.get_callback_queue();
  if (find_label(label)) {
    if (callbacks) callbacks->add_syncpoint_reg_failure(label);
    return;
  }
  record entry{label, tag, std::nullopt, {}, false};
  if (federates && !federates->empty()) {
    entry.members.emplace();
    for (unsigned handle : *federates) {
      const federate_record* member = ldm_.get_federation_manager().find_by_handle(handle);
      if (!member) throw make_ldm_exception(ldm_error::FederateNotExecutionMember, "Unknown federate handle %u", handle);
      entry.members->insert(member->identifier);
    }
  }
  const syncpoint_key point{self_, ldm_.next_syncpoint_serial()};
  const record& stored = requesting_.emplace(point, std::move(entry)).first->second;
  if (callbacks) callbacks->add_syncpoint_reg_success(label);
  broadcast(syncpoint_kind::announce, point, stored);
}

void syncpoint_manager::achieved(const char* label) {
  if (ldm_.get_debugging_events().is_on(no_syncpoints)) return;
  std::vector<syncpoint_key> points;
  for (const auto& [point, entry] : responding_)
    if (entry.label == label && !entry.achieved) points.push_back(point);
  if (points.empty()) throw ldm_exception(ldm_error::SynchronizationPointLabelNotAnnounced, label);
  for (const syncpoint_key& point : points) report(point, responding_.at(point));
}

void syncpoint_manager::force(const char* label) {
  const point_table::value_type* found = find_label(label);
  if (!found) throw ldm_exception(ldm_error::SynchronizationPointLabelNotAnnounced, label);
  const point_table::value_type point = *found;  // broadcast erases the table's copy
  broadcast(syncpoint_kind::synchronized, point.first, point.second);
}

const syncpoint_manager::point_table::value_type* syncpoint_manager::find_label(const std::string& label) const {
  for (const point_table* table : {&requesting_, &responding_})
    for (const auto& entry : *table)
      if (entry.second.label == label) return &entry;
  return nullptr;
}

// Sending.

syncpoint_message syncpoint_manager::message_for(syncpoint_kind kind, const syncpoint_key& point,
                                                 const record& entry) const {
  return syncpoint_message{self_, kind, point, entry.label, entry.tag, entry.members};
}

void syncpoint_manager::send(const syncpoint_message& message, bool repeat) {
  message_service& service = repeat ? static_cast<message_service&>(*repeats_) : *service_;
  ldm_buf* buffer = service.get_buf();
  message.write(*buffer);
  service.send(stream, priority, buffer);
  buffer->release_buf();
  // Everyone waits at a point: it must not sit in the stream's bundle.
  ldm_.get_stream_manager().flush(stream);
  ++(repeat ? counters_.repeated : counters_.sent);
  trace(repeat ? "repeat" : "send", message);
}

void syncpoint_manager::broadcast(syncpoint_kind kind, const syncpoint_key& point, const record& entry) {
  const syncpoint_message message = message_for(kind, point, entry);
  send(message, false);
  apply(message);
}

void syncpoint_manager::report(const syncpoint_key& point, record& entry) {
  entry.achieved = true;
  // Only the registrar reads reports: its own needs no message.
  if (point.registrar == self_) {
    apply(message_for(syncpoint_kind::achieved, point, entry));
    return;
  }
  broadcast(syncpoint_kind::achieved, point, entry);
}

// Receiving.

void syncpoint_manager::receive(int, unsigned char, ldm_buf* buffer) {
  const syncpoint_message message = syncpoint_message::read(*buffer);
  ++counters_.received;
  trace("receive", message);
  apply(message);
}

void syncpoint_manager::apply(const syncpoint_message& message) {
  switch (message.kind) {
    case syncpoint_kind::announce: return announced(message);
    case syncpoint_kind::achieved: return reported(message);
    case syncpoint_kind::synchronized: return synchronized(message);
  }
}

void syncpoint_manager::announced(const syncpoint_message& message) {
  const syncpoint_key& point = message.point;
  if (responding_.count(point) || completed_.contains(point)) return;
  if (message.members && !message.members->count(self_)) return;
  if (responding_.size() >= max_responding) {
    ++counters_.refused_full;
    return;
  }
  record& entry = responding_.emplace(point, record{message.label, message.tag, message.members, {}, false}).first->second;
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_announce_syncpoint(entry.label.c_str(), entry.tag);
  if (ldm_.get_debugging_events().is_on(no_syncpoints)) report(point, entry);
}

void syncpoint_manager::reported(const syncpoint_message& message) {
  const auto found = requesting_.find(message.point);
  if (found == requesting_.end()) {
    // A member that lost the synchronized message keeps repeating its report.
    if (message.point.registrar == self_ && completed_.contains(message.point))
      send(message_for(syncpoint_kind::synchronized, message.point,
                       record{message.label, message.tag, message.members, {}, false}),
           true);
    return;
  }
  record& entry = found->second;
  if (!entry.reported.count(message.sender) && entry.reported.size() >= syncpoint_message::max_members) {
    ++counters_.refused_reports;
    return;
  }
  entry.reported.insert(message.sender);
  if (holds(entry, nullptr)) broadcast(syncpoint_kind::synchronized, found->first, entry);
}

void syncpoint_manager::synchronized(const syncpoint_message& message) {
  completed_.insert(message.point);
  // The registrar may lie outside its own set, so its book is closed whether or not the point
  // was announced here.
  requesting_.erase(message.point);
  const auto found = responding_.find(message.point);
  if (found == responding_.end()) return;
  if (callback_queue* callbacks = ldm_.get_callback_queue()) callbacks->add_federation_synchronized(found->second.label.c_str());
  responding_.erase(found);
}

bool syncpoint_manager::holds(const record& entry, const federate_identifier* excluded) const {
  const auto has_reported = [&](const federate_identifier& member) {
    return (excluded && member == *excluded) || entry.reported.count(member) != 0;
  };
  if (entry.members) return std::all_of(entry.members->begin(), entry.members->end(), has_reported);
  const federation_record* federation = ldm_.get_federation_manager().get_joined_federation();
  if (!federation) return false;
  return std::all_of(federation->federates.begin(), federation->federates.end(),
                     [&](const auto& known) { return has_reported(known.first); });
}

// Federates coming and going.

void syncpoint_manager::federate_joined(federate_record*) {
  for (const auto& [point, entry] : requesting_)
    if (!entry.members) send(message_for(syncpoint_kind::announce, point, entry), false);
}

void syncpoint_manager::federate_gone(federate_record* federate) {
  const federate_identifier gone = federate->identifier;
  std::erase_if(responding_, [&](const auto& entry) { return entry.first.registrar == gone; });
  // Completing a point erases it from requesting_: collect first.
  std::vector<syncpoint_key> complete;
  for (auto& [point, entry] : requesting_) {
    if (entry.members) entry.members->erase(gone);
    entry.reported.erase(gone);
    if (holds(entry, &gone)) complete.push_back(point);
  }
  for (const syncpoint_key& point : complete) {
    const record entry = requesting_.at(point);
    broadcast(syncpoint_kind::synchronized, point, entry);
  }
}

// Repeats: the registrar's pending announcements, then the reports of points achieved here,
// each table from where the last period stopped.
void syncpoint_manager::repeat() {
  size_t budget = repeats_per_period;
  const auto pass = [&](point_table& table, std::optional<syncpoint_key>& cursor, syncpoint_kind kind, auto wanted) {
    auto it = cursor ? table.upper_bound(*cursor) : table.begin();
    for (size_t seen = 0; seen < table.size() && budget > 0; ++seen, ++it) {
      if (it == table.end()) it = table.begin();
      if (!wanted(it->first, it->second)) continue;
      send(message_for(kind, it->first, it->second), true);
      --budget;
      cursor = it->first;
    }
  };
  pass(requesting_, requesting_cursor_, syncpoint_kind::announce, [](const auto&, const auto&) { return true; });
  pass(responding_, responding_cursor_, syncpoint_kind::achieved,
       [&](const syncpoint_key& point, const record& entry) { return entry.achieved && point.registrar != self_; });
}

// Diagnostics.

void syncpoint_manager::trace(const char* what, const syncpoint_message& message) {
  if (!trace_.is_on()) return;
  trace_ << "SYNC " << what << ' ' << kind_name(message.kind) << " \"" << message.label << "\" ("
         << message.point.serial << ") from " << message.sender.to_string() << '\n';
}

void syncpoint_manager::list(std::ostream& out) const {
  const auto table = [&](const char* heading, const point_table& points) {
    out << heading << '\n';
    if (points.empty()) out << "  ** none **\n";
    for (const auto& [point, entry] : points) list_point(out, point, entry);
  };
  table("Currently requesting syncpoints:", requesting_);
  out << '\n';
  table("Currently responding to syncpoints:", responding_);
}

void syncpoint_manager::list_point(std::ostream& out, const syncpoint_key& point, const record& entry) const {
  out << "  ** " << entry.label << " (" << point.serial << ") : " << (entry.achieved ? "Achieved" : "") << '\n';
  if (!entry.reported.empty()) {
    const federation_manager& federation = ldm_.get_federation_manager();
    std::vector<federate_identifier> waiting;
    if (entry.members) {
      waiting.assign(entry.members->begin(), entry.members->end());
    } else if (const federation_record* joined = federation.get_joined_federation()) {
      for (const auto& [identifier, known] : joined->federates) waiting.push_back(identifier);
    }
    out << "     Waiting on: ";
    bool first = true;
    for (const federate_identifier& member : waiting) {
      if (entry.reported.count(member)) continue;
      if (!first) out << std::string(17, ' ');
      first = false;
      if (const federate_record* known = federation.find_federate(member))
        out << known->name << " : " << member.to_string() << '\n';
      else
        out << "Missing federate " << member.to_string() << '\n';
    }
    if (first) out << '\n';
  }
  out << "\n\n";
}

}  // namespace varnel
