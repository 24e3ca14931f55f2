// quenta_simulate: writes a problem of the unfolding model simulated from known parameters
// (syntax file, data file and the true values), for the bundled example and for trying the
// sampler on a problem whose answer is known.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "simulation.h"

namespace {

const char usage[] =
    "usage: quenta_simulate [options] FOLDER NAME\n"
    "Writes FOLDER/NAME.mcs, FOLDER/NAME.txt (the data) and FOLDER/NAME_truth.txt.\n"
    "The syntax file names the data file as FOLDER/NAME.txt, which the estimation tool opens\n"
    "relative to its working directory.\n"
    "  --persons N      persons, rows of the data file (1000)\n"
    "  --items J        items (20)\n"
    "  --categories K   response categories, at least 2 (4)\n"
    "  --iterations T   iterations of a run (5000)\n"
    "  --burn-in B      iterations the estimates skip, below T (1000)\n"
    "  --missing F      chance that a response is missing, 0 <= F < 1 (0)\n"
    "  --seed S         seed of the generator (1)\n";

std::optional<long long> whole_number(const char* text) {
  char* end = nullptr;
  errno = 0;
  long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0') return std::nullopt;
  return value;
}

std::optional<double> real_number(const char* text) {
  char* end = nullptr;
  double value = std::strtod(text, &end);
  if (end == text || *end != '\0') return std::nullopt;
  return value;
}

// Sets one option from its value; false when the option is unknown or the value is not a
// number in range.
bool set_option(simulation_settings& s, const std::string& option, const char* value) {
  if (option == "--missing") {
    std::optional<double> f = real_number(value);
    if (!f || *f < 0 || *f >= 1) return false;
    s.missing_fraction = *f;
    return true;
  }
  std::optional<long long> v = whole_number(value);
  if (!v || *v < 0) return false;
  if (option == "--seed") {
    s.seed = static_cast<std::uint64_t>(*v);
    return true;
  }
  if (*v > 100000000) return false;
  int n = static_cast<int>(*v);
  if (option == "--persons")
    s.size.persons = n;
  else if (option == "--items")
    s.size.items = n;
  else if (option == "--categories")
    s.size.categories = n;
  else if (option == "--iterations")
    s.iterations = n;
  else if (option == "--burn-in")
    s.burn_in = n;
  else
    return false;
  return true;
}

std::optional<std::string> check(const simulation_settings& s, const problem_files& files) {
  if (s.size.persons < 1 || s.size.items < 1) return "need at least one person and one item";
  if (s.size.categories < 2) return "need at least 2 categories";
  if (s.burn_in >= s.iterations) return "the burn-in must be shorter than the run";
  // The syntax reader splits tokens at blanks and '#'.
  if (files.data.find_first_of(" \t\r\n#") != std::string::npos)
    return "the data path " + files.data + " holds a blank or '#'";
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  simulation_settings settings;
  int i = 1;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    if (!set_option(settings, argv[i], argv[i + 1])) {
      std::fprintf(stderr, "quenta_simulate: bad option %s %s\n%s", argv[i], argv[i + 1], usage);
      return 1;
    }
  }
  if (argc - i != 2) {
    std::fputs(usage, stderr);
    return 1;
  }
  problem_files files = problem_files::in(argv[i], argv[i + 1]);
  if (std::optional<std::string> wrong = check(settings, files)) {
    std::fprintf(stderr, "quenta_simulate: %s\n", wrong->c_str());
    return 1;
  }
  std::string error = write_problem(simulate(settings), files);
  if (!error.empty()) {
    std::fprintf(stderr, "quenta_simulate: %s\n", error.c_str());
    return 1;
  }
  std::printf("wrote %s, %s and %s\n", files.syntax.c_str(), files.data.c_str(),
              files.truth.c_str());
  return 0;
}
