// The cached evaluator against the model's formulas evaluated directly, through sequences of
// blocks with taken and refused proposals, and where the direct form breaks down.
#include "likelihood.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "direct_likelihood.h"

namespace {

struct problem {
  model_size size;
  std::vector<int> responses;
  std::vector<double> theta;
  item_parameters items;
};

problem random_problem(int persons, int items, int categories, unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  problem p;
  p.size = {persons, items, categories};
  p.responses.resize(static_cast<size_t>(persons) * items);
  for (int& r : p.responses) r = unit(random) < 0.1 ? -1 : static_cast<int>(unit(random) * categories);
  p.responses[0] = categories + 3;  // out of range: missing
  p.theta.resize(persons);
  for (double& t : p.theta) t = 4 * unit(random) - 2;
  p.items.resize(p.size);
  for (double& a : p.items.alpha) a = 0.5 + 1.5 * unit(random);
  for (double& d : p.items.delta) d = 4 * unit(random) - 2;
  for (double& t : p.items.tau) t = -1.5 * unit(random);
  return p;
}

std::vector<double> jitter(std::vector<double> x, std::mt19937& random, double sd) {
  std::normal_distribution<double> normal(0, sd);
  for (double& v : x) v += normal(random);
  return x;
}

std::vector<char> coin_flips(size_t n, std::mt19937& random) {
  std::vector<char> taken(n);
  for (char& t : taken) t = static_cast<char>(random() & 1);
  return taken;
}

void expect_close(const std::vector<double>& fast, const std::vector<double>& direct, const char* what) {
  ASSERT_EQ(fast.size(), direct.size());
  for (size_t i = 0; i < fast.size(); ++i)
    ASSERT_NEAR(fast[i], direct[i], 1e-9 * std::max(1.0, std::fabs(direct[i]))) << what << " " << i;
}

// Runs theta, alpha, delta and threshold blocks with random decisions through both evaluators
// and compares both sides of every block.
void compare_through_blocks(int persons, int items, int categories, unsigned seed) {
  problem p = random_problem(persons, items, categories, seed);
  cached_likelihood fast(p.size, p.responses);
  direct_likelihood direct(p.size, p.responses);
  fast.reset(p.theta, p.items);
  std::mt19937 random(seed + 1);
  std::vector<double> fc(persons), fp(persons), dc(persons), dp(persons);
  std::vector<double> ic(items), ip(items), jc(items), jp(items);

  for (int round = 0; round < 3; ++round) {
    std::vector<double> theta_new = jitter(p.theta, random, 0.5);
    fast.theta_block(p.theta, theta_new, p.items, fc, fp);
    direct.theta_block(p.theta, theta_new, p.items, dc, dp);
    expect_close(fc, dc, "theta current");
    expect_close(fp, dp, "theta proposed");
    std::vector<char> taken = coin_flips(persons, random);
    for (int n = 0; n < persons; ++n)
      if (taken[n]) p.theta[n] = theta_new[n];
    fast.accept_persons(taken);

    for (item_change what : {item_change::alpha, item_change::delta, item_change::threshold}) {
      item_parameters trial = p.items;
      std::vector<double>& changed = what == item_change::alpha   ? trial.alpha
                                     : what == item_change::delta ? trial.delta
                                                                  : trial.tau;
      // A threshold block changes one threshold of every item: the last one here.
      const size_t first = what == item_change::threshold ? changed.size() - items : 0;
      for (size_t i = first; i < changed.size(); ++i) changed[i] += std::normal_distribution<double>(0, 0.2)(random);
      fast.item_block(p.theta, p.items, trial, what, ic, ip);
      direct.item_block(p.theta, p.items, trial, what, jc, jp);
      expect_close(ic, jc, "item current");
      expect_close(ip, jp, "item proposed");
      std::vector<char> taken_items = coin_flips(items, random);
      for (int j = 0; j < items; ++j) {
        if (!taken_items[j]) continue;
        p.items.alpha[j] = trial.alpha[j];
        p.items.delta[j] = trial.delta[j];
        for (int k = 0; k < categories - 1; ++k) p.items.tau[k * items + j] = trial.tau[k * items + j];
      }
      fast.accept_items(taken_items);
    }
  }
}

TEST(CachedLikelihood, AgreesWithTheDirectFormThroughTakenAndRefusedBlocks) {
  compare_through_blocks(200, 12, 4, 1);
  compare_through_blocks(150, 40, 3, 2);  // more items than one product of logs holds
  compare_through_blocks(70, 5, 2, 3);    // K = 2: one threshold, M = 3
  compare_through_blocks(40, 6, 7, 4);
}

TEST(CachedLikelihood, MissingResponsesContributeNothing) {
  problem p = random_problem(3, 2, 3, 5);
  p.responses = {-1, -1, 9, -1, -1, -1};
  cached_likelihood fast(p.size, p.responses);
  fast.reset(p.theta, p.items);
  std::vector<double> current(3), proposed(3);
  std::mt19937 random(1);
  fast.theta_block(p.theta, jitter(p.theta, random, 1.0), p.items, current, proposed);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(current[n], 0.0);
    EXPECT_EQ(proposed[n], 0.0);
  }
}

TEST(CachedLikelihood, StaysFiniteWhereTheDirectFormOverflows) {
  // Far from the item with a large alpha every exponential of the direct form overflows.
  model_size size{2, 1, 4};
  item_parameters items;
  items.resize(size);
  items.alpha = {6.0};
  items.delta = {0.0};
  items.tau = {-60.0, -60.0, -60.0};  // the scaled factor of category 0 underflows too
  std::vector<double> theta = {300.0, -300.0};
  std::vector<int> responses = {0, 3};

  direct_likelihood direct(size, responses);
  direct.evaluate(theta, items);
  EXPECT_TRUE(std::isnan(direct.loglik()[0]));

  cached_likelihood fast(size, responses);
  fast.reset(theta, items);
  std::vector<double> current(2), proposed(2);
  fast.theta_block(theta, theta, items, current, proposed);
  // Far away the lowest category is certain: the person who chose it loses nothing, the one
  // who chose the highest gets the floor of 1e-9.
  EXPECT_NEAR(current[0], 0.0, 1e-8);
  EXPECT_NEAR(current[1], std::log(1e-9), 1e-6);
  EXPECT_EQ(current, proposed);
}

}  // namespace
