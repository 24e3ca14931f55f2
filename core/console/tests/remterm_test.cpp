// Remote terminals between federates on a stepped clock in one process: connecting by pattern,
// commands reaching the addressed federate, output coming back without echo when two federates
// control each other, floods cut with a note, the controller set (bounded, known federates
// only, a parse context each, dropped on resign), refusals, and the target's going. Between
// federate processes: an operator's telnet session at the controller, and a killed controller.
#include "console/remterm_manager.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "console/command_tree.h"
#include "console/remterm_messages.h"
#include "federate_process.h"
#include "frame/debugging_events.h"
#include "parser.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace varnel;

namespace {

// A terminal on a federate whose output the test reads.
class typed_terminal {
public:
  typed_terminal(local_distribution_manager& ldm)
      : terminal_(ldm, [this](const char* bytes, size_t length) { shown.append(bytes, length); }, true) {
    terminal_.start("local> ");
  }
  void type(const std::string& line) {
    for (char key : line + "\n") parser::ParseKeypress(terminal_, static_cast<unsigned char>(key));
  }
  std::string prompt() const { return parser::ParseLookupPrompt(terminal_); }
  const console_terminal& terminal() const { return terminal_; }

  std::string shown;

private:
  console_terminal terminal_;
};

// An operator's telnet session with a federate process's console.
class telnet_session {
public:
  explicit telnet_session(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
  }
  ~telnet_session() { close(fd_); }
  bool connected() const { return connected_; }
  void type(const std::string& line) {
    const std::string keys = line + "\r\n";
    ASSERT_EQ(send(fd_, keys.data(), keys.size(), MSG_NOSIGNAL), ssize_t(keys.size()));
  }
  // Waits for text in what arrived after mark.
  bool wait_for(const std::string& text, size_t mark = 0, double timeout_s = 20) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    for (;;) {
      char buffer[4096];
      for (ssize_t got; (got = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) received.append(buffer, size_t(got));
      if (received.find(text, mark) != std::string::npos) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      usleep(20000);
    }
  }

  std::string received;

private:
  int fd_;
  bool connected_ = false;
};

remterm_manager& remterm(test_ldm& ldm) { return *ldm.get_remterm_manager(); }

}  // namespace

TEST(RemoteTerminal, TwoFederatesInOneProcessControlEachOtherWithoutEcho) {
  stepped_federation f(test_port(port_block::remterm_test, 0));
  test_ldm& a = f.join("alpha");
  test_ldm& b = f.join("bravo");
  typed_terminal at_a(a);
  typed_terminal at_b(b);

  // Refusals leave the local prompt: oneself, and a pattern that names several federates.
  at_a.type("rti connect alpha");
  EXPECT_TRUE(has(at_a.shown, "Cannot connect to this federate itself")) << at_a.shown;
  at_a.type("rti connect a");
  EXPECT_TRUE(has(at_a.shown, "Unable to find federate a")) << at_a.shown;
  EXPECT_EQ(at_a.prompt(), "local> ");

  at_a.type("rti connect ^br");
  EXPECT_EQ(at_a.prompt(), "Remote to bravo>");
  ASSERT_TRUE(f.tick_until([&] { return has(at_a.shown, "Connected to federate"); }, 3000)) << at_a.shown;
  at_b.type("rti connect alpha");
  ASSERT_TRUE(f.tick_until([&] { return has(at_b.shown, "Connected to federate"); }, 3000)) << at_b.shown;
  EXPECT_TRUE(remterm(a).is_controller(b.get_federate_id()) && remterm(b).is_controller(a.get_federate_id()));

  // The command runs at bravo alone, and its output comes back to alpha's terminal once.
  at_a.type("rti debug federation on");
  ASSERT_TRUE(f.tick_until([&] { return has(at_a.shown, "is now ON"); }, 3000)) << at_a.shown;
  EXPECT_TRUE(b.get_debugging_events().is_on("federation"));
  EXPECT_FALSE(a.get_debugging_events().is_on("federation"));
  f.settle(2000);
  EXPECT_EQ(count_of(at_a.shown, "is now ON"), 1u) << at_a.shown;
  EXPECT_LE(count_of(at_b.shown, "is now ON"), 1u) << at_b.shown;

  // A flood reaches the controller cut to the period's share, with a note.
  const std::string flood(40000, 'x');
  std::fwrite(flood.data(), 1, flood.size(), stdout);
  std::fflush(stdout);
  ASSERT_TRUE(f.tick_until([&] { return has(at_a.shown, "bytes of output dropped"); }, 3000));
  EXPECT_GT(remterm(b).get_counters().output_dropped, 0u);

  // exit gives the local prompt back and frees the controller's place at the target.
  at_a.type("exit");
  EXPECT_EQ(at_a.prompt(), "local> ");
  ASSERT_TRUE(f.tick_until([&] { return !remterm(b).is_controller(a.get_federate_id()); }, 3000));
  at_b.type("exit");
  EXPECT_TRUE(f.tick_until([&] { return remterm(a).controller_count() == 0; }, 3000));
}

TEST(RemoteTerminal, ControllersAreBoundedKnownAndEachHasItsOwnContext) {
  stepped_federation f(test_port(port_block::remterm_test, 1));
  test_ldm& target = f.join("target");
  std::vector<test_ldm*> controllers;
  std::vector<std::unique_ptr<typed_terminal>> terminals;
  for (size_t i = 0; i <= remterm_manager::max_controllers; ++i) {
    controllers.push_back(&f.join(("controller" + std::to_string(i)).c_str()));
    terminals.push_back(std::make_unique<typed_terminal>(*controllers.back()));
  }
  const unsigned vehicle = target.get_object_class_handle("Vehicle");
  target.publish_object_class(vehicle, attribute_set({target.get_attribute_handle("Name", vehicle)}));
  target.register_object_instance(vehicle, "mine");

  // A federate whose RID turns remote terminals off refuses every controller.
  test_ldm& closed = f.join("closed", {}, [](std::string& rid) {
    rid.replace(rid.find("(debug_flags"), 0, "(remote_terminal (accept \"off\"))\n    ");
  });
  EXPECT_FALSE(remterm(closed).accepts_controllers());
  EXPECT_TRUE(remterm(target).accepts_controllers());
  terminals[0]->type("rti connect closed");
  EXPECT_TRUE(f.tick_until([&] { return has(terminals[0]->shown, "Disconnected from federate"); }, 3000));
  EXPECT_EQ(terminals[0]->prompt(), "local> ");
  EXPECT_EQ(remterm(closed).get_counters().refused, 1u);

  // A line from a known federate that is not a controller is ignored.
  const unsigned stranger = controllers[0]->get_federate_id();
  brindle::ldm_buf* line = f.received([&](brindle::ldm_buf& buffer) {
    remterm_message{remterm_kind::line, stranger, target.get_federate_id(), "rti debug federation on"}.write(buffer);
  });
  remterm(target).receive(remterm_manager::stream, remterm_manager::priority, line);
  line->release_buf();
  EXPECT_FALSE(target.get_debugging_events().is_on("federation"));
  EXPECT_EQ(remterm(target).get_counters().ignored, 1u);

  // Eight are taken; the ninth is refused and gets its local prompt back.
  for (auto& t : terminals) t->type("rti connect target");
  EXPECT_TRUE(f.tick_until([&] { return has(terminals.back()->shown, "Disconnected from federate"); }, 3000));
  EXPECT_EQ(terminals.back()->prompt(), "local> ");
  EXPECT_EQ(remterm(target).controller_count(), remterm_manager::max_controllers);

  // enable is one controller's own: the other's cleanup is refused, its own goes through.
  terminals[0]->type("rti enable");
  terminals[1]->type("rti cleanup my_objects");
  f.settle(500);
  EXPECT_EQ(target.get_object_count(), 1u);
  terminals[0]->type("rti cleanup my_objects");
  EXPECT_TRUE(f.tick_until([&] { return target.get_object_count() == 0; }, 3000));

  // A controller that resigns is dropped.
  controllers[2]->resign_federation_execution(false, false, false);
  EXPECT_TRUE(f.tick_until([&] { return remterm(target).controller_count() == remterm_manager::max_controllers - 1; }, 3000));

  // The target going gives its controllers their local prompt back.
  target.resign_federation_execution(false, false, false);
  EXPECT_TRUE(f.tick_until([&] { return terminals[0]->prompt() == "local> "; }, 5000));
  EXPECT_TRUE(has(terminals[0]->shown, "the federate is gone")) << terminals[0]->shown;
}

TEST(RemoteTerminal, MessagesAreValidatedAndLinesCleaned) {
  stepped_federation f(test_port(port_block::remterm_test, 2));
  auto read = [&](const std::function<void(brindle::ldm_buf&)>& write) {
    brindle::ldm_buf* buffer = f.received(write);
    remterm_message m;
    try {
      m = remterm_message::read(*buffer);
    } catch (...) {
      buffer->release_buf();
      throw;
    }
    buffer->release_buf();
    return m;
  };
  // Control characters and '?' go, and the line is cut at 1024 bytes.
  const std::string typed = "rti print version\nrti shutdown\t?" + std::string(3000, 'y');
  const remterm_message m = read([&](brindle::ldm_buf& b) { remterm_message{remterm_kind::line, 7, 9, typed}.write(b); });
  EXPECT_EQ(m.text.substr(0, 30), "rti print versionrti shutdowny");
  EXPECT_EQ(m.text.size(), remterm_message::max_line);

  const remterm_message out = read([](brindle::ldm_buf& b) { remterm_message{remterm_kind::output, 7, 0, "ab\n\r"}.write(b); });
  EXPECT_EQ(out.text, "ab\n\r");
  EXPECT_EQ(out.from, 7u);

  EXPECT_THROW(read([](brindle::ldm_buf& b) { b << 7u << 1u << 2u; }), brindle::ldm_decode_error);    // kind
  EXPECT_THROW(read([](brindle::ldm_buf& b) { b << 1u << 0u << 2u; }), brindle::ldm_decode_error);    // handle 0
  EXPECT_THROW(read([](brindle::ldm_buf& b) { b << 6u << 1u << 9000u; }), brindle::ldm_decode_error); // count
  EXPECT_THROW(read([](brindle::ldm_buf& b) { b << 6u << 1u << 100u << 5u; }), brindle::ldm_decode_error);
}

TEST(RemoteTerminalProcesses, AnOperatorControlsAnotherProcessAndAKilledControllerIsDropped) {
  test_rid_options options{.port = test_port(port_block::remterm_process_test, 0), .heartbeat = 1, .join_timeout = 2,
                           .amber = 1, .red = 2, .gone = 4};
  const scoped_rid_file quiet(options);
  options.telnet_port = test_port(port_block::remterm_process_test, 50);
  const scoped_rid_file listening(options);
  federate_process target(FM_FEDERATE, quiet.path(), {"target", "Demo", "60"});
  ASSERT_TRUE(target.wait_for("[target] joined federation Demo")) << target.output();
  federate_process controller(FM_FEDERATE, listening.path(), {"--join-only", "controller", "Demo", "60"});
  ASSERT_TRUE(controller.wait_for("[controller] joined federation Demo")) << controller.output();
  ASSERT_TRUE(target.wait_for("[target] federate joined: controller")) << target.output();

  telnet_session operator_terminal(options.telnet_port);
  ASSERT_TRUE(operator_terminal.connected()) << controller.output();
  operator_terminal.type("rti connect ^tar");
  ASSERT_TRUE(operator_terminal.wait_for("Connected to federate")) << operator_terminal.received;
  EXPECT_TRUE(has(operator_terminal.received, "Remote to target>"));
  operator_terminal.type("rti debug federation on");
  EXPECT_TRUE(operator_terminal.wait_for("DEBUG EVENT federation is now ON")) << operator_terminal.received;
  EXPECT_TRUE(has(target.output(), "DEBUG EVENT federation is now ON"));
  EXPECT_FALSE(has(controller.output(), "DEBUG EVENT"));

  const size_t mark = operator_terminal.received.size();
  operator_terminal.type("exit");
  EXPECT_TRUE(operator_terminal.wait_for("varnel-1.3@", mark)) << operator_terminal.received.substr(mark);
  ASSERT_TRUE(target.wait_for("Disconnection from federate")) << target.output();

  operator_terminal.type("rti connect target");
  ASSERT_TRUE(operator_terminal.wait_for("Connected to federate", mark)) << operator_terminal.received.substr(mark);
  controller.kill_now();
  EXPECT_TRUE(target.wait_for("Dropped remote terminal of federate")) << target.output();
}
