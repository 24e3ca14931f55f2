// The declaration management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "objects/subscription_agent.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// The unpublish and unsubscribe services' own checks ask the ddb.

void local_distribution_manager::publish_object_class(unsigned object_class, const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.publish_object_class(object_class, attributes); })) return;
  service_frame frame(*this, rti_api_call::publishObjectClass);
  checks().check_class_attributes(object_class, attributes, frame.name());
  database().publish_object_class(object_class, attributes);
}

void local_distribution_manager::unpublish_object_class(unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.unpublish_object_class(object_class); })) return;
  service_frame frame(*this, rti_api_call::unpublishObjectClass);
  checks().check_class(object_class, frame.name());
  const object_class_entry* entry = database().object_class(object_class);
  if (!entry)
    throw make_ldm_exception(ldm_error::ObjectClassNotDefined, "Unknown object class %d in unpublishObjectClass",
                             object_class);
  if (!entry->is_published())
    throw make_ldm_exception(ldm_error::ObjectClassNotPublished, "No attributes published in object class %d",
                             object_class);
  database().unpublish_object_class(object_class);
}

void local_distribution_manager::publish_interaction_class(unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.publish_interaction_class(interaction); })) return;
  service_frame frame(*this, rti_api_call::publishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  database().publish_interaction_class(interaction);
}

void local_distribution_manager::unpublish_interaction_class(unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.unpublish_interaction_class(interaction); })) return;
  service_frame frame(*this, rti_api_call::unpublishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  const interaction_class_entry* entry = database().interaction_class(interaction);
  if (!entry)
    throw make_ldm_exception(ldm_error::InteractionClassNotDefined,
                             "Unknown interaction %d in unpublishInteractionClass", interaction);
  if (!entry->published)
    throw make_ldm_exception(ldm_error::InteractionClassNotPublished, "Interaction class %d is not published",
                             interaction);
  database().unpublish_interaction_class(interaction);
}

// Passive subscriptions are served as active ones: nothing here depends on the difference.
void local_distribution_manager::subscribe_object_class_attributes(unsigned object_class, const bit_vector& attributes,
                                                                   bool active) {
  if (intercepts_->vetoes([&](intercept& i) { i.subscribe_object_class_attributes(object_class, attributes, active); }))
    return;
  service_frame frame(*this, rti_api_call::subscribeObjectClassAttributes);
  checks().check_class_attributes(object_class, attributes, frame.name());
  subscription_agent& agent = subscriptions();
  agent.subscribe_object_class_attributes(object_class, attributes, agent.get_object_class_spec(object_class));
}

void local_distribution_manager::unsubscribe_object_class(unsigned object_class) {
  if (intercepts_->vetoes([&](intercept& i) { i.unsubscribe_object_class(object_class); })) return;
  service_frame frame(*this, rti_api_call::unsubscribeObjectClass);
  checks().check_class(object_class, frame.name());
  const object_class_entry* entry = database().object_class(object_class);
  if (!entry)
    throw make_ldm_exception(ldm_error::ObjectClassNotDefined, "Unknown object class %d in unsubscribeObjectClass",
                             object_class);
  if (!entry->is_subscribed())
    throw make_ldm_exception(ldm_error::AttributeNotSubscribed, "No attributes subscribed in object class %d",
                             object_class);
  subscription_agent& agent = subscriptions();
  agent.unsubscribe_object_class(object_class, agent.get_object_class_spec(object_class));
}

void local_distribution_manager::subscribe_interaction_class(unsigned interaction, bool active) {
  if (intercepts_->vetoes([&](intercept& i) { i.subscribe_interaction_class(interaction, active); })) return;
  service_frame frame(*this, rti_api_call::subscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  subscription_agent& agent = subscriptions();
  agent.subscribe_interaction_class(interaction, agent.get_interaction_class_spec(interaction));
}

void local_distribution_manager::unsubscribe_interaction_class(unsigned interaction) {
  if (intercepts_->vetoes([&](intercept& i) { i.unsubscribe_interaction_class(interaction); })) return;
  service_frame frame(*this, rti_api_call::unsubscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  const interaction_class_entry* entry = database().interaction_class(interaction);
  if (!entry)
    throw make_ldm_exception(ldm_error::InteractionClassNotDefined,
                             "Unknown interaction %d in unsubscribeInteractionClass", interaction);
  if (!entry->is_subscribed())
    throw make_ldm_exception(ldm_error::InteractionClassNotSubscribed, "Interaction class %d is not subscribed",
                             interaction);
  subscription_agent& agent = subscriptions();
  agent.unsubscribe_interaction_class(interaction, agent.get_interaction_class_spec(interaction));
}

}  // namespace varnel
