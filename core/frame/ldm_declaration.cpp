// The declaration management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// The unpublish and unsubscribe services' own checks ask the ddb.

void local_distribution_manager::publish_object_class(unsigned object_class, const bit_vector& attributes) {
  service_frame frame(*this, rti_api_call::publishObjectClass);
  checks().check_class_attributes(object_class, attributes, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::unpublish_object_class(unsigned object_class) {
  service_frame frame(*this, rti_api_call::unpublishObjectClass);
  checks().check_class(object_class, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::publish_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::publishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::unpublish_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::unpublishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::subscribe_object_class_attributes(unsigned object_class, const bit_vector& attributes,
                                                                   bool) {
  service_frame frame(*this, rti_api_call::subscribeObjectClassAttributes);
  checks().check_class_attributes(object_class, attributes, frame.name());
  frame.unavailable(missing::subscription_agent);
}

void local_distribution_manager::unsubscribe_object_class(unsigned object_class) {
  service_frame frame(*this, rti_api_call::unsubscribeObjectClass);
  checks().check_class(object_class, frame.name());
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::subscribe_interaction_class(unsigned interaction, bool) {
  service_frame frame(*this, rti_api_call::subscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(missing::subscription_agent);
}

void local_distribution_manager::unsubscribe_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::unsubscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(missing::declaration_database);
}

}  // namespace varnel
