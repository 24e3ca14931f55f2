// The diagnostics console of the process: one per process, whatever the number of distribution
// managers in it. Each joined distribution manager's vterm_manager attaches to it; the oldest
// attached one owns it (opens the telnet listener and, when asked, reads the local keyboard),
// and commands act on the owner's distribution manager. When the owner resigns the console
// passes to the oldest remaining manager, or to the next one to attach, which opens its port.
// A manager learns that it has become the owner on its own thread, from its own timer: the
// console never calls into another federate's manager.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace varnel {

class vterm_manager;

class console {
public:
  static console& instance();

  // The first attach of the process forms the prompt.
  // True when the manager owns the console from now on.
  bool attach(vterm_manager& manager);
  void detach(vterm_manager& manager);
  bool owned_by(const vterm_manager& manager);
  // "varnel-1.3@<host>> ", the host name cut at its first '.'.
  const std::string& prompt() const { return prompt_; }

private:
  console() = default;
  void start_up();

  std::mutex lock_;  // attach and detach may come from the threads of different federates
  std::vector<vterm_manager*> managers_;  // oldest first; the first owns the console
  std::string prompt_;
};

}  // namespace varnel
