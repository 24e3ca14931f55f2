#include "federation/mom_agent.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <variant>

#include "fed/fed.h"
#include "federation/federation_manager.h"
#include "frame/callback_queue.h"
#include "frame/local_distribution_manager.h"
#include "ldm_buf.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "millisecond_clock.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "rid.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "text_encoding.h"
#include "time/absolute_time.h"
#include "time/event_retraction_handle.h"
#include "time/msgorder_manager.h"
#include "time/relative_time.h"
#include "time/time_manager.h"
#include "transport/transport_manager.h"
#include "transport/transport_messages.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

// Where each attribute's value comes from.
enum class mom_source : uint8_t {
  empty_text,
  zero_integer,
  rti_version,
  fed_id,
  federation_name,
  federates_in_federation,
  federate_handle,
  federate_type,
  federate_host,
  time_constrained,
  time_regulating,
  asynchronous_delivery,
  federate_state,
  time_manager_state,
  federate_time,
  lookahead,
  lbts,
  min_next_event_time,
  receive_order_length,
  timestamp_order_length,
  reflections_received,
  updates_sent,
  interactions_received,
  interactions_sent,
  objects_owned,
  objects_reflected,
  objects_deleted,
  objects_removed,
  objects_registered,
  objects_discovered,
  router_host,
  connected_to,
  incoming_packet_count,
  incoming_byte_count,
  outgoing_packet_count,
  outgoing_byte_count,
  incoming_packet_rate,
  incoming_byte_rate,
  outgoing_packet_rate,
  outgoing_byte_rate,
  local_sub_count,
  remote_sub_count,
  roundtrip_ping_time,
  packet_loss_rate,
};

namespace {

constexpr const char* service_name = "mom_agent";

// The names tried for each role, the first found winning, and the root class of each style.
constexpr std::array<std::array<const char*, 4>, mom_agent::role_count> role_names = {{
    {"HLAmanager.HLAfederation.Varnel", "HLAmanager.HLAfederation", "Manager.Federation.Varnel", "Manager.Federation"},
    {"HLAmanager.HLAfederate.Varnel", "HLAmanager.HLAfederate", "Manager.Federate.Varnel", "Manager.Federate"},
    {"HLAmanager.HLArouter.Varnel", "HLAmanager.HLArouter", "Manager.Router.Varnel", "Manager.Router"},
}};

struct attribute_name {
  const char* style1;  // null: style 2 only
  const char* style2;
  mom_source source;
};

using S = mom_source;

// The connection statistics that federates and routers share.
#define CONNECTION_ATTRIBUTES                                                     \
  {"ConnectedTo", "HLAConnectedTo", S::connected_to},                             \
      {"IncomingPacketCount", "HLAIncomingPacketCount", S::incoming_packet_count}, \
      {"IncomingByteCount", "HLAIncomingByteCount", S::incoming_byte_count},       \
      {"OutgoingPacketCount", "HLAOutgoingPacketCount", S::outgoing_packet_count}, \
      {"OutgoingByteCount", "HLAOutgoingByteCount", S::outgoing_byte_count},       \
      {"IncomingPacketRate", "HLAIncomingPacketRate", S::incoming_packet_rate},    \
      {"IncomingByteRate", "HLAIncomingByteRate", S::incoming_byte_rate},          \
      {"OutgoingPacketRate", "HLAOutgoingPacketRate", S::outgoing_packet_rate},    \
      {"OutgoingByteRate", "HLAOutgoingByteRate", S::outgoing_byte_rate},          \
      {"LocalSubCount", "HLALocalSubCount", S::local_sub_count},                   \
      {"RemoteSubCount", "HLARemoteSubCount", S::remote_sub_count},                \
      {"RoundtripPingTime", "HLARoundtripPingTime", S::roundtrip_ping_time},       \
      {"PacketLossRate", "HLAPacketLossRate", S::packet_loss_rate}

constexpr attribute_name federation_attributes[] = {
    {"FederationName", "HLAfederationName", S::federation_name},
    {"FederatesInFederation", "HLAfederatesInFederation", S::federates_in_federation},
    {"RTIversion", "HLARTIversion", S::rti_version},
    {"FEDid", "HLAFDDID", S::fed_id},
    {"LastSaveName", "HLALastSaveName", S::empty_text},
    {"LastSaveTime", "HLALastSaveTime", S::empty_text},
    {"NextSaveName", "HLANextSaveName", S::empty_text},
    {"NextSaveTime", "HLANextSaveTime", S::empty_text},
    {nullptr, "HLAautoProvide", S::zero_integer},
    {nullptr, "HLAconveyRegionDesignatorSets", S::zero_integer},
};

constexpr attribute_name federate_attributes[] = {
    {"FederateHandle", "HLAfederateHandle", S::federate_handle},
    {"FederateType", "HLAfederateType", S::federate_type},
    {"FederateHost", "HLAfederateHost", S::federate_host},
    {"RTIversion", "HLARTIversion", S::rti_version},
    {"FEDid", "HLAFDDID", S::fed_id},
    {"TimeConstrained", "HLAtimeConstrained", S::time_constrained},
    {"TimeRegulating", "HLAtimeRegulating", S::time_regulating},
    {"AsynchronousDelivery", "HLAasynchronousDelivery", S::asynchronous_delivery},
    {"FederateState", "HLAfederateState", S::federate_state},
    {"TimeManagerState", "HLAtimeManagerState", S::time_manager_state},
    {"FederateTime", "HLAlogicalTime", S::federate_time},
    {"Lookahead", "HLAlookahead", S::lookahead},
    {"LBTS", "HLAGALT", S::lbts},
    {"MinNextEventTime", "HLALITS", S::min_next_event_time},
    {"ROlength", "HLAROlength", S::receive_order_length},
    {"TSOlength", "HLATSOlength", S::timestamp_order_length},
    {nullptr, "HLAtimeGrantedTime", S::federate_time},
    {nullptr, "HLAtimeAdvancingTime", S::federate_time},
    {"ReflectionsReceived", "HLAreflectionsReceived", S::reflections_received},
    {"UpdatesSent", "HLAupdatesSent", S::updates_sent},
    {"InteractionsReceived", "HLAinteractionsReceived", S::interactions_received},
    {"InteractionsSent", "HLAinteractionsSent", S::interactions_sent},
    {"ObjectsOwned", "HLAobjectInstancesThatCanBeDeleted", S::objects_owned},
    {"ObjectsUpdated", "HLAobjectInstancesUpdated", S::objects_owned},
    {"ObjectsReflected", "HLAobjectInstancesReflected", S::objects_reflected},
    {nullptr, "HLAobjectInstancesDeleted", S::objects_deleted},
    {nullptr, "HLAobjectInstancesRemoved", S::objects_removed},
    {nullptr, "HLAobjectInstancesRegistered", S::objects_registered},
    {nullptr, "HLAobjectInstancesDiscovered", S::objects_discovered},
    CONNECTION_ATTRIBUTES,
};

constexpr attribute_name router_attributes[] = {
    {"Hostname", "HLAHostname", S::router_host},
    CONNECTION_ATTRIBUTES,
};

#undef CONNECTION_ATTRIBUTES

template <size_t N>
std::vector<attribute_name> table(const attribute_name (&names)[N]) {
  return std::vector<attribute_name>(names, names + N);
}

std::vector<attribute_name> attribute_table(mom_agent::role r) {
  switch (r) {
    case mom_agent::role::federation: return table(federation_attributes);
    case mom_agent::role::federate: return table(federate_attributes);
    case mom_agent::role::router: return table(router_attributes);
  }
  return {};
}

// Writes the number's text, with its terminating zero, into text (32 bytes); returns its length.
size_t format(uint64_t v, char* text) { return static_cast<size_t>(std::to_chars(text, text + 31, v).ptr - text); }
size_t format(uint32_t v, char* text) { return format(uint64_t{v}, text); }
size_t format(double v, char* text) { return static_cast<size_t>(std::snprintf(text, 32, "%g", v)); }

void encode(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}
void encode(std::string& out, uint64_t v) {
  for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift);
}
void encode(std::string& out, double v) { encode(out, std::bit_cast<uint64_t>(v)); }

}  // namespace

// The values of one reflection in the class's naming style.
class mom_agent::values {
public:
  values(int style, handle_value_set& set) : style_(style), set_(set) {}

  // text[length] is the terminating zero, which style 1 keeps in the value.
  void text(uint32_t attribute, const char* text, size_t length) {
    if (style_ != 2) return set_.add(attribute, static_cast<uint32_t>(length + 1), text);
    std::string bytes = utf8_to_utf16be(std::string_view(text, length));
    bytes.append(2, '\0');
    add(attribute, bytes);
  }
  void text(uint32_t attribute, const std::string& value) { text(attribute, value.c_str(), value.size()); }
  void text(uint32_t attribute, const char* value) { text(attribute, value, std::strlen(value)); }
  void boolean(uint32_t attribute, bool value) {
    if (style_ == 2)
      number(attribute, uint32_t{value});
    else
      text(attribute, value ? "True" : "False");
  }
  template <class T>
  void number(uint32_t attribute, T value) {
    if (style_ != 2) {
      char digits[32];
      const size_t length = format(value, digits);
      digits[length] = '\0';
      return text(attribute, digits, length);
    }
    std::string bytes;
    encode(bytes, value);
    add(attribute, bytes);
  }
  // Style 1: each element and a comma; style 2: the count and the elements.
  template <class T>
  void list(uint32_t attribute, const std::vector<T>& items) {
    std::string bytes;
    if (style_ == 2) encode(bytes, static_cast<uint32_t>(items.size()));
    for (const T& item : items) {
      if (style_ == 2) {
        encode(bytes, item);
      } else {
        char digits[32];
        bytes.append(digits, format(item, digits)).append(1, ',');
      }
    }
    if (style_ != 2) return text(attribute, bytes);
    add(attribute, bytes);
  }
  // Style 1 the time's text, style 2 its own encoding; "0.0" or zero when unknown.
  template <class Time>
  void time(uint32_t attribute, Time* value, Time& zero) {
    if (style_ != 2) return text(attribute, value ? value->printable() : "0.0");
    Time& shown = value ? *value : zero;
    std::string bytes(shown.encoded_length(), '\0');
    shown.encode(bytes.data());
    add(attribute, bytes);
  }

private:
  void add(uint32_t attribute, const std::string& bytes) {
    set_.add(attribute, static_cast<uint32_t>(bytes.size()), bytes.data());
  }

  int style_;
  handle_value_set& set_;
};

mom_agent::mom_agent(local_distribution_manager& ldm)
    : ldm_(ldm),
      interval_ms_(static_cast<uint64_t>(std::max(0, ldm.get_rid().get_integer("management_objects", "mom_interval")))),
      zero_time_(ldm.make_absolute_time()),
      zero_interval_(ldm.make_relative_time()) {
  zero_time_->set_zero();
  zero_interval_->set_zero();
  reliable_ = ldm.get_fed()->get_transport_id("reliable");
  receive_ = ldm.get_fed()->get_order_id("receive");
  connected_to_ = read_connected_to();
  find_classes();
  federation_.identifier = ldm.get_federation();
  own_.identifier = ldm.get_federate();
  ldm.get_stream_manager().join(stream);
  service_ = std::make_unique<stream_service>(&ldm.get_stream_manager(), this, service_name);
  timer_.schedule(ldm.get_scheduler(), step_ms);
}

// The objects go with the object manager's table at resign; the federate hears nothing of them.
mom_agent::~mom_agent() {
  timer_.cancel();
  service_.reset();
  ldm_.get_stream_manager().leave(stream);
}

void mom_agent::find_classes() {
  const FED& fed = *ldm_.get_fed();
  mom_classes_ = bit_vector(fed.num_object_classes(), false);
  bool any = false;
  for (size_t r = 0; r < role_count; ++r) {
    class_role& found = roles_[r];
    for (size_t i = 0; i < role_names[r].size() && found.style == 0; ++i) {
      const uint32_t handle = fed.get_object_class_handle(role_names[r][i]);
      if (handle == invalid_handle) continue;
      found.handle = handle;
      found.style = i < 2 ? 2 : 1;
    }
    if (found.style == 0) continue;
    any = true;
    mom_classes_.set_bit(found.handle);
    const uint32_t super = fed.get_object_superclass(found.handle);
    if (super != invalid_handle) mom_classes_.set_bit(super);
    for (const attribute_name& name : attribute_table(static_cast<role>(r))) {
      const char* chosen = found.style == 2 ? name.style2 : name.style1;
      const uint32_t attribute = chosen ? fed.get_attribute_handle(chosen, found.handle) : invalid_handle;
      if (attribute != invalid_handle) found.attributes.push_back({attribute, name.source});
    }
  }
  uint32_t root = fed.get_object_class_handle("HLAmanager");
  if (root == invalid_handle) root = fed.get_object_class_handle("Manager");
  if (any && root != invalid_handle) mom_classes_.set_bit(root);
}

bool mom_agent::is_mom_class(uint32_t object_class) const {
  return mom_classes_.get_bit(object_class);
}

bool mom_agent::is_mom_object(uint32_t object) const {
  if (holds(federation_, object) || holds(own_, object)) return true;
  for (const auto& [identifier, entry] : federates_)
    if (holds(entry, object)) return true;
  for (const auto& [identifier, entry] : routers_)
    if (holds(entry, object)) return true;
  return false;
}

// Update requests

bool mom_agent::request_object(uint32_t object) {
  if (holds(federation_, object)) {
    refresh_federation();
    return true;
  }
  if (holds(own_, object)) {
    refresh_federate(own_, true);
    return true;
  }
  for (auto& [identifier, entry] : federates_) {
    if (!holds(entry, object)) continue;
    refresh_federate(entry, false);
    return true;
  }
  for (auto& [identifier, entry] : routers_) {
    if (!holds(entry, object)) continue;
    refresh_router(entry);
    return true;
  }
  return false;
}

bool mom_agent::request_class(uint32_t object_class) {
  if (!is_mom_class(object_class)) return false;
  const FED& fed = *ldm_.get_fed();
  auto derives = [&](role r) {
    const class_role& c = roles_[static_cast<size_t>(r)];
    return c.style != 0 && fed.is_object_class_derived(object_class, c.handle);
  };
  if (derives(role::federation)) refresh_federation();
  if (derives(role::federate)) {
    refresh_federate(own_, true);
    for (auto& [identifier, entry] : federates_) refresh_federate(entry, false);
  }
  if (derives(role::router))
    for (auto& [identifier, entry] : routers_) refresh_router(entry);
  return true;
}

// The timer

void mom_agent::step() {
  if (due(federation_)) refresh_federation();
  if (due(own_)) {
    send_own_status();
    refresh_federate(own_, true);
  }
  drop_gone_federates();
  for (auto& [identifier, entry] : federates_)
    if (due(entry)) refresh_federate(entry, false);
  expire_routers();
  for (auto& [identifier, entry] : routers_)
    if (due(entry)) refresh_router(entry);
}

bool mom_agent::due(const object_record& record) const {
  return !record.refreshed || now() - record.last_refresh > interval_ms_;
}

void mom_agent::send_own_status() {
  federate_status_message status;
  status.federate = own_.identifier;
  const transport_manager* transports = ldm_.get_transport_manager();
  const msgorder_manager* order = ldm_.get_msgorder_manager();
  auto set = [&](mom_counter which, uint64_t value) {
    status.counters[static_cast<size_t>(which)] = static_cast<uint32_t>(value);
  };
  if (transports) {
    set(mom_counter::updates_sent, transports->counters().updates);
    set(mom_counter::interactions_sent, transports->counters().interactions);
    set(mom_counter::reflections_received, transports->received().reflections);
    set(mom_counter::interactions_received, transports->received().interactions);
  }
  if (order) {
    set(mom_counter::receive_order_length, order->receive_order_length());
    set(mom_counter::timestamp_order_length, order->timestamp_order_length());
  }
  status.uplink = ldm_.get_stream_manager().get_uplink_status();
  sample(own_, status.counters, status.uplink, now());
  ldm_buf* buffer = service_->get_buf();
  status.write(*buffer);
  service_->send(stream, priority, buffer);
  buffer->release_buf();
  ++counters_.sent;
}

void mom_agent::sample(federate_entry& entry, const mom_counters& counters, const conn_status& uplink, uint64_t at) {
  if (entry.heard && at > entry.sampled_at) entry.rate = rates_between(entry.uplink, uplink, at - entry.sampled_at);
  entry.counters = counters;
  entry.uplink = uplink;
  entry.sampled_at = at;
  entry.heard = true;
}

mom_agent::rates mom_agent::rates_between(const conn_status& before, const conn_status& after, uint64_t elapsed_ms) {
  rates r;
  if (elapsed_ms == 0) return r;
  const double seconds = static_cast<double>(elapsed_ms) / 1000.0;
  // A counter that went back belongs to a restarted transport: its rate is unknown, not negative.
  auto per_second = [&](uint64_t from, uint64_t to) {
    return to >= from ? static_cast<double>(to - from) / seconds : 0.0;
  };
  r.incoming_packets = per_second(before.packets_received, after.packets_received);
  r.incoming_bytes = per_second(before.bytes_received, after.bytes_received);
  r.outgoing_packets = per_second(before.packets_sent, after.packets_sent);
  r.outgoing_bytes = per_second(before.bytes_sent, after.bytes_sent);
  const double dropped = per_second(before.packets_dropped, after.packets_dropped);
  if (dropped + r.incoming_packets > 0) r.packet_loss = dropped / (dropped + r.incoming_packets);
  return r;
}

void mom_agent::drop_gone_federates() {
  const federation_manager& federations = ldm_.get_federation_manager();
  for (auto it = federates_.begin(); it != federates_.end();) {
    if (federations.find_federate(it->first)) {
      ++it;
      continue;
    }
    remove(it->second);
    it = federates_.erase(it);
  }
}

// A router reports once a step; one not heard for three steps (or three refresh intervals, when
// those are longer) is gone.
void mom_agent::expire_routers() {
  const uint64_t limit = 3 * std::max(interval_ms_, step_ms);
  for (auto it = routers_.begin(); it != routers_.end();) {
    if (now() - it->second.last_heard <= limit) {
      ++it;
      continue;
    }
    remove(it->second);
    it = routers_.erase(it);
    ++counters_.routers_expired;
  }
}

// Receiving

void mom_agent::receive(int, unsigned char, ldm_buf* buffer) {
  const mom_message message = read_mom_message(*buffer);
  ++counters_.received;
  if (const auto* status = std::get_if<federate_status_message>(&message))
    federate_status(*status);
  else
    router_status(std::get<router_status_message>(message));
}

void mom_agent::federate_status(const federate_status_message& status) {
  if (status.federate == own_.identifier) return;
  if (!ldm_.get_federation_manager().find_federate(status.federate)) {
    ++counters_.unknown_federates;
    return;
  }
  federate_entry& entry = federates_[status.federate];
  entry.identifier = status.federate;
  sample(entry, status.counters, status.uplink, now());
  refresh_federate(entry, false);
}

void mom_agent::router_status(const router_status_message& status) {
  auto found = routers_.find(status.router);
  if (found == routers_.end() && routers_.size() >= max_routers) {
    auto oldest = std::min_element(routers_.begin(), routers_.end(), [](const auto& a, const auto& b) {
      return a.second.last_heard < b.second.last_heard;
    });
    remove(oldest->second);
    routers_.erase(oldest);
    ++counters_.routers_replaced;
  }
  router_entry& entry = routers_[status.router];
  entry.identifier = status.router;
  const uint64_t at = now();
  entry.connection_rates.assign(status.connections.size(), rates{});
  if (entry.last_heard != 0 && at > entry.last_heard)
    for (size_t i = 0; i < status.connections.size() && i < entry.connections.size(); ++i)
      entry.connection_rates[i] = rates_between(entry.connections[i], status.connections[i], at - entry.last_heard);
  entry.host_name = status.host_name;
  entry.connections = status.connections;
  entry.last_heard = at;
}

// Refreshing

void mom_agent::refresh_federation() {
  const std::string name = std::string(object_manager::management_prefix).append(ldm_.get_federation_name());
  refresh(federation_, role::federation, name, 0,
          [&](values& out, uint32_t attribute, mom_source source) { federation_value(out, attribute, source); });
}

void mom_agent::refresh_federate(federate_entry& entry, bool own) {
  const federate_record* record = ldm_.get_federation_manager().find_federate(entry.identifier);
  if (!record) return;
  const std::string name = std::string(object_manager::management_prefix).append(std::to_string(record->handle));
  refresh(entry, role::federate, name, record->handle, [&](values& out, uint32_t attribute, mom_source source) {
    federate_value(out, attribute, source, entry, *record, own);
  });
}

void mom_agent::refresh_router(router_entry& entry) {
  const std::string name = std::string(object_manager::management_prefix)
                               .append("RTR_")
                               .append(std::to_string(entry.identifier.hash()));
  refresh(entry, role::router, name, 0,
          [&](values& out, uint32_t attribute, mom_source source) { router_value(out, attribute, source, entry); });
}

template <class Fill>
void mom_agent::refresh(object_record& record, role r, const std::string& name, uint32_t sender, Fill fill) {
  record.last_refresh = now();
  record.refreshed = true;
  const class_role& c = roles_[static_cast<size_t>(r)];
  ddb* database = ldm_.get_ddb();
  callback_queue* callbacks = ldm_.get_callback_queue();
  if (c.style == 0 || !database || !callbacks) return;
  const object_class_entry* made = database->object_class(c.handle);
  if (!made || made->discover_as == no_class) {
    remove(record);
    return;
  }
  const uint32_t discover_as = made->discover_as;
  if (!exists(record)) {
    record.object = ldm_.get_object_manager()->discover_object(discover_as, sender, name);
    record.name = name;
    if (!record.object) return;
  }
  const object_class_entry& subscriber = *database->object_class(discover_as);
  value_set_ptr set(new handle_value_set(static_cast<uint32_t>(c.attributes.size())));
  set->set_transport_type(reliable_);
  set->set_order_type(receive_);
  values out(c.style, *set);
  for (const attribute& a : c.attributes)
    if (a.handle < subscriber.attribute_count && subscriber.subscribed.get_bit(a.handle)) fill(out, a.handle, a.source);
  if (set->size() == 0) return;
  callbacks->add_update_attribute_values(record.object, name.c_str(), discover_as, sender, *set, nullptr, nullptr,
                                         user_tag());
}

void mom_agent::remove(object_record& record) {
  if (exists(record))
    ldm_.get_object_manager()->delete_remote_object(record.object, 0, user_tag(), nullptr, event_retraction_handle{});
  record.object = 0;
}

bool mom_agent::holds(const object_record& record, uint32_t object) const {
  return object != 0 && record.object == object && exists(record);
}

// The federate may have deleted the object locally, and its handle may since name another
// object; then the record's object is made again.
bool mom_agent::exists(const object_record& record) const {
  const ddb* database = ldm_.get_ddb();
  const object_entry* entry = record.object && database ? database->object(record.object) : nullptr;
  return entry && !entry->deleted && entry->name == record.name;
}

void mom_agent::federation_value(values& out, uint32_t attribute, mom_source source) {
  switch (source) {
    case S::federation_name: return out.text(attribute, ldm_.get_federation_name());
    case S::federates_in_federation: {
      std::vector<uint32_t> handles(ldm_.get_num_joined_federates());
      ldm_.get_joined_federates(handles.data());
      return out.list(attribute, handles);
    }
    case S::rti_version: return out.text(attribute, rti_version);
    case S::fed_id: return out.text(attribute, ldm_.get_fed()->get_fed_filename());
    case S::zero_integer: return out.number(attribute, uint32_t{0});
    default: return out.text(attribute, "");
  }
}

void mom_agent::federate_value(values& out, uint32_t attribute, mom_source source, const federate_entry& entry,
                               const federate_record& record, bool own) {
  const time_manager* times = own ? ldm_.get_time_manager() : nullptr;
  const object_manager::counters* objects = own ? &ldm_.get_object_manager()->get_counters() : nullptr;
  auto counter = [&](mom_counter which) { return entry.counters[static_cast<size_t>(which)]; };
  switch (source) {
    case S::federate_handle: return out.number(attribute, uint32_t{record.handle});
    case S::federate_type: return out.text(attribute, record.name);
    case S::federate_host: return out.text(attribute, record.host_name);
    case S::rti_version: return out.text(attribute, rti_version);
    case S::fed_id: return out.text(attribute, ldm_.get_fed()->get_fed_filename());
    case S::time_constrained: return out.boolean(attribute, times && times->is_constrained());
    case S::time_regulating: return out.boolean(attribute, times && times->is_regulating());
    case S::asynchronous_delivery: return out.text(attribute, "True");
    case S::federate_state: return out.text(attribute, "Running");
    case S::time_manager_state: return out.text(attribute, "Idle");
    case S::federate_time:
    case S::lookahead:
    case S::lbts:
    case S::min_next_event_time:
      if (own) return own_time(out, attribute, source);
      if (source == S::lookahead) return out.time<relative_time>(attribute, nullptr, *zero_interval_);
      return out.time<absolute_time>(attribute, nullptr, *zero_time_);
    case S::receive_order_length: return out.number(attribute, counter(mom_counter::receive_order_length));
    case S::timestamp_order_length: return out.number(attribute, counter(mom_counter::timestamp_order_length));
    case S::reflections_received: return out.number(attribute, counter(mom_counter::reflections_received));
    case S::updates_sent: return out.number(attribute, counter(mom_counter::updates_sent));
    case S::interactions_received: return out.number(attribute, counter(mom_counter::interactions_received));
    case S::interactions_sent: return out.number(attribute, counter(mom_counter::interactions_sent));
    case S::objects_owned: return out.number(attribute, record.local_objects);
    case S::objects_reflected: return out.number(attribute, record.remote_objects);
    case S::objects_deleted: return out.number(attribute, objects ? objects->deleted_local : 0);
    case S::objects_removed: return out.number(attribute, objects ? objects->deleted_remote : 0);
    case S::objects_registered: return out.number(attribute, objects ? objects->registered : 0);
    case S::objects_discovered: return out.number(attribute, objects ? objects->discovered : 0);
    case S::connected_to:
      return out.text(attribute, entry.uplink.state == conn_status::up ? connected_to_.c_str() : "");
    case S::incoming_packet_count: return out.number(attribute, entry.uplink.packets_received);
    case S::incoming_byte_count: return out.number(attribute, entry.uplink.bytes_received);
    case S::outgoing_packet_count: return out.number(attribute, entry.uplink.packets_sent);
    case S::outgoing_byte_count: return out.number(attribute, entry.uplink.bytes_sent);
    case S::incoming_packet_rate: return out.number(attribute, entry.rate.incoming_packets);
    case S::incoming_byte_rate: return out.number(attribute, entry.rate.incoming_bytes);
    case S::outgoing_packet_rate: return out.number(attribute, entry.rate.outgoing_packets);
    case S::outgoing_byte_rate: return out.number(attribute, entry.rate.outgoing_bytes);
    case S::local_sub_count: return out.number(attribute, own ? local_subscriptions() : uint32_t{0});
    case S::remote_sub_count: return out.number(attribute, uint32_t{0});
    case S::roundtrip_ping_time: return out.number(attribute, 0.0);
    case S::packet_loss_rate: return out.number(attribute, entry.rate.packet_loss);
    default: return out.text(attribute, "");
  }
}

// The own federate's times, from its time manager.
void mom_agent::own_time(values& out, uint32_t attribute, mom_source source) {
  time_manager* times = ldm_.get_time_manager();
  if (!times) return out.time<absolute_time>(attribute, nullptr, *zero_time_);
  if (source == S::lookahead) {
    std::unique_ptr<relative_time> lookahead(ldm_.make_relative_time());
    times->query_lookahead(*lookahead);
    return out.time(attribute, lookahead.get(), *zero_interval_);
  }
  std::unique_ptr<absolute_time> time(ldm_.make_absolute_time());
  if (source == S::federate_time)
    times->query_federate_time(*time);
  else if (source == S::lbts)
    times->query_lbts(*time);
  else
    times->query_min_next_event_time(*time);
  out.time(attribute, time.get(), *zero_time_);
}

void mom_agent::router_value(values& out, uint32_t attribute, mom_source source, const router_entry& entry) {
  auto counts = [&](uint64_t conn_status::*field) {
    std::vector<uint64_t> list;
    for (const conn_status& c : entry.connections) list.push_back(c.*field);
    out.list(attribute, list);
  };
  auto rate_list = [&](double rates::*field) {
    std::vector<double> list;
    for (const rates& r : entry.connection_rates) list.push_back(r.*field);
    out.list(attribute, list);
  };
  switch (source) {
    case S::router_host: return out.text(attribute, entry.host_name + ",");
    case S::rti_version: return out.text(attribute, rti_version);
    case S::connected_to: {
      std::vector<uint32_t> states;
      for (const conn_status& c : entry.connections) states.push_back(c.state);
      return out.list(attribute, states);
    }
    case S::incoming_packet_count: return counts(&conn_status::packets_received);
    case S::incoming_byte_count: return counts(&conn_status::bytes_received);
    case S::outgoing_packet_count: return counts(&conn_status::packets_sent);
    case S::outgoing_byte_count: return counts(&conn_status::bytes_sent);
    case S::incoming_packet_rate: return rate_list(&rates::incoming_packets);
    case S::incoming_byte_rate: return rate_list(&rates::incoming_bytes);
    case S::outgoing_packet_rate: return rate_list(&rates::outgoing_packets);
    case S::outgoing_byte_rate: return rate_list(&rates::outgoing_bytes);
    case S::packet_loss_rate: return rate_list(&rates::packet_loss);
    case S::roundtrip_ping_time: return out.list(attribute, std::vector<double>(entry.connections.size(), 0.0));
    default: return out.list(attribute, std::vector<uint32_t>(entry.connections.size(), 0));
  }
}

// Every federate of a federation sends to the same multicast groups: the RID checksums agree.
std::string mom_agent::read_connected_to() const {
  RID& rid = ldm_.get_rid();
  const char* address = rid.get_string("connectivity_providers.multicast", "base_address");
  return std::string(address ? address : "").append(":").append(
      std::to_string(rid.get_integer("connectivity_providers.multicast", "port")));
}

// Object and interaction classes this federate subscribes.
uint32_t mom_agent::local_subscriptions() const {
  const ddb* database = ldm_.get_ddb();
  const FED& fed = *ldm_.get_fed();
  uint32_t count = 0;
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c)
    if (const object_class_entry* entry = database->object_class(c); entry && entry->is_subscribed()) ++count;
  for (uint32_t c = 0; c < fed.num_interaction_classes(); ++c)
    if (const interaction_class_entry* entry = database->interaction_class(c); entry && entry->is_subscribed()) ++count;
  return count;
}

uint64_t mom_agent::now() const { return ldm_.get_scheduler().get_clock().time(); }

}  // namespace varnel
