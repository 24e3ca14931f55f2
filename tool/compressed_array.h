// Run-length compressed chain of one scalar parameter: a rejected proposal repeats the
// previous value, so a chain costs one run per accepted change rather than one entry per
// iteration. Owned by the estimation engine, one per item parameter.
#pragma once

#include <vector>

class CompressedArray {
public:
  // What value_at answers for iterations the chain never recorded.
  static constexpr double missing_value = 8675309.0;

  CompressedArray();
  virtual ~CompressedArray() = default;

  // Appends the value of the next iteration; a value within 1e-9 of the last run extends it.
  virtual void push(double x);
  // Lets the last run cover one more iteration.
  virtual void extend_last();
  // Value at iteration i, or missing_value when i was never recorded.
  virtual double value_at(int i) const;
  // Forgets every run.
  virtual void reset();

  int count() const { return static_cast<int>(values_.size()); }
  // Number of iterations recorded (the last run's end + 1).
  int length() const { return ends_.empty() ? 0 : ends_.back() + 1; }
  int end_of_run(int run) const { return ends_[run]; }
  double value_of_run(int run) const { return values_[run]; }

private:
  static constexpr int initial_capacity = 10;

  std::vector<int> ends_;       // last iteration covered by each run
  std::vector<double> values_;  // value of each run
};
