#include "document.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>

#include "rdr_parser.h"
#include "xml_parser.h"

namespace brindle {

namespace {

constexpr char unknown_file_format[] = "%s: unknown file format\n";

// The text to print for a name or string that may be missing.
const char* text_of(const char* symbol) { return symbol ? symbol : ""; }

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reader text opens with a comment or a list once the white space is skipped.
bool looks_like_reader_text(const char* data, size_t length) {
  size_t i = 0;
  while (i < length && is_blank(data[i])) ++i;
  return i < length && (data[i] == ';' || data[i] == '(');
}

void free_macro(const char* symbol, void* context) {
  void* body = static_cast<Document*>(context)->getSymbolValue(symbol);
  std::unique_ptr<Document::Element> owned(static_cast<Document::Element*>(body));
}

void indent(unsigned depth) { std::printf("%*s", static_cast<int>(2 * depth), ""); }

void print_value(const Document::Value& value) {
  switch (value.kind) {
    case Document::string_value:
      std::printf("%s", text_of(value.string));
      break;
    case Document::integer_value:
      std::printf("%ld", static_cast<long>(value.integer));
      break;
    case Document::real_value:
      std::printf("%f", value.real);
      break;
  }
}

void print_reader(const Document::Element& element, unsigned depth) {
  indent(depth);
  std::printf("(%s", text_of(element.name));
  for (const Document::Value& value : element.values) {
    if (value.kind == Document::string_value) {
      std::printf(" \"%s\"", text_of(value.string));
    } else {
      std::putchar(' ');
      print_value(value);
    }
  }
  if (!element.children.empty()) {
    std::putchar('\n');
    for (const Document::Element& child : element.children) print_reader(child, depth + 1);
    indent(depth);
  }
  std::printf(")\n");
}

void print_xml(const Document::Element& element, unsigned depth) {
  indent(depth);
  std::printf("<%s", text_of(element.name));
  for (const Document::Value& value : element.values) {
    std::putchar('\n');
    indent(depth);
    std::printf("    %s=\"", text_of(value.name));
    print_value(value);
    std::putchar('"');
  }
  if (element.children.empty()) {
    std::printf("/>\n");
    return;
  }
  std::printf(">\n");
  for (const Document::Element& child : element.children) print_xml(child, depth + 1);
  indent(depth);
  std::printf("</%s>\n", text_of(element.name));
}

}  // namespace

Document::Document()
    : reader_(std::make_unique<rdr_parser>(*this)), xml_(std::make_unique<xml_parser>(*this)) {}

// The symbol values are the macro bodies; the symbols themselves go with the table.
Document::~Document() { iterateThroughSymbols(free_macro, this); }

Document::Error Document::read(const char* url, Element& out) {
  URL_data* data = url ? url_reader_.load_data(url) : nullptr;
  if (!data) return load_failed;
  const Error result = parse(data->bytes.data(), data->bytes.size(), url, out);
  url_reader_.free_data(data);
  return result;
}

Document::Error Document::readString(const char* text, Element& out) {
  return parse(text, text ? std::strlen(text) : 0, "internal string", out);
}

Document::Error Document::parse(const char* data, size_t length, const char* source, Element& out) {
  out = Element{};
  out.name = getSymbol("broken");
  if (!source) source = "";
  // A document fetched over http begins with the blank line that ended the reply's header.
  size_t blanks = 0;
  while (blanks < length && std::strchr(" \t\r\n", data[blanks]) && data[blanks] != '\0') ++blanks;
  if (xml_parser::looks_like_xml(data + blanks, length - blanks))
    return xml_->parse(data + blanks, length - blanks, source, out);
  if (looks_like_reader_text(data, length)) return reader_->parse(data, length, source, out);
  std::fprintf(stderr, unknown_file_format, source);
  return parse_failed;
}

Document::Element* Document::findTag(const char* name, Element* parent) {
  return findNextTag(name, parent, nullptr);
}

Document::Element* Document::findNextTag(const char* name, Element* parent, Element* after) {
  if (!name) return nullptr;
  const char* symbol = getSymbol(name);
  if (!parent) return nullptr;
  std::vector<Element>& children = parent->children;
  size_t start = 0;
  if (after) {
    // after must be one of parent's children; std::less orders pointers into any arrays.
    const std::less<const Element*> before;
    if (children.empty() || before(after, children.data()) ||
        !before(after, children.data() + children.size()))
      return nullptr;
    start = static_cast<size_t>(after - children.data()) + 1;
  }
  for (size_t i = start; i < children.size(); ++i)
    if (children[i].name == symbol) return &children[i];
  return nullptr;
}

Document::Value* Document::findValue(const char* name, Element* element) {
  if (!name) return nullptr;
  const char* symbol = getSymbol(name);
  if (!element) return nullptr;
  for (Value& value : element->values)
    if (value.name == symbol) return &value;
  return nullptr;
}

// Names do not count, so a tree keeps its checksum under other element names. A real counts
// by the first four characters of its "%.6e" text only (1.5 and 1.50001 are equal).
uint32_t Document::checksum(const Element* element) {
  if (!element) return 0;
  uint32_t c = 0;
  for (const Value& value : element->values) {
    switch (value.kind) {
      case string_value: {
        const char* text = text_of(value.string);
        c = c * 33 + hash(text, std::strlen(text));
        break;
      }
      case integer_value:
        c = c * 33 + static_cast<uint32_t>(value.integer);
        break;
      case real_value: {
        char text[64];
        std::snprintf(text, sizeof text, "%.6e", value.real);
        for (size_t i = 0; i < 4 && text[i]; ++i)
          c = c * 33 + static_cast<uint32_t>(static_cast<signed char>(text[i]));
        break;
      }
    }
  }
  for (const Element& child : element->children) c = c * 33 + checksum(&child);
  return c;
}

void Document::duplicate(const Element& source, Element& destination) {
  Element copy = source;  // copied first: destination may lie inside source
  destination = std::move(copy);
}

void Document::deallocate(Element& element) {
  std::vector<Value>().swap(element.values);
  std::vector<Element>().swap(element.children);
}

void Document::printAsXML(const Element& element) { print_xml(element, 0); }

void Document::printAsReader(const Element& element) { print_reader(element, 0); }

const Document::Element* Document::macro(const char* name) {
  return static_cast<const Element*>(getSymbolValue(name));
}

void Document::define_macro(const char* name, Element&& body) {
  std::unique_ptr<Element> old(static_cast<Element*>(getSymbolValue(name)));
  setSymbolValue(name, std::make_unique<Element>(std::move(body)).release());
}

}  // namespace brindle
