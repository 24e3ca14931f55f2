#include "proposal_tuning.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double target_acceptance = 0.234;

// Scales stay within these, so that one unlucky batch cannot make a proposal useless.
constexpr double smallest_scale = 1e-3, largest_scale = 1e3;

}  // namespace

proposal_tuning::proposal_tuning(int items, std::vector<double> widths)
    : dimension_(static_cast<int>(widths.size())), widths_(std::move(widths)), items_(items) {
  const size_t d = static_cast<size_t>(dimension_);
  for (item& x : items_) {
    x.sum.assign(d, 0.0);
    x.products.assign(d * d, 0.0);
    x.shape.assign(d * d, 0.0);
    for (size_t p = 0; p < d; ++p) x.shape[p * d + p] = widths_[p];
  }
}

void proposal_tuning::joint_step(int item, std::span<const double> deviates, std::span<double> step) const {
  const struct item& x = items_[item];
  const size_t d = static_cast<size_t>(dimension_);
  // 2.38 / sqrt(d) times the draws' spread is the usual optimum for a Gaussian target.
  const double scale = x.scale * 2.38 / std::sqrt(static_cast<double>(d));
  for (size_t p = 0; p < d; ++p) {
    double sum = 0;
    for (size_t q = 0; q <= p; ++q) sum += x.shape[p * d + q] * deviates[q];
    step[p] = scale * sum;
  }
}

void proposal_tuning::count(int item, bool accepted) {
  ++items_[item].tried;
  items_[item].accepted += accepted;
}

void proposal_tuning::observe(int item, std::span<const double> parameters) {
  struct item& x = items_[item];
  const size_t d = static_cast<size_t>(dimension_);
  ++x.seen;
  for (size_t p = 0; p < d; ++p) {
    x.sum[p] += parameters[p];
    for (size_t q = 0; q <= p; ++q) x.products[p * d + q] += parameters[p] * parameters[q];
  }
}

// The Cholesky factor of the draws' covariance, with a small ridge on the diagonal from the
// syntax file's widths so that a parameter that has not moved yet can still move; false, and
// the shape kept, while too few draws have been seen or the covariance is not positive.
bool proposal_tuning::learn_shape(item& x) const {
  const size_t d = static_cast<size_t>(dimension_);
  if (x.seen < 2 * dimension_ + 2) return false;
  const double n = x.seen;
  std::vector<double> cov(d * d, 0.0), shape(d * d, 0.0);
  for (size_t p = 0; p < d; ++p)
    for (size_t q = 0; q <= p; ++q)
      cov[p * d + q] = (x.products[p * d + q] - x.sum[p] * x.sum[q] / n) / (n - 1) +
                       (p == q ? 1e-4 * widths_[p] * widths_[p] : 0.0);
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
  x.shape = std::move(shape);
  return true;
}

void proposal_tuning::adjust() {
  for (item& x : items_) {
    learn_shape(x);
    if (x.tried > 0) {
      const double rate = static_cast<double>(x.accepted) / x.tried;
      x.scale = std::clamp(x.scale * std::exp(1.5 * (rate - target_acceptance)), smallest_scale, largest_scale);
    }
    x.tried = x.accepted = 0;
  }
}
