// The per-page step: how text becomes words and spaced punctuation tokens,
// which base word a spelling gets, and the zones and score bytes of the
// postings.
#include <gtest/gtest.h>

#include <string>

#include "indexer/builder_state.h"

namespace {

using indexer::PageAnalysis;

const char kClassMarks[] = "SXPN";  // spaced, suffix, prefix, no space

// The body section of text as "word" and "token+class" items.
std::string rendered(const std::string &text, const indexer::TokenRules &rules = {}) {
    indexer::ExtractedPage page;
    page.runs.push_back({indexer::TextZone::kBody, text});
    const PageAnalysis a = indexer::analyze_page(rules, page);
    const uint32_t per_class = (uint32_t)indexer::reserved_texts().size();
    std::string out;
    for (uint32_t record : a.records) {
        if (record == (indexer::kReservedFlag | kSectionEndId)) break;
        if (record == (indexer::kReservedFlag | kPageStartId)) continue;
        if (!out.empty()) out += ' ';
        if ((record & indexer::kReservedFlag) != 0) {
            const uint32_t id = (record & ~indexer::kReservedFlag) - kFirstTokenId;
            out += indexer::reserved_texts()[id % per_class] + kClassMarks[id / per_class];
        } else {
            out += a.arena.substr(a.surfaces[record].at, a.surfaces[record].size);
        }
    }
    return out;
}

// The base word of each spelling of text, joined by spaces.
std::string bases(const std::string &text, int algo) {
    indexer::TokenRules rules;
    rules.stemming_algo = algo;
    indexer::ExtractedPage page;
    page.runs.push_back({indexer::TextZone::kBody, text});
    const PageAnalysis a = indexer::analyze_page(rules, page);
    std::string out;
    for (size_t i = 0; i < a.surfaces.size(); i++) {
        const PageAnalysis::Text &base = a.bases[a.surface_base[i]];
        out += (out.empty() ? "" : " ") + a.arena.substr(base.at, base.size);
    }
    return out;
}

TEST(PageTokens, PunctuationKeepsTheSpacingOfTheSource) {
    const struct {
        const char *text, *tokens;
    } cases[] = {
        {"Hello, world.", "Hello ,X world .X"},
        {"Don't stop", "Don 'N t stop"},
        {"e-mail (home) a - b", "e -N mail (P home )X a -S b"},
        {"C++ and C# or a+b, c+", "C++ and C# or a +N b ,X c +X"},
        {"3.14 ok!", "3 .N 14 ok !X"},
        {"Tom & Jerry <b>", "Tom &amp;S Jerry &lt;P b &gt;X"},
        {"say \"hi\" now", "say &quot;P hi &quot;X now"},
        {"foo\u2014bar \u201Cquoted\u201D", "foo \u2014N bar \u201CP quoted \u201DX"},
        {"co\u00ADoperate", "cooperate"},
        {"Caf\u00E9 cr\u00E8me \u00E0 la carte", "Caf\u00E9 cr\u00E8me \u00E0 la carte"},
        {"x \u2603 y\u00A0z", "x y z"},  // a symbol without a token, a no-break space
        {"", ""},
    };
    for (const auto &c : cases) EXPECT_EQ(rendered(c.text), c.tokens) << c.text;
}

TEST(PageTokens, WordsAreCutJoinedAndStemmedAsQueries) {
    EXPECT_EQ(rendered(std::string(100, 'a') + " b"), std::string(64, 'a') + " b");
    // A "+" ending that would pass the word limit stays punctuation.
    EXPECT_EQ(rendered("c" + std::string(70, '+')).substr(0, 8), "c +N +N ");
    indexer::TokenRules join;
    join.join_chars = "-'";
    EXPECT_EQ(rendered("e-mail don't -x y-", join), "e-mail don't -P x y -X");
    const struct {
        const char *text;
        int algo;
        const char *bases;
    } cases[] = {
        {"Running RUNS runner", 2, "run run runner"},
        {"Running RUNS", -1, "running runs"},
        {"Caf\u00E9 CAF\u00C9S na\u00EFve \u0141\u00F3d\u017A", 2, "cafe cafe naiv lodz"},
        {"route66 c++", 2, "route66 c++"},  // never stemmed, as the search leaves them
    };
    for (const auto &c : cases) EXPECT_EQ(bases(c.text, c.algo), c.bases) << c.text;
}

TEST(PageTokens, SectionsAreLaidOutBodyTitleMeta) {
    indexer::ExtractedPage page;
    page.runs = {{indexer::TextZone::kTitle, "Bees"},
                 {indexer::TextZone::kHeading, "Bees swarm"},
                 {indexer::TextZone::kBody, "bees fly"},
                 {indexer::TextZone::kDescription, "About bees"}};
    const PageAnalysis a = indexer::analyze_page({}, page);
    // 0, body "Bees swarm bees fly", 1, title "Bees", 1, meta "About bees"
    ASSERT_EQ(a.records.size(), 10u);
    EXPECT_EQ(a.records[0], indexer::kReservedFlag | kPageStartId);
    EXPECT_EQ(a.records[5], indexer::kReservedFlag | kSectionEndId);
    EXPECT_EQ(a.records[7], indexer::kReservedFlag | kSectionEndId);
    const PageAnalysis::WordStats &bee = a.stats[a.surface_base[0]];
    EXPECT_EQ(bee.weight[indexer::kSectionBody], 3 + 1);  // heading counts three times
    EXPECT_EQ(bee.weight[indexer::kSectionTitle], 1);
    EXPECT_EQ(bee.weight[indexer::kSectionMeta], 1);
    EXPECT_EQ(bee.first[indexer::kSectionBody], 1u);
    EXPECT_EQ(bee.first[indexer::kSectionTitle], 6u);
    EXPECT_EQ(bee.first[indexer::kSectionMeta], 9u);
    EXPECT_EQ(bee.zones, 0x80);  // a short page is one part
    EXPECT_EQ(a.section_words[indexer::kSectionBody], 4u);
}

TEST(PostingZones, EightPartsOfAtLeast64Records) {
    const struct {
        uint32_t q, total;
        uint8_t bit;
    } cases[] = {{0, 10, 0x80},     {63, 100, 0x80},    {64, 100, 0x40},    {511, 512, 0x01},
                 {999, 8000, 0x80}, {1000, 8000, 0x40}, {7999, 8000, 0x01}, {9000, 512, 0x01}};
    for (const auto &c : cases) EXPECT_EQ(indexer::zone_bit(c.q, c.total), c.bit) << c.q;
}

TEST(PostingScores, FollowFrequencyRarityLengthAndSection) {
    indexer::ScoreContext context;
    context.page_count = 1000;
    context.average_words[0] = 500;
    context.average_words[1] = 6;
    context.average_words[2] = 30;
    auto score = [&](uint16_t weight, uint32_t pages, uint32_t words, uint8_t section) {
        indexer::PostingEntry posting{0, 0, 0, weight, 0x80, section};
        return indexer::posting_score(context, posting, indexer::word_rarity(context, pages),
                                      words);
    };
    const uint8_t plain = score(2, 50, 500, indexer::kSectionBody);
    EXPECT_GT(score(6, 50, 500, indexer::kSectionBody), plain);   // more often
    EXPECT_GT(score(2, 5, 500, indexer::kSectionBody), plain);    // rarer
    EXPECT_LT(score(2, 50, 5000, indexer::kSectionBody), plain);  // longer page
    EXPECT_GT(score(1, 50, 6, indexer::kSectionTitle), score(1, 50, 500, indexer::kSectionBody));
    EXPECT_GE(score(1, 1000, 100000, indexer::kSectionMeta), 1);  // never 0: never dropped
    EXPECT_LE(score(60000, 1, 1, indexer::kSectionTitle), 255);
}

}  // namespace
