#include "rid.h"
#include "rid_texts.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

using namespace brindle;

namespace {

// A complete small RID file; tests replace parts of it.
const std::string federation_part = R"(
  (federation_parameters
    (queries (bundle_query_timeout 250) (query_backoff_window 300))
    (federation (heartbeat_interval 7) (join_timeout 1))
    (connectivity_providers (multicast MULTICAST_PATH (port 7300) (ratelimit_max_mbps 12.5)))))";
const std::string federate_part = R"(
  (federate_parameters
    (connectivity (interface "127.0.0.1"))
    (debug_flags objects)))";

std::string rid_text(const std::string& version, const std::string& federation = federation_part,
                     const std::string& federate = federate_part) {
  return "(rti (version " + version + ")" + federation + federate + ")";
}

// The tree in the compact reader form of the routing-space descriptions: strings bare,
// integers as such, reals with two decimals so that the two kinds stay apart.
std::string to_text(const Document::Element& element) {
  std::string text = "(" + std::string(element.name);
  for (const Document::Value& value : element.values) {
    char number[64];
    if (value.kind == Document::string_value) text += std::string(" ") + value.string;
    if (value.kind == Document::integer_value) std::snprintf(number, sizeof number, " %d", value.integer);
    if (value.kind == Document::real_value) std::snprintf(number, sizeof number, " %.2f", value.real);
    if (value.kind != Document::string_value) text += number;
  }
  for (const Document::Element& child : element.children) text.append(" ").append(to_text(child));
  return text + ")";
}

// Each test gets a temp folder for its RID files and leaves RTI_RID_FILE as it found it.
class RidTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/rid_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    if (const char* value = std::getenv("RTI_RID_FILE")) saved_ = value;
  }

  void TearDown() override {
    if (saved_)
      setenv("RTI_RID_FILE", saved_->c_str(), 1);
    else
      unsetenv("RTI_RID_FILE");
    std::filesystem::remove_all(folder_);
  }

  // Writes text into the temp folder and names that file in RTI_RID_FILE; returns its path.
  std::string use_file(const std::string& text, const std::string& name = "test.rid") {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    setenv("RTI_RID_FILE", path.c_str(), 1);
    return path;
  }

  // Builds a RID and keeps what it printed.
  std::unique_ptr<RID> build() {
    testing::internal::CaptureStderr();
    auto rid = std::make_unique<RID>();
    messages_ = testing::internal::GetCapturedStderr();
    return rid;
  }

  // Runs a lookup and keeps what it printed.
  template <typename F>
  auto quietly(F lookup) {
    testing::internal::CaptureStderr();
    auto result = lookup();
    messages_ = testing::internal::GetCapturedStderr();
    return result;
  }

  std::string folder_;
  std::optional<std::string> saved_;
  std::string messages_;
};

const std::string using_defaults = "          Using RID defaults.\n";

// Every key of the built-in defaults, with its kind: s string, w bare word, i integer, r real,
// g group or entry without a value.
struct default_key {
  const char* key;
  char kind;
  const char* text;
  double number;
};

const default_key default_keys[] = {
    {"routing_spaces", 'g', nullptr, 0},
    {"connectivity_providers.multicast.packet_size", 'i', nullptr, 1448},
    {"connectivity_providers.multicast.ratelimit_max_mbps", 'r', nullptr, 75.0},
    {"connectivity_providers.multicast.fragment_timeout", 'i', nullptr, 3000},
    {"connectivity_providers.multicast.bundle_timeout", 'i', nullptr, 100},
    {"connectivity_providers.multicast.bundle_flush_threshold", 'i', nullptr, 128},
    {"connectivity_providers.multicast.socket_poll_interval", 'i', nullptr, 10},
    {"connectivity_providers.multicast.base_address", 's', "224.22.0.0", 0},
    {"connectivity_providers.multicast.port", 'i', nullptr, 7206},
    {"connectivity_providers.multicast.ttl", 'i', nullptr, 32},
    {"transport_types.best_effort.type", 's', "simple", 0},
    {"transport_types.best_effort.suppress_dups", 'w', "false", 0},
    {"transport_types.best_effort.implicit_transfer", 'w', "false", 0},
    {"transport_types.best_effort.message_service", 's', "best_effort", 0},
    {"transport_types.best_effort.message_priority", 'i', nullptr, 0},
    {"transport_types.best_effort.use_low_latency", 'w', "false", 0},
    {"transport_types.reliable.type", 's', "simple", 0},
    {"transport_types.reliable.suppress_dups", 'w', "false", 0},
    {"transport_types.reliable.implicit_transfer", 'w', "false", 0},
    {"transport_types.reliable.message_service", 's', "reliable", 0},
    {"transport_types.reliable.message_priority", 'i', nullptr, 63},
    {"transport_types.reliable.use_low_latency", 'w', "false", 0},
    {"subscriptions.region_sub_gets_nonregion", 'w', "true", 0},
    {"subscriptions.nonregion_sub_gets_region", 'w', "true", 0},
    {"subscriptions.validate_regions", 'w', "true", 0},
    {"subscriptions.force_static_spaces", 'w', "true", 0},
    {"subscriptions.one_byclass_stream", 'w', "false", 0},
    {"updates.sort_attributes", 'w', "true", 0},
    {"updates.pass_times", 'w', "false", 0},
    {"updates.perfect_filter", 'w', "true", 0},
    {"updates.send_trans_attrs", 'w', "false", 0},
    {"objects.deletion_memory_length", 'i', nullptr, 5000},
    {"objects.creation_announcements", 'w', "true", 0},
    {"queries.bundle_query_timeout", 'i', nullptr, 100},
    {"queries.query_backoff_window", 'i', nullptr, 100},
    {"federation.heartbeat_interval", 'i', nullptr, 5},
    {"federation.join_timeout", 'i', nullptr, 6},
    {"federation.federate_amber_timeout", 'i', nullptr, 12},
    {"federation.federate_red_timeout", 'i', nullptr, 30},
    {"federation.federate_gone_timeout", 'i', nullptr, 60},
    {"disable.syncpoints", 'w', "enabled", 0},
    {"disable.saverestore", 'w', "enabled", 0},
    {"disable.queries", 'w', "enabled", 0},
    {"disable.ownership", 'w', "enabled", 0},
    {"disable.timeadvance", 'w', "enabled", 0},
    {"disable.regions", 'w', "enabled", 0},
    {"connectivity.default_uplink", 's', "multicast", 0},
    {"connectivity.default_server", 's', "unnecessary", 0},
    {"connectivity.network_device", 's', "", 0},
    {"connectivity.interface", 's', "127.0.0.1", 0},
    {"connectivity.receive_buffer_size", 'i', nullptr, 512},
    {"connectivity.send_buffer_size", 'i', nullptr, 512},
    {"connectivity.connectivity_map", 'g', nullptr, 0},
    {"connectivity.spawn_router", 'w', "false", 0},
    {"management_objects.mom_interval", 'i', nullptr, 10},
    {"virtual_terminal.accept_connections", 'w', "true", 0},
    {"console.listen_address", 's', "127.0.0.1", 0},
    {"console.telnet_port", 'i', nullptr, 2323},
    {"console.local_keyboard", 'w', "false", 0},
    {"remote_terminal.accept", 's', "loopback", 0},
    {"ordering.queue_warning_length", 'i', nullptr, 100000},
    {"time.join_state_wait", 'i', nullptr, 3000},
    {"ownership.query_timeout", 'i', nullptr, 5000},
    {"ownership.failover_claim_window", 'i', nullptr, 30000},
    {"ownership.takeover_delay", 'i', nullptr, 10000},
    {"ownership.takeover_spread", 'i', nullptr, 10000},
    {"debug_flags", 'g', nullptr, 0},
    {"workarounds", 'g', nullptr, 0},
    {"plugins", 'g', nullptr, 0},
};

void expect_default(RID& rid, const default_key& key) {
  SCOPED_TRACE(key.key);
  switch (key.kind) {
    case 'i':
      EXPECT_EQ(rid.get_integer(key.key), static_cast<int32_t>(key.number));
      break;
    case 'r':
      EXPECT_EQ(rid.get_real(key.key), key.number);
      break;
    case 's':
    case 'w':
      ASSERT_NE(rid.get_string(key.key), nullptr);
      EXPECT_STREQ(rid.get_string(key.key), key.text);
      break;
    case 'g': {
      Document::Element* entry = rid.get_entry(key.key);
      ASSERT_NE(entry, nullptr);
      EXPECT_EQ(entry->num_values(), 0u);
      EXPECT_EQ(entry->num_children(), 0u);
      break;
    }
  }
}

TEST_F(RidTest, MissingFileLeavesEveryDefaultReadable) {
  const std::string path = folder_ + "/absent.rid";
  setenv("RTI_RID_FILE", path.c_str(), 1);
  auto rid = build();
  EXPECT_NE(messages_.find("RID::RID: RID file " + path + " not found\n" + using_defaults), std::string::npos)
      << messages_;
  EXPECT_STREQ(rid->get_rid_filename(), "Internal Defaults Only");
  EXPECT_EQ(rid->get_checksum(), 0u);
  EXPECT_EQ(rid->get_rid_file()->num_children(), 0u);

  testing::internal::CaptureStderr();
  for (const default_key& key : default_keys) expect_default(*rid, key);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  // A few are read as the types the system asks for; the bare words true and false are booleans.
  EXPECT_TRUE(quietly([&] { return rid->get_boolean("updates", "perfect_filter"); }));
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("connectivity", "spawn_router"); }));
  EXPECT_EQ(messages_, "");
}

// The leaves of a RID tree below its two parameter sections, by dotted key, with their values.
void collect_leaves(const Document::Element& element, const std::string& key,
                    std::map<std::string, std::string>& leaves) {
  if (element.children.empty() || std::string(element.name) == "order") {
    leaves[key] = to_text(element);
    return;
  }
  for (const Document::Element& child : element.children)
    collect_leaves(child, key.empty() ? child.name : key + "." + child.name, leaves);
}

std::map<std::string, std::string> leaves_of(const char* text) {
  Document document;
  Document::Element templates, tree;
  EXPECT_EQ(document.readString(rid_templates_text, templates), Document::ok);
  EXPECT_EQ(document.readString(text, tree), Document::ok);
  EXPECT_STREQ(tree.name, "rti");
  EXPECT_EQ(tree.children.size(), 3u);
  std::map<std::string, std::string> leaves;
  leaves["version"] = to_text(tree.children.at(0));
  for (size_t i = 1; i < tree.children.size(); ++i) collect_leaves(tree.children[i], "", leaves);
  return leaves;
}

TEST(RidTexts, DefaultsAndMimicDescribeTheSameKeys) {
  const auto defaults = leaves_of(rid_defaults_text);
  const auto mimic = leaves_of(rid_brenlo_mimic_text);
  EXPECT_EQ(defaults.at("version"), "(version D22)");
  std::set<std::string> listed{"version", "connectivity_providers.multicast.order"};
  for (const default_key& key : default_keys) listed.insert(key.key);
  std::set<std::string> in_defaults, differing;
  for (const auto& [key, value] : defaults) {
    in_defaults.insert(key);
    ASSERT_EQ(mimic.count(key), 1u) << key;
    if (mimic.at(key) != value) differing.insert(key);
  }
  EXPECT_EQ(in_defaults, listed);
  EXPECT_EQ(mimic.size(), defaults.size());
  const std::set<std::string> expected_differences{"connectivity_providers.multicast.base_address",
                                                   "connectivity_providers.multicast.port",
                                                   "transport_types.reliable.message_service",
                                                   "transport_types.reliable.message_priority",
                                                   "subscriptions.one_byclass_stream",
                                                   "updates.sort_attributes",
                                                   "objects.creation_announcements",
                                                   "queries.bundle_query_timeout",
                                                   "queries.query_backoff_window",
                                                   "disable.syncpoints",
                                                   "disable.saverestore",
                                                   "disable.ownership",
                                                   "disable.timeadvance"};
  EXPECT_EQ(differing, expected_differences);
}

TEST_F(RidTest, TemplatesExpandIntoProviders) {
  setenv("RTI_RID_FILE", (folder_ + "/absent.rid").c_str(), 1);
  auto defaults = build();
  Document::Element* order = defaults->get_entry("connectivity_providers", "multicast", "order");
  ASSERT_NE(order, nullptr);
  EXPECT_EQ(to_text(*order), "(order bundler fragment_reassembly rate_limit comms_status udp_multicast)");

  // User files name the other templates the same way.
  use_file(rid_text(
      "D22",
      "(federation_parameters (connectivity_providers (fast UDPCMP_PATH (port 1)) (none NULL_PATH)))"));
  auto rid = build();
  EXPECT_EQ(messages_, "");
  Document::Element* fast = rid->get_entry("connectivity_providers", "fast");
  ASSERT_NE(fast, nullptr);
  EXPECT_EQ(to_text(*fast),
            "(fast (order multicast_emulation roundtrip_latency bundler compressor fragment_reassembly"
            " rate_limit packet_loss comms_status udp_connection) (port 1))");
  EXPECT_EQ(to_text(*rid->get_entry("connectivity_providers", "none")), "(none (order crossover_node))");
}

TEST_F(RidTest, DefaultFileNameIsRtiRidInWorkingDirectory) {
  unsetenv("RTI_RID_FILE");
  const auto previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_);
  auto missing = build();
  EXPECT_NE(messages_.find("RID::RID: RID file RTI.rid not found\n"), std::string::npos) << messages_;

  std::ofstream(folder_ + "/RTI.rid") << rid_text("D22");
  auto found = build();
  std::filesystem::current_path(previous);
  EXPECT_EQ(messages_, "");
  EXPECT_STREQ(found->get_rid_filename(), "RTI.rid");
  EXPECT_EQ(found->get_integer("federation", "heartbeat_interval"), 7);
}

TEST_F(RidTest, ReleaseNumberDecidesTheVersion) {
  for (const char* version : {"D22", "\"22\"", "X22", "\"D022\""}) {
    SCOPED_TRACE(version);
    const std::string path = use_file(rid_text(version));
    auto rid = build();
    EXPECT_EQ(messages_, "");
    EXPECT_EQ(rid->get_rid_filename(), path);
    EXPECT_EQ(rid->get_integer("queries", "bundle_query_timeout"), 250);
  }
  for (const char* version : {"D21", "D220", "\"\"", "DD22"}) {
    SCOPED_TRACE(version);
    const std::string path = use_file(rid_text(version));
    auto rid = build();
    EXPECT_EQ(messages_, "RID::RID: RID file " + path + " is not for RTI version D22\n" + using_defaults);
    EXPECT_STREQ(rid->get_rid_filename(), "Internal Defaults Only");
    EXPECT_EQ(rid->get_integer("queries", "bundle_query_timeout"), 100);
  }
  // A version that is not a string, or none at all, is a malformed file.
  for (const std::string& text :
       {rid_text("22"), rid_text("2.2"), std::string("(rti (version) (federation_parameters))"),
        std::string("(rti (federation_parameters))")}) {
    SCOPED_TRACE(text);
    const std::string path = use_file(text);
    auto rid = build();
    EXPECT_EQ(messages_, "RID::RID: RID file " + path + " is in an incorrect format\n" + using_defaults);
    EXPECT_EQ(rid->get_checksum(), 0u);
  }
}

TEST_F(RidTest, UnusableFilesLeaveTheDefaults) {
  const std::string wrong = use_file("(configuration (version D22) (federation_parameters))");
  auto rid = build();
  EXPECT_EQ(messages_, "RID::RID: RID file " + wrong + " is in the wrong format\n" + using_defaults);

  // Texts that do not parse, including empty and binary ones.
  for (const std::string& text : {std::string(), std::string("version D22"), std::string("\x01\x02(rti", 5),
                                  std::string("(rti (version D22) (5 { (b) }))")}) {
    SCOPED_TRACE(text);
    const std::string path = use_file(text);
    auto broken = build();
    EXPECT_NE(messages_.find("RID::RID: Error reading RID file " + path + "\n" + using_defaults),
              std::string::npos)
        << messages_;
    EXPECT_STREQ(broken->get_rid_filename(), "Internal Defaults Only");
    EXPECT_EQ(quietly([&] { return broken->get_integer("federation", "join_timeout"); }), 6);
    EXPECT_EQ(messages_, "");
  }
}

TEST_F(RidTest, MissingGroupFallsBackToTheDefaultGroup) {
  use_file(rid_text("D22", "(federation_parameters (federation (join_timeout 2)))"));
  auto rid = build();
  EXPECT_EQ(quietly([&] { return rid->get_integer("queries", "bundle_query_timeout"); }), 100);
  EXPECT_EQ(messages_, "RID::get_entry: warning: section queries defaulted\n");
  EXPECT_EQ(quietly([&] { return rid->get_real("connectivity_providers.multicast.ratelimit_max_mbps"); }),
            75.0);
  EXPECT_EQ(messages_, "RID::get_entry: warning: section connectivity_providers defaulted\n");
}

// Sections of our own came after RID files were written: a file without one takes its default
// without the warning, a file with one is read as every other key is.
TEST_F(RidTest, OwnKeysDefaultQuietlyWhenTheFileLacksTheirSection) {
  use_file(rid_text("D22"));
  auto without = build();
  EXPECT_EQ(quietly([&] { return without->get_own_integer("ordering", "queue_warning_length"); }), 100000);
  EXPECT_EQ(messages_, "");
  use_file(rid_text("D22", federation_part, "(federate_parameters (ordering (queue_warning_length 7)))"));
  auto with = build();
  EXPECT_EQ(quietly([&] { return with->get_own_integer("ordering", "queue_warning_length"); }), 7);
  use_file(rid_text("D22", federation_part, "(federate_parameters (ordering (other 1)))"));
  auto empty = build();
  EXPECT_EQ(quietly([&] { return empty->get_own_integer("ordering", "queue_warning_length"); }), 0);
  EXPECT_NE(messages_.find("tag ordering.queue_warning_length not found"), std::string::npos) << messages_;
}

TEST_F(RidTest, IncompleteGroupHasNoFallback) {
  use_file(rid_text("D22", "(federation_parameters (queries (query_backoff_window 9)))"));
  auto rid = build();
  EXPECT_EQ(quietly([&] { return rid->get_integer("queries", "bundle_query_timeout"); }), 0);
  EXPECT_EQ(messages_,
            "RID::get_entry: tag queries.bundle_query_timeout not found\n"
            "RID::get_integer: tag queries.bundle_query_timeout is not an integer value\n");
  EXPECT_EQ(quietly([&] { return rid->get_string("nosuch", "key"); }), nullptr);
  EXPECT_EQ(messages_,
            "RID::get_entry: section nosuch not found\n"
            "RID::get_string: tag nosuch.key is not a string value\n");
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("queries", "missing"); }));
  EXPECT_EQ(
      messages_,
      "RID::get_entry: tag queries.missing not found\nRID::get_boolean: tag queries.missing is missing\n");
}

TEST_F(RidTest, AcceptedFileNeedsBothParameterSections) {
  use_file("(rti (version D22) (federation_parameters (queries (bundle_query_timeout 5))))");
  auto rid = build();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(quietly([&] { return rid->get_entry("queries", "bundle_query_timeout"); }), nullptr);
  EXPECT_EQ(messages_, "RID::get_entry: missing federate_parameters section\n");
}

TEST_F(RidTest, GettersRefuseOtherKinds) {
  setenv("RTI_RID_FILE", (folder_ + "/absent.rid").c_str(), 1);
  auto rid = build();
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("disable", "syncpoints"); }));
  EXPECT_EQ(messages_, "RID::get_boolean: tag disable.syncpoints is not an boolean value\n");
  EXPECT_EQ(
      quietly([&] { return rid->get_real("connectivity_providers", "multicast", "ratelimit_max_mbps"); }),
      75.0);
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(quietly([&] { return rid->get_real("connectivity_providers", "multicast", "packet_size"); }),
            0.0);
  EXPECT_EQ(
      messages_,
      "RID::get_real: tag connectivity_providers.multicast.packet_size is not a floating point value\n");
  EXPECT_EQ(quietly([&] { return rid->get_integer("connectivity", "interface"); }), 0);
  EXPECT_EQ(messages_, "RID::get_integer: tag connectivity.interface is not an integer value\n");
  EXPECT_EQ(quietly([&] { return rid->get_string("federation", "join_timeout"); }), nullptr);
  EXPECT_EQ(messages_, "RID::get_string: tag federation.join_timeout is not a string value\n");
  // An integer is a boolean: non-zero is true.
  EXPECT_TRUE(quietly([&] { return rid->get_boolean("federation", "join_timeout"); }));
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("transport_types.best_effort.message_priority"); }));
  EXPECT_EQ(messages_, "");
  // An entry without a value has nothing to give.
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("connectivity", "connectivity_map"); }));
  EXPECT_EQ(messages_, "RID::get_boolean: tag connectivity.connectivity_map is missing\n");
  EXPECT_EQ(quietly([&] { return rid->get_entry(nullptr); }), nullptr);
  EXPECT_EQ(messages_, "RID::get_entry: section **NULL** not found\n");
}

TEST_F(RidTest, WordsTrueAndFalseInEitherCase) {
  use_file(rid_text("D22", "(federation_parameters (updates (a TRUE) (b FALSE) (c true) (d True)))"));
  auto rid = build();
  EXPECT_TRUE(quietly([&] { return rid->get_boolean("updates.a"); }));
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("updates.b"); }));
  EXPECT_TRUE(quietly([&] { return rid->get_boolean("updates.c"); }));
  EXPECT_EQ(messages_, "");
  EXPECT_FALSE(quietly([&] { return rid->get_boolean("updates.d"); }));
  EXPECT_EQ(messages_, "RID::get_boolean: tag updates.d is not an boolean value\n");
}

TEST_F(RidTest, SectionsAndTagsMayBeDotted) {
  use_file(rid_text("D22"));
  auto rid = build();
  EXPECT_EQ(quietly([&] { return rid->get_integer("federation.heartbeat_interval"); }), 7);
  EXPECT_EQ(quietly([&] { return rid->get_integer("connectivity_providers.multicast", "port"); }), 7300);
  EXPECT_EQ(quietly([&] { return rid->get_integer("connectivity_providers", "multicast.port"); }), 7300);
  EXPECT_EQ(
      quietly([&] { return rid->get_real("connectivity_providers", "multicast", "ratelimit_max_mbps"); }),
      12.5);
  // The file names the multicast template, whose order is expanded into its provider.
  EXPECT_NE(quietly([&] { return rid->get_entry("connectivity_providers.multicast.order"); }), nullptr);
  // A federate section is found after the federation sections.
  EXPECT_STREQ(quietly([&] { return rid->get_string("debug_flags"); }), "objects");
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(quietly([&] { return rid->get_integer("federation.heartbeat_interval.x"); }), 0);
  EXPECT_EQ(messages_,
            "RID::get_entry: tag federation.heartbeat_interval.x not found\n"
            "RID::get_integer: tag federation.heartbeat_interval.x is not an integer value\n");
}

TEST_F(RidTest, ChecksumCoversOnlyFederationParameters) {
  use_file(rid_text("D22"));
  const uint32_t base = build()->get_checksum();
  EXPECT_NE(base, 0u);

  use_file(
      rid_text("D22", federation_part, "(federate_parameters (connectivity (interface \"127.0.0.5\")))"));
  EXPECT_EQ(build()->get_checksum(), base);

  std::string changed = federation_part;
  changed.replace(changed.find("250"), 3, "251");
  use_file(rid_text("D22", changed));
  EXPECT_NE(build()->get_checksum(), base);

  use_file(rid_text("D22", "(federation_parameters (queries (bundle_query_timeout 250)))"));
  EXPECT_NE(build()->get_checksum(), base);
}

const char brenlo_static_grid[] = R"(
(RTI
  (ProcessSection (RTIMode Connectionless))
  (FederationSection
    (DataDistribution
      (ReceiverSideFiltering Disabled)
      (StrategyToUse StaticGridPartitioned)
      (Options
        (StaticGridPartitionedStrategyOptions
          (SpaceOptions Geo
            (DimensionOptions X (NumPartitions 4))
            (DimensionOptions Y (NumPartitions 2))
            (DimensionOptions Z))
          (SpaceOptions Other
            (DimensionOptions A (NumPartitions 0)))
          (SpaceOptions (DimensionOptions B)))))))
)";

TEST_F(RidTest, BrenloFileBecomesTheMimicWithItsRoutingSpaces) {
  const std::string path = use_file(brenlo_static_grid);
  auto rid = build();
  EXPECT_EQ(messages_, "RID::RID: Attempting to translate Brenlo RID file " + path +
                           "\n"
                           "RID::RID: skipping a Brenlo space without a name\n");
  EXPECT_EQ(rid->get_rid_filename(), path);
  EXPECT_NE(rid->get_checksum(), 0u);

  // A few of the mimic's settings (the texts' test compares them all) and the file's filtering.
  testing::internal::CaptureStderr();
  EXPECT_EQ(rid->get_integer("connectivity_providers.multicast.port"), 2008);
  EXPECT_STREQ(rid->get_string("connectivity_providers.multicast.base_address"), "224.11.0.0");
  EXPECT_EQ(rid->get_integer("queries.bundle_query_timeout"), 1000);
  EXPECT_STREQ(rid->get_string("disable", "ownership"), "disabled");
  EXPECT_FALSE(rid->get_boolean("updates.perfect_filter"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  Document::Element* spaces = rid->get_entry("routing_spaces");
  ASSERT_NE(spaces, nullptr);
  ASSERT_EQ(spaces->num_children(), 2u);
  EXPECT_EQ(to_text(spaces->children[0]),
            "(Geo (type gridded) (bounds (X (domain 0 1)) (Y (domain 0 1)) (Z (domain 0 1)))"
            " (grid main (X (range 0 1) (size 4)) (Y (range 0 1) (size 2))))");
  // A count below one leaves the dimension out of the grid.
  EXPECT_EQ(to_text(spaces->children[1]), "(Other (type gridded) (bounds (A (domain 0 1))) (grid main))");
}

TEST_F(RidTest, BrenloFilteringAndStrategyChoices) {
  use_file(R"((RTI (ProcessSection (RTIMode Connectionless))
                   (FederationSection (DataDistribution (ReceiverSideFiltering Enabled)
                     (StrategyToUse Other)
                     (Options (StaticGridPartitionedStrategyOptions (SpaceOptions S (DimensionOptions X))))))))");
  auto rid = build();
  EXPECT_TRUE(quietly([&] { return rid->get_boolean("updates.perfect_filter"); }));
  EXPECT_EQ(quietly([&] { return rid->get_entry("routing_spaces"); })->num_children(), 0u);

  // Without a strategy word the static grid is used.
  use_file(R"((RTI (ProcessSection (RTIMode Connectionless))
                   (FederationSection (DataDistribution (StrategyToUse 3)
                     (Options (StaticGridPartitionedStrategyOptions (SpaceOptions S (DimensionOptions X))))))))");
  auto numbered = build();
  EXPECT_EQ(quietly([&] { return numbered->get_entry("routing_spaces"); })->num_children(), 1u);
}

TEST_F(RidTest, BrenloFileInAnotherModeIsRefused) {
  for (const char* mode : {"Connected", "\"connectionless\"", ""}) {
    SCOPED_TRACE(mode);
    const std::string path =
        use_file(std::string("(RTI (ProcessSection (RTIMode ") + mode + ")) (FederationSection))");
    auto rid = build();
    EXPECT_EQ(messages_, "RID::RID: Attempting to translate Brenlo RID file " + path + "\n" +
                             "RID::RID: RID file " + path + " is in the wrong format\n" + using_defaults);
    EXPECT_STREQ(rid->get_rid_filename(), "Internal Defaults Only");
  }
}

TEST_F(RidTest, BrenloMc02HyperspacesBecomeNestedGrids) {
  use_file(R"(
(RTI
  (ProcessSection (RTIMode Connectionless))
  (FederationSection
    (DataDistribution
      (StrategyToUse MC02)
      (Options
        (MC02StrategyOptions
          (HyperSpace Geo (dimension1 X) (dimension2 Y) (NumberOfSubspacePartitions 2)
            (subspace (dimension1 0.0 0.5) (dimension2 0 1) (NumberOfSubspacePartitions 4))
            (subspace (dimension1 0.5 0.25) (dimension2 0.0 0.5))
            (subspace (dimension1 0.5 2.0) (dimension2 0.0 0.5))
            (subspace (dimension1 0.75 1.0) (dimension2 0.0 0.5)))
          (HyperSpace Flat (dimension1 X))
          (HyperSpace Plain (dimension1 U) (dimension2 V)))))))
)");
  auto rid = build();
  EXPECT_NE(messages_.find("skipping a Brenlo hyperspace"), std::string::npos) << messages_;
  EXPECT_NE(messages_.find("skipping a Brenlo subspace"), std::string::npos) << messages_;
  Document::Element* spaces = quietly([&] { return rid->get_entry("routing_spaces"); });
  ASSERT_NE(spaces, nullptr);
  ASSERT_EQ(spaces->num_children(), 2u);
  EXPECT_EQ(to_text(spaces->children[0]),
            "(Geo (type gridded) (bounds (X (domain 0 1)) (Y (domain 0 1)))"
            " (grid main (X (range 0 1) (size 2)) (Y (range 0 1) (size 2)))"
            " (grid subspace1 (X (range 0.00 0.50) (size 4)) (Y (range 0 1) (size 4)))"
            " (grid subspace4 (X (range 0.75 1.00) (size 1)) (Y (range 0.00 0.50) (size 1))))");
  EXPECT_EQ(to_text(spaces->children[1]),
            "(Plain (type gridded) (bounds (U (domain 0 1)) (V (domain 0 1)))"
            " (grid main (U (range 0 1) (size 1)) (V (range 0 1) (size 1))))");
}

TEST_F(RidTest, XmlFileCarriesSettingsInNameAttributes) {
  const std::string path = use_file(R"(<?xml version="1.0"?>
<rti>
  <version name="D22"/>
  <federation_parameters>
    <federation><heartbeat_interval name="9"/></federation>
    <connectivity_providers><multicast><ratelimit_max_mbps name="12.5"/></multicast></connectivity_providers>
  </federation_parameters>
  <federate_parameters>
    <connectivity><interface name="127.0.0.2"/></connectivity>
  </federate_parameters>
</rti>
)",
                                    "test.xml");
  auto rid = build();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(rid->get_rid_filename(), path);
  testing::internal::CaptureStderr();
  EXPECT_EQ(rid->get_integer("federation.heartbeat_interval"), 9);
  EXPECT_EQ(rid->get_real("connectivity_providers.multicast.ratelimit_max_mbps"), 12.5);
  EXPECT_STREQ(rid->get_string("connectivity.interface"), "127.0.0.2");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(RidTest, FileUrlIsRead) {
  const std::string path = use_file(rid_text("D22"));
  const std::string url = "file://" + path;
  setenv("RTI_RID_FILE", url.c_str(), 1);
  auto rid = build();
  EXPECT_EQ(messages_, "");
  EXPECT_EQ(rid->get_rid_filename(), url);
  EXPECT_EQ(quietly([&] { return rid->get_integer("federation", "heartbeat_interval"); }), 7);
}

}  // namespace
