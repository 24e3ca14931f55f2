#include "chain_set.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace {

// splitmix64 of the run's seed and the chain number: well-spread seeds for neighbouring
// numbers, so that chains of runs seeded 1, 2, 3 do not share generators.
std::uint64_t chain_seed(std::uint64_t seed, int chain) {
  std::uint64_t z = seed + 0x9e3779b97f4a7c15ULL * static_cast<std::uint64_t>(chain);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

// The recorded values of the kept iterations B + 1 .. T of one parameter in one chain.
std::vector<double> kept_draws(const QUENTA& engine, const QUENTA::parameter_id& id) {
  const CompressedArray& chain = engine.chain(id);
  std::vector<double> draws;
  for (int i = engine.burn_in() + 1; i <= engine.iterations(); ++i) draws.push_back(chain.value_at(i));
  return draws;
}

std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

std::string csv_number(double value, const char* format) {
  if (!std::isfinite(value)) return "";
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string convergence_cell(const mixing& m) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f (%.0f)", m.r_hat, m.ess);
  return text;
}

}  // namespace

chain_set::chain_set(engine_factory make)
    : make_(make ? std::move(make) : [] { return std::make_unique<QUENTA>(); }) {
  engines_.push_back(make_());
  done_ = std::make_unique<std::atomic<int>[]>(1);
}

const std::string& chain_set::last_error() const { return error_.empty() ? engines_[0]->last_error() : error_; }

int chain_set::load_syntax(const std::string& path, int chains) {
  error_.clear();
  path_ = path;
  if (chains < 1 || chains > max_chains) {
    error_ = "the number of chains must be between 1 and " + std::to_string(max_chains);
    return QUENTA::bad_syntax;
  }
  engines_.resize(1);
  const std::uint64_t seed = fixed_seed_.value_or(
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
  engines_[0]->fix_seed(seed);
  const bool tuned = tuned_.value_or(chains > 1);
  engines_[0]->use_tuned_sampler(tuned);
  if (int result = engines_[0]->load_syntax(path); result != QUENTA::loaded_ok) return result;
  for (int c = 1; c < chains; ++c) {
    std::unique_ptr<QUENTA> engine = make_();
    engine->fix_seed(chain_seed(seed, c));
    engine->disperse_start(true);
    engine->use_tuned_sampler(tuned);
    // The file was read a moment ago; it can still have changed or gone since.
    if (int result = engine->load_syntax(path); result != QUENTA::loaded_ok) {
      error_ = "chain " + std::to_string(c + 1) + ": " + engine->last_error();
      engines_[0]->release();
      engines_.resize(1);
      return result;
    }
    engines_.push_back(std::move(engine));
  }
  done_ = std::make_unique<std::atomic<int>[]>(chains);
  return QUENTA::loaded_ok;
}

int chain_set::set_count(int chains) {
  if (chains == count() && engines_[0]->loaded()) return QUENTA::loaded_ok;
  return load_syntax(path_, chains);
}

void chain_set::start_run() {
  for (int c = 0; c < count(); ++c) {
    engines_[c]->start_run();
    done_[c] = 0;
  }
  failure_.clear();
  // Cleared here rather than in run(), so that a stop asked for before the worker gets to
  // run() is not lost.
  stop_requested_ = false;
}

bool chain_set::run(const progress_callback& progress) {
  const int total = engines_[0]->iterations();
  if (count() == 1) {
    run_chain(0, progress);
  } else {
    std::vector<std::thread> threads;
    for (int c = 0; c < count(); ++c) threads.emplace_back(&chain_set::run_chain, this, c, nullptr);
    if (progress) {
      // Every chain ends at the total, at a stop or at a failure, which stops the others.
      while (iterations_done() < total && !stop_requested_) {
        progress(iterations_done());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    for (std::thread& thread : threads) thread.join();
    if (progress) progress(iterations_done());
  }
  return iterations_done() == total;
}

// The stop flag is looked at only between iterations, so an engine is never left in the
// middle of a step; a chain that fails stops the others.
void chain_set::run_chain(int chain, const progress_callback& progress) {
  QUENTA& engine = *engines_[chain];
  const int total = engine.iterations();
  for (int t = 0; t < total && !stop_requested_; ++t) {
    try {
      engine.iterate(t);
    } catch (const std::exception& error) {
      std::lock_guard<std::mutex> lock(failure_mutex_);
      if (failure_.empty())
        failure_ = "chain " + std::to_string(chain + 1) + " failed at iteration " + std::to_string(t + 1) + ": " +
                   error.what();
      stop_requested_ = true;
      return;
    }
    done_[chain] = t + 1;
    if (progress) progress(t + 1);
  }
}

int chain_set::iterations_done() const {
  int done = done_[0];
  for (int c = 1; c < count(); ++c) done = std::min<int>(done, done_[c]);
  return done;
}

std::vector<const QUENTA*> chain_set::chains() const {
  std::vector<const QUENTA*> all;
  for (const auto& engine : engines_) all.push_back(engine.get());
  return all;
}

std::string chain_set::report() const {
  if (count() == 1) return engines_[0]->report();
  const std::vector<const QUENTA*> all = chains();
  std::string out = QUENTA::pooled_report(all);
  const QUENTA& first = *engines_[0];
  const int J = first.size().items, thresholds = first.size().thresholds();
  const std::vector<summary> rows = summaries();
  const int per_item = 2 + thresholds;

  out += "\n" + std::string(92, '=') + "\n";
  out += "\n\nConvergence of " + std::to_string(count()) + " chains, " +
         std::to_string(first.iterations() - first.burn_in()) +
         " kept iterations each: R-hat (effective sample size)\n";
  out += "\tAlpha\t\tDelta";
  for (int k = 1; k <= thresholds; ++k) out += std::string("\t\tTau").append(std::to_string(k));
  out += "\n";
  // An undefined value (a parameter that never moved) counts as the worst.
  const summary* worst_r_hat = &rows[0];
  const summary* worst_ess = &rows[0];
  for (const summary& row : rows) {
    const double r_hat = row.convergence.r_hat, ess = row.convergence.ess;
    const double worst_r = worst_r_hat->convergence.r_hat, worst_e = worst_ess->convergence.ess;
    if (std::isnan(r_hat) ? !std::isnan(worst_r) : r_hat > worst_r) worst_r_hat = &row;
    if (std::isnan(ess) ? !std::isnan(worst_e) : ess < worst_e) worst_ess = &row;
  }
  char line[128];
  for (int s = 0; s < J; ++s) {
    std::snprintf(line, sizeof line, "%2d.    ", s + 1);
    out += line;
    for (int p = 0; p < per_item; ++p) out += (p ? "\t\t" : "") + convergence_cell(rows[s * per_item + p].convergence);
    out += "\n";
  }
  for (size_t i = static_cast<size_t>(J) * per_item; i < rows.size(); ++i) {
    std::string name = rows[i].id.name();
    name[0] = static_cast<char>(std::toupper(name[0]));
    out += "\n" + name + ": " + convergence_cell(rows[i].convergence);
  }
  std::snprintf(line, sizeof line, "\n\nLargest R-hat: %.3f (%s)\nSmallest effective sample size: %.0f (%s)\n",
                worst_r_hat->convergence.r_hat, worst_r_hat->id.name().c_str(), worst_ess->convergence.ess,
                worst_ess->id.name().c_str());
  out += line;
  return out;
}

QUENTA::estimates chain_set::estimates() const { return QUENTA::pooled_estimates(chains()); }

std::vector<chain_set::summary> chain_set::summaries() const {
  const std::vector<const QUENTA*> all = chains();
  const QUENTA::estimates e = estimates();
  const int J = engines_[0]->size().items;
  std::vector<summary> rows;
  for (const QUENTA::parameter_id& id : engines_[0]->recorded_parameters()) {
    summary row;
    row.id = id;
    chain_draws draws;
    for (const QUENTA* engine : all) draws.push_back(kept_draws(*engine, id));
    row.convergence = diagnose(draws);
    const size_t tau = static_cast<size_t>(id.threshold) * J + id.item;
    switch (id.kind) {
      case QUENTA::parameter_id::alpha:
        row.estimate = e.mean.alpha[id.item];
        row.standard_error = e.standard_error.alpha[id.item];
        break;
      case QUENTA::parameter_id::delta:
        row.estimate = e.mean.delta[id.item];
        row.standard_error = e.standard_error.delta[id.item];
        break;
      case QUENTA::parameter_id::tau:
        row.estimate = e.mean.tau[tau];
        row.standard_error = e.standard_error.tau[tau];
        break;
      default: {
        // The summaries of the thetas have no sums of their own: their draws give them.
        std::vector<double> pooled;
        for (const std::vector<double>& chain : draws) pooled.insert(pooled.end(), chain.begin(), chain.end());
        double sum = 0, squares = 0;
        for (double x : pooled) sum += x;
        row.estimate = sum / static_cast<double>(pooled.size());
        for (double x : pooled) squares += (x - row.estimate) * (x - row.estimate);
        row.standard_error = std::sqrt(squares / static_cast<double>(pooled.size() - 1));
      }
    }
    rows.push_back(row);
  }
  return rows;
}

std::string chain_set::csv() const {
  std::string out = "parameter,estimate,standard_error,r_hat,ess\n";
  for (const summary& row : summaries())
    out += csv_field(row.id.name()) + "," + csv_number(row.estimate, "%.6f") + "," +
           csv_number(row.standard_error, "%.6f") + "," + csv_number(row.convergence.r_hat, "%.4f") + "," +
           csv_number(row.convergence.ess, "%.1f") + "\n";
  const QUENTA::estimates e = estimates();
  for (size_t n = 0; n < e.theta_mean.size(); ++n)
    out += csv_field("theta " + std::to_string(n + 1)) + "," + csv_number(e.theta_mean[n], "%.6f") + "," +
           csv_number(e.theta_standard_error[n], "%.6f") + ",,\n";
  return out;
}

std::string chain_set::chain_file(const std::string& path, int chain, int chains) {
  if (chains == 1) return path;
  const std::string::size_type slash = path.rfind('/');
  const std::string::size_type dot = path.rfind('.');
  const std::string::size_type split = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                           ? path.size()
                                           : dot;
  return path.substr(0, split) + ".chain" + std::to_string(chain + 1) + path.substr(split);
}

bool chain_set::save_run(const std::string& path) {
  error_.clear();
  for (int c = 0; c < count(); ++c) {
    if (!engines_[c]->save_run(chain_file(path, c, count()))) {
      error_ = engines_[c]->last_error();
      return false;
    }
  }
  return true;
}
