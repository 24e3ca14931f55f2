// The object management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "time/time_manager.h"
#include "time/event_retraction_handle.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Checks on object handles ask the ddb, which knows the objects.

unsigned local_distribution_manager::register_object_instance(unsigned) {
  service_frame frame(*this, rti_api_call::registerObjectInstance);
  frame.unavailable(missing::object_manager);
}

unsigned local_distribution_manager::register_object_instance(unsigned, const char* name) {
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithName);
  check_string(name);
  frame.unavailable(missing::object_manager);
}

void local_distribution_manager::update_attribute_values(unsigned, const handle_value_set&, const user_tag&) {
  service_frame frame(*this, rti_api_call::updateAttributeValues);
  frame.unavailable(missing::transport_manager);
}

event_retraction_handle local_distribution_manager::update_attribute_values(unsigned, const handle_value_set&,
                                                                            const absolute_time& time,
                                                                            const user_tag&) {
  service_frame frame(*this, rti_api_call::updateAttributeValuesWithTime);
  times().check_time(frame.name(), &time);
  frame.unavailable(missing::transport_manager);
}

void local_distribution_manager::send_interaction(unsigned, const handle_value_set&, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteraction);
  frame.unavailable(missing::transport_manager);
}

event_retraction_handle local_distribution_manager::send_interaction(unsigned, const handle_value_set&,
                                                                     const absolute_time& time, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteractionWithTime);
  times().check_time(frame.name(), &time);
  frame.unavailable(missing::transport_manager);
}

void local_distribution_manager::delete_object_instance(unsigned object, const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstance);
  checks().check_local_object(object, frame.name());
  frame.unavailable(missing::object_manager);
}

event_retraction_handle local_distribution_manager::delete_object_instance(unsigned object, const absolute_time& time,
                                                                           const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstanceWithTime);
  times().check_time(frame.name(), &time);
  checks().check_local_object(object, frame.name());
  frame.unavailable(missing::object_manager);
}

void local_distribution_manager::local_delete_object_instance(unsigned object) {
  service_frame frame(*this, rti_api_call::localDeleteObjectInstance);
  checks().check_remote_object(object, frame.name());
  database().remove_object(object);
}

void local_distribution_manager::change_attribute_transportation_type(unsigned object, const bit_vector& attributes,
                                                                      unsigned transport) {
  service_frame frame(*this, rti_api_call::changeAttributeTransportationType);
  checks().check_owned_attributes(object, attributes, frame.name());
  checks().check_transport(transport, frame.name());
  database().set_transport_type(object, attributes, transport);
}

void local_distribution_manager::change_interaction_transportation_type(unsigned interaction, unsigned transport) {
  service_frame frame(*this, rti_api_call::changeInteractionTransportationType);
  checks().check_interaction(interaction, frame.name());
  checks().check_transport(transport, frame.name());
  database().set_interaction_transport_type(interaction, transport);
}

void local_distribution_manager::request_object_attribute_value_update(unsigned object, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestObjectAttributeValueUpdate);
  checks().check_object(object, frame.name());
  check_switch(service_group::queries);
  frame.unavailable(missing::consistency_manager);
}

void local_distribution_manager::request_class_attribute_value_update(unsigned object_class, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdate);
  checks().check_class(object_class, frame.name());
  check_switch(service_group::queries);
  frame.unavailable(missing::consistency_manager);
}

}  // namespace varnel
