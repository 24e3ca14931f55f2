// The data path across federate processes on the public interface: updates and deletions at
// seeded packet loss, the names of a killed federate, a resign that deletes, and time-stamped
// values of three federates in lockstep. The data federate prints one line per callback; the
// tests read those lines back and check what each federate received.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "federate_process.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

enum case_index : uint16_t {
  updates_at_loss = 0,
  deletions_at_loss = 1,
  killed_names = 2,
  resign_deletes = 3,
  lockstep_lossless = 4,
  lockstep_lossy = 5,
};

// Liveness timeouts long enough that seeded loss of heartbeats never declares a live federate
// gone; the killed-names case shortens them.
test_rid_options scenario_rid(case_index index, double loss = 0) {
  return {.port = test_port(port_block::data_scenarios_test, index),
          .heartbeat = 1,
          .join_timeout = 2,
          .amber = 5,
          .red = 10,
          .gone = 30,
          .loss_probability = loss,
          .loss_seed = 7};
}

bool wait_until(const std::function<bool()>& done, double timeout_s) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The data federate; proceed() ends its next "wait" action once it has started it.
class data_process : public federate_process {
public:
  data_process(const scoped_rid_file& rid, const std::vector<std::string>& args)
      : federate_process(DATA_FEDERATE, rid.path().string(), args), name_(args.at(0)) {}

  void proceed() {
    ++waits_;
    ASSERT_TRUE(wait_until([&] { return count_of(output(), "] waiting\n") >= waits_; }, 30)) << tail();
    kill(pid(), SIGUSR1);
  }
  // The words of each line this federate printed itself, without its "[name] " prefix.
  std::vector<std::vector<std::string>> lines() const {
    std::vector<std::vector<std::string>> all;
    std::istringstream in(output());
    const std::string prefix = "[" + name_ + "] ";
    for (std::string line; std::getline(in, line);) {
      if (line.rfind(prefix, 0) != 0) continue;
      std::istringstream in_line(line.substr(prefix.size()));
      std::vector<std::string> words;
      for (std::string word; in_line >> word;) words.push_back(word);
      if (!words.empty()) all.push_back(std::move(words));
    }
    return all;
  }
  // What the RTI printed into this federate's output besides its banner: nothing, in these
  // scenarios (no warning, no complaint of an internal inconsistency).
  std::string rti_lines() const {
    std::istringstream in(output());
    std::string lines;
    for (std::string line; std::getline(in, line);)
      if (line.rfind("[" + name_ + "] ", 0) != 0 && line.rfind("-- ", 0) != 0) lines += line + "\n";
    return lines;
  }
  size_t count(const std::string& event) const { return count_of(output(), "[" + name_ + "] " + event); }
  std::string tail() const {
    const std::string text = output();
    return text.size() > 3000 ? "..." + text.substr(text.size() - 3000) : text;
  }

private:
  std::string name_;
  size_t waits_ = 0;
};

void expect_clean_exit(data_process& p) {
  EXPECT_EQ(p.wait(30), 0) << p.tail();
  EXPECT_EQ(p.rti_lines(), "");
}

// The object names of the lines of one kind ("discover", "remove"), as often as they occur.
std::multiset<std::string> objects_of(const data_process& p, const std::string& kind) {
  std::multiset<std::string> objects;
  for (const auto& words : p.lines())
    if (words.size() >= 2 && words[0] == kind) objects.insert(words[1]);
  return objects;
}

std::multiset<std::string> numbered(const std::string& owner, int count) {
  std::multiset<std::string> names;
  for (int k = 0; k < count; ++k) names.insert(owner + "." + std::to_string(k));
  return names;
}

// A lost packet costs the reliable transport a NACK round of two to three seconds: each of these
// two takes ten to twenty seconds.
TEST(DataScenario, UpdatesAtLossArriveOnceAndIntactAndReliableOnesInOrder) {
  const scoped_rid_file rid(scenario_rid(updates_at_loss, 0.2));
  data_process bravo(rid, {"bravo", "Updates", "subscribe", "wait"});
  ASSERT_TRUE(bravo.wait_for("[bravo] subscribed\n")) << bravo.tail();
  data_process alpha(rid, {"alpha", "Updates", "publish", "register:100", "update:1000", "wait"});
  // Sequence k goes to object alpha.(k mod 100): the last reliable value names the last object.
  ASSERT_TRUE(bravo.wait_for("[bravo] reflect alpha.99 Name 999 ", 45)) << bravo.tail() << alpha.tail();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // best-effort stragglers, repeats

  std::vector<long> reliable;
  std::set<long> best_effort;
  for (const auto& w : bravo.lines()) {
    if (w[0] != "reflect") continue;
    ASSERT_EQ(w.size(), 5u);
    const long seq = std::stol(w[3]);
    EXPECT_EQ(w[4], "ok") << "damaged value of " << w[2] << " " << seq;
    EXPECT_EQ(w[1], "alpha." + std::to_string(seq % 100)) << "sequence " << seq << " reflected on another object";
    if (w[2] == "Name") reliable.push_back(seq);
    if (w[2] == "Position") {
      EXPECT_TRUE(best_effort.insert(seq).second) << "best-effort " << seq << " twice";
    }
  }
  std::vector<long> all(1000);
  for (long k = 0; k < 1000; ++k) all[k] = k;
  EXPECT_EQ(reliable, all) << "reliable values missing, repeated or out of order";
  // Loss drops whole bundles of best-effort values, yet most come through.
  EXPECT_GT(best_effort.size(), 500u);
  EXPECT_EQ(objects_of(bravo, "discover"), numbered("alpha", 100));
  alpha.proceed();
  bravo.proceed();
  expect_clean_exit(alpha);
  expect_clean_exit(bravo);
}

TEST(DataScenario, DeletionsAtLossAllReachTheSubscriber) {
  const scoped_rid_file rid(scenario_rid(deletions_at_loss, 0.2));
  data_process bravo(rid, {"bravo", "Deletions", "subscribe", "publish", "wait", "claim:alpha:100"});
  ASSERT_TRUE(bravo.wait_for("[bravo] subscribed\n")) << bravo.tail();
  // One reliable update per object: announcements alone may all be lost.
  data_process alpha(rid, {"alpha", "Deletions", "publish", "register:100", "update:100", "wait", "delete", "wait"});
  ASSERT_TRUE(bravo.wait_for("[bravo] reflect alpha.99 Name 99 ", 30)) << bravo.tail() << alpha.tail();
  EXPECT_EQ(objects_of(bravo, "discover"), numbered("alpha", 100));

  alpha.proceed();
  ASSERT_TRUE(wait_until([&] { return bravo.count("remove ") >= 100; }, 30)) << bravo.tail() << alpha.tail();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a repeated removal would show now
  EXPECT_EQ(objects_of(bravo, "remove"), numbered("alpha", 100));
  // A deleted object's name is free again for whoever received the deletion.
  bravo.proceed();
  expect_clean_exit(bravo);
  std::multiset<std::string> claimed;
  for (const auto& w : bravo.lines())
    if (w[0] == "claim" && w.size() == 3 && w[2] == "ok") claimed.insert(w[1]);
  EXPECT_EQ(claimed, numbered("alpha", 100)) << bravo.tail();
  alpha.proceed();
  expect_clean_exit(alpha);
}

TEST(DataScenario, AKilledFederatesNamesAreFreeOnceItIsGone) {
  test_rid_options options = scenario_rid(killed_names);
  options.amber = 1, options.red = 2, options.gone = 3;
  const scoped_rid_file rid(options);
  // charlie publishes but never subscribes: it knows alpha's names only from their announcement.
  data_process charlie(rid, {"charlie", "Names", "publish", "wait", "claim:alpha:5", "wait", "claim:alpha:5"});
  ASSERT_TRUE(charlie.wait_for("[charlie] waiting\n")) << charlie.tail();
  data_process alpha(rid, {"alpha", "Names", "publish", "register:5", "wait"});
  ASSERT_TRUE(alpha.wait_for("[alpha] waiting\n")) << alpha.tail();
  std::this_thread::sleep_for(std::chrono::seconds(1));

  charlie.proceed();
  ASSERT_TRUE(wait_until([&] { return charlie.count("claim ") >= 5; }, 10)) << charlie.tail();
  for (int k = 0; k < 5; ++k)
    EXPECT_EQ(charlie.count("claim alpha." + std::to_string(k) + " ObjectAlreadyRegistered\n"), 1u) << charlie.tail();

  alpha.kill_now();
  std::this_thread::sleep_for(std::chrono::seconds(5));  // gone after 3 s of silence
  charlie.proceed();
  expect_clean_exit(charlie);
  for (int k = 0; k < 5; ++k) EXPECT_EQ(charlie.count("claim alpha." + std::to_string(k) + " ok\n"), 1u) << charlie.tail();
}

TEST(DataScenario, AResignThatDeletesRemovesTheResignersObjectsAtTheOthers) {
  const scoped_rid_file rid(scenario_rid(resign_deletes));
  data_process bravo(rid, {"bravo", "Resign", "subscribe", "wait"});
  ASSERT_TRUE(bravo.wait_for("[bravo] subscribed\n")) << bravo.tail();
  data_process alpha(rid, {"alpha", "Resign", "publish", "register:10", "wait", "resign:DELETE_OBJECTS"});
  data_process delta(
      rid, {"delta", "Resign", "publish", "register:10", "wait", "resign:DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES"});
  ASSERT_TRUE(wait_until([&] { return bravo.count("discover ") >= 20; }, 20)) << bravo.tail();

  alpha.proceed();
  delta.proceed();
  expect_clean_exit(alpha);
  expect_clean_exit(delta);
  ASSERT_TRUE(wait_until([&] { return bravo.count("remove ") >= 20; }, 10)) << bravo.tail();
  std::multiset<std::string> expected = numbered("alpha", 10);
  expected.merge(numbered("delta", 10));
  EXPECT_EQ(objects_of(bravo, "discover"), expected);
  EXPECT_EQ(objects_of(bravo, "remove"), expected);
  bravo.proceed();
  expect_clean_exit(bravo);
}

// Three regulating and constrained federates in lockstep, each sending at every step a
// time-stamped Collision and update of Load at its time plus the lookahead. Each receiver must
// get every one of the others' values once, intact, in time-stamp order, after the grant
// before its time and before the grant of its time.
void expect_lockstep(case_index index, double loss, long steps) {
  const scoped_rid_file rid(scenario_rid(index, loss));
  const std::vector<std::string> names = {"alpha", "bravo", "charlie"};
  std::vector<std::unique_ptr<data_process>> federates;
  for (const std::string& name : names)
    federates.push_back(std::make_unique<data_process>(
        rid, std::vector<std::string>{name, "Lockstep", "publish", "subscribe", "time", "register:1", "hello:2",
                                      "lockstep:" + std::to_string(steps), "wait"}));
  const std::string last = "grant " + std::to_string(steps) + "\n";
  for (auto& f : federates) ASSERT_TRUE(wait_until([&] { return f->count(last) == 1; }, 50)) << f->tail();
  for (auto& f : federates) f->proceed();

  for (size_t i = 0; i < federates.size(); ++i) {
    data_process& f = *federates[i];
    expect_clean_exit(f);
    double granted = 0, requested = -1, latest = 0;
    std::map<std::tuple<std::string, std::string, long>, int> received;  // sender, kind, sequence
    for (const auto& w : f.lines()) {
      if (w[0] == "request") requested = std::stod(w[1]);
      if (w[0] == "grant") granted = std::stod(w[1]), requested = -1;
      const bool update = w[0] == "reflect" && w.size() == 6 && w[2] == "Load";
      if (!update && !(w[0] == "interaction" && w.size() == 5)) continue;
      const std::string sender = update ? w[1].substr(0, w[1].find('.')) : w[1];
      const long seq = std::stol(w[update ? 3 : 2]);
      const double time = std::stod(w.back());
      EXPECT_EQ(w[w.size() - 2], "ok") << names[i] << ": damaged value from " << sender;
      EXPECT_EQ(time, seq) << names[i] << ": " << sender << "'s value " << seq << " with another time";
      EXPECT_GT(time, granted) << names[i] << ": " << w[0] << " at " << time << " after the grant of " << granted;
      EXPECT_LE(time, requested) << names[i] << ": " << w[0] << " at " << time << " beyond the request";
      EXPECT_GE(time, latest) << names[i] << ": " << w[0] << " at " << time << " after one at " << latest;
      latest = std::max(latest, time);
      ++received[{sender, w[0], seq}];
    }
    std::map<std::tuple<std::string, std::string, long>, int> expected;
    for (const std::string& sender : names)
      for (long seq = 1; sender != names[i] && seq <= steps; ++seq)
        expected[{sender, "reflect", seq}] = expected[{sender, "interaction", seq}] = 1;
    EXPECT_EQ(received, expected) << names[i] << " missed or repeated time-stamped values";
  }
}

TEST(DataScenario, LockstepDeliversEveryTimeStampedValueOnceBetweenItsGrants) {
  expect_lockstep(lockstep_lossless, 0, 100);
}

// A lost time state holds all three until a NACK round recovers it: fewer steps.
TEST(DataScenario, LockstepAtLossDeliversEveryTimeStampedValueOnceBetweenItsGrants) {
  expect_lockstep(lockstep_lossy, 0.1, 25);
}

}  // namespace
