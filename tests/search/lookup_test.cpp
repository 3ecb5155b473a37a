// Term lookup and page scoring: word classes, skipped words, the match
// budget, the page update and the ordered count, through small indexes.
#include <map>

#include "text/text.h"

#include "search/search_fixture.h"

namespace searchtest {
namespace {

// Five pages about bees; page 4 has no "bee" but "wax" twice.
IndexSpec bee_index() {
    IndexSpec spec;
    spec.pages = {
        page_of("http://alpha/1", "bee hive honey"), page_of("http://alpha/2", "bees swarm wax"),
        page_of("http://beta/3", "honey bee honey"), page_of("http://gamma/4", "beeswax candle"),
        page_of("http://gamma/5", "wax candle wax"),
    };
    spec.common_words = {"the"};
    spec.pages[0].words.push_back("the");
    return spec;
}

class LookupTest : public SearchFixture {};

TEST(BoostedScore, SinglePrecisionInTheIndexOrder) {
    const struct {
        uint8_t boost, score;
        uint32_t expected;
    } cases[] = {
        {13, 45, 58}, {21, 15, 31}, {0, 45, 45}, {1, 4, 0}, {1, 5, 1}, {10, 7, 7}, {255, 255, 6503},
    };
    for (const auto &k : cases)
        EXPECT_EQ(boosted_score(k.boost, k.score), k.expected)
            << (int)k.boost << " " << (int)k.score;
}

// Sort order 1 keeps the term scores: the filters replace them only for relevance.
TEST_F(LookupTest, EachWordClassFindsItsPages) {
    IndexSpec spec = bee_index();
    spec.settings.set("MinWordLen", 2);
    write(spec);
    const struct {
        const char *query;
        std::vector<uint32_t> pages;
        uint32_t nonsearch;
    } cases[] = {
        {"bee", {0, 2}, 0},
        {"bee*", {0, 1, 2, 3}, 0},  // base words and variants
        {"b?e", {0, 2}, 0},
        {"wax -candle", {1}, 1},  // exclusion drops pages 3 and 4
        {"honey -bee", {}, 1},
        {"bee site:beta", {2}, 1},  // the filter word is also looked up, finding nothing
        {"nothing", {}, 0},
        {"\"bee", {0, 2}, 0},  // an opening quote leaves an empty word
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=") + k.query)) << k.query << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.query;
        EXPECT_EQ(c.g_nonsearch_word_count, k.nonsearch) << k.query;
        EXPECT_EQ(c.g_skipped_word_count, 0u) << k.query;
    }
}

// Wildcards against base words and their variants, with and without case:
// a pattern's first plain byte decides at once, "?" and "*" never do.
TEST_F(LookupTest, WildcardsMatchVariantsWithAndWithoutCase) {
    IndexSpec spec;
    spec.pages = {page_of("http://a/0", "Beeswax candle"), page_of("http://a/1", "bee"),
                  page_of("http://a/2", "Hive")};
    const struct {
        int lower;  // ToLowerSearchWords
        const char *query;
        std::vector<uint32_t> pages;
    } cases[] = {
        {1, "bee*", {0, 1}}, {1, "BEE*", {0, 1}}, {1, "h*", {2}}, {1, "?ive", {2}},
        {0, "Bee*", {0}},    {0, "bee*", {0, 1}}, {0, "H*", {2}}, {0, "*ive", {2}},
        {0, "BEE*", {}},     {0, "?eeswax", {0}}, {1, "x*", {}},  {0, "c?ndle", {0}},
    };
    for (const auto &k : cases) {
        spec.settings.set("ToLowerSearchWords", k.lower);
        write(spec);
        ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=") + k.query)) << k.query << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.lower << " " << k.query;
    }
}

// Patterns with a plain head against many words whose texts hold the head at
// their start, in their middle, across 16-byte blocks of the dictionary, in
// either case and next to the numbers of base lines: the pages found are
// those with a spelling (or its base word) that the pattern matches.
TEST_F(LookupTest, WildcardHeadsFindExactlyTheMatchingWords) {
    const char kAlphabet[] = "abcAB129";
    uint32_t seed = 7;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    // Base words are the spellings less their last byte, as a stemmer cuts
    // them, in their own case: the spellings themselves are variants.
    auto base_of = [](const std::string &word) {
        return word.size() > 1 ? word.substr(0, word.size() - 1) : word;
    };
    IndexSpec spec;
    spec.base_word = base_of;
    std::vector<std::vector<std::string>> words;
    for (int p = 0; p < 24; p++) {
        std::string text;
        words.emplace_back();
        for (int w = 0; w < 6; w++) {
            std::string word(1, "abcAB1"[next(6)]);
            for (uint32_t n = next(19); n > 0; n--) word += kAlphabet[next(8)];
            words.back().push_back(word);
            text += word + " ";
        }
        spec.pages.push_back(page_of("http://a/" + std::to_string(p), text));
    }
    const char *patterns[] = {"a*",    "ab*", "A*",   "Ab?*", "b9*", "1*",     "12*", "c*a",
                              "aaaa*", "B*1", "a?b*", "9*",   "2*",  "abcab*", "ba*"};
    for (int lower = 0; lower <= 1; lower++) {
        spec.settings.set("ToLowerSearchWords", lower).set("MinWordLen", 1);
        write(spec);
        for (const char *pattern : patterns) {
            // A dictionary word matches by its base word or any spelling of
            // it; every page that has one of its spellings is found.
            std::map<std::string, bool> matches;
            for (const auto &page : words)
                for (const std::string &word : page) {
                    const std::string base = base_of(word);
                    matches[base] = matches[base] ||
                                    match_wildcard(word.c_str(), pattern, lower == 0) ||
                                    match_wildcard(base.c_str(), pattern, lower == 0);
                }
            std::vector<uint32_t> expected;
            for (uint32_t p = 0; p < words.size(); p++)
                for (const std::string &word : words[p])
                    if (matches[base_of(word)]) {
                        expected.push_back(p);
                        break;
                    }
            ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=") + pattern)) << out_;
            EXPECT_EQ(scored_pages(), expected) << lower << " " << pattern;
        }
    }
}

TEST_F(LookupTest, SubstringModeDecoratesWordsButNotFiltersOrExclusions) {
    IndexSpec spec = bee_index();
    spec.settings.set("SearchAsSubstring", 1);
    write(spec);
    const struct {
        const char *query;
        std::vector<uint32_t> pages;
        const char *first_word;
    } cases[] = {
        {"ees", {1, 3}, "*ees*"},
        {"wax -eesw", {1, 4}, "*wax*"},  // "-eesw" stays an exclusion: page 3 goes
        {"site:alpha", {0, 1}, ""},      // a lone filter: every page, filtered by address
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_sort=1&vesk_query=") + k.query)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.query;
        if (!c.g_meta_only_search) {
            EXPECT_STREQ(c.g_query_words[0], k.first_word);
        }
    }
}

TEST_F(LookupTest, SkippedWordsAreListedEscapedAndEmptied) {
    IndexSpec spec = bee_index();
    spec.settings.set("MinWordLen", 4).set_text("WordJoinChars", "'");
    write(spec);
    const struct {
        const char *query;
        const char *listed;
        uint32_t count;
    } cases[] = {
        {"honey a", "\"<b>a</b>\"", 1},
        {"the honey ab", "\"<b>the</b>\", \"<b>ab</b>\"", 2},  // a common word too
        {"o'b honey", "\"<b>o&#39;b</b>\"", 1},
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_query=") + k.query)) << out_;
        EXPECT_STREQ(c.g_skipped_words, k.listed) << k.query;
        EXPECT_EQ(c.g_skipped_word_count, k.count) << k.query;
    }
}

TEST_F(LookupTest, EntriesThatDoNotFitAreLeftOutWhole) {
    IndexSpec spec = bee_index();
    spec.settings.set("MinWordLen", 10);
    write(spec);
    std::string query;
    for (int k = 0; k < 208; k++) query += std::string(k == 0 ? "" : "+") + "abcdefghi";
    ASSERT_TRUE(search("vesk_query=" + query));
    EXPECT_EQ(c.g_skipped_word_count, 208u);
    // 18 characters for the first entry, 20 for each later one: 106 fit.
    const std::string listed = c.g_skipped_words;
    EXPECT_EQ(listed.size(), 18u + 105u * 20u);
    EXPECT_EQ(listed.substr(listed.size() - 5), "</b>\"");
}

TEST_F(LookupTest, MatchBudgetAndCutShortFlag) {
    IndexSpec spec;
    for (int k = 0; k < 20; k++) {
        char word[8];
        snprintf(word, sizeof word, "w%02d", k);
        spec.pages.push_back(page_of("p", word));
    }
    spec.settings.set("MaxMatches", 10);
    write(spec);
    // Three words: each reads at most ceil(10 / 3) = 4 dictionary words.
    ASSERT_TRUE(search("vesk_sort=1&vesk_query=w0* w1* zz"));
    EXPECT_EQ(scored_pages(), (std::vector<uint32_t>{0, 1, 2, 3, 10, 11, 12, 13}));
    EXPECT_EQ(c.g_search_cut_short, 0);
    // One word may read 10; the 11th match of the search sets the flag.
    ASSERT_TRUE(search("vesk_sort=1&vesk_query=w*"));
    EXPECT_EQ(scored_pages().size(), 10u);
    EXPECT_EQ(c.g_search_cut_short, 1);
    // Exclusion words are not limited by the budget or the flag.
    ASSERT_TRUE(search("vesk_sort=1&vesk_query=w* -w0*"));
    EXPECT_EQ(scored_pages(), std::vector<uint32_t>{});
}

TEST_F(LookupTest, PageUpdateKeepsScoresHitsAndPositions) {
    IndexSpec spec;
    spec.pages = {page_of("p", std::string(42 * 4, ' ')), page_of("q", "comb comb comb comb")};
    spec.pages[0].words.assign(42, "cell");
    spec.pages[0].postings["cell"] = PostingSpec{250, 3};
    spec.pages[1].boost = 13;
    spec.pages[1].postings["comb"] = PostingSpec{45, 5};
    const struct {
        int keywords;
        uint64_t second, third;
    } windows[] = {{2, 1, 0}, {1, 0, 0}, {5, 1, 1}};
    for (const auto &w : windows) {
        spec.settings.set("MaxContextKeywords", w.keywords);
        IndexFiles files = write(spec);
        ASSERT_TRUE(search("vesk_sort=1&vesk_query=cell comb")) << out_;
        const PageScore &cell = run_.page_scores[0];
        EXPECT_EQ(cell.score, 10251u);  // 250 x 40 = 10000, + 250, then + 1
        EXPECT_EQ(cell.hits, 42u);
        EXPECT_EQ(cell.zones, 3);
        const uint64_t first = files.text_offsets[0] + 3 * spec.dict_id_len;
        EXPECT_EQ(cell.positions[0], first);
        EXPECT_EQ(cell.positions[1], w.second ? first + spec.dict_id_len : 0);
        EXPECT_EQ(cell.positions[2], w.third ? first + 2 * spec.dict_id_len : 0);
        const PageScore &comb = run_.page_scores[1];
        EXPECT_EQ(comb.score, 4u * 58u);  // boost 13 on 45
        EXPECT_EQ(comb.zones, 5);
    }
}

TEST_F(LookupTest, RelevanceRangeIsLargestHitsTimesLargestScore) {
    IndexSpec spec;
    spec.pages = {page_of("p", "ant ant ant"), page_of("q", "ant")};
    spec.pages[1].postings["ant"] = PostingSpec{200, 1};
    write(spec);
    ASSERT_TRUE(search("vesk_query=ant"));
    EXPECT_EQ(c.g_rank_min, 0u);
    EXPECT_EQ(c.g_rank_max, 3u * 200u);  // from different pages
}

TEST_F(LookupTest, MatchAllCountsEachTermOncePerPage) {
    IndexSpec spec;
    spec.settings.set("MinWordLen", 3);
    spec.pages = {page_of("p", "red red car"), page_of("q", "red car"), page_of("r", "car red"),
                  page_of("s", "red red")};
    write(spec);
    const struct {
        const char *query;
        std::vector<uint32_t> pages;
    } cases[] = {
        {"red car", {0, 1, 2}},
        // A skipped word before: two records of "red" must not stand in for "car".
        {"ab red car", {0, 1, 2}},
        {"red car ab", {0, 1, 2}},
        {"red car \"", {0, 1, 2}},  // an empty last word is no required term
    };
    for (const auto &k : cases) {
        ASSERT_TRUE(search(std::string("vesk_and=1&vesk_sort=1&vesk_query=") + k.query)) << out_;
        EXPECT_EQ(scored_pages(), k.pages) << k.query;
    }
}

// The word whose postings come last in the word map, and their number.
std::pair<std::string, size_t> last_block(const IndexSpec &spec) {
    const IndexFiles files = testsupport::build_index(spec);
    std::string word;
    int64_t at = -1;
    for (const auto &block : files.block_offsets)
        if (block.second > at) at = block.second, word = block.first;
    const size_t bytes = files.files.at("vesk_wordmap.vdat").size() - (size_t)at - 4;
    return {word, bytes / kWordmapRecordSize};
}

TEST_F(LookupTest, DamagedWordMapsGiveTheirMessagesPlainAndXml) {
    const IndexSpec spec = bee_index();
    const auto last = last_block(spec);
    ASSERT_EQ(last.second, 2u);
    const char *const kNoData = "Error in wordmap file: expected data not found.";
    const char *const kBadPage = "Error in wordmap: page number is invalid.";
    const struct {
        const char *name;
        void (*damage)(IndexSpec &, const std::string &);
        const char *message;  // null: the search goes on
    } cases[] = {
        {"records cut off",
         [](IndexSpec &s, const std::string &) { s.corrupt.wordmap_size_delta = -20; }, kNoData},
        {"count past the end",
         [](IndexSpec &s, const std::string &w) { s.corrupt.wordmap_count[w] = 0xFFFFFFFFu; },
         nullptr},
        {"one record of two left",
         [](IndexSpec &s, const std::string &) { s.corrupt.wordmap_size_delta = -10; }, nullptr},
        {"offset past the end",
         [](IndexSpec &s, const std::string &w) { s.corrupt.dictionary_offset[w] = 1LL << 40; },
         kNoData},
        {"page past the last",
         [](IndexSpec &s, const std::string &w) { s.corrupt.posting_page[w] = 5; }, kBadPage},
    };
    for (const auto &k : cases) {
        IndexSpec damaged = spec;
        k.damage(damaged, last.first);
        write(damaged);
        for (int xml = 0; xml <= 1; xml++) {
            const bool ready =
                search("vesk_xml=" + std::to_string(xml) + "&vesk_query=" + last.first);
            EXPECT_EQ(ready, k.message == nullptr) << k.name << out_;
            if (k.message == nullptr) {
                EXPECT_FALSE(scored_pages().empty()) << k.name;
                continue;
            }
            const std::string wrapped =
                xml ? "<vesk:error>" + std::string(k.message) + "</vesk:error>\n" : k.message;
            EXPECT_NE(out_.find(wrapped), std::string::npos) << k.name << out_;
        }
    }
}

TEST_F(LookupTest, StemmerSetUpMessages) {
    IndexSpec spec = bee_index();
    const struct {
        int algo, utf8;
        const char *message;
    } cases[] = {
        {16, 0, "Invalid stemming algorithm specified in settings file.<br />\n"},
        {-1, 1, "Invalid stemming algorithm specified in settings file.<br />\n"},
        {15, 0, "Failed to initialize stemmer.<br />\n"},
    };
    for (const auto &k : cases) {
        spec.settings.set("UseStemming", 1).set("StemmingAlgo", k.algo).set("UseUTF8", k.utf8);
        write(spec);
        EXPECT_FALSE(search("vesk_query=bee"));
        EXPECT_NE(out_.find(k.message), std::string::npos) << k.algo;
    }
    spec.settings.set("StemmingAlgo", 2);
    write(spec);
    ASSERT_TRUE(search("vesk_sort=1&vesk_query=bees"));  // stemmed to "bee"
    EXPECT_EQ(scored_pages(), (std::vector<uint32_t>{0, 2}));
}

}  // namespace
}  // namespace searchtest
