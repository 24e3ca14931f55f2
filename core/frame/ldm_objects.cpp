// The object management services.
#include "frame/local_distribution_manager.h"

#include "fed/fed.h"
#include "frame/ldm_frame.h"
#include "objects/consistency_manager.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "objects/subscription_agent.h"
#include "objects/transport_change_manager.h"
#include "regions/filters.h"
#include "regions/region.h"
#include "transport/transport_manager.h"
#include "time/time_manager.h"
#include "time/event_retraction_handle.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Checks on object handles ask the ddb, which knows the objects.

unsigned local_distribution_manager::register_object_instance(unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.register_object_instance(object_class); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::registerObjectInstance);
  checks().check_class(object_class, frame.name());
  return register_and_announce(object_class, nullptr, {});
}

unsigned local_distribution_manager::register_object_instance(unsigned object_class, const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.register_object_instance(object_class, name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithName);
  check_string(name);
  checks().check_class(object_class, frame.name());
  return register_and_announce(object_class, name, {});
}

// The object's published attributes go out on its class's stream, or their region's, before the
// others hear of it.
unsigned local_distribution_manager::register_and_announce(unsigned object_class, const char* name,
                                                           const region_entries& entries) {
  const unsigned object = objects().register_object(object_class, name);
  bit_vector by_class = database().object_class(object_class)->published;
  for (unsigned i = 0; i < entries.count; ++i) by_class -= *entries.attributes[i];
  subscription_agent& agent = subscriptions();
  if (!by_class.is_empty()) agent.associate_for_updates(object, by_class, agent.get_object_class_spec(object_class));
  for (unsigned i = 0; i < entries.count; ++i)
    agent.associate_for_updates(object, *entries.attributes[i], *entries.regions[i]);
  objects().announce_creation(object);
  return object;
}

void local_distribution_manager::update_attribute_values(unsigned object, const handle_value_set& values,
                                                         const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.update_attribute_values(object, values, tag); })) return;
  service_frame frame(*this, rti_api_call::updateAttributeValues);
  transports().update_attribute_values(object, values, nullptr, tag);
}

event_retraction_handle local_distribution_manager::update_attribute_values(unsigned object,
                                                                            const handle_value_set& values,
                                                                            const absolute_time& time,
                                                                            const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.update_attribute_values(object, values, time, tag); })) return {};
  service_frame frame(*this, rti_api_call::updateAttributeValuesWithTime);
  times().check_time(frame.name(), &time);
  return transports().update_attribute_values(object, values, &time, tag);
}

void local_distribution_manager::send_interaction(unsigned interaction, const handle_value_set& values,
                                                  const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.send_interaction(interaction, values, tag); })) return;
  service_frame frame(*this, rti_api_call::sendInteraction);
  checks().check_interaction(interaction, frame.name());
  transports().send_interaction(interaction, values, nullptr, tag, subscriptions().get_interaction_class_spec(interaction));
}

event_retraction_handle local_distribution_manager::send_interaction(unsigned interaction,
                                                                     const handle_value_set& values,
                                                                     const absolute_time& time, const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.send_interaction(interaction, values, time, tag); })) return {};
  service_frame frame(*this, rti_api_call::sendInteractionWithTime);
  times().check_time(frame.name(), &time);
  checks().check_interaction(interaction, frame.name());
  return transports().send_interaction(interaction, values, &time, tag,
                                       subscriptions().get_interaction_class_spec(interaction));
}

void local_distribution_manager::delete_object_instance(unsigned object, const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.delete_object_instance(object, tag); })) return;
  service_frame frame(*this, rti_api_call::deleteObjectInstance);
  checks().check_local_object(object, frame.name());
  objects().delete_local_object(object, tag, nullptr);
}

event_retraction_handle local_distribution_manager::delete_object_instance(unsigned object, const absolute_time& time,
                                                                           const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.delete_object_instance(object, time, tag); })) return {};
  service_frame frame(*this, rti_api_call::deleteObjectInstanceWithTime);
  times().check_time(frame.name(), &time);
  checks().check_local_object(object, frame.name());
  return objects().delete_local_object(object, tag, &time);
}

void local_distribution_manager::local_delete_object_instance(unsigned object) {
  if (intercepts_->vetoes([&](intercept& i) { i.local_delete_object_instance(object); })) return;
  service_frame frame(*this, rti_api_call::localDeleteObjectInstance);
  checks().check_remote_object(object, frame.name());
  database().remove_object(object);
}

void local_distribution_manager::change_attribute_transportation_type(unsigned object, const bit_vector& attributes,
                                                                      unsigned transport) {
  if (intercepts_->vetoes([&](intercept& i) { i.change_attribute_transportation_type(object, attributes, transport); }))
    return;
  service_frame frame(*this, rti_api_call::changeAttributeTransportationType);
  checks().check_owned_attributes(object, attributes, frame.name());
  checks().check_transport(transport, frame.name());
  transport_changes().change(object, attributes, transport);
}

void local_distribution_manager::change_interaction_transportation_type(unsigned interaction, unsigned transport) {
  if (intercepts_->vetoes([&](intercept& i) { i.change_interaction_transportation_type(interaction, transport); }))
    return;
  service_frame frame(*this, rti_api_call::changeInteractionTransportationType);
  checks().check_interaction(interaction, frame.name());
  checks().check_transport(transport, frame.name());
  database().set_interaction_transport_type(interaction, transport);
}

void local_distribution_manager::request_object_attribute_value_update(unsigned object, const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.request_object_attribute_value_update(object, attributes); })) return;
  service_frame frame(*this, rti_api_call::requestObjectAttributeValueUpdate);
  checks().check_object(object, frame.name());
  check_switch(service_group::queries);
  queries().request_object(object);
}

void local_distribution_manager::request_class_attribute_value_update(unsigned object_class,
                                                                      const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.request_class_attribute_value_update(object_class, attributes); }))
    return;
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdate);
  checks().check_class(object_class, frame.name());
  check_switch(service_group::queries);
  queries().request_class(object_class);
}

}  // namespace varnel
