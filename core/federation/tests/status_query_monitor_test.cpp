// Status queries between distribution managers in one process, ticked in turn on one stepped
// clock: who answers, whose answers a querier keeps, and the bounds a flood meets.
#include "federation/status_query_monitor.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "case_port.h"
#include "federation/federation_manager.h"
#include "ldm_buf.h"
#include "test_ldm.h"

using namespace brindle;
using namespace varnel;

namespace {

class StatusQueries : public testing::Test {
protected:
  void TearDown() override {
    nodes_.clear();
    pool_->destroy();
  }

  test_ldm& make() {
    test_rid_options options;
    options.port = case_port(port_block::status_query_monitor_test);
    const scoped_rid_file rid(options);
    nodes_.push_back(std::make_unique<test_ldm>(clock_));
    return *nodes_.back();
  }

  bool tick_until(const std::function<bool()>& done, uint64_t ms) {
    for (uint64_t end = clock_.counter + ms; clock_.counter < end; clock_.advance(1)) {
      for (auto& node : nodes_) node->tick();
      if (done()) return true;
    }
    return false;
  }
  void settle(uint64_t ms) { tick_until([] { return false; }, ms); }
  // Moves the clock to the start of its next second.
  void next_second() { clock_.advance(1000 - nodes_.front()->get_scheduler().get_clock().time() % 1000); }

  // A message as the monitor receives it from stream 1.
  void deliver(test_ldm& to, const status_message& message) {
    ldm_buf* buffer = pool_->get_buf();
    message.write(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    to.get_status_query_monitor().receive(status_query_monitor::stream, status_query_monitor::priority, buffer);
    buffer->release_buf();
  }

  static const federate_identifier& asker(test_ldm& ldm) { return ldm.get_federation_manager().get_identifier(); }
  static size_t answers(test_ldm& ldm, uint32_t query) {
    const status_query_monitor::query* open = ldm.get_status_query_monitor().find_query(query);
    return open ? open->answers.size() : 0;
  }

  manual_clock clock_;
  std::vector<std::unique_ptr<test_ldm>> nodes_;
  buffer_manager_factory factory_{1, 0};
  buffer_pool_manager* pool_ = factory_.get_pool(1448);
};

TEST_F(StatusQueries, EveryProcessAnswersAndUnjoinedAskersKeepOnlyTheirOwnAnswers) {
  test_ldm& x = make();
  test_ldm& y = make();
  test_ldm& z = make();
  z.create_federation_execution("Other", EXAMPLES_DIR "/demo.fed");
  ASSERT_TRUE(tick_until([&] { return z.get_federation_manager().get_federations().count("Other") > 0; }, 3000));
  z.join_federation_execution("zed", "Other");
  settle(50);

  // Both ask at once with the same query number; neither has a federate identifier yet.
  const uint32_t asked_x = x.get_status_query_monitor().ask();
  const uint32_t asked_y = y.get_status_query_monitor().ask();
  EXPECT_EQ(asked_x, asked_y);
  settle(300);
  EXPECT_EQ(answers(x, asked_x), 3u);
  EXPECT_EQ(answers(y, asked_y), 3u);
  EXPECT_EQ(x.get_status_query_monitor().get_drops().not_ours, 1u);

  const std::vector<status_snapshot>& got = x.get_status_query_monitor().find_query(asked_x)->answers;
  for (const status_snapshot& s : got) {
    EXPECT_EQ(s.version_banner, x.get_version_banner());
    if (s.federation_name.empty()) {  // x itself and y: zero identifier, no names, no objects
      EXPECT_EQ(s.federate, federate_identifier());
      EXPECT_EQ(s.federate_name, "");
      EXPECT_EQ(s.local_objects + s.remote_objects, 0u);
    } else {  // the federate of another federation answers too
      EXPECT_EQ(s.federation_name, "Other");
      EXPECT_EQ(s.federate_name, "zed");
      EXPECT_EQ(s.federate, z.get_federate());
    }
  }
  std::ostringstream listed, printed;
  x.get_status_query_monitor().print_queries(listed);
  EXPECT_NE(listed.str().find("Query 1 asked "), std::string::npos) << listed.str();
  EXPECT_NE(listed.str().find(" GMT: 3 answers\n"), std::string::npos) << listed.str();
  x.get_status_query_monitor().print_answers(asked_x, printed);
  EXPECT_NE(printed.str().find("zed on "), std::string::npos) << printed.str();
  EXPECT_NE(printed.str().find(" in Other, up 0d 00:00:00"), std::string::npos) << printed.str();
  EXPECT_NE(printed.str().find("<not joined> on "), std::string::npos) << printed.str();
}

TEST_F(StatusQueries, AFloodIsAnsweredTwentyTimesASecondAndEveryTableStaysBounded) {
  test_ldm& x = make();
  test_ldm& y = make();
  next_second();
  const uint32_t asked = y.get_status_query_monitor().ask();
  settle(100);
  ASSERT_EQ(answers(y, asked), 2u);

  // A hundred copies of y's query within the second: x answers 19 more, then in the next
  // second another 20.
  const status_message query{.kind = status_kind::query, .querier = asker(y), .number = asked, .snapshot = {}};
  for (int i = 0; i < 100; ++i) deliver(x, query);
  settle(200);
  EXPECT_EQ(answers(y, asked), 21u);
  EXPECT_EQ(x.get_status_query_monitor().get_drops().rate_limited, 81u);
  next_second();
  for (int i = 0; i < 100; ++i) deliver(x, query);
  settle(200);
  EXPECT_EQ(answers(y, asked), 41u);

  // Answers stop at the cap; answers to another querier or to no open query are not kept.
  status_message answer{.kind = status_kind::answer, .querier = asker(y), .number = asked, .snapshot = {}};
  for (int i = 0; i < 5000; ++i) deliver(y, answer);
  EXPECT_EQ(answers(y, asked), status_query_monitor::max_answers);
  answer.querier = asker(x);
  deliver(y, answer);
  answer.querier = asker(y);
  answer.number = asked + 100;
  deliver(y, answer);
  const status_query_monitor::drop_counts& drops = y.get_status_query_monitor().get_drops();
  EXPECT_EQ(drops.answers_full, 5000u - (status_query_monitor::max_answers - 41));
  EXPECT_EQ(drops.not_ours, 1u);
  EXPECT_EQ(drops.unknown_query, 1u);

  // Sixteen queries stay open: asking again drops the oldest.
  for (size_t i = 0; i < status_query_monitor::max_open_queries; ++i) y.get_status_query_monitor().ask();
  EXPECT_EQ(y.get_status_query_monitor().get_queries().size(), status_query_monitor::max_open_queries);
  EXPECT_EQ(y.get_status_query_monitor().find_query(asked), nullptr);
}

TEST(StatusMessages, DecoderRefusesUnknownKindsWildcardsAndLongRouterLists) {
  buffer_manager_factory factory{1, 0};
  buffer_pool_manager* pool = factory.get_pool(1448);
  auto read_back = [&](const std::function<void(ldm_buf&)>& write) {
    ldm_buf* buffer = pool->get_buf();
    write(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    try {
      status_message m = status_message::read(*buffer);
      buffer->release_buf();
      return m.kind;
    } catch (const ldm_decode_error&) {
      buffer->release_buf();
      throw;
    }
  };
  status_message answer{.kind = status_kind::answer, .querier = federate_identifier(federate_identifier_type::local),
                        .number = 3, .snapshot = {}};
  answer.snapshot.routers.resize(2);
  EXPECT_EQ(read_back([&](ldm_buf& b) { answer.write(b); }), status_kind::answer_with_routers);
  answer.snapshot.routers.resize(status_message::max_routers + 1);  // written cut to the cap
  EXPECT_EQ(read_back([&](ldm_buf& b) { answer.write(b); }), status_kind::answer_with_routers);

  const federate_identifier wildcard(federate_identifier_type::nocompare);
  EXPECT_THROW(read_back([&](ldm_buf& b) { b << int32_t{0} << wildcard << uint32_t{1}; }), ldm_decode_error);
  EXPECT_THROW(read_back([&](ldm_buf& b) { b << int32_t{3} << answer.querier << uint32_t{1}; }), ldm_decode_error);
  // A router list one over the cap, every entry present.
  EXPECT_THROW(read_back([&](ldm_buf& b) {
                 b << int32_t{2} << answer.querier << uint32_t{1} << "" << "" << uint32_t{0} << federate_identifier()
                   << "" << "" << "" << uint32_t{0} << uint32_t{0} << vessmark::conn_status{}
                   << uint32_t{status_message::max_routers + 1};
                 for (uint32_t i = 0; i <= status_message::max_routers; ++i) b << vessmark::conn_status{};
               }),
               ldm_decode_error);
  pool->destroy();
}

}  // namespace
