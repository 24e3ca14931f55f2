// Connection status as it travels between federates: written by one stream manager, read by
// another's service, and refused whole when it arrives short or with an unknown state.
#include "conn_status.h"

#include <gtest/gtest.h>

#include "test_ports.h"
#include "transport_node.h"

using namespace brindle;
using namespace vessmark;

namespace {

class status_reader : public stream_service_client {
public:
  void receive(int, unsigned char, ldm_buf* buffer) override {
    conn_status status;
    *buffer >> status;  // throws ldm_decode_error on a bad status: the transport counts it
    statuses.push_back(status);
  }
  std::vector<conn_status> statuses;
};

// Two stream managers on the port of index (each case its own index of this file's block),
// with a status service on each.
struct status_link {
  explicit status_link(uint16_t index)
      : a(options(index)), b(options(index)), reader_service(&b.manager(), &reader, "status"),
        writer_service(&a.manager(), &a.client(), "status") {
    b.manager().join(3);
  }

  static test_rid_options options(uint16_t index) {
    test_rid_options o;
    o.port = test_port(port_block::conn_status_test, index);
    return o;
  }

  template <typename Write>
  void send(Write write) {
    ldm_buf* buffer = writer_service.get_buf();
    write(*buffer);
    writer_service.send(3, 0, buffer);
    writer_service.flush(3);
    buffer->release_buf();
  }

  transport_node a, b;
  status_reader reader;
  stream_service reader_service, writer_service;
};

TEST(ConnStatus, TravelsWholeBetweenManagers) {
  status_link link(50);
  conn_status sent;
  sent.state = conn_status::up;
  sent.packets_sent = 0x123456789ull;  // beyond 32 bits: the high half must travel too
  sent.bytes_sent = 0xFFFFFFFFFFull;
  sent.packets_received = 7;
  sent.bytes_received = 1ull << 40;
  sent.packets_dropped = 3;
  link.send([&](ldm_buf& buffer) { buffer << sent; });
  conn_status live = link.a.manager().get_uplink_status();
  link.send([&](ldm_buf& buffer) { buffer << live; });
  ASSERT_TRUE(tick_until({&link.a, &link.b}, [&] { return link.reader.statuses.size() == 2; }));
  EXPECT_EQ(link.reader.statuses[0], sent);
  EXPECT_EQ(link.reader.statuses[1], live);
}

TEST(ConnStatus, ShortOrUnknownStatusIsDroppedAsUndecodable) {
  status_link link(51);
  link.send([](ldm_buf& buffer) { buffer << 1u << 0u << 5u; });  // stops inside packets_sent
  link.send([](ldm_buf& buffer) {
    buffer << 7u;  // no such state
    for (int i = 0; i < 10; ++i) buffer << 0u;
  });
  link.send([](ldm_buf& buffer) { buffer << conn_status{}; });
  ASSERT_TRUE(tick_until({&link.a, &link.b}, [&] { return link.reader.statuses.size() == 1; }));
  EXPECT_EQ(link.reader.statuses[0], conn_status{});
  EXPECT_EQ(link.b.manager().get_drops().undecodable, 2u);
}

}  // namespace
