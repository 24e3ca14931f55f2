// The console's line editor and command grammar. A command tree is a tree of keyword tables:
// each keyword has a help line and either opens a sub-table (fixed, or built each time it is
// reached) or takes arguments (numbers, strings, free words, keyword choices; from the first
// optional one on, all may be left out) and runs its handler. A terminal owns one parse_context
// (its line, cursor, prompt, top-level table and enable state) and feeds it keystrokes; the
// context edits the line, answers '?' with help and TAB with completion, and on a line end
// parses the line, runs the handler or shows the error under a caret without running anything.
//
// One process-wide lock serializes every call into the parser, so terminals fed from different
// threads never interleave; handlers run under it and may call back in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "parser_export.h"

namespace parser {

enum class arg_kind {
  number,  // decimal, octal with a leading 0, hexadecimal with 0x; a leading '-' is allowed
  string,  // one word, or text in double quotes
  word,    // one word, shown as a free word in help
  choice,  // one of the choices, given by an unambiguous abbreviation
};

struct parse_arg {
  arg_kind kind = arg_kind::word;
  std::string help;                  // what the argument is
  std::vector<std::string> choices;  // for a choice
  bool optional = false;             // this argument and every later one may be left out
};

// One argument as the handler gets it. A number holds its value, a choice its position.
struct parse_value {
  bool present = false;
  int64_t number = 0;
  std::string text;  // as typed; a choice spelled out in full
};

class parse_context;
struct parse_table;
using table_ptr = std::shared_ptr<parse_table>;
using parse_handler = std::function<void(parse_context&, const std::vector<parse_value>&)>;
using table_builder = std::function<table_ptr(parse_context&)>;

struct parse_keyword {
  // An empty name makes a keyword of free words: a word that names no other keyword of its
  // table is taken as its first argument (a remote terminal's line, whatever it says).
  std::string name;
  std::string help;
  table_ptr sub;                // the next word comes from this table
  table_builder build;          // or from a table built each time the keyword is reached
  std::vector<parse_arg> args;  // taken when the next word is not in the sub-table
  parse_handler handler;        // runs when the line ends at this keyword or its arguments
};

struct parse_table {
  std::string heading;
  std::vector<parse_keyword> keywords;
};

// The longest line a context keeps; keystrokes beyond it are refused.
constexpr size_t max_line = 1024;

// Where handlers print: forwards to the context's writer.
class PARSER_EXPORT writer_buf : public std::streambuf {
public:
  using writer = std::function<void(const char* bytes, size_t length)>;
  explicit writer_buf(writer to) : to_(std::move(to)) {}

protected:
  int_type overflow(int_type ch) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;

private:
  writer to_;
};

// One terminal's editing and parsing state. Terminals may derive from it to carry their own
// data to the handlers. Text goes out through the writer with plain line feeds; the line is
// redrawn with carriage returns only, so a terminal may show every other control character
// as it likes.
class PARSER_EXPORT parse_context {
public:
  explicit parse_context(writer_buf::writer out);
  virtual ~parse_context() = default;
  parse_context(const parse_context&) = delete;
  parse_context& operator=(const parse_context&) = delete;

  std::ostream& out() { return out_; }
  const std::string& line() const { return line_; }
  size_t cursor() const { return cursor_; }
  // The enable state: what a terminal's "enable" switches on for it alone.
  bool enabled() const { return enabled_; }
  void set_enabled(bool on) { enabled_ = on; }

private:
  friend PARSER_EXPORT void ParseInit(parse_context&, table_ptr, std::string);
  friend PARSER_EXPORT void ParseKeypress(parse_context&, int);
  friend PARSER_EXPORT void ParseChangePrompt(parse_context&, std::string);
  friend PARSER_EXPORT void ParseChangeTopLevel(parse_context&, table_ptr);
  friend PARSER_EXPORT std::string ParseLookupPrompt(const parse_context&);
  friend PARSER_EXPORT table_ptr ParseLookupTopLevel(const parse_context&);
  friend class editor;

  writer_buf buf_;
  std::ostream out_;
  std::string line_;
  size_t cursor_ = 0;
  size_t shown_ = 0;  // characters of the line on the screen after the prompt
  std::string prompt_;
  table_ptr top_;
  bool enabled_ = false;
  int escape_ = 0;  // 0, or how far into an ESC [ x sequence
  std::string escape_arg_;
};

// The lock every operation below takes; a caller may hold it across several of them.
PARSER_EXPORT std::recursive_mutex& parse_lock();

// Gives the context its top-level table and prompt, empties its line and shows the prompt.
PARSER_EXPORT void ParseInit(parse_context& context, table_ptr top, std::string prompt);
// Adds keyword to table, replacing a keyword of the same name: tables grow at run time.
PARSER_EXPORT void ParseAddTable(parse_table& table, parse_keyword keyword);
// One keystroke: printable characters are inserted at the cursor; backspace and DEL erase
// before it, ^D and ESC [ 3 ~ under it; ^A ^E ^B ^F and the arrow keys move; ^K erases to the
// end, ^U the whole line; '?' shows help and TAB completes; CR or LF runs the line.
PARSER_EXPORT void ParseKeypress(parse_context& context, int key);
PARSER_EXPORT void ParseChangePrompt(parse_context& context, std::string prompt);
PARSER_EXPORT void ParseChangeTopLevel(parse_context& context, table_ptr top);
PARSER_EXPORT std::string ParseLookupPrompt(const parse_context& context);
PARSER_EXPORT table_ptr ParseLookupTopLevel(const parse_context& context);

}  // namespace parser
