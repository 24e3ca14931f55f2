#include "batch.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "chain_set.h"
#include "plots.h"
#include "quenta.h"

const char* const usage_text =
    "usage: quenta [problem.mcs]\n"
    "       quenta --batch problem.mcs [--save run.txt] [--seed N] [--chains N]\n"
    "                      [--sampler plain|tuned] [--plots DIR] [--csv FILE]\n"
    "       quenta --help\n"
    "\n"
    "Without --batch the window opens, with the syntax file imported when one is given.\n"
    "With --batch the estimation runs in the terminal: progress goes to standard error,\n"
    "the report to standard output, and --save writes the recorded chains to a file.\n"
    "--seed N makes the run repeatable; without it the generator is seeded from the time.\n"
    "--chains N runs N chains (1 to 64) from dispersed starts on threads of their own; the\n"
    "report then pools them and adds R-hat and effective sample sizes, and --save writes\n"
    "run.chain1.txt, run.chain2.txt, ... Several chains use the tuned sampler, one chain the\n"
    "plain one; --sampler chooses: tuned adds moves of all persons and items together along\n"
    "the location and scale the model cannot tell apart and moves each item's parameters\n"
    "jointly, with proposals tuned during the burn-in and fixed after it. --plots DIR writes trace plots of every parameter\n"
    "and the category response curves of every item as PNG files; --csv FILE writes the\n"
    "estimates, standard errors, R-hat and effective sample sizes as one CSV table.\n";

namespace {

using clock_type = std::chrono::steady_clock;

command_line refuse(std::string error) {
  command_line line;
  line.mode = command_line::bad_usage;
  line.error = std::move(error);
  return line;
}

// A non-negative whole number.
bool parse_seed(const char* text, std::uint64_t& seed) {
  if (*text < '0' || *text > '9') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  seed = value;
  return true;
}

command_line parse_batch(int argc, char** argv) {
  command_line line;
  line.mode = command_line::batch;
  for (int i = 2; i < argc; ++i) {
    std::string arg = argv[i];
    bool has_value = i + 1 < argc;
    if (arg == "--save") {
      if (!has_value || !line.save_path.empty()) return refuse("--save needs one file name");
      line.save_path = argv[++i];
    } else if (arg == "--seed") {
      std::uint64_t seed = 0;
      if (!has_value || line.seed || !parse_seed(argv[++i], seed))
        return refuse("--seed needs one non-negative whole number");
      line.seed = seed;
    } else if (arg == "--chains") {
      std::uint64_t chains = 0;
      if (!has_value || !parse_seed(argv[++i], chains) || chains < 1 || chains > chain_set::max_chains)
        return refuse("--chains needs a number from 1 to " + std::to_string(chain_set::max_chains));
      line.chains = static_cast<int>(chains);
    } else if (arg == "--sampler") {
      const std::string kind = has_value ? argv[++i] : "";
      if (line.tuned_sampler || (kind != "plain" && kind != "tuned"))
        return refuse("--sampler needs plain or tuned");
      line.tuned_sampler = kind == "tuned";
    } else if (arg == "--plots") {
      if (!has_value || !line.plots_folder.empty()) return refuse("--plots needs one folder name");
      line.plots_folder = argv[++i];
    } else if (arg == "--csv") {
      if (!has_value || !line.csv_path.empty()) return refuse("--csv needs one file name");
      line.csv_path = argv[++i];
    } else if (arg.starts_with("--") || !line.syntax_path.empty()) {
      return refuse("unexpected argument " + arg);
    } else {
      line.syntax_path = arg;
    }
  }
  if (line.syntax_path.empty()) return refuse("--batch needs a syntax file");
  return line;
}

// Progress of a batch run on standard error: on a terminal one line redrawn in place at most
// every tenth of a second, otherwise (a log file) one line per tenth of the run.
class progress_report {
public:
  explicit progress_report(int total)
      : total_(total), terminal_(isatty(STDERR_FILENO) == 1), started_(clock_type::now()) {}

  void update(int done) {
    auto now = clock_type::now();
    if (terminal_) {
      if (done < total_ && now - last_drawn_ < std::chrono::milliseconds(100)) return;
      last_drawn_ = now;
      std::fprintf(stderr, "\r%s", line(done, now).c_str());
      if (done == total_) std::fputc('\n', stderr);
      return;
    }
    int tenth = static_cast<int>(done * 10LL / total_);
    if (tenth == last_tenth_) return;
    last_tenth_ = tenth;
    std::fprintf(stderr, "%s\n", line(done, now).c_str());
  }

private:
  std::string line(int done, clock_type::time_point now) const {
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - started_).count();
    char text[128];
    std::snprintf(text, sizeof text, "%d/%d iterations %3d%%  %s", done, total_,
                  static_cast<int>(done * 100LL / total_), format_elapsed(seconds).c_str());
    return text;
  }

  int total_;
  bool terminal_;
  clock_type::time_point started_;
  clock_type::time_point last_drawn_{};
  int last_tenth_ = 0;
};

int load(chain_set& chains, const std::string& path, int count) {
  const QUENTA& engine = chains.first();
  if (!engine.has_quantile_table()) {
    std::fprintf(stderr, "quenta: data/ZScore.dat could not be read; the estimation needs it\n");
    return exit_bad_syntax;
  }
  switch (chains.load_syntax(path, count)) {
  case QUENTA::loaded_ok:
    print_load_warnings(engine);
    return exit_ok;
  case QUENTA::no_valid_responses:
    std::fprintf(stderr, "quenta: the data file has no valid responses: %s\n",
                 chains.last_error().c_str());
    return exit_no_valid_responses;
  default:
    std::fprintf(stderr, "quenta: failed to import the syntax file: %s\n",
                 chains.last_error().c_str());
    return exit_bad_syntax;
  }
}

bool write_file(const std::string& path, const std::string& text, std::string& error) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  written = std::fclose(file) == 0 && written;
  if (!written) error = "could not write " + path + ": " + std::strerror(errno);
  return written;
}

// The plots and the table asked for; false after printing what failed.
bool write_outputs(const command_line& options, const chain_set& chains) {
  std::string error;
  if (!options.csv_path.empty() && !write_file(options.csv_path, chains.csv(), error)) {
    std::fprintf(stderr, "quenta: could not write the table: %s\n", error.c_str());
    return false;
  }
  if (!options.plots_folder.empty()) {
    error = write_plots(chains, options.plots_folder);
    if (!error.empty()) {
      std::fprintf(stderr, "quenta: could not write the plots: %s\n", error.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

command_line parse_command_line(int argc, char** argv) {
  if (argc < 2) return {};
  std::string first = argv[1];
  if (first == "--help") {
    if (argc > 2) return refuse("--help takes no arguments");
    command_line line;
    line.mode = command_line::help;
    return line;
  }
  if (first == "--batch") return parse_batch(argc, argv);
  if (first.starts_with("--")) return refuse("unknown option " + first);
  if (argc > 2) return refuse("the window takes at most one syntax file");
  command_line line;
  line.syntax_path = first;
  return line;
}

int run_batch(const command_line& options) {
  chain_set chains;
  if (options.seed) chains.fix_seed(*options.seed);
  chains.use_tuned_sampler(options.tuned_sampler);
  if (int status = load(chains, options.syntax_path, options.chains); status != exit_ok) return status;

  chains.start_run();
  progress_report progress(chains.first().iterations());
  if (!chains.run([&progress](int done) { progress.update(done); })) {
    std::fprintf(stderr, "quenta: the run stopped: %s\n", chains.failure().c_str());
    return exit_run_failed;
  }
  std::fputs(chains.report().c_str(), stdout);
  std::fflush(stdout);

  if (!options.save_path.empty() && !chains.save_run(options.save_path)) {
    std::fprintf(stderr, "quenta: could not save the run: %s\n", chains.last_error().c_str());
    return exit_save_failed;
  }
  return write_outputs(options, chains) ? exit_ok : exit_save_failed;
}

void print_load_warnings(const QUENTA& engine) {
  for (const std::string& warning : engine.warnings()) std::fprintf(stderr, "quenta: %s\n", warning.c_str());
}

std::string format_elapsed(std::int64_t seconds) {
  long long hours = seconds / 3600;
  int minutes = static_cast<int>((seconds - hours * 3600) / 60);
  int rest = static_cast<int>(seconds % 60);
  char text[48];
  std::snprintf(text, sizeof text, "%02lld:%02d:%02d", hours, minutes, rest);
  return text;
}
