// The records of callbacks the core owes the federate. A manager creates one through the
// callback_queue, which owns it from then on and delivers it inside tick: delivery releases the
// distribution manager's lock and calls the manager's callback operation for the record, which
// the binding turns into the federate's callback. Records come from the size-class pools.
#pragma once

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "time/absolute_time.h"
#include "bit_vector.h"
#include "time/event_retraction_handle.h"
#include "pools.h"
#include "frame/rti_api_call.h"
#include "messages/user_tag.h"

namespace varnel {

class handle_value_set;
class local_distribution_manager;

// The record kinds, in the order of their debug events in the "callback" category.
enum class callback_kind : uint8_t {
  update_attribute_values,
  send_interaction,
  delete_object,
  provide_attribute_values,
  instantiate_discovered_object,
  start_registration,
  turn_interactions_on,
  turn_updates_on,
  announce_syncpoint,
  federation_synchronized,
  syncpoint_reg_success,
  syncpoint_reg_failure,
  regulation_enabled,
  constrained_enabled,
  time_advance_grant,
  request_retraction,
  request_to_take_ownership,
  notify_about_ownership_loss,
  notify_about_ownership_gain,
  ownership_not_available,
  request_to_release_ownership,
  confirm_acquire_cancellation,
  inform_attribute_ownership,
  inform_attribute_is_floating,
  inform_attribute_is_mom,
};
inline constexpr size_t callback_kind_count = 25;

// The debug event of a kind: the federate callback's HLA name ("reflectAttributeValues").
const char* callback_event_name(callback_kind kind);

class call_base {
public:
  virtual ~call_base() = default;
  // Calls the distribution manager's callback operation for this record with the manager's lock
  // released around the call, so the federate may call services from its callback.
  virtual void deliver(local_distribution_manager& ldm) = 0;
  // A first line, then unless brief the details; values as hex bytes only when show_values.
  virtual void print(std::ostream& out, bool brief, bool show_values) const = 0;
};

class callback_base : public call_base, public brindle::memory_pooled<callback_base> {
public:
  explicit callback_base(callback_kind kind) : kind_(kind) {}
  callback_kind kind() const { return kind_; }
  // The number the record counts under in the "api" statistics.
  rti_api_call number() const;

private:
  callback_kind kind_;
};

// The time and retraction handle a timestamped record may carry: the time is a clone owned by
// the record; without a time the record is delivered through the untimed callback.
struct callback_timing {
  std::unique_ptr<absolute_time> time;
  event_retraction_handle handle;

  callback_timing(const absolute_time* t, const event_retraction_handle* h)
      : time(t ? t->clone() : nullptr), handle(h ? *h : event_retraction_handle{}) {}
};

// A handle_value_set reference held for the record's lifetime.
class held_values {
public:
  explicit held_values(handle_value_set& values);
  ~held_values();
  held_values(const held_values&) = delete;
  held_values& operator=(const held_values&) = delete;
  const handle_value_set& get() const { return *values_; }

private:
  handle_value_set* values_;
};

class callback_update_attribute_values : public callback_base {
public:
  callback_update_attribute_values(unsigned object, const char* name, unsigned object_class, unsigned sender,
                                   handle_value_set& values, const absolute_time* time,
                                   const event_retraction_handle* handle, const user_tag& tag);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned object_;
  std::string name_;
  unsigned class_;
  unsigned sender_;
  held_values values_;
  callback_timing timing_;
  user_tag tag_;
};

class callback_send_interaction : public callback_base {
public:
  callback_send_interaction(unsigned interaction, unsigned sender, handle_value_set& values,
                            const absolute_time* time, const event_retraction_handle* handle, const user_tag& tag);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned interaction_;
  unsigned sender_;
  held_values values_;
  callback_timing timing_;
  user_tag tag_;
};

class callback_delete_object : public callback_base {
public:
  callback_delete_object(unsigned object, const char* name, unsigned object_class, unsigned sender,
                         const absolute_time* time, const event_retraction_handle* handle, const user_tag& tag);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned object_;
  std::string name_;
  unsigned class_;
  unsigned sender_;
  callback_timing timing_;
  user_tag tag_;
};

class callback_instantiate_discovered_object : public callback_base {
public:
  callback_instantiate_discovered_object(unsigned object, unsigned object_class, const char* name, unsigned sender);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned object_;
  unsigned class_;
  std::string name_;
  unsigned sender_;
};

// Records of one class handle: start_registration and turn_interactions_on.
class class_record : public callback_base {
public:
  class_record(callback_kind kind, unsigned handle) : callback_base(kind), handle_(handle) {}
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned handle_;
};

// Records of an object and an attribute set, some with a tag: provide_attribute_values,
// turn_updates_on and the six ownership notifications.
class object_attributes_record : public callback_base {
public:
  object_attributes_record(callback_kind kind, unsigned object, const brindle::bit_vector& attributes,
                           const user_tag* tag = nullptr);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned object_;
  brindle::bit_vector attributes_;
  user_tag tag_;
};

// Records of a synchronization point label, the announcement with its tag.
class label_record : public callback_base {
public:
  label_record(callback_kind kind, const char* label, const user_tag* tag = nullptr);
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  std::string label_;
  user_tag tag_;
};

// Records of a granted time: regulation enabled, constrained enabled, time advance grant.
class time_record : public callback_base {
public:
  time_record(callback_kind kind, const absolute_time& time) : callback_base(kind), time_(time.clone()) {}
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  std::unique_ptr<absolute_time> time_;
};

class callback_request_retraction : public callback_base {
public:
  explicit callback_request_retraction(const event_retraction_handle& handle)
      : callback_base(callback_kind::request_retraction), handle_(handle) {}
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  event_retraction_handle handle_;
};

// Records of one attribute of an object: who owns it, that nobody does, that the RTI does.
class attribute_record : public callback_base {
public:
  attribute_record(callback_kind kind, unsigned object, unsigned attribute, unsigned owner = 0)
      : callback_base(kind), object_(object), attribute_(attribute), owner_(owner) {}
  void deliver(local_distribution_manager& ldm) override;
  void print(std::ostream& out, bool brief, bool show_values) const override;

private:
  unsigned object_;
  unsigned attribute_;
  unsigned owner_;
};

// The named record classes the managers create.
class callback_provide_attribute_values : public object_attributes_record {
public:
  callback_provide_attribute_values(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::provide_attribute_values, object, attributes) {}
};

class callback_turn_updates_on : public object_attributes_record {
public:
  callback_turn_updates_on(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::turn_updates_on, object, attributes) {}
};

class callback_notify_about_ownership_loss : public object_attributes_record {
public:
  callback_notify_about_ownership_loss(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::notify_about_ownership_loss, object, attributes) {}
};

class callback_notify_about_ownership_gain : public object_attributes_record {
public:
  callback_notify_about_ownership_gain(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::notify_about_ownership_gain, object, attributes) {}
};

class callback_ownership_not_available : public object_attributes_record {
public:
  callback_ownership_not_available(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::ownership_not_available, object, attributes) {}
};

class callback_confirm_acquire_cancellation : public object_attributes_record {
public:
  callback_confirm_acquire_cancellation(unsigned object, const brindle::bit_vector& attributes)
      : object_attributes_record(callback_kind::confirm_acquire_cancellation, object, attributes) {}
};

class callback_request_to_take_ownership : public object_attributes_record {
public:
  callback_request_to_take_ownership(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag)
      : object_attributes_record(callback_kind::request_to_take_ownership, object, attributes, &tag) {}
};

class callback_request_to_release_ownership : public object_attributes_record {
public:
  callback_request_to_release_ownership(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag)
      : object_attributes_record(callback_kind::request_to_release_ownership, object, attributes, &tag) {}
};

class callback_start_registration : public class_record {
public:
  explicit callback_start_registration(unsigned object_class)
      : class_record(callback_kind::start_registration, object_class) {}
};

class callback_turn_interactions_on : public class_record {
public:
  explicit callback_turn_interactions_on(unsigned interaction)
      : class_record(callback_kind::turn_interactions_on, interaction) {}
};

class callback_syncpoint_reg_success : public label_record {
public:
  explicit callback_syncpoint_reg_success(const char* label)
      : label_record(callback_kind::syncpoint_reg_success, label) {}
};

class callback_syncpoint_reg_failure : public label_record {
public:
  explicit callback_syncpoint_reg_failure(const char* label)
      : label_record(callback_kind::syncpoint_reg_failure, label) {}
};

class callback_federation_synchronized : public label_record {
public:
  explicit callback_federation_synchronized(const char* label)
      : label_record(callback_kind::federation_synchronized, label) {}
};

class callback_announce_syncpoint : public label_record {
public:
  callback_announce_syncpoint(const char* label, const user_tag& tag)
      : label_record(callback_kind::announce_syncpoint, label, &tag) {}
};

class callback_regulation_enabled : public time_record {
public:
  explicit callback_regulation_enabled(const absolute_time& time)
      : time_record(callback_kind::regulation_enabled, time) {}
};

class callback_constrained_enabled : public time_record {
public:
  explicit callback_constrained_enabled(const absolute_time& time)
      : time_record(callback_kind::constrained_enabled, time) {}
};

class callback_time_advance_grant : public time_record {
public:
  explicit callback_time_advance_grant(const absolute_time& time)
      : time_record(callback_kind::time_advance_grant, time) {}
};

class callback_inform_attribute_ownership : public attribute_record {
public:
  callback_inform_attribute_ownership(unsigned object, unsigned attribute, unsigned owner)
      : attribute_record(callback_kind::inform_attribute_ownership, object, attribute, owner) {}
};

class callback_inform_attribute_is_floating : public attribute_record {
public:
  callback_inform_attribute_is_floating(unsigned object, unsigned attribute)
      : attribute_record(callback_kind::inform_attribute_is_floating, object, attribute) {}
};

class callback_inform_attribute_is_mom : public attribute_record {
public:
  callback_inform_attribute_is_mom(unsigned object, unsigned attribute)
      : attribute_record(callback_kind::inform_attribute_is_mom, object, attribute) {}
};

// "serial/federate"
std::ostream& operator<<(std::ostream& out, const event_retraction_handle& handle);

}  // namespace varnel
