// The telnet console's command round trip on 127.0.0.1: a client types "rti print version" and
// waits for the banner and the next prompt, while the federate ticks on its own thread. The
// baseline, measured in the same run, is a raw loopback TCP echo of a line of the same length
// by a thread that does nothing else. Counts only replies that arrived whole.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "console/console.h"
#include "console/vterm_manager.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int rounds = 2000;
const std::string command = "rti print version\r\n";

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int connect_to(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const sockaddr_in to = loopback(port);
  for (int tries = 0; connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0; ++tries) {
    if (tries == 200) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return fd;
}

// Reads until the received text ends with what; false when the peer closed.
bool read_until(int fd, std::string& received, const std::string& what) {
  char buffer[4096];
  while (received.size() < what.size() || received.compare(received.size() - what.size(), what.size(), what) != 0) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return false;
    received.append(buffer, size_t(got));
  }
  return true;
}

// Microseconds per round trip of the line through a thread that echoes it.
double echo_round_trip(uint16_t port) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in at = loopback(port);
  if (bind(listener, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || listen(listener, 1) != 0) {
    std::perror("echo listener");
    return 0;
  }
  std::thread echo([listener] {
    const int peer = accept(listener, nullptr, nullptr);
    const int nodelay = 1;
    setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &nodelay, sizeof nodelay);
    char buffer[4096];
    for (ssize_t got; (got = recv(peer, buffer, sizeof buffer, 0)) > 0;) send(peer, buffer, size_t(got), MSG_NOSIGNAL);
    close(peer);
  });
  const int fd = connect_to(port);
  std::string received;
  const auto start = bench_clock::now();
  int done = 0;
  for (; done < rounds; ++done) {
    send(fd, command.data(), command.size(), MSG_NOSIGNAL);
    received.clear();
    if (!read_until(fd, received, command)) break;
  }
  const double us = std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
  close(fd);
  echo.join();
  close(listener);
  return done ? us / done : 0;
}

// Microseconds per console round trip; the federate ticks on its own thread meanwhile.
double console_round_trip(uint16_t multicast_port, uint16_t telnet_port, int& answered) {
  test_rid_options options;
  options.port = multicast_port;
  options.telnet_port = telnet_port;
  std::unique_ptr<test_ldm> ldm;
  {
    const scoped_rid_file rid(options);
    ldm = std::make_unique<test_ldm>();
  }
  ldm->create_federation_execution("ConsoleBench", EXAMPLES_DIR "/demo.fed");
  ldm->join_federation_execution("bench", "ConsoleBench");
  std::atomic<bool> stop{false};
  std::thread ticker([&] {
    while (!stop) ldm->tick(0.05, 0.1);
  });
  const int fd = connect_to(ldm->get_vterm_manager()->port());
  const std::string prompt = console::instance().prompt();
  std::string received;
  read_until(fd, received, prompt);
  const auto start = bench_clock::now();
  answered = 0;
  for (; answered < rounds; ++answered) {
    send(fd, command.data(), command.size(), MSG_NOSIGNAL);
    received.clear();
    if (!read_until(fd, received, prompt) || received.find(ldm->get_version_banner()) == std::string::npos) break;
  }
  const double us = std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
  close(fd);
  stop = true;
  ticker.join();
  ldm->resign_federation_execution(false, false, false);
  ldm->destroy_federation_execution("ConsoleBench");
  return answered ? us / answered : 0;
}

}  // namespace

int main() {
  const uint16_t multicast_port = test_port(port_block::bench, 55);
  const uint16_t telnet_port = test_port(port_block::bench, 56);
  const uint16_t echo_port = test_port(port_block::bench, 57);
  std::printf("console_bench: %d round trips of \"rti print version\" over telnet on 127.0.0.1 (telnet port %u)\n"
              "  against a raw TCP echo of the same line (port %u)\n",
              rounds, unsigned(telnet_port), unsigned(echo_port));
  const double echo_us = echo_round_trip(echo_port);
  int answered = 0;
  const double console_us = console_round_trip(multicast_port, telnet_port, answered);
  std::printf("  raw TCP echo:        %8.1f us per round trip\n", echo_us);
  std::printf("  console command:     %8.1f us per round trip (%d of %d answered)\n", console_us, answered, rounds);
  std::printf("  ratio console / echo: %.2f (goal <= 3)\n", echo_us > 0 ? console_us / echo_us : 0.0);
  return answered == rounds ? 0 : 1;
}
