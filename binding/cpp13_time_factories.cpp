#include "cpp13_time_factories.h"

#include "cpp13_absolute_time.h"
#include "cpp13_relative_time.h"

namespace halden13 {

using namespace brindle;
using namespace vessmark;
using namespace varnel;

absolute_time* cpp13_time_factories::make_absolute_time() { return new cpp13_absolute_time; }

absolute_time* cpp13_time_factories::decode_absolute_time(const char* bytes, uint32_t length) {
  return cpp13_absolute_time::decode(bytes, length);
}

relative_time* cpp13_time_factories::make_relative_time() { return new cpp13_relative_time; }

relative_time* cpp13_time_factories::decode_relative_time(const char* bytes, uint32_t length) {
  return cpp13_relative_time::decode(bytes, length);
}

}  // namespace halden13
