// The likelihood evaluated straight from the model's formulas: two exponentials per category
// per cell, every category's probability and log, both sides of every block. The reference
// against which the cached evaluator is checked and measured.
#pragma once

#include <vector>

#include "likelihood.h"

class direct_likelihood : public likelihood_evaluator {
public:
  direct_likelihood(const model_size& size, const std::vector<int>& responses);

  void reset(const std::vector<double>&, const item_parameters&) override {}
  void theta_block(const std::vector<double>& theta, const std::vector<double>& theta_new,
                   const item_parameters& items, std::span<double> current,
                   std::span<double> proposed) override;
  void item_block(const std::vector<double>& theta, const item_parameters& items,
                  const item_parameters& trial, item_change what, std::span<double> current,
                  std::span<double> proposed) override;
  void accept_persons(const std::vector<char>&) override {}
  void accept_items(const std::vector<char>&) override {}

  // loglik[n * items + j] for the given state.
  void evaluate(const std::vector<double>& theta, const item_parameters& items);
  const std::vector<double>& loglik() const { return loglik_; }

private:
  model_size size_;
  std::vector<double> indicator_;  // [k][n][j]: 1 where the response of cell (n, j) is k
  std::vector<double> probability_;
  std::vector<double> loglik_;
};
