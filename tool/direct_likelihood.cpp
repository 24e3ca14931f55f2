#include "direct_likelihood.h"

#include <cmath>

direct_likelihood::direct_likelihood(const model_size& size, const std::vector<int>& responses)
    : size_(size),
      indicator_(static_cast<size_t>(size.categories) * responses.size(), 0.0),
      probability_(indicator_.size(), 0.0),
      loglik_(responses.size(), 0.0) {
  const size_t cells = responses.size();
  for (size_t i = 0; i < cells; ++i)
    if (responses[i] >= 0 && responses[i] < size.categories)
      indicator_[responses[i] * cells + i] = 1.0;
}

void direct_likelihood::evaluate(const std::vector<double>& theta, const item_parameters& items) {
  const int N = size_.persons, J = size_.items, K = size_.categories, M = 2 * K - 1;
  const size_t cells = loglik_.size();
  std::vector<double> e(K);
  for (int n = 0; n < N; ++n) {
    for (int j = 0; j < J; ++j) {
      const size_t cell = static_cast<size_t>(n) * J + j;
      const double a = items.alpha[j], d = theta[n] - items.delta[j];
      double s = 0, total = 0;
      for (int k = 0; k < K; ++k) {
        if (k > 0) s += items.tau[static_cast<size_t>(k - 1) * J + j];
        e[k] = std::exp(a * (k * d - s)) + std::exp(a * ((M - k) * d - s));
        total += e[k];
      }
      double ll = 0;
      for (int k = 0; k < K; ++k) {
        probability_[k * cells + cell] = e[k] / total;
        ll += std::log(probability_[k * cells + cell] + 1e-9) * indicator_[k * cells + cell];
      }
      loglik_[cell] = ll;
    }
  }
}

namespace {

void sum_rows(const std::vector<double>& loglik, int persons, int items, std::span<double> out) {
  for (int n = 0; n < persons; ++n) {
    double total = 0;
    for (int j = 0; j < items; ++j) total += loglik[static_cast<size_t>(n) * items + j];
    out[n] = total;
  }
}

void sum_columns(const std::vector<double>& loglik, int persons, int items, std::span<double> out) {
  std::fill(out.begin(), out.end(), 0.0);
  for (int n = 0; n < persons; ++n)
    for (int j = 0; j < items; ++j) out[j] += loglik[static_cast<size_t>(n) * items + j];
}

}  // namespace

void direct_likelihood::theta_block(const std::vector<double>& theta,
                                    const std::vector<double>& theta_new,
                                    const item_parameters& items, std::span<double> current,
                                    std::span<double> proposed) {
  evaluate(theta, items);
  sum_rows(loglik_, size_.persons, size_.items, current);
  evaluate(theta_new, items);
  sum_rows(loglik_, size_.persons, size_.items, proposed);
}

void direct_likelihood::item_block(const std::vector<double>& theta, const item_parameters& items,
                                   const item_parameters& trial, item_change,
                                   std::span<double> current, std::span<double> proposed) {
  evaluate(theta, items);
  sum_columns(loglik_, size_.persons, size_.items, current);
  evaluate(theta, trial);
  sum_columns(loglik_, size_.persons, size_.items, proposed);
}
