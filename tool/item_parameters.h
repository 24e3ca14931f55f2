// The parameters of every item of the unfolding model, and the dimensions they come with.
// Shared by the engine and the likelihood evaluators.
#pragma once

#include <vector>

struct model_size {
  // The sampler handles up to this many response categories.
  static constexpr int max_categories = 100;

  int persons = 0;
  int items = 0;
  int categories = 0;  // K; every item has K - 1 thresholds
  int thresholds() const { return categories - 1; }
};

struct item_parameters {
  std::vector<double> alpha;  // discrimination of each item
  std::vector<double> delta;  // location of each item
  std::vector<double> tau;    // threshold k (0-based) of item j at k * items + j

  void resize(const model_size& size) {
    alpha.assign(size.items, 0.0);
    delta.assign(size.items, 0.0);
    tau.assign(static_cast<size_t>(size.thresholds()) * size.items, 0.0);
  }
};
