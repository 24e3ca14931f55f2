// Loads http URLs: one HTTP/1.0 GET, straight to the server or through the proxy named by the
// environment, handing back the body of a 200 reply. Also the TCP routines and message words
// that ftp_URL shares, since both report connection trouble alike. Owned by URL_reader.
#pragma once

#include <sys/socket.h>

#include <string>

#include "url_reader.h"

namespace brindle {

class http_URL : public URL_handler {
public:
  explicit http_URL(const URL_limits& limits) : limits_(limits) {}
  const char* scheme_name() const override { return "http"; }
  URL_data* load(const parsed_URL& url) override;

private:
  URL_limits limits_;
};

// The messages that name the far end of a connection, for the server or for a proxy.
struct peer_words {
  const char* cannot_connect;
  const char* cannot_send;
  const char* error_receiving;
};
extern const peer_words server_words;
extern const peer_words proxy_words;
extern const char no_data_message[];

// A TCP connection to the first address of host that takes one, with send and receive
// timeouts; empty after printing why not.
unique_fd connect_to_host(const char* host, uint16_t port, const peer_words& words, int timeout_seconds);
// The same for one address.
unique_fd connect_to_address(const sockaddr* address, socklen_t length, const peer_words& words,
                             int timeout_seconds);
// Sends all of text; false with errno set on failure. A closed peer does not raise SIGPIPE.
bool send_text(int fd, const std::string& text);
// Prints what, a colon and the error text of err (a timeout reads as one).
void report_socket_error(const char* what, int err);
// At most max bytes of text up to its first line break, non-printing bytes shown as "?", so that
// a server cannot write control sequences to the terminal.
std::string printable_line(const char* text, size_t length, size_t max);

// Where the body of a whole HTTP reply starts: at the blank line that ends the header, so it
// begins with line breaks. False after printing why the reply is refused.
bool find_http_body(const char* reply, size_t length, size_t& body_start);

}  // namespace brindle
