// Feeds arbitrary keystrokes to a parse context over a tree with every kind of argument,
// optional tails, a choice, a table built on use and one extended by a command: the line stays
// within its bound, the cursor within the line, and the terminal only ever gets printable
// characters, carriage returns and line feeds.
//
// Input: one keystroke per byte.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "parser.h"

using namespace parser;

namespace {

table_ptr tree() {
  auto noop = [](parse_context&, const std::vector<parse_value>&) {};
  auto sub = std::make_shared<parse_table>();
  sub->heading = "Sub";
  sub->keywords.push_back({"alpha", "- a", nullptr, nullptr,
                           {{arg_kind::number, "n", {}, false}, {arg_kind::string, "s", {}, true},
                            {arg_kind::word, "w", {}, false}},
                           noop});
  sub->keywords.push_back({"alphabet", "- b", nullptr, nullptr, {{arg_kind::choice, "c", {"on", "off", "onward"}, true}},
                           noop});
  auto top = std::make_shared<parse_table>();
  top->heading = "Top";
  top->keywords.push_back({"sub", "- sub", sub, nullptr, {}, nullptr});
  top->keywords.push_back({"built", "- built on use", nullptr,
                           [sub](parse_context&) { return sub; }, {{arg_kind::number, "n", {}, true}}, noop});
  top->keywords.push_back({"grow", "- extends sub", nullptr, nullptr, {},
                           [sub](parse_context&, const std::vector<parse_value>&) {
                             if (sub->keywords.size() < 64) ParseAddTable(*sub, {"grown" + std::to_string(sub->keywords.size()), "", nullptr, nullptr, {}, nullptr});
                           }});
  return top;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  parse_context context([](const char* bytes, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      const unsigned char c = static_cast<unsigned char>(bytes[i]);
      if ((c < 0x20 && c != '\r' && c != '\n') || c >= 0x7f) std::abort();
    }
  });
  ParseInit(context, tree(), "fuzz> ");
  for (size_t i = 0; i < size; ++i) {
    ParseKeypress(context, data[i]);
    if (context.line().size() > max_line || context.cursor() > context.line().size()) std::abort();
  }
  return 0;
}
