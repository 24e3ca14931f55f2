// The time management services.
#include "frame/local_distribution_manager.h"

#include "frame/joined_managers.h"
#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "time/time_manager.h"
#include "time/event_retraction_handle.h"
#include "time/retraction_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

void local_distribution_manager::enable_time_regulation(const absolute_time& time, const relative_time& lookahead) {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_time_regulation(time, lookahead); })) return;
  service_frame frame(*this, rti_api_call::enableTimeRegulation);
  check_switch(service_group::timeadvance);
  times().enable_time_regulation(time, lookahead);
}

void local_distribution_manager::disable_time_regulation() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_time_regulation(); })) return;
  service_frame frame(*this, rti_api_call::disableTimeRegulation);
  check_switch(service_group::timeadvance);
  times().disable_time_regulation();
}

void local_distribution_manager::enable_time_constrained() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_time_constrained(); })) return;
  service_frame frame(*this, rti_api_call::enableTimeConstrained);
  check_switch(service_group::timeadvance);
  times().enable_time_constrained();
}

void local_distribution_manager::disable_time_constrained() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_time_constrained(); })) return;
  service_frame frame(*this, rti_api_call::disableTimeConstrained);
  check_switch(service_group::timeadvance);
  times().disable_time_constrained();
}

void local_distribution_manager::time_advance_request(const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.time_advance_request(time); })) return;
  service_frame frame(*this, rti_api_call::timeAdvanceRequest);
  check_switch(service_group::timeadvance);
  times().time_advance_request(time);
}

void local_distribution_manager::time_advance_request_available(const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.time_advance_request_available(time); })) return;
  service_frame frame(*this, rti_api_call::timeAdvanceRequestAvailable);
  check_switch(service_group::timeadvance);
  times().time_advance_request_available(time);
}

void local_distribution_manager::next_event_request(const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.next_event_request(time); })) return;
  service_frame frame(*this, rti_api_call::nextEventRequest);
  check_switch(service_group::timeadvance);
  times().next_event_request(time);
}

void local_distribution_manager::next_event_request_available(const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.next_event_request_available(time); })) return;
  service_frame frame(*this, rti_api_call::nextEventRequestAvailable);
  check_switch(service_group::timeadvance);
  times().next_event_request_available(time);
}

void local_distribution_manager::flush_queue_request(const absolute_time& time) {
  if (intercepts_->vetoes([&](intercept& i) { i.flush_queue_request(time); })) return;
  service_frame frame(*this, rti_api_call::flushQueueRequest);
  check_switch(service_group::timeadvance);
  times().flush_queue_request(time);
}

void local_distribution_manager::enable_asynchronous_delivery() {
  if (intercepts_->vetoes([&](intercept& i) { i.enable_asynchronous_delivery(); })) return;
  service_frame frame(*this, rti_api_call::enableAsynchronousDelivery);
  check_switch(service_group::timeadvance);
  times().enable_asynchronous_delivery();
}

void local_distribution_manager::disable_asynchronous_delivery() {
  if (intercepts_->vetoes([&](intercept& i) { i.disable_asynchronous_delivery(); })) return;
  service_frame frame(*this, rti_api_call::disableAsynchronousDelivery);
  check_switch(service_group::timeadvance);
  times().disable_asynchronous_delivery();
}

void local_distribution_manager::query_lbts(absolute_time& out) {
  if (intercepts_->vetoes([&](intercept& i) { i.query_lbts(out); })) return;
  service_frame frame(*this, rti_api_call::queryLBTS);
  check_switch(service_group::timeadvance);
  times().query_lbts(out);
}

void local_distribution_manager::query_federate_time(absolute_time& out) {
  if (intercepts_->vetoes([&](intercept& i) { i.query_federate_time(out); })) return;
  service_frame frame(*this, rti_api_call::queryFederateTime);
  check_switch(service_group::timeadvance);
  times().query_federate_time(out);
}

void local_distribution_manager::query_min_next_event_time(absolute_time& out) {
  if (intercepts_->vetoes([&](intercept& i) { i.query_min_next_event_time(out); })) return;
  service_frame frame(*this, rti_api_call::queryMinNextEventTime);
  check_switch(service_group::timeadvance);
  times().query_min_next_event_time(out);
}

void local_distribution_manager::modify_lookahead(const relative_time& lookahead) {
  if (intercepts_->vetoes([&](intercept& i) { i.modify_lookahead(lookahead); })) return;
  service_frame frame(*this, rti_api_call::modifyLookahead);
  check_switch(service_group::timeadvance);
  times().modify_lookahead(lookahead);
}

void local_distribution_manager::query_lookahead(relative_time& out) {
  if (intercepts_->vetoes([&](intercept& i) { i.query_lookahead(out); })) return;
  service_frame frame(*this, rti_api_call::queryLookahead);
  check_switch(service_group::timeadvance);
  times().query_lookahead(out);
}

void local_distribution_manager::do_retract(const event_retraction_handle& handle) {
  if (intercepts_->vetoes([&](intercept& i) { i.do_retract(handle); })) return;
  service_frame frame(*this, rti_api_call::retract);
  check_switch(service_group::timeadvance);
  joined_->retractions().retract(handle);
}

void local_distribution_manager::change_attribute_order_type(unsigned object, const bit_vector& attributes,
                                                             unsigned order) {
  if (intercepts_->vetoes([&](intercept& i) { i.change_attribute_order_type(object, attributes, order); })) return;
  service_frame frame(*this, rti_api_call::changeAttributeOrderType);
  checks().check_owned_attributes(object, attributes, frame.name());
  checks().check_order(order, frame.name());
  database().set_order_type(object, attributes, order);
}

void local_distribution_manager::change_interaction_order_type(unsigned interaction, unsigned order) {
  if (intercepts_->vetoes([&](intercept& i) { i.change_interaction_order_type(interaction, order); })) return;
  service_frame frame(*this, rti_api_call::changeInteractionOrderType);
  checks().check_interaction(interaction, frame.name());
  checks().check_order(order, frame.name());
  database().set_interaction_order_type(interaction, order);
}

}  // namespace varnel
