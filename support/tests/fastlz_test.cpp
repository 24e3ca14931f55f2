#include "fastlz.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using bytes = std::vector<uint8_t>;

bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 random(seed);
  bytes data(n);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

// Words drawn from a small vocabulary: compressible like trace output.
bytes text_like(size_t n, uint32_t seed) {
  static const char* const words[] = {"federate ", "update ", "attribute ", "time ", "stream ", "42 ", "\n"};
  std::mt19937 random(seed);
  bytes data;
  while (data.size() < n) {
    const std::string word = words[random() % 7];
    data.insert(data.end(), word.begin(), word.end());
  }
  data.resize(n);
  return data;
}

size_t output_bound(size_t n) { return std::max<size_t>(66, n + n / 20 + 1); }

bytes compress(int level, const bytes& data) {
  bytes out(output_bound(data.size()));
  const int n = fastlz_compress_level(level, data.data(), static_cast<int>(data.size()), out.data());
  out.resize(static_cast<size_t>(n));
  return out;
}

// Decompresses into a heap buffer of exactly maxout bytes, so that any write past it is seen.
int decompress(const bytes& block, size_t maxout, bytes* result = nullptr) {
  bytes exact_in(block);
  bytes out(maxout);
  const int n = fastlz_decompress(exact_in.data(), static_cast<int>(exact_in.size()), out.data(),
                                  static_cast<int>(out.size()));
  if (result) *result = bytes(out.begin(), out.begin() + std::max(n, 0));
  return n;
}

void expect_round_trip(int level, const bytes& data) {
  const bytes block = compress(level, data);
  ASSERT_GT(block.size(), 0u);
  ASSERT_LE(block.size(), output_bound(data.size()));
  EXPECT_EQ(block[0] >> 5, level - 1);
  bytes back;
  ASSERT_EQ(decompress(block, data.size(), &back), static_cast<int>(data.size()));
  EXPECT_EQ(back, data);
}

TEST(FastlzRoundTrip, RandomAndRepetitiveDataAtBothLevels) {
  for (int level : {1, 2})
    for (size_t n : {1u, 2u, 15u, 16u, 17u, 100u, 4096u, 65535u, 65536u, 300000u})
      for (uint32_t seed : {1u, 2u}) {
        SCOPED_TRACE("level " + std::to_string(level) + " size " + std::to_string(n));
        expect_round_trip(level, random_bytes(n, seed));
        expect_round_trip(level, text_like(n, seed));
        expect_round_trip(level, bytes(n, 0xAB));
      }
}

TEST(FastlzRoundTrip, DefaultLevelFollowsInputSize) {
  bytes small = text_like(65535, 3), large = text_like(65536, 3);
  bytes out(output_bound(large.size()));
  ASSERT_GT(fastlz_compress(small.data(), static_cast<int>(small.size()), out.data()), 0);
  EXPECT_EQ(out[0] >> 5, 0);
  ASSERT_GT(fastlz_compress(large.data(), static_cast<int>(large.size()), out.data()), 0);
  EXPECT_EQ(out[0] >> 5, 1);
}

TEST(FastlzRoundTrip, RepetitiveDataShrinks) {
  const bytes text = text_like(100000, 4);
  EXPECT_LT(compress(1, text).size(), text.size() / 3);
  EXPECT_LT(compress(2, bytes(100000, 7)).size(), 500u);  // long matches need few length bytes
}

TEST(FastlzRoundTrip, LevelTwoReachesFarRepeats) {
  // A random block repeated 20000 bytes later: beyond level 1's 8192-byte window.
  bytes data = random_bytes(20000, 5);
  data.insert(data.end(), data.begin(), data.end());
  EXPECT_GT(compress(1, data).size(), 39000u);
  EXPECT_LT(compress(2, data).size(), 21000u);
  expect_round_trip(2, data);
}

TEST(FastlzRoundTrip, RefusesBadArguments) {
  bytes out(100);
  const bytes data = text_like(50, 6);
  EXPECT_EQ(fastlz_compress_level(3, data.data(), 50, out.data()), 0);
  EXPECT_EQ(fastlz_compress_level(1, data.data(), 0, out.data()), 0);
  EXPECT_EQ(fastlz_compress_level(1, data.data(), -5, out.data()), 0);
  EXPECT_EQ(fastlz_decompress(data.data(), 0, out.data(), 100), 0);
  EXPECT_EQ(fastlz_decompress(data.data(), -1, out.data(), 100), 0);
}

// Hand-made blocks pin the instruction encoding that other implementations read and write.
TEST(FastlzFormat, LevelOneInstructions) {
  bytes out;
  // Literal run of 3, then a short match: length 1 + 2, distance 2 + 1.
  ASSERT_EQ(decompress({0x02, 'a', 'b', 'c', 0x20, 0x02}, 6, &out), 6);
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabc");
  // Long match: length 9 + 5 at distance 1 repeats the last byte.
  ASSERT_EQ(decompress({0x00, 'x', 0xE0, 0x05, 0x00}, 15, &out), 15);
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string(15, 'x'));
  // The largest level-one distance, 8192, has no escape meaning at level one.
  bytes block;
  for (int run = 0; run < 256; ++run) {
    block.push_back(31);
    for (int i = 0; i < 32; ++i) block.push_back(static_cast<uint8_t>(run * 32 + i));
  }
  block.insert(block.end(), {0x3F, 0xFF});
  ASSERT_EQ(decompress(block, 8195, &out), 8195);
  EXPECT_EQ(out[8192], 0);
  EXPECT_EQ(out[8194], 2);
}

TEST(FastlzFormat, LevelTwoInstructions) {
  bytes out;
  // Long match with a length continued through a 255 byte: 9 + 255 + 10 = 274 at distance 1.
  ASSERT_EQ(decompress({0x20, 'y', 0xE0, 0xFF, 0x0A, 0x00}, 275, &out), 275);
  EXPECT_EQ(std::string(out.begin(), out.end()), std::string(275, 'y'));
  // A far match: field 8191 escapes to a 16-bit distance; here 1 + 8192 back.
  bytes block;
  for (int run = 0; run < 257; ++run) {
    block.push_back(31);
    for (int i = 0; i < 32; ++i) block.push_back(static_cast<uint8_t>(run * 32 + i + 1));
  }
  block[0] |= 0x20;
  block.insert(block.end(), {0x3F, 0xFF, 0x00, 0x01});
  const int n = decompress(block, 8224 + 3, &out);
  ASSERT_EQ(n, 8227);
  EXPECT_EQ(out[8224], out[8224 - 8193]);
  EXPECT_EQ(out[8226], out[8226 - 8193]);
}

TEST(FastlzDecompress, RefusesMalformedBlocks) {
  EXPECT_EQ(decompress({0x40, 'a'}, 10), 0);                      // level 3
  EXPECT_EQ(decompress({0x00, 'a', 0x20, 0x05}, 10), 0);          // distance before the start
  EXPECT_EQ(decompress({0x05, 'a', 'b'}, 10), 0);                 // literal run cut short
  EXPECT_EQ(decompress({0x00, 'a', 0xE0}, 10), 0);                // length byte missing
  EXPECT_EQ(decompress({0x00, 'a', 0x20}, 10), 0);                // distance byte missing
  EXPECT_EQ(decompress({0x20, 'a', 0x3F, 0xFF, 0x00}, 10), 0);    // far distance cut short
  EXPECT_EQ(decompress({0x00, 'a', 0xE0, 0x10, 0x00}, 20), 0);    // 25 bytes do not fit in 20
  EXPECT_EQ(decompress({0x03, 'a', 'b', 'c', 'd'}, 3), 0);        // literals do not fit
  bytes endless{0x20, 'a', 0xE0};
  endless.insert(endless.end(), 100000, 0xFF);  // a length that grows past any output
  EXPECT_EQ(decompress(endless, 1000), 0);
}

TEST(FastlzDecompress, TruncatedBlocksNeverDecodeWhole) {
  for (int level : {1, 2}) {
    const bytes data = text_like(3000, 7);
    const bytes block = compress(level, data);
    for (size_t cut = 1; cut < block.size(); ++cut) {
      const int n = decompress(bytes(block.begin(), block.begin() + cut), data.size());
      EXPECT_LT(n, static_cast<int>(data.size())) << "cut at " << cut;
    }
  }
}

TEST(FastlzDecompress, CorruptedBlocksStayInBounds) {
  std::mt19937 random(8);
  for (int level : {1, 2}) {
    const bytes data = text_like(5000, 9);
    const bytes block = compress(level, data);
    for (int trial = 0; trial < 2000; ++trial) {
      bytes bad = block;
      for (int flips = 1 + random() % 4; flips > 0; --flips) bad[random() % bad.size()] = static_cast<uint8_t>(random());
      const size_t maxout = random() % 2 ? data.size() : random() % (2 * data.size());
      const int n = decompress(bad, std::max<size_t>(maxout, 1));
      EXPECT_GE(n, 0);
      EXPECT_LE(n, static_cast<int>(std::max<size_t>(maxout, 1)));
    }
  }
}

}  // namespace
