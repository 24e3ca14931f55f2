// Receives arbitrary bytes as the stream transport does and decodes an update-shaped message from
// them. A received buffer must never abort the process: every refusal is a return value of
// add_packet, accept_packets or accept_message, every read past the data an ldm_decode_error.
//
// Input: byte 0 picks the packet size (48 + 8 * (byte >> 1)) and the mode (bit 0).
//   mode 0: the rest is datagrams, each a 2-byte big-endian length and that many bytes;
//   mode 1: the rest is a message body that a local sender packetises with correct checksums,
//           so that the decoder sees arbitrary contents behind valid packets.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "buffer_pool.h"
#include "federate_identifier.h"
#include "ldm_buf.h"

using namespace brindle;

namespace {

buffer_manager_factory factory(1, 0);

void add_datagrams(ldm_buf& buffer, const uint8_t* data, size_t size) {
  while (size >= 2) {
    size_t length = size_t{data[0]} << 8 | data[1];
    data += 2;
    size -= 2;
    if (length > size) length = size;
    buffer.add_packet(data, length);
    data += length;
    size -= length;
  }
}

void add_sent_message(ldm_buf& buffer, const uint8_t* data, size_t size) {
  ldm_buf* sent = buffer.get_pool()->get_buf();
  sent->write_os(data, static_cast<uint32_t>(size));
  const uint32_t length = sent->get_size();
  sent->set_optr(8);
  *sent << length;
  sent->prepare_message();
  sent->prepare_packets();
  for (uint32_t i = 0; i < sent->packet_count(); ++i) buffer.add_packet(sent->get_packet(i), sent->get_packet_length(i));
  sent->release_buf();
}

// The shape of an object update: name, flags, handles, value pairs, identifier, tag, values.
void decode_update(ldm_buf& buffer, uint32_t position) {
  buffer.set_iptr(position + ldm_buf::message_header_size);
  const char* name;
  uint32_t flags, sender, object_class, count;
  buffer >> name >> flags >> sender >> object_class >> count;
  std::vector<uint32_t> lengths;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t handle, length;
    buffer >> handle >> length;
    lengths.push_back(length);
  }
  federate_identifier object;
  double time;
  float rate;
  bool flag;
  short small;
  buffer >> object >> time >> rate >> flag >> small;
  buffer.read_string();
  for (uint32_t length : lengths) buffer.read_is(length);
}

void decode_all(ldm_buf& buffer) {
  if (buffer.accept_packets() != message_acceptance::accepted) return;
  buffer.version_check();
  // Messages packed one after another, each at its stated length.
  for (uint32_t position = 0, messages = 0; messages < 16 && buffer.accept_message(position) == message_acceptance::accepted; ++messages) {
    try {
      decode_update(buffer, position);
    } catch (const ldm_decode_error&) {
    }
    buffer.set_iptr(position + 8);
    uint32_t length;
    buffer >> length;
    position = (position + length + 7) & ~7u;
  }
  for (uint32_t i = 0; i < buffer.packet_count(); ++i) {
    ldm_buf* view = new ldm_buf(&buffer, i);
    try {
      view->read_string();
    } catch (const ldm_decode_error&) {
    }
    view->release_buf();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  buffer_pool_manager* pool = factory.get_pool(48 + 8 * (data[0] >> 1));
  ldm_buf* buffer = pool->get_empty_buf();
  if (data[0] & 1) {
    add_sent_message(*buffer, data + 1, size - 1);
  } else {
    add_datagrams(*buffer, data + 1, size - 1);
  }
  decode_all(*buffer);
  buffer->release_buf();
  pool->destroy();
  return 0;
}
