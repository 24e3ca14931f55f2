// The URL reader's parsers of outside text. The first byte of an input picks one, the rest is
// its text: 0 parse_URL, 1 an HTTP reply as the http handler receives it, 2 FTP control replies
// and the PASV reply scanner. Bytes are copied into buffers of their exact size, so that
// AddressSanitizer sees any read past them.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ftp_url.h"
#include "http_url.h"
#include "url_reader.h"

using namespace brindle;

namespace {

void check_url(const std::string& text) {
  parsed_URL* url = parse_URL(text.c_str());
  if (!url) return;
  // Every field must have stayed within its block and be terminated.
  if (std::strlen(url->scheme) > 16 || std::strlen(url->user) > 256 || std::strlen(url->password) > 256 ||
      std::strlen(url->host) > 256 || std::strlen(url->path) > 3 * text.size() + 1)
    std::abort();
  free_URL(url);
}

void check_http_reply(const std::vector<char>& reply) {
  size_t body_start = 0;
  if (find_http_body(reply.data(), reply.size(), body_start) && body_start >= reply.size()) std::abort();
}

// Splits the bytes into replies as the control connection does and scans each one.
void check_ftp_replies(const std::vector<char>& bytes) {
  for (size_t at = 0; at < bytes.size();) {
    const std::vector<char> rest(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
    const size_t length = ftp_reply_length(rest.data(), rest.size());
    if (length > rest.size()) std::abort();
    const std::string reply(rest.data(), length ? length : rest.size());
    ftp_reply_code(reply.c_str());
    uint16_t port = 0;
    if (ftp_pasv_port(reply.c_str(), port) && port == 0) std::abort();
    at += length ? length : rest.size();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::vector<char> text(data + 1, data + size);
  switch (data[0] % 3) {
    case 0:
      check_url(std::string(text.begin(), text.end()));
      break;
    case 1:
      check_http_reply(text);
      break;
    default:
      check_ftp_replies(text);
  }
  return 0;
}
