// The ordering manager's receive path: arbitrary messages as the message services hand them
// over, mixed with releases, flushes, retractions and changes of the constrained and
// deliver-at-once flags. Nothing may be thrown out of receive, every message must be either
// queued or counted as dropped, and what the queues hold and deliver must add up. The
// distribution manager (its RID, transport with a loss stage that drops every packet, and time
// factory) is built once; each input gets a fresh ordering manager.
//
// Script: each step is one byte op, then its arguments:
//   op % 4 == 0   a message: 2-byte big-endian length n, n bytes, from the ordering header on
//   op % 4 == 1   release up to time op / 4
//   op % 4 == 2   flush, then deliver the receive-order queue
//   op % 4 == 3   constrained = bit 2, deliver at once = bit 3; retract {op / 16, 99}
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "ldm_buf.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"
#include "time/msgorder_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

// Reads a string payload as a real client would; a payload that runs short throws.
struct counting_client : msgorder_client {
  void deliver(ordering_service, message_order, const absolute_time*, const event_retraction_handle&, int,
               unsigned char, ldm_buf* buffer) override {
    ++delivered;
    const char* text;
    *buffer >> text;
  }
  uint64_t delivered = 0;
};

test_ldm& federate() {
  static std::unique_ptr<test_ldm> ldm = [] {
    const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::msgorder_fuzz, 0), .loss_probability = 1.0});
    return std::make_unique<test_ldm>();
  }();
  return *ldm;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  test_ldm& ldm = federate();
  msgorder_manager order(ldm);
  counting_client client, other;
  order.register_client(client);
  order.register_client(other);
  uint64_t injected = 0;
  while (size > 0) {
    const uint8_t op = *data++;
    --size;
    switch (op % 4) {
      case 0: {
        if (size < 2) break;
        size_t length = size_t{data[0]} << 8 | data[1];
        data += 2;
        size -= 2;
        if (length > size) length = size;
        ldm_buf* buffer = ldm.get_stream_manager().get_buf();
        if (length) buffer->write_os(data, static_cast<uint32_t>(length));
        data += length;
        size -= length;
        buffer->set_received();
        buffer->set_iptr(ldm_buf::message_header_size);
        order.receive(10, 0, buffer);  // never throws: a throw ends the run as a crash
        buffer->release_buf();
        ++injected;
        break;
      }
      case 1: {
        const test_absolute_time up_to(op / 4);
        order.release(&up_to);
        break;
      }
      case 2:
        order.release(nullptr);
        order.deliver_receive_order();
        break;
      default:
        order.set_constrained(op & 4);
        order.set_deliver_at_once(op & 8);
        order.retract({static_cast<uint32_t>(op / 16), 99});
    }
  }
  const msgorder_manager::receive_counters& c = order.counters();
  if (c.received + c.truncated + c.bad_field + c.bad_time + c.unknown_client != injected) std::abort();
  const uint64_t delivered = client.delivered + other.delivered;
  if (delivered + order.timestamp_order_length() + order.receive_order_length() > c.received) std::abort();
  if (order.late_messages() > c.received || order.undecodable_messages() > delivered) std::abort();
  // Everything still queued goes out, and a release past every time forgets the kept handles.
  order.release(nullptr);
  order.deliver_receive_order();
  const test_absolute_time end(std::numeric_limits<double>::infinity());
  order.release(&end);
  if (order.timestamp_order_length() != 0 || order.receive_order_length() != 0) std::abort();
  if (client.delivered + other.delivered > c.received) std::abort();
  return 0;
}
