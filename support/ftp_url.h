// Loads ftp URLs: a login (anonymous unless the URL names a user), a passive data connection
// and one RETR, whose data is the document. Owned by URL_reader. The reply scanners take bytes
// so that they can be checked on their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "url_reader.h"

namespace brindle {

class ftp_URL : public URL_handler {
public:
  explicit ftp_URL(const URL_limits& limits) : limits_(limits) {}
  const char* scheme_name() const override { return "ftp"; }
  URL_data* load(const parsed_URL& url) override;

  // The password of an anonymous login: servers ask for a contact address there.
  static constexpr char anonymous_password[] = "federate@halden.invalid";

private:
  URL_limits limits_;
};

// The length of the whole reply at the start of data (every line of a multi-line reply, which
// opens with "ddd-" and ends with a line starting "ddd "); 0 while it is incomplete.
size_t ftp_reply_length(const char* data, size_t length);
// The number a NUL-terminated reply starts with; -1 when it starts with none.
int ftp_reply_code(const char* reply);
// The data port of a NUL-terminated PASV reply: six numbers from 0 to 255 after the first digit
// from its fifth character on, the last two giving the port. False for anything else or port 0.
bool ftp_pasv_port(const char* reply, uint16_t& port);

}  // namespace brindle
