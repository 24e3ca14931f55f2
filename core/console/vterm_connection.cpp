#include "console/vterm_connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "frame/local_distribution_manager.h"
#include "parser.h"
#include "scheduler.h"

namespace varnel {

namespace {

constexpr uint64_t period_ms = 67;

}  // namespace

vterm_connection::vterm_connection(local_distribution_manager& ldm, brindle::text_output_interceptor& interceptor,
                                   int socket, std::string peer, const std::string& prompt)
    : interceptor_(interceptor),
      socket_(socket),
      peer_(std::move(peer)),
      decoder_([this](int key) { parser::ParseKeypress(terminal_, key); }),
      terminal_(ldm, [this](const char* bytes, size_t length) { queue(telnet_encode(bytes, length, true)); }, true) {
  const unsigned char negotiation[] = {telnet::iac, telnet::will, telnet::echo,
                                       telnet::iac, telnet::will, telnet::suppress_go_ahead};
  pending_.assign(reinterpret_cast<const char*>(negotiation), sizeof negotiation);
  // Echoes and prompts are small: send them at once rather than wait for the client's ACK.
  const int on = 1;
  setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  terminal_.start(prompt);
  interceptor_.register_client(this);
  schedule(ldm.get_scheduler(), period_ms);
  set_trigger(socket_);
  flush_output();
}

vterm_connection::~vterm_connection() { close(); }

void vterm_connection::close() {
  if (socket_ < 0) return;
  interceptor_.unregister_client(this);
  cancel();
  ::close(socket_);
  socket_ = -1;
  pending_.clear();
}

void vterm_connection::on_timer() {
  receive();
  flush_output();
}

void vterm_connection::receive() {
  unsigned char buffer[read_size];
  for (size_t taken = 0; socket_ >= 0 && taken < max_read_per_run;) {
    const ssize_t got = recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got > 0) {
      decoder_.decode(buffer, size_t(got));
      taken += size_t(got);
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got < 0)
      std::fprintf(stderr, "vterm_receive_incoming_data: bad recv(): %s\n", std::strerror(errno));
    else
      std::printf("Virtual terminal connection from %s closed.\n", peer_.c_str());
    close();
  }
}

void vterm_connection::text(size_t length, const char* bytes) {
  queue(telnet_encode(bytes, length, false));
  flush_output();
}

void vterm_connection::queue(const std::string& bytes) {
  if (socket_ < 0 || pending_.size() + bytes.size() > max_pending_output) return;
  pending_ += bytes;
}

void vterm_connection::flush_output() {
  while (socket_ >= 0 && !pending_.empty()) {
    const ssize_t sent = send(socket_, pending_.data(), pending_.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      pending_.erase(0, size_t(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    std::fprintf(stderr, "vterm_check_for_output: bad send(): %s\n", std::strerror(errno));
    close();
  }
}

}  // namespace varnel
