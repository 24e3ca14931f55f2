// chain_set runs one problem as several independent chains of the estimation engine, one
// worker thread each, and combines them: pooled estimates, the convergence of the chains
// towards each other (rank-normalized split R-hat and bulk effective sample size), one saved
// file per chain. The window and the terminal mode each own one. With one chain everything,
// the report included, is what the engine alone gives.
//
// Seeds: the first chain takes the run's seed (the fixed one or the time); chain c takes a
// seed derived from it and starts from dispersed values, so a fixed seed repeats every chain
// exactly whatever the threads' timing.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "convergence.h"
#include "quenta.h"

class chain_set {
public:
  static constexpr int max_chains = 64;
  // Builds the engine of each chain; a test can hand in one that fails.
  using engine_factory = std::function<std::unique_ptr<QUENTA>()>;
  // Told the iterations that every chain has finished, on the thread that called run().
  using progress_callback = std::function<void(int done)>;

  // One row of the table of results: a recorded parameter over the kept iterations of all chains.
  struct summary {
    QUENTA::parameter_id id;
    double estimate = 0, standard_error = 0;
    mixing convergence;
  };

  explicit chain_set(engine_factory make = nullptr);

  // The first chain's engine: its problem, settings and chains.
  QUENTA& first() { return *engines_[0]; }
  const QUENTA& engine(int chain) const { return *engines_[chain]; }
  int count() const { return static_cast<int>(engines_.size()); }

  void fix_seed(std::uint64_t seed) { fixed_seed_ = seed; }
  // Whether the chains use the tuned sampler (QUENTA::use_tuned_sampler), from the next load
  // on. Unset, several chains do, since their diagnostics need chains that mix well, and a
  // single one does not, so that it is the engine alone.
  void use_tuned_sampler(std::optional<bool> tuned) { tuned_ = tuned; }
  // Loads the problem into `chains` engines (1 .. max_chains); the result of the engine's
  // load_syntax, with last_error() saying why it failed.
  int load_syntax(const std::string& path, int chains = 1);
  // Loads the problem again when the number of chains changes.
  int set_count(int chains);
  const std::string& last_error() const;

  void start_run();
  // Runs every chain from where start_run() put it to the end, until stop() or until a chain
  // fails; true when all of them reached the end. Several chains run on threads of their own
  // while the calling thread reports progress about every 50 ms; one chain runs on the calling
  // thread and reports after each iteration.
  bool run(const progress_callback& progress = nullptr);
  // Asks a run to end after the iteration each chain is in; callable from any thread.
  void stop() { stop_requested_ = true; }
  // Iterations that every chain has finished; callable from any thread during run().
  int iterations_done() const;
  // Why the last run ended early because a chain failed; empty when none did.
  const std::string& failure() const { return failure_; }

  // The engine's report for one chain; for several, the pooled report and a section on their
  // convergence.
  std::string report() const;
  // Writes each chain's file (chain_file names them); false with last_error() on a failure.
  bool save_run(const std::string& path);
  // The file of one chain for a chosen name: the name itself for a single chain, else
  // "run.chain2.txt" for chain 2 of "run.txt" (the number goes before the extension).
  static std::string chain_file(const std::string& path, int chain, int chains);

  // Estimates over the kept iterations of all chains of a finished run.
  QUENTA::estimates estimates() const;
  // Every recorded parameter of a finished run with its pooled estimate and convergence.
  std::vector<summary> summaries() const;
  // Estimates, standard errors, R-hat and effective sample sizes as one CSV table: the rows
  // of summaries(), then the thetas with their estimates and standard errors.
  std::string csv() const;

private:
  std::vector<const QUENTA*> chains() const;
  // Told each iteration it finishes when progress is given.
  void run_chain(int chain, const progress_callback& progress);

  engine_factory make_;
  std::vector<std::unique_ptr<QUENTA>> engines_;
  std::optional<std::uint64_t> fixed_seed_;
  std::optional<bool> tuned_;
  std::string path_;
  std::string error_;
  std::atomic<bool> stop_requested_{false};
  std::unique_ptr<std::atomic<int>[]> done_;  // iterations finished by each chain
  std::mutex failure_mutex_;                   // guards failure_ while the chains run
  std::string failure_;
};
