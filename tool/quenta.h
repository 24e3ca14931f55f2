// QUENTA holds one estimation problem of the unfolding item-response model: the settings and
// responses read from a syntax file and its data file, the state of the Markov chain, the sums
// that give the estimates, and the recorded chain of every item parameter. The shell creates
// one engine and drives it from one thread at a time; the engine is not thread-safe.
//
// A run: start_run(), then for t = 0 .. T-1 iterate(t), then report() unless stopped early.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "compressed_array.h"
#include "item_parameters.h"
#include "likelihood.h"
#include "proposal_tuning.h"
#include "quantile_table.h"

class QUENTA {
public:
  static constexpr int max_token_length = 243;

  // Results of load_syntax.
  enum load_result { loaded_ok = 0, bad_syntax = 1, no_valid_responses = 2 };

  // The four numbers of a scaled beta prior: shape a and b on the interval lo..hi.
  struct prior {
    double a = 0, b = 0, lo = 0, hi = 0;
    double log_density(double x) const;
  };

  // Means and standard errors over the kept iterations of a run.
  struct estimates {
    item_parameters mean, standard_error;
    std::vector<double> theta_mean, theta_standard_error;
    item_parameters rejection_percent;
  };

  // One recorded scalar of a run: an item parameter of the item in slot `item`, or a summary
  // of all thetas at each iteration (their mean and standard deviation).
  struct parameter_id {
    enum kind_type { alpha, delta, tau, theta_mean, theta_sd } kind = alpha;
    int item = 0;
    int threshold = 0;  // 0-based, for tau
    // "alpha 3", "tau2 3", "theta mean": items and thresholds counted from 1.
    std::string name() const;
  };

  explicit QUENTA(const std::string& quantile_table_path = "data/ZScore.dat");
  virtual ~QUENTA();

  // Frees every per-problem array; no problem is loaded afterwards.
  virtual void release();
  // Puts the chain in its starting state and forgets every sum, counter and chain.
  virtual void start_run();
  // Reads the next whitespace-separated token of a syntax file, skipping "#" comments. False
  // only when the file ends before a token starts. A token longer than max_token_length is
  // cut to max_token_length + 1 characters, which load_syntax refuses.
  virtual bool read_token(FILE* file, std::string& buffer);
  // Loads a problem: loaded_ok, bad_syntax or no_valid_responses; last_error() says why.
  virtual int load_syntax(const std::string& path);
  virtual void theta_step();
  virtual void item_step();
  // One move of the location and one of the scale of persons and items together; the first
  // step of an iteration of the tuned sampler.
  void ridge_step();
  virtual void accumulate();
  // The report text of a finished run.
  virtual std::string report();
  // Writes the recorded chains, one line per iteration 0 .. T; false if the file can't be made.
  virtual bool save_run(const std::string& path);
  virtual int burn_in() const;
  virtual int iterations() const;

  // One iteration t of a run: the theta step, the item step, and the sums once t >= burn_in().
  void iterate(int t);

  // Seeds the generator with this value at every load instead of with the time.
  void fix_seed(std::uint64_t seed) { fixed_seed_ = seed; }
  // Starts the next runs away from the usual starting values: alphas, locations and thetas
  // moved by random amounts, so that several chains show whether they find the same answer.
  void disperse_start(bool disperse) { disperse_start_ = disperse; }
  // Evaluates the likelihood straight from the formulas instead of with the cached evaluator.
  void use_direct_likelihood(bool direct) { direct_likelihood_ = direct; }
  // The tuned sampler, for runs that must mix well enough for convergence diagnostics: every
  // iteration also moves all persons and items together along the location and the scale
  // that the likelihood cannot see (ridge_step), and the item step moves each item's
  // parameters jointly, with proposals tuned during the burn-in and frozen after it. Off by
  // default, so that a plain run is the seed's chain.
  void use_tuned_sampler(bool tuned) { tuned_ = tuned; }
  bool tuned_sampler() const { return tuned_; }

  bool has_quantile_table() const { return table_.loaded(); }
  bool loaded() const { return loaded_; }
  const std::string& last_error() const { return last_error_; }
  // What the last load_syntax noticed but accepted (a short data file, a short syntax file).
  const std::vector<std::string>& warnings() const { return warnings_; }

  double normal_quantile(double p) const { return table_.quantile(p); }
  double standard_normal_deviate();

  const model_size& size() const { return size_; }
  // 0-based data column that feeds each item slot.
  const std::vector<int>& column_order() const { return order_; }
  // Response of person n to the item in slot j, or -1 when missing.
  int response(int n, int j) const { return responses_[static_cast<size_t>(n) * size_.items + j]; }
  const std::vector<double>& theta() const { return theta_; }
  const std::vector<double>& theta_initial() const { return theta_initial_; }
  const item_parameters& parameters() const { return items_; }
  int iterations_done() const { return iterations_done_; }
  const CompressedArray& alpha_chain(int j) const { return alpha_chain_[j]; }
  const CompressedArray& delta_chain(int j) const { return delta_chain_[j]; }
  const CompressedArray& tau_chain(int k, int j) const { return tau_chain_[k * size_.items + j]; }

  // Every recorded parameter: per item slot alpha, delta and the thresholds, then the two
  // summaries of the thetas.
  std::vector<parameter_id> recorded_parameters() const;
  const CompressedArray& chain(const parameter_id& id) const;

  estimates current_estimates() const;
  // Convergence z-score of one chain: early against late window of the kept iterations.
  double z_score(const CompressedArray& chain) const;

  // Estimates over the kept iterations of several finished runs of one problem together.
  static estimates pooled_estimates(std::span<const QUENTA* const> chains);
  // The report of several finished runs of one problem: pooled estimates and rejection rates,
  // the first run's starting thetas, and each z-score combined over the runs as their sum over
  // the root of their number. For one run this is report().
  static std::string pooled_report(std::span<const QUENTA* const> chains);

private:
  struct counter {
    int tried = 0, accepted = 0;
  };
  struct sums {
    std::vector<double> sum, squares;
    void clear(size_t n) { sum.assign(n, 0.0); squares.assign(n, 0.0); }
    void add(const std::vector<double>& x);
  };

  class syntax_reader;

  // Releases the half-read problem and keeps the message for last_error().
  int fail(int code, std::string message);
  std::optional<std::string> check_dimensions() const;
  // The column entries as read, counted from 1.
  std::optional<std::string> check_order() const;
  int read_data(const std::string& data_path, const std::string& syntax_path);
  void read_settings(syntax_reader& syntax);
  void starting_thetas();
  void disperse();
  void record_theta_summaries();
  double uniform();
  // Moves thetas and deltas to stretch x + shift, thresholds to stretch x and alphas to
  // alpha / stretch when the priors and the map's Jacobian accept it; true when taken.
  bool ridge_move(double shift, double stretch);
  // One Metropolis block over all items: what it changes and where its results go.
  struct block {
    item_change what;
    int threshold;  // for threshold blocks, which one (0-based)
    const std::vector<prior>& priors;
    std::vector<counter>& counts;
    std::vector<CompressedArray>& chains;
    double floor;  // acceptance needs the ratio to beat a uniform on [floor, 1]
  };
  // Decides every item's proposal in trial and pushes every item's value into its chain.
  void item_block(const block& b, const item_parameters& trial);
  // The seed's item step: alphas, locations and each threshold in turn, one block each.
  void one_parameter_blocks();
  // The tuned sampler's item step: joint moves of whole items, then the iteration's values
  // pushed into the chains; and the learning of its proposals during the burn-in.
  void whole_item_moves();
  void whole_item_block();
  void learn(int t);
  std::vector<double> item_vector(const item_parameters& items, int j) const;
  double item_log_prior(const item_parameters& items, int j) const;

  QuantileTable table_;
  std::mt19937_64 random_;
  std::optional<std::uint64_t> fixed_seed_;
  bool direct_likelihood_ = false;
  bool disperse_start_ = false;
  bool tuned_ = false;
  bool loaded_ = false;
  std::string last_error_;
  std::vector<std::string> warnings_;

  // Problem settings.
  model_size size_;
  int total_iterations_ = 0, burn_in_ = 0;
  std::vector<int> order_;
  std::vector<int> responses_;
  double first_fraction_ = 0, last_fraction_ = 0;
  std::vector<prior> alpha_prior_, delta_prior_;
  std::vector<prior> tau_prior_;  // [k * items + j]
  std::vector<double> delta_start_;
  double theta_sd_ = 0, alpha_sd_ = 0, delta_sd_ = 0, tau_sd_ = 0;

  // Chain state.
  std::unique_ptr<likelihood_evaluator> likelihood_;
  std::unique_ptr<proposal_tuning> tuning_;  // the tuned sampler's, from start_run()
  std::vector<double> theta_, theta_initial_, theta_proposed_;
  item_parameters items_, proposed_;
  sums theta_sums_, alpha_sums_, delta_sums_, tau_sums_;
  std::vector<counter> alpha_count_, delta_count_, tau_count_;
  int iterations_done_ = 0;
  std::vector<CompressedArray> alpha_chain_, delta_chain_, tau_chain_;
  CompressedArray theta_mean_chain_, theta_sd_chain_;
};
