#include "parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace parser;

namespace {

// A context whose output is kept, and a small tree:
//   print callqueue [{summary|normal|details}]
//   print count <number> [<string> <number>]
//   ping stream <number>
//   print class <class built on use>
class terminal : public parse_context {
public:
  terminal() : parse_context([this](const char* bytes, size_t length) { shown.append(bytes, length); }) {}
  void type(const std::string& keys) {
    for (char k : keys) ParseKeypress(*this, static_cast<unsigned char>(k));
  }
  std::string shown;
};

struct call {
  std::string command;
  std::vector<parse_value> values;
};

class ParserTest : public ::testing::Test {
protected:
  ParserTest() {
    auto print = std::make_shared<parse_table>();
    print->heading = "Print Commands";
    print->keywords.push_back({"callqueue", "- print queued callbacks", nullptr, nullptr,
                               {{arg_kind::choice, "detail", {"summary", "normal", "details"}, true}},
                               record("callqueue")});
    print->keywords.push_back({"callhistory", "- print previous callbacks", nullptr, nullptr, {}, record("callhistory")});
    print->keywords.push_back({"count", "- print counts", nullptr, nullptr,
                               {{arg_kind::number, "first", {}, false},
                                {arg_kind::string, "name", {}, true},
                                {arg_kind::number, "last", {}, false}},
                               record("count")});
    print->keywords.push_back({"class", "- print a class", nullptr,
                               [this](parse_context&) {
                                 ++builds;
                                 auto classes = std::make_shared<parse_table>();
                                 for (const char* name : {"Car", "Cargo"})
                                   classes->keywords.push_back({name, "", nullptr, nullptr, {}, record(name)});
                                 return classes;
                               },
                               {}, record("all classes")});
    auto ping = std::make_shared<parse_table>();
    ping->keywords.push_back({"stream", "- ping a stream", nullptr, nullptr, {{arg_kind::number, "stream id", {}, false}},
                              record("ping stream")});
    rti = std::make_shared<parse_table>();
    rti->heading = "RTI Debugging Commands";
    rti->keywords.push_back({"print", "- data examination commands", print, nullptr, {}, nullptr});
    rti->keywords.push_back({"ping", "- connectivity commands", ping, nullptr, {}, nullptr});
    ParseInit(t, rti, "test> ");
    t.shown.clear();
  }

  parse_handler record(std::string command) {
    return [this, command](parse_context&, const std::vector<parse_value>& values) { calls.push_back({command, values}); };
  }

  terminal t;
  table_ptr rti;
  std::vector<call> calls;
  int builds = 0;
};

TEST_F(ParserTest, ChoicesOptionalTailsAndNumbers) {
  t.type("print callqueue det\r");
  t.type("print callqueue\n");
  t.type("print count 0x10 abc 010\n");
  t.type("print count -7\n");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].values[0].number, 2);
  EXPECT_EQ(calls[0].values[0].text, "details");
  EXPECT_FALSE(calls[1].values[0].present);
  EXPECT_EQ(calls[2].values[0].number, 16);
  EXPECT_EQ(calls[2].values[1].text, "abc");
  EXPECT_EQ(calls[2].values[2].number, 8);  // octal
  EXPECT_EQ(calls[3].values[0].number, -7);
  EXPECT_FALSE(calls[3].values[2].present);  // after the first optional one, all are optional

  // Refused lines run nothing and show a caret under the offending word.
  calls.clear();
  for (const char* bad : {"print count 4294967296\n", "print count 08\n", "print count 0x\n", "print count\n",
                          "print callqueue verbose\n", "print callqueue summary extra\n", "print\n"})
    t.type(bad);
  EXPECT_TRUE(calls.empty());
  EXPECT_NE(t.shown.find("\n" + std::string(6 + 12, ' ') + "^\n% Expected a number (first)\n"), std::string::npos)
      << t.shown;
  EXPECT_NE(t.shown.find("% Missing first\n"), std::string::npos);
  EXPECT_NE(t.shown.find("% Too many arguments\n"), std::string::npos);
  EXPECT_NE(t.shown.find("% Incomplete command\n"), std::string::npos);
}

TEST_F(ParserTest, AbbreviationsMustBeUniqueAndExactNamesWin) {
  t.type("pr callq s\n");
  t.type("pi s 3\n");
  t.type("print c\n");           // callqueue, callhistory, count, class
  t.type("print class Car\n");   // Car is exact although Cargo begins with it
  t.type("print class Carg\n");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].command, "callqueue");
  EXPECT_EQ(calls[1].command, "ping stream");
  EXPECT_EQ(calls[1].values[0].number, 3);
  EXPECT_EQ(calls[2].command, "Car");
  EXPECT_EQ(calls[3].command, "Cargo");
  EXPECT_EQ(builds, 2);  // the dynamic table is built each time it is reached
  EXPECT_NE(t.shown.find("\n" + std::string(6 + 6, ' ') + "^\n% Ambiguous command\n"), std::string::npos) << t.shown;
}

TEST_F(ParserTest, TablesExtendedAtRunTimeAndHelpShowsThem) {
  t.type("cleanup\n");
  EXPECT_NE(t.shown.find("% Unknown command"), std::string::npos);
  auto cleanup = std::make_shared<parse_table>();
  cleanup->keywords.push_back({"my_objects", "- delete all my objects", nullptr, nullptr, {}, record("cleanup")});
  ParseAddTable(*rti, {"cleanup", "- object cleanup commands", cleanup, nullptr, {}, nullptr});
  t.shown.clear();
  t.type("?");
  EXPECT_NE(t.shown.find("RTI Debugging Commands\n"), std::string::npos) << t.shown;
  EXPECT_NE(t.shown.find("  cleanup           - object cleanup commands\n"), std::string::npos) << t.shown;
  t.type("cl my\n");
  ASSERT_EQ(calls.size(), 1u);

  // Help after a partial word lists what it may become; after a keyword, what may follow.
  t.shown.clear();
  t.type("print callqueue ?");
  EXPECT_NE(t.shown.find("  summary"), std::string::npos);
  EXPECT_NE(t.shown.find("  <cr>\n"), std::string::npos);
  EXPECT_EQ(t.shown.substr(t.shown.size() - 22), "test> print callqueue ");  // the line is kept
}

TEST_F(ParserTest, EditingKeysAndCompletion) {
  t.type("prnt callqueue");
  t.type("\x01\x06\x06i\x05\n");  // home, right twice, insert, end
  t.type("print callqueue xyz\x08\x08\x08\x0b\n");
  t.type("garbage\x15print callhistory\n");
  t.type("print calx\x1b[D\x1b[3~\n");  // left arrow, delete: "print cal" is ambiguous
  t.type("pr\tcallh\t\n");
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].command, "callqueue");
  EXPECT_EQ(calls[1].command, "callqueue");
  EXPECT_EQ(calls[2].command, "callhistory");
  EXPECT_EQ(calls[3].command, "callhistory");
  EXPECT_NE(t.shown.find("% Ambiguous command"), std::string::npos);
  // Redraws use carriage returns: no other control character reaches the terminal.
  for (char c : t.shown) EXPECT_TRUE(c == '\r' || c == '\n' || (c >= 0x20 && c < 0x7f)) << int(c);

  // The line is bounded; what does not fit is refused and the line still runs.
  t.type(std::string(5000, 'x'));
  EXPECT_EQ(t.line().size(), max_line);
  t.type("\x15print callhistory\n");
  EXPECT_EQ(calls.size(), 5u);
}

TEST_F(ParserTest, PromptAndTopLevelChange) {
  auto other = std::make_shared<parse_table>();
  other->keywords.push_back({"exit", "", nullptr, nullptr, {}, [&](parse_context& c, const std::vector<parse_value>&) {
                               ParseChangeTopLevel(c, rti);
                               ParseChangePrompt(c, "test> ");
                             }});
  // A keyword of free words takes any other line, its first word included.
  other->keywords.push_back({"", "", nullptr, nullptr,
                             {{arg_kind::word, "first word", {}, false}, {arg_kind::word, "second word", {}, true},
                              {arg_kind::word, "third word", {}, true}},
                             record("free")});
  ParseChangeTopLevel(t, other);
  ParseChangePrompt(t, "Remote to x>");
  t.type("rti print 12abc\n");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].values[0].text + calls[0].values[1].text + calls[0].values[2].text, "rtiprint12abc");
  EXPECT_EQ(ParseLookupPrompt(t), "Remote to x>");
  EXPECT_EQ(ParseLookupTopLevel(t), other);
  t.type("exit\n");
  EXPECT_EQ(ParseLookupTopLevel(t), rti);
  EXPECT_EQ(t.shown.substr(t.shown.size() - 6), "test> ");
}

}  // namespace
