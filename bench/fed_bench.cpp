// Load time of a generated federation object model (by default 2,000 object classes with ten
// attributes each, in a tree five levels deep) at 1x, 2x and 4x its size, against parsing the
// same file alone, to show loading stays linear in the classes at fixed depth; and lookups per
// second by name and by handle against a hash map and an array of the same names.
//
// Usage: fed_bench [classes]   (default 2000)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

#include "fed/fed.h"
#include "rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int attributes_per_class = 10;
constexpr int fan_out = 7;  // 1 + 7 + 49 + 343 + 1,599 classes: five levels for 2,000

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// The classes of one copy of the tree, numbered from 1: class i hangs below class
// (i - 1) / fan_out, 0 standing for the root, so 2,000 classes make five levels with the root.
// Copies side by side below the root grow the model at a fixed depth.
std::vector<std::vector<int>> tree_of(int classes) {
  std::vector<std::vector<int>> children(classes);
  for (int i = 1; i < classes; ++i) children[(i - 1) / fan_out].push_back(i);
  return children;
}

void write_class(std::string& text, const std::vector<std::vector<int>>& tree, int copy, int node, int depth) {
  const std::string indent(2 * depth, ' ');
  text += indent + "(class C" + std::to_string(copy) + "_" + std::to_string(node) + "\n";
  for (int a = 0; a < attributes_per_class; ++a) {
    text += indent + "  (attribute a" + std::to_string(node) + "_" + std::to_string(a) +
            (a % 2 ? " reliable" : " best_effort") + (a % 3 ? " receive" : " timestamp") +
            (a == 0 ? " Geo" : "") + ")\n";
  }
  for (int child : tree[node]) write_class(text, tree, copy, child, depth + 1);
  text += indent + ")\n";
}

// The root with copies of a tree of classes - 1 classes below it, one routing space and a few
// interactions.
std::string generate(int classes, int copies) {
  const auto tree = tree_of(classes);
  std::string text =
      "(FED (Federation Bench) (FEDversion v1.3)\n"
      "  (spaces (space Geo (dimension X) (dimension Y)))\n"
      "  (objects (class ObjectRoot (attribute privilegeToDelete reliable timestamp)\n";
  for (int copy = 0; copy < copies; ++copy)
    for (int top : tree[0]) write_class(text, tree, copy, top, 2);
  text += "  ))\n  (interactions (class InteractionRoot best_effort receive\n";
  for (int i = 0; i < 20; ++i)
    text += "    (class I" + std::to_string(i) + " reliable timestamp (parameter p))\n";
  return text + "  )))\n";
}

struct folder {
  std::filesystem::path path;
  folder() {
    char pattern[] = "/tmp/fed_bench_XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    path = pattern;
  }
  ~folder() { std::filesystem::remove_all(path); }
};

// Best of a few rounds, in seconds.
template <class F>
double best_of(int rounds, F&& work) {
  double best = 1e9;
  for (int round = 0; round < rounds; ++round) {
    const auto start = clock_type::now();
    work();
    best = std::min(best, seconds_since(start));
  }
  return best;
}

void load_figures(RID& rid, const folder& f, int classes) {
  std::printf("%6s %8s %10s %10s %12s %12s %8s\n", "scale", "classes", "attributes", "load ms", "us per class",
              "parse ms", "ratio");
  double first_per_class = 0;
  for (int scale : {1, 2, 4}) {
    const std::string path = (f.path / ("bench" + std::to_string(scale) + ".fed")).string();
    std::ofstream(path) << generate(classes, scale);
    uint32_t loaded = 0;
    const double load = best_of(5, [&] {
      const FED fed(&rid, path.c_str());
      if (fed.get_status() != Document::ok) std::abort();
      loaded = fed.num_object_classes();
    });
    const uint32_t attributes = (loaded - 1) * attributes_per_class + 1;
    const double parse = best_of(5, [&] {
      Document document;
      Document::Element top;
      if (document.read(path.c_str(), top) != Document::ok) std::abort();
    });
    const double per_class = load / loaded * 1e6;
    if (scale == 1) first_per_class = per_class;
    std::printf("%5dx %8u %10u %10.2f %12.3f %12.2f %7.2fx   per class vs 1x: %.2f\n", scale, loaded,
                attributes, load * 1e3, per_class, parse * 1e3, load / parse, per_class / first_per_class);
  }
}

void lookup_figures(RID& rid, const folder& f) {
  const std::string path = (f.path / "bench1.fed").string();
  const FED fed(&rid, path.c_str());
  struct entry {
    std::string class_name, attribute_name;
    uint32_t object_class, attribute;
  };
  std::vector<entry> entries;
  std::unordered_map<std::string, uint32_t> class_map;
  std::vector<const char*> name_array;
  for (uint32_t c = 0; c < fed.num_object_classes(); ++c) {
    const uint32_t last = fed.num_attributes(c) - 1;
    entries.push_back({fed.get_object_class_name(c), fed.get_attribute_name(last, c), c, last});
    class_map.emplace(fed.get_object_class_name(c), c);
    name_array.push_back(fed.get_object_class_name(c));
  }
  const int rounds = 1000000;
  uint64_t sink = 0;
  const double by_name = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i) {
      const entry& e = entries[(i * 7919u) % entries.size()];
      sink += fed.get_object_class_handle(e.class_name.c_str());
      sink += fed.get_attribute_handle(e.attribute_name.c_str(), e.object_class);
    }
  });
  const double map_name = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i)
      sink += class_map.find(entries[(i * 7919u) % entries.size()].class_name)->second;
  });
  const double by_handle = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i) {
      const entry& e = entries[(i * 7919u) % entries.size()];
      sink += reinterpret_cast<uintptr_t>(fed.get_object_class_name(e.object_class));
      sink += reinterpret_cast<uintptr_t>(fed.get_attribute_name(e.attribute, e.object_class));
    }
  });
  const double array_handle = best_of(3, [&] {
    for (int i = 0; i < rounds; ++i)
      sink += reinterpret_cast<uintptr_t>(name_array[entries[(i * 7919u) % entries.size()].object_class]);
  });
  // Each FED round does two lookups (class and attribute): count them both.
  std::printf("lookups by name:   %12.0f /s   hash map of class names: %12.0f /s   ratio %5.1fx\n",
              2 * rounds / by_name, rounds / map_name, (by_name / 2) / map_name);
  std::printf("lookups by handle: %12.0f /s   array of class names:    %12.0f /s   ratio %5.1fx%s\n",
              2 * rounds / by_handle, rounds / array_handle, (by_handle / 2) / array_handle, sink ? "" : " ");
}

}  // namespace

int main(int argc, char** argv) {
  const int classes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 2000;
  folder f;
  setenv("RTI_RID_FILE", (f.path / "absent.rid").c_str(), 1);
  RID rid;
  std::printf(
      "FED: %d object classes declaring %d attributes each, fan-out %d below the root (five levels\n"
      "     with the root for 2,000 classes); 2x and 4x repeat the tree below the root at the same depth\n",
      classes, attributes_per_class, fan_out);
  load_figures(rid, f, classes);
  lookup_figures(rid, f);
  return 0;
}
