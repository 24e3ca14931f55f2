// The support services: names and handles of the joined federation's object model and objects,
// and the advisory switches.
#include "frame/local_distribution_manager.h"

#include "fed/fed.h"
#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "objects/subscription_agent.h"
#include "regions/region.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Names and handles of the object model come from the joined FED.

namespace {

// A handle the model does not know, reported with the service's own code and text.
uint32_t known_handle(uint32_t handle, ldm_error code, const char* format, const char* name) {
  if (handle == invalid_handle) throw make_ldm_exception(code, format, name);
  return handle;
}

const char* known_name(const char* name, ldm_error code, const char* format, unsigned handle) {
  if (!name) throw make_ldm_exception(code, format, handle);
  return name;
}

}  // namespace

unsigned local_distribution_manager::get_object_class_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_object_class_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getObjectClassHandle);
  check_string(name);
  return known_handle(fed().get_object_class_handle(name), ldm_error::NameNotFound,
                      "Unknown class %s in getObjectClassHandle", name);
}

const char* local_distribution_manager::get_object_class_name(unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_object_class_name(object_class); })) return "";
  service_frame frame(*this, rti_api_call::getObjectClassName);
  return known_name(fed().get_object_class_name(object_class), ldm_error::ObjectClassNotDefined,
                    "Unknown class %d in getObjectClassName", object_class);
}

unsigned local_distribution_manager::get_attribute_handle(const char* name, unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_attribute_handle(name, object_class); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getAttributeHandle);
  check_string(name);
  checks().check_class(object_class, frame.name());
  return known_handle(fed().get_attribute_handle(name, object_class), ldm_error::NameNotFound,
                      "Unknown attribute %s in getAttributeHandle", name);
}

const char* local_distribution_manager::get_attribute_name(unsigned attribute, unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_attribute_name(attribute, object_class); })) return "";
  service_frame frame(*this, rti_api_call::getAttributeName);
  checks().check_class(object_class, frame.name());
  return known_name(fed().get_attribute_name(attribute, object_class), ldm_error::AttributeNotDefined,
                    "Unknown attribute %d in getAttributeName", attribute);
}

unsigned local_distribution_manager::get_interaction_class_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_interaction_class_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getInteractionClassHandle);
  check_string(name);
  return known_handle(fed().get_interaction_class_handle(name), ldm_error::NameNotFound,
                      "Unknown interaction %s in getInteractionClassHandle", name);
}

const char* local_distribution_manager::get_interaction_class_name(unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_interaction_class_name(interaction); })) return "";
  service_frame frame(*this, rti_api_call::getInteractionClassName);
  return known_name(fed().get_interaction_class_name(interaction), ldm_error::InteractionClassNotDefined,
                    "Unknown interaction %d in getInteractionClassName", interaction);
}

unsigned local_distribution_manager::get_parameter_handle(const char* name, unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_parameter_handle(name, interaction); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getParameterHandle);
  check_string(name);
  checks().check_interaction(interaction, frame.name());
  return known_handle(fed().get_parameter_handle(name, interaction), ldm_error::NameNotFound,
                      "Unknown parameter %s in getParameterHandle", name);
}

const char* local_distribution_manager::get_parameter_name(unsigned parameter, unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_parameter_name(parameter, interaction); })) return "";
  service_frame frame(*this, rti_api_call::getParameterName);
  checks().check_interaction(interaction, frame.name());
  return known_name(fed().get_parameter_name(parameter, interaction), ldm_error::InteractionParameterNotDefined,
                    "Unknown parameter %d in getParameterName", parameter);
}

unsigned local_distribution_manager::get_object_instance_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_object_instance_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getObjectInstanceHandle);
  check_string(name);
  const object_entry* entry = database().object_named(name);
  if (!entry)
    throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Unknown object %s in getObjectInstanceHandle", name);
  return entry->handle;
}

const char* local_distribution_manager::get_object_instance_name(unsigned object) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_object_instance_name(object); })) return "";
  service_frame frame(*this, rti_api_call::getObjectInstanceName);
  const object_entry* entry = database().object(object);
  if (!entry)
    throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Unknown object %d in getObjectInstanceName", object);
  return entry->name.c_str();
}

unsigned local_distribution_manager::get_routing_space_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_routing_space_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getRoutingSpaceHandle);
  check_string(name);
  return known_handle(fed().get_routing_space_handle(name), ldm_error::NameNotFound,
                      "Unknown space %s in getRoutingSpaceHandle", name);
}

const char* local_distribution_manager::get_routing_space_name(unsigned space) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_routing_space_name(space); })) return "";
  service_frame frame(*this, rti_api_call::getRoutingSpaceName);
  return known_name(fed().get_routing_space_name(space), ldm_error::InvalidSpaceHandle,
                    "Unknown space %d in getRoutingSpaceName", space);
}

unsigned local_distribution_manager::get_dimension_handle(const char* name, unsigned space) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_dimension_handle(name, space); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getDimensionHandle);
  check_string(name);
  checks().check_space(space, frame.name());
  return known_handle(fed().get_dimension_handle(name, space), ldm_error::NameNotFound,
                      "Unknown dimension %s in getDimensionHandle", name);
}

const char* local_distribution_manager::get_dimension_name(unsigned dimension, unsigned space) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_dimension_name(dimension, space); })) return "";
  service_frame frame(*this, rti_api_call::getDimensionName);
  checks().check_space(space, frame.name());
  return known_name(fed().get_dimension_name(dimension, space), ldm_error::InvalidDimensionHandle,
                    "Unknown dimension %d in getDimensionName", dimension);
}

unsigned local_distribution_manager::get_attribute_routing_space_handle(unsigned attribute, unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_attribute_routing_space_handle(attribute, object_class); }))
    return invalid_handle;
  service_frame frame(*this, rti_api_call::getAttributeRoutingSpaceHandle);
  checks().check_class_attribute(object_class, attribute, frame.name());
  return fed().get_routing_space(attribute, object_class);
}

unsigned local_distribution_manager::get_object_instance_class(unsigned object) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_object_instance_class(object); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getObjectClass);
  const object_entry* entry = database().object(object);
  if (!entry) throw make_ldm_exception(ldm_error::ObjectInstanceNotKnown, "Unknown object %d in getObjectClass", object);
  return entry->object_class->handle;
}

unsigned local_distribution_manager::get_interaction_routing_space_handle(unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_interaction_routing_space_handle(interaction); }))
    return invalid_handle;
  service_frame frame(*this, rti_api_call::getInteractionRoutingSpaceHandle);
  checks().check_interaction(interaction, frame.name());
  return fed().get_interaction_routing_space(interaction);
}

unsigned local_distribution_manager::get_transportation_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_transportation_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getTransportationHandle);
  check_string(name);
  return known_handle(fed().get_transport_id(name), ldm_error::InvalidTransportationName,
                      "Unknown transport %s in getTransportationHandle", name);
}

const char* local_distribution_manager::get_transportation_name(unsigned transport) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_transportation_name(transport); })) return "";
  service_frame frame(*this, rti_api_call::getTransportationName);
  return known_name(fed().get_transport_name(transport), ldm_error::InvalidTransportationType,
                    "Unknown transport %d in getTransportationName", transport);
}

unsigned local_distribution_manager::get_ordering_handle(const char* name) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_ordering_handle(name); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getOrderingHandle);
  check_string(name);
  return known_handle(fed().get_order_id(name), ldm_error::InvalidOrderName, "Unknown order %s in getOrderingHandle",
                      name);
}

const char* local_distribution_manager::get_ordering_name(unsigned order) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_ordering_name(order); })) return "";
  service_frame frame(*this, rti_api_call::getOrderingName);
  return known_name(fed().get_order_name(order), ldm_error::InvalidOrderType, "Unknown order %d in getOrderingName",
                    order);
}

unsigned local_distribution_manager::get_region_token(region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_region_token(region); })) return invalid_handle;
  service_frame frame(*this, rti_api_call::getRegionToken);
  check_region(region);
  return region->get_token();
}

region_spec* local_distribution_manager::get_region(unsigned token) {
  if (intercepts_->vetoes([&](intercept& i) { i.get_region(token); })) return nullptr;
  service_frame frame(*this, rti_api_call::getRegion);
  region_spec* region = subscriptions().get_region(token);
  if (!region) throw make_ldm_exception(ldm_error::InvalidRegion, "Can't find region for token %u", token);
  return region;
}

void local_distribution_manager::enable_class_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_class_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::enableClassRelevanceAdvisorySwitch);
  database().class_relevance = true;
}

void local_distribution_manager::disable_class_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_class_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::disableClassRelevanceAdvisorySwitch);
  database().class_relevance = false;
}

void local_distribution_manager::enable_attribute_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_attribute_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::enableAttributeRelevanceAdvisorySwitch);
  database().attribute_relevance = true;
}

void local_distribution_manager::disable_attribute_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_attribute_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::disableAttributeRelevanceAdvisorySwitch);
  database().attribute_relevance = false;
}

// Attribute scope advisories are always sent, so both switch calls are accepted and change nothing.
void local_distribution_manager::enable_attribute_scope_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_attribute_scope_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::enableAttributeScopeAdvisorySwitch);
}

void local_distribution_manager::disable_attribute_scope_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_attribute_scope_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::disableAttributeScopeAdvisorySwitch);
}

void local_distribution_manager::enable_interaction_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_interaction_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::enableInteractionRelevanceAdvisorySwitch);
  database().interaction_relevance = true;
}

void local_distribution_manager::disable_interaction_relevance_advisory_switch() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_interaction_relevance_advisory_switch(); })) return;
  service_frame frame(*this, rti_api_call::disableInteractionRelevanceAdvisorySwitch);
  database().interaction_relevance = false;
}

}  // namespace varnel
