// Documents from bytes: the format choice and the reader text (XML inputs go to the XML
// reader). Each input is read twice by the same document, so macros it defines are redefined
// and expanded across reads; whatever is read is then copied, summed, searched and freed.
#include <cstddef>
#include <cstdint>

#include "document.h"

using namespace brindle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Document document;
  const char* text = reinterpret_cast<const char*>(data);
  for (int pass = 0; pass < 2; ++pass) {
    Document::Element element;
    if (document.parse(text, size, "fuzz", element) != Document::ok) continue;
    Document::Element copy;
    Document::duplicate(element, copy);
    if (Document::checksum(&copy) != Document::checksum(&element)) __builtin_trap();
    for (Document::Element* child = document.findTag("order", &copy); child;
         child = document.findNextTag("order", &copy, child))
      document.findValue("val0", child);
    Document::deallocate(element);
  }
  return 0;
}
