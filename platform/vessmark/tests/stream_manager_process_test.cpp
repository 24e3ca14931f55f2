// Stream managers in separate processes: this process sends on many streams and one or two
// vessmark_peer processes send everything they hear back on a reply stream of their own.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "test_ports.h"
#include "transport_node.h"

using namespace brindle;

extern char** environ;

namespace {

constexpr unsigned federation = 5;
constexpr int first_stream = 30, stream_count = 25;  // 25 groups: more than one socket holds
constexpr uint32_t probe_sender = 0xFFFF;

// One peer process; killed if the test ends before it does.
class peer_process {
public:
  peer_process(uint16_t port, int reply_stream) {
    const std::vector<std::string> args{VESSMARK_PEER,          std::to_string(port),
                                        std::to_string(federation), std::to_string(reply_stream),
                                        std::to_string(first_stream), std::to_string(stream_count),
                                        "20"};
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, VESSMARK_PEER, nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
  }
  ~peer_process() {
    if (pid_ > 0 && !reaped_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  peer_process(const peer_process&) = delete;
  peer_process& operator=(const peer_process&) = delete;

  bool started() const { return pid_ > 0; }

  // The exit status once the process has ended within timeout_ms; -1 otherwise.
  int wait_exit(int timeout_ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }

private:
  pid_t pid_ = -1;
  bool reaped_ = false;
};

// Sends probes on the first stream until every reply stream has echoed one, so that the peers
// have joined before the real traffic starts.
bool wait_for_peers(transport_node& node, const std::vector<int>& replies) {
  uint32_t probe = 0;
  auto last_probe = std::chrono::steady_clock::now() - std::chrono::seconds(1);
  return tick_until({&node}, [&] {
    bool all = true;
    for (int reply : replies) {
      bool heard = false;
      for (const received_message& m : node.messages()) heard |= m.stream == reply && sender_of(m) == probe_sender;
      all &= heard;
    }
    if (!all && std::chrono::steady_clock::now() - last_probe > std::chrono::milliseconds(50)) {
      node.send(first_stream, test_payload(probe_sender, probe++, 8));
      node.service().flush(first_stream);
      last_probe = std::chrono::steady_clock::now();
    }
    return all;
  }, 8000);
}

// Sends messages of several sizes on every stream (the payload names its stream as the sender)
// and checks that each reply stream brings every one of them back whole and in order.
void exchange_with_peers(uint16_t port, const std::vector<int>& replies) {
  test_rid_options options;
  options.port = port;
  transport_node node(options);
  node.manager().set_federation(federation);
  for (int reply : replies) node.manager().join(reply);
  std::vector<std::unique_ptr<peer_process>> peers;
  for (int reply : replies) {
    peers.push_back(std::make_unique<peer_process>(port, reply));
    ASSERT_TRUE(peers.back()->started());
  }
  ASSERT_TRUE(wait_for_peers(node, replies)) << "the peers did not answer";

  const std::vector<size_t> lengths{8, 100, 1400, 30000, 64};
  for (uint32_t i = 0; i < lengths.size(); ++i) {
    for (int s = first_stream; s < first_stream + stream_count; ++s) {
      node.send(s, test_payload(static_cast<uint32_t>(s), i, lengths[i]));
      node.service().flush(s);
    }
    // Let the peers keep up, so that no socket buffer overflows.
    tick_for({&node}, 20);
  }
  const size_t expected = lengths.size() * stream_count;
  auto echoes_on = [&](int reply) {
    std::map<uint32_t, std::vector<const received_message*>> by_stream;
    for (const received_message& m : node.messages())
      if (m.stream == reply && sender_of(m) != probe_sender) by_stream[sender_of(m)].push_back(&m);
    return by_stream;
  };
  ASSERT_TRUE(tick_until({&node}, [&] {
    for (int reply : replies) {
      size_t n = 0;
      for (auto& [stream, list] : echoes_on(reply)) n += list.size();
      if (n < expected) return false;
    }
    return true;
  }, 8000));
  for (int reply : replies) {
    auto by_stream = echoes_on(reply);
    ASSERT_EQ(by_stream.size(), static_cast<size_t>(stream_count));
    for (auto& [stream, list] : by_stream) {
      ASSERT_EQ(list.size(), lengths.size());
      for (uint32_t i = 0; i < lengths.size(); ++i)
        EXPECT_EQ(list[i]->payload, test_payload(stream, i, lengths[i])) << "reply " << reply << " stream " << stream;
    }
  }
  node.send(first_stream, {'q', 'u', 'i', 't'});
  node.service().flush(first_stream);
  for (auto& peer : peers) {
    int status = -1;
    tick_until({&node}, [&] { return (status = peer->wait_exit(1)) != -1; }, 3000);
    EXPECT_EQ(status, 0) << "a peer did not stop on quit";
  }
}

TEST(StreamManagerProcesses, TwoProcessesExchangeOnManyStreams) {
  exchange_with_peers(test_port(port_block::stream_manager_process_test, 0), {70});
}

TEST(StreamManagerProcesses, ThreeProcessesExchangeOnManyStreams) {
  exchange_with_peers(test_port(port_block::stream_manager_process_test, 1), {71, 72});
}

}  // namespace
