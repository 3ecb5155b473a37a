// Word comparison under the case settings, case-insensitive substring search
// and wildcard matching (against a strict UTF-8 decoder and a reference
// matcher).
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "context/context.h"
#include "text/text.h"

namespace {

// Sets the two case settings for one test and restores them afterwards.
class CaseSettingsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        saved_lower_ = g_search_context.ToLowerSearchWords;
        saved_utf8_ = g_search_context.UseUTF8;
        ASSERT_EQ(load_unicode_tables(), 0);
    }
    void TearDown() override {
        g_search_context.ToLowerSearchWords = saved_lower_;
        g_search_context.UseUTF8 = saved_utf8_;
        unload_unicode_tables();
    }
    static void settings(int to_lower, int use_utf8) {
        g_search_context.ToLowerSearchWords = to_lower;
        g_search_context.UseUTF8 = use_utf8;
    }

   private:
    int32_t saved_lower_ = 0;
    int32_t saved_utf8_ = 0;
};

struct CompareCase {
    int to_lower;
    int use_utf8;
    const char *a;
    const char *b;
    int expected;
};

using CompareWordsTest = CaseSettingsTest;

TEST_F(CompareWordsTest, FollowsTheCaseSettings) {
    const CompareCase cases[] = {
        // Exact: unsigned bytes.
        {0, 1, "a", "A", 1},
        {0, 1, "abc", "abc", 0},
        {0, 1, "été", "ÉTÉ", 1},
        {0, 0, "\xFF", "a", 1},
        {0, 0, "a", "\xFF", -1},
        {0, 1, "ab", "abc", -1},
        // ASCII letters only; both sides fold to lower case.
        {1, 0, "abc", "ABC", 0},
        {1, 0, "ABC", "abc", 0},
        {1, 0, "été", "ÉTÉ", 1},
        {1, 0, "_", "A", -1},
        {1, 0, "abc", "ABD", -1},
        // The case table, applied to the second word only.
        {1, 1, "été", "ÉTÉ", 0},
        {1, 1, "ÉTÉ", "été", -1},
        {1, 1, "straße", "STRASSE", 1},
        {1, 1, "istanbul", "İSTANBUL", 0},
        {1, 1, "ⱥb", "ȺB", 0},
        {1, 1, "σοφία", "ΣΟΦΊΑ", 0},
        {1, 1, "ab", "ABC", -1},
        {1, 1, "abc", "AB", 1},
        {1, 1, "", "", 0},
        {1, 1,
         "\xC3"
         "a",
         "\xC3"
         "A",
         1},  // the lead byte swallows "A"
    };
    for (const CompareCase &c : cases) {
        settings(c.to_lower, c.use_utf8);
        EXPECT_EQ(compare_words(c.a, c.b), c.expected)
            << c.a << " / " << c.b << " ToLower " << c.to_lower << " UTF-8 " << c.use_utf8;
    }
}

TEST_F(CompareWordsTest, LimitedComparisonCutsBothWordsFirst) {
    struct Case {
        int to_lower;
        int use_utf8;
        const char *a;
        const char *b;
        int n;
        int expected;
    };
    const Case cases[] = {
        {0, 1, "abcX", "abcY", 3, 0},
        {0, 1, "abcX", "abcY", 4, -1},
        {0, 1, "abc", "ABC", 3, 1},
        {1, 0, "ABCx", "abcY", 3, 0},
        {1, 0, "ABCx", "abcY", 4, -1},
        {1, 1, "ÉTÉx", "étéy", 5, 0},
        {1, 1, "ÉTÉx", "étéy", 6, -1},
        {1, 1, "Éa", "éb", 1, 0},  // both cut inside the first character
        {1, 1, "Éa", "éb", 2, 0},
        {1, 1, "Éa", "éb", 3, -1},
        {1, 1, "Ⱥ", "ⱥ", 3, 0},  // the cut word grows back to 3 bytes
        {1, 1, "İx", "ix", 3, 0},
        {1, 1, "ab", "ABC", 3, -1},
        {1, 1, "x", "y", 0, 0},
    };
    for (const Case &c : cases) {
        settings(c.to_lower, c.use_utf8);
        EXPECT_EQ(compare_words_n(c.a, c.b, c.n), c.expected)
            << c.a << " / " << c.b << " n " << c.n << " ToLower " << c.to_lower;
    }
}

TEST_F(CompareWordsTest, AsciiHelpersFoldOnlyAsciiLetters) {
    EXPECT_EQ(ascii_compare_nocase("Hello", "hELLO"), 0);
    EXPECT_EQ(ascii_compare_nocase("[", "a"), -1);
    EXPECT_EQ(ascii_compare_nocase("É", "é"), -1);
    EXPECT_EQ(ascii_compare_nocase_n("HelloX", "hELLOy", 5), 0);
    EXPECT_EQ(ascii_compare_nocase_n("ab", "AB", 10), 0);
    char text[] = "MiXeD ÉTÉ 123";
    ascii_to_lower(text);
    EXPECT_STREQ(text, "mixed ÉtÉ 123");
}

// ---- find_text_nocase ----

using FindTextTest = CaseSettingsTest;

TEST_F(FindTextTest, FindsPartsIgnoringCase) {
    for (int to_lower = 0; to_lower <= 1; ++to_lower) {
        for (int use_utf8 = 0; use_utf8 <= 1; ++use_utf8) {
            settings(to_lower, use_utf8);
            const char *report = "Report.PDF";
            EXPECT_EQ(find_text_nocase(report, ".pdf", 0), report + 6);
            EXPECT_EQ(find_text_nocase(report, ".pdf", 3), nullptr);
            EXPECT_EQ(find_text_nocase(report, ".pdf", 10), report + 6);
            EXPECT_EQ(find_text_nocase(report, ".pdf", 9), nullptr);
            const char *river = "Mississippi";
            EXPECT_EQ(find_text_nocase(river, "SIP", -1), river + 6);
            EXPECT_EQ(find_text_nocase(river, "", 0), river);
            EXPECT_EQ(find_text_nocase("", "a", 0), nullptr);
            const char unterminated[4] = {'X', 'Y', 'Z', 'W'};
            EXPECT_EQ(find_text_nocase(unterminated, "zw", 4), unterminated + 2);
        }
    }
}

TEST_F(FindTextTest, CaseTableOnlyInUtf8Mode) {
    const char *school = "ÉCOLE";
    settings(1, 0);
    EXPECT_EQ(find_text_nocase(school, "é", 0), nullptr);
    EXPECT_EQ(find_text_nocase(school, "cole", 0), school + 2);
    settings(1, 1);
    EXPECT_EQ(find_text_nocase(school, "é", 0), school);
    EXPECT_EQ(find_text_nocase(school, "cole", 0), school + 2);
}

TEST_F(FindTextTest, PointsIntoTheTextWhenLowerCasingChangesLengths) {
    settings(1, 1);
    const char *shrinking = "İİİabc";  // each İ is 2 bytes, "i" 1
    EXPECT_EQ(find_text_nocase(shrinking, "ABC", 0), shrinking + 6);
    EXPECT_EQ(find_text_nocase(shrinking, "ia", 0), shrinking + 4);
    const char *growing = "aȺȺb";  // each Ⱥ is 2 bytes, "ⱥ" 3
    EXPECT_EQ(find_text_nocase(growing, "B", 0), growing + 5);
    EXPECT_EQ(find_text_nocase(growing, "ⱥb", 0), growing + 3);
    // A match that starts inside a lower-cased character points at its start.
    EXPECT_EQ(find_text_nocase(growing, "\xA5\xE2", 0), growing + 1);
    // Only the first n bytes count, also for the position.
    EXPECT_EQ(find_text_nocase(shrinking, "abc", 6), nullptr);
    EXPECT_EQ(find_text_nocase(shrinking, "ii", 4), shrinking);
}

// ---- match_wildcard ----

// Length of the well-formed UTF-8 character at the start of s (n bytes), or 0.
size_t well_formed_length(const unsigned char *s, size_t n) {
    if (n == 0) return 0;
    unsigned char b = s[0];
    if (b < 0x80) return 1;
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b == 0xE0) {
        length = 3, low = 0xA0;
    } else if (b == 0xED) {
        length = 3, high = 0x9F;
    } else if (b >= 0xE1 && b <= 0xEF) {
        length = 3;
    } else if (b == 0xF0) {
        length = 4, low = 0x90;
    } else if (b >= 0xF1 && b <= 0xF3) {
        length = 4;
    } else if (b == 0xF4) {
        length = 4, high = 0x8F;
    } else {
        return 0;
    }
    if (n < length || s[1] < low || s[1] > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF) return 0;
    }
    return length;
}

unsigned char fold(unsigned char c, bool case_sensitive) {
    return (!case_sensitive && c >= 'A' && c <= 'Z') ? (unsigned char)(c + 32) : c;
}

// Reference matcher: plain recursion over text and pattern positions.
bool reference_match(const std::string &text, size_t t, const std::string &pattern, size_t p,
                     bool case_sensitive) {
    if (p == pattern.size()) return t == text.size();
    const unsigned char *s = (const unsigned char *)text.data() + t;
    size_t left = text.size() - t;
    if (pattern[p] == '*') {
        return reference_match(text, t, pattern, p + 1, case_sensitive) ||
               (left > 0 && reference_match(text, t + 1, pattern, p, case_sensitive));
    }
    if (pattern[p] == '?') {
        size_t length = well_formed_length(s, left);
        return length > 0 && reference_match(text, t + length, pattern, p + 1, case_sensitive);
    }
    return left > 0 &&
           fold(s[0], case_sensitive) == fold((unsigned char)pattern[p], case_sensitive) &&
           reference_match(text, t + 1, pattern, p + 1, case_sensitive);
}

bool wildcard(const std::string &text, const std::string &pattern, bool case_sensitive = false) {
    return match_wildcard(text.c_str(), pattern.c_str(), case_sensitive);
}

TEST(MatchWildcard, StarsQuestionMarksAndCase) {
    EXPECT_TRUE(wildcard("Hello", "h*o", false));
    EXPECT_FALSE(wildcard("Hello", "h*o", true));
    EXPECT_TRUE(wildcard("abc", "a?c"));
    EXPECT_TRUE(wildcard("aéc", "a?c"));
    EXPECT_TRUE(wildcard("a𐐨c", "a?c"));
    EXPECT_FALSE(wildcard("abbc", "a?c"));
    EXPECT_FALSE(wildcard("ac", "a?c"));
    EXPECT_TRUE(wildcard("mississippi", "*sip*"));
    EXPECT_TRUE(wildcard("mississippi", "m*ss*pi"));
    EXPECT_FALSE(wildcard("mississippi", "m*ss*pix"));
    EXPECT_TRUE(wildcard("", "*"));
    EXPECT_TRUE(wildcard("abc", "*"));
    EXPECT_TRUE(wildcard("", ""));
    EXPECT_FALSE(wildcard("a", ""));
    EXPECT_FALSE(wildcard("", "?"));
    EXPECT_TRUE(wildcard("ab", "a*b*"));
    EXPECT_TRUE(wildcard("aaab", "*aab"));
    // The first segment must be retried at every start, also after a later "*".
    EXPECT_TRUE(wildcard("xabbc", "*?b*??"));
    EXPECT_TRUE(wildcard("BéⱥaBba", "*?B*??"));
    EXPECT_FALSE(wildcard("ÉTÉ", "été", false));  // only ASCII letters fold
    EXPECT_TRUE(wildcard("*x", "*"));             // a "*" in the text is just a byte
    EXPECT_TRUE(wildcard("a*b", "a*"));
}

TEST(MatchWildcard, QuestionMarkNeverTakesAMalformedSequence) {
    EXPECT_FALSE(
        wildcard("\xE9"
                 "c",
                 "?c"));                              // Latin-1 é
    EXPECT_FALSE(wildcard("\xC0\x80", "?"));          // overlong NUL
    EXPECT_FALSE(wildcard("\xED\xA0\x80", "?"));      // surrogate
    EXPECT_FALSE(wildcard("\xF4\x90\x80\x80", "?"));  // above U+10FFFF
    EXPECT_FALSE(wildcard("\xC3", "?"));              // cut short
    // A failed "?" does not spoil the later ones.
    EXPECT_TRUE(
        wildcard("\xE9"
                 "x",
                 "*?"));
    EXPECT_TRUE(wildcard("x\xC3\xA9", "*?"));
    EXPECT_TRUE(
        wildcard("\xE9"
                 "ab",
                 "*?b"));
}

// Every sequence of one to four bytes built from bytes at and around the
// boundaries of UTF-8's byte ranges (all bytes for one and two): "?" matches
// exactly when the whole sequence is one well-formed character.
TEST(MatchWildcard, QuestionMarkAgreesWithAStrictDecoder) {
    const unsigned char boundaries[] = {0x01, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                        0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0,
                                        0xF1, 0xF3, 0xF4, 0xF5, 0xF7, 0xF8, 0xFB, 0xFC, 0xFF};
    std::vector<std::string> sequences;
    for (int a = 1; a < 256; ++a) {
        sequences.push_back(std::string(1, (char)a));
        for (int b = 1; b < 256; ++b) sequences.push_back({(char)a, (char)b});
    }
    for (unsigned char a : boundaries)
        for (unsigned char b : boundaries)
            for (unsigned char c : boundaries) {
                sequences.push_back({(char)a, (char)b, (char)c});
                for (unsigned char d : boundaries)
                    sequences.push_back({(char)a, (char)b, (char)c, (char)d});
            }
    int failures = 0;
    for (const std::string &s : sequences) {
        const unsigned char *bytes = (const unsigned char *)s.data();
        size_t first = well_formed_length(bytes, s.size());
        bool one_character = first == s.size();
        bool ends_in_character = false;
        for (size_t k = 0; k < s.size(); ++k) {
            ends_in_character |= well_formed_length(bytes + k, s.size() - k) == s.size() - k;
        }
        if (wildcard(s, "?") != one_character || wildcard(s, "?*") != (first > 0) ||
            wildcard(s, "*?") != ends_in_character) {
            if (++failures <= 10) {
                std::string hex;
                for (unsigned char byte : s) hex += " " + std::to_string(byte);
                ADD_FAILURE() << "bytes" << hex;
            }
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(MatchWildcard, AgreesWithAReferenceMatcherOnRandomInput) {
    const char *text_pieces[] = {"a", "b", "A", "B", "é", "\xE9", "\xA9", "ⱥ", "𐐨", "?", "*"};
    const char *pattern_pieces[] = {"a", "b", "B", "*", "*", "?", "?", "é", "\xA9", "\xC3"};
    std::mt19937 random(2024);
    for (int round = 0; round < 200000; ++round) {
        std::string text, pattern;
        for (int i = (int)(random() % 8); i > 0; --i) text += text_pieces[random() % 11];
        for (int i = (int)(random() % 6); i > 0; --i) pattern += pattern_pieces[random() % 10];
        bool case_sensitive = random() % 2 == 0;
        ASSERT_EQ(wildcard(text, pattern, case_sensitive),
                  reference_match(text, 0, pattern, 0, case_sensitive))
            << "text \"" << text << "\" pattern \"" << pattern << "\" case " << case_sensitive;
    }
}

}  // namespace
