// ftp_URL: the control conversation (USER, PASS, PASV, RETR) and the passive data transfer.
#include "ftp_url.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>

#include "http_url.h"

namespace brindle {

namespace {

// Longest reply text that is scanned or shown; the rest of a longer reply is dropped.
constexpr size_t reply_text_length = 1023;
// A server that keeps talking without ending its reply is given up after this many bytes.
constexpr size_t longest_reply = 64 * 1024;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Reads whole replies from the control connection. A reply may arrive in pieces, and the bytes
// after it stay buffered for the next one.
class control_channel {
public:
  explicit control_channel(int fd) : fd_(fd) {}

  bool send(const std::string& command, const char* failure) const {
    if (send_text(fd_, command)) return true;
    std::fputs(failure, stderr);
    return false;
  }

  // The next reply, cut to reply_text_length bytes; false after printing why there is none.
  // A reply cut short by the server's close is taken as it stands.
  bool next_reply(std::string& reply) {
    for (;;) {
      if (const size_t length = ftp_reply_length(pending_.data(), pending_.size())) {
        reply = pending_.substr(0, std::min(length, reply_text_length));
        pending_.erase(0, length);
        return true;
      }
      if (pending_.size() >= longest_reply) return refuse(pending_);
      char chunk[reply_text_length + 1];
      const ssize_t got = ::read(fd_, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        report_socket_error(server_words.error_receiving, errno);
        return false;
      }
      if (got == 0) return take_partial(reply);
      pending_.append(chunk, static_cast<size_t>(got));
    }
  }

  // The next reply, which must carry one of codes; false after printing why not.
  bool expect(std::initializer_list<int> codes, std::string& reply) {
    if (!next_reply(reply)) return false;
    return accepts(reply, codes) || refuse(reply);
  }

  static bool accepts(const std::string& reply, std::initializer_list<int> codes) {
    const int code = ftp_reply_code(reply.c_str());
    for (int wanted : codes)
      if (code == wanted) return true;
    return false;
  }

  static bool refuse(const std::string& reply) {
    std::fprintf(stderr, "Received error from server: %s\n",
                 printable_line(reply.data(), reply.size(), reply_text_length).c_str());
    return false;
  }

private:
  bool take_partial(std::string& reply) {
    if (pending_.empty()) {
      std::fputs(no_data_message, stderr);
      return false;
    }
    reply = pending_.substr(0, reply_text_length);
    pending_.clear();
    return true;
  }

  int fd_;
  std::string pending_;
};

// The data connection goes to the address the control connection reached, whatever address
// the PASV reply names: trusting that address would let a server point us at any other host.
unique_fd connect_to_peer(int control, uint16_t port, int timeout_seconds) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(control, reinterpret_cast<sockaddr*>(&peer), &length) != 0) {
    report_socket_error(server_words.cannot_connect, errno);
    return {};
  }
  if (peer.ss_family == AF_INET)
    reinterpret_cast<sockaddr_in*>(&peer)->sin_port = htons(port);
  else
    reinterpret_cast<sockaddr_in6*>(&peer)->sin6_port = htons(port);
  return connect_to_address(reinterpret_cast<sockaddr*>(&peer), length, server_words, timeout_seconds);
}

// USER and, when the server asks for it, PASS; true once the server has answered 230.
bool log_in(control_channel& channel, const parsed_URL& url) {
  std::string reply;
  if (!channel.expect({220}, reply)) return false;
  const char* user = url.user[0] ? url.user : "anonymous";
  if (!channel.send(std::string("USER ") + user + "\r\n", "Error sending username\n")) return false;
  if (!channel.next_reply(reply)) return false;
  if (control_channel::accepts(reply, {331})) {
    const char* password = url.password[0] ? url.password : ftp_URL::anonymous_password;
    if (!channel.send(std::string("PASS ") + password + "\r\n", "Error sending password\n")) return false;
    if (!channel.next_reply(reply)) return false;
  }
  return control_channel::accepts(reply, {230}) || control_channel::refuse(reply);
}

// PASV; the port of the server's data socket, or 0 after printing why there is none.
uint16_t passive_port(control_channel& channel) {
  std::string reply;
  if (!channel.send("PASV\r\n", "Error sending passive port request\n") || !channel.expect({227}, reply)) return 0;
  uint16_t port = 0;
  if (!ftp_pasv_port(reply.c_str(), port))
    std::fprintf(stderr, "Received bad PASV response from server: %s\n",
                 printable_line(reply.data(), reply.size(), reply_text_length).c_str());
  return port;
}

// Up to three digits of a number from 0 to 255, after optional blanks as scanf would take.
bool read_byte(const char*& at, unsigned& value) {
  while (*at == ' ' || *at == '\t') ++at;
  if (!is_digit(*at)) return false;
  value = 0;
  for (; is_digit(*at); ++at) {
    value = value * 10 + static_cast<unsigned>(*at - '0');
    if (value > 255) return false;
  }
  return true;
}

bool is_last_line_of(const char* line, size_t line_length, const char* first) {
  return line_length >= 4 && std::memcmp(line, first, 3) == 0 &&
         (line[3] == ' ' || line[3] == '\r' || line[3] == '\n');
}

}  // namespace

size_t ftp_reply_length(const char* data, size_t length) {
  const auto* first_break = static_cast<const char*>(std::memchr(data, '\n', length));
  if (!first_break) return 0;
  const size_t first_length = static_cast<size_t>(first_break - data) + 1;
  const bool multi_line = first_length >= 4 && is_digit(data[0]) && is_digit(data[1]) && is_digit(data[2]) && data[3] == '-';
  if (!multi_line) return first_length;
  for (size_t start = first_length; start < length;) {
    const auto* line_break = static_cast<const char*>(std::memchr(data + start, '\n', length - start));
    if (!line_break) return 0;
    const size_t end = static_cast<size_t>(line_break - data) + 1;
    if (is_last_line_of(data + start, end - start, data)) return end;
    start = end;
  }
  return 0;
}

int ftp_reply_code(const char* reply) {
  if (!is_digit(reply[0])) return -1;
  int code = 0;
  for (const char* at = reply; is_digit(*at) && code < 100000; ++at) code = code * 10 + (*at - '0');
  return code;
}

bool ftp_pasv_port(const char* reply, uint16_t& port) {
  if (std::strlen(reply) <= 4) return false;
  const char* at = reply + 4;
  while (*at && !is_digit(*at)) ++at;
  unsigned numbers[6];
  for (int i = 0; i < 6; ++i) {
    if (i > 0 && *at++ != ',') return false;
    if (!read_byte(at, numbers[i])) return false;
  }
  port = static_cast<uint16_t>(numbers[4] * 256 + numbers[5]);
  return port != 0;
}

URL_data* ftp_URL::load(const parsed_URL& url) {
  const unique_fd control = connect_to_host(url.host, url.port ? url.port : 21, server_words, limits_.timeout_seconds);
  if (!control) return nullptr;
  control_channel channel(control.get());
  if (!log_in(channel, url)) return nullptr;
  const uint16_t port = passive_port(channel);
  if (port == 0) return nullptr;
  const unique_fd data = connect_to_peer(control.get(), port, limits_.timeout_seconds);
  if (!data) return nullptr;
  std::string reply;
  // 125 is the opening reply of a server whose data connection was already open.
  if (!channel.send(std::string("RETR ") + url.path + "\r\n", "Error sending file request\n") ||
      !channel.expect({150, 125}, reply))
    return nullptr;
  std::vector<char> bytes;
  switch (read_to_end(data.get(), limits_.max_bytes, 8192, bytes)) {
    case read_result::complete:
      return new URL_data{this, std::move(bytes)};
    case read_result::too_large:
      report_too_large(url.path, limits_.max_bytes);
      return nullptr;
    case read_result::failed:
      break;
  }
  report_socket_error(server_words.error_receiving, errno);
  return nullptr;
}

}  // namespace brindle
