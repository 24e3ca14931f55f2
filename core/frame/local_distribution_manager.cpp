#include "frame/local_distribution_manager.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include "frame/argument_checker.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "time/event_retraction_handle.h"
#include "fed/fed.h"
#include "federation/federate_handle_set.h"
#include "federation/federation_manager.h"
#include "frame/ldm_error.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "release.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace {

constexpr const char* null_string_passed = "NULL string passed";
constexpr const char* null_region_passed = "NULL Region passed";
constexpr const char* null_array_passed = "NULL attribute set or region array passed";

// Names of the service groups as the RID's disable section and the messages spell them.
constexpr const char* group_names[] = {"syncpoints", "saverestore", "queries", "ownership", "timeadvance", "regions"};

// The managers a service forwards to that later work adds to the federate. Until a manager
// exists, its services refuse with InternalError naming the service and the manager.
constexpr const char* syncpoint_manager = "synchronization point manager";
constexpr const char* declaration_database = "declaration database";
constexpr const char* subscription_agent = "subscription agent";
constexpr const char* object_manager = "object manager";
constexpr const char* transport_manager = "transport manager";
constexpr const char* consistency_manager = "consistency manager";
constexpr const char* time_manager = "time manager";
constexpr const char* retraction_manager = "retraction manager";

// Which optional frame steps a service runs.
enum class frame_kind { joined, unjoined, guarded_unjoined, guarded_joined };

bool checks_joined(frame_kind kind) { return kind == frame_kind::joined || kind == frame_kind::guarded_joined; }
bool guards_ticking(frame_kind kind) { return kind == frame_kind::guarded_unjoined || kind == frame_kind::guarded_joined; }

// The word the ticking guard's message names the call by.
const char* guard_word(rti_api_call call) {
  switch (call) {
    case rti_api_call::tick: return "\"tick\"";
    case rti_api_call::tickWithTimes: return "\"tick_with_times\"";
    default: return rti_api_call_name(call);
  }
}

// Seconds as whole milliseconds, truncated; negative or NaN counts as 0, and anything beyond a
// year is held at a year so that the conversion stays defined.
uint64_t whole_milliseconds(double seconds) {
  constexpr double year_ms = 365.0 * 24 * 3600 * 1000;
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::fmin(seconds * 1000, year_ms));
}

}  // namespace

// Sets the ticking flag for tick, join and resign, refusing when it is set already (a callback
// calling them from inside tick); clears it on every way out.
class local_distribution_manager::ticking_guard {
public:
  ticking_guard(local_distribution_manager& ldm, rti_api_call call, bool active) : ldm_(ldm), active_(active) {
    if (!active_) return;
    if (ldm_.ticking_) {
      throw make_ldm_exception(ldm_error::ConcurrentAccessAttempted, "%s was called while we are ticking",
                               guard_word(call));
    }
    ldm_.ticking_ = true;
  }
  ~ticking_guard() {
    if (active_) ldm_.ticking_ = false;
  }
  ticking_guard(const ticking_guard&) = delete;
  ticking_guard& operator=(const ticking_guard&) = delete;

private:
  local_distribution_manager& ldm_;
  bool active_;
};

// The frame around every service, as a scope: lock, ticking guard, one count in the "api"
// tracker, the trace line, the joined check. Intercepts, once plug-ins can add them, run before
// the frame is entered, so a vetoed call is neither locked nor counted.
class local_distribution_manager::service_frame {
public:
  service_frame(local_distribution_manager& ldm, rti_api_call call, frame_kind kind = frame_kind::joined)
      : call_(call), lock_(ldm.lock_), guard_(ldm, call, guards_ticking(kind)) {
    const auto number = static_cast<uint32_t>(call);
    ldm.stats_->note_event(ldm.api_tracker_, number, 1);
    if (dstream* trace = ldm.api_trace_[number]; trace->is_on())
      *trace << "local_distribution_manager: " << name() << " called" << std::endl;
    if (checks_joined(kind)) ldm.federation_manager_->check_joined(name());
  }

  const char* name() const { return rti_api_call_name(call_); }

  // The forward of a service whose manager this build does not have yet.
  [[noreturn]] void unavailable(const char* manager) const {
    throw make_ldm_exception(ldm_error::InternalError, "%s cannot be served: this federate has no %s yet", name(),
                             manager);
  }

private:
  rti_api_call call_;
  std::unique_lock<std::recursive_mutex> lock_;
  ticking_guard guard_;
};

local_distribution_manager::local_distribution_manager(const char* api_name) : api_name_(api_name ? api_name : "") {
  std::cout << get_version_banner() << std::endl;
  rid_ = std::make_unique<RID>();
  clock_ = std::make_unique<millisecond_clock>();
  scheduler_ = std::make_unique<scheduler>(*clock_);
  debug_ = std::make_unique<debugging_events>(*rid_);
  create_api_trace_flags();
  read_switches();
  stats_ = std::make_unique<message_stats_tracker>(*scheduler_);
  api_tracker_ = stats_->register_tracker("api", "call");
  stats_->set_differentiator_names(
      api_tracker_, [](uint32_t number) { return rti_api_event_name(static_cast<rti_api_call>(number)); });
  streams_ = std::make_unique<stream_manager>(*rid_, *scheduler_, *stats_, release_byte);
  federation_manager_ = std::make_unique<federation_manager>(*this);  // hears stream 1 from now on
  // Built here once they exist: the plug-in list and the status query monitor; then the
  // plug-ins are loaded.
}

local_distribution_manager::~local_distribution_manager() {
  resign();
  // Once they exist: finalize and unload the plug-ins, delete the remaining intercepts, the
  // status query monitor and the plug-in list.
  // The federation manager goes while the lock and the stream manager still exist: it resigns
  // when still joined, and its last message must still go out.
  federation_manager_.reset();
  // The other members go in reverse order of construction, the stream manager first and the
  // RID last.
}

void local_distribution_manager::create_api_trace_flags() {
  std::vector<std::string> all_apis;
  for (uint32_t n = 0; n < rti_api_service_count; ++n) {
    const char* name = rti_api_call_name(static_cast<rti_api_call>(n));
    debug_->register_event(name, "api");
    api_trace_[n] = &debug_->stream(name);
    all_apis.emplace_back(name);
  }
  debug_->register_event("all_apis", "api", all_apis);
  all_apis.erase(all_apis.begin(), all_apis.begin() + 2);  // tick and tickWithTimes come first
  debug_->register_event("all_except_tick", "api", all_apis);
}

void local_distribution_manager::read_switches() {
  for (size_t group = 0; group < switches_.size(); ++group) {
    const char* value = rid_->get_string("disable", group_names[group]);
    if (!value) continue;
    const std::string setting = value;
    if (setting != "disabled" && setting != "true") continue;
    switches_[group] = true;
    std::cout << "Disabling " << group_names[group] << " functionality by RID request." << std::endl;
  }
}

void local_distribution_manager::join(FED* fed, const char* federate_name, const char* federation_name,
                                      unsigned federate_id, unsigned federation_id, const federate_identifier& federate,
                                      const federate_identifier& federation) {
  std::lock_guard lock(lock_);
  if (!fed || is_joined()) {
    std::cerr << "LDM: join " << (fed ? "while joined" : "without an object model") << " ignored" << std::endl;
    return;
  }
  federate_name_ = federate_name ? federate_name : "";
  federation_name_ = federation_name ? federation_name : "";
  federate_id_ = federate_id;
  federation_id_ = federation_id;
  federate_ = federate;
  federation_ = federation;
  streams_->set_federate(federate_id);
  streams_->set_federation(federation_id);
  debug_->set_federation_name(federation_name_.c_str());
  // Join-time managers in contract order, each on this manager; later ones may use earlier ones
  // while they are built. Before the argument checker: the text output interceptor, the vterm
  // manager, the console support object, the ddb, the subscription agent, the order manager,
  // the object manager. After it: ping, the transport manager with one transport service per FED
  // transport type (simple, then minimum_rate, then state_consistent types, each in FED order),
  // the consistency, scope, time, retraction and ownership managers, the MOM agent, the
  // syncpoint, transport change and remterm managers and, last, the callback queue.
  checker_ = std::make_unique<argument_checker>(*fed);
  callback_queue_ = std::make_unique<callback_queue>(*this);
  fed_ = fed;
}

void local_distribution_manager::resign() {
  std::lock_guard lock(lock_);
  if (!is_joined()) return;
  // Torn down here in this order once they exist: remterm manager, vterm manager, text output
  // interceptor, ping; then, after the argument checker, the subscription agent, transport
  // manager, MOM agent, object, order, consistency, scope, transport change, syncpoint,
  // retraction, time and ownership managers, the ddb, the callback queue (pending records
  // undelivered) and the console support object.
  checker_.reset();
  callback_queue_.reset();
  fed_ = nullptr;
  streams_->set_federation(0);
  debug_->set_federation_name(nullptr);
  federate_name_.clear();
  federation_name_.clear();
  federate_id_ = 0;
  federation_id_ = 0;
  federate_ = federate_identifier();
  federation_ = federate_identifier();
}

const char* local_distribution_manager::get_federate_name() const {
  return is_joined() ? federate_name_.c_str() : nullptr;
}

const char* local_distribution_manager::get_federation_name() const {
  return is_joined() ? federation_name_.c_str() : nullptr;
}

const char* local_distribution_manager::get_federate_name(unsigned handle) {
  std::lock_guard lock(lock_);
  return federation_manager_->get_federate_name(handle);
}

const char* local_distribution_manager::get_federate_hostname(unsigned handle) {
  std::lock_guard lock(lock_);
  return federation_manager_->get_federate_hostname(handle);
}

void local_distribution_manager::get_federate_object_counts(unsigned handle, unsigned& locals, unsigned& remotes) {
  std::lock_guard lock(lock_);
  federation_manager_->get_federate_object_counts(handle, locals, remotes);
}

namespace {

// Every federate's handle of the federation, ascending; a shared handle appears once per federate.
std::vector<unsigned> joined_handles(const federation_manager& manager) {
  std::vector<unsigned> handles;
  if (const federation_record* federation = manager.get_joined_federation()) {
    for (const auto& [identifier, federate] : federation->federates) handles.push_back(federate->handle);
  }
  std::sort(handles.begin(), handles.end());
  return handles;
}

}  // namespace

unsigned local_distribution_manager::get_num_joined_federates() {
  std::lock_guard lock(lock_);
  return static_cast<unsigned>(joined_handles(*federation_manager_).size());
}

void local_distribution_manager::get_joined_federates(unsigned* out) {
  std::lock_guard lock(lock_);
  if (!out) return;
  for (unsigned handle : joined_handles(*federation_manager_)) *out++ = handle;
}

unsigned local_distribution_manager::get_num_matching_federates(const char* pattern) {
  std::lock_guard lock(lock_);
  federate_handle_set handles;
  federation_manager_->match_federates(pattern, handles);
  return static_cast<unsigned>(handles.size());
}

void local_distribution_manager::get_matching_federates(const char* pattern, unsigned* out) {
  std::lock_guard lock(lock_);
  if (!out) return;
  federate_handle_set handles;
  federation_manager_->match_federates(pattern, handles);
  for (unsigned handle : handles) *out++ = handle;
}

uint64_t local_distribution_manager::get_uptime() const { return clock_->time() / 1000; }

const char* local_distribution_manager::get_version_banner() {
  if (banner_.empty())
    banner_ = std::string("-- Varnel version ") + rti_release + " release -- " + platform_text + " -- " + api_name_ + " --";
  return banner_.c_str();
}

const char* local_distribution_manager::get_build_info() const {
  static const std::string info = std::string("varnel ") + rti_release + " for " + platform_text + ", built " +
                                  __DATE__ + " " + __TIME__;
  return info.c_str();
}

void local_distribution_manager::check_switch(service_group group) const {
  if (!is_disabled(group)) return;
  throw make_ldm_exception(ldm_error::InternalError, "The %s functionality is disabled by the RID",
                           group_names[static_cast<size_t>(group)]);
}

void local_distribution_manager::check_string(const char* text) const {
  if (!text) throw ldm_exception(ldm_error::InternalError, null_string_passed);
}

void local_distribution_manager::check_region(const region_spec* region) const {
  if (!region) throw ldm_exception(ldm_error::InvalidRegion, null_region_passed);
}

// Federation management.

void local_distribution_manager::create_federation_execution(const char* federation, const char* fed_file) {
  service_frame frame(*this, rti_api_call::createFederationExecution, frame_kind::unjoined);
  check_string(federation);
  check_string(fed_file);
  federation_manager_->create(federation, fed_file);
}

void local_distribution_manager::destroy_federation_execution(const char* federation) {
  service_frame frame(*this, rti_api_call::destroyFederationExecution, frame_kind::unjoined);
  check_string(federation);
  federation_manager_->destroy(federation);
}

unsigned local_distribution_manager::join_federation_execution(const char* federate, const char* federation) {
  service_frame frame(*this, rti_api_call::joinFederationExecution, frame_kind::guarded_unjoined);
  check_string(federate);
  check_string(federation);
  return federation_manager_->join(federate, federation);
}

void local_distribution_manager::resign_federation_execution(bool, bool, bool) {
  service_frame frame(*this, rti_api_call::resignFederationExecution, frame_kind::guarded_joined);
  // The resign action comes first once its managers exist: cancelling pending acquisitions
  // (ownership manager), handing implicitly transferred attributes to the transports' failure
  // objects, deleting the objects whose privilegeToDelete is owned here (object manager) and
  // releasing owned attributes (ddb). Until then there is nothing to cancel, hand over, delete
  // or release, so those steps do nothing and refuse nothing.
  federation_manager_->resign();
}

void local_distribution_manager::register_federation_synchronization_point(const char* label, const user_tag&) {
  service_frame frame(*this, rti_api_call::registerFederationSynchronizationPoint);
  check_string(label);
  check_switch(service_group::syncpoints);
  frame.unavailable(syncpoint_manager);
}

void local_distribution_manager::register_federation_synchronization_point(const char* label, const user_tag&,
                                                                           const federate_handle_set&) {
  service_frame frame(*this, rti_api_call::registerFederationSynchronizationPointWithFederates);
  check_string(label);
  check_switch(service_group::syncpoints);
  frame.unavailable(syncpoint_manager);
}

void local_distribution_manager::synchronization_point_achieved(const char* label) {
  service_frame frame(*this, rti_api_call::synchronizationPointAchieved);
  check_string(label);
  check_switch(service_group::syncpoints);
  frame.unavailable(syncpoint_manager);
}

namespace {

// Save and restore are refused by every federate; the binding reports the text.
[[noreturn]] void not_implemented(const char* method) {
  throw make_ldm_exception(ldm_error::InternalError, "Method %s is not implemented", method);
}

}  // namespace

void local_distribution_manager::request_federation_save(const char* label) {
  service_frame frame(*this, rti_api_call::requestFederationSave);
  check_string(label);
  check_switch(service_group::saverestore);
  not_implemented("requestFederationSave");
}

void local_distribution_manager::request_federation_save(const char* label, const absolute_time&) {
  service_frame frame(*this, rti_api_call::requestFederationSaveWithTime);
  check_string(label);
  check_switch(service_group::saverestore);
  frame.unavailable(time_manager);  // checks the time before the refusal
}

void local_distribution_manager::federate_save_begun() {
  service_frame frame(*this, rti_api_call::federateSaveBegun);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_save_complete() {
  service_frame frame(*this, rti_api_call::federateSaveComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_save_not_complete() {
  service_frame frame(*this, rti_api_call::federateSaveNotComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::request_federation_restore(const char* label) {
  service_frame frame(*this, rti_api_call::requestFederationRestore);
  check_string(label);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_restore_complete() {
  service_frame frame(*this, rti_api_call::federateRestoreComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

void local_distribution_manager::federate_restore_not_complete() {
  service_frame frame(*this, rti_api_call::federateRestoreNotComplete);
  check_switch(service_group::saverestore);
  not_implemented(frame.name());
}

// Declaration management. The unpublish and unsubscribe services' own checks ask the ddb.

void local_distribution_manager::publish_object_class(unsigned object_class, const bit_vector& attributes) {
  service_frame frame(*this, rti_api_call::publishObjectClass);
  checks().check_class_attributes(object_class, attributes, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::unpublish_object_class(unsigned object_class) {
  service_frame frame(*this, rti_api_call::unpublishObjectClass);
  checks().check_class(object_class, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::publish_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::publishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::unpublish_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::unpublishInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::subscribe_object_class_attributes(unsigned object_class, const bit_vector& attributes,
                                                                   bool) {
  service_frame frame(*this, rti_api_call::subscribeObjectClassAttributes);
  checks().check_class_attributes(object_class, attributes, frame.name());
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::unsubscribe_object_class(unsigned object_class) {
  service_frame frame(*this, rti_api_call::unsubscribeObjectClass);
  checks().check_class(object_class, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::subscribe_interaction_class(unsigned interaction, bool) {
  service_frame frame(*this, rti_api_call::subscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::unsubscribe_interaction_class(unsigned interaction) {
  service_frame frame(*this, rti_api_call::unsubscribeInteractionClass);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(declaration_database);
}

// Object management. Checks on object handles ask the ddb, which knows the objects.

unsigned local_distribution_manager::register_object_instance(unsigned) {
  service_frame frame(*this, rti_api_call::registerObjectInstance);
  frame.unavailable(object_manager);
}

unsigned local_distribution_manager::register_object_instance(unsigned, const char* name) {
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithName);
  check_string(name);
  frame.unavailable(object_manager);
}

void local_distribution_manager::update_attribute_values(unsigned, const handle_value_set&, const user_tag&) {
  service_frame frame(*this, rti_api_call::updateAttributeValues);
  frame.unavailable(transport_manager);
}

event_retraction_handle local_distribution_manager::update_attribute_values(unsigned, const handle_value_set&,
                                                                            const absolute_time&, const user_tag&) {
  service_frame frame(*this, rti_api_call::updateAttributeValuesWithTime);
  frame.unavailable(time_manager);  // checks the time before the transport manager sends
}

void local_distribution_manager::send_interaction(unsigned, const handle_value_set&, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteraction);
  frame.unavailable(transport_manager);
}

event_retraction_handle local_distribution_manager::send_interaction(unsigned, const handle_value_set&,
                                                                     const absolute_time&, const user_tag&) {
  service_frame frame(*this, rti_api_call::sendInteractionWithTime);
  frame.unavailable(time_manager);  // checks the time before the transport manager sends
}

void local_distribution_manager::delete_object_instance(unsigned, const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstance);
  frame.unavailable(declaration_database);
}

event_retraction_handle local_distribution_manager::delete_object_instance(unsigned, const absolute_time&,
                                                                           const user_tag&) {
  service_frame frame(*this, rti_api_call::deleteObjectInstanceWithTime);
  frame.unavailable(time_manager);  // checks the time before the object is looked up
}

void local_distribution_manager::local_delete_object_instance(unsigned) {
  service_frame frame(*this, rti_api_call::localDeleteObjectInstance);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::change_attribute_transportation_type(unsigned, const bit_vector&, unsigned) {
  service_frame frame(*this, rti_api_call::changeAttributeTransportationType);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::change_interaction_transportation_type(unsigned interaction, unsigned) {
  service_frame frame(*this, rti_api_call::changeInteractionTransportationType);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(declaration_database);
}

void local_distribution_manager::request_object_attribute_value_update(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestObjectAttributeValueUpdate);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::request_class_attribute_value_update(unsigned object_class, const bit_vector&) {
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdate);
  checks().check_class(object_class, frame.name());
  check_switch(service_group::queries);
  frame.unavailable(consistency_manager);
}

// Ownership management: every service starts with a check on the object, in the ddb.

void local_distribution_manager::unconditional_attribute_ownership_divestiture(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::unconditionalAttributeOwnershipDivestiture);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::negotiated_attribute_ownership_divestiture(unsigned, const bit_vector&,
                                                                            const user_tag&) {
  service_frame frame(*this, rti_api_call::negotiatedAttributeOwnershipDivestiture);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::attribute_ownership_acquisition(unsigned, const bit_vector&, const user_tag&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisition);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::attribute_ownership_acquisition_if_available(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipAcquisitionIfAvailable);
  frame.unavailable(declaration_database);
}

bit_vector* local_distribution_manager::attribute_ownership_release_response(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::attributeOwnershipReleaseResponse);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::cancel_negotiated_attribute_ownership_divestiture(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::cancelNegotiatedAttributeOwnershipDivestiture);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::cancel_attribute_ownership_acquisition(unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::cancelAttributeOwnershipAcquisition);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::query_attribute_ownership(unsigned, unsigned) {
  service_frame frame(*this, rti_api_call::queryAttributeOwnership);
  frame.unavailable(declaration_database);
}

bool local_distribution_manager::is_attribute_owned_by_federate(unsigned, unsigned) {
  service_frame frame(*this, rti_api_call::isAttributeOwnedByFederate);
  frame.unavailable(declaration_database);
}

// Time management.

void local_distribution_manager::switched_service(rti_api_call call, service_group group, const char* manager) {
  service_frame frame(*this, call);
  check_switch(group);
  frame.unavailable(manager);
}

void local_distribution_manager::enable_time_regulation(const absolute_time&, const relative_time&) {
  switched_service(rti_api_call::enableTimeRegulation, service_group::timeadvance, time_manager);
}

void local_distribution_manager::disable_time_regulation() {
  switched_service(rti_api_call::disableTimeRegulation, service_group::timeadvance, time_manager);
}

void local_distribution_manager::enable_time_constrained() {
  switched_service(rti_api_call::enableTimeConstrained, service_group::timeadvance, time_manager);
}

void local_distribution_manager::disable_time_constrained() {
  switched_service(rti_api_call::disableTimeConstrained, service_group::timeadvance, time_manager);
}

void local_distribution_manager::time_advance_request(const absolute_time&) {
  switched_service(rti_api_call::timeAdvanceRequest, service_group::timeadvance, time_manager);
}

void local_distribution_manager::time_advance_request_available(const absolute_time&) {
  switched_service(rti_api_call::timeAdvanceRequestAvailable, service_group::timeadvance, time_manager);
}

void local_distribution_manager::next_event_request(const absolute_time&) {
  switched_service(rti_api_call::nextEventRequest, service_group::timeadvance, time_manager);
}

void local_distribution_manager::next_event_request_available(const absolute_time&) {
  switched_service(rti_api_call::nextEventRequestAvailable, service_group::timeadvance, time_manager);
}

void local_distribution_manager::flush_queue_request(const absolute_time&) {
  switched_service(rti_api_call::flushQueueRequest, service_group::timeadvance, time_manager);
}

void local_distribution_manager::enable_asynchronous_delivery() {
  switched_service(rti_api_call::enableAsynchronousDelivery, service_group::timeadvance, time_manager);
}

void local_distribution_manager::disable_asynchronous_delivery() {
  switched_service(rti_api_call::disableAsynchronousDelivery, service_group::timeadvance, time_manager);
}

void local_distribution_manager::query_lbts(absolute_time&) {
  switched_service(rti_api_call::queryLBTS, service_group::timeadvance, time_manager);
}

void local_distribution_manager::query_federate_time(absolute_time&) {
  switched_service(rti_api_call::queryFederateTime, service_group::timeadvance, time_manager);
}

void local_distribution_manager::query_min_next_event_time(absolute_time&) {
  switched_service(rti_api_call::queryMinNextEventTime, service_group::timeadvance, time_manager);
}

void local_distribution_manager::modify_lookahead(const relative_time&) {
  switched_service(rti_api_call::modifyLookahead, service_group::timeadvance, time_manager);
}

void local_distribution_manager::query_lookahead(relative_time&) {
  switched_service(rti_api_call::queryLookahead, service_group::timeadvance, time_manager);
}

void local_distribution_manager::do_retract(const event_retraction_handle&) {
  switched_service(rti_api_call::retract, service_group::timeadvance, retraction_manager);
}

void local_distribution_manager::change_attribute_order_type(unsigned, const bit_vector&, unsigned) {
  service_frame frame(*this, rti_api_call::changeAttributeOrderType);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::change_interaction_order_type(unsigned interaction, unsigned) {
  service_frame frame(*this, rti_api_call::changeInteractionOrderType);
  checks().check_interaction(interaction, frame.name());
  frame.unavailable(declaration_database);
}

// Data distribution management.

region_spec* local_distribution_manager::create_region(unsigned space, unsigned extents) {
  service_frame frame(*this, rti_api_call::createRegion);
  checks().check_space(space, frame.name());
  if (extents == 0) throw ldm_exception(ldm_error::InvalidRangeBound, "Zero passed for number of extents");
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::notify_about_region_modification(region_spec* region) {
  service_frame frame(*this, rti_api_call::notifyAboutRegionModification);
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::delete_region(region_spec* region) {
  service_frame frame(*this, rti_api_call::deleteRegion);
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
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
}

unsigned local_distribution_manager::register_object_instance_with_region(unsigned object_class,
                                                                          const bit_vector* const attributes[],
                                                                          region_spec* const regions[],
                                                                          unsigned count) {
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithRegion);
  check_region_entries(object_class, attributes, regions, count, frame.name());
  check_switch(service_group::regions);
  frame.unavailable(object_manager);
}

unsigned local_distribution_manager::register_object_instance_with_region(unsigned object_class, const char* name,
                                                                          const bit_vector* const attributes[],
                                                                          region_spec* const regions[],
                                                                          unsigned count) {
  service_frame frame(*this, rti_api_call::registerObjectInstanceWithRegionWithName);
  check_string(name);
  check_region_entries(object_class, attributes, regions, count, frame.name());
  check_switch(service_group::regions);
  frame.unavailable(object_manager);
}

void local_distribution_manager::associate_region_for_updates(region_spec*, unsigned, const bit_vector&) {
  service_frame frame(*this, rti_api_call::associateRegionForUpdates);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::unassociate_region_for_updates(region_spec*, unsigned) {
  service_frame frame(*this, rti_api_call::unassociateRegionForUpdates);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::subscribe_object_class_attributes_with_region(unsigned object_class,
                                                                               region_spec* region,
                                                                               const bit_vector& attributes, bool) {
  service_frame frame(*this, rti_api_call::subscribeObjectClassAttributesWithRegion);
  checks().check_class_attributes(object_class, attributes, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::unsubscribe_object_class_with_region(unsigned object_class, region_spec* region) {
  service_frame frame(*this, rti_api_call::unsubscribeObjectClassWithRegion);
  checks().check_class(object_class, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::subscribe_interaction_class_with_region(unsigned interaction, region_spec* region,
                                                                         bool) {
  service_frame frame(*this, rti_api_call::subscribeInteractionClassWithRegion);
  checks().check_interaction(interaction, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::unsubscribe_interaction_class_with_region(unsigned interaction, region_spec* region) {
  service_frame frame(*this, rti_api_call::unsubscribeInteractionClassWithRegion);
  checks().check_interaction(interaction, frame.name());
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::send_interaction_with_region(unsigned, const handle_value_set&, const user_tag&,
                                                              region_spec* region) {
  service_frame frame(*this, rti_api_call::sendInteractionWithRegion);
  check_region(region);
  check_switch(service_group::regions);
  frame.unavailable(transport_manager);
}

event_retraction_handle local_distribution_manager::send_interaction_with_region(unsigned, const handle_value_set&,
                                                                                 const absolute_time&,
                                                                                 const user_tag&,
                                                                                 region_spec* region) {
  service_frame frame(*this, rti_api_call::sendInteractionWithRegionWithTime);
  check_region(region);
  frame.unavailable(time_manager);  // checks the time before the regions switch
}

void local_distribution_manager::request_class_attribute_value_update_with_region(unsigned object_class,
                                                                                  const bit_vector&,
                                                                                  region_spec* region) {
  service_frame frame(*this, rti_api_call::requestClassAttributeValueUpdateWithRegion);
  checks().check_class(object_class, frame.name());
  check_region(region);
  check_switch(service_group::queries);
  check_switch(service_group::regions);
  frame.unavailable(consistency_manager);
}

// Support services. Names and handles of the object model come from the joined FED.

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
  service_frame frame(*this, rti_api_call::getObjectClassHandle);
  check_string(name);
  return known_handle(fed().get_object_class_handle(name), ldm_error::NameNotFound,
                      "Unknown class %s in getObjectClassHandle", name);
}

const char* local_distribution_manager::get_object_class_name(unsigned object_class) {
  service_frame frame(*this, rti_api_call::getObjectClassName);
  return known_name(fed().get_object_class_name(object_class), ldm_error::ObjectClassNotDefined,
                    "Unknown class %d in getObjectClassName", object_class);
}

unsigned local_distribution_manager::get_attribute_handle(const char* name, unsigned object_class) {
  service_frame frame(*this, rti_api_call::getAttributeHandle);
  check_string(name);
  checks().check_class(object_class, frame.name());
  return known_handle(fed().get_attribute_handle(name, object_class), ldm_error::NameNotFound,
                      "Unknown attribute %s in getAttributeHandle", name);
}

const char* local_distribution_manager::get_attribute_name(unsigned attribute, unsigned object_class) {
  service_frame frame(*this, rti_api_call::getAttributeName);
  checks().check_class(object_class, frame.name());
  return known_name(fed().get_attribute_name(attribute, object_class), ldm_error::AttributeNotDefined,
                    "Unknown attribute %d in getAttributeName", attribute);
}

unsigned local_distribution_manager::get_interaction_class_handle(const char* name) {
  service_frame frame(*this, rti_api_call::getInteractionClassHandle);
  check_string(name);
  return known_handle(fed().get_interaction_class_handle(name), ldm_error::NameNotFound,
                      "Unknown interaction %s in getInteractionClassHandle", name);
}

const char* local_distribution_manager::get_interaction_class_name(unsigned interaction) {
  service_frame frame(*this, rti_api_call::getInteractionClassName);
  return known_name(fed().get_interaction_class_name(interaction), ldm_error::InteractionClassNotDefined,
                    "Unknown interaction %d in getInteractionClassName", interaction);
}

unsigned local_distribution_manager::get_parameter_handle(const char* name, unsigned interaction) {
  service_frame frame(*this, rti_api_call::getParameterHandle);
  check_string(name);
  checks().check_interaction(interaction, frame.name());
  return known_handle(fed().get_parameter_handle(name, interaction), ldm_error::NameNotFound,
                      "Unknown parameter %s in getParameterHandle", name);
}

const char* local_distribution_manager::get_parameter_name(unsigned parameter, unsigned interaction) {
  service_frame frame(*this, rti_api_call::getParameterName);
  checks().check_interaction(interaction, frame.name());
  return known_name(fed().get_parameter_name(parameter, interaction), ldm_error::InteractionParameterNotDefined,
                    "Unknown parameter %d in getParameterName", parameter);
}

unsigned local_distribution_manager::get_object_instance_handle(const char* name) {
  service_frame frame(*this, rti_api_call::getObjectInstanceHandle);
  check_string(name);
  frame.unavailable(declaration_database);
}

const char* local_distribution_manager::get_object_instance_name(unsigned) {
  service_frame frame(*this, rti_api_call::getObjectInstanceName);
  frame.unavailable(declaration_database);
}

unsigned local_distribution_manager::get_routing_space_handle(const char* name) {
  service_frame frame(*this, rti_api_call::getRoutingSpaceHandle);
  check_string(name);
  return known_handle(fed().get_routing_space_handle(name), ldm_error::NameNotFound,
                      "Unknown space %s in getRoutingSpaceHandle", name);
}

const char* local_distribution_manager::get_routing_space_name(unsigned space) {
  service_frame frame(*this, rti_api_call::getRoutingSpaceName);
  return known_name(fed().get_routing_space_name(space), ldm_error::InvalidSpaceHandle,
                    "Unknown space %d in getRoutingSpaceName", space);
}

unsigned local_distribution_manager::get_dimension_handle(const char* name, unsigned space) {
  service_frame frame(*this, rti_api_call::getDimensionHandle);
  check_string(name);
  checks().check_space(space, frame.name());
  return known_handle(fed().get_dimension_handle(name, space), ldm_error::NameNotFound,
                      "Unknown dimension %s in getDimensionHandle", name);
}

const char* local_distribution_manager::get_dimension_name(unsigned dimension, unsigned space) {
  service_frame frame(*this, rti_api_call::getDimensionName);
  checks().check_space(space, frame.name());
  return known_name(fed().get_dimension_name(dimension, space), ldm_error::InvalidDimensionHandle,
                    "Unknown dimension %d in getDimensionName", dimension);
}

unsigned local_distribution_manager::get_attribute_routing_space_handle(unsigned attribute, unsigned object_class) {
  service_frame frame(*this, rti_api_call::getAttributeRoutingSpaceHandle);
  checks().check_class_attribute(object_class, attribute, frame.name());
  return fed().get_routing_space(attribute, object_class);
}

unsigned local_distribution_manager::get_object_instance_class(unsigned) {
  service_frame frame(*this, rti_api_call::getObjectClass);
  frame.unavailable(declaration_database);
}

unsigned local_distribution_manager::get_interaction_routing_space_handle(unsigned interaction) {
  service_frame frame(*this, rti_api_call::getInteractionRoutingSpaceHandle);
  checks().check_interaction(interaction, frame.name());
  return fed().get_interaction_routing_space(interaction);
}

unsigned local_distribution_manager::get_transportation_handle(const char* name) {
  service_frame frame(*this, rti_api_call::getTransportationHandle);
  check_string(name);
  return known_handle(fed().get_transport_id(name), ldm_error::InvalidTransportationName,
                      "Unknown transport %s in getTransportationHandle", name);
}

const char* local_distribution_manager::get_transportation_name(unsigned transport) {
  service_frame frame(*this, rti_api_call::getTransportationName);
  return known_name(fed().get_transport_name(transport), ldm_error::InvalidTransportationType,
                    "Unknown transport %d in getTransportationName", transport);
}

unsigned local_distribution_manager::get_ordering_handle(const char* name) {
  service_frame frame(*this, rti_api_call::getOrderingHandle);
  check_string(name);
  return known_handle(fed().get_order_id(name), ldm_error::InvalidOrderName, "Unknown order %s in getOrderingHandle",
                      name);
}

const char* local_distribution_manager::get_ordering_name(unsigned order) {
  service_frame frame(*this, rti_api_call::getOrderingName);
  return known_name(fed().get_order_name(order), ldm_error::InvalidOrderType, "Unknown order %d in getOrderingName",
                    order);
}

unsigned local_distribution_manager::get_region_token(region_spec* region) {
  service_frame frame(*this, rti_api_call::getRegionToken);
  check_region(region);
  frame.unavailable(subscription_agent);
}

region_spec* local_distribution_manager::get_region(unsigned) {
  service_frame frame(*this, rti_api_call::getRegion);
  frame.unavailable(subscription_agent);
}

void local_distribution_manager::enable_class_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::enableClassRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::disable_class_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::disableClassRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::enable_attribute_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::enableAttributeRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::disable_attribute_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::disableAttributeRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

// Attribute scope advisories are always sent, so both switch calls are accepted and change nothing.
void local_distribution_manager::enable_attribute_scope_advisory_switch() {
  service_frame frame(*this, rti_api_call::enableAttributeScopeAdvisorySwitch);
}

void local_distribution_manager::disable_attribute_scope_advisory_switch() {
  service_frame frame(*this, rti_api_call::disableAttributeScopeAdvisorySwitch);
}

void local_distribution_manager::enable_interaction_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::enableInteractionRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

void local_distribution_manager::disable_interaction_relevance_advisory_switch() {
  service_frame frame(*this, rti_api_call::disableInteractionRelevanceAdvisorySwitch);
  frame.unavailable(declaration_database);
}

// Ticking. Callbacks are delivered inside the scheduler pass once the callback queue exists: it
// is switched to delivering before the pass and back to holding after it.

bool local_distribution_manager::tick() { return run_tick(rti_api_call::tick, 0, 5000); }

bool local_distribution_manager::tick(double min_seconds, double max_seconds) {
  return run_tick(rti_api_call::tickWithTimes, whole_milliseconds(min_seconds), whole_milliseconds(max_seconds));
}

namespace {

// Opens the queue for one tick and closes it again on every way out.
class delivery_window {
public:
  explicit delivery_window(callback_queue* queue) : queue_(queue) {
    if (queue_) queue_->open();
  }
  ~delivery_window() {
    if (queue_) queue_->close();
  }
  delivery_window(const delivery_window&) = delete;
  delivery_window& operator=(const delivery_window&) = delete;

private:
  callback_queue* queue_;
};

}  // namespace

bool local_distribution_manager::run_tick(rti_api_call call, uint64_t limit_ms, uint64_t budget_ms) {
  service_frame frame(*this, call, frame_kind::guarded_unjoined);
  delivery_window window(callback_queue_.get());
  if (callback_queue_) callback_queue_->deliver_pending();
  return scheduler_->tick(limit_ms, budget_ms);
}
