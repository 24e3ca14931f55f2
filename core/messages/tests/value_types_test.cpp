// Tags, value pairs and value sets: what they copy, what they share, what they refuse, and the
// tag's wire form.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "buffer_pool.h"
#include "messages/handle_value_set.h"
#include "ldm_buf.h"
#include "frame/ldm_error.h"
#include "messages/user_tag.h"

using namespace brindle;
using namespace varnel;

namespace {

// A pool of buffers for the wire tests, and a way to turn written bytes into a received buffer.
struct buffers {
  buffer_manager_factory factory{3, 1};
  buffer_pool_manager* pool = factory.get_pool(1448);
  ~buffers() { pool->destroy(); }

  ldm_buf* fresh() { return pool->get_buf(); }
  ldm_buf* received_copy_of(ldm_buf& written) {
    ldm_buf* copy = pool->get_buf();
    const uint32_t n = written.get_size() - ldm_buf::message_header_size;
    written.set_iptr(ldm_buf::message_header_size);
    copy->write_os(written.read_is(n), n);
    copy->set_received();
    return copy;
  }
};

TEST(ValueBlocks, SizeClassesAreExactThenMultiplesOf64ThenSystem) {
  EXPECT_EQ(value_blocks::block_size(1), 1u);
  EXPECT_EQ(value_blocks::block_size(64), 64u);
  EXPECT_EQ(value_blocks::block_size(65), 128u);
  EXPECT_EQ(value_blocks::block_size(8191), 8192u);
  EXPECT_EQ(value_blocks::block_size(8192), 8192u);
  EXPECT_EQ(value_blocks::block_size(8193), 8193u);
}

TEST(UserTag, TextKeepsItsTerminatorAndNullMeansEmpty) {
  user_tag abc("abc");
  EXPECT_EQ(abc.get_length(), 4u);
  EXPECT_STREQ(abc.get_string(), "abc");
  EXPECT_EQ(user_tag(static_cast<const char*>(nullptr)).get_length(), 0u);
  EXPECT_EQ(user_tag(10, nullptr).get_length(), 0u);
  EXPECT_STREQ(user_tag().get_string(), "");
  std::ostringstream out;
  out << abc;
  EXPECT_EQ(out.str(), "abc");
}

TEST(UserTag, RawBytesGetATerminatorAfterThemAndCopiesAreDeep) {
  const char bytes[3] = {'x', 'y', 'z'};
  user_tag tag(3, bytes);
  EXPECT_STREQ(tag.get_string(), "xyz");
  user_tag copy(tag);
  user_tag assigned("something longer than the other");
  assigned = tag;
  assigned = assigned;
  EXPECT_NE(copy.get_data(), tag.get_data());
  EXPECT_NE(assigned.get_data(), tag.get_data());
  EXPECT_TRUE(copy == tag);
  EXPECT_TRUE(assigned == tag);
  EXPECT_STREQ(assigned.get_string(), "xyz");
}

TEST(UserTag, RoundTripsOnTheWireWithInnerNulsAndAnyLength) {
  buffers b;
  for (uint32_t length : {0u, 1u, 7u, 64u, 65u, 3000u, 9000u}) {
    std::vector<char> bytes(length);
    for (uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i % 7 == 3 ? 0 : 'a' + i % 26);
    user_tag tag(length, bytes.data());
    ldm_buf* written = b.fresh();
    *written << uint32_t{0xABCD} << tag << uint32_t{0x1234};
    ldm_buf* received = b.received_copy_of(*written);
    uint32_t before, after;
    user_tag back;
    *received >> before >> back >> after;
    EXPECT_EQ(before, 0xABCDu);
    EXPECT_EQ(after, 0x1234u) << length;
    EXPECT_TRUE(back == tag) << length;
    written->release_buf();
    received->release_buf();
  }
}

TEST(UserTag, TruncatedOrLyingLengthThrowsAndLeavesTheTag) {
  buffers b;
  ldm_buf* written = b.fresh();
  *written << uint32_t{0xFFFFFFFF};
  written->write_os("abcdefgh", 8);
  ldm_buf* received = b.received_copy_of(*written);
  user_tag tag("kept");
  EXPECT_THROW(*received >> tag, ldm_decode_error);
  EXPECT_STREQ(tag.get_string(), "kept");
  written->release_buf();
  received->release_buf();
}

TEST(HandleValuePair, ChecksumTellsShortValuesApartAndOrderIsByHandleOnly) {
  // Adler-32 gives these two the same sum; an update of one after the other is a change.
  const char a[] = {0, 2, 0, 0}, b[] = {1, 0, 1, 0};
  EXPECT_NE(handle_value_pair(1, 4, a).get_cksum(), handle_value_pair(1, 4, b).get_cksum());
  const char zeros[9] = {};
  EXPECT_NE(handle_value_pair(1, 8, zeros).get_cksum(), handle_value_pair(1, 9, zeros).get_cksum());
  EXPECT_NE(handle_value_pair(1, 0, nullptr).get_cksum(), handle_value_pair(1, 1, zeros).get_cksum());
  handle_value_pair wiki(7, 9, "Wikipedia");
  EXPECT_EQ(wiki.get_cksum(), handle_value_pair(2, 9, "Wikipedia").get_cksum());
  handle_value_pair other(7, 2, "zz");
  EXPECT_TRUE(wiki == other);
  EXPECT_TRUE(handle_value_pair(2, 1, "z") < wiki);
  EXPECT_EQ(handle_value_pair().get_handle(), handle_value_pair::unset_handle);
  std::ostringstream out;
  out << wiki;
  EXPECT_EQ(out.str(), "<handle=7 length=9>");
}

// Handles of the set in its current order.
std::vector<uint32_t> handles_of(const handle_value_set& set) {
  std::vector<uint32_t> handles;
  for (uint32_t i = 0; i < set.size(); ++i) handles.push_back(set.get_pair(i).get_handle());
  return handles;
}

TEST(HandleValueSet, AddCopiesTheBytesAndRemoveFillsTheGapWithTheLast) {
  auto* set = new handle_value_set(2);
  char value[] = "position";
  set->add(1, 8, value);
  set->add(2, 0, nullptr);
  set->add(3, 3, "abc");
  set->add(4, 2, "de");
  value[0] = 'X';
  EXPECT_EQ(std::string(set->get_pair(0).get_data(), 8), "position");
  EXPECT_EQ(set->get_pair(1).get_data(), nullptr);
  EXPECT_EQ(set->num_bytes_in_set(), 13u);
  EXPECT_EQ(set->get_transport_type(), handle_value_set::unset);
  EXPECT_EQ(set->get_order_type(), handle_value_set::unset);

  set->remove(2);
  EXPECT_EQ(handles_of(*set), (std::vector<uint32_t>{1, 4, 3}));
  set->remove(99);
  set->remove(3);
  EXPECT_EQ(handles_of(*set), (std::vector<uint32_t>{1, 4}));
  EXPECT_THROW(set->get_pair(2), ldm_exception);
  set->empty();
  EXPECT_EQ(set->size(), 0u);
  EXPECT_EQ(set->num_bytes_in_set(), 0u);
  set->down_refcount();
}

TEST(HandleValueSet, RefusesNullBytesAndTooManyPairs) {
  auto* set = new handle_value_set();
  try {
    set->add(1, 4, nullptr);
    FAIL() << "null bytes accepted";
  } catch (const ldm_exception& e) {
    EXPECT_EQ(e.code(), ldm_error::InternalError);
  }
  for (uint32_t i = 0; i < handle_value_set::max_pairs; ++i) set->add(i, 0, nullptr);
  EXPECT_THROW(set->add(0, 0, nullptr), ldm_exception);
  EXPECT_EQ(set->size(), handle_value_set::max_pairs);
  set->down_refcount();
}

TEST(HandleValueSet, MoveFromTakesThePairAndRefusesBadArguments) {
  auto* from = new handle_value_set();
  auto* to = new handle_value_set();
  for (uint32_t h : {10u, 11u, 12u}) from->add(h, 1, "v");
  to->move_from(from, 0);
  EXPECT_EQ(handles_of(*from), (std::vector<uint32_t>{12, 11}));
  EXPECT_EQ(handles_of(*to), (std::vector<uint32_t>{10}));
  try {
    to->move_from(from, 2);
    FAIL() << "index beyond the source accepted";
  } catch (const ldm_exception& e) {
    EXPECT_EQ(e.code(), ldm_error::ArrayIndexOutOfBounds);
  }
  try {
    to->move_from(nullptr, 0);
    FAIL() << "null source accepted";
  } catch (const ldm_exception& e) {
    EXPECT_EQ(e.code(), ldm_error::ArrayIndexOutOfBounds);
    EXPECT_STREQ(e.detail(), "Bad pointer passed");
  }
  from->move_from(from, 0);
  EXPECT_EQ(handles_of(*from), (std::vector<uint32_t>{11, 12}));
  from->down_refcount();
  to->down_refcount();
}

TEST(HandleValueSet, BorrowedBytesKeepTheirBufferAliveWhereverThePairGoes) {
  buffers b;
  ldm_buf* message = b.fresh();
  message->write_os("payload-bytes", 13);
  message->set_iptr(ldm_buf::message_header_size);
  const char* bytes = message->read_is(13);

  auto* decoded = new handle_value_set(1, message);
  EXPECT_EQ(message->get_refcount(), 2u);
  decoded->add_borrowed(5, 7, bytes);
  decoded->add_borrowed(6, 5, bytes + 8);
  EXPECT_FALSE(decoded->get_pair(0).owns_data());

  auto* kept = new handle_value_set();
  kept->move_from(decoded, 1);
  decoded->up_refcount();
  decoded->down_refcount();
  decoded->down_refcount();  // the last reference: the set goes, its buffer reference with it
  message->release_buf();    // only the moved pair's set still holds the buffer
  EXPECT_EQ(std::string(kept->get_pair(0).get_data(), 5), "bytes");
  kept->down_refcount();

  auto* plain = new handle_value_set();
  EXPECT_THROW(plain->add_borrowed(1, 1, "x"), ldm_exception);
  plain->down_refcount();
}

}  // namespace
