// The telnet side of the console for one joined distribution manager (built at join, torn down
// at resign). It attaches to the process's console; while it owns the console it listens for
// telnet clients, by default on 127.0.0.1 only and without a login, on the first free port of
// the RID's telnet_port and the 99 after it, and keeps at most eight connections: a ninth
// client is told so and closed. It also starts the local keyboard when the RID asks for it.
// Torn down, it first passes what the process printed to its terminals, so that a federate's
// last lines (a shut-down's among them) reach them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "timers.h"

namespace brindle {
class text_output_interceptor;
}  // namespace brindle

namespace varnel {

class local_distribution_manager;
class local_keyboard;
class vterm_connection;

class vterm_manager : public brindle::periodic_realtime_timer {
public:
  static constexpr size_t max_connections = 8;
  static constexpr uint16_t port_span = 100;  // the port asked for and the 99 after it
  static constexpr uint16_t default_port = 2323;

  vterm_manager(local_distribution_manager& ldm, brindle::text_output_interceptor& interceptor);
  ~vterm_manager() override;
  vterm_manager(const vterm_manager&) = delete;
  vterm_manager& operator=(const vterm_manager&) = delete;

  bool owns_console() const { return owner_; }
  // The port listened on; 0 when not listening.
  uint16_t port() const { return port_; }
  size_t connection_count() const;

private:
  void on_timer() override;
  void take_console();
  void open_listener();
  void accept_clients();
  void refuse(int client, const std::string& peer);

  local_distribution_manager& ldm_;
  brindle::text_output_interceptor& interceptor_;
  bool owner_ = false;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::vector<std::unique_ptr<vterm_connection>> connections_;
  std::unique_ptr<local_keyboard> keyboard_;
};

}  // namespace varnel
