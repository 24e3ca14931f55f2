// What the message service fuzz targets share: a stream manager on a clock that the input moves,
// whose loss stage drops every packet it would send (so nothing leaves the process), a client
// that decodes each delivered payload, and the input read as a script of steps.
//
// Script: each step is one byte op, then its arguments:
//   op % 4 == 0   the clock moves (1 + next byte) x 100 ms and the scheduler runs its timers
//   op % 4 == 1   a message: 2-byte big-endian length n, n bytes; handed to the service's
//                 receive on stream 2, 10 or 11 (op / 4 % 3) as the transport would
//   op % 4 == 2   as 1, but bytes 4-11 (the sender identifier of every type) are overwritten
//                 with the service's own identifier when the service has one
//   op % 4 == 3   the service sends a message of op / 4 bytes on stream 10
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "byte_order.h"
#include "federate_identifier.h"
#include "ldm_buf.h"
#include "messages/message_service.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "scheduler.h"
#include "stream_manager.h"
#include "test_ports.h"
#include "test_rid.h"

namespace message_fuzz {

class stepped_clock : public brindle::millisecond_clock {
public:
  stepped_clock() : brindle::millisecond_clock(0) {}
  void advance(uint64_t ms) { counter_ += ms; }
protected:
  uint64_t read_counter() override { return counter_; }
private:
  uint64_t counter_ = 0;
};

struct decoding_client : varnel::message_service_client {
  void receive(int, unsigned char, brindle::ldm_buf* buffer) override {
    const char* text;
    uint32_t count;
    *buffer >> text >> count;
    for (uint32_t i = 0; i < count && i < 64; ++i) buffer->read_4();
  }
};

struct environment {
  explicit environment(uint16_t port) {
    test_rid_options options;
    options.port = port;
    options.loss_probability = 1.0;
    rid = make_test_rid(options);
    manager = std::make_unique<vessmark::stream_manager>(*rid, ticks, stats, 0x22);
    manager->join(10);
    trace.buffer().set_target(nullptr);
  }

  std::unique_ptr<brindle::RID> rid;
  stepped_clock clock;
  brindle::scheduler ticks{clock};
  brindle::message_stats_tracker stats{ticks};
  std::unique_ptr<vessmark::stream_manager> manager;
  varnel::wall_clock wall = varnel::system_wall_clock;
  varnel::dstream trace{"fuzz", wall};
  decoding_client client;
};

// Runs the script against service; own is the identifier to splice in, or null.
template <typename Service>
void run_script(environment& env, Service& service, const brindle::federate_identifier* own, const uint8_t* data,
                size_t size) {
  static const int streams[3] = {2, 10, 11};
  while (size > 0) {
    const uint8_t op = *data++;
    --size;
    switch (op % 4) {
      case 0: {
        const uint64_t steps = 1 + (size ? *data : 0);
        if (size) ++data, --size;
        env.clock.advance(steps * 100);
        env.ticks.tick(0, 0);
        break;
      }
      case 1:
      case 2: {
        if (size < 2) return;
        size_t length = size_t{data[0]} << 8 | data[1];
        data += 2;
        size -= 2;
        if (length > size) length = size;
        std::vector<uint8_t> bytes(data, data + length);
        data += length;
        size -= length;
        if (op % 4 == 2 && own && bytes.size() >= 12) {
          uint32_t host;
          uint16_t process, index;
          own->get_components(host, process, index);
          brindle::store_be32(bytes.data() + 4, host);
          brindle::store_be32(bytes.data() + 8, uint32_t{process} << 16 | index);
        }
        brindle::ldm_buf* buffer = env.manager->get_buf();
        if (!bytes.empty()) buffer->write_os(bytes.data(), static_cast<uint32_t>(bytes.size()));
        buffer->set_received();
        buffer->set_iptr(brindle::ldm_buf::message_header_size);
        try {
          service.receive(streams[op / 4 % 3], 0, buffer);
        } catch (const brindle::ldm_decode_error&) {
          // the transport drops and counts such a message
        }
        buffer->release_buf();
        break;
      }
      default: {
        brindle::ldm_buf* buffer = service.get_buf();
        *buffer << "f" << uint32_t{op / 4u};
        service.send(10, 0, buffer);
        buffer->release_buf();
      }
    }
  }
}

}  // namespace message_fuzz
