// parse_URL and free_URL: taking a URL text apart into the fixed fields of parsed_URL.
// Overlong fields are cut to their field's size; text that cannot be a URL is refused.
#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "url_reader.h"

namespace brindle {

namespace {

// The block is zero-filled, so a copy of at most N - 1 bytes stays terminated.
template <size_t N>
void copy_field(char (&field)[N], std::string_view text) {
  const size_t count = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), count);
}

bool is_control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

// User, password and host go into request lines and headers, as does an ftp path: a line
// break in them would let a URL smuggle in commands of its own.
bool has_control(std::string_view text) { return std::any_of(text.begin(), text.end(), is_control); }

// The decimal digits between ":" and the path; none means no port.
bool read_port(std::string_view digits, uint16_t& port) {
  uint32_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint32_t>(c - '0');
    if (value > 65535) return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

bool scheme_is(const parsed_URL& url, const char* name) { return strcasecmp(url.scheme, name) == 0; }

// A heap copy of path; for http and https every white-space character is escaped as %xx.
char* make_path(std::string_view path, bool escape_blanks) {
  char* copy = new (std::nothrow) char[path.size() * 3 + 1];
  if (!copy) return nullptr;
  char* out = copy;
  for (char c : path) {
    if (escape_blanks && std::isspace(static_cast<unsigned char>(c)))
      out += std::snprintf(out, 4, "%%%02x", static_cast<unsigned char>(c));
    else
      *out++ = c;
  }
  *out = '\0';
  return copy;
}

// The user information before "@": user up to the first ":", password from there to the next.
void split_user_info(std::string_view info, parsed_URL& url) {
  const size_t colon = info.find(':');
  copy_field(url.user, info.substr(0, colon));
  if (colon == std::string_view::npos) return;
  const std::string_view password = info.substr(colon + 1);
  copy_field(url.password, password.substr(0, password.find(':')));
}

// The host at the front of rest, removed from it: an IPv6 literal in brackets, or the text up
// to the first "/" or ":".
std::string_view take_host(std::string_view& rest) {
  if (rest.starts_with('[')) {
    const size_t close = rest.find(']');
    if (close != std::string_view::npos &&
        (close + 1 == rest.size() || rest[close + 1] == '/' || rest[close + 1] == ':')) {
      const std::string_view host = rest.substr(1, close - 1);
      rest.remove_prefix(close + 1);
      return host;
    }
  }
  const std::string_view host = rest.substr(0, rest.find_first_of("/:"));
  rest.remove_prefix(host.size());
  return host;
}

// Fills the fields of url and finds the path; false when the text is not understood.
bool split(std::string_view text, parsed_URL& url, std::string_view& path) {
  const size_t mark = text.find(":/");
  if (mark == std::string_view::npos) {
    path = text;
    return true;
  }
  copy_field(url.scheme, text.substr(0, mark));
  std::string_view rest = text.substr(mark + 2);
  if (rest.starts_with('/')) rest.remove_prefix(1);
  path = "/";
  if (rest.empty()) return true;
  if (rest.starts_with('/') || rest.starts_with('.')) {
    path = rest;
    return true;
  }
  const size_t at = rest.find('@');
  if (at != std::string_view::npos && at < rest.find('/')) {
    const std::string_view info = rest.substr(0, at);
    if (has_control(info)) return false;
    split_user_info(info, url);
    rest.remove_prefix(at + 1);
  }
  const std::string_view host = take_host(rest);
  if (has_control(host)) return false;
  copy_field(url.host, host);
  if (rest.starts_with(':')) {
    rest.remove_prefix(1);
    const std::string_view digits = rest.substr(0, rest.find('/'));
    if (!read_port(digits, url.port)) return false;
    rest.remove_prefix(digits.size());
  }
  if (!rest.empty()) path = rest;
  return true;
}

}  // namespace

}  // namespace brindle

using namespace brindle;

extern "C" parsed_URL* parse_URL(const char* text) {
  const char* shown = text ? text : "(null)";
  unique_URL url(new (std::nothrow) parsed_URL{});
  std::string_view path;
  bool understood = text && url && split(text, *url, path);
  if (understood && scheme_is(*url, "ftp") && has_control(path)) understood = false;
  if (understood) {
    url->path = make_path(path, scheme_is(*url, "http") || scheme_is(*url, "https"));
    understood = url->path != nullptr;
  }
  if (!understood) {
    std::fprintf(stderr, "I don't understand the URL %s\n", shown);
    return nullptr;
  }
  return url.release();
}

extern "C" void free_URL(parsed_URL* url) {
  if (!url) return;
  delete[] url->path;
  delete url;
}
