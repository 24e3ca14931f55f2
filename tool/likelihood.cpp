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

namespace {

// P_r for one cell with y = exp(-|alpha d|), or 0 when the category sum has lost its digits.
// Both exponentials of category k share the factor c_k and become y^k and y^(M-k) after
// dividing by the larger of exp(alpha d)^M and 1, which cancels in P_r.
template <int K>
inline double observed_probability(const double* c, double y, int r, int categories) {
  const int k_count = K > 0 ? K : categories;
  // power[k] = y^k for k <= K; y^(M-k) = y^K y^(K-1-k).
  double power[(K > 0 ? K : model_size::max_categories) + 1];
  power[0] = 1;
  for (int k = 1; k <= k_count; ++k) power[k] = power[k - 1] * y;
  const double y_k = power[k_count];
  double term[K > 0 ? K : model_size::max_categories];
  double sum = 0;
  for (int k = 0; k < k_count; ++k) {
    term[k] = c[k] * (power[k] + y_k * power[k_count - 1 - k]);
    sum += term[k];
  }
  if (!(sum >= smallest_sum)) return 0;
  return term[r] / sum;
}

}  // namespace

// Far from the item with extreme parameters the category sum underflows; then the cell is
// redone in logs, where log(y^k + y^(M-k)) = -k a + log1p(exp(-(M - 2k) a)) with a = |alpha d|.
double cached_likelihood::cell_in_logs(int n, int j, const std::vector<double>& theta,
                                       const item_parameters& items) const {
  const int K = size_.categories, M = 2 * K - 1;
  const int r = response_[static_cast<size_t>(n) * size_.items + j];
  const double a = std::fabs(items.alpha[j] * (theta[n] - items.delta[j]));
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

template <int K>
void cached_likelihood::evaluate_cells(const std::vector<double>& theta, const item_parameters& items,
                                       bool new_distance) {
  const int N = size_.persons, J = size_.items, categories = size_.categories;
  for (int n = 0; n < N; ++n) {
    const size_t row = static_cast<size_t>(n) * J;
    for (int j = 0; j < J; ++j) {
      const int r = response_[row + j];
      if (r < 0) continue;
      double y = y_[row + j];
      if (new_distance) {
        y = std::exp(-std::fabs(items.alpha[j] * (theta[n] - items.delta[j])));
        y_new_[row + j] = y;
      }
      const double p = observed_probability<K>(&c_[static_cast<size_t>(j) * categories], y, r, categories);
      q_new_[row + j] = p > 0 ? p + 1e-9 : cell_in_logs(n, j, theta, items);
    }
  }
}

void cached_likelihood::evaluate(const std::vector<double>& theta, const item_parameters& items,
                                 bool new_distance) {
  item_factors(items);
  // The usual category counts get loops the compiler unrolls.
  switch (size_.categories) {
    case 2: evaluate_cells<2>(theta, items, new_distance); break;
    case 3: evaluate_cells<3>(theta, items, new_distance); break;
    case 4: evaluate_cells<4>(theta, items, new_distance); break;
    case 5: evaluate_cells<5>(theta, items, new_distance); break;
    case 6: evaluate_cells<6>(theta, items, new_distance); break;
    case 7: evaluate_cells<7>(theta, items, new_distance); break;
    default: evaluate_cells<0>(theta, items, new_distance); break;
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
