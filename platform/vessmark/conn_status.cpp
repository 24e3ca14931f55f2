#include "conn_status.h"

#include "ldm_buf.h"

namespace vessmark {

using namespace brindle;

namespace {
void write_counter(ldm_buf& buffer, uint64_t value) {
  buffer << static_cast<uint32_t>(value >> 32) << static_cast<uint32_t>(value);
}

uint64_t read_counter(ldm_buf& buffer) {
  uint32_t high = 0, low = 0;
  buffer >> high >> low;
  return uint64_t{high} << 32 | low;
}
}  // namespace

ldm_buf& operator<<(ldm_buf& buffer, const conn_status& status) {
  buffer << static_cast<uint32_t>(status.state);
  write_counter(buffer, status.packets_sent);
  write_counter(buffer, status.bytes_sent);
  write_counter(buffer, status.packets_received);
  write_counter(buffer, status.bytes_received);
  write_counter(buffer, status.packets_dropped);
  return buffer;
}

ldm_buf& operator>>(ldm_buf& buffer, conn_status& status) {
  uint32_t state = 0;
  buffer >> state;
  if (state > conn_status::up) throw ldm_decode_error("conn_status: unknown connection state");
  status.state = static_cast<conn_status::state_type>(state);
  status.packets_sent = read_counter(buffer);
  status.bytes_sent = read_counter(buffer);
  status.packets_received = read_counter(buffer);
  status.bytes_received = read_counter(buffer);
  status.packets_dropped = read_counter(buffer);
  return buffer;
}

}  // namespace vessmark
