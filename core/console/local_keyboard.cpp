#include "console/local_keyboard.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "frame/local_distribution_manager.h"
#include "parser.h"
#include "scheduler.h"
#include "text_output_interceptor.h"

namespace varnel {

namespace {

constexpr uint64_t period_ms = 67;

void write_stdout(const char* bytes, size_t length) {
  std::fwrite(bytes, 1, length, stdout);
  std::fflush(stdout);
}

}  // namespace

local_keyboard::local_keyboard(local_distribution_manager& ldm, const std::string& prompt)
    : terminal_(ldm, write_stdout, false,
                [](const char* bytes, size_t length) { brindle::write_undiverted(1, bytes, length); }) {
  if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    termios raw = saved_;
    raw.c_lflag &= tcflag_t(~(ICANON | ECHO));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
  }
  // The first prompt starts on a clean line.
  write_stdout(("\r" + std::string(57, ' ') + "\r").data(), 59);
  terminal_.start(prompt);
  schedule(ldm.get_scheduler(), period_ms);
  set_trigger(STDIN_FILENO);
}

local_keyboard::~local_keyboard() {
  if (raw_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

void local_keyboard::on_timer() {
  if (!open_) return;
  // Waits for nothing: the timer runs when standard input is readable, and a read that would
  // block returns at once.
  const int flags = fcntl(STDIN_FILENO, F_GETFL);
  fcntl(STDIN_FILENO, F_SETFL, flags | O_NONBLOCK);
  char buffer[256];
  const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
  const int error = errno;
  fcntl(STDIN_FILENO, F_SETFL, flags);
  if (got > 0) {
    for (ssize_t i = 0; i < got; ++i) parser::ParseKeypress(terminal_, static_cast<unsigned char>(buffer[i]));
    return;
  }
  if (got < 0 && (error == EAGAIN || error == EINTR)) return;
  // End of input or a failure: stop watching it, or the trigger would fire on every tick.
  open_ = false;
  clear_triggers();
}

}  // namespace varnel
