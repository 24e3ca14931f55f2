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
  const QUENTA* self = this;
  return pooled_estimates({&self, 1});
}

QUENTA::estimates QUENTA::pooled_estimates(std::span<const QUENTA* const> chains) {
  const QUENTA& first = *chains[0];
  const double D = (static_cast<double>(first.total_iterations_) - first.burn_in_) * chains.size();
  // The first chain's sums, with the others added to them.
  auto pooled = [&chains](sums QUENTA::*member) {
    sums total = chains[0]->*member;
    for (const QUENTA* chain : chains.subspan(1)) {
      const sums& more = chain->*member;
      for (size_t i = 0; i < total.sum.size(); ++i) {
        total.sum[i] += more.sum[i];
        total.squares[i] += more.squares[i];
      }
    }
    return total;
  };
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
  auto rejection = [&chains](std::vector<counter> QUENTA::*member, std::vector<double>& out) {
    const std::vector<counter>& counts = chains[0]->*member;
    out.resize(counts.size());
    for (size_t i = 0; i < out.size(); ++i) {
      double accepted = 0, tried = 0;
      for (const QUENTA* chain : chains) {
        accepted += (chain->*member)[i].accepted;
        tried += (chain->*member)[i].tried;
      }
      out[i] = (1 - accepted / tried) * 100;
    }
  };
  const sums alpha = pooled(&QUENTA::alpha_sums_), delta = pooled(&QUENTA::delta_sums_),
             tau = pooled(&QUENTA::tau_sums_), theta = pooled(&QUENTA::theta_sums_);
  estimates e;
  mean(alpha, e.mean.alpha);
  mean(delta, e.mean.delta);
  mean(tau, e.mean.tau);
  mean(theta, e.theta_mean);
  error(alpha, e.standard_error.alpha, 1e-9);
  error(delta, e.standard_error.delta, 1e-9);
  error(tau, e.standard_error.tau, 1e-9);
  error(theta, e.theta_standard_error, 0.0);
  rejection(&QUENTA::alpha_count_, e.rejection_percent.alpha);
  rejection(&QUENTA::delta_count_, e.rejection_percent.delta);
  rejection(&QUENTA::tau_count_, e.rejection_percent.tau);
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
  const QUENTA* self = this;
  return pooled_report({&self, 1});
}

std::string QUENTA::pooled_report(std::span<const QUENTA* const> chains) {
  const QUENTA& first = *chains[0];
  const int J = first.size_.items, thresholds = first.size_.thresholds();
  const std::vector<int>& order = first.order_;
  const estimates e = pooled_estimates(chains);
  // Independent z-scores of the chains, summed and scaled back to unit variance.
  auto z_score = [&chains](const CompressedArray& (QUENTA::*chain_of)(int) const, int s) {
    double sum = chains[0]->z_score((chains[0]->*chain_of)(s));
    for (const QUENTA* chain : chains.subspan(1)) sum += chain->z_score((chain->*chain_of)(s));
    return sum / std::sqrt(static_cast<double>(chains.size()));
  };
  auto tau_z_score = [&chains](int k, int s) {
    double sum = chains[0]->z_score(chains[0]->tau_chain(k, s));
    for (const QUENTA* chain : chains.subspan(1)) sum += chain->z_score(chain->tau_chain(k, s));
    return sum / std::sqrt(static_cast<double>(chains.size()));
  };
  std::string out;
  auto tau_of = [J](const item_parameters& p, int k, int j) { return p.tau[static_cast<size_t>(k) * J + j]; };
  auto estimate_row = [&](int label, int s) {
    appendf(out, "%.2d.   %+4.04f\t\t%+4.04f", label, e.mean.alpha[s], e.mean.delta[s]);
    for (int k = 0; k < thresholds; ++k) appendf(out, "\t\t%+4.04f", tau_of(e.mean, k, s));
    out += "\n";
  };

  out += "\n\nRaw Estimates\n";
  append_header(out, thresholds, "");
  for (int i = 0; i < J; ++i) estimate_row(order[i] + 1, order[i]);
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
  for (int n = 0; n < first.size_.persons; ++n) {
    appendf(out, "\t%+4.04f\t\t\t%+4.04f", first.theta_initial_[n], e.theta_mean[n]);
    appendf(out, "\t\t\t%+4.04f\n", e.theta_standard_error[n]);
  }
  out += separator;

  out += "\n\nZ-Scores\n";
  append_header(out, thresholds, " (p-value)");
  double total = 0;
  for (int s = 0; s < J; ++s) {
    double z = z_score(&QUENTA::alpha_chain, s);
    total += std::fabs(z);
    appendf(out, "%2d. %+11.03f (%3.02f)", s + 1, z, two_sided_p_value(z));
    z = z_score(&QUENTA::delta_chain, s);
    total += std::fabs(z);
    appendf(out, "\t\t%+7.03f (%3.02f)", z, two_sided_p_value(z));
    for (int k = 0; k < thresholds; ++k) {
      z = tau_z_score(k, s);
      total += std::fabs(z);
      appendf(out, "\t\t%+7.03f (%3.02f)", z, two_sided_p_value(z));
    }
    out += "\n";
  }
  const double average = total / (J * (2 + thresholds));
  appendf(out, "\nAverage Z-Score (p-value): %.05f (%3.02f)\n", average, two_sided_p_value(average));
  return out;
}
