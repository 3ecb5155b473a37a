// Tests of substring replacement, HTML escaping, URL encoding, query URLs
// and numeric character entities.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "text/text.h"

namespace {

constexpr char kFill = '\x7e';
constexpr size_t kGuard = 16;

// A buffer of cap bytes holding text, followed by guard bytes that no routine
// may change (a text longer than cap spills into them and must stay there).
class CappedBuffer {
   public:
    CappedBuffer(const std::string &text, int cap)
        : cap_((size_t)cap), bytes_(std::max(cap_, text.size() + 1) + kGuard, kFill) {
        std::copy(text.begin(), text.end(), bytes_.begin());
        bytes_[text.size()] = '\0';
        initial_ = bytes_;
    }
    char *data() { return bytes_.data(); }
    std::string text() const {
        EXPECT_TRUE(std::equal(bytes_.begin() + cap_, bytes_.end(), initial_.begin() + cap_));
        return std::string(bytes_.data());
    }

   private:
    size_t cap_;
    std::vector<char> bytes_, initial_;
};

std::string replaced(const std::string &text, const char *needle, const char *replacement,
                     uint8_t mode, int cap, bool *ok = nullptr) {
    CappedBuffer buffer(text, cap);
    bool result = replace_substrings(needle, replacement, buffer.data(), mode, cap);
    if (ok != nullptr) *ok = result;
    return buffer.text();
}

std::string escaped(const std::string &text, int cap) {
    CappedBuffer buffer(text, cap);
    escape_html(buffer.data(), cap);
    return buffer.text();
}

std::string encoded(const std::string &text, int cap) {
    CappedBuffer buffer(text, cap);
    url_encode(buffer.data(), cap);
    return buffer.text();
}

// ---- replace_substrings ----

std::string reference_replace(const std::string &text, const std::string &needle,
                              const std::string &replacement) {
    std::string result;
    size_t from = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, from)) {
        result += text.substr(from, at - from) + replacement;
        from = at + needle.size();
    }
    return result + text.substr(from);
}

TEST(ReplaceSubstringsTest, MatchesAReferenceOrLeavesTheTextWhenTooLong) {
    const char *needles[] = {"a", "ab", "aa", "aba", "b"};
    const char *replacements[] = {"", "x", "aa", "abab", "bbbbbbb"};
    unsigned seed = 12345;
    for (int round = 0; round < 2000; round++) {
        seed = seed * 1103515245u + 12345u;
        std::string text;
        for (unsigned n = (seed >> 8) % 20, i = 0; i < n; i++) text += "abc"[(seed >> i) % 3];
        const char *needle = needles[round % 5];
        const char *replacement = replacements[(round / 5) % 5];
        std::string expected = reference_replace(text, needle, replacement);
        int cap = (int)text.size() + 1 + (int)((seed >> 4) % 24);
        bool ok = false;
        std::string got = replaced(text, needle, replacement, 0, cap, &ok);
        bool fits = expected.size() < (size_t)cap;
        EXPECT_EQ(ok, fits) << text << " " << needle << " " << replacement << " " << cap;
        EXPECT_EQ(got, fits ? expected : text) << text << " " << needle << " " << replacement;
    }
}

TEST(ReplaceSubstringsTest, SubstringModeEdges) {
    bool ok = false;
    EXPECT_EQ(replaced("xaax", "a", "bb", 0, 7, &ok), "xbbbbx");  // exact fit
    EXPECT_TRUE(ok);
    EXPECT_EQ(replaced("abc", "b", "b", 0, 4, &ok), "abc");
    EXPECT_TRUE(ok);
    EXPECT_EQ(replaced("abc", "", "x", 0, 4, &ok), "abc");
    EXPECT_TRUE(ok);
    char unterminated[4] = {'a', 'b', 'a', 'b'};
    EXPECT_FALSE(replace_substrings("ab", "x", unterminated, 0, 4));
    EXPECT_EQ(memcmp(unterminated, "abab", 4), 0);
}

TEST(ReplaceSubstringsTest, CharacterModeMapsAndChains) {
    EXPECT_EQ(replaced("a.b,c", ".,", "  ", 1, 100), "a b c");
    EXPECT_EQ(replaced("ab", "ab", "bc", 1, 100), "cc");   // 'a' -> 'b' -> 'c'
    EXPECT_EQ(replaced("abc", "ab", "x", 1, 100), "xbc");  // unpaired 'b' stays
}

// ---- escape_html ----

TEST(EscapeHtmlTest, EscapesEveryTableCharacterOnce) {
    EXPECT_EQ(escaped("a<b & 'c'", 100), "a&#60;b &#38; &#39;c&#39;");
    EXPECT_EQ(escaped("\"x\">&#38;", 100), "&#34;x&#34;&#62;&#38;#38;");
    EXPECT_EQ(escaped("a<", 7), "a&#60;");  // exact fit
    EXPECT_EQ(escaped("a<", 6), "a");
}

TEST(EscapeHtmlTest, TooLongTextIsCutBeforeEscapingNeverPartlyEscaped) {
    // 2000 characters with 50 '&' and then a '<' need 2205 bytes escaped: the
    // text is cut inside its last '&' group, and the '<' goes with the rest.
    std::string text;
    for (int i = 0; i < 50; i++) text += "&" + std::string(38, 'x');
    text += "<" + std::string(49, 'y');
    std::string out = escaped(text, 2135);
    EXPECT_EQ(out.size(), 2134u);
    EXPECT_EQ(out.find_first_of("<>\"'"), std::string::npos);
    EXPECT_EQ(out, escaped(text.substr(0, 49 * 39 + 1 + 22), 4096));
}

TEST(EscapeHtmlTest, CutNeverSplitsAUtf8Character) {
    EXPECT_EQ(escaped("ab\xc3\xa9<", 4), "ab");
    EXPECT_EQ(escaped("ab\xc3\xa9<", 5), "ab\xc3\xa9");
    const std::string emoji = "\xf0\x9f\x98\x80";
    for (int cap = 2; cap <= 5; cap++) EXPECT_EQ(escaped("a" + emoji + "&", cap), "a") << cap;
    EXPECT_EQ(escaped("a" + emoji + "&", 6), "a" + emoji);
    EXPECT_EQ(escaped("ab\xa9\xa9<", 4), "ab\xa9");  // stray continuation bytes: cut by bytes
}

// ---- url_encode ----

TEST(UrlEncodeTest, EncodesAllButLettersDigitsDashAndUnderscore) {
    EXPECT_EQ(encoded("a b-c_d/\xc3\xa9", 100), "a+b-c_d%2F%C3%A9");
    EXPECT_EQ(encoded("\t+%&=.~Z09", 100), "%09%2B%25%26%3D%2E%7EZ09");
}

TEST(UrlEncodeTest, StopsAtTheFirstByteThatDoesNotFit) {
    EXPECT_EQ(encoded("2024/01/01", 15), "2024%2F01%2F01");
    EXPECT_EQ(encoded("2024/01/01", 13), "2024%2F01%2F");
    EXPECT_EQ(encoded("2024/01/01", 12), "2024%2F01");
    EXPECT_EQ(encoded("/", 2), "");
}

// ---- make_query_url ----

TEST(MakeQueryUrlTest, ChoosesTheSeparatorAndCutsToTheCapacity) {
    char out[32];
    EXPECT_EQ(make_query_url(out, "search.cgi", "vesk_page=", "2", sizeof out), 22);
    EXPECT_STREQ(out, "search.cgi?vesk_page=2");
    make_query_url(out, "search.cgi?lang=en", "a=", "b", sizeof out);
    EXPECT_STREQ(out, "search.cgi?lang=en&amp;a=b");
    memset(out, kFill, sizeof out);
    EXPECT_EQ(make_query_url(out, "search.cgi", "x=", "1", 8), 7);
    EXPECT_STREQ(out, "search.");
    EXPECT_EQ(out[8], kFill);
}

TEST(MakeQueryUrlTest, KeepAnchorMovesTheFragmentToTheEnd) {
    char out[32];
    char base[] = "page.html#top";
    EXPECT_EQ(make_query_url_keep_anchor(out, base, "h=", "q", sizeof out), 17);
    EXPECT_STREQ(out, "page.html?h=q#top");
    EXPECT_STREQ(base, "page.html");
    char question_in_fragment[] = "p.html#x?y";
    make_query_url_keep_anchor(out, question_in_fragment, "h=", "q", sizeof out);
    EXPECT_STREQ(out, "p.html&amp;h=q#x?y");
    char no_fragment[] = "p.html";
    make_query_url_keep_anchor(out, no_fragment, "h=", "q", sizeof out);
    EXPECT_STREQ(out, "p.html?h=q");
    char cut[] = "page.html#top";
    memset(out, kFill, sizeof out);
    EXPECT_EQ(make_query_url_keep_anchor(out, cut, "h=", "q", 15), 14);
    EXPECT_STREQ(out, "page.html?h=q#");
    EXPECT_EQ(out[15], kFill);
}

// ---- Numeric entities ----

// Runs an entity routine into a buffer of cap bytes and checks the guard after it.
template <typename Routine>
std::string entity_run(Routine routine, const char *source, const char *set, int cap) {
    std::vector<char> out((size_t)cap + kGuard, kFill);
    EXPECT_TRUE(routine(source, out.data(), set, cap));
    EXPECT_TRUE(std::all_of(out.begin() + cap, out.end(), [](char c) { return c == kFill; }));
    return out.data();
}
std::string encode(const char *source, const char *set, int cap = 256) {
    return entity_run(encode_numeric_entities, source, set, cap);
}
std::string decode(const char *source, const char *set, int cap = 256) {
    return entity_run(decode_numeric_entities, source, set, cap);
}

TEST(NumericEntityTest, EncodeWritesSignedBytesAndKeepsExistingEntities) {
    EXPECT_EQ(encode("a-b.c", ".-"), "a&#45;b&#46;c");
    EXPECT_EQ(encode("caf\xe9", "\xe9"), "caf&#-23;");
    EXPECT_EQ(encode("x&#46;y", "&#."), "x&#46;y");
    EXPECT_EQ(encode("a&#b", "&#"), "a&#38;&#35;b");       // no ';': both encoded
    EXPECT_EQ(encode("&#123456;", "&"), "&#38;#123456;");  // ';' 8 bytes on: too far
    EXPECT_EQ(encode("&#12345;", "&"), "&#12345;");
}

TEST(NumericEntityTest, EncodeStopsBeforeAnItemThatDoesNotFit) {
    EXPECT_EQ(encode("ab.c", ".", 7), "ab");
    EXPECT_EQ(encode("ab.c", ".", 8), "ab&#46;");
    EXPECT_EQ(encode("\x80", "\x80", 8), "&#-128;");
}

TEST(NumericEntityTest, DecodesOnlyNonzeroEntitiesOfTheSet) {
    EXPECT_EQ(decode("a&#46;b", "."), "a.b");
    EXPECT_EQ(decode("a&#x2e;b", "."), "a.b");
    EXPECT_EQ(decode("&#302;", "."), ".");  // low byte counts
    EXPECT_EQ(decode("&#-23;", "\xe9"), "\xe9");
    for (const char *unchanged : {"a&#0;b", "a&#X2e;b", "a&#44;b", "a&#x2eq;b", "&#256;", ""})
        EXPECT_EQ(decode(unchanged, "."), unchanged);
}

TEST(NumericEntityTest, DecodeInvertsEncodeAndStaysWithinTheCapacity) {
    const char *set = ".-\xe9";
    EXPECT_EQ(decode(encode("caf\xe9-au.lait", set).c_str(), set), "caf\xe9-au.lait");
    EXPECT_EQ(decode("ab&#46;cd", ".", 4), "ab.");
    EXPECT_EQ(decode("ab", ".", 1), "");
    char out[4] = "xyz";
    EXPECT_FALSE(encode_numeric_entities(nullptr, out, ".", 4));
    EXPECT_FALSE(decode_numeric_entities("a", out, nullptr, 4));
    EXPECT_STREQ(out, "xyz");
}

}  // namespace
