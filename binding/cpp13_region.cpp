#include "cpp13_region.h"

#include <algorithm>

#include "frame/ldm_error.h"
#include "region_validator.h"
#include "rti13_globals.h"

namespace halden13 {

using namespace varnel;

cpp13_region::cpp13_region(region_spec& region, std::shared_ptr<region_validator> validator)
    : region_(&region), space_(region.get_space_handle()), validator_(std::move(validator)) {
  region.set_external_ptr(this);
  if (validator_) validator_->insert(this);
}

cpp13_region::~cpp13_region() {
  if (region_) region_->set_external_ptr(nullptr);
  if (validator_) validator_->remove(this);
}

cpp13_region& cpp13_region::of(region_spec& region) {
  if (auto* attached = dynamic_cast<cpp13_region*>(region.get_external_ptr())) return *attached;
  return *new cpp13_region(region, nullptr);
}

region_spec& cpp13_region::live(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const {
  if (!region_) throw rti13::ArrayIndexOutOfBounds("The region no longer exists");
  try {
    region_->validate_extent_and_dimension(extent, dimension);
  } catch (const ldm_exception& e) {
    throw rti13::ArrayIndexOutOfBounds(e.detail());
  }
  return *region_;
}

filter_range& cpp13_region::range(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const {
  return live(extent, dimension).get_extent(static_cast<uint32_t>(extent)).ranges[dimension];
}

const filter_range& cpp13_region::committed(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const {
  return live(extent, dimension).get_committed_extent(static_cast<uint32_t>(extent)).ranges[dimension];
}

rti13::ULong cpp13_region::getRangeLowerBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return range(extent, dimension).lower;
}

rti13::ULong cpp13_region::getRangeUpperBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return range(extent, dimension).upper;
}

void cpp13_region::setRangeLowerBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension, rti13::ULong bound)
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  range(extent, dimension).lower = static_cast<uint32_t>(std::min<rti13::ULong>(bound, max_extent));
}

void cpp13_region::setRangeUpperBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension, rti13::ULong bound)
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  range(extent, dimension).upper = static_cast<uint32_t>(std::min<rti13::ULong>(bound, max_extent));
}

rti13::ULong cpp13_region::getNumberOfExtents() const RTI13_THROW() {
  return region_ ? region_->get_num_extents() : 0;
}

rti13::ULong cpp13_region::getRangeLowerBoundNotificationLimit(rti13::ExtentIndex extent,
                                                              rti13::DimensionHandle dimension) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return committed(extent, dimension).lower;
}

rti13::ULong cpp13_region::getRangeUpperBoundNotificationLimit(rti13::ExtentIndex extent,
                                                              rti13::DimensionHandle dimension) const
    RTI13_THROW(rti13::ArrayIndexOutOfBounds) {
  return committed(extent, dimension).upper;
}

}  // namespace halden13
