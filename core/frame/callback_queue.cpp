#include "frame/callback_queue.h"

#include <vector>

#include "frame/debugging_events.h"
#include "frame/local_distribution_manager.h"
#include "scheduler.h"
#include "message_stats.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* category = "callback";
constexpr const char* all_callbacks = "all_callbacks";

// Sets the delivering flag for one delivery loop and clears it on every way out, so that an
// exception escaping a delivery leaves the queue able to deliver at the next tick.
class delivering_scope {
public:
  explicit delivering_scope(bool& flag) : flag_(flag) { flag_ = true; }
  ~delivering_scope() { flag_ = false; }
  delivering_scope(const delivering_scope&) = delete;
  delivering_scope& operator=(const delivering_scope&) = delete;

private:
  bool& flag_;
};

}  // namespace

callback_queue::callback_queue(local_distribution_manager& ldm) : ldm_(ldm) {
  debugging_events& debug = ldm_.get_debugging_events();
  std::vector<std::string> names;
  for (size_t k = 0; k < callback_kind_count; ++k) {
    const char* name = callback_event_name(static_cast<callback_kind>(k));
    debug.register_event(name, category);
    trace_[k] = &debug.stream(name);
    names.emplace_back(name);
  }
  debug.register_event(all_callbacks, category, names);
}

callback_queue::~callback_queue() {
  pending_.clear();
  for (auto& record : history_) record.reset();
  debugging_events& debug = ldm_.get_debugging_events();
  debug.unregister_event(all_callbacks);
  for (size_t k = 0; k < callback_kind_count; ++k) debug.unregister_event(callback_event_name(static_cast<callback_kind>(k)));
}

void callback_queue::add(std::unique_ptr<callback_base> record) {
  if (dstream* trace = trace_[static_cast<size_t>(record->kind())]; trace->is_on()) {
    record->print(*trace, false, false);
    trace->flush();
  }
  ldm_.get_stats_tracker().note_event(ldm_.get_api_tracker(), static_cast<uint32_t>(record->number()), 1);
  pending_.push_back(std::move(record));
  // Inside a scheduler event the record waits until the event returns: the federate's code must
  // not run in the middle of a manager's loop.
  if (!ldm_.get_scheduler().in_event()) deliver_pending();
}

void callback_queue::deliver_pending() {
  if (!open_ || delivering_) return;  // the record waits, or the running loop picks it up
  delivering_scope delivering(delivering_);
  while (!pending_.empty()) {
    std::unique_ptr<callback_base> record = std::move(pending_.front());
    pending_.pop_front();
    try {
      record->deliver(ldm_);
    } catch (...) {
      remember(std::move(record));
      throw;
    }
    remember(std::move(record));
  }
}

void callback_queue::remember(std::unique_ptr<callback_base> record) {
  history_[next_history_] = std::move(record);
  next_history_ = (next_history_ + 1) % history_capacity;
}

void callback_queue::print_pending(std::ostream& out, bool brief, bool show_values) const {
  for (const auto& record : pending_) record->print(out, brief, show_values);
}

void callback_queue::print_history(std::ostream& out, bool brief, bool show_values) const {
  for (size_t n = 1; n <= history_capacity; ++n) {
    const auto& record = history_[(next_history_ + history_capacity - n) % history_capacity];
    if (record) record->print(out, brief, show_values);
  }
}

void callback_queue::add_update_attribute_values(unsigned object, const char* name, unsigned object_class,
                                                 unsigned sender, handle_value_set& values,
                                                 const absolute_time* time, const event_retraction_handle* handle,
                                                 const user_tag& tag) {
  add(std::make_unique<callback_update_attribute_values>(object, name, object_class, sender, values, time, handle,
                                                         tag));
}

void callback_queue::add_send_interaction(unsigned interaction, unsigned sender, handle_value_set& values,
                                          const absolute_time* time, const event_retraction_handle* handle,
                                          const user_tag& tag) {
  add(std::make_unique<callback_send_interaction>(interaction, sender, values, time, handle, tag));
}

void callback_queue::add_delete_object(unsigned object, const char* name, unsigned object_class, unsigned sender,
                                       const absolute_time* time, const event_retraction_handle* handle,
                                       const user_tag& tag) {
  add(std::make_unique<callback_delete_object>(object, name, object_class, sender, time, handle, tag));
}

void callback_queue::add_instantiate_discovered_object(unsigned object, unsigned object_class, const char* name,
                                                       unsigned sender) {
  add(std::make_unique<callback_instantiate_discovered_object>(object, object_class, name, sender));
}

void callback_queue::add_provide_attribute_values(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_provide_attribute_values>(object, attributes));
}

void callback_queue::add_start_registration(unsigned object_class) {
  add(std::make_unique<callback_start_registration>(object_class));
}

void callback_queue::add_turn_interactions_on(unsigned interaction) {
  add(std::make_unique<callback_turn_interactions_on>(interaction));
}

void callback_queue::add_turn_updates_on(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_turn_updates_on>(object, attributes));
}

void callback_queue::add_syncpoint_reg_success(const char* label) {
  add(std::make_unique<callback_syncpoint_reg_success>(label));
}

void callback_queue::add_syncpoint_reg_failure(const char* label) {
  add(std::make_unique<callback_syncpoint_reg_failure>(label));
}

void callback_queue::add_announce_syncpoint(const char* label, const user_tag& tag) {
  add(std::make_unique<callback_announce_syncpoint>(label, tag));
}

void callback_queue::add_federation_synchronized(const char* label) {
  add(std::make_unique<callback_federation_synchronized>(label));
}

void callback_queue::add_regulation_enabled(const absolute_time& time) {
  add(std::make_unique<callback_regulation_enabled>(time));
}

void callback_queue::add_constrained_enabled(const absolute_time& time) {
  add(std::make_unique<callback_constrained_enabled>(time));
}

void callback_queue::add_time_advance_grant(const absolute_time& time) {
  add(std::make_unique<callback_time_advance_grant>(time));
}

void callback_queue::add_request_retraction(const event_retraction_handle& handle) {
  add(std::make_unique<callback_request_retraction>(handle));
}

void callback_queue::add_request_to_take_ownership(unsigned object, const bit_vector& attributes,
                                                   const user_tag& tag) {
  add(std::make_unique<callback_request_to_take_ownership>(object, attributes, tag));
}

void callback_queue::add_notify_about_ownership_loss(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_notify_about_ownership_loss>(object, attributes));
}

void callback_queue::add_notify_about_ownership_gain(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_notify_about_ownership_gain>(object, attributes));
}

void callback_queue::add_ownership_not_available(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_ownership_not_available>(object, attributes));
}

void callback_queue::add_request_to_release_ownership(unsigned object, const bit_vector& attributes,
                                                      const user_tag& tag) {
  add(std::make_unique<callback_request_to_release_ownership>(object, attributes, tag));
}

void callback_queue::add_confirm_acquire_cancellation(unsigned object, const bit_vector& attributes) {
  add(std::make_unique<callback_confirm_acquire_cancellation>(object, attributes));
}

void callback_queue::add_inform_attribute_ownership(unsigned object, unsigned attribute, unsigned owner) {
  add(std::make_unique<callback_inform_attribute_ownership>(object, attribute, owner));
}

void callback_queue::add_inform_attribute_is_floating(unsigned object, unsigned attribute) {
  add(std::make_unique<callback_inform_attribute_is_floating>(object, attribute));
}

void callback_queue::add_inform_attribute_is_mom(unsigned object, unsigned attribute) {
  add(std::make_unique<callback_inform_attribute_is_mom>(object, attribute));
}

}  // namespace varnel
