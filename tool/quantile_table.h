// The table of standard normal quantiles from which the engine draws its deviates: 50000
// cumulative probabilities from 0.5 upwards with their z values, read once from a text file
// of two numbers per line. The lower half is the mirror image of the upper.
#pragma once

#include <string>
#include <vector>

class QuantileTable {
public:
  static constexpr int rows = 50000;

  // Reads the table; loaded() tells whether it was whole and ascending.
  explicit QuantileTable(const std::string& path);

  bool loaded() const { return loaded_; }
  const std::string& error() const { return error_; }

  // Linear interpolation in the table; p below 0.5 mirrors, p beyond the last row gives the
  // last z value.
  double quantile(double p) const;

private:
  // The row of the first probability at or above p, found from the bucket of p.
  int first_at_or_above(double p) const;

  bool loaded_ = false;
  std::string error_;
  std::vector<double> probability_, z_;
  // Equal-width buckets over the probabilities: bucket b starts at row bucket_start_[b]. A
  // lookup searches one bucket instead of the whole table, which does not fit in cache.
  static constexpr int buckets = 8192;
  std::vector<int> bucket_start_;
  double bucket_width_ = 0;
};
