// The console on the process's own terminal, read only when the RID's console.local_keyboard
// asks for it (the keyboard belongs to the federate otherwise). Keystrokes are read from
// standard input without waiting; when it is a terminal, it is switched to unechoed
// character-at-a-time input for the console's own line editing and restored at the end.
// Commands typed here may name log files anywhere.
#pragma once

#include <termios.h>

#include <string>

#include "console/command_tree.h"
#include "timers.h"

namespace varnel {

class local_distribution_manager;

class local_keyboard : public brindle::periodic_realtime_timer {
public:
  local_keyboard(local_distribution_manager& ldm, const std::string& prompt);
  ~local_keyboard() override;
  local_keyboard(const local_keyboard&) = delete;
  local_keyboard& operator=(const local_keyboard&) = delete;

private:
  void on_timer() override;

  console_terminal terminal_;
  bool raw_ = false;
  bool open_ = true;  // false once standard input ended
  termios saved_{};
};

}  // namespace varnel
