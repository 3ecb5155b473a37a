// The page-info loader: every field the writer put into a record reads back in
// both layouts, with categories and every meta type; the size checks refuse
// damaged files with their messages and leave no tables behind.
#include <stdint.h>

#include <algorithm>

#include "index/index_fixture.h"

namespace indextest {
namespace {

const char kShortFile[] = "Pageinfo file does not match PageInfoSize specified.";
const char kMismatch[] = "Pageinfo file and PageInfoSize does not match NumPages specified.";
const char kShortTotal[] =
    "Warning: Pageinfo file and PageInfoSize does not match NumPages specified.";

class PageInfoTest : public IndexFixture {};
class PageInfoLayouts : public IndexFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(PageInfoLayouts, EveryWrittenFieldReadsBack) {
    const IndexSpec spec = sample_index(GetParam());
    const IndexFiles files = write(spec);
    ASSERT_EQ(captured([] { return load_pageinfo_file(); }), 0);
    EXPECT_EQ(out_, "");
    const int32_t big = c.UseBigPageInfoData;
    EXPECT_EQ(big, GetParam() ? 1 : 0);
    for (uint32_t i = 0; i < spec.pages.size(); i++) {
        SCOPED_TRACE(i);
        const PageSpec &page = spec.pages[i];
        const uint8_t *record = page_record(i);
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(page_info_file_size(record, big), page.size);
        EXPECT_EQ(page_info_date(record, big), page.date);
        EXPECT_EQ(page_info_boost(record, big), page.boost);
        EXPECT_EQ(page_info_file_type(record, big), page.file_type);
        EXPECT_EQ(read_offset40(page_info_data_offset_field(record, big)), files.line_offsets[i]);
        const uint8_t *bitmap = page_category_bitmap(i);
        for (int cat = 0; cat < (int)spec.categories.size(); cat++) {
            bool in = std::count(page.categories.begin(), page.categories.end(), cat) > 0;
            uint32_t bit = page_in_category(cat, bitmap);
            EXPECT_EQ(bit != 0, in) << cat;
            if (in) {
                EXPECT_EQ(bit, 1u << (cat % 8)) << cat;
            }
        }
        ASSERT_EQ(page_meta_field_count(), (int32_t)spec.meta_fields.size());
        for (int32_t f = 0; f < page_meta_field_count(); f++) {
            SCOPED_TRACE(f);
            const MetaValueSpec want =
                f < (int)page.meta.size() ? page.meta[f] : MetaValueSpec::none();
            const int type = spec.meta_fields[f].type;
            PageMetaValue v;
            ASSERT_TRUE(page_meta_value(i, f, &v));
            EXPECT_EQ(v.type, type);
            EXPECT_EQ(v.present, want.present);
            if (!want.present) continue;
            if (type == kMetaText)
                EXPECT_EQ(std::string((const char *)v.bytes, v.length), want.text);
            else if (type == kMetaDropDown)
                EXPECT_EQ(v.number, (uint32_t)want.option);
            else if (type == kMetaMultiple)
                EXPECT_EQ(std::vector<int>(v.bytes, v.bytes + v.length), want.options);
            else
                EXPECT_EQ(v.number, want.number);
        }
        PageMetaValue unused;
        EXPECT_FALSE(page_meta_value(i, page_meta_field_count(), &unused));
    }
    EXPECT_EQ(page_record((uint32_t)spec.pages.size()), nullptr);
    EXPECT_EQ(page_category_bitmap(UINT32_MAX), nullptr);
}

INSTANTIATE_TEST_SUITE_P(SmallAndBig, PageInfoLayouts, ::testing::Bool());

TEST_F(PageInfoTest, MetaValuesFollowTheFileTypeByteWithoutCategories) {
    IndexSpec spec = sample_index(false);
    spec.categories.clear();
    write(spec);
    ASSERT_EQ(captured([] { return load_pageinfo_file(); }), 0);
    EXPECT_EQ(c.g_page_category_bitmaps, nullptr);
    EXPECT_EQ(c.g_page_meta_values[0], page_record(0) + kPageInfoSmallFixedSize);
    EXPECT_EQ(page_category_bitmap(0), nullptr);
    c.NumCatBytes = 1;
    EXPECT_EQ(page_in_category(0, page_category_bitmap(0)), 0u);  // absent bitmap: no category
}

TEST_F(PageInfoTest, CategoryBitsAndTheirLimits) {
    c.NumCatBytes = 2;
    const uint8_t bitmap[2] = {0x00, 0x02};
    EXPECT_EQ(page_in_category(9, bitmap), 2u);
    EXPECT_EQ(page_in_category(8, bitmap), 0u);
    EXPECT_EQ(page_in_category(-3, bitmap), 0u);
    EXPECT_EQ(page_in_category(INT32_MIN, bitmap), 0u);
    c.NumCatBytes = 1;
    EXPECT_EXIT(page_in_category(9, bitmap), ::testing::ExitedWithCode(1), "");
}

TEST_F(PageInfoTest, FortyBitOffsetsAndTruncatedMetaValues) {
    const uint8_t field[5] = {0x01, 0x00, 0x00, 0x00, 0x01};
    EXPECT_EQ(read_offset40(field), 4294967297ull);
    const uint8_t top[5] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(read_offset40(top), 0xFFFFFFFFFFull);

    // read(bytes, size, type, big): bytes consumed, or -1 when the value does not fit.
    auto read = [](const uint8_t *bytes, size_t size, int32_t type, int32_t big) {
        const uint8_t *at = bytes;
        PageMetaValue v;
        if (!read_meta_value(&at, bytes + size, type, big, &v)) return at == bytes ? -1L : -2L;
        return (long)(at - bytes);
    };
    const uint8_t text[] = {3, 'a', 'b'};  // length 3 with two bytes left
    EXPECT_EQ(read(text, sizeof text, kMetaText, 0), -1);
    EXPECT_EQ(read(text, 2, kMetaText, 1), -1);
    const uint8_t big_text[] = {2, 0, 'a', 'b', 9};
    EXPECT_EQ(read(big_text, sizeof big_text, kMetaText, 1), 4);
    EXPECT_EQ(read(big_text, sizeof big_text, kMetaText, 0), 3);
    const uint8_t options[] = {2, 7};
    EXPECT_EQ(read(options, sizeof options, kMetaMultiple, 0), -1);
    EXPECT_EQ(read(options, sizeof options, kMetaNumeric, 0), -1);
    EXPECT_EQ(read(options, 0, kMetaDropDown, 0), -1);
    EXPECT_EQ(read(options, 1, kMetaDropDown, 1), 1);
}

// Damage to the file or to the settings that describe it.
struct SizeCase {
    const char *name;
    std::function<void(IndexSpec &, const IndexFiles &)> damage;
    const char *message;  // "" when the file loads
};

TEST_F(PageInfoTest, SizeChecksRefuseDamagedFiles) {
    const IndexSpec base = sample_index(false);
    const IndexFiles clean = testsupport::build_index(base);
    const long long size = (long long)clean.files.at("vesk_pageinfo.vdat").size();
    const uint32_t first_length = (uint32_t)clean.record_offsets[1];
    const SizeCase cases[] = {
        {"one byte short",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.pageinfo_size_delta = -1; }, kShortFile},
        {"longer file",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.pageinfo_size_delta = 100; }, ""},
        {"lengths add up short",
         [size](IndexSpec &s, const IndexFiles &) {
             s.corrupt.pageinfo_size_delta = 10;
             s.corrupt.settings["PageInfoSize"] = size + 10;
         },
         kShortTotal},
        {"record too long",
         [](IndexSpec &s, const IndexFiles &f) {
             s.corrupt.record_length[2] =
                 (uint32_t)(f.files.at("vesk_pageinfo.vdat").size() - f.record_offsets[2] + 1);
         },
         kMismatch},
        {"record length 0",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.record_length[0] = 0; }, kMismatch},
        {"length without the bitmap",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.record_length[0] = 18; }, kMismatch},
        {"length cuts the meta values",
         [first_length](IndexSpec &s, const IndexFiles &) {
             s.corrupt.record_length[0] = first_length - 1;
         },
         kMismatch},
        {"more pages than the file holds",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.settings["NumPages"] = 4; }, kMismatch},
        {"page count beyond memory",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.settings["NumPages"] = INT32_MAX; },
         kMismatch},
        {"negative size",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.settings["PageInfoSize"] = -1; },
         kShortFile},
        {"no pages, size 10",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.settings["NumPages"] = 0; }, kShortTotal},
        {"negative page count",
         [](IndexSpec &s, const IndexFiles &) { s.corrupt.settings["NumPages"] = -5; },
         kShortTotal},
        {"no pages, size 0",
         [](IndexSpec &s, const IndexFiles &) {
             s.corrupt.settings["NumPages"] = 0;
             s.corrupt.settings["PageInfoSize"] = 0;
         },
         ""},
    };
    for (const SizeCase &test : cases) {
        SCOPED_TRACE(test.name);
        IndexSpec spec = base;
        test.damage(spec, clean);
        write(spec);
        const int result = captured([] { return load_pageinfo_file(); });
        EXPECT_EQ(out_, test.message);
        EXPECT_EQ(result, test.message[0] == '\0' ? 0 : 1);
        if (result != 0) {
            EXPECT_EQ(c.g_page_info_buffer, nullptr);
            EXPECT_EQ(c.g_page_records, nullptr);
            EXPECT_EQ(c.g_page_meta_values, nullptr);
            EXPECT_EQ(page_record(0), nullptr);
        }
    }
}

TEST_F(PageInfoTest, MissingFileFailsSilently) {
    IndexSpec spec = sample_index(true);
    spec.corrupt.missing_files = {"vesk_pageinfo.vdat"};
    write(spec);
    EXPECT_EQ(captured([] { return load_pageinfo_file(); }), 1);
    EXPECT_EQ(out_, "");
}

}  // namespace
}  // namespace indextest
