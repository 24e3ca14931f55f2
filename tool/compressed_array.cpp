#include "compressed_array.h"

#include <algorithm>
#include <cmath>

CompressedArray::CompressedArray() { reset(); }

void CompressedArray::push(double x) {
  if (!values_.empty() && std::fabs(x - values_.back()) < 1e-9) {
    extend_last();
    return;
  }
  ends_.push_back(ends_.empty() ? 0 : ends_.back() + 1);
  values_.push_back(x);
}

void CompressedArray::extend_last() {
  if (!ends_.empty()) ++ends_.back();
}

double CompressedArray::value_at(int i) const {
  if (i < 0 || ends_.empty() || i > ends_.back()) return missing_value;
  // The first run whose end is at or beyond i covers it.
  auto run = std::lower_bound(ends_.begin(), ends_.end(), i);
  return values_[run - ends_.begin()];
}

void CompressedArray::reset() {
  std::vector<int>().swap(ends_);
  std::vector<double>().swap(values_);
  ends_.reserve(initial_capacity);
  values_.reserve(initial_capacity);
}
