// A regulating and constrained test federate on the public rti13 interface: joins (creating the
// federation when it is not there), enables regulation with the lookahead given and constraint,
// waits until the other regulators are heard, then advances in steps of 1 by time advance
// requests. It prints each request and grant with the system's monotonic clock, so that a test
// can order the events of several processes:
//   [name] regulating <monotonic ns>
//   [name] request <t> <monotonic ns>
//   [name] grant <t> <monotonic ns>
//   [name] resigned <monotonic ns>
//
//   time_federate [--free] [--spin] [--resign-after N] [--peers K] [--quiet] NAME FEDERATION STEPS
//     --free             neither regulating nor constrained: every request is granted at once
//     --peers K          wait for a finite LBTS and then two seconds before stepping (K > 1)
//     --resign-after N   resign after N steps, leaving the federation to the others
//     --quiet            print only the first and the last grant (for benchmarks)
//     --spin             tick without waiting (for benchmarks; keeps a core busy)
// Exit status: 0 after the steps, 1 when a service was refused, 2 for a bad command line.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <RTI.hh>
#include <fedtime.hh>

#include "demo_federation.h"
#include "time_ambassador.h"

namespace {

long long monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000000000LL + now.tv_nsec;
}

struct options {
  std::string name, federation;
  long steps = 0;
  long resign_after = -1;
  int peers = 1;
  bool quiet = false;
  bool free = false;
  bool spin = false;
};

bool parse(int argc, char** argv, options& o) {
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--resign-after" && i + 1 < argc) {
      o.resign_after = std::atol(argv[++i]);
    } else if (arg == "--peers" && i + 1 < argc) {
      o.peers = std::atoi(argv[++i]);
    } else if (arg == "--quiet") {
      o.quiet = true;
    } else if (arg == "--free") {
      o.free = true;
    } else if (arg == "--spin") {
      o.spin = true;
    } else if (positional == 0) {
      o.name = arg, ++positional;
    } else if (positional == 1) {
      o.federation = arg, ++positional;
    } else if (positional == 2) {
      o.steps = std::atol(arg.c_str()), ++positional;
    } else {
      return false;
    }
  }
  return positional == 3 && o.steps >= 0;
}

// Ticks until done: spinning, or waiting up to a millisecond for traffic each time.
bool spin = false;

template <class Done>
void tick_until(rti13::RTIambassador& rti, Done done) {
  while (!done()) spin ? rti.tick() : rti.tick(0.001, 0.01);
}

}  // namespace

int main(int argc, char** argv) {
  options o;
  if (!parse(argc, argv, o)) {
    std::fprintf(stderr, "usage: %s [--free] [--spin] [--resign-after N] [--peers K] [--quiet] NAME FEDERATION STEPS\n", argv[0]);
    return 2;
  }
  const std::string me = "[" + o.name + "] ";
  spin = o.spin;
  try {
    rti13::RTIambassador rti;
    time_ambassador federate;
    join_demo_federation(rti, o.name, o.federation, &federate);
    if (!o.free) {
      rti.enableTimeRegulation(RTIfedTime(0.0), RTIfedTime(1.0));
      tick_until(rti, [&] { return federate.regulating; });
      rti.enableTimeConstrained();
      tick_until(rti, [&] { return federate.constrained; });
    }
    std::cout << me << "regulating " << monotonic_ns() << std::endl;
    if (o.peers > 1) {
      RTIfedTime lbts;
      tick_until(rti, [&] {
        rti.queryLBTS(lbts);
        return !lbts.isPositiveInfinity();
      });
      const auto settle = std::chrono::steady_clock::now() + std::chrono::seconds(2);
      tick_until(rti, [&] { return std::chrono::steady_clock::now() > settle; });
    }
    for (long step = 0; step < o.steps; ++step) {
      if (step == o.resign_after) break;
      const double next = federate.time + 1;
      const bool say = !o.quiet || step == 0 || step + 1 == o.steps;
      if (say) std::cout << me << "request " << next << " " << monotonic_ns() << std::endl;
      federate.granted = false;
      rti.timeAdvanceRequest(RTIfedTime(next));
      tick_until(rti, [&] { return federate.granted; });
      if (say) std::cout << me << "grant " << federate.time << " " << monotonic_ns() << std::endl;
    }
    rti.resignFederationExecution(rti13::NO_ACTION);
    std::cout << me << "resigned " << monotonic_ns() << std::endl;
    try {
      rti.destroyFederationExecution(o.federation.c_str());
    } catch (const rti13::Exception&) {
    }
  } catch (const rti13::Exception& e) {
    std::cout << me << "refused: " << e << std::endl;
    return 1;
  }
  return 0;
}
