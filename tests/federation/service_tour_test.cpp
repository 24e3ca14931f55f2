// Every service of the public interface across two federate processes (tour_federate): what
// each federate received, in what order where order matters, and the refusals of save and
// restore. tests/federation/README.md maps each service to the test that calls it.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

enum case_index : uint16_t { tour_case = 0 };

class tour_process : public federate_process {
public:
  tour_process(const scoped_rid_file& rid, const std::string& name)
      : federate_process(TOUR_FEDERATE, rid.path().string(), {name, "Tour"}), name_(name) {}

  // The output once the process has ended, every line without its "[name] " prefix.
  std::string lines() const {
    std::string text = output(), prefix = "[" + name_ + "] ", plain;
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(at, end - at);
      plain.append(line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line).append("\n");
      at = end + 1;
    }
    return plain;
  }

private:
  std::string name_;
};

// Whether every line occurs in text, each after the one before.
::testing::AssertionResult in_order(const std::string& text, std::initializer_list<std::string> lines) {
  size_t from = 0;
  for (const std::string& line : lines) {
    const size_t at = text.find("\n" + line + "\n", from);
    if (at == std::string::npos) return ::testing::AssertionFailure() << "no \"" << line << "\" in its place";
    from = at + line.size() + 1;
  }
  return ::testing::AssertionSuccess();
}

// The word after "marker " in text, up to the end of its line.
std::string after(const std::string& text, const std::string& marker) {
  const size_t at = text.find(marker);
  if (at == std::string::npos) return "";
  const size_t start = at + marker.size();
  return text.substr(start, text.find_first_of(" \n", start) - start);
}

TEST(ServiceTour, TwoFederatesCallEveryService) {
  const scoped_rid_file rid(test_rid_options{.port = test_port(port_block::service_tour_test, tour_case),
                                             .heartbeat = 1, .join_timeout = 2, .amber = 5, .red = 10, .gone = 20});
  tour_process alpha(rid, "alpha");
  ASSERT_TRUE(alpha.wait_for("[alpha] joined as handle ")) << alpha.output();
  tour_process bravo(rid, "bravo");
  ASSERT_EQ(bravo.wait(150), 0) << bravo.output();
  ASSERT_EQ(alpha.wait(60), 0) << alpha.output();
  const std::string a = "\n" + alpha.lines(), b = "\n" + bravo.lines();
  const std::string two = after(a, "\nregistered HLA/");
  ASSERT_FALSE(two.empty()) << a;
  const std::string second = "HLA/" + two;

  // Save and restore are refused in both federates of the federation, each by its own name.
  for (const std::string* text : {&a, &b}) {
    for (const char* service : {"requestFederationSave", "federateSaveBegun", "federateSaveComplete",
                                "federateSaveNotComplete", "requestFederationRestore", "federateRestoreComplete",
                                "federateRestoreNotComplete"})
      EXPECT_TRUE(has(*text, std::string("\n") + service + " refused: RTIinternalError (Method " + service +
                                 " is not implemented)\n"))
          << service << *text;
    EXPECT_TRUE(has(*text, "\nrequestFederationSave at a time refused: RTIinternalError (Method "
                           "requestFederationSave is not implemented)\n"));
  }

  // Creation, lookups of the routing space, management objects.
  EXPECT_TRUE(has(b, "\ncreateFederationExecution refused: FederationExecutionAlreadyExists (Found existing "
                     "federation Tour)\n"));
  for (const std::string* text : {&a, &b}) {
    EXPECT_TRUE(has(*text, "\nspace Sea dimension Y handle 1\n")) << *text;
    EXPECT_TRUE(has(*text, "\nPosition routed in space 0, Name in 4294967295, Hail in 0, Order in 4294967295; "
                           "Sea is 0\n"));
  }
  EXPECT_EQ(count_of(a, "\nremove management object HLA_MOM_"), 2u) << a;

  // Advisories: each once, none after its switch went off.
  EXPECT_EQ(count_of(a, "\nstart registration Ship\n"), 1u) << a;
  EXPECT_EQ(count_of(a, "\nturn interactions on Order\n"), 1u);
  EXPECT_EQ(count_of(a, "\nturn interactions on Hail\n"), 1u);
  EXPECT_EQ(count_of(a, "\nturn updates on "), 1u);
  EXPECT_TRUE(has(a, "\nturn updates on Ship.one Name Position Cargo\n"));

  // Objects: values, queries answered by the owner, a local delete undone by the next update.
  EXPECT_TRUE(in_order(b, {"discover Ship.one Ship", "reflect Ship.one Name one", "reflect Ship.one Cargo coal",
                           "receive Order hello", "class of Ship.one is Ship", "reflect Ship.one Cargo provided",
                           "reflect " + second + " Name provided",
                           "getObjectInstanceName after the local delete refused: ObjectNotKnown (Unknown object "
                           "4 in getObjectInstanceName)",
                           "discover " + second + " Ship", "reflect " + second + " Name again"}))
      << b;
  EXPECT_TRUE(has(a, "\nprovide Ship.one Name Position Cargo\n"));

  // Ownership, both sides of each exchange.
  EXPECT_TRUE(in_order(a, {"divested Ship.one Cargo", "owner Ship.one Cargo bravo", "owns Ship.one Cargo: no",
                           "acquired Ship.one Cargo", "release request Ship.one Name want",
                           "attributeOwnershipReleaseResponse after the cancellation refused: "
                           "FederateWasNotAskedToReleaseAttribute (No matching requst for object 3)",
                           "not owned " + second + " Cargo", "owner " + second + " Cargo bravo"}))
      << a;
  EXPECT_TRUE(in_order(b, {"assumption Ship.one Cargo offer", "acquired Ship.one Cargo", "owns Ship.one Cargo: yes",
                           "owner Ship.one Name alpha", "release request Ship.one Cargo back",
                           "released Ship.one Cargo", "assumption Ship.one Cargo maybe", "unavailable Ship.one Cargo",
                           "acquisition cancelled Ship.one Name", "assumption " + second + " Cargo ",
                           "acquired " + second + " Cargo"}))
      << b;

  // Time: events in time-stamp order between grants; the retracted six never arrives, the
  // flushed late one is asked back. Order and transport changes show in what arrives: Order
  // time-stamped and best effort, then reliable again; bravo's Cargo time-stamped, best effort.
  const std::string serial = after(a, "\nretracted ");
  EXPECT_TRUE(in_order(b, {"regulating 0", "constrained 0", "lookahead 2", "receive Order five at 5 best_effort",
                           "grant 5", "reflect Ship.one Name seven at 7 reliable", "grant 7",
                           "remove Ship.one sunk at 8", "grant 20",
                           "receive Order late at 25 reliable", "grant 22", "retraction " + serial,
                           "time 22 lbts 22 next event 22"}))
      << b;
  EXPECT_FALSE(has(b, "six")) << b;
  EXPECT_TRUE(in_order(a, {"lookahead 2", "reflect " + second + " Cargo tin at 9 best_effort", "grant 20"})) << a;

  // Regions: only what overlaps bravo's region reaches it.
  EXPECT_TRUE(has(a, "\nregion of the token is west\n"));
  EXPECT_TRUE(in_order(b, {"discover Ship.west Ship", "reflect Ship.west Position west",
                           "reflect Ship.west Position back west", "receive Hail west", "receive Hail west again",
                           "reflect Ship.west Position provided", "remove Ship.west scrapped"}))
      << b;
  for (const char* unheard : {"Position moved east", "Position east", "receive Hail east"})
    EXPECT_FALSE(has(b, unheard)) << unheard << b;

  EXPECT_TRUE(in_order(b, {"resigned", "destroyFederationExecution refused: FederatesCurrentlyJoined (Federation "
                                       "Tour has federates; could not destroy)",
                           "done"}));
  EXPECT_TRUE(in_order(a, {"resigned", "destroyed", "done"}));
}

}  // namespace
