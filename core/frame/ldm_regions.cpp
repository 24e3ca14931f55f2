// The data distribution management services.
#include "frame/local_distribution_manager.h"

#include "fed/fed.h"
#include "frame/ldm_frame.h"
#include "objects/consistency_manager.h"
#include "objects/subscription_agent.h"
#include "regions/region.h"
#include "transport/transport_manager.h"
#include "time/time_manager.h"
#include "time/event_retraction_handle.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* null_array_passed = "NULL attribute set or region array passed";

}  // namespace

region_spec* local_distribution_manager::create_region(unsigned space, unsigned extents) {
  // A vetoed creation has no region to return, and the federate would use a null one.
  if (intercepts_->vetoes([&](intercept& i) { i.create_region(space, extents); }))
    throw ldm_exception(ldm_error::InternalError, "createRegion was vetoed by an intercept");
  service_frame frame(*this, rti_api_call::createRegion);
  checks().check_space(space, frame.name());
  if (extents == 0) throw ldm_exception(ldm_error::InvalidRangeBound, "Zero passed for number of extents");
  check_switch(service_group::regions);
  return &subscriptions().create_region(space, extents);
}

void local_distribution_manager::notify_about_region_modification(region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.notify_about_region_modification(region); })) return;
  service_frame frame(*this, rti_api_call::notifyAboutRegionModification);
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().notify_about_region_modification(*region);
}

void local_distribution_manager::delete_region(region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.delete_region(region); })) return;
  service_frame frame(*this, rti_api_call::deleteRegion);
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().delete_region(*region);
}

void local_distribution_manager::check_region_entries(unsigned object_class, const bit_vector* const attributes[],
                                                      region_spec* const regions[], unsigned count,
                                                      const char* service) const {
  if (count > 0 && (!attributes || !regions)) throw ldm_exception(ldm_error::InternalError, null_array_passed);
  for (unsigned i = 0; i < count; ++i) {
    if (!attributes[i]) throw ldm_exception(ldm_error::InternalError, null_array_passed);
    checks().check_class_attributes(object_class, *attributes[i], service);
  }
  for (unsigned i = 0; i < count; ++i) check_region(regions[i]);
  // A region of another routing space is refused before the object is made.
  if (subscriptions().plan().settings().force_static_spaces)
    for (unsigned i = 0; i < count; ++i) regions[i]->check_attr_assoc(object_class, *attributes[i]);
}

unsigned local_distribution_manager::register_object_instance_with_region(unsigned object_class,
                                                                          const bit_vector* const attributes[],
                                                                          region_spec* const regions[],
                                                                          unsigned count) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.register_object_instance_with_region(object_class, attributes, regions, count);
      }))
    return invalid_handle;
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithRegion);
  check_region_entries(object_class, attributes, regions, count, frame.name());
  check_switch(service_group::regions);
  return register_and_announce(object_class, nullptr, {attributes, regions, count});
}

unsigned local_distribution_manager::register_object_instance_with_region(unsigned object_class, const char* name,
                                                                          const bit_vector* const attributes[],
                                                                          region_spec* const regions[],
                                                                          unsigned count) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.register_object_instance_with_region(object_class, name, attributes, regions, count);
      }))
    return invalid_handle;
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithRegionWithName);
  check_string(name);
  check_region_entries(object_class, attributes, regions, count, frame.name());
  check_switch(service_group::regions);
  return register_and_announce(object_class, name, {attributes, regions, count});
}

void local_distribution_manager::associate_region_for_updates(region_spec* region, unsigned object,
                                                              const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.associate_region_for_updates(region, object, attributes); })) return;
  service_frame frame(*this, rti_api_call::associateRegionForUpdates);
  checks().check_object_attributes(object, attributes, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().associate_for_updates(object, attributes, *region);
}

void local_distribution_manager::unassociate_region_for_updates(region_spec* region, unsigned object) {
  if (intercepts_->vetoes([&](intercept& i) { i.unassociate_region_for_updates(region, object); })) return;
  service_frame frame(*this, rti_api_call::unassociateRegionForUpdates);
  checks().check_object(object, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().unassociate_region_for_updates(object, *region);
}

void local_distribution_manager::subscribe_object_class_attributes_with_region(unsigned object_class,
                                                                               region_spec* region,
                                                                               const bit_vector& attributes, bool active) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.subscribe_object_class_attributes_with_region(object_class, region, attributes, active);
      }))
    return;
  service_frame frame(*this, rti_api_call::subscribeObjectClassAttributesWithRegion);
  checks().check_class_attributes(object_class, attributes, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().subscribe_object_class_attributes(object_class, attributes, *region);
}

void local_distribution_manager::unsubscribe_object_class_with_region(unsigned object_class, region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.unsubscribe_object_class_with_region(object_class, region); })) return;
  service_frame frame(*this, rti_api_call::unsubscribeObjectClassWithRegion);
  checks().check_class(object_class, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  if (!region->object_classes().count(object_class))
    throw make_ldm_exception(ldm_error::AttributeNotSubscribed, "Object class %u is not subscribed with this region",
                             object_class);
  subscriptions().unsubscribe_object_class(object_class, *region);
}

void local_distribution_manager::subscribe_interaction_class_with_region(unsigned interaction, region_spec* region,
                                                                         bool active) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.subscribe_interaction_class_with_region(interaction, region, active);
      }))
    return;
  service_frame frame(*this, rti_api_call::subscribeInteractionClassWithRegion);
  checks().check_interaction(interaction, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  subscriptions().subscribe_interaction_class(interaction, *region);
}

void local_distribution_manager::unsubscribe_interaction_class_with_region(unsigned interaction, region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.unsubscribe_interaction_class_with_region(interaction, region); }))
    return;
  service_frame frame(*this, rti_api_call::unsubscribeInteractionClassWithRegion);
  checks().check_interaction(interaction, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  if (!region->interaction_classes().count(interaction))
    throw make_ldm_exception(ldm_error::InteractionClassNotSubscribed,
                             "Interaction class %u is not subscribed with this region", interaction);
  subscriptions().unsubscribe_interaction_class(interaction, *region);
}

void local_distribution_manager::send_interaction_with_region(unsigned interaction, const handle_value_set& values,
                                                              const user_tag& tag, region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) { i.send_interaction_with_region(interaction, values, tag, region); }))
    return;
  service_frame frame(*this, rti_api_call::sendInteractionWithRegion);
  check_region(region);
  check_switch(service_group::regions);
  checks().check_interaction(interaction, frame.name());
  transports().send_interaction(interaction, values, nullptr, tag, *region);
}

event_retraction_handle local_distribution_manager::send_interaction_with_region(unsigned interaction,
                                                                                 const handle_value_set& values,
                                                                                 const absolute_time& time,
                                                                                 const user_tag& tag,
                                                                                 region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.send_interaction_with_region(interaction, values, time, tag, region);
      }))
    return {};
  service_frame frame(*this, rti_api_call::sendInteractionWithRegionWithTime);
  check_region(region);
  times().check_time(frame.name(), &time);
  check_switch(service_group::regions);
  checks().check_interaction(interaction, frame.name());
  return transports().send_interaction(interaction, values, &time, tag, *region);
}

void local_distribution_manager::request_class_attribute_value_update_with_region(unsigned object_class,
                                                                                  const bit_vector& attributes,
                                                                                  region_spec* region) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.request_class_attribute_value_update_with_region(object_class, attributes, region);
      }))
    return;
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdateWithRegion);
  checks().check_class(object_class, frame.name());
  check_region(region);
  check_switch(service_group::queries);
  check_switch(service_group::regions);
  queries().request_class(object_class);
}

}  // namespace varnel
