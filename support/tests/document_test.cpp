#include "document.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rdr_parser.h"

using namespace brindle;

namespace {

using Element = Document::Element;
using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

struct parsed {
  Document::Error result;
  Element element;
  std::string messages;  // what the parse printed on standard error
};

// Parses text from a buffer of exactly its size, so that reading past the data is an error
// the address sanitizer sees.
parsed parse(Document& document, std::string_view text) {
  auto buffer = std::make_unique<char[]>(text.size());
  std::copy(text.begin(), text.end(), buffer.get());
  parsed p;
  CaptureStderr();
  p.result = document.parse(buffer.get(), text.size(), "t", p.element);
  p.messages = GetCapturedStderr();
  return p;
}

std::string name(const Element& element) { return element.name; }

std::string reader_text(const Element& element) {
  CaptureStdout();
  Document::printAsReader(element);
  return GetCapturedStdout();
}

// --- Reader text ---------------------------------------------------------------------------

// Printed reader text shows each value's kind: strings quoted, integers bare, reals with "%f".
TEST(ReaderText, WordsTakeTheirKindsFromTheirSpelling) {
  Document d;
  parsed p = parse(d, "(a \"x\" 1 2.5 0x1F 0o17 -3 +)");
  ASSERT_EQ(p.result, Document::ok);
  EXPECT_EQ(reader_text(p.element), "(a \"x\" 1 2.500000 31 15 -3 0)\n");
  EXPECT_EQ(p.element.values[0].string, d.getSymbol("x"));
  EXPECT_EQ(p.element.values[6].name, d.getSymbol("val6"));
  EXPECT_EQ(p.messages, "");

  EXPECT_EQ(reader_text(parse(d, "(5 6)").element), "(anonymous 5 6)\n");
  EXPECT_EQ(parse(d, "(\"rti\" 1)").element.name, d.getSymbol("rti"));
  EXPECT_EQ(parse(d, "(rti 1)").element.values[0].name, d.getSymbol("val0"));
}

TEST(ReaderText, WordsThatAreNotPlainNumbersAreStrings) {
  Document d;
  parsed p = parse(d, "(x 224.22.0.0 \"224.22.0.0\" 1e5 1.2.3 a/b:c\\d \"q\\\"r\" \"\")");
  EXPECT_EQ(reader_text(p.element),
            "(x \"224.22.0.0\" \"224.22.0.0\" \"1e5\" \"1.2.3\" \"a/b:c\\d\" \"q\\\"r\" \"\")\n")
      << "a quote after a backslash does not end a string, and the backslash stays";
  EXPECT_EQ(p.element.values[1].string, p.element.values[0].string);
}

TEST(ReaderText, OddNumbersStayDefined) {
  Document d;
  // Too large for 32 bits: taken modulo 2^32. Prefixes alone or with no digits read as 0.
  parsed p = parse(d, "(n 4294967295 4294967296 0xFFFFFFFF 0x100000001 -2147483649 0o37777777777"
                      " 0x 0xZZ 0o9 - . -.5)");
  EXPECT_EQ(reader_text(p.element), "(n -1 0 -1 1 2147483647 -1 0 0 0 0 0.000000 -0.500000)\n");
}

TEST(ReaderText, TheOuterLevelKeepsItsLastListOrWhatAStrayCloseEnds) {
  Document d;
  EXPECT_EQ(reader_text(parse(d, "; two lists\n(first 1) stray 7 (second (child 2))").element),
            "(second\n  (child 2)\n)\n");
  EXPECT_EQ(reader_text(parse(d, "(a 1) top 5 (b) ) (ignored)").element),
            "(top 5\n  (a 1)\n  (b)\n)\n");

  parsed none = parse(d, "; only a comment\n");
  EXPECT_EQ(none.result, Document::ok);
  EXPECT_EQ(name(none.element), "broken");
  EXPECT_EQ(none.messages, "RDR_parser error: missing data\n");
}

TEST(ReaderText, OtherTextsAreAnUnknownFormat) {
  Document d;
  for (const char* text : {"", " \t\r\n", "<a/>", "<?x", "x (a)", "{ }"}) {
    parsed p = parse(d, text);
    EXPECT_EQ(p.result, Document::parse_failed) << text;
    EXPECT_EQ(name(p.element), "broken");
    EXPECT_EQ(p.messages, "t: unknown file format\n") << text;
  }
}

TEST(ReaderText, UnterminatedStringsAreReportedAndSkipped) {
  Document d;
  parsed p = parse(d, "(a\r\n \"abc\n b)");
  EXPECT_EQ(p.result, Document::ok);
  EXPECT_EQ(p.messages, "t:2: error: unterminated string\n");
  EXPECT_EQ(reader_text(p.element), "(a \"b\")\n");

  p = parse(d, "(a)\n\"open at the end");
  EXPECT_EQ(p.result, Document::ok);
  EXPECT_EQ(p.messages, "t:2: error: unterminated string\n");
}

TEST(ReaderText, SyntaxErrorsFailWithTheirLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"(a\n\r\r\n;x\n #)", "t:5: error: illegal characters\n"},
      {"(a }", "t:1: error: unbalanced parentheses\n"},
      {"(a M { (x) ) })", "t:1: error: unbalanced parentheses\n"},
      {"(a\n(b 1)", "t:2: error: unbalanced parentheses\n"},
      {"(M { (x)", "t:1: error: unbalanced parentheses\n"},
      {"(a 5 { (x) })", "t:1: error: unexpected macro definition\n"},
      {"({ (x) })", "t:1: error: unexpected macro definition\n"},
  };
  for (const auto& [text, message] : cases) {
    Document d;
    parsed p = parse(d, text);
    EXPECT_EQ(p.result, Document::parse_failed) << text;
    EXPECT_EQ(p.messages, message) << text;
  }
}

TEST(ReaderText, NestingStopsAfterAHundredLevels) {
  Document d;
  const std::string hundred = std::string(100, '(') + std::string(100, ')');
  EXPECT_EQ(parse(d, hundred).result, Document::ok);
  parsed deep = parse(d, std::string(101, '(') + std::string(101, ')'));
  EXPECT_EQ(deep.result, Document::parse_failed);
  EXPECT_EQ(deep.messages, "t: error: runaway recursion while parsing\n");
  // A macro body is a level too.
  parsed body = parse(d, std::string(99, '(') + "M { (x) }" + std::string(99, ')'));
  EXPECT_EQ(body.messages, "t: error: runaway recursion while parsing\n");
}

TEST(ReaderText, EveryPrefixOfADocumentIsReadWithinItsBytes) {
  const std::string text =
      "; comment\r\n(rti (version D22) \"q\\\"s\" M { (order a b) } (m M 0x1F 0o7 -2.5 1.2.3\r"
      "\"open\n +) x)";
  for (size_t n = 0; n <= text.size(); ++n) {
    Document d;
    parse(d, std::string_view(text).substr(0, n));
  }
}

// --- Macros --------------------------------------------------------------------------------

TEST(ReaderMacros, ExpandInPlaceAndOutliveTheRead) {
  Document d;
  parsed p = parse(d,
                   "( MULTICAST_PATH { (order a b) } NUMBERS { 1 2 } )\n"
                   "(multicast MULTICAST_PATH (ttl 32) NUMBERS 3)");
  ASSERT_EQ(p.result, Document::ok);
  EXPECT_EQ(reader_text(p.element), "(multicast 1 2 3\n  (order \"a\" \"b\")\n  (ttl 32)\n)\n");
  EXPECT_EQ(p.element.values[2].name, d.getSymbol("val2"));

  EXPECT_EQ(reader_text(parse(d, "(again MULTICAST_PATH)").element),
            "(again\n  (order \"a\" \"b\")\n)\n");
  Document other;  // macros belong to the document that read them
  EXPECT_EQ(reader_text(parse(other, "(again MULTICAST_PATH)").element),
            "(again \"MULTICAST_PATH\")\n");
}

TEST(ReaderMacros, ARedefinitionReplacesTheBody) {
  Document d;
  parse(d, "( A { (x) } )");
  // A quoted name is not expanded, so it can name a macro again.
  EXPECT_EQ(reader_text(parse(d, "( \"A\" { (y) } ) (r A)").element), "(r\n  (y)\n)\n");
  // A symbol is a C string, so a name with a NUL in it names the macro before the NUL.
  EXPECT_EQ(reader_text(parse(d, std::string_view("( \"A\0B\" { (z) } ) (r A)", 23)).element),
            "(r\n  (z)\n)\n");
  d.define_macro("A", Element{});
  EXPECT_EQ(d.macro("A")->num_children(), 0u);
  EXPECT_EQ(d.macro("B"), nullptr);
}

TEST(ReaderMacros, ExpansionThatKeepsDoublingStops) {
  Document d;
  std::string text = "( A0 { (x 1 2 3) }";
  for (int i = 1; i <= 40; ++i) {
    const std::string previous = 'A' + std::to_string(i - 1);
    text.append(" A").append(std::to_string(i)).append(" { ");
    text.append(previous).append(" ").append(previous).append(" }");
  }
  text += " )";
  parsed p = parse(d, text);
  EXPECT_EQ(p.result, Document::parse_failed);
  EXPECT_EQ(p.messages, "t:1: error: macro expansion too large\n");

  // Each parse has its own budget, and what fits in it expands.
  parsed small = parse(d, "(r A3)");
  EXPECT_EQ(small.result, Document::ok);
  EXPECT_EQ(small.element.num_children(), 8u);
}

TEST(ReaderMacros, ExpansionCannotBuildTooDeepATree) {
  Document d;
  const std::string forty_open(40, '('), forty_close(40, ')');
  parsed p = parse(d, "( D0 { " + forty_open + forty_close + " }\n D1 { " + forty_open + " D0 " +
                          forty_close + " }\n D2 { " + forty_open + " D1 " + forty_close + " } )");
  EXPECT_EQ(p.result, Document::parse_failed);
  EXPECT_EQ(p.messages, "t:3: error: macro expansion too deep\n");
  EXPECT_EQ(parse(d, "(r D1)").result, Document::ok);
}

// --- Reading -------------------------------------------------------------------------------

class ReadFile : public testing::Test {
protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("document_test_" + std::to_string(getpid()) + ".rid");
  }
  void TearDown() override { std::filesystem::remove(path_); }
  void write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
  std::string url() const { return "file://" + path_.string(); }

  std::filesystem::path path_;
};

TEST_F(ReadFile, ReadsAFileURLAndNamesItInMessages) {
  Document d;
  write("(rti (version D22)");
  Element e;
  CaptureStderr();
  EXPECT_EQ(d.read(url().c_str(), e), Document::parse_failed);
  EXPECT_EQ(GetCapturedStderr(), url() + ":1: error: unbalanced parentheses\n");

  write("(rti (version D22))\n");
  EXPECT_EQ(d.read(url().c_str(), e), Document::ok);
  EXPECT_EQ(d.findValue("val0", d.findTag("version", &e))->string, d.getSymbol("D22"));
}

TEST_F(ReadFile, AMissingFileIsALoadFailure) {
  Document d;
  Element e;
  CaptureStderr();
  EXPECT_EQ(d.read(url().c_str(), e), Document::load_failed);
  EXPECT_NE(GetCapturedStderr(), "");
}

TEST(ReadString, NamesItsSourceInternalString) {
  Document d;
  Element e;
  CaptureStderr();
  EXPECT_EQ(d.readString("(a #)", e), Document::parse_failed);
  EXPECT_EQ(GetCapturedStderr(), "internal string:1: error: illegal characters\n");
  EXPECT_EQ(d.readString("(a 1)", e), Document::ok);
  EXPECT_EQ(name(e), "a");
}

// --- Lookups, copies, checksums and printing ------------------------------------------------

TEST(DocumentTree, FindNextTagWalksLikeNamedChildren) {
  Document d;
  parsed p = parse(d, "(r (a 1) (b) (a 2) (a 3))");
  Element& r = p.element;
  std::vector<int> seen;
  for (Element* a = d.findTag("a", &r); a; a = d.findNextTag("a", &r, a))
    seen.push_back(d.findValue("val0", a)->integer);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(d.findNextTag("b", &r, nullptr), &r.children[1]);
  EXPECT_EQ(d.findNextTag("b", &r, &r.children[1]), nullptr);
  Element stranger;
  EXPECT_EQ(d.findNextTag("a", &r, &stranger), nullptr) << "after must be one of the children";
  EXPECT_EQ(d.findTag("a", nullptr), nullptr);
  EXPECT_EQ(d.findValue("val1", &r.children[0]), nullptr);

  const size_t before = d.size();
  EXPECT_EQ(d.findTag("never_seen", &r), nullptr);
  EXPECT_EQ(d.size(), before + 1) << "lookups intern the name they are given";
}

TEST(DocumentTree, CopiesAndFreesAreIndependent) {
  Document d;
  parsed p = parse(d, "(r 1 \"s\" (a (b 2.5)) (c))");
  Element copy;
  Document::duplicate(p.element, copy);
  const std::string text = reader_text(p.element);
  EXPECT_EQ(reader_text(copy), text);
  EXPECT_EQ(copy.values[1].string, p.element.values[1].string) << "symbols are shared";

  Document::deallocate(copy.children[0]);
  EXPECT_EQ(reader_text(p.element), text);
  Document::deallocate(p.element);
  EXPECT_EQ(p.element.num_values() + p.element.num_children(), 0u);
  EXPECT_EQ(name(p.element), "r");
  EXPECT_EQ(copy.num_children(), 2u);
  EXPECT_EQ(copy.children[0].num_children(), 0u);

  Document::duplicate(copy, copy.children[1]);  // into a part of itself
  EXPECT_EQ(copy.children[1].num_children(), 2u);
}

TEST(DocumentTree, ChecksumCountsValuesNotNames) {
  Document d;
  auto sum = [&](const char* text) {
    parsed p = parse(d, text);
    EXPECT_EQ(p.result, Document::ok) << text;
    return Document::checksum(&p.element);
  };
  EXPECT_EQ(Document::checksum(nullptr), 0u);
  EXPECT_EQ(sum("(a 1 2)"), 35u);
  EXPECT_EQ(sum("(r (a 1 2))"), 35u);
  EXPECT_EQ(sum("(a -1)"), 0xFFFFFFFFu);
  EXPECT_EQ(sum("(\"n\" x)"), SymbolTable::hash("x", 1));
  // Only "1.50" of "1.500000e+00" counts.
  EXPECT_EQ(sum("(a 1.5)"), ((uint32_t{'1'} * 33 + '.') * 33 + '5') * 33 + '0');
  EXPECT_EQ(sum("(a 1.5)"), sum("(a 1.50001)"));
  EXPECT_NE(sum("(a 1.5)"), sum("(a 1.6)"));
  EXPECT_EQ(sum("(a (b 1 \"x\") 2.5)"), sum("(z (y 1 \"x\") 2.5)"));
  EXPECT_NE(sum("(a (b 1 \"x\") 2.5)"), sum("(a (b 1 \"y\") 2.5)"));
  EXPECT_NE(sum("(a (b 1) (c 2))"), sum("(a (c 2) (b 1))"));
}

TEST(DocumentTree, PrintsAsReaderTextAndAsXML) {
  Document d;
  parsed p = parse(d, "(rti (version D22) (m -1 2.5 \"s\"))");
  EXPECT_EQ(reader_text(p.element),
            "(rti\n"
            "  (version \"D22\")\n"
            "  (m -1 2.500000 \"s\")\n"
            ")\n");
  CaptureStdout();
  Document::printAsXML(p.element);
  EXPECT_EQ(GetCapturedStdout(),
            "<rti>\n"
            "  <version\n"
            "      val0=\"D22\"/>\n"
            "  <m\n"
            "      val0=\"-1\"\n"
            "      val1=\"2.500000\"\n"
            "      val2=\"s\"/>\n"
            "</rti>\n");
}

}  // namespace
