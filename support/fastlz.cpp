// FastLZ block format, as written and read here:
//
//   first byte       bits 7-5: level - 1; the first instruction is always a literal run
//   literal run      000nnnnn, then n + 1 bytes (1 to 32)
//   short match      LLLddddd dddddddd: L in 1..6, length L + 2, distance d + 1 (13 bits)
//   long match       111ddddd e... dddddddd: length 9 + e, where e is one byte at level 1
//                    (so at most 264) and at level 2 a sum of bytes continued while 255
//   far match        level 2 only: d = 8191 (ddddd = 31, low byte 255) is an escape for two
//                    more bytes D (big-endian): distance D + 8192
//
// Matches may overlap what they produce (distance below length repeats a pattern).
#include "fastlz.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr size_t max_literals = 32;
constexpr size_t min_match = 3;
constexpr size_t level1_max_match = 264;
constexpr size_t near_distance_limit_level1 = 8192;  // distance - 1 fits 13 bits
constexpr size_t near_distance_limit_level2 = 8191;  // 8192 is taken by the far escape
constexpr size_t far_escape = 8191;  // the 13-bit distance field value that announces a far match
constexpr size_t far_distance_base = 8192;
constexpr size_t far_distance_limit = far_distance_base + 65535;
constexpr size_t min_far_match = 5;  // shorter far matches cost as much as their literals
constexpr size_t small_input = 16;   // stored as literals: too short to find a match worth it
constexpr int hash_bits = 14;
constexpr int skip_strength = 6;  // one more step for every 64 literals in a row

uint32_t read3(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16; }

uint32_t hash3(const uint8_t* p) { return (read3(p) * 2654435761u) >> (32 - hash_bits); }

class block_writer {
public:
  block_writer(uint8_t* out, int level) : out_(out), level_(level) {}

  void literals(const uint8_t* from, size_t count) {
    while (count > 0) {
      const size_t run = std::min(count, max_literals);
      out_[op_++] = static_cast<uint8_t>(run - 1);
      std::memcpy(out_ + op_, from, run);
      op_ += run;
      from += run;
      count -= run;
    }
  }

  void match(size_t length, size_t distance) {
    const size_t code = length - 2;  // 1..6 in the short form, 7 and up in the long form
    const bool far = level_ == 2 && distance > near_distance_limit_level2;
    const size_t d = far ? far_escape : distance - 1;
    const uint8_t high = static_cast<uint8_t>(d >> 8);
    out_[op_++] = static_cast<uint8_t>((std::min<size_t>(code, 7) << 5) | high);
    if (code >= 7) extra_length(code - 7);
    out_[op_++] = static_cast<uint8_t>(d & 255);
    if (far) {
      const size_t f = distance - far_distance_base;
      out_[op_++] = static_cast<uint8_t>(f >> 8);
      out_[op_++] = static_cast<uint8_t>(f & 255);
    }
  }

  int finish() {
    if (level_ == 2 && op_ > 0) out_[0] |= 1 << 5;
    return static_cast<int>(op_);
  }

private:
  void extra_length(size_t extra) {
    if (level_ == 1) {
      out_[op_++] = static_cast<uint8_t>(extra);
      return;
    }
    for (; extra >= 255; extra -= 255) out_[op_++] = 255;
    out_[op_++] = static_cast<uint8_t>(extra);
  }

  uint8_t* out_;
  int level_;
  size_t op_ = 0;
};

size_t max_distance(int level) { return level == 1 ? near_distance_limit_level1 : far_distance_limit; }

size_t max_match(int level, size_t available) {
  return level == 1 ? std::min(available, level1_max_match) : available;
}

// Compares eight bytes at a time; the first differing byte is found from the word's lowest
// set bits on a little-endian machine and its highest on a big-endian one.
size_t match_length(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  for (; n + 8 <= limit; n += 8) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) {
      const int bit = std::endian::native == std::endian::little ? std::countr_zero(x ^ y) : std::countl_zero(x ^ y);
      return n + static_cast<size_t>(bit / 8);
    }
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// Greedy LZ77 over a hash table of the latest position of each 3-byte prefix seen.
int compress_block(int level, const uint8_t* in, size_t length, uint8_t* out) {
  block_writer writer(out, level);
  if (length < small_input) {
    writer.literals(in, length);
    return writer.finish();
  }
  std::vector<uint32_t> latest(size_t{1} << hash_bits, 0);
  const size_t last_start = length - min_match;  // a match needs 3 readable bytes
  size_t anchor = 0;
  size_t ip = 1;  // the block must open with a literal
  while (ip <= last_start) {
    const uint32_t h = hash3(in + ip);
    const size_t ref = latest[h];
    latest[h] = static_cast<uint32_t>(ip);
    const size_t distance = ip - ref;
    size_t len = 0;
    if (distance <= max_distance(level)) len = match_length(in + ref, in + ip, max_match(level, length - ip));
    const size_t needed = level == 2 && distance > near_distance_limit_level2 ? min_far_match : min_match;
    if (len < needed) {
      // At level 1, the longer the search has failed the larger the steps: incompressible data
      // is passed over quickly, and the next match resets the pace. Level 2 looks everywhere,
      // so that it finds repeats that lie far back.
      ip += level == 1 ? 1 + ((ip - anchor) >> skip_strength) : 1;
      continue;
    }
    writer.literals(in + anchor, ip - anchor);
    writer.match(len, distance);
    ip += len;
    anchor = ip;
    // Remember the positions just before the next search, where the next match often starts.
    for (size_t p = ip - 2; p < ip && p <= last_start; ++p) latest[hash3(in + p)] = static_cast<uint32_t>(p);
  }
  writer.literals(in + anchor, length - anchor);
  return writer.finish();
}

// Reads one block; every read of input and every write of output is checked first.
int decompress_block(bool level2, const uint8_t* in, size_t length, uint8_t* out, size_t capacity) {
  size_t ip = 1;
  size_t op = 0;
  uint32_t ctrl = in[0] & 31;
  for (;;) {
    if (ctrl < 32) {
      const size_t run = ctrl + 1;
      if (run > length - ip || run > capacity - op) return 0;
      std::memcpy(out + op, in + ip, run);
      ip += run;
      op += run;
    } else {
      const uint32_t length_code = ctrl >> 5;  // 7: the long form, with length bytes
      size_t count = length_code + 2;
      size_t distance = ((ctrl & 31) << 8) + 1;
      if (length_code == 7) {
        uint8_t extra = 0;
        do {
          if (ip >= length) return 0;
          extra = in[ip++];
          count += extra;
          if (count > capacity - op) return 0;  // also stops a run of 255s from growing count
        } while (level2 && extra == 255);
      }
      if (ip >= length) return 0;
      const uint8_t low = in[ip++];
      distance += low;
      if (level2 && distance - 1 == far_escape) {
        if (length - ip < 2) return 0;
        distance = far_distance_base + (size_t{in[ip]} << 8 | in[ip + 1]);
        ip += 2;
      }
      if (distance > op || count > capacity - op) return 0;
      const uint8_t* from = out + op - distance;
      if (distance >= count) {
        std::memcpy(out + op, from, count);
      } else {
        // Byte by byte: the copy repeats what it has just written.
        for (size_t i = 0; i < count; ++i) out[op + i] = from[i];
      }
      op += count;
    }
    if (ip >= length) return static_cast<int>(op);
    ctrl = in[ip++];
  }
}

}  // namespace

extern "C" {

int fastlz_compress(const void* input, int length, void* output) {
  return fastlz_compress_level(length < 65536 ? 1 : 2, input, length, output);
}

int fastlz_compress_level(int level, const void* input, int length, void* output) {
  if ((level != 1 && level != 2) || length <= 0) return 0;
  return compress_block(level, static_cast<const uint8_t*>(input), static_cast<size_t>(length),
                        static_cast<uint8_t*>(output));
}

int fastlz_decompress(const void* input, int length, void* output, int maxout) {
  if (length <= 0 || maxout <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(input);
  const int level = (in[0] >> 5) + 1;
  if (level != 1 && level != 2) return 0;
  return decompress_block(level == 2, in, static_cast<size_t>(length), static_cast<uint8_t*>(output),
                          static_cast<size_t>(maxout));
}

}  // extern "C"
