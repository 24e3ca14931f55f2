#include "time/ordering_messages.h"

#include <vector>

#include "frame/local_distribution_manager.h"

namespace varnel {

using namespace brindle;

const char* ordering_service_name(ordering_service service) {
  switch (service) {
    case ordering_service::best_effort: return "BEST_EFFORT";
    case ordering_service::oneshot: return "ONESHOT";
    case ordering_service::reliable: return "RELIABLE";
  }
  return "UNKNOWN";
}

const char* message_order_name(message_order order) {
  return order == message_order::timestamp ? "TIMESTAMP_ORDER" : "RECEIVE_ORDER";
}

void ordering_header::write(ldm_buf& buffer) const {
  uint32_t word = uint32_t{static_cast<uint8_t>(order)} << 16 | uint32_t{static_cast<uint8_t>(service)} << 8 | client;
  if (time) word |= time_flag;
  buffer.write_4(word);
  if (time) {
    const uint32_t length = time->encoded_length();
    std::vector<char> bytes(length);
    time->encode(bytes.data());
    buffer.write_4(length);
    buffer.write_os(bytes.data(), length);
  }
  if (order == message_order::timestamp) handle.encode(buffer);
}

ordering_header ordering_header::read(ldm_buf& buffer, local_distribution_manager& ldm) {
  ordering_header header;
  const uint32_t word = buffer.read_4();
  const uint32_t order = word >> 16 & 0xff, service = word >> 8 & 0xff;
  if (word & reserved_bits) throw ordering_decode_error(ordering_drop::bad_field, "ordering header: reserved bits set");
  if (order > 1) throw ordering_decode_error(ordering_drop::bad_field, "ordering header: unknown order");
  if (service >= ordering_service_count)
    throw ordering_decode_error(ordering_drop::bad_field, "ordering header: unknown message service");
  header.order = static_cast<message_order>(order);
  header.service = static_cast<ordering_service>(service);
  header.client = static_cast<uint8_t>(word & 0xff);
  if (word & time_flag) {
    const uint32_t length = buffer.read_4();
    if (length == 0 || length > max_time_length)
      throw ordering_decode_error(ordering_drop::bad_time, "ordering header: time stamp length out of range");
    const char* bytes = buffer.read_is(length);
    header.time.reset(ldm.decode_absolute_time(bytes, length));
    // NaN is the one value unequal to itself, whatever the federate's time type.
    if (!header.time || !header.time->equal(*header.time))
      throw ordering_decode_error(ordering_drop::bad_time, "ordering header: undecodable time stamp");
  } else if (header.order == message_order::timestamp) {
    throw ordering_decode_error(ordering_drop::bad_time, "ordering header: time stamp order without a time");
  }
  if (header.order == message_order::timestamp) header.handle = event_retraction_handle::decode(buffer);
  return header;
}

retraction_message retraction_message::read(ldm_buf& buffer) {
  retraction_message message{event_retraction_handle::decode(buffer)};
  if (message.handle.serial == 0) throw ordering_decode_error(ordering_drop::bad_field, "retraction: handle names no message");
  return message;
}

}  // namespace varnel
