// Log-likelihood of the responses under the unfolding model, evaluated block by block for the
// Metropolis steps of the engine. A block compares the current state with a proposal that
// differs in the thetas (one value per person) or in one kind of item parameter (one value per
// item); the evaluator answers both sums and is told which proposals were taken.
//
// For person n, item j and category k (M = 2K - 1, S_k = tau_1 + ... + tau_k, d = theta - delta):
//   E_k = exp(alpha (k d - S_k)) + exp(alpha ((M - k) d - S_k)),   P_k = E_k / sum E,
// and the cell's log-likelihood is log(P_r + 1e-9) for the observed category r (0 when missing).
#pragma once

#include <span>
#include <vector>

#include "item_parameters.h"

// Which item parameters a proposal changes; thresholds leave alpha and delta alone, a whole
// item changes every parameter of the items.
enum class item_change { alpha, delta, threshold, whole_item };

class likelihood_evaluator {
public:
  virtual ~likelihood_evaluator() = default;

  // Starts from a new current state.
  virtual void reset(const std::vector<double>& theta, const item_parameters& items) = 0;

  // Per person, summed over items: current[n] for theta, proposed[n] for theta_new.
  virtual void theta_block(const std::vector<double>& theta, const std::vector<double>& theta_new,
                           const item_parameters& items, std::span<double> current,
                           std::span<double> proposed) = 0;

  // Per item, summed over persons: current[j] for items, proposed[j] for trial, where trial
  // differs from items only in the parameter named by what.
  virtual void item_block(const std::vector<double>& theta, const item_parameters& items,
                          const item_parameters& trial, item_change what, std::span<double> current,
                          std::span<double> proposed) = 0;

  // The proposals of the last block were taken for the marked persons or items.
  virtual void accept_persons(const std::vector<char>& taken) = 0;
  virtual void accept_items(const std::vector<char>& taken) = 0;
};

// The fast evaluator. It keeps, for every cell of the current state, the observed category's
// probability and the factor y = exp(-|alpha d|), so that the current side of a block costs
// nothing and a threshold proposal needs no exponential per cell. Every category term is
// c_k (y^k + y^(M-k)) with one per-item factor c_k, so a cell costs one exp and a few products;
// sums are taken as logs of products, one log per 32 cells.
class cached_likelihood : public likelihood_evaluator {
public:
  // responses: persons x items in item-slot order; a value outside 0..K-1 is missing.
  cached_likelihood(const model_size& size, const std::vector<int>& responses);

  void reset(const std::vector<double>& theta, const item_parameters& items) override;
  void theta_block(const std::vector<double>& theta, const std::vector<double>& theta_new,
                   const item_parameters& items, std::span<double> current,
                   std::span<double> proposed) override;
  void item_block(const std::vector<double>& theta, const item_parameters& items,
                  const item_parameters& trial, item_change what, std::span<double> current,
                  std::span<double> proposed) override;
  void accept_persons(const std::vector<char>& taken) override;
  void accept_items(const std::vector<char>& taken) override;

private:
  void item_factors(const item_parameters& items);
  void evaluate(const std::vector<double>& theta, const item_parameters& items, bool new_distance);
  // K is the number of categories when known at compile time, else 0.
  template <int K>
  void evaluate_cells(const std::vector<double>& theta, const item_parameters& items, bool new_distance);
  double cell_in_logs(int n, int j, const std::vector<double>& theta, const item_parameters& items) const;
  void person_sums(const std::vector<double>& q, std::span<double> out) const;
  void item_sums(const std::vector<double>& q, std::span<double> out) const;

  model_size size_;
  std::vector<signed char> response_;  // per cell; -1 when missing
  std::vector<double> y_, q_;          // per cell, current state: exp(-|alpha d|), P_r + 1e-9
  std::vector<double> y_new_, q_new_;  // the same for the last proposal
  bool y_new_valid_ = false;           // the last proposal changed y
  std::vector<double> log_c_, c_;      // per item and category, normalised to a maximum of 1
};
