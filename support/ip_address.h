// Socket addresses (ip_address), the host's network interfaces (net_if) and the process-wide
// lookup over them (ip_addr_lookup): name resolution, the default and best interfaces, and the
// host identifier that every federate_identifier carries. The lookup is built on first use.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace brindle {

// One IPv4 or IPv6 socket address with its port; invalid when it is neither.
class ip_address {
public:
  ip_address();  // invalid
  // A generic socket address; length is what the system reported for it. Too short a length
  // or another family gives an invalid address.
  ip_address(const sockaddr* address, socklen_t length);
  explicit ip_address(const sockaddr_in& address);
  explicit ip_address(const sockaddr_in6& address);
  ip_address(const ip_address& other, uint16_t port);  // the same host with another port

  bool operator==(const ip_address& other) const;
  bool operator!=(const ip_address& other) const { return !(*this == other); }
  // Orders by family, then address bytes, then port.
  bool operator<(const ip_address& other) const;
  // IPv4: the address as a host-order number; IPv6: its last four bytes as one; else 0.
  uint32_t hash() const;

  bool is_valid() const { return is_ipv4() || is_ipv6(); }
  bool operator!() const { return !is_valid(); }
  bool is_ipv4() const { return address_.v4.sin_family == AF_INET; }
  bool is_ipv6() const { return address_.v6.sin6_family == AF_INET6; }
  // The address of that family, or null when it is of the other family or invalid.
  const sockaddr_in* get_ipv4() const { return is_ipv4() ? &address_.v4 : nullptr; }
  const sockaddr_in6* get_ipv6() const { return is_ipv6() ? &address_.v6 : nullptr; }
  // For bind, connect, sendto: valid for size() bytes.
  const sockaddr* get_sockaddr() const { return &address_.any; }
  socklen_t size() const;  // 0 when invalid

  uint16_t get_port() const;  // host order; 0 when invalid
  void set_port(uint16_t port);
  // Private or link-local: 10/8, 172.16/12, 192.168/16, 169.254/16, fc00::/7, fe80::/10.
  bool is_local() const;
  // 127/8, ::1, ::ffff:127.0.0.0/104 and the link-local forms of ::1 (fe80:: plus zero bytes
  // and a final 1, as some stacks report their loopback interface).
  bool is_loopback() const;
  // The wildcard address of this address's family (IPv4 when invalid), keeping the port.
  void set_any();

  // "a.b.c.d:port" or "[v6]:port"; "invalid" when invalid.
  std::string to_string() const;
  void print(FILE* stream = stdout) const;

private:
  union {
    sockaddr any;
    sockaddr_in v4;
    sockaddr_in6 v6;
  } address_;
};

// One local interface address: an interface with several addresses gives several net_if.
struct net_if {
  std::string name;
  unsigned index = 0;  // the system's interface index
  ip_address address;
  std::array<uint8_t, 6> hardware{};  // MAC address; zero when the interface has none
  bool preferred = false;             // Ethernet or wireless
};

// Sorts interfaces best first: preferred before others, non-loopback before loopback, IPv4
// before IPv6, public before private or link-local, then by address and name.
void arrange_interfaces(std::vector<net_if>& interfaces);
// The host identifier of an arranged list: the hash of the first non-loopback IPv4 interface;
// failing that the last four hardware bytes (big-endian) of the first non-loopback interface
// with any of them non-zero; failing that the hash of the first interface; 0 for none.
uint32_t host_identifier(const std::vector<net_if>& interfaces);

// The process-wide view of this host's interfaces, collected once on first use. All members
// are static and safe to call from several threads.
class ip_addr_lookup {
public:
  // The host identifier (see host_identifier): on most hosts the local IPv4 address as a number.
  static uint32_t get_id();
  static const net_if& get_default();           // the best interface
  static const net_if* get_best_ipv4();         // null when the host has no IPv4 interface
  static const net_if* get_best_ipv6();         // null when the host has no IPv6 interface
  static const std::vector<net_if>& get_interfaces();  // all, arranged
  // The interfaces called name (every interface when name is null or empty).
  static std::vector<net_if> get_devices(const char* name);
  // Whether address (its port ignored) is a loopback address or one of this host's.
  static bool is_local(const ip_address& address);
  // Whether every address that name resolves to is local; false when it does not resolve.
  static bool is_local(const char* name);
  // The addresses of name, port 0: every local interface for a null or empty name; the
  // address itself for a dotted IPv4 or a colon-separated IPv6 text; otherwise what the
  // resolver gives, sorted non-loopback first, IPv4 before IPv6, public before private.
  // Empty after printing why when the lookup fails.
  static std::vector<ip_address> get_addrs(const char* name);
  static void print(FILE* stream = stdout);
};

}  // namespace brindle
