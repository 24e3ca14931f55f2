#include "regions/region.h"

#include <iostream>

#include "fed/fed.h"
#include "frame/ldm_error.h"
#include "objects/stream_plan.h"
#include "regions/filter_space.h"
#include "sparse_bit_vector.h"

namespace varnel {

using namespace brindle;

region_spec::region_spec(const stream_plan& plan, const FED& fed, filter_space_base& space, uint32_t extents,
                         uint32_t token)
    : plan_(&plan),
      fed_(&fed),
      space_(&space),
      space_handle_(space.get_space_handle()),
      dimensions_(fed.num_dimensions(space.get_space_handle())),
      token_(token),
      extents_(extents, filter_extent(dimensions_)),
      committed_(extents_) {
  space.add_region(*this);
}

region_spec::region_spec(uint32_t space_handle, uint32_t extents, std::span<const uint32_t> bounds)
    : space_handle_(space_handle),
      dimensions_(extents ? static_cast<uint32_t>(bounds.size() / 2 / extents) : 0),
      extents_(extents, filter_extent(dimensions_)) {
  size_t word = 0;
  for (filter_extent& extent : extents_)
    for (filter_range& range : extent.ranges) {
      range.lower = bounds[word++];
      range.upper = bounds[word++];
    }
  committed_ = extents_;
}

region_spec::~region_spec() {
  if (space_) space_->remove_region(*this);
  if (external_) external_->region_gone();
}

void region_spec::validate_extent_and_dimension(uint64_t extent, uint64_t dimension) const {
  if (extent >= extents_.size())
    throw make_ldm_exception(ldm_error::InvalidRangeBound, "Asked for extent %llu when only %u are present",
                             static_cast<unsigned long long>(extent), get_num_extents());
  if (dimension >= dimensions_)
    throw make_ldm_exception(ldm_error::InvalidRangeBound, "Asked for dimension %llu when only %u are present",
                             static_cast<unsigned long long>(dimension), dimensions_);
}

void region_spec::check_extents() const {
  for (const filter_extent& extent : extents_)
    for (const filter_range& range : extent.ranges)
      if (range.lower > range.upper)
        throw make_ldm_exception(ldm_error::InvalidRangeBound, "Invalid range: Lower %u > Upper %u", range.lower,
                                 range.upper);
}

void region_spec::print(std::ostream& out) const {
  out << "    Region " << token_ << " in space " << space_handle_ << ", " << extents_.size() << " extents" << std::endl;
  for (const filter_extent& extent : committed_) {
    out << "     ";
    for (const filter_range& range : extent.ranges) out << " [" << range.lower << " - " << range.upper << "]";
    out << std::endl;
  }
  if (space_) print_streams(out);
}

void region_spec::check_attr_assoc(uint32_t object_class, const bit_vector& attributes) const {
  if (!fed_) return;
  for (uint32_t a = attributes.ffs(); a != bit_vector::npos; a = attributes.find_next(a + 1))
    if (fed_->get_routing_space(a, object_class) != space_handle_)
      throw ldm_exception(ldm_error::InvalidRegionContext, "Incorrect routing space");
}

void region_spec::check_inter_assoc(uint32_t interaction) const {
  if (fed_ && fed_->get_interaction_routing_space(interaction) != space_handle_)
    throw ldm_exception(ldm_error::InvalidRegionContext, "Incorrect routing space");
}

int32_t region_spec::get_pub_stream() const {
  if (!space_) return -1;  // a detached region sends nothing
  sparse_bit_vector streams;
  for (const filter_extent& extent : committed_) space_->get_streams(extent, false, streams);
  const uint32_t count = streams.count();
  if (count == 1) return static_cast<int32_t>(streams.ffs());
  std::cerr << "region_spec::get_pub_stream: Stream count of " << count << " != 1 not supported; sending on stream "
            << space_->get_broadcast_stream() << std::endl;
  return static_cast<int32_t>(space_->get_broadcast_stream());
}

void region_spec::get_sub_streams(sparse_bit_vector& out) const {
  if (!space_ || !has_subscriptions()) return;
  for (const filter_extent& extent : committed_) space_->get_streams(extent, true, out);
  if (plan_->settings().region_sub_gets_nonregion) add_class_streams(*plan_, *fed_, false, out);
}

}  // namespace varnel
