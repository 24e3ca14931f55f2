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
  bool loaded_ = false;
  std::string error_;
  std::vector<double> probability_, z_;
};
