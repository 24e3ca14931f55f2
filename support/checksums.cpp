#include "checksums.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>

namespace brindle {

#endif

namespace {

// Slicing by 8: table k gives the CRC contribution of a byte followed by k zero bytes, so eight
// input bytes are folded in with eight lookups and no dependency between them.
constexpr uint32_t castagnoli_reflected = 0x82F63B78;

using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

constexpr crc_tables make_crc_tables() {
  crc_tables tables{};
  for (uint32_t byte = 0; byte < 256; ++byte) {
    uint32_t crc = byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (crc & 1 ? castagnoli_reflected : 0);
    tables[0][byte] = crc;
  }
  for (uint32_t byte = 0; byte < 256; ++byte)
    for (size_t k = 1; k < 8; ++k)
      tables[k][byte] = (tables[k - 1][byte] >> 8) ^ tables[0][tables[k - 1][byte] & 0xFF];
  return tables;
}

constexpr crc_tables crc_table = make_crc_tables();

uint32_t load_le32(const unsigned char* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The largest n for which 255 n (n + 1) / 2 + (n + 1) (65521 - 1) fits in 32 bits: the sums
// of that many bytes need no reduction in between.
constexpr size_t adler_run = 5552;
constexpr uint32_t adler_modulus = 65521;

#if defined(__x86_64__)
// The SSE 4.2 instruction computes exactly this CRC, eight bytes at a time.
__attribute__((target("sse4.2"))) uint32_t crc32c_instruction(uint32_t crc, const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  uint64_t value = static_cast<uint32_t>(~crc);
  for (; length >= 8; length -= 8, p += 8) {
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    value = _mm_crc32_u64(value, word);
  }
  uint32_t tail = static_cast<uint32_t>(value);
  for (; length > 0; --length, ++p) tail = _mm_crc32_u8(tail, *p);
  return ~tail;
}

bool has_crc32c_instruction() {
  static const bool has = __builtin_cpu_supports("sse4.2");
  return has;
}

bool has_ssse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

uint64_t sum_of_lanes(__m128i lanes) {
  uint32_t words[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(words), lanes);
  return uint64_t{words[0]} + words[1] + words[2] + words[3];
}

// Adler-32 of 16-byte blocks. Over a run of n blocks starting with sums a and b, b gains
// 16 n a, plus 16 times the byte sums of the blocks before each block, plus each block's bytes
// weighted 16, 15, ..., 1; a gains the byte sum.
__attribute__((target("ssse3"))) uint32_t adler32_blocks(uint32_t adler, const unsigned char* p, size_t blocks) {
  const __m128i weights = _mm_setr_epi8(16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m128i ones = _mm_set1_epi16(1);
  const __m128i zero = _mm_setzero_si128();
  uint64_t a = adler & 0xFFFF, b = adler >> 16;
  while (blocks > 0) {
    const size_t run = blocks < adler_run / 16 ? blocks : adler_run / 16;
    blocks -= run;
    __m128i sums = zero, sums_before = zero, weighted = zero;
    for (size_t i = 0; i < run; ++i, p += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      sums_before = _mm_add_epi32(sums_before, sums);
      sums = _mm_add_epi32(sums, _mm_sad_epu8(bytes, zero));
      weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_maddubs_epi16(bytes, weights), ones));
    }
    b = (b + 16 * run * a + 16 * sum_of_lanes(sums_before) + sum_of_lanes(weighted)) % adler_modulus;
    a = (a + sum_of_lanes(sums)) % adler_modulus;
  }
  return static_cast<uint32_t>(b << 16 | a);
}
#endif

}  // namespace

uint32_t crc32c(uint32_t crc, const void* data, size_t length) {
#if defined(__x86_64__)
  if (has_crc32c_instruction()) return crc32c_instruction(crc, data, length);
#endif
  return crc32c_tables(crc, data, length);
}

uint32_t crc32c_tables(uint32_t crc, const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (; length >= 8; length -= 8, p += 8) {
    const uint32_t low = load_le32(p) ^ crc;
    const uint32_t high = load_le32(p + 4);
    crc = crc_table[7][low & 0xFF] ^ crc_table[6][(low >> 8) & 0xFF] ^
          crc_table[5][(low >> 16) & 0xFF] ^ crc_table[4][low >> 24] ^
          crc_table[3][high & 0xFF] ^ crc_table[2][(high >> 8) & 0xFF] ^
          crc_table[1][(high >> 16) & 0xFF] ^ crc_table[0][high >> 24];
  }
  for (; length > 0; --length, ++p) crc = (crc >> 8) ^ crc_table[0][(crc ^ *p) & 0xFF];
  return ~crc;
}

uint32_t adler32(uint32_t adler, const void* data, size_t length) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
  if (length >= 16 && has_ssse3()) {
    adler = adler32_blocks(adler, p, length / 16);
    p += length & ~size_t{15};
    length &= 15;
  }
#endif
  uint32_t a = adler & 0xFFFF, b = adler >> 16;
  while (length > 0) {
    size_t run = length < adler_run ? length : adler_run;
    length -= run;
    for (; run > 0; --run, ++p) {
      a += *p;
      b += a;
    }
    a %= adler_modulus;
    b %= adler_modulus;
  }
  return b << 16 | a;
}

}  // namespace brindle
