#include "xml_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

using namespace brindle;

namespace {

using namespace std::string_literals;
using namespace std::string_view_literals;
using Element = Document::Element;

// text in UTF-16 (width 2) or UCS-4 (width 4), with a byte-order mark when asked.
std::string encode(std::u32string_view text, int width, bool big_endian, bool mark) {
  std::string out;
  const auto unit = [&](uint32_t u) {
    for (int i = 0; i < width; ++i) out += static_cast<char>(u >> 8 * (big_endian ? width - 1 - i : i));
  };
  if (mark) unit(0xFEFF);
  for (char32_t c : text) {
    if (width == 2 && c > 0xFFFF) {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      unit(c);
    }
  }
  return out;
}

// A tree as text: the name, each value as name=value (strings quoted, reals with decimals),
// then the children in brackets.
std::string dump(const Element& element) {
  std::string text = element.name;
  for (const Document::Value& v : element.values) {
    text += " "s + v.name + "=";
    if (v.kind == Document::string_value) text += "'"s + v.string + "'";
    if (v.kind == Document::integer_value) text += std::to_string(v.integer);
    if (v.kind == Document::real_value) text += std::to_string(v.real);
  }
  if (element.children.empty()) return text;
  text += " [";
  for (const Element& child : element.children) text += dump(child) + ";";
  return text + "]";
}

class XmlParserTest : public ::testing::Test {
protected:
  // Parses text from an exact-size heap copy, so that the sanitizer build catches any read
  // past its end; messages_ holds what was printed. Every parse reuses out_.
  Document::Error parse(std::string_view text) {
    auto copy = std::make_unique<char[]>(text.size());
    std::memcpy(copy.get(), text.data(), text.size());
    testing::internal::CaptureStderr();
    const Document::Error result = parser_.parse(copy.get(), text.size(), "t.xml", out_);
    messages_ = testing::internal::GetCapturedStderr();
    return result;
  }

  Document document_;
  xml_parser parser_{document_};
  Element out_;
  std::string messages_;
};

TEST(XmlDetection, RecognisesEachBytePatternAndNothingElse) {
  for (std::string_view text : {"\0\0\0<"sv, "<\0\0\0"sv, "<?xm"sv, "<\0?\0"sv, "\0<\0?"sv,
                                "\xEF\xBB\xBF"sv, "\xFE\xFF"sv, "\xFF\xFE"sv})
    EXPECT_TRUE(xml_parser::looks_like_xml(text.data(), text.size())) << testing::PrintToString(text);
  for (std::string_view text : {""sv, "<"sv, "<?x"sv, "<?XM"sv, "<rti/>"sv, "(rti)"sv, " <?xml"sv,
                                "\0\0\xFE\xFF"sv, "\xFE"sv})
    EXPECT_FALSE(xml_parser::looks_like_xml(text.data(), text.size())) << testing::PrintToString(text);
}

TEST_F(XmlParserTest, TranscodesDeclaredLatin1) {
  for (const char* name : {"ISO-8859-1", "iso-latin-1", "ISO LATIN 1", "Latin1"}) {
    ASSERT_EQ(parse("<?xml version='1.0' encoding='"s + name + "'?>\n<rti city=\"K\xF6ln\"/>"), Document::ok);
    EXPECT_EQ(dump(out_), "rti city='K\xC3\xB6ln'") << name;
  }
  // A BOM without a declaration means UTF-8; an attribute called encoding is no declaration.
  EXPECT_EQ(parse("\xEF\xBB\xBF<rti encoding=\"EBCDIC\"/>"), Document::ok);
}

TEST_F(XmlParserTest, TranscodesWideEncodings) {
  const std::u32string text = U"<?xml version=\"1.0\"?>\n<rti name=\"\u00E9\u20AC\U0001D11E\"/>";
  for (int width : {2, 4}) {
    for (bool big_endian : {false, true}) {
      for (bool mark : {false, true}) {
        if (width == 4 && mark) continue;  // a UCS-4 text is known by its "<" alone
        const std::string bytes = encode(text, width, big_endian, mark);
        ASSERT_TRUE(xml_parser::looks_like_xml(bytes.data(), bytes.size()));
        ASSERT_EQ(parse(bytes), Document::ok) << width << big_endian << mark << messages_;
        EXPECT_EQ(dump(out_), "rti name='\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E'");
      }
    }
  }
}

TEST_F(XmlParserTest, RefusesUnknownEncodingsAndBadBytes) {
  const std::pair<std::string, const char*> cases[] = {
      {"<?xml version=\"1.0\" encoding=\"EBCDIC\"?><rti/>", "Malformed XML file detected\n"},
      {"<?xml version=\"1.0\" encoding=\"latin1?><rti/>", "Malformed XML file detected\n"},
      {"\xEF\xBB\xBF<?xml encoding='EBCDIC'?><rti/>", "Malformed XML file detected\n"},
      {"<?xml encoding=\"ASCII\"?><rti a=\"\xE9\"/>", "Error decoding this text encoding (3).\n"},
      {"<?xml version=\"1.0\"?><rti a=\"\xC0\xAF\"/>", "Error decoding this text encoding (106).\n"},
      {"<?xml version=\"1.0\"?><rti a=\"\xE2\x82\"/>", "Error decoding this text encoding (106).\n"},
      {"<?xml version=\"1.0\"?><rti a=\"\xE0\x80\xAF\"/>", "Error decoding this text encoding (106).\n"},
      {"<?xml version=\"1.0\"?><rti a=\"\xED\xA0\x80\"/>", "Error decoding this text encoding (106).\n"},
      {"<?xml version=\"1.0\"?><rti a=\"\0\"/>"s, "Error decoding this text encoding (106).\n"},
      {encode(U"<rti/>", 2, false, true) + "x", "Error decoding this text encoding (1014).\n"},
      {encode(U"<rti a=\"", 2, true, true) + "\xDC\x00\xDC\x00"s + encode(U"\"/>", 2, true, false),
       "Error decoding this text encoding (1013).\n"},
      {encode(U"<rti a=\""s + char32_t{0x110000} + U"\"/>", 4, true, false),
       "Error encoding this text encoding (1018).\n"},
  };
  for (const auto& [text, message] : cases) {
    EXPECT_EQ(parse(text), Document::parse_failed) << message;
    EXPECT_EQ(messages_, message);
  }
}

TEST_F(XmlParserTest, MapsTagsToElementsAndAttributesToTypedValues) {
  ASSERT_EQ(parse("<?xml version=\"1.0\"?>\n"
                  "<rti s='x' i=\"12\" r=\"2.5\" h=\"0x1F\" o=\"0O17\" neg=\"-3\" ip=\"224.22.0.0\"\n"
                  "     e=\"\" trail=\"12abc\" exp=\"1e5\" all=\"0xFFFFFFFF\">\n"
                  "  text is ignored\n"
                  "  <first/><second a = \"b\"><inner/></second>\n"
                  "  <first/>\n"
                  "</rti>\n"
                  "<later/>\n"),
            Document::ok);
  EXPECT_EQ(dump(out_),
            "rti s='x' i=12 r=2.500000 h=31 o=15 neg='-3' ip='224.22.0.0' e='' trail=12 exp=1 all=-1 "
            "[first;second a='b' [inner;];first;]");
}

TEST_F(XmlParserTest, ReplacesEntitiesAndCharacterReferences) {
  ASSERT_EQ(parse("<a v=\"&amp;&lt;&gt;&quot;&apos;&#65;&#x42;&#233;&#x1D11E;\" w='\"'>x &amp; y</a>"),
            Document::ok);
  EXPECT_EQ(dump(out_), "a v='&<>\"'AB\xC3\xA9\xF0\x9D\x84\x9E' w='\"'");
}

TEST_F(XmlParserTest, SkipsCommentsInstructionsCdataAndDoctype) {
  ASSERT_EQ(parse("<?xml version=\"1.0\"?>\n"
                  "<!DOCTYPE rti [ <!ENTITY x \"a]>b\"> <!-- ]> --> <!ELEMENT rti ANY> ]>\n"
                  "<!-- <fake/> -->\n"
                  "<rti><?pi <fake/> ?><![CDATA[ <fake/> </rti> & ]]><child/></rti>"),
            Document::ok)
      << messages_;
  EXPECT_EQ(dump(out_), "rti [child;]");
}

TEST_F(XmlParserTest, ReportsEachSyntaxErrorWithItsLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a b \"1\"/>", "equal sign (=) expected"},
      {"<a \"1\"/>", "attribute expected"},
      {"</b>", "mismatched end tag"},
      {"<a b=1/>", "quote (either ' or \") expected"},
      {"<a/ >", "greater than sign (>) expected"},
      {"</rti x>", "greater than sign (>) expected"},
      {"<a b=\"&foo;\"/>", "illegal use of ampersand (&)"},
      {"<a b=\"&#xD800;\"/>", "illegal use of ampersand (&)"},
      {"&#0; ", "illegal use of ampersand (&)"},
      {"& amp;", "illegal use of ampersand (&)"},
      {"< a/>", "tag name expected"},
  };
  // Line breaks of all three kinds before the fault, which stands on line 3.
  for (const auto& [fault, message] : cases) {
    EXPECT_EQ(parse("<?xml version=\"1.0\"?>\r\n<rti>\r"s + fault + "\n</rti>"), Document::parse_failed);
    EXPECT_EQ(messages_, "t.xml:3: error: "s + message + "\n");
  }
  EXPECT_EQ(parse("<?xml version=\"1.0\"?>\n<!-- nothing -->\n"), Document::parse_failed);
  EXPECT_EQ(messages_, "t.xml:3: error: no document tag found\n");
  // Data that ends too early is reported at its end.
  for (const char* end : {"<a>\n", "<a b='1\n", "<!-- c\n"}) {
    EXPECT_EQ(parse("<?xml version=\"1.0\"?>\n<rti>\n"s + end), Document::parse_failed);
    EXPECT_EQ(messages_, "t.xml:4: error: unexpected end of xml data\n");
  }
}

TEST_F(XmlParserTest, BoundsNestingDepth) {
  const auto nested = [](size_t depth) {
    std::string text;
    for (size_t i = 0; i < depth; ++i) text += "<a>";
    for (size_t i = 0; i < depth; ++i) text += "</a>";
    return text;
  };
  ASSERT_EQ(parse(nested(1000)), Document::ok);
  int depth = 1;
  for (const Element* e = &out_; e->num_children() == 1; e = &e->children[0]) ++depth;
  EXPECT_EQ(depth, 1000);
  EXPECT_EQ(parse(nested(1001)), Document::parse_failed);
  EXPECT_EQ(messages_, "t.xml:1: error: elements nested more than 1000 deep\n");
  EXPECT_EQ(parse(nested(200000)), Document::parse_failed);
}

TEST_F(XmlParserTest, FailsCleanlyOnEveryTruncation) {
  const std::string text =
      "<?xml version='1.0' encoding='latin1'?>\n<!DOCTYPE rti [<!ENTITY e 'x'>]>\n"
      "<rti a=\"0x1f\" b='&lt;&#xE9;\xE9'><!-- c --><![CDATA[x]]><?p?><b/>t&amp;</rti>";
  for (const std::string& whole : {text, encode(U"<rti a=\"\U0001D11E\"><b/></rti>", 2, true, true)}) {
    ASSERT_EQ(parse(whole), Document::ok) << messages_;
    for (size_t length = 0; length < whole.size(); ++length) {
      EXPECT_EQ(parse(std::string_view(whole).substr(0, length)), Document::parse_failed) << length;
      EXPECT_FALSE(messages_.empty()) << length;
    }
  }
}

TEST_F(XmlParserTest, GivesTheSameTreeAsTheReaderText) {
  const char* reader_text =
      "(rti (version D22)\n"
      "  (federation_parameters (multicast (packet_size 1448) (ratelimit_max_mbps 75.0)\n"
      "     (base_address \"224.22.0.0\") (message_priority 0x3f) (ttl 0o40) (mask 0xFFFFFFFF)))\n"
      "  (federate_parameters (connectivity (interface \"127.0.0.1\"))))";
  const char* xml_text =
      "<?xml version=\"1.0\"?>\n<rti><version val0=\"D22\"/>\n"
      "  <federation_parameters><multicast><packet_size val0=\"1448\"/>"
      "<ratelimit_max_mbps val0=\"75.0\"/>\n"
      "     <base_address val0=\"224.22.0.0\"/><message_priority val0=\"0x3f\"/><ttl val0=\"0o40\"/>"
      "<mask val0=\"0xFFFFFFFF\"/></multicast></federation_parameters>\n"
      "  <federate_parameters><connectivity><interface val0=\"127.0.0.1\"/></connectivity>"
      "</federate_parameters></rti>";
  // Both through the document, which tells the formats apart by their first bytes.
  Element from_reader, from_xml;
  ASSERT_EQ(document_.readString(reader_text, from_reader), Document::ok);
  ASSERT_EQ(document_.readString(xml_text, from_xml), Document::ok);
  EXPECT_EQ(dump(from_xml), dump(from_reader));
}

}  // namespace
