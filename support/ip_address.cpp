#include "ip_address.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netdb.h>
#include <netpacket/packet.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>

#include "byte_order.h"
#include "diagnostic.h"

namespace brindle {

// ---------------------------------------------------------------------------------------------
// ip_address

namespace {

const uint8_t* v6_bytes(const sockaddr_in6& a) { return a.sin6_addr.s6_addr; }

uint32_t v6_last_word(const sockaddr_in6& a) {
  const uint8_t* b = v6_bytes(a);
  return load_be32(b + 12);
}

bool all_zero(const uint8_t* bytes, size_t count) {
  return std::all_of(bytes, bytes + count, [](uint8_t b) { return b == 0; });
}

bool is_v4_mapped(const uint8_t* b) { return all_zero(b, 10) && b[10] == 0xff && b[11] == 0xff; }

bool v4_is_local(uint32_t a) {
  return (a >> 24) == 10 || (a >> 20) == 0xac1 || (a >> 16) == 0xc0a8 || (a >> 16) == 0xa9fe;
}

}  // namespace

ip_address::ip_address() { std::memset(&address_, 0, sizeof address_); }

ip_address::ip_address(const sockaddr* address, socklen_t length) : ip_address() {
  if (!address) return;
  if (address->sa_family == AF_INET && length >= static_cast<socklen_t>(sizeof(sockaddr_in)))
    std::memcpy(&address_.v4, address, sizeof(sockaddr_in));
  else if (address->sa_family == AF_INET6 && length >= static_cast<socklen_t>(sizeof(sockaddr_in6)))
    std::memcpy(&address_.v6, address, sizeof(sockaddr_in6));
}

ip_address::ip_address(const sockaddr_in& address) : ip_address() {
  if (address.sin_family == AF_INET) address_.v4 = address;
}

ip_address::ip_address(const sockaddr_in6& address) : ip_address() {
  if (address.sin6_family == AF_INET6) address_.v6 = address;
}

ip_address::ip_address(const ip_address& other, uint16_t port) : ip_address(other) { set_port(port); }

bool ip_address::operator==(const ip_address& other) const {
  if (is_ipv4() && other.is_ipv4())
    return address_.v4.sin_addr.s_addr == other.address_.v4.sin_addr.s_addr &&
           address_.v4.sin_port == other.address_.v4.sin_port;
  if (is_ipv6() && other.is_ipv6())
    return std::memcmp(v6_bytes(address_.v6), v6_bytes(other.address_.v6), 16) == 0 &&
           address_.v6.sin6_port == other.address_.v6.sin6_port &&
           address_.v6.sin6_scope_id == other.address_.v6.sin6_scope_id;
  return !is_valid() && !other.is_valid();
}

bool ip_address::operator<(const ip_address& other) const {
  const int family = is_valid() ? address_.any.sa_family : 0;
  const int other_family = other.is_valid() ? other.address_.any.sa_family : 0;
  if (family != other_family) return family < other_family;
  if (is_ipv4()) {
    const uint32_t a = hash(), b = other.hash();
    if (a != b) return a < b;
  } else if (is_ipv6()) {
    const int c = std::memcmp(v6_bytes(address_.v6), v6_bytes(other.address_.v6), 16);
    if (c != 0) return c < 0;
    if (address_.v6.sin6_scope_id != other.address_.v6.sin6_scope_id)
      return address_.v6.sin6_scope_id < other.address_.v6.sin6_scope_id;
  }
  return get_port() < other.get_port();
}

uint32_t ip_address::hash() const {
  if (is_ipv4()) return ntohl(address_.v4.sin_addr.s_addr);
  if (is_ipv6()) return v6_last_word(address_.v6);
  return 0;
}

socklen_t ip_address::size() const {
  if (is_ipv4()) return sizeof(sockaddr_in);
  if (is_ipv6()) return sizeof(sockaddr_in6);
  return 0;
}

uint16_t ip_address::get_port() const {
  if (is_ipv4()) return ntohs(address_.v4.sin_port);
  if (is_ipv6()) return ntohs(address_.v6.sin6_port);
  return 0;
}

void ip_address::set_port(uint16_t port) {
  if (is_ipv4()) address_.v4.sin_port = htons(port);
  if (is_ipv6()) address_.v6.sin6_port = htons(port);
}

bool ip_address::is_local() const {
  if (is_ipv4()) return v4_is_local(hash());
  if (!is_ipv6()) return false;
  const uint8_t* b = v6_bytes(address_.v6);
  return (b[0] & 0xfe) == 0xfc || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80);
}

bool ip_address::is_loopback() const {
  if (is_ipv4()) return (hash() >> 24) == 127;
  if (!is_ipv6()) return false;
  const uint8_t* b = v6_bytes(address_.v6);
  if (is_v4_mapped(b)) return b[12] == 127;
  // ::1, and fe80::1, the link-local address some systems give their loopback interface.
  const bool loopback_prefix = all_zero(b, 2) || (b[0] == 0xfe && b[1] == 0x80);
  return loopback_prefix && all_zero(b + 2, 13) && b[15] == 1;
}

void ip_address::set_any() {
  const uint16_t port = get_port();
  const bool v6 = is_ipv6();
  std::memset(&address_, 0, sizeof address_);
  if (v6) {
    address_.v6.sin6_family = AF_INET6;
    address_.v6.sin6_addr = in6addr_any;
  } else {
    address_.v4.sin_family = AF_INET;
    address_.v4.sin_addr.s_addr = htonl(INADDR_ANY);
  }
  set_port(port);
}

std::string ip_address::to_string() const {
  if (!is_valid()) return "invalid";
  char host[INET6_ADDRSTRLEN] = "";
  char text[INET6_ADDRSTRLEN + 8];
  if (is_ipv4()) {
    inet_ntop(AF_INET, &address_.v4.sin_addr, host, sizeof host);
    std::snprintf(text, sizeof text, "%s:%u", host, unsigned{get_port()});
  } else {
    inet_ntop(AF_INET6, &address_.v6.sin6_addr, host, sizeof host);
    std::snprintf(text, sizeof text, "[%s]:%u", host, unsigned{get_port()});
  }
  return text;
}

void ip_address::print(FILE* stream) const { std::fputs(to_string().c_str(), stream); }

// ---------------------------------------------------------------------------------------------
// Arranging interfaces and the host identifier

namespace {

// The ordering rules of arrange_interfaces as one number, the first rule weighing most: the
// lower rank comes first.
int rank(const net_if& n) {
  const ip_address& a = n.address;
  return (n.preferred ? 0 : 8) + (a.is_loopback() ? 4 : 0) + (a.is_ipv4() ? 0 : 2) + (a.is_local() ? 1 : 0);
}

bool better(const net_if& a, const net_if& b) {
  const int ra = rank(a), rb = rank(b);
  if (ra != rb) return ra < rb;
  if (a.address != b.address) return a.address < b.address;
  return a.name < b.name;
}

uint32_t hardware_word(const net_if& n) {
  const auto& h = n.hardware;
  return load_be32(h.data() + 2);
}

}  // namespace

void arrange_interfaces(std::vector<net_if>& interfaces) {
  std::sort(interfaces.begin(), interfaces.end(), better);
}

uint32_t host_identifier(const std::vector<net_if>& interfaces) {
  for (const net_if& n : interfaces)
    if (n.address.is_ipv4() && !n.address.is_loopback()) {
      if (n.address.hash() != 0) return n.address.hash();
      break;
    }
  for (const net_if& n : interfaces)
    if (!n.address.is_loopback() && hardware_word(n) != 0) return hardware_word(n);
  return interfaces.empty() ? 0 : interfaces.front().address.hash();
}

// ---------------------------------------------------------------------------------------------
// Collecting this host's interfaces

namespace {

const char* const diagnostic_tag = "if_collect_interfaces";

struct link_info {
  std::array<uint8_t, 6> hardware{};
  bool ethernet_or_wireless = false;
};

// Virtual Ethernet devices (bridges, veth pairs, container networks) look like Ethernet to
// the link layer; only a real device has a "device" entry in sysfs. Preferring real devices
// keeps hosts that all run the same container bridge from sharing one host identifier.
bool is_physical(const std::string& name) {
  if (access("/sys/class/net", F_OK) != 0) return true;  // no sysfs: trust the link type
  return access(("/sys/class/net/" + name + "/device").c_str(), F_OK) == 0;
}

bool is_ethernet_or_wireless(unsigned short link_type) {
  return link_type == ARPHRD_ETHER || link_type == ARPHRD_IEEE80211 || link_type == ARPHRD_IEEE80211_PRISM ||
         link_type == ARPHRD_IEEE80211_RADIOTAP;
}

struct ifaddrs_deleter {
  void operator()(ifaddrs* list) const { freeifaddrs(list); }
};

std::map<std::string, link_info> collect_links(const ifaddrs* list) {
  std::map<std::string, link_info> links;
  for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_PACKET || !entry->ifa_name) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(entry->ifa_addr);
    link_info& info = links[entry->ifa_name];
    if (link->sll_halen == info.hardware.size()) std::memcpy(info.hardware.data(), link->sll_addr, info.hardware.size());
    info.ethernet_or_wireless = is_ethernet_or_wireless(link->sll_hatype) && is_physical(entry->ifa_name);
  }
  return links;
}

std::vector<net_if> collect_interfaces() {
  std::vector<net_if> interfaces;
  ifaddrs* raw = nullptr;
  if (getifaddrs(&raw) != 0) {
    diagnostic(diagnostic_tag, "error %d getting adapters", errno);
    return interfaces;
  }
  const std::unique_ptr<ifaddrs, ifaddrs_deleter> list(raw);
  const auto links = collect_links(list.get());
  for (const ifaddrs* entry = list.get(); entry; entry = entry->ifa_next) {
    if (!entry->ifa_addr || !entry->ifa_name || !(entry->ifa_flags & IFF_UP)) continue;
    const int family = entry->ifa_addr->sa_family;
    if (family != AF_INET && family != AF_INET6) continue;
    net_if n;
    n.name = entry->ifa_name;
    n.index = if_nametoindex(entry->ifa_name);
    n.address = ip_address(entry->ifa_addr, family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6));
    // An alias address is labelled "eth0:1"; its link is "eth0".
    if (const auto link = links.find(n.name.substr(0, n.name.find(':'))); link != links.end()) {
      n.hardware = link->second.hardware;
      n.preferred = link->second.ethernet_or_wireless;
    }
    interfaces.push_back(std::move(n));
  }
  return interfaces;
}

net_if fake_interface() {
  sockaddr_in loopback{};
  loopback.sin_family = AF_INET;
  loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  net_if n;
  n.name = "fake";
  n.address = ip_address(loopback);
  return n;
}

struct interface_table {
  std::vector<net_if> interfaces;
  uint32_t id = 0;
  const net_if* best_ipv4 = nullptr;
  const net_if* best_ipv6 = nullptr;

  interface_table() : interfaces(collect_interfaces()) {
    if (interfaces.empty()) {
      std::fprintf(stderr, "\n**WARNING** No network devices found\n\n");
      interfaces.push_back(fake_interface());
    }
    arrange_interfaces(interfaces);
    id = host_identifier(interfaces);
    for (const net_if& n : interfaces) {
      if (!best_ipv4 && n.address.is_ipv4()) best_ipv4 = &n;
      if (!best_ipv6 && n.address.is_ipv6()) best_ipv6 = &n;
    }
  }
};

const interface_table& table() {
  static const interface_table instance;  // built once, thread-safe
  return instance;
}

bool same_host(const ip_address& a, const ip_address& b) { return ip_address(a, 0) == ip_address(b, 0); }

bool is_dotted_decimal(std::string_view name) {
  return name.find_first_not_of("0123456789.") == std::string_view::npos;
}

bool is_ipv6_text(std::string_view name) {
  return name.find(':') != std::string_view::npos &&
         name.find_first_not_of("0123456789abcdefABCDEF:.") == std::string_view::npos;
}

// Resolver results: non-loopback first, IPv4 before IPv6, public before private.
int lookup_rank(const ip_address& a) {
  return (a.is_loopback() ? 4 : 0) + (a.is_ipv4() ? 0 : 2) + (a.is_local() ? 1 : 0);
}

std::vector<ip_address> resolve(const char* name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* raw = nullptr;
  const int error = getaddrinfo(name, nullptr, &hints, &raw);
  if (error != 0) {
    std::fprintf(stderr, "Error looking up %s: %s\n", name, gai_strerror(error));
    return {};
  }
  std::vector<ip_address> addresses;
  for (const addrinfo* entry = raw; entry; entry = entry->ai_next) {
    const ip_address address(entry->ai_addr, entry->ai_addrlen);
    if (address.is_valid() && std::find(addresses.begin(), addresses.end(), address) == addresses.end())
      addresses.push_back(address);
  }
  freeaddrinfo(raw);
  std::stable_sort(addresses.begin(), addresses.end(),
                   [](const ip_address& a, const ip_address& b) { return lookup_rank(a) < lookup_rank(b); });
  return addresses;
}

std::vector<ip_address> numeric_ipv4(const char* name) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, name, &address.sin_addr) == 1) return {ip_address(address)};
  std::fprintf(stderr, "Error looking up IP address for %s\n", name);
  return {};
}

std::vector<ip_address> numeric_ipv6(const char* name) {
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  if (inet_pton(AF_INET6, name, &address.sin6_addr) == 1) return {ip_address(address)};
  std::fprintf(stderr, "Error looking up IPv6 address for %s\n", name);
  return {};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// ip_addr_lookup

uint32_t ip_addr_lookup::get_id() { return table().id; }

const net_if& ip_addr_lookup::get_default() { return table().interfaces.front(); }

const net_if* ip_addr_lookup::get_best_ipv4() { return table().best_ipv4; }

const net_if* ip_addr_lookup::get_best_ipv6() { return table().best_ipv6; }

const std::vector<net_if>& ip_addr_lookup::get_interfaces() { return table().interfaces; }

std::vector<net_if> ip_addr_lookup::get_devices(const char* name) {
  std::vector<net_if> devices;
  for (const net_if& n : table().interfaces)
    if (!name || !*name || n.name == name) devices.push_back(n);
  return devices;
}

bool ip_addr_lookup::is_local(const ip_address& address) {
  if (address.is_loopback()) return true;
  const auto& all = table().interfaces;
  return std::any_of(all.begin(), all.end(), [&](const net_if& n) { return same_host(n.address, address); });
}

bool ip_addr_lookup::is_local(const char* name) {
  const std::vector<ip_address> addresses = get_addrs(name);
  return !addresses.empty() &&
         std::all_of(addresses.begin(), addresses.end(), [](const ip_address& a) { return is_local(a); });
}

std::vector<ip_address> ip_addr_lookup::get_addrs(const char* name) {
  if (!name || !*name) {
    std::vector<ip_address> addresses;
    for (const net_if& n : table().interfaces) addresses.emplace_back(n.address, 0);
    return addresses;
  }
  if (is_dotted_decimal(name)) return numeric_ipv4(name);
  if (is_ipv6_text(name)) return numeric_ipv6(name);
  return resolve(name);
}

void ip_addr_lookup::print(FILE* stream) {
  const interface_table& t = table();
  std::fprintf(stream, "Host identifier 0x%08X\n", t.id);
  for (const net_if& n : t.interfaces) {
    const auto& h = n.hardware;
    std::fprintf(stream, "  %-16s index %-3u %-42s %02x:%02x:%02x:%02x:%02x:%02x%s\n", n.name.c_str(), n.index,
                 n.address.to_string().c_str(), h[0], h[1], h[2], h[3], h[4], h[5], n.preferred ? "  preferred" : "");
  }
}

}  // namespace brindle
