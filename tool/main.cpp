// Entry point of quenta: the window by default, the terminal form with --batch.
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "batch.h"
#include "gui.h"

namespace {

int run_window(const std::string& syntax_path) {
  std::unique_ptr<GUI> gui;
  try {
    gui = std::make_unique<GUI>();
  } catch (const std::runtime_error& failure) {
    std::printf("%s\n", failure.what());
    return 1;
  }
  if (!syntax_path.empty()) gui->import_syntax(syntax_path);
  while (gui->app_running()) gui->pump();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  command_line options = parse_command_line(argc, argv);
  switch (options.mode) {
  case command_line::help:
    std::fputs(usage_text, stdout);
    return exit_ok;
  case command_line::bad_usage:
    std::fprintf(stderr, "quenta: %s\n%s", options.error.c_str(), usage_text);
    return exit_usage;
  case command_line::batch:
    return run_batch(options);
  case command_line::window:
    break;
  }
  return run_window(options.syntax_path);
}
