// The ownership management services.
#include "frame/local_distribution_manager.h"

#include "frame/ldm_frame.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Every service starts with a check on the object, in the ddb.

void local_distribution_manager::unconditional_attribute_ownership_divestiture(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::unconditionalAttributeOwnershipDivestiture);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::negotiated_attribute_ownership_divestiture(unsigned, const bit_vector&,
                                                                            const user_tag&) {
  service_frame frame(*this, rti_api_call::negotiatedAttributeOwnershipDivestiture);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::attribute_ownership_acquisition(unsigned, const bit_vector&, const user_tag&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisition);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::attribute_ownership_acquisition_if_available(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisitionIfAvailable);
  frame.unavailable(missing::declaration_database);
}

bit_vector* local_distribution_manager::attribute_ownership_release_response(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipReleaseResponse);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::cancel_negotiated_attribute_ownership_divestiture(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::cancelNegotiatedAttributeOwnershipDivestiture);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::cancel_attribute_ownership_acquisition(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::cancelAttributeOwnershipAcquisition);
  frame.unavailable(missing::declaration_database);
}

void local_distribution_manager::query_attribute_ownership(unsigned, unsigned) {
  service_frame frame(*this, rti_api_call::queryAttributeOwnership);
  frame.unavailable(missing::declaration_database);
}

bool local_distribution_manager::is_attribute_owned_by_federate(unsigned, unsigned) {
  service_frame frame(*this, rti_api_call::isAttributeOwnedByFederate);
  frame.unavailable(missing::declaration_database);
}

}  // namespace varnel
