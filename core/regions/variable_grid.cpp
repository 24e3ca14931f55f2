#include "regions/variable_grid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

#include "diagnostic.h"
#include "sparse_bit_vector.h"

namespace varnel {

using namespace brindle;

namespace {

const char* const space_tag = "filter_space_variGrid::filter_space_variGrid";
const char* const grid_tag = "variable_grid::variable_grid";
constexpr double scale_top = 4294967295.0;

using Element = Document::Element;
using Value = Document::Value;

// The value named positional ("val0", "val1") or else named, as XML attributes name them.
const Value* value_of(Document& doc, Element* element, const char* positional, const char* named) {
  const Value* value = doc.findValue(positional, element);
  return value ? value : doc.findValue(named, element);
}

// A missing value keeps out; false for a value that is not a finite number.
bool read_number(const Value* value, double& out) {
  if (!value) return true;
  if (value->kind == Document::integer_value)
    out = value->integer;
  else if (value->kind == Document::real_value && std::isfinite(value->real))
    out = value->real;
  else
    return false;
  return true;
}

// (tag low high) or (tag (low= high=)); each missing number keeps its default.
bool read_pair(Document& doc, Element* element, double& low, double& high) {
  return read_number(value_of(doc, element, "val0", "low"), low) &&
         read_number(value_of(doc, element, "val1", "high"), high);
}

// v of the domain on the normalised scale, truncated toward zero and clamped to it; the
// domain's width is positive and finite, so the quotient is never NaN.
uint32_t normalise(double v, const grid_domain& domain, bool& clamped) {
  const double scaled = (v - domain.low) / (domain.high - domain.low) * scale_top;
  clamped = !(scaled >= 0.0 && scaled <= scale_top);
  return static_cast<uint32_t>(std::clamp(scaled, 0.0, scale_top));
}

bool is_named(const char* name, const char* word) { return name && std::strcmp(name, word) == 0; }

bool is_word(const Value* value, const char* word) {
  return value && value->kind == Document::string_value && is_named(value->string, word);
}

// The dimension's cell count: an integer of at least 1.
uint32_t read_size(Document& doc, Element* dimension, const char* name, const std::string& grid,
                   const std::string& space) {
  const Value* value = doc.findValue("val0", doc.findTag("size", dimension));
  if (!value) return 1;
  if (value->kind != Document::integer_value) {
    diagnostic(grid_tag, "misformatted dimension %s size in grid %s in space %s", name, grid.c_str(), space.c_str());
    return 1;
  }
  if (value->integer < 1) {
    diagnostic(grid_tag, "size %d below 1 for dimension %s in grid %s in space %s; using 1", value->integer, name,
               grid.c_str(), space.c_str());
    return 1;
  }
  return static_cast<uint32_t>(value->integer);
}

// One dimension of a grid element; a dimension the element lacks spans the whole domain in one cell.
variable_grid::axis read_axis(Document& doc, Element& grid_element, const std::string& grid,
                              const grid_space_context& context, size_t d) {
  const char* name = context.dimensions[d].c_str();
  const char* space = context.space.c_str();
  const grid_domain& domain = context.domains[d];
  variable_grid::axis axis;
  double low = domain.low;
  double high = domain.high;
  Element* dimension = doc.findTag(name, &grid_element);
  if (!dimension) {
    diagnostic(grid_tag, "missing dimension %s in space %s", name, space);
  } else {
    if (!read_pair(doc, doc.findTag("range", dimension), low, high)) {
      diagnostic(grid_tag, "misformatted dimension %s range in grid %s in space %s", name, grid.c_str(), space);
      low = domain.low;
      high = domain.high;
    }
    axis.cells = read_size(doc, dimension, name, grid, context.space);
  }
  bool low_clamped = false;
  bool high_clamped = false;
  axis.lo = normalise(low, domain, low_clamped);
  axis.hi = normalise(high, domain, high_clamped);
  if (low_clamped || high_clamped)
    diagnostic(grid_tag, "range %g - %g of dimension %s in grid %s in space %s reaches outside the domain %g - %g; clamped",
               low, high, name, grid.c_str(), space, domain.low, domain.high);
  if (axis.hi <= axis.lo) {
    diagnostic(grid_tag, "bogus range %g - %g in grid %s in space %s", low, high, grid.c_str(), space);
    axis.hi = uint64_t{axis.lo} + 1;
  }
  return axis;
}

// Each dimension's domain from the entry's bounds; a missing or unusable one stays [0, 1].
std::vector<grid_domain> read_domains(Document& doc, Element& entry, const std::string& space,
                                      const std::vector<std::string>& dimensions) {
  std::vector<grid_domain> domains(dimensions.size());
  Element* bounds = doc.findTag("bounds", &entry);
  for (size_t d = 0; d < dimensions.size(); ++d) {
    const char* name = dimensions[d].c_str();
    Element* domain = doc.findTag("domain", doc.findTag(name, bounds));
    grid_domain read;
    if (!domain) {
      diagnostic(space_tag, "missing domain for dimension %s in space %s", name, space.c_str());
    } else if (domain->values.size() != 2 || !read_pair(doc, domain, read.low, read.high)) {
      diagnostic(space_tag, "misformatted bounds domain for dimension %s in space %s", name, space.c_str());
    } else if (!(read.high > read.low) || !std::isfinite(read.high - read.low)) {
      diagnostic(space_tag, "empty or unbounded domain %g - %g for dimension %s in space %s; using 0 - 1", read.low,
                 read.high, name, space.c_str());
    } else {
      domains[d] = read;
    }
  }
  return domains;
}

bool warning_switched_on(Document& doc, Element& entry) {
  const Value* value = value_of(doc, doc.findTag("warn_when_broadcasting", &entry), "val0", "toggle");
  if (value && value->kind == Document::integer_value) return value->integer != 0;
  return is_word(value, "true") || is_word(value, "TRUE");
}

bool is_space_setting(const char* name) {
  for (const char* setting : {"type", "bounds", "warn_when_broadcasting"})
    if (is_named(name, setting)) return true;
  return false;
}

}  // namespace

std::optional<variable_grid> variable_grid::configure(Document& doc, Element& element,
                                                      const grid_space_context& context, uint32_t first_stream,
                                                      uint64_t streams_left) {
  const Value* name_value = value_of(doc, &element, "val0", "name");
  const std::string name = name_value && name_value->kind == Document::string_value ? name_value->string : "";
  std::vector<axis> axes;
  uint64_t cells = 1;
  bool fits = true;
  for (size_t d = 0; d < context.dimensions.size(); ++d) {
    axes.push_back(read_axis(doc, element, name, context, d));
    // cells stays at most streams_left, so the product cannot overflow.
    fits = fits && axes.back().cells <= streams_left / cells;
    if (fits) cells *= axes.back().cells;
  }
  if (!fits || cells > streams_left) {
    diagnostic(grid_tag, "grid %s in space %s has more cells than the %llu streams left; grid dropped", name.c_str(),
               context.space.c_str(), static_cast<unsigned long long>(streams_left));
    return std::nullopt;
  }
  return variable_grid(name, first_stream, std::move(axes));
}

variable_grid::variable_grid(std::string name, uint32_t first_stream, std::vector<axis> axes)
    : name_(std::move(name)), first_stream_(first_stream), axes_(std::move(axes)) {
  for (size_t d = axes_.size(); d-- > 0;) {
    axes_[d].multiplier = cell_count_;
    cell_count_ *= axes_[d].cells;
    infinite_ = infinite_ && axes_[d].lo == 0 && axes_[d].hi >= UINT32_MAX;
  }
}

// Per dimension the cells from the one holding the lower bound up to the one the upper bound
// reaches: an upper bound exactly on a border does not reach into the next cell, one beyond the
// grid reaches its end. Integer arithmetic keeps both ends monotone in the bounds, which is what
// lets a containing subscriber extent hear every cell a sender picks.
bool variable_grid::spans_of(const filter_extent& extent, std::vector<span>& spans, bool& inside) const {
  spans.resize(axes_.size());
  inside = true;
  for (size_t d = 0; d < axes_.size(); ++d) {
    const axis& a = axes_[d];
    const uint64_t lower = extent.ranges[d].lower;
    const uint64_t upper = extent.ranges[d].upper;
    if (!infinite_ && (upper < a.lo || lower >= a.hi)) return false;
    inside = inside && lower >= a.lo && lower < a.hi && upper < a.hi;
    const uint64_t width = a.hi - a.lo;
    const uint64_t first = (std::clamp<uint64_t>(lower, a.lo, a.hi - 1) - a.lo) * a.cells / width;
    const uint64_t last = ((std::clamp<uint64_t>(upper, a.lo, a.hi) - a.lo) * a.cells + width - 1) / width;
    spans[d] = span{first, std::max(last, first + 1)};
  }
  return true;
}

// The dimensions after the last one not covered whole make each combination of the earlier
// dimensions one contiguous run of streams: a whole grid is a single run.
void variable_grid::add_cells(const std::vector<span>& spans, sparse_bit_vector& out) const {
  size_t run = axes_.size();
  while (run > 0 && spans[run - 1].first == 0 && spans[run - 1].last == axes_[run - 1].cells) --run;
  if (run == 0) {
    out.set_bit_range(first_stream_, static_cast<uint32_t>(first_stream_ + cell_count_), true);
    return;
  }
  const axis& run_axis = axes_[run - 1];
  const uint64_t run_start = spans[run - 1].first * run_axis.multiplier;
  const uint64_t run_length = (spans[run - 1].last - spans[run - 1].first) * run_axis.multiplier;
  std::vector<uint64_t> at(run - 1);
  for (size_t d = 0; d + 1 < run; ++d) at[d] = spans[d].first;
  for (;;) {
    uint64_t start = first_stream_ + run_start;
    for (size_t d = 0; d + 1 < run; ++d) start += at[d] * axes_[d].multiplier;
    out.set_bit_range(static_cast<uint32_t>(start), static_cast<uint32_t>(start + run_length), true);
    size_t d = run - 1;
    while (d > 0 && ++at[d - 1] == spans[d - 1].last) {
      at[d - 1] = spans[d - 1].first;
      --d;
    }
    if (d == 0) return;
  }
}

uint32_t variable_grid::first_cell(const std::vector<span>& spans) const {
  uint64_t stream = first_stream_;
  for (size_t d = 0; d < axes_.size(); ++d) stream += spans[d].first * axes_[d].multiplier;
  return static_cast<uint32_t>(stream);
}

void variable_grid::print(std::ostream& out) const {
  out << "   Dimensions = " << axes_.size() << " Streambase = " << first_stream_ << "\n   Extents:";
  for (const axis& a : axes_) out << " " << a.lo << " - " << a.hi;
  out << "\n   Cell Counts:";
  for (const axis& a : axes_) out << " " << a.cells;
  out << "\n   Multipliers:";
  for (const axis& a : axes_) out << " " << a.multiplier;
  out << "\n" << (infinite_ ? " Is Infinite" : " Is NOT Infinite") << "\n";
}

filter_space_variGrid::filter_space_variGrid(uint32_t space, std::string name, uint32_t first_stream,
                                             const std::vector<std::string>& dimensions, Document& doc,
                                             Element& entry, uint64_t stream_limit)
    : filter_space_variGrid(space, name, first_stream, static_cast<uint32_t>(dimensions.size()),
                            read_layout(name, first_stream, dimensions, doc, entry, stream_limit)) {}

filter_space_variGrid::filter_space_variGrid(uint32_t space, std::string name, uint32_t first_stream,
                                             uint32_t dimensions, layout grids)
    : filter_space_base(space, std::move(name), first_stream, static_cast<uint32_t>(grids.cells + 1)),
      dimensions_(dimensions),
      grids_(std::move(grids.grids)),
      warn_when_broadcasting_(grids.warn_when_broadcasting) {}

// The grids in file order, each after the previous one's cells, as many as fit below the
// transport's limit with the broadcast stream after them.
filter_space_variGrid::layout filter_space_variGrid::read_layout(const std::string& space, uint32_t first_stream,
                                                                 const std::vector<std::string>& dimensions,
                                                                 Document& doc, Element& entry,
                                                                 uint64_t stream_limit) {
  layout result;
  result.warn_when_broadcasting = warning_switched_on(doc, entry);
  const std::vector<grid_domain> domains = read_domains(doc, entry, space, dimensions);
  const grid_space_context context{space, dimensions, domains};
  const uint64_t limit = std::min<uint64_t>(stream_limit, sparse_bit_vector::max_length);
  const uint64_t room = limit > uint64_t{first_stream} + 1 ? limit - first_stream - 1 : 0;
  bool any = false;
  for (Element& child : entry.children) {
    if (is_space_setting(child.name)) continue;
    if (!is_named(child.name, "grid")) {
      diagnostic(grid_tag, "incorrect grid entry in filter %s", space.c_str());
      continue;
    }
    any = true;
    std::optional<variable_grid> grid = variable_grid::configure(
        doc, child, context, static_cast<uint32_t>(first_stream + result.cells), room - result.cells);
    if (!grid) continue;
    result.cells += grid->get_cell_count();
    result.grids.push_back(std::move(*grid));
  }
  if (!any) diagnostic(space_tag, "missing 'grid' in filter %s", space.c_str());
  return result;
}

void filter_space_variGrid::get_streams(const filter_extent& extent, bool subscribing, sparse_bit_vector& out) const {
  if (extent.ranges.size() != dimensions_) {
    diagnostic("variable_grid", "extent of %zu dimensions in space %s of %u", extent.ranges.size(),
               get_name().c_str(), dimensions_);
    if (subscribing)
      add_all_streams(out);
    else
      out.set_bit(get_broadcast_stream());
    return;
  }
  if (subscribing)
    add_subscribed_streams(extent, out);
  else
    out.set_bit(sending_stream(extent));
}

// From the last grid back: an extent inside a grid stops there, one reaching outside also
// collects the cells of earlier grids it overlaps. A subscriber always hears the broadcast stream.
void filter_space_variGrid::add_subscribed_streams(const filter_extent& extent, sparse_bit_vector& out) const {
  std::vector<variable_grid::span> spans;
  for (auto grid = grids_.rbegin(); grid != grids_.rend(); ++grid) {
    bool inside = false;
    if (!grid->spans_of(extent, spans, inside)) continue;
    grid->add_cells(spans, out);
    if (inside) break;
  }
  out.set_bit(get_broadcast_stream());
}

// The same walk as subscribing, counting cells without listing them: the second cell met sends
// the update to the broadcast stream, however large the grids.
uint32_t filter_space_variGrid::sending_stream(const filter_extent& extent) const {
  std::vector<variable_grid::span> spans;
  uint32_t stream = get_broadcast_stream();
  bool found = false;
  for (auto grid = grids_.rbegin(); grid != grids_.rend(); ++grid) {
    bool inside = false;
    if (!grid->spans_of(extent, spans, inside)) continue;
    const bool one_cell =
        std::all_of(spans.begin(), spans.end(), [](const variable_grid::span& s) { return s.last - s.first == 1; });
    if (found || !one_cell) {
      warn_broadcasting(extent);
      return get_broadcast_stream();
    }
    found = true;
    stream = grid->first_cell(spans);
    if (inside) break;
  }
  return stream;
}

void filter_space_variGrid::warn_broadcasting(const filter_extent& extent) const {
  if (!warn_when_broadcasting_) return;
  std::cerr << "VariGrid WARNING: Send/Publication Region overlaps multiple grid cells.\n"
            << "                  Data will be sent to a broadcast stream.\n";
  for (const filter_range& range : extent.ranges)
    std::cerr << "                  " << range.lower << " - " << range.upper << "\n";
  std::cerr.flush();
}

void filter_space_variGrid::print(std::ostream& out) const {
  out << "VariGrid space_id " << get_space_handle() << ",  Name " << get_name() << " Stream_base "
      << get_first_stream() << ", dimensions " << dimensions_ << "\n Variable_grids (" << grids_.size() << ")\n";
  for (size_t i = 0; i < grids_.size(); ++i) {
    out << "  Variable_grid " << i << " " << grids_[i].get_name() << "\n";
    grids_[i].print(out);
  }
  out << " Broadcast stream" << get_broadcast_stream() << std::endl;
}

}  // namespace varnel
