#include "simulation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>
#include <random>

namespace {

// Priors wide enough to hold every simulated value with room to spare.
constexpr QUENTA::prior alpha_prior{1.5, 1.5, 0.25, 4.0};
constexpr QUENTA::prior delta_prior{2.0, 2.0, -5.0, 5.0};
constexpr QUENTA::prior tau_prior{2.0, 2.0, -3.5, 1.5};

// The item widths give acceptance rates of about 35 to 50 percent on a thousand persons. The
// theta width is far wider than a person's posterior (sd about 0.25 with twenty items) and
// takes only about 15 percent: a person's likelihood has a mirror mode on the other side of
// the items, and the sampler's starting thetas, which grow with disagreement alone, put
// persons far out on the negative side into the positive one. Narrower proposals (0.5 to
// 1.2) leave many of them stranded there for thousands of iterations.
constexpr double theta_sd = 2.0, alpha_sd = 0.1, delta_sd = 0.1, tau_sd = 0.2;

// Windows of the kept iterations compared by the convergence z-scores: the first tenth
// against the last half.
constexpr double first_fraction = 0.1, last_fraction = 0.5;

// log(exp(a) + exp(b)) without overflow.
double log_sum(double a, double b) {
  return std::max(a, b) + std::log1p(std::exp(-std::fabs(a - b)));
}

// Thresholds rise towards zero, threshold k of K - 1 centred at -0.4 (K - k); a shift per item
// and a smaller jitter per threshold keep neighbours at least 0.2 apart, so they stay ordered.
std::vector<double> draw_thresholds(int categories, std::mt19937_64& random) {
  std::uniform_real_distribution<double> shift(-0.2, 0.2), jitter(-0.1, 0.1);
  double item_shift = shift(random);
  std::vector<double> tau(categories - 1);
  for (int k = 1; k < categories; ++k)
    tau[k - 1] = -0.4 * (categories - k) + item_shift + jitter(random);
  return tau;
}

void draw_items(simulated_problem& p, std::mt19937_64& random) {
  const int items = p.size.items, thresholds = p.size.thresholds();
  std::uniform_real_distribution<double> alpha(0.5, 2.0);
  std::normal_distribution<double> location(0.0, 1.0);
  for (int j = 0; j < items; ++j) {
    p.truth.alpha[j] = alpha(random);
    p.truth.delta[j] = std::clamp(location(random), -2.0, 2.0);
    std::vector<double> tau = draw_thresholds(p.size.categories, random);
    for (int k = 0; k < thresholds; ++k) p.truth.tau[k * items + j] = tau[k];
  }
  // Slots in ascending location, so that starting locations of the right sign are ascending
  // too. Alpha and thresholds were drawn independently of the location, so sorting the
  // locations alone keeps every item's draw from the same distribution.
  std::sort(p.truth.delta.begin(), p.truth.delta.end());
}

void draw_responses(simulated_problem& p, double missing_fraction, std::mt19937_64& random) {
  const int persons = p.size.persons, items = p.size.items, thresholds = p.size.thresholds();
  std::normal_distribution<double> standard(0.0, 1.0);
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  for (double& t : p.theta) t = standard(random);
  std::vector<double> tau(thresholds);
  for (int n = 0; n < persons; ++n) {
    for (int j = 0; j < items; ++j) {
      for (int k = 0; k < thresholds; ++k) tau[k] = p.truth.tau[k * items + j];
      std::vector<double> prob =
          category_probabilities(p.theta[n], p.truth.alpha[j], p.truth.delta[j], tau);
      double u = uniform(random);
      // Walking the cumulative sum; the last category takes whatever rounding leaves over.
      int r = 0;
      double below = prob[0];
      while (r + 1 < p.size.categories && u >= below) below += prob[++r];
      bool missing = uniform(random) < missing_fraction;
      p.responses[static_cast<size_t>(n) * items + p.column[j]] = missing ? -1 : r;
    }
  }
}

// Runs body on a new file; false when the file cannot be created or a write fails.
bool write_file(const std::string& path, const std::function<void(std::FILE*)>& body) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  body(f);
  bool failed = std::ferror(f) != 0;
  return std::fclose(f) == 0 && !failed;
}

void write_values(std::FILE* f, const std::vector<double>& values, const char* remark) {
  for (double v : values) std::fprintf(f, "%g ", v);
  std::fprintf(f, "  # %s\n", remark);
}

// One prior's four numbers, each repeated for every item as the reader expects them.
void write_prior(std::FILE* f, const QUENTA::prior& prior, int items, const std::string& what) {
  const std::pair<double, const char*> parts[] = {
      {prior.a, "a"}, {prior.b, "b"}, {prior.lo, "lo"}, {prior.hi, "hi"}};
  for (const auto& [value, name] : parts)
    write_values(f, std::vector<double>(items, value), (what + " prior, " + name).c_str());
}

void write_syntax(std::FILE* f, const simulated_problem& p, const problem_files& files) {
  const model_size& s = p.size;
  std::fprintf(f,
               "# Simulated problem of the unfolding model: %d persons, %d items, %d categories "
               "(seed %llu).\n"
               "# The true values behind the responses are in %s.\n",
               s.persons, s.items, s.categories, static_cast<unsigned long long>(p.seed),
               files.truth.c_str());
  std::fputs(
      "#\n"
      "# The file is a sequence of numbers and one path separated by blanks or line breaks; '#'\n"
      "# starts a remark that runs to the end of the line. The sections, in the order read:\n"
      "#   persons, items        rows of the data file, and the number of items\n"
      "#   data file             path opened relative to the working directory (no blanks)\n"
      "#   iterations, burn-in   length of a run; the estimates skip the burn-in iterations\n"
      "#   categories            responses run 0 .. categories - 1; anything else is missing\n"
      "#   data columns          for each item slot, the 1-based data column that feeds it\n"
      "#   z-score windows       fractions of the kept iterations compared for convergence\n"
      "#   alpha prior           beta prior with shapes a, b on lo .. hi: one value per item\n"
      "#                         of a, then of b, then of lo, then of hi\n"
      "#   delta prior           the same for the locations\n"
      "#   threshold priors      the same for threshold 1, then for threshold 2, ...\n"
      "#   starting locations    one per item slot\n"
      "#   proposal widths       standard deviations for theta, alpha, delta and thresholds\n"
      "#\n"
      "# Item slots are listed in ascending order of their starting location: the sampler sorts\n"
      "# the starting locations ascending across the slots, so any other order would hand an\n"
      "# item another item's start. Each start carries the sign of its item's location. The\n"
      "# model cannot tell persons and items from their mirror image (every location negated),\n"
      "# so these signs are what fix the direction of the scale.\n\n",
      f);
  std::fprintf(f, "%d  # persons\n%d  # items\n%s  # data file\n", s.persons, s.items,
               files.data.c_str());
  std::fprintf(f, "%d  # iterations\n%d  # burn-in\n%d  # categories\n", p.iterations, p.burn_in,
               s.categories);
  for (int c : p.column) std::fprintf(f, "%d ", c + 1);
  std::fputs("  # data column of each item slot\n", f);
  std::fprintf(f, "%g %g  # z-score windows: first, last\n\n", first_fraction, last_fraction);
  write_prior(f, p.alpha_prior, s.items, "alpha");
  write_prior(f, p.delta_prior, s.items, "delta");
  for (int k = 0; k < s.thresholds(); ++k)
    write_prior(f, p.tau_prior[k], s.items, "threshold " + std::to_string(k + 1));
  std::fputc('\n', f);
  write_values(f, p.delta_start, "starting locations");
  std::fprintf(f, "%g %g %g %g  # proposal widths: theta, alpha, delta, threshold\n", p.theta_sd,
               p.alpha_sd, p.delta_sd, p.tau_sd);
}

void write_data(std::FILE* f, const simulated_problem& p) {
  const int items = p.size.items;
  for (int n = 0; n < p.size.persons; ++n) {
    for (int c = 0; c < items; ++c)
      std::fprintf(f, c + 1 < items ? "%d " : "%d\n",
                   p.responses[static_cast<size_t>(n) * items + c]);
  }
}

void write_truth(std::FILE* f, const simulated_problem& p) {
  const model_size& s = p.size;
  std::fprintf(
      f, "# True values of a simulated problem (seed %llu): %d persons, %d items, %d categories.\n",
      static_cast<unsigned long long>(p.seed), s.persons, s.items, s.categories);
  std::fputs(
      "# Items in slot order, the order of the syntax file. Per item: slot, data column,\n"
      "# alpha, delta, then the thresholds.\n",
      f);
  for (int j = 0; j < s.items; ++j) {
    std::fprintf(f, "%2d %2d %9.6f %9.6f", j + 1, p.column[j] + 1, p.truth.alpha[j],
                 p.truth.delta[j]);
    for (int k = 0; k < s.thresholds(); ++k)
      std::fprintf(f, " %9.6f", p.truth.tau[k * s.items + j]);
    std::fputc('\n', f);
  }
  std::fputs("# Theta of each person, in the row order of the data file.\n", f);
  for (double t : p.theta) std::fprintf(f, "%9.6f\n", t);
}

}  // namespace

std::vector<double> category_probabilities(double theta, double alpha, double delta,
                                           std::span<const double> tau) {
  const int categories = static_cast<int>(tau.size()) + 1;
  const int m = 2 * categories - 1;
  const double d = theta - delta;
  std::vector<double> log_e(categories);
  double s = 0;
  for (int k = 0; k < categories; ++k) {
    if (k > 0) s += tau[k - 1];
    log_e[k] = log_sum(alpha * (k * d - s), alpha * ((m - k) * d - s));
  }
  // Scaling by the largest term keeps every exponential at most 1 and the sum at least 1.
  const double top = *std::max_element(log_e.begin(), log_e.end());
  std::vector<double> prob(categories);
  for (int k = 0; k < categories; ++k) prob[k] = std::exp(log_e[k] - top);
  const double total = std::accumulate(prob.begin(), prob.end(), 0.0);
  for (double& x : prob) x /= total;
  return prob;
}

simulated_problem simulate(const simulation_settings& settings) {
  simulated_problem p;
  p.size = settings.size;
  p.iterations = settings.iterations;
  p.burn_in = settings.burn_in;
  p.seed = settings.seed;
  const int items = p.size.items;
  p.truth.resize(p.size);
  p.theta.resize(p.size.persons);
  p.responses.resize(static_cast<size_t>(p.size.persons) * items);

  std::mt19937_64 random(settings.seed);
  draw_items(p, random);
  p.column.resize(items);
  std::iota(p.column.begin(), p.column.end(), 0);
  std::shuffle(p.column.begin(), p.column.end(), random);
  draw_responses(p, settings.missing_fraction, random);

  p.alpha_prior = alpha_prior;
  p.delta_prior = delta_prior;
  p.tau_prior.assign(p.size.thresholds(), tau_prior);
  p.delta_start.resize(items);
  // Only the sign of each location is given away, as a user's guess of an item's side would.
  for (int j = 0; j < items; ++j) p.delta_start[j] = p.truth.delta[j] < 0 ? -1.0 : 1.0;
  p.theta_sd = theta_sd;
  p.alpha_sd = alpha_sd;
  p.delta_sd = delta_sd;
  p.tau_sd = tau_sd;
  return p;
}

problem_files problem_files::in(const std::string& folder, const std::string& name) {
  std::string base = folder.empty() ? name : folder + "/" + name;
  return {base + ".mcs", base + ".txt", base + "_truth.txt"};
}

std::string write_problem(const simulated_problem& problem, const problem_files& files) {
  if (!write_file(files.data, [&](std::FILE* f) { write_data(f, problem); }))
    return "cannot write " + files.data;
  if (!write_file(files.truth, [&](std::FILE* f) { write_truth(f, problem); }))
    return "cannot write " + files.truth;
  if (!write_file(files.syntax, [&](std::FILE* f) { write_syntax(f, problem, files); }))
    return "cannot write " + files.syntax;
  return {};
}
