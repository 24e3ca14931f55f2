#include "ip_address.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using namespace brindle;

namespace {

ip_address v4(const char* text, uint16_t port = 0) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  EXPECT_EQ(inet_pton(AF_INET, text, &a.sin_addr), 1) << text;
  return ip_address(a);
}

ip_address v6(const char* text, uint16_t port = 0) {
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_port = htons(port);
  EXPECT_EQ(inet_pton(AF_INET6, text, &a.sin6_addr), 1) << text;
  return ip_address(a);
}

net_if interface(const char* name, ip_address address, bool preferred = false, std::array<uint8_t, 6> mac = {}) {
  net_if n;
  n.name = name;
  n.address = address;
  n.preferred = preferred;
  n.hardware = mac;
  return n;
}

TEST(IpAddress, GenericAddressesAreCheckedAgainstTheirLength) {
  sockaddr_in6 six{};
  six.sin6_family = AF_INET6;
  six.sin6_port = htons(80);
  const auto* generic = reinterpret_cast<const sockaddr*>(&six);
  EXPECT_TRUE(ip_address(generic, sizeof six).is_ipv6());
  EXPECT_FALSE(ip_address(generic, sizeof(sockaddr_in)).is_valid());  // cut short
  sockaddr other{};
  other.sa_family = AF_UNIX;
  EXPECT_FALSE(ip_address(&other, sizeof other).is_valid());
  EXPECT_FALSE(ip_address(nullptr, 0).is_valid());
  EXPECT_TRUE(!ip_address());
  EXPECT_EQ(ip_address().size(), 0u);
  EXPECT_EQ(v4("1.2.3.4").size(), sizeof(sockaddr_in));
  EXPECT_EQ(v6("::1").size(), sizeof(sockaddr_in6));
}

TEST(IpAddress, HashIsTheHostOrderNumber) {
  EXPECT_EQ(v4("192.0.2.1").hash(), 0xC0000201u);
  EXPECT_EQ(v6("2001:db8::a:b0c:d0e").hash(), 0x0B0C0D0Eu);
  EXPECT_EQ(ip_address().hash(), 0u);
}

TEST(IpAddress, PrivateAndLinkLocalRanges) {
  for (const char* local : {"10.0.0.1", "10.255.255.255", "172.16.0.0", "172.31.255.255", "192.168.1.1",
                            "169.254.0.1"})
    EXPECT_TRUE(v4(local).is_local()) << local;
  for (const char* global : {"9.255.255.255", "11.0.0.0", "172.15.255.255", "172.32.0.0", "192.169.0.0",
                             "169.253.0.1", "127.0.0.1"})
    EXPECT_FALSE(v4(global).is_local()) << global;
  for (const char* local : {"fc00::1", "fdff::1", "fe80::1234", "febf::1"}) EXPECT_TRUE(v6(local).is_local()) << local;
  for (const char* global : {"fe00::1", "fec0::1", "2001:db8::1", "::1"}) EXPECT_FALSE(v6(global).is_local()) << global;
}

TEST(IpAddress, LoopbackForms) {
  for (const char* loop : {"127.0.0.1", "127.255.0.9"}) EXPECT_TRUE(v4(loop).is_loopback()) << loop;
  for (const char* loop : {"::1", "::ffff:127.0.0.1", "fe80::1"}) EXPECT_TRUE(v6(loop).is_loopback()) << loop;
  EXPECT_FALSE(v4("128.0.0.1").is_loopback());
  for (const char* other : {"::2", "fe80::2", "fe80::1:1", "fe81::1", "::ffff:10.0.0.1"})
    EXPECT_FALSE(v6(other).is_loopback()) << other;
}

TEST(IpAddress, PortsComparisonAndText) {
  ip_address a = v4("192.0.2.7", 80);
  EXPECT_EQ(a.get_port(), 80);
  EXPECT_EQ(a.to_string(), "192.0.2.7:80");
  const ip_address b(a, 81);
  EXPECT_NE(a, b);
  EXPECT_TRUE(a < b);
  a.set_port(81);
  EXPECT_EQ(a, b);
  EXPECT_FALSE(a < b || b < a);
  EXPECT_TRUE(v4("9.9.9.9") < v6("::"));  // IPv4 sorts first
  EXPECT_NE(v4("0.0.0.1"), v6("::1"));
  EXPECT_EQ(ip_address(), ip_address());
  EXPECT_EQ(v6("2001:db8::1", 5).to_string(), "[2001:db8::1]:5");
  EXPECT_EQ(ip_address().to_string(), "invalid");
}

TEST(IpAddress, SetAnyKeepsFamilyAndPort) {
  ip_address a = v6("2001:db8::1", 99);
  a.set_any();
  EXPECT_EQ(a, v6("::", 99));
  ip_address b = v4("192.0.2.1", 7);
  b.set_any();
  EXPECT_EQ(b, v4("0.0.0.0", 7));
  ip_address c;
  c.set_any();
  EXPECT_TRUE(c.is_ipv4());
}

TEST(Interfaces, ArrangedBestFirst) {
  std::vector<net_if> list{
      interface("lo", v4("127.0.0.1")),
      interface("v6", v6("2001:db8::5"), true),
      interface("priv", v4("192.168.0.5"), true),
      interface("pub", v4("198.51.100.5"), true),
      interface("tun", v4("203.0.113.1")),
      interface("lo", v6("::1")),
  };
  arrange_interfaces(list);
  std::vector<std::string> order;
  for (const net_if& n : list) order.push_back(n.name);
  EXPECT_EQ(order, (std::vector<std::string>{"pub", "priv", "v6", "tun", "lo", "lo"}));
  EXPECT_TRUE(list[4].address.is_ipv4());
}

TEST(Interfaces, HostIdentifierRules) {
  std::vector<net_if> only_loopback{interface("lo", v4("127.0.0.1"))};
  EXPECT_EQ(host_identifier(only_loopback), 0x7F000001u);

  std::vector<net_if> usual{interface("eth0", v4("192.0.2.9"), true, {1, 2, 3, 4, 5, 6}),
                            interface("lo", v4("127.0.0.1"))};
  arrange_interfaces(usual);
  EXPECT_EQ(host_identifier(usual), 0xC0000209u);

  // No IPv4 besides the loopback: the hardware address, skipping one whose last four bytes are 0.
  std::vector<net_if> v6_only{interface("a", v6("2001:db8::1"), true, {9, 9, 0, 0, 0, 0}),
                              interface("b", v6("2001:db8::2"), true, {0, 0, 0xAA, 0xBB, 0xCC, 0xDD}),
                              interface("lo", v4("127.0.0.1"))};
  arrange_interfaces(v6_only);
  EXPECT_EQ(host_identifier(v6_only), 0xAABBCCDDu);
  EXPECT_EQ(host_identifier({}), 0u);
}

TEST(HostLookup, DescribesThisHost) {
  const auto& all = ip_addr_lookup::get_interfaces();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(&ip_addr_lookup::get_default(), &all.front());
  EXPECT_EQ(ip_addr_lookup::get_id(), host_identifier(all));
  EXPECT_NE(ip_addr_lookup::get_id(), 0u);
  if (const net_if* best = ip_addr_lookup::get_best_ipv4()) {
    EXPECT_TRUE(best->address.is_ipv4());
  }
  if (const net_if* best = ip_addr_lookup::get_best_ipv6()) {
    EXPECT_TRUE(best->address.is_ipv6());
  }
  EXPECT_EQ(ip_addr_lookup::get_devices(nullptr).size(), all.size());
  for (const net_if& n : ip_addr_lookup::get_devices(all.front().name.c_str())) EXPECT_EQ(n.name, all.front().name);
  EXPECT_TRUE(ip_addr_lookup::get_devices("no-such-interface").empty());
}

TEST(HostLookup, AddressesOfNames) {
  const auto localhost = ip_addr_lookup::get_addrs("localhost");
  ASSERT_FALSE(localhost.empty());
  EXPECT_TRUE(localhost.front().is_ipv4());
  for (const ip_address& a : localhost) EXPECT_TRUE(a.is_loopback()) << a.to_string();
  EXPECT_TRUE(std::is_partitioned(localhost.begin(), localhost.end(), [](const ip_address& a) { return a.is_ipv4(); }));

  EXPECT_EQ(ip_addr_lookup::get_addrs("127.0.0.1"), std::vector<ip_address>{v4("127.0.0.1")});
  EXPECT_EQ(ip_addr_lookup::get_addrs("::1"), std::vector<ip_address>{v6("::1")});
  EXPECT_EQ(ip_addr_lookup::get_addrs("").size(), ip_addr_lookup::get_interfaces().size());
  testing::internal::CaptureStderr();
  EXPECT_TRUE(ip_addr_lookup::get_addrs("300.1.2.3").empty());
  EXPECT_TRUE(ip_addr_lookup::get_addrs("1:2:3:4:5:6:7:8:9").empty());
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_NE(errors.find("Error looking up IP address for 300.1.2.3\n"), std::string::npos);
  EXPECT_NE(errors.find("Error looking up IPv6 address for 1:2:3:4:5:6:7:8:9\n"), std::string::npos);
}

TEST(HostLookup, LocalAddressesAndNames) {
  EXPECT_TRUE(ip_addr_lookup::is_local(v4("127.0.0.1", 5000)));
  EXPECT_TRUE(ip_addr_lookup::is_local("localhost"));
  for (const net_if& n : ip_addr_lookup::get_interfaces()) EXPECT_TRUE(ip_addr_lookup::is_local(n.address));
  // An address that no interface has (port aside) is not local.
  ip_address stranger = v4("198.51.100.1");
  for (const net_if& n : ip_addr_lookup::get_interfaces())
    if (n.address.is_ipv4() && n.address.hash() == stranger.hash()) stranger = v4("198.51.100.2");
  EXPECT_FALSE(ip_addr_lookup::is_local(stranger));
}

}  // namespace
