// The proposal widths of the engine's tuned sampler, learned during the burn-in and frozen
// after it, so that the kept draws come from one fixed Metropolis chain. Every one-parameter
// proposal gets a factor on the syntax file's width, moved towards an acceptance of 44
// percent; every item gets a joint proposal of all its parameters, shaped like the covariance
// of its burn-in draws and scaled towards an acceptance of 23 percent (the usual optima of
// random-walk proposals in one and in several dimensions). Owned by the engine.
#pragma once

#include <span>
#include <vector>

class proposal_tuning {
public:
  // Iterations between two adjustments.
  static constexpr int batch = 50;

  // `item_widths`: the syntax file's widths of one item's parameters (alpha, delta, then the
  // thresholds), which shape the joint proposals until draws have been seen; `singles`: the
  // number of one-parameter proposals.
  proposal_tuning(int items, std::vector<double> item_widths, size_t singles);

  double factor(size_t single) const { return singles_[single].factor; }
  void count_single(size_t single, bool accepted) { singles_[single].count(accepted); }

  // The step of item j's joint proposal for one standard normal deviate per parameter.
  void joint_step(int item, std::span<const double> deviates, std::span<double> step) const;
  void count_joint(int item, bool accepted) { joint_[item].rate.count(accepted); }
  // The multiplier on item j's joint proposal that acceptance has steered so far.
  double joint_scale(int item) const { return joint_[item].rate.factor; }
  // Item j's parameters at an iteration of the burn-in, in the order of the widths.
  void observe(int item, std::span<const double> parameters);

  // Moves every width by the acceptance of the last batch and reshapes the joint proposals.
  void adjust();

private:
  struct acceptance {
    double factor = 1;
    int tried = 0, accepted = 0;
    void count(bool taken) {
      ++tried;
      accepted += taken;
    }
    // Multiplies the factor by exp(1.5 (rate - target)) and starts a new batch.
    void steer(double target);
  };
  struct joint {
    acceptance rate;
    int seen = 0;
    std::vector<double> sum, products;  // of the observed parameters and of their pairs
    std::vector<double> shape;          // lower Cholesky factor of the proposal covariance
  };

  bool learn_shape(joint& item) const;

  int dimension_;
  std::vector<double> item_widths_;
  std::vector<acceptance> singles_;
  std::vector<joint> joint_;
};
