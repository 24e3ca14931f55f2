// Runs a fuzz target without libFuzzer: every file of its seed corpus, then a fixed number of
// deterministic mutations of them (bytes flipped, inserted, removed, spliced), so that the
// normal and sanitizer test builds exercise each decoder on bad input too.
//
// Usage: <target>_replay CORPUS_DIR MUTATIONS
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

using bytes = std::vector<std::uint8_t>;

std::vector<bytes> read_corpus(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  std::vector<bytes> corpus;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    corpus.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return corpus;
}

bytes mutate(const std::vector<bytes>& corpus, std::mt19937& random) {
  bytes input = corpus[random() % corpus.size()];
  const int edits = 1 + random() % 8;
  for (int e = 0; e < edits; ++e) {
    const size_t at = input.empty() ? 0 : random() % (input.size() + 1);
    switch (random() % 5) {
      case 0:  // flip a byte
        if (at < input.size()) input[at] ^= static_cast<std::uint8_t>(1 + random() % 255);
        break;
      case 1:  // insert an interesting byte
        input.insert(input.begin() + at, static_cast<std::uint8_t>("\0()\"{};<>&#/:@[]\n\xff"[random() % 19]));
        break;
      case 2:  // remove a run
        if (at < input.size()) input.erase(input.begin() + at, input.begin() + std::min(input.size(), at + 1 + random() % 16));
        break;
      case 3: {  // splice in a piece of another input
        const bytes& other = corpus[random() % corpus.size()];
        if (other.empty()) break;
        size_t from = random() % other.size(), count = std::min<size_t>(other.size() - from, 1 + random() % 64);
        input.insert(input.begin() + at, other.begin() + from, other.begin() + from + count);
        break;
      }
      default:  // repeat a piece
        if (at < input.size()) {
          bytes piece(input.begin() + at, input.begin() + std::min(input.size(), at + 1 + random() % 8));
          for (int r = random() % 20; r > 0; --r) input.insert(input.begin() + at, piece.begin(), piece.end());
        }
    }
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR MUTATIONS\n", argv[0]);
    return 2;
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  const std::vector<bytes> corpus = read_corpus(argv[1]);
  if (corpus.empty()) {
    std::fprintf(stderr, "%s: no seeds in %s\n", argv[0], argv[1]);
    return 2;
  }
  for (const bytes& input : corpus) LLVMFuzzerTestOneInput(input.data(), input.size());
  std::mt19937 random(12345);
  const long mutations = std::atol(argv[2]);
  for (long i = 0; i < mutations; ++i) {
    bytes input = mutate(corpus, random);
    LLVMFuzzerTestOneInput(input.data(), input.size());
  }
  std::printf("%zu seeds and %ld mutations ran\n", corpus.size(), mutations);
  return 0;
}
