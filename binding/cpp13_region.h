// Region over the distribution manager's region_spec: the federate edits the manager's own
// region in place and makes the change effective with notifyAboutRegionModification.
//
// The wrapper and the region_spec point at each other and unlink both ways: a region that the
// manager destroys (deleteRegion, resign) tells its wrapper, whose accessors then throw
// ArrayIndexOutOfBounds and whose services refuse with RegionNotKnown; a wrapper the federate
// deletes without deleteRegion detaches from its region and leaves the ambassador's validator.
// The validator is shared, so a wrapper that outlives its ambassador can still leave it.
#pragma once

#include <memory>

#include "RTI.hh"
#include "pools.h"
#include "regions/region.h"

namespace halden13 {

class region_validator;

class cpp13_region : public rti13::Region, public varnel::region_link, public brindle::memory_pooled<cpp13_region> {
public:
  // Attaches to region; with a validator, enters it until the wrapper is deleted.
  cpp13_region(varnel::region_spec& region, std::shared_ptr<region_validator> validator);
  ~cpp13_region() override;
  cpp13_region(const cpp13_region&) = delete;
  cpp13_region& operator=(const cpp13_region&) = delete;

  // The wrapper attached to region, or a new one without a validator.
  static cpp13_region& of(varnel::region_spec& region);

  // Null once the manager destroyed the region.
  varnel::region_spec* get_region_spec() const { return region_; }

  rti13::ULong getRangeLowerBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  rti13::ULong getRangeUpperBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  // Values above getMaxExtent() are stored as getMaxExtent().
  void setRangeLowerBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension, rti13::ULong bound)
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  void setRangeUpperBound(rti13::ExtentIndex extent, rti13::DimensionHandle dimension, rti13::ULong bound)
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  rti13::SpaceHandle getSpaceHandle() const RTI13_THROW() override { return space_; }
  // 0 once the region is gone.
  rti13::ULong getNumberOfExtents() const RTI13_THROW() override;
  // The committed bounds, those in effect since the last notification.
  rti13::ULong getRangeLowerBoundNotificationLimit(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;
  rti13::ULong getRangeUpperBoundNotificationLimit(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const
      RTI13_THROW(rti13::ArrayIndexOutOfBounds) override;

  void region_gone() override { region_ = nullptr; }

private:
  // The region's range, after the checks; ArrayIndexOutOfBounds for a gone region or bad indices.
  varnel::filter_range& range(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const;
  const varnel::filter_range& committed(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const;
  varnel::region_spec& live(rti13::ExtentIndex extent, rti13::DimensionHandle dimension) const;

  varnel::region_spec* region_;
  rti13::SpaceHandle space_;
  std::shared_ptr<region_validator> validator_;
};

}  // namespace halden13
