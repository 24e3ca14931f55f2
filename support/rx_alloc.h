// Checked wrappers of the system allocator used by the support library and the pools: they
// never return null for a request (running out of memory prints the routine's name and aborts)
// and refuse obviously bad pointers the same way.
#pragma once

#include <cstddef>

#include "brindle_export.h"

namespace brindle {

void* rxmalloc(size_t n);                    // n == 0 allocates 1 byte
void* rxcalloc(size_t count, size_t size);   // zeroed; a zero count or size allocates 1 byte
void* rxrealloc(void* block, size_t n);      // null block: rxmalloc(n)
BRINDLE_EXPORT void rxfree(void* block);                    // null: nothing
BRINDLE_EXPORT char* rxstrdup(const char* text);            // null: null
char* rxstrdupcat(const char* first, const char* second);  // null parts count as ""

}  // namespace brindle
