#include "console/remterm_messages.h"

#include <algorithm>
#include <cstring>

#include "ldm_buf.h"
#include "messages/wire_vectors.h"

namespace varnel {

using namespace brindle;

namespace {

uint32_t read_handle(ldm_buf& buffer) {
  const uint32_t handle = buffer.read_4();
  if (handle == 0) throw ldm_decode_error("remote_terminal: federate handle 0");
  return handle;
}

std::string read_line(ldm_buf& buffer) {
  const char* text = buffer.read_string();
  const size_t length = std::strlen(text);
  if (length > remterm_message::max_wire_line) throw ldm_decode_error("remote_terminal: line too long");
  std::string line;
  for (size_t i = 0; i < length && line.size() < remterm_message::max_line; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7f && c != '?') line += char(c);
  }
  return line;
}

}  // namespace

void remterm_message::write(ldm_buf& buffer) const {
  buffer << static_cast<uint32_t>(kind) << from;
  if (kind == remterm_kind::output) {
    buffer << static_cast<uint32_t>(text.size());
    buffer.write_os(text.data(), static_cast<uint32_t>(text.size()));
    return;
  }
  buffer << to;
  if (kind == remterm_kind::line) buffer << text.c_str();
}

remterm_message remterm_message::read(ldm_buf& buffer) {
  remterm_message m;
  const uint32_t kind = buffer.read_4();
  if (kind < 1 || kind > 6) throw ldm_decode_error("remote_terminal: bad kind");
  m.kind = static_cast<remterm_kind>(kind);
  m.from = read_handle(buffer);
  if (m.kind == remterm_kind::output) {
    const uint32_t count = buffer.read_4();
    if (count > max_output || count > bytes_left(buffer)) throw ldm_decode_error("remote_terminal: bad output length");
    if (count > 0) m.text.assign(buffer.read_is(count), count);
    return m;
  }
  m.to = read_handle(buffer);
  if (m.kind == remterm_kind::line) m.text = read_line(buffer);
  return m;
}

}  // namespace varnel
