// The core object of one federate: owns the configuration, clock, scheduler, debugging events,
// statistics, stream transport and federation manager from construction on, and the join-time
// managers (joined_managers) while joined.
// Every service runs inside one frame (lock, ticking guard, accounting, tracing, joined check,
// argument checks, RID switches) before it forwards; all work happens on the caller's thread
// inside a service or tick. The binding derives from this class and owns one per ambassador.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "federate_identifier.h"
#include "federation/federation_manager.h"
#include "frame/rti_api_call.h"
#include "frame/varnel_export.h"

namespace brindle {
class RID;
class text_output_interceptor;
class bit_vector;
class message_stats_tracker;
class millisecond_clock;
class scheduler;
}  // namespace brindle
namespace vessmark {
class stream_manager;
}  // namespace vessmark

namespace varnel {

class FED;
class argument_checker;
class callback_queue;
class debugging_events;
class dstream;
class federate_handle_set;
class intercept;
class intercept_list;
class joined_managers;
class mom_agent;
class plugin_list;
class status_query_monitor;
class ddb;
class subscription_agent;
class msgorder_manager;
struct ordering_message_counts;
class object_manager;
class ownership_manager;
class retraction_manager;
class syncpoint_manager;
class time_manager;
class transport_manager;
class transport_change_manager;
class consistency_manager;
class vterm_manager;
class remterm_manager;
class ping;

// Value types of the services that belong to the managers built at join.
class absolute_time;
class relative_time;
class user_tag;
class region_spec;
class scope_manager;
class handle_value_set;
struct event_retraction_handle;

// The service groups a RID can switch off, in the order of the RID's disable section.
enum class service_group { syncpoints, saverestore, queries, ownership, timeadvance, regions };

class VARNEL_EXPORT local_distribution_manager : private federation_host {
public:
  // The platform text of this build in the version banner.
  static constexpr const char* platform_text = "linux_g++-12";
  // Passed to the stream transport; federates of another release do not hear each other.
  static constexpr uint8_t release_byte = 0x22;

  // Prints the version banner, then reads the RID (named by RTI_RID_FILE), builds everything a
  // federate needs before it joins and loads the plug-ins. Without a scheduler it runs on the real
  // clock; a test may pass one on a clock of its own (a stepped clock), which must outlive this
  // manager. While it is built and once it is being destroyed the federate's own class is not
  // there to take callbacks, so services refuse with InternalError then; intercepts, the RID and
  // the identity queries stay available to plug-ins.
  explicit local_distribution_manager(const char* api_name, std::unique_ptr<brindle::scheduler> on_clock = nullptr);
  virtual ~local_distribution_manager();
  local_distribution_manager(const local_distribution_manager&) = delete;
  local_distribution_manager& operator=(const local_distribution_manager&) = delete;

  // Time factories: the core makes every time value through these and never constructs a
  // concrete time itself. The decoders return null for bytes that are not a whole time or hold a NaN.
  virtual absolute_time* make_absolute_time() = 0;
  virtual absolute_time* decode_absolute_time(const char* bytes, uint32_t length) = 0;
  virtual relative_time* make_relative_time() = 0;
  virtual relative_time* decode_relative_time(const char* bytes, uint32_t length) = 0;

  // The 42 callbacks, in the order the callback records call them. The binding turns each into
  // the federate's callback; the arguments live only for the duration of the call.
  virtual void synchronization_point_registration_succeeded(const char* label) = 0;
  virtual void synchronization_point_registration_failed(const char* label) = 0;
  virtual void announce_synchronization_point(const char* label, const user_tag& tag) = 0;
  virtual void federation_synchronized(const char* label) = 0;
  virtual void initiate_federate_save(const char* label) = 0;
  virtual void federation_saved() = 0;
  virtual void federation_not_saved() = 0;
  virtual void request_federation_restore_succeeded(const char* label) = 0;
  virtual void request_federation_restore_failed(const char* label, const char* reason) = 0;
  virtual void federation_restore_begun() = 0;
  virtual void initiate_federate_restore(const char* label, unsigned federate) = 0;
  virtual void federation_restored() = 0;
  virtual void federation_not_restored() = 0;
  virtual void start_registration_for_object_class(unsigned object_class) = 0;
  virtual void stop_registration_for_object_class(unsigned object_class) = 0;
  virtual void turn_interactions_on(unsigned interaction) = 0;
  virtual void turn_interactions_off(unsigned interaction) = 0;
  virtual void discover_object_instance(unsigned object, unsigned object_class, const char* name) = 0;
  virtual void reflect_attribute_values(unsigned object, const handle_value_set& values, const user_tag& tag) = 0;
  virtual void reflect_attribute_values(unsigned object, const handle_value_set& values, const absolute_time& time,
                                        const user_tag& tag, const event_retraction_handle& handle) = 0;
  virtual void receive_interaction(unsigned interaction, const handle_value_set& values, const user_tag& tag) = 0;
  virtual void receive_interaction(unsigned interaction, const handle_value_set& values, const absolute_time& time,
                                   const user_tag& tag, const event_retraction_handle& handle) = 0;
  virtual void remove_object_instance(unsigned object, const user_tag& tag) = 0;
  virtual void remove_object_instance(unsigned object, const absolute_time& time, const user_tag& tag,
                                      const event_retraction_handle& handle) = 0;
  virtual void attributes_in_scope(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void attributes_out_of_scope(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void provide_attribute_value_update(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void turn_updates_on_for_object_instance(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void turn_updates_off_for_object_instance(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void request_attribute_ownership_assumption(unsigned object, const brindle::bit_vector& attributes,
                                                      const user_tag& tag) = 0;
  virtual void attribute_ownership_divestiture_notification(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void attribute_ownership_acquisition_notification(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void attribute_ownership_unavailable(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void request_attribute_ownership_release(unsigned object, const brindle::bit_vector& attributes,
                                                   const user_tag& tag) = 0;
  virtual void confirm_attribute_ownership_acquisition_cancellation(unsigned object, const brindle::bit_vector& attributes) = 0;
  virtual void inform_attribute_ownership(unsigned object, unsigned attribute, unsigned federate) = 0;
  virtual void attribute_is_not_owned(unsigned object, unsigned attribute) = 0;
  virtual void attribute_owned_by_rti(unsigned object, unsigned attribute) = 0;
  virtual void time_regulation_enabled(const absolute_time& time) = 0;
  virtual void time_constrained_enabled(const absolute_time& time) = 0;
  virtual void time_advance_grant(const absolute_time& time) = 0;
  virtual void request_retraction(const event_retraction_handle& handle) = 0;

  // Called by the federation manager once a join is accepted: stores the identity and builds the
  // join-time managers. A join whose managers cannot all be built leaves the federate unjoined
  // and throws. resign() tears them down again and is harmless when not joined.
  void join(FED* fed, const char* federate_name, const char* federation_name, unsigned federate_id,
            unsigned federation_id, const brindle::federate_identifier& federate,
            const brindle::federate_identifier& federation) override;
  void resign() override;

  // Identity and status: no frame, no lock, no counting. Null or 0 while not joined.
  const char* get_federate_name() const;
  const char* get_federation_name() const;
  unsigned get_federate_id() const { return federate_id_; }
  unsigned get_federation_id() const { return federation_id_; }
  const brindle::federate_identifier& get_federate() const { return federate_; }
  const brindle::federate_identifier& get_federation() const { return federation_; }
  bool is_joined() const { return joined_ != nullptr; }
  // Whole seconds since construction.
  uint64_t get_uptime() const;
  // "-- <release> -- <platform> -- <api name> --", built on first use.
  const char* get_version_banner();
  const char* get_build_info() const;
  // What the federation manager knows of the joined federation's federates: "" or 0 for an
  // unknown handle or while not joined. Handles come out in ascending order; the caller sizes
  // the array with the matching count call. Patterns are extended regular expressions matched
  // without regard to case (".*" matches every federate).
  const char* get_federate_name(unsigned handle);
  const char* get_federate_hostname(unsigned handle);
  void get_federate_object_counts(unsigned handle, unsigned& locals, unsigned& remotes);
  unsigned get_num_joined_federates();
  void get_joined_federates(unsigned* out);
  unsigned get_num_matching_federates(const char* pattern);
  void get_matching_federates(const char* pattern, unsigned* out);

  // What the declaration database knows of objects: 0, null, invalid_handle or false while not
  // joined or for an unknown object. An object is local while it has an attribute owned here and
  // remote while it has one owned elsewhere; it may be both.
  unsigned get_object_count() const;
  unsigned get_local_object_count() const;
  unsigned get_remote_object_count() const;
  unsigned get_object_count(unsigned object_class) const;
  unsigned get_local_object_count(unsigned object_class) const;
  unsigned get_remote_object_count(unsigned object_class) const;
  const char* get_object_name(unsigned object) const;
  unsigned get_object_handle(const char* name) const;
  unsigned get_object_class(unsigned object) const;
  bool is_object_local(unsigned object) const;
  bool is_object_remote(unsigned object) const;

  // Intercepts and plug-ins. add_intercept lists a hook, newest first, which the manager then
  // owns and deletes at its end unless del_intercept hands it back; adding one twice or deleting
  // one not listed is ignored. invoke_plugin_func calls the function name(argument) of every
  // plug-in that defines it.
  void add_intercept(intercept* hook);
  void del_intercept(intercept* hook);
  void invoke_plugin_func(const char* name, void* argument);
  intercept_list& get_intercepts() { return *intercepts_; }
  // Asks every federate on the network for its status; the console lists the answers.
  status_query_monitor& get_status_query_monitor() { return *status_; }

  // What the managers reach each other through.
  brindle::RID& get_rid() { return *rid_; }
  brindle::scheduler& get_scheduler() { return *scheduler_; }
  debugging_events& get_debugging_events() { return *debug_; }
  brindle::message_stats_tracker& get_stats_tracker() { return *stats_; }
  int get_api_tracker() const { return api_tracker_; }
  vessmark::stream_manager& get_stream_manager() { return *streams_; }
  federation_manager& get_federation_manager() { return *federation_manager_; }
  FED* get_fed() const override { return fed_; }
  // The callbacks owed the federate; null while not joined.
  callback_queue* get_callback_queue() const;
  // The declaration database and the subscription agent; null while not joined.
  ddb* get_ddb() const;
  subscription_agent* get_subscription_agent() const;
  // The message ordering layer, the retraction and the time manager; null while not joined.
  msgorder_manager* get_msgorder_manager() const;
  // What the ordering layer's message services sent and delivered, for plug-ins and monitors
  // (msgorder_manager is internal to the library); all zero while not joined.
  ordering_message_counts get_ordering_message_counts() const;
  retraction_manager* get_retraction_manager() const;
  time_manager* get_time_manager() const;
  // The object and transport managers; null while not joined.
  object_manager* get_object_manager() const;
  transport_manager* get_transport_manager() const;
  syncpoint_manager* get_syncpoint_manager() const;
  ownership_manager* get_ownership_manager() const;
  // Null while not joined.
  scope_manager* get_scope_manager() const;
  // The serial of the next synchronization point registered here: it runs on across resign and
  // join, so a point registered after a re-join cannot be mistaken for an earlier one.
  uint32_t next_syncpoint_serial() { return ++syncpoint_serial_; }
  transport_change_manager* get_transport_change_manager() const;
  consistency_manager* get_consistency_manager() const;
  // The management object agent; null while not joined.
  mom_agent* get_mom_agent() const;
  // The console's side while joined: what the process prints reaches the terminals through the
  // interceptor; the vterm manager holds the telnet terminals. Null while not joined.
  brindle::text_output_interceptor* get_text_output_interceptor() const;
  vterm_manager* get_vterm_manager() const;
  // The remote terminals and the ping service; null while not joined (and while the managers
  // are built and torn down around them).
  remterm_manager* get_remterm_manager() const;
  ping* get_ping() const;
  // Held by every service and tick; the callback queue releases it around each callback.
  std::recursive_mutex& get_lock() { return lock_; }
  bool is_disabled(service_group group) const { return switches_[static_cast<size_t>(group)]; }

  // Federation management.
  void create_federation_execution(const char* federation, const char* fed_file);
  void destroy_federation_execution(const char* federation);
  unsigned join_federation_execution(const char* federate, const char* federation);
  void resign_federation_execution(bool cancel_acquisitions, bool delete_objects, bool release_attributes);
  void register_federation_synchronization_point(const char* label, const user_tag& tag);
  // The federates are handles as the federation manager hands them out (31-bit hashes of their
  // identifiers), so they travel as a set of handles, not as bit positions.
  void register_federation_synchronization_point(const char* label, const user_tag& tag,
                                                 const federate_handle_set& federates);
  void synchronization_point_achieved(const char* label);
  void request_federation_save(const char* label);
  void request_federation_save(const char* label, const absolute_time& time);
  void federate_save_begun();
  void federate_save_complete();
  void federate_save_not_complete();
  void request_federation_restore(const char* label);
  void federate_restore_complete();
  void federate_restore_not_complete();

  // Declaration management.
  void publish_object_class(unsigned object_class, const brindle::bit_vector& attributes);
  void unpublish_object_class(unsigned object_class);
  void publish_interaction_class(unsigned interaction);
  void unpublish_interaction_class(unsigned interaction);
  void subscribe_object_class_attributes(unsigned object_class, const brindle::bit_vector& attributes, bool active);
  void unsubscribe_object_class(unsigned object_class);
  void subscribe_interaction_class(unsigned interaction, bool active);
  void unsubscribe_interaction_class(unsigned interaction);

  // Object management.
  unsigned register_object_instance(unsigned object_class);
  unsigned register_object_instance(unsigned object_class, const char* name);
  void update_attribute_values(unsigned object, const handle_value_set& values, const user_tag& tag);
  event_retraction_handle update_attribute_values(unsigned object, const handle_value_set& values,
                                                  const absolute_time& time, const user_tag& tag);
  void send_interaction(unsigned interaction, const handle_value_set& values, const user_tag& tag);
  event_retraction_handle send_interaction(unsigned interaction, const handle_value_set& values,
                                           const absolute_time& time, const user_tag& tag);
  void delete_object_instance(unsigned object, const user_tag& tag);
  event_retraction_handle delete_object_instance(unsigned object, const absolute_time& time, const user_tag& tag);
  void local_delete_object_instance(unsigned object);
  void change_attribute_transportation_type(unsigned object, const brindle::bit_vector& attributes, unsigned transport);
  void change_interaction_transportation_type(unsigned interaction, unsigned transport);
  void request_object_attribute_value_update(unsigned object, const brindle::bit_vector& attributes);
  void request_class_attribute_value_update(unsigned object_class, const brindle::bit_vector& attributes);

  // Ownership management.
  void unconditional_attribute_ownership_divestiture(unsigned object, const brindle::bit_vector& attributes);
  void negotiated_attribute_ownership_divestiture(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag);
  void attribute_ownership_acquisition(unsigned object, const brindle::bit_vector& attributes, const user_tag& tag);
  void attribute_ownership_acquisition_if_available(unsigned object, const brindle::bit_vector& attributes);
  brindle::bit_vector* attribute_ownership_release_response(unsigned object, const brindle::bit_vector& attributes);
  void cancel_negotiated_attribute_ownership_divestiture(unsigned object, const brindle::bit_vector& attributes);
  void cancel_attribute_ownership_acquisition(unsigned object, const brindle::bit_vector& attributes);
  void query_attribute_ownership(unsigned object, unsigned attribute);
  bool is_attribute_owned_by_federate(unsigned object, unsigned attribute);

  // Time management.
  void enable_time_regulation(const absolute_time& time, const relative_time& lookahead);
  void disable_time_regulation();
  void enable_time_constrained();
  void disable_time_constrained();
  void time_advance_request(const absolute_time& time);
  void time_advance_request_available(const absolute_time& time);
  void next_event_request(const absolute_time& time);
  void next_event_request_available(const absolute_time& time);
  void flush_queue_request(const absolute_time& time);
  void enable_asynchronous_delivery();
  void disable_asynchronous_delivery();
  void query_lbts(absolute_time& out);
  void query_federate_time(absolute_time& out);
  void query_min_next_event_time(absolute_time& out);
  void modify_lookahead(const relative_time& lookahead);
  void query_lookahead(relative_time& out);
  void do_retract(const event_retraction_handle& handle);
  void change_attribute_order_type(unsigned object, const brindle::bit_vector& attributes, unsigned order);
  void change_interaction_order_type(unsigned interaction, unsigned order);

  // Data distribution management.
  region_spec* create_region(unsigned space, unsigned extents);
  void notify_about_region_modification(region_spec* region);
  void delete_region(region_spec* region);
  unsigned register_object_instance_with_region(unsigned object_class, const brindle::bit_vector* const attributes[],
                                                region_spec* const regions[], unsigned count);
  unsigned register_object_instance_with_region(unsigned object_class, const char* name,
                                                const brindle::bit_vector* const attributes[], region_spec* const regions[],
                                                unsigned count);
  void associate_region_for_updates(region_spec* region, unsigned object, const brindle::bit_vector& attributes);
  void unassociate_region_for_updates(region_spec* region, unsigned object);
  void subscribe_object_class_attributes_with_region(unsigned object_class, region_spec* region,
                                                     const brindle::bit_vector& attributes, bool active);
  void unsubscribe_object_class_with_region(unsigned object_class, region_spec* region);
  void subscribe_interaction_class_with_region(unsigned interaction, region_spec* region, bool active);
  void unsubscribe_interaction_class_with_region(unsigned interaction, region_spec* region);
  void send_interaction_with_region(unsigned interaction, const handle_value_set& values, const user_tag& tag,
                                    region_spec* region);
  event_retraction_handle send_interaction_with_region(unsigned interaction, const handle_value_set& values,
                                                       const absolute_time& time, const user_tag& tag,
                                                       region_spec* region);
  void request_class_attribute_value_update_with_region(unsigned object_class, const brindle::bit_vector& attributes,
                                                        region_spec* region);

  // Support services: names and handles of the joined federation's object model and objects.
  unsigned get_object_class_handle(const char* name);
  const char* get_object_class_name(unsigned object_class);
  unsigned get_attribute_handle(const char* name, unsigned object_class);
  const char* get_attribute_name(unsigned attribute, unsigned object_class);
  unsigned get_interaction_class_handle(const char* name);
  const char* get_interaction_class_name(unsigned interaction);
  unsigned get_parameter_handle(const char* name, unsigned interaction);
  const char* get_parameter_name(unsigned parameter, unsigned interaction);
  unsigned get_object_instance_handle(const char* name);
  const char* get_object_instance_name(unsigned object);
  unsigned get_routing_space_handle(const char* name);
  const char* get_routing_space_name(unsigned space);
  unsigned get_dimension_handle(const char* name, unsigned space);
  const char* get_dimension_name(unsigned dimension, unsigned space);
  unsigned get_attribute_routing_space_handle(unsigned attribute, unsigned object_class);
  unsigned get_object_instance_class(unsigned object);
  unsigned get_interaction_routing_space_handle(unsigned interaction);
  unsigned get_transportation_handle(const char* name);
  const char* get_transportation_name(unsigned transport);
  unsigned get_ordering_handle(const char* name);
  const char* get_ordering_name(unsigned order);
  unsigned get_region_token(region_spec* region);
  region_spec* get_region(unsigned token);
  void enable_class_relevance_advisory_switch();
  void disable_class_relevance_advisory_switch();
  void enable_attribute_relevance_advisory_switch();
  void disable_attribute_relevance_advisory_switch();
  void enable_attribute_scope_advisory_switch();
  void disable_attribute_scope_advisory_switch();
  void enable_interaction_relevance_advisory_switch();
  void disable_interaction_relevance_advisory_switch();

  // One pass of timers and network input without waiting; returns false.
  bool tick();
  // Passes until min_seconds have gone by, never beyond max_seconds; true when the first pass
  // alone went past max_seconds.
  bool tick(double min_seconds, double max_seconds);

private:
  class service_frame;
  class ticking_guard;

  void create_api_trace_flags();
  void read_switches();
  void check_switch(service_group group) const;
  void check_string(const char* text) const;
  void check_region(const region_spec* region) const;
  // Every entry's attribute set against the class, then every region.
  void check_region_entries(unsigned object_class, const brindle::bit_vector* const attributes[], region_spec* const regions[],
                            unsigned count, const char* service) const;
  const argument_checker& checks() const;
  ddb& database() const;
  subscription_agent& subscriptions() const;
  time_manager& times() const;
  object_manager& objects() const;
  // The (attributes, region) pairs of a registration with regions; none for the plain one.
  struct region_entries {
    const brindle::bit_vector* const* attributes = nullptr;
    region_spec* const* regions = nullptr;
    unsigned count = 0;
  };
  unsigned register_and_announce(unsigned object_class, const char* name, const region_entries& entries);
  transport_manager& transports() const;
  syncpoint_manager& syncpoints() const;
  ownership_manager& ownership() const;
  transport_change_manager& transport_changes() const;
  consistency_manager& queries() const;
  void end_federate() override;
  // Forgets the identity of the federation left and stamps later messages as federation 0.
  void leave_federation();
  const FED& fed() const { return *fed_; }
  bool run_tick(rti_api_call call, uint64_t limit_ms, uint64_t budget_ms);

  // Construction order; destruction runs in reverse.
  std::string api_name_;
  std::unique_ptr<brindle::RID> rid_;
  std::unique_ptr<brindle::millisecond_clock> clock_;  // null when the scheduler came with a clock of its own
  std::unique_ptr<brindle::scheduler> scheduler_;
  std::unique_ptr<debugging_events> debug_;
  std::array<dstream*, rti_api_service_count> api_trace_{};  // streams owned by debug_
  std::array<bool, 6> switches_{};                             // by service_group
  std::unique_ptr<brindle::message_stats_tracker> stats_;
  int api_tracker_ = -1;
  std::unique_ptr<vessmark::stream_manager> streams_;
  std::unique_ptr<federation_manager> federation_manager_;
  // The plug-ins are finalized, then the intercepts deleted, then the modules unloaded: an
  // intercept's destructor is the plug-in's code.
  std::unique_ptr<plugin_list> plugins_;
  std::unique_ptr<status_query_monitor> status_;
  std::unique_ptr<intercept_list> intercepts_;
  bool serving_ = false;  // from the end of construction to the start of destruction

  // Join-time state: set by join, cleared by resign.
  FED* fed_ = nullptr;  // owned by the federation manager
  std::unique_ptr<joined_managers> joined_;

  std::recursive_mutex lock_;
  bool ticking_ = false;
  std::string banner_;
  std::string federate_name_;
  std::string federation_name_;
  unsigned federate_id_ = 0;
  unsigned federation_id_ = 0;
  uint32_t syncpoint_serial_ = 0;
  brindle::federate_identifier federate_;
  brindle::federate_identifier federation_;
};

}  // namespace varnel
