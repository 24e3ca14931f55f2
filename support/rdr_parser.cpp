#include "rdr_parser.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace brindle {

namespace {

using Element = Document::Element;
using Value = Document::Value;

constexpr char unterminated_string[] = "%s:%u: error: unterminated string\n";
constexpr char unbalanced_parentheses[] = "%s:%u: error: unbalanced parentheses\n";
constexpr char unexpected_macro_definition[] = "%s:%u: error: unexpected macro definition\n";
constexpr char illegal_characters[] = "%s:%u: error: illegal characters\n";
constexpr char macro_expansion_too_large[] = "%s:%u: error: macro expansion too large\n";
constexpr char macro_expansion_too_deep[] = "%s:%u: error: macro expansion too deep\n";
constexpr char runaway_recursion[] = "%s: error: runaway recursion while parsing\n";
constexpr char missing_data[] = "RDR_parser error: missing data\n";

// What one nesting level has read so far.
struct items {
  std::vector<Value> values;
  std::vector<Element> children;
};

enum class level_kind { outermost, list, macro_body };

// How reading a level stopped: at its closing bracket, at the end of the data, or at an error
// that has been reported.
enum class outcome { closed, ended, failed };

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_word_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' || c == '-' ||
         c == '+' || c == '.' || c == ':' || c == '\\' || c == '/';
}

int digit_value(char c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// An optional sign, then the digits of base up to the first character that is not one. The
// number is taken modulo 2^32, as the conversion to an unsigned 32-bit number does, so a number
// too large for 32 bits wraps (0xFFFFFFFF reads as -1) instead of overflowing.
int32_t to_integer(std::string_view text, unsigned base) {
  size_t i = 0;
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    negative = text[0] == '-';
    i = 1;
  }
  uint32_t n = 0;
  for (; i < text.size(); ++i) {
    const int digit = digit_value(text[i]);
    if (digit >= static_cast<int>(base)) break;
    n = n * base + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0u - n : n);
}

// Only digits and dots after an optional sign; dots counts the dots.
bool is_numeric(std::string_view word, size_t& dots) {
  dots = 0;
  for (size_t i = (word[0] == '+' || word[0] == '-') ? 1 : 0; i < word.size(); ++i) {
    if (word[i] == '.')
      ++dots;
    else if (!is_digit(word[i]))
      return false;
  }
  return true;
}

// A number when the word reads as one; words such as 224.22.0.0 or 1e5 are not numbers.
bool read_number(std::string_view word, Value& value) {
  if (word.size() >= 2 && word[0] == '0') {
    const char prefix = word[1];
    if (prefix == 'x' || prefix == 'X' || prefix == 'o' || prefix == 'O') {
      value.kind = Document::integer_value;
      value.integer = to_integer(word.substr(2), prefix == 'x' || prefix == 'X' ? 16 : 8);
      return true;
    }
  }
  size_t dots;
  if (!is_numeric(word, dots) || dots > 1) return false;
  if (dots == 1) {
    value.kind = Document::real_value;
    value.real = std::strtod(std::string(word).c_str(), nullptr);
  } else {
    value.kind = Document::integer_value;
    value.integer = to_integer(word, 10);
  }
  return true;
}

// What copying an element's values and children adds: their bytes, and how many levels the
// children take up below the element.
struct footprint {
  size_t bytes = 0;
  unsigned height = 0;
};

footprint measure_contents(const Element& element) {
  footprint f{element.values.size() * sizeof(Value), 0};
  for (const Element& child : element.children) {
    const footprint inner = measure_contents(child);
    f.bytes += sizeof(Element) + inner.bytes;
    f.height = std::max(f.height, inner.height + 1);
  }
  return f;
}

// One parse of one text. Every scan stops at length: the data has no terminating NUL.
class text_reader {
public:
  text_reader(Document& document, const char* data, size_t length, const char* source)
      : document_(document), data_(data), length_(length), source_(source),
        anonymous_(document.getSymbol("anonymous")) {}

  Document::Error read(Element& out);

private:
  outcome read_items(level_kind kind, unsigned depth, items& read);
  bool read_nested(level_kind kind, unsigned depth, Element& built);
  bool read_macro_definition(unsigned depth, items& read);
  void read_string(items& read);
  bool read_word(unsigned depth, items& read);
  bool expand(const Element& body, unsigned depth, items& read);
  Element build(items&& read);
  const char* value_name(size_t index);
  void skip_line_break();
  void skip_comment();
  void report(const char* format) const { std::fprintf(stderr, format, source_, line_); }

  Document& document_;
  const char* const data_;
  const size_t length_;
  const char* const source_;
  const char* const anonymous_;
  size_t pos_ = 0;
  unsigned line_ = 1;
  size_t expanded_bytes_ = 0;
  std::vector<const char*> value_names_;  // "val0", "val1", ... interned once per parse
};

Document::Error text_reader::read(Element& out) {
  items top;
  switch (read_items(level_kind::outermost, 0, top)) {
    case outcome::failed:
      return Document::parse_failed;
    case outcome::closed:  // a ")" at the outermost level ends the text early
      out = build(std::move(top));
      return Document::ok;
    case outcome::ended:
      break;
  }
  if (top.children.empty()) {
    std::fputs(missing_data, stderr);
    return Document::ok;
  }
  out = std::move(top.children.back());
  return Document::ok;
}

outcome text_reader::read_items(level_kind kind, unsigned depth, items& read) {
  while (pos_ < length_) {
    switch (data_[pos_]) {
      case ' ':
      case '\t':
        ++pos_;
        break;
      case '\n':
      case '\r':
        skip_line_break();
        break;
      case ';':
        skip_comment();
        break;
      case '"':
        read_string(read);
        break;
      case '(': {
        Element child;
        if (!read_nested(level_kind::list, depth, child)) return outcome::failed;
        read.children.push_back(std::move(child));
        break;
      }
      case '{':
        if (!read_macro_definition(depth, read)) return outcome::failed;
        break;
      case ')':
        ++pos_;
        if (kind != level_kind::macro_body) return outcome::closed;
        report(unbalanced_parentheses);
        return outcome::failed;
      case '}':
        ++pos_;
        if (kind == level_kind::macro_body) return outcome::closed;
        report(unbalanced_parentheses);
        return outcome::failed;
      default:
        if (!read_word(depth, read)) return outcome::failed;
    }
  }
  return outcome::ended;
}

// A list or macro body from its opening bracket to its closing one. One left open when the
// data ends is unbalanced: a truncated text must not pass for a whole one.
bool text_reader::read_nested(level_kind kind, unsigned depth, Element& built) {
  ++pos_;
  if (depth + 1 > rdr_parser::max_nesting) {
    std::fprintf(stderr, runaway_recursion, source_);
    return false;
  }
  items inner;
  switch (read_items(kind, depth + 1, inner)) {
    case outcome::failed:
      return false;
    case outcome::ended:
      report(unbalanced_parentheses);
      return false;
    case outcome::closed:
      break;
  }
  built = build(std::move(inner));
  return true;
}

// NAME { body }: the name stays among the values; the body is kept in the document for this
// and later reads.
bool text_reader::read_macro_definition(unsigned depth, items& read) {
  if (read.values.empty() || read.values.back().kind != Document::string_value) {
    report(unexpected_macro_definition);
    return false;
  }
  const char* name = read.values.back().string;
  Element body;
  if (!read_nested(level_kind::macro_body, depth, body)) return false;
  document_.define_macro(name, std::move(body));
  return true;
}

// Runs to the next quote not directly after a backslash; the backslash is kept. A string
// broken by a line end (or by the end of the data) is reported and dropped, and reading goes on
// at the break.
void text_reader::read_string(items& read) {
  const size_t start = ++pos_;
  for (; pos_ < length_; ++pos_) {
    const char c = data_[pos_];
    if (c == '"' && data_[pos_ - 1] != '\\') {
      Value value;
      value.string = document_.getSymbolWithLength(data_ + start, pos_ - start);
      read.values.push_back(value);
      ++pos_;
      return;
    }
    if (c == '\n' || c == '\r') break;
  }
  report(unterminated_string);
}

bool text_reader::read_word(unsigned depth, items& read) {
  const size_t start = pos_;
  while (pos_ < length_ && is_word_char(data_[pos_])) ++pos_;
  if (pos_ == start) {
    report(illegal_characters);
    return false;
  }
  const std::string_view word(data_ + start, pos_ - start);
  Value value;
  if (!read_number(word, value)) {
    value.string = document_.getSymbolWithLength(word.data(), word.size());
    if (const Element* body = document_.macro(value.string)) return expand(*body, depth, read);
  }
  read.values.push_back(value);
  return true;
}

// Appends the body's values and copies of its children to the level being read. Bodies may
// use other macros, so each expansion is checked against the nesting limit and the per-parse
// budget before anything is copied.
bool text_reader::expand(const Element& body, unsigned depth, items& read) {
  const footprint f = measure_contents(body);
  if (depth + f.height > rdr_parser::max_nesting) {
    report(macro_expansion_too_deep);
    return false;
  }
  if (f.bytes > rdr_parser::max_expanded_bytes - expanded_bytes_) {
    report(macro_expansion_too_large);
    return false;
  }
  expanded_bytes_ += f.bytes;
  read.values.insert(read.values.end(), body.values.begin(), body.values.end());
  read.children.insert(read.children.end(), body.children.begin(), body.children.end());
  return true;
}

// A leading string names the element (else it is "anonymous"); the other values are named by
// position.
Element text_reader::build(items&& read) {
  Element element;
  std::vector<Value>& values = read.values;
  if (!values.empty() && values.front().kind == Document::string_value) {
    element.name = values.front().string;
    values.erase(values.begin());
  } else {
    element.name = anonymous_;
  }
  for (size_t i = 0; i < values.size(); ++i) values[i].name = value_name(i);
  element.values = std::move(values);
  element.children = std::move(read.children);
  return element;
}

const char* text_reader::value_name(size_t index) {
  while (value_names_.size() <= index) {
    char name[32];
    std::snprintf(name, sizeof name, "val%zu", value_names_.size());
    value_names_.push_back(document_.getSymbol(name));
  }
  return value_names_[index];
}

// LF, CR and CR LF each end one line.
void text_reader::skip_line_break() {
  if (data_[pos_++] == '\r' && pos_ < length_ && data_[pos_] == '\n') ++pos_;
  ++line_;
}

void text_reader::skip_comment() {
  while (pos_ < length_ && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
}

}  // namespace

rdr_parser::rdr_parser(Document& document) : document_(document) {}

Document::Error rdr_parser::parse(const char* data, size_t length, const char* source,
                                  Document::Element& out) {
  return text_reader(document_, data, length, source).read(out);
}

}  // namespace brindle
