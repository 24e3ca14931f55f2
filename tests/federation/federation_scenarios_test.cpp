// Federations of separate federate processes on this host: each test starts the example
// federate several times on its own port and asserts on what every process printed and on how
// it ended.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_ports.h"

namespace {

const char* const demo_fed = EXAMPLES_DIR "/demo.fed";
const char* const training_fed = EXAMPLES_DIR "/training.fed";

// A RID with the test's port and short waits; bundle_timeout is part of the federation's RID
// checksum, so a different value makes a mismatching federate.
std::string write_rid(uint16_t index, int bundle_timeout = 20, int gone = 4) {
  char text[2048];
  std::snprintf(text, sizeof text,
                "(rti (version D22)\n"
                "  (federation_parameters\n"
                "    (connectivity_providers (multicast MULTICAST_PATH\n"
                "      (packet_size 1448) (ratelimit_max_mbps 75.0) (fragment_timeout 1000)\n"
                "      (bundle_timeout %d) (bundle_flush_threshold 128) (socket_poll_interval 10)\n"
                "      (base_address \"224.22.0.0\") (port %u) (ttl 0)))\n"
                "    (federation (heartbeat_interval 1) (join_timeout 2) (federate_amber_timeout 1)\n"
                "      (federate_red_timeout 2) (federate_gone_timeout %d)))\n"
                "  (federate_parameters\n"
                "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
                "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 512)\n"
                "      (send_buffer_size 512) (connectivity_map) (spawn_router false))))\n",
                bundle_timeout, static_cast<unsigned>(test_port(port_block::federation, index)), gone);
  const auto path = std::filesystem::temp_directory_path() /
                    ("scenario_" + std::to_string(getpid()) + "_" + std::to_string(index) + "_" +
                     std::to_string(bundle_timeout) + ".rid");
  std::ofstream(path) << text;
  return path.string();
}

// One federate process; its standard output and error go to one file.
class federate_process {
public:
  federate_process(const std::string& rid, std::vector<std::string> args) {
    static int serial = 0;
    output_ = (std::filesystem::temp_directory_path() /
               ("scenario_" + std::to_string(getpid()) + "_" + std::to_string(serial++) + ".out"))
                  .string();
    pid_ = fork();
    if (pid_ == 0) {
      FILE* out = std::fopen(output_.c_str(), "w");
      if (!out) _exit(3);
      dup2(fileno(out), 1);
      dup2(fileno(out), 2);
      setenv("RTI_RID_FILE", rid.c_str(), 1);
      std::vector<char*> argv{const_cast<char*>(FEDERATE_DEMO)};
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(FEDERATE_DEMO, argv.data());
      _exit(4);
    }
  }
  ~federate_process() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(output_);
  }
  federate_process(const federate_process&) = delete;
  federate_process& operator=(const federate_process&) = delete;

  // The exit status, or -1 when it ended by a signal or did not end within timeout_s.
  int wait(double timeout_s = 60) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (!done_ && std::chrono::steady_clock::now() < end) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        done_ = true;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done_ ? status_ : -1;
  }
  void kill_now() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    done_ = true;
  }
  std::string output() const {
    std::ifstream in(output_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Waits until the output holds text; false after the timeout.
  bool wait_for(const std::string& text, double timeout_s = 30) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout_s);
    while (std::chrono::steady_clock::now() < end) {
      if (output().find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

private:
  std::string output_;
  pid_t pid_ = -1;
  bool done_ = false;
  int status_ = -1;
};

size_t count_of(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

TEST(FederationScenario, CreateJoinResignDestroyAcrossProcesses) {
  const std::string rid = write_rid(0);
  federate_process alpha(rid, {"alpha", "Demo", "5"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  federate_process bravo(rid, {"--join-only", "bravo", "Demo", "1"});
  federate_process charlie(rid, {"charlie", "Demo", "1"});
  federate_process lost(rid, {"--join-only", "delta", "Nowhere", "1"});
  EXPECT_EQ(bravo.wait(), 0) << bravo.output();
  EXPECT_EQ(charlie.wait(), 0) << charlie.output();
  EXPECT_EQ(lost.wait(), 1);
  EXPECT_TRUE(has(lost.output(), "[delta] refused: Can't find federation Nowhere")) << lost.output();
  EXPECT_TRUE(has(charlie.output(), "[charlie] federation Demo exists already")) << charlie.output();
  // The last to leave of those two cannot destroy: alpha is still there.
  EXPECT_TRUE(has(bravo.output(), "left the federation to the others: Federation Demo has federates; could not destroy"))
      << bravo.output();
  EXPECT_EQ(alpha.wait(), 0);
  const std::string a = alpha.output();
  EXPECT_TRUE(has(a, "[alpha] federate joined: bravo")) << a;
  EXPECT_TRUE(has(a, "[alpha] federate joined: charlie"));
  EXPECT_TRUE(has(a, "[alpha] federate gone: bravo"));
  EXPECT_TRUE(has(a, "[alpha] federate gone: charlie"));
  EXPECT_TRUE(has(a, "[alpha] destroyed federation Demo"));
  // bravo learnt of alpha from its heartbeats before it joined.
  EXPECT_TRUE(has(bravo.output(), "alpha")) << bravo.output();
}

TEST(FederationScenario, SimultaneousCreatesOfOneNameFormOneFederation) {
  const std::string rid = write_rid(1);
  federate_process alpha(rid, {"alpha", "Twin", "3"});
  federate_process bravo(rid, {"bravo", "Twin", "3"});
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_EQ(bravo.wait(), 0);
  EXPECT_TRUE(has(alpha.output(), "[alpha] created federation Twin")) << alpha.output();
  EXPECT_TRUE(has(bravo.output(), "[bravo] created federation Twin")) << bravo.output();
  EXPECT_TRUE(has(alpha.output(), "[alpha] federate joined: bravo"));
  EXPECT_TRUE(has(bravo.output(), "[bravo] federate joined: alpha"));
}

TEST(FederationScenario, KilledFederateGoesAmberRedGoneOnTheOthers) {
  const std::string rid = write_rid(2, 20, 3);
  federate_process alpha(rid, {"--trace", "alpha", "Demo", "12"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  federate_process observer(rid, {"--join-only", "--trace", "echo", "Demo", "12"});
  federate_process victim(rid, {"--join-only", "bravo", "Demo", "30"});
  ASSERT_TRUE(alpha.wait_for("[alpha] federate joined: bravo"));
  ASSERT_TRUE(observer.wait_for("[echo] federate joined: bravo")) << observer.output();
  victim.kill_now();
  ASSERT_TRUE(alpha.wait_for("[alpha] federate gone: bravo", 20)) << alpha.output();
  ASSERT_TRUE(observer.wait_for("[echo] federate gone: bravo", 20)) << observer.output();
  for (const federate_process* p : {&alpha, &observer}) {
    const std::string out = p->output();
    EXPECT_EQ(count_of(out, "Federate Amber: bravo"), 1u) << out;
    EXPECT_EQ(count_of(out, "Federate Red: bravo"), 1u);
    EXPECT_EQ(count_of(out, "Federate Gone: bravo"), 1u);
    EXPECT_LT(out.find("Federate Amber: bravo"), out.find("Federate Red: bravo"));
    EXPECT_LT(out.find("Federate Red: bravo"), out.find("Federate Gone: bravo"));
  }
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_EQ(observer.wait(), 0);
}

TEST(FederationScenario, JoinWithAnotherModelIsRejected) {
  const std::string rid = write_rid(3);
  federate_process alpha(rid, {"alpha", "Demo", "4"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  federate_process bravo(rid, {"--fed", training_fed, "bravo", "Demo", "1"});
  EXPECT_EQ(bravo.wait(), 1);
  const std::string b = bravo.output();
  EXPECT_TRUE(has(b, "The FED file differs from the one used to create the federation.")) << b;
  EXPECT_TRUE(has(b, "Join Rejected."));
  EXPECT_TRUE(has(b, "[bravo] refused: Configuration file mismatch"));
  EXPECT_EQ(alpha.wait(), 0);
  EXPECT_FALSE(has(alpha.output(), "federate joined: bravo"));
}

// Two federates with different RIDs create the same federation at the same moment, so both
// join; a third joins the first. The mismatch persists, and every process ends with -1.
TEST(FederationScenario, PersistentMismatchShutsEveryFederateDown) {
  const std::string rid = write_rid(4, 20, 2);
  const std::string other_rid = write_rid(4, 21, 2);
  federate_process alpha(rid, {"alpha", "Demo", "40"});
  federate_process rogue(other_rid, {"rogue", "Demo", "40"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  federate_process charlie(rid, {"--join-only", "charlie", "Demo", "40"});
  EXPECT_EQ(alpha.wait(), 255) << alpha.output();
  EXPECT_EQ(rogue.wait(), 255) << rogue.output();
  EXPECT_EQ(charlie.wait(), 255) << charlie.output();
  const std::string a = alpha.output();
  EXPECT_EQ(count_of(a, "!!!!!!!!!! WARNING !!!!!!!!!!!!!"), 2u) << a;
  EXPECT_TRUE(has(a, "with a mismatched RID file"));
  EXPECT_TRUE(has(a, "Killing federation due to RID/FED mismatch") ||
              has(a, "Requested to shut down by federate rogue"));
  // charlie sees the mismatch too: it ends either on another federate's request or as the last
  // one of a shut-down it asked for itself.
  const std::string c = charlie.output();
  EXPECT_TRUE(has(c, "\nShutting down by remote command.\n") || has(c, "\nAll federates in federation have shut down.\n"))
      << c;
}

TEST(FederationScenario, RequestedShutDownEndsEveryFederate) {
  const std::string rid = write_rid(5);
  federate_process alpha(rid, {"alpha", "Demo", "30"});
  ASSERT_TRUE(alpha.wait_for("[alpha] joined federation Demo"));
  federate_process bravo(rid, {"--join-only", "--shutdown-after", "1", "bravo", "Demo", "30"});
  EXPECT_EQ(bravo.wait(), 255) << bravo.output();
  EXPECT_EQ(alpha.wait(), 255) << alpha.output();
  EXPECT_TRUE(has(bravo.output(), "All federates in federation have shut down.")) << bravo.output();
  EXPECT_TRUE(has(alpha.output(), "Requested to shut down by federate bravo\nShutting down in 5 seconds. \n"))
      << alpha.output();
  EXPECT_TRUE(has(alpha.output(), "\nShutting down by remote command.\n"));
}

TEST(FederationScenario, FederationsOnOnePortDoNotSeeEachOthersFederates) {
  const std::string rid = write_rid(6);
  federate_process one(rid, {"alpha", "One", "3"});
  federate_process two(rid, {"bravo", "Two", "3"});
  EXPECT_EQ(one.wait(), 0);
  EXPECT_EQ(two.wait(), 0);
  EXPECT_FALSE(has(one.output(), "federate joined")) << one.output();
  EXPECT_FALSE(has(two.output(), "federate joined")) << two.output();
  EXPECT_TRUE(has(one.output(), "[alpha] federates at the end: 1"));
  EXPECT_TRUE(has(two.output(), "[bravo] federates at the end: 1"));
}

}  // namespace
