#include "checksums.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

using namespace brindle;

namespace {

// Bit-at-a-time and byte-at-a-time forms straight from the definitions, to hold the fast ones to.
uint32_t plain_crc32c(const unsigned char* p, size_t n) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (crc & 1 ? 0x82F63B78 : 0);
  }
  return ~crc;
}

uint32_t plain_adler32(const unsigned char* p, size_t n) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

TEST(Checksums, PublishedCheckValues) {
  EXPECT_EQ(crc32c(0, "123456789", 9), 0xE3069283u);
  EXPECT_EQ(crc32c_tables(0, "123456789", 9), 0xE3069283u);
  EXPECT_EQ(adler32(1, "Wikipedia", 9), 0x11E60398u);
  EXPECT_EQ(crc32c(0, "", 0), 0u);
  EXPECT_EQ(adler32(1, "", 0), 1u);
  std::vector<unsigned char> zeros(32, 0), ones(32, 0xFF), ascending(32);
  for (int i = 0; i < 32; ++i) ascending[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(crc32c(0, zeros.data(), 32), 0x8A9136AAu);
  EXPECT_EQ(crc32c(0, ones.data(), 32), 0x62A8AB43u);
  EXPECT_EQ(crc32c(0, ascending.data(), 32), 0x46DD794Eu);
}

TEST(Checksums, FastFormsAgreeWithTheDefinitionsAtEveryLengthAndAlignment) {
  std::mt19937 random(7);
  std::vector<unsigned char> data(20000);
  for (auto& byte : data) byte = static_cast<unsigned char>(random());
  for (size_t offset = 0; offset < 8; ++offset)
    for (size_t n : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{9}, size_t{63}, size_t{5552},
                     size_t{5553}, size_t{19990}}) {
      EXPECT_EQ(crc32c(0, data.data() + offset, n), plain_crc32c(data.data() + offset, n)) << offset << " " << n;
      EXPECT_EQ(crc32c_tables(0, data.data() + offset, n), plain_crc32c(data.data() + offset, n)) << offset << " " << n;
      EXPECT_EQ(adler32(1, data.data() + offset, n), plain_adler32(data.data() + offset, n)) << offset << " " << n;
    }
  // All 0xFF is the worst case for the deferred modulo of Adler-32.
  std::vector<unsigned char> ones(100000, 0xFF);
  EXPECT_EQ(adler32(1, ones.data(), ones.size()), plain_adler32(ones.data(), ones.size()));
}

TEST(Checksums, RunningValuesContinueAcrossPieces) {
  const char* text = "a message split across several packets";
  const size_t n = std::strlen(text);
  for (size_t cut = 0; cut <= n; ++cut) {
    EXPECT_EQ(crc32c(crc32c(0, text, cut), text + cut, n - cut), crc32c(0, text, n));
    EXPECT_EQ(crc32c_tables(crc32c(0, text, cut), text + cut, n - cut), crc32c(0, text, n));
    EXPECT_EQ(adler32(adler32(1, text, cut), text + cut, n - cut), adler32(1, text, n));
  }
}

}  // namespace
