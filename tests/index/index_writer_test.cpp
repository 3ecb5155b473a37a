// The index writers: records decode as the readers decode them, and values
// the layouts cannot hold are refused rather than written cut or corrupt.
// (The reader tests' fixtures are written through these writers too.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context/settings_writer.h"
#include "index/index.h"
#include "index/index_writer.h"

namespace {

TEST(IndexWriterRecords, DecodeAsTheReadersRead) {
    const WordmapPostingOut postings[] = {{0, 0, 0, 0},
                                          {255, 0x81, kMaxPages - 1, kMaxFileOffset40},
                                          {7, 0x40, 123456, 98765432101ull}};
    for (const WordmapPostingOut &in : postings) {
        uint8_t record[kWordmapRecordSize];
        ASSERT_TRUE(wordmap_posting_fits(in));
        encode_wordmap_record(record, in);
        const WordmapPosting out = decode_wordmap_record(record);
        EXPECT_EQ(out.score, in.score);
        EXPECT_EQ(out.zones, in.zones);
        EXPECT_EQ(out.page, in.page);
        EXPECT_EQ(out.text_offset, in.text_offset);
    }
    EXPECT_FALSE(wordmap_posting_fits({1, 1, kMaxPages, 0}));
    EXPECT_FALSE(wordmap_posting_fits({1, 1, 0, kMaxFileOffset40 + 1}));
    for (int size = kPageTextMinRecordSize; size <= kPageTextMaxRecordSize; size++) {
        const uint32_t id = size == 5 ? UINT32_MAX : (1u << (8 * (size - 1))) - 1;
        uint8_t record[kPageTextMaxRecordSize];
        ASSERT_TRUE(page_text_id_fits(size, id));
        EXPECT_FALSE(size < 5 && page_text_id_fits(size, id + 1));
        encode_page_text_record(record, size, id, 200);
        const PageTextRecord out = decode_page_text_record(record, size);
        EXPECT_EQ(out.word_id, id);
        EXPECT_EQ(out.variant, 200);
    }
}

TEST(IndexWriterRecords, RecordSizeHoldsEveryId) {
    const struct {
        uint64_t ids;
        int size;
    } cases[] = {{0, 3},        {65536, 3},          {65537, 4},
                 {1u << 24, 4}, {(1u << 24) + 1, 5}, {1ull << 32, 5}};
    for (const auto &c : cases) EXPECT_EQ(page_text_record_size_for(c.ids), c.size) << c.ids;
}

TEST(IndexWriterRecords, PageInfoFieldsLieWhereTheAccessorsLook) {
    for (bool big : {false, true}) {
        PageInfoLayout layout;
        layout.big = big;
        layout.category_bytes = 2;
        layout.meta_types = {kMetaTypeText, kMetaTypeDropDown, kMetaTypeMultiple, 0};
        PageInfoOut page;
        page.data_offset = 4294967297ull;
        page.file_size = 1234;
        page.date = 1700000000;
        page.boost = 13;
        page.file_type = 2;
        page.categories = {0, 9};
        page.meta.resize(4);
        page.meta[0].present = true;
        page.meta[0].text = "Hale";
        page.meta[2].present = true;
        page.meta[2].options = {1, 2};
        std::string out;
        ASSERT_TRUE(append_page_info_record(out, layout, page, nullptr));
        const uint8_t *record = (const uint8_t *)out.data();
        const int fixed = big ? kPageInfoBigFixedSize : kPageInfoSmallFixedSize;
        EXPECT_EQ(page_info_record_length(record, big), out.size());
        EXPECT_EQ(out.size(), (size_t)fixed + 2 + (big ? 2 : 1) + 4 + 1 + 3 + 4);
        EXPECT_EQ(read_offset40(page_info_data_offset_field(record, big)), page.data_offset);
        EXPECT_EQ(page_info_file_size(record, big), 1234u);
        EXPECT_EQ(page_info_date(record, big), 1700000000u);
        EXPECT_EQ(page_info_boost(record, big), 13);
        EXPECT_EQ(page_info_file_type(record, big), 2);
        EXPECT_EQ(record[fixed], 0x01);      // category 0
        EXPECT_EQ(record[fixed + 1], 0x02);  // category 9
        const uint8_t *cursor = record + fixed + 2, *end = record + out.size();
        PageMetaValue text, option, options, number;
        ASSERT_TRUE(read_meta_value(&cursor, end, kMetaTypeText, big, &text));
        ASSERT_TRUE(read_meta_value(&cursor, end, kMetaTypeDropDown, big, &option));
        ASSERT_TRUE(read_meta_value(&cursor, end, kMetaTypeMultiple, big, &options));
        ASSERT_TRUE(read_meta_value(&cursor, end, 0, big, &number));
        EXPECT_EQ(cursor, end);
    }
}

TEST(IndexWriterRefusals, ValuesTheLayoutCannotHold) {
    std::string out, error;
    PageInfoLayout small;
    small.category_bytes = 1;
    small.meta_types = {kMetaTypeText, kMetaTypeDropDown};
    auto info = [&](int category, const std::string &text, int option) {
        PageInfoOut page;
        page.categories = {category};
        page.meta.resize(2);
        page.meta[0].present = page.meta[1].present = true;
        page.meta[0].text = text;
        page.meta[1].option = option;
        return append_page_info_record(out, small, page, &error);
    };
    const std::string url(kPageDataUrlMax, 'u'), title(kPageDataTitleMax, 't');
    const struct {
        const char *what;
        bool accepted;
        bool done;
    } cases[] = {
        {"page info within the layout", true, info(7, std::string(255, 'x'), 254)},
        {"category beyond the bitmap", false, info(8, "", 0)},
        {"text beyond a one-byte length", false, info(0, std::string(256, 'x'), 0)},
        {"drop-down option 255", false, info(0, "", 255)},
        {"page data at its limits", true,
         append_page_data_line(out, url, title, "", "", "", &error)},
        {"URL one byte over", false, append_page_data_line(out, url + "u", "", "", "", "", &error)},
        {"title one byte over", false,
         append_page_data_line(out, "", title + "t", "", "", "", &error)},
        {"a bar in a title", false, append_page_data_line(out, "a", "x|y", "", "", "", &error)},
        {"a NUL in a title", false,
         append_page_data_line(out, "a", std::string("x\0y", 3), "", "", "", &error)},
        {"a line end in a description", false,
         append_page_data_line(out, "a", "", "x\ny", "", "", &error)},
        {"dictionary entry", true,
         append_dictionary_entry(out, "bee", 10, {"Bee", "BEES"}, &error)},
        {"a word with a space", false, append_dictionary_entry(out, "a b", 0, {}, &error)},
        {"an empty word", false, append_dictionary_entry(out, "", 0, {}, &error)},
        {"a variant of 400 bytes", false,
         append_dictionary_entry(out, "w", 0, {std::string(kMaxVariantLength + 1, 'v')}, &error)},
        {"256 variants", false,
         append_dictionary_entry(out, "w", 0, std::vector<std::string>(256, "v"), &error)},
        {"spelling line", true, append_spelling_line(out, "PRNTKRXX", {812, 907}, &error)},
        {"spelling line without ids", false, append_spelling_line(out, "PRNT", {}, &error)},
        {"recommended line of 503 bytes", true,
         append_recommended_line(out, std::string(503, 'k'), 17, &error)},
        {"recommended line of 504 bytes", false,
         append_recommended_line(out, std::string(504, 'k'), 17, &error)},
        {"recommended keywords after a space", false,
         append_recommended_line(out, " news", 5, &error)},
        {"autocomplete line", true, append_autocomplete_line(out, "honey cake", &error)},
        {"autocomplete markup", false, append_autocomplete_line(out, "a<b", &error)},
        {"autocomplete quote", false, append_autocomplete_line(out, "it's", &error)},
    };
    for (const auto &c : cases) EXPECT_EQ(c.done, c.accepted) << c.what;
    EXPECT_NE(out.find("PRNTKR 812 907\n"), std::string::npos);  // the key's first six bytes
    EXPECT_NE(out.find("bee 10 2\nBee\nBEES\n"), std::string::npos);
    EXPECT_EQ(longest_line_length("ab\ncdef\ng"), 5u);
}

TEST(SettingsWriter, ValuesAreCheckedAgainstTheKeyTable) {
    const struct {
        const char *key, *value, *written;  // written null: refused
    } cases[] = {
        {"DisplayTitle", "1", "1"},
        {"DisplayTitle", "-3", "-3"},
        {"DisplayTitle", "1x", nullptr},
        {"DisplayTitle", "", nullptr},
        {"MaxMatches", "4294967295", "4294967295"},
        {"MaxMatches", "-1", nullptr},
        {"NumPages", "2147483648", nullptr},
        {"UseDomainDiversity", "1", "1"},
        {"Charset", "utf-8", "\"utf-8\""},
        {"Charset", "a\"b", nullptr},
        {"LinkTarget", "x\ny", nullptr},
        {"NoSuchKey", "1", nullptr},
        {"STR_POWEREDBY", "x", nullptr},
        {"MetaMoneyCurrency", "&#8364;", "\"&#8364;\""},
        {"MetaMoneyCurrency", "&#128176;abc", nullptr},
    };
    for (const auto &c : cases) {
        std::string written, error;
        const bool ok = check_setting_value(c.key, c.value, &written, &error);
        EXPECT_EQ(ok, c.written != nullptr) << c.key << " " << c.value << ": " << error;
        if (ok) {
            EXPECT_EQ(written, c.written) << c.key;
        } else {
            EXPECT_NE(error.find(c.key), std::string::npos) << error;
        }
    }
}

TEST(SettingsWriter, BlocksAreCheckedAgainstTheReadersBuffers) {
    const struct {
        SettingsFileOut file;
        bool accepted;
    } cases[] = {
        {{{},
          {},
          {"Hive care"},
          {{2, "season", "Season", "Season", 0, {"Spring"}, -1}},
          {"\u00E9"},
          {"e"},
          {},
          "\n"},
         true},
        {{{}, {}, {""}, {}, {}, {}, {}, "\n"}, false},
        {{{}, {}, {}, {{1, std::string(99, 'n'), "c", "l", 0, {}, -1}}, {}, {}, {}, "\n"}, true},
        {{{}, {}, {}, {{1, std::string(100, 'n'), "c", "l", 0, {}, -1}}, {}, {}, {}, "\n"}, false},
        {{{}, {}, {}, {{1, std::string(99, 'n'), "c", "l", 0, {}, -1}}, {}, {}, {}, "\r\n"}, false},
        {{{}, {}, {}, {{2, "n", "c", "l", 0, {std::string(64, 'o')}, -1}}, {}, {}, {}, "\n"},
         false},
        {{{}, {}, {}, {}, {std::string(10, 'a')}, {"a"}, {}, "\n"}, false},
        {{{}, {}, {}, {}, {"a"}, {"abcde"}, {}, "\n"}, false},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; i++) {
        std::string error;
        EXPECT_EQ(check_settings_blocks(cases[i].file, &error), cases[i].accepted)
            << i << ": " << error;
    }
}

}  // namespace
