// The remote terminals of one joined federate, over the reliable service "remote_terminal" on
// stream 2. It plays both parts:
//
// Controller. `connect` on a terminal of this federate sends a connect request to the target and
// turns the terminal into a remote one: its prompt becomes "Remote to <name>>" and every line
// typed there goes to the target, until `exit` (or the target's going) gives the local prompt
// back. Output from the target is shown straight on the terminal that connected, never through
// the process's diverted output, so that it is not captured and sent on again (two federates in
// one process, or two that control each other, would otherwise echo it for good). A terminal
// that is itself a remote terminal's context here cannot connect onwards, nor may a federate
// connect to itself.
//
// Target. It accepts at most max_controllers controllers, each a federate the federation
// manager knows, and only while remote terminals are on (RID federate_parameters.remote_terminal
// .accept: "on", "off", or "loopback", the default, which is on only while the federation's
// interface is a loopback address). Each controller gets its own parse context, so one
// controller's `enable` is its own; lines from anyone else are ignored. A controller that
// disconnects, resigns or goes is dropped with its context. While controllers exist the
// manager is a client of the text output interceptor: what the process prints goes to them in
// messages of at most 8 KiB and at most max_output_per_period bytes per period; what is beyond
// is dropped and a note says how much.
//
// Built at join after the transport change manager and torn down before the vterm manager
// (joined_managers). Wire form: remterm_messages.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "console/remterm_messages.h"
#include "federation/federate_join_client.h"
#include "messages/message_service.h"
#include "parser.h"
#include "text_output_interceptor.h"
#include "timers.h"

namespace varnel {

class console_terminal;
class local_distribution_manager;
class message_reliable;

class remterm_manager : public message_service_client,
                        public federate_join_client,
                        public brindle::intercepted_text_client {
public:
  static constexpr int stream = 2;
  static constexpr unsigned char priority = 0x20;
  static constexpr size_t max_controllers = 8;
  static constexpr size_t max_output_per_period = 32768;
  static constexpr uint64_t output_period_ms = 67;

  struct counters {
    uint64_t sent = 0;
    uint64_t received = 0;
    uint64_t ignored = 0;         // from unknown federates, or lines from non-controllers
    uint64_t refused = 0;         // connects refused: turned off, full, or from oneself
    uint64_t output_dropped = 0;  // bytes of output beyond max_output_per_period
  };

  remterm_manager(local_distribution_manager& ldm, brindle::text_output_interceptor& interceptor);
  ~remterm_manager() override;
  remterm_manager(const remterm_manager&) = delete;
  remterm_manager& operator=(const remterm_manager&) = delete;

  // Controller side. Connects terminal to the federate that word names (a handle, or a pattern
  // over names that matches exactly one); problems are printed on the terminal.
  void connect(console_terminal& terminal, const std::string& word);
  // A line typed at a remote prompt, as words: `exit` disconnects, anything else goes to the
  // target.
  void remote_line(console_terminal& terminal, const std::vector<std::string>& words);
  // The terminal is going: its connection, if any, ends.
  void forget_terminal(console_terminal& terminal);

  // Target side.
  bool accepts_controllers() const { return accept_; }
  bool is_controller(unsigned federate) const { return controllers_.count(federate) > 0; }
  size_t controller_count() const { return controllers_.size(); }
  // One of the controllers' parse contexts here.
  bool is_controller_terminal(const console_terminal& terminal) const;

  const counters& get_counters() const { return counters_; }

  // A malformed message throws ldm_decode_error, which the service counts.
  void receive(int stream, unsigned char priority, brindle::ldm_buf* buffer) override;
  void federate_joined(federate_record*) override {}
  void federate_gone(federate_record* federate) override;
  // Captured output, while controllers exist.
  void text(size_t length, const char* bytes) override;

private:
  class output_timer : public brindle::periodic_realtime_timer {
  public:
    explicit output_timer(remterm_manager& owner) : owner_(owner) {}

  protected:
    void on_timer() override { owner_.send_output(); }

  private:
    remterm_manager& owner_;
  };

  // A terminal of this federate connected to a target, and what it showed before.
  struct session {
    unsigned target = 0;
    parser::table_ptr saved_top;
    std::string saved_prompt;
  };

  void send(const remterm_message& message);
  bool is_known(unsigned federate) const;
  void restore(console_terminal& terminal, const char* why);
  void end_sessions_with(unsigned target, const char* why);
  void show(unsigned target, const std::string& bytes);
  void add_controller(unsigned controller);
  void drop_controller(unsigned controller);
  void run_line(unsigned controller, const std::string& line);
  void send_output();

  local_distribution_manager& ldm_;
  brindle::text_output_interceptor& interceptor_;
  const unsigned self_;
  const bool accept_;
  std::unique_ptr<message_reliable> service_;
  std::map<console_terminal*, session> sessions_;
  std::map<unsigned, std::unique_ptr<console_terminal>> controllers_;
  std::string pending_output_;       // at most max_output_per_period bytes
  size_t dropped_since_sent_ = 0;
  counters counters_;
  output_timer timer_{*this};
};

}  // namespace varnel
