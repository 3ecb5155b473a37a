// The dictionary loader: lines across the read-window seams with LF and CR LF,
// exact pool sizes, variant lookups and their bounds, and every message of the
// loader plain and in XML mode.
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "index/dictionary_lines.h"
#include "index/index.h"
#include "search/search.h"
#include "support/capture.h"
#include "support/dictionary_file.h"
#include "support/index_writer.h"

using testsupport::DictionaryWord;

namespace {

std::string text_of(const WordText &text) {
    return std::string(text.bytes, text.length);
}
std::string variant(uint32_t id, uint32_t n) {
    return text_of(get_word_variant(id, n));
}
std::string display(uint32_t id) {
    return text_of(get_word_display_form(id));
}
std::string base_word(const DictionaryEntry &entry) {
    return text_of(dictionary_base_text(entry));
}
// The word and the first variant token of a line as the one-line readers
// take it apart ("" when it has none).
std::string line_word(const std::string &line, BaseLine *base) {
    *base = BaseLine{};
    scan_base_line(line.c_str(), false, base);
    return base->word != nullptr ? std::string(base->word, (size_t)base->length) : "";
}
std::string line_variant(const std::string &line, bool *stored) {
    int64_t length = 0;
    const char *token = scan_variant(line.c_str(), false, &length);
    *stored = token != nullptr;
    return token != nullptr ? std::string(token, (size_t)length) : "";
}

class DictionaryTest : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("dict");
        reset();
    }
    void TearDown() override {
        release_all();
        testsupport::remove_tree(dir_);
    }
    void reset() {
        release_all();
        init_search_context();
        snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir_.c_str());
        c.NumKeywords = 1000000;
        c.OutputBasewordBufferSize = c.OutputVariantBufferSize = 1 << 24;
    }
    // Writes text as the dictionary and loads it; the output goes to out_.
    int load(const std::string &text) {
        testsupport::write_file(dir_, kDictionaryFileName, text);
        testsupport::StdoutCapture capture;
        int result = load_dictionary_file();
        out_ = capture.text();
        return result;
    }
    void expect_words(const std::vector<DictionaryWord> &words) {
        ASSERT_EQ(c.g_dictionary_count, words.size());
        for (uint32_t id = 0; id < words.size(); id++) {
            const DictionaryWord &w = words[id];
            ASSERT_EQ(base_word(c.g_dictionary[id]), w.word) << id;
            ASSERT_EQ(c.g_dictionary[id].offset, w.offset) << id;
            ASSERT_EQ(c.g_dictionary[id].stored_variants, w.variants.size()) << id;
            for (uint32_t v = 0; v < w.variants.size(); v++)
                ASSERT_EQ(variant(id, v + 1), w.variants[v]) << id;
        }
    }
    SearchContext &c = g_search_context;
    std::string dir_, out_;
};

TEST_F(DictionaryTest, NumberRule) {
    EXPECT_EQ(parse_int_decimal(" 42abc"), 42);
    EXPECT_EQ(parse_int_decimal("-7"), -7);
    EXPECT_EQ(parse_int_decimal("+5"), 0);
    EXPECT_EQ(parse_int_decimal("-"), 0);
    EXPECT_EQ(parse_int_decimal("\t5"), 0);
    // Wrapping, never signed overflow (the sanitizer build traps on that).
    EXPECT_EQ(parse_int_decimal("4294967297"), 1);
    EXPECT_EQ(parse_int_decimal("2147483648"), INT32_MIN);
    EXPECT_EQ(parse_int64_decimal("  -4294967296"), -4294967296LL);
    EXPECT_EQ(parse_int64_decimal("9223372036854775808"), INT64_MIN);
    EXPECT_EQ(parse_int64_decimal("999999999999999999999999999"), -6930898827444486145LL);
}

TEST_F(DictionaryTest, BaseAndVariantLines) {
    c.NumKeywords = 10;
    ASSERT_EQ(load("apple 120 2\nApple\nAPPLES\r\nthe -1 0\nword 55\n  \nnext 1 1 x\nNV tail\n"
                   "big 3 4000000000\nonly\n"),
              0);
    EXPECT_EQ(out_, "");
    ASSERT_EQ(c.g_dictionary_count, 5u);  // the line of spaces is skipped
    EXPECT_EQ(c.g_dictionary[0].offset, 120);
    EXPECT_EQ(variant(0, 1), "Apple");
    EXPECT_EQ(variant(0, 2), "APPLES");
    EXPECT_EQ(variant(0, 0), "apple");
    EXPECT_EQ(variant(0, 3), "apple");
    EXPECT_EQ(display(0), "Apple");
    EXPECT_EQ(c.g_dictionary[1].offset, -1);
    EXPECT_EQ(display(1), "the");
    EXPECT_EQ(c.g_dictionary[2].offset, 55);
    EXPECT_EQ(c.g_dictionary[2].stored_variants, 0u);  // no count: no variant lines
    EXPECT_EQ(variant(3, 1), "NV");
    // A count far beyond the file takes every line left as a variant; the
    // lookup stays within what was stored.
    EXPECT_EQ(c.g_dictionary[4].stored_variants, 1u);
    EXPECT_EQ(variant(4, 1), "only");
    EXPECT_EQ(variant(4, 2), "big");
    // Entries the short file never filled, and ids beyond the table.
    EXPECT_EQ(dictionary_word(c.g_dictionary[5]), nullptr);
    EXPECT_EQ(variant(5, 0), "");
    EXPECT_EQ(display(4000000000u), "");
}

TEST_F(DictionaryTest, TokensAgreeWithAPlainStrtokReading) {
    std::mt19937 random(5);
    const char alphabet[] = "a1- \r\n";
    for (int i = 0; i < 3000; i++) {
        std::string line;
        for (int n = (int)(random() % 12); n > 0; n--) line += alphabet[random() % 6];
        std::string copy = line;
        char *save = nullptr;
        const char *word = strtok_r(&copy[0], " ", &save);
        const char *offset = word != nullptr ? strtok_r(nullptr, " ", &save) : nullptr;
        const char *count = offset != nullptr ? strtok_r(nullptr, " \r\n", &save) : nullptr;
        BaseLine base;
        const std::string got = line_word(line, &base);
        ASSERT_EQ(base.word != nullptr, word != nullptr) << line;
        if (word != nullptr) {
            EXPECT_EQ(got, word) << line;
            EXPECT_EQ(base.offset, offset ? parse_int64_decimal(offset) : 0) << line;
            EXPECT_EQ(base.count, count ? (uint32_t)parse_int_decimal(count) : 0u) << line;
        }
        copy = line;
        const char *token = strtok_r(&copy[0], " \r\n", &save);
        bool stored;
        const std::string got_variant = line_variant(line, &stored);
        ASSERT_EQ(stored, token != nullptr) << line;
        EXPECT_EQ(got_variant, token != nullptr ? token : "") << line;
    }
}

TEST_F(DictionaryTest, LongVariantsAreSteppedOverAndOverlongOnesSkipped) {
    std::string v254(254, 'a'), v255(255, 'b'), v399(399, 'c'), v400(400, 'd');
    ASSERT_EQ(load("w 5 6\n" + v254 + "\n" + v255 + "\nx\n" + v400 + "\n" + v399 + "\ny\n" +
                   "z 0 2\n" + v400 + "\nq\n"),
              0);
    EXPECT_EQ(variant(0, 1), v254);
    EXPECT_EQ(variant(0, 2), v255);  // its length byte wrapped to 0
    EXPECT_EQ(variant(0, 3), "x");
    EXPECT_EQ(variant(0, 4), v399);  // the 400-byte one moved the rest up
    EXPECT_EQ(variant(0, 5), "y");
    EXPECT_EQ(variant(0, 6), "w");
    // A first variant that is not stored leaves the word without a list.
    EXPECT_EQ(variant(1, 1), "z");
    EXPECT_EQ(display(1), "z");
}

// Variant lines of every shape, as the loader leaves them in the file text:
// extra tokens, CR and spaces around the token, bytes after a NUL, lines
// without a token and over-long ones between stored variants.
TEST_F(DictionaryTest, VariantListsOfOddLinesReadBack) {
    struct Case {
        std::string lines;                  // the variant lines after "w 1 <count>"
        std::vector<std::string> variants;  // what get_word_variant gives, from 1
    };
    const std::string nul("\0", 1), long_token(400, 'L');
    const std::vector<Case> cases = {
        {"a\nb\n", {"a", "b"}},
        {"a tail\n  b\r\n", {"a", "b"}},
        {"\ra\r\r\n b x y\n", {"a", "b"}},
        {"a" + nul + "zz\nb\n", {"a", "b"}},
        {nul + "zz\na\n", {}},  // the first line stores nothing: no list at all
        {"a\n   \n" + nul + "q\nb\n", {"a", "b"}},
        {"a\n" + long_token + "\nb\n", {"a", "b"}},
        {"a\n" + long_token + " x\n\r\nb\n", {"a", "b"}},
    };
    for (const Case &test : cases) {
        const size_t count = (size_t)std::count(test.lines.begin(), test.lines.end(), '\n');
        ASSERT_EQ(load("w 1 " + std::to_string(count) + "\n" + test.lines + "next 2 0\n"), 0);
        ASSERT_EQ(c.g_dictionary_count, 2u);
        EXPECT_EQ(c.g_dictionary[0].stored_variants, test.variants.size()) << test.lines;
        for (uint32_t v = 0; v < test.variants.size(); v++)
            EXPECT_EQ(variant(0, v + 1), test.variants[v]) << test.lines;
        EXPECT_EQ(variant(0, (uint32_t)test.variants.size() + 1), "w");
        EXPECT_EQ(variant(1, 0), "next");
    }
}

// Files of plain and odd lines load as the one-line readers (scan_base_line,
// scan_variant on a line of its own) take each line apart: the loader's quick reading of the
// plain shapes changes nothing.
TEST_F(DictionaryTest, PlainAndOddLinesLoadAsTheOneLineReadersReadThem) {
    const std::string nul("\0", 1);
    const std::vector<std::string> base_lines = {
        "word 123 2",
        "w 0 1",
        "ab 12345678 0",
        "ab 123456789 3",
        "x 1234567890123456 1",
        "x 12345678901234567 1",
        "w -1 0",
        "w -12 1",
        "  lead 5 1",
        "w\t 7 1",
        "w 1 12",
        "w 1 2 tail",
        "w 1 \r1",
        "w 5",
        "w 3 1\r",
        "w 1" + nul + " 2",
        "w x1 1",
        "w 1 x",
        "    ",
        std::string(70, 'L') + " 9 1",
        std::string(5000, 'K') + " 9 1",
        "a  1  2",
    };
    const std::vector<std::string> variant_lines = {
        "V",
        "Variant",
        "a b",
        " a",
        "a\r",
        "",
        "\r",
        std::string(399, 'v'),
        std::string(400, 'v'),
        "a" + nul + "b",
        "x\ty",
        std::string(5000, 'u'),
    };
    std::mt19937 random(11);
    for (int file = 0; file < 30; file++) {
        // The expected entries, read line by line with the one-line readers.
        ASSERT_EQ(load(""), 0);
        std::string text;
        std::vector<DictionaryWord> words;
        std::vector<uint32_t> stored;
        for (int i = 0; i < 60; i++) {
            const std::string &line = base_lines[random() % base_lines.size()];
            text += line + "\n";
            BaseLine base;
            const std::string word = line_word(line, &base);
            if (base.word == nullptr) continue;
            words.push_back({word, base.offset, {}});
            stored.push_back(0);
            for (uint32_t v = 0; v < base.count; v++) {
                const std::string &variant_line = variant_lines[random() % variant_lines.size()];
                text += variant_line + "\n";
                bool token;
                const std::string token_text = line_variant(variant_line, &token);
                if (token && (v == 0 || stored.back() > 0)) {
                    words.back().variants.push_back(token_text);
                    stored.back()++;
                }
            }
        }
        ASSERT_EQ(load(text), 0) << out_;
        ASSERT_EQ(c.g_dictionary_count, words.size());
        for (uint32_t id = 0; id < words.size(); id++) {
            const DictionaryWord &w = words[id];
            ASSERT_EQ(base_word(c.g_dictionary[id]), w.word) << id;
            ASSERT_EQ(c.g_dictionary[id].offset, w.offset) << w.word;
            ASSERT_EQ(c.g_dictionary[id].stored_variants, stored[id]) << w.word;
            for (uint32_t v = 0; v < w.variants.size(); v++)
                ASSERT_EQ(variant(id, v + 1), w.variants[v]) << w.word;
            ASSERT_EQ(variant(id, stored[id] + 1), w.word);
        }
    }
}

TEST_F(DictionaryTest, ManyChunksReadBackWithLfAndCrLf) {
    std::vector<DictionaryWord> words = testsupport::generated_words(5000, 11);
    for (const char *line_end : {"\n", "\r\n"}) {
        std::string text = testsupport::dictionary_text(words, line_end);
        ASSERT_GT(text.size(), 300000u);
        ASSERT_EQ(load(text), 0) << out_;
        expect_words(words);
    }
}

TEST_F(DictionaryTest, LineEndsAroundTheWindowEdge) {
    std::vector<DictionaryWord> tail = testsupport::generated_words(40, 3);
    for (const std::string line_end : {"\n", "\r\n"})
        for (int lf = kDictionaryMaxLineSize - 3; lf <= kDictionaryMaxLineSize + 1; lf++) {
            std::vector<DictionaryWord> words = {{"first", 1, {"v"}}, {"", 2, {}}};
            std::string head = testsupport::dictionary_text({words[0]}, line_end);
            words[1].word.assign(lf + 1 - head.size() - 4 - line_end.size(), 'w');
            words.insert(words.end(), tail.begin(), tail.end());
            std::string text = testsupport::dictionary_text(words, line_end);
            ASSERT_EQ(text[lf], '\n');
            ASSERT_EQ(load(text), 0) << lf << out_;
            expect_words(words);
        }
}

TEST_F(DictionaryTest, LongestLineAndUnterminatedLastLines) {
    std::string longest(kDictionaryMaxLineSize - 5, 'l');
    ASSERT_EQ(load(longest + " 1 0\n"), 0) << out_;
    EXPECT_EQ(c.g_dictionary_count, 1u);
    EXPECT_EQ(load(longest + "l 1 0\n"), 1);
    // Last lines without LF are not read, however long.
    ASSERT_EQ(load("a 1 1\nv"), 0);
    EXPECT_EQ(variant(0, 1), "a");
    ASSERT_EQ(load("a 1 0\n" + std::string(40000, 'x')), 0);
    EXPECT_EQ(c.g_dictionary_count, 1u);
    EXPECT_EQ(out_, "");
}

// Files that end at a page's end, on a line's LF or inside an unterminated
// last line: the walk reads its scan groups behind the last byte without
// faulting, the text stays byte for byte the file, and a word ends where its
// line says (a plain-word lookup never runs on into the numbers behind it).
TEST_F(DictionaryTest, FilesEndingAtPageEdgesAndWordEnds) {
    const size_t page = (size_t)sysconf(_SC_PAGESIZE);
    const std::string head = "apple 120 1\nApples\npear -1 0\n", last = "zz 7 0";
    for (size_t size : {page - 1, page, page + 1, 2 * page}) {
        for (bool terminated : {true, false}) {
            // Filler lines of 100 bytes, then one that makes up the size.
            std::string text = head;
            const size_t tail = last.size() + (terminated ? 1 : 0);
            while (text.size() + 100 + 50 + tail <= size)
                text += "f" + std::string(93, 'f') + " 1 0\n";
            const std::string filled_up(size - text.size() - tail - 5, 'g');
            text += filled_up + " 2 0\n" + last;
            if (terminated) text += "\n";
            ASSERT_EQ(text.size(), size);
            ASSERT_EQ(load(text), 0) << out_;
            EXPECT_TRUE(std::string(c.g_dictionary_text, c.g_dictionary_text_size) == text);
            EXPECT_EQ(variant(0, 1), "Apples");
            EXPECT_EQ(base_word(c.g_dictionary[c.g_dictionary_count - 1]),
                      terminated ? "zz" : filled_up);
            const struct {
                const char *word;
                uint32_t id;  // kNoDictionaryWord: none
            } lookups[] = {{"apple", 0},
                           {"appl", kNoDictionaryWord},
                           {"apple 120", kNoDictionaryWord},
                           {"pear", 1},
                           {"Apples", kNoDictionaryWord},
                           {"zz", terminated ? c.g_dictionary_count - 1 : kNoDictionaryWord}};
            for (const auto &lookup : lookups)
                EXPECT_EQ(find_dictionary_word(lookup.word), lookup.id) << lookup.word << size;
        }
    }
}

TEST_F(DictionaryTest, PoolsOfExactSize) {
    std::vector<DictionaryWord> words = testsupport::generated_words(300, 5);
    int32_t base = 0, variants = 0;
    for (const DictionaryWord &w : words) {
        base += (int32_t)w.word.size() + 1;
        for (const std::string &v : w.variants) variants += (int32_t)v.size() + 2;
    }
    std::string text = testsupport::dictionary_text(words);
    c.OutputBasewordBufferSize = base;
    c.OutputVariantBufferSize = variants;
    ASSERT_EQ(load(text), 0) << out_;
    expect_words(words);
    c.OutputBasewordBufferSize = base - 1;
    EXPECT_EQ(load(text), 1);
    c.OutputBasewordBufferSize = base;
    c.OutputVariantBufferSize = variants - 1;
    EXPECT_EQ(load(text), 1);
    // Without a size setting the variant pool has NumVariants x 10 bytes.
    c.OutputVariantBufferSize = 0;
    c.NumVariants = 7;
    ASSERT_EQ(load("a 1 0\n"), 0);
    EXPECT_EQ(c.g_variant_pool_size, 70);
}

enum DictionaryPlace { kFile, kNoFile, kDirectory };  // what the index directory holds

struct MessageCase {
    DictionaryPlace place;
    std::string text;     // the dictionary file
    std::string message;  // printed in plain mode
    bool wrapped;         // wrapped in <vesk:error></vesk:error> in XML mode
    int32_t base_pool, variant_pool;
    uint32_t keywords;
};

TEST_F(DictionaryTest, EveryMessagePlainAndInXml) {
    const int32_t big = 1000;
    const std::string corrupted =
        "Error: Corrupted dictionary data. Invalid dictionary entry at record #";
    const std::vector<MessageCase> cases = {
        {kNoFile, "",
         "Can not find one or more of the Vesk index files.<br />Please make sure the generated "
         "index files are uploaded to the same path as this search script.<br />Also check file "
         "permissions have been set to allow reading.<br />\n",
         false, big, big, 10},
        {kFile, "a 1 0\n", "Error: Could not allocate memory for storing base words.<br />", false,
         0, big, 10},
        {kFile, "a 1 0\n", "Error: Out of memory for storing word variants.", true, big, -1, 10},
        {kFile, "abc 1 0\n",
         "Error: Out of memory for storing base words. Settings file have been modified or "
         "invalid.",
         true, 3, big, 10},
        {kFile, "a 1 1\nabc\n",
         "Error: Out of memory for storing word variants. Settings file have been modified or "
         "invalid.",
         true, big, 4, 10},
        {kFile, "a 1 0\nb 2 0\nnospace\n", corrupted + "2<br />", true, big, big, 10},
        {kFile, "a 1 0\n\n", corrupted + "1<br />", true, big, big, 10},
        {kFile, "a 1 0\nb 1 1\n" + std::string(40000, 'x') + "\n", corrupted + "1<br />", true, big,
         big, 10},
        {kFile, "a 1 0\nb 1 0\nc 1 0\nd 1 0\n",
         "Error: Dictionary data (entry 4) does not match NumKeywords (3) specified in "
         "settings.vdat<br />",
         true, big, big, 3},
        // Opening a directory succeeds; reading it fails.
        {kDirectory, "", "Error: Could not read dictionary file.<br />", true, big, big, 10},
    };
    for (size_t i = 0; i < cases.size(); i++)
        for (int xml = 0; xml <= 1; xml++) {
            const MessageCase &test = cases[i];
            reset();
            c.g_xml_output = xml;
            c.OutputBasewordBufferSize = test.base_pool;
            c.OutputVariantBufferSize = test.variant_pool;
            c.NumKeywords = test.keywords;
            std::string dir = dir_ + "/" + std::to_string(i) + "-" + std::to_string(xml);
            mkdir(dir.c_str(), 0700);
            snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir.c_str());
            if (test.place == kFile) testsupport::write_file(dir, kDictionaryFileName, test.text);
            if (test.place == kDirectory) mkdir((dir + "/" + kDictionaryFileName).c_str(), 0700);
            testsupport::StdoutCapture capture;
            EXPECT_EQ(load_dictionary_file(), 1) << test.message;
            std::string expected = xml && test.wrapped
                                       ? "<vesk:error>" + test.message + "</vesk:error>"
                                       : test.message;
            EXPECT_EQ(capture.text(), expected) << "xml " << xml;
        }
}

#if SIZE_MAX == UINT32_MAX
// Only a 32-bit address space refuses the table before allocating it.
TEST_F(DictionaryTest, TableTooLargeForTheAddressSpace) {
    c.NumKeywords = UINT32_MAX;  // NumKeywords + 1 would wrap to 0 in 32 bits
    EXPECT_EQ(load("a 1 0\n"), 1);
    EXPECT_EQ(out_, "Error: out of memory");
}
#endif

TEST_F(DictionaryTest, LoadDictionaryFinishesThePageOnFailure) {
    testsupport::write_file(dir_, "search_template.html", "<p>T</p>\n");
    testsupport::write_file(dir_, kDictionaryFileName, "a 1 0\n");
    testsupport::StdoutCapture loaded;
    EXPECT_EQ(load_dictionary(), 1);
    EXPECT_EQ(loaded.text(), "");

    const char corrupt[] =
        "Error: Corrupted dictionary data. Invalid dictionary entry at record #0<br />";
    const char failed[] = "Failed to load dictionary file.<br />\n";
    for (int xml = 0; xml <= 1; xml++) {
        c.g_xml_output = xml;
        testsupport::write_file(dir_, kDictionaryFileName, "bad\n");
        testsupport::StdoutCapture capture;
        EXPECT_EQ(load_dictionary(), 0);
        EXPECT_EQ(capture.text(), xml ? std::string("<vesk:error>") + corrupt +
                                            "</vesk:error><vesk:error>" + failed +
                                            "</vesk:error>\n</channel>\n</rss>"
                                      : std::string(corrupt) + failed + "<p>T</p>\n");
        EXPECT_EQ(c.g_dictionary, nullptr);
    }
}

}  // namespace
