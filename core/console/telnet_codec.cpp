#include "console/telnet_codec.h"

namespace varnel {

void telnet_decoder::data(unsigned char byte) {
  switch (byte) {
    case telnet::iac: state_ = state::command; return;
    case 0: return;
    case '\r':
      state_ = state::after_cr;
      to_('\r');
      return;
    default: to_(byte);
  }
}

void telnet_decoder::decode(const unsigned char* bytes, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    const unsigned char byte = bytes[i];
    switch (state_) {
      case state::data: data(byte); break;
      case state::after_cr:
        state_ = state::data;
        if (byte != '\n' && byte != 0) data(byte);
        break;
      case state::command:
        state_ = state::data;
        if (byte == telnet::iac) to_(byte);
        if (byte >= telnet::will && byte <= telnet::dont) state_ = state::option;
        if (byte == telnet::sb) state_ = state::subnegotiation;
        break;
      case state::option: state_ = state::data; break;
      case state::subnegotiation:
        if (byte == telnet::iac) state_ = state::subnegotiation_iac;
        break;
      case state::subnegotiation_iac:
        state_ = byte == telnet::se ? state::data : state::subnegotiation;
        break;
    }
  }
}

std::string telnet_encode(const char* text, size_t length, bool add_cr) {
  std::string out;
  out.reserve(length + length / 8);
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' && add_cr) {
      out += "\r\n";
    } else if (c == telnet::iac) {
      out += "\xff\xff";
    } else if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f) {
      out += '?';
    } else {
      out += char(c);
    }
  }
  return out;
}

}  // namespace varnel
