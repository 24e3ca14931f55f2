#include "text_encoding.h"

namespace brindle {

namespace {

constexpr uint32_t replacement_character = 0xFFFD;

void append_unit(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit >> 8);
  out += static_cast<char>(unit & 0xFF);
}

}  // namespace

bool next_utf8(const unsigned char* s, size_t n, size_t& i, uint32_t& c) {
  const unsigned char lead = s[i];
  size_t extra;
  uint32_t least;
  if (lead < 0x80) {
    c = lead;
    ++i;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, c = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, c = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, c = lead & 0x07, least = 0x10000;
  } else {
    return false;
  }
  if (n - i <= extra) return false;
  for (size_t k = 1; k <= extra; ++k) {
    if ((s[i + k] & 0xC0) != 0x80) return false;
    c = c << 6 | (s[i + k] & 0x3F);
  }
  i += extra + 1;
  return c >= least && c <= 0x10FFFF && !is_surrogate(c);
}

// A bad sequence costs one replacement per byte from its first: the bytes after it are read
// again as characters of their own, so one damaged byte cannot swallow the good text after it.
std::string utf8_to_utf16be(std::string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string out;
  out.reserve(text.size() * 2);
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    uint32_t c;
    if (!next_utf8(bytes, text.size(), i, c)) {
      c = replacement_character;
      i = start + 1;
    }
    if (c < 0x10000) {
      append_unit(out, c);
    } else {
      append_unit(out, 0xD800 + ((c - 0x10000) >> 10));
      append_unit(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

}  // namespace brindle
