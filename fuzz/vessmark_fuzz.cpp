// Feeds arbitrary datagrams to a stream manager's receive path, as its sockets would: every
// length, count and checksum must be checked before use, and a message its service cannot
// decode must be dropped, never crash the process.
//
// Input: byte 0 bit 0 asks the harness to repair each datagram's payload length, Adler-32 and
// first message's CRC-32C, so that mutations also reach the fields behind the checksums. The
// rest is datagrams, each a 2-byte big-endian length and that many bytes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "byte_order.h"
#include "checksums.h"
#include "ldm_buf.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace vessmark;

namespace {

// The fuzz target's port; it only binds it and never sends or ticks.
constexpr uint16_t fuzz_port = test_port(port_block::vessmark_fuzz, 0);

struct decoding_client : stream_service_client {
  void receive(int, unsigned char, ldm_buf* buffer) override {
    const char* name;
    uint32_t count;
    *buffer >> name >> count;
    for (uint32_t i = 0; i < count; ++i) {
      double value;
      *buffer >> value;
    }
  }
};

void repair(std::vector<uint8_t>& datagram) {
  const size_t header = ldm_buf::packet_header_size;
  if (datagram.size() < header) return;
  uint8_t* bytes = datagram.data();
  store_be16(bytes + 2, static_cast<uint32_t>(datagram.size() - header));
  const size_t payload = datagram.size() - header;
  if (payload >= ldm_buf::message_header_size) {
    uint8_t* message = bytes + header;
    const uint32_t length = load_be32(message + 8);
    if (length >= ldm_buf::message_header_size && length <= payload) {
      store_be32(message + 16, 0);
      store_be32(message + 16, crc32c(0, message, length));
    }
  }
  store_be32(bytes + 4, 0);
  store_be32(bytes + 4, adler32(1, bytes, datagram.size()));
}

// Built once per process: a stream manager opens and binds sockets, which costs far more than a
// run. What one input leaves behind (partial messages awaiting reassembly) stays for the next,
// within the reassembly limits, which later inputs then also exercise.
struct harness {
  std::unique_ptr<RID> rid;
  millisecond_clock clock;
  scheduler ticks{clock};
  message_stats_tracker stats{ticks};
  std::unique_ptr<stream_manager> manager;
  decoding_client client;
  std::unique_ptr<stream_service> service;

  harness() {
    test_rid_options options;
    options.port = fuzz_port;
    rid = make_test_rid(options);
    if (!rid) return;
    manager = std::make_unique<stream_manager>(*rid, ticks, stats, 0x22);
    service = std::make_unique<stream_service>(manager.get(), &client, "fuzz");
    manager->set_federation(5);
    manager->join(1);
    manager->join(2);
    manager->join(100);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static harness shared;
  if (size == 0 || !shared.manager) return 0;
  const bool fix = (data[0] & 1) != 0;
  ++data;
  --size;

  while (size >= 2) {
    size_t length = size_t{data[0]} << 8 | data[1];
    data += 2;
    size -= 2;
    if (length > size) length = size;
    std::vector<uint8_t> datagram(data, data + length);
    if (fix) repair(datagram);
    shared.manager->receive_datagram(datagram.data(), datagram.size());
    data += length;
    size -= length;
  }
  return 0;
}
