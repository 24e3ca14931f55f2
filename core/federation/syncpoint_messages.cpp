#include "federation/syncpoint_messages.h"

#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;

namespace {

constexpr uint64_t identifier_bytes = 8;

federate_identifier read_identifier(ldm_buf& buffer, const char* field) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) throw ldm_decode_error(std::string("syncpoint: wildcard ") + field);
  return identifier;
}

federate_identifier_set read_members(ldm_buf& buffer, uint32_t count) {
  if (count > syncpoint_message::max_members || count * identifier_bytes > bytes_left(buffer))
    throw ldm_decode_error("syncpoint: bad member count");
  federate_identifier_set members;
  for (uint32_t i = 0; i < count; ++i) {
    const federate_identifier member = read_identifier(buffer, "member");
    if (!members.empty() && !(*members.rbegin() < member)) throw ldm_decode_error("syncpoint: members out of order");
    members.insert(members.end(), member);
  }
  return members;
}

}  // namespace

void syncpoint_message::write(ldm_buf& buffer) const {
  buffer << sender << static_cast<int32_t>(kind) << point.registrar << point.serial << label.c_str() << tag;
  if (!members) {
    buffer << whole_federation;
    return;
  }
  buffer << static_cast<uint32_t>(members->size());
  for (const federate_identifier& member : *members) buffer << member;
}

syncpoint_message syncpoint_message::read(ldm_buf& buffer) {
  syncpoint_message m;
  m.sender = read_identifier(buffer, "sender");
  const int32_t kind = static_cast<int32_t>(buffer.read_4());
  if (kind < 1 || kind > 3) throw ldm_decode_error("syncpoint: bad kind");
  m.kind = static_cast<syncpoint_kind>(kind);
  m.point.registrar = read_identifier(buffer, "registrar");
  buffer >> m.point.serial;
  m.label = read_name(buffer, "syncpoint");
  buffer >> m.tag;
  const uint32_t count = buffer.read_4();
  if (count != whole_federation) m.members = read_members(buffer, count);
  return m;
}

}  // namespace varnel
