// Time management: two federate processes of the public interface advancing in lockstep (time
// advance requests of t + 1, lookahead 1, 5,000 steps), as grants per second, against raw UDP
// multicast round trips per second between two processes in the same run; and one federate that
// neither regulates nor is constrained, whose requests are granted at once, as the ceiling.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../tests/federation/federate_process.h"
#include "raw_multicast.h"
#include "test_ports.h"
#include "test_rid.h"

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int steps = 5000;
constexpr int round_trips = 5000;
const uint16_t raw_port = test_port(port_block::bench, 40);
const char* const ping_group = "224.22.1.5";
const char* const pong_group = "224.22.1.6";

bool raw_wait(raw_multicast& socket, std::vector<uint8_t>& datagram, int timeout_ms) {
  const auto deadline = bench_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (bench_clock::now() < deadline)
    if (socket.receive(datagram, 0) >= 0) return true;
  return false;
}

// Round trips per second of an 80-byte datagram (about a time state's size) between this
// process and a forked echo.
double raw_round_trips_per_s() {
  const pid_t child = fork();
  if (child == 0) {
    raw_multicast socket;
    std::vector<uint8_t> datagram;
    if (socket.listen(ping_group, raw_port))
      while (raw_wait(socket, datagram, 3000)) {
        if (datagram.size() == 1) _exit(0);
        socket.send_to(pong_group, raw_port, datagram.data(), datagram.size());
      }
    _exit(0);
  }
  raw_multicast socket;
  std::vector<uint8_t> ping(80, 'P'), reply;
  double rate = 0;
  if (socket.listen(pong_group, raw_port)) {
    for (int tries = 0; tries < 50; ++tries) {
      socket.send_to(ping_group, raw_port, ping.data(), ping.size());
      if (raw_wait(socket, reply, 100)) break;
    }
    const auto start = bench_clock::now();
    int done = 0;
    for (; done < round_trips; ++done) {
      socket.send_to(ping_group, raw_port, ping.data(), ping.size());
      if (!raw_wait(socket, reply, 1000)) break;
    }
    rate = done / std::chrono::duration<double>(bench_clock::now() - start).count();
  }
  const uint8_t quit = 'q';
  socket.send_to(ping_group, raw_port, &quit, 1);
  waitpid(child, nullptr, 0);
  return rate;
}

// Grants per second of one federate, from its first and last grant lines.
double grants_per_s(const std::string& output) {
  std::istringstream in(output);
  long long first = 0, last = 0;
  double first_t = 0, last_t = 0;
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find("] grant ");
    if (at == std::string::npos) continue;
    std::istringstream fields(line.substr(at + 8));
    double t;
    long long ns;
    fields >> t >> ns;
    if (first == 0) first = ns, first_t = t;
    last = ns, last_t = t;
  }
  return last > first ? (last_t - first_t) / ((last - first) / 1e9) : 0;
}

double run_federates(const scoped_rid_file& rid, const char* federation, std::vector<std::vector<std::string>> runs) {
  std::vector<std::unique_ptr<federate_process>> processes;
  for (auto& args : runs) {
    args.push_back(federation);
    args.push_back(std::to_string(steps));
    processes.push_back(std::make_unique<federate_process>(TIME_FEDERATE, rid.path().string(), args));
  }
  double slowest = 0;
  for (auto& p : processes) {
    if (p->wait(300) != 0) {
      std::printf("a federate failed:\n%s\n", p->output().c_str());
      return 0;
    }
    const double rate = grants_per_s(p->output());
    slowest = slowest == 0 ? rate : std::min(slowest, rate);
  }
  return slowest;
}

}  // namespace

int main() {
  test_rid_options options;
  options.port = test_port(port_block::bench, 41);
  options.join_timeout = 1;
  const scoped_rid_file rid(options);
  const double raw = raw_round_trips_per_s();
  const double lockstep = run_federates(rid, "Lockstep", {{"--quiet", "--spin", "--peers", "2", "alpha"}, {"--quiet", "--spin", "--peers", "2", "bravo"}});
  const double free = run_federates(rid, "Free", {{"--quiet", "--spin", "--free", "solo"}});
  std::printf("time_bench: %d steps of TAR(t + 1), lookahead 1, two federate processes on loopback\n", steps);
  std::printf("  raw UDP multicast round trips    %9.0f per s (baseline)\n", raw);
  std::printf("  lockstep grants (slower of two)  %9.0f per s   %.2f round trips per grant\n", lockstep,
              lockstep > 0 ? raw / lockstep : 0.0);
  std::printf("  unconstrained grants (ceiling)   %9.0f per s\n", free);
  return 0;
}
