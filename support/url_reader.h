// Reading a whole resource named by a URL: the scheme handlers for file, http and ftp URLs
// and the reader that picks one. Document loads every text it parses through a URL_reader.
// Bytes handed back are not NUL-terminated; the handler that made them frees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "brindle_export.h"

// A URL taken apart by parse_URL: one zero-filled block, the path allocated separately. Plain C
// names, so plug-ins can bind them.
extern "C" {
struct parsed_URL {
  char scheme[17];
  char user[257];
  char password[257];
  char host[257];
  uint16_t port;  // 0 when the URL names none
  char* path;     // NUL-terminated
};

// The parts of text, or null (with a message) when it is not understood.
parsed_URL* parse_URL(const char* text);
void free_URL(parsed_URL* url);
}

namespace brindle {

// Owns a parse_URL result.
struct URL_deleter {
  void operator()(parsed_URL* url) const { free_URL(url); }
};
using unique_URL = std::unique_ptr<parsed_URL, URL_deleter>;

// Bounds on every load, so that a huge file or a hostile server costs neither unbounded memory
// nor unbounded waiting: larger documents are refused, and a peer silent for timeout_seconds
// (connecting, sending or receiving) is given up.
struct URL_limits {
  size_t max_bytes = size_t{64} << 20;
  int timeout_seconds = 20;
};

// Owns a file or socket descriptor and closes it, so that every path out of a handler closes
// what it opened.
class unique_fd {
public:
  unique_fd() = default;
  explicit unique_fd(int fd) : fd_(fd) {}
  unique_fd(unique_fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  unique_fd& operator=(unique_fd&& other) noexcept;
  ~unique_fd();
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }

private:
  int fd_ = -1;
};

class URL_handler;

struct URL_data {
  URL_handler* handler;     // the handler that made it, and will free it
  std::vector<char> bytes;  // the whole resource
};

class URL_handler {
public:
  virtual ~URL_handler() = default;
  // The scheme word this handler loads: "file", "http", "ftp".
  virtual const char* scheme_name() const = 0;
  // The whole resource, or null after printing why not.
  virtual URL_data* load(const parsed_URL& url) = 0;
  virtual void free_data(URL_data* data);

protected:
  enum class read_result { complete, too_large, failed };
  // Reads fd to its end into bytes through a buffer of first_size bytes that doubles when full;
  // gives up once more than max_bytes arrive. After failed, errno says why.
  static read_result read_to_end(int fd, size_t max_bytes, size_t first_size, std::vector<char>& bytes);
  // Prints that the document called name is refused for being larger than max_bytes.
  static void report_too_large(const char* name, size_t max_bytes);
};

class URL_reader {
public:
  URL_reader();
  explicit URL_reader(const URL_limits& limits);
  // The whole resource named by url, or null after printing why not.
  URL_data* load_data(const char* url);
  // Hands data back to the handler that made it; null is ignored.
  void free_data(URL_data* data);

private:
  std::vector<std::unique_ptr<URL_handler>> handlers_;  // file, http, ftp
};

}  // namespace brindle
