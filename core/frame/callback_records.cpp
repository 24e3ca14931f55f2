#include "frame/callback_records.h"

#include <iomanip>
#include <mutex>

#include "messages/handle_value_set.h"
#include "frame/intercept_list.h"
#include "frame/local_distribution_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

struct kind_entry {
  const char* event;
  rti_api_call number;
};

// By callback_kind: the debug event's name and the number the record counts under. The three
// records that may carry a time count under the untimed callback's number either way.
constexpr kind_entry kinds[callback_kind_count] = {
    {"reflectAttributeValues", rti_api_call::reflectAttributeValues},
    {"receiveInteraction", rti_api_call::receiveInteraction},
    {"removeObjectInstance", rti_api_call::removeObjectInstance},
    {"provideAttributeValueUpdate", rti_api_call::provideAttributeValueUpdate},
    {"discoverObjectInstance", rti_api_call::discoverObjectInstance},
    {"startRegistrationForObjectClass", rti_api_call::startRegistrationForObjectClass},
    {"turnInteractionsOn", rti_api_call::turnInteractionsOn},
    {"turnUpdatesOnForObjectInstance", rti_api_call::turnUpdatesOnForObjectInstance},
    {"announceSynchronizationPoint", rti_api_call::announceSynchronizationPoint},
    {"federationSynchronized", rti_api_call::federationSynchronized},
    {"synchronizationPointRegistrationSucceeded", rti_api_call::synchronizationPointRegistrationSucceeded},
    {"synchronizationPointRegistrationFailed", rti_api_call::synchronizationPointRegistrationFailed},
    {"timeRegulationEnabled", rti_api_call::timeRegulationEnabled},
    {"timeConstrainedEnabled", rti_api_call::timeConstrainedEnabled},
    {"timeAdvanceGrant", rti_api_call::timeAdvanceGrant},
    {"requestRetraction", rti_api_call::requestRetraction},
    {"requestAttributeOwnershipAssumption", rti_api_call::requestAttributeOwnershipAssumption},
    {"attributeOwnershipDivestitureNotification", rti_api_call::attributeOwnershipDivestitureNotification},
    {"attributeOwnershipAcquisitionNotification", rti_api_call::attributeOwnershipAcquisitionNotification},
    {"attributeOwnershipUnavailable", rti_api_call::attributeOwnershipUnavailable},
    {"requestAttributeOwnershipRelease", rti_api_call::requestAttributeOwnershipRelease},
    {"confirmAttributeOwnershipAcquisitionCancellation",
     rti_api_call::confirmAttributeOwnershipAcquisitionCancellation},
    {"informAttributeOwnership", rti_api_call::informAttributeOwnership},
    {"attributeIsNotOwned", rti_api_call::attributeIsNotOwned},
    {"attributeOwnedByRTI", rti_api_call::attributeOwnedByRTI},
};

// The first word of a record's printed line, by callback_kind.
constexpr const char* print_names[callback_kind_count] = {
    "update_attribute_values", "send_interaction", "delete_object", "provide_attribute_values",
    "instantiate_discovered_object", "start_registration", "turn_interactions_on", "turn_updates_on",
    "announce_syncpoint", "federation_synchronized", "syncpoint_reg_success", "syncpoint_reg_failure",
    "regulation_enabled", "constrained_enabled", "time_advance_grant", "request_retraction",
    "request_to_take_ownership", "notify_about_ownership_loss", "notify_about_ownership_gain",
    "ownership_not_available", "request_to_release_ownership", "confirm_acquire_cancellation",
    "inform_attribute_ownership", "inform_attribute_is_floating", "inform_attribute_is_mom",
};

const char* print_name(callback_kind kind) { return print_names[static_cast<size_t>(kind)]; }

// The manager's lock is released for the call into the binding and taken again afterwards, also
// when the call throws. Delivery runs inside tick, which holds the lock exactly once.
class binding_call {
public:
  explicit binding_call(local_distribution_manager& ldm) : lock_(ldm.get_lock()) { lock_.unlock(); }
  ~binding_call() { lock_.lock(); }
  binding_call(const binding_call&) = delete;
  binding_call& operator=(const binding_call&) = delete;

private:
  std::recursive_mutex& lock_;
};

// call(target) makes the record's callback on a target: first on every intercept, newest first,
// with the lock held, then, unless one vetoed, on the distribution manager for the binding.
template <class Call>
void deliver_to_binding(local_distribution_manager& ldm, Call call) {
  if (ldm.get_intercepts().vetoes([&](intercept& hook) { call(hook); })) return;
  binding_call unlocked(ldm);
  call(ldm);
}

void print_values(std::ostream& out, const handle_value_set& values, const char* word, bool show_values) {
  out << " transportType=" << values.get_transport_type() << " orderType=" << values.get_order_type() << '\n';
  for (uint32_t i = 0; i < values.size(); ++i) {
    const handle_value_pair& pair = values.get_pair(i);
    out << ' ' << word << '[' << i << "] <name=" << pair.get_handle() << " length=" << pair.get_length();
    if (show_values) {
      out << " value=0x" << std::hex << std::setfill('0');
      for (uint32_t b = 0; b < pair.get_length(); ++b)
        out << std::setw(2) << static_cast<unsigned>(static_cast<unsigned char>(pair.get_data()[b]));
      out << std::dec << std::setfill(' ');
    } else {
      out << " value=XXX";
    }
    out << "> \n";
  }
}

user_tag tag_or_empty(const user_tag* tag) { return tag ? *tag : user_tag(); }

}  // namespace

const char* callback_event_name(callback_kind kind) { return kinds[static_cast<size_t>(kind)].event; }

rti_api_call callback_base::number() const { return kinds[static_cast<size_t>(kind_)].number; }

std::ostream& operator<<(std::ostream& out, const event_retraction_handle& handle) {
  return out << handle.serial << '/' << handle.federate;
}

held_values::held_values(handle_value_set& values) : values_(&values) { values_->up_refcount(); }

held_values::~held_values() { values_->down_refcount(); }

callback_update_attribute_values::callback_update_attribute_values(unsigned object, const char* name,
                                                                   unsigned object_class, unsigned sender,
                                                                   handle_value_set& values,
                                                                   const absolute_time* time,
                                                                   const event_retraction_handle* handle,
                                                                   const user_tag& tag)
    : callback_base(callback_kind::update_attribute_values),
      object_(object),
      name_(name ? name : ""),
      class_(object_class),
      sender_(sender),
      values_(values),
      timing_(time, handle),
      tag_(tag) {}

void callback_update_attribute_values::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    if (timing_.time)
      to.reflect_attribute_values(object_, values_.get(), *timing_.time, tag_, timing_.handle);
    else
      to.reflect_attribute_values(object_, values_.get(), tag_);
  });
}

void callback_update_attribute_values::print(std::ostream& out, bool brief, bool show_values) const {
  out << "update_attribute_values: " << " object_id=" << object_ << " object_name=" << name_
      << " object_class=" << class_ << " sending_federate=" << sender_ << '\n';
  if (brief) return;
  print_values(out, values_.get(), "attr", show_values);
  out << " user_tag=" << tag_ << '\n';
}

callback_send_interaction::callback_send_interaction(unsigned interaction, unsigned sender, handle_value_set& values,
                                                     const absolute_time* time,
                                                     const event_retraction_handle* handle, const user_tag& tag)
    : callback_base(callback_kind::send_interaction),
      interaction_(interaction),
      sender_(sender),
      values_(values),
      timing_(time, handle),
      tag_(tag) {}

void callback_send_interaction::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    if (timing_.time)
      to.receive_interaction(interaction_, values_.get(), *timing_.time, tag_, timing_.handle);
    else
      to.receive_interaction(interaction_, values_.get(), tag_);
  });
}

void callback_send_interaction::print(std::ostream& out, bool brief, bool show_values) const {
  out << "send_interaction: " << " interaction=" << interaction_ << " sending_federate=" << sender_ << '\n';
  if (brief) return;
  print_values(out, values_.get(), "param", show_values);
  out << " user_tag=" << tag_ << '\n';
}

callback_delete_object::callback_delete_object(unsigned object, const char* name, unsigned object_class,
                                               unsigned sender, const absolute_time* time,
                                               const event_retraction_handle* handle, const user_tag& tag)
    : callback_base(callback_kind::delete_object),
      object_(object),
      name_(name ? name : ""),
      class_(object_class),
      sender_(sender),
      timing_(time, handle),
      tag_(tag) {}

void callback_delete_object::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    if (timing_.time)
      to.remove_object_instance(object_, *timing_.time, tag_, timing_.handle);
    else
      to.remove_object_instance(object_, tag_);
  });
}

void callback_delete_object::print(std::ostream& out, bool, bool) const {
  out << "delete_object:" << " object_id=" << object_ << " object_name=" << name_ << " object_class=" << class_
      << " sending_federate=" << sender_ << '\n';
}

callback_instantiate_discovered_object::callback_instantiate_discovered_object(unsigned object,
                                                                               unsigned object_class,
                                                                               const char* name, unsigned sender)
    : callback_base(callback_kind::instantiate_discovered_object),
      object_(object),
      class_(object_class),
      name_(name ? name : ""),
      sender_(sender) {}

void callback_instantiate_discovered_object::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) { to.discover_object_instance(object_, class_, name_.c_str()); });
}

void callback_instantiate_discovered_object::print(std::ostream& out, bool, bool) const {
  out << "instantiate_discovered_object:" << " object_class=" << class_ << " object_id=" << object_
      << " object_name=" << name_ << " sending_federate=" << sender_ << '\n';
}

void class_record::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    if (kind() == callback_kind::start_registration)
      to.start_registration_for_object_class(handle_);
    else
      to.turn_interactions_on(handle_);
  });
}

void class_record::print(std::ostream& out, bool, bool) const {
  const char* field = kind() == callback_kind::start_registration ? " object_class=" : " interaction_class=";
  out << print_name(kind()) << ':' << field << handle_ << '\n';
}

object_attributes_record::object_attributes_record(callback_kind kind, unsigned object, const bit_vector& attributes,
                                                   const user_tag* tag)
    : callback_base(kind), object_(object), attributes_(attributes), tag_(tag_or_empty(tag)) {}

void object_attributes_record::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    switch (kind()) {
      case callback_kind::provide_attribute_values: return to.provide_attribute_value_update(object_, attributes_);
      case callback_kind::turn_updates_on: return to.turn_updates_on_for_object_instance(object_, attributes_);
      case callback_kind::request_to_take_ownership:
        return to.request_attribute_ownership_assumption(object_, attributes_, tag_);
      case callback_kind::notify_about_ownership_loss:
        return to.attribute_ownership_divestiture_notification(object_, attributes_);
      case callback_kind::notify_about_ownership_gain:
        return to.attribute_ownership_acquisition_notification(object_, attributes_);
      case callback_kind::ownership_not_available: return to.attribute_ownership_unavailable(object_, attributes_);
      case callback_kind::request_to_release_ownership:
        return to.request_attribute_ownership_release(object_, attributes_, tag_);
      case callback_kind::confirm_acquire_cancellation:
        return to.confirm_attribute_ownership_acquisition_cancellation(object_, attributes_);
      default: return;
    }
  });
}

void object_attributes_record::print(std::ostream& out, bool brief, bool) const {
  out << print_name(kind()) << ':' << " object_id=" << object_ << '\n';
  if (!brief) out << " attrs:" << attributes_ << '\n';
}

label_record::label_record(callback_kind kind, const char* label, const user_tag* tag)
    : callback_base(kind), label_(label ? label : ""), tag_(tag_or_empty(tag)) {}

void label_record::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    switch (kind()) {
      case callback_kind::syncpoint_reg_success:
        return to.synchronization_point_registration_succeeded(label_.c_str());
      case callback_kind::syncpoint_reg_failure: return to.synchronization_point_registration_failed(label_.c_str());
      case callback_kind::announce_syncpoint: return to.announce_synchronization_point(label_.c_str(), tag_);
      case callback_kind::federation_synchronized: return to.federation_synchronized(label_.c_str());
      default: return;
    }
  });
}

void label_record::print(std::ostream& out, bool, bool) const {
  out << print_name(kind()) << ':' << " label=" << label_;
  if (kind() == callback_kind::announce_syncpoint) out << " tag=" << tag_;
  out << '\n';
}

void time_record::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    switch (kind()) {
      case callback_kind::regulation_enabled: return to.time_regulation_enabled(*time_);
      case callback_kind::constrained_enabled: return to.time_constrained_enabled(*time_);
      case callback_kind::time_advance_grant: return to.time_advance_grant(*time_);
      default: return;
    }
  });
}

void time_record::print(std::ostream& out, bool, bool) const {
  out << print_name(kind()) << ':' << " time=" << time_->printable() << '\n';
}

void callback_request_retraction::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) { to.request_retraction(handle_); });
}

void callback_request_retraction::print(std::ostream& out, bool, bool) const {
  out << "request_retraction:" << " handle=" << handle_ << '\n';
}

void attribute_record::deliver(local_distribution_manager& ldm) {
  deliver_to_binding(ldm, [&](auto& to) {
    switch (kind()) {
      case callback_kind::inform_attribute_ownership:
        return to.inform_attribute_ownership(object_, attribute_, owner_);
      case callback_kind::inform_attribute_is_floating: return to.attribute_is_not_owned(object_, attribute_);
      case callback_kind::inform_attribute_is_mom: return to.attribute_owned_by_rti(object_, attribute_);
      default: return;
    }
  });
}

void attribute_record::print(std::ostream& out, bool, bool) const {
  out << print_name(kind()) << ':' << " object=" << object_ << " attr=" << attribute_;
  if (kind() == callback_kind::inform_attribute_ownership) out << " fed=" << owner_;
  out << '\n';
}

}  // namespace varnel
