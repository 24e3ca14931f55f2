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

}  // namespace

void creation_message::write(ldm_buf& buffer) const {
  buffer << sender << class_handle << name.c_str() << privilege;
  write_vector(buffer, streams);
}

creation_message creation_message::read(ldm_buf& buffer, const FED& fed) {
  creation_message m;
  buffer >> m.sender >> m.class_handle;
  if (!fed.is_object_class_valid(m.class_handle)) throw ldm_decode_error("creation: unknown class");
  m.name = read_object_name(buffer, "creation");
  buffer >> m.privilege;
  m.streams = read_vector<sparse_bit_vector>(buffer, "creation");
  return m;
}

void deletion_message::write(ldm_buf& buffer) const { buffer << name.c_str() << sender << tag; }

deletion_message deletion_message::read(ldm_buf& buffer) {
  deletion_message m;
  m.name = read_object_name(buffer, "deletion");
  buffer >> m.sender >> m.tag;
  return m;
}

}  // namespace varnel
