// The joint proposals of the engine's tuned sampler, learned during the burn-in and frozen
// after it, so that the kept draws come from one fixed Metropolis chain. Every item gets a
// random-walk proposal of all its parameters at once, shaped like the covariance of its
// burn-in draws and scaled towards an acceptance of 23 percent, the usual optimum of
// random-walk proposals in several dimensions. Owned by the engine.
#pragma once

#include <span>
#include <vector>

class proposal_tuning {
public:
  // Iterations between two adjustments.
  static constexpr int batch = 50;

  // `widths`: the syntax file's proposal widths of one item's parameters (alpha, delta, then
  // the thresholds), which shape every item's proposal until its draws have been seen.
  proposal_tuning(int items, std::vector<double> widths);

  // The step of item j's proposal for one standard normal deviate per parameter.
  void joint_step(int item, std::span<const double> deviates, std::span<double> step) const;
  // Whether item j's last proposal was taken.
  void count(int item, bool accepted);
  // Item j's parameters at an iteration of the burn-in, in the order of the widths.
  void observe(int item, std::span<const double> parameters);
  // Reshapes every proposal from the draws seen and scales it by the last batch's acceptance.
  void adjust();

  // The multiplier on item j's proposal that acceptance has steered so far.
  double scale(int item) const { return items_[item].scale; }

private:
  struct item {
    double scale = 1;
    int tried = 0, accepted = 0;  // in the current batch
    int seen = 0;
    std::vector<double> sum, products;  // of the observed parameters and of their pairs
    std::vector<double> shape;          // lower Cholesky factor of the proposal covariance
  };

  bool learn_shape(item& x) const;

  int dimension_;
  std::vector<double> widths_;
  std::vector<item> items_;
};
