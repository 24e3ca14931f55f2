#include "frame/callback_queue.h"

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
#include <thread>
#include <vector>

#include "frame/debugging_events.h"
#include "messages/handle_value_set.h"
#include "frame/ldm_error.h"
#include "message_stats.h"
#include "test_rid.h"
#include "test_ldm.h"
#include "case_port.h"
#include "timers.h"

using namespace brindle;
using namespace varnel;

namespace {

using strings = std::vector<std::string>;

// One joined federate of the demo federation, built from a RID file of the test's own port.
class CallbackQueueTest : public ::testing::Test {
protected:
  void SetUp() override {
    ldm_ = joined_test_ldm(case_port(port_block::callback_queue_test), "Demo", EXAMPLES_DIR "/demo.fed");
  }

  callback_queue& queue() { return *ldm_->get_callback_queue(); }

  std::unique_ptr<test_ldm> ldm_;
};

TEST_F(CallbackQueueTest, RecordsWaitOutsideTickAndComeFirstInTheNextOne) {
  queue().add_start_registration(1);
  queue().add_turn_interactions_on(2);
  EXPECT_TRUE(ldm_->callbacks.empty());
  EXPECT_EQ(queue().pending(), 2u);

  action_timer during([&] { queue().add_inform_attribute_is_floating(7, 3); });
  during.schedule(ldm_->get_scheduler(), 0);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, (strings{"startRegistrationForObjectClass 1", "turnInteractionsOn 2",
                                      "attributeIsNotOwned 7 3"}));
  EXPECT_EQ(queue().pending(), 0u);
}

TEST_F(CallbackQueueTest, CallbacksMadeByAnEventArriveInOrderWhenItReturns) {
  size_t seen_inside = 99;
  size_t seen_by_next = 0;
  action_timer during([&] {
    queue().add_syncpoint_reg_success("a");
    queue().add_announce_syncpoint("b", user_tag("tag"));
    queue().add_federation_synchronized("c");
    seen_inside = ldm_->callbacks.size();
  });
  action_timer next([&] { seen_by_next = ldm_->callbacks.size(); });
  during.schedule(ldm_->get_scheduler(), 0);
  next.schedule(ldm_->get_scheduler(), 0);
  ldm_->tick();
  // Not in the middle of the event, but before the next event of the same tick.
  EXPECT_EQ(seen_inside, 0u);
  EXPECT_EQ(seen_by_next, 3u);
  EXPECT_EQ(ldm_->callbacks, (strings{"synchronizationPointRegistrationSucceeded a", "announceSynchronizationPoint b",
                                      "federationSynchronized c"}));
}

TEST_F(CallbackQueueTest, AnExceptionThroughTickLeavesNothingStuck) {
  struct federate_fault {};
  ldm_->on_callback = [&](const std::string& line) {
    if (line == "turnInteractionsOn 1") throw federate_fault{};
  };
  queue().add_turn_interactions_on(1);
  queue().add_turn_interactions_on(2);
  EXPECT_THROW(ldm_->tick(), federate_fault);
  // The queue delivers the rest, and the tick guard lets the next tick in.
  EXPECT_NO_THROW(ldm_->tick());
  EXPECT_EQ(ldm_->callbacks, (strings{"turnInteractionsOn 1", "turnInteractionsOn 2"}));

  // An event that throws leaves the scheduler able to run the next tick's events.
  action_timer faulty([] { throw federate_fault{}; });
  faulty.schedule(ldm_->get_scheduler(), 0);
  EXPECT_THROW(ldm_->tick(), federate_fault);
  bool ran = false;
  action_timer later([&] { ran = true; });
  later.schedule(ldm_->get_scheduler(), 0);
  queue().add_turn_interactions_on(3);
  EXPECT_NO_THROW(ldm_->tick());
  EXPECT_TRUE(ran);
  EXPECT_EQ(ldm_->callbacks.back(), "turnInteractionsOn 3");
}

TEST_F(CallbackQueueTest, RecordsMadeInsideACallbackFollowTheCurrentOne) {
  ldm_->on_callback = [&](const std::string& line) {
    if (line == "timeAdvanceGrant 1") queue().add_time_advance_grant(test_absolute_time(2));
    if (line == "timeAdvanceGrant 2") queue().add_time_advance_grant(test_absolute_time(3));
    // The record just added waits for this callback to return.
    EXPECT_EQ(ldm_->callbacks.back(), line);
  };
  queue().add_time_advance_grant(test_absolute_time(1));
  queue().add_regulation_enabled(test_absolute_time(9));
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, (strings{"timeAdvanceGrant 1", "timeRegulationEnabled 9", "timeAdvanceGrant 2",
                                      "timeAdvanceGrant 3"}));
}

TEST_F(CallbackQueueTest, ACallbackMayCallServicesButNotTick) {
  std::optional<ldm_exception> refused;
  unsigned handle = 0xFFFFFFFF;
  ldm_->on_callback = [&](const std::string&) {
    handle = ldm_->get_object_class_handle("ObjectRoot");
    try {
      ldm_->tick();
    } catch (const ldm_exception& e) {
      refused = e;
    }
  };
  queue().add_start_registration(4);
  EXPECT_FALSE(ldm_->tick());
  EXPECT_NE(handle, 0xFFFFFFFFu);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->code(), ldm_error::ConcurrentAccessAttempted);
  EXPECT_STREQ(refused->detail(), "\"tick\" was called while we are ticking");
  // The outer tick finished normally and the guard is clear again.
  EXPECT_NO_THROW(ldm_->tick());
}

TEST_F(CallbackQueueTest, TheLockIsReleasedWhileTheFederateHandlesACallback) {
  // Another thread's service call gets through while the ticking thread is inside a callback;
  // were the lock held, the join below would never return.
  unsigned handle = 0xFFFFFFFF;
  ldm_->on_callback = [&](const std::string&) {
    std::thread other([&] { handle = ldm_->get_object_class_handle("ObjectRoot"); });
    other.join();
  };
  queue().add_start_registration(4);
  ldm_->tick();
  EXPECT_NE(handle, 0xFFFFFFFFu);
}

TEST_F(CallbackQueueTest, TimedRecordsUseTheTimedCallbackOnlyWithATime) {
  auto* values = new handle_value_set(2);
  values->add(1, 3, "abc");
  const test_absolute_time time(2.5);
  const event_retraction_handle retraction{4, 9};
  queue().add_update_attribute_values(5, "plane", 1, 9, *values, &time, &retraction, user_tag("x"));
  queue().add_update_attribute_values(5, "plane", 1, 9, *values, nullptr, nullptr, user_tag("x"));
  queue().add_send_interaction(2, 9, *values, &time, &retraction, user_tag("y"));
  queue().add_send_interaction(2, 9, *values, nullptr, nullptr, user_tag("y"));
  queue().add_delete_object(5, "plane", 1, 9, &time, &retraction, user_tag("z"));
  queue().add_delete_object(5, "plane", 1, 9, nullptr, nullptr, user_tag("z"));
  // Each record holds its own reference on the values.
  EXPECT_EQ(values->get_refcount(), 5u);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks, (strings{"reflectAttributeValues 5 @2.5 4/9", "reflectAttributeValues 5",
                                      "receiveInteraction 2 @2.5 4/9", "receiveInteraction 2",
                                      "removeObjectInstance 5 @2.5 4/9", "removeObjectInstance 5"}));
  values->down_refcount();
}

TEST_F(CallbackQueueTest, EveryKindReachesItsCallbackAndCountsUnderItsNumber) {
  const auto& stats = ldm_->get_stats_tracker();
  const uint64_t before = stats.get_total_count(ldm_->get_api_tracker());
  queue().add_instantiate_discovered_object(5, 1, "plane", 9);
  queue().add_provide_attribute_values(5, attribute_set({1, 2}));
  queue().add_turn_updates_on(5, attribute_set({3}));
  queue().add_constrained_enabled(test_absolute_time(4));
  queue().add_request_retraction(event_retraction_handle{6, 2});
  queue().add_request_to_take_ownership(5, attribute_set({1}), user_tag("t"));
  queue().add_notify_about_ownership_loss(5, attribute_set({1}));
  queue().add_notify_about_ownership_gain(5, attribute_set({2}));
  queue().add_ownership_not_available(5, attribute_set({3}));
  queue().add_request_to_release_ownership(5, attribute_set({4}), user_tag("r"));
  queue().add_confirm_acquire_cancellation(5, attribute_set({5}));
  queue().add_inform_attribute_ownership(5, 1, 9);
  queue().add_inform_attribute_is_mom(5, 2);
  queue().add_syncpoint_reg_failure("f");
  EXPECT_EQ(stats.get_total_count(ldm_->get_api_tracker()), before + 14);
  ldm_->tick();
  EXPECT_EQ(ldm_->callbacks,
            (strings{"discoverObjectInstance 5 1 plane", "provideAttributeValueUpdate 5 1 2",
                     "turnUpdatesOnForObjectInstance 5 3", "timeConstrainedEnabled 4", "requestRetraction 6/2",
                     "requestAttributeOwnershipAssumption 5 1", "attributeOwnershipDivestitureNotification 5 1",
                     "attributeOwnershipAcquisitionNotification 5 2", "attributeOwnershipUnavailable 5 3",
                     "requestAttributeOwnershipRelease 5 4", "confirmAttributeOwnershipAcquisitionCancellation 5 5",
                     "informAttributeOwnership 5 1 9", "attributeOwnedByRTI 5 2",
                     "synchronizationPointRegistrationFailed f"}));

  char* text = nullptr;
  size_t length = 0;
  FILE* table = open_memstream(&text, &length);
  stats.print(ldm_->get_api_tracker(), stats_order::differentiator, table);
  std::fclose(table);
  const std::string printed(text, length);
  std::free(text);
  EXPECT_NE(printed.find("API_discoverObjectInstance"), std::string::npos) << printed;
  EXPECT_NE(printed.find("API_attributeOwnedByRTI"), std::string::npos) << printed;
}

TEST_F(CallbackQueueTest, HistoryKeepsTheLastTenDeliveredNewestFirst) {
  auto* values = new handle_value_set(1);
  for (unsigned object = 0; object < 11; ++object)
    queue().add_update_attribute_values(object, "o", 1, 2, *values, nullptr, nullptr, user_tag());
  ldm_->tick();
  // The first record left the history and gave its reference back; ten are still held.
  EXPECT_EQ(values->get_refcount(), 11u);

  std::ostringstream history;
  queue().print_history(history, true, false);
  const std::string text = history.str();
  EXPECT_EQ(text.find("update_attribute_values:  object_id=10 "), 0u) << text;
  EXPECT_NE(text.find("object_id=1 "), std::string::npos);
  EXPECT_EQ(text.find("object_id=0 "), std::string::npos);
  values->down_refcount();
}

TEST_F(CallbackQueueTest, PrintingShowsValuesOnlyWhenAsked) {
  auto* values = new handle_value_set(2);
  values->add(3, 2, "\x01\xAB");
  values->set_transport_type(0);
  values->set_order_type(1);
  queue().add_update_attribute_values(5, "plane", 1, 9, *values, nullptr, nullptr, user_tag("hello"));
  values->down_refcount();

  std::ostringstream hidden, shown, brief;
  queue().print_pending(hidden, false, false);
  queue().print_pending(shown, false, true);
  queue().print_pending(brief, true, true);
  EXPECT_EQ(hidden.str(),
            "update_attribute_values:  object_id=5 object_name=plane object_class=1 sending_federate=9\n"
            " transportType=0 orderType=1\n"
            " attr[0] <name=3 length=2 value=XXX> \n"
            " user_tag=hello\n");
  EXPECT_NE(shown.str().find(" attr[0] <name=3 length=2 value=0x01ab> \n"), std::string::npos) << shown.str();
  EXPECT_EQ(brief.str(), "update_attribute_values:  object_id=5 object_name=plane object_class=1 sending_federate=9\n");
}

TEST_F(CallbackQueueTest, ATracedKindPrintsEachRecordAsItIsAdded) {
  std::ostringstream trace;
  ldm_->get_debugging_events().turn_on("informAttributeOwnership", &trace);
  queue().add_inform_attribute_ownership(5, 1, 9);
  queue().add_inform_attribute_is_mom(5, 2);  // not traced
  EXPECT_NE(trace.str().find("inform_attribute_ownership: object=5 attr=1 fed=9\n"), std::string::npos)
      << trace.str();
  EXPECT_EQ(trace.str().find("inform_attribute_is_mom"), std::string::npos);
}

TEST_F(CallbackQueueTest, ResignDestroysPendingRecordsUndelivered) {
  auto* values = new handle_value_set(1);
  queue().add_update_attribute_values(5, "o", 1, 2, *values, nullptr, nullptr, user_tag());
  EXPECT_EQ(values->get_refcount(), 2u);
  ldm_->resign();
  EXPECT_EQ(values->get_refcount(), 1u);
  EXPECT_EQ(ldm_->get_callback_queue(), nullptr);
  ldm_->tick();  // nothing to deliver without a queue
  EXPECT_TRUE(ldm_->callbacks.empty());
  values->down_refcount();
}

}  // namespace
