// The parenthesised reader text: words, quoted strings, comments, nested lists and "{...}"
// macros, turned into Document elements. The parser belongs to one Document and builds every
// name, string and macro through it; the caller owns the element it gets back.
#pragma once

#include <cstddef>

#include "document.h"

namespace brindle {

class rdr_parser {
public:
  // Lists and macro bodies nest at most this deep, counting from the outermost list; macro
  // expansion may not build a deeper tree either.
  static constexpr unsigned max_nesting = 100;
  // Bytes of values and elements that macro expansion may add within one parse, so that a
  // short text of macros that use macros cannot grow without limit.
  static constexpr size_t max_expanded_bytes = size_t{4} << 20;

  explicit rdr_parser(Document& document);

  // Parses length bytes of data (not NUL-terminated) into out; source names the text in
  // messages. out is replaced only when the text holds a document.
  Document::Error parse(const char* data, size_t length, const char* source,
                        Document::Element& out);

private:
  Document& document_;
};

}  // namespace brindle
