// Problems of the unfolding model simulated from known parameters: persons, items and
// responses drawn with a seeded generator, together with sampler settings that suit them,
// written as a syntax file, its data file and a file of the true values. Used by
// quenta_simulate for the bundled example and by the recovery tests.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "item_parameters.h"
#include "quenta.h"

struct simulation_settings {
  model_size size{1000, 20, 4};
  int iterations = 5000;
  int burn_in = 1000;
  double missing_fraction = 0.0;  // chance that any one response is missing
  std::uint64_t seed = 1;
};

struct simulated_problem {
  model_size size;
  int iterations = 0, burn_in = 0;
  std::uint64_t seed = 0;

  // True values, items in slot order, which is ascending location.
  item_parameters truth;
  std::vector<double> theta;

  // The data file keeps the items in a shuffled order, as a questionnaire would; column[j] is
  // the 0-based data column of slot j. responses[n * items + c] is the answer of person n in
  // data column c, or -1 when missing.
  std::vector<int> column;
  std::vector<int> responses;

  // Sampler settings: one prior for every item's alpha, one for every delta, one per
  // threshold (tau_prior[k] for threshold k + 1), starting locations in slot order, and the
  // proposal standard deviations.
  QUENTA::prior alpha_prior, delta_prior;
  std::vector<QUENTA::prior> tau_prior;
  std::vector<double> delta_start;
  double theta_sd = 0, alpha_sd = 0, delta_sd = 0, tau_sd = 0;
};

// Category probabilities P_0 .. P_{K-1} of one person on one item; tau holds the item's K - 1
// thresholds. Safe for any distance: the terms are combined as logarithms.
std::vector<double> category_probabilities(double theta, double alpha, double delta,
                                           std::span<const double> tau);

simulated_problem simulate(const simulation_settings& settings);

// Where a problem named name in folder is written: name.mcs, name.txt and name_truth.txt.
struct problem_files {
  std::string syntax, data, truth;
  static problem_files in(const std::string& folder, const std::string& name);
};

// Writes the three files. The syntax file names the data file by files.data exactly, since the
// engine opens it as given. Returns an empty string on success, else what could not be written.
std::string write_problem(const simulated_problem& problem, const problem_files& files);
