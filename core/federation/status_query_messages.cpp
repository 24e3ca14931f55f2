#include "federation/status_query_messages.h"

#include <algorithm>

#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;
using namespace vessmark;

namespace {

constexpr uint64_t conn_status_bytes = 4 + 5 * 8;

federate_identifier read_identifier(ldm_buf& buffer, const char* field) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) throw ldm_decode_error(std::string("status query: wildcard ") + field);
  return identifier;
}

void write_snapshot(ldm_buf& buffer, const status_snapshot& s) {
  buffer << s.version_banner.c_str() << s.build_info.c_str() << s.uptime << s.federate << s.federate_name.c_str()
         << s.host_name.c_str() << s.federation_name.c_str() << s.local_objects << s.remote_objects << s.uplink;
}

status_snapshot read_snapshot(ldm_buf& buffer) {
  status_snapshot s;
  s.version_banner = read_name(buffer, "status query");
  s.build_info = read_name(buffer, "status query");
  buffer >> s.uptime;
  s.federate = read_identifier(buffer, "federate");
  s.federate_name = read_name(buffer, "status query");
  s.host_name = read_name(buffer, "status query");
  s.federation_name = read_name(buffer, "status query");
  buffer >> s.local_objects >> s.remote_objects >> s.uplink;
  return s;
}

std::vector<conn_status> read_routers(ldm_buf& buffer) {
  const uint32_t count = buffer.read_4();
  if (count > status_message::max_routers || count * conn_status_bytes > bytes_left(buffer))
    throw ldm_decode_error("status query: bad router count");
  std::vector<conn_status> routers(count);
  for (conn_status& router : routers) buffer >> router;
  return routers;
}

}  // namespace

void status_message::write(ldm_buf& buffer) const {
  const bool routers = kind != status_kind::query && !snapshot.routers.empty();
  const status_kind written = kind == status_kind::query ? kind : routers ? status_kind::answer_with_routers : status_kind::answer;
  buffer << static_cast<int32_t>(written) << querier << number;
  if (written == status_kind::query) return;
  write_snapshot(buffer, snapshot);
  if (!routers) return;
  const size_t count = std::min<size_t>(snapshot.routers.size(), max_routers);
  buffer << static_cast<uint32_t>(count);
  for (size_t i = 0; i < count; ++i) buffer << snapshot.routers[i];
}

status_message status_message::read(ldm_buf& buffer) {
  status_message m;
  const auto kind = static_cast<int32_t>(buffer.read_4());
  if (kind < 0 || kind > 2) throw ldm_decode_error("status query: bad kind");
  m.kind = static_cast<status_kind>(kind);
  m.querier = read_identifier(buffer, "querier");
  buffer >> m.number;
  if (m.kind == status_kind::query) return m;
  m.snapshot = read_snapshot(buffer);
  if (m.kind == status_kind::answer_with_routers) m.snapshot.routers = read_routers(buffer);
  return m;
}

}  // namespace varnel
