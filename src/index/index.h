// The index readers: the page-info file, the dictionary, the page data, word
// map and page text, and the spelling and recommended lists. Public routines
// grouped by the file that defines them.
#pragma once

#include <stdint.h>
#include <string.h>

#include "context/context.h"
#include "index/layout.h"

// The `count` (up to 8) bytes at bytes as an unsigned little-endian number.
inline uint64_t read_little_endian(const uint8_t *bytes, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; i--) value = value << 8 | bytes[i];
    return value;
}

// ---- dictionary.cpp ----

// Frees the dictionary entries and both pools; every pointer and count ends 0.
void release_dictionary_tables();

// One word of the dictionary: g_dictionary[id] for word id `id`. The table has
// NumKeywords + 1 zero-filled entries; only entries 0 .. g_dictionary_count - 1
// were filled by the file, the others have no word and no variants. Sixteen
// bytes: the word is a position rather than a pointer, so that the table, the
// largest private block of a search, stays small.
struct DictionaryEntry {
    int64_t offset;            // word-map offset of the word's postings; -1: none
    uint32_t word;             // 1 + where the word starts in g_dictionary_text; 0: not filled
    uint32_t stored_variants;  // variants stored from the lines that follow the word
};
static_assert(sizeof(DictionaryEntry) == 16, "an entry is 16 bytes");

// Word positions are 32 bits: a dictionary text (or base-word pool) must end
// below this position.
constexpr uint64_t kDictionaryWordsLimit = UINT32_MAX - 1;

// Where the entry's word starts in the dictionary text, or null when the
// entry was not filled. The word is not NUL-terminated: it ends at the first
// byte ends_base_word accepts.
inline const char *dictionary_word(const DictionaryEntry &entry) {
    return entry.word != 0 ? g_search_context.g_dictionary_text + (entry.word - 1) : nullptr;
}
// The position that dictionary_word gives back as word.
inline uint32_t dictionary_word_position(const char *word) {
    return (uint32_t)(word - g_search_context.g_dictionary_text) + 1;
}
// The bytes that end a base word in the dictionary text (a variant ends at
// these and at CR: scan_variant finds it).
inline bool ends_base_word(char ch) {
    return ch == '\0' || ch == ' ' || ch == '\n';
}

// A text of the dictionary (a base word or a variant) where it lies in the
// file's bytes: not NUL-terminated.
struct WordText {
    const char *bytes;  // its first byte ("" for none)
    size_t length;      // its bytes
};

// Loads the dictionary. 1 loaded; 0 failed: the loader's message and "Failed
// to load dictionary file.<br />\n" (inside <vesk:error> in XML mode) have been
// printed and the page finished with finish_page_after_error.
int load_dictionary();
// Reads g_base_directory/vesk_dictionary.vdat with one read into
// g_dictionary_text and fills g_dictionary with the positions of the words
// there, leaving the text as it is; the two pools (sized by NumKeywords,
// OutputBasewordBufferSize, OutputVariantBufferSize or NumVariants) are
// allocated and their fill counts kept as if the words were copied into
// them. Sets g_dictionary_count to the entries filled. 0 loaded; 1 failed
// after printing its message (tables already allocated stay for
// release_all). A file with fewer entries than NumKeywords loads; more
// entries, a line without a space where a word is due, a line (LF included)
// longer than kDictionaryMaxLineSize (the corrupted-entry message), a full
// pool or a read error ("Error: Could not read dictionary file.<br />") fail.
int load_dictionary_file();
// The entry's base word ("" for an entry not filled).
WordText dictionary_base_text(const DictionaryEntry &entry);
// The stored variant after `text` (a base word or a stored variant of the
// loaded text): the first token of the next line that has one. Only for a
// text that has a next one; "" past the text's end.
WordText next_word_text(const WordText &text);
// Stored variant n (from 1) of the entry, its last one when n is larger, its
// base word when n is 0.
WordText find_word_variant(const DictionaryEntry &entry, uint32_t n);
// Variant n (from 1) of word id, or its base word when n is 0, the word has no
// variant list or n exceeds its stored variants. "" for an id the file never
// filled or when no dictionary is loaded.
WordText get_word_variant(uint32_t id, uint32_t n);
// The word's first variant when it has one, else its base word; "" for an id
// the file never filled or when no dictionary is loaded.
WordText get_word_display_form(uint32_t id);
// The number rule of the index text files: skips spaces (only ' '), takes an
// optional '-', then decimal digits up to the first other byte. No digit gives
// 0 ('+' and tabs are not accepted); the value wraps modulo 2^32 without
// overflowing (no undefined behaviour); '-' negates it. A null text gives 0.
int32_t parse_int_decimal(const char *text);
// The same rule with a 64-bit result (wrapping modulo 2^64).
int64_t parse_int64_decimal(const char *text);
// parse_int_decimal on the first `length` bytes of text only (a NUL ends it too).
int32_t parse_int_decimal_bounded(const char *text, size_t length);

// ---- page_info.cpp ----

// Frees the page-info buffer and its three pointer tables; each pointer ends null.
void release_page_info_tables();

// Meta field types as the page-info file lays out their values.
enum MetaFieldType {
    kMetaNumeric = 0,   // u32, kNoMetaNumber = none
    kMetaText = 1,      // length, then the text bytes (not terminated); length 0 = none
    kMetaDropDown = 2,  // u8 option index, kNoMetaOption = none
    kMetaMultiple = 3,  // u8 count, then count u8 option indexes; count 0 = none
    kMetaMoney = 4,     // u32 like numeric (every unknown type is read this way too)
};

// One meta value of a page as read from its record.
struct PageMetaValue {
    int32_t type;          // the field type it was read as
    bool present;          // false: the page carries the field's no-value marker
    uint32_t number;       // numeric/money value, or the drop-down option index
    const uint8_t *bytes;  // text bytes or option indexes (inside the record), or null
    uint32_t length;       // text length or option count
};

// Reads g_base_directory/pageinfo_file_name: PageInfoSize bytes into
// g_page_info_buffer, then points g_page_records (and, when UseCats is 1,
// g_page_category_bitmaps; when UseMetaFields is 1, g_page_meta_values) at
// the NumPages records. Every record is checked: its length field must fit,
// the running total (64-bit) must not pass PageInfoSize, and its length must
// cover its fixed fields, its bitmap and its meta values; otherwise "Pageinfo
// file and PageInfoSize does not match NumPages specified." is printed. A
// short file or a negative PageInfoSize prints "Pageinfo file does not match
// PageInfoSize specified."; lengths adding up to less than PageInfoSize print
// the "Warning: ..." line. Messages are never XML-wrapped. NumPages 0 or
// negative loads no pages (only with PageInfoSize 0). 0 loaded; 1 failed
// (missing file and no memory print nothing); a failed load leaves no tables.
int load_pageinfo_file();
// Fixed fields of a record (`big` nonzero: the big layout). The record must be
// one that load_pageinfo_file accepted.
uint32_t page_info_file_size(const uint8_t *record, int32_t big);
uint8_t page_info_file_type(const uint8_t *record, int32_t big);
// Address of the record's 5-byte page-data offset field.
const uint8_t *page_info_data_offset_field(const uint8_t *record, int32_t big);
// Bytes of the whole record, as its length field says.
uint32_t page_info_record_length(const uint8_t *record, int32_t big);
// The 5 bytes at field as an unsigned little-endian number (upper 24 bits 0).
uint64_t read_offset40(const uint8_t *field);
// Meta fields that the records carry values for: NumMetaFields bounded by the
// loaded field table; 0 unless UseMetaFields is 1.
int32_t page_meta_field_count();
// Reads one value of the given type at *cursor, not past end, and moves
// *cursor behind it. false (cursor and value untouched) when it would pass end.
bool read_meta_value(const uint8_t **cursor, const uint8_t *end, int32_t type, int32_t big,
                     PageMetaValue *value);
// Value of meta field `field` (0-based, definition order) of page `page`.
// false when meta values are not loaded or page or field is out of range.
bool page_meta_value(uint32_t page, int32_t field, PageMetaValue *value);

// Record of page `page`; null when no pages are loaded or page >= NumPages
// (in this header, like the two fields below: the term loop reads them for
// every posting).
inline const uint8_t *page_record(uint32_t page) {
    const SearchContext &c = g_search_context;
    if (c.g_page_records == nullptr || c.NumPages <= 0 || page >= (uint32_t)c.NumPages)
        return nullptr;
    return c.g_page_records[page];
}
// The date and the boost fields of a record that load_pageinfo_file accepted.
inline uint32_t page_info_date(const uint8_t *record, int32_t big) {
    return (uint32_t)read_little_endian(record + (big ? kBigDateAt : kSmallDateAt),
                                        kPageInfoDateSize);
}
inline uint8_t page_info_boost(const uint8_t *record, int32_t big) {
    return record[big ? kBigBoostAt : kSmallBoostAt];
}
// Category bitmap of page `page`; null when categories are not loaded or the
// page is out of range (consumers take null as "in no category"). In this
// header, like page_in_category: the filters ask for every page and category.
inline const uint8_t *page_category_bitmap(uint32_t page) {
    const SearchContext &c = g_search_context;
    if (c.g_page_category_bitmaps == nullptr || page_record(page) == nullptr) return nullptr;
    return c.g_page_category_bitmaps[page];
}
// Ends the process for a category number beyond NumCatBytes (see page_in_category).
[[noreturn]] void refuse_category_number();
// The bit of category c in bitmap (its value, not 1); 0 for a negative c or a
// null bitmap. A c whose byte lies at or beyond NumCatBytes ends the process:
// "Error: Category number is invalid. Incorrect settings file used?" (inside
// <vesk:error> in XML mode) through finish_page_after_error, exit code 1.
inline uint32_t page_in_category(int32_t c, const uint8_t *bitmap) {
    constexpr int kBitsPerByte = 8;  // categories per bitmap byte
    if (c < 0) return 0;
    const int32_t byte = c / kBitsPerByte;
    if (byte >= g_search_context.NumCatBytes) refuse_category_number();
    if (bitmap == nullptr) return 0;
    return bitmap[byte] & (1u << (c % kBitsPerByte));
}

// ---- open_index.cpp ----

// The message of an index file that cannot be found (recommended list, word map).
extern const char kMissingIndexFilesMessage[];

// Bytes of a word-map block read with its count at once: the count and the
// records of most words.
constexpr size_t kWordmapFirstRead = kWordmapCountSize + 400 * kWordmapRecordSize;
// The words of a wildcard or substring come in dictionary order, and their
// blocks mostly lie close behind each other in the file: a read at most
// kWordmapWindowGap bytes behind the window's end takes in this many bytes.
constexpr size_t kWordmapWindowSize = 32768;
constexpr uint64_t kWordmapWindowGap = 16384;

// One posting of the word map, decoded.
struct WordmapPosting {
    uint8_t score;         // the word's score on the page
    uint8_t zones;         // zone bits of the hit
    uint32_t page;         // page index (24 bits)
    uint64_t text_offset;  // offset of the occurrence's page-text record (40 bits)
};

// A word-map block as read: `count` raw records of kWordmapRecordSize bytes.
// Start it zeroed ({}); the buffer is kept and reused by later reads. The file
// bytes a read takes in stay with the open word map (g_word_map_window), not
// with the block.
struct WordmapBlock {
    uint8_t *records;         // heap buffer of `capacity` records, or null
    uint32_t count;           // records present in the file (used by the search)
    uint32_t declared_count;  // the block's own record count
    uint32_t capacity;        // records the buffer has room for
};

// Outcome of read_wordmap_block.
enum WordmapReadResult {
    kWordmapRead = 0,        // block read (count may be 0)
    kWordmapSeekFailed = 1,  // the seek failed; seek_data_file printed its message
    kWordmapNoData = 2,      // no count, or a nonzero count without a single record present
    kWordmapNoMemory = 3,    // the records could not be held
};

// One page-text record, decoded.
struct PageTextRecord {
    uint32_t word_id;  // dictionary id: 0 and 1 boundaries, then reserved tokens, then words
    uint8_t variant;   // 0 the base word, n its n-th variant
};

// Opens the index files in this order and finishes the page on the first
// failure (message inside <vesk:error>..</vesk:error>\n in XML mode, then
// print_template and release_all, every stream it opened closed again):
// page data; the recommended list when Recommended is 1 (a missing list only
// prints its note); the page-info file; when DisplayContext or
// AllowExactPhrase is 1 the page text, refused when DictIDLen is outside
// 2..5 (invalid settings) or when its first bytes are the "This" text of an
// index made for other settings; the word map; the spelling list when
// Spelling is 1 (opened and checked by open_spelling_list; the search reads
// it with read_spelling_list when it needs it). 1 all open and loaded; 0 the
// page is finished.
int open_index_files();
// Finishes the page after an error: prints message (when not null) with
// print_error_message and closing, closes the index streams, prints the
// template and releases everything (release_all). Always 0.
int finish_page_after_error(const char *message, const char *closing);
// Frees everything a request loaded: release_context_tables, the page-info and
// dictionary tables, and (UseUTF8 1) the Unicode tables; every owned pointer
// ends null.
void release_all();
// Writes "<g_base_directory>/<name>" into out (size bytes, at least
// kWorkPathSize, so that neither part is ever cut).
void index_file_path(char *out, size_t size, const char *name);
// Closes the page-data, page-text, word-map and spelling streams that are open
// and sets them to null; the word map's window goes with it. Safe to repeat.
void close_index_files();
// Closes the word-map stream, when open, and frees its window. Safe to repeat.
void close_word_map_file();
// Reads the page-data line of page `page` and copies its first four
// "|"-separated fields into the destinations that are not null (sizes
// kPageDataUrlSize, kPageDataTitleSize, kPageDataDescriptionSize,
// kPageDataImageSize); each is emptied first and an empty field stays empty;
// longer fields are cut to fit. false when the page is out of range, no page
// data is open, the seek fails (after its message) or the line has fewer than
// four "|" in its first 15015 bytes (the destinations stay empty).
bool read_page_data_fields(uint32_t page, char *url, char *title, char *description, char *image);
// Reads page `page`'s line into url (at least kPageDataLineSize bytes) and cuts
// it at its first "|". false as above, and when the URL field is empty or the
// line holds no "|".
bool read_page_data_url(uint32_t page, char *url);
// Reads the word-map block at offset: the u32 count and the records that are
// present, at most count of them: the file's size bounds the buffer, so a
// corrupt count never allocates more than the file holds. The count and the
// records of most words come with one read at the offset, or with none from
// the window of the open word map when file is that stream (the stream's
// position does not move; other streams are read without a window); a file that
// cannot be read at an offset is sought with seek_data_file
// (kWordmapSeekFailed when that fails). The block's buffer (from an earlier
// read, or none in a zeroed block) is reused and grown only when too small.
// A negative offset is kWordmapNoData without a read. On any result but
// kWordmapRead the block has count 0. Free the buffer with
// free_wordmap_block. Prints nothing but the seek message.
int read_wordmap_block(FILE *file, int64_t offset, WordmapBlock *block);
// Frees the block's records and empties it. Null-safe.
void free_wordmap_block(WordmapBlock *block);
// Decodes one 10-byte word-map record (in this header: the term loop and the
// phrase check decode every posting).
inline WordmapPosting decode_wordmap_record(const uint8_t *record) {
    WordmapPosting posting;
    posting.score = record[kWordmapScoreAt];
    posting.zones = record[kWordmapZonesAt];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The page (u24) and the offset (u40) are the record's last eight bytes.
    static_assert(kWordmapPageSize + kWordmapTextOffsetSize == sizeof(uint64_t), "one load");
    uint64_t fields;
    memcpy(&fields, record + kWordmapPageAt, sizeof fields);
    posting.page = (uint32_t)(fields & ((1u << (8 * kWordmapPageSize)) - 1));
    posting.text_offset = fields >> (8 * kWordmapPageSize);
#else
    posting.page = (uint32_t)read_little_endian(record + kWordmapPageAt, kWordmapPageSize);
    posting.text_offset = read_little_endian(record + kWordmapTextOffsetAt, kWordmapTextOffsetSize);
#endif
    return posting;
}
// Decodes record i (below block->count) of a block.
inline WordmapPosting wordmap_posting(const WordmapBlock *block, uint32_t i) {
    return decode_wordmap_record(block->records + (size_t)i * kWordmapRecordSize);
}
// true for a page-text record width this program reads (2 to 5).
inline bool page_text_record_size_valid(int32_t size) {
    return size >= kPageTextMinRecordSize && size <= kPageTextMaxRecordSize;
}
// Decodes one page-text record of `size` bytes (2 to 5): the first size - 1
// bytes are the little-endian word id, the last the variant (in this header:
// the phrase check and the excerpts decode every record they pass).
inline PageTextRecord decode_page_text_record(const uint8_t *bytes, int32_t size) {
    PageTextRecord record;
    record.word_id = (uint32_t)read_little_endian(bytes, size - 1);
    record.variant = bytes[size - 1];
    return record;
}
// Reads the record at the file's current position. false at the end of the
// file, on a short read or for a size outside 2..5 (record untouched).
bool read_page_text_record(FILE *file, int32_t size, PageTextRecord *record);

// ---- lists.cpp ----

// One line of the spelling list: a phonetic key and up to three word ids.
struct SpellingEntry {
    char key[kSpellingKeySize];      // the key's first 6 bytes, NUL-filled
    uint32_t ids[kSpellingIdCount];  // dictionary word ids below NumKeywords; 0 = none
};

// One line of the recommended list.
struct RecommendedEntry {
    char keywords[kRecommendedKeywordsSize];  // keyword text ("," separates keywords)
    int64_t page_index;                       // the page to recommend (not checked here)
};

// Outcome of load_recommended_file.
enum ListLoadResult {
    kListNotLoaded = 0,     // no list: the file is missing (its note was printed)
    kListLoaded = 1,        // g_recommended holds g_recommended_count entries
    kListPageFinished = 2,  // an error finished the page; the request must stop
};

// Reads g_base_directory/vesk_spelling.vdat (text mode) into
// g_spelling_entries: per line a key (first 6 bytes kept) and one to three
// word ids; lines without a key and an id are skipped; at most NumSpellings
// entries are kept and g_spelling_count says how many were filled. Ids at or
// above NumKeywords (negative ones included) are stored as 0, so the table
// never leads past the dictionary. Lines longer than MaxKeyWordLineLen - 1
// bytes are read in pieces. 1 read; 0 after a missing file, no memory or a
// MaxKeyWordLineLen below 2: the message was printed (XML-wrapped) and the page
// finished. The same as open_spelling_list followed by read_spelling_list.
int load_spelling_file();
// The first half of load_spelling_file: opens the list into g_spelling_file
// and makes its checks (missing file, MaxKeyWordLineLen below 2, a line
// buffer that cannot be held), with the same messages. 1 open; 0 the page is
// finished.
int open_spelling_list();
// The second half: reads the list opened by open_spelling_list into
// g_spelling_entries and closes it. 1 read (or no list open); 0 without
// memory: the message was printed and the page finished.
int read_spelling_list();
// Frees the spelling table (the spelling stage calls it when done). Null-safe.
void free_spelling_list();
// Reads g_base_directory/recommended_file_name (text mode) into g_recommended:
// each line is split at its last space into the keyword text (cut to 503 bytes
// at a character boundary) and the page index; lines without a space after
// their first byte are skipped. At most NumRecommended entries (none when it
// is 0 or negative); g_recommended_count holds the number read. A missing file
// prints its note (never wrapped) and gives kListNotLoaded; no memory or a
// MaxKeyWordLineLen below 2 prints its message, finishes the page and gives
// kListPageFinished.
int load_recommended_file();
