#include "parser.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace parser {

writer_buf::int_type writer_buf::overflow(int_type ch) {
  if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  to_(&c, 1);
  return ch;
}

std::streamsize writer_buf::xsputn(const char* text, std::streamsize count) {
  if (count > 0) to_(text, size_t(count));
  return count;
}

parse_context::parse_context(writer_buf::writer out) : buf_(std::move(out)), out_(&buf_) {}

std::recursive_mutex& parse_lock() {
  static std::recursive_mutex lock;
  return lock;
}

namespace {

struct token {
  std::string text;
  size_t at = 0;  // offset of its first character in the line
};

// The words of line[0, end); partial tells whether the last word reaches end (is being typed).
std::vector<token> tokenize(const std::string& line, size_t end, bool& partial) {
  std::vector<token> words;
  partial = false;
  size_t i = 0;
  while (i < end) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    token word{{}, i};
    if (line[i] == '"') {
      for (++i; i < end && line[i] != '"'; ++i) word.text += line[i];
      if (i < end) ++i;  // the closing quote
    } else {
      for (; i < end && line[i] != ' ' && line[i] != '\t'; ++i) word.text += line[i];
    }
    partial = i == end;
    words.push_back(std::move(word));
  }
  return words;
}

bool starts_with(const std::string& name, const std::string& prefix) {
  if (prefix.size() > name.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// The one name word abbreviates: an exact match wins over longer names that it also begins.
// Returns the position, or -1 for none and -2 for more than one.
int match(const std::vector<std::string>& names, const std::string& word) {
  int found = -1;
  for (size_t i = 0; i < names.size(); ++i) {
    if (!starts_with(names[i], word)) continue;
    if (names[i].size() == word.size()) return int(i);
    found = found == -1 ? int(i) : -2;
  }
  return found;
}

// The table's keyword with an empty name, which takes any word that names no other keyword.
const parse_keyword* free_words(const parse_table& table) {
  for (const parse_keyword& k : table.keywords)
    if (k.name.empty()) return &k;
  return nullptr;
}

std::vector<std::string> names_of(const parse_table& table) {
  std::vector<std::string> names;
  for (const parse_keyword& k : table.keywords) names.push_back(k.name);
  return names;
}

// Decimal, octal or hexadecimal as strtoull reads them with base 0, with an optional '-'; the
// whole word must be the number and it must fit in 32 bits.
bool parse_number(const std::string& word, int64_t& value) {
  const char* p = word.c_str();
  const bool negative = *p == '-';
  if (negative) ++p;
  if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long magnitude = std::strtoull(p, &end, 0);
  if (*end || errno == ERANGE) return false;
  if (negative ? magnitude > 0x80000000ULL : magnitude > 0xFFFFFFFFULL) return false;
  value = negative ? -int64_t(magnitude) : int64_t(magnitude);
  return true;
}

const char* kind_name(arg_kind kind) {
  switch (kind) {
    case arg_kind::number: return "<number>";
    case arg_kind::string: return "<string>";
    case arg_kind::word: return "<word>";
    case arg_kind::choice: return "<choice>";
  }
  return "";
}

bool optional_from(const parse_keyword& keyword, size_t arg) {
  for (size_t i = 0; i <= arg && i < keyword.args.size(); ++i)
    if (keyword.args[i].optional) return true;
  return false;
}

// Where a walk over the words of a line stands: the keywords expected next (when arg is 0),
// the keyword reached and its next argument, or the first error.
struct walk_state {
  table_ptr table;
  const parse_keyword* keyword = nullptr;
  size_t arg = 0;
  std::vector<parse_value> values;
  std::vector<table_ptr> held;  // tables walked through: keyword points into one of them
  bool failed = false;
  size_t error_at = 0;
  std::string error;

  void fail(size_t at, std::string why) {
    failed = true;
    error_at = at;
    error = std::move(why);
  }
  bool expects_keyword() const { return table && arg == 0; }
  const parse_arg* next_arg() const {
    return keyword && arg < keyword->args.size() ? &keyword->args[arg] : nullptr;
  }
  bool can_end() const { return keyword && keyword->handler && (!next_arg() || optional_from(*keyword, arg)); }
};

}  // namespace

// The editing and parsing of one context; every entry point holds the parse lock.
class editor {
public:
  explicit editor(parse_context& c) : c_(c) {}

  void key(int k) {
    if (c_.escape_) return escape(k);
    switch (k) {
      case 0x01: return move_to(0);
      case 0x02: return move_to(c_.cursor_ ? c_.cursor_ - 1 : 0);
      case 0x03: return cancel();
      case 0x04: return erase(c_.cursor_);
      case 0x05: return move_to(c_.line_.size());
      case 0x06: return move_to(std::min(c_.cursor_ + 1, c_.line_.size()));
      case 0x08:
      case 0x7f:
        if (c_.cursor_) erase(c_.cursor_ - 1);
        return;
      case '\t': return complete();
      case 0x0b: return truncate(c_.cursor_, c_.line_.size());
      case 0x15: return truncate(0, c_.line_.size());
      case 0x1b:
        c_.escape_ = 1;
        return;
      case '\r':
      case '\n': return enter();
      case '?': return help();
      default:
        if (k >= 0x20 && k < 0x7f) insert(char(k));
    }
  }

  void show_prompt() {
    write(c_.prompt_ + c_.line_);
    c_.shown_ = c_.line_.size();
    if (c_.cursor_ < c_.line_.size()) redraw();
  }

private:
  void write(const std::string& text) { c_.out_.write(text.data(), std::streamsize(text.size())); }

  // Draws the line again with carriage returns only, blanking what it no longer covers.
  void redraw() {
    std::string text = "\r" + c_.prompt_ + c_.line_;
    if (c_.shown_ > c_.line_.size()) text.append(c_.shown_ - c_.line_.size(), ' ');
    text += "\r" + c_.prompt_ + c_.line_.substr(0, c_.cursor_);
    write(text);
    c_.shown_ = c_.line_.size();
  }

  void escape(int k) {
    if (c_.escape_ == 1) {
      c_.escape_ = (k == '[' || k == 'O') ? 2 : 0;
      c_.escape_arg_.clear();
      return;
    }
    if (std::isdigit(k) && c_.escape_arg_.size() < 4) {
      c_.escape_arg_ += char(k);
      return;
    }
    c_.escape_ = 0;
    switch (k) {
      case 'C': return move_to(std::min(c_.cursor_ + 1, c_.line_.size()));
      case 'D': return move_to(c_.cursor_ ? c_.cursor_ - 1 : 0);
      case 'H': return move_to(0);
      case 'F': return move_to(c_.line_.size());
      case '~':
        if (c_.escape_arg_ == "3") erase(c_.cursor_);
        return;
      default: return;
    }
  }

  void move_to(size_t at) {
    if (at == c_.cursor_) return;
    c_.cursor_ = at;
    redraw();
  }

  void insert(char ch) { insert_text(std::string(1, ch)); }

  void insert_text(const std::string& text) {
    if (c_.line_.size() + text.size() > max_line) return;
    const bool at_end = c_.cursor_ == c_.line_.size();
    c_.line_.insert(c_.cursor_, text);
    c_.cursor_ += text.size();
    if (at_end && c_.shown_ + text.size() == c_.line_.size()) {
      write(text);
      c_.shown_ = c_.line_.size();
    } else {
      redraw();
    }
  }

  void erase(size_t at) {
    if (at >= c_.line_.size()) return;
    c_.line_.erase(at, 1);
    c_.cursor_ = at;
    redraw();
  }

  void truncate(size_t from, size_t to) {
    if (from >= to) return;
    c_.line_.erase(from, to - from);
    c_.cursor_ = from;
    redraw();
  }

  void cancel() {
    write("\n");
    c_.line_.clear();
    c_.cursor_ = 0;
    c_.shown_ = 0;
    show_prompt();
  }

  // Follows the keyword into its sub-table, building that table when it is built on use.
  void enter_keyword(walk_state& s, const parse_keyword& keyword) {
    s.keyword = &keyword;
    s.arg = 0;
    s.values.clear();
    s.table = keyword.sub ? keyword.sub : keyword.build ? keyword.build(c_) : nullptr;
    if (s.table) s.held.push_back(s.table);
  }

  void take_arg(walk_state& s, const token& word) {
    const parse_arg* arg = s.next_arg();
    if (!arg) return s.fail(word.at, "Too many arguments");
    parse_value value{true, 0, word.text};
    if (arg->kind == arg_kind::number && !parse_number(word.text, value.number))
      return s.fail(word.at, "Expected a number (" + arg->help + ")");
    if (arg->kind == arg_kind::choice) {
      const int at = match(arg->choices, word.text);
      if (at == -2) return s.fail(word.at, "Ambiguous choice");
      if (at < 0) return s.fail(word.at, "Expected one of the choices for " + arg->help);
      value.number = at;
      value.text = arg->choices[size_t(at)];
    }
    s.values.push_back(std::move(value));
    ++s.arg;
    s.table = nullptr;
  }

  void step(walk_state& s, const token& word) {
    if (s.expects_keyword()) {
      const int at = match(names_of(*s.table), word.text);
      if (at >= 0) return enter_keyword(s, s.table->keywords[size_t(at)]);
      if (at == -2) return s.fail(word.at, "Ambiguous command");
      if (const parse_keyword* free = free_words(*s.table)) {
        enter_keyword(s, *free);
        return take_arg(s, word);
      }
      if (!s.next_arg()) return s.fail(word.at, "Unknown command");
    }
    take_arg(s, word);
  }

  walk_state walk(const std::vector<token>& words, size_t count) {
    walk_state s;
    s.table = c_.top_;
    s.held.push_back(s.table);
    for (size_t i = 0; i < count && !s.failed; ++i) step(s, words[i]);
    return s;
  }

  void enter() {
    write("\n");
    const std::string line = c_.line_;
    c_.line_.clear();
    c_.cursor_ = 0;
    c_.shown_ = 0;
    run(line);
    show_prompt();
  }

  void run(const std::string& line) {
    bool partial = false;
    const std::vector<token> words = tokenize(line, line.size(), partial);
    if (words.empty()) return;
    walk_state s = walk(words, words.size());
    if (!s.failed) check_complete(s, line.size());
    if (s.failed) {
      write(std::string(c_.prompt_.size() + s.error_at, ' ') + "^\n% " + s.error + "\n");
      return;
    }
    s.values.resize(s.keyword->args.size());
    // A copy: the handler may extend the very table that holds it.
    const parse_handler handler = s.keyword->handler;
    handler(c_, s.values);
  }

  void check_complete(walk_state& s, size_t end) {
    if (!s.keyword->handler) return s.fail(end, "Incomplete command");
    if (s.next_arg() && !optional_from(*s.keyword, s.arg)) s.fail(end, "Missing " + s.next_arg()->help);
  }

  // The words that may come at the cursor, starting with prefix.
  std::vector<std::string> candidates(const walk_state& s, const std::string& prefix) const {
    std::vector<std::string> names;
    if (s.expects_keyword())
      for (const parse_keyword& k : s.table->keywords)
        if (starts_with(k.name, prefix)) names.push_back(k.name);
    if (const parse_arg* arg = s.next_arg(); arg && arg->kind == arg_kind::choice)
      for (const std::string& choice : arg->choices)
        if (starts_with(choice, prefix)) names.push_back(choice);
    return names;
  }

  // The walk up to the word under the cursor, and that word's beginning.
  walk_state walk_to_cursor(std::string& prefix) {
    bool partial = false;
    const std::vector<token> words = tokenize(c_.line_, c_.cursor_, partial);
    prefix = partial ? words.back().text : "";
    return walk(words, partial ? words.size() - 1 : words.size());
  }

  void help() {
    std::string prefix;
    const walk_state s = walk_to_cursor(prefix);
    std::string text = "?\n";
    if (s.failed) {
      text += "% " + s.error + "\n";
    } else {
      text += options(s, prefix);
    }
    write(text);
    c_.shown_ = 0;
    show_prompt();
  }

  std::string options(const walk_state& s, const std::string& prefix) const {
    std::string text;
    if (s.expects_keyword()) {
      if (!s.table->heading.empty()) text += s.table->heading + "\n";
      for (const parse_keyword& k : s.table->keywords)
        if (starts_with(k.name, prefix)) text += "  " + pad(k.name) + k.help + "\n";
    }
    if (const parse_arg* arg = s.next_arg()) {
      if (arg->kind == arg_kind::choice) {
        for (const std::string& choice : arg->choices)
          if (starts_with(choice, prefix)) text += "  " + pad(choice) + arg->help + "\n";
      } else if (prefix.empty() || !s.expects_keyword()) {
        text += "  " + pad(kind_name(arg->kind)) + arg->help + "\n";
      }
    }
    if (prefix.empty() && s.can_end()) text += "  <cr>\n";
    return text;
  }

  static std::string pad(const std::string& name) {
    return name.size() < 18 ? name + std::string(18 - name.size(), ' ') : name + " ";
  }

  void complete() {
    std::string prefix;
    const walk_state s = walk_to_cursor(prefix);
    if (s.failed) return;
    const std::vector<std::string> names = candidates(s, prefix);
    if (names.empty()) return;
    std::string common = names.front();
    for (const std::string& name : names) {
      size_t n = 0;
      while (n < common.size() && n < name.size() &&
             std::tolower(static_cast<unsigned char>(common[n])) == std::tolower(static_cast<unsigned char>(name[n])))
        ++n;
      common.resize(n);
    }
    if (names.size() == 1) return insert_text(names.front().substr(prefix.size()) + " ");
    if (common.size() > prefix.size()) return insert_text(common.substr(prefix.size()));
    std::string text = "\n";
    for (const std::string& name : names) text += "  " + name + "\n";
    write(text);
    c_.shown_ = 0;
    show_prompt();
  }

  parse_context& c_;
};

void ParseInit(parse_context& context, table_ptr top, std::string prompt) {
  std::lock_guard lock(parse_lock());
  context.top_ = std::move(top);
  context.prompt_ = std::move(prompt);
  context.line_.clear();
  context.cursor_ = 0;
  context.shown_ = 0;
  context.escape_ = 0;
  editor(context).show_prompt();
}

void ParseAddTable(parse_table& table, parse_keyword keyword) {
  std::lock_guard lock(parse_lock());
  for (parse_keyword& k : table.keywords) {
    if (k.name != keyword.name) continue;
    k = std::move(keyword);
    return;
  }
  table.keywords.push_back(std::move(keyword));
}

void ParseKeypress(parse_context& context, int key) {
  std::lock_guard lock(parse_lock());
  editor(context).key(key & 0xff);
}

void ParseChangePrompt(parse_context& context, std::string prompt) {
  std::lock_guard lock(parse_lock());
  context.prompt_ = std::move(prompt);
}

void ParseChangeTopLevel(parse_context& context, table_ptr top) {
  std::lock_guard lock(parse_lock());
  context.top_ = std::move(top);
}

std::string ParseLookupPrompt(const parse_context& context) {
  std::lock_guard lock(parse_lock());
  return context.prompt_;
}

table_ptr ParseLookupTopLevel(const parse_context& context) {
  std::lock_guard lock(parse_lock());
  return context.top_;
}

}  // namespace parser
