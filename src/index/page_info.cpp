// The page-info file: one binary record per page, read whole into memory.
//
// Layout (little-endian, no header, no padding; NumPages records back to back,
// PageInfoSize bytes in all):
//
//   field             small  big   width
//   record length     0      0     u16 (small) / u32 (big), the whole record
//   page-data offset  2      4     u40, line of the page in the page-data file
//   file size         7      9     u32
//   date              11     13    u32, seconds since 1970
//   boost             15     17    u8, 0 = none, else scores x boost / 10
//   file type         16     18    u8
//   category bitmap   17     19    NumCatBytes bytes, only when UseCats is 1;
//                                  category c is bit c % 8 of byte c / 8
//   meta values       17+B   19+B  only when UseMetaFields is 1, one per meta
//                                  field in definition order; B is the bitmap
//
// Meta values by field type: 1 text = length (u8 small, u16 big) and that many
// bytes, length 0 = none; 2 drop-down = u8 option, 0xFF = none; 3 multiple
// choice = u8 count and count u8 options, count 0 = none; every other type
// (0 numeric, 4 money) = u32, 0xFFFFFFFF = none.
//
// The file's bytes and the pointer tables into them share one block, laid out
// so that the load maps its pages in one step.
#include <stdlib.h>
#include <string.h>

#include "index/index.h"
#include "platform/platform.h"

namespace {

const char kShortFileMessage[] = "Pageinfo file does not match PageInfoSize specified.";
const char kMismatchMessage[] = "Pageinfo file and PageInfoSize does not match NumPages specified.";
const char kShortTotalMessage[] =
    "Warning: Pageinfo file and PageInfoSize does not match NumPages specified.";
const char kInvalidCategoryMessage[] =
    "Error: Category number is invalid. Incorrect settings file used?";

constexpr size_t kMetaOptionByteSize = 1;  // u8 drop-down option, multiple-choice count and option
constexpr size_t kTableAlignment = 16;     // the pointer tables start on this boundary

// Where the pointer tables start behind `size` bytes of file.
size_t table_offset(size_t size) {
    return (size + kTableAlignment - 1) / kTableAlignment * kTableAlignment;
}

uint32_t read_u16(const uint8_t *p) {
    return (uint32_t)p[0] | (uint32_t)p[1] << 8;
}

uint32_t read_u32(const uint8_t *p) {
    return (uint32_t)read_little_endian(p, kMetaNumberSize);
}

int fixed_size(int32_t big) {
    return big ? kPageInfoBigFixedSize : kPageInfoSmallFixedSize;
}

// Bytes of the bitmap inside every record.
int64_t bitmap_size(const SearchContext &c) {
    return c.UseCats == 1 && c.NumCatBytes > 0 ? c.NumCatBytes : 0;
}

// Type of meta field i (below page_meta_field_count()).
int32_t meta_field_type(const SearchContext &c, int32_t i) {
    return c.g_meta_fields[i].type;
}

// Prints message, drops the tables and gives the failed-load result.
int fail_load(const char *message) {
    if (message != nullptr) out_printf("%s", message);
    release_page_info_tables();
    return 1;
}

// true when the meta values from `at` to `end` hold one value per meta field.
bool meta_values_fit(const SearchContext &c, const uint8_t *at, const uint8_t *end) {
    const int32_t fields = page_meta_field_count();
    PageMetaValue value;
    for (int32_t i = 0; i < fields; i++)
        if (!read_meta_value(&at, end, meta_field_type(c, i), c.UseBigPageInfoData, &value))
            return false;
    return true;
}

// Bytes of the pointer tables that load_pageinfo_file fills for a page count
// that can fit the file (0 when it cannot: the load fails before using them).
size_t pointer_table_bytes(const SearchContext &c, int64_t minimum) {
    if (c.NumPages <= 0 || (int64_t)c.NumPages * minimum > c.PageInfoSize) return 0;
    const int tables = 1 + (c.UseCats == 1) + (c.UseMetaFields == 1);
    return (size_t)c.NumPages * sizeof(uint8_t *) * (size_t)tables;
}

// Reads the file's first PageInfoSize bytes into a fresh g_page_info_buffer,
// which has room behind them for `tables` bytes of pointer tables. 0 done;
// else the load's result after its message.
int read_buffer(SearchContext &c, FILE *file, size_t tables) {
    if (c.PageInfoSize < 0) {
        fclose(file);
        return fail_load(kShortFileMessage);
    }
    const size_t size = (size_t)c.PageInfoSize;
    // + 1: never an empty block. Counted in 64 bits: too large for the address
    // space is no memory, never a short block.
    const uint64_t wanted = (uint64_t)table_offset(size) + tables + 1;
    const size_t block = wanted <= SIZE_MAX ? (size_t)wanted : 0;
    // One block, every page of which the load writes at once.
    c.g_page_info_buffer = (char *)platform_alloc_mapped(block, block);
    if (c.g_page_info_buffer == nullptr) {
        fclose(file);
        return fail_load(nullptr);
    }
    platform_cache_in_large_pieces(fileno(file), size);
    const size_t read = size > 0 ? fread(c.g_page_info_buffer, 1, size, file) : 0;
    fclose(file);
    if (read < size) return fail_load(kShortFileMessage);
    return 0;
}

// Points `table` at the next pointer table of NumPages entries behind the file
// bytes, when `wanted`.
void take_table(const SearchContext &c, size_t *at, bool wanted, const uint8_t ***table) {
    if (!wanted) return;
    *table = (const uint8_t **)(c.g_page_info_buffer + *at);
    *at += (size_t)c.NumPages * sizeof(uint8_t *);
}

}  // namespace

void release_page_info_tables() {
    SearchContext &c = g_search_context;
    // The pointer tables live in the buffer's block.
    c.g_page_records = nullptr;
    c.g_page_category_bitmaps = nullptr;
    c.g_page_meta_values = nullptr;
    platform_free_mapped(c.g_page_info_buffer);
    c.g_page_info_buffer = nullptr;
}

int load_pageinfo_file() {
    SearchContext &c = g_search_context;
    release_page_info_tables();
    // A failure below that is no failed system call must not be reported with
    // the reason of an earlier, unrelated one.
    platform_clear_error();
    FILE *file = open_data_file(c.pageinfo_file_name);
    if (file == nullptr) return 1;
    const int32_t big = c.UseBigPageInfoData;
    const int64_t total_size = c.PageInfoSize;
    const int64_t bitmap = bitmap_size(c);
    const int64_t minimum = fixed_size(big) + bitmap;
    if (read_buffer(c, file, pointer_table_bytes(c, minimum)) != 0) return 1;

    if (c.NumPages <= 0) return total_size == 0 ? 0 : fail_load(kShortTotalMessage);
    // Every record needs its fixed part and bitmap: a page count that cannot
    // fit is refused (the buffer has no room for its tables).
    if ((int64_t)c.NumPages * minimum > total_size) return fail_load(kMismatchMessage);

    const size_t pages = (size_t)c.NumPages;
    size_t at = table_offset((size_t)total_size);
    take_table(c, &at, true, &c.g_page_records);
    take_table(c, &at, c.UseCats == 1, &c.g_page_category_bitmaps);
    take_table(c, &at, c.UseMetaFields == 1, &c.g_page_meta_values);

    const uint8_t *buffer = (const uint8_t *)c.g_page_info_buffer;
    const int length_size = big ? kPageInfoBigLengthSize : kPageInfoSmallLengthSize;
    int64_t total = 0;
    for (size_t i = 0; i < pages; i++) {
        const uint8_t *record = buffer + total;
        if (total + length_size > total_size) return fail_load(kMismatchMessage);
        const int64_t length = page_info_record_length(record, big);
        if (total + length > total_size || length < minimum) return fail_load(kMismatchMessage);
        const uint8_t *after_fixed = record + fixed_size(big);
        if (c.UseMetaFields == 1 && !meta_values_fit(c, after_fixed + bitmap, record + length))
            return fail_load(kMismatchMessage);
        c.g_page_records[i] = record;
        if (c.g_page_category_bitmaps != nullptr) c.g_page_category_bitmaps[i] = after_fixed;
        if (c.g_page_meta_values != nullptr) c.g_page_meta_values[i] = after_fixed + bitmap;
        total += length;
    }
    if (total < total_size) return fail_load(kShortTotalMessage);
    return 0;
}

uint32_t page_info_record_length(const uint8_t *record, int32_t big) {
    return big ? read_u32(record) : read_u16(record);
}

uint32_t page_info_file_size(const uint8_t *record, int32_t big) {
    return read_u32(record + (big ? kBigFileSizeAt : kSmallFileSizeAt));
}

uint8_t page_info_file_type(const uint8_t *record, int32_t big) {
    return record[big ? kBigFileTypeAt : kSmallFileTypeAt];
}

const uint8_t *page_info_data_offset_field(const uint8_t *record, int32_t big) {
    return record + (big ? kBigDataOffsetAt : kSmallDataOffsetAt);
}

uint64_t read_offset40(const uint8_t *field) {
    return read_little_endian(field, kPageDataOffsetSize);
}

void refuse_category_number() {
    finish_page_after_error(kInvalidCategoryMessage, "</vesk:error>\n");
    fflush(stdout);
    exit(1);
}

int32_t page_meta_field_count() {
    const SearchContext &c = g_search_context;
    return c.UseMetaFields == 1 ? defined_meta_field_count() : 0;
}

bool read_meta_value(const uint8_t **cursor, const uint8_t *end, int32_t type, int32_t big,
                     PageMetaValue *value) {
    const uint8_t *at = *cursor;
    const size_t room = end > at ? (size_t)(end - at) : 0;
    PageMetaValue v = {type, false, 0, nullptr, 0};
    size_t used;
    switch (type) {
        case kMetaText: {
            const size_t length_size = big ? kMetaTextBigLengthSize : kMetaTextSmallLengthSize;
            if (room < length_size) return false;
            v.length = big ? read_u16(at) : at[0];
            if (room - length_size < v.length) return false;
            v.bytes = at + length_size;
            v.present = v.length > 0;
            used = length_size + v.length;
            break;
        }
        case kMetaDropDown:
            if (room < kMetaOptionByteSize) return false;
            v.number = at[0];
            v.present = v.number != (uint32_t)kNoMetaOption;
            used = kMetaOptionByteSize;
            break;
        case kMetaMultiple:
            if (room < kMetaOptionByteSize) return false;
            v.length = at[0];
            if (room - kMetaOptionByteSize < v.length * kMetaOptionByteSize) return false;
            v.bytes = at + kMetaOptionByteSize;
            v.present = v.length > 0;
            used = kMetaOptionByteSize + v.length * kMetaOptionByteSize;
            break;
        default:
            if (room < (size_t)kMetaNumberSize) return false;
            v.number = read_u32(at);
            v.present = v.number != kNoMetaNumber;
            used = kMetaNumberSize;
            break;
    }
    *cursor = at + used;
    *value = v;
    return true;
}

bool page_meta_value(uint32_t page, int32_t field, PageMetaValue *value) {
    const SearchContext &c = g_search_context;
    const uint8_t *record = page_record(page);
    if (record == nullptr || c.g_page_meta_values == nullptr) return false;
    if (field < 0 || field >= page_meta_field_count()) return false;
    const uint8_t *at = c.g_page_meta_values[page];
    const uint8_t *end = record + page_info_record_length(record, c.UseBigPageInfoData);
    PageMetaValue v;
    for (int32_t i = 0; i <= field; i++)
        if (!read_meta_value(&at, end, meta_field_type(c, i), c.UseBigPageInfoData, &v))
            return false;
    *value = v;
    return true;
}
