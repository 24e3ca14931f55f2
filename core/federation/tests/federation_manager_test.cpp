#include "federation/federation_manager.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "frame/debugging_events.h"
#include "federation/federate_handle_set.h"
#include "federation/federate_join_client.h"
#include "fed/fed.h"
#include "federation/federation_listing.h"
#include "ldm_buf.h"
#include "frame/ldm_error.h"
#include "rid.h"
#include "stream_manager.h"
#include "stream_service.h"
#include "ldm_refusals.h"
#include "test_rid.h"
#include "test_ldm.h"
#include "test_ports.h"

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

// The port of a test federation; each test case has its own index.
uint16_t fm_port(uint16_t index) { return test_port(port_block::federation_manager_test, index); }

// Records what a federate_join_client hears, one line per call.
class recording_client : public federate_join_client {
public:
  std::vector<std::string> heard;
  void federate_joined(federate_record* federate) override { heard.push_back("joined " + federate->name); }
  void federate_gone(federate_record* federate) override { heard.push_back("gone " + federate->name); }
};

// A sender of hand-made fedstate messages through another federate's stream manager.
class fedstate_sender : private stream_service_client {
public:
  explicit fedstate_sender(local_distribution_manager& via)
      : service_(&via.get_stream_manager(), this, "federation_manager") {}

  void send(const fedstate_message& message) {
    send_raw([&](ldm_buf& buffer) { message.write(buffer); });
  }
  void send_raw(const std::function<void(ldm_buf&)>& write) {
    ldm_buf* buffer = service_.get_buf();
    write(*buffer);
    service_.send_broadcast(1, 0x20, buffer);
    service_.flush(1);
    buffer->release_buf();
  }

private:
  void receive(int, unsigned char, ldm_buf*) override {}
  stream_service service_;
};

// Federates in one process on one stepped clock, ticked in turn: timing is exact and nothing
// sleeps.
class FederationManagerTest : public ::testing::Test {
protected:
  void TearDown() override {
    nodes_.clear();
    for (const auto& path : paths_) std::filesystem::remove(path);
  }

  // A new federate on the settings' RID.
  test_ldm& make(const test_rid_options& settings) {
    const scoped_rid_file rid(settings);
    nodes_.push_back(std::make_unique<test_ldm>(clock_));
    return *nodes_.back();
  }

  // Ticks every federate in turn, one stepped millisecond apart, until done() holds; false after
  // timeout_s stepped seconds.
  bool tick_until(const std::function<bool()>& done, double timeout_s = 10) {
    const uint64_t end = clock_.counter + static_cast<uint64_t>(timeout_s * 1000);
    while (clock_.counter < end) {
      for (auto& node : nodes_) node->tick();
      if (done()) return true;
      clock_.advance(1);
    }
    return false;
  }
  // Stepped milliseconds so far.
  uint64_t now() const { return clock_.counter; }
  void tick_for(double seconds) {
    tick_until([] { return false; }, seconds);
  }

  static bool knows(local_distribution_manager& ldm, const char* federation) {
    return ldm.get_federation_manager().get_federations().count(federation) != 0;
  }

  std::vector<std::filesystem::path> paths_;  // files a test made, removed at its end
  manual_clock clock_;  // outlives the federates that read it
  std::vector<std::unique_ptr<test_ldm>> nodes_;
};

const char* const demo_fed = EXAMPLES_DIR "/demo.fed";
const char* const training_fed = EXAMPLES_DIR "/training.fed";

size_t count_of(const std::string& text, const std::string& what) {
  size_t count = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

TEST(FederationNumbers, NameHashIsOneAtATimeMaskedTo31Bits) {
  EXPECT_EQ(name_hash(""), 0u);
  EXPECT_EQ(name_hash("a"), 0xCA2E9442u & 0x7FFFFFFF);
  // Bytes above 0x7F count as unsigned.
  EXPECT_NE(name_hash("\xE9"), name_hash("\x69"));
  federate_identifier id;
  id.set_components(0x7F000001, 0x1234, 7);
  EXPECT_EQ(identifier_hash(id), id.hash() & 0x7FFFFFFF);
}

TEST(FederateHandleSet, KeepsHandlesOnceInAscendingOrder) {
  federate_handle_set set;
  for (unsigned handle : {9u, 3u, 9u, 0x7FFFFFFFu, 4u}) set.insert(handle);
  set.erase(4);
  set.erase(5);
  EXPECT_EQ(set.size(), 3u);
  EXPECT_TRUE(set.contains(3));
  EXPECT_FALSE(set.contains(4));
  EXPECT_EQ(std::vector<unsigned>(set.begin(), set.end()), (std::vector<unsigned>{3, 9, 0x7FFFFFFF}));
  set.clear();
  EXPECT_TRUE(set.empty());
}

// A message as written locally, read back as a receiver sees it.
class FedstateMessageTest : public ::testing::Test {
protected:
  // Reading past the end of a buffer marked as received throws, as it does for the transport.
  fedstate_message round_trip(const std::function<void(ldm_buf&)>& write) {
    ldm_buf* buffer = pool_->get_buf();
    write(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    struct releaser {
      ldm_buf* held;
      ~releaser() { held->release_buf(); }
    } release{buffer};
    return fedstate_message::read(*buffer);
  }

  static fedstate_message sample() {
    fedstate_message m;
    m.federation.set_components(0x7F000001, 10, 1);
    m.federation_name = "Demo";
    m.number = name_hash("Demo");
    m.rid_checksum = 0xDEADBEEF;
    m.fed_file = "demo.fed";
    m.fed_checksum = 0x12345678;
    m.federate.set_components(0x7F000001, 11, 2);
    m.handle = identifier_hash(m.federate);
    m.federate_name = "pilot";
    m.host_name = "box";
    m.state = federate_state::resigned;
    m.local_objects = 4;
    m.remote_objects = 5;
    return m;
  }

  void TearDown() override { pool_->destroy(); }

  buffer_manager_factory factory_{1, 0};
  buffer_pool_manager* pool_ = factory_.get_pool(1448);
};

TEST_F(FedstateMessageTest, FieldsSurviveTheWire) {
  const fedstate_message m = sample();
  const fedstate_message r = round_trip([&](ldm_buf& b) { m.write(b); });
  EXPECT_EQ(r.federation, m.federation);
  EXPECT_EQ(r.number, m.number);
  EXPECT_EQ(r.federation_name, "Demo");
  EXPECT_EQ(r.rid_checksum, 0xDEADBEEFu);
  EXPECT_EQ(r.fed_file, "demo.fed");
  EXPECT_EQ(r.fed_checksum, 0x12345678u);
  EXPECT_EQ(r.federate, m.federate);
  EXPECT_EQ(r.handle, m.handle);
  EXPECT_EQ(r.federate_name, "pilot");
  EXPECT_EQ(r.host_name, "box");
  EXPECT_EQ(r.state, federate_state::resigned);
  EXPECT_EQ(r.local_objects, 4u);
  EXPECT_EQ(r.remote_objects, 5u);
}

TEST_F(FedstateMessageTest, MalformedMessagesAreRefusedAsUndecodable) {
  fedstate_message bad_state = sample();
  bad_state.state = static_cast<federate_state>(3);
  EXPECT_THROW(round_trip([&](ldm_buf& b) { bad_state.write(b); }), ldm_decode_error);
  fedstate_message bad_number = sample();
  bad_number.number ^= 1;
  EXPECT_THROW(round_trip([&](ldm_buf& b) { bad_number.write(b); }), ldm_decode_error);
  fedstate_message wildcard = sample();
  wildcard.federate = federate_identifier(federate_identifier_type::nocompare);
  EXPECT_THROW(round_trip([&](ldm_buf& b) { wildcard.write(b); }), ldm_decode_error);
  fedstate_message long_name = sample();
  long_name.federate_name.assign(fedstate_message::max_text + 1, 'x');
  EXPECT_THROW(round_trip([&](ldm_buf& b) { long_name.write(b); }), ldm_decode_error);
  // Truncated after the federate identifier.
  const fedstate_message m = sample();
  EXPECT_THROW(round_trip([&](ldm_buf& b) {
                 b << m.federation << m.number << m.federation_name.c_str() << m.rid_checksum << m.fed_file.c_str()
                   << m.fed_checksum << m.federate;
               }),
               ldm_decode_error);
  // A long host name is cut to 255 characters rather than refused.
  fedstate_message long_host = sample();
  long_host.host_name.assign(300, 'h');
  EXPECT_EQ(round_trip([&](ldm_buf& b) { long_host.write(b); }).host_name.size(), 255u);
}

TEST_F(FederationManagerTest, CreateJoinResignDestroyAcrossFederates) {
  test_ldm& a = make({.port = fm_port(0)});
  test_ldm& b = make({.port = fm_port(0)});
  recording_client a_hears;
  a.get_federation_manager().add_federate_join_client(&a_hears);

  a.create_federation_execution("Demo", demo_fed);
  // Created but not yet joined: nothing is announced, so b does not know the federation.
  tick_for(0.3);
  EXPECT_FALSE(knows(b, "Demo"));
  expect_refusal(refusal_of([&] { b.join_federation_execution("bravo", "Demo"); }),
                 ldm_error::FederationExecutionDoesNotExist, "Can't find federation Demo");

  const unsigned alpha = a.join_federation_execution("alpha", "Demo");
  EXPECT_EQ(alpha, identifier_hash(a.get_federation_manager().get_identifier()));
  ASSERT_TRUE(tick_until([&] { return knows(b, "Demo"); }));
  expect_refusal(refusal_of([&] { b.create_federation_execution("Demo", demo_fed); }),
                 ldm_error::FederationExecutionAlreadyExists, "Found existing federation Demo");
  // b has no model loaded by a create of its own: it loads the one the creator named.
  const unsigned bravo = b.join_federation_execution("bravo", "Demo");
  EXPECT_EQ(b.get_federation_id(), a.get_federation_id());
  EXPECT_EQ(b.get_federation(), a.get_federation());
  ASSERT_TRUE(tick_until([&] { return a.get_num_joined_federates() == 2; }));
  EXPECT_EQ(a_hears.heard, std::vector<std::string>{"joined bravo"});
  EXPECT_STREQ(a.get_federate_name(bravo), "bravo");
  EXPECT_STREQ(b.get_federate_name(alpha), "alpha");
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  EXPECT_STREQ(a.get_federate_hostname(bravo), host);

  expect_refusal(refusal_of([&] { a.destroy_federation_execution("Demo"); }), ldm_error::FederatesCurrentlyJoined,
                 "Federation Demo has federates; could not destroy");
  b.resign_federation_execution(false, false, false);
  ASSERT_TRUE(tick_until([&] { return a.get_num_joined_federates() == 1; }));
  EXPECT_EQ(a_hears.heard, (std::vector<std::string>{"joined bravo", "gone bravo"}));
  a.resign_federation_execution(false, false, false);
  // b created nothing: once the last Resigned message is heard, its record goes with the sweep.
  ASSERT_TRUE(tick_until([&] { return !knows(b, "Demo"); }));
  a.destroy_federation_execution("Demo");
  expect_refusal(refusal_of([&] { a.destroy_federation_execution("Demo"); }),
                 ldm_error::FederationExecutionDoesNotExist, "Federation Demo not found; could not destroy");
  a.get_federation_manager().remove_federate_join_client(&a_hears);
}

TEST_F(FederationManagerTest, SimultaneousCreatesOfOneNameBothSucceedAndMerge) {
  test_ldm& a = make({.port = fm_port(1)});
  test_ldm& b = make({.port = fm_port(1)});
  a.create_federation_execution("Twin", demo_fed);
  b.create_federation_execution("Twin", demo_fed);
  a.join_federation_execution("alpha", "Twin");
  b.join_federation_execution("bravo", "Twin");
  ASSERT_TRUE(tick_until([&] { return a.get_num_joined_federates() == 2 && b.get_num_joined_federates() == 2; }));
  // Each keeps its own record: heard ones never replace it.
  EXPECT_TRUE(a.get_federation_manager().get_joined_federation()->created_here);
  EXPECT_EQ(a.get_federation(), a.get_federation_manager().get_identifier());
  EXPECT_EQ(b.get_federation(), b.get_federation_manager().get_identifier());
}

TEST_F(FederationManagerTest, FederatesOfAnotherFederationOnThePortStayApart) {
  test_ldm& a = make({.port = fm_port(2)});
  test_ldm& b = make({.port = fm_port(2)});
  recording_client a_hears;
  a.get_federation_manager().add_federate_join_client(&a_hears);
  a.create_federation_execution("One", demo_fed);
  a.join_federation_execution("alpha", "One");
  b.create_federation_execution("Two", demo_fed);
  b.join_federation_execution("alpha2", "Two");
  ASSERT_TRUE(tick_until([&] { return knows(a, "Two") && knows(b, "One"); }));
  tick_for(0.1);
  EXPECT_EQ(a.get_num_joined_federates(), 1u);
  EXPECT_EQ(a.get_num_matching_federates("alpha"), 1u);
  EXPECT_STREQ(a.get_federate_name(b.get_federate_id()), "");
  EXPECT_TRUE(a_hears.heard.empty());
  a.get_federation_manager().remove_federate_join_client(&a_hears);
}

TEST_F(FederationManagerTest, MatchingUsesCaseInsensitiveExtendedExpressions) {
  test_ldm& a = make({.port = fm_port(3)});
  test_ldm& b = make({.port = fm_port(3)});
  test_ldm& c = make({.port = fm_port(3)});
  a.create_federation_execution("Demo", demo_fed);
  a.join_federation_execution("Tank-1", "Demo");
  ASSERT_TRUE(tick_until([&] { return knows(b, "Demo") && knows(c, "Demo"); }));
  b.join_federation_execution("tank-2", "Demo");
  c.join_federation_execution("Plane", "Demo");
  ASSERT_TRUE(tick_until([&] { return a.get_num_joined_federates() == 3; }));

  EXPECT_EQ(a.get_num_matching_federates("^TANK-[0-9]+$"), 2u);
  EXPECT_EQ(a.get_num_matching_federates(".*"), 3u);
  EXPECT_EQ(a.get_num_matching_federates("(unclosed"), 0u);
  std::vector<unsigned> matched(2);
  a.get_matching_federates("tank", matched.data());
  std::vector<unsigned> expected{a.get_federate_id(), b.get_federate_id()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(matched, expected);
  std::vector<unsigned> all(3);
  a.get_joined_federates(all.data());
  EXPECT_TRUE(std::is_sorted(all.begin(), all.end()));
}

TEST_F(FederationManagerTest, SilentFederateTurnsAmberRedAndGoneEachTracedOnce) {
  const test_rid_options settings{.port = fm_port(4), .heartbeat = 1, .amber = 1, .red = 2, .gone = 3};
  test_ldm& a = make(settings);
  test_ldm& silent = make(settings);
  recording_client a_hears;
  a.get_federation_manager().add_federate_join_client(&a_hears);
  a.create_federation_execution("Demo", demo_fed);
  a.join_federation_execution("alpha", "Demo");
  ASSERT_TRUE(tick_until([&] { return knows(silent, "Demo"); }));
  const unsigned handle = silent.join_federation_execution("bravo", "Demo");
  ASSERT_TRUE(tick_until([&] { return a.get_num_joined_federates() == 2; }));

  std::ostringstream trace;
  a.get_debugging_events().turn_on("federation", &trace);
  // bravo stops: only a ticks from now on, so bravo sends no more heartbeats. Each state comes
  // within one 10 ms sweep after its timeout from the last time bravo was heard.
  const federation_record& demo = *a.get_federation_manager().get_federations().at("Demo");
  const federate_record* bravo = nullptr;
  for (const auto& [id, record] : demo.federates)
    if (record->handle == handle) bravo = record.get();
  ASSERT_NE(bravo, nullptr);
  uint64_t heard = 0, amber_at = 0, red_at = 0, gone_at = 0;
  for (const uint64_t end = now() + 20000; !gone_at && now() < end; clock_.advance(1)) {
    heard = bravo->last_heard;
    a.tick();
    if (a.get_num_joined_federates() == 1) gone_at = now();
    else if (!amber_at && bravo->liveness == federate_liveness::amber) amber_at = now();
    else if (!red_at && bravo->liveness == federate_liveness::red) red_at = now();
  }
  for (const auto& [at, timeout] : {std::pair{amber_at, 1000}, {red_at, 2000}, {gone_at, 3000}}) {
    EXPECT_GT(at, heard + timeout);
    EXPECT_LE(at, heard + timeout + 10);
  }
  const std::string id = "bravo (" + std::to_string(handle) + ")";
  EXPECT_EQ(count_of(trace.str(), "Federate Amber: " + id), 1u) << trace.str();
  EXPECT_EQ(count_of(trace.str(), "Federate Red: " + id), 1u);
  EXPECT_EQ(count_of(trace.str(), "Federate Gone: " + id), 1u);
  EXPECT_LT(trace.str().find("Amber"), trace.str().find("Red"));
  EXPECT_EQ(a_hears.heard, (std::vector<std::string>{"joined bravo", "gone bravo"}));
  a.get_debugging_events().turn_off("federation");
  a.get_federation_manager().remove_federate_join_client(&a_hears);
}

TEST_F(FederationManagerTest, JoinWithAnotherModelIsRejectedWithTheReport) {
  test_ldm& a = make({.port = fm_port(5)});
  test_ldm& b = make({.port = fm_port(5)});
  a.create_federation_execution("Demo", demo_fed);
  a.join_federation_execution("alpha", "Demo");
  ASSERT_TRUE(tick_until([&] { return knows(b, "Demo"); }));
  // b loads another model through a create of its own, then tries to join with it.
  b.create_federation_execution("Training", training_fed);
  testing::internal::CaptureStdout();
  const ldm_exception refusal = refusal_of([&] { b.join_federation_execution("bravo", "Demo"); });
  const std::string report = testing::internal::GetCapturedStdout();
  expect_refusal(refusal, ldm_error::InternalError, "Configuration file mismatch");
  EXPECT_NE(report.find("The FED file differs from the one used to create the federation.\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("Federation FED cksum: "), std::string::npos);
  EXPECT_EQ(report.find("RID cksum"), std::string::npos);
  EXPECT_NE(report.find("Join Rejected.\nIf you believe you have the correct FED, the existing federates are: \n"),
            std::string::npos);
  EXPECT_NE(report.find("alpha"), std::string::npos);
  EXPECT_NE(report.find(" FED: " + std::string(training_fed) + "\n"), std::string::npos);
  EXPECT_NE(report.find(" CWD: " + std::filesystem::current_path().string() + "\n\n"), std::string::npos);
  EXPECT_FALSE(b.is_joined());
  EXPECT_EQ(b.get_federation_manager().get_joined_federation(), nullptr);
}

TEST_F(FederationManagerTest, JoinWithAnotherRidReportsBothChecksums) {
  test_ldm& a = make({.port = fm_port(6)});
  test_ldm& b = make({.port = fm_port(6), .bundle_timeout = 21});
  a.create_federation_execution("Demo", demo_fed);
  a.join_federation_execution("alpha", "Demo");
  ASSERT_TRUE(tick_until([&] { return knows(b, "Demo"); }));
  b.create_federation_execution("Training", training_fed);
  testing::internal::CaptureStdout();
  const ldm_exception refusal = refusal_of([&] { b.join_federation_execution("bravo", "Demo"); });
  const std::string report = testing::internal::GetCapturedStdout();
  expect_refusal(refusal, ldm_error::InternalError, "Configuration file mismatch");
  EXPECT_NE(report.find("The RID and FED files differ from the ones used to create the federation.\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("Federation RID cksum: " + std::to_string(a.get_rid().get_checksum()) +
                        "   My RID cksum: " + std::to_string(b.get_rid().get_checksum())),
            std::string::npos);
}

// Hand-made messages of a federate that runs with another RID, in the joined federation.
fedstate_message mismatching_from(local_distribution_manager& joined, const federate_identifier& sender) {
  fedstate_message m;
  m.federation = joined.get_federation();
  m.federation_name = joined.get_federation_name();
  m.number = name_hash(m.federation_name.c_str());
  m.rid_checksum = joined.get_rid().get_checksum() + 1;
  m.fed_file = "demo.fed";
  m.fed_checksum = joined.get_fed()->get_checksum();
  m.federate = sender;
  m.handle = identifier_hash(sender);
  m.federate_name = "rogue";
  m.host_name = "elsewhere";
  return m;
}

TEST_F(FederationManagerTest, MismatchingHeartbeatsWarnOnceThenClearWhenTheyStop) {
  test_ldm& a = make({.port = fm_port(7), .gone = 1});
  test_ldm& via = make({.port = fm_port(7), .gone = 1});
  a.create_federation_execution("Demo", demo_fed);
  a.join_federation_execution("alpha", "Demo");
  fedstate_sender sender(via);
  const federate_identifier rogue(federate_identifier_type::local);
  testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    sender.send(mismatching_from(a, rogue));
    tick_for(0.05);
  }
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_EQ(count_of(warnings, "with a mismatched RID file\nfor federation Demo from machine: \n" +
                                   rogue.to_string() + "\n"),
            3u)
      << warnings;
  EXPECT_EQ(count_of(warnings, "!!!!!!!!!! WARNING !!!!!!!!!!!!!"), 2u);
  EXPECT_EQ(count_of(warnings, "do not go away in 2 seconds,\nthe federation will terminate."), 1u);
  // The messages stop: at the deadline the last one is older than the gone timeout, so the
  // watch is cleared and nobody is shut down.
  tick_for(2.5);
  EXPECT_EQ(a.get_federation_manager().get_own_federate()->state, federate_state::happy);
  testing::internal::CaptureStderr();
  sender.send(mismatching_from(a, rogue));
  tick_for(0.05);
  EXPECT_EQ(count_of(testing::internal::GetCapturedStderr(), "!!!!!!!!!! WARNING"), 2u);  // warned anew
}

TEST_F(FederationManagerTest, BadAndExcessMessagesAreDroppedAndCounted) {
  test_ldm& a = make({.port = fm_port(8)});
  test_ldm& via = make({.port = fm_port(8)});
  fedstate_sender sender(via);
  const auto& drops = a.get_stream_manager().get_drops();
  const uint64_t undecodable = drops.undecodable;
  sender.send_raw([](ldm_buf& b) { b << 1u << 2u << "x"; });
  ASSERT_TRUE(tick_until([&] { return drops.undecodable == undecodable + 1; }));

  // One federation per message, far more than the table holds.
  const size_t sent = federation_manager::max_federations + 50;
  for (size_t i = 0; i < sent; ++i) {
    fedstate_message m;
    m.federation = federate_identifier(federate_identifier_type::local);
    char name[32];
    std::snprintf(name, sizeof name, "flood%zu", i);
    m.federation_name = name;
    m.number = name_hash(m.federation_name.c_str());
    m.federate = federate_identifier(federate_identifier_type::local);
    m.federate_name = std::string(1, 'f');
    sender.send(m);
    if (i % 64 == 0) tick_for(0.01);
  }
  const federation_manager& fm = a.get_federation_manager();
  ASSERT_TRUE(tick_until([&] { return fm.get_federations().size() + fm.get_table_full_drops() >= sent; }));
  EXPECT_EQ(fm.get_federations().size(), federation_manager::max_federations);
  EXPECT_EQ(fm.get_table_full_drops(), 50u);
  std::ostringstream listing;
  print_federation_totals(fm, listing);
  EXPECT_EQ(listing.str(), "1024 federations, 1024 federates (1024 green, 0 amber, 0 red)\n");
}

TEST_F(FederationManagerTest, FirstCreateWaitsForTheJoinTimeoutOnlyOnce) {
  test_ldm& a = make({.port = fm_port(9), .join_timeout = 1});
  std::ostringstream trace;
  a.get_debugging_events().turn_on("federation", &trace);
  const uint64_t start = now();
  a.create_federation_execution("Demo", demo_fed);
  EXPECT_EQ(now() - start, 1000u);
  EXPECT_NE(trace.str().find(" Federation Demo  not found.\nFederation Demo created\n"), std::string::npos)
      << trace.str();
  const uint64_t second = now();
  a.create_federation_execution("Other", demo_fed);
  EXPECT_EQ(now(), second);
  a.get_debugging_events().turn_off("federation");
}

TEST_F(FederationManagerTest, UnreadableModelsAreRefusedByCreate) {
  test_ldm& a = make({.port = fm_port(10)});
  expect_refusal(refusal_of([&] { a.create_federation_execution("Demo", "/nonexistent/none.fed"); }),
                 ldm_error::CouldNotOpenFDD, "File not found: /nonexistent/none.fed");
  const auto broken = std::filesystem::temp_directory_path() / ("fm_broken_" + std::to_string(getpid()) + ".fed");
  std::ofstream(broken) << "(FED (Federation Demo) (FEDversion v1.3) (spaces) (objects (class";
  paths_.push_back(broken);
  expect_refusal(refusal_of([&] { a.create_federation_execution("Demo", broken.c_str()); }),
                 ldm_error::ErrorReadingFDD, "Error parsing file: " + broken.string());
  EXPECT_FALSE(knows(a, "Demo"));
}

// The federation-wide shut-down ends the process with status -1; each runs in a child process.
using FederationManagerDeathTest = FederationManagerTest;

TEST_F(FederationManagerDeathTest, PersistentMismatchShutsTheFederationDown) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto scenario = [&] {
        const test_rid_options settings{.port = fm_port(11), .amber = 1, .red = 1, .gone = 1};
        test_ldm& a = make(settings);
        test_ldm& via = make(settings);
        a.create_federation_execution("Demo", demo_fed);
        a.join_federation_execution("alpha", "Demo");
        fedstate_sender sender(via);
        const federate_identifier rogue(federate_identifier_type::local);
        // Past the 2 s deadline while the rogue keeps sending; a turns Vindictive, then ends
        // the process once the rogue, silent from then on, is gone.
        for (int i = 0; i < 250; ++i) {
          sender.send(mismatching_from(a, rogue));
          tick_for(0.01);
        }
        tick_for(10);
        std::exit(0);
  };
  EXPECT_EXIT(scenario(), testing::ExitedWithCode(255), "Killing federation due to RID/FED mismatch");
}

TEST_F(FederationManagerDeathTest, VindictiveFederateEndsTheOthersFiveSecondsLater) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto scenario = [&] {
        test_ldm& a = make({.port = fm_port(12)});
        test_ldm& via = make({.port = fm_port(12)});
        a.create_federation_execution("Demo", demo_fed);
        a.join_federation_execution("alpha", "Demo");
        fedstate_sender sender(via);
        fedstate_message vindictive = mismatching_from(a, federate_identifier(federate_identifier_type::local));
        vindictive.rid_checksum = a.get_rid().get_checksum();
        vindictive.federate_name = "boss";
        vindictive.state = federate_state::vindictive;
        sender.send(vindictive);
        ASSERT_TRUE(tick_until([&] { return a.get_federation_manager().get_own_federate()->state == federate_state::resigned; }));
        tick_for(4.99);
        std::fprintf(stderr, "still alive after 4.99 s\n");
        tick_for(0.05);
        std::exit(0);  // reached only when the process did not end; the exit code then tells
  };
  EXPECT_EXIT(scenario(), testing::ExitedWithCode(255), "still alive after 4.99 s");
}

}  // namespace
