#include "console/vterm_manager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "console/console.h"
#include "console/local_keyboard.h"
#include "console/vterm_connection.h"
#include "frame/local_distribution_manager.h"
#include "rid.h"
#include "scheduler.h"
#include "text_output_interceptor.h"

namespace varnel {

namespace {

constexpr uint64_t period_ms = 67;
constexpr int socket_buffer_bytes = 65536;
constexpr int max_accepts_per_run = 16;
const char* const loopback = "127.0.0.1";

void socket_failure(const char* what) { std::fprintf(stderr, "%s: %s\n", what, std::strerror(errno)); }

// The address the listener binds: the RID's, or the loopback when it names none or a bad one.
in_addr listen_address(brindle::RID& rid) {
  const char* wanted = rid.get_own_string("console", "listen_address");
  in_addr address{};
  if (!wanted || inet_pton(AF_INET, wanted, &address) != 1) {
    std::fprintf(stderr, "vterm_init: bad listen address %s; listening on %s\n", wanted ? wanted : "(none)", loopback);
    inet_pton(AF_INET, loopback, &address);
    return address;
  }
  if ((ntohl(address.s_addr) >> 24) != 127)
    std::fprintf(stderr,
                 "vterm_init: Warning: the console listens on %s without a login: anyone who reaches it can "
                 "shut the federation down\n",
                 wanted);
  return address;
}

uint16_t first_port(brindle::RID& rid) {
  const int32_t port = rid.get_own_integer("console", "telnet_port");
  if (port > 0 && port <= 65535) return uint16_t(port);
  std::fprintf(stderr, "vterm_init: bad telnet_port %d; trying %u\n", port, unsigned(vterm_manager::default_port));
  return vterm_manager::default_port;
}

std::string dotted(const sockaddr_in& address) {
  char text[INET_ADDRSTRLEN] = "?";
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

}  // namespace

vterm_manager::vterm_manager(local_distribution_manager& ldm, brindle::text_output_interceptor& interceptor)
    : ldm_(ldm), interceptor_(interceptor) {
  // Runs even while another manager owns the console, to notice when it passes here.
  schedule(ldm_.get_scheduler(), period_ms);
  if (console::instance().attach(*this)) take_console();
}

vterm_manager::~vterm_manager() {
  console::instance().detach(*this);
  interceptor_.drain();
  for (auto& connection : connections_) connection->flush_output();
  connections_.clear();
  keyboard_.reset();
  if (listener_ >= 0) close(listener_);
}

size_t vterm_manager::connection_count() const {
  return size_t(std::count_if(connections_.begin(), connections_.end(), [](const auto& c) { return !c->is_closed(); }));
}

void vterm_manager::take_console() {
  owner_ = true;
  brindle::RID& rid = ldm_.get_rid();
  if (rid.get_boolean("virtual_terminal", "accept_connections")) open_listener();
  if (rid.get_own_boolean("console", "local_keyboard"))
    keyboard_ = std::make_unique<local_keyboard>(ldm_, console::instance().prompt());
}

void vterm_manager::open_listener() {
  brindle::RID& rid = ldm_.get_rid();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = listen_address(rid);
  const uint16_t first = first_port(rid);
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return socket_failure("vterm_init: socket()");
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &socket_buffer_bytes, sizeof socket_buffer_bytes) != 0)
    socket_failure("vterm_init: increase input buffering");
  if (setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &socket_buffer_bytes, sizeof socket_buffer_bytes) != 0)
    socket_failure("vterm_init: increase output buffering");
  // The search stays within the span and below 65536: it never wraps to an ephemeral port.
  const uint32_t last = std::min<uint32_t>(uint32_t(first) + port_span - 1, 65535);
  for (uint32_t port = first; port <= last; ++port) {
    address.sin_port = htons(uint16_t(port));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      if (listen(fd, 5) != 0) {
        socket_failure("vterm_init: listen()");
        close(fd);
        return;
      }
      listener_ = fd;
      port_ = uint16_t(port);
      std::printf("Telnet to port %u to access command line parser.\n", unsigned(port_));
      std::fflush(stdout);
      set_trigger(listener_);
      return;
    }
    if (errno != EADDRINUSE) break;
  }
  if (errno == EADDRINUSE)
    std::fprintf(stderr, "vterm_init: ports %u to %u are all taken; no telnet console\n", unsigned(first), last);
  else
    socket_failure("vterm_init: bad bind()");
  close(fd);
}

void vterm_manager::on_timer() {
  if (!owner_ && console::instance().owned_by(*this)) take_console();
  std::erase_if(connections_, [](const auto& c) { return c->is_closed(); });
  if (listener_ >= 0) accept_clients();
}

void vterm_manager::accept_clients() {
  for (int n = 0; n < max_accepts_per_run; ++n) {
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const int client = accept4(listener_, reinterpret_cast<sockaddr*>(&from), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (client < 0) {
      if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ECONNABORTED)
        socket_failure("vterm_accept_new_client: bad accept()");
      return;
    }
    const std::string peer = dotted(from);
    if (connection_count() >= max_connections) {
      refuse(client, peer);
      continue;
    }
    std::printf("New virtual terminal connection from %s.\n", peer.c_str());
    std::fflush(stdout);
    connections_.push_back(
        std::make_unique<vterm_connection>(ldm_, interceptor_, client, peer, console::instance().prompt()));
  }
}

void vterm_manager::refuse(int client, const std::string& peer) {
  char note[96];
  const int length = std::snprintf(note, sizeof note, "All %zu virtual terminals are in use; closing.\r\n", max_connections);
  send(client, note, size_t(length), MSG_NOSIGNAL | MSG_DONTWAIT);
  close(client);
  std::printf("Refused virtual terminal connection from %s: all %zu in use.\n", peer.c_str(), max_connections);
}

}  // namespace varnel
