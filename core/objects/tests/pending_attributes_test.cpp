// Per-object attribute sets with due times: a later merge never postpones a set, an emptied set
// goes, and sets come due earliest first.
#include "objects/pending_attributes.h"

#include <gtest/gtest.h>

#include "test_ldm.h"

using namespace brindle;
using namespace varnel;

TEST(PendingAttributes, MergesKeepTheEarlierDueTimeAndEmptiedSetsGo) {
  pending_attributes pending;
  pending.merge(7, attribute_set({1}), 300);
  pending.merge(7, attribute_set({2}), 500);  // joins, still due at 300
  pending.merge(8, attribute_set({1}), 400);
  pending.merge(8, attribute_set({3}), 200);  // joins and comes due earlier
  pending.merge(9, attribute_set({}), 100);   // nothing to wait for
  pending.merge(10, attribute_set({4}), 250);
  pending.remove(10, attribute_set({4}));
  EXPECT_EQ(pending.size(), 2u);

  EXPECT_TRUE(pending.take_due(199).empty());
  const auto due = pending.take_due(300);
  ASSERT_EQ(due.size(), 2u);
  EXPECT_EQ(due[0].first, 8u);
  EXPECT_EQ(due[0].second, attribute_set({1, 3}));
  EXPECT_EQ(due[1].first, 7u);
  EXPECT_EQ(due[1].second, attribute_set({1, 2}));
  EXPECT_EQ(pending.size(), 0u);
  EXPECT_TRUE(pending.take(7).is_empty());
}
