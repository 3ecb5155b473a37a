// Opening the index files of a search request, releasing every table a
// request loaded, and the readers of the page data, the word map and the page
// text.
//
// Page data (text): one line per page at the offset its page-info record
// gives: URL "|" title "|" description "|" image URL "|" and anything up to
// the line end. An empty field means "none"; fields cannot hold "|".
//
// Word map (binary, little-endian, no header): at each word's dictionary
// offset a block of a u32 record count and that many 10-byte records:
//   byte 0     score (u8)
//   byte 1     zone bits (u8)
//   bytes 2-4  page index (u24)
//   bytes 5-9  offset of the occurrence in the page text (u40)
//
// Page text (binary, no header): records of DictIDLen (2 to 5) bytes: the
// word id in the first DictIDLen - 1 bytes (little-endian), then the variant
// number. An index made for other settings starts with the UTF-16 text "This".
#include <stdlib.h>
#include <string.h>

#include "index/index.h"
#include "platform/platform.h"
#include "text/text.h"

namespace {

const char kUnableToOpenFormat[] =
    "Unable to open %s<br />%s<br />Check file permissions and that file exists";
const char kPageTextUnableFormat[] =
    "Unable to open vesk_pagetext.vdat<br />%s<br />Check file permissions and that file exists";
const char kPageTextConfigError[] =
    "<b>Vesk config error:</b> The \"vesk_pagetext.vdat\" file is not properly created for the "
    "search settings specified in \"setting.php\"<br />"
    "Please check that you have re-indexed and try again.";
// Index-file errors close with a line end in XML mode.
const char kErrorClosing[] = "</vesk:error>\n";

// Positions of the UTF-16 text "This" that marks a page text made for other settings.
constexpr int kForeignMarkPositions[] = {0, 2, 4, 6};
constexpr char kForeignMark[] = "This";

// Reports a file that cannot be opened or loaded, with the system's text for
// the last error, and finishes the page. format takes name (when not null)
// and the reason. 0.
int finish_unable_to_open(const char *format, const char *name) {
    char *reason = get_system_error_text();
    const char *first = name != nullptr ? name : reason;
    // Each "%s" of the format gives way to its text, so this bounds the message.
    const size_t size = strlen(format) + strlen(first) + strlen(reason) + 1;
    char *message = (char *)malloc(size);
    if (message != nullptr) snprintf(message, size, format, first, reason);
    free_system_error_text(reason);
    finish_page_after_error(message, kErrorClosing);
    free(message);
    return 0;
}

// true when the page text starts with the UTF-16 "This" of an index made for
// other settings. Reads the first line, at most 7 bytes.
bool page_text_is_foreign(FILE *file) {
    char probe[kPageTextProbeSize] = {0};
    if (fgets(probe, sizeof probe, file) == nullptr) return false;
    for (int i = 0; i < (int)sizeof kForeignMarkPositions / (int)sizeof(int); i++)
        if (probe[kForeignMarkPositions[i]] != kForeignMark[i]) return false;
    return true;
}

// Opens and checks the page text. 1 done; 0 the page is finished.
int open_page_text(SearchContext &c) {
    if (!page_text_record_size_valid(c.DictIDLen))
        return finish_page_after_error(kInvalidSettingsFileMessage, kErrorClosing);
    c.g_page_text_file = open_data_file(c.pagetext_file_name);
    if (c.g_page_text_file == nullptr) return finish_unable_to_open(kPageTextUnableFormat, nullptr);
    // The stream is left where the probe stopped: every reader seeks first.
    if (page_text_is_foreign(c.g_page_text_file))
        return finish_page_after_error(kPageTextConfigError, kErrorClosing);
    return 1;
}

// What read_line_at gave.
enum LineRead {
    kLineRead = 0,     // line holds the line
    kLineMissing = 1,  // nothing to read there: the file ends before offset
    kLineNotRead = 2,  // the file cannot be read at offsets: seek and read instead
};

// Reads what fgets would read from offset of the file fd into line (size
// bytes): up to and including the first LF, at most size - 1 bytes, fewer at
// the file's end, then a NUL; the bytes behind the NUL are not written. A
// line is read with one call of kPageLineFirstRead bytes, and the rest of the
// buffer only when it holds no LF. Nothing moves the file's position.
int read_line_at(int fd, uint64_t offset, char *line, int size) {
    const size_t most = (size_t)size - 1;
    size_t filled = 0;
    size_t want = most < kPageLineFirstRead ? most : kPageLineFirstRead;
    while (filled < most) {
        const int64_t got = platform_read_at(fd, line + filled, want, (int64_t)(offset + filled));
        if (got < 0) return kLineNotRead;
        char *lf = (char *)memchr(line + filled, '\n', (size_t)got);
        if (lf != nullptr) {
            lf[1] = '\0';
            return kLineRead;
        }
        filled += (size_t)got;
        if ((size_t)got < want) break;  // the file's end
        want = most - filled;
    }
    line[filled] = '\0';
    return filled > 0 ? kLineRead : kLineMissing;
}

// Reads page's line of the page data into line (size bytes, at least 2) as
// fgets would, at its offset; a stream that cannot be read at offsets is
// sought and read instead. false (line empty) when the page or the file is
// missing, the seek fails (its message printed) or nothing can be read.
bool read_page_line(uint32_t page, char *line, int size) {
    const SearchContext &c = g_search_context;
    line[0] = '\0';
    const uint8_t *record = page_record(page);
    if (record == nullptr || c.g_page_data_file == nullptr) return false;
    uint64_t offset = read_offset40(page_info_data_offset_field(record, c.UseBigPageInfoData));
    const int read = read_line_at(fileno(c.g_page_data_file), offset, line, size);
    if (read == kLineRead) return true;
    line[0] = '\0';
    if (read == kLineMissing) return false;
    if (seek_data_file(c.g_page_data_file, (int64_t)offset) != 0) return false;
    if (fgets(line, size, c.g_page_data_file) != nullptr) return true;
    line[0] = '\0';
    return false;
}

// Copies the field [start, end) into out (capacity `size`), cut to size - 1 bytes.
void copy_field(char *out, int size, const char *start, const char *end) {
    if (out == nullptr) return;
    size_t length = (size_t)(end - start);
    if (length > (size_t)size - 1) length = (size_t)size - 1;
    memcpy(out, start, length);
    out[length] = '\0';
}

// Records of a block with `declared` records at offset that a file of
// file_size bytes still holds: a corrupt count costs nothing beyond the
// file's own size.
uint64_t records_present(int64_t offset, uint64_t file_size, uint32_t declared) {
    const int64_t left = (int64_t)file_size - offset - kWordmapCountSize;
    if (left < kWordmapRecordSize) return 0;
    const uint64_t present = (uint64_t)left / kWordmapRecordSize;
    return present < declared ? present : declared;
}

// Makes room for `wanted` records in the block. The old records are read
// again anyway: a block too small is replaced by a fresh one. false without
// memory.
bool hold_records(WordmapBlock *block, uint64_t wanted) {
    if (wanted <= block->capacity) return true;
    const uint64_t bytes = wanted * kWordmapRecordSize;
    platform_arena_free(block->records);
    block->records = nullptr;
    block->capacity = 0;
    if (bytes <= SIZE_MAX) block->records = (uint8_t *)platform_arena_alloc((size_t)bytes);
    if (block->records == nullptr) return false;
    block->capacity = (uint32_t)wanted;
    return true;
}

// The window of the open word map when file is that stream, else null: the
// window is only ever filled from and used for the stream that owns it.
WordmapWindow *window_of(const FILE *file) {
    SearchContext &c = g_search_context;
    WordmapWindow &window = c.g_word_map_window;
    if (file == nullptr || file != c.g_word_map_file) return nullptr;
    if (window.file != file) window.length = 0;  // bytes of no other stream are used
    window.file = file;
    return &window;
}

// The file bytes from offset on for a block read: those the word map's window
// holds when it holds the count there; else they are read into the window
// (kWordmapFirstRead bytes, or kWordmapWindowSize when offset lies inside the
// window or at most kWordmapWindowGap behind its end: the reads walk through
// the file), or into spare (kWordmapFirstRead bytes) when there is no window
// or it cannot be had. *bytes points at them; the count read or held, or -1
// when the read fails (the window is then empty).
int64_t block_bytes(FILE *file, int64_t offset, uint8_t *spare, const uint8_t **bytes) {
    WordmapWindow *window = window_of(file);
    const bool behind = window != nullptr && window->length > 0 && offset >= window->offset;
    const uint64_t into = behind ? (uint64_t)(offset - window->offset) : 0;
    if (behind && into + kWordmapCountSize <= window->length) {
        *bytes = window->bytes + into;
        return (int64_t)(window->length - into);
    }
    const bool follows = behind && into <= window->length + kWordmapWindowGap;
    if (window != nullptr && window->bytes == nullptr)
        window->bytes = (uint8_t *)platform_arena_alloc(kWordmapWindowSize);
    const bool windowed = window != nullptr && window->bytes != nullptr;
    uint8_t *target = windowed ? window->bytes : spare;
    const size_t want = follows && windowed ? kWordmapWindowSize : kWordmapFirstRead;
    const int64_t got = platform_read_at(fileno(file), target, want, offset);
    if (windowed) {
        window->offset = offset;
        window->length = got > 0 ? (uint64_t)got : 0;
    }
    *bytes = target;
    return got;
}

// read_wordmap_block for a file that cannot be read at an offset: seeks and
// reads, so that the seek reports what fails.
int read_block_by_seeking(FILE *file, int64_t offset, WordmapBlock *block) {
    if (seek_data_file(file, offset) != 0) return kWordmapSeekFailed;
    uint8_t count_bytes[kWordmapCountSize];
    if (fread(count_bytes, 1, sizeof count_bytes, file) != sizeof count_bytes)
        return kWordmapNoData;
    const uint32_t declared = (uint32_t)read_little_endian(count_bytes, kWordmapCountSize);
    if (declared == 0) return kWordmapRead;
    uint64_t file_size;
    if (!platform_file_size(fileno(file), &file_size)) return kWordmapNoData;
    const uint64_t wanted = records_present(offset, file_size, declared);
    if (wanted == 0) return kWordmapNoData;
    if (!hold_records(block, wanted)) return kWordmapNoMemory;
    const size_t present = fread(block->records, kWordmapRecordSize, (size_t)wanted, file);
    if (present == 0) return kWordmapNoData;
    block->count = (uint32_t)present;
    block->declared_count = declared;
    return kWordmapRead;
}

}  // namespace

int finish_page_after_error(const char *message, const char *closing) {
    if (message != nullptr) print_error_message(message, closing);
    close_index_files();
    print_template();
    release_all();
    return 0;
}

void release_all() {
    release_context_tables();
    release_page_info_tables();
    release_dictionary_tables();
    if (g_search_context.UseUTF8 == 1) unload_unicode_tables();
}

const char kMissingIndexFilesMessage[] =
    "Can not find one or more of the Vesk index files.<br />Please make sure the generated index "
    "files are uploaded to the same path as this search script.<br />Also check file permissions "
    "have been set to allow reading.<br />\n";

int open_index_files() {
    SearchContext &c = g_search_context;
    c.g_page_data_file = open_data_file(c.pagedata_file_name);
    if (c.g_page_data_file == nullptr)
        return finish_unable_to_open(kUnableToOpenFormat, c.pagedata_file_name);

    if (c.Recommended == 1 && load_recommended_file() == kListPageFinished) return 0;

    if (load_pageinfo_file() != 0)
        return finish_unable_to_open(kUnableToOpenFormat, c.pageinfo_file_name);

    if ((c.DisplayContext == 1 || c.AllowExactPhrase == 1) && open_page_text(c) == 0) return 0;

    c.g_word_map_file = open_data_file(kWordmapFileName);
    if (c.g_word_map_file == nullptr)
        return finish_page_after_error(kMissingIndexFilesMessage, kErrorClosing);

    // The spelling list is checked here; the search reads it only when it
    // will propose words (read_spelling_list).
    if (c.Spelling != 1) return 1;
    return open_spelling_list();
}

static_assert(kBaseDirectorySize + kFileNameSize <= kWorkPathSize, "index paths are never cut");

void index_file_path(char *out, size_t size, const char *name) {
    // Both parts are bounded by their buffers, which together fit kWorkPathSize.
    snprintf(out, size, "%.*s/%.*s", kBaseDirectorySize - 1, g_search_context.g_base_directory,
             kFileNameSize - 1, name);
}

void close_word_map_file() {
    SearchContext &c = g_search_context;
    if (c.g_word_map_file != nullptr) fclose(c.g_word_map_file);
    c.g_word_map_file = nullptr;
    platform_arena_free(c.g_word_map_window.bytes);
    c.g_word_map_window = WordmapWindow{};
}

void close_index_files() {
    SearchContext &c = g_search_context;
    FILE **streams[] = {&c.g_page_data_file, &c.g_page_text_file, &c.g_spelling_file};
    for (FILE **stream : streams) {
        if (*stream != nullptr) fclose(*stream);
        *stream = nullptr;
    }
    close_word_map_file();
    c.g_page_text_reads = PageTextReads{};
}

bool read_page_data_fields(uint32_t page, char *url, char *title, char *description, char *image) {
    char *const out[kPageDataFieldCount] = {url, title, description, image};
    const int sizes[kPageDataFieldCount] = {kPageDataUrlSize, kPageDataTitleSize,
                                            kPageDataDescriptionSize, kPageDataImageSize};
    for (char *destination : out)
        if (destination != nullptr) destination[0] = '\0';

    // One buffer for every result, in the arena's pages the request has
    // already mapped: 15 KB on the stack or the heap would fault in pages
    // that nothing else uses.
    SearchContext &c = g_search_context;
    if (c.g_page_line == nullptr &&
        (c.g_page_line = (char *)platform_arena_alloc(kPageDataLineSize)) == nullptr)
        return false;
    char *const line = c.g_page_line;
    if (!read_page_line(page, line, kPageDataLineSize)) return false;
    const char *bars[kPageDataFieldCount];
    const char *from = line;
    for (int i = 0; i < kPageDataFieldCount; i++) {
        bars[i] = strchr(from, '|');
        if (bars[i] == nullptr) return false;
        from = bars[i] + 1;
    }
    const char *start = line;
    for (int i = 0; i < kPageDataFieldCount; i++) {
        copy_field(out[i], sizes[i], start, bars[i]);
        start = bars[i] + 1;
    }
    return true;
}

bool read_page_data_url(uint32_t page, char *url) {
    if (url == nullptr) return false;
    if (!read_page_line(page, url, kPageDataLineSize)) return false;
    char *bar = strchr(url, '|');
    if (bar == nullptr || bar == url) {
        url[0] = '\0';
        return false;
    }
    *bar = '\0';
    return true;
}

int read_wordmap_block(FILE *file, int64_t offset, WordmapBlock *block) {
    block->count = block->declared_count = 0;
    if (offset < 0 || file == nullptr) return kWordmapNoData;
    // The count and the records behind it, with one read at the offset or none.
    uint8_t spare[kWordmapFirstRead];
    const uint8_t *first;
    const int fd = fileno(file);
    const int64_t got = block_bytes(file, offset, spare, &first);
    if (got < 0) return read_block_by_seeking(file, offset, block);
    if (got < kWordmapCountSize) return kWordmapNoData;
    const uint32_t declared = (uint32_t)read_little_endian(first, kWordmapCountSize);
    if (declared == 0) return kWordmapRead;
    const uint64_t in_first = (uint64_t)(got - kWordmapCountSize) / kWordmapRecordSize;
    uint64_t wanted = declared;
    uint64_t file_size = 0;
    if (wanted > in_first) {
        if (!platform_file_size(fd, &file_size)) return kWordmapNoData;
        wanted = records_present(offset, file_size, declared);
    }
    if (wanted == 0) return kWordmapNoData;
    if (!hold_records(block, wanted)) return kWordmapNoMemory;
    const uint64_t copied = wanted < in_first ? wanted : in_first;
    memcpy(block->records, first + kWordmapCountSize, (size_t)(copied * kWordmapRecordSize));
    uint64_t present = copied;
    if (wanted > copied) {
        const int64_t rest_offset =
            offset + kWordmapCountSize + (int64_t)(copied * kWordmapRecordSize);
        const size_t rest_size = (size_t)((wanted - copied) * kWordmapRecordSize);
        const int64_t rest = platform_read_at(fd, block->records + copied * kWordmapRecordSize,
                                              rest_size, rest_offset);
        if (rest > 0) present += (uint64_t)rest / kWordmapRecordSize;
    }
    if (present == 0) return kWordmapNoData;
    block->count = (uint32_t)present;
    block->declared_count = declared;
    return kWordmapRead;
}

void free_wordmap_block(WordmapBlock *block) {
    if (block == nullptr) return;
    platform_arena_free(block->records);
    *block = WordmapBlock{};
}

bool read_page_text_record(FILE *file, int32_t size, PageTextRecord *record) {
    if (file == nullptr || !page_text_record_size_valid(size)) return false;
    uint8_t bytes[kPageTextMaxRecordSize];
    if (fread(bytes, 1, (size_t)size, file) != (size_t)size) return false;
    *record = decode_page_text_record(bytes, size);
    return true;
}
