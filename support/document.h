// A parsed configuration or model text: a tree of named elements with typed values, read from
// a URL or from memory in either the parenthesised reader format or XML. The document owns the
// symbols (names and string values) and the macros defined by reader texts; callers own the
// elements they read and free them with deallocate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "brindle_export.h"
#include "symbol_table.h"
#include "url_reader.h"

namespace brindle {

class rdr_parser;
class xml_parser;

class BRINDLE_EXPORT Document : public SymbolTable {
public:
  enum Error { ok = 0, load_failed = 1, parse_failed = 2 };
  enum value_kind : uint32_t { string_value = 1, integer_value = 2, real_value = 3 };

  struct Value {
    const char* name = nullptr;  // symbol: "val0", "val1", ... or an XML attribute's name
    uint32_t kind = string_value;
    union {
      const char* string;  // symbol
      int32_t integer;
      double real;
    };
    Value() : real(0) {}
  };

  struct Element {
    const char* name = nullptr;  // symbol
    std::vector<Value> values;
    std::vector<Element> children;
    uint32_t num_values() const { return static_cast<uint32_t>(values.size()); }
    uint32_t num_children() const { return static_cast<uint32_t>(children.size()); }
  };

  Document();
  ~Document() override;

  // Loads url and parses it (the URL is the source name in messages).
  Error read(const char* url, Element& out);
  // Parses a NUL-terminated text; its source name in messages is "internal string".
  Error readString(const char* text, Element& out);
  // Picks the format from the first bytes and parses length bytes of data.
  Error parse(const char* data, size_t length, const char* source, Element& out);

  // The first child of parent named name; null when none or when parent is null.
  Element* findTag(const char* name, Element* parent);
  // The first child named name after the child after (from the first when after is null).
  Element* findNextTag(const char* name, Element* parent, Element* after);
  // The first value of element named name; null when none.
  Value* findValue(const char* name, Element* element);

  // Hash of the values and children (not the names) of element; 0 for null.
  static uint32_t checksum(const Element* element);
  // Deep copy into destination; symbols are shared.
  static void duplicate(const Element& source, Element& destination);
  // Frees the values and children of element, not element itself.
  static void deallocate(Element& element);
  // The tree on standard output, as XML or as reader text.
  static void printAsXML(const Element& element);
  static void printAsReader(const Element& element);

  // Macro bodies defined by reader texts, kept for later reads with the same document.
  const Element* macro(const char* name);
  // Defines or redefines a macro; a redefinition frees the old body.
  void define_macro(const char* name, Element&& body);

private:
  URL_reader url_reader_;
  std::unique_ptr<rdr_parser> reader_;
  std::unique_ptr<xml_parser> xml_;
};

}  // namespace brindle
