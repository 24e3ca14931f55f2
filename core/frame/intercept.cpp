#include "frame/intercept.h"

#include "frame/rti_api_call.h"

namespace varnel {

#define VARNEL_INTERCEPT_COUNT(name, parameters) +1
static_assert(0 VARNEL_INTERCEPT_OPERATIONS(VARNEL_INTERCEPT_COUNT) == rti_api_call_count,
              "one intercept operation per service and per callback");
#undef VARNEL_INTERCEPT_COUNT

intercept::~intercept() = default;

// The pass-through operations ignore their arguments.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define VARNEL_INTERCEPT_PASS(name, parameters) \
  void pass_through_intercept::name parameters {}
VARNEL_INTERCEPT_OPERATIONS(VARNEL_INTERCEPT_PASS)
#undef VARNEL_INTERCEPT_PASS
#pragma GCC diagnostic pop

}  // namespace varnel
