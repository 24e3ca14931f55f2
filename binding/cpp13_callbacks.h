// The level of the binding's distribution manager that delivers callbacks: each of the manager's
// 42 callback operations becomes the matching call on the joined federate's FederateAmbassador,
// with the manager's values shown through temporary rti13 wrappers for the call only. Whatever
// the federate throws stays here, so the manager's callback queue always sees a delivery.
#pragma once

#include "RTI.hh"
#include "cpp13_time_factories.h"

namespace varnel {
struct event_retraction_handle;
}  // namespace varnel

namespace halden13 {

// The manager's retraction handle as the interface's: serial number, then sending federate.
rti13::EventRetractionHandle to_rti13_handle(const varnel::event_retraction_handle& handle);

class cpp13_callbacks : public cpp13_time_factories {
public:
  explicit cpp13_callbacks(const char* api_name) : cpp13_time_factories(api_name) {}

  // The federate that receives the callbacks; null drops every callback unseen.
  rti13::FederateAmbassador* get_federate_ambassador() const { return federate_ambassador_; }
  void set_federate_ambassador(rti13::FederateAmbassador* ambassador) { federate_ambassador_ = ambassador; }

  void synchronization_point_registration_succeeded(const char* label) override;
  void synchronization_point_registration_failed(const char* label) override;
  void announce_synchronization_point(const char* label, const varnel::user_tag& tag) override;
  void federation_synchronized(const char* label) override;
  void initiate_federate_save(const char* label) override;
  void federation_saved() override;
  void federation_not_saved() override;
  void request_federation_restore_succeeded(const char* label) override;
  void request_federation_restore_failed(const char* label, const char* reason) override;
  void federation_restore_begun() override;
  void initiate_federate_restore(const char* label, unsigned federate) override;
  void federation_restored() override;
  void federation_not_restored() override;
  void start_registration_for_object_class(unsigned object_class) override;
  void stop_registration_for_object_class(unsigned object_class) override;
  void turn_interactions_on(unsigned interaction) override;
  void turn_interactions_off(unsigned interaction) override;
  void discover_object_instance(unsigned object, unsigned object_class, const char* name) override;
  void reflect_attribute_values(unsigned object, const varnel::handle_value_set& values, const varnel::user_tag& tag) override;
  void reflect_attribute_values(unsigned object, const varnel::handle_value_set& values, const varnel::absolute_time& time,
                                const varnel::user_tag& tag, const varnel::event_retraction_handle& handle) override;
  void receive_interaction(unsigned interaction, const varnel::handle_value_set& values, const varnel::user_tag& tag) override;
  void receive_interaction(unsigned interaction, const varnel::handle_value_set& values, const varnel::absolute_time& time,
                           const varnel::user_tag& tag, const varnel::event_retraction_handle& handle) override;
  void remove_object_instance(unsigned object, const varnel::user_tag& tag) override;
  void remove_object_instance(unsigned object, const varnel::absolute_time& time, const varnel::user_tag& tag,
                              const varnel::event_retraction_handle& handle) override;
  void attributes_in_scope(unsigned object, const brindle::bit_vector& attributes) override;
  void attributes_out_of_scope(unsigned object, const brindle::bit_vector& attributes) override;
  void provide_attribute_value_update(unsigned object, const brindle::bit_vector& attributes) override;
  void turn_updates_on_for_object_instance(unsigned object, const brindle::bit_vector& attributes) override;
  void turn_updates_off_for_object_instance(unsigned object, const brindle::bit_vector& attributes) override;
  void request_attribute_ownership_assumption(unsigned object, const brindle::bit_vector& attributes,
                                              const varnel::user_tag& tag) override;
  void attribute_ownership_divestiture_notification(unsigned object, const brindle::bit_vector& attributes) override;
  void attribute_ownership_acquisition_notification(unsigned object, const brindle::bit_vector& attributes) override;
  void attribute_ownership_unavailable(unsigned object, const brindle::bit_vector& attributes) override;
  void request_attribute_ownership_release(unsigned object, const brindle::bit_vector& attributes,
                                           const varnel::user_tag& tag) override;
  void confirm_attribute_ownership_acquisition_cancellation(unsigned object, const brindle::bit_vector& attributes) override;
  void inform_attribute_ownership(unsigned object, unsigned attribute, unsigned federate) override;
  void attribute_is_not_owned(unsigned object, unsigned attribute) override;
  void attribute_owned_by_rti(unsigned object, unsigned attribute) override;
  void time_regulation_enabled(const varnel::absolute_time& time) override;
  void time_constrained_enabled(const varnel::absolute_time& time) override;
  void time_advance_grant(const varnel::absolute_time& time) override;
  void request_retraction(const varnel::event_retraction_handle& handle) override;

private:
  // Calls deliver(ambassador) when an ambassador is stored, containing what it throws.
  template <typename Deliver>
  void to_federate(Deliver deliver);

  rti13::FederateAmbassador* federate_ambassador_ = nullptr;
};

}  // namespace halden13
