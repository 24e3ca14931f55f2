// RIDs for tests and benchmarks that run whole federates: the multicast provider on the test's
// own port (test_ports.h), loopback, short federation timeouts, and the few switches tests vary.
// scoped_rid_file points RTI_RID_FILE at such a RID while distribution managers are built.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

struct federate_rid_options {
  uint16_t port = 0;
  // Federation timeouts in seconds; no discovery wait by default.
  int heartbeat = 5;
  int join_timeout = 0;
  int amber = 12;
  int red = 30;
  int gone = 60;
  int bundle_timeout = 20;  // part of the RID checksum: a different value makes a mismatch
  const char* syncpoints = "enabled";
  const char* timeadvance = "enabled";
  bool validate_regions = true;
  std::string debug_flags = {};
};

inline std::string federate_rid_text(const federate_rid_options& o) {
  char text[2048];
  std::snprintf(text, sizeof text,
                "(rti (version D22)\n"
                "  (federation_parameters\n"
                "    (connectivity_providers (multicast MULTICAST_PATH\n"
                "      (packet_size 1448) (ratelimit_max_mbps 75.0) (fragment_timeout 1000)\n"
                "      (bundle_timeout %d) (bundle_flush_threshold 128) (socket_poll_interval 10)\n"
                "      (base_address \"224.22.0.0\") (port %u) (ttl 0)))\n"
                "    (subscriptions (region_sub_gets_nonregion true) (nonregion_sub_gets_region true)\n"
                "      (validate_regions %s) (force_static_spaces true) (one_byclass_stream false))\n"
                "    (federation (heartbeat_interval %d) (join_timeout %d) (federate_amber_timeout %d)\n"
                "      (federate_red_timeout %d) (federate_gone_timeout %d))\n"
                "    (disable (syncpoints %s) (saverestore enabled) (queries enabled) (ownership enabled)\n"
                "      (timeadvance %s) (regions enabled)))\n"
                "  (federate_parameters\n"
                "    (connectivity (default_uplink \"multicast\") (default_server \"unnecessary\")\n"
                "      (network_device \"\") (interface \"127.0.0.1\") (receive_buffer_size 512)\n"
                "      (send_buffer_size 512) (connectivity_map) (spawn_router false))\n"
                "    (debug_flags %s)))\n",
                o.bundle_timeout, static_cast<unsigned>(o.port), o.validate_regions ? "true" : "false", o.heartbeat,
                o.join_timeout, o.amber, o.red, o.gone, o.syncpoints, o.timeadvance, o.debug_flags.c_str());
  return text;
}

// Writes the RID to a file of its own and names it in RTI_RID_FILE until destroyed, when the
// variable is restored and the file removed.
class scoped_rid_file {
public:
  explicit scoped_rid_file(const federate_rid_options& options)
      : path_(std::filesystem::temp_directory_path() /
              ("federate_" + std::to_string(getpid()) + "_" + std::to_string(options.port) + "_" +
               std::to_string(next_index()) + ".rid")) {
    std::ofstream(path_) << federate_rid_text(options);
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
