// The XML form of a document: detects XML by its first bytes, transcodes the text to UTF-8 and
// maps it onto Document elements (tags become elements, attributes become named values). The
// parser belongs to one Document and builds everything through it; the caller owns the result.
#pragma once

#include <cstddef>

#include "document.h"

namespace brindle {

class xml_parser {
public:
  explicit xml_parser(Document& document);
  ~xml_parser();
  xml_parser(const xml_parser&) = delete;
  xml_parser& operator=(const xml_parser&) = delete;

  // Parses length bytes of data (not NUL-terminated); out becomes the first top-level element.
  // Errors are printed with source as the text's name.
  Document::Error parse(const char* data, size_t length, const char* source, Document::Element& out);
  // Whether the first bytes of data mark an XML text in one of the supported encodings.
  static bool looks_like_xml(const char* data, size_t length);

private:
  Document& document_;
};

}  // namespace brindle
