// The management objects' encoding: the two status messages and what their reader refuses, the
// router records a stream of router statuses builds (capped, expiring, counters past 32 bits),
// and the values of the HLA naming style (big-endian integers, UTF-16 big-endian text).
#include "federation/mom_messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "case_port.h"
#include "fed/fed.h"
#include "federation/mom_agent.h"
#include "ldm_buf.h"
#include "stepped_federation.h"

using namespace brindle;
using namespace varnel;
using vessmark::conn_status;

namespace {

federate_identifier identifier(uint16_t index) {
  federate_identifier id;
  id.set_components(0x7F000001, 42, index);
  return id;
}

class MomMessagesTest : public ::testing::Test {
protected:
  // What write put in a message, read back as a receiver reads it.
  mom_message round_trip(const std::function<void(ldm_buf&)>& write) {
    ldm_buf* buffer = federation_.received(write);
    struct release {
      ldm_buf* b;
      ~release() { b->release_buf(); }
    } releasing{buffer};
    return read_mom_message(*buffer);
  }

  void inject(test_ldm& to, const router_status_message& message) {
    ldm_buf* buffer = federation_.received([&](ldm_buf& out) { message.write(out); });
    to.get_mom_agent()->receive(mom_agent::stream, mom_agent::priority, buffer);
    buffer->release_buf();
  }

  stepped_federation federation_{case_port(port_block::mom_messages_test), "Training", EXAMPLES_DIR "/training.fed"};
};

TEST_F(MomMessagesTest, StatusesTravelWholeAndEveryBadFieldIsRefused) {
  federate_status_message federate;
  federate.federate = identifier(1);
  federate.counters = {1, 2, 3, 4, 5, 6};
  federate.uplink = {conn_status::up, 1ull << 40, 2, 3, 4, 5};
  const mom_message read = round_trip([&](ldm_buf& out) { federate.write(out); });
  const auto& back = std::get<federate_status_message>(read);
  EXPECT_EQ(back.federate, federate.federate);
  EXPECT_EQ(back.counters, federate.counters);
  EXPECT_EQ(back.uplink, federate.uplink);

  router_status_message router{identifier(2), "gateway", std::vector<conn_status>(300)};
  const auto routed = std::get<router_status_message>(round_trip([&](ldm_buf& out) { router.write(out); }));
  EXPECT_EQ(routed.host_name, "gateway");
  EXPECT_EQ(routed.connections.size(), router_status_message::max_connections);

  auto refused = [&](const std::function<void(ldm_buf&)>& write) {
    EXPECT_THROW(round_trip(write), ldm_decode_error);
  };
  refused([](ldm_buf& out) { out << uint32_t{3} << identifier(1); });
  refused([](ldm_buf& out) { out << uint32_t{1} << federate_identifier(federate_identifier_type::nocompare); });
  refused([](ldm_buf& out) { out << uint32_t{1} << identifier(1) << uint32_t{1}; });
  refused([](ldm_buf& out) { out << uint32_t{2} << identifier(1) << std::string(4097, 'h').c_str() << uint32_t{0}; });
  refused([](ldm_buf& out) { out << uint32_t{2} << identifier(1) << "h" << uint32_t{257}; });
  // A count the message cannot hold, whatever the cap.
  refused([](ldm_buf& out) { out << uint32_t{2} << identifier(1) << "h" << uint32_t{10} << conn_status{}; });
}

TEST_F(MomMessagesTest, RouterRecordsAreCappedExpireAndPrintFullCounters) {
  test_ldm& a = federation_.join("alpha");
  const unsigned router_class = a.get_object_class_handle("Manager.Router");
  a.subscribe_object_class_attributes(router_class, bit_vector(a.get_fed()->num_attributes(router_class), true), true);
  conn_status busy{conn_status::up, 0, 0, 5000000000ull, 0, 0};
  inject(a, {identifier(1), "gw", {busy, conn_status{}}});
  ASSERT_TRUE(federation_.wait_for(a, "reflectAttributeValues", 1, 1100));
  const unsigned host = a.get_attribute_handle("Hostname", router_class);
  const unsigned incoming = a.get_attribute_handle("IncomingPacketCount", router_class);
  const std::string values = " " + a.values.back() + " ";
  EXPECT_NE(values.find(" " + std::to_string(host) + "=gw," + std::string(1, '\0') + " "), std::string::npos);
  EXPECT_NE(values.find(" " + std::to_string(incoming) + "=5000000000,0," + std::string(1, '\0') + " "),
            std::string::npos);

  for (uint16_t i = 2; i <= mom_agent::max_routers + 1; ++i) {
    inject(a, {identifier(i), "gw", {}});
    federation_.settle(1);
  }
  const mom_agent& agent = *a.get_mom_agent();
  EXPECT_EQ(agent.router_count(), mom_agent::max_routers);
  EXPECT_EQ(agent.get_counters().routers_replaced, 1u);
  EXPECT_EQ(stepped_federation::count(a, "removeObjectInstance"), 1u);  // the first, the oldest
  federation_.settle(3 * mom_agent::step_ms + 1100);
  EXPECT_EQ(agent.router_count(), 0u);
}

// A model with the HLA names.
constexpr const char* hla_model = R"((FED (Federation Hla) (FEDversion v1.3)
  (objects
    (class ObjectRoot (attribute privilegeToDelete reliable timestamp)
      (class HLAmanager
        (class HLAfederate
          (attribute HLAfederateHandle reliable receive)
          (attribute HLAfederateType reliable receive)
          (attribute HLAtimeConstrained reliable receive)
          (attribute HLAOutgoingPacketCount reliable receive)
          (attribute HLAlogicalTime reliable receive))
        (class HLAfederation
          (attribute HLAfederatesInFederation reliable receive)))))
  (interactions (class InteractionRoot best_effort receive))))";

std::string big_endian(uint32_t v) {
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

TEST(MomValues, TheHlaStyleGivesBigEndianIntegersAndUtf16Text) {
  const std::filesystem::path fed = std::filesystem::temp_directory_path() / "mom_values_test.fed";
  std::ofstream(fed) << hla_model;
  stepped_federation hla(case_port(port_block::mom_messages_test), "Hla", fed.string());
  test_ldm& a = hla.join("Zo\xC3\xAB");
  std::filesystem::remove(fed);
  const unsigned federate = a.get_object_class_handle("HLAmanager.HLAfederate");
  const unsigned federation = a.get_object_class_handle("HLAmanager.HLAfederation");
  EXPECT_EQ(a.get_mom_agent()->get_style(mom_agent::role::federate), 2);
  a.subscribe_object_class_attributes(federate, bit_vector(a.get_fed()->num_attributes(federate), true), true);
  a.subscribe_object_class_attributes(federation, bit_vector(a.get_fed()->num_attributes(federation), true), true);
  ASSERT_TRUE(hla.wait_for(a, "reflectAttributeValues", 2, 1100));

  // The first length bytes of the attribute in the first reflection of the class's object.
  auto value = [&](unsigned object_class, const char* name, size_t length) {
    std::string object;
    const std::string of_class = " " + std::to_string(object_class) + " ";
    for (const std::string& line : a.callbacks)
      if (line.rfind("discoverObjectInstance ", 0) == 0 && line.find(of_class) != std::string::npos)
        object = line.substr(23, line.find(' ', 23) - 23);
    const std::string key = " " + std::to_string(a.get_attribute_handle(name, object_class)) + "=";
    size_t v = 0;
    for (const std::string& line : a.callbacks) {
      if (line.rfind("reflectAttributeValues", 0) != 0) continue;
      const std::string values = " " + a.values[v++];
      if (line != "reflectAttributeValues " + object || values.find(key) == std::string::npos) continue;
      return values.substr(values.find(key) + key.size(), length);
    }
    return std::string("?");
  };
  const std::string id = big_endian(a.get_federate_id());
  EXPECT_EQ(value(federate, "HLAfederateHandle", 4), id);
  EXPECT_EQ(value(federate, "HLAfederateType", 8), std::string("\0Z\0o\0\xEB\0\0", 8));
  EXPECT_EQ(value(federate, "HLAtimeConstrained", 4), big_endian(0));
  EXPECT_EQ(value(federate, "HLAlogicalTime", 8), std::string(8, '\0'));
  EXPECT_EQ(value(federate, "HLAOutgoingPacketCount", 4), big_endian(0));  // the high word of 8 bytes
  EXPECT_EQ(value(federation, "HLAfederatesInFederation", 8), big_endian(1) + id);
}

}  // namespace
