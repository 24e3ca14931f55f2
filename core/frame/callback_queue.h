// The queue of callbacks a joined federate is owed. Managers add records at any time; the queue
// delivers them, first in first out, only while the distribution manager is inside tick: records
// added outside tick wait for the next one; records added by a scheduler event during tick are
// delivered when that event returns, and records added by a service a callback calls right away.
// Built last at join and destroyed at resign by the local_distribution_manager, which owns it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <ostream>

#include "frame/callback_records.h"
#include "frame/varnel_export.h"

namespace varnel {

class dstream;

class VARNEL_EXPORT callback_queue {
public:
  static constexpr size_t history_capacity = 10;

  // Registers one debug event per record kind in the "callback" category, and "all_callbacks".
  explicit callback_queue(local_distribution_manager& ldm);
  // Pending records are destroyed undelivered.
  ~callback_queue();
  callback_queue(const callback_queue&) = delete;
  callback_queue& operator=(const callback_queue&) = delete;

  // One add per record kind, with the record's fields; a null time or retraction handle means
  // none. Values are shared by reference count, attributes, tags, labels and times copied.
  void add_update_attribute_values(unsigned object, const char* name, unsigned object_class, unsigned sender,
                                   handle_value_set& values, const absolute_time* time,
                                   const event_retraction_handle* handle, const user_tag& tag);
  void add_send_interaction(unsigned interaction, unsigned sender, handle_value_set& values,
                            const absolute_time* time, const event_retraction_handle* handle, const user_tag& tag);
  void add_delete_object(unsigned object, const char* name, unsigned object_class, unsigned sender,
                         const absolute_time* time, const event_retraction_handle* handle, const user_tag& tag);
  void add_instantiate_discovered_object(unsigned object, unsigned object_class, const char* name, unsigned sender);
  void add_provide_attribute_values(unsigned object, const brindle::bit_vector& attributes);
  void add_start_registration(unsigned object_class);
  void add_turn_interactions_on(unsigned interaction);
  void add_turn_updates_on(unsigned object, const brindle::bit_vector& attributes);
  void add_syncpoint_reg_success(const char* label);
  void add_syncpoint_reg_failure(const char* label);
  void add_announce_syncpoint(const char* label, const user_tag& tag);
  void add_federation_synchronized(const char* label);
  void add_regulation_enabled(const absolute_time& time);
  void add_constrained_enabled(const absolute_time& time);
  void add_time_advance_grant(const absolute_time& time);
  void add_request_retraction(const event_retraction_handle& handle);
  void add_request_to_take_ownership(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag);
  void add_notify_about_ownership_loss(unsigned object, const brindle::bit_vector& attributes);
  void add_notify_about_ownership_gain(unsigned object, const brindle::bit_vector& attributes);
  void add_ownership_not_available(unsigned object, const brindle::bit_vector& attributes);
  void add_request_to_release_ownership(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag);
  void add_confirm_acquire_cancellation(unsigned object, const brindle::bit_vector& attributes);
  void add_inform_attribute_ownership(unsigned object, unsigned attribute, unsigned owner);
  void add_inform_attribute_is_floating(unsigned object, unsigned attribute);
  void add_inform_attribute_is_mom(unsigned object, unsigned attribute);

  // Only tick opens the queue, delivers what waits, and closes it again.
  void open() { open_ = true; }
  void close() { open_ = false; }
  void deliver_pending();

  size_t pending() const { return pending_.size(); }
  // For the diagnostics console: the pending records in queue order, and the last ten delivered,
  // newest first.
  void print_pending(std::ostream& out, bool brief, bool show_values) const;
  void print_history(std::ostream& out, bool brief, bool show_values) const;

private:
  // Traces, appends and counts a new record, then delivers when the queue is open.
  void add(std::unique_ptr<callback_base> record);
  void remember(std::unique_ptr<callback_base> record);

  local_distribution_manager& ldm_;
  bool open_ = false;
  bool delivering_ = false;
  std::deque<std::unique_ptr<callback_base>> pending_;
  std::array<std::unique_ptr<callback_base>, history_capacity> history_;
  size_t next_history_ = 0;
  std::array<dstream*, callback_kind_count> trace_{};  // owned by the debug registry
};

}  // namespace varnel
