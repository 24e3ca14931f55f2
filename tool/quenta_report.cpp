// The engine's estimates, convergence z-scores and report text.
#include <algorithm>
#include <cmath>
#include <cstdarg>

#include "convergence.h"
#include "normal.h"
#include "quenta.h"

namespace {

void appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void appendf(std::string& out, const char* format, ...) {
  char line[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  out += line;
}

const std::string separator = "\n" + std::string(92, '=') + "\n";

void append_header(std::string& out, int thresholds, const char* suffix) {
  appendf(out, "\tAlpha%s\t\tDelta%s", suffix, suffix);
  for (int k = 1; k <= thresholds; ++k) appendf(out, "\t\tTau%d%s", k, suffix);
  out += "\n";
}

}  // namespace

QUENTA::estimates QUENTA::current_estimates() const {
  const double D = static_cast<double>(total_iterations_) - burn_in_;
  auto mean = [D](const sums& s, std::vector<double>& out) {
    out.resize(s.sum.size());
    for (size_t i = 0; i < out.size(); ++i) out[i] = s.sum[i] / D;
  };
  auto error = [D](const sums& s, std::vector<double>& out, double guard) {
    out.resize(s.sum.size());
    for (size_t i = 0; i < out.size(); ++i) {
      // Rounding can take a zero variance slightly below zero.
      double variance = (s.squares[i] - s.sum[i] * s.sum[i] / D) / (D - 1);
      out[i] = std::sqrt(std::max(variance, 0.0) + guard);
    }
  };
  auto rejection = [](const std::vector<counter>& counts, std::vector<double>& out) {
    out.resize(counts.size());
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = (1 - static_cast<double>(counts[i].accepted) / counts[i].tried) * 100;
  };
  estimates e;
  mean(alpha_sums_, e.mean.alpha);
  mean(delta_sums_, e.mean.delta);
  mean(tau_sums_, e.mean.tau);
  mean(theta_sums_, e.theta_mean);
  error(alpha_sums_, e.standard_error.alpha, 1e-9);
  error(delta_sums_, e.standard_error.delta, 1e-9);
  error(tau_sums_, e.standard_error.tau, 1e-9);
  error(theta_sums_, e.theta_standard_error, 0.0);
  rejection(alpha_count_, e.rejection_percent.alpha);
  rejection(delta_count_, e.rejection_percent.delta);
  rejection(tau_count_, e.rejection_percent.tau);
  return e;
}

// Mean of an early window of the kept iterations against a late one, in units of the
// spectral standard error of their difference.
double QUENTA::z_score(const CompressedArray& chain) const {
  const int kept = iterations_done_ - burn_in_;
  if (kept < 1) return 0;
  // Every window holds at least one and at most all of the kept iterations.
  auto window = [kept](double fraction) {
    const double size = kept * fraction * 1.000000001;
    if (!(size >= 1)) return 1;  // NaN too
    return size >= kept ? kept : static_cast<int>(size);
  };
  auto values = [&chain](int first, int last) {
    std::vector<double> x;
    for (int i = first; i <= last; ++i) x.push_back(chain.value_at(i));
    return x;
  };
  auto mean = [](const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) sum += v;
    return sum / x.size();
  };
  const std::vector<double> early = values(burn_in_ + 1, burn_in_ + window(first_fraction_));
  const std::vector<double> late = values(iterations_done_ - window(last_fraction_) + 1, iterations_done_);
  return (mean(early) - mean(late)) /
         std::sqrt(std::fabs(spectral_variance(early)) + std::fabs(spectral_variance(late)));
}

std::string QUENTA::report() {
  const int J = size_.items, thresholds = size_.thresholds();
  const estimates e = current_estimates();
  std::string out;
  auto tau_of = [J](const item_parameters& p, int k, int j) { return p.tau[static_cast<size_t>(k) * J + j]; };
  auto estimate_row = [&](int label, int s) {
    appendf(out, "%.2d.   %+4.04f\t\t%+4.04f", label, e.mean.alpha[s], e.mean.delta[s]);
    for (int k = 0; k < thresholds; ++k) appendf(out, "\t\t%+4.04f", tau_of(e.mean, k, s));
    out += "\n";
  };

  out += "\n\nRaw Estimates\n";
  append_header(out, thresholds, "");
  for (int i = 0; i < J; ++i) estimate_row(order_[i] + 1, order_[i]);
  out += separator;

  out += "\n\nOrdered Estimates\n";
  append_header(out, thresholds, "");
  for (int s = 0; s < J; ++s) estimate_row(s + 1, s);
  out += separator;

  out += "\nStandard Errors\n";
  append_header(out, thresholds, "");
  for (int s = 0; s < J; ++s) {
    appendf(out, "%2d.    %+4.04f\t\t%+4.04f", s + 1, e.standard_error.alpha[s], e.standard_error.delta[s]);
    for (int k = 0; k < thresholds; ++k) appendf(out, "\t\t%+4.04f", tau_of(e.standard_error, k, s));
    out += "\n";
  }
  out += separator;

  out += "\nRejection Rate\n";
  append_header(out, thresholds, "");
  for (int s = 0; s < J; ++s) {
    appendf(out, "%2d.    %+.02f%%\t\t%+.02f%%", s + 1, e.rejection_percent.alpha[s],
            e.rejection_percent.delta[s]);
    for (int k = 0; k < thresholds; ++k) appendf(out, "\t\t%+.02f%%", tau_of(e.rejection_percent, k, s));
    out += "\n";
  }
  out += separator;

  out += "\n\n Theta Estimates\n\tInitial\t\tEstimated\t\tStandard Error\n";
  for (int n = 0; n < size_.persons; ++n) {
    appendf(out, "\t%+4.04f\t\t\t%+4.04f", theta_initial_[n], e.theta_mean[n]);
    appendf(out, "\t\t\t%+4.04f\n", e.theta_standard_error[n]);
  }
  out += separator;

  out += "\n\nZ-Scores\n";
  append_header(out, thresholds, " (p-value)");
  double total = 0;
  for (int s = 0; s < J; ++s) {
    double z = z_score(alpha_chain_[s]);
    total += std::fabs(z);
    appendf(out, "%2d. %+11.03f (%3.02f)", s + 1, z, two_sided_p_value(z));
    z = z_score(delta_chain_[s]);
    total += std::fabs(z);
    appendf(out, "\t\t%+7.03f (%3.02f)", z, two_sided_p_value(z));
    for (int k = 0; k < thresholds; ++k) {
      z = z_score(tau_chain(k, s));
      total += std::fabs(z);
      appendf(out, "\t\t%+7.03f (%3.02f)", z, two_sided_p_value(z));
    }
    out += "\n";
  }
  const double average = total / (J * (2 + thresholds));
  appendf(out, "\nAverage Z-Score (p-value): %.05f (%3.02f)\n", average, two_sided_p_value(average));
  return out;
}
