#include "console/console.h"

#include <unistd.h>

#include <algorithm>


namespace varnel {

console& console::instance() {
  // Never destroyed: managers may detach while the process exits.
  static console* the_console = new console;
  return *the_console;
}

void console::start_up() {
  char host[101] = "";
  if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
  std::string name = host;
  name = name.substr(0, name.find('.'));
  prompt_ = "varnel-1.3@" + name + "> ";
}

bool console::attach(vterm_manager& manager) {
  std::lock_guard lock(lock_);
  if (prompt_.empty()) start_up();
  managers_.push_back(&manager);
  return managers_.size() == 1;
}

void console::detach(vterm_manager& manager) {
  std::lock_guard lock(lock_);
  const auto found = std::find(managers_.begin(), managers_.end(), &manager);
  if (found == managers_.end()) return;
  managers_.erase(found);
}

bool console::owned_by(const vterm_manager& manager) {
  std::lock_guard lock(lock_);
  return !managers_.empty() && managers_.front() == &manager;
}

}  // namespace varnel
