// The declaration database ("DDB"): the federate's own record of what it publishes and
// subscribes, of every object instance it knows (registered here or discovered), and of the
// stream each attribute of an object is sent on. One per joined federate, owned by the
// distribution manager from join to resign.
//
// Service entry points check their arguments before they reach the database, so it never
// throws: an inconsistent request prints one "DDB: ..." warning on standard error and is
// ignored, and no count goes below zero. Subscription counts are kept per stream: the
// filters (through the subscription agent) add and remove the streams they cover.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bit_vector.h"
#include "pools.h"

namespace brindle {
class sparse_bit_vector;
}  // namespace brindle

namespace varnel {

class FED;
class filter_spec_base;
class local_distribution_manager;

// Discover-as and receive-as of a class that neither it nor a superclass subscribes.
inline constexpr uint32_t no_class = 0xFFFFFFFFu;
inline constexpr int32_t no_stream = -1;
// The transport a remote attribute reports.
inline constexpr uint32_t no_transport = 0xFFFFFFFFu;

// Subscription counts by stream, in memory proportional to the streams actually counted.
using stream_counts = std::map<uint32_t, uint32_t>;

struct object_class_entry {
  uint32_t handle = 0;
  uint32_t attribute_count = 0;  // attribute handles 0 .. attribute_count - 1
  std::vector<uint32_t> default_order;
  std::vector<uint32_t> default_transport;
  std::vector<uint32_t> subscribers;  // per attribute: the streams that subscribe it
  brindle::bit_vector published;
  brindle::bit_vector subscribed;
  uint32_t discover_as = no_class;
  stream_counts streams;
  uint32_t locals = 0;
  uint32_t remotes = 0;

  bool is_published() const { return !published.is_empty(); }
  bool is_subscribed() const { return !subscribed.is_empty(); }
};

struct interaction_class_entry {
  uint32_t handle = 0;
  uint32_t order = 0;
  uint32_t transport = 0;
  uint32_t total = 0;  // stream subscriptions of the class
  bool published = false;
  uint32_t receive_as = no_class;
  stream_counts streams;

  bool is_subscribed() const { return total > 0; }
};

struct object_entry : brindle::memory_pooled<object_entry> {
  uint32_t handle = 0;
  object_class_entry* object_class = nullptr;
  std::string name;
  uint32_t last_sender = 0;
  bool created_remote = false;
  bool deleted = false;
  bool privilege_travels = false;  // the privilege to delete moves with implicit transfer
  bool has_local = false;
  bool has_remote = false;
  std::unique_ptr<brindle::bit_vector> used;   // attributes whose values were seen; made on first use
  std::unique_ptr<brindle::bit_vector> local;  // owned attributes; absent while wholly local or remote
  std::vector<uint32_t> order;                 // overrides; empty means the class defaults
  std::vector<uint32_t> transport;
  std::vector<int32_t> stream;                 // per attribute, no_stream when on none
  std::vector<uint64_t> checksum;              // of the last value sent or received
  std::vector<filter_spec_base*> filter;       // associated for sending; empty until the first

  bool is_local(uint32_t attribute) const;
  // The privilege to delete is held here: its attribute (privilegeToDelete) is owned here, or the
  // privilege travels with implicit transfer and came here.
  bool holds_delete_privilege(uint32_t privilege_attribute) const;
};

// Told of the changes the transports keep their object lists by: an object added or removed,
// attributes moving from one transport or stream to another, ownership gained or lost. The
// transport manager listens while it exists.
class ddb_listener {
public:
  virtual ~ddb_listener() = default;
  virtual void object_added(const object_entry& object) = 0;
  // from or to may be no_transport.
  virtual void transport_moved(const object_entry& object, const brindle::bit_vector& attributes, uint32_t from,
                               uint32_t to) = 0;
  virtual void stream_moved(const object_entry& object, uint32_t attribute, int32_t stream) = 0;
  virtual void ownership_changed(const object_entry& object, const brindle::bit_vector& attributes, bool gaining) = 0;
  virtual void object_removed(const object_entry& object) = 0;
};

class ddb {
public:
  ddb(local_distribution_manager& ldm, const FED& fed);
  ~ddb();
  ddb(const ddb&) = delete;
  ddb& operator=(const ddb&) = delete;

  // Publication. The first publication of a class queues start-registration (class relevance
  // on); of an interaction, turn-interactions-on (interaction relevance on).
  void publish_object_class(uint32_t object_class, const brindle::bit_vector& attributes);
  void unpublish_object_class(uint32_t object_class);
  void unpublish_object_class_attributes(uint32_t object_class, const brindle::bit_vector& attributes);
  void publish_interaction_class(uint32_t interaction);
  void unpublish_interaction_class(uint32_t interaction);

  // Subscription counts, called by the filters' stream changes.
  void subscribe_object_class(uint32_t object_class, const brindle::bit_vector& attributes,
                              const brindle::sparse_bit_vector& streams);
  void unsubscribe_object_class(uint32_t object_class, const brindle::bit_vector& attributes,
                                const brindle::sparse_bit_vector& streams);
  void subscribe_interaction_class(uint32_t interaction, const brindle::sparse_bit_vector& streams);
  void unsubscribe_interaction(uint32_t interaction, const brindle::sparse_bit_vector& streams);
  void set_interaction_transport_type(uint32_t interaction, uint32_t transport);
  void set_interaction_order_type(uint32_t interaction, uint32_t order);

  // Objects.
  void instantiate_object(uint32_t object_class, uint32_t object, const char* name, bool remote, uint32_t last_sender);
  void remove_object(uint32_t object);
  // A deleted object whose entry goes at the scheduler's next run: it no longer answers to its
  // name, so a namesake can be discovered meanwhile.
  void mark_deleted(uint32_t object);
  void set_privilege_flag(uint32_t object, bool travels);
  uint32_t get_class(uint32_t object) const;
  bool is_attribute_local(uint32_t object, uint32_t attribute) const;
  void set_attributes_local(uint32_t object, const brindle::bit_vector& attributes);
  void set_attributes_remote(uint32_t object, const brindle::bit_vector& attributes);
  void set_used(uint32_t object, const brindle::bit_vector& attributes);
  void set_transport_type(uint32_t object, const brindle::bit_vector& attributes, uint32_t transport);
  void set_order_type(uint32_t object, const brindle::bit_vector& attributes, uint32_t order);

  // Association and streams of published attributes.
  void set_spec(uint32_t object, const brindle::bit_vector& attributes, filter_spec_base* filter);
  void unset_spec(uint32_t object, const brindle::bit_vector& attributes);
  void set_stream(uint32_t object, const brindle::bit_vector& attributes, int32_t stream);
  void unset_stream(uint32_t object, const brindle::bit_vector& attributes);
  // The owned attributes of every object on the stream, for a provide request when another
  // federate joins it: (object, attributes) pairs.
  std::vector<std::pair<uint32_t, brindle::bit_vector>> provide_for_stream(uint32_t stream) const;

  // One listener at most; null for none.
  void set_listener(ddb_listener* listener) { listener_ = listener; }

  // Advisory switches.
  bool class_relevance = true;
  bool attribute_relevance = false;
  bool interaction_relevance = true;

  // Queries.
  const object_class_entry* object_class(uint32_t handle) const;
  const interaction_class_entry* interaction_class(uint32_t handle) const;
  const object_entry* object(uint32_t handle) const;
  const object_entry* object_named(const std::string& name) const;
  std::vector<uint32_t> object_handles() const;
  // The entry the update path writes its checksums, last sender and privilege flag into; null
  // for an unknown object.
  object_entry* object_for_update(uint32_t handle);
  object_entry* object_for_update(const std::string& name);
  // What an update received says of the object's attributes: they are used, and they travel
  // on this stream, transport and order.
  void note_received(uint32_t object, const brindle::bit_vector& attributes, int32_t stream, uint32_t transport,
                     uint32_t order);
  // Handles of the objects with an attribute on the stream; null when none.
  const std::set<uint32_t>* objects_on_stream(uint32_t stream) const;
  int32_t get_stream(uint32_t object, uint32_t attribute) const;
  uint32_t get_transport_type(uint32_t object, uint32_t attribute) const;
  uint32_t get_order_type(uint32_t object, uint32_t attribute) const;
  // The attributes of the set that the object owns and its class publishes.
  brindle::bit_vector owned_and_published(const object_entry& entry, const brindle::bit_vector& attributes) const;
  uint32_t local_objects() const { return locals_; }
  uint32_t remote_objects() const { return remotes_; }
  size_t object_count() const { return objects_.size(); }
  size_t object_count(uint32_t object_class) const;

private:
  object_class_entry* find_class(uint32_t handle);
  interaction_class_entry* find_interaction(uint32_t handle);
  object_entry* find_object(uint32_t handle);
  object_entry* find_object(uint32_t handle, const char* operation);
  void set_discover_as(uint32_t object_class, uint32_t discover_as);
  void set_receive_as(uint32_t interaction, uint32_t receive_as);
  void reset_unpublished(object_entry& entry, const brindle::bit_vector& removed);
  void stream_count_reached_zero(object_class_entry& entry, uint32_t stream);
  bool unpublished_local(const object_entry& entry, uint32_t attribute) const;
  void set_override(uint32_t object, const brindle::bit_vector& attributes, uint32_t value,
                    std::vector<uint32_t> object_entry::*overrides, std::vector<uint32_t> object_class_entry::*defaults,
                    const char* what, const char* operation);
  void move_stream(object_entry& entry, uint32_t attribute, int32_t stream);
  void note_leaving(const object_entry& entry, uint32_t attribute, int32_t stream,
                    std::map<int32_t, brindle::bit_vector>& leaving) const;
  void tell_scope(const object_entry& entry, const std::map<int32_t, brindle::bit_vector>& leaving, int32_t stream);
  uint32_t transport_of(const object_entry& entry, uint32_t attribute) const;
  void tell_transport_moves(const object_entry& entry, const std::vector<std::pair<uint32_t, uint32_t>>& moves);
  void drop_from_index(uint32_t object, uint32_t stream);
  void count(object_entry& entry, bool local, int change);
  void report_counts();

  local_distribution_manager& ldm_;
  const FED& fed_;
  std::vector<std::unique_ptr<object_class_entry>> classes_;         // by handle; null for an empty slot
  std::vector<std::unique_ptr<interaction_class_entry>> interactions_;
  std::unordered_map<uint32_t, std::unique_ptr<object_entry>> objects_;
  std::unordered_map<std::string, uint32_t> names_;
  std::map<uint32_t, std::set<uint32_t>> stream_index_;
  uint32_t locals_ = 0;
  uint32_t remotes_ = 0;
  ddb_listener* listener_ = nullptr;
};

}  // namespace varnel
