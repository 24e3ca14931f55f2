// Convergence diagnostics of recorded chains: the spectral estimate of the variance of a
// segment's mean, from which the engine forms its early-against-late z-scores, and the
// rank-normalized split R-hat and bulk effective sample size of several chains of one
// parameter.
#pragma once

#include <array>
#include <span>
#include <vector>

// Variance of the mean of x, from a quadratic fit to the log periodogram of batch means at low
// frequencies. Segments shorter than 12 values give 0.00001.
double spectral_variance(std::span<const double> x);

using matrix3 = std::array<std::array<double, 3>, 3>;

// Gauss-Jordan inversion with partial pivoting; false when the matrix is singular.
bool invert(matrix3& a);

// The kept draws of one parameter, one vector per chain, all of the same length.
using chain_draws = std::vector<std::vector<double>>;

struct mixing {
  double r_hat = 0;  // rank-normalized split R-hat: the larger of the bulk and the folded one
  double ess = 0;    // bulk effective sample size of all chains together
};

// Both diagnostics of one parameter. Each chain is split in halves and the draws of all halves
// are replaced by the normal scores of their ranks; R-hat compares the halves' means with
// their variances, on the draws and on their distances from the median; the effective sample
// size sums the halves' autocorrelations up to Geyer's initial monotone sequence. NaN where a
// value is undefined: fewer than 4 draws per chain, or draws that never change.
mixing diagnose(const chain_draws& chains);
