#include "quantile_table.h"

#include <algorithm>
#include <cmath>
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
  bucket_width_ = (probability_.back() - probability_.front()) / buckets;
  bucket_start_.resize(buckets + 1);
  for (int b = 0; b <= buckets; ++b)
    bucket_start_[b] = first_at_or_above(probability_.front() + b * bucket_width_);
  loaded_ = true;
}

int QuantileTable::first_at_or_above(double p) const {
  auto begin = probability_.begin(), end = probability_.end();
  if (!bucket_start_.empty()) {
    int b = std::clamp(static_cast<int>((p - probability_.front()) / bucket_width_), 0, buckets - 1);
    auto found = std::lower_bound(begin + bucket_start_[b], begin + bucket_start_[b + 1], p);
    // Rounding at a bucket's edge can put p in its neighbour: then search everything.
    if ((found == begin || found[-1] < p) && (found == end || *found >= p)) return found - begin;
  }
  return std::lower_bound(begin, end, p) - begin;
}

double QuantileTable::quantile(double p) const {
  const int last = rows - 1;
  if (std::isnan(p)) return p;
  if (p > probability_[last]) return z_[last];
  if (p < 0.5) return -quantile(1 - p);
  // Bisection with lo above 0 only where p > P[lo] leaves hi at the first row from 1 on
  // whose probability reaches p.
  const int hi = std::max(1, first_at_or_above(p)), lo = hi - 1;
  const double w = (probability_[hi] - p) / (probability_[hi] - probability_[lo]);
  return (1 - w) * z_[hi] + w * z_[lo];
}
