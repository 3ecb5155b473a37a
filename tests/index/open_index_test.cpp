// Opening a whole index in process: every file the writer made agrees with
// what the readers deliver (page data, word-map postings, page-text records,
// dictionary offsets); damaged page-data lines, word-map counts and offsets
// are refused or bounded, never followed past the data.
#include <stdint.h>
#include <unistd.h>

#include <algorithm>
#include <set>
#include <vector>

#include "index/index_fixture.h"

namespace indextest {
namespace {

class OpenIndexTest : public IndexFixture {
   protected:
    // Writes spec, opens the index and loads the dictionary; both must succeed.
    IndexFiles open(const IndexSpec &spec) {
        IndexFiles files = write(spec);
        EXPECT_EQ(captured([] { return open_index_files(); }), 1) << out_;
        EXPECT_EQ(captured([] { return load_dictionary(); }), 1) << out_;
        return files;
    }
    // The page-data fields of page as url|title|description|image, or "false".
    std::string fields(uint32_t page) {
        char url[kPageDataUrlSize], title[kPageDataTitleSize];
        char description[kPageDataDescriptionSize], image[kPageDataImageSize];
        bool ok =
            captured([&] { return read_page_data_fields(page, url, title, description, image); });
        std::string joined = std::string(url) + "|" + title + "|" + description + "|" + image;
        return ok ? joined : "false:" + joined;
    }
    std::string url_of(uint32_t page) {
        static char url[kPageDataLineSize];
        return captured([&] { return read_page_data_url(page, url); }) ? url : "false";
    }
};

TEST_F(OpenIndexTest, PostingsPageTextAndPageDataAgree) {
    IndexSpec spec = sample_index(true);
    spec.settings.set("DisplayContext", 1);
    spec.common_words = {"the"};
    spec.page_data_reversed = true;  // lines out of page order: offsets must be followed
    const IndexFiles files = open(spec);
    ASSERT_NE(c.g_page_text_file, nullptr);

    for (uint32_t i = 0; i < spec.pages.size(); i++) {
        const PageSpec &p = spec.pages[i];
        EXPECT_EQ(fields(i), p.url + "|" + p.title + "|" + p.description + "|" + p.image);
        EXPECT_EQ(url_of(i), p.url);
    }

    // Every word's postings lead to page-text records of that very word.
    std::set<std::string> seen;
    for (uint32_t id = 0; id < files.words.size(); id++) {
        const std::string &word = files.words[id];
        auto block_at = files.block_offsets.find(word);
        ASSERT_EQ(c.g_dictionary[id].offset,
                  block_at == files.block_offsets.end() ? -1 : block_at->second)
            << word;
        if (block_at == files.block_offsets.end()) continue;
        seen.insert(word);
        WordmapBlock block{};
        ASSERT_EQ(read_wordmap_block(c.g_word_map_file, block_at->second, &block), kWordmapRead);
        EXPECT_EQ(block.count, block.declared_count);
        for (uint32_t k = 0; k < block.count; k++) {
            const WordmapPosting posting = wordmap_posting(&block, k);
            EXPECT_LT(posting.page, spec.pages.size());
            EXPECT_GT(posting.score, 0);
            ASSERT_EQ(seek_data_file(c.g_page_text_file, (int64_t)posting.text_offset), 0);
            PageTextRecord record;
            ASSERT_TRUE(read_page_text_record(c.g_page_text_file, c.DictIDLen, &record));
            EXPECT_EQ(record.word_id, id) << word;
            const WordText text = get_word_variant(record.word_id, 0);
            EXPECT_EQ(std::string(text.bytes, text.length), word);
        }
        free_wordmap_block(&block);
    }
    EXPECT_TRUE(seen.count("swarm") && seen.count("wax") && !seen.count("the"));
    EXPECT_EQ(files.block_offsets.count("."), 0u);  // reserved tokens have no postings
}

TEST_F(OpenIndexTest, PageDataLinesWithMissingOrLongFields) {
    IndexSpec spec = sample_index(false);
    spec.pages.resize(5, spec.pages[0]);
    spec.corrupt.page_data_line = {{0, "a.html||||\n"},
                                   {1, "a.html|Title|Text|\n"},
                                   {2, "|Title|Text|img.png|\n"},
                                   {3, "u|" + std::string(600, 't') + "|" + std::string(2100, 'd') +
                                           "|" + std::string(3000, 'i') + "|tail\n"},
                                   {4, std::string(kPageDataLineSize + 10, 'x') + "|||\n"}};
    open(spec);
    EXPECT_EQ(fields(0), "a.html|||");
    EXPECT_EQ(url_of(0), "a.html");
    EXPECT_EQ(fields(1), "false:|||");
    EXPECT_EQ(fields(2), "|Title|Text|img.png");
    EXPECT_EQ(url_of(2), "false");
    EXPECT_EQ(fields(3), "u|" + std::string(512, 't') + "|" + std::string(2000, 'd') + "|" +
                             std::string(2084, 'i'));
    EXPECT_EQ(fields(4), "false:|||");  // the bars lie beyond the line buffer
    EXPECT_EQ(url_of(4), "false");
    // Pages outside the index are refused without touching the file.
    EXPECT_EQ(fields(5), "false:|||");
    EXPECT_EQ(url_of(UINT32_MAX), "false");
    EXPECT_EQ(out_, "");
    EXPECT_FALSE(read_page_data_url(0, nullptr));
    EXPECT_TRUE(read_page_data_fields(0, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(OpenIndexTest, OffsetsBeyondThePageData) {
    IndexSpec spec = sample_index(false);
    spec.corrupt.data_offset = {{0, 1ull << 39}, {1, 5000}};
    open(spec);
    EXPECT_EQ(fields(0), "false:|||");
    EXPECT_EQ(fields(1), "false:|||");
    EXPECT_EQ(url_of(1), "false");
    EXPECT_NE(fields(2).find("drones.html"), std::string::npos);
}

// Page-data lines read at their offsets come out as a line read from a
// stream gives them: lines that end just before, at and after the end of the
// first read, one longer than the line buffer, the file's last line without
// its LF. A stream that cannot be read at offsets is sought as before, and
// the failed seek reports itself.
TEST_F(OpenIndexTest, PageDataLinesAcrossReadsAndAtTheFilesEnd) {
    IndexSpec spec = sample_index(false);
    // A description of `at_end` bytes puts the LF at the first read's last byte.
    const size_t at_end = kPageLineFirstRead - 8;
    const struct {
        size_t description;  // bytes of the description: its LF is 7 bytes behind
        bool lf;             // the line ends with an LF
    } lines[] = {{at_end - 1, true}, {at_end, true}, {at_end + 1, true},
                 {at_end + 2, true}, {1999, true},   {kPageDataLineSize, true},
                 {3, false}};
    const size_t count = sizeof lines / sizeof lines[0];
    spec.pages.resize(count, spec.pages[0]);
    std::vector<std::string> expected;
    for (size_t i = 0; i < count; i++) {
        const std::string description(lines[i].description, (char)('a' + i));
        spec.corrupt.page_data_line[(uint32_t)i] =
            "u|t|" + description + "|i|" + (lines[i].lf ? "\n" : "");
        const bool bars_in_buffer = lines[i].description + 7 < (size_t)kPageDataLineSize;
        expected.push_back(bars_in_buffer
                               ? "u|t|" + description.substr(0, kPageDataDescriptionSize - 1) + "|i"
                               : "false:|||");
    }
    open(spec);
    for (size_t i = 0; i < count; i++) {
        EXPECT_EQ(fields((uint32_t)i), expected[i]) << lines[i].description;
        EXPECT_EQ(url_of((uint32_t)i), "u") << lines[i].description;
    }
    EXPECT_EQ(out_, "");

    testsupport::PipeStream pipe;
    ASSERT_NE(pipe.stream, nullptr);
    FILE *const data = c.g_page_data_file;
    c.g_page_data_file = pipe.stream;
    EXPECT_EQ(url_of(0), "false");
    EXPECT_NE(out_.find("Error seeking in file."), std::string::npos) << out_;
    c.g_page_data_file = data;
}

// A block longer than the first read at its offset comes whole and in order,
// also into a buffer an earlier block left; a stream that cannot be read at
// an offset is sought as before, and the failed seek reports itself.
TEST_F(OpenIndexTest, LongWordMapBlocksAndStreamsWithoutOffsets) {
    IndexSpec spec;
    for (int i = 0; i < 900; i++) {
        PageSpec page;
        page.url = "p" + std::to_string(i);
        page.words = testsupport::split_words(i % 300 == 0 ? "bee wax" : "bee");
        spec.pages.push_back(page);
    }
    const IndexFiles files = open(spec);
    WordmapBlock block{};
    for (const char *word : {"bee", "wax", "bee"}) {
        ASSERT_EQ(read_wordmap_block(c.g_word_map_file, files.block_offsets.at(word), &block),
                  kWordmapRead);
        const uint32_t step = word[0] == 'b' ? 1 : 300;
        ASSERT_EQ(block.count, 900u / step) << word;
        for (uint32_t k = 0; k < block.count; k++)
            ASSERT_EQ(wordmap_posting(&block, k).page, k * step) << word << " " << k;
    }
    testsupport::PipeStream pipe;
    ASSERT_NE(pipe.stream, nullptr);
    EXPECT_EQ(captured([&] { return read_wordmap_block(pipe.stream, 10, &block); }),
              kWordmapSeekFailed);
    EXPECT_NE(out_.find("Error seeking in file."), std::string::npos) << out_;
    EXPECT_EQ(block.count, 0u);
    free_wordmap_block(&block);
}

// What a block read gave: the result, the counts, then the records' bytes.
std::string read_outcome(int result, const WordmapBlock &block) {
    std::string read = std::to_string(result) + " " + std::to_string(block.count) + " " +
                       std::to_string(block.declared_count) + " ";
    if (block.records != nullptr)
        read.append((const char *)block.records, (size_t)block.count * kWordmapRecordSize);
    return read;
}

// read_outcome of the block at offset read into a fresh block from a stream of
// its own (which the word map's window never serves).
std::string read_alone(const std::string &path, int64_t offset) {
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return "cannot open " + path;
    WordmapBlock block{};
    const std::string read = read_outcome(read_wordmap_block(file, offset, &block), block);
    free_wordmap_block(&block);
    fclose(file);
    return read;
}

// Blocks read one after another into one block, which keeps the bytes of its
// last read, come out as each read alone: inside those bytes, starting there
// and running past their end, before them, far behind them.
TEST_F(OpenIndexTest, BlocksReadInSequenceAgreeWithSingleReads) {
    IndexSpec spec;
    constexpr int kPages = 3500;  // "bee" on each: a block longer than one read window
    for (int i = 0; i < kPages; i++) {
        PageSpec page;
        page.url = "p" + std::to_string(i);
        std::string words = "bee";
        for (int w = 0; w < 80; w++)
            if ((i * 7 + w * 13) % (w % 5 == 0 ? 1700 : 300) == 0)
                words += " w" + std::to_string(w);
        page.words = testsupport::split_words(words);
        spec.pages.push_back(page);
    }
    const IndexFiles files = open(spec);
    std::vector<int64_t> ascending;
    for (const auto &word_offset : files.block_offsets) ascending.push_back(word_offset.second);
    std::sort(ascending.begin(), ascending.end());
    ASSERT_GT(ascending.size(), 60u);
    const int64_t map_size = (int64_t)files.files.at("vesk_wordmap.vdat").size();

    std::vector<int64_t> descending(ascending.rbegin(), ascending.rend());
    std::vector<int64_t> strided, twice = ascending, zigzag;
    for (size_t i = 0; i < ascending.size(); i += 3) strided.push_back(ascending[i]);
    twice.insert(twice.end(), ascending.begin(), ascending.end());
    for (size_t i = 0; i < ascending.size(); i++)
        zigzag.push_back(i % 2 == 0 ? ascending[i] : ascending[ascending.size() - 1 - i]);
    // Offsets inside a block and around the file's end: counts that are no counts.
    const std::vector<int64_t> odd = {ascending[1], ascending[1] + 3, ascending[2] - 1,
                                      map_size - 3, map_size,         ascending[0]};
    const struct {
        const char *name;
        std::vector<int64_t> offsets;
    } orders[] = {{"ascending", ascending}, {"descending", descending}, {"every third", strided},
                  {"twice over", twice},    {"zigzag", zigzag},         {"odd offsets", odd}};
    for (const auto &order : orders) {
        WordmapBlock block{};
        for (const int64_t offset : order.offsets) {
            const int result = read_wordmap_block(c.g_word_map_file, offset, &block);
            ASSERT_EQ(read_outcome(result, block), read_alone(dir_ + "/vesk_wordmap.vdat", offset))
                << order.name << " " << offset;
        }
        free_wordmap_block(&block);
    }
}

// The word map's window belongs to its stream: after the index is closed and
// another opened (which gets the same descriptor number), a block read into
// the same WordmapBlock at an offset the old window covered comes from the new
// file, never from the bytes of the old one.
TEST_F(OpenIndexTest, AReopenedWordMapNeverReadsTheOldWindow) {
    const auto pages_with = [](int count, int every) {
        IndexSpec spec;
        for (int i = 0; i < count; i++) {
            PageSpec page;
            page.url = "p" + std::to_string(i);
            page.words = testsupport::split_words(i % every == 0 ? "bee wax" : "wax");
            spec.pages.push_back(page);
        }
        return spec;
    };
    const IndexFiles first = open(pages_with(40, 1));
    const int first_descriptor = fileno(c.g_word_map_file);
    int64_t lowest = INT64_MAX;
    for (const auto &word_offset : first.block_offsets)
        lowest = std::min<int64_t>(lowest, word_offset.second);
    WordmapBlock block{};
    ASSERT_EQ(read_wordmap_block(c.g_word_map_file, lowest, &block), kWordmapRead);
    const int64_t first_size = (int64_t)first.files.at("vesk_wordmap.vdat").size();

    const IndexFiles second = open(pages_with(60, 3));  // closes the first index
    ASSERT_EQ(fileno(c.g_word_map_file), first_descriptor) << "the number is reused";
    int covered = 0;
    for (const auto &word_offset : second.block_offsets) {
        const int64_t offset = word_offset.second;
        covered += offset >= lowest && offset < first_size;
        const int result = read_wordmap_block(c.g_word_map_file, offset, &block);
        EXPECT_EQ(read_outcome(result, block), read_alone(dir_ + "/vesk_wordmap.vdat", offset))
            << word_offset.first;
    }
    EXPECT_GT(covered, 0) << "no block of the second index lies where the first was read";
    free_wordmap_block(&block);
}

TEST_F(OpenIndexTest, DamagedWordMapCounts) {
    IndexSpec spec = sample_index(false);
    const IndexFiles clean = testsupport::build_index(spec);
    const int64_t wax = clean.block_offsets.at("wax");
    const int64_t last = clean.block_offsets.at("queens");  // the last block of the file
    spec.corrupt.wordmap_count = {{"swarm", 0}, {"wax", 0xFFFFFFFFu}, {"queens", 2}};
    spec.corrupt.wordmap_size_delta = -kWordmapRecordSize;  // the last record is gone
    const IndexFiles files = open(spec);
    WordmapBlock block{};

    ASSERT_EQ(read_wordmap_block(c.g_word_map_file, files.block_offsets.at("swarm"), &block),
              kWordmapRead);
    EXPECT_EQ(block.count, 0u);
    EXPECT_EQ(block.records, nullptr);

    // A huge count yields the records that are there, never a huge buffer.
    const int64_t map_size = (int64_t)files.files.at("vesk_wordmap.vdat").size();
    ASSERT_EQ(read_wordmap_block(c.g_word_map_file, wax, &block), kWordmapRead);
    EXPECT_EQ(block.declared_count, 0xFFFFFFFFu);
    EXPECT_EQ(block.count, (uint32_t)((map_size - wax - kWordmapCountSize) / kWordmapRecordSize));
    EXPECT_EQ(wordmap_posting(&block, 0).page, 1u);
    free_wordmap_block(&block);

    // Count 2, but the file ends after the count: not a single record.
    ASSERT_EQ(read_wordmap_block(c.g_word_map_file, last, &block), kWordmapNoData);
    EXPECT_EQ(block.count, 0u);
    EXPECT_EQ(read_wordmap_block(c.g_word_map_file, map_size - 2, &block), kWordmapNoData);
    EXPECT_EQ(read_wordmap_block(c.g_word_map_file, map_size + 100, &block), kWordmapNoData);
    EXPECT_EQ(read_wordmap_block(c.g_word_map_file, -1, &block), kWordmapNoData);
    EXPECT_EQ(read_wordmap_block(nullptr, 0, &block), kWordmapNoData);
    free_wordmap_block(&block);
    free_wordmap_block(nullptr);
}

TEST_F(OpenIndexTest, RecordDecoding) {
    const uint8_t posting[kWordmapRecordSize] = {200,  0x81, 0x03, 0x02, 0x01,
                                                 0x05, 0x04, 0x03, 0x02, 0xFF};
    const WordmapPosting p = decode_wordmap_record(posting);
    EXPECT_EQ(p.score, 200);
    EXPECT_EQ(p.zones, 0x81);
    EXPECT_EQ(p.page, 0x010203u);
    EXPECT_EQ(p.text_offset, 0xFF02030405ull);

    const uint8_t bytes[5] = {0x34, 0x12, 0xCD, 0xAB, 0x07};
    EXPECT_EQ(decode_page_text_record(bytes, 2).word_id, 0x34u);
    EXPECT_EQ(decode_page_text_record(bytes, 2).variant, 0x12);
    EXPECT_EQ(decode_page_text_record(bytes, 4).word_id, 0xCD1234u);
    EXPECT_EQ(decode_page_text_record(bytes, 5).word_id, 0xABCD1234u);
    EXPECT_EQ(decode_page_text_record(bytes, 5).variant, 7);
    for (int32_t size : {-1, 0, 1, 6, 40}) EXPECT_FALSE(page_text_record_size_valid(size)) << size;

    FILE *file = tmpfile();
    fwrite(bytes, 1, 5, file);
    rewind(file);
    PageTextRecord record{99, 99};
    EXPECT_TRUE(read_page_text_record(file, 3, &record));
    EXPECT_EQ(record.word_id, 0x1234u);
    EXPECT_FALSE(read_page_text_record(file, 3, &record));  // two bytes left
    EXPECT_FALSE(read_page_text_record(file, 1, &record));
    EXPECT_EQ(record.word_id, 0x1234u);
    fclose(file);
}

}  // namespace
}  // namespace indextest
