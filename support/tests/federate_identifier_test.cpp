#include "federate_identifier.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

using namespace brindle;

namespace {

federate_identifier make(uint32_t host, uint16_t process, uint16_t index) {
  federate_identifier id;
  id.set_components(host, process, index);
  return id;
}

TEST(FederateIdentifier, LocalIdentifiersAreDistinctWithinTheProcess) {
  std::vector<federate_identifier> made(2000);
  auto make_many = [&made](size_t from) {
    for (size_t i = from; i < made.size(); i += 2) made[i] = federate_identifier(federate_identifier_type::local);
  };
  std::thread other(make_many, 1);
  make_many(0);
  other.join();
  std::set<federate_identifier> distinct(made.begin(), made.end());
  EXPECT_EQ(distinct.size(), made.size());

  uint32_t host;
  uint16_t process, index;
  made[0].get_components(host, process, index);
  EXPECT_EQ(host, federate_identifier::local_host());
  EXPECT_EQ(process, federate_identifier::local_process());
}

TEST(FederateIdentifier, TheWildcardMatchesEveryoneAndIsNeverLess) {
  const federate_identifier wildcard(federate_identifier_type::nocompare);
  const federate_identifier a = make(0x0A000001, 7, 1);
  EXPECT_TRUE(wildcard.is_wildcard());
  EXPECT_TRUE(wildcard == a);
  EXPECT_TRUE(a == wildcard);
  EXPECT_FALSE(wildcard < a);
  EXPECT_TRUE(a < wildcard);
  EXPECT_EQ(federate_identifier(), make(0, 0, 0));
}

TEST(FederateIdentifier, OrdersByHostThenProcessThenIndex) {
  EXPECT_LT(make(1, 9, 9), make(2, 0, 0));
  EXPECT_LT(make(2, 1, 9), make(2, 2, 0));
  EXPECT_LT(make(2, 2, 0), make(2, 2, 1));
  EXPECT_FALSE(make(2, 2, 1) < make(2, 2, 1));
  EXPECT_NE(make(2, 2, 1), make(2, 2, 2));
}

TEST(FederateIdentifier, HashMixesIndexProcessAndLowHostBits) {
  // ((0x0102 << 8) ^ 0x3344) = 0x013144; shifted by 16 its top byte falls off; then ^ 0x5566.
  EXPECT_EQ(make(0x11225566, 0x3344, 0x0102).hash(), 0x31445566u);
  EXPECT_EQ(make(0xFFFF0000, 0, 0).hash(), 0u);
}

TEST(FederateIdentifier, PrintsAddressProcessAndIndex) {
  EXPECT_EQ(make(0xC0A80117, 4660, 86).to_string(), "IP=192.168.1.23  PID=4660  IDX=86");
}

}  // namespace
