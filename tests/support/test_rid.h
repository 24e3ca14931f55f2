// The one RID builder of the test suite: a RID on the test's own multicast port (test_ports.h),
// loopback, shortened waits, and the few settings tests vary (transport, federation timeouts,
// switches, debug flags, seeded packet loss). scoped_rid_file names such a RID in RTI_RID_FILE
// while distribution managers are built; make_test_rid builds a RID from one directly.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "rid.h"

struct test_rid_options {
  uint16_t port = 0;
  // Federation timeouts in seconds; no discovery wait by default.
  int heartbeat = 5;
  int join_timeout = 0;
  int amber = 12;
  int red = 30;
  int gone = 60;
  int bundle_timeout = 20;  // milliseconds; part of the RID checksum: a different value makes a mismatch
  const char* syncpoints = "enabled";
  const char* timeadvance = "enabled";
  bool validate_regions = true;
  bool one_byclass_stream = false;
  std::string routing_spaces = {};  // the entries of the routing_spaces section, as RID text
  std::string debug_flags = {};
  // The transport.
  std::string base_address = "224.22.0.0";
  int packet_size = 1448;
  double ratelimit_mbps = 75.0;
  int fragment_timeout_ms = 1000;
  int bundle_flush_threshold = 128;
  int socket_poll_interval_ms = 10;
  double loss_probability = 0.0;
  uint32_t loss_seed = 1;
  // The update path.
  bool suppress_dups = false;
  bool creation_announcements = true;
  int deletion_memory_ms = 5000;
  // Attribute value queries, milliseconds.
  int bundle_query_ms = 100;
  int query_backoff_ms = 100;
  // More entries of the transport_types section, as RID text.
  std::string extra_transports = {};
  // The console's telnet listener: off unless a test gives it a port of its own block.
  uint16_t telnet_port = 0;
  std::string listen_address = "127.0.0.1";
};

inline std::string test_rid_text(const test_rid_options& o) {
  char text[8192];
  std::snprintf(text, sizeof text,
                "(rti (version D22)\n"
                "  (federation_parameters\n"
                "    (routing_spaces %s)\n"
                "    (connectivity_providers (multicast MULTICAST_PATH\n"
                "      (packet_size %d) (ratelimit_max_mbps %.3f) (fragment_timeout %d)\n"
                "      (bundle_timeout %d) (bundle_flush_threshold %d) (socket_poll_interval %d)\n"
                "      (base_address \"%s\") (port %u) (ttl 0)))\n"
                "    (subscriptions (region_sub_gets_nonregion true) (nonregion_sub_gets_region true)\n"
                "      (validate_regions %s) (force_static_spaces true) (one_byclass_stream %s))\n"
                "    (federation (heartbeat_interval %d) (join_timeout %d) (federate_amber_timeout %d)\n"
                "      (federate_red_timeout %d) (federate_gone_timeout %d))\n"
                "    (disable (syncpoints %s) (saverestore enabled) (queries enabled) (ownership enabled)\n"
                "      (timeadvance %s) (regions enabled))\n"
                "    (transport_types\n"
                "      (best_effort (type \"simple\") (suppress_dups %s) (implicit_transfer false)\n"
                "        (message_service \"best_effort\") (message_priority 0) (use_low_latency false))\n"
                "      (reliable (type \"simple\") (suppress_dups %s) (implicit_transfer false)\n"
                "        (message_service \"reliable\") (message_priority 0x3f) (use_low_latency false))\n"
                "      %s)\n"
                "    (updates (sort_attributes true) (pass_times false) (perfect_filter true) (send_trans_attrs false))\n"
                "    (objects (deletion_memory_length %d) (creation_announcements %s))\n"
                "    (queries (bundle_query_timeout %d) (query_backoff_window %d)))\n"
                "  (federate_parameters\n"
                "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
                "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 2048)\n"
                "      (send_buffer_size 512) (connectivity_map) (spawn_router false)\n"
                "      (loss_probability %.6f) (loss_seed %u))\n"
                "    (management_objects (mom_interval 10))\n"
                "    (virtual_terminal (accept_connections %s))\n"
                "    (console (listen_address \"%s\") (telnet_port %u) (local_keyboard false))\n"
                "    (debug_flags %s)))\n",
                o.routing_spaces.c_str(), o.packet_size, o.ratelimit_mbps, o.fragment_timeout_ms, o.bundle_timeout, o.bundle_flush_threshold,
                o.socket_poll_interval_ms, o.base_address.c_str(), static_cast<unsigned>(o.port),
                o.validate_regions ? "true" : "false", o.one_byclass_stream ? "true" : "false", o.heartbeat, o.join_timeout, o.amber, o.red, o.gone,
                o.syncpoints, o.timeadvance, o.suppress_dups ? "true" : "false", o.suppress_dups ? "true" : "false",
                o.extra_transports.c_str(), o.deletion_memory_ms, o.creation_announcements ? "true" : "false",
                o.bundle_query_ms, o.query_backoff_ms, o.loss_probability, static_cast<unsigned>(o.loss_seed),
                o.telnet_port ? "true" : "false", o.listen_address.c_str(), static_cast<unsigned>(o.telnet_port),
                o.debug_flags.c_str());
  return text;
}

// Writes a RID to a file of its own and names it in RTI_RID_FILE until destroyed, when the
// variable is restored and the file removed. Nest them like scopes.
class scoped_rid_file {
public:
  explicit scoped_rid_file(const test_rid_options& options) : scoped_rid_file(test_rid_text(options)) {}
  explicit scoped_rid_file(const std::string& text)
      : path_(std::filesystem::temp_directory_path() /
              ("test_" + std::to_string(getpid()) + "_" + std::to_string(next_index()) + ".rid")) {
    std::ofstream(path_) << text;
    if (const char* value = std::getenv("RTI_RID_FILE")) saved_ = value;
    setenv("RTI_RID_FILE", path_.c_str(), 1);
  }
  ~scoped_rid_file() {
    if (saved_)
      setenv("RTI_RID_FILE", saved_->c_str(), 1);
    else
      unsetenv("RTI_RID_FILE");
    std::filesystem::remove(path_);
  }
  scoped_rid_file(const scoped_rid_file&) = delete;
  scoped_rid_file& operator=(const scoped_rid_file&) = delete;

  const std::filesystem::path& path() const { return path_; }

private:
  static unsigned next_index() {
    static unsigned index = 0;
    return index++;
  }

  std::filesystem::path path_;
  std::optional<std::string> saved_;
};

// A RID built from the options; RTI_RID_FILE is left as it was.
inline std::unique_ptr<brindle::RID> make_test_rid(const test_rid_options& options) {
  const scoped_rid_file file(options);
  return std::make_unique<brindle::RID>();
}
