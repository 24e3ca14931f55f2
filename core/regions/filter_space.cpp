#include "regions/filter_space.h"

#include <algorithm>

#include "fed/fed.h"
#include "regions/region.h"
#include "sparse_bit_vector.h"

namespace varnel {

using namespace brindle;

filter_space_base::filter_space_base(uint32_t space, std::string name, uint32_t first_stream, uint32_t stream_count)
    : space_(space), name_(std::move(name)), first_stream_(first_stream), stream_count_(stream_count) {}

void filter_space_base::add_all_streams(sparse_bit_vector& out) const {
  if (stream_count_ > 0) out.set_bit_range(first_stream_, first_stream_ + stream_count_, true);
}

void filter_space_base::remove_region(region_spec& region) { std::erase(regions_, &region); }

bool filter_space_base::match(std::span<const uint32_t> bounds, uint32_t object_class, uint32_t interaction) const {
  for (const region_spec* region : regions_) {
    const bool subscribes = object_class != invalid_handle ? region->object_classes().count(object_class) != 0
                                                           : region->interaction_classes().count(interaction) != 0;
    if (!subscribes) continue;
    for (const filter_extent& committed : region->committed_extents())
      if (committed.overlaps(bounds)) return true;
  }
  return false;
}

void filter_space_broadcast::get_streams(const filter_extent&, bool, sparse_bit_vector& out) const {
  out.set_bit(broadcast_stream);
}

void filter_space_broadcast::print(std::ostream& out) const {
  out << "Broadcast space_id " << get_space_handle() << ",  Name " << get_name() << std::endl;
}

void filter_space_simple::get_streams(const filter_extent&, bool, sparse_bit_vector& out) const {
  out.set_bit(get_first_stream());
}

void filter_space_simple::print(std::ostream& out) const {
  out << "Simple space_id " << get_space_handle() << ",  Name " << get_name() << "  Stream " << get_first_stream()
      << std::endl;
}

}  // namespace varnel
