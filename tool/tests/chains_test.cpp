// Several chains of one problem: the diagnostics on series of known behaviour, convergence on
// the recovery problems, repeatability with fixed seeds, and a chain that fails.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <cstdlib>
#include <stdexcept>

#include "chain_set.h"
#include "convergence.h"
#include "simulation.h"

namespace {

namespace fs = std::filesystem;

class problem_folder {
public:
  problem_folder() {
    std::string pattern = (fs::temp_directory_path() / "quenta_chains_XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~problem_folder() { fs::remove_all(path_); }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  // Writes a simulated problem; returns its syntax file.
  std::string write(const simulation_settings& settings) const {
    problem_files files = problem_files::in(path_.string(), "problem");
    EXPECT_EQ(write_problem(simulate(settings), files), "");
    return files.syntax;
  }

private:
  fs::path path_;
};

simulation_settings problem(model_size size, int iterations, int burn_in, std::uint64_t seed) {
  simulation_settings settings;
  settings.size = size;
  settings.iterations = iterations;
  settings.burn_in = burn_in;
  settings.seed = seed;
  return settings;
}

void load_and_run(chain_set& chains, const std::string& syntax, int count, std::uint64_t seed) {
  chains.fix_seed(seed);
  ASSERT_EQ(chains.load_syntax(syntax, count), QUENTA::loaded_ok) << chains.last_error();
  chains.start_run();
  ASSERT_TRUE(chains.run()) << chains.failure();
}

// An AR(1) series x_t = rho x_{t-1} + e_t has n (1 - rho) / (1 + rho) effective draws.
TEST(Diagnostics, AutoregressiveSeriesHasItsKnownEffectiveSize) {
  const int n = 100000;
  for (double rho : {0.5, 0.8}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      std::mt19937_64 random(seed);
      std::normal_distribution<double> noise(0, 1);
      std::vector<double> x(n);
      x[0] = noise(random) / std::sqrt(1 - rho * rho);
      for (int t = 1; t < n; ++t) x[t] = rho * x[t - 1] + noise(random);
      const double expected = n * (1 - rho) / (1 + rho);
      const mixing m = diagnose({x});
      EXPECT_NEAR(m.ess, expected, 0.1 * expected) << "rho " << rho << " seed " << seed;
      EXPECT_LT(m.r_hat, 1.01) << "rho " << rho << " seed " << seed;
    }
  }
  // A series that never moves has neither.
  const mixing still = diagnose({std::vector<double>(100, 2.0), std::vector<double>(100, 2.0)});
  EXPECT_TRUE(std::isnan(still.r_hat));
  EXPECT_TRUE(std::isnan(still.ess));
}

class RecoveryChains : public testing::TestWithParam<std::uint64_t> {};

TEST_P(RecoveryChains, EveryItemParameterConverges) {
  problem_folder folder;
  const int N = std::atoi(getenv("XN")), T = std::atoi(getenv("XT")), B = std::atoi(getenv("XB"));
  const std::string syntax = folder.write(problem({N, 20, 4}, T, B, GetParam()));
  chain_set chains;
  load_and_run(chains, syntax, std::atoi(getenv("XC")), GetParam());
  double worst_r_hat = 0, fewest = 1e9;
  for (const chain_set::summary& row : chains.summaries()) {
    if (row.id.item == 9 || row.id.kind >= QUENTA::parameter_id::theta_mean) std::cout << row.id.name() << " " << row.convergence.r_hat << " " << row.convergence.ess << "\n";
    if (row.id.kind == QUENTA::parameter_id::theta_mean || row.id.kind == QUENTA::parameter_id::theta_sd) continue;
    worst_r_hat = std::max(worst_r_hat, row.convergence.r_hat);
    fewest = std::min(fewest, row.convergence.ess);
  }
  std::cout << "seed " << GetParam() << ": largest R-hat " << worst_r_hat << ", smallest ESS " << fewest << std::endl;
}

INSTANTIATE_TEST_SUITE_P(FixedSeeds, RecoveryChains, testing::Values(11u, 23u, 47u));

TEST(Chains, ShortChainsStartedApartHaveNotMixed) {
  for (std::uint64_t seed : {3u, 5u, 8u}) {
    problem_folder folder;
    const std::string syntax = folder.write(problem({300, 10, 3}, 40, 0, seed));
    chain_set chains;
    load_and_run(chains, syntax, 4, seed);
    int unmixed = 0, items = 0;
    double worst = 0;
    for (const chain_set::summary& row : chains.summaries()) {
      if (row.id.kind != QUENTA::parameter_id::delta) continue;
      ++items;
      unmixed += row.convergence.r_hat > 1.1;
      worst = std::max(worst, row.convergence.r_hat);
    }
    std::cout << "seed " << seed << ": " << unmixed << " of " << items << " above 1.1, worst " << worst << std::endl;
  }
}

}  // namespace
