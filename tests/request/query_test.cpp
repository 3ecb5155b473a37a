// Query normalisation, accent mapping and the split into words.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "text/text.h"

namespace {

class QueryTest : public ::testing::Test {
   protected:
    void SetUp() override {
        release_all();
        init_search_context();
        c.AllowExactPhrase = 1;
        c.ToLowerSearchWords = 1;
    }
    void TearDown() override { release_all(); }
    std::string normalized(const std::string &query) {
        snprintf(c.g_query_text, sizeof c.g_query_text, "%s", query.c_str());
        normalize_query(&c);
        return c.g_query_text;
    }
    std::vector<std::string> words(const std::string &query) {
        release_search_buffers();
        c.g_query_word_count = 0;
        normalized(query);
        split_query_words(&c);
        std::vector<std::string> out;
        for (uint32_t i = 0; i < c.g_query_word_count; i++) out.push_back(c.g_query_words[i]);
        return out;
    }
    SearchContext &c = g_search_context;
};

using Words = std::vector<std::string>;

TEST_F(QueryTest, PunctuationBecomesSpaceAndCaseFolds) {
    EXPECT_EQ(normalized("Hello, World!"), "hello  world");
    EXPECT_EQ(words("Hello, World!"), (Words{"hello", "world"}));
    EXPECT_EQ(normalized("(a) [b] {c} ^d|e"), "a   b   c   d e");
    EXPECT_EQ(normalized("a&b/c\\d@e"), "a b c d e");
}

TEST_F(QueryTest, SiteAndUrlPrefixesSurviveTheColonRule) {
    EXPECT_EQ(normalized("site:abc.def test"), "site:abc def test");
    EXPECT_EQ(normalized("url:x:y SITE:z"), "url:x y site:z");
}

TEST_F(QueryTest, PlusHashAndHyphenRules) {
    EXPECT_EQ(normalized("c++ and c#"), "c++ and c#");
    EXPECT_EQ(normalized("a+b"), "a b");
    EXPECT_EQ(normalized("+a"), "a");
    EXPECT_EQ(normalized("+"), "+");
    EXPECT_EQ(normalized("c#x"), "c x");
    EXPECT_EQ(normalized("a--b"), "a -b");
    EXPECT_EQ(words("e-mail -spam"), (Words{"e", "mail", "-spam"}));
}

TEST_F(QueryTest, PercentAndTrailingPunctuation) {
    EXPECT_EQ(normalized("100%"), "100");
    EXPECT_EQ(normalized("50% off"), "50 off");
    EXPECT_EQ(normalized("a%b"), "a b");
    strcpy(c.WordJoinChars, ".");
    EXPECT_EQ(normalized("a.b.c."), "a.b.c");
    EXPECT_EQ(normalized("x. y"), "x y");
}

TEST_F(QueryTest, PhrasesAndExclusions) {
    EXPECT_EQ(words("\"new york\" hotels"), (Words{"new york", "hotels"}));
    EXPECT_EQ(c.g_phrase_seen, 1);
    EXPECT_EQ(words("-\"bad phrase\" good"), (Words{"good", "-bad phrase"}));
    EXPECT_EQ(words("   "), Words{});
    EXPECT_EQ(words("a \""), (Words{"a", ""}));  // an opening quote at the end: empty word
    EXPECT_EQ(words("ab \"\""), (Words{"ab", ""}));
}

TEST_F(QueryTest, ExclusionWordsMoveLastKeepingTheirOrder) {
    EXPECT_EQ(words("-a b -c d -e f"), (Words{"b", "d", "f", "-a", "-c", "-e"}));
}

TEST_F(QueryTest, StraightQuotesWithoutPhrasesButCurlyQuotesStillMakeOne) {
    c.AllowExactPhrase = 0;
    EXPECT_EQ(words("\"a b\""), (Words{"a", "b"}));
    EXPECT_EQ(c.g_phrase_seen, 0);
    EXPECT_EQ(words("\xE2\x80\x9C"
                    "a b"
                    "\xE2\x80\x9D"),
              (Words{"a b"}));
    EXPECT_EQ(c.g_phrase_seen, 1);
}

TEST_F(QueryTest, BarAndPoundDependOnCodepageAndCase) {
    EXPECT_EQ(normalized("a|b \xC2\xA3"
                         "5"),
              "a b  5");
    c.Codepage = 932;
    EXPECT_EQ(normalized("a|b"), "a|b");
    c.Codepage = 0;
    c.UseUTF8 = 1;
    c.SearchAsSubstring = 1;
    EXPECT_EQ(normalized("a|b"), "a|b");
}

TEST_F(QueryTest, Utf8QueriesLowerCaseThroughTheCaseTable) {
    c.UseUTF8 = 1;
    ASSERT_EQ(load_unicode_tables(), 0);
    EXPECT_EQ(normalized("\xC3\x89T\xC3\x89"), "\xC3\xA9t\xC3\xA9");
}

TEST_F(QueryTest, AccentMapping) {
    const char *accents[] = {"\xC3\xA9", "", "x"};
    const char *normals[] = {"e", "zz", "xx"};
    c.g_accent_chars = (char **)calloc(3, sizeof(char *));
    c.g_normal_chars = (char **)calloc(3, sizeof(char *));
    for (int i = 0; i < 3; i++) {
        c.g_accent_chars[i] = strdup(accents[i]);
        c.g_normal_chars[i] = strdup(normals[i]);
    }
    c.g_accent_count = c.g_accent_capacity = 2;
    char query[kQueryTextSize] = "caf\xC3\xA9 cr\xC3\xA8me";
    EXPECT_TRUE(map_accents(query));  // the empty item is skipped
    EXPECT_STREQ(query, "cafe cr\xC3\xA8me");

    // A replacement that holds its own item grows until it no longer fits.
    c.g_accent_count = c.g_accent_capacity = 3;
    strcpy(query, "x");
    EXPECT_FALSE(map_accents(query));
    EXPECT_LE(strlen(query), 2085u);
}

TEST_F(QueryTest, LongQueriesStayWithinTheirBuffers) {
    std::string query(2085, 'a');
    for (size_t i = 1; i < query.size(); i += 2) query[i] = ' ';
    std::vector<std::string> split = words(query);
    EXPECT_EQ(split.size(), 1043u);
    std::string quotes(2085, '"');
    split = words(quotes);
    for (const auto &w : split) EXPECT_LE(w.size(), 2085u);
}

}  // namespace
