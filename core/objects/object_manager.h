// The object manager registers this federate's object instances, discovers other federates'
// instances and deletes both, with no central registry. Handles are this federate's own
// numbers; across federates an object is known by its name. Registration checks a name
// against every name this federate has heard announced; discovery happens when a creation
// announcement arrives for a joined stream or, at the latest, at the first subscribed update
// of an unknown name. Deletions go reliably and are remembered for a while, so that late
// updates of a deleted object do not discover it again. Built at join after the ordering
// layer (its deletion actor is the layer's first client), torn down at resign.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "federation/federate_join_client.h"
#include "time/event_retraction_handle.h"
#include "timers.h"

namespace varnel {

class absolute_time;
class creation_actor;
class ddb;
class deletion_actor;
class dstream;
class local_distribution_manager;
class msgorder_manager;
class remembered_object_queue;
class user_tag;
struct creation_message;
struct deletion_message;
struct object_entry;

class object_manager : public brindle::oneshot_realtime_timer, public federate_join_client {
public:
  // Names heard announced come from the network: beyond this many, new ones are not kept.
  static constexpr size_t max_known_names = 1u << 20;
  // The names of the management objects, which every federate makes for itself
  // (federation/mom_agent.h).
  static constexpr std::string_view management_prefix = "HLA_MOM_";

  struct counters {
    uint64_t registered = 0;
    uint64_t discovered = 0;
    uint64_t deleted_local = 0;
    uint64_t deleted_remote = 0;
    uint64_t names_refused = 0;        // the known-names table was full
    uint64_t remembered_dropped = 0;   // updates and announcements of recently deleted objects
    uint64_t unrelated_class = 0;      // a known name updated with an unrelated class
    uint64_t stale_announcements = 0;  // announcements that arrived after their deletion
    uint64_t reserved_names = 0;       // announcements, updates and deletions of management names
  };

  object_manager(local_distribution_manager& ldm, ddb& database, msgorder_manager& order);
  ~object_manager() override;
  object_manager(const object_manager&) = delete;
  object_manager& operator=(const object_manager&) = delete;

  // The services. register_object refuses an unpublished class, a reserved or taken name.
  uint32_t register_object(uint32_t object_class, const char* name);
  void announce_creation(uint32_t object);
  // A handle, or 0 when the name is in the deletion memory (the drop is counted).
  uint32_t discover_object(uint32_t object_class, uint32_t sender, const std::string& name);
  // Refuses an unknown object and one whose privilege to delete is not held here. Returns the
  // deletion's retraction handle (zero unless it went in time order).
  event_retraction_handle delete_local_object(uint32_t object, const user_tag& tag, const absolute_time* time);
  void delete_remote_object(uint32_t object, uint32_t sender, const user_tag& tag, const absolute_time* time,
                            const event_retraction_handle& handle);
  // The resign action: deletes every object whose privilege to delete is held here.
  void delete_local_objects();
  // The console's repairs. flush forgets a remote object here alone, as if its deletion had
  // been received (a local one is left alone: false). cleanup deletes an object for the whole
  // federation whoever owns it; a remote one is also removed here with its callback.
  bool flush_remote_object(uint32_t object);
  void cleanup_object(uint32_t object);

  bool is_remembered(const std::string& name) const;
  // True, counting the drop, for a name of a management object arriving from the network: no
  // other federate may announce, update or delete one, so none can pose as management values.
  bool refuses_reserved(const std::string& name);
  void count_remembered_drop() { ++counters_.remembered_dropped; }
  void count_unrelated_class() { ++counters_.unrelated_class; }
  const counters& get_counters() const { return counters_; }
  size_t known_name_count() const { return known_names_.size(); }

  // From the actors.
  void creation_received(const creation_message& message);
  void deletion_received(const deletion_message& message, const absolute_time* time,
                         const event_retraction_handle& handle);

  void federate_joined(federate_record* federate) override;
  void federate_gone(federate_record* federate) override;

protected:
  void on_timer() override;

private:
  uint32_t next_handle();
  // Sends the object's deletion and removes it here; no callback.
  event_retraction_handle send_deletion(const object_entry& entry, const user_tag& tag, const absolute_time* time);
  std::string automatic_name(uint32_t handle) const;
  void check_name(const char* name) const;
  void remember_name(const std::string& name, uint32_t announcer);

  local_distribution_manager& ldm_;
  ddb& ddb_;
  dstream& trace_;
  uint32_t privilege_to_delete_;
  uint32_t next_handle_ = 1;
  bool creation_announcements_;
  std::unordered_map<std::string, uint32_t> known_names_;  // name -> announcing federate number
  std::deque<uint32_t> deferred_;  // remote objects deleted outside the scheduler's run
  std::unique_ptr<remembered_object_queue> remembered_;
  std::unique_ptr<creation_actor> creation_;
  std::unique_ptr<deletion_actor> deletion_;
  counters counters_;
};

}  // namespace varnel
