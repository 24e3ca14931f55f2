#include "proposal_tuning.h"

#include <cmath>

namespace {

constexpr double single_target = 0.44, joint_target = 0.234;

// Factors stay within these, so that one unlucky batch cannot make a proposal useless.
constexpr double smallest_factor = 1e-3, largest_factor = 1e3;

}  // namespace

proposal_tuning::proposal_tuning(int items, std::vector<double> item_widths, size_t singles)
    : dimension_(static_cast<int>(item_widths.size())), item_widths_(std::move(item_widths)), singles_(singles),
      joint_(items) {
  const size_t d = static_cast<size_t>(dimension_);
  for (joint& item : joint_) {
    item.sum.assign(d, 0.0);
    item.products.assign(d * d, 0.0);
    item.shape.assign(d * d, 0.0);
    for (size_t p = 0; p < d; ++p) item.shape[p * d + p] = item_widths_[p];
  }
}

void proposal_tuning::acceptance::steer(double target) {
  if (tried > 0) {
    const double rate = static_cast<double>(accepted) / tried;
    factor = std::min(largest_factor, std::max(smallest_factor, factor * std::exp(1.5 * (rate - target))));
  }
  tried = accepted = 0;
}

void proposal_tuning::joint_step(int item, std::span<const double> deviates, std::span<double> step) const {
  const joint& j = joint_[item];
  const size_t d = static_cast<size_t>(dimension_);
  // 2.38 / sqrt(d) times the draws' spread is the usual optimum for a Gaussian target.
  const double scale = j.rate.factor * 2.38 / std::sqrt(static_cast<double>(d));
  for (size_t p = 0; p < d; ++p) {
    double sum = 0;
    for (size_t q = 0; q <= p; ++q) sum += j.shape[p * d + q] * deviates[q];
    step[p] = scale * sum;
  }
}

void proposal_tuning::observe(int item, std::span<const double> parameters) {
  joint& j = joint_[item];
  const size_t d = static_cast<size_t>(dimension_);
  ++j.seen;
  for (size_t p = 0; p < d; ++p) {
    j.sum[p] += parameters[p];
    for (size_t q = 0; q <= p; ++q) j.products[p * d + q] += parameters[p] * parameters[q];
  }
}

// The Cholesky factor of the draws' covariance, with a small ridge on the diagonal from the
// syntax file's widths so that a parameter that has not moved yet can still move; false, and
// the shape kept, while too few draws have been seen or the covariance is not positive.
bool proposal_tuning::learn_shape(joint& item) const {
  const size_t d = static_cast<size_t>(dimension_);
  if (item.seen < 2 * dimension_ + 2) return false;
  const double n = item.seen;
  std::vector<double> cov(d * d, 0.0), shape(d * d, 0.0);
  for (size_t p = 0; p < d; ++p)
    for (size_t q = 0; q <= p; ++q)
      cov[p * d + q] = (item.products[p * d + q] - item.sum[p] * item.sum[q] / n) / (n - 1) +
                       (p == q ? 1e-4 * item_widths_[p] * item_widths_[p] : 0.0);
  for (size_t p = 0; p < d; ++p) {
    for (size_t q = 0; q <= p; ++q) {
      double sum = cov[p * d + q];
      for (size_t r = 0; r < q; ++r) sum -= shape[p * d + r] * shape[q * d + r];
      if (p == q) {
        if (!(sum > 0)) return false;
        shape[p * d + p] = std::sqrt(sum);
      } else {
        shape[p * d + q] = sum / shape[q * d + q];
      }
    }
  }
  item.shape = std::move(shape);
  return true;
}

void proposal_tuning::adjust() {
  for (acceptance& single : singles_) single.steer(single_target);
  for (joint& item : joint_) {
    learn_shape(item);
    item.rate.steer(joint_target);
  }
}
