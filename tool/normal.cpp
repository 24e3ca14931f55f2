#include "normal.h"

#include <cmath>
#include <numbers>

namespace {

// Rational approximation of the inverse normal CDF (relative error about 1e-9), refined
// below by Halley steps on the exact CDF.
double rough_inverse(double p) {
  static const double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                             1.383577518672690e+02, -3.066479806614716e+01, 2.506628277459239e+00};
  static const double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                             6.680131188771972e+01, -1.328068155288572e+01};
  static const double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                             -2.549732539343734e+00, 4.374664141464968e+00, 2.938163982698783e+00};
  static const double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                             3.754408661907416e+00};
  const double low = 0.02425;
  if (p < low) {
    double q = std::sqrt(-2 * std::log(p));
    return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
           ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
  }
  if (p > 1 - low) return -rough_inverse(1 - p);
  double q = p - 0.5;
  double r = q * q;
  return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
         (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

}  // namespace

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::numbers::sqrt2); }

double inverse_normal_cdf(double p) {
  if (p <= 0) return -INFINITY;
  if (p >= 1) return INFINITY;
  double x = rough_inverse(p);
  // Work on the smaller tail so that 1 - p loses no digits.
  const double sqrt_2pi = std::sqrt(2 * std::numbers::pi);
  for (int step = 0; step < 2; ++step) {
    double e = x < 0 ? normal_cdf(x) - p : (1 - p) - normal_cdf(-x);
    double u = e * sqrt_2pi * std::exp(x * x / 2);
    x = x - u / (1 + x * u / 2);
  }
  return x;
}

double two_sided_p_value(double z) { return std::erfc(std::fabs(z) / std::numbers::sqrt2); }
