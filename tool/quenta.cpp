#include "quenta.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>

#include "convergence.h"
#include "direct_likelihood.h"

namespace {

// Scale of the random moves of dispersed starting values.
constexpr double dispersion = 0.5;

double theta_log_prior(double theta) {
  // log(exp(-theta^2 / 2) / sqrt(2 pi)), without the underflow of the exponential.
  return -theta * theta / 2 - 0.5 * std::log(2 * std::numbers::pi);
}

// The parameter an item block changes, of item j (threshold k for threshold blocks).
template <class Items>
auto& parameter(Items& items, item_change what, int k, int j) {
  switch (what) {
    case item_change::alpha: return items.alpha[j];
    case item_change::delta: return items.delta[j];
    case item_change::threshold:
    case item_change::whole_item: break;
  }
  return items.tau[static_cast<size_t>(k) * items.alpha.size() + j];
}

// Log prior of an item parameter, minus infinity outside its bounds.
double bounded_log_prior(const QUENTA::prior& p, double x) {
  if (!(x > p.lo && x < p.hi)) return -std::numeric_limits<double>::infinity();
  return p.log_density(x);
}

}  // namespace

double QUENTA::prior::log_density(double x) const {
  return (a - 1) * std::log(x - lo + 1e-9) + (b - 1) * std::log(hi - x + 1e-9) -
         (a + b + 1) * std::log(hi - lo + 1e-9);
}

void QUENTA::sums::add(const std::vector<double>& x) {
  for (size_t i = 0; i < x.size(); ++i) {
    sum[i] += x[i];
    squares[i] += x[i] * x[i];
  }
}

QUENTA::QUENTA(const std::string& quantile_table_path) : table_(quantile_table_path) {
  random_.seed(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

QUENTA::~QUENTA() = default;

void QUENTA::release() {
  likelihood_.reset();
  tuning_.reset();
  order_.clear();
  responses_.clear();
  alpha_prior_.clear();
  delta_prior_.clear();
  tau_prior_.clear();
  delta_start_.clear();
  theta_.clear();
  theta_initial_.clear();
  theta_proposed_.clear();
  items_ = {};
  proposed_ = {};
  theta_sums_ = {};
  alpha_sums_ = {};
  delta_sums_ = {};
  tau_sums_ = {};
  alpha_count_.clear();
  delta_count_.clear();
  tau_count_.clear();
  alpha_chain_.clear();
  delta_chain_.clear();
  tau_chain_.clear();
  theta_mean_chain_.reset();
  theta_sd_chain_.reset();
  iterations_done_ = 0;
  size_ = {};
  loaded_ = false;
}

double QUENTA::uniform() {
  // 53 random bits: uniform on [0, 1).
  return static_cast<double>(random_() >> 11) * 0x1.0p-53;
}

double QUENTA::standard_normal_deviate() { return normal_quantile(uniform()); }

void QUENTA::start_run() {
  if (!loaded_) return;
  const int J = size_.items, N = size_.persons;
  const size_t thresholds = static_cast<size_t>(size_.thresholds()) * J;
  items_.resize(size_);
  proposed_.resize(size_);
  alpha_count_.assign(J, {});
  delta_count_.assign(J, {});
  tau_count_.assign(thresholds, {});
  alpha_chain_.assign(J, {});
  delta_chain_.assign(J, {});
  tau_chain_.assign(thresholds, {});
  for (int j = 0; j < J; ++j) {
    items_.alpha[j] = 1;
    items_.delta[j] = delta_start_[j];
  }
  for (size_t i = 0; i < thresholds; ++i)
    items_.tau[i] = tau_prior_[i].lo + uniform() * (tau_prior_[i].hi - tau_prior_[i].lo);
  alpha_sums_.clear(J);
  delta_sums_.clear(J);
  tau_sums_.clear(thresholds);
  theta_sums_.clear(N);
  iterations_done_ = 0;

  if (disperse_start_) disperse();
  // Item slots are kept in ascending order of location.
  std::sort(items_.delta.begin(), items_.delta.end());
  starting_thetas();
  theta_proposed_.assign(N, 0.0);
  if (disperse_start_)
    for (double& t : theta_) t += standard_normal_deviate() * dispersion;

  tuning_.reset();
  if (tuned_) {
    std::vector<double> widths{alpha_sd_, delta_sd_};
    widths.resize(2 + size_.thresholds(), tau_sd_);
    tuning_ = std::make_unique<proposal_tuning>(J, std::move(widths));
  }
  if (direct_likelihood_)
    likelihood_ = std::make_unique<direct_likelihood>(size_, responses_);
  else
    likelihood_ = std::make_unique<cached_likelihood>(size_, responses_);
  likelihood_->reset(theta_, items_);

  for (int j = 0; j < J; ++j) {
    alpha_chain_[j].push(items_.alpha[j]);
    delta_chain_[j].push(items_.delta[j]);
  }
  for (size_t i = 0; i < thresholds; ++i) tau_chain_[i].push(items_.tau[i]);
  theta_mean_chain_.reset();
  theta_sd_chain_.reset();
  record_theta_summaries();
}

// Alphas spread by a factor of about e^(+-dispersion) and locations by about +-dispersion, kept
// inside their priors; the thresholds already start anywhere in theirs.
void QUENTA::disperse() {
  // Not std::clamp: a prior read from a file may have its bounds the wrong way round.
  auto inside = [](double x, const prior& p) {
    const double margin = 0.05 * (p.hi - p.lo);
    return std::max(p.lo + margin, std::min(x, p.hi - margin));
  };
  for (int j = 0; j < size_.items; ++j) {
    items_.alpha[j] = inside(items_.alpha[j] * std::exp(standard_normal_deviate() * dispersion), alpha_prior_[j]);
    items_.delta[j] = inside(items_.delta[j] + standard_normal_deviate() * dispersion, delta_prior_[j]);
  }
}

void QUENTA::record_theta_summaries() {
  double sum = 0, squares = 0;
  for (double t : theta_) sum += t;
  const double mean = sum / static_cast<double>(theta_.size());
  for (double t : theta_) squares += (t - mean) * (t - mean);
  theta_mean_chain_.push(mean);
  theta_sd_chain_.push(std::sqrt(squares / static_cast<double>(theta_.size())));
}

// Each person starts at the normal quantile of their mean disagreement (a valid response r
// counts 2K - 2 - r), standardised over the persons who answered anything; a person without
// any valid response starts at minus that mean.
void QUENTA::starting_thetas() {
  const int N = size_.persons, J = size_.items, K = size_.categories;
  theta_.assign(N, 0.0);
  double mean = 0;
  int joined = 0;
  for (int n = 0; n < N; ++n) {
    double sum = 0;
    int count = 0;
    for (int j = J - 1; j >= 0; --j) {
      int r = response(n, j);
      if (r < 0) continue;
      sum += 2 * K - 2 - r;
      ++count;
    }
    if (count == 0) continue;
    theta_[n] = normal_quantile(sum / (count * (K - 1) * 2.0));
    mean += theta_[n];
    ++joined;
  }
  if (joined == 0) return;
  mean /= joined;
  double squares = 0;
  for (double& t : theta_) {
    t -= mean;
    squares += t * t;
  }
  const double sd = std::sqrt(squares / joined);
  if (sd > 1e-9)
    for (double& t : theta_) t /= sd;
  theta_initial_ = theta_;
}

void QUENTA::theta_step() {
  const int N = size_.persons;
  for (int n = 0; n < N; ++n) theta_proposed_[n] = theta_[n] + standard_normal_deviate() * theta_sd_;
  std::vector<double> current(N), proposed(N);
  likelihood_->theta_block(theta_, theta_proposed_, items_, current, proposed);
  std::vector<char> taken(N, 0);
  for (int n = 0; n < N; ++n) {
    double before = current[n] + theta_log_prior(theta_[n]);
    double after = proposed[n] + theta_log_prior(theta_proposed_[n]);
    if (std::exp(after - before) > uniform()) {
      theta_[n] = theta_proposed_[n];
      taken[n] = 1;
    }
  }
  likelihood_->accept_persons(taken);
}

void QUENTA::item_step() {
  ++iterations_done_;
  if (tuned_)
    whole_item_moves();
  else
    one_parameter_blocks();
  record_theta_summaries();
}

void QUENTA::one_parameter_blocks() {
  const int J = size_.items, thresholds = size_.thresholds();
  for (int j = 0; j < J; ++j) {
    proposed_.alpha[j] = items_.alpha[j] + standard_normal_deviate() * alpha_sd_;
    proposed_.delta[j] = items_.delta[j] + standard_normal_deviate() * delta_sd_;
    for (int k = 0; k < thresholds; ++k) {
      size_t i = static_cast<size_t>(k) * J + j;
      proposed_.tau[i] = items_.tau[i] + standard_normal_deviate() * tau_sd_;
    }
  }

  item_parameters trial = items_;
  trial.alpha = proposed_.alpha;
  // Alpha is taken only when the ratio beats a uniform on [0.5, 1], not on [0, 1].
  item_block({item_change::alpha, 0, alpha_prior_, alpha_count_, alpha_chain_, 0.5}, trial);

  trial = items_;
  trial.delta = proposed_.delta;
  item_block({item_change::delta, 0, delta_prior_, delta_count_, delta_chain_, 0.0}, trial);

  for (int k = 0; k < thresholds; ++k) {
    trial = items_;
    const size_t row = static_cast<size_t>(k) * J;
    std::copy_n(&proposed_.tau[row], J, &trial.tau[row]);
    item_block({item_change::threshold, k, tau_prior_, tau_count_, tau_chain_, 0.0}, trial);
  }
}

void QUENTA::item_block(const block& b, const item_parameters& trial) {
  const int J = size_.items;
  std::vector<double> current(J), proposed(J);
  likelihood_->item_block(theta_, items_, trial, b.what, current, proposed);
  std::vector<char> taken(J, 0);
  for (int j = 0; j < J; ++j) {
    // Priors, counters and chains of thresholds are laid out like the thresholds themselves.
    const size_t i = b.what == item_change::threshold ? static_cast<size_t>(b.threshold) * J + j : j;
    double& value = parameter(items_, b.what, b.threshold, j);
    const double candidate = parameter(trial, b.what, b.threshold, j);
    const double before = current[j] + b.priors[i].log_density(value);
    const double after = proposed[j] + b.priors[i].log_density(candidate);
    ++b.counts[i].tried;
    if (std::exp(after - before) > uniform() * (1 - b.floor) + b.floor) {
      value = candidate;
      ++b.counts[i].accepted;
      taken[j] = 1;
    }
    b.chains[i].push(value);
  }
  likelihood_->accept_items(taken);
}

// An item's parameters in the order its joint proposal uses: alpha, delta, the thresholds.
std::vector<double> QUENTA::item_vector(const item_parameters& items, int j) const {
  std::vector<double> x{items.alpha[j], items.delta[j]};
  for (int k = 0; k < size_.thresholds(); ++k) x.push_back(items.tau[static_cast<size_t>(k) * size_.items + j]);
  return x;
}

double QUENTA::item_log_prior(const item_parameters& items, int j) const {
  const int J = size_.items;
  double sum = bounded_log_prior(alpha_prior_[j], items.alpha[j]) + bounded_log_prior(delta_prior_[j], items.delta[j]);
  for (int k = 0; k < size_.thresholds(); ++k) {
    const size_t i = static_cast<size_t>(k) * J + j;
    sum += bounded_log_prior(tau_prior_[i], items.tau[i]);
  }
  return sum;
}

// Every item's parameters moved together by its learned joint proposal, which follows the
// strong correlations between an item's alpha, location and thresholds (an item beyond most
// persons barely tells a shifted location from shifted thresholds) that one-parameter moves
// cross slowly. Each item is taken or left on its own, and the counts of all its parameters
// say so. The ordinary acceptance rule holds for alpha too: the seed's rule for it (a ratio
// that beats a uniform on [0.5, 1]) favours the likelier alphas beyond what their posterior
// says, and the tuned sampler's chains are meant to sample the posterior.
void QUENTA::whole_item_block() {
  const int J = size_.items, thresholds = size_.thresholds();
  const size_t dimension = 2 + static_cast<size_t>(thresholds);
  item_parameters trial = items_;
  std::vector<double> deviates(dimension), step(dimension);
  for (int j = 0; j < J; ++j) {
    for (double& z : deviates) z = standard_normal_deviate();
    tuning_->joint_step(j, deviates, step);
    trial.alpha[j] += step[0];
    trial.delta[j] += step[1];
    for (int k = 0; k < thresholds; ++k) trial.tau[static_cast<size_t>(k) * J + j] += step[2 + k];
  }
  std::vector<double> current(J), proposed(J);
  likelihood_->item_block(theta_, items_, trial, item_change::whole_item, current, proposed);
  std::vector<char> taken(J, 0);
  for (int j = 0; j < J; ++j) {
    const double before = current[j] + item_log_prior(items_, j);
    const double after = proposed[j] + item_log_prior(trial, j);
    taken[j] = std::exp(after - before) > uniform();
    tuning_->count(j, taken[j]);
    auto decide = [&](double& value, double candidate, counter& count) {
      ++count.tried;
      if (!taken[j]) return;
      value = candidate;
      ++count.accepted;
    };
    decide(items_.alpha[j], trial.alpha[j], alpha_count_[j]);
    decide(items_.delta[j], trial.delta[j], delta_count_[j]);
    for (int k = 0; k < thresholds; ++k) {
      const size_t i = static_cast<size_t>(k) * J + j;
      decide(items_.tau[i], trial.tau[i], tau_count_[i]);
    }
  }
  likelihood_->accept_items(taken);
}

// A joint move costs what one one-parameter block costs, and the items' parameters given the
// thetas mix well with a few of them per iteration; three cost less than the seed's K + 1
// blocks from K = 3 on, and mix better.
void QUENTA::whole_item_moves() {
  constexpr int moves = 3;
  for (int m = 0; m < moves; ++m) whole_item_block();
  for (int j = 0; j < size_.items; ++j) {
    alpha_chain_[j].push(items_.alpha[j]);
    delta_chain_[j].push(items_.delta[j]);
  }
  for (size_t i = 0; i < items_.tau.size(); ++i) tau_chain_[i].push(items_.tau[i]);
}

// The tuning watches the burn-in once its first quarter has gone by, when the chain has left
// its start, and adjusts at the end of every batch; after the burn-in it stays as it is.
void QUENTA::learn(int t) {
  if (t >= burn_in_ / 4)
    for (int j = 0; j < size_.items; ++j) tuning_->observe(j, item_vector(items_, j));
  if ((t + 1) % proposal_tuning::batch == 0) tuning_->adjust();
}

void QUENTA::accumulate() {
  theta_sums_.add(theta_);
  alpha_sums_.add(items_.alpha);
  delta_sums_.add(items_.delta);
  tau_sums_.add(items_.tau);
}

// The likelihood sees persons and items only through alpha (theta - delta) and alpha tau, so
// shifting every theta and delta by c, or stretching thetas, deltas and thresholds by b while
// shrinking the alphas by b, leaves it exactly as it is. Only the priors hold the chain along
// these two directions, and moves of one parameter at a time travel along them very slowly:
// the mean and spread of the thetas, and with them the outer locations, take hundreds of
// iterations to forget their start. A move along each, decided by the priors alone, costs no
// likelihood evaluation. Widths are about 2.4 posterior standard deviations of the thetas'
// mean (1 / sqrt(N)) and of the log of their spread (1 / sqrt(2N)).
void QUENTA::ridge_step() {
  const double persons = size_.persons;
  const bool shifted = ridge_move(standard_normal_deviate() * 2.4 / std::sqrt(persons), 1.0);
  const bool stretched = ridge_move(0.0, std::exp(standard_normal_deviate() * 1.7 / std::sqrt(persons)));
  // The cached terms are unchanged in exact arithmetic; recomputing them keeps rounding from
  // building up over many moves.
  if (shifted || stretched) likelihood_->reset(theta_, items_);
}

bool QUENTA::ridge_move(double shift, double stretch) {
  const int J = size_.items;
  const size_t thresholds = items_.tau.size();
  auto moved = [&](double x) { return stretch * x + shift; };
  // The map's Jacobian: N thetas, J deltas and the thresholds stretched, J alphas shrunk.
  double change = (size_.persons + static_cast<double>(thresholds)) * std::log(stretch);
  for (double t : theta_) change += theta_log_prior(moved(t)) - theta_log_prior(t);
  for (int j = 0; j < J; ++j) {
    change += bounded_log_prior(alpha_prior_[j], items_.alpha[j] / stretch) -
              bounded_log_prior(alpha_prior_[j], items_.alpha[j]);
    change += bounded_log_prior(delta_prior_[j], moved(items_.delta[j])) -
              bounded_log_prior(delta_prior_[j], items_.delta[j]);
  }
  for (size_t i = 0; i < thresholds; ++i)
    change += bounded_log_prior(tau_prior_[i], stretch * items_.tau[i]) - bounded_log_prior(tau_prior_[i], items_.tau[i]);
  if (!(std::exp(change) > uniform())) return false;
  for (double& t : theta_) t = moved(t);
  for (int j = 0; j < J; ++j) {
    items_.alpha[j] /= stretch;
    items_.delta[j] = moved(items_.delta[j]);
  }
  for (double& tau : items_.tau) tau *= stretch;
  return true;
}

void QUENTA::iterate(int t) {
  if (tuned_) ridge_step();
  theta_step();
  item_step();
  if (tuned_ && t < burn_in_) learn(t);
  if (t >= burn_in_) accumulate();
}

std::string QUENTA::parameter_id::name() const {
  switch (kind) {
    case alpha: return "alpha " + std::to_string(item + 1);
    case delta: return "delta " + std::to_string(item + 1);
    case tau: return std::string("tau").append(std::to_string(threshold + 1)).append(" ").append(std::to_string(item + 1));
    case theta_mean: return "theta mean";
    case theta_sd: break;
  }
  return "theta sd";
}

std::vector<QUENTA::parameter_id> QUENTA::recorded_parameters() const {
  std::vector<parameter_id> ids;
  for (int j = 0; j < size_.items; ++j) {
    ids.push_back({parameter_id::alpha, j, 0});
    ids.push_back({parameter_id::delta, j, 0});
    for (int k = 0; k < size_.thresholds(); ++k) ids.push_back({parameter_id::tau, j, k});
  }
  ids.push_back({parameter_id::theta_mean, 0, 0});
  ids.push_back({parameter_id::theta_sd, 0, 0});
  return ids;
}

const CompressedArray& QUENTA::chain(const parameter_id& id) const {
  switch (id.kind) {
    case parameter_id::alpha: return alpha_chain_[id.item];
    case parameter_id::delta: return delta_chain_[id.item];
    case parameter_id::tau: return tau_chain(id.threshold, id.item);
    case parameter_id::theta_mean: return theta_mean_chain_;
    case parameter_id::theta_sd: break;
  }
  return theta_sd_chain_;
}

int QUENTA::burn_in() const { return burn_in_; }

int QUENTA::iterations() const { return total_iterations_; }
