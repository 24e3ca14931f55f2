// The time management services.
#include "frame/local_distribution_manager.h"

#include "frame/joined_managers.h"
#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "time/event_retraction_handle.h"
#include "time/retraction_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

void local_distribution_manager::switched_service(rti_api_call call, service_group group, const char* manager) {
  service_frame frame(*this, call);
  check_switch(group);
  frame.unavailable(manager);
}

void local_distribution_manager::enable_time_regulation(const absolute_time&, const relative_time&) {
  switched_service(rti_api_call::enableTimeRegulation, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::disable_time_regulation() {
  switched_service(rti_api_call::disableTimeRegulation, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::enable_time_constrained() {
  switched_service(rti_api_call::enableTimeConstrained, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::disable_time_constrained() {
  switched_service(rti_api_call::disableTimeConstrained, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::time_advance_request(const absolute_time&) {
  switched_service(rti_api_call::timeAdvanceRequest, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::time_advance_request_available(const absolute_time&) {
  switched_service(rti_api_call::timeAdvanceRequestAvailable, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::next_event_request(const absolute_time&) {
  switched_service(rti_api_call::nextEventRequest, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::next_event_request_available(const absolute_time&) {
  switched_service(rti_api_call::nextEventRequestAvailable, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::flush_queue_request(const absolute_time&) {
  switched_service(rti_api_call::flushQueueRequest, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::enable_asynchronous_delivery() {
  switched_service(rti_api_call::enableAsynchronousDelivery, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::disable_asynchronous_delivery() {
  switched_service(rti_api_call::disableAsynchronousDelivery, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::query_lbts(absolute_time&) {
  switched_service(rti_api_call::queryLBTS, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::query_federate_time(absolute_time&) {
  switched_service(rti_api_call::queryFederateTime, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::query_min_next_event_time(absolute_time&) {
  switched_service(rti_api_call::queryMinNextEventTime, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::modify_lookahead(const relative_time&) {
  switched_service(rti_api_call::modifyLookahead, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::query_lookahead(relative_time&) {
  switched_service(rti_api_call::queryLookahead, service_group::timeadvance, missing::time_manager);
}

void local_distribution_manager::do_retract(const event_retraction_handle& handle) {
  service_frame frame(*this, rti_api_call::retract);
  check_switch(service_group::timeadvance);
  joined_->retractions().retract(handle);
}

void local_distribution_manager::change_attribute_order_type(unsigned object, const bit_vector& attributes,
                                                             unsigned order) {
  service_frame frame(*this, rti_api_call::changeAttributeOrderType);
  checks().check_owned_attributes(object, attributes, frame.name());
  checks().check_order(order, frame.name());
  database().set_order_type(object, attributes, order);
}

void local_distribution_manager::change_interaction_order_type(unsigned interaction, unsigned order) {
  service_frame frame(*this, rti_api_call::changeInteractionOrderType);
  checks().check_interaction(interaction, frame.name());
  checks().check_order(order, frame.name());
  database().set_interaction_order_type(interaction, order);
}

}  // namespace varnel
