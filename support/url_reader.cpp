// The URL reader: picks the handler for a URL's scheme, and the reading and refusing that the
// handlers share.
#include "url_reader.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "file_url.h"
#include "ftp_url.h"
#include "http_url.h"

namespace brindle {

unique_fd& unique_fd::operator=(unique_fd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

unique_fd::~unique_fd() {
  if (fd_ >= 0) ::close(fd_);
}

void URL_handler::free_data(URL_data* data) { delete data; }

URL_handler::read_result URL_handler::read_to_end(int fd, size_t max_bytes, size_t first_size,
                                                  std::vector<char>& bytes) {
  // One byte beyond the limit is room enough to see that the document is too large.
  const size_t ceiling = max_bytes + 1;
  bytes.resize(std::min(std::max<size_t>(first_size, 1), ceiling));
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (used >= ceiling) return read_result::too_large;
      bytes.resize(std::min(bytes.size() * 2, ceiling));
    }
    const ssize_t got = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return read_result::failed;
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  bytes.resize(used);
  bytes.shrink_to_fit();
  return read_result::complete;
}

void URL_handler::report_too_large(const char* name, size_t max_bytes) {
  std::fprintf(stderr, "%s is larger than the limit of %zu bytes for a document\n", name, max_bytes);
}

URL_reader::URL_reader() : URL_reader(URL_limits()) {}

URL_reader::URL_reader(const URL_limits& limits) {
  handlers_.push_back(std::make_unique<file_URL>(limits));
  handlers_.push_back(std::make_unique<http_URL>(limits));
  handlers_.push_back(std::make_unique<ftp_URL>(limits));
}

namespace {

// "file:" before a bare name (no "/" after the colon) names a file relative to the working
// directory, and "file:/dir/name" an absolute one; without the prefix parse_URL takes either
// as a path with no scheme, where with it "dir" would be taken for a host.
const char* without_file_prefix(const char* url) {
  if (strncasecmp(url, "file:", 5) != 0) return url;
  return url[5] != '/' || url[6] != '/' ? url + 5 : url;
}

}  // namespace

URL_data* URL_reader::load_data(const char* url) {
  unique_URL parsed(parse_URL(url ? without_file_prefix(url) : nullptr));
  if (!parsed) return nullptr;
  const char* scheme = parsed->scheme[0] ? parsed->scheme : "file";
  for (const auto& handler : handlers_)
    if (strcasecmp(handler->scheme_name(), scheme) == 0) return handler->load(*parsed);
  std::fprintf(stderr, "Unable to handle URL %s\n", url);
  return nullptr;
}

void URL_reader::free_data(URL_data* data) {
  if (data) data->handler->free_data(data);
}

}  // namespace brindle
