// The first binding level above the distribution manager: its four time factories make every
// time of the core as a wrapper over the federate's FedTime (cpp13_absolute_time,
// cpp13_relative_time). Still abstract: the callback level above it delivers the callbacks.
#pragma once

#include <cstdint>

#include "frame/local_distribution_manager.h"

class cpp13_time_factories : public local_distribution_manager {
public:
  explicit cpp13_time_factories(const char* api_name) : local_distribution_manager(api_name) {}

  absolute_time* make_absolute_time() override;
  // Null for bytes too few to hold a whole time.
  absolute_time* decode_absolute_time(const char* bytes, uint32_t length) override;
  relative_time* make_relative_time() override;
  relative_time* decode_relative_time(const char* bytes, uint32_t length) override;
};
