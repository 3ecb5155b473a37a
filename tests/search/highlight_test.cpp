// Highlighting of titles and descriptions in process: the tokenizer, and the
// marks of words, substrings, wildcards, phrases and joined words.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "search/stage_fixture.h"

using searchtest::hl;
using searchtest::pages_index;
using searchtest::StageFixture;
using searchtest::tokens;
using testsupport::IndexSpec;

namespace {

class HighlightTest : public StageFixture {
   protected:
    // Looks query up in a small index (settings adjusted) and highlights text
    // into the results buffer.
    std::string highlight(const std::string &query, const std::string &text,
                          const std::function<void(IndexSpec &)> &adjust = nullptr) {
        IndexSpec spec = pages_index({tokens("honey bee wax cake run e-mail")});
        if (adjust) adjust(spec);
        load(spec);
        EXPECT_TRUE(look_up(query)) << out_;
        c.g_result_buffer[0] = '\0';
        c.g_result_buffer_length = 0;
        highlight_terms(c, text.c_str(), kResultsBufferTarget);
        return results_buffer();
    }
};

std::function<void(IndexSpec &)> set(const char *key, long long value) {
    return [key, value](IndexSpec &spec) { spec.settings.set(key, value); };
}

std::function<void(IndexSpec &)> join(const char *chars) {
    return [chars](IndexSpec &spec) { spec.settings.set_text("WordJoinChars", chars); };
}

TEST(HighlightTokens, TextIsCutIntoWordsSeparatorsAndEntities) {
    SearchContext &c = g_search_context;
    const std::string long_word(450, 'x');
    const struct {
        const char *text;
        const char *join;
        std::vector<std::pair<int, std::string>> expected;
    } cases[] = {
        {"a b", "", {{1, "a"}, {2, " "}, {1, "b"}}},
        {"e-mail x", "-", {{1, "e-mail"}, {2, " "}, {1, "x"}}},
        {"e-mail", "", {{1, "e"}, {2, "-"}, {1, "mail"}}},
        {"end-", "-", {{1, "end-"}}},
        {"a-.b", "-", {{1, "a"}, {2, "-"}, {2, "."}, {1, "b"}}},
        {"a--b", "-", {{1, "a--b"}}},
        {"caf&#233;s", "", {{1, "caf"}, {2, "&#233;"}, {1, "s"}}},
        {"&#1234;", "", {{2, "&#1234;"}}},
        {"&#12345;", "", {{2, "&"}, {2, "#"}, {1, "12345"}, {2, ";"}}},
        {"Gr\xc3\xbc\xc3\x9f"
         "e, Welt",
         "",
         {{1,
           "Gr\xc3\xbc\xc3\x9f"
           "e"},
          {2, ","},
          {2, " "},
          {1, "Welt"}}},
        {"a\tb", "", {{1, "a\tb"}}},
        {"", "", {}},
    };
    char token[kHighlightTokenSize];
    for (const auto &test : cases) {
        SCOPED_TRACE(test.text);
        std::vector<std::pair<int, std::string>> got;
        int kind = next_highlight_token(c, test.text, token, test.join);
        while (token[0] != '\0') {
            got.push_back({kind, token});
            kind = next_highlight_token(c, nullptr, token, test.join);
        }
        EXPECT_EQ(got, test.expected);
        EXPECT_EQ(next_highlight_token(c, nullptr, token, test.join), kNoToken);
    }
    // A word of the longest length is cut, and the rest of the text follows.
    const std::string text = long_word + " y";
    std::vector<std::string> got;
    next_highlight_token(c, text.c_str(), token, "");
    while (token[0] != '\0') {
        got.push_back(token);
        next_highlight_token(c, nullptr, token, "");
    }
    const std::vector<std::string> expected = {long_word.substr(0, kHighlightTokenChars),
                                               long_word.substr(kHighlightTokenChars), " ", "y"};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(next_highlight_token(c, "a", nullptr, ""), kNoToken);
    EXPECT_EQ(next_highlight_token(c, "a", token, nullptr), kNoToken);
}

TEST_F(HighlightTest, QueryTermsAreMarked) {
    const struct {
        const char *name;
        const char *query;
        std::string text;
        std::string expected;
        std::function<void(IndexSpec &)> adjust;
    } cases[] = {
        {"words in any case", "bee", "The bee and the Bee.",
         "The " + hl("bee") + " and the " + hl("Bee") + ".", nullptr},
        {"words in their case", "bee", "The bee and the Bee.", "The " + hl("bee") + " and the Bee.",
         set("ToLowerSearchWords", 0)},
        {"substrings", "bee", "Honeybees, beeswax and wax.",
         hl("Honeybees") + ", " + hl("beeswax") + " and wax.", set("SearchAsSubstring", 1)},
        {"wildcards", "bee*", "bees bee abee", hl("bees") + " " + hl("bee") + " abee", nullptr},
        {"a phrase is one span with its separators", "\"honey bee\"",
         "A honey, bee and a honey cake.", "A " + hl("honey, bee") + " and a honey cake.", nullptr},
        {"the token after a phrase is written as it is", "\"honey bee\" wax", "honey bee,wax",
         hl("honey bee") + "," + hl("wax"), nullptr},
        {"a failed phrase lets the next term try", "\"honey cake\" honey", "honey bee",
         hl("honey") + " bee", nullptr},
        {"a phrase at the end of the text", "\"honey bee\"", "wild honey bee",
         "wild " + hl("honey bee"), nullptr},
        {"a phrase cut short by the end of the text", "\"honey bee\"", "wild honey", "wild honey",
         nullptr},
        {"a one-word phrase", "\"honey \"", "honey bee", hl("honey") + " bee", nullptr},
        {"blanks alone match nothing", "\" \" bee", "a bee", "a " + hl("bee"), nullptr},
        {"joined words", "e-mail", "Send e-mail or e&#45;mail now",
         "Send " + hl("e&#45;mail") + " or " + hl("e&#45;mail") + " now", join("-")},
        {"typed words, not their stems", "running", "run running", "run " + hl("running"),
         [](IndexSpec &spec) { spec.settings.set("UseStemming", 1).set("StemmingAlgo", 2); }},
        {"accented words in UTF-8",
         "gr\xc3\xbc\xc3\x9f"
         "e",
         "GR\xc3\x9c\xc3\x9f"
         "E gr\xc3\xbc\xc3\x9f"
         "e",
         hl("GR\xc3\x9c\xc3\x9f"
            "E") +
             " " +
             hl("gr\xc3\xbc\xc3\x9f"
                "e"),
         set("UseUTF8", 1)},
        {"accented words in a single-byte character set", "caf\xe9", "CAF\xe9 caf\xc9",
         hl("CAF\xe9") + " caf\xc9", nullptr},
        {"marker-like text stays text", "bee", "[;!] bee [!;]", "[;!] " + hl("bee") + " [!;]",
         nullptr},
        {"a long word does not end the text", "bee", std::string(450, 'x') + " bee",
         std::string(450, 'x') + " " + hl("bee"), nullptr},
        {"no highlighting", "bee", "a bee", "a bee", set("Highlighting", 0)},
        {"empty text", "bee", "", "", nullptr},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(highlight(test.query, test.text, test.adjust), test.expected);
    }
}

TEST_F(HighlightTest, LongTextsAreWrittenWhole) {
    std::string text, expected;
    for (int i = 0; i < 3000; i++) {
        text += "bee ";
        expected += hl("bee") + " ";
    }
    EXPECT_EQ(highlight("bee", text), expected);
    c.g_result_buffer[0] = '\0';
    c.g_result_buffer_length = 0;
    c.Highlighting = 0;
    highlight_terms(c, expected.c_str(), kResultsBufferTarget);
    EXPECT_EQ(results_buffer(), expected);
}

TEST_F(HighlightTest, OutputSectionsAreATarget) {
    highlight("bee", "");
    highlight_terms(c, "a bee", SECTION_SUMMARY);
    EXPECT_EQ(std::string(c.g_section_texts[SECTION_SUMMARY]), "a " + hl("bee"));
}

}  // namespace
