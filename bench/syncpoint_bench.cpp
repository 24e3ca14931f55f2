// Synchronization points between a registrar and three member processes on 127.0.0.1: 200
// points in turn, each from register to the registrar's federationSynchronized (every member
// achieves a point as soon as it is announced), against a baseline measured alternately in the
// same run: a message on a reliable service of the registrar's own stream manager, echoed by each
// member on its own reliable service, until the three echoes are back. Both sides flush stream 2
// after each message, as the synchronization points do.
//
// Usage: syncpoint_bench [POINTS]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "ldm_buf.h"
#include "messages/message_reliable.h"
#include "messages/user_tag.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int members = 3;
constexpr const char* echo_service = "bench_echo";
enum echo_word : uint32_t { ping = 1, echo = 2, stop = 3 };
constexpr uint32_t warm_up = 0xFFFFFFFF;  // the round of the pings before the measured ones

double microseconds_since(bench_clock::time_point start) {
  return std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
}

// A federate of the benchmark's federation, with the echo service beside its managers.
class bench_federate : public message_service_client {
public:
  std::function<void(uint32_t word, uint32_t round)> on_word;

  explicit bench_federate(const char* name) {
    try {
      ldm.create_federation_execution("Bench", EXAMPLES_DIR "/demo.fed");
    } catch (const ldm_exception&) {  // the registrar made it
    }
    ldm.join_federation_execution(name, "Bench");
    debugging_events& debug = ldm.get_debugging_events();
    debug.register_event(echo_service, "the benchmark's echo baseline");
    service = std::make_unique<message_reliable>(&ldm.get_stream_manager(), this, echo_service,
                                                 debug.stream(echo_service), ldm.get_scheduler());
  }
  ~bench_federate() override {
    service.reset();
    ldm.resign_federation_execution(false, false, false);
  }

  void send(uint32_t word, uint32_t round) {
    ldm_buf* buffer = service->get_buf();
    *buffer << word << round;
    service->send(2, 0x20, buffer);
    buffer->release_buf();
    ldm.get_stream_manager().flush(2);
  }
  void receive(int, unsigned char, ldm_buf* buffer) override {
    const uint32_t word = buffer->read_4();
    const uint32_t round = buffer->read_4();
    if (on_word) on_word(word, round);
  }

  test_ldm ldm;
  std::unique_ptr<message_reliable> service;
};

// Achieves every point as it is announced and echoes every ping, until the registrar says stop.
void run_member(int index) {
  usleep(1500 * 1000);  // the registrar creates the federation first
  bench_federate member(("member" + std::to_string(index)).c_str());
  member.ldm.on_callback = [&](const std::string& line) {
    const std::string announce = "announceSynchronizationPoint ";
    if (line.rfind(announce, 0) == 0) member.ldm.synchronization_point_achieved(line.substr(announce.size()).c_str());
  };
  bool stopped = false;
  member.on_word = [&](uint32_t word, uint32_t round) {
    if (word == ping) member.send(echo, round);
    stopped = stopped || word == stop;
  };
  const auto end = bench_clock::now() + std::chrono::minutes(2);
  while (!stopped && bench_clock::now() < end) member.ldm.tick(0.05, 0.05);
}

struct figures {
  double median_us = 0, p99_us = 0;
  size_t delivered = 0;
};

figures summarise(std::vector<double> samples) {
  figures f;
  f.delivered = samples.size();
  if (samples.empty()) return f;
  std::sort(samples.begin(), samples.end());
  f.median_us = samples[samples.size() / 2];
  f.p99_us = samples[std::min(samples.size() - 1, samples.size() * 99 / 100)];
  return f;
}

// The registrar spins on tick so that neither side waits for a poll period.
bool spin_until(test_ldm& ldm, const std::function<bool()>& done, double seconds = 10) {
  const auto end = bench_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (bench_clock::now() > end) return false;
    ldm.tick();
  }
  return true;
}

void measure(int points) {
  bench_federate registrar("registrar");
  if (!spin_until(registrar.ldm, [&] { return registrar.ldm.get_num_joined_federates() >= members + 1; })) {
    std::printf("the members did not join\n");
    return;
  }
  int echoes = 0;
  uint32_t awaited = 0;
  registrar.on_word = [&](uint32_t word, uint32_t round) { echoes += word == echo && round == awaited; };
  std::string synchronized;
  registrar.ldm.on_callback = [&](const std::string& line) {
    const std::string prefix = "federationSynchronized ";
    if (line.rfind(prefix, 0) == 0) synchronized = line.substr(prefix.size());
  };

  // A receiver starts a sender's sequence where it first hears it: warm the echo path up first.
  awaited = warm_up;
  while (echoes < members) {
    registrar.send(ping, warm_up);
    spin_until(registrar.ldm, [&] { return echoes == members; }, 0.1);
  }

  std::vector<double> baseline, register_to_synchronized;
  for (int k = 0; k < points; ++k) {
    echoes = 0;
    awaited = static_cast<uint32_t>(k);
    auto start = bench_clock::now();
    registrar.send(ping, awaited);
    if (spin_until(registrar.ldm, [&] { return echoes == members; })) baseline.push_back(microseconds_since(start));

    const std::string label = std::to_string(k);
    start = bench_clock::now();
    registrar.ldm.register_federation_synchronization_point(label.c_str(), user_tag());
    registrar.ldm.synchronization_point_achieved(label.c_str());
    if (spin_until(registrar.ldm, [&] { return synchronized == label; }))
      register_to_synchronized.push_back(microseconds_since(start));
  }
  registrar.send(stop, 0);
  registrar.ldm.tick(0.2, 0.2);  // lets a lost stop be asked for again

  const figures base = summarise(baseline), sync = summarise(register_to_synchronized);
  std::printf("reliable round trip to %d:    median %8.1f us  p99 %8.1f us  (%zu of %d)\n", members, base.median_us,
              base.p99_us, base.delivered, points);
  std::printf("register to synchronized:    median %8.1f us  p99 %8.1f us  (%zu of %d)\n", sync.median_us,
              sync.p99_us, sync.delivered, points);
  if (base.median_us > 0) std::printf("ratio of medians: %.2fx (goal <= 1.5x)\n", sync.median_us / base.median_us);
}

}  // namespace

int main(int argc, char** argv) {
  const int points = argc > 1 ? std::atoi(argv[1]) : 200;
  test_rid_options options{.port = test_port(port_block::bench, 40), .heartbeat = 1, .join_timeout = 1};
  const scoped_rid_file rid(options);
  std::printf("syncpoint_bench: a registrar and %d member processes, %d points in turn, 127.0.0.1, bundle timeout "
              "%d ms, every message flushed\n",
              members, points, options.bundle_timeout);
  std::fflush(stdout);
  std::vector<pid_t> children;
  for (int i = 0; i < members; ++i) {
    const pid_t child = fork();
    if (child == 0) {
      run_member(i);
      _exit(0);
    }
    children.push_back(child);
  }
  measure(points);
  for (pid_t child : children) waitpid(child, nullptr, 0);
  return 0;
}
