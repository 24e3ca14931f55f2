#include "frame/local_distribution_manager.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <vector>

#include "fed/fed.h"
#include "federation/federate_handle_set.h"
#include "federation/status_query_monitor.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/intercept_list.h"
#include "frame/joined_managers.h"
#include "frame/plugin_list.h"
#include "frame/ldm_frame.h"
#include "objects/ddb.h"
#include "objects/subscription_agent.h"
#include "time/msgorder_manager.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "release.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr const char* null_string_passed = "NULL string passed";
constexpr const char* null_region_passed = "NULL Region passed";

// Names of the service groups as the RID's disable section and the messages spell them.
constexpr const char* group_names[] = {"syncpoints", "saverestore", "queries", "ownership", "timeadvance", "regions"};

// Seconds as whole milliseconds, truncated; negative or NaN counts as 0, and anything beyond a
// year is held at a year so that the conversion stays defined.
uint64_t whole_milliseconds(double seconds) {
  constexpr double year_ms = 365.0 * 24 * 3600 * 1000;
  if (!(seconds > 0)) return 0;
  return static_cast<uint64_t>(std::fmin(seconds * 1000, year_ms));
}

}  // namespace

local_distribution_manager::local_distribution_manager(const char* api_name, std::unique_ptr<scheduler> on_clock)
    : api_name_(api_name ? api_name : "") {
  std::cout << get_version_banner() << std::endl;
  rid_ = std::make_unique<RID>();
  if (on_clock) {
    scheduler_ = std::move(on_clock);
  } else {
    clock_ = std::make_unique<millisecond_clock>();
    scheduler_ = std::make_unique<scheduler>(*clock_);
  }
  scheduler_->set_after_event([this] {
    if (callback_queue* queue = get_callback_queue()) queue->deliver_pending();
  });
  debug_ = std::make_unique<debugging_events>(*rid_);
  create_api_trace_flags();
  read_switches();
  stats_ = std::make_unique<message_stats_tracker>(*scheduler_);
  api_tracker_ = stats_->register_tracker("api", "call");
  stats_->set_differentiator_names(
      api_tracker_, [](uint32_t number) { return rti_api_event_name(static_cast<rti_api_call>(number)); });
  streams_ = std::make_unique<stream_manager>(*rid_, *scheduler_, *stats_, release_byte);
  // Hears stream 1 from now on.
  federation_manager_ = std::make_unique<federation_manager>(*rid_, *scheduler_, *streams_, *debug_,
                                                             static_cast<federation_host&>(*this));
  plugins_ = std::make_unique<plugin_list>(*this);
  status_ = std::make_unique<status_query_monitor>(*this);
  intercepts_ = std::make_unique<intercept_list>();
  try {
    plugins_->load(*rid_);
  } catch (...) {
    plugins_->finalize();
    throw;
  }
  serving_ = true;
}

local_distribution_manager::~local_distribution_manager() {
  serving_ = false;
  resign();
  plugins_->finalize();
  intercepts_->delete_all();
  plugins_.reset();
  // The federation manager goes while the lock and the stream manager still exist: it resigns
  // when still joined, and its last message must still go out.
  federation_manager_.reset();
  // The other members go in reverse order of construction, the stream manager first and the
  // RID last.
}

void local_distribution_manager::add_intercept(intercept* hook) { intercepts_->add(hook); }

void local_distribution_manager::del_intercept(intercept* hook) { intercepts_->remove(hook); }

void local_distribution_manager::invoke_plugin_func(const char* name, void* argument) {
  if (name) plugins_->invoke(name, argument);
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
  fed_ = fed;
  try {
    joined_ = std::make_unique<joined_managers>(*this, *fed);
  } catch (...) {
    leave_federation();
    throw;
  }
}

void local_distribution_manager::resign() {
  std::lock_guard lock(lock_);
  if (!is_joined()) return;
  joined_.reset();
  leave_federation();
}

void local_distribution_manager::leave_federation() {
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

uint64_t local_distribution_manager::get_uptime() const { return scheduler_->get_clock().time() / 1000; }

callback_queue* local_distribution_manager::get_callback_queue() const {
  return joined_ ? &joined_->callbacks() : nullptr;
}

unsigned local_distribution_manager::get_object_count() const {
  return joined_ ? static_cast<unsigned>(joined_->database().object_count()) : 0;
}

unsigned local_distribution_manager::get_local_object_count() const {
  return joined_ ? joined_->database().local_objects() : 0;
}

unsigned local_distribution_manager::get_remote_object_count() const {
  return joined_ ? joined_->database().remote_objects() : 0;
}

unsigned local_distribution_manager::get_object_count(unsigned object_class) const {
  return joined_ ? static_cast<unsigned>(joined_->database().object_count(object_class)) : 0;
}

unsigned local_distribution_manager::get_local_object_count(unsigned object_class) const {
  const object_class_entry* entry = joined_ ? joined_->database().object_class(object_class) : nullptr;
  return entry ? entry->locals : 0;
}

unsigned local_distribution_manager::get_remote_object_count(unsigned object_class) const {
  const object_class_entry* entry = joined_ ? joined_->database().object_class(object_class) : nullptr;
  return entry ? entry->remotes : 0;
}

const char* local_distribution_manager::get_object_name(unsigned object) const {
  const object_entry* entry = joined_ ? joined_->database().object(object) : nullptr;
  return entry ? entry->name.c_str() : nullptr;
}

unsigned local_distribution_manager::get_object_handle(const char* name) const {
  const object_entry* entry = joined_ && name ? joined_->database().object_named(name) : nullptr;
  return entry ? entry->handle : invalid_handle;
}

unsigned local_distribution_manager::get_object_class(unsigned object) const {
  const object_entry* entry = joined_ ? joined_->database().object(object) : nullptr;
  return entry ? entry->object_class->handle : invalid_handle;
}

bool local_distribution_manager::is_object_local(unsigned object) const {
  const object_entry* entry = joined_ ? joined_->database().object(object) : nullptr;
  return entry && entry->has_local;
}

bool local_distribution_manager::is_object_remote(unsigned object) const {
  const object_entry* entry = joined_ ? joined_->database().object(object) : nullptr;
  return entry && entry->has_remote;
}

ddb* local_distribution_manager::get_ddb() const { return joined_ ? &joined_->database() : nullptr; }

subscription_agent* local_distribution_manager::get_subscription_agent() const {
  return joined_ ? &joined_->subscriptions() : nullptr;
}

msgorder_manager* local_distribution_manager::get_msgorder_manager() const {
  return joined_ ? &joined_->ordering() : nullptr;
}

ordering_message_counts local_distribution_manager::get_ordering_message_counts() const {
  return joined_ ? joined_->ordering().message_counts() : ordering_message_counts{};
}

retraction_manager* local_distribution_manager::get_retraction_manager() const {
  return joined_ ? &joined_->retractions() : nullptr;
}

time_manager* local_distribution_manager::get_time_manager() const { return joined_ ? &joined_->times() : nullptr; }

time_manager& local_distribution_manager::times() const { return joined_->times(); }

object_manager* local_distribution_manager::get_object_manager() const { return joined_ ? &joined_->objects() : nullptr; }

transport_manager* local_distribution_manager::get_transport_manager() const {
  return joined_ ? &joined_->transports() : nullptr;
}

object_manager& local_distribution_manager::objects() const { return joined_->objects(); }

transport_manager& local_distribution_manager::transports() const { return joined_->transports(); }

syncpoint_manager* local_distribution_manager::get_syncpoint_manager() const {
  return joined_ ? &joined_->syncpoints() : nullptr;
}

syncpoint_manager& local_distribution_manager::syncpoints() const { return joined_->syncpoints(); }

ownership_manager* local_distribution_manager::get_ownership_manager() const {
  return joined_ ? joined_->ownership() : nullptr;
}

scope_manager* local_distribution_manager::get_scope_manager() const {
  return joined_ ? joined_->scope() : nullptr;
}

ownership_manager& local_distribution_manager::ownership() const { return *joined_->ownership(); }

transport_change_manager* local_distribution_manager::get_transport_change_manager() const {
  return joined_ ? &joined_->transport_changes() : nullptr;
}

consistency_manager* local_distribution_manager::get_consistency_manager() const {
  return joined_ ? &joined_->queries() : nullptr;
}

mom_agent* local_distribution_manager::get_mom_agent() const { return joined_ ? joined_->mom() : nullptr; }

text_output_interceptor* local_distribution_manager::get_text_output_interceptor() const {
  return joined_ ? &joined_->interceptor() : nullptr;
}

vterm_manager* local_distribution_manager::get_vterm_manager() const { return joined_ ? &joined_->vterms() : nullptr; }

remterm_manager* local_distribution_manager::get_remterm_manager() const { return joined_ ? joined_->remterms() : nullptr; }

ping* local_distribution_manager::get_ping() const { return joined_ ? joined_->pinger() : nullptr; }

consistency_manager& local_distribution_manager::queries() const { return joined_->queries(); }

transport_change_manager& local_distribution_manager::transport_changes() const {
  return joined_->transport_changes();
}

const argument_checker& local_distribution_manager::checks() const { return joined_->checker(); }

ddb& local_distribution_manager::database() const { return joined_->database(); }

subscription_agent& local_distribution_manager::subscriptions() const { return joined_->subscriptions(); }

// The federation-wide shut-down ends the federate from inside its own tick.
void local_distribution_manager::end_federate() { delete this; }

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

// A region pointer is looked up among the federate's live regions before it is used: the caller
// may hold one that was deleted, freed at resign, or never made here.
void local_distribution_manager::check_region(const region_spec* region) const {
  if (!region) throw ldm_exception(ldm_error::InvalidRegion, null_region_passed);
  if (!subscriptions().is_live(region))
    throw ldm_exception(ldm_error::RegionNotCreatedByThisFederate, "Region not known to this federate");
}

// Ticking. Callbacks are delivered inside the scheduler pass once the callback queue exists: it
// is switched to delivering before the pass and back to holding after it.

bool local_distribution_manager::tick() {
  if (intercepts_->vetoes([&](intercept& i) { i.tick(); })) return false;
  return run_tick(rti_api_call::tick, 0, 5000);
}

bool local_distribution_manager::tick(double min_seconds, double max_seconds) {
  if (intercepts_->vetoes([&](intercept& i) { i.tick(min_seconds, max_seconds); })) return false;
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
  delivery_window window(get_callback_queue());
  if (callback_queue* queue = get_callback_queue()) queue->deliver_pending();
  return scheduler_->tick(limit_ms, budget_ms);
}

}  // namespace varnel
