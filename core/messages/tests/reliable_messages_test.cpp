// The reliable service's wire messages on their own: what write() puts down, read() gives back
// whole and without reading further; what no sender writes is refused, and a message cut short
// is undecodable.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "buffer_pool.h"
#include "ldm_buf.h"
#include "messages/reliable_messages.h"
#include "stream_manager.h"

using namespace brindle;
using namespace vessmark;
using namespace varnel;

namespace {

class ReliableMessagesTest : public ::testing::Test {
protected:
  // Reads a Message from what fill wrote, as a receiver reads it; a read that succeeds must
  // end at the end of what was written.
  template <typename Message>
  Message decode(const std::function<void(ldm_buf&)>& fill) {
    ldm_buf* buffer = pool_->get_buf();
    fill(*buffer);
    buffer->set_received();
    buffer->set_iptr(ldm_buf::message_header_size);
    struct releaser {
      ldm_buf* held;
      ~releaser() { held->release_buf(); }
    } release{buffer};
    const Message m = Message::read(*buffer);
    EXPECT_EQ(buffer->get_iptr(), buffer->get_size());
    return m;
  }
  template <typename Message>
  Message round_trip(const Message& m) {
    return decode<Message>([&](ldm_buf& b) { m.write(b); });
  }

  void TearDown() override { pool_->destroy(); }

  static federate_identifier id(uint16_t index) {
    federate_identifier i;
    i.set_components(0x7F000001, 10, index);
    return i;
  }

  buffer_manager_factory factory_{1, 0};
  buffer_pool_manager* pool_ = factory_.get_pool(1448);
  const federate_identifier a_ = id(1), b_ = id(2), wildcard_{federate_identifier_type::nocompare};
};

TEST_F(ReliableMessagesTest, EveryMessageReadsBackWhatWasWritten) {
  const reliable_data_header data = round_trip(reliable_data_header{a_, 0xFFFFFFFF});
  EXPECT_EQ(data.sender, a_);
  EXPECT_EQ(data.sequence, 0xFFFFFFFFu);
  const reliable_notice_message notice =
      round_trip(reliable_notice_message{b_, 7, stream_manager::stream_limit - 1});
  EXPECT_EQ(notice.sender, b_);
  EXPECT_EQ(notice.sequence, 7u);
  EXPECT_EQ(notice.stream, stream_manager::stream_limit - 1);
  EXPECT_EQ(round_trip(reliable_nack_message{a_, 3}).sequence, 3u);
  EXPECT_EQ(round_trip(reliable_ping_message{b_, 4}).next_sequence, 4u);
  EXPECT_EQ(round_trip(reliable_sorry_message{a_, 5}).sender, a_);

  const reliable_ack_message ack = round_trip(reliable_ack_message{a_, {{b_, 9}, {id(3), 0x80000000}}});
  EXPECT_EQ(ack.acknowledger, a_);
  ASSERT_EQ(ack.entries.size(), 2u);
  EXPECT_EQ(ack.entries[1].sender, id(3));
  EXPECT_EQ(ack.entries[1].last, 0x80000000u);
  EXPECT_TRUE(round_trip(reliable_ack_message{b_, {}}).entries.empty());
  const std::vector<reliable_ack_message::entry> longest(reliable_ack_message::max_entries, {b_, 1});
  EXPECT_EQ(round_trip(reliable_ack_message{a_, longest}).entries.size(), reliable_ack_message::max_entries);
}

TEST_F(ReliableMessagesTest, WhatNoSenderWritesIsRefusedAndAShortMessageIsUndecodable) {
  EXPECT_THROW(round_trip(reliable_data_header{wildcard_, 0}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_notice_message{wildcard_, 0, 10}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_nack_message{wildcard_, 0}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_ping_message{wildcard_, 0}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_sorry_message{wildcard_, 0}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_ack_message{wildcard_, {{b_, 1}}}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_ack_message{a_, {{b_, 1}, {wildcard_, 1}}}), reliable_refusal);

  EXPECT_THROW(round_trip(reliable_notice_message{a_, 0, -1}), reliable_refusal);
  EXPECT_THROW(round_trip(reliable_notice_message{a_, 0, stream_manager::stream_limit}), reliable_refusal);

  // An ACK count beyond the limit, though the bytes are there; one beyond the bytes left.
  const std::vector<reliable_ack_message::entry> too_long(reliable_ack_message::max_entries + 1, {b_, 1});
  EXPECT_THROW(round_trip(reliable_ack_message{a_, too_long}), reliable_refusal);
  EXPECT_THROW(decode<reliable_ack_message>([&](ldm_buf& w) { w << a_ << uint32_t{2} << b_ << uint32_t{1}; }),
               reliable_refusal);

  // Cut short, even with a wildcard in what is there: the plain decode error.
  try {
    decode<reliable_notice_message>([&](ldm_buf& w) { w << wildcard_ << uint32_t{0}; });
    ADD_FAILURE() << "a notice without its stream decoded";
  } catch (const reliable_refusal&) {
    ADD_FAILURE() << "a notice without its stream was refused instead";
  } catch (const ldm_decode_error&) {
  }
}

}  // namespace
