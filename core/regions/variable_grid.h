// The variable-grid filter space: a routing space cut into one or more grids of cells, one
// stream per cell, so that a subscriber hears only the cells its extents touch. Later grids
// refine earlier ones: an extent inside a later grid uses its cells alone. The space's last
// stream is its broadcast stream, which every subscriber of the space joins and which carries
// a send touching more than one cell. Built by the stream plan from the space's RID entry:
//
//   (Geo (type gridded)
//     (bounds (X (domain 0 100)) (Y (domain -50 50)))       ; per FED dimension, default 0 1
//     (grid main (X (range 0 100) (size 4)) (Y (range -50 50) (size 4)))
//     (grid harbour (X (range 10 20) (size 8)) (Y (range 0 10) (size 8)))
//     (warn_when_broadcasting true))
//
// Cells are numbered row-major, the last dimension fastest, the grids one after another from
// the space's first stream. Cells follow from an extent in exact integer arithmetic, so every
// federate computes the same cells and a subscriber extent that contains a sender's extent
// always joins the sender's cell.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "document.h"
#include "regions/filter_space.h"

namespace varnel {

// A dimension's domain in the federate's own units; the normalised scale [0, 2^32 - 1] spans it.
struct grid_domain {
  double low = 0.0;
  double high = 1.0;
};

// What a grid needs to know of its space while it reads its element.
struct grid_space_context {
  const std::string& space;
  const std::vector<std::string>& dimensions;  // FED dimension names, in handle order
  const std::vector<grid_domain>& domains;     // by dimension
};

class variable_grid {
public:
  // One dimension of the grid: normalised range [lo, hi) cut into cells of equal width.
  struct axis {
    uint32_t lo = 0;
    uint64_t hi = UINT32_MAX;  // exclusive; up to 2^32 after a bogus range is widened
    uint32_t cells = 1;
    uint64_t multiplier = 1;  // stream distance between neighbouring cells of this dimension
  };

  // Cells [first, last) of one dimension that an extent touches.
  struct span {
    uint64_t first;
    uint64_t last;
  };

  // Reads one "grid" element. Malformed parts are warned about and take their defaults; a grid
  // of more cells than streams_left is dropped with a warning (empty result).
  static std::optional<variable_grid> configure(brindle::Document& doc, brindle::Document::Element& element,
                                                const grid_space_context& context, uint32_t first_stream,
                                                uint64_t streams_left);

  const std::string& get_name() const { return name_; }
  uint32_t get_first_stream() const { return first_stream_; }
  uint64_t get_cell_count() const { return cell_count_; }
  const std::vector<axis>& get_axes() const { return axes_; }
  // Every dimension spans the whole normalised scale: no extent lies outside the grid.
  bool is_infinite() const { return infinite_; }

  // The cells of the extent per dimension; false when the extent lies outside the grid. inside
  // tells whether the extent needed no clamping to the grid's range.
  bool spans_of(const filter_extent& extent, std::vector<span>& spans, bool& inside) const;
  // Adds the streams of the cells spans describes, in runs along the dimensions covered whole.
  void add_cells(const std::vector<span>& spans, brindle::sparse_bit_vector& out) const;
  // The stream of the cell at the first corner of spans.
  uint32_t first_cell(const std::vector<span>& spans) const;

  void print(std::ostream& out) const;

private:
  variable_grid(std::string name, uint32_t first_stream, std::vector<axis> axes);

  std::string name_;
  uint32_t first_stream_;
  std::vector<axis> axes_;
  uint64_t cell_count_ = 1;
  bool infinite_ = true;
};

class filter_space_variGrid : public filter_space_base {
public:
  // dimensions: the FED dimension names of the space in handle order. stream_limit: the first
  // stream the transport cannot carry; grids that would reach it are dropped, the broadcast
  // stream stays.
  filter_space_variGrid(uint32_t space, std::string name, uint32_t first_stream,
                        const std::vector<std::string>& dimensions, brindle::Document& doc,
                        brindle::Document::Element& entry, uint64_t stream_limit);

  // The last stream of the space: carries sends that touch several cells or none.
  uint32_t get_broadcast_stream() const override { return get_first_stream() + get_stream_count() - 1; }
  const std::vector<variable_grid>& get_grids() const { return grids_; }
  uint32_t get_num_dims() const { return dimensions_; }
  bool warns_when_broadcasting() const { return warn_when_broadcasting_; }

  void get_streams(const filter_extent& extent, bool subscribing, brindle::sparse_bit_vector& out) const override;
  void print(std::ostream& out) const override;

private:
  struct layout {
    std::vector<variable_grid> grids;
    uint64_t cells = 0;
    bool warn_when_broadcasting = false;
  };
  filter_space_variGrid(uint32_t space, std::string name, uint32_t first_stream, uint32_t dimensions, layout grids);
  static layout read_layout(const std::string& space, uint32_t first_stream, const std::vector<std::string>& dimensions,
                            brindle::Document& doc, brindle::Document::Element& entry, uint64_t stream_limit);

  void add_subscribed_streams(const filter_extent& extent, brindle::sparse_bit_vector& out) const;
  uint32_t sending_stream(const filter_extent& extent) const;
  void warn_broadcasting(const filter_extent& extent) const;

  uint32_t dimensions_;
  std::vector<variable_grid> grids_;
  bool warn_when_broadcasting_;
};

}  // namespace varnel
