#include "xml_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "text_encoding.h"

namespace brindle {

namespace {

// The encodings read, numbered as in the IANA character set registry; the transcoding
// messages quote the number.
enum class encoding : int {
  none = 0,
  ascii = 3,
  latin1 = 4,
  utf8 = 106,
  utf16be = 1013,
  utf16le = 1014,
  ucs4be = 1018,
  ucs4le = 1019,
};

constexpr char malformed_file[] = "Malformed XML file detected\n";
constexpr char decoding_error[] = "Error decoding this text encoding (%d).\n";
constexpr char encoding_error[] = "Error encoding this text encoding (%d).\n";

// Syntax errors, printed as "source:line: error: message".
constexpr char equal_expected[] = "equal sign (=) expected";
constexpr char attribute_expected[] = "attribute expected";
constexpr char mismatched_end_tag[] = "mismatched end tag";
constexpr char no_document_tag[] = "no document tag found";
constexpr char quote_expected[] = "quote (either ' or \") expected";
constexpr char greater_than_expected[] = "greater than sign (>) expected";
constexpr char illegal_ampersand[] = "illegal use of ampersand (&)";
constexpr char unexpected_end[] = "unexpected end of xml data";
constexpr char tag_name_expected[] = "tag name expected";
constexpr char nested_too_deeply[] = "elements nested more than 1000 deep";

// Open elements are kept on an explicit stack, so this bounds memory, not the call stack.
constexpr size_t max_depth = 1000;

// Text after a UTF-8 byte-order mark, which transcoding also produces from a UTF-16 one.
std::string_view without_byte_order_mark(std::string_view text) {
  constexpr std::string_view mark = "\xEF\xBB\xBF";
  return text.substr(0, mark.size()) == mark ? text.substr(mark.size()) : text;
}

// The encoding that the first bytes announce; none when they do not look like XML.
encoding detect(const char* data, size_t length) {
  struct pattern {
    const char* bytes;
    size_t size;
    encoding found;
  };
  static constexpr pattern patterns[] = {
      {"\x00\x00\x00\x3C", 4, encoding::ucs4be},  {"\x3C\x00\x00\x00", 4, encoding::ucs4le},
      {"\x3C\x3F\x78\x6D", 4, encoding::utf8},    {"\x3C\x00\x3F\x00", 4, encoding::utf16le},
      {"\x00\x3C\x00\x3F", 4, encoding::utf16be}, {"\xEF\xBB\xBF", 3, encoding::utf8},
      {"\xFE\xFF", 2, encoding::utf16be},         {"\xFF\xFE", 2, encoding::utf16le},
  };
  for (const pattern& p : patterns)
    if (length >= p.size && std::memcmp(data, p.bytes, p.size) == 0) return p.found;
  return encoding::none;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    return lower(x) == lower(y);
  });
}

// The encoding an 8-bit text's declaration may name, matched without regard to case.
encoding encoding_named(std::string_view name) {
  static constexpr struct {
    std::string_view name;
    encoding found;
  } names[] = {
      {"UTF-8", encoding::utf8},          {"ISO-8859-1", encoding::latin1},
      {"ISO-LATIN-1", encoding::latin1},  {"ISO LATIN 1", encoding::latin1},
      {"LATIN1", encoding::latin1},       {"ASCII", encoding::ascii},
      {"US-ASCII", encoding::ascii},
  };
  for (const auto& known : names)
    if (equal_ignoring_case(name, known.name)) return known.found;
  return encoding::none;
}

// The encoding that the declaration of an 8-bit text names: UTF-8 when there is none or it
// names none, none when the name is unknown or unquoted. Only the declaration itself is
// searched (on the first line, up to "?>"), so an attribute called encoding is not taken for it.
encoding declared_encoding(std::string_view text) {
  text = without_byte_order_mark(text);
  if (text.substr(0, 5) != "<?xml") return encoding::utf8;
  std::string_view line = text.substr(0, text.find_first_of("\r\n"));
  line = line.substr(0, line.find("?>"));
  constexpr std::string_view key = "encoding=";
  size_t at = line.find(key);
  if (at == std::string_view::npos) return encoding::utf8;
  at += key.size();
  if (at == line.size() || (line[at] != '"' && line[at] != '\'')) return encoding::none;
  const size_t close = line.find(line[at], at + 1);
  if (close == std::string_view::npos) return encoding::none;
  return encoding_named(line.substr(at + 1, close - at - 1));
}

// Appends c in UTF-8; false when UTF-8 cannot carry it (a surrogate or beyond U+10FFFF).
bool append_utf8(std::string& out, uint32_t c) {
  if (is_surrogate(c) || c > 0x10FFFF) return false;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return true;
}

uint32_t unit16(const unsigned char* s, bool big_endian) {
  return big_endian ? s[0] << 8 | s[1] : s[1] << 8 | s[0];
}

// Each next_* (next_utf8 in text_encoding.h) reads one character at s[i] (i < n) and moves i
// past it; false when the bytes are not a well-formed character of that encoding (overlong or
// truncated sequences included).
bool next_utf16(const unsigned char* s, size_t n, size_t& i, uint32_t& c, bool big_endian) {
  if (n - i < 2) return false;
  c = unit16(s + i, big_endian);
  i += 2;
  if (!is_surrogate(c)) return true;
  if (c >= 0xDC00 || n - i < 2) return false;
  const uint32_t low = unit16(s + i, big_endian);
  if (low < 0xDC00 || low > 0xDFFF) return false;
  i += 2;
  c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
  return true;
}

bool next_ucs4(const unsigned char* s, size_t n, size_t& i, uint32_t& c, bool big_endian) {
  if (n - i < 4) return false;
  const unsigned char* b = s + i;
  c = big_endian ? uint32_t(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]
                 : uint32_t(b[3]) << 24 | b[2] << 16 | b[1] << 8 | b[0];
  i += 4;
  return true;
}

bool next_character(encoding from, const unsigned char* s, size_t n, size_t& i, uint32_t& c) {
  switch (from) {
    case encoding::ascii:
      c = s[i++];
      return c < 0x80;
    case encoding::latin1:
      c = s[i++];
      return true;
    case encoding::utf16be:
    case encoding::utf16le:
      return next_utf16(s, n, i, c, from == encoding::utf16be);
    case encoding::ucs4be:
    case encoding::ucs4le:
      return next_ucs4(s, n, i, c, from == encoding::ucs4be);
    default:
      return next_utf8(s, n, i, c);
  }
}

// The text in UTF-8; false after printing why it cannot be had. U+0000 counts as
// undecodable: no XML text may hold it, and symbols could not carry it.
bool transcode(encoding from, const char* data, size_t length, std::string& out) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  out.reserve(length);
  for (size_t i = 0; i < length;) {
    uint32_t c;
    if (!next_character(from, bytes, length, i, c) || c == 0) {
      std::fprintf(stderr, decoding_error, static_cast<int>(from));
      return false;
    }
    if (!append_utf8(out, c)) {
      std::fprintf(stderr, encoding_error, static_cast<int>(from));
      return false;
    }
  }
  return true;
}

int digit_value(char c, int base) {
  if (c >= '0' && c <= '9') return c - '0' < base ? c - '0' : -1;
  const char lower = static_cast<char>(c | 0x20);
  if (base == 16 && lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

// An optional sign and the digits of base up to the first other character, taken modulo 2^32
// as the reader text's numbers are, so that both forms of a document give the same values
// (0xFFFFFFFF reads as -1).
int32_t to_int32(std::string_view text, int base) {
  size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) i = 1;
  uint32_t n = 0;
  for (; i < text.size() && digit_value(text[i], base) >= 0; ++i)
    n = n * base + static_cast<uint32_t>(digit_value(text[i], base));
  return static_cast<int32_t>(negative ? 0u - n : n);
}

// An attribute's text as a typed value: a "0x" or "0o" prefix gives a hexadecimal or octal
// integer; a text that starts with a digit is a real with one ".", a decimal integer with
// none; anything else (a leading sign included) stays a string. Conversions stop at the
// first character that does not fit.
void classify(Document& document, const std::string& text, Document::Value& value) {
  const char prefix = text.size() >= 2 && text[0] == '0' ? text[1] : '\0';
  const bool starts_with_digit = !text.empty() && text[0] >= '0' && text[0] <= '9';
  const auto dots = std::count(text.begin(), text.end(), '.');
  if (prefix == 'x' || prefix == 'X' || prefix == 'o' || prefix == 'O') {
    value.kind = Document::integer_value;
    const int base = prefix == 'x' || prefix == 'X' ? 16 : 8;
    value.integer = to_int32(std::string_view(text).substr(2), base);
  } else if (starts_with_digit && dots == 1) {
    value.kind = Document::real_value;
    value.real = std::strtod(text.c_str(), nullptr);
  } else if (starts_with_digit && dots == 0) {
    value.kind = Document::integer_value;
    value.integer = to_int32(text, 10);
  } else {
    value.kind = Document::string_value;
    value.string = document.getSymbolWithLength(text.data(), text.size());
  }
}

bool name_start(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool name_char(unsigned char c) {
  return name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// One pass over a UTF-8 text that builds its first top-level element into the output and
// checks the rest. Later top-level elements are read for syntax but not kept.
class xml_reader {
public:
  xml_reader(Document& document, std::string_view text, Document::Element& out)
      : document_(document), p_(text.data()), end_(text.data() + text.size()), out_(out) {}

  // False after a syntax error; error() and line() then say what and where.
  bool read();
  const char* error() const { return error_; }
  long line() const { return line_; }

private:
  struct open_element {
    std::string_view name;
    Document::Element* element;  // null inside a top-level element that is not kept
  };

  bool fail(const char* message) {
    error_ = message;
    return false;
  }
  bool at(std::string_view text) const {
    return std::string_view(p_, end_ - p_).substr(0, text.size()) == text;
  }
  void step();
  void move_to(const char* to) {
    while (p_ < to) step();
  }
  void skip_space();
  bool expect(char c, const char* message);
  std::string_view name();
  const char* symbol(std::string_view text) {
    return document_.getSymbolWithLength(text.data(), text.size());
  }

  bool markup();
  bool skip_past(size_t opener, std::string_view terminator);
  bool doctype();
  bool start_tag();
  Document::Element* open_child(std::string_view tag);
  bool attribute(Document::Element* element);
  bool end_tag();
  bool character_data();
  bool reference(std::string& out);
  bool character_reference(std::string& out);

  Document& document_;
  const char* p_;
  const char* const end_;
  Document::Element& out_;
  long line_ = 1;
  const char* error_ = nullptr;
  bool root_read_ = false;
  std::vector<open_element> open_;
  std::string text_;  // the current attribute value or character data, references replaced
};

bool xml_reader::read() {
  while (p_ < end_)
    if (!(*p_ == '<' ? markup() : character_data())) return false;
  if (!open_.empty()) return fail(unexpected_end);
  if (!root_read_) return fail(no_document_tag);
  return true;
}

// Moves past one character. A line feed, a carriage return, and the pair of both each end
// one line: a carriage return counts only when no line feed follows it.
void xml_reader::step() {
  if (*p_ == '\n' || (*p_ == '\r' && (p_ + 1 == end_ || p_[1] != '\n'))) ++line_;
  ++p_;
}

void xml_reader::skip_space() {
  while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) step();
}

bool xml_reader::expect(char c, const char* message) {
  if (p_ == end_) return fail(unexpected_end);
  if (*p_ != c) return fail(message);
  step();
  return true;
}

std::string_view xml_reader::name() {
  const char* begin = p_;
  if (p_ < end_ && name_start(*p_))
    while (p_ < end_ && name_char(*p_)) ++p_;
  return {begin, static_cast<size_t>(p_ - begin)};
}

bool xml_reader::markup() {
  if (at("<!--")) return skip_past(4, "-->");
  if (at("<![CDATA[")) return skip_past(9, "]]>");  // character data, ignored like the rest
  if (at("<!DOCTYPE")) return doctype();
  if (at("<?")) return skip_past(2, "?>");
  if (at("</")) return end_tag();
  return start_tag();
}

// Skips from the opener (opener bytes long) past the terminator.
bool xml_reader::skip_past(size_t opener, std::string_view terminator) {
  const size_t found = std::string_view(p_, end_ - p_).find(terminator, opener);
  if (found == std::string_view::npos) {
    move_to(end_);
    return fail(unexpected_end);
  }
  move_to(p_ + found + terminator.size());
  return true;
}

// Skips a document type declaration. Its internal subset, between "[" and "]", holds
// declarations of its own, and a ">" inside quotes or comments ends nothing.
bool xml_reader::doctype() {
  move_to(p_ + 9);
  bool in_subset = false;
  while (p_ < end_) {
    if (at("<!--")) {
      if (!skip_past(4, "-->")) return false;
      continue;
    }
    const char c = *p_;
    if (c == '"' || c == '\'') {
      const void* close = std::memchr(p_ + 1, c, end_ - p_ - 1);
      if (!close) break;
      move_to(static_cast<const char*>(close) + 1);
      continue;
    }
    step();
    if (c == '[') in_subset = true;
    if (c == ']') in_subset = false;
    if (c == '>' && !in_subset) return true;
  }
  move_to(end_);
  return fail(unexpected_end);
}

bool xml_reader::start_tag() {
  step();  // '<'
  const std::string_view tag = name();
  if (tag.empty()) return fail(p_ == end_ ? unexpected_end : tag_name_expected);
  if (open_.size() >= max_depth) return fail(nested_too_deeply);
  Document::Element* element = open_child(tag);
  for (;;) {
    skip_space();
    if (p_ == end_) return fail(unexpected_end);
    if (*p_ == '>') {
      step();
      open_.push_back({tag, element});
      return true;
    }
    if (*p_ == '/') {
      step();
      return expect('>', greater_than_expected);
    }
    if (!attribute(element)) return false;
  }
}

// The element for a new start tag: a child of the open element, the output for the first
// top-level element, or null when it is not kept.
Document::Element* xml_reader::open_child(std::string_view tag) {
  Document::Element* element = nullptr;
  if (!open_.empty()) {
    if (Document::Element* parent = open_.back().element) element = &parent->children.emplace_back();
  } else if (!root_read_) {
    root_read_ = true;
    element = &out_;
    out_.values.clear();
    out_.children.clear();
  }
  if (element) element->name = symbol(tag);
  return element;
}

bool xml_reader::attribute(Document::Element* element) {
  const std::string_view key = name();
  if (key.empty()) return fail(attribute_expected);
  skip_space();
  if (!expect('=', equal_expected)) return false;
  skip_space();
  if (p_ == end_) return fail(unexpected_end);
  const char quote = *p_;
  if (quote != '"' && quote != '\'') return fail(quote_expected);
  step();
  text_.clear();
  while (p_ < end_ && *p_ != quote) {
    if (*p_ == '&') {
      if (!reference(text_)) return false;
    } else {
      text_ += *p_;
      step();
    }
  }
  if (p_ == end_) return fail(unexpected_end);
  step();  // the closing quote
  if (element) {
    Document::Value& value = element->values.emplace_back();
    value.name = symbol(key);
    classify(document_, text_, value);
  }
  return true;
}

bool xml_reader::end_tag() {
  move_to(p_ + 2);
  const std::string_view tag = name();
  skip_space();
  if (p_ == end_) return fail(unexpected_end);
  if (open_.empty() || open_.back().name != tag) return fail(mismatched_end_tag);
  if (!expect('>', greater_than_expected)) return false;
  open_.pop_back();
  return true;
}

// Character data is not kept, but its references must still be well formed.
bool xml_reader::character_data() {
  text_.clear();
  while (p_ < end_ && *p_ != '<') {
    if (*p_ == '&') {
      if (!reference(text_)) return false;
    } else {
      step();
    }
  }
  return true;
}

// Appends the character that the reference at "&" stands for: one of the five predefined
// entities or a character number, which may name any character and is stored in UTF-8.
bool xml_reader::reference(std::string& out) {
  step();  // '&'
  if (p_ < end_ && *p_ == '#') return character_reference(out);
  static constexpr struct {
    std::string_view name;
    char stands_for;
  } entities[] = {{"amp", '&'}, {"apos", '\''}, {"quot", '"'}, {"lt", '<'}, {"gt", '>'}};
  const std::string_view entity = name();
  if (!expect(';', illegal_ampersand)) return false;
  for (const auto& known : entities) {
    if (entity == known.name) {
      out += known.stands_for;
      return true;
    }
  }
  return fail(illegal_ampersand);
}

bool xml_reader::character_reference(std::string& out) {
  step();  // '#'
  int base = 10;
  if (p_ < end_ && *p_ == 'x') {
    base = 16;
    step();
  }
  uint32_t code = 0;
  size_t digits = 0;
  // Past U+10FFFF every number is equally wrong; capping it there keeps it from overflowing.
  for (; p_ < end_ && digit_value(*p_, base) >= 0; ++p_, ++digits)
    code = std::min<uint32_t>(code * base + digit_value(*p_, base), 0x110000);
  if (!expect(';', illegal_ampersand)) return false;
  if (digits == 0 || code == 0 || !append_utf8(out, code)) return fail(illegal_ampersand);
  return true;
}

}  // namespace

xml_parser::xml_parser(Document& document) : document_(document) {}

xml_parser::~xml_parser() = default;

bool xml_parser::looks_like_xml(const char* data, size_t length) {
  return detect(data, length) != encoding::none;
}

Document::Error xml_parser::parse(const char* data, size_t length, const char* source,
                                  Document::Element& out) {
  // UTF-16 and UCS-4 texts are known by their first bytes; 8-bit texts by their declaration.
  // A text without either is taken as UTF-8.
  encoding from = detect(data, length);
  if (from == encoding::none || from == encoding::utf8) from = declared_encoding({data, length});
  if (from == encoding::none) {
    std::fputs(malformed_file, stderr);
    return Document::parse_failed;
  }
  std::string utf8;
  if (!transcode(from, data, length, utf8)) return Document::parse_failed;
  xml_reader reader(document_, without_byte_order_mark(utf8), out);
  if (reader.read()) return Document::ok;
  std::fprintf(stderr, "%s:%li: error: %s\n", source, reader.line(), reader.error());
  return Document::parse_failed;
}

}  // namespace brindle
