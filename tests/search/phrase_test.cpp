// Exact phrases in process: which pages a quoted phrase finds, the score and
// start position it gives them, the seek and time budget, the page-text
// reader across its refills and at the end of the file, and damaged files.
#include <stdio.h>
#include <unistd.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "search/stage_fixture.h"

using searchtest::pages_index;
using searchtest::StageFixture;
using searchtest::tokens;
using testsupport::IndexSpec;

namespace {

constexpr uint32_t kBody = 10;   // writer's score of a body occurrence
constexpr uint32_t kTitle = 30;  // writer's score of a title occurrence
constexpr int kNoPhrase = -1;

enum Zone { kInBody = 0, kInTitle = 1 };

struct PhraseCase {
    const char *name;
    std::string body;
    const char *query;
    int start;  // token of page 0 where the verified phrase starts, or kNoPhrase
    uint32_t score;
    uint32_t hits;
    std::function<void(IndexSpec &)> adjust = nullptr;
    Zone zone = kInBody;
    uint32_t skipped = 0;  // query words reported as skipped
};

class PhraseTest : public StageFixture {
   protected:
    // Runs the case against a one-page index and checks page 0.
    void check(const PhraseCase &test) {
        SCOPED_TRACE(test.name);
        IndexSpec spec = pages_index({tokens(test.body)});
        if (test.adjust) test.adjust(spec);
        load(spec);
        ASSERT_TRUE(look_up(test.query)) << out_;
        const PageScore &page = run_.page_scores[0];
        EXPECT_EQ(c.g_skipped_word_count, test.skipped);
        if (test.start == kNoPhrase) {
            EXPECT_EQ(page.score, 0u);
            EXPECT_EQ(page.hits, 0u);
            return;
        }
        EXPECT_EQ(page.score, test.score);
        EXPECT_EQ(page.hits, test.hits);
        EXPECT_EQ(page.positions[0], offset_of(0, (size_t)test.start, test.zone == kInTitle));
    }
};

std::function<void(IndexSpec &)> common(const char *word) {
    return [word](IndexSpec &spec) { spec.common_words.insert(word); };
}

std::function<void(IndexSpec &)> title(const char *text) {
    return [text](IndexSpec &spec) { spec.pages[0].title = text; };
}

// Score and zone bytes of big's and red's postings on page 0.
std::function<void(IndexSpec &)> postings(uint8_t big_score, uint8_t big_zones, uint8_t red_score,
                                          uint8_t red_zones, uint8_t boost = 0) {
    return [=](IndexSpec &spec) {
        spec.pages[0].postings["big"] = {big_score, big_zones};
        spec.pages[0].postings["red"] = {red_score, red_zones};
        spec.pages[0].boost = boost;
    };
}

std::function<void(IndexSpec &)> cut_page_text(long long bytes) {
    return [bytes](IndexSpec &spec) { spec.corrupt.pagetext_size_delta = -bytes; };
}

std::function<void(IndexSpec &)> text_id(const char *word, uint32_t id) {
    return [word, id](IndexSpec &spec) { spec.corrupt.pagetext_ids[word] = id; };
}

TEST_F(PhraseTest, PhrasesAreVerifiedInThePageText) {
    const PhraseCase cases[] = {
        {"punctuation between the words is passed over", "big red, car", "\"big red car\"", 0,
         3 * kBody, 1},
        {"another word breaks the match", "big, blue, red, car", "\"big red car\"", kNoPhrase, 0,
         0},
        {"a repeated first word restarts the match", "big big red car", "\"big red car\"", 1,
         2 * 3 * kBody, 2},
        {"a middle word without postings is checked in the text", "in the end", "\"in the end\"", 0,
         2 * kBody, 1, common("the")},
        {"a middle word without postings must still be in the text", "in a end", "\"in the end\"",
         kNoPhrase, 0, 0, common("the")},
        {"each candidate scans from its own start", "in the end in a end", "\"in the end\"", 0,
         2 * kBody, 1, common("the")},
        {"a word missing from the dictionary finds nothing", "big red", "\"big zebra\"", kNoPhrase,
         0, 0},
        {"a first word without postings skips the phrase", "the end", "\"the end\"", kNoPhrase, 0,
         0, common("the"), kInBody, 1},
        {"a wildcard inside a phrase finds nothing", "big red", "\"big re*\"", kNoPhrase, 0, 0},
        {"repeated words in the phrase", "very very big", "\"very very big\"", 0, 3 * kBody, 1},
        {"repeated words found after a false start", "very big very very big", "\"very very big\"",
         2, 2 * 3 * kBody, 2},
        {"a false start of repeated words does not decide the next candidate", "very very very big",
         "\"very very big\"", 1, 3 * kBody, 1},
        {"a later candidate inside a found stretch finds the same phrase", "big x big red",
         "\"big red\"", 2, 2 * 2 * kBody, 2},
        {"a later candidate inside a failed stretch fails too", "big x x big x red", "\"big red\"",
         kNoPhrase, 0, 0},
        {"a phrase at the very start of the page text", "x", "\"big red car\"", 0, 3 * kTitle, 1,
         title("big red car"), kInTitle},
        {"a phrase ending the page-text file", "a big red car", "\"big red car\"", 1, 3 * kBody, 1,
         cut_page_text(3)},
        {"punctuation in the file's last buffer", "a big, red", "\"big red\"", 1, 2 * kBody, 1,
         cut_page_text(3)},
        {"a last record cut short ends the scan", "a big red", "\"big red\"", kNoPhrase, 0, 0,
         cut_page_text(4)},
        {"an invalid word id between the words is a mismatch", "big, red", "\"big red\"", kNoPhrase,
         0, 0, text_id(",", 5000)},
        {"a page boundary between the words ends the scan", "big, red", "\"big red\"", kNoPhrase, 0,
         0, text_id(",", 1)},
        {"the other word first seen in another zone fails", "big red", "\"big red\"", kNoPhrase, 0,
         0, title("red")},
        {"only the candidate whose zone fits is verified", "red big red", "\"big red\"", 0,
         2 * kTitle, 1, title("big red"), kInTitle},
        {"a later word's zone shifted left may meet the candidate's", "big red", "\"big red\"", 0,
         2 * kBody, 1, postings(10, 0x08, 10, 0x04)},
        {"zones that do not meet fail with the phrase in the text", "big red", "\"big red\"",
         kNoPhrase, 0, 0, postings(10, 0x02, 10, 0x10)},
        {"the candidate's boosted score plus the later words' score bytes", "big red",
         "\"big red\"", 0, 58 + 7, 1, postings(45, 1, 7, 1, 13)},
        {"blanks alone are passed over like an empty word", "big", "\" \" big", 0, kBody, 1},
        {"phrase words are stemmed one by one", "run dog", "\"running dogs\"", 0, 2 * kBody, 1,
         [](IndexSpec &spec) { spec.settings.set("UseStemming", 1).set("StemmingAlgo", 2); }},
        {"a later word's count past the file's end reads what the file holds", "big red",
         "\"big red\"", 0, 2 * kBody, 1,
         [](IndexSpec &spec) { spec.corrupt.wordmap_count["red"] = 0x7FFFFFF0u; }},
        {"a later word with a negative record count needs no postings", "big red", "\"big red\"", 0,
         kBody, 1, [](IndexSpec &spec) { spec.corrupt.wordmap_count["red"] = 0x80000001u; }},
    };
    for (const PhraseCase &test : cases) check(test);
}

TEST_F(PhraseTest, PhrasesAcrossThePageTextPieces) {
    // The later words come first, so every scan starts at its candidate and
    // reads through the fillers; the end of the first or second piece read
    // falls inside the phrase. Distinct fillers (where ids have room for
    // them) share their ids' lowest byte with the first word and the page
    // boundaries now and then.
    for (int record = 2; record <= 5; record++) {
        const int first = (int)kPhraseFirstPiece / record;
        const int second = first + (int)(2 * kPhraseFirstPiece) / record;
        for (int fillers : {first - 4, first - 3, first - 2, first - 1, first, first + 1,
                            second - 3, second - 2}) {
            const bool distinct = record > 2 && fillers % 2 == 0;
            std::string body = "red car big";
            for (int f = 0; f < fillers; f++) body += distinct ? " w" + std::to_string(f) : " x";
            body += " big red car";
            PhraseCase test{"refill", body, "\"big red car\"", fillers + 3, 2 * 3 * kBody, 2};
            test.adjust = [record](IndexSpec &spec) { spec.dict_id_len = record; };
            SCOPED_TRACE("DictIDLen " + std::to_string(record) + ", fillers " +
                         std::to_string(fillers) + (distinct ? " distinct" : ""));
            check(test);
        }
    }
}

// The later words' postings are found on each page whether their blocks
// list the pages in order or last page first (the first word's too).
TEST_F(PhraseTest, PagesFoundInEitherPostingOrder) {
    const struct {
        const char *body;
        int start;  // token where the phrase starts, or kNoPhrase
    } pages[] = {{"big red car", 0}, {"red big", kNoPhrase}, {"big x red", kNoPhrase},
                 {"a big red", 1},   {"red", kNoPhrase},     {"big red", 0},
                 {"big", kNoPhrase}, {"x x big red x", 2},   {"car big, red", 1}};
    const std::set<std::string> orders[] = {{}, {"red"}, {"big", "red"}};
    for (const std::set<std::string> &reversed : orders) {
        SCOPED_TRACE(std::to_string(reversed.size()) + " blocks reversed");
        std::vector<std::vector<std::string>> bodies;
        for (const auto &page : pages) bodies.push_back(tokens(page.body));
        IndexSpec spec = pages_index(bodies);
        spec.postings_reversed = reversed;
        load(spec);
        ASSERT_TRUE(look_up("\"big red\"")) << out_;
        for (uint32_t p = 0; p < sizeof pages / sizeof pages[0]; p++) {
            const PageScore &score = run_.page_scores[p];
            if (pages[p].start == kNoPhrase) {
                EXPECT_EQ(score.hits, 0u) << pages[p].body;
                continue;
            }
            EXPECT_EQ(score.hits, 1u) << pages[p].body;
            EXPECT_EQ(score.positions[0], offset_of(p, (size_t)pages[p].start, false))
                << pages[p].body;
        }
    }
}

// Where every later word has a posting right behind the candidate, the
// postings show the phrase and the page text is not read; anything else is
// still decided by the text.
TEST_F(PhraseTest, PostingsRightBehindTheCandidateSpareTheText) {
    const struct {
        const char *name, *body, *query;
        int start;      // body token where the first phrase starts, or kNoPhrase
        uint32_t hits;  // candidates verified
        bool text_read;
    } cases[] = {
        {"every word right behind the first", "big red car", "\"big red car\"", 0, 1, false},
        {"the first word later on the page", "a big red", "\"big red\"", 1, 1, false},
        {"each candidate by its own postings", "big red x big red", "\"big red\"", 0, 2, false},
        {"one word of three where it belongs is not enough", "big red blue car", "\"big red car\"",
         kNoPhrase, 0, true},
        {"punctuation between the words", "big, red", "\"big red\"", 0, 1, true},
        {"the words in the other order", "red big", "\"big red\"", kNoPhrase, 0, true},
        // The postings show the phrase at the first "very"; no "very" follows
        // the second one, so the text rejects it.
        {"a repeated word", "very very big", "\"very very big\"", 0, 1, true},
    };
    for (const auto &test : cases) {
        SCOPED_TRACE(test.name);
        load(pages_index({tokens(test.body)}));
        ASSERT_TRUE(look_up(test.query)) << out_;
        const PageScore &page = run_.page_scores[0];
        EXPECT_EQ(run_.phrase_text.length != 0, test.text_read);
        EXPECT_EQ(page.hits, test.hits);
        if (test.start != kNoPhrase) {
            EXPECT_EQ(page.positions[0], offset_of(0, (size_t)test.start));
        }
    }
}

TEST_F(PhraseTest, SeekAndTimeLimitsCutTheSearchShort) {
    struct Case {
        const char *name;
        std::string title, body;
        const char *query;
        long long seeks, seconds;
        bool cut_short;
        uint32_t hits;
    };
    const Case cases[] = {
        {"no seek allowed", "Page", "big red", "\"big red\"", 0, 30, true, 0},
        {"the shifted zone passes the postings check", "big", "red", "\"big red\"", 0, 30, true, 0},
        {"a zone mismatch costs no seek", "red", "big red", "\"big red\"", 0, 30, false, 0},
        {"time is up", "Page", "big red", "\"big red\"", 100, -1, true, 0},
        {"past the slack a far candidate is rejected", "Page", "big a b c d e f g red",
         "\"big red\"", -1000, 30, false, 0},
        {"past the slack a near candidate still ends the term", "Page", "big red", "\"big red\"",
         -1000, 30, true, 0},
        {"a cut-short search looks no later word up", "Page", "big red car", "\"big red\" car", 0,
         30, true, 0},
        {"enough seeks", "Page", "big red car", "\"big red\" car", 1, 30, false, 2},
        {"the largest budget keeps its slack", "Page", "big a b c d e f g big red", "\"big red\"",
         INT32_MAX, 30, false, 2},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.name);
        IndexSpec spec = pages_index({tokens(test.body)});
        spec.pages[0].title = test.title;
        spec.settings.set("MaxContextSeeks", test.seeks).set("MaxSearchTime", test.seconds);
        load(spec);
        ASSERT_TRUE(look_up(test.query)) << out_;
        EXPECT_EQ(c.g_search_cut_short != 0, test.cut_short);
        EXPECT_EQ(run_.page_scores[0].hits, test.hits);
    }
}

TEST_F(PhraseTest, ExclusionPhraseDropsThePagesWhereItIsVerified) {
    load(pages_index({tokens("big red dog"), tokens("big dog red")}));
    ASSERT_TRUE(look_up("dog -\"big red\""));
    EXPECT_EQ(run_.page_scores[0].score, 0u);
    EXPECT_EQ(run_.page_scores[1].score, kBody);
    EXPECT_EQ(run_.hit_page_count, 1u);
}

TEST_F(PhraseTest, PhraseWordsAreKeptStemmedAndAsTyped) {
    IndexSpec spec = pages_index({tokens("run dog")});
    spec.settings.set("UseStemming", 1).set("StemmingAlgo", 2);
    load(spec);
    ASSERT_TRUE(look_up("cat \"running  dogs\""));
    ASSERT_NE(c.g_phrase_words, nullptr);
    EXPECT_EQ(c.g_phrase_words[0], nullptr);
    ASSERT_NE(c.g_phrase_words[1], nullptr);
    EXPECT_STREQ(c.g_phrase_words[1][0], "run");
    EXPECT_STREQ(c.g_phrase_words[1][1], "dog");
    EXPECT_EQ(c.g_phrase_words[1][2], nullptr);
    ASSERT_NE(c.g_phrase_word_copies, nullptr);
    EXPECT_STREQ(c.g_phrase_word_copies[1][0], "running");
    EXPECT_STREQ(c.g_phrase_word_copies[1][1], "dogs");
    EXPECT_EQ(c.g_phrase_word_ids[1][0], files_.word_ids.at("run"));
    EXPECT_EQ(c.g_phrase_word_ids[1][1], files_.word_ids.at("dog"));
    EXPECT_EQ(c.g_phrase_word_ids[1][2], 0u);
}

TEST_F(PhraseTest, LaterWordWithoutRecordsEndsTheRequest) {
    IndexSpec spec = pages_index({tokens("big red")});
    spec.corrupt.dictionary_offset["red"] = 1000000;
    load(spec);
    EXPECT_FALSE(look_up("\"big red\""));
    EXPECT_NE(out_.find("Error in wordmap file: expected data not found."), std::string::npos);
}

// The reader moves to each offset it is sent to, backwards too, and reads the
// records from there; at and past the file's end it finds nothing. Offsets no
// seek could reach, and a page text that is a stream, are sought and report
// the failed seek.
TEST_F(PhraseTest, ReaderMovesToEveryOffsetItIsSentTo) {
    load(pages_index({tokens("a b c d"), tokens("e f")}));
    ASSERT_TRUE(look_up("a"));
    const auto &w = files_.word_ids;
    const uint64_t size = files_.files.at("vesk_pagetext.vdat").size();
    const struct {
        uint64_t offset;
        std::vector<uint32_t> ids;  // the records read from there, up to three
    } cases[] = {
        {offset_of(0, 2), {w.at("c"), w.at("d"), 0}},
        {offset_of(0, 0), {w.at("a"), w.at("b"), w.at("c")}},
        {offset_of(1, 1), {w.at("f"), 0}},
        {offset_of(0, 3), {w.at("d"), 0, w.at("page")}},
        {size, {}},
        {size + 1000, {}},
    };
    for (const auto &test : cases) {
        ASSERT_TRUE(seek_page_text(c, test.offset)) << test.offset;
        std::vector<uint32_t> ids;
        uint32_t id, variant;
        while (ids.size() < 3 && read_pagetext_word(c, &id, &variant) != 0) ids.push_back(id);
        EXPECT_EQ(ids, test.ids) << test.offset;
    }
    EXPECT_EQ(out_, "");
    testsupport::StdoutCapture far;
    EXPECT_FALSE(seek_page_text(c, UINT64_MAX));
    EXPECT_NE(far.text().find("Error seeking in file."), std::string::npos);

    testsupport::PipeStream pipe;
    ASSERT_NE(pipe.stream, nullptr);
    FILE *const text = c.g_page_text_file;
    c.g_page_text_file = pipe.stream;
    c.g_page_text_reads = PageTextReads{};
    testsupport::StdoutCapture piped;
    EXPECT_FALSE(seek_page_text(c, 0));
    EXPECT_NE(piped.text().find("Error seeking in file."), std::string::npos);
    c.g_page_text_file = text;
}

TEST_F(PhraseTest, ReaderReturnsWholeRecordsAndStopsAtTheEnd) {
    IndexSpec spec = pages_index({tokens("a b c")});
    spec.dict_id_len = 5;
    spec.corrupt.pagetext_size_delta = -2;  // the final boundary record loses two bytes
    load(spec);
    ASSERT_TRUE(look_up("a"));
    ASSERT_TRUE(seek_page_text(c, 0));
    std::vector<uint32_t> ids;
    uint32_t id, variant;
    int used;
    while ((used = read_pagetext_word(c, &id, &variant)) != 0) {
        EXPECT_EQ(used, 5);
        ids.push_back(id);
    }
    EXPECT_EQ(id, 0u);
    const auto &w = files_.word_ids;
    const std::vector<uint32_t> expected = {0,         w.at("page"), w.at("0"), 1,
                                            w.at("a"), w.at("b"),    w.at("c")};
    EXPECT_EQ(ids, expected);
    EXPECT_EQ(read_pagetext_word(c, &id, &variant), 0);
}

}  // namespace
