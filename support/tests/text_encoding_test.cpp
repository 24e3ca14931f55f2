// UTF-8 to UTF-16 big-endian: characters of every length, surrogate pairs, and damaged input
// replaced character by character without losing the good text around it.
#include "text_encoding.h"

#include <gtest/gtest.h>

#include <string>

using brindle::utf8_to_utf16be;

namespace {

std::string units(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

TEST(TextEncoding, WellFormedTextBecomesBigEndianUnitsWithSurrogatePairs) {
  EXPECT_EQ(utf8_to_utf16be(""), "");
  // "A", e-acute, the euro sign, and U+1F600 as a surrogate pair.
  EXPECT_EQ(utf8_to_utf16be("A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
            units({0x00, 0x41, 0x00, 0xE9, 0x20, 0xAC, 0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_EQ(utf8_to_utf16be(std::string("a\0b", 3)), units({0x00, 0x61, 0x00, 0x00, 0x00, 0x62}));
}

TEST(TextEncoding, DamagedBytesBecomeReplacementCharacters) {
  // A stray continuation byte, a lead cut short by ASCII, an overlong '/', an encoded surrogate
  // and a truncated tail: each bad byte is one U+FFFD and the good characters survive.
  EXPECT_EQ(utf8_to_utf16be("\x80x"), units({0xFF, 0xFD, 0x00, 0x78}));
  EXPECT_EQ(utf8_to_utf16be("\xE2\x82y"), units({0xFF, 0xFD, 0xFF, 0xFD, 0x00, 0x79}));
  EXPECT_EQ(utf8_to_utf16be("\xC0\xAF"), units({0xFF, 0xFD, 0xFF, 0xFD}));
  EXPECT_EQ(utf8_to_utf16be("\xED\xA0\x80"), units({0xFF, 0xFD, 0xFF, 0xFD, 0xFF, 0xFD}));
  EXPECT_EQ(utf8_to_utf16be("z\xF0\x9F"), units({0x00, 0x7A, 0xFF, 0xFD, 0xFF, 0xFD}));
}

}  // namespace
