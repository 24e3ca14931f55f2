// http_URL, the proxy discovery it uses, and the TCP routines it shares with ftp_URL.
#include "http_url.h"

#include "release.h"

#include <netdb.h>
#include <strings.h>
#include <sys/time.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

namespace brindle {

const peer_words server_words{"Cannot connect to server", "Cannot send request to server",
                              "Error receiving data from server"};
const peer_words proxy_words{"Cannot connect to proxy", "Cannot send request to proxy",
                             "Error receiving data from proxy"};
const char no_data_message[] = "Received no data from server\n";

namespace {

// Carried in the User-Agent header with the release word: the platform built for.
const char platform_word[] = "linux_g++-12";

// Below this many bytes a reply cannot even hold a status line.
constexpr size_t shortest_reply = 4;
// The part of the status line shown when a reply is refused.
constexpr size_t shown_status_length = 256;

bool set_timeouts(int fd, int seconds) {
  const timeval limit{std::max(seconds, 1), 0};
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) == 0 &&
         ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

struct proxy {
  std::string host;
  uint16_t port;
};

// The first of the proxy variables that holds any text decides; only an http proxy is used.
std::optional<proxy> discover_proxy() {
  for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy"}) {
    const char* text = std::getenv(name);
    if (!text || !*text) continue;
    unique_URL url(parse_URL(text));
    if (!url || strcasecmp(url->scheme, "http") != 0) return std::nullopt;
    return proxy{url->host, url->port ? url->port : uint16_t{80}};
  }
  return std::nullopt;
}

// The Host header's value, which a proxied request line repeats: the host, bracketed when it
// is an IPv6 literal, and the port unless it is the default.
std::string authority(const parsed_URL& url) {
  const bool ipv6 = std::strchr(url.host, ':') != nullptr;
  std::string text = ipv6 ? "[" : "";
  text += url.host;
  if (ipv6) text += ']';
  if (url.port != 0 && url.port != 80) text.append(":").append(std::to_string(url.port));
  return text;
}

std::string request_text(const parsed_URL& url, bool through_proxy) {
  const std::string host = authority(url);
  const std::string target = through_proxy ? "http://" + host + url.path : std::string(url.path);
  return "GET " + target + " HTTP/1.0\r\nHost: " + host + "\r\nUser-Agent: Varnel/" + rti_release + " (" +
         platform_word + ")\r\nAccept: */*\r\nAccept-Language: en\r\n\r\n";
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// The status line read as a word and a number, as in "HTTP/1.0 200 OK".
bool read_status(std::string_view line, unsigned& status) {
  size_t at = 0;
  while (at < line.size() && is_blank(line[at])) ++at;
  const size_t word = at;
  while (at < line.size() && !is_blank(line[at])) ++at;
  if (at == word) return false;
  while (at < line.size() && is_blank(line[at])) ++at;
  if (at == line.size() || !std::isdigit(static_cast<unsigned char>(line[at]))) return false;
  status = 0;
  for (; at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])); ++at)
    status = std::min(status * 10 + static_cast<unsigned>(line[at] - '0'), 1000000u);
  return true;
}

// The first "\r\r", "\n\n" or "\r\n\r\n" in the reply.
std::optional<size_t> header_end(const char* reply, size_t length) {
  for (size_t at = 0; at + 1 < length; ++at) {
    const char c = reply[at], next = reply[at + 1];
    if ((c == '\r' && next == '\r') || (c == '\n' && next == '\n')) return at;
    if (c == '\r' && next == '\n' && at + 3 < length && reply[at + 2] == '\r' && reply[at + 3] == '\n') return at;
  }
  return std::nullopt;
}

}  // namespace

void report_socket_error(const char* what, int err) {
  // A socket timeout shows as "try again" (or "in progress" for a connect): say what it is.
  if (err == EAGAIN || err == EWOULDBLOCK || err == EINPROGRESS) err = ETIMEDOUT;
  std::fprintf(stderr, "%s: %s\n", what, std::strerror(err));
}

std::string printable_line(const char* text, size_t length, size_t max) {
  std::string line;
  for (size_t at = 0; at < length && at < max && text[at] != '\r' && text[at] != '\n'; ++at)
    line += std::isprint(static_cast<unsigned char>(text[at])) ? text[at] : '?';
  return line;
}

unique_fd connect_to_address(const sockaddr* address, socklen_t length, const peer_words& words,
                             int timeout_seconds) {
  unique_fd connection(::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!connection) {
    report_socket_error("Error creating socket", errno);
    return {};
  }
  // The send timeout also bounds connect, so an unreachable host is given up in time too.
  if (!set_timeouts(connection.get(), timeout_seconds) || ::connect(connection.get(), address, length) != 0) {
    report_socket_error(words.cannot_connect, errno);
    return {};
  }
  return connection;
}

unique_fd connect_to_host(const char* host, uint16_t port, const peer_words& words, int timeout_seconds) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const int looked_up = ::getaddrinfo(host, std::to_string(port).c_str(), &hints, &found);
  if (looked_up != 0) {
    std::fprintf(stderr, "Cannot resolve %s: %s\n", host, ::gai_strerror(looked_up));
  } else {
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> addresses(found, &::freeaddrinfo);
    for (const addrinfo* address = found; address; address = address->ai_next)
      if (unique_fd connection = connect_to_address(address->ai_addr, address->ai_addrlen, words, timeout_seconds))
        return connection;
  }
  std::fprintf(stderr, "Can't connect to machine %s\n", host);
  return {};
}

bool send_text(int fd, const std::string& text) {
  for (size_t sent = 0; sent < text.size();) {
    const ssize_t count = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return false;
    sent += static_cast<size_t>(count);
  }
  return true;
}

bool find_http_body(const char* reply, size_t length, size_t& body_start) {
  if (length < shortest_reply) {
    std::fputs(no_data_message, stderr);
    return false;
  }
  const std::string_view head(reply, std::min(length, shown_status_length));
  unsigned status = 0;
  if (!read_status(head.substr(0, head.find_first_of("\r\n")), status) || status != 200) {
    std::fprintf(stderr, "Received error message from server: %s\n",
                 printable_line(reply, length, shown_status_length).c_str());
    return false;
  }
  const std::optional<size_t> end = header_end(reply, length);
  if (!end) {
    std::fputs("Received invalid data from server\n", stderr);
    return false;
  }
  body_start = *end;
  return true;
}

URL_data* http_URL::load(const parsed_URL& url) {
  const std::optional<proxy> via = discover_proxy();
  const peer_words& words = via ? proxy_words : server_words;
  const uint16_t port = via ? via->port : url.port ? url.port : uint16_t{80};
  const unique_fd connection = connect_to_host(via ? via->host.c_str() : url.host, port, words, limits_.timeout_seconds);
  if (!connection) return nullptr;
  if (!send_text(connection.get(), request_text(url, via.has_value()))) {
    report_socket_error(words.cannot_send, errno);
    return nullptr;
  }
  std::vector<char> reply;
  switch (read_to_end(connection.get(), limits_.max_bytes, 8192, reply)) {
    case read_result::complete:
      break;
    case read_result::too_large:
      report_too_large(url.path, limits_.max_bytes);
      return nullptr;
    case read_result::failed:
      report_socket_error(words.error_receiving, errno);
      return nullptr;
  }
  size_t body_start = 0;
  if (!find_http_body(reply.data(), reply.size(), body_start)) return nullptr;
  reply.erase(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(body_start));
  return new URL_data{this, std::move(reply)};
}

}  // namespace brindle
