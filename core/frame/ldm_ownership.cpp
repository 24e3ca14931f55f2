// The ownership management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "objects/ownership_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Every service starts with a check on the object and its attributes, in the ddb; the ownership
// manager's own checks (what is pending) come with the forward.

void local_distribution_manager::unconditional_attribute_ownership_divestiture(unsigned object,
                                                                               const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.unconditional_attribute_ownership_divestiture(object, attributes); }))
    return;
  service_frame frame(*this, rti_api_call::unconditionalAttributeOwnershipDivestiture);
  checks().check_owned_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().divest_immediately(object, attributes);
}

void local_distribution_manager::negotiated_attribute_ownership_divestiture(unsigned object,
                                                                            const bit_vector& attributes,
                                                                            const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.negotiated_attribute_ownership_divestiture(object, attributes, tag); }))
    return;
  service_frame frame(*this, rti_api_call::negotiatedAttributeOwnershipDivestiture);
  checks().check_owned_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().divest(object, attributes, tag);
}

void local_distribution_manager::attribute_ownership_acquisition(unsigned object, const bit_vector& attributes,
                                                                 const user_tag& tag) {
  if (intercepts_->vetoes([&](intercept& i) { i.attribute_ownership_acquisition(object, attributes, tag); })) return;
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisition);
  checks().check_acquirable_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().acquire(object, attributes, tag);
}

void local_distribution_manager::attribute_ownership_acquisition_if_available(unsigned object,
                                                                              const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.attribute_ownership_acquisition_if_available(object, attributes); }))
    return;
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisitionIfAvailable);
  checks().check_acquirable_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().acquire_if_available(object, attributes);
}

bit_vector* local_distribution_manager::attribute_ownership_release_response(unsigned object,
                                                                             const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.attribute_ownership_release_response(object, attributes); }))
    return std::make_unique<bit_vector>().release();
  service_frame frame(*this, rti_api_call::attributeOwnershipReleaseResponse);
  checks().check_owned_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  return ownership().release_response(object, attributes);
}

void local_distribution_manager::cancel_negotiated_attribute_ownership_divestiture(unsigned object,
                                                                                   const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) {
        i.cancel_negotiated_attribute_ownership_divestiture(object, attributes);
      }))
    return;
  service_frame frame(*this, rti_api_call::cancelNegotiatedAttributeOwnershipDivestiture);
  checks().check_owned_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().cancel_divest(object, attributes);
}

void local_distribution_manager::cancel_attribute_ownership_acquisition(unsigned object,
                                                                        const bit_vector& attributes) {
  if (intercepts_->vetoes([&](intercept& i) { i.cancel_attribute_ownership_acquisition(object, attributes); })) return;
  service_frame frame(*this, rti_api_call::cancelAttributeOwnershipAcquisition);
  checks().check_unowned_attributes(object, attributes, frame.name());
  check_switch(service_group::ownership);
  ownership().cancel_acquire(object, attributes);
}

void local_distribution_manager::query_attribute_ownership(unsigned object, unsigned attribute) {
  if (intercepts_->vetoes([&](intercept& i) { i.query_attribute_ownership(object, attribute); })) return;
  service_frame frame(*this, rti_api_call::queryAttributeOwnership);
  checks().check_object_attribute(object, attribute, frame.name());
  check_switch(service_group::ownership);
  ownership().query(object, attribute);
}

bool local_distribution_manager::is_attribute_owned_by_federate(unsigned object, unsigned attribute) {
  if (intercepts_->vetoes([&](intercept& i) { i.is_attribute_owned_by_federate(object, attribute); })) return false;
  service_frame frame(*this, rti_api_call::isAttributeOwnedByFederate);
  checks().check_object_attribute(object, attribute, frame.name());
  check_switch(service_group::ownership);
  return database().is_attribute_local(object, attribute);
}

}  // namespace varnel
