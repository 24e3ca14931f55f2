#include "console/ping_messages.h"

#include "ldm_buf.h"

namespace varnel {

using namespace brindle;

namespace {

uint32_t read_handle(ldm_buf& buffer) {
  const uint32_t handle = buffer.read_4();
  if (handle == 0) throw ldm_decode_error("ping: federate handle 0");
  return handle;
}

}  // namespace

void ping_message::write(ldm_buf& buffer) const {
  buffer << static_cast<uint32_t>(kind);
  if (kind == ping_kind::request)
    buffer << target << requester;
  else
    buffer << requester << responder;
  buffer << stream << sequence << send_time;
}

ping_message ping_message::read(ldm_buf& buffer) {
  ping_message m;
  const uint32_t kind = buffer.read_4();
  if (kind > 1) throw ldm_decode_error("ping: bad kind");
  m.kind = static_cast<ping_kind>(kind);
  if (m.kind == ping_kind::request) {
    m.target = buffer.read_4();
    m.requester = read_handle(buffer);
  } else {
    m.requester = read_handle(buffer);
    m.responder = read_handle(buffer);
  }
  m.stream = static_cast<int32_t>(buffer.read_4());
  if (m.stream < 0 || m.stream > max_stream) throw ldm_decode_error("ping: bad stream");
  m.sequence = buffer.read_4();
  m.send_time = buffer.read_4();
  return m;
}

}  // namespace varnel
