// The identity of this RTI as the rti13 interface reports it (RTIname, RTIversion) and the
// normalised coordinate range that Region reports (getMinExtent, getMaxExtent).
#pragma once

#include <cstdint>

#include "release.h"

namespace halden13 {

inline constexpr char rti_name[] = "Varnel";
// The release word: the version RID files carry.
inline constexpr const char* rti_version = brindle::rti_release;
// Region bounds are unsigned 32-bit values over the whole range.
inline constexpr uint32_t min_extent = 0;
inline constexpr uint32_t max_extent = 0xFFFFFFFF;

}  // namespace halden13
