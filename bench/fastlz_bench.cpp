// FastLZ speed: compression and decompression in MB/s at levels 1 and 2, on repetitive
// text-like data and on random data, each against memcpy of the same blocks in the same run.
// Each figure is the best of several passes, to keep a noisy machine's hiccups out.
//
// Usage: fastlz_bench [block_bytes [total_megabytes]]   (default 65536-byte blocks, 32 MB)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "fastlz.h"

namespace {

using clock_type = std::chrono::steady_clock;
using bytes = std::vector<uint8_t>;
constexpr int passes = 5;

bytes text_like(size_t n) {
  static const char* const words[] = {"federate ", "update ", "attribute ", "reflect ", "time ", "stream ",
                                      "0.25 ",     "1024 ",   "object_", "\n"};
  std::mt19937 random(1);
  bytes data;
  data.reserve(n + 16);
  while (data.size() < n) {
    const char* word = words[random() % 10];
    data.insert(data.end(), word, word + std::strlen(word));
  }
  data.resize(n);
  return data;
}

bytes random_bytes(size_t n) {
  std::mt19937 random(2);
  bytes data(n);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  return data;
}

// Best throughput of passes runs of work over total bytes, in MB/s.
template <typename work_type>
double best_mb_per_s(size_t total, work_type work) {
  double best = 0;
  for (int pass = 0; pass < passes; ++pass) {
    const auto start = clock_type::now();
    work();
    const double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    best = std::max(best, total / 1e6 / std::max(seconds, 1e-9));
  }
  return best;
}

void run(const char* name, const bytes& data, size_t block) {
  const size_t blocks = data.size() / block;
  const size_t total = blocks * block;
  const size_t bound = std::max<size_t>(66, block + block / 20 + 1);
  bytes copy(block), packed(blocks * bound), unpacked(block);
  std::vector<int> packed_size(blocks);

  const double memcpy_rate = best_mb_per_s(total, [&] {
    for (size_t i = 0; i < blocks; ++i) std::memcpy(copy.data(), data.data() + i * block, block);
  });
  std::printf("%-8s memcpy %9.0f MB/s\n", name, memcpy_rate);
  for (int level : {1, 2}) {
    const double compress_rate = best_mb_per_s(total, [&] {
      for (size_t i = 0; i < blocks; ++i)
        packed_size[i] = fastlz_compress_level(level, data.data() + i * block, static_cast<int>(block),
                                               packed.data() + i * bound);
    });
    size_t packed_total = 0;
    for (int n : packed_size) packed_total += static_cast<size_t>(n);
    bool intact = true;
    const double decompress_rate = best_mb_per_s(total, [&] {
      for (size_t i = 0; i < blocks; ++i) {
        const int n = fastlz_decompress(packed.data() + i * bound, packed_size[i], unpacked.data(),
                                        static_cast<int>(block));
        intact = intact && n == static_cast<int>(block);
      }
    });
    std::printf("%-8s level %d  compress %8.0f MB/s (%.4f x memcpy)  decompress %8.0f MB/s (%.4f x memcpy)"
                "  size %.1f%%%s\n",
                name, level, compress_rate, compress_rate / memcpy_rate, decompress_rate,
                decompress_rate / memcpy_rate, 100.0 * packed_total / total, intact ? "" : "  DECOMPRESSION FAILED");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const size_t block = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 65536;
  const size_t megabytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 32;
  if (block < 16 || block > (size_t{1} << 30) || megabytes == 0 || megabytes > 4096) {
    std::fprintf(stderr, "usage: fastlz_bench [block_bytes (16..2^30) [total_megabytes (1..4096)]]\n");
    return 2;
  }
  const size_t total = std::max(block, megabytes << 20);
  std::printf("fastlz_bench: %zu-byte blocks, %zu bytes per pass, best of %d passes\n", block, total, passes);
  run("text", text_like(total), block);
  run("random", random_bytes(total), block);
  return 0;
}
