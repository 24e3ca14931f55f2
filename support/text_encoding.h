// Unicode text conversions shared by the XML reader and the management objects: reading one
// UTF-8 character strictly, and turning UTF-8 text into UTF-16 big-endian, where whatever is not
// well-formed UTF-8 becomes U+FFFD so that text from anywhere can be shown.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "brindle_export.h"

namespace brindle {

inline bool is_surrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Reads one character at s[i] (i < n) and moves i past it; false when the bytes are not a
// well-formed UTF-8 character (overlong, truncated, a surrogate or beyond U+10FFFF), and then i
// may have moved.
BRINDLE_EXPORT bool next_utf8(const unsigned char* s, size_t n, size_t& i, uint32_t& c);

// The text in UTF-16 big-endian, without a byte-order mark and without a terminating zero. Each
// byte that does not begin a well-formed character becomes one U+FFFD.
BRINDLE_EXPORT std::string utf8_to_utf16be(std::string_view text);

}  // namespace brindle
