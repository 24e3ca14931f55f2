#include "objects/object_messages.h"

#include "fed/fed.h"
#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;

namespace {

std::string read_object_name(ldm_buf& buffer, const char* what) {
  std::string name = read_name(buffer, what);
  if (name.empty()) throw ldm_decode_error(std::string(what) + ": empty object name");
  return name;
}

uint32_t read_count(ldm_buf& buffer, uint32_t limit, uint64_t bytes_each, const char* what) {
  const uint32_t count = buffer.read_4();
  if (count > limit || count * bytes_each > bytes_left(buffer))
    throw ldm_decode_error(std::string(what) + ": count beyond the message");
  return count;
}

}  // namespace

void creation_message::write(ldm_buf& buffer) const {
  buffer << sender << class_handle << name.c_str() << privilege;
  write_vector(buffer, streams);
  buffer << object;
}

creation_message creation_message::read(ldm_buf& buffer, const FED& fed) {
  creation_message m;
  buffer >> m.sender >> m.class_handle;
  if (!fed.is_object_class_valid(m.class_handle)) throw ldm_decode_error("creation: unknown class");
  m.name = read_object_name(buffer, "creation");
  buffer >> m.privilege;
  m.streams = read_vector<sparse_bit_vector>(buffer, "creation");
  buffer >> m.object;
  return m;
}

void deletion_message::write(ldm_buf& buffer) const { buffer << name.c_str() << sender << tag << object; }

deletion_message deletion_message::read(ldm_buf& buffer) {
  deletion_message m;
  m.name = read_object_name(buffer, "deletion");
  buffer >> m.sender >> m.tag >> m.object;
  return m;
}

void query_message::write(ldm_buf& buffer) const {
  buffer << static_cast<uint32_t>(names.size());
  for (const std::string& name : names) buffer << name.c_str();
  buffer << static_cast<uint32_t>(classes.size());
  for (uint32_t c : classes) buffer << c;
  write_vector(buffer, streams);
}

query_message query_message::read(ldm_buf& buffer, const FED& fed) {
  query_message m;
  const uint32_t names = read_count(buffer, max_names, 1, "query");
  m.names.reserve(names);
  for (uint32_t i = 0; i < names; ++i) m.names.push_back(read_name(buffer, "query"));
  const uint32_t classes = read_count(buffer, fed.num_object_classes(), 4, "query");
  m.classes.resize(classes);
  for (uint32_t& c : m.classes) {
    buffer >> c;
    if (!fed.is_object_class_valid(c)) throw ldm_decode_error("query: unknown class");
  }
  m.streams = read_vector<sparse_bit_vector>(buffer, "query");
  if (m.streams.count() > max_streams) throw ldm_decode_error("query: too many streams");
  return m;
}

void transport_change_message::write(ldm_buf& buffer) const {
  buffer << name.c_str() << transport;
  write_vector(buffer, attributes);
}

transport_change_message transport_change_message::read(ldm_buf& buffer, const FED& fed) {
  transport_change_message m;
  m.name = read_object_name(buffer, "transport change");
  buffer >> m.transport;
  if (m.transport >= fed.num_transport_types() || !fed.get_transport_name(m.transport))
    throw ldm_decode_error("transport change: unknown transport");
  m.attributes = read_vector<bit_vector>(buffer, "transport change");
  return m;
}

}  // namespace varnel
