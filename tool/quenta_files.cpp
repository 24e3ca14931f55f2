// The engine's files: the syntax file and the data file it names, and the saved run.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "quenta.h"

namespace {

using file_ptr = std::unique_ptr<FILE, int (*)(FILE*)>;

file_ptr open_file(const std::string& path, const char* mode) {
  return file_ptr(std::fopen(path.c_str(), mode), std::fclose);
}

bool is_separator(int ch) { return ch == '\0' || ch == '\t' || ch == '\n' || ch == '\r' || ch == ' '; }

// Numbers read as atoi and atof would read them (a malformed number is 0), but an integer
// out of range saturates instead of being undefined.
int to_int(const std::string& token) {
  long value = std::strtol(token.c_str(), nullptr, 10);
  return static_cast<int>(std::clamp<long>(value, INT_MIN, INT_MAX));
}

double to_double(const std::string& token) { return std::strtod(token.c_str(), nullptr); }

// Reads the next integer the way fscanf("%d") does; false at the end of the file or at
// anything that is not a number, after which nothing more is read.
bool read_integer(FILE* file, long long& value) {
  int ch;
  do ch = std::fgetc(file);
  while (ch != EOF && std::isspace(ch));
  bool negative = false;
  if (ch == '-' || ch == '+') {
    negative = ch == '-';
    ch = std::fgetc(file);
  }
  if (ch == EOF || !std::isdigit(ch)) return false;
  value = 0;
  for (; ch != EOF && std::isdigit(ch); ch = std::fgetc(file))
    value = std::min<long long>(value * 10 + (ch - '0'), INT_MAX + 1LL);
  if (ch != EOF) std::ungetc(ch, file);
  if (negative) value = -value;
  return true;
}

// Problems larger than this are refused before anything is allocated for them.
constexpr int max_items = 10000;
constexpr int max_categories = model_size::max_categories;
constexpr long long max_cells = 50'000'000;

}  // namespace

// Tokens of a syntax file in order; past the end of the file every token reads as "".
class QUENTA::syntax_reader {
public:
  syntax_reader(QUENTA& engine, FILE* file) : engine_(engine), file_(file) {}

  bool next(std::string& token) {
    ++count_;
    if (ended_ || !engine_.read_token(file_, token)) {
      ended_ = true;
      token.clear();
      return false;
    }
    if (token.size() > max_token_length && too_long_ == 0) too_long_ = count_;
    return true;
  }
  int integer() {
    next(token_);
    return to_int(token_);
  }
  double real() {
    next(token_);
    return to_double(token_);
  }
  bool ended() const { return ended_; }
  // The number of the first token longer than max_token_length, or 0.
  int too_long() const { return too_long_; }

private:
  QUENTA& engine_;
  FILE* file_;
  std::string token_;
  int count_ = 0, too_long_ = 0;
  bool ended_ = false;
};

bool QUENTA::read_token(FILE* file, std::string& buffer) {
  buffer.clear();
  int ch;
  while ((ch = std::fgetc(file)) != EOF) {
    if (ch == '#') {
      do ch = std::fgetc(file);
      while (ch != EOF && ch != '\n' && ch != '\r');
      continue;
    }
    if (!is_separator(ch)) break;
  }
  if (ch == EOF) return false;
  do {
    if (buffer.size() <= static_cast<size_t>(max_token_length)) buffer.push_back(static_cast<char>(ch));
    ch = std::fgetc(file);
  } while (ch != EOF && ch != '#' && !is_separator(ch));
  // A "#" right after a token starts a comment: leave it for the next call to skip.
  if (ch == '#') std::ungetc(ch, file);
  return true;
}

int QUENTA::fail(int code, std::string message) {
  release();
  last_error_ = std::move(message);
  return code;
}

int QUENTA::load_syntax(const std::string& path) {
  if (loaded_) release();
  last_error_.clear();
  warnings_.clear();
  if (!table_.loaded()) return fail(bad_syntax, "the normal quantile table is missing: " + table_.error());
  file_ptr file = open_file(path, "r");
  if (!file) return fail(bad_syntax, "cannot open " + path + ": " + std::strerror(errno));
  syntax_reader syntax(*this, file.get());

  std::string token, data_path;
  if (!syntax.next(token)) return fail(bad_syntax, path + ": the number of persons is missing");
  size_.persons = to_int(token);
  if (!syntax.next(token)) return fail(bad_syntax, path + ": the number of items is missing");
  size_.items = to_int(token);
  if (!syntax.next(data_path)) return fail(bad_syntax, path + ": the data file name is missing");
  total_iterations_ = syntax.integer();
  burn_in_ = syntax.integer();
  size_.categories = syntax.integer();
  if (auto problem = check_dimensions()) return fail(bad_syntax, path + ": " + *problem);
  order_.resize(size_.items);
  for (int& column : order_) column = syntax.integer();
  if (auto problem = check_order()) return fail(bad_syntax, path + ": " + *problem);
  for (int& column : order_) --column;  // the file counts columns from 1
  if (syntax.too_long())
    return fail(bad_syntax, path + ": token " + std::to_string(syntax.too_long()) + " is longer than " +
                                std::to_string(max_token_length) + " characters");

  if (int result = read_data(data_path, path); result != loaded_ok) return result;
  read_settings(syntax);
  if (syntax.too_long())
    return fail(bad_syntax, path + ": token " + std::to_string(syntax.too_long()) + " is longer than " +
                                std::to_string(max_token_length) + " characters");
  if (syntax.ended()) warnings_.push_back(path + " ends early; the missing numbers read as 0");

  random_.seed(fixed_seed_.value_or(
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count())));
  loaded_ = true;
  return loaded_ok;
}

std::optional<std::string> QUENTA::check_dimensions() const {
  if (size_.persons < 1) return "the number of persons must be positive";
  if (size_.items < 1 || size_.items > max_items)
    return "the number of items must be between 1 and " + std::to_string(max_items);
  if (static_cast<long long>(size_.persons) * size_.items > max_cells)
    return "persons times items exceeds " + std::to_string(max_cells);
  if (size_.categories < 2 || size_.categories > max_categories)
    return "the number of categories must be between 2 and " + std::to_string(max_categories);
  if (burn_in_ < 0) return "the burn-in must not be negative";
  // The standard errors divide by the number of kept iterations minus one.
  if (static_cast<long long>(total_iterations_) - burn_in_ < 2)
    return "the iterations must exceed the burn-in by at least 2";
  return std::nullopt;
}

std::optional<std::string> QUENTA::check_order() const {
  std::vector<char> used(size_.items + 1, 0);
  for (int column : order_) {
    if (column < 1 || column > size_.items)
      return "column number " + std::to_string(column) + " is outside 1.." + std::to_string(size_.items);
    if (used[column]) return "column number " + std::to_string(column) + " feeds two items";
    used[column] = 1;
  }
  return std::nullopt;
}

int QUENTA::read_data(const std::string& data_path, const std::string& syntax_path) {
  file_ptr file = open_file(data_path, "r");
  // A relative name that is not found from the working directory is tried beside the syntax file.
  if (!file && std::filesystem::path(data_path).is_relative()) {
    auto beside = std::filesystem::path(syntax_path).parent_path() / data_path;
    file = open_file(beside.string(), "r");
  }
  if (!file) return fail(bad_syntax, "cannot open the data file " + data_path + ": " + std::strerror(errno));

  const int N = size_.persons, J = size_.items, K = size_.categories;
  std::vector<int> slot_of_column(J);
  for (int slot = 0; slot < J; ++slot) slot_of_column[order_[slot]] = slot;
  responses_.assign(static_cast<size_t>(N) * J, -1);
  long long numbers = 0;
  bool any_valid = false;
  // The c-th number of a row feeds the slot whose column is c.
  auto read_rows = [&] {
    long long value;
    for (int n = 0; n < N; ++n) {
      for (int c = 0; c < J; ++c) {
        if (!read_integer(file.get(), value)) return;
        ++numbers;
        if (value < 0 || value >= K) continue;
        responses_[static_cast<size_t>(n) * J + slot_of_column[c]] = static_cast<int>(value);
        any_valid = true;
      }
    }
  };
  read_rows();
  if (numbers < static_cast<long long>(N) * J)
    warnings_.push_back(data_path + " holds " + std::to_string(numbers) + " of " +
                        std::to_string(static_cast<long long>(N) * J) +
                        " responses; the rest are treated as missing");
  if (!any_valid)
    return fail(no_valid_responses, data_path + " holds no valid response (0 to " + std::to_string(K - 1) + ")");
  return loaded_ok;
}

void QUENTA::read_settings(syntax_reader& syntax) {
  const int J = size_.items, thresholds = size_.thresholds();
  first_fraction_ = syntax.real();
  last_fraction_ = syntax.real();
  // Each prior is given as J values of a, then J of b, of lo and of hi.
  auto read_priors = [&](prior* p) {
    for (double prior::*field : {&prior::a, &prior::b, &prior::lo, &prior::hi})
      for (int j = 0; j < J; ++j) p[j].*field = syntax.real();
  };
  alpha_prior_.assign(J, {});
  delta_prior_.assign(J, {});
  tau_prior_.assign(static_cast<size_t>(thresholds) * J, {});
  read_priors(alpha_prior_.data());
  read_priors(delta_prior_.data());
  for (int k = 0; k < thresholds; ++k) read_priors(&tau_prior_[static_cast<size_t>(k) * J]);
  delta_start_.resize(J);
  for (double& start : delta_start_) start = syntax.real();
  theta_sd_ = syntax.real();
  alpha_sd_ = syntax.real();
  delta_sd_ = syntax.real();
  tau_sd_ = syntax.real();
}

bool QUENTA::save_run(const std::string& path) {
  if (!loaded_) {
    last_error_ = "no problem is loaded";
    return false;
  }
  file_ptr file = open_file(path, "w");
  if (!file) {
    last_error_ = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  const int J = size_.items, thresholds = size_.thresholds();
  FILE* out = file.get();
  for (int i = 0; i <= total_iterations_; ++i) {
    for (int j = 0; j < J; ++j) std::fprintf(out, "%.05f ", alpha_chain_[j].value_at(i));
    for (int j = 0; j < J; ++j) std::fprintf(out, "%.05f ", delta_chain_[j].value_at(i));
    for (int j = 0; j < J; ++j)
      for (int k = 0; k < thresholds; ++k) std::fprintf(out, "%.05f ", tau_chain(k, j).value_at(i));
    std::fputc('\n', out);
  }
  // A full disk shows only in the error flag or when the last buffer is written.
  bool written = !std::ferror(out);
  written = std::fclose(file.release()) == 0 && written;
  if (!written) last_error_ = "could not write " + path + ": " + std::strerror(errno);
  return written;
}
