// The dictionary loader: vesk_dictionary.vdat into g_dictionary, the base-word
// pool and the variant pool, the lookups of a word's variants, and the number
// rule shared by the index text files.
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
// Pools: the base-word pool holds each word with its NUL, back to back. The
// variant pool holds for each stored variant one byte L (text length + 1, low
// 8 bits), the text and its NUL; the variants of one word are consecutive.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "context/context.h"
#include "index/index.h"

namespace {

// ---- Low-level file access: open read-only, read, close ----

// Opens path for reading (binary on this platform, shared with other readers).
// The descriptor, or -1.
int open_read_only(const char *path) {
    int fd;
    do {
        fd = open(path, O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Reads at most size bytes. The count read, 0 at the end of the file, -1 on a
// read error (an interrupted read is repeated, any other error is returned).
long read_some(int fd, char *buffer, size_t size) {
    ssize_t got;
    do {
        got = read(fd, buffer, size);
    } while (got < 0 && errno == EINTR);
    return (long)got;
}

void close_file(int fd) {
    close(fd);
}

// ---- Messages ----

// Error messages are wrapped in <vesk:error></vesk:error> in XML mode (no line end).
const char kErrorClosing[] = "</vesk:error>";
const char kCorruptedEntryFormat[] =
    "Error: Corrupted dictionary data. Invalid dictionary entry at record #%d<br />";
const char kCountMismatchFormat[] =
    "Error: Dictionary data (entry %d) does not match NumKeywords (%d) specified in "
    "settings.vdat<br />";
constexpr int kDecimalIntWidth = 11;  // "-2147483648"

void print_wrapped_error(const char *message) {
    print_error_message(message, kErrorClosing);
}
// Prints format (one of the formats above) filled with up to two numbers, wrapped.
void print_number_error(const char *format, int first, int second) {
    static_assert(sizeof kCorruptedEntryFormat <= sizeof kCountMismatchFormat,
                  "the message buffer fits the longest format");
    char message[sizeof kCountMismatchFormat + 2 * kDecimalIntWidth];
    snprintf(message, sizeof message, format, first, second);
    print_wrapped_error(message);
}
void print_corrupted_entry(uint32_t record) {
    print_number_error(kCorruptedEntryFormat, (int)record, 0);
}

// A read error ends the load (it is not retried). Returns false for the caller.
bool print_read_error() {
    print_wrapped_error("Error: Could not read dictionary file.<br />");
    return false;
}

const char kMissingFileMessage[] =
    "Can not find one or more of the Vesk index files.<br />Please make sure the generated "
    "index files are uploaded to the same path as this search script.<br />Also check file "
    "permissions have been set to allow reading.<br />\n";

// ---- Tokens and numbers ----

// Byte classes of the tokenizer. Base-line words and offsets end at ' ';
// variants and counts end at ' ', CR or LF; the NUL ends every token.
constexpr uint8_t kEndsWord = 1, kEndsVariant = 2;
struct ByteClasses {
    uint8_t of[256] = {};
    constexpr ByteClasses() {
        of[0] = kEndsWord | kEndsVariant;
        of[(uint8_t)' '] = kEndsWord | kEndsVariant;
        of[(uint8_t)'\r'] = kEndsVariant;
        of[(uint8_t)'\n'] = kEndsVariant;
    }
};
constexpr ByteClasses kByteClasses;

inline bool ends_token(char ch, uint8_t delimiters) {
    return (kByteClasses.of[(uint8_t)ch] & delimiters) != 0;
}

// Skips the delimiters at p (never the NUL).
inline const char *skip_delimiters(const char *p, uint8_t delimiters) {
    while (*p != '\0' && ends_token(*p, delimiters)) p++;
    return p;
}

// Moves past the token at p and its one ending delimiter (not past the NUL),
// where the next token's search starts, as strtok does.
inline const char *after_token(const char *p, uint8_t delimiters) {
    while (!ends_token(*p, delimiters)) p++;
    return *p != '\0' ? p + 1 : p;
}

// Reads the number rule's digits as an unsigned value modulo 2^64; *negative
// tells whether a '-' came first.
uint64_t parse_magnitude(const char *text, bool *negative) {
    *negative = false;
    if (text == nullptr) return 0;
    while (*text == ' ') text++;
    if (*text == '-') {
        *negative = true;
        text++;
    }
    uint64_t value = 0;
    for (; *text >= '0' && *text <= '9'; text++) value = value * 10u + (uint64_t)(*text - '0');
    return value;
}

// Two's-complement reinterpretation without an implementation-defined conversion.
int32_t to_int32(uint32_t value) {
    return value <= (uint32_t)INT32_MAX ? (int32_t)value : -(int32_t)~value - 1;
}
int64_t to_int64(uint64_t value) {
    return value <= (uint64_t)INT64_MAX ? (int64_t)value : -(int64_t)~value - 1;
}

// ---- Base lines ----

// store_base_line's answer for a line without any space (when one is required).
constexpr int kLineWithoutSpace = 3;

// Stores a base line as entry n in one pass: the word (first token ending at
// ' ') is copied into the pool while it is scanned, then the offset (next token
// ending at ' ') and the count (next token ending at ' ', CR or LF) are read.
// With require_space, a line holding no space is refused (kLineWithoutSpace)
// before anything is stored or any message printed.
int store_base_line(SearchContext &c, const char *line, uint32_t n, bool require_space) {
    const char *p = skip_delimiters(line, kEndsWord);
    bool has_space = p != line;
    if (*p == '\0') return has_space || !require_space ? kDictionaryNothing : kLineWithoutSpace;
    char *word = c.g_baseword_pool + c.g_baseword_pool_pos;
    const int64_t room = c.g_baseword_pool_size - c.g_baseword_pool_pos;
    int64_t length = 0;
    for (; !ends_token(*p, kEndsWord); p++, length++)
        if (length < room) word[length] = *p;
    if (*p == ' ') has_space = true;
    if (require_space && !has_space) return kLineWithoutSpace;
    const int64_t size = length + 1;
    if (c.g_baseword_pool_pos + size > c.g_baseword_pool_size) {
        print_wrapped_error(
            "Error: Out of memory for storing base words. Settings file have been modified or "
            "invalid.");
        return kDictionaryFailed;
    }
    word[length] = '\0';
    c.g_baseword_pool_pos += size;
    c.g_baseword_pool_used++;
    DictionaryEntry &entry = c.g_dictionary[n];
    entry.word = word;
    p = skip_delimiters(*p != '\0' ? p + 1 : p, kEndsWord);
    if (*p == '\0') return kDictionaryStored;
    entry.offset = parse_int64_decimal(p);
    p = skip_delimiters(after_token(p, kEndsWord), kEndsVariant);
    entry.variant_count = *p != '\0' ? (uint32_t)parse_int_decimal(p) : 0;
    return kDictionaryStored;
}

// ---- Loading ----

// Where the line walk stands.
struct LoadState {
    uint32_t entries = 0;                // base lines stored so far (n)
    uint32_t variants_due = 0;           // variant lines still expected (R)
    DictionaryEntry *current = nullptr;  // entry the variant lines belong to
};

// Handles one line (its LF already replaced by a NUL). false: the load fails
// and the message has been printed.
bool load_line(SearchContext &c, LoadState &state, char *line) {
    if (state.variants_due > 0) {
        uint8_t *stored = nullptr;
        if (add_word_variant(line, &stored) == kDictionaryFailed) return false;
        DictionaryEntry &entry = *state.current;
        if (state.variants_due == entry.variant_count) {
            // The first variant line decides whether the word has a list at all.
            entry.first_variant = stored;
            entry.stored_variants = stored != nullptr ? 1 : 0;
        } else if (stored != nullptr && entry.first_variant != nullptr) {
            entry.stored_variants++;
        }
        state.variants_due--;
        return true;
    }
    int result = store_base_line(c, line, state.entries, true);
    if (result == kLineWithoutSpace) {
        print_corrupted_entry(state.entries);
        return false;
    }
    if (result == kDictionaryFailed) return false;
    if (result == kDictionaryNothing) return true;
    state.current = &c.g_dictionary[state.entries];
    state.variants_due = state.current->variant_count;
    state.entries++;
    c.g_dictionary_count = state.entries;
    if (state.entries > c.NumKeywords) {
        print_number_error(kCountMismatchFormat, (int)state.entries, (int)c.NumKeywords);
        return false;
    }
    return true;
}

// Reads the open file chunk by chunk and hands every complete line to
// load_line. A line cut by the end of a chunk is moved to the buffer's start
// and completed by the next read. true at the end of the file; false after a
// failure (message printed).
bool read_lines(SearchContext &c, int fd, char *buffer) {
    LoadState state;
    size_t carried = 0;  // bytes of an incomplete line at the buffer's start
    for (;;) {
        if (carried == (size_t)kDictionaryMaxLineSize) {
            // The window is full without a line end. Read on to the line's end:
            // a line that ends is too long, a last line without LF is not read.
            for (;;) {
                long got = read_some(fd, buffer, (size_t)kDictionaryMaxLineSize);
                if (got == 0) return true;
                if (got < 0) return print_read_error();
                if (memchr(buffer, '\n', (size_t)got) != nullptr) {
                    // A long variant line belongs to the entry before the count.
                    print_corrupted_entry(state.variants_due > 0 ? state.entries - 1
                                                                 : state.entries);
                    return false;
                }
            }
        }
        long got = read_some(fd, buffer + carried, (size_t)kDictionaryMaxLineSize - carried);
        if (got < 0) return print_read_error();
        if (got == 0) return true;  // a carried last line without LF is dropped
        char *end = buffer + carried + got;
        char *line = buffer;
        char *scan = buffer + carried;  // the carried bytes hold no LF
        char *lf;
        while ((lf = (char *)memchr(scan, '\n', (size_t)(end - scan))) != nullptr) {
            *lf = '\0';
            if (!load_line(c, state, line)) return false;
            line = scan = lf + 1;
        }
        carried = (size_t)(end - line);
        if (carried > 0 && line != buffer) memmove(buffer, line, carried);
    }
}

// Allocates the entry table and both pools. false after printing the message.
bool allocate_tables(SearchContext &c) {
    // NumKeywords + 1 entries, counted in 64 bits so that neither the + 1 nor
    // the byte size can wrap on a 32-bit system.
    uint64_t entries = (uint64_t)c.NumKeywords + 1;
    if (entries <= SIZE_MAX / sizeof(DictionaryEntry))
        c.g_dictionary = (DictionaryEntry *)calloc((size_t)entries, sizeof(DictionaryEntry));
    if (c.g_dictionary == nullptr) {
        print_wrapped_error("Error: out of memory");
        return false;
    }

    int64_t base_size = c.OutputBasewordBufferSize;
    if (base_size > 0) c.g_baseword_pool = (char *)malloc((size_t)base_size);
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
        c.g_variant_pool = (char *)malloc((size_t)variant_size + 1);  // + 1: never malloc(0)
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

}  // namespace

void release_dictionary_tables() {
    SearchContext &c = g_search_context;
    free(c.g_dictionary);
    c.g_dictionary = nullptr;
    c.g_dictionary_count = 0;
    free(c.g_baseword_pool);
    c.g_baseword_pool = nullptr;
    free(c.g_variant_pool);
    c.g_variant_pool = nullptr;
    c.g_baseword_pool_pos = c.g_baseword_pool_size = c.g_baseword_pool_used = 0;
    c.g_variant_pool_pos = c.g_variant_pool_size = c.g_variant_pool_used = 0;
}

int32_t parse_int_decimal(const char *text) {
    bool negative;
    uint32_t value = (uint32_t)parse_magnitude(text, &negative);
    return to_int32(negative ? 0u - value : value);
}

int64_t parse_int64_decimal(const char *text) {
    bool negative;
    uint64_t value = parse_magnitude(text, &negative);
    return to_int64(negative ? 0u - value : value);
}

int add_base_word(const char *line, uint32_t n) {
    return store_base_line(g_search_context, line, n, false);
}

int add_word_variant(const char *line, uint8_t **stored) {
    SearchContext &c = g_search_context;
    *stored = nullptr;
    const char *p = skip_delimiters(line, kEndsVariant);
    if (*p == '\0') return kDictionaryNothing;
    // Copy the text behind the length byte while scanning it, as far as the pool has room.
    uint8_t *entry = (uint8_t *)c.g_variant_pool + c.g_variant_pool_pos;
    const int64_t room = c.g_variant_pool_size - c.g_variant_pool_pos - 1;
    int64_t length = 0;
    for (; !ends_token(*p, kEndsVariant); p++, length++)
        if (length < room) entry[1 + length] = (uint8_t)*p;
    const int64_t size = length + 1;
    if (size > kMaxVariantEntrySize) return kDictionaryNothing;
    if (c.g_variant_pool_pos + 1 + size > c.g_variant_pool_size) {
        print_wrapped_error(
            "Error: Out of memory for storing word variants. Settings file have been modified "
            "or invalid.");
        return kDictionaryFailed;
    }
    entry[0] = (uint8_t)size;  // low 8 bits: longer variants wrap it (the walk never uses it)
    entry[1 + length] = '\0';
    c.g_variant_pool_pos += 1 + size;
    c.g_variant_pool_used++;
    *stored = entry;
    return kDictionaryStored;
}

const char *find_word_variant(const uint8_t *list, uint32_t n, uint32_t count) {
    if (n < 1 || list == nullptr || count == 0) return nullptr;
    uint32_t steps = n < count ? n : count;
    const char *text = nullptr;
    const uint8_t *entry = list;
    for (uint32_t i = 0; i < steps; i++) {
        text = (const char *)(entry + 1);
        entry += 1 + strlen(text) + 1;
    }
    return text;
}

const char *get_word_variant(uint32_t id, uint32_t n) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    // stored_variants never exceeds variant_count, so this also covers n > variant_count.
    if (entry->first_variant == nullptr || n == 0 || n > entry->stored_variants) return entry->word;
    return find_word_variant(entry->first_variant, n, entry->stored_variants);
}

const char *get_word_display_form(uint32_t id) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    if (entry->variant_count == 0 || entry->first_variant == nullptr) return entry->word;
    return find_word_variant(entry->first_variant, 1, entry->stored_variants);
}

int load_dictionary_file() {
    SearchContext &c = g_search_context;
    release_dictionary_tables();
    int length = snprintf(c.g_work_path, sizeof c.g_work_path, "%s/%s", c.g_base_directory,
                          kDictionaryFileName);
    int fd = length < (int)sizeof c.g_work_path ? open_read_only(c.g_work_path) : -1;
    if (fd < 0) {
        out_printf("%s", kMissingFileMessage);
        return 1;
    }
    char *buffer = (char *)malloc(kDictionaryReadBufferSize);
    if (buffer == nullptr) {
        close_file(fd);
        print_wrapped_error("Error: out of memory");
        return 1;
    }
    bool loaded = allocate_tables(c) && read_lines(c, fd, buffer);
    close_file(fd);
    free(buffer);
    return loaded ? 0 : 1;
}

int load_dictionary() {
    if (load_dictionary_file() == 0) return 1;
    return finish_page_after_error("Failed to load dictionary file.<br />\n", "</vesk:error>\n");
}
