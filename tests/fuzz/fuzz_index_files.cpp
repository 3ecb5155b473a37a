// libFuzzer target of the index readers. The settings are fixed (categories,
// one meta field of every type, page text, both lists); the input gives the
// bytes of the index files. The first input byte picks the page-info layout,
// XML mode, whether the page text and the spelling list are used, and the
// page count; then each file is a 16-bit little-endian length and that many
// bytes: page info, page data, word map, page text, dictionary, spelling
// list, recommended list. PageInfoSize is the page-info length, so that the
// records themselves get walked. After a successful open every page, meta
// value, posting and page-text record is read. Checked: loaded records and
// meta values lie inside the page-info buffer, list entries stay within their
// counts and word ids below the dictionary's.
//
// Build: clang++-14 -std=c++17 -g -fsanitize=fuzzer,address,undefined -Isrc \
//        tests/fuzz/fuzz_index_files.cpp src/*/*.cpp (without main.cpp) -lstemmer
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "index/index.h"
#include "request/request.h"

namespace {

constexpr uint8_t kBigLayout = 0x01;
constexpr uint8_t kXml = 0x02;
constexpr uint8_t kPageText = 0x04;
constexpr uint8_t kSpelling = 0x08;
constexpr int kPageCountShift = 4;  // bits 4-7: NumPages 0..15
constexpr int kCategoryCount = 16;  // NumCatBytes 2
constexpr int kMaxBlocksRead = 64;  // word-map blocks read per input
const char *const kFileNames[] = {
    "vesk_pageinfo.vdat",   "vesk_pagedata.vdat", "vesk_wordmap.vdat",    "vesk_pagetext.vdat",
    "vesk_dictionary.vdat", "vesk_spelling.vdat", "vesk_recommended.vdat"};
constexpr int kFileCount = sizeof kFileNames / sizeof kFileNames[0];

const char kSettings[] =
    "UseCats = 1\nNumCats = 16\nNumCatBytes = 2\nUseMetaFields = 1\nNumMetaFields = 5\n"
    "NumKeywords = 64\nNumVariants = 64\nOutputBasewordBufferSize = 4096\n"
    "OutputVariantBufferSize = 4096\nDictIDLen = 3\nDictReservedLimit = 4\n"
    "Recommended = 1\nNumRecommended = 8\nNumSpellings = 16\nMaxKeyWordLineLen = 40\n";
const char kMetaFields[] =
    "metafields\n0\nyear\nYear\nYear\n4\n0\n1\nauthor\nAuthor\nAuthor\n5\n0\n"
    "2\ncolour\nColour\nColour\n0\n2\nred\nblue\n3\nsize\nSize\nSize\n0\n2\nS\nL\n"
    "4\nprice\nPrice\nPrice\n2\n0\n";

std::string g_dir;       // the index directory of every input
RequestParams g_params;  // its request record (only the directory is used)

void remove_dir() {
    for (const char *name : kFileNames) unlink((g_dir + "/" + name).c_str());
    unlink((g_dir + "/settings.vdat").c_str());
    unlink((g_dir + "/search_template.html").c_str());
    rmdir(g_dir.c_str());
}

void write_file(const char *name, const uint8_t *data, size_t size) {
    FILE *file = fopen((g_dir + "/" + name).c_str(), "wb");
    if (file == nullptr) abort();
    if (size > 0 && fwrite(data, 1, size, file) != size) abort();
    fclose(file);
}

void check(bool condition) {
    if (!condition) abort();
}

// Reads every field of every page and checks that it lies in the buffer.
void read_pages(const SearchContext &c) {
    const uint8_t *buffer = (const uint8_t *)c.g_page_info_buffer;
    const uint8_t *buffer_end = buffer + c.PageInfoSize;
    for (uint32_t page = 0; page < (uint32_t)c.NumPages; page++) {
        const uint8_t *record = page_record(page);
        check(record != nullptr && record >= buffer);
        const uint8_t *end = record + page_info_record_length(record, c.UseBigPageInfoData);
        check(end <= buffer_end);
        (void)page_info_file_size(record, c.UseBigPageInfoData);
        (void)page_info_date(record, c.UseBigPageInfoData);
        (void)page_info_boost(record, c.UseBigPageInfoData);
        (void)page_info_file_type(record, c.UseBigPageInfoData);
        for (int cat = 0; cat < kCategoryCount; cat++)
            (void)page_in_category(cat, page_category_bitmap(page));
        for (int32_t field = 0; field < page_meta_field_count(); field++) {
            PageMetaValue value;
            check(page_meta_value(page, field, &value));
            if (value.bytes != nullptr)
                check(value.bytes >= record && value.bytes + value.length <= end);
        }
        char url[kPageDataUrlSize], title[kPageDataTitleSize];
        char description[kPageDataDescriptionSize], image[kPageDataImageSize];
        read_page_data_fields(page, url, title, description, image);
        check(strlen(url) < sizeof url && strlen(title) < sizeof title);
        check(strlen(description) < sizeof description && strlen(image) < sizeof image);
        static char line[kPageDataLineSize];
        read_page_data_url(page, line);
    }
    check(page_record((uint32_t)(c.NumPages > 0 ? c.NumPages : 0)) == nullptr);
}

// Reads the postings of the dictionary's words and the page-text records they name.
void read_postings(const SearchContext &c) {
    int blocks = 0;
    for (uint32_t id = 0; id < c.g_dictionary_count && blocks < kMaxBlocksRead; id++) {
        if (c.g_dictionary[id].offset < 0) continue;
        WordmapBlock block{};
        int result = read_wordmap_block(c.g_word_map_file, c.g_dictionary[id].offset, &block);
        blocks++;
        check(result == kWordmapRead || block.count == 0);
        check(block.count <= block.declared_count);
        for (uint32_t k = 0; k < block.count; k++) {
            WordmapPosting posting = wordmap_posting(&block, k);
            if (page_record(posting.page) == nullptr || c.g_page_text_file == nullptr) continue;
            if (seek_data_file(c.g_page_text_file, (int64_t)posting.text_offset) != 0) continue;
            PageTextRecord record;
            if (read_page_text_record(c.g_page_text_file, c.DictIDLen, &record))
                (void)get_word_variant(record.word_id, record.variant);
        }
        free_wordmap_block(&block);
    }
}

void check_lists(const SearchContext &c) {
    check(c.g_spelling_count <= c.NumSpellings);
    for (uint32_t i = 0; i < c.g_spelling_count; i++) {
        check(memchr(c.g_spelling_entries[i].key, '\0', kSpellingKeySize) != nullptr);
        for (uint32_t id : c.g_spelling_entries[i].ids) check(id < c.NumKeywords);
    }
    check(c.g_recommended_count >= 0 && c.g_recommended_count <= c.NumRecommended);
    for (int32_t i = 0; i < c.g_recommended_count; i++)
        check(memchr(c.g_recommended[i].keywords, '\0', kRecommendedKeywordsSize) != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    char dir[] = "/tmp/fuzz_index_files_XXXXXX";
    if (mkdtemp(dir) == nullptr) abort();
    g_dir = dir;
    atexit(remove_dir);
    const char kTemplate[] = "<html><body><!--VESK_SHOW_QUERY--></body></html>\n";
    write_file("search_template.html", (const uint8_t *)kTemplate, sizeof kTemplate - 1);
    snprintf(g_params.index_directory, sizeof g_params.index_directory, "%s", g_dir.c_str());
    if (freopen("/dev/null", "w", stdout) == nullptr) abort();  // the pages go nowhere
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    size_t at = 1;
    size_t sizes[kFileCount] = {0};
    for (int f = 0; f < kFileCount; f++) {
        size_t length = 0;
        if (at + 2 <= size) length = (size_t)data[at] | (size_t)data[at + 1] << 8;
        at = at + 2 <= size ? at + 2 : size;
        if (length > size - at) length = size - at;
        write_file(kFileNames[f], data + at, length);
        sizes[f] = length;
        at += length;
    }

    std::string settings = kSettings;
    settings += "PageInfoSize = " + std::to_string(sizes[0]) + "\n";
    settings += "NumPages = " + std::to_string(flags >> kPageCountShift) + "\n";
    settings += std::string("UseBigPageInfoData = ") + (flags & kBigLayout ? "1" : "0") + "\n";
    settings += std::string("DisplayContext = ") + (flags & kPageText ? "1" : "0") + "\n";
    settings += std::string("Spelling = ") + (flags & kSpelling ? "1" : "0") + "\n";
    for (int i = 0; i < kStrTextCount; i++)
        settings += std::string(interface_text_key(i)) + " = \"t\"\n";
    settings += kMetaFields;
    write_file("settings.vdat", (const uint8_t *)settings.data(), settings.size());

    release_all();
    init_search_context();
    if (load_settings(&g_params) != 0) abort();  // the fixed settings always load
    SearchContext &c = g_search_context;
    c.g_xml_output = flags & kXml ? 1 : 0;
    // The search reads the spelling list only when it proposes words; read
    // here it is checked like the other lists.
    if (open_index_files() == 1 && read_spelling_list() == 1) {
        check_lists(c);
        read_pages(c);
        if (load_dictionary() == 1) read_postings(c);
    }
    close_index_files();
    free_spelling_list();
    release_all();
    return 0;
}
