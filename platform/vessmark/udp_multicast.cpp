#include "udp_multicast.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "diagnostic.h"
#include "sock_util.h"

namespace vessmark {

using namespace brindle;

namespace {

const char* const diagnostic_tag = "vessmark";

bool parse_ipv4(const char* text, in_addr& out) {
  return text != nullptr && inet_pton(AF_INET, text, &out) == 1;
}

void set_nonblocking(int socket) {
  const int flags = fcntl(socket, F_GETFL, 0);
  if (flags >= 0) fcntl(socket, F_SETFL, flags | O_NONBLOCK);
}
}  // namespace

udp_multicast::udp_multicast(const char* interface, const char* base_address, int port, int ttl,
                             int buffer_kb)
    : port_(port), buffer_bytes_(buffer_kb > 0 ? buffer_kb * 1024 : 0) {
  in_addr base{};
  if (!parse_ipv4(interface, interface_) || !parse_ipv4(base_address, base) || !IN_MULTICAST(ntohl(base.s_addr))) {
    diagnostic(diagnostic_tag, "bad interface \"%s\" or multicast base address \"%s\"", interface ? interface : "",
               base_address ? base_address : "");
    return;
  }
  if (port <= 0 || port > 65535) {
    diagnostic(diagnostic_tag, "bad multicast port %d", port);
    return;
  }
  base_ = ntohl(base.s_addr);
  const int sock = socket(AF_INET, SOCK_DGRAM, 0);
  if (sock < 0) {
    sock_perror(diagnostic_tag, "socket");
    return;
  }
  const unsigned char hops = static_cast<unsigned char>(ttl < 0 ? 0 : ttl > 255 ? 255 : ttl);
  const unsigned char loop = 1;  // other stream managers on this host hear us
  if (setsockopt(sock, IPPROTO_IP, IP_MULTICAST_IF, &interface_, sizeof interface_) < 0 ||
      setsockopt(sock, IPPROTO_IP, IP_MULTICAST_TTL, &hops, sizeof hops) < 0 ||
      setsockopt(sock, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) < 0) {
    sock_perror(diagnostic_tag, "multicast sending options");
    close(sock);
    return;
  }
  if (buffer_bytes_ > 0) setsockopt(sock, SOL_SOCKET, SO_SNDBUF, &buffer_bytes_, sizeof buffer_bytes_);
  set_nonblocking(sock);
  send_socket_ = sock;
}

udp_multicast::~udp_multicast() {
  for (int sock : receive_sockets_) close(sock);
  if (send_socket_ >= 0) close(send_socket_);
}

in_addr udp_multicast::group_address(int group) const {
  in_addr address{};
  address.s_addr = htonl(base_ + static_cast<uint32_t>(group));
  return address;
}

int udp_multicast::open_receive_socket() {
  const int sock = socket(AF_INET, SOCK_DGRAM, 0);
  if (sock < 0) {
    sock_perror(diagnostic_tag, "socket");
    return -1;
  }
  const int on = 1;
  const int off = 0;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(static_cast<uint16_t>(port_));
  local.sin_addr.s_addr = htonl(INADDR_ANY);
  // Every stream manager on the host binds the same port; without IP_MULTICAST_ALL off a
  // socket would also hear the groups that other sockets joined.
  if (setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0 ||
      setsockopt(sock, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off) < 0 ||
      bind(sock, reinterpret_cast<const sockaddr*>(&local), sizeof local) < 0) {
    sock_perror(diagnostic_tag, "receive socket");
    close(sock);
    return -1;
  }
  if (buffer_bytes_ > 0) setsockopt(sock, SOL_SOCKET, SO_RCVBUF, &buffer_bytes_, sizeof buffer_bytes_);
  set_nonblocking(sock);
  return sock;
}

bool udp_multicast::change_membership(int socket, int group, bool join) {
  ip_mreq request{};
  request.imr_multiaddr = group_address(group);
  request.imr_interface = interface_;
  if (setsockopt(socket, IPPROTO_IP, join ? IP_ADD_MEMBERSHIP : IP_DROP_MEMBERSHIP, &request, sizeof request) == 0) {
    return true;
  }
  sock_perror(diagnostic_tag, join ? "joining a multicast group" : "leaving a multicast group");
  return false;
}

bool udp_multicast::set_groups(const std::set<int>& groups) {
  if (!is_open()) return false;
  const std::vector<int> before = receive_sockets_;
  for (size_t i = 0; i < members_.size(); ++i) {
    for (auto it = members_[i].begin(); it != members_[i].end();) {
      if (groups.count(*it)) {
        ++it;
        continue;
      }
      change_membership(receive_sockets_[i], *it, false);
      it = members_[i].erase(it);
    }
  }
  for (int group : groups) {
    bool present = false;
    for (const auto& members : members_) present = present || members.count(group) != 0;
    if (present) continue;
    size_t slot = 0;
    while (slot < members_.size() && members_[slot].size() >= groups_per_socket) ++slot;
    if (slot == members_.size()) {
      const int sock = open_receive_socket();
      if (sock < 0) break;
      receive_sockets_.push_back(sock);
      members_.emplace_back();
    }
    if (change_membership(receive_sockets_[slot], group, true)) members_[slot].insert(group);
  }
  for (size_t i = members_.size(); i-- > 0;) {
    if (!members_[i].empty()) continue;
    close(receive_sockets_[i]);
    receive_sockets_.erase(receive_sockets_.begin() + static_cast<long>(i));
    members_.erase(members_.begin() + static_cast<long>(i));
  }
  return receive_sockets_ != before;
}

bool udp_multicast::send(int group, const uint8_t* bytes, size_t length) {
  if (!is_open()) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port_));
  to.sin_addr = group_address(group);
  return sendto(send_socket_, bytes, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
         static_cast<ssize_t>(length);
}

long udp_multicast::read(int socket, uint8_t* buffer, size_t capacity) {
  // MSG_TRUNC reports a datagram's true length, so an oversized one is refused, not cut.
  const ssize_t got = recv(socket, buffer, capacity, MSG_TRUNC);
  return got < 0 ? -1 : static_cast<long>(got);
}

}  // namespace vessmark
