#include "console/ping_console_reporter.h"

namespace varnel {

ping_console_reporter::ping_console_reporter(ping& service, name_lookup name_of, FILE* out)
    : service_(service), name_of_(std::move(name_of)), out_(out) {
  service_.add_client(this);
}

ping_console_reporter::~ping_console_reporter() { service_.remove_client(this); }

void ping_console_reporter::ping_reply(unsigned responder, uint32_t sequence, int stream, uint32_t round_trip_ms) {
  std::fprintf(out_, "PING from %u (%s) : seq %u stream %d time %u ms\n", responder, name_of_(responder).c_str(),
               sequence, stream, round_trip_ms);
  std::fflush(out_);
}

void ping_console_reporter::ping_finished(const ping_statistics& statistics) {
  std::fprintf(out_, "\n\nPing statistics:  %zu federates responded.\n", statistics.responders.size());
  for (const auto& [handle, r] : statistics.responders) {
    std::fprintf(out_, "--- %u (%s) ping statistics ---\n", handle, name_of_(handle).c_str());
    std::fprintf(out_, "%u packets transmitted, %u received, %u%% packet loss\n", statistics.sent, r.received,
                 ping_statistics::loss_percent(statistics.sent, r.received));
    std::fprintf(out_, "round-trip min/avg/max/stddev = %.3f/%.3f/%.3f/%.3f ms\n\n", double(r.min_ms), r.average_ms(),
                 double(r.max_ms), r.deviation_ms());
  }
  std::fflush(out_);
}

}  // namespace varnel
