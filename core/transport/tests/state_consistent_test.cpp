// The state-consistent transport with distribution managers in one process on a stepped clock:
// a lost update repaired through the checksum of the next partial one, a lost list asked for by
// one NACK between two receivers, protocol messages injected as another federate would send
// them (older and wrapping list numbers, NACKs for others, a flood of senders), and the clamps
// of its RID entry.
#include "transport/transport_state_consistent.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>

#include "case_port.h"
#include "federate_identifier.h"
#include "frame/ldm_error.h"
#include "messages/handle_value_set.h"
#include "messages/user_tag.h"
#include "objects/subscription_agent.h"
#include "regions/filters.h"
#include "stepped_federation.h"
#include "stream_manager.h"
#include "transport/transport_manager.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr int heartbeat_ms = 4000;
constexpr int timeout_ms = 8000;
constexpr uint64_t slack_ms = 60;

std::string consistent(int heartbeat, int timeout) {
  return "(consistent (type \"state_consistent\") (suppress_dups true) (implicit_transfer false) "
         "(heartbeat_interval " +
         std::to_string(heartbeat) + ") (heartbeat_timeout " + std::to_string(timeout) + "))";
}

test_rid_options options(int heartbeat = heartbeat_ms, int timeout = timeout_ms) {
  test_rid_options o;
  o.extra_transports = consistent(heartbeat, timeout);
  return o;
}

transport_state_consistent& service_of(test_ldm& ldm) {
  return dynamic_cast<transport_state_consistent&>(
      *ldm.get_transport_manager()->get_transport_service(ldm.get_transportation_handle("consistent")));
}

bit_vector attributes(std::initializer_list<unsigned> handles) {
  bit_vector set(8, false);
  for (unsigned h : handles) set.set_bit(h);
  return set;
}

federate_identifier stranger(uint16_t index) {
  federate_identifier identifier;
  identifier.set_components(0x7f000063, 4242, index);
  return identifier;
}

// An owner a and receivers b and c of Vehicle cars whose Name and Position use the transport.
// The owner answers every provide request with the values it holds.
class StateConsistentTest : public ::testing::Test {
protected:
  StateConsistentTest()
      : federation_(case_port(port_block::state_consistent_test)),
        a_(federation_.join("alpha", options())),
        b_(federation_.join("bravo", options())),
        c_(federation_.join("charlie", options())) {
    vehicle_ = a_.get_object_class_handle("Vehicle");
    name_ = a_.get_attribute_handle("Name", vehicle_);
    position_ = a_.get_attribute_handle("Position", vehicle_);
    a_.publish_object_class(vehicle_, attributes({name_, position_}));
    for (test_ldm* receiver : {&b_, &c_})
      receiver->subscribe_object_class_attributes(vehicle_, attributes({name_, position_}), true);
    a_.on_callback = [this](const std::string& line) {
      if (line.rfind("provideAttributeValueUpdate", 0) != 0) return;
      std::istringstream words(line.substr(std::string("provideAttributeValueUpdate").size()));
      unsigned object = 0;
      words >> object;
      send(object, held_[object]);
    };
    // The receivers' queries for the values on the streams they began to hear are answered
    // before the first object is registered.
    federation_.settle(1000);
  }

  unsigned registered(const char* name) {
    const unsigned object = a_.register_object_instance(vehicle_, name);
    a_.change_attribute_transportation_type(object, attributes({name_, position_}),
                                            a_.get_transportation_handle("consistent"));
    return object;
  }

  void update(unsigned object, const std::map<unsigned, std::string>& values) {
    for (const auto& [handle, value] : values) held_[object][handle] = value;
    send(object, values);
  }

  void send(unsigned object, const std::map<unsigned, std::string>& values) {
    auto* set = new handle_value_set;
    for (const auto& [handle, value] : values) set->add(handle, static_cast<uint32_t>(value.size()), value.data());
    a_.update_attribute_values(object, *set, user_tag("u"));
    set->down_refcount();
  }

  // Every packet a sends while during() runs and the next bundle_ms after it is lost.
  void losing(const std::function<void()>& during, uint64_t bundle_ms) {
    a_.get_stream_manager().set_packet_loss(1.0, 1);
    during();
    federation_.settle(bundle_ms);
    a_.get_stream_manager().set_packet_loss(0.0, 1);
  }

  static bool reflected(const test_ldm& ldm, const std::string& value) {
    for (const std::string& values : ldm.values)
      if (values.find(value) != std::string::npos) return true;
    return false;
  }

  int vehicle_stream() { return a_.get_subscription_agent()->get_object_class_spec(vehicle_).get_pub_stream(); }

  // What another federate would send, fed to ldm's transport as if it came off stream.
  template <class Message>
  void inject(test_ldm& ldm, int stream, const Message& message) {
    ldm_buf* buffer = federation_.received([&](ldm_buf& out) { message.write(out); });
    service_of(ldm).receive_cp_message(stream, *buffer);
    buffer->release_buf();
  }

  stepped_federation federation_;
  test_ldm& a_;
  test_ldm& b_;
  test_ldm& c_;
  unsigned vehicle_ = 0, name_ = 0, position_ = 0;
  std::map<unsigned, std::map<unsigned, std::string>> held_;
};

TEST_F(StateConsistentTest, ALostUpdateIsRepairedByAFullResendAndALostListByOneNackBetweenTwoReceivers) {
  const unsigned car = registered("car");
  update(car, {{name_, "n1"}, {position_, "p1"}});
  ASSERT_TRUE(federation_.tick_until([&] { return reflected(b_, "p1") && reflected(c_, "p1"); }, 1000));

  // The position is lost everywhere; the next partial update, of the name, carries the
  // position's checksum, which differs at the receivers: they ask, a answers once, in full.
  losing([&] { update(car, {{position_, "p2"}}); }, 40);
  const uint64_t changed_at = federation_.clock.counter;
  update(car, {{name_, "n2"}});
  ASSERT_TRUE(federation_.tick_until([&] { return reflected(b_, "p2") && reflected(c_, "p2"); },
                                     heartbeat_ms / 2 + heartbeat_ms / 10 + slack_ms));
  EXPECT_GE(service_of(b_).get_counters().nacks_sent + service_of(c_).get_counters().nacks_sent, 1u);
  EXPECT_EQ(service_of(a_).get_counters().provides_requested, 1u);
  EXPECT_LE(federation_.clock.counter - changed_at, uint64_t{heartbeat_ms / 2 + heartbeat_ms / 10 + slack_ms});
  // Once repaired, a partial update whose checksums agree asks for nothing.
  update(car, {{position_, "p3"}});
  federation_.settle(heartbeat_ms);
  EXPECT_TRUE(reflected(b_, "p3"));
  EXPECT_EQ(service_of(a_).get_counters().provides_requested, 1u);

  // A new object whose update, list, next heartbeat and the lists sent after them (each goes
  // three times, H/5 apart) are all lost: a later heartbeat shows a newer list number, one
  // receiver's list NACK stands for both, and the list makes both ask for the object.
  losing([&] { update(registered("bus"), {{name_, "bus"}, {position_, "depot"}}); },
         heartbeat_ms * 8 / 5);
  ASSERT_TRUE(federation_.tick_until([&] { return reflected(b_, "depot") && reflected(c_, "depot"); },
                                     heartbeat_ms + 2 * (heartbeat_ms / 2 + heartbeat_ms / 10) + slack_ms));
  const auto& bravo = service_of(b_).get_counters();
  const auto& charlie = service_of(c_).get_counters();
  EXPECT_EQ(bravo.list_nacks_sent + charlie.list_nacks_sent, 1u);
  EXPECT_EQ(bravo.list_nacks_suppressed + charlie.list_nacks_suppressed, 1u);
}

TEST_F(StateConsistentTest, InjectedProtocolMessagesAreWeighedAgainstWhatIsHeld) {
  const unsigned car = registered("car");
  update(car, {{name_, "n1"}, {position_, "p1"}});
  ASSERT_TRUE(federation_.wait_for(b_, "reflectAttributeValues"));
  const int stream = vehicle_stream();

  // A stranger lists the car at 2^32 - 1, then at 0, which is newer: the car left its list, but
  // a still lists it, so it stays. A list at 2^32 - 16 was overtaken on the way and is ignored.
  sc_list listing{stranger(1), 0xFFFFFFFFu, {{"car", vehicle_, 7}}};
  inject(b_, stream, listing);
  inject(b_, stream, sc_list{stranger(1), 0, {}});
  listing.number = 0xFFFFFFF0u;
  inject(b_, stream, listing);
  EXPECT_EQ(service_of(b_).get_counters().older_lists_ignored, 1u);
  federation_.settle(heartbeat_ms + slack_ms);
  EXPECT_EQ(stepped_federation::count(b_, "removeObjectInstance"), 0u);
  EXPECT_EQ(service_of(b_).get_counters().objects_dropped, 0u);

  // NACKs reach the owner: one naming another owner, or a stream where a holds nothing of the
  // car, is not answered; one naming a on the car's stream is, once.
  const federate_identifier alpha = a_.get_federation_manager().get_identifier();
  inject(a_, 2, sc_object_nack{"car", stranger(1), stream, 1});
  inject(a_, 2, sc_object_nack{"car", alpha, stream + 1, 1});
  inject(a_, 2, sc_object_nack{"car", alpha, stream, 1});
  inject(a_, 2, sc_object_nack{"car", alpha, stream, 1});
  federation_.settle(heartbeat_ms / 10 + slack_ms);
  EXPECT_EQ(service_of(a_).get_counters().provides_requested, 1u);

  // Senders past the table's limit are counted, not recorded; silent ones time out.
  const size_t before = service_of(b_).remote_federates();
  for (uint16_t i = 2; i < 2 + transport_state_consistent::max_remote_federates; ++i)
    inject(b_, 2, sc_heartbeat{stranger(i), {}});
  EXPECT_EQ(service_of(b_).remote_federates(), transport_state_consistent::max_remote_federates);
  EXPECT_EQ(service_of(b_).get_counters().remote_table_full, before);
  federation_.settle((timeout_ms / heartbeat_ms + 4) * heartbeat_ms);
  EXPECT_EQ(service_of(b_).remote_federates(), 1u);  // a, which keeps sending heartbeats

  // Interactions cannot travel on this transport: the send is refused at the call.
  const unsigned message = a_.get_interaction_class_handle("Message");
  a_.publish_interaction_class(message);
  a_.change_interaction_transportation_type(message, a_.get_transportation_handle("consistent"));
  auto* none = new handle_value_set;
  EXPECT_THROW(a_.send_interaction(message, *none, user_tag("")), ldm_exception);
  none->down_refcount();
}

TEST(StateConsistentClamps, AHeartbeatBelowATenthOfASecondAndATimeoutBelowItAreRaisedWithAWarning) {
  stepped_federation federation(case_port(port_block::state_consistent_test));
  testing::internal::CaptureStderr();
  test_ldm& a = federation.join("alpha", options(0, 0));
  const std::string warnings = testing::internal::GetCapturedStderr();
  EXPECT_NE(warnings.find("heartbeat_interval 0 of transport consistent"), std::string::npos);
  EXPECT_NE(warnings.find("heartbeat_timeout 0 of transport consistent"), std::string::npos);
  EXPECT_EQ(service_of(a).get_heartbeat_ms(), 100u);
  EXPECT_EQ(service_of(a).get_timeout_ms(), 100u);
  EXPECT_EQ(service_of(a).get_timer_period(), 1u);
  federation.settle(300);
}

}  // namespace
