#include "throw_rti13_exception.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RTI.hh"
#include "time/event_retraction_handle.h"

using namespace brindle;
using namespace varnel;
using namespace halden13;

namespace {

// The name and reason of what throw_rti13_exception throws for the code, or "" when it returns.
std::string thrown_for(uint32_t code, const char* detail = "why") {
  try {
    throw_rti13_exception(ldm_exception(static_cast<ldm_error>(code), detail));
  } catch (const rti13::Exception& e) {
    return std::string(e._name) + " (" + (e._reason ? e._reason : "nil") + ")";
  }
  return "";
}

TEST(ThrowRti13Exception, RenamedCodesBecomeTheirInterfaceException) {
  EXPECT_EQ(thrown_for(1), "ArrayIndexOutOfBounds (why)");
  EXPECT_EQ(thrown_for(13), "AttributeNotKnown (why)");
  EXPECT_EQ(thrown_for(14), "ObjectClassNotSubscribed (why)");
  EXPECT_EQ(thrown_for(25), "CouldNotOpenFED (why)");
  EXPECT_EQ(thrown_for(34), "SaveNotInitiated (why)");
  EXPECT_EQ(thrown_for(43), "ObjectAlreadyRegistered (why)");
  EXPECT_EQ(thrown_for(53), "TimeAdvanceAlreadyInProgress (why)");
  EXPECT_EQ(thrown_for(57), "InvalidFederationTime (why)");
  EXPECT_EQ(thrown_for(58), "InvalidFederationTime (why)");
  EXPECT_EQ(thrown_for(65), "RegionNotKnown (why)");
  EXPECT_EQ(thrown_for(70), "NameNotFound (why)");
  EXPECT_EQ(thrown_for(84), "ObjectNotKnown (why)");
  EXPECT_EQ(thrown_for(94), "SynchronizationPointLabelWasNotAnnounced (why)");
  EXPECT_EQ(thrown_for(99), "UnableToPerformSave (why)");
  EXPECT_EQ(thrown_for(101), "RTIinternalError (why)");
}

TEST(ThrowRti13Exception, ExactlyTheUnmappedCodesAreSwallowed) {
  const std::vector<uint32_t> swallowed = {0,  15, 16, 17, 18, 19, 21, 22, 23, 24, 26, 37, 44, 51,
                                           52, 68, 72, 74, 76, 80, 81, 83, 100};
  for (uint32_t code = 0; code <= 101; ++code) {
    const bool expected = std::find(swallowed.begin(), swallowed.end(), code) != swallowed.end();
    EXPECT_EQ(is_swallowed_ldm_error(static_cast<ldm_error>(code)), expected) << "code " << code;
    EXPECT_EQ(thrown_for(code).empty(), expected) << "code " << code;
  }
}

TEST(ThrowRti13Exception, UnknownCodeIsAnInternalError) {
  EXPECT_EQ(thrown_for(102), "RTIinternalError (Unable to find correct exception!)");
  EXPECT_EQ(thrown_for(0xFFFFFFFF), "RTIinternalError (Unable to find correct exception!)");
  EXPECT_FALSE(is_swallowed_ldm_error(static_cast<ldm_error>(102)));
}

TEST(ThrowRti13Exception, MissingDetailReadsAsNoDetails) {
  EXPECT_EQ(thrown_for(35, nullptr), "FederateNotExecutionMember (No details available)");
}

TEST(TranslateRefusals, SwallowedCodesGiveNeutralResults) {
  const ldm_exception illegal(ldm_error::IllegalTimeArithmetic, "x");
  EXPECT_EQ(translate_refusals([&]() -> unsigned { throw illegal; }), 0u);
  EXPECT_EQ(translate_refusals([&]() -> const char* { throw illegal; }), nullptr);
  EXPECT_FALSE(translate_refusals([&]() -> bool { throw illegal; }));
  const event_retraction_handle handle = translate_refusals([&]() -> event_retraction_handle {
    throw ldm_exception(ldm_error::None);  // what a vetoing intercept throws
  });
  EXPECT_EQ(handle.serial, 0u);
  EXPECT_EQ(handle.federate, 0u);
  EXPECT_NO_THROW(translate_refusals([&] { throw illegal; }));
}

TEST(TranslateRefusals, ResultsAndRefusalsPassThrough) {
  EXPECT_EQ(translate_refusals([] { return 42u; }), 42u);
  EXPECT_THROW(translate_refusals([]() -> unsigned { throw ldm_exception(ldm_error::NameNotFound, "n"); }),
               rti13::NameNotFound);
  EXPECT_THROW(
      translate_refusals([]() -> unsigned { throw ldm_exception(static_cast<ldm_error>(102), "n"); }),
      rti13::RTIinternalError);
}

}  // namespace
