#include "diagnostic.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace brindle {

void diagnostic(const char* tag, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int text = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  const size_t tag_length = std::strlen(tag);
  const size_t head = tag_length + 2;
  const size_t length = head + (text > 0 ? static_cast<size_t>(text) : 0) + 1;
  // Lines of the usual length are made on the stack: some are printed on the way to an abort,
  // when the heap may be what went wrong.
  char small[1024];
  std::string large;
  char* line = small;
  if (length > sizeof small) {
    large.resize(length);
    line = large.data();
  }
  std::memcpy(line, tag, tag_length);
  line[tag_length] = ':';
  line[tag_length + 1] = ' ';
  // The text's terminating zero lands where the line feed goes.
  if (text > 0) std::vsnprintf(line + head, static_cast<size_t>(text) + 1, format, again);
  va_end(again);
  line[length - 1] = '\n';
  // One call with the whole line: stdio holds the stream's lock for it, and stderr, being
  // unbuffered, passes it on in a single write.
  std::fwrite(line, 1, length, stderr);
}

}  // namespace brindle
