// The telnet side of a virtual terminal: the decoder turns a client's byte stream into
// keystrokes, and the encoder makes text safe to send to a terminal.
//
// Input. Commands of the protocol never reach the parser:
//   IAC WILL|WONT|DO|DONT option     three bytes, dropped
//   IAC SB ... IAC SE                a subnegotiation, payload and all, dropped
//   IAC IAC                          a data byte 255
//   IAC other                        two bytes, dropped
// A carriage return ends a line; the line feed or NUL that a client sends after it is dropped,
// also when it arrives in a later read, so CR LF runs one command. A lone NUL is dropped too.
//
// Output. Control characters are shown as '?' (TAB, LF and CR kept), so text that came from
// the network (names, remote output) cannot drive the operator's terminal; a byte 255 is
// doubled; with add_cr a line feed becomes CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace varnel {

namespace telnet {
constexpr unsigned char iac = 255, dont = 254, do_ = 253, wont = 252, will = 251, sb = 250, se = 240;
constexpr unsigned char echo = 1, suppress_go_ahead = 3;
}  // namespace telnet

class telnet_decoder {
public:
  using keystroke = std::function<void(int key)>;
  explicit telnet_decoder(keystroke to) : to_(std::move(to)) {}

  void decode(const unsigned char* bytes, size_t length);

private:
  enum class state : uint8_t { data, after_cr, command, option, subnegotiation, subnegotiation_iac };
  void data(unsigned char byte);

  keystroke to_;
  state state_ = state::data;
};

std::string telnet_encode(const char* text, size_t length, bool add_cr);

}  // namespace varnel
