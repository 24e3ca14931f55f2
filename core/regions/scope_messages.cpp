#include "regions/scope_messages.h"

#include "ldm_buf.h"
#include "messages/wire_vectors.h"
#include "stream_manager.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const what = "scope";

}  // namespace

void scope_message::write(ldm_buf& buffer) const {
  buffer << object.c_str() << static_cast<uint32_t>(new_stream);
  write_vector(buffer, attributes);
}

scope_message scope_message::read(ldm_buf& buffer) {
  scope_message m;
  m.object = read_name(buffer, what);
  if (m.object.empty()) throw ldm_decode_error("scope: empty object name");
  m.new_stream = static_cast<int32_t>(buffer.read_4());
  if (m.new_stream < -1 || (m.new_stream >= 0 && uint64_t(m.new_stream) >= vessmark::stream_manager::stream_limit))
    throw ldm_decode_error("scope: stream out of range");
  m.attributes = read_vector<bit_vector>(buffer, what);
  return m;
}

}  // namespace varnel
