// One telnet client of the console: a terminal with its own parse context, fed from the socket
// by the telnet decoder, and an intercepted-text client, so that whatever the process prints
// reaches it too. The vterm_manager owns it; a connection that ends (client gone, socket error)
// only closes itself, and the manager frees it at its next run.
//
// Output waits in a bounded buffer while the socket is full and is dropped beyond it; sends
// never raise SIGPIPE, so a client that resets costs only its connection.
#pragma once

#include <cstddef>
#include <string>

#include "console/command_tree.h"
#include "console/telnet_codec.h"
#include "text_output_interceptor.h"
#include "timers.h"

namespace varnel {

class local_distribution_manager;

class vterm_connection : public brindle::periodic_realtime_timer, public brindle::intercepted_text_client {
public:
  static constexpr size_t read_size = 256;
  static constexpr size_t max_read_per_run = 4096;  // keeps one busy client from hogging a tick
  static constexpr size_t max_pending_output = 65536;

  // Takes the accepted (non-blocking) socket, asks the client to let the server echo, and shows
  // the prompt.
  vterm_connection(local_distribution_manager& ldm, brindle::text_output_interceptor& interceptor, int socket,
                   std::string peer, const std::string& prompt);
  ~vterm_connection() override;
  vterm_connection(const vterm_connection&) = delete;
  vterm_connection& operator=(const vterm_connection&) = delete;

  bool is_closed() const { return socket_ < 0; }
  const std::string& peer() const { return peer_; }
  // Sends what waits, as far as the socket takes it now.
  void flush_output();
  void text(size_t length, const char* bytes) override;

private:
  void on_timer() override;
  void receive();
  void queue(const std::string& bytes);
  void close();

  brindle::text_output_interceptor& interceptor_;
  int socket_;
  std::string peer_;
  std::string pending_;
  telnet_decoder decoder_;
  console_terminal terminal_;
};

}  // namespace varnel
