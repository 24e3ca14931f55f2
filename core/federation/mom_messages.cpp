#include "federation/mom_messages.h"

#include <algorithm>

#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr uint64_t conn_status_bytes = 4 + 5 * 8;

federate_identifier read_identifier(ldm_buf& buffer) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) throw ldm_decode_error("mom status: wildcard identifier");
  return identifier;
}

federate_status_message read_federate_status(ldm_buf& buffer) {
  federate_status_message m;
  m.federate = read_identifier(buffer);
  for (uint32_t& counter : m.counters) buffer >> counter;
  buffer >> m.uplink;
  return m;
}

router_status_message read_router_status(ldm_buf& buffer) {
  router_status_message m;
  m.router = read_identifier(buffer);
  m.host_name = read_name(buffer, "mom status");
  const uint32_t count = buffer.read_4();
  if (count > router_status_message::max_connections || count * conn_status_bytes > bytes_left(buffer))
    throw ldm_decode_error("mom status: bad connection count");
  m.connections.resize(count);
  for (conn_status& connection : m.connections) buffer >> connection;
  return m;
}

}  // namespace

void federate_status_message::write(ldm_buf& buffer) const {
  buffer << type << federate;
  for (uint32_t counter : counters) buffer << counter;
  buffer << uplink;
}

void router_status_message::write(ldm_buf& buffer) const {
  const size_t count = std::min<size_t>(connections.size(), max_connections);
  buffer << type << router << host_name.c_str() << static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) buffer << connections[i];
}

mom_message read_mom_message(ldm_buf& buffer) {
  const uint32_t type = buffer.read_4();
  if (type == federate_status_message::type) return read_federate_status(buffer);
  if (type == router_status_message::type) return read_router_status(buffer);
  throw ldm_decode_error("mom status: unknown type");
}

}  // namespace varnel
