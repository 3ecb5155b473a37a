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
// The loader reads the file with one read into a block of the request's
// arena (zero bytes behind it for the scan groups) and never writes to it:
// each entry names where its word starts in the file's bytes, and a word's
// variants are found again from the lines after it. A base word ends at the
// first NUL, ' ' or LF, a variant at the first NUL, ' ', CR or LF. The two
// pools keep their sizes and fill counts as if the words were copied into
// them, so that a pool too small for the file fails at exactly the same
// word; nothing is written to them. In the variant pool each variant counts
// as one byte L (text length + 1), the text and its NUL.
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

// ---- The tables and the load ----

// Bytes the walk may read behind the text: its NUL and the zero bytes of the
// scan groups.
constexpr size_t kTextTail = 1 + kTextPadding;

// Allocates the entry table (NumKeywords + 1 zero-filled entries) and the
// zero-filled block the text is read into from the request's arena, and the
// two pools, which the loader only counts into, in
// zero-filled mappings of their own whose pages never touched cost nothing.
// A text of file_size bytes that word positions cannot reach is refused like
// memory that cannot be had. false after printing the message.
bool allocate_tables(SearchContext &c, uint64_t file_size) {
    const uint64_t table_bytes = ((uint64_t)c.NumKeywords + 1) * sizeof(DictionaryEntry);
    if (table_bytes <= SIZE_MAX && file_size + kTextTail < kDictionaryWordsLimit) {
        c.g_dictionary = (DictionaryEntry *)platform_arena_alloc((size_t)table_bytes);
        c.g_dictionary_text = (const char *)platform_arena_alloc((size_t)(file_size + kTextTail));
    }
    if (c.g_dictionary == nullptr || c.g_dictionary_text == nullptr) {
        print_wrapped_error("Error: out of memory");
        return false;
    }
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

// Reads the file (file_size bytes by its size) with one read into the text's
// block, which has zero bytes behind it. false when it cannot be read
// (nothing printed).
bool read_text(SearchContext &c, int fd, uint64_t file_size) {
    size_t size = 0;
    if (platform_read_file_into(fd, (char *)c.g_dictionary_text, (size_t)file_size, &size) !=
        kWholeFileRead)
        return false;
    c.g_dictionary_text_size = size;
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
    if (!allocate_tables(c, sized ? file_size : 0)) return false;
    if (!sized || !read_text(c, fd, file_size)) return print_read_error();
    return load_lines(c, c.g_dictionary_text, (size_t)c.g_dictionary_text_size);
}

}  // namespace

void release_dictionary_tables() {
    SearchContext &c = g_search_context;
    platform_arena_free(c.g_dictionary);
    c.g_dictionary = nullptr;
    c.g_dictionary_count = 0;
    platform_arena_free((void *)c.g_dictionary_text);
    c.g_dictionary_text = nullptr;
    c.g_dictionary_text_size = 0;
    platform_unmap_zeroed(c.g_baseword_pool, (size_t)c.g_baseword_pool_size);
    c.g_baseword_pool = nullptr;
    platform_unmap_zeroed(c.g_variant_pool, (size_t)c.g_variant_pool_size + 1);
    c.g_variant_pool = nullptr;
    c.g_baseword_pool_pos = c.g_baseword_pool_size = c.g_baseword_pool_used = 0;
    c.g_variant_pool_pos = c.g_variant_pool_size = c.g_variant_pool_used = 0;
}

WordText dictionary_base_text(const DictionaryEntry &entry) {
    const char *word = dictionary_word(entry);
    if (word == nullptr) return WordText{"", 0};
    size_t length = 0;
    while (!ends_base_word(word[length])) length++;
    return WordText{word, length};
}

WordText next_word_text(const WordText &text) {
    const SearchContext &c = g_search_context;
    const char *end = c.g_dictionary_text + c.g_dictionary_text_size;
    const char *line = text.bytes + text.length;
    while (line < end) {
        const char *lf = (const char *)memchr(line, '\n', (size_t)(end - line));
        if (lf == nullptr) break;
        line = lf + 1;
        int64_t length = 0;
        const char *token = scan_variant(line, true, &length);
        if (token != nullptr) return WordText{token, (size_t)length};
    }
    return WordText{"", 0};
}

WordText find_word_variant(const DictionaryEntry &entry, uint32_t n) {
    WordText text = dictionary_base_text(entry);
    const uint32_t steps = n < entry.stored_variants ? n : entry.stored_variants;
    for (uint32_t i = 0; i < steps; i++) text = next_word_text(text);
    return text;
}

WordText get_word_variant(uint32_t id, uint32_t n) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return WordText{"", 0};
    // No more variants are stored than variant lines followed, so this also
    // covers an n beyond the word's variant count.
    if (n > entry->stored_variants) n = 0;
    return find_word_variant(*entry, n);
}

WordText get_word_display_form(uint32_t id) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return WordText{"", 0};
    return find_word_variant(*entry, entry->stored_variants == 0 ? 0 : 1);
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
