#include "cpp13_ahs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace brindle;
using namespace halden13;

namespace {

std::unique_ptr<rti13::AttributeHandleSet> make_set(std::initializer_list<rti13::ULong> handles) {
  std::unique_ptr<rti13::AttributeHandleSet> set(rti13::AttributeHandleSetFactory::create(4));
  for (rti13::ULong h : handles) set->add(h);
  return set;
}

std::string reason_of_get(const rti13::AttributeHandleSet& set, rti13::ULong i) {
  try {
    set.getHandle(i);
  } catch (const rti13::ArrayIndexOutOfBounds& e) {
    return e._reason;
  }
  return "no exception";
}

TEST(Cpp13Ahs, HandlesComeBackInAscendingOrder) {
  auto set = make_set({7, 3, 12});
  EXPECT_EQ(set->size(), 3ul);
  EXPECT_EQ(set->getHandle(0), 3ul);
  EXPECT_EQ(set->getHandle(1), 7ul);
  EXPECT_EQ(set->getHandle(2), 12ul);
  EXPECT_EQ(reason_of_get(*set, 3), "Asked for attribute #3 but there are only 3 in the set");
  // After a failed step the next call starts afresh.
  EXPECT_EQ(set->getHandle(2), 12ul);
}

TEST(Cpp13Ahs, RandomAccessAndChangesRestartTheWalk) {
  auto set = make_set({7, 3, 12});
  EXPECT_EQ(set->getHandle(2), 12ul);
  EXPECT_EQ(set->getHandle(0), 3ul);  // backwards: rewinds
  EXPECT_EQ(set->getHandle(1), 7ul);
  set->add(5);
  EXPECT_EQ(set->getHandle(1), 5ul);  // the cached position is gone
  EXPECT_EQ(set->getHandle(2), 7ul);
  set->remove(5);
  EXPECT_EQ(set->getHandle(1), 7ul);
  EXPECT_EQ(set->getHandle(1), 7ul);  // asking twice for the same index
  EXPECT_EQ(reason_of_get(*set, 1000000), "Asked for attribute #1000000 but there are only 3 in the set");
}

TEST(Cpp13Ahs, EmptySet) {
  auto set = make_set({});
  EXPECT_TRUE(set->isEmpty());
  EXPECT_EQ(reason_of_get(*set, 0), "Asked for attribute #0 but there are none in the set");
  set->add(2);
  EXPECT_EQ(set->getHandle(0), 2ul);
  set->empty();
  EXPECT_TRUE(set->isEmpty());
  EXPECT_EQ(set->size(), 0ul);
  EXPECT_EQ(reason_of_get(*set, 0), "Asked for attribute #0 but there are none in the set");
}

TEST(Cpp13Ahs, MembershipAndHandlesOutOfRange) {
  auto set = make_set({1, 64});
  EXPECT_TRUE(set->isMember(64));
  EXPECT_FALSE(set->isMember(63));
  EXPECT_FALSE(set->isMember(1ul << 40 | 64));  // not truncated to 64
  set->remove(1ul << 40);                        // nothing there: nothing happens
  set->remove(100000);
  EXPECT_EQ(set->size(), 2ul);
  EXPECT_THROW(set->add(bit_vector::max_length), rti13::ArrayIndexOutOfBounds);
  EXPECT_THROW(set->add(~0ul), rti13::ArrayIndexOutOfBounds);
  EXPECT_EQ(set->size(), 2ul);
  EXPECT_THROW(rti13::AttributeHandleSetFactory::create(~0ul), rti13::ValueCountExceeded);
}

TEST(Cpp13Ahs, WrapsTheManagersVectorWithoutCopyOrOwnership) {
  bit_vector attributes;
  attributes.set_bit(4);
  attributes.set_bit(9);
  {
    const cpp13_ahs shown(attributes);
    EXPECT_EQ(&shown.get_bit_vector(), &attributes);
    EXPECT_EQ(shown.getHandle(1), 9ul);
  }
  EXPECT_TRUE(attributes.get_bit(9));  // still the manager's and intact

  auto owned = std::make_unique<bit_vector>();
  owned->set_bit(6);
  const cpp13_ahs released(std::move(owned));
  EXPECT_EQ(released.getHandle(0), 6ul);
}

}  // namespace
