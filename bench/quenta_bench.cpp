// Iterations per second of the estimation engine with its cached likelihood against the same
// engine evaluating the model's formulas directly, on one simulated problem, in one run. It
// first checks that both evaluators give the same block log-likelihoods from a shared state.
//
// Usage: quenta_bench [persons items categories]   (default 1000 20 4)
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "direct_likelihood.h"
#include "likelihood.h"
#include "quenta.h"
#include "simulation.h"

namespace {

using clock_type = std::chrono::steady_clock;

struct scratch {
  std::filesystem::path path;
  scratch() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenta_bench_XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~scratch() { std::filesystem::remove_all(path); }
};

std::vector<int> slot_responses(const QUENTA& engine) {
  const model_size& size = engine.size();
  std::vector<int> responses(static_cast<size_t>(size.persons) * size.items);
  for (int n = 0; n < size.persons; ++n)
    for (int j = 0; j < size.items; ++j) responses[static_cast<size_t>(n) * size.items + j] = engine.response(n, j);
  return responses;
}

double relative_difference(std::span<const double> a, std::span<const double> b) {
  double worst = 0;
  for (size_t i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::fabs(a[i] - b[i]) / std::max(1.0, std::fabs(b[i])));
  return worst;
}

// Both evaluators from the engine's current state, on the same proposals of every block kind.
double largest_block_difference(const QUENTA& engine) {
  const model_size& size = engine.size();
  const std::vector<int> responses = slot_responses(engine);
  cached_likelihood cached(size, responses);
  direct_likelihood direct(size, responses);
  const std::vector<double>& theta = engine.theta();
  const item_parameters& items = engine.parameters();
  cached.reset(theta, items);

  std::mt19937_64 random(17);
  std::normal_distribution<double> step(0, 0.1);
  std::vector<double> c1(size.persons), p1(size.persons), c2(size.persons), p2(size.persons);
  std::vector<double> theta_new = theta;
  for (double& t : theta_new) t += 5 * step(random);
  cached.theta_block(theta, theta_new, items, c1, p1);
  direct.theta_block(theta, theta_new, items, c2, p2);
  double worst = std::max(relative_difference(c1, c2), relative_difference(p1, p2));

  std::vector<double> i1(size.items), q1(size.items), i2(size.items), q2(size.items);
  for (item_change what : {item_change::alpha, item_change::delta, item_change::threshold}) {
    item_parameters trial = items;
    std::vector<double>& changed = what == item_change::alpha ? trial.alpha : what == item_change::delta ? trial.delta : trial.tau;
    for (int j = 0; j < size.items; ++j) changed[j] += step(random);  // the first threshold for tau
    cached.item_block(theta, items, trial, what, i1, q1);
    direct.item_block(theta, items, trial, what, i2, q2);
    worst = std::max({worst, relative_difference(i1, i2), relative_difference(q1, q2)});
  }
  return worst;
}

// Seconds per iteration of a run continued for the given number of iterations.
double seconds_per_iteration(QUENTA& engine, int& t, int iterations) {
  auto start = clock_type::now();
  for (int i = 0; i < iterations; ++i) engine.iterate(t++);
  return std::chrono::duration<double>(clock_type::now() - start).count() / iterations;
}

}  // namespace

int main(int argc, char** argv) {
  simulation_settings settings;
  if (argc == 4) settings.size = {std::atoi(argv[1]), std::atoi(argv[2]), std::atoi(argv[3])};
  settings.iterations = 100000;
  settings.burn_in = 0;
  const simulated_problem problem = simulate(settings);
  scratch folder;
  const problem_files files = problem_files::in(folder.path.string(), "bench");
  if (std::string error = write_problem(problem, files); !error.empty()) {
    std::fprintf(stderr, "quenta_bench: %s\n", error.c_str());
    return 1;
  }

  QUENTA cached(QUENTA_TABLE), direct(QUENTA_TABLE);
  direct.use_direct_likelihood(true);
  for (QUENTA* engine : {&cached, &direct}) {
    engine->fix_seed(1);
    if (engine->load_syntax(files.syntax) != QUENTA::loaded_ok) {
      std::fprintf(stderr, "quenta_bench: %s\n", engine->last_error().c_str());
      return 1;
    }
    engine->start_run();
  }
  const model_size size = cached.size();
  std::printf("problem: %d persons, %d items, %d categories; one thread\n", size.persons, size.items, size.categories);

  int t_cached = 0, t_direct = 0;
  seconds_per_iteration(cached, t_cached, 20);  // leave the starting state behind
  std::printf("largest relative difference of block log-likelihoods, cached vs direct: %.3g\n",
              largest_block_difference(cached));

  // Alternate the two so that both see the same machine; keep each one's best round.
  double best_cached = 1e9, best_direct = 1e9;
  for (int round = 0; round < 5; ++round) {
    best_cached = std::min(best_cached, seconds_per_iteration(cached, t_cached, 100));
    best_direct = std::min(best_direct, seconds_per_iteration(direct, t_direct, 5));
  }
  const double cells = static_cast<double>(size.persons) * size.items;
  std::printf("cached: %8.1f iterations/s  %6.2f ns per person-item per iteration\n", 1 / best_cached,
              best_cached / cells * 1e9);
  std::printf("direct: %8.1f iterations/s  %6.2f ns per person-item per iteration\n", 1 / best_direct,
              best_direct / cells * 1e9);
  std::printf("ratio (cached speed / direct speed): %.1fx\n", best_direct / best_cached);
  return 0;
}
