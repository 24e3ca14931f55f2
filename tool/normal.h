// The standard normal distribution: cumulative probability and its inverse, both accurate to
// near double precision. Used to build the quantile table, to simulate problems and to turn
// z-scores into p-values; the sampler itself draws its deviates from the quantile table.
#pragma once

// P(Z <= z) for a standard normal Z.
double normal_cdf(double z);

// The z with normal_cdf(z) == p, for 0 < p < 1.
double inverse_normal_cdf(double p);

// Two-sided p-value of a z-score: P(|Z| >= |z|).
double two_sided_p_value(double z);
