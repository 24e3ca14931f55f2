// The console's ping between two federate processes on 127.0.0.1: the round trip from starting a
// one-request ping of the other federate to its reply reaching the ping's clients, against a raw
// UDP multicast ping-pong of 64 bytes (the transport benchmark's baseline) measured in the same
// run. A responder answers at most 50 pings a second, so both sides leave one ping every 25 ms.
// Both federates tick without waiting, as both raw sides spin on their sockets: a tick that
// waits returns only after its whole wait, which would measure the wait, not the ping.
// Counts only replies that arrived.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "console/ping.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"
#include "two_process_bench.h"

using namespace varnel;

namespace {

constexpr int pings = 200;
constexpr int warmup_pings = 10;
constexpr size_t raw_size = 64;
constexpr auto ping_gap = std::chrono::milliseconds(25);
constexpr int responder_idle_ms = 10000;
constexpr const char* federation = "PingBench";

const uint16_t ping_port = test_port(port_block::bench, 80);
const uint16_t raw_port = test_port(port_block::bench, 81);
const raw_link raw{"224.22.1.80", "224.22.1.81", raw_port};

double microseconds_since(bench_clock::time_point start) {
  return std::chrono::duration<double, std::micro>(bench_clock::now() - start).count();
}

std::unique_ptr<test_ldm> joined(const char* name) {
  test_rid_options options;
  options.port = ping_port;
  options.heartbeat = 1;
  options.gone = 3;
  const scoped_rid_file rid(options);
  auto ldm = std::make_unique<test_ldm>();
  ldm->create_federation_execution(federation, EXAMPLES_DIR "/demo.fed");
  ldm->join_federation_execution(name, federation);
  return ldm;
}

// The responding federate: ticks until the pinger has come and gone, or for a minute at most.
void respond() {
  std::unique_ptr<test_ldm> ldm = joined("responder");
  bool met = false;
  const auto end = bench_clock::now() + std::chrono::seconds(60);
  while (bench_clock::now() < end) {
    // Spins on ticks that do not wait, as the raw responder spins on its socket.
    ldm->tick();
    const unsigned others = ldm->get_num_joined_federates() - 1;
    if (others > 0) met = true;
    if (met && others == 0) break;
  }
  ldm->resign_federation_execution(false, false, false);
}

// Notes when the reply of the run in progress arrives.
struct reply_watch : ping_client {
  bool replied = false;
  void ping_reply(unsigned, uint32_t, int, uint32_t) override { replied = true; }
  void ping_finished(const ping_statistics&) override {}
};

latency console_ping() {
  return with_responder<latency>(respond, [] {
    std::unique_ptr<test_ldm> ldm = joined("pinger");
    std::vector<double> samples;
    const auto meet_by = bench_clock::now() + std::chrono::seconds(20);
    while (ldm->get_num_joined_federates() < 2 && bench_clock::now() < meet_by) ldm->tick(0.01, 0.02);
    unsigned responder = 0;
    if (ldm->get_num_joined_federates() == 2) {
      unsigned handles[2] = {};
      ldm->get_joined_federates(handles);
      responder = handles[0] == ldm->get_federate_id() ? handles[1] : handles[0];
    }
    ping& pinger = *ldm->get_ping();
    reply_watch watch;
    pinger.add_client(&watch);
    // The console reporter prints every reply and run: not part of what is measured here.
    std::fflush(stdout);
    const int saved_stdout = dup(1);
    std::freopen("/dev/null", "w", stdout);
    for (int i = 0; responder && i < warmup_pings + pings; ++i) {
      watch.replied = false;
      const auto start = bench_clock::now();
      pinger.start(ping::reply_stream, responder, 1, ping::min_period_ms);
      while (!watch.replied && microseconds_since(start) < 1e6) ldm->tick();
      if (watch.replied && i >= warmup_pings) samples.push_back(microseconds_since(start));
      pinger.stop();
      while (bench_clock::now() - start < ping_gap) ldm->tick();
    }
    std::fflush(stdout);
    dup2(saved_stdout, 1);
    close(saved_stdout);
    pinger.remove_client(&watch);
    ldm->resign_federation_execution(false, false, false);
    return summarise(samples);
  });
}

latency raw_ping_pong() {
  return with_responder<latency>([] { raw_respond(raw, raw_size, responder_idle_ms); },
                                 [] { return summarise(raw_round_trips(raw, raw_size, warmup_pings, pings, ping_gap)); });
}

}  // namespace

int main() {
  std::printf("ping_bench: %d pings of another federate process, one every %lld ms, 127.0.0.1 (port %u)\n"
              "  baseline: raw UDP multicast ping-pong of %zu bytes, groups %s / %s, port %u\n",
              pings, static_cast<long long>(ping_gap.count()), unsigned(ping_port), raw_size, raw.ping_group,
              raw.pong_group, unsigned(raw_port));
  const latency base = raw_ping_pong();
  const latency console = console_ping();
  std::printf("round trip, us     median      p99  delivered\n");
  std::printf("  raw multicast  %8.1f %8.1f  %5d\n", base.median_us, base.p99_us, base.delivered);
  std::printf("  console ping   %8.1f %8.1f  %5d\n", console.median_us, console.p99_us, console.delivered);
  std::printf("  ratio median %.2f, p99 %.2f (goal <= 2)\n", base.median_us > 0 ? console.median_us / base.median_us : 0.0,
              base.p99_us > 0 ? console.p99_us / base.p99_us : 0.0);
  return console.delivered == pings && base.delivered == pings ? 0 : 1;
}
