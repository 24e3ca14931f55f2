// FastLZ decompression of arbitrary blocks, and compression round trips of arbitrary data.
// The first two bytes of an input give the output capacity (1 to 65536); the rest is the
// block. Buffers are heap copies of their exact size, so that AddressSanitizer sees any access
// past them. The same rest is also compressed at both levels and must decompress unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fastlz.h"

namespace {

void check_decompress(const std::vector<uint8_t>& block, size_t capacity) {
  std::vector<uint8_t> out(capacity);
  const int n = fastlz_decompress(block.data(), static_cast<int>(block.size()), out.data(), static_cast<int>(capacity));
  if (n < 0 || static_cast<size_t>(n) > capacity) std::abort();
}

void check_round_trip(int level, const std::vector<uint8_t>& data) {
  if (data.empty()) return;
  std::vector<uint8_t> block(std::max<size_t>(66, data.size() + data.size() / 20 + 1));
  const int n = fastlz_compress_level(level, data.data(), static_cast<int>(data.size()), block.data());
  if (n <= 0 || static_cast<size_t>(n) > block.size()) std::abort();
  block.resize(static_cast<size_t>(n));
  std::vector<uint8_t> back(data.size());
  const int m = fastlz_decompress(block.data(), n, back.data(), static_cast<int>(back.size()));
  if (m != static_cast<int>(data.size()) || back != data) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > (1 << 20)) return 0;
  const size_t capacity = (size_t{data[0]} << 8 | data[1]) + 1;
  const std::vector<uint8_t> rest(data + 2, data + size);
  if (!rest.empty()) check_decompress(rest, capacity);
  check_round_trip(1, rest);
  check_round_trip(2, rest);
  return 0;
}
