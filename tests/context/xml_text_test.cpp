// Text for XML answers: references kept or rewritten, markup and control bytes
// made harmless, UTF-8 repaired; and whatever bytes go in, xmllint accepts the
// document that holds the result.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"
#include "context/xml_text.h"

namespace {

std::string xml_escaped(const std::string &text, bool utf8 = true, bool keep_tags = false) {
    std::vector<char> out(text.size() * kXmlEscapeGrowth + 1, '\x7e');
    size_t n = xml_escape_text(out.data(), text.data(), text.size(), utf8, keep_tags);
    EXPECT_EQ(out[n], '\0');
    return std::string(out.data(), n);
}

struct Case {
    const char *name;
    std::string in, out;
    bool utf8, keep_tags;
};

TEST(XmlText, ReferencesMarkupControlBytesAndUtf8) {
    const std::string fffd = "\xEF\xBF\xBD";
    const Case cases[] = {
        {"plain text", "Bees & honey", "Bees &amp; honey", true, false},
        {"predefined references", "&amp;&lt;&gt;&quot;&apos;", "&amp;&lt;&gt;&quot;&apos;", true,
         false},
        {"numeric references", "&#38;&#x26;&#160;&#x1F600;", "&#38;&#x26;&#160;&#x1F600;", true,
         false},
        {"upper-case X is no reference", "&#X41;", "&amp;#X41;", true, false},
        {"references to no character", "&#0;&#xFFFE;&#1114112;&#xD800;&#;&#x;",
         "&amp;#0;&amp;#xFFFE;&amp;#1114112;&amp;#xD800;&amp;#;&amp;#x;", true, false},
        {"too many digits", "&#0000000065;", "&amp;#0000000065;", true, false},
        {"HTML 4 names", "&nbsp;&eacute;&Eacute;&thetasym;&euro;&Mu;",
         "&#160;&#233;&#201;&#977;&#8364;&#924;", true, false},
        {"unknown or open names", "&Nbsp; &nbsp &copy2; & ;",
         "&amp;Nbsp; &amp;nbsp &amp;copy2; &amp; ;", true, false},
        {"a reference cut by the end", "x&amp", "x&amp;amp", true, false},
        {"markup", "<b>bold</b> > x", "&lt;b>bold&lt;/b> > x", true, false},
        {"the program's own markup", "\"<b>word</b>\"", "\"<b>word</b>\"", true, true},
        {"end of a CDATA section", "a]]>b ]>", "a]]&gt;b ]>", true, false},
        {"control bytes", std::string("a\x01\x1F\tb\n\r\x7F", 8) + std::string(1, '\0') + "c",
         "a\tb\n\r\x7F"
         "c",
         true, false},
        {"well-formed UTF-8", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80",
         "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", true, false},
        {"stray bytes",
         "a\xFF"
         "b\x80",
         "a" + fffd + "b" + fffd, true, false},
        {"a character cut by the end", "x\xE2\x82", "x" + fffd + fffd, true, false},
        {"overlong form", "\xC0\xAF", fffd + fffd, true, false},
        {"surrogate", "\xED\xA0\x80", fffd + fffd + fffd, true, false},
        {"U+FFFE is no XML character", "\xEF\xBF\xBE", fffd + fffd + fffd, true, false},
        {"five- and six-byte units", "\xF8\x88\x80\x80\x80", fffd + fffd + fffd + fffd + fffd, true,
         false},
        {"single-byte charset keeps high bytes", "caf\xE9 \xFF", "caf\xE9 \xFF", false, false},
    };
    for (const Case &c : cases) EXPECT_EQ(xml_escaped(c.in, c.utf8, c.keep_tags), c.out) << c.name;
}

std::string literal_escaped(const std::string &text, bool utf8 = true) {
    std::vector<char> out(text.size() * kXmlLiteralGrowth + 1, '\x7e');
    size_t n = xml_escape_literal(out.data(), text.data(), text.size(), utf8);
    EXPECT_EQ(out[n], '\0');
    return std::string(out.data(), n);
}

// A value shown as it stands: nothing in it is a reference or markup, and the
// result still holds no control byte and no byte that is no character.
TEST(XmlText, LiteralValuesEscapeEveryMarkupCharacter) {
    const std::string fffd = "\xEF\xBF\xBD";
    const struct {
        const char *name;
        std::string in, out;
        bool utf8;
    } cases[] = {
        {"the four characters", "&<>\"", "&amp;&lt;&gt;&quot;", true},
        {"a reference stays text", "&amp;&#38;&nbsp;", "&amp;amp;&amp;#38;&amp;nbsp;", true},
        {"an apostrophe stays", "it's", "it's", true},
        {"control bytes", std::string("a\x01\tb\x1F", 5), "a\tb", true},
        {"UTF-8", "\xC3\xA9\xC3", "\xC3\xA9" + fffd, true},
        {"single-byte charset", "caf\xE9\"", "caf\xE9&quot;", false},
    };
    for (const auto &c : cases) EXPECT_EQ(literal_escaped(c.in, c.utf8), c.out) << c.name;
    EXPECT_EQ(literal_escaped(std::string(1000, '"')).size(), 1000u * kXmlLiteralGrowth);
}

TEST(XmlText, WorstCaseGrowthFitsTheStatedRoom) {
    std::string ampersands(1000, '&');
    EXPECT_EQ(xml_escaped(ampersands).size(), 1000u * kXmlEscapeGrowth);
    EXPECT_EQ(xml_escaped(std::string(1000, '\xFF')).size(), 3000u);
}

TEST(XmlText, CharsetAndElementNames) {
    for (const char *charset : {"UTF-8", "utf-8", "Utf8", "UTF8"})
        EXPECT_TRUE(charset_is_utf8(charset)) << charset;
    for (const char *charset : {"iso-8859-1", "utf-16", "", "utf-8 "})
        EXPECT_FALSE(charset_is_utf8(charset)) << charset;
    for (const char *name : {"author", "price_2", "a-b.c", "_x", "\xC3\xA9t\xC3\xA9"})
        EXPECT_TRUE(is_xml_name_part(name)) << name;
    for (const char *name : {"", "2nd", "-x", ".x", "two words", "a:b", "a\"b", "a<b", "a&b"})
        EXPECT_FALSE(is_xml_name_part(name)) << name;
}

// Random bytes, with the characters that matter to XML over-represented:
// whatever they are, the result reads as character data.
TEST(XmlText, AnyBytesGiveWellFormedCharacterData) {
    const char alphabet[] = "&#;x<>]aZ09\xC3\xA9\xED\xEF\xBF\xBE\xF0\x9F\x80\x01\t";
    std::mt19937 random(20240601);
    std::string document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<doc>\n";
    for (int i = 0; i < 400; i++) {
        std::string text;
        int length = (int)(random() % 40);
        for (int k = 0; k < length; k++)
            text += random() % 4 == 0 ? (char)(random() % 256)
                                      : alphabet[random() % (sizeof alphabet - 1)];
        document += "<t>" + xml_escaped(text) + "</t>\n";
    }
    document += "</doc>\n";
    std::string dir = testsupport::make_temp_dir("xmltext");
    EXPECT_EQ(testsupport::xml_errors(dir, document), "");
    testsupport::remove_tree(dir);
}

}  // namespace
