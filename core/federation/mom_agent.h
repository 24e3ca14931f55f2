// The management object agent: gives the federate the management view of its federation, one
// object for the federation, one per federate and one per stream router. Every federate makes
// these objects for itself from what its federation manager knows and from the status messages
// the agents exchange (mom_messages.h); no management object is registered or updated on the
// network. They reach the federate as discovered objects and reflections, through the object
// manager and the callback queue, only for the management classes it subscribes.
//
// The classes are found in the FED under two naming styles: "HLAmanager.HLAfederate" and its
// kin (style 2: integers as 4-byte and counters as 8-byte big-endian values, reals as 8-byte
// big-endian doubles, text as UTF-16 big-endian, times in the federate's own encoding, lists as
// a count word and the elements) or "Manager.Federate" and its kin (style 1: every value as
// text with its terminating zero). A FED without them gives no objects; the status messages go
// out all the same.
//
// Once a second the agent sends its own federate's status and refreshes every record that is
// due (older than management_objects.mom_interval milliseconds: with the default 10, every
// record at every step); a received status refreshes its federate's object at once. A
// federate the federation manager no longer knows loses its object, and a router not heard for
// three periods loses its own. Update requests for management objects or classes refresh at
// once instead of going to the network.
//
// Built at join after the ownership manager, torn down at resign between the transport and the
// object manager (joined_managers).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bit_vector.h"
#include "conn_status.h"
#include "federate_identifier.h"
#include "federation/mom_messages.h"
#include "stream_service.h"
#include "timers.h"

namespace varnel {

class absolute_time;
class local_distribution_manager;
struct federate_record;
class relative_time;
enum class mom_source : uint8_t;

class mom_agent : public vessmark::stream_service_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0;
  static constexpr uint64_t step_ms = 1000;
  // Router records kept at most; a new router beyond them replaces the one heard least recently.
  static constexpr size_t max_routers = 256;
  static constexpr const char* rti_version = "Varnel 1.3 D22";

  enum class role : size_t { federation = 0, federate = 1, router = 2 };
  static constexpr size_t role_count = 3;

  struct counters {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t unknown_federates = 0;  // statuses of federates the federation manager does not know
    uint64_t routers_replaced = 0;   // router records dropped for max_routers
    uint64_t routers_expired = 0;
  };

  // What one connection carried between two samples, per second.
  struct rates {
    double incoming_packets = 0;
    double incoming_bytes = 0;
    double outgoing_packets = 0;
    double outgoing_bytes = 0;
    double packet_loss = 0;  // dropped / (received + dropped) packets
  };

  explicit mom_agent(local_distribution_manager& ldm);
  ~mom_agent() override;
  mom_agent(const mom_agent&) = delete;
  mom_agent& operator=(const mom_agent&) = delete;

  // The classes of the management set: the three role classes, their superclasses and the root
  // "HLAmanager" or "Manager".
  bool is_mom_class(uint32_t object_class) const;
  // An object this agent made.
  bool is_mom_object(uint32_t object) const;
  // Update requests: true when the object or class is a management one, whose objects were
  // refreshed at once (every management object whose class derives from the class).
  bool request_object(uint32_t object);
  bool request_class(uint32_t object_class);

  // A status message from stream 2; a malformed one throws ldm_decode_error.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;

  // The class and naming style found for a role (style 0: the FED lacks it).
  uint32_t get_class(role r) const { return roles_[static_cast<size_t>(r)].handle; }
  int get_style(role r) const { return roles_[static_cast<size_t>(r)].style; }
  const counters& get_counters() const { return counters_; }
  size_t remote_federate_count() const { return federates_.size(); }
  size_t router_count() const { return routers_.size(); }

  // The rates between two samples of a connection taken elapsed_ms apart.
  static rates rates_between(const vessmark::conn_status& before, const vessmark::conn_status& after,
                             uint64_t elapsed_ms);

private:
  struct attribute {
    uint32_t handle;
    mom_source source;
  };
  struct class_role {
    uint32_t handle = 0xFFFFFFFFu;
    int style = 0;
    std::vector<attribute> attributes;  // those of the class, in table order
  };
  struct object_record {
    brindle::federate_identifier identifier;
    uint32_t object = 0;  // 0 while no object exists
    std::string name;     // the object's, once made
    uint64_t last_refresh = 0;
    bool refreshed = false;
  };
  struct federate_entry : object_record {
    mom_counters counters{};
    vessmark::conn_status uplink;
    uint64_t sampled_at = 0;
    rates rate;
    bool heard = false;  // counters and uplink hold a status
  };
  struct router_entry : object_record {
    std::string host_name;
    std::vector<vessmark::conn_status> connections;
    std::vector<rates> connection_rates;
    uint64_t last_heard = 0;
  };
  class values;

  class step_timer : public brindle::periodic_realtime_timer {
  public:
    explicit step_timer(mom_agent& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.step(); }

  private:
    mom_agent& owner_;
  };

  void find_classes();
  void step();
  void send_own_status();
  void drop_gone_federates();
  void expire_routers();
  void federate_status(const federate_status_message& status);
  void router_status(const router_status_message& status);
  static void sample(federate_entry& entry, const mom_counters& counters, const vessmark::conn_status& uplink,
                     uint64_t at);

  bool due(const object_record& record) const;
  void refresh_federation();
  void refresh_federate(federate_entry& entry, bool own);
  void refresh_router(router_entry& entry);
  void refresh_all(bool only_due);
  // Sets the record's refresh time; deletes the object when its class is not subscribed, else
  // makes it if needed and reflects the subscribed attributes that fill gives values.
  template <class Fill>
  void refresh(object_record& record, role r, const std::string& name, uint32_t sender, Fill fill);
  void remove(object_record& record);
  // The record's object is still in the declaration database under its name.
  bool exists(const object_record& record) const;
  // The record's object exists and has this handle.
  bool holds(const object_record& record, uint32_t object) const;

  void federation_value(values& out, uint32_t attribute, mom_source source);
  void federate_value(values& out, uint32_t attribute, mom_source source, const federate_entry& entry,
                      const federate_record& record, bool own);
  void router_value(values& out, uint32_t attribute, mom_source source, const router_entry& entry);
  void own_time(values& out, uint32_t attribute, mom_source source);
  std::string read_connected_to() const;
  uint32_t local_subscriptions() const;
  uint64_t now() const;

  local_distribution_manager& ldm_;
  std::unique_ptr<vessmark::stream_service> service_;
  uint64_t interval_ms_;
  std::array<class_role, role_count> roles_;
  brindle::bit_vector mom_classes_;
  std::unique_ptr<absolute_time> zero_time_;
  std::unique_ptr<relative_time> zero_interval_;
  uint32_t reliable_ = 0;  // the transport and order of every reflection
  uint32_t receive_ = 0;
  std::string connected_to_;
  object_record federation_;
  federate_entry own_;
  std::map<brindle::federate_identifier, federate_entry> federates_;
  std::map<brindle::federate_identifier, router_entry> routers_;
  counters counters_;
  step_timer timer_{*this};
};

}  // namespace varnel
