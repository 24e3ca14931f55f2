// Captures what the process prints on its standard output and error while at least one client
// is registered: everything still reaches the original destinations at once and in order, and
// each registered intercepted_text_client gets a copy inside the scheduler's tick. Owned by a
// distribution manager; clients are not owned and must unregister before they are destroyed.
//
// While the streams are diverted a helper thread passes the text on to the original
// destinations as it arrives, so a printer never loses text and never waits for a tick, even
// when it is the ticking thread itself. Several interceptors may exist in one process,
// registered and unregistered in any order: they share one diversion of the streams, made
// when the first of them gets a client and undone (after passing on what is left) when the
// last of them loses its last client, and each gets all captured text.
#pragma once

#include <cstddef>
#include <vector>

#include "brindle_export.h"
#include "timers.h"

namespace brindle {

class BRINDLE_EXPORT intercepted_text_client {
public:
  virtual ~intercepted_text_client() = default;
  // A block of captured text with a carriage return after every line feed.
  virtual void text(size_t length, const char* bytes) = 0;
};

// Writes to the original destination of standard output (1) or standard error (2), past any
// diversion, after what was printed before: text that must reach the process's own terminal
// without being captured again.
BRINDLE_EXPORT void write_undiverted(int stream, const char* bytes, size_t length);

class BRINDLE_EXPORT text_output_interceptor : public periodic_realtime_timer {
public:
  explicit text_output_interceptor(scheduler& on);
  ~text_output_interceptor() override;

  // The first client diverts the streams; the last to leave restores them.
  void register_client(intercepted_text_client* client);
  void unregister_client(intercepted_text_client* client);
  // Hands the clients what has been captured so far at once, as the next timer run would:
  // for a process about to end, so that its last lines reach the terminals.
  void drain();

private:
  void on_timer() override;
  void deliver(const char* bytes, size_t length);

  scheduler& scheduler_;
  std::vector<intercepted_text_client*> clients_;
};

}  // namespace brindle
