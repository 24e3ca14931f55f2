// The variable-grid filter space: the row-major layout of its cells and broadcast stream, the
// streams of subscribing and sending extents over one and two grids, configurations that are
// wrong in every way a RID can be (built with the float-cast and undefined-behaviour checks),
// and the property that makes regions work: a subscriber containing a sender's extent hears
// the sender's stream.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "document.h"
#include "regions/variable_grid.h"
#include "sparse_bit_vector.h"

using namespace brindle;
using namespace varnel;

namespace {

const std::vector<std::string> xy = {"X", "Y"};
constexpr uint64_t stream_limit = 1 << 24;

// A space read from its RID entry; the warnings it prints are kept in warnings.
struct configured {
  Document doc;
  Document::Element entry;
  std::unique_ptr<filter_space_variGrid> space;
  std::string warnings;

  configured(const std::string& text, uint32_t first = 300, uint64_t limit = stream_limit,
             const std::function<void(Document::Element&)>& edit = {}) {
    EXPECT_EQ(doc.readString(text.c_str(), entry), Document::ok) << text;
    if (edit) edit(entry);
    testing::internal::CaptureStderr();
    space = std::make_unique<filter_space_variGrid>(7, "Geo", first, xy, doc, entry, limit);
    warnings = testing::internal::GetCapturedStderr();
  }
};

filter_extent extent(uint32_t x0, uint32_t x1, uint32_t y0, uint32_t y1) {
  filter_extent e(2);
  e.ranges[0] = {x0, x1};
  e.ranges[1] = {y0, y1};
  return e;
}

std::vector<uint32_t> streams(const filter_space_base& space, const filter_extent& e, bool subscribing) {
  sparse_bit_vector out;
  space.get_streams(e, subscribing, out);
  std::vector<uint32_t> bits;
  for (uint32_t b = out.ffs(); b != sparse_bit_vector::npos; b = out.find_next(b + 1)) bits.push_back(b);
  return bits;
}

uint32_t sent_on(const filter_space_base& space, const filter_extent& e) {
  const std::vector<uint32_t> bits = streams(space, e, false);
  EXPECT_EQ(bits.size(), 1u);
  return bits.empty() ? 0 : bits.front();
}

std::vector<uint32_t> run(uint32_t first, uint32_t last) {
  std::vector<uint32_t> bits;
  for (uint32_t b = first; b < last; ++b) bits.push_back(b);
  return bits;
}

// Normalised coordinate of the middle of cell k of n across the whole scale.
uint32_t middle(uint32_t k, uint32_t n) { return static_cast<uint32_t>((k + 0.5) / n * 4294967295.0); }

const char* const four_by_four =
    "(Geo (type gridded) (bounds (X (domain 0 4)) (Y (domain 0 4)))"
    " (grid main (X (range 0 4) (size 4)) (Y (range 0 4) (size 4))) (warn_when_broadcasting true))";

TEST(VariableGrid, FourByFourGridLaysOutSeventeenStreamsRowMajor) {
  const configured c(four_by_four);
  const filter_space_variGrid& space = *c.space;
  EXPECT_EQ(c.warnings, "");
  EXPECT_EQ(space.get_stream_count(), 17u);
  EXPECT_EQ(space.get_broadcast_stream(), 316u);
  for (uint32_t i = 0; i < 4; ++i)
    for (uint32_t j = 0; j < 4; ++j) {
      const filter_extent point = extent(middle(i, 4), middle(i, 4), middle(j, 4), middle(j, 4));
      EXPECT_EQ(sent_on(space, point), 300 + 4 * i + j) << i << "," << j;
    }

  // One cell: that cell and the broadcast stream; the whole grid: every stream of the space.
  EXPECT_EQ(streams(space, extent(middle(1, 4), middle(1, 4) + 10, middle(2, 4), middle(2, 4)), true),
            (std::vector<uint32_t>{306, 316}));
  EXPECT_EQ(streams(space, extent(0, UINT32_MAX, 0, UINT32_MAX), true), run(300, 317));
  // Rows 1 and 2 whole, then their middle columns only.
  std::vector<uint32_t> rows = run(304, 312);
  rows.push_back(316);
  EXPECT_EQ(streams(space, extent(middle(1, 4), middle(2, 4), 0, UINT32_MAX), true), rows);
  EXPECT_EQ(streams(space, extent(middle(1, 4), middle(2, 4), middle(1, 4), middle(2, 4)), true),
            (std::vector<uint32_t>{305, 306, 309, 310, 316}));

  // The domain value 1 is the border of the first column: an upper bound on it stays in the
  // column below, one past it spans two cells and goes to the broadcast stream with the warning.
  const uint32_t border = static_cast<uint32_t>(0.25 * 4294967295.0);
  EXPECT_EQ(sent_on(space, extent(middle(0, 4), border, middle(0, 4), middle(0, 4))), 300u);
  testing::internal::CaptureStderr();
  EXPECT_EQ(sent_on(space, extent(middle(0, 4), border + 1, middle(0, 4), middle(0, 4))), 316u);
  EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("VariGrid WARNING: Send/Publication Region overlaps multiple "
                                                         "grid cells.\n                  Data will be sent to a "
                                                         "broadcast stream.\n",
                                                         0),
            0u);

  std::ostringstream listing;
  space.print(listing);
  for (const char* line : {"VariGrid space_id 7,  Name Geo Stream_base 300, dimensions 2\n", " Variable_grids (1)\n",
                           "  Variable_grid 0 main\n   Dimensions = 2 Streambase = 300\n", "   Cell Counts: 4 4\n",
                           "   Multipliers: 4 1\n Is Infinite\n", " Broadcast stream316\n"})
    EXPECT_NE(listing.str().find(line), std::string::npos) << line << " in\n" << listing.str();
}

TEST(VariableGrid, AnExtentInsideTheSecondGridUsesItsCells) {
  // main: 2 x 2 over the whole scale (500..503); fine: 4 x 4 over [0, 2^31) in both dimensions
  // (504..519), cells 2^29 wide so that their borders are exact coordinates.
  const configured c(
      "(Harbour (type gridded) (bounds (X (domain 0 4294967295.0)) (Y (domain 0 4294967295.0)))"
      " (grid main (X (size 2)) (Y (size 2)))"
      " (grid fine (X (range 0 2147483648.0) (size 4)) (Y (range 0 2147483648.0) (size 4))))",
      500);
  const filter_space_variGrid& space = *c.space;
  EXPECT_EQ(space.get_stream_count(), 21u);
  EXPECT_EQ(space.get_grids().size(), 2u);
  EXPECT_EQ(sent_on(space, extent(100, 200, 100, 200)), 504u);
  const uint32_t border = 1u << 29;
  EXPECT_EQ(sent_on(space, extent(100, border, 100, 200)), 504u);
  EXPECT_EQ(sent_on(space, extent(border, border, 100, 200)), 508u);
  EXPECT_EQ(sent_on(space, extent(100, border + 1, 100, 200)), 520u);
  EXPECT_EQ(sent_on(space, extent(3000000000u, 3000000001u, 100, 200)), 502u) << "outside fine, in main";
  // Reaching out of the fine grid also collects the main grid's cells.
  EXPECT_EQ(streams(space, extent(100, 3000000000u, 100, 200), true),
            (std::vector<uint32_t>{500, 502, 504, 508, 512, 516, 520}));
  EXPECT_EQ(streams(space, extent(100, 200, 100, 200), true), (std::vector<uint32_t>{504, 520}));
}

struct bad_case {
  const char* grids;   // the entry's children after its type
  const char* warning;  // a part of what it prints
  uint32_t streams;
};

// Reals the reader turns into infinity, and into a finite number whose double is near the top.
std::string infinite() { return std::string(400, '9') + ".0"; }
std::string huge() { return std::string(308, '9') + ".0"; }

TEST(VariableGrid, BadConfigurationsWarnAndKeepTheSpaceUsable) {
  const std::string inf_range = "(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (range 0 " + infinite() + ")))";
  const std::string inf_domain = "(bounds (X (domain -" + huge() + " " + huge() + "))) (grid g (X (size 2)))";
  const bad_case cases[] = {
      {"(bounds (X (domain 5 5)) (Y (domain 0 1))) (grid g (X (size 2)) (Y (size 2)))",
       "filter_space_variGrid::filter_space_variGrid: empty or unbounded domain 5 - 5 for dimension X in space Geo", 5},
      {"(bounds (X (domain 3 -3)) (Y (domain 0 1))) (grid g (X (size 2)) (Y (size 2)))", "domain 3 - -3", 5},
      {inf_domain.c_str(), "empty or unbounded domain", 3},
      {"(bounds (X (domain \"low\" 1)) (Y (domain 0))) (grid g)",
       "filter_space_variGrid::filter_space_variGrid: misformatted bounds domain for dimension X in space Geo\n"
       "filter_space_variGrid::filter_space_variGrid: misformatted bounds domain for dimension Y in space Geo", 2},
      {"(grid g (X (size 3)) (Y (size 3)))",
       "filter_space_variGrid::filter_space_variGrid: missing domain for dimension X in space Geo", 10},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (size 0)) (Y (size -3)))",
       "variable_grid::variable_grid: size -3 below 1 for dimension Y in grid g in space Geo", 2},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (size 2.5)) (Y (size 2)))",
       "misformatted dimension X size in grid g in space Geo", 3},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (range 0 \"wide\")) (Y (size 2)))",
       "misformatted dimension X range in grid g in space Geo", 3},
      {inf_range.c_str(), "misformatted dimension X range", 2},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (range -5 0.5) (size 2)) (Y (size 2)))",
       "variable_grid::variable_grid: range -5 - 0.5 of dimension X in grid g in space Geo reaches outside the "
       "domain 0 - 1; clamped",
       5},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (range 7 9) (size 2)) (Y (size 2)))",
       "variable_grid::variable_grid: bogus range 7 - 9 in grid g in space Geo", 5},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (range 0.7 0.2) (size 2)) (Y (size 2)))",
       "variable_grid::variable_grid: bogus range 0.7 - 0.2 in grid g in space Geo", 5},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1)))", "filter_space_variGrid::filter_space_variGrid: missing 'grid' in "
                                                     "filter Geo",
       1},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (gird g) (grid g (X (size 2)) (Y (size 2)))",
       "variable_grid::variable_grid: incorrect grid entry in filter Geo", 5},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid g (X (size 2)))",
       "variable_grid::variable_grid: missing dimension Y in space Geo", 3},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid big (X (size 5000)) (Y (size 5000)))"
       " (grid small (X (size 2)) (Y (size 2)))",
       "variable_grid::variable_grid: grid big in space Geo has more cells than the 16776915 streams left; grid dropped",
       5},
      {"(bounds (X (domain 0 1)) (Y (domain 0 1))) (grid big (X (size 2147483647)) (Y (size 2147483647)))",
       "has more cells than", 1},
  };
  const filter_extent probes[] = {extent(0, UINT32_MAX, 0, UINT32_MAX), extent(0, 0, 0, 0),
                                  extent(UINT32_MAX, UINT32_MAX, UINT32_MAX, UINT32_MAX), extent(9, 3, 7, 1),
                                  extent(middle(1, 3), middle(2, 3), 5, 6)};
  for (const bad_case& bad : cases) {
    const configured c(std::string("(Geo (type gridded) ") + bad.grids + ")");
    EXPECT_NE(c.warnings.find(bad.warning), std::string::npos) << bad.grids << "\nprinted:\n" << c.warnings;
    const filter_space_variGrid& space = *c.space;
    EXPECT_EQ(space.get_stream_count(), bad.streams) << bad.grids;
    for (const filter_extent& probe : probes) {
      EXPECT_LT(sent_on(space, probe) - 300, bad.streams) << bad.grids;
      const std::vector<uint32_t> heard = streams(space, probe, true);
      EXPECT_EQ(heard.back(), space.get_broadcast_stream());
      EXPECT_GE(heard.front(), 300u);
    }
  }

  // A NaN range (no reader text makes one, a translated or edited tree can), and a first
  // stream already at the transport's limit: the broadcast stream alone remains.
  const configured nan_range("(Geo (type gridded) (grid g (X (range 0 1) (size 2)) (Y (size 2))))", 300, stream_limit,
                             [](Document::Element& entry) {
                               Document::Value& high = entry.children[1].children[0].children[0].values[1];
                               high.kind = Document::real_value;
                               high.real = NAN;
                             });
  EXPECT_NE(nan_range.warnings.find("misformatted dimension X range"), std::string::npos) << nan_range.warnings;
  EXPECT_EQ(nan_range.space->get_stream_count(), 5u);
  const configured no_room(four_by_four, 300, 300);
  EXPECT_NE(no_room.warnings.find("has more cells than the 0 streams left"), std::string::npos);
  EXPECT_EQ(no_room.space->get_stream_count(), 1u);
}

TEST(VariableGrid, AMillionCellGridSendsWideExtentsToBroadcastAndSubscribesInRuns) {
  const configured c("(Geo (type gridded) (bounds (X (domain 0 1)) (Y (domain 0 1)))"
                     " (grid g (X (size 1000)) (Y (size 1000))))");
  const filter_space_variGrid& space = *c.space;
  EXPECT_EQ(space.get_broadcast_stream(), 1000300u);
  EXPECT_EQ(sent_on(space, extent(0, UINT32_MAX, 0, UINT32_MAX)), 1000300u);
  sparse_bit_vector heard;
  space.get_streams(extent(0, UINT32_MAX, middle(10, 1000), middle(19, 1000)), true, heard);
  EXPECT_EQ(heard.count(), 10u * 1000 + 1);
  EXPECT_TRUE(heard.get_bit(300 + 999 * 1000 + 19));
  EXPECT_FALSE(heard.get_bit(300 + 999 * 1000 + 20));
}

// Random grids and extents, coordinates often on or beside a cell border: whenever a sender
// goes to a cell, every subscriber extent containing the sender's extent joins that cell. A
// point sender on a border is contained by a subscriber that starts at it or reaches past it.
class grid_property {
public:
  explicit grid_property(uint32_t seed) : random_(seed) {}

  void check(int spaces, int extents_per_space) {
    for (int s = 0; s < spaces; ++s) {
      const configured c(random_space());
      EXPECT_EQ(c.warnings.find("dropped"), std::string::npos);
      for (int e = 0; e < extents_per_space; ++e) {
        filter_extent sender(2);
        filter_extent subscriber(2);
        for (int d = 0; d < 2; ++d) {
          uint32_t a = coordinate(*c.space, d);
          uint32_t b = random_() % 4 == 0 ? a : coordinate(*c.space, d);
          if (a > b) std::swap(a, b);
          sender.ranges[d] = {a, b};
          subscriber.ranges[d] = {a - std::min(a, widening()), b + std::min(UINT32_MAX - b, widening())};
          if (a == b && subscriber.ranges[d].lower < a && subscriber.ranges[d].upper == b) subscriber.ranges[d].lower = a;
        }
        const uint32_t sent = sent_on(*c.space, sender);
        sparse_bit_vector heard;
        c.space->get_streams(subscriber, true, heard);
        ASSERT_TRUE(heard.get_bit(sent)) << c.entry.children.size() << " grids; sender " << describe(sender)
                                         << " subscriber " << describe(subscriber);
      }
    }
  }

private:
  std::string random_space() {
    std::string text = "(Geo (type gridded)";
    const uint32_t grids = 1 + random_() % 3;
    for (uint32_t g = 0; g < grids; ++g) {
      text += " (grid g" + std::to_string(g);
      for (const char* d : {"X", "Y"}) {
        double low = fraction();
        double high = fraction();
        if (low > high) std::swap(low, high);
        char dimension[128];
        std::snprintf(dimension, sizeof dimension, " (%s (range %.6f %.6f) (size %u))", d, low, high + 0.001,
                      static_cast<unsigned>(1 + random_() % 7));
        text += dimension;
      }
      text += ")";
    }
    return text + " (bounds (X (domain 0 1)) (Y (domain 0 1))))";
  }

  double fraction() { return (random_() % 1000000) / 1000000.0; }
  uint32_t widening() { return random_() % 3 == 0 ? 0 : random_() % 3 == 0 ? 1 : random_() >> (random_() % 32); }

  // Half the time a cell border of a random grid, give or take one.
  uint32_t coordinate(const filter_space_variGrid& space, int d) {
    if (random_() % 2 == 0 || space.get_grids().empty()) return random_();
    const variable_grid& grid = space.get_grids()[random_() % space.get_grids().size()];
    const variable_grid::axis& axis = grid.get_axes()[d];
    const uint64_t k = random_() % (axis.cells + 1);
    const int64_t border = axis.lo + (k * (axis.hi - axis.lo) + axis.cells - 1) / axis.cells;
    return static_cast<uint32_t>(std::clamp<int64_t>(border + static_cast<int64_t>(random_() % 3) - 1, 0, UINT32_MAX));
  }

  static std::string describe(const filter_extent& e) {
    std::string text;
    for (const filter_range& r : e.ranges) text += std::to_string(r.lower) + "-" + std::to_string(r.upper) + " ";
    return text;
  }

  std::mt19937 random_;
};

TEST(VariableGrid, ASubscriberContainingTheSendersExtentHearsItsStream) {
  for (uint32_t seed : {1u, 20261208u, 4242u}) {
    SCOPED_TRACE(seed);
    grid_property(seed).check(200, 200);
  }
}

}  // namespace
