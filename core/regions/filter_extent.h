// One extent of a region: a range per dimension of its routing space, in the normalised
// coordinates [0, 2^32 - 1] that every federate computes alike. A new extent covers the whole
// space.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace varnel {

struct filter_range {
  uint32_t lower = 0;
  uint32_t upper = UINT32_MAX;

  bool operator==(const filter_range&) const = default;
};

struct filter_extent {
  std::vector<filter_range> ranges;  // by dimension

  filter_extent() = default;
  explicit filter_extent(uint32_t dimensions) : ranges(dimensions) {}
  bool operator==(const filter_extent&) const = default;

  // Overlaps another extent given as its bounds, lower and upper per dimension: in every
  // dimension the lower bounds are equal or each lower bound lies below the other's upper bound.
  bool overlaps(std::span<const uint32_t> bounds) const {
    if (bounds.size() != ranges.size() * 2) return false;
    for (size_t d = 0; d < ranges.size(); ++d) {
      const filter_range& a = ranges[d];
      const uint32_t lower = bounds[2 * d], upper = bounds[2 * d + 1];
      if (a.lower != lower && !(a.lower < upper && lower < a.upper)) return false;
    }
    return true;
  }
};

}  // namespace varnel
