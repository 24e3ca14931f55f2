#include "convergence.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "normal.h"

namespace {

std::vector<double> batch_means(std::span<const double> x, int batches) {
  const int per_batch = static_cast<int>(x.size()) / batches;
  std::vector<double> means(batches);
  for (int b = 0; b < batches; ++b) {
    double sum = 0;
    for (int i = 0; i < per_batch; ++i) sum += x[b * per_batch + i];
    means[b] = sum / per_batch;
  }
  return means;
}

// |X_f|^2 / n of the discrete Fourier transform of the batch means, f = 0 .. n-1.
std::vector<double> periodogram(const std::vector<double>& means) {
  const int n = static_cast<int>(means.size());
  std::vector<double> power(n);
  for (int f = 0; f < n; ++f) {
    double re = 0, im = 0;
    for (int b = 0; b < n; ++b) {
      double angle = 2 * std::numbers::pi * b * f / n;
      re += means[b] * std::cos(angle);
      im += means[b] * std::sin(angle);
    }
    power[f] = (re * re + im * im) / n;
  }
  return power;
}

}  // namespace

bool invert(matrix3& a) {
  matrix3 inverse{};
  for (int i = 0; i < 3; ++i) inverse[i][i] = 1;
  for (int col = 0; col < 3; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 3; ++row)
      if (std::fabs(a[row][col]) > std::fabs(a[pivot][col])) pivot = row;
    if (a[pivot][col] == 0) return false;
    std::swap(a[col], a[pivot]);
    std::swap(inverse[col], inverse[pivot]);
    double scale = a[col][col];
    for (int k = 0; k < 3; ++k) {
      a[col][k] /= scale;
      inverse[col][k] /= scale;
    }
    for (int row = 0; row < 3; ++row) {
      if (row == col) continue;
      double factor = a[row][col];
      for (int k = 0; k < 3; ++k) {
        a[row][k] -= factor * a[col][k];
        inverse[row][k] -= factor * inverse[col][k];
      }
    }
  }
  a = inverse;
  return true;
}

double spectral_variance(std::span<const double> x) {
  const double short_segment = 0.00001;
  const int count = static_cast<int>(x.size());
  if (count < 12) return short_segment;
  const int n = std::min(count, 100);
  const std::vector<double> power = periodogram(batch_means(x, n));

  const int frequencies = std::min(n / 4, 25);
  std::vector<double> log_power(frequencies), phi(frequencies);
  matrix3 a{};
  for (int q = 0; q < frequencies; ++q) {
    log_power[q] = std::log((power[(2 * q + 2) % n] + power[(2 * q + 1) % n]) * 0.5 + 1e-9);
    phi[q] = ((2.0 * q + 1) / n + (2.0 * q + 2) / n) * 0.5;
    for (int l = 0; l < 3; ++l)
      for (int m = 0; m < 3; ++m) a[l][m] += std::pow(phi[q], l + m);
  }
  if (!invert(a)) return short_segment;
  double intercept = 0;
  for (int q = 0; q < frequencies; ++q)
    intercept += log_power[q] * (a[0][0] + a[0][1] * phi[q] + a[0][2] * phi[q] * phi[q]);
  return std::exp(intercept - 0.27) * std::exp(-0.5 * 0.645 * a[0][0]) / n;
}

namespace {

// Each chain's first and second half as chains of their own; an odd middle draw is left out.
chain_draws split_halves(const chain_draws& chains) {
  chain_draws halves;
  for (const std::vector<double>& chain : chains) {
    const size_t half = chain.size() / 2;
    halves.emplace_back(chain.begin(), chain.begin() + half);
    halves.emplace_back(chain.end() - half, chain.end());
  }
  return halves;
}

// Replaces every draw by the normal score of its rank among all draws, (rank - 3/8) / (S + 1/4)
// with tied draws sharing their average rank.
void rank_normalize(chain_draws& chains) {
  std::vector<double*> order;
  for (std::vector<double>& chain : chains)
    for (double& x : chain) order.push_back(&x);
  std::sort(order.begin(), order.end(), [](const double* a, const double* b) { return *a < *b; });
  const double total = static_cast<double>(order.size());
  for (size_t first = 0; first < order.size();) {
    size_t last = first;
    while (last + 1 < order.size() && *order[last + 1] == *order[first]) ++last;
    const double rank = (first + last) / 2.0 + 1;  // ranks count from 1
    const double score = inverse_normal_cdf((rank - 0.375) / (total + 0.25));
    for (size_t i = first; i <= last; ++i) *order[i] = score;
    first = last + 1;
  }
}

chain_draws folded(const chain_draws& chains) {
  std::vector<double> all;
  for (const std::vector<double>& chain : chains) all.insert(all.end(), chain.begin(), chain.end());
  const size_t middle = all.size() / 2;
  std::nth_element(all.begin(), all.begin() + middle, all.end());
  double median = all[middle];
  if (all.size() % 2 == 0) median = (median + *std::max_element(all.begin(), all.begin() + middle)) / 2;
  chain_draws distances = chains;
  for (std::vector<double>& chain : distances)
    for (double& x : chain) x = std::fabs(x - median);
  return distances;
}

double mean_of(std::span<const double> x) {
  double sum = 0;
  for (double v : x) sum += v;
  return sum / static_cast<double>(x.size());
}

// Sample variance, divided by the count minus one.
double variance_of(std::span<const double> x) {
  const double mean = mean_of(x);
  double sum = 0;
  for (double v : x) sum += (v - mean) * (v - mean);
  return sum / static_cast<double>(x.size() - 1);
}

double basic_r_hat(const chain_draws& chains) {
  const double n = static_cast<double>(chains[0].size());
  std::vector<double> means, variances;
  for (const std::vector<double>& chain : chains) {
    means.push_back(mean_of(chain));
    variances.push_back(variance_of(chain));
  }
  const double between = n * variance_of(means);
  const double within = mean_of(variances);
  if (!(within > 0)) return NAN;
  return std::sqrt((between / within + n - 1) / n);
}

void fft(std::vector<std::complex<double>>& a, bool inverse) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t length = 2; length <= n; length <<= 1) {
    const double angle = 2 * std::numbers::pi / static_cast<double>(length) * (inverse ? 1 : -1);
    const std::complex<double> unit(std::cos(angle), std::sin(angle));
    for (size_t start = 0; start < n; start += length) {
      std::complex<double> w(1);
      for (size_t k = 0; k < length / 2; ++k, w *= unit) {
        std::complex<double> even = a[start + k], odd = a[start + k + length / 2] * w;
        a[start + k] = even + odd;
        a[start + k + length / 2] = even - odd;
      }
    }
  }
}

// Autocovariances at lags 0 .. n-1, each divided by n (the biased estimate, which keeps the
// sequence positive definite).
std::vector<double> autocovariance(std::span<const double> x) {
  const size_t n = x.size();
  size_t size = 1;
  while (size < 2 * n) size <<= 1;
  const double mean = mean_of(x);
  std::vector<std::complex<double>> a(size);
  for (size_t i = 0; i < n; ++i) a[i] = x[i] - mean;
  fft(a, false);
  for (std::complex<double>& v : a) v = std::norm(v);
  fft(a, true);
  std::vector<double> result(n);
  for (size_t t = 0; t < n; ++t) result[t] = a[t].real() / static_cast<double>(size) / static_cast<double>(n);
  return result;
}

double basic_ess(const chain_draws& chains) {
  const size_t m = chains.size(), n = chains[0].size();
  std::vector<std::vector<double>> acov;
  std::vector<double> means, variances;
  for (const std::vector<double>& chain : chains) {
    acov.push_back(autocovariance(chain));
    means.push_back(mean_of(chain));
    variances.push_back(acov.back()[0] * n / (n - 1.0));
  }
  const double mean_variance = mean_of(variances);
  double var_plus = mean_variance * (n - 1.0) / n;
  if (m > 1) var_plus += variance_of(means);
  if (!(var_plus > 0)) return NAN;
  auto rho = [&](size_t lag) {
    double sum = 0;
    for (const std::vector<double>& a : acov) sum += a[lag];
    return 1 - (mean_variance - sum / m) / var_plus;
  };

  // Geyer's initial positive sequence: pairs of lags while their sum stays positive.
  std::vector<double> r(n + 1, 0.0);
  r[0] = 1;
  r[1] = rho(1);
  double even = r[0], odd = r[1];
  size_t t = 0;
  while (t + 5 < n && even + odd > 0) {
    t += 2;
    even = rho(t);
    odd = rho(t + 1);
    if (even + odd >= 0) {
      r[t] = even;
      r[t + 1] = odd;
    }
  }
  const size_t max_t = t;
  // The last positive even lag improves the estimate for antithetic chains.
  if (even > 0) r[max_t] = even;
  // Geyer's initial monotone sequence: no pair sum exceeds the one before it.
  for (t = 2; t + 2 <= max_t; t += 2) {
    if (r[t] + r[t + 1] > r[t - 2] + r[t - 1]) {
      r[t] = (r[t - 2] + r[t - 1]) / 2;
      r[t + 1] = r[t];
    }
  }
  double sum = 0;
  for (t = 0; t < max_t; ++t) sum += r[t];
  const double draws = static_cast<double>(m * n);
  const double tau = std::max(-1 + 2 * sum + r[max_t], 1 / std::log10(draws));
  return draws / tau;
}

}  // namespace

mixing diagnose(const chain_draws& chains) {
  if (chains.empty() || chains[0].size() < 4) return {NAN, NAN};
  chain_draws bulk = split_halves(chains);
  rank_normalize(bulk);
  chain_draws tail = split_halves(folded(chains));
  rank_normalize(tail);
  const double bulk_r_hat = basic_r_hat(bulk), tail_r_hat = basic_r_hat(tail);
  mixing result;
  result.r_hat = std::isnan(bulk_r_hat) || std::isnan(tail_r_hat) ? NAN : std::max(bulk_r_hat, tail_r_hat);
  result.ess = basic_ess(bulk);
  return result;
}
