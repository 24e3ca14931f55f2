// RIDs for transport tests and the benchmark: the whole multicast provider group with the test's
// own port (test_ports.h), loopback interface and shortened waits, built through a temporary
// RID file. The caller owns the RID it gets.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include "rid.h"

struct test_rid_options {
  uint16_t port = 0;
  std::string base_address = "224.22.0.0";
  int packet_size = 1448;
  double ratelimit_mbps = 75.0;
  int fragment_timeout_ms = 1000;
  int bundle_timeout_ms = 20;
  int bundle_flush_threshold = 128;
  int socket_poll_interval_ms = 10;
  double loss_probability = 0.0;
  uint32_t loss_seed = 1;
};

inline std::string test_rid_text(const test_rid_options& o) {
  char text[2048];
  std::snprintf(text, sizeof text,
                "(rti (version D22)\n"
                "  (federation_parameters\n"
                "    (connectivity_providers\n"
                "      (multicast MULTICAST_PATH\n"
                "        (packet_size %d) (ratelimit_max_mbps %.3f) (fragment_timeout %d)\n"
                "        (bundle_timeout %d) (bundle_flush_threshold %d) (socket_poll_interval %d)\n"
                "        (base_address \"%s\") (port %u) (ttl 0))))\n"
                "  (federate_parameters\n"
                "    (connectivity\n"
                "      (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
                "      (network_device \"\") (interface \"127.0.0.1\")\n"
                "      (receive_buffer_size 2048) (send_buffer_size 512) (connectivity_map)\n"
                "      (spawn_router false) (loss_probability %.6f) (loss_seed %u))))\n",
                o.packet_size, o.ratelimit_mbps, o.fragment_timeout_ms, o.bundle_timeout_ms,
                o.bundle_flush_threshold, o.socket_poll_interval_ms, o.base_address.c_str(),
                static_cast<unsigned>(o.port), o.loss_probability, static_cast<unsigned>(o.loss_seed));
  return text;
}

// Builds a RID from the options through a temporary file; RTI_RID_FILE is left as it was.
inline std::unique_ptr<RID> make_test_rid(const test_rid_options& options) {
  char path[] = "/tmp/vessmark_rid_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) throw std::runtime_error("cannot create a test RID file");
  const std::string text = test_rid_text(options);
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  std::optional<std::string> saved;
  if (const char* value = std::getenv("RTI_RID_FILE")) saved = value;
  setenv("RTI_RID_FILE", path, 1);
  auto rid = written ? std::make_unique<RID>() : nullptr;
  if (saved)
    setenv("RTI_RID_FILE", saved->c_str(), 1);
  else
    unsetenv("RTI_RID_FILE");
  unlink(path);
  if (!rid) throw std::runtime_error("cannot write a test RID file");
  return rid;
}
