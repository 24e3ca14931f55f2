// Hooks that see every service call and every callback of a distribution manager before the
// core acts on it. A plug-in derives from intercept (or from pass_through_intercept, which lets
// everything through, and overrides what it watches) and lists it with add_intercept.
//
// Each operation is named and typed as the distribution manager's service or callback it
// shadows and returns nothing. An operation may
//   - return: the next intercept runs, and after the last one the call proceeds;
//   - throw ldm_exception with code None: a veto; a service returns at once without doing
//     anything (a service with a result returns a neutral one: no handle, an empty name, no
//     retraction handle), a callback is not given to the federate;
//   - throw ldm_exception with another code: the service's caller receives it, and no later
//     intercept runs;
//   - throw anything else: "  Unknown Plugin Exception Received" is printed and the next
//     intercept runs.
// Service operations run before the distribution manager's lock is taken; callback operations
// run inside tick with it held, before the lock is released for the federate's callback.
#pragma once

#include "frame/varnel_export.h"

namespace brindle {
class bit_vector;
}  // namespace brindle

namespace varnel {

class absolute_time;
class relative_time;
class user_tag;
class handle_value_set;
class region_spec;
class federate_handle_set;
struct event_retraction_handle;

// The operations in slot order: the services, the eight advisory switches, the region token
// lookups and the two ticks, then the 42 callbacks. X(name, (parameters)) for each; this one list
// declares intercept and defines pass_through_intercept.
#define VARNEL_INTERCEPT_SERVICES(X)                                                                                   \
  X(create_federation_execution, (const char* federation, const char* fed_file))                                       \
  X(destroy_federation_execution, (const char* federation))                                                            \
  X(join_federation_execution, (const char* federate, const char* federation))                                         \
  X(resign_federation_execution, (bool cancel_acquisitions, bool delete_objects, bool release_attributes))             \
  X(register_federation_synchronization_point,                                                                         \
    (const char* label, const user_tag& tag, const federate_handle_set& federates))                                    \
  X(register_federation_synchronization_point, (const char* label, const user_tag& tag))                               \
  X(synchronization_point_achieved, (const char* label))                                                               \
  X(request_federation_save, (const char* label))                                                                      \
  X(request_federation_save, (const char* label, const absolute_time& time))                                           \
  X(federate_save_begun, ())                                                                                           \
  X(federate_save_complete, ())                                                                                        \
  X(federate_save_not_complete, ())                                                                                    \
  X(request_federation_restore, (const char* label))                                                                   \
  X(federate_restore_complete, ())                                                                                     \
  X(federate_restore_not_complete, ())                                                                                 \
  X(publish_object_class, (unsigned object_class, const brindle::bit_vector& attributes))                              \
  X(unpublish_object_class, (unsigned object_class))                                                                   \
  X(publish_interaction_class, (unsigned interaction))                                                                 \
  X(unpublish_interaction_class, (unsigned interaction))                                                               \
  X(subscribe_object_class_attributes, (unsigned object_class, const brindle::bit_vector& attributes, bool active))    \
  X(unsubscribe_object_class, (unsigned object_class))                                                                 \
  X(subscribe_interaction_class, (unsigned interaction, bool active))                                                  \
  X(unsubscribe_interaction_class, (unsigned interaction))                                                             \
  X(register_object_instance, (unsigned object_class))                                                                 \
  X(register_object_instance, (unsigned object_class, const char* name))                                               \
  X(update_attribute_values, (unsigned object, const handle_value_set& values, const user_tag& tag))                   \
  X(update_attribute_values,                                                                                           \
    (unsigned object, const handle_value_set& values, const absolute_time& time, const user_tag& tag))                 \
  X(send_interaction, (unsigned interaction, const handle_value_set& values, const user_tag& tag))                     \
  X(send_interaction,                                                                                                  \
    (unsigned interaction, const handle_value_set& values, const absolute_time& time, const user_tag& tag))            \
  X(delete_object_instance, (unsigned object, const user_tag& tag))                                                    \
  X(delete_object_instance, (unsigned object, const absolute_time& time, const user_tag& tag))                         \
  X(local_delete_object_instance, (unsigned object))                                                                   \
  X(change_attribute_transportation_type,                                                                              \
    (unsigned object, const brindle::bit_vector& attributes, unsigned transport))                                      \
  X(change_interaction_transportation_type, (unsigned interaction, unsigned transport))                                \
  X(request_object_attribute_value_update, (unsigned object, const brindle::bit_vector& attributes))                   \
  X(request_class_attribute_value_update, (unsigned object_class, const brindle::bit_vector& attributes))              \
  X(unconditional_attribute_ownership_divestiture, (unsigned object, const brindle::bit_vector& attributes))           \
  X(negotiated_attribute_ownership_divestiture,                                                                        \
    (unsigned object, const brindle::bit_vector& attributes, const user_tag& tag))                                     \
  X(attribute_ownership_acquisition, (unsigned object, const brindle::bit_vector& attributes, const user_tag& tag))    \
  X(attribute_ownership_acquisition_if_available, (unsigned object, const brindle::bit_vector& attributes))            \
  X(attribute_ownership_release_response, (unsigned object, const brindle::bit_vector& attributes))                    \
  X(cancel_negotiated_attribute_ownership_divestiture, (unsigned object, const brindle::bit_vector& attributes))       \
  X(cancel_attribute_ownership_acquisition, (unsigned object, const brindle::bit_vector& attributes))                  \
  X(query_attribute_ownership, (unsigned object, unsigned attribute))                                                  \
  X(is_attribute_owned_by_federate, (unsigned object, unsigned attribute))                                             \
  X(enable_time_regulation, (const absolute_time& time, const relative_time& lookahead))                               \
  X(disable_time_regulation, ())                                                                                       \
  X(enable_time_constrained, ())                                                                                       \
  X(disable_time_constrained, ())                                                                                      \
  X(time_advance_request, (const absolute_time& time))                                                                 \
  X(time_advance_request_available, (const absolute_time& time))                                                       \
  X(next_event_request, (const absolute_time& time))                                                                   \
  X(next_event_request_available, (const absolute_time& time))                                                         \
  X(flush_queue_request, (const absolute_time& time))                                                                  \
  X(enable_asynchronous_delivery, ())                                                                                  \
  X(disable_asynchronous_delivery, ())                                                                                 \
  X(query_lbts, (absolute_time& out))                                                                                  \
  X(query_federate_time, (absolute_time& out))                                                                         \
  X(query_min_next_event_time, (absolute_time& out))                                                                   \
  X(modify_lookahead, (const relative_time& lookahead))                                                                \
  X(query_lookahead, (relative_time& out))                                                                             \
  X(do_retract, (const event_retraction_handle& handle))                                                               \
  X(change_attribute_order_type, (unsigned object, const brindle::bit_vector& attributes, unsigned order))             \
  X(change_interaction_order_type, (unsigned interaction, unsigned order))                                             \
  X(create_region, (unsigned space, unsigned extents))                                                                 \
  X(notify_about_region_modification, (region_spec* region))                                                           \
  X(delete_region, (region_spec* region))                                                                              \
  X(register_object_instance_with_region, (unsigned object_class, const brindle::bit_vector* const attributes[],       \
                                           region_spec* const regions[], unsigned count))                              \
  X(register_object_instance_with_region,                                                                              \
    (unsigned object_class, const char* name, const brindle::bit_vector* const attributes[],                           \
     region_spec* const regions[], unsigned count))                                                                    \
  X(associate_region_for_updates, (region_spec* region, unsigned object, const brindle::bit_vector& attributes))       \
  X(unassociate_region_for_updates, (region_spec* region, unsigned object))                                            \
  X(subscribe_object_class_attributes_with_region,                                                                     \
    (unsigned object_class, region_spec* region, const brindle::bit_vector& attributes, bool active))                  \
  X(unsubscribe_object_class_with_region, (unsigned object_class, region_spec* region))                                \
  X(subscribe_interaction_class_with_region, (unsigned interaction, region_spec* region, bool active))                 \
  X(unsubscribe_interaction_class_with_region, (unsigned interaction, region_spec* region))                            \
  X(send_interaction_with_region,                                                                                      \
    (unsigned interaction, const handle_value_set& values, const user_tag& tag, region_spec* region))                  \
  X(send_interaction_with_region, (unsigned interaction, const handle_value_set& values, const absolute_time& time,    \
                                   const user_tag& tag, region_spec* region))                                          \
  X(request_class_attribute_value_update_with_region,                                                                  \
    (unsigned object_class, const brindle::bit_vector& attributes, region_spec* region))                               \
  X(get_object_class_handle, (const char* name))                                                                       \
  X(get_object_class_name, (unsigned object_class))                                                                    \
  X(get_attribute_handle, (const char* name, unsigned object_class))                                                   \
  X(get_attribute_name, (unsigned attribute, unsigned object_class))                                                   \
  X(get_interaction_class_handle, (const char* name))                                                                  \
  X(get_interaction_class_name, (unsigned interaction))                                                                \
  X(get_parameter_handle, (const char* name, unsigned interaction))                                                    \
  X(get_parameter_name, (unsigned parameter, unsigned interaction))                                                    \
  X(get_object_instance_handle, (const char* name))                                                                    \
  X(get_object_instance_name, (unsigned object))                                                                       \
  X(get_routing_space_handle, (const char* name))                                                                      \
  X(get_routing_space_name, (unsigned space))                                                                          \
  X(get_dimension_handle, (const char* name, unsigned space))                                                          \
  X(get_dimension_name, (unsigned dimension, unsigned space))                                                          \
  X(get_attribute_routing_space_handle, (unsigned attribute, unsigned object_class))                                   \
  X(get_object_instance_class, (unsigned object))                                                                      \
  X(get_interaction_routing_space_handle, (unsigned interaction))                                                      \
  X(get_transportation_handle, (const char* name))                                                                     \
  X(get_transportation_name, (unsigned transport))                                                                     \
  X(get_ordering_handle, (const char* name))                                                                           \
  X(get_ordering_name, (unsigned order))                                                                               \
  X(enable_class_relevance_advisory_switch, ())                                                                        \
  X(disable_class_relevance_advisory_switch, ())                                                                       \
  X(enable_attribute_relevance_advisory_switch, ())                                                                    \
  X(disable_attribute_relevance_advisory_switch, ())                                                                   \
  X(enable_attribute_scope_advisory_switch, ())                                                                        \
  X(disable_attribute_scope_advisory_switch, ())                                                                       \
  X(enable_interaction_relevance_advisory_switch, ())                                                                  \
  X(disable_interaction_relevance_advisory_switch, ())                                                                 \
  X(get_region_token, (region_spec* region))                                                                           \
  X(get_region, (unsigned token))                                                                                      \
  X(tick, (double min_seconds, double max_seconds))                                                                    \
  X(tick, ())

#define VARNEL_INTERCEPT_CALLBACKS(X)                                                                                  \
  X(synchronization_point_registration_succeeded, (const char* label))                                                 \
  X(synchronization_point_registration_failed, (const char* label))                                                    \
  X(announce_synchronization_point, (const char* label, const user_tag& tag))                                          \
  X(federation_synchronized, (const char* label))                                                                      \
  X(initiate_federate_save, (const char* label))                                                                       \
  X(federation_saved, ())                                                                                              \
  X(federation_not_saved, ())                                                                                          \
  X(request_federation_restore_succeeded, (const char* label))                                                         \
  X(request_federation_restore_failed, (const char* label, const char* reason))                                        \
  X(federation_restore_begun, ())                                                                                      \
  X(initiate_federate_restore, (const char* label, unsigned federate))                                                 \
  X(federation_restored, ())                                                                                           \
  X(federation_not_restored, ())                                                                                       \
  X(start_registration_for_object_class, (unsigned object_class))                                                      \
  X(stop_registration_for_object_class, (unsigned object_class))                                                       \
  X(turn_interactions_on, (unsigned interaction))                                                                      \
  X(turn_interactions_off, (unsigned interaction))                                                                     \
  X(discover_object_instance, (unsigned object, unsigned object_class, const char* name))                              \
  X(reflect_attribute_values, (unsigned object, const handle_value_set& values, const user_tag& tag))                  \
  X(reflect_attribute_values, (unsigned object, const handle_value_set& values, const absolute_time& time,             \
                               const user_tag& tag, const event_retraction_handle& handle))                            \
  X(receive_interaction, (unsigned interaction, const handle_value_set& values, const user_tag& tag))                  \
  X(receive_interaction, (unsigned interaction, const handle_value_set& values, const absolute_time& time,             \
                          const user_tag& tag, const event_retraction_handle& handle))                                 \
  X(remove_object_instance, (unsigned object, const user_tag& tag))                                                    \
  X(remove_object_instance,                                                                                            \
    (unsigned object, const absolute_time& time, const user_tag& tag, const event_retraction_handle& handle))          \
  X(attributes_in_scope, (unsigned object, const brindle::bit_vector& attributes))                                     \
  X(attributes_out_of_scope, (unsigned object, const brindle::bit_vector& attributes))                                 \
  X(provide_attribute_value_update, (unsigned object, const brindle::bit_vector& attributes))                          \
  X(turn_updates_on_for_object_instance, (unsigned object, const brindle::bit_vector& attributes))                     \
  X(turn_updates_off_for_object_instance, (unsigned object, const brindle::bit_vector& attributes))                    \
  X(request_attribute_ownership_assumption,                                                                            \
    (unsigned object, const brindle::bit_vector& attributes, const user_tag& tag))                                     \
  X(attribute_ownership_divestiture_notification, (unsigned object, const brindle::bit_vector& attributes))            \
  X(attribute_ownership_acquisition_notification, (unsigned object, const brindle::bit_vector& attributes))            \
  X(attribute_ownership_unavailable, (unsigned object, const brindle::bit_vector& attributes))                         \
  X(request_attribute_ownership_release, (unsigned object, const brindle::bit_vector& attributes, const user_tag& tag)) \
  X(confirm_attribute_ownership_acquisition_cancellation, (unsigned object, const brindle::bit_vector& attributes))    \
  X(inform_attribute_ownership, (unsigned object, unsigned attribute, unsigned federate))                              \
  X(attribute_is_not_owned, (unsigned object, unsigned attribute))                                                     \
  X(attribute_owned_by_rti, (unsigned object, unsigned attribute))                                                     \
  X(time_regulation_enabled, (const absolute_time& time))                                                              \
  X(time_constrained_enabled, (const absolute_time& time))                                                             \
  X(time_advance_grant, (const absolute_time& time))                                                                   \
  X(request_retraction, (const event_retraction_handle& handle))

#define VARNEL_INTERCEPT_OPERATIONS(X) VARNEL_INTERCEPT_SERVICES(X) VARNEL_INTERCEPT_CALLBACKS(X)

class VARNEL_EXPORT intercept {
public:
  virtual ~intercept();

#define VARNEL_INTERCEPT_PURE(name, parameters) virtual void name parameters = 0;
  VARNEL_INTERCEPT_OPERATIONS(VARNEL_INTERCEPT_PURE)
#undef VARNEL_INTERCEPT_PURE
};

// Lets every call through: a hook that watches a few calls overrides only those.
class VARNEL_EXPORT pass_through_intercept : public intercept {
public:
#define VARNEL_INTERCEPT_PASS(name, parameters) void name parameters override;
  VARNEL_INTERCEPT_OPERATIONS(VARNEL_INTERCEPT_PASS)
#undef VARNEL_INTERCEPT_PASS
};

}  // namespace varnel
