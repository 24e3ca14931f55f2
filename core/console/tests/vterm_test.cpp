// The telnet console over real sockets on 127.0.0.1: telnet negotiation and split line ends,
// bounded lines, connections and port search, clients that reset, terminal injection through
// federate names, and a shut-down typed over telnet ending every federate process.
#include "console/vterm_manager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "federate_process.h"
#include "parser.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace varnel;
using namespace std::string_literals;

namespace {

sockaddr_in loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A telnet client that never blocks: the federate it talks to runs on the test's own thread.
class telnet_client {
public:
  explicit telnet_client(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    // Sent at once: the federate runs on a stepped clock, and a client waiting for an ACK
    // (Nagle) would wait in real time while many stepped seconds pass.
    const int on = 1;
    setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    const sockaddr_in to = loopback(port);
    connected_ = connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  }
  ~telnet_client() {
    if (fd_ >= 0) close(fd_);
  }
  telnet_client(const telnet_client&) = delete;
  telnet_client& operator=(const telnet_client&) = delete;

  bool connected() const { return connected_; }
  void type(const std::string& bytes) { ASSERT_EQ(send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size())); }
  // Takes what has arrived; false once the server has closed the connection.
  bool read() {
    char buffer[4096];
    for (;;) {
      const ssize_t got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got > 0) {
        received.append(buffer, size_t(got));
        continue;
      }
      if (got == 0) closed_ = true;
      return !closed_;
    }
  }
  bool has(const std::string& text) {
    read();
    return received.find(text) != std::string::npos;
  }
  bool is_closed() {
    read();
    return closed_;
  }
  // Ends the connection with a reset instead of a close.
  void reset() {
    const linger abort{1, 0};
    setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    close(fd_);
    fd_ = -1;
  }

  std::string received;

private:
  int fd_;
  bool connected_ = false;
  bool closed_ = false;
};

size_t count_of(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// A socket listening on the port of 127.0.0.1, taking it from the console.
int take_port(uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in at = loopback(port);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) != 0 || listen(fd, 1) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The local addresses listening on the TCP port, as /proc/net/tcp shows them (hex, host order
// of the kernel's dump: 0100007F is 127.0.0.1).
std::vector<std::string> listening_addresses(uint16_t port) {
  std::ifstream in("/proc/net/tcp");
  std::vector<std::string> found;
  std::string line;
  std::getline(in, line);
  char port_hex[8];
  std::snprintf(port_hex, sizeof port_hex, "%04X", unsigned(port));
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.substr(local.find(':') + 1) == port_hex) found.push_back(local.substr(0, local.find(':')));
  }
  return found;
}

test_rid_options telnet_on(uint16_t port) {
  test_rid_options options;
  options.telnet_port = port;
  return options;
}

TEST(Telnet, NegotiationAndSplitLineEndsNeverReachTheParser) {
  stepped_federation f(test_port(port_block::vterm_test, 0));
  const uint16_t port = test_port(port_block::vterm_test, 50);
  test_ldm& a = f.join("alpha", telnet_on(port));
  // Names come from the network: a terminal shows their control characters as '?' and doubles
  // the telnet escape byte.
  f.join("evil\x1b]0;owned\x07name\xff", telnet_on(port));
  EXPECT_EQ(listening_addresses(port), std::vector<std::string>{"0100007F"});  // loopback only

  telnet_client c(port);
  ASSERT_TRUE(c.connected());
  const std::string prompt = console::instance().prompt();
  ASSERT_TRUE(f.tick_until([&] { return c.has(prompt); }, 1000));
  // The server asks to echo: IAC WILL ECHO, IAC WILL SUPPRESS-GO-AHEAD.
  EXPECT_EQ(c.received.substr(0, 6), "\xff\xfb\x01\xff\xfb\x03");

  // An option answer and a subnegotiation (with letters in it) run straight into a command: no
  // keystroke is lost and none is added.
  c.type("\xff\xfd\x01\xff\xfa\x18\x00xterm\xff\xf0rti print version\r\n"s);
  ASSERT_TRUE(f.tick_until([&] { return c.has(a.get_version_banner()); }, 1000)) << c.received;

  // CR and LF in two reads run one command, and so does CR NUL.
  c.type("rti print uptime\r");
  ASSERT_TRUE(f.tick_until([&] { return c.has("Uptime: "); }, 1000));
  f.settle(200);
  c.type("\nrti print federation\r");
  c.type(std::string(1, '\0'));
  ASSERT_TRUE(f.tick_until([&] { return c.has("evil?]0;owned?name\xff\xff"); }, 1000)) << c.received;
  f.settle(200);
  c.read();
  EXPECT_EQ(count_of(c.received, prompt), 4u);  // the first and one per command
  EXPECT_EQ(c.received.find('\x1b'), std::string::npos);
  EXPECT_EQ(c.received.find('\x07'), std::string::npos);
  EXPECT_EQ(count_of(c.received, "% "), 0u) << c.received;

  // A 10 KB line is cut at the parser's limit, refused, and the terminal goes on.
  c.received.clear();
  c.type(std::string(10240, 'x') + "\r\n");
  ASSERT_TRUE(f.tick_until([&] { return c.has("% Unknown command"); }, 2000));
  EXPECT_LE(count_of(c.received, "x"), 2 * parser::max_line);  // echoed once, shown once more
  c.type("rti print uptime\r\n");
  EXPECT_TRUE(f.tick_until([&] { return c.has("Uptime: "); }, 1000));
}

TEST(Telnet, EightConnectionsAtMostAndAResetCostsOnlyItsOwn) {
  stepped_federation f(test_port(port_block::vterm_test, 1));
  const uint16_t port = test_port(port_block::vterm_test, 60);
  test_ldm& a = f.join("alpha", telnet_on(port));
  std::vector<std::unique_ptr<telnet_client>> clients;
  for (size_t i = 0; i < vterm_manager::max_connections; ++i) {
    clients.push_back(std::make_unique<telnet_client>(port));
    ASSERT_TRUE(f.tick_until([&] { return clients.back()->has(console::instance().prompt()); }, 1000));
  }
  telnet_client ninth(port);
  ASSERT_TRUE(f.tick_until([&] { return ninth.is_closed(); }, 1000));
  EXPECT_NE(ninth.received.find("All 8 virtual terminals are in use"), std::string::npos) << ninth.received;

  // A client that resets while much output is on its way: the federate (this process) lives on,
  // and the place is free again.
  clients[0]->type("rti print rid\r\nrti print class\r\nrti print stream\r\n");
  f.settle(70);
  clients[0]->reset();
  f.settle(500);
  EXPECT_EQ(a.get_vterm_manager()->connection_count(), vterm_manager::max_connections - 1);
  telnet_client again(port);
  ASSERT_TRUE(f.tick_until([&] { return again.has(console::instance().prompt()); }, 1000));
  again.type("rti print version\r\n");
  EXPECT_TRUE(f.tick_until([&] { return again.has(a.get_version_banner()); }, 1000));

  // The dangerous commands are there after enable, and only on the terminal that asked.
  clients[1]->type("rti enable\r\nrti cleanup my_objects\r\n");
  clients[2]->type("rti cleanup my_objects\r\n");
  EXPECT_TRUE(f.tick_until([&] { return clients[1]->has("Deleted 0 objects"); }, 1000));
  EXPECT_TRUE(f.tick_until([&] { return clients[2]->has("% Unknown command"); }, 1000));

  // What the process prints reaches the terminals too.
  std::printf("printed by the federate\n");
  std::fflush(stdout);
  EXPECT_TRUE(f.tick_until([&] { return clients[3]->has("printed by the federate\n\r"); }, 1000));
}

TEST(Telnet, PortSearchMovesOnWithinItsSpanAndNeverWraps) {
  // TCP ports of the block whose UDP ports the telnet fuzz target's federation uses.
  const uint16_t first = test_port(port_block::telnet_fuzz, 0);
  stepped_federation f(test_port(port_block::vterm_test, 2));
  std::vector<int> taken{take_port(first)};
  ASSERT_GE(taken.front(), 0);
  test_ldm& a = f.join("alpha", telnet_on(first));
  EXPECT_EQ(a.get_vterm_manager()->port(), first + 1);
  a.resign_federation_execution(false, false, false);

  // All 100 ports taken: no listener, rather than one outside the span.
  for (uint16_t i = 1; i < vterm_manager::port_span; ++i) taken.push_back(take_port(uint16_t(first + i)));
  ASSERT_EQ(std::count(taken.begin(), taken.end(), -1), 0);
  a.join_federation_execution("alpha", "Roads");
  EXPECT_TRUE(a.get_vterm_manager()->owns_console());
  EXPECT_EQ(a.get_vterm_manager()->port(), 0);
  a.resign_federation_execution(false, false, false);
  for (int fd : taken) close(fd);
}

// fm_federate processes, one with the console on the test's port.
class fm_process : public federate_process {
public:
  fm_process(const scoped_rid_file& rid, std::vector<std::string> args)
      : federate_process(FM_FEDERATE, rid.path(), std::move(args)) {}
};

TEST(Telnet, ShutdownTypedAtATerminalEndsEveryFederateProcess) {
  test_rid_options options{.port = test_port(port_block::vterm_shutdown_test, 0), .heartbeat = 1, .join_timeout = 2,
                           .amber = 1, .red = 2, .gone = 4};
  const scoped_rid_file quiet(options);
  options.telnet_port = test_port(port_block::vterm_shutdown_test, 50);
  const scoped_rid_file listening(options);
  fm_process alpha(listening, {"alpha", "Demo", "60"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo")) << alpha.output();
  fm_process bravo(quiet, {"--join-only", "bravo", "Demo", "60"});
  ASSERT_TRUE(bravo.wait_for("[bravo] joined federation Demo")) << bravo.output();
  ASSERT_TRUE(alpha.wait_for("[alpha] federate joined: bravo")) << alpha.output();

  telnet_client operator_terminal(options.telnet_port);
  ASSERT_TRUE(operator_terminal.connected()) << alpha.output();
  operator_terminal.type("rti shutdown\r\n");
  EXPECT_EQ(bravo.wait(), 255) << bravo.output();
  EXPECT_EQ(alpha.wait(), 255) << alpha.output();
  // The federate's last lines reached the terminal before the process ended.
  for (int i = 0; i < 100 && operator_terminal.read(); ++i) usleep(10000);
  EXPECT_NE(operator_terminal.received.find("All federates in federation have shut down."), std::string::npos)
      << operator_terminal.received;
}

TEST(Telnet, QuitResignsAndEndsTheProcessAfterItsLastLinesReachTheTerminal) {
  test_rid_options options{.port = test_port(port_block::vterm_shutdown_test, 1), .heartbeat = 1, .join_timeout = 2,
                           .amber = 1, .red = 2, .gone = 4};
  options.telnet_port = test_port(port_block::vterm_shutdown_test, 51);
  const scoped_rid_file rid(options);
  fm_process alpha(rid, {"alpha", "Demo", "60"});
  ASSERT_TRUE(alpha.wait_for("Telnet to port")) << alpha.output();
  telnet_client operator_terminal(options.telnet_port);
  ASSERT_TRUE(operator_terminal.connected());
  operator_terminal.type("rti quit\r\n");
  EXPECT_EQ(alpha.wait(), 0) << alpha.output();
  for (int i = 0; i < 100 && operator_terminal.read(); ++i) usleep(10000);
  EXPECT_NE(operator_terminal.received.find("Exiting on console request."), std::string::npos)
      << operator_terminal.received;
  EXPECT_EQ(alpha.output().find("[alpha] resigned"), std::string::npos);  // ended inside tick, not by its main
}

}  // namespace
