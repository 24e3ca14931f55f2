// Prints this federate's pings on the console: one line per reply as it comes and the
// statistics of each responder when a run ends. Lines go to the process's standard output, so
// that every terminal attached to it sees them. Built and torn down with the ping service it
// watches (joined_managers).
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "console/ping.h"

namespace varnel {

class ping_console_reporter : public ping_client {
public:
  using name_lookup = std::function<std::string(unsigned handle)>;

  ping_console_reporter(ping& service, name_lookup name_of, FILE* out = stdout);
  ~ping_console_reporter() override;
  ping_console_reporter(const ping_console_reporter&) = delete;
  ping_console_reporter& operator=(const ping_console_reporter&) = delete;

  void ping_reply(unsigned responder, uint32_t sequence, int stream, uint32_t round_trip_ms) override;
  void ping_finished(const ping_statistics& statistics) override;

private:
  ping& service_;
  name_lookup name_of_;
  FILE* out_;
};

}  // namespace varnel
