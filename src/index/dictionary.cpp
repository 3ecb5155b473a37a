// The dictionary loader: vesk_dictionary.vdat into g_dictionary, and the
// lookups of a word's variants. The lines themselves are read by
// dictionary_walk.cpp and dictionary_lines.cpp.
//
// File layout (text, one record per line, lines end with LF; a CR before the
// LF is tolerated):
//
//   <word> ' ' <offset> ' ' <count> [CR] LF      base line of word id n (from 0)
//   <variant> [' ' ...] [CR] LF                  <count> variant lines follow it
//
//   word     first run of non-space bytes (bytes other than ' ')
//   offset   decimal i64 (parse_int64_decimal): word-map offset, -1 = no postings;
//            missing reads as 0
//   count    decimal, stored as u32 (parse_int_decimal): variant lines that follow;
//            ends at ' ', CR or LF; missing reads as 0
//   variant  first run of bytes other than ' ', CR and LF; the rest is ignored
//
// A line of only spaces where a base line is due is skipped; a line without
// any space there is a corrupted entry. A line, LF included, holds at most
// kDictionaryMaxLineSize bytes. A last line without LF is not read.
//
// The loader reads the file with one read into a block that also holds the
// entry table, and leaves every word where it is: a NUL goes behind each base
// word and each stored variant, and every other byte of a variant line or a
// base line becomes a NUL too, so that a word's texts, its own first, follow
// each other separated only by NUL, space and CR bytes. The two pools
// keep their sizes and fill counts as if the words were copied into them, so
// that a pool too small for the file fails at exactly the same word; the
// loader itself never writes to them (add_base_word and add_word_variant
// store single lines there). In the variant pool each variant counts as one
// byte L (text length + 1), the text and its NUL.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "index/dictionary_lines.h"
#include "index/index.h"
#include "platform/platform.h"

namespace {

// ---- Messages ----

// A read error ends the load (it is not retried). Returns false for the caller.
bool print_read_error() {
    print_wrapped_error("Error: Could not read dictionary file.<br />");
    return false;
}

const char kMissingFileMessage[] =
    "Can not find one or more of the Vesk index files.<br />Please make sure the generated "
    "index files are uploaded to the same path as this search script.<br />Also check file "
    "permissions have been set to allow reading.<br />\n";

// ---- The block and the load ----

// The dictionary's one block: the file text with a NUL and a zeroed scan
// group behind it, then the entry table. Sizes in 64 bits, so that nothing
// wraps on a 32-bit system.
struct DictionaryBlock {
    uint64_t text_bytes;   // file text, NUL and padding, rounded to the table's alignment
    uint64_t table_bytes;  // NumKeywords + 1 entries
};

DictionaryBlock plan_block(const SearchContext &c, uint64_t file_size) {
    DictionaryBlock plan;
    const uint64_t align = alignof(DictionaryEntry);
    plan.text_bytes = (file_size + 1 + kTextPadding + align - 1) / align * align;
    const uint64_t entries = (uint64_t)c.NumKeywords + 1;
    plan.table_bytes = entries * sizeof(DictionaryEntry);
    return plan;
}

// Allocates the text and the entry table in one zero-filled block of the
// request's arena, and the two pools, which the loader only counts into, in
// zero-filled mappings of their own whose pages never touched cost nothing.
// false after printing the message.
bool allocate_tables(SearchContext &c, const DictionaryBlock &plan) {
    // Neither sum can wrap: the file size is below 2^63, the table below 2^40
    // bytes. A text that word positions cannot reach is refused like memory
    // that cannot be had.
    if (plan.text_bytes + plan.table_bytes <= SIZE_MAX && plan.text_bytes < kDictionaryWordsLimit)
        c.g_dictionary_text =
            (char *)platform_arena_alloc((size_t)(plan.text_bytes + plan.table_bytes));
    if (c.g_dictionary_text == nullptr) {
        print_wrapped_error("Error: out of memory");
        return false;
    }
    c.g_dictionary = (DictionaryEntry *)(c.g_dictionary_text + plan.text_bytes);
    c.g_dictionary_words = c.g_dictionary_text;

    int64_t base_size = c.OutputBasewordBufferSize;
    if (base_size > 0 && (uint64_t)base_size <= SIZE_MAX)
        c.g_baseword_pool = (char *)platform_map_zeroed((size_t)base_size);
    if (c.g_baseword_pool == nullptr) {
        out_printf("Error: Could not allocate memory for storing base words.<br />");
        return false;
    }
    c.g_baseword_pool_size = base_size;

    // NumVariants x 10 in 64 bits; a negative size is refused like a failed allocation.
    int64_t variant_size = c.OutputVariantBufferSize != 0
                               ? (int64_t)c.OutputVariantBufferSize
                               : (int64_t)c.NumVariants * kVariantPoolBytesPerVariant;
    if (variant_size >= 0 && (uint64_t)variant_size < SIZE_MAX)
        c.g_variant_pool = (char *)platform_map_zeroed((size_t)variant_size + 1);  // never 0
    if (c.g_variant_pool == nullptr) {
        print_wrapped_error("Error: Out of memory for storing word variants.");
        return false;
    }
    c.g_variant_pool_size = variant_size;
    return true;
}

// The filled entry of word id, or null.
const DictionaryEntry *filled_entry(uint32_t id) {
    const SearchContext &c = g_search_context;
    if (c.g_dictionary == nullptr || id >= c.g_dictionary_count) return nullptr;
    return &c.g_dictionary[id];
}

// Reads the open dictionary file fd and loads it. true when loaded.
bool read_and_load(SearchContext &c, int fd) {
    uint64_t file_size = 0;
    const bool sized = platform_file_size(fd, &file_size);
    const DictionaryBlock plan = plan_block(c, file_size);
    if (!allocate_tables(c, plan)) return false;
    size_t size = 0;
    const bool read = sized && platform_read_file_into(fd, c.g_dictionary_text, (size_t)file_size,
                                                       &size) == kWholeFileRead;
    // The NUL and the zero bytes the walk may read behind the text.
    memset(c.g_dictionary_text + size, 0, (size_t)(plan.text_bytes - size));
    bool loaded = false;
    if (read) {
        c.g_dictionary_text_size = size;
        loaded = load_lines(c, c.g_dictionary_text, size);
    }
    return read ? loaded : print_read_error();
}

}  // namespace

void release_dictionary_tables() {
    SearchContext &c = g_search_context;
    // The entry table lives in the text's block.
    c.g_dictionary = nullptr;
    c.g_dictionary_count = 0;
    platform_arena_free(c.g_dictionary_text);
    c.g_dictionary_text = nullptr;
    c.g_dictionary_words = nullptr;
    c.g_dictionary_text_size = 0;
    platform_unmap_zeroed(c.g_baseword_pool, (size_t)c.g_baseword_pool_size);
    c.g_baseword_pool = nullptr;
    platform_unmap_zeroed(c.g_variant_pool, (size_t)c.g_variant_pool_size + 1);
    c.g_variant_pool = nullptr;
    c.g_baseword_pool_pos = c.g_baseword_pool_size = c.g_baseword_pool_used = 0;
    c.g_variant_pool_pos = c.g_variant_pool_size = c.g_variant_pool_used = 0;
}

int add_base_word(const char *line, uint32_t n) {
    SearchContext &c = g_search_context;
    BaseLine base;
    scan_base_line(line, false, &base);
    if (base.word == nullptr) return kDictionaryNothing;
    char *word = c.g_baseword_pool + c.g_baseword_pool_pos;
    PoolFill pool = base_pool(c);
    // Word positions are 32 bits: a pool beyond their reach is full there.
    if ((uint64_t)pool.size > kDictionaryWordsLimit) pool.size = (int64_t)kDictionaryWordsLimit;
    const bool counted = count_base_word(pool, base.length + 1);
    keep_pools(c, pool, variant_pool(c));
    if (!counted) return kDictionaryFailed;
    memcpy(word, base.word, (size_t)base.length);
    word[base.length] = '\0';
    // The entries made here name words in the pool, those of a load the file text.
    c.g_dictionary_words = c.g_baseword_pool;
    set_entry(c.g_dictionary[n], word, base);
    return kDictionaryStored;
}

int add_word_variant(const char *line, uint8_t **stored) {
    SearchContext &c = g_search_context;
    *stored = nullptr;
    int64_t length = 0;
    const char *token = scan_variant(line, false, &length);
    if (token == nullptr) return kDictionaryNothing;
    uint8_t *entry = (uint8_t *)c.g_variant_pool + c.g_variant_pool_pos;
    PoolFill pool = variant_pool(c);
    const bool counted = count_variant(pool, length + 1);
    keep_pools(c, base_pool(c), pool);
    if (!counted) return kDictionaryFailed;
    entry[0] = (uint8_t)(length + 1);  // low 8 bits: longer variants wrap it
    memcpy(entry + 1, token, (size_t)length);
    entry[1 + length] = '\0';
    *stored = entry;
    return kDictionaryStored;
}

const char *next_word_text(const char *text) {
    text += strlen(text) + 1;
    // The loader leaves runs of NULs (the rest of a base line): eight at a
    // time, all inside the block since a text follows them.
    uint64_t group;
    for (memcpy(&group, text, sizeof group); group == 0; memcpy(&group, text, sizeof group))
        text += sizeof group;
    while (*text == '\0' || *text == ' ' || *text == '\r') text++;
    return text;
}

const char *find_word_variant(const char *word, uint32_t n, uint32_t count) {
    if (n < 1 || word == nullptr || count == 0) return nullptr;
    const uint32_t steps = n < count ? n : count;
    const char *text = word;
    for (uint32_t i = 0; i < steps; i++) text = next_word_text(text);
    return text;
}

const char *get_word_variant(uint32_t id, uint32_t n) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    // No more variants are stored than variant lines followed, so this also
    // covers an n beyond the word's variant count.
    if (n == 0 || n > entry->stored_variants) return dictionary_word(*entry);
    return find_word_variant(dictionary_word(*entry), n, entry->stored_variants);
}

const char *get_word_display_form(uint32_t id) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    if (entry->stored_variants == 0) return dictionary_word(*entry);
    return find_word_variant(dictionary_word(*entry), 1, entry->stored_variants);
}

int load_dictionary_file() {
    SearchContext &c = g_search_context;
    release_dictionary_tables();
    int fd = open_data_descriptor(kDictionaryFileName);
    if (fd < 0) {
        out_printf("%s", kMissingFileMessage);
        return 1;
    }
    const bool loaded = read_and_load(c, fd);
    platform_close_file(fd);
    return loaded ? 0 : 1;
}

int load_dictionary() {
    if (load_dictionary_file() == 0) return 1;
    return finish_page_after_error("Failed to load dictionary file.<br />\n", "</vesk:error>\n");
}
