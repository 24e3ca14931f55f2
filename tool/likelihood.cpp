#include "likelihood.h"

#include <algorithm>
#include <cmath>

namespace {

// Logs are taken of products of this many cells; each cell is at least 1e-9, so a product
// stays above 1e-288 and never underflows.
constexpr int cells_per_log = 32;

// Below this the category sum has lost its digits; the cell is redone in logs.
constexpr double smallest_sum = 1e-290;

}  // namespace

cached_likelihood::cached_likelihood(const model_size& size, const std::vector<int>& responses)
    : size_(size), response_(responses.size()) {
  for (size_t i = 0; i < responses.size(); ++i) {
    int r = responses[i];
    response_[i] = static_cast<signed char>(r >= 0 && r < size.categories ? r : -1);
  }
  const size_t cells = responses.size();
  y_.assign(cells, 1.0);
  q_.assign(cells, 1.0);
  y_new_.assign(cells, 1.0);
  q_new_.assign(cells, 1.0);
  log_c_.assign(static_cast<size_t>(size.items) * size.categories, 0.0);
  c_.assign(log_c_.size(), 1.0);
}

// c_k = exp(-alpha S_k), scaled so that the largest is 1: the common factor cancels in P_k
// and the scaled factors cannot overflow.
void cached_likelihood::item_factors(const item_parameters& items) {
  const int K = size_.categories, J = size_.items;
  for (int j = 0; j < J; ++j) {
    double* log_c = &log_c_[static_cast<size_t>(j) * K];
    double s = 0;
    log_c[0] = 0;
    for (int k = 1; k < K; ++k) {
      s += items.tau[static_cast<size_t>(k - 1) * J + j];
      log_c[k] = -items.alpha[j] * s;
    }
    const double top = *std::max_element(log_c, log_c + K);
    for (int k = 0; k < K; ++k) {
      log_c[k] -= top;
      c_[static_cast<size_t>(j) * K + k] = std::exp(log_c[k]);
    }
  }
}

// P_r + 1e-9 for one cell, with y = exp(-|alpha d|). Both exponentials of category k share
// the factor c_k and are y^k and y^(M-k) after dividing by the larger of exp(alpha d)^M and 1,
// which cancels in P_r: sum_k c_k y^k + y^K sum_k c_k y^(K-1-k).
double cached_likelihood::cell(int n, int j, double y, const std::vector<double>& theta,
                               const item_parameters& items) const {
  const int r = response_[static_cast<size_t>(n) * size_.items + j];
  if (r < 0) return 1.0;
  const int K = size_.categories;
  const double* c = &c_[static_cast<size_t>(j) * K];
  double power = 1, y_r = 0, y_mirror = 0, low = 0, high = 0;
  for (int k = 0; k < K; ++k) {
    if (k == r) y_r = power;
    if (k == K - 1 - r) y_mirror = power;
    low += c[k] * power;
    high += c[K - 1 - k] * power;
    power *= y;
  }
  const double sum = low + power * high;
  if (sum >= smallest_sum) return c[r] * (y_r + power * y_mirror) / sum + 1e-9;

  // Far from the item with extreme parameters: the same in logs, where
  // log(y^k + y^(M-k)) = -k a + log1p(exp(-(M - 2k) a)) with a = |alpha d|.
  const double a = std::fabs(items.alpha[j] * (theta[n] - items.delta[j]));
  const int M = 2 * K - 1;
  const double* log_c = &log_c_[static_cast<size_t>(j) * K];
  std::vector<double> terms(K);
  double top = -INFINITY;
  for (int k = 0; k < K; ++k) {
    terms[k] = log_c[k] - k * a + std::log1p(std::exp(-(M - 2 * k) * a));
    top = std::max(top, terms[k]);
  }
  double total = 0;
  for (int k = 0; k < K; ++k) total += std::exp(terms[k] - top);
  return std::exp(terms[r] - top - std::log(total)) + 1e-9;
}

void cached_likelihood::evaluate(const std::vector<double>& theta, const item_parameters& items,
                                 bool new_distance) {
  item_factors(items);
  const int N = size_.persons, J = size_.items;
  for (int n = 0; n < N; ++n) {
    const size_t row = static_cast<size_t>(n) * J;
    for (int j = 0; j < J; ++j) {
      if (response_[row + j] < 0) continue;
      double y = y_[row + j];
      if (new_distance) {
        y = std::exp(-std::fabs(items.alpha[j] * (theta[n] - items.delta[j])));
        y_new_[row + j] = y;
      }
      q_new_[row + j] = cell(n, j, y, theta, items);
    }
  }
  y_new_valid_ = new_distance;
}

void cached_likelihood::person_sums(const std::vector<double>& q, std::span<double> out) const {
  const int N = size_.persons, J = size_.items;
  for (int n = 0; n < N; ++n) {
    const double* row = &q[static_cast<size_t>(n) * J];
    double total = 0, product = 1;
    for (int j = 0; j < J; ++j) {
      product *= row[j];
      if (j % cells_per_log == cells_per_log - 1) {
        total += std::log(product);
        product = 1;
      }
    }
    out[n] = total + std::log(product);
  }
}

void cached_likelihood::item_sums(const std::vector<double>& q, std::span<double> out) const {
  const int N = size_.persons, J = size_.items;
  std::vector<double> product(J, 1.0);
  std::fill(out.begin(), out.end(), 0.0);
  for (int n = 0; n < N; ++n) {
    const double* row = &q[static_cast<size_t>(n) * J];
    for (int j = 0; j < J; ++j) product[j] *= row[j];
    if (n % cells_per_log == cells_per_log - 1 || n == N - 1) {
      for (int j = 0; j < J; ++j) {
        out[j] += std::log(product[j]);
        product[j] = 1;
      }
    }
  }
}

void cached_likelihood::reset(const std::vector<double>& theta, const item_parameters& items) {
  evaluate(theta, items, true);
  y_ = y_new_;
  q_ = q_new_;
}

void cached_likelihood::theta_block(const std::vector<double>&, const std::vector<double>& theta_new,
                                    const item_parameters& items, std::span<double> current,
                                    std::span<double> proposed) {
  person_sums(q_, current);
  evaluate(theta_new, items, true);
  person_sums(q_new_, proposed);
}

void cached_likelihood::item_block(const std::vector<double>& theta, const item_parameters&,
                                   const item_parameters& trial, item_change what,
                                   std::span<double> current, std::span<double> proposed) {
  item_sums(q_, current);
  evaluate(theta, trial, what != item_change::threshold);
  item_sums(q_new_, proposed);
}

void cached_likelihood::accept_persons(const std::vector<char>& taken) {
  const int J = size_.items;
  for (int n = 0; n < size_.persons; ++n) {
    if (!taken[n]) continue;
    const size_t row = static_cast<size_t>(n) * J;
    std::copy_n(&q_new_[row], J, &q_[row]);
    std::copy_n(&y_new_[row], J, &y_[row]);
  }
}

void cached_likelihood::accept_items(const std::vector<char>& taken) {
  const int J = size_.items;
  for (int n = 0; n < size_.persons; ++n) {
    const size_t row = static_cast<size_t>(n) * J;
    for (int j = 0; j < J; ++j) {
      if (!taken[j]) continue;
      q_[row + j] = q_new_[row + j];
      if (y_new_valid_) y_[row + j] = y_new_[row + j];
    }
  }
}
