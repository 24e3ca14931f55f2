// The last stage of the pipeline: UDP sockets on one IPv4 interface. One socket sends to the
// multicast groups; receive sockets, bound to the port, join the groups the stream manager
// needs, at most 20 per socket (the kernel's default membership limit), and hear only their own
// groups. Owned by the stream manager; every socket is closed with it.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace vessmark {

class udp_multicast {
public:
  static constexpr size_t groups_per_socket = 20;

  // interface and base_address are dotted IPv4 texts. Failures are printed; the object then
  // sends and receives nothing (is_open false).
  udp_multicast(const char* interface, const char* base_address, int port, int ttl,
                int buffer_kb);
  ~udp_multicast();
  udp_multicast(const udp_multicast&) = delete;
  udp_multicast& operator=(const udp_multicast&) = delete;

  bool is_open() const { return send_socket_ >= 0; }
  // Joins and leaves so that exactly these group numbers (offsets from the base address) are
  // joined. Returns true when the set of receive sockets changed.
  bool set_groups(const std::set<int>& groups);
  bool send(int group, const uint8_t* bytes, size_t length);
  const std::vector<int>& receive_sockets() const { return receive_sockets_; }
  // One waiting datagram of socket into buffer; its full length (more than capacity when it
  // was cut), or -1 when none waits.
  long read(int socket, uint8_t* buffer, size_t capacity);

private:
  int open_receive_socket();
  bool change_membership(int socket, int group, bool join);
  in_addr group_address(int group) const;

  in_addr interface_{};
  uint32_t base_ = 0;  // host order
  int port_;
  int buffer_bytes_;
  int send_socket_ = -1;
  std::vector<int> receive_sockets_;
  std::vector<std::set<int>> members_;  // per receive socket, its groups
};

}  // namespace vessmark
