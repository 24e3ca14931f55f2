// The console's commands typed into a terminal's parse context against federates on a stepped
// clock: what the command tree prints and does, the dangerous commands after `enable` on that
// terminal alone, log file names from a network terminal, and the console passing to another
// federate when its owner resigns.
#include "console/command_tree.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "console/ping.h"
#include "console/vterm_manager.h"
#include "fed/fed.h"
#include "frame/debugging_events.h"
#include "parser.h"
#include "stepped_federation.h"
#include "test_ports.h"

using namespace varnel;

namespace {

// A terminal on a federate whose output the test reads.
class typed_terminal {
public:
  typed_terminal(local_distribution_manager& ldm, bool from_network)
      : terminal_(ldm, [this](const char* bytes, size_t length) { shown.append(bytes, length); }, from_network) {
    terminal_.start("test> ");
  }
  // Types the line and returns what it printed.
  std::string type(const std::string& line) {
    shown.clear();
    for (char key : line + "\n") parser::ParseKeypress(terminal_, static_cast<unsigned char>(key));
    return shown;
  }

  std::string shown;

private:
  console_terminal terminal_;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(Console, CommandsActOnTheFederation) {
  stepped_federation f(test_port(port_block::console_test, 0));
  test_ldm& a = f.join("alpha");
  test_ldm& b = f.join("bravo");
  typed_terminal t(a, true);

  EXPECT_TRUE(has(t.type("rti print version"), a.get_version_banner()));
  const std::string federates = t.type("rti pr fed");
  EXPECT_TRUE(has(federates, "alpha") && has(federates, "bravo")) << federates;
  EXPECT_TRUE(has(t.type("rti print uptime"), "Uptime: "));

  // Synchronization points: registered from the console, listed, forced.
  t.type("rti sync register ready");
  ASSERT_TRUE(f.wait_for(b, "announceSynchronizationPoint"));
  EXPECT_TRUE(has(t.type("rti print syncpoints"), "ready"));
  t.type("rti sync force ready");
  EXPECT_TRUE(f.wait_for(b, "federationSynchronized"));

  // Objects: bravo's car is discovered by alpha; a flush forgets it at alpha alone.
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  const unsigned car = a.get_object_class_handle("Vehicle.Car");
  const unsigned name = a.get_attribute_handle("Name", vehicle);
  a.subscribe_object_class_attributes(vehicle, attribute_set({name}), true);
  b.publish_object_class(car, attribute_set({name}));
  b.register_object_instance(car, "herbie");
  ASSERT_TRUE(f.wait_for(a, "discoverObjectInstance"));
  EXPECT_TRUE(has(t.type("rti print all_objects by_class"), "herbie class Vehicle"));
  EXPECT_TRUE(has(t.type("rti print object herbie"), "Object "));
  EXPECT_TRUE(has(t.type("rti flush all_remotes"), "Flushed 1 objects"));
  EXPECT_TRUE(f.wait_for(a, "removeObjectInstance"));
  EXPECT_NE(b.get_object_instance_handle("herbie"), invalid_handle);

  // Dynamic tables: the FED's classes and the debugging events.
  EXPECT_TRUE(has(t.type("rti print class Vehicle.Car"), "Class "));
  EXPECT_TRUE(has(t.type("rti print class ?"), "Vehicle.Car"));
  EXPECT_TRUE(has(t.type("rti debug federation on"), ""));
  EXPECT_TRUE(a.get_debugging_events().is_on("federation"));
  t.type("rti debug federation off");
  EXPECT_FALSE(a.get_debugging_events().is_on("federation"));

  // Ping and connect: a period below a second is raised, an idle stop, an unknown federate.
  EXPECT_TRUE(has(t.type("rti ping federate bravo 2 10"), "Pinging federate " + std::to_string(b.get_federate_id()) +
                                                             " (bravo) : 2 x 1000ms"));
  EXPECT_TRUE(a.get_ping()->is_pinging());
  t.type("rti ping stop");
  EXPECT_TRUE(has(t.type("rti ping stop"), "No ping in progress."));
  EXPECT_TRUE(has(t.type("rti connect nobody"), "Unable to find federate nobody"));
}

TEST(Console, CleanupOnlyAfterEnableOnThatTerminal) {
  stepped_federation f(test_port(port_block::console_test, 1));
  test_ldm& a = f.join("alpha");
  test_ldm& b = f.join("bravo");
  typed_terminal first(a, true);
  typed_terminal second(a, true);
  const unsigned vehicle = a.get_object_class_handle("Vehicle");
  const unsigned car = a.get_object_class_handle("Vehicle.Car");
  const unsigned name = a.get_attribute_handle("Name", vehicle);
  b.subscribe_object_class_attributes(vehicle, attribute_set({name}), true);
  a.publish_object_class(car, attribute_set({name}));
  a.register_object_instance(car, "mine");
  ASSERT_TRUE(f.wait_for(b, "discoverObjectInstance"));

  EXPECT_TRUE(has(first.type("rti cleanup my_objects"), "% Unknown command"));
  first.type("rti enable");
  EXPECT_TRUE(has(second.type("rti cleanup my_objects"), "% Unknown command"));
  EXPECT_TRUE(has(first.type("rti cleanup my_objects"), "Deleted 1 objects"));
  EXPECT_TRUE(f.wait_for(b, "removeObjectInstance"));
  EXPECT_EQ(a.get_object_count(), 0u);
}

TEST(Console, NetworkTerminalsNamePlainLogFilesOnly) {
  stepped_federation f(test_port(port_block::console_test, 2));
  test_ldm& a = f.join("alpha");
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("console_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir / "work");
  const std::filesystem::path was = std::filesystem::current_path();
  std::filesystem::current_path(dir / "work");
  std::filesystem::create_symlink(dir / "target", dir / "work" / "link.log");
  typed_terminal network(a, true);
  typed_terminal keyboard(a, false);

  for (const char* bad : {"../x", "/tmp/x", ".hidden"})
    EXPECT_TRUE(has(network.type(std::string("rti debug federation on ") + bad), "must be a plain name")) << bad;
  EXPECT_FALSE(a.get_debugging_events().is_on("federation"));
  EXPECT_FALSE(std::filesystem::exists(dir / "x"));

  // A link is not followed: the event writes into a failed stream, and the target stays absent.
  network.type("rti debug federation on link.log");
  EXPECT_FALSE(std::filesystem::exists(dir / "target"));
  network.type("rti debug federation off");
  network.type("rti debug federation on plain.log");
  EXPECT_TRUE(std::filesystem::exists(dir / "work" / "plain.log"));
  network.type("rti debug federation off");

  // The local keyboard may name any path.
  keyboard.type("rti debug federation on ../x");
  EXPECT_TRUE(std::filesystem::exists(dir / "x"));
  keyboard.type("rti debug federation off");

  std::filesystem::current_path(was);
  std::filesystem::remove_all(dir);
}

TEST(Console, PassesToTheOldestRemainingFederateWhenItsOwnerResigns) {
  stepped_federation f(test_port(port_block::console_test, 3));
  test_rid_options options;
  options.telnet_port = test_port(port_block::console_test, 50);
  test_ldm& a = f.join("alpha", options);
  test_ldm& b = f.join("bravo", options);
  test_ldm& c = f.join("charlie", options);
  ASSERT_TRUE(a.get_vterm_manager()->owns_console());
  EXPECT_EQ(a.get_vterm_manager()->port(), options.telnet_port);
  EXPECT_FALSE(b.get_vterm_manager()->owns_console());
  EXPECT_EQ(b.get_vterm_manager()->port(), 0);  // one port per process

  a.resign_federation_execution(false, false, false);
  f.settle(200);
  EXPECT_TRUE(b.get_vterm_manager()->owns_console());
  EXPECT_EQ(b.get_vterm_manager()->port(), options.telnet_port);  // opened again, the same port
  EXPECT_FALSE(c.get_vterm_manager()->owns_console());

  // With none left, the next federate to join takes it.
  b.resign_federation_execution(false, false, false);
  c.resign_federation_execution(false, false, false);
  f.settle(100);
  a.join_federation_execution("alpha", "Roads");
  EXPECT_TRUE(a.get_vterm_manager()->owns_console());
  EXPECT_EQ(a.get_vterm_manager()->port(), options.telnet_port);
}

}  // namespace
