#include "rti13_private.h"

#include "rid.h"

using namespace brindle;
using namespace halden13;

namespace rti13 {

RTIambPrivateData::RTIambPrivateData(const char* api_name) : cpp13_callbacks(api_name) {
  if (get_rid().get_boolean("subscriptions.validate_regions")) validator_ = std::make_shared<region_validator>();
}

RTIambPrivateData::~RTIambPrivateData() = default;

}  // namespace rti13
