// The transport manager turns the federate's attribute updates and interactions into messages:
// it checks each update against the declaration database, groups the values by how they must
// travel (transport, order, stream), encodes one message per group and hands it to the transport
// service of that group. The transport services decode what arrives. One per joined federate,
// built at join after the argument checker, torn down at resign; it owns one transport service
// per transport type of the FED.
//
// An update is sent whole or not at all: every group is encoded and checked (size, stream)
// before the first goes out, so a refusal leaves nothing half sent and no checksum changed.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "objects/ddb.h"
#include "time/event_retraction_handle.h"
#include "time/msgorder_client.h"

namespace brindle {
class bit_vector;
}  // namespace brindle

namespace varnel {

class FED;
class absolute_time;
class ddb;
class dstream;
class filter_spec_base;
class region_spec;
class handle_value_set;
class local_distribution_manager;
class msgorder_manager;
class object_manager;
class subscription_agent;
class transport_service;
class update_listener;
class user_tag;

class transport_manager : public ddb_listener {
public:
  // An encoded message may not exceed what the stream transport carries.
  static constexpr uint32_t max_message_bytes = 16u << 20;
  static constexpr int max_stream = (1 << 24) - 1;

  // The RID's "updates" section.
  struct settings {
    bool sort_attributes = true;
    bool pass_times = false;
    bool perfect_filter = true;
    bool send_trans_attrs = false;
  };

  struct send_counters {
    uint64_t updates = 0;       // calls
    uint64_t update_messages = 0;
    uint64_t interactions = 0;
  };
  struct receive_counters {
    uint64_t reflections = 0;   // updates handed to the federate
    uint64_t interactions = 0;  // interactions handed to the federate
  };

  transport_manager(local_distribution_manager& ldm, ddb& database, subscription_agent& agent,
                    object_manager& objects, msgorder_manager& order);
  ~transport_manager() override;
  transport_manager(const transport_manager&) = delete;
  transport_manager& operator=(const transport_manager&) = delete;

  // The services. time is null for none; the handle comes back zero unless a message went in
  // time-stamp order.
  event_retraction_handle update_attribute_values(uint32_t object, const handle_value_set& values,
                                                  const absolute_time* time, const user_tag& tag);
  event_retraction_handle send_interaction(uint32_t interaction, const handle_value_set& values,
                                           const absolute_time* time, const user_tag& tag, filter_spec_base& filter);

  // Listeners hear of every update message sent after they were added.
  void add_update_listener(update_listener* listener);
  void remove_update_listener(update_listener* listener);

  // Null, after a line on the error stream, for an id beyond the FED's transports.
  transport_service* get_transport_service(uint32_t id) const;
  bool is_implicit_transfer(uint32_t transport) const;
  // At resign: every transport with ownership fail-over gives away the attributes owned here.
  void give_away_implicit();
  // The FED order type of a delivery order.
  uint32_t order_id(message_order order) const {
    return order == message_order::timestamp ? timestamp_order_ : receive_order_;
  }

  const settings& get_settings() const { return settings_; }
  const send_counters& counters() const { return counters_; }
  const receive_counters& received() const { return received_; }

  // What the transport services reach while they decode.
  local_distribution_manager& get_ldm() { return ldm_; }
  ddb& database() { return ddb_; }
  subscription_agent& subscriptions() { return agent_; }
  object_manager& objects() { return objects_; }
  msgorder_manager& ordering() { return order_; }
  dstream& update_trace() { return *update_trace_; }
  dstream& interaction_trace() { return *interaction_trace_; }
  void note_received(bool update, uint32_t class_handle, uint64_t bytes);

  // From the declaration database, passed on to the transport services concerned.
  void object_added(const object_entry& object) override;
  void transport_moved(const object_entry& object, const brindle::bit_vector& attributes, uint32_t from,
                       uint32_t to) override;
  void stream_moved(const object_entry& object, uint32_t attribute, int32_t stream) override;
  void ownership_changed(const object_entry& object, const brindle::bit_vector& attributes, bool gaining) override;
  void object_removed(const object_entry& object) override;

private:
  struct group;
  void add_transport_service(std::unique_ptr<transport_service> service);
  std::vector<group> group_values(uint32_t object, const handle_value_set& values, brindle::bit_vector& takeover);
  void check_size(brindle::ldm_buf* buffer, const char* what, uint32_t handle) const;
  const region_spec* sending_region(const filter_spec_base* filter) const;
  transport_service* service_of(uint32_t transport) const;
  template <class Tell>
  void by_transport(const object_entry& object, const brindle::bit_vector& attributes, Tell tell);

  local_distribution_manager& ldm_;
  const FED& fed_;
  ddb& ddb_;
  subscription_agent& agent_;
  object_manager& objects_;
  msgorder_manager& order_;
  settings settings_;
  uint32_t receive_order_;
  uint32_t timestamp_order_;
  std::vector<std::unique_ptr<transport_service>> services_;  // by FED transport id
  std::vector<update_listener*> listeners_;
  dstream* update_trace_;
  dstream* interaction_trace_;
  int trackers_[4];  // object_updates, object_receives, interaction_sends, interaction_receives
  send_counters counters_;
  receive_counters received_;
};

}  // namespace varnel
