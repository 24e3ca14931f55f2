#include "objects/ownership_messages.h"

#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;

namespace {

std::string read_object(ldm_buf& buffer, const char* what) {
  std::string name = read_name(buffer, what);
  if (name.empty()) throw ldm_decode_error(std::string(what) + ": empty object name");
  return name;
}

federate_identifier read_identifier(ldm_buf& buffer, const char* what) {
  federate_identifier identifier;
  buffer >> identifier;
  if (identifier.is_wildcard()) throw ldm_decode_error(std::string(what) + ": wildcard identifier");
  return identifier;
}

bool carries_attributes(ownership_type type) { return type < ownership_type::who_owns; }
bool carries_tag(ownership_type type) { return type == ownership_type::offer || type == ownership_type::request; }
bool carries_other(ownership_type type) {
  return type == ownership_type::we_take || type == ownership_type::releasing || type == ownership_type::i_own;
}

}  // namespace

const char* ownership_type_name(ownership_type type) {
  switch (type) {
    case ownership_type::new_floating: return "NEW_FLOATING_MSG";
    case ownership_type::offer: return "ATTRS_OFFER_MSG";
    case ownership_type::offer_cancellation: return "ATTRS_OFFER_CANCELLATION_MSG";
    case ownership_type::we_take: return "WE_TAKE_THESE_MSG";
    case ownership_type::request: return "REQUEST_ATTRS_MSG";
    case ownership_type::request_cancellation: return "REQUEST_ATTRS_CANCELLATION_MSG";
    case ownership_type::releasing: return "RELEASING_ATTRS_MSG";
    case ownership_type::who_owns: return "WHO_OWNS_MSG";
    case ownership_type::i_own: return "I_OWN_MSG";
  }
  return "?";
}

void ownership_message::write(ldm_buf& buffer) const {
  buffer << static_cast<uint32_t>(type) << object.c_str();
  if (carries_attributes(type)) {
    write_vector(buffer, attributes);
  } else {
    buffer << attribute;
  }
  buffer << sender;
  if (carries_other(type)) buffer << other;
  if (type == ownership_type::i_own) buffer << owner_number;
  if (carries_tag(type)) buffer << tag;
}

ownership_message ownership_message::read(ldm_buf& buffer) {
  ownership_message m;
  const uint32_t type = buffer.read_4();
  if (type < 1 || type > 9) throw ldm_decode_error("ownership: unknown message type");
  m.type = static_cast<ownership_type>(type);
  m.object = read_object(buffer, "ownership");
  if (carries_attributes(m.type)) {
    m.attributes = read_vector<bit_vector>(buffer, "ownership");
  } else {
    buffer >> m.attribute;
  }
  m.sender = read_identifier(buffer, "ownership");
  if (carries_other(m.type)) m.other = read_identifier(buffer, "ownership");
  if (m.type == ownership_type::i_own) buffer >> m.owner_number;
  if (carries_tag(m.type)) buffer >> m.tag;
  return m;
}

bool failover_message::outranks(const failover_message& other) const {
  if (ticket != other.ticket) return ticket > other.ticket;
  if (number != other.number) return number > other.number;
  return other.sender < sender;
}

void failover_message::write(ldm_buf& buffer) const {
  buffer << static_cast<uint32_t>(type) << object.c_str() << ticket << number << sender;
}

failover_message failover_message::read(ldm_buf& buffer) {
  failover_message m;
  const uint32_t type = buffer.read_4();
  if (type < 1 || type > 4) throw ldm_decode_error("failover: unknown message type");
  m.type = static_cast<failover_type>(type);
  m.object = read_object(buffer, "failover");
  buffer >> m.ticket >> m.number;
  m.sender = read_identifier(buffer, "failover");
  return m;
}

}  // namespace varnel
