// The object management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"
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
                                                                            const absolute_time&, const user_tag&) {
  service_frame frame(*this, rti_api_call::updateAttributeValuesWithTime);
  frame.unavailable(missing::time_manager);  // checks the time before the transport manager sends
}

void local_distribution_manager::send_interaction(unsigned, const handle_value_set&, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteraction);
  frame.unavailable(missing::transport_manager);
}

event_retraction_handle local_distribution_manager::send_interaction(unsigned, const handle_value_set&,
                                                                     const absolute_time&, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteractionWithTime);
  frame.unavailable(missing::time_manager);  // checks the time before the transport manager sends
}

void local_distribution_manager::delete_object_instance(unsigned, const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstance);
  frame.unavailable(missing::declaration_database);
}

event_retraction_handle local_distribution_manager::delete_object_instance(unsigned, const absolute_time&,
                                                                           const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstanceWithTime);
  frame.unavailable(missing::time_manager);  // checks the time before the object is looked up
}

void local_distribution_manager::local_delete_object_instance(unsigned) {
  service_frame frame(*this, rti_api_call::localDeleteObjectInstance);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::change_attribute_transportation_type(unsigned, const bit_vector&, unsigned) {
  service_frame frame(*this, rti_api_call::changeAttributeTransportationType);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::change_interaction_transportation_type(unsigned interaction, unsigned) {
  service_frame frame(*this, rti_api_call::changeInteractionTransportationType);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::request_object_attribute_value_update(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestObjectAttributeValueUpdate);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::request_class_attribute_value_update(unsigned object_class, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdate);
  checks().check_class(object_class, frame.name());
  check_switch(service_group::queries);
  frame.unavailable(missing::consistency_manager);
}

}  // namespace varnel
