// Attribute ownership across federate processes on the public interface: three federates pass
// every attribute of ten vehicles around at seeded packet loss until two hundred transfers are
// done, and at the end every attribute has exactly one owner; and a vehicle whose owner is killed
// is taken over by exactly one survivor, whose updates then reach the other.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

enum case_index : uint16_t { transfers_at_loss = 0, failover = 1 };

bool wait_until(const std::function<bool()>& done, double timeout_s) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

class own_process : public federate_process {
public:
  own_process(const scoped_rid_file& rid, const std::string& name, std::vector<std::string> words)
      : federate_process(OWN_FEDERATE, rid.path().string(), with_name(name, std::move(words))), name_(name) {}

  size_t count(const std::string& event) const { return count_of(output(), "[" + name_ + "] " + event); }
  bool saw(const std::string& event, double timeout_s = 30) const {
    return wait_for("[" + name_ + "] " + event + "\n", timeout_s);
  }
  void signal() const { kill(pid(), SIGUSR1); }
  // The (object, attribute) pairs of the final report.
  std::vector<std::string> owned() const {
    std::vector<std::string> pairs;
    std::istringstream in(output());
    const std::string prefix = "[" + name_ + "] owns ";
    for (std::string line; std::getline(in, line);)
      if (line.rfind(prefix, 0) == 0) pairs.push_back(line.substr(prefix.size()));
    return pairs;
  }
  std::string tail() const {
    const std::string text = output();
    return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
  }

private:
  static std::vector<std::string> with_name(const std::string& name, std::vector<std::string> words) {
    words.insert(words.begin(), {name, "Owners"});
    return words;
  }
  std::string name_;
};

// Every process stops passing on, then reports what it owns and resigns.
void stop_and_report(std::vector<own_process*> processes) {
  for (own_process* p : processes) p->signal();
  for (own_process* p : processes) ASSERT_TRUE(p->saw("stopped", 10)) << p->tail();
  // A take and its answer may each wait for a lost message to be asked for again (two to three
  // seconds a round, more when the resend is lost too, and longer on a loaded machine).
  std::this_thread::sleep_for(std::chrono::seconds(30));
  for (own_process* p : processes) p->signal();
  for (own_process* p : processes) EXPECT_EQ(p->wait(30), 0) << p->tail();
}

// A lost message costs a NACK round of two to three seconds: the transfers take thirty to fifty
// seconds, the quiet end fifteen.
TEST(OwnershipScenario, TwoHundredTransfersAtLossLeaveEveryAttributeWithOneOwner) {
  const scoped_rid_file rid({.port = test_port(port_block::ownership_scenarios_test, transfers_at_loss),
                             .heartbeat = 1, .join_timeout = 2, .amber = 5, .red = 10, .gone = 30,
                             .loss_probability = 0.2, .loss_seed = 5});
  own_process bravo(rid, "bravo", {});
  own_process charlie(rid, "charlie", {});
  ASSERT_TRUE(bravo.saw("joined")) << bravo.tail();
  ASSERT_TRUE(charlie.saw("joined")) << charlie.tail();
  own_process alpha(rid, "alpha", {"register:30"});
  const std::vector<own_process*> all{&alpha, &bravo, &charlie};
  const auto transfers = [&] { return alpha.count("gained ") + bravo.count("gained ") + charlie.count("gained "); };
  ASSERT_TRUE(wait_until([&] { return transfers() >= 200; }, 90))
      << transfers() << " transfers\n" << alpha.tail() << bravo.tail() << charlie.tail();
  stop_and_report(all);

  std::map<std::string, int> owners;
  for (own_process* p : all)
    for (const std::string& pair : p->owned()) ++owners[pair];
  EXPECT_EQ(owners.size(), 90u) << "thirty vehicles of three attributes";
  for (const auto& [pair, count] : owners) EXPECT_EQ(count, 1) << pair;

}

TEST(OwnershipScenario, AKilledOwnersVehicleIsTakenOverByExactlyOneSurvivor) {
  test_rid_options options{.port = test_port(port_block::ownership_scenarios_test, failover), .heartbeat = 1,
                           .join_timeout = 2, .amber = 5, .red = 10, .gone = 30};
  options.extra_transports =
      "(heartbeat (type \"minimum_rate\") (suppress_dups false) (implicit_transfer true) (failure_transfer true) "
      "(heartbeat_interval 500) (timeout_time 1000) (heartbeat_priority 0x10) (change_priority 0x30))";
  std::string text = test_rid_text(options);
  const std::string section = "(federate_parameters\n";
  text.insert(text.find(section) + section.size(),
              "    (ownership (query_timeout 5000) (failover_claim_window 2000) (takeover_delay 1000) "
              "(takeover_spread 1000))\n");
  const scoped_rid_file rid(text);
  own_process bravo(rid, "bravo", {"hold"});
  own_process charlie(rid, "charlie", {"hold"});
  ASSERT_TRUE(bravo.saw("joined")) << bravo.tail();
  ASSERT_TRUE(charlie.saw("joined")) << charlie.tail();
  own_process alpha(rid, "alpha", {"register:1", "heartbeat"});
  ASSERT_TRUE(bravo.saw("reflect o0 2 alpha")) << bravo.tail();
  ASSERT_TRUE(charlie.saw("reflect o0 2 alpha")) << charlie.tail();

  alpha.kill_now();
  ASSERT_TRUE(wait_until([&] { return bravo.count("gained o0") + charlie.count("gained o0") > 0; }, 20))
      << bravo.tail() << charlie.tail();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  EXPECT_EQ(bravo.count("gained o0") + charlie.count("gained o0"), 1u) << bravo.tail() << charlie.tail();
  own_process& heir = bravo.count("gained o0") ? bravo : charlie;
  own_process& other = bravo.count("gained o0") ? charlie : bravo;
  EXPECT_GE(heir.count("provide o0"), 1u);
  const std::string heir_name = &heir == &bravo ? "bravo" : "charlie";
  EXPECT_TRUE(other.saw("reflect o0 2 " + heir_name, 10)) << other.tail();
  stop_and_report({&bravo, &charlie});
}

}  // namespace
