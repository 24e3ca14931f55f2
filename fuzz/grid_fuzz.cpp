// Feeds arbitrary text as a gridded routing space's RID entry: bad domains, ranges, sizes and
// grids too large for the streams left must be warned about and leave a usable space, never
// divide by zero, convert an out-of-range double or overflow. Each space then gives the streams
// of a few extents for sending (exactly one) and subscribing (the broadcast stream among them),
// all within the space's own streams.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "document.h"
#include "regions/variable_grid.h"
#include "sparse_bit_vector.h"

using namespace brindle;
using namespace varnel;

namespace {

constexpr uint32_t first_stream = 300;
constexpr uint64_t stream_limit = 1 << 20;  // small, so that inputs reach the limits

void check(const filter_space_variGrid& space, const filter_extent& extent) {
  const uint64_t end = uint64_t{space.get_first_stream()} + space.get_stream_count();
  sparse_bit_vector sent;
  space.get_streams(extent, false, sent);
  if (sent.count() != 1 || sent.ffs() < space.get_first_stream() || sent.ffs() >= end) std::abort();
  sparse_bit_vector heard;
  space.get_streams(extent, true, heard);
  if (!heard.get_bit(space.get_broadcast_stream())) std::abort();
  for (uint32_t s = heard.ffs(); s != sparse_bit_vector::npos; s = heard.find_next(s + 1))
    if (s < space.get_first_stream() || s >= end) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  Document doc;
  Document::Element entry;
  if (doc.readString(text.c_str(), entry) != Document::ok) return 0;
  const filter_space_variGrid space(7, "Geo", first_stream, {"X", "Y"}, doc, entry, stream_limit);
  filter_extent extent(2);
  check(space, extent);  // the whole space
  extent.ranges = {{0, 0}, {0, 0}};
  check(space, extent);
  extent.ranges = {{1u << 31, (1u << 31) + 5}, {12345, 1u << 30}};
  check(space, extent);
  extent.ranges = {{UINT32_MAX, UINT32_MAX}, {7, UINT32_MAX}};
  check(space, extent);
  return 0;
}
