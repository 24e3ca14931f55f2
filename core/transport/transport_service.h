// A transport service: one per transport type of the FED. It sends the transport manager's
// update and interaction messages through one message service of the ordering layer, and turns
// the messages it receives back into reflect and receive callbacks: decode, filter by what this
// federate subscribes, discover unknown objects, ask the concrete transport whether to deliver.
// The concrete classes follow the RID's implementation word; built and owned by the transport
// manager from join to resign.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "time/msgorder_client.h"
#include "transport/transport_messages.h"

namespace brindle {
class RID;
class bit_vector;
}  // namespace brindle

namespace varnel {

class failure_ownership;
class transport_manager;
struct object_class_entry;
struct object_entry;

class transport_service : public msgorder_client {
public:
  // Messages dropped on receipt, by reason. None is an error: each is what filtering is for, or
  // what a damaged or unexpected message costs. Updates of recently deleted objects and of known
  // names with an unrelated class are counted by the object manager.
  struct receive_counters {
    uint64_t undecodable = 0;          // thrown out by the decoder
    uint64_t unknown_space = 0;        // a region of a routing space this model lacks
    uint64_t not_subscribed = 0;       // class not subscribed here, or not on that stream
    uint64_t region_filtered = 0;      // region data no region subscription matches
    uint64_t no_subscribed_values = 0; // nothing left after filtering the attributes
    uint64_t foreign_values = 0;       // handles the class does not have
    uint64_t not_instantiated = 0;     // discovery failed
    uint64_t unchanged = 0;            // duplicates suppressed
    uint64_t refused = 0;              // the transport's accept said no
    uint64_t updates = 0;              // delivered
    uint64_t interactions = 0;         // delivered
  };

  transport_service(transport_manager& manager, uint32_t id, brindle::RID& rid, bool no_shared);
  ~transport_service() override;
  transport_service(const transport_service&) = delete;
  transport_service& operator=(const transport_service&) = delete;

  // A buffer of this transport's message service with the ordering header written.
  brindle::ldm_buf* get_buf(message_order order, const absolute_time* time, event_retraction_handle& handle);
  virtual void send_update(brindle::ldm_buf* buffer, int stream, const object_entry& object,
                           const brindle::bit_vector& attributes, bool changed) = 0;
  virtual void send_interaction(brindle::ldm_buf* buffer, int stream) = 0;
  // What follows the values of an update, for a transport that appends to its updates: read
  // and validated before the update changes anything, kept for accept_update.
  virtual void read_trailer(brindle::ldm_buf&) {}
  // 0 drops, 1 delivers, 2 delivers when some value changed or duplicates are not suppressed.
  virtual int accept_update(const data_message& message, const object_entry& object, int stream) = 0;
  virtual bool accept_interaction(const data_message& message, int stream) = 0;
  // False for transports whose messages interactions cannot take: sends are refused.
  virtual bool carries_interactions() const = 0;

  // What the declaration database tells of the objects, through the transport manager, for
  // transports that keep lists of them; the plain transport ignores it. Assigned: attributes
  // now use this transport (a new object, or a change to it); lost: they moved to another.
  virtual void attributes_assigned(const object_entry&, const brindle::bit_vector&) {}
  virtual void attributes_lost(const object_entry&, const brindle::bit_vector&) {}
  virtual void attributes_restreamed(const object_entry&, const brindle::bit_vector&, int) {}
  virtual void ownership_changed(const object_entry&, const brindle::bit_vector&, bool) {}
  virtual void object_removed(const object_entry&) {}

  // From the ordering layer: one message of this transport.
  void deliver(ordering_service service, message_order order, const absolute_time* time,
               const event_retraction_handle& handle, int stream, unsigned char priority,
               brindle::ldm_buf* buffer) override;

  uint32_t get_id() const { return id_; }
  const std::string& get_name() const { return name_; }
  ordering_service get_message_service() const { return service_; }
  bool suppresses_duplicates() const { return suppress_dups_; }
  bool has_implicit_transfer() const { return implicit_transfer_; }
  // Ownership fail-over of the transport's objects; null without implicit transfer.
  failure_ownership* failure() const { return failure_.get(); }
  const receive_counters& counters() const { return counters_; }

protected:
  transport_manager& manager_;
  ordering_service service_ = ordering_service::best_effort;

private:
  struct arrival;
  void decode_update(arrival& in);
  bool known_with_related_class(const data_message& message, const object_entry* object);
  value_set_ptr subscribed_values(const arrival& in, const object_class_entry& receiving,
                                  const object_entry* object, brindle::bit_vector& attributes);
  void note_arrival(const arrival& in, object_entry& object, const object_class_entry& receiving,
                    const brindle::bit_vector& attributes);
  void decode_interaction(arrival& in);
  bool region_accepts(const data_message& message, bool class_subscribes, uint32_t object_class,
                      uint32_t interaction);
  static void attach_region(data_message& message, handle_value_set& values);
  object_entry* find_or_discover(arrival& in, uint32_t& object_class);

  uint32_t id_;
  std::string name_;
  bool suppress_dups_;
  bool implicit_transfer_;
  std::unique_ptr<failure_ownership> failure_;
  receive_counters counters_;
};

}  // namespace varnel
