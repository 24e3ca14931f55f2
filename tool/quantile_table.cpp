#include "quantile_table.h"

#include <cstdio>
#include <memory>

QuantileTable::QuantileTable(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), std::fclose);
  if (!file) {
    error_ = "cannot open " + path;
    return;
  }
  probability_.reserve(rows);
  z_.reserve(rows);
  double p, z;
  while (static_cast<int>(probability_.size()) < rows &&
         std::fscanf(file.get(), "%lf %lf", &p, &z) == 2) {
    // The lookup bisects on the probabilities and divides by their differences.
    if (!probability_.empty() && !(p > probability_.back())) {
      error_ = path + ": probabilities are not ascending at row " +
               std::to_string(probability_.size() + 1);
      return;
    }
    probability_.push_back(p);
    z_.push_back(z);
  }
  if (static_cast<int>(probability_.size()) != rows) {
    error_ = path + ": expected " + std::to_string(rows) + " rows of probability and z, found " +
             std::to_string(probability_.size());
    return;
  }
  loaded_ = true;
}

double QuantileTable::quantile(double p) const {
  const int last = rows - 1;
  if (p > probability_[last]) return z_[last];
  if (p < 0.5) return -quantile(1 - p);
  int lo = 0, hi = rows;
  while (hi - lo != 1) {
    int mid = (hi + lo) / 2;
    if (p > probability_[mid])
      lo = mid;
    else
      hi = mid;
  }
  int i = hi == rows ? last : hi;
  double w = (probability_[i] - p) / (probability_[i] - probability_[lo]);
  return (1 - w) * z_[i] + w * z_[lo];
}
