// The sampler's starting state, its steps and its convergence diagnostics.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "convergence.h"
#include "direct_likelihood.h"
#include "problem_files.h"
#include "quenta.h"

namespace {

struct engine_on {
  scratch_folder folder;
  QUENTA engine;
  engine_on(syntax_settings settings, const std::vector<std::vector<int>>& rows, std::uint64_t seed = 11,
            bool direct = false, bool tuned = false) {
    settings.data = folder.write("data.txt", data_text(rows));
    engine.fix_seed(seed);
    engine.use_direct_likelihood(direct);
    engine.use_tuned_sampler(tuned);
    EXPECT_EQ(engine.load_syntax(folder.write("p.mcs", settings.text())), QUENTA::loaded_ok) << engine.last_error();
    engine.start_run();
  }
  void run(int iterations) {
    for (int t = 0; t < iterations; ++t) engine.iterate(t);
  }
};

std::vector<std::vector<int>> random_rows(int persons, int items, int categories, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::vector<int>> rows(persons, std::vector<int>(items));
  for (auto& row : rows)
    for (int& r : row) r = static_cast<int>(random() % categories);
  return rows;
}

TEST(StartingState, ThetasFollowDisagreementAndMissingPersonsStartBelowTheMean) {
  // K = 3: a response r counts 4 - r; person 0 answers 2 (0.5 -> z 0), person 1 answers 0
  // (1.0 -> the table's last z), person 2 answers nothing.
  syntax_settings settings;
  settings.persons = 3;
  engine_on e(settings, {{2, 2, 2}, {0, 0, 0}, {-1, -1, -1}});
  const double top = e.engine.normal_quantile(1.0);
  const double mean = top / 2;
  const double sd = std::sqrt((mean * mean * 3) / 2);  // over the two who answered
  const std::vector<double>& theta = e.engine.theta_initial();
  ASSERT_EQ(theta.size(), 3u);
  EXPECT_NEAR(theta[0], (0 - mean) / sd, 1e-12);
  EXPECT_NEAR(theta[1], (top - mean) / sd, 1e-12);
  EXPECT_NEAR(theta[2], -mean / sd, 1e-12);
  EXPECT_NE(theta[2], 0.0);
}

TEST(StartingState, LocationsAreSortedAndChainsStartAtTheStartingValues) {
  syntax_settings settings;
  settings.delta_start = {0.5, -2, 1};
  engine_on e(settings, random_rows(4, 3, 3, 1));
  EXPECT_EQ(e.engine.parameters().delta, (std::vector<double>{-2, 0.5, 1}));
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(e.engine.alpha_chain(j).value_at(0), 1.0);
    EXPECT_EQ(e.engine.delta_chain(j).value_at(0), e.engine.parameters().delta[j]);
    for (int k = 0; k < 2; ++k) {
      double tau = e.engine.tau_chain(k, j).value_at(0);
      EXPECT_GE(tau, -3.5);
      EXPECT_LE(tau, 1.5);
      EXPECT_EQ(e.engine.tau_chain(k, j).value_at(1), CompressedArray::missing_value);
    }
  }
}

TEST(Sampler, EveryItemStepRecordsOneValuePerParameter) {
  engine_on e({}, random_rows(4, 3, 3, 2));
  e.run(20);
  EXPECT_EQ(e.engine.iterations_done(), 20);
  for (int j = 0; j < 3; ++j) {
    EXPECT_EQ(e.engine.alpha_chain(j).length(), 21);
    EXPECT_EQ(e.engine.delta_chain(j).length(), 21);
    EXPECT_EQ(e.engine.tau_chain(1, j).length(), 21);
    EXPECT_EQ(e.engine.alpha_chain(j).value_at(20), e.engine.parameters().alpha[j]);
  }
  // A second run starts over.
  e.engine.start_run();
  EXPECT_EQ(e.engine.iterations_done(), 0);
  EXPECT_EQ(e.engine.alpha_chain(0).length(), 1);
}

TEST(Sampler, TwoCategoriesHaveOneThreshold) {
  syntax_settings settings;
  settings.categories = 2;
  engine_on e(settings, random_rows(4, 3, 2, 3));
  e.run(20);
  EXPECT_EQ(e.engine.parameters().tau.size(), 3u);
  const std::string report = e.engine.report();
  EXPECT_NE(report.find("Tau1"), std::string::npos);
  EXPECT_EQ(report.find("Tau2"), std::string::npos);
}

TEST(Sampler, FixedSeedsRepeatAndDifferentSeedsDiffer) {
  auto rows = random_rows(30, 5, 4, 4);
  syntax_settings settings;
  settings.persons = 30;
  settings.items = 5;
  settings.categories = 4;
  settings.columns = {1, 2, 3, 4, 5};
  settings.delta_start = {-2, -1, 0, 1, 2};
  settings.iterations = 60;
  settings.burn_in = 20;
  engine_on a(settings, rows, 5), b(settings, rows, 5), c(settings, rows, 6);
  a.run(60);
  b.run(60);
  c.run(60);
  EXPECT_EQ(a.engine.report(), b.engine.report());
  EXPECT_NE(a.engine.report(), c.engine.report());
}

void expect_same_state(const QUENTA& a, const QUENTA& b) {
  for (size_t n = 0; n < a.theta().size(); ++n) EXPECT_NEAR(a.theta()[n], b.theta()[n], 1e-9);
  for (size_t j = 0; j < a.parameters().alpha.size(); ++j) {
    EXPECT_NEAR(a.parameters().alpha[j], b.parameters().alpha[j], 1e-9);
    EXPECT_NEAR(a.parameters().delta[j], b.parameters().delta[j], 1e-9);
  }
  EXPECT_EQ(a.parameters().tau.size(), b.parameters().tau.size());
  for (size_t i = 0; i < a.parameters().tau.size(); ++i)
    EXPECT_NEAR(a.parameters().tau[i], b.parameters().tau[i], 1e-9);
}

syntax_settings six_items() {
  syntax_settings settings;
  settings.persons = 40;
  settings.items = 6;
  settings.columns = {6, 5, 4, 3, 2, 1};
  settings.delta_start = {-2, -1, -0.5, 0.5, 1, 2};
  settings.iterations = 40;
  settings.burn_in = 20;
  return settings;
}

double total_loglik(const QUENTA& engine) {
  const model_size& size = engine.size();
  std::vector<int> responses;
  for (int n = 0; n < size.persons; ++n)
    for (int j = 0; j < size.items; ++j) responses.push_back(engine.response(n, j));
  direct_likelihood likelihood(size, responses);
  likelihood.evaluate(engine.theta(), engine.parameters());
  double sum = 0;
  for (double cell : likelihood.loglik()) sum += cell;
  return sum;
}

TEST(Sampler, CachedAndDirectLikelihoodTakeTheSameDecisions) {
  // From one seed both evaluators see the same proposals and uniforms; their log-likelihoods
  // agree to rounding, so the chains agree unless a decision falls within rounding of a tie.
  auto rows = random_rows(40, 6, 3, 7);
  engine_on cached(six_items(), rows, 9), direct(six_items(), rows, 9, true);
  cached.run(40);
  direct.run(40);
  expect_same_state(cached.engine, direct.engine);
}

// The tuned sampler's moves of all persons and items together leave the likelihood exactly as
// it was; its whole-item moves and tuning take the same decisions with either evaluator, and
// every iteration still records one value per parameter.
TEST(TunedSampler, RidgeMovesKeepTheLikelihoodAndBothEvaluatorsAgree) {
  auto rows = random_rows(40, 6, 3, 7);
  engine_on cached(six_items(), rows, 9, false, true), direct(six_items(), rows, 9, true, true);
  cached.run(40);
  direct.run(40);
  expect_same_state(cached.engine, direct.engine);
  EXPECT_EQ(cached.engine.delta_chain(5).length(), 41);
  EXPECT_EQ(cached.engine.tau_chain(1, 5).value_at(40), cached.engine.parameters().tau[11]);

  const double before = total_loglik(cached.engine);
  const std::vector<double> theta = cached.engine.theta(), delta = cached.engine.parameters().delta;
  int moved = 0;
  for (int i = 0; i < 20; ++i) {
    cached.engine.ridge_step();
    moved += cached.engine.theta() != theta;
  }
  EXPECT_GT(moved, 0);
  EXPECT_NE(cached.engine.parameters().delta, delta);
  EXPECT_NEAR(total_loglik(cached.engine), before, 1e-9 * std::fabs(before));
}

TEST(Sampler, EstimatesAverageTheKeptIterations) {
  engine_on e({}, random_rows(4, 3, 3, 8));
  e.run(20);
  QUENTA::estimates est = e.engine.current_estimates();
  for (int j = 0; j < 3; ++j) {
    double sum = 0, squares = 0;
    for (int i = 6; i <= 20; ++i) {  // iterations 5 .. 19 leave chain entries 6 .. 20
      double v = e.engine.delta_chain(j).value_at(i);
      sum += v;
      squares += v * v;
    }
    EXPECT_NEAR(est.mean.delta[j], sum / 15, 1e-12);
    EXPECT_NEAR(est.standard_error.delta[j], std::sqrt((squares - sum * sum / 15) / 14 + 1e-9), 1e-9);
    EXPECT_GE(est.rejection_percent.alpha[j], 0.0);
    EXPECT_LE(est.rejection_percent.alpha[j], 100.0);
  }
}

TEST(Sampler, ZScoreWindowsStayInsideTheKeptIterations) {
  syntax_settings settings;
  settings.first_fraction = 1e300;
  settings.last_fraction = std::nan("");
  engine_on e(settings, random_rows(4, 3, 3, 9));
  e.run(20);
  const std::string report = e.engine.report();
  EXPECT_EQ(report.find("nan"), std::string::npos) << report;
  EXPECT_EQ(report.find("inf"), std::string::npos) << report;
}

TEST(SpectralVariance, ShortSegmentsGiveTheFloor) {
  std::vector<double> x(11, 1.0);
  EXPECT_EQ(spectral_variance(x), 0.00001);
}

TEST(SpectralVariance, ValuesPastTheLastFullBatchAreUnused) {
  // 250 values make 100 batches of 2; a 251st value falls outside every batch.
  std::mt19937 random(1);
  std::normal_distribution<double> normal;
  std::vector<double> x(251);
  for (double& v : x) v = normal(random);
  double with_extra = spectral_variance(x);
  x.pop_back();
  EXPECT_EQ(spectral_variance(x), with_extra);
}

TEST(SpectralVariance, EstimatesTheVarianceOfTheMean) {
  std::mt19937 random(2);
  std::normal_distribution<double> normal;
  const int n = 20000;
  std::vector<double> white(n), correlated(n);
  double state = 0;
  for (int i = 0; i < n; ++i) {
    white[i] = normal(random);
    state = 0.9 * state + normal(random);
    correlated[i] = state;
  }
  // Independent unit draws: 1/n, which the estimate's constant bias corrections take to about
  // a third. AR(1) with 0.9: a hundred times more.
  const double white_estimate = spectral_variance(white) * n;
  EXPECT_GT(white_estimate, 0.2);
  EXPECT_LT(white_estimate, 1.0);
  EXPECT_NEAR(std::log(spectral_variance(correlated) * n / white_estimate), std::log(100.0), std::log(2.0));
}

TEST(MatrixInversion, InvertsAndRefusesSingularMatrices) {
  matrix3 a = {{{0, 2, 1}, {1, 1, 0}, {3, 0, 1}}};  // needs pivoting at the first column
  const matrix3 original = a;
  ASSERT_TRUE(invert(a));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double product = 0;
      for (int k = 0; k < 3; ++k) product += original[i][k] * a[k][j];
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12);
    }
  matrix3 singular = {{{1, 2, 3}, {2, 4, 6}, {0, 1, 1}}};
  EXPECT_FALSE(invert(singular));
}

}  // namespace
