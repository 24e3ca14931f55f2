#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "RTI.hh"
#include "fedtime.hh"

namespace {

template <typename T>
std::string printed(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

TEST(Exceptions, PrintNameAndReasonOrNil) {
  rti13::RegionNotKnown known("Could not find region");
  EXPECT_EQ(printed(known), "RegionNotKnown (Could not find region)");
  rti13::Exception* as_pointer = &known;
  EXPECT_EQ(printed(as_pointer), "RegionNotKnown (Could not find region)");

  rti13::RTIinternalError no_reason(7ul);
  EXPECT_EQ(no_reason._serial, 7ul);
  EXPECT_EQ(no_reason._reason, nullptr);
  EXPECT_EQ(printed(no_reason), "RTIinternalError (nil)");
}

TEST(Exceptions, EveryClassNamesItself) {
#define CHECK_NAME(A) EXPECT_STREQ(rti13::A("r")._name, #A);
  RTI13_EXCEPTION_LIST(CHECK_NAME)
#undef CHECK_NAME
  int classes = 0;
#define COUNT(A) ++classes;
  RTI13_EXCEPTION_LIST(COUNT)
#undef COUNT
  EXPECT_EQ(classes, 79);
}

TEST(Exceptions, CopiesOwnTheirReason) {
  char reason[] = "first";
  rti13::NameNotFound original(3ul, reason);
  reason[0] = 'F';  // the exception made its own copy
  rti13::NameNotFound copy(original);
  EXPECT_STREQ(copy._reason, "first");
  EXPECT_NE(copy._reason, original._reason);
  EXPECT_EQ(copy._serial, 3ul);

  rti13::NameNotFound other("second");
  other = original;
  EXPECT_STREQ(other._reason, "first");
  EXPECT_NE(other._reason, original._reason);
  rti13::NameNotFound& same = other;
  other = same;  // self-assignment keeps the reason
  EXPECT_STREQ(other._reason, "first");
}

TEST(Exceptions, CloneAndRethrowKeepTheClass) {
  const rti13::InvalidLookahead original(5ul, "too small");
  std::unique_ptr<rti13::Exception> clone(original.clone());
  EXPECT_NE(dynamic_cast<rti13::InvalidLookahead*>(clone.get()), nullptr);
  EXPECT_STREQ(clone->_reason, "too small");
  EXPECT_EQ(clone->_serial, 5ul);
  EXPECT_STREQ(clone->_name, "InvalidLookahead");

  const rti13::Exception& base = original;
  try {
    base.rethrow();
    FAIL() << "rethrow returned";
  } catch (const rti13::InvalidLookahead& caught) {
    EXPECT_STREQ(caught._reason, "too small");
  }
}

TEST(Globals, IdentityAndExtents) {
  EXPECT_STREQ(RTIname(), "Varnel");
  EXPECT_STREQ(rti13::RTIversion(), "D22");
  EXPECT_EQ(rti13::Region::getMinExtent(), 0ul);
  EXPECT_EQ(rti13::Region::getMaxExtent(), 4294967295ul);
}

TEST(Globals, FedTimePrintsItsPrintableString) {
  const RTIfedTime time(12.5);
  EXPECT_EQ(printed(static_cast<const rti13::FedTime&>(time)), "12.5");
}

}  // namespace
