#include "convergence.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

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
