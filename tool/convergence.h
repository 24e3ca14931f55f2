// Convergence diagnostics of a recorded chain: the spectral estimate of the variance of a
// segment's mean, from which the engine forms its early-against-late z-scores.
#pragma once

#include <array>
#include <span>

// Variance of the mean of x, from a quadratic fit to the log periodogram of batch means at low
// frequencies. Segments shorter than 12 values give 0.00001.
double spectral_variance(std::span<const double> x);

using matrix3 = std::array<std::array<double, 3>, 3>;

// Gauss-Jordan inversion with partial pivoting; false when the matrix is singular.
bool invert(matrix3& a);
