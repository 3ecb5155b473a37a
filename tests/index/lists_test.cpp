// The spelling and recommended lists: line splitting, the bounds of both
// tables against their counts, cut keywords, and word ids outside the
// dictionary.
#include <stdint.h>

#include <random>
#include <string>
#include <vector>

#include "index/index_fixture.h"
#include "platform/platform.h"

namespace indextest {
namespace {

class ListsTest : public IndexFixture {
   protected:
    void SetUp() override {
        IndexFixture::SetUp();
        snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir_.c_str());
        c.NumKeywords = 1000;
    }
    // Loads text as the spelling list; "key:id,id,id" per entry, or "failed".
    std::string spelling(const std::string &text, uint32_t count) {
        testsupport::write_file(dir_, kSpellingFileName, text);
        c.NumSpellings = count;
        if (captured([] { return load_spelling_file(); }) != 1) return "failed";
        EXPECT_EQ(c.g_spelling_file, nullptr);  // closed again
        std::string out;
        for (uint32_t i = 0; i < c.g_spelling_count; i++) {
            const SpellingEntry &e = c.g_spelling_entries[i];
            EXPECT_EQ(e.key[kSpellingKeySize - 1], '\0');
            out += std::string(out.empty() ? "" : " ") + e.key + ":" + std::to_string(e.ids[0]) +
                   "," + std::to_string(e.ids[1]) + "," + std::to_string(e.ids[2]);
        }
        return out;
    }
    // Loads text as the recommended list; "keywords=page" per entry joined by "|".
    std::string recommended(const std::string &text, int32_t count) {
        testsupport::write_file(dir_, "vesk_recommended.vdat", text);
        c.NumRecommended = count;
        EXPECT_EQ(captured([] { return load_recommended_file(); }), kListLoaded);
        std::string out;
        for (int32_t i = 0; i < c.g_recommended_count; i++)
            out += std::string(i ? "|" : "") + c.g_recommended[i].keywords + "=" +
                   std::to_string(c.g_recommended[i].page_index);
        return out;
    }
};

TEST_F(ListsTest, SpellingLines) {
    EXPECT_EQ(spelling("PRNT 812 907\nALKRTMS 55\r\n", 5), "PRNT:812,907,0 ALKRTM:55,0,0");
    // A line with a key only is skipped; tokens after the fourth are ignored.
    EXPECT_EQ(spelling("KEYONLY\n  A  1 2 3 4 5\n\n", 5), "A:1,2,3");
    // Ids outside the dictionary are never kept; numbers wrap as the number rule says.
    EXPECT_EQ(spelling("B 999 1000 -1\nC 4294967297 0 +5\n", 5), "B:999,0,0 C:1,0,0");
    // More usable lines than NumSpellings: the rest is not read; fewer: the count says so.
    EXPECT_EQ(spelling("A 1\nB 2\nC 3\nD 4\n", 2), "A:1,0,0 B:2,0,0");
    EXPECT_EQ(spelling("A 1\n", 1000000), "A:1,0,0");
    EXPECT_EQ(spelling("A 1\n", 0), "");
    EXPECT_EQ(c.g_spelling_entries, nullptr);
    EXPECT_EQ(spelling("", 4000000000u), "");
    // A line longer than the buffer arrives in pieces, each a line of its own.
    c.MaxKeyWordLineLen = 8;
    EXPECT_EQ(spelling("KEY 1 2 3 45\n", 5), "KEY:1,2,0 3:45,0,0");
}

// Random lists of plain and odd lines load as the text-mode line reader and
// strtok would read them piece by piece (lines longer than the buffer, CR,
// tabs, NULs, Ctrl-Z, keys and ids of every length, too many ids).
TEST_F(ListsTest, SpellingLinesAgreeWithAPieceByPieceReading) {
    const std::string nul("\0", 1);
    const std::vector<std::string> lines = {
        "PRNT 812 907",
        "ALKRTMS 55",
        "K 1 2 3",
        "K 1 2 3 4 5",
        "KEY",
        "",
        "  A  1",
        "A 1\r",
        "A\t1 2",
        "A 12345678901",
        "A -7 8",
        "A 1x 9",
        "B 999 1000",
        "C 4294967297",
        "L " + std::string(90, '7'),
        "N 1" + nul + "2",
        "Z 1\x1a 2",
        "LONGKEYWORD 1",
        std::string(200, 'k') + " 1",
    };
    std::mt19937 random(3);
    for (int length : {81, 8, 32}) {
        c.MaxKeyWordLineLen = length;
        for (int file = 0; file < 20; file++) {
            std::string text;
            for (int i = 0; i < 40; i++) text += lines[random() % lines.size()] + "\n";
            if (file % 4 == 3) text += "T 5";  // a last line without LF
            testsupport::write_file(dir_, kSpellingFileName, text);
            FILE *file_stream = fopen((dir_ + "/" + kSpellingFileName).c_str(), "r");
            ASSERT_NE(file_stream, nullptr);
            std::vector<char> buffer((size_t)length);
            std::string expected;
            while (platform_read_text_line(buffer.data(), length, file_stream) != nullptr) {
                char *save = nullptr;
                const char *key = strtok_r(buffer.data(), " \r\n", &save);
                const char *id = key ? strtok_r(nullptr, " \r\n", &save) : nullptr;
                if (id == nullptr) continue;
                uint32_t ids[3] = {0, 0, 0};
                for (int k = 0; k < 3 && id != nullptr; k++, id = strtok_r(nullptr, " \r\n", &save))
                    ids[k] = (uint32_t)parse_int_decimal(id) < c.NumKeywords
                                 ? (uint32_t)parse_int_decimal(id)
                                 : 0;
                expected += std::string(expected.empty() ? "" : " ") +
                            std::string(key).substr(0, 6) + ":" + std::to_string(ids[0]) + "," +
                            std::to_string(ids[1]) + "," + std::to_string(ids[2]);
            }
            fclose(file_stream);
            EXPECT_EQ(spelling(text, 1000), expected) << length << " " << file;
        }
    }
}

TEST_F(ListsTest, SpellingTableGrowsPastItsFirstBlock) {
    std::string text;
    for (int i = 0; i < 300; i++) text += "K" + std::to_string(i) + " " + std::to_string(i) + "\n";
    ASSERT_NE(spelling(text, 250), "failed");
    ASSERT_EQ(c.g_spelling_count, 250u);
    EXPECT_STREQ(c.g_spelling_entries[249].key, "K249");
    EXPECT_EQ(c.g_spelling_entries[249].ids[0], 249u);
    free_spelling_list();
    EXPECT_EQ(c.g_spelling_entries, nullptr);
    EXPECT_EQ(c.g_spelling_count, 0u);
}

TEST_F(ListsTest, RecommendedLines) {
    EXPECT_EQ(recommended("site search,search engine 17\n17\n 17\nnews 5 \n", 10),
              "site search,search engine=17|news 5=0");
    EXPECT_EQ(recommended("a 1\nb 2\nc 3\nd 4\ne 5\n", 2), "a=1|b=2");
    EXPECT_EQ(recommended("a 1\r\nb   -2\n", 10), "a=1|b  =-2");
    EXPECT_EQ(recommended("a 1\n", 0), "");
    EXPECT_EQ(recommended("a 1\n", -4), "");
    EXPECT_EQ(recommended("", INT32_MAX), "");
    // 40 bytes with a buffer of 32: a 31-byte line and a 9-byte line.
    const std::string first = "aaaaaaaaaa bbbbbbbbbb cccccc 12";
    EXPECT_EQ(recommended(first + "x dd 34\n", 10), "aaaaaaaaaa bbbbbbbbbb cccccc=12|x dd=34");
}

TEST_F(ListsTest, LongKeywordsAreCutAtACharacterBoundary) {
    c.MaxKeyWordLineLen = 2000;
    std::string keywords = std::string(502, 'k') + "\xC3\xA9" + std::string(100, 'z');
    EXPECT_EQ(recommended(keywords + " 9\n", 5), std::string(502, 'k') + "=9");
    keywords = std::string(600, 'k');
    EXPECT_EQ(recommended(keywords + " 9\n", 5), std::string(503, 'k') + "=9");
}

TEST_F(ListsTest, MissingRecommendedListOnlyPrintsItsNote) {
    c.NumRecommended = 3;
    EXPECT_EQ(captured([] { return load_recommended_file(); }), kListNotLoaded);
    EXPECT_EQ(out_,
              "Can not find one or more of the Vesk index files.<br />Please make sure the "
              "generated index files are uploaded to the same path as this search script.<br />"
              "Also check file permissions have been set to allow reading.<br />\n");
    EXPECT_EQ(c.g_recommended, nullptr);
    EXPECT_EQ(c.g_recommended_count, 0);
}

}  // namespace
}  // namespace indextest
