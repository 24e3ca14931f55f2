// A TCP server for tests, listening on 127.0.0.1 at a port the system picks: each connection
// it accepts is handed, one after the other, to the test's script on the server's own thread.
// Tests talk to nothing but this host.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

class loopback_server {
public:
  using script = std::function<void(int connection)>;

  explicit loopback_server(script serve) : serve_(std::move(serve)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 4) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("loopback_server: cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { accept_loop(); });
  }

  ~loopback_server() { stop(); }
  loopback_server(const loopback_server&) = delete;
  loopback_server& operator=(const loopback_server&) = delete;

  uint16_t port() const { return port_; }

  // Stops accepting and waits for the script to finish; what the script recorded is then safe
  // to read.
  void stop() {
    if (!thread_.joinable()) return;
    ::shutdown(listener_, SHUT_RDWR);  // wakes the blocked accept
    thread_.join();
    ::close(listener_);
  }

private:
  void accept_loop() {
    for (;;) {
      const int connection = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) return;
      serve_(connection);
      ::close(connection);
    }
  }

  script serve_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
};

// What the peer sends up to and including end, or up to its close.
inline std::string receive_until(int connection, const std::string& end) {
  std::string text;
  char c;
  while (text.find(end) == std::string::npos && ::read(connection, &c, 1) == 1) text += c;
  return text;
}

// Sends text; false once the peer has gone.
inline bool send_all(int connection, const std::string& text) {
  return ::send(connection, text.data(), text.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(text.size());
}
