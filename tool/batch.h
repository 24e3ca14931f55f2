// The command line of quenta and its terminal form: `quenta --batch` loads a syntax file, runs
// the estimation without a window, prints the report and saves the run, and writes plots and
// a table of results when asked. Used by main.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct command_line {
  enum mode_kind { window, batch, help, bad_usage };
  mode_kind mode = window;
  std::string syntax_path;  // optional for the window
  std::string save_path;    // batch only; empty for no save
  std::optional<std::uint64_t> seed;
  int chains = 1;
  std::optional<bool> tuned_sampler;  // --sampler; unset: the chain set's default
  std::string plots_folder;  // batch only; empty for no plots
  std::string csv_path;      // batch only; empty for no table
  std::string error;        // what was wrong, for bad_usage
};

// Exit statuses of the program.
enum exit_status {
  exit_ok = 0,
  exit_bad_syntax = 1,
  exit_no_valid_responses = 2,
  exit_save_failed = 3,
  exit_run_failed = 4,
  exit_usage = 64,
};

extern const char* const usage_text;

command_line parse_command_line(int argc, char** argv);

// Runs the estimation in the terminal; returns the exit status.
int run_batch(const command_line& options);

class QUENTA;

// Prints what the last load noticed but accepted (a short data file, ...) to standard error.
void print_load_warnings(const QUENTA& engine);

// Elapsed time as hours:minutes:seconds; the window's time label uses it too.
std::string format_elapsed(std::int64_t seconds);
