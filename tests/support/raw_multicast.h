// Plain UDP multicast sockets on the loopback interface, outside the transport: the tests inject
// foreign and damaged datagrams with them and the benchmark measures its baseline with them.
// Each object owns its socket.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

class raw_multicast {
public:
  // A socket that sends through 127.0.0.1 with TTL 0, so nothing leaves this host.
  raw_multicast() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    in_addr loopback{};
    inet_pton(AF_INET, "127.0.0.1", &loopback);
    setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    const unsigned char ttl = 0, loop = 1;
    setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
  }
  ~raw_multicast() {
    if (fd_ >= 0) close(fd_);
  }
  raw_multicast(const raw_multicast&) = delete;
  raw_multicast& operator=(const raw_multicast&) = delete;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Also receives what is sent to group:port on the loopback interface.
  bool listen(const std::string& group, uint16_t port) {
    const int on = 1, off = 0;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd_, IPPROTO_IP, IP_MULTICAST_ALL, &off, sizeof off);
    sockaddr_in local = address(group, port);
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return false;
    ip_mreq membership{};
    membership.imr_multiaddr = local.sin_addr;
    inet_pton(AF_INET, "127.0.0.1", &membership.imr_interface);
    return setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &membership, sizeof membership) == 0;
  }

  bool send_to(const std::string& group, uint16_t port, const void* data, size_t length) {
    const sockaddr_in to = address(group, port);
    return sendto(fd_, data, length, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) ==
           static_cast<ssize_t>(length);
  }

  // One datagram into out, waiting up to timeout_ms; its length, or -1 when none came.
  ssize_t receive(std::vector<uint8_t>& out, int timeout_ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return -1;
    const ssize_t n = recv(fd_, scratch_.data(), scratch_.size(), 0);
    out.assign(scratch_.begin(), scratch_.begin() + (n > 0 ? n : 0));
    return n;
  }

  // Asks the kernel to stamp each datagram on arrival and to keep up to bytes of them waiting
  // (forced past the system's limit where this process may, as root can).
  void stamp_arrivals(int bytes) {
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) != 0)
      setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
  }

  // As receive, without waiting, also giving the kernel's arrival time in nanoseconds (0 when
  // stamp_arrivals was not asked for).
  ssize_t receive_stamped(std::vector<uint8_t>& out, int64_t& arrival_ns) {
    iovec io{scratch_.data(), scratch_.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec))];
    msghdr message{};
    message.msg_iov = &io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t n = recvmsg(fd_, &message, MSG_DONTWAIT);
    out.assign(scratch_.begin(), scratch_.begin() + (n > 0 ? n : 0));
    arrival_ns = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
      if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_TIMESTAMPNS) continue;
      timespec stamp;
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      arrival_ns = int64_t{stamp.tv_sec} * 1000000000 + stamp.tv_nsec;
    }
    return n;
  }

  static sockaddr_in address(const std::string& group, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, group.c_str(), &a.sin_addr);
    return a;
  }

private:
  int fd_;
  std::vector<uint8_t> scratch_ = std::vector<uint8_t>(65536);  // room for any datagram
};
