// The first binding level above the distribution manager: its four time factories make every
// time of the core as a wrapper over the federate's FedTime (cpp13_absolute_time,
// cpp13_relative_time). Still abstract: the callback level above it delivers the callbacks.
#pragma once

#include <cstdint>

#include "frame/local_distribution_manager.h"

namespace halden13 {

class cpp13_time_factories : public varnel::local_distribution_manager {
public:
  explicit cpp13_time_factories(const char* api_name) : varnel::local_distribution_manager(api_name) {}

  varnel::absolute_time* make_absolute_time() override;
  // Null for bytes too few to hold a whole time.
  varnel::absolute_time* decode_absolute_time(const char* bytes, uint32_t length) override;
  varnel::relative_time* make_relative_time() override;
  varnel::relative_time* decode_relative_time(const char* bytes, uint32_t length) override;
};

}  // namespace halden13
