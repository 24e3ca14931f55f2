#include "cpp13_fhs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace {

TEST(Cpp13Fhs, HandlesComeBackInAscendingOrder) {
  std::unique_ptr<rti13::FederateHandleSet> set(rti13::FederateHandleSetFactory::create(3));
  set->add(9);
  set->add(2);
  set->add(5);
  set->add(5);
  EXPECT_EQ(set->size(), 3ul);
  EXPECT_EQ(set->getHandle(0), 2ul);
  EXPECT_EQ(set->getHandle(1), 5ul);
  EXPECT_EQ(set->getHandle(2), 9ul);
  try {
    set->getHandle(3);
    FAIL();
  } catch (const rti13::ArrayIndexOutOfBounds& e) {
    EXPECT_STREQ(e._reason, "Asked for federate handle 3 but there are only 3");
  }
  set->remove(5);
  EXPECT_EQ(set->getHandle(1), 9ul);
  EXPECT_TRUE(set->isMember(9));
  EXPECT_FALSE(set->isMember(5));
  set->empty();
  EXPECT_EQ(set->size(), 0ul);
}

TEST(Cpp13Fhs, HandlesBeyond32BitsAreNotTruncated) {
  std::unique_ptr<rti13::FederateHandleSet> set(rti13::FederateHandleSetFactory::create(1));
  set->add(4);
  EXPECT_THROW(set->add(1ul << 32 | 4), rti13::ValueCountExceeded);
  EXPECT_FALSE(set->isMember(1ul << 32 | 4));
  set->remove(1ul << 32 | 4);
  EXPECT_TRUE(set->isMember(4));
}

TEST(Cpp13Fhs, WrapsTheManagersSet) {
  federate_handle_set handles;
  handles.insert(8);
  {
    const cpp13_fhs shown(handles);
    EXPECT_EQ(&shown.get_federate_handle_set(), &handles);
    EXPECT_EQ(shown.getHandle(0), 8ul);
  }
  EXPECT_TRUE(handles.contains(8));
}

}  // namespace
