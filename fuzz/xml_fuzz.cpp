// XML documents from bytes: every input goes to the XML reader, whatever its first bytes, so
// the transcoding and the tokenizer both see arbitrary data. A document that is read must be
// whole: every element and value named, every string present, no deeper than the reader allows.
#include <cstddef>
#include <cstdint>

#include "document.h"
#include "xml_parser.h"

using namespace brindle;

namespace {

size_t depth_of(const Document::Element& element) {
  if (!element.name) __builtin_trap();
  for (const Document::Value& value : element.values)
    if (!value.name || (value.kind == Document::string_value && !value.string)) __builtin_trap();
  size_t deepest = 0;
  for (const Document::Element& child : element.children) {
    const size_t depth = depth_of(child);
    if (depth > deepest) deepest = depth;
  }
  return deepest + 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  xml_parser::looks_like_xml(text, size);
  Document document;
  xml_parser parser(document);
  Document::Element element;
  if (parser.parse(text, size, "fuzz", element) == Document::ok && depth_of(element) > 1000)
    __builtin_trap();
  return 0;
}
