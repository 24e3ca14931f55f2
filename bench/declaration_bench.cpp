// Declaration management: subscribe and unsubscribe cycles of the root object class through the
// distribution manager's services, on a model of 250 object classes (every one a stream of the
// root's subscription), against the stream transport joining and leaving the same stream set in
// the same federate and run.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bit_vector.h"
#include "objects/stream_plan.h"
#include "objects/subscription_agent.h"
#include "sparse_bit_vector.h"
#include "stream_manager.h"
#include "test_ldm.h"
#include "test_ports.h"
#include "test_rid.h"

using namespace brindle;
using namespace varnel;

namespace {

using bench_clock = std::chrono::steady_clock;
constexpr int classes = 250;
constexpr int cycles = 200;
constexpr int trials = 9;

// 250 object classes in a tree five deep (the root, then groups of subclasses), one attribute each.
std::filesystem::path write_model() {
  const auto path = std::filesystem::temp_directory_path() / ("declaration_bench_" + std::to_string(getpid()) + ".fed");
  std::ofstream out(path);
  out << "(FED (Federation Bench) (FEDversion v1.3)\n (objects (class ObjectRoot (attribute privilegeToDelete reliable "
         "timestamp)\n";
  int made = 1;
  for (int group = 0; made < classes; ++group) {
    out << "  (class G" << group << " (attribute A reliable receive)\n";
    ++made;
    for (int leaf = 0; leaf < 30 && made < classes; ++leaf, ++made)
      out << "    (class L" << group << "_" << leaf << " (attribute B best_effort receive))\n";
    out << "  )\n";
  }
  out << " ))\n (interactions (class InteractionRoot reliable receive)))\n";
  return path;
}

// Median microseconds per cycle over the trials.
double median_per_cycle(const std::function<void()>& cycle) {
  std::vector<double> runs;
  for (int t = 0; t < trials; ++t) {
    const auto start = bench_clock::now();
    for (int i = 0; i < cycles; ++i) cycle();
    runs.push_back(std::chrono::duration<double, std::micro>(bench_clock::now() - start).count() / cycles);
  }
  std::sort(runs.begin(), runs.end());
  return runs[runs.size() / 2];
}

}  // namespace

int main() {
  const auto model = write_model();
  test_rid_options options;
  options.port = test_port(port_block::bench, 30);
  const scoped_rid_file rid(options);
  test_ldm ldm;
  ldm.create_federation_execution("Bench", model.c_str());
  ldm.join_federation_execution("bench", "Bench");
  const unsigned root = ldm.get_object_class_handle("ObjectRoot");
  bit_vector attributes(1, false);
  attributes.set_bit(ldm.get_attribute_handle("privilegeToDelete", root));

  sparse_bit_vector streams;
  ldm.get_subscription_agent()->plan().add_object_class_streams(root, streams);
  vessmark::stream_manager& transport = ldm.get_stream_manager();

  const double services = median_per_cycle([&] {
    ldm.subscribe_object_class_attributes(root, attributes, true);
    ldm.unsubscribe_object_class(root);
  });
  const double baseline = median_per_cycle([&] {
    transport.join(streams);
    transport.leave(streams);
  });
  std::printf("declaration_bench: %d object classes, %u streams per subscription, %d cycles x %d trials (median)\n",
              classes, streams.count(), cycles, trials);
  std::printf("  transport join + leave         %9.1f us per cycle (baseline)\n", baseline);
  std::printf("  subscribe + unsubscribe root   %9.1f us per cycle   ratio %.2f\n", services, services / baseline);
  ldm.resign_federation_execution(false, false, false);
  ldm.destroy_federation_execution("Bench");
  std::filesystem::remove(model);
  return 0;
}
