#include "rx_alloc.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace brindle {

namespace {

// No valid block lies in the first page; anything there is a corrupted pointer.
constexpr uintptr_t lowest_valid_address = 4096;

bool is_low(const void* block) { return reinterpret_cast<uintptr_t>(block) < lowest_valid_address; }

[[noreturn]] void out_of_memory(const char* routine, size_t n) {
  std::fprintf(stderr, "%s: out of memory allocating %zu bytes\n", routine, n);
  std::abort();
}

[[noreturn]] void bad_pointer(const char* routine, const void* block) {
  std::fprintf(stderr, "%s: bad pointer passed: 0x%" PRIXPTR "\n", routine, reinterpret_cast<uintptr_t>(block));
  std::abort();
}

// A block at a low address would later be refused as a bad pointer, so it is left allocated
// and the request is made again.
template <typename Allocate>
void* allocate_above_first_page(const char* routine, size_t n, Allocate allocate) {
  void* block = allocate();
  while (block && is_low(block)) block = allocate();
  if (!block) out_of_memory(routine, n);
  return block;
}

}  // namespace

void* rxmalloc(size_t n) {
  if (n == 0) n = 1;
  return allocate_above_first_page("rxmalloc", n, [n] { return std::malloc(n); });
}

void* rxcalloc(size_t count, size_t size) {
  if (count == 0 || size == 0) count = size = 1;
  if (count > SIZE_MAX / size) out_of_memory("rxcalloc", SIZE_MAX);
  return allocate_above_first_page("rxcalloc", count * size, [=] { return std::calloc(count, size); });
}

void* rxrealloc(void* block, size_t n) {
  if (!block) return rxmalloc(n);
  if (is_low(block)) bad_pointer("rxrealloc", block);
  if (n == 0) n = 1;
  void* moved = std::realloc(block, n);
  if (!moved) out_of_memory("rxrealloc", n);
  return moved;
}

void rxfree(void* block) {
  if (!block) return;
  if (is_low(block)) bad_pointer("rxfree", block);
  std::free(block);
}

char* rxstrdup(const char* text) {
  if (!text) return nullptr;
  const size_t n = std::strlen(text) + 1;
  return static_cast<char*>(std::memcpy(rxmalloc(n), text, n));
}

char* rxstrdupcat(const char* first, const char* second) {
  if (!first) first = "";
  if (!second) second = "";
  const size_t a = std::strlen(first), b = std::strlen(second);
  char* joined = static_cast<char*>(rxmalloc(a + b + 1));
  std::memcpy(joined, first, a);
  std::memcpy(joined + a, second, b + 1);
  return joined;
}

}  // namespace brindle
