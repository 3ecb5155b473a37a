// The dictionary loader: vesk_dictionary.vdat into g_dictionary, the lookups
// of a word's variants, and the number rule shared by the index text files.
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
// The loader reads the file with one read and leaves every word where it is:
// a NUL goes behind each base word and each stored variant, and every other
// byte of a variant line becomes a NUL too, so that the variants of a word
// follow each other separated only by NUL, space and CR bytes. The two pools
// keep their sizes and fill counts as if the words were copied into them, so
// that a pool too small for the file fails at exactly the same word; the
// loader itself never writes to them (add_base_word and add_word_variant
// store single lines there). In the variant pool each variant counts as one
// byte L (text length + 1), the text and its NUL.
#include <errno.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "context/context.h"
#include "index/index.h"
#include "platform/platform.h"

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

// Reads the number rule's digits as an unsigned value modulo 2^64 into
// *value; *negative tells whether a '-' came first. Returns where the digits end.
inline const char *read_magnitude(const char *text, uint64_t *value, bool *negative) {
    *negative = false;
    *value = 0;
    while (*text == ' ') text++;
    if (*text == '-') {
        *negative = true;
        text++;
    }
    uint64_t v = 0;
    for (; (unsigned)(*text - '0') <= 9u; text++) v = v * 10u + (uint64_t)(*text - '0');
    *value = v;
    return text;
}

uint64_t parse_magnitude(const char *text, bool *negative) {
    uint64_t value = 0;
    *negative = false;
    if (text != nullptr) read_magnitude(text, &value, negative);
    return value;
}

// Two's-complement reinterpretation without an implementation-defined conversion.
int32_t to_int32(uint32_t value) {
    return value <= (uint32_t)INT32_MAX ? (int32_t)value : -(int32_t)~value - 1;
}
int64_t to_int64(uint64_t value) {
    return value <= (uint64_t)INT64_MAX ? (int64_t)value : -(int64_t)~value - 1;
}

// ---- Base lines and variant lines ----

constexpr uint64_t kShortestBaseLine = 2;  // a word byte and the LF

// A base line taken apart.
enum BaseLineKind {
    kBaseLineEmpty = 0,         // no word (only spaces)
    kBaseLineWithoutSpace = 1,  // a word but no space anywhere (refused where one is due)
    kBaseLineWord = 2,          // a word, possibly with offset and count
};
struct BaseLine {
    const char *word = nullptr;  // first byte of the word
    int64_t length = 0;          // its bytes
    bool has_numbers = false;    // a token follows the word (offset and count were read)
    int64_t offset = 0;
    uint32_t count = 0;
};

// Splits a base line: the word (first token ending at ' '), then the offset
// (next token ending at ' ') and the count (next token ending at ' ', CR or
// LF), each number read in the same pass that finds its end.
int scan_base_line(const char *line, BaseLine *out) {
    const char *p = line;
    while (*p == ' ') p++;
    const bool leading_space = p != line;
    if (*p == '\0') return leading_space ? kBaseLineEmpty : kBaseLineWithoutSpace;
    out->word = p;
    while (*p != ' ' && *p != '\0') p++;
    out->length = p - out->word;
    if (*p == '\0') return leading_space ? kBaseLineWord : kBaseLineWithoutSpace;
    while (*p == ' ') p++;
    if (*p == '\0') return kBaseLineWord;
    out->has_numbers = true;
    uint64_t value;
    bool negative;
    p = read_magnitude(p, &value, &negative);
    out->offset = to_int64(negative ? 0u - value : value);
    p = skip_delimiters(after_token(p, kEndsWord), kEndsVariant);
    if (*p == '\0') return kBaseLineWord;
    read_magnitude(p, &value, &negative);
    const uint32_t count = (uint32_t)value;
    out->count = negative ? 0u - count : count;
    return kBaseLineWord;
}

// Counts a base word of `size` bytes (NUL included) into the base-word pool.
// false when it does not fit (message printed).
bool count_base_word(SearchContext &c, int64_t size) {
    if (c.g_baseword_pool_pos + size > c.g_baseword_pool_size) {
        print_wrapped_error(
            "Error: Out of memory for storing base words. Settings file have been modified or "
            "invalid.");
        return false;
    }
    c.g_baseword_pool_pos += size;
    c.g_baseword_pool_used++;
    return true;
}

// Counts a variant entry (length byte, text of size - 1 bytes, NUL) into the
// variant pool. false when it does not fit (message printed).
bool count_variant(SearchContext &c, int64_t size) {
    if (c.g_variant_pool_pos + 1 + size > c.g_variant_pool_size) {
        print_wrapped_error(
            "Error: Out of memory for storing word variants. Settings file have been modified "
            "or invalid.");
        return false;
    }
    c.g_variant_pool_pos += 1 + size;
    c.g_variant_pool_used++;
    return true;
}

void set_entry(DictionaryEntry &entry, char *word, const BaseLine &line) {
    entry.word = word;
    if (!line.has_numbers) return;
    entry.offset = line.offset;
    entry.variant_count = line.count;
}

// The first token of a variant line (ending at ' ', CR or LF), or null when
// the line has none or the token is too long to be stored; *length its bytes.
const char *scan_variant(const char *line, int64_t *length) {
    const char *p = skip_delimiters(line, kEndsVariant);
    if (*p == '\0') return nullptr;
    const char *token = p;
    while (!ends_token(*p, kEndsVariant)) p++;
    *length = p - token;
    return *length + 1 > kMaxVariantEntrySize ? nullptr : token;
}

// ---- Loading ----

// Where the line walk stands.
struct LoadState {
    uint32_t entries = 0;                // base lines stored so far (n)
    uint32_t variants_due = 0;           // variant lines still expected (R)
    DictionaryEntry *current = nullptr;  // entry the variant lines belong to
};

// A variant line [line, end) in place: the stored token keeps its bytes and
// every other byte of the line becomes a NUL. false when the pool is full.
bool load_variant_line(SearchContext &c, LoadState &state, char *line, char *end) {
    int64_t length = 0;
    char *token = (char *)scan_variant(line, &length);
    char *blank_from = line;
    if (token != nullptr) {
        if (!count_variant(c, length + 1)) return false;
        blank_from = token + length;
    }
    if (end > blank_from) memset(blank_from, 0, (size_t)(end - blank_from));
    DictionaryEntry &entry = *state.current;
    if (state.variants_due == entry.variant_count) {
        // The first variant line decides whether the word has a list at all.
        entry.first_variant = token != nullptr ? (uint8_t *)token - 1 : nullptr;
        entry.stored_variants = token != nullptr ? 1 : 0;
    } else if (token != nullptr && entry.first_variant != nullptr) {
        entry.stored_variants++;
    }
    state.variants_due--;
    return true;
}

// Handles one line [line, end) (its LF already replaced by a NUL). false: the
// load fails and the message has been printed.
bool load_line(SearchContext &c, LoadState &state, char *line, char *end) {
    if (state.variants_due > 0) return load_variant_line(c, state, line, end);
    BaseLine base;
    const int kind = scan_base_line(line, &base);
    if (kind == kBaseLineWithoutSpace) {
        print_corrupted_entry(state.entries);
        return false;
    }
    if (kind == kBaseLineEmpty) return true;
    if (!count_base_word(c, base.length + 1)) return false;
    char *word = line + (base.word - line);
    word[base.length] = '\0';
    state.current = &c.g_dictionary[state.entries];
    set_entry(*state.current, word, base);
    state.variants_due = state.current->variant_count;
    state.entries++;
    c.g_dictionary_count = state.entries;
    if (state.entries > c.NumKeywords) {
        print_number_error(kCountMismatchFormat, (int)state.entries, (int)c.NumKeywords);
        return false;
    }
    return true;
}

// Walks the lines of the file text [text, text + size) and hands each one that
// ends with LF to load_line. true at the end (a last line without LF is not
// read); false after a failure (message printed).
bool load_lines(SearchContext &c, char *text, size_t size) {
    LoadState state;
    char *const end = text + size;
    for (char *line = text; line < end;) {
        char *lf = (char *)memchr(line, '\n', (size_t)(end - line));
        if (lf == nullptr) return true;
        if (lf - line + 1 > kDictionaryMaxLineSize) {
            // A long variant line belongs to the entry before the count.
            print_corrupted_entry(state.variants_due > 0 ? state.entries - 1 : state.entries);
            return false;
        }
        *lf = '\0';
        if (!load_line(c, state, line, lf)) return false;
        line = lf + 1;
    }
    return true;
}

// Allocates the entry table and both pools. The table is zero-filled; the
// part that a file of file_size bytes can fill (a base line takes at least two
// bytes) is mapped at once. false after printing the message.
bool allocate_tables(SearchContext &c, uint64_t file_size) {
    // NumKeywords + 1 entries, counted in 64 bits so that neither the + 1 nor
    // the byte size can wrap on a 32-bit system.
    const uint64_t entries = (uint64_t)c.NumKeywords + 1;
    const uint64_t fillable = file_size / kShortestBaseLine + 1;
    if (entries <= SIZE_MAX / sizeof(DictionaryEntry)) {
        const size_t prefault = (size_t)(fillable < entries ? fillable : entries);
        c.g_dictionary = (DictionaryEntry *)platform_alloc_mapped(
            (size_t)entries * sizeof(DictionaryEntry), prefault * sizeof(DictionaryEntry));
    }
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
    platform_free_mapped(c.g_dictionary);
    c.g_dictionary = nullptr;
    c.g_dictionary_count = 0;
    platform_free_mapped(c.g_dictionary_text);
    c.g_dictionary_text = nullptr;
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
    SearchContext &c = g_search_context;
    BaseLine base;
    scan_base_line(line, &base);
    if (base.word == nullptr) return kDictionaryNothing;
    char *word = c.g_baseword_pool + c.g_baseword_pool_pos;
    if (!count_base_word(c, base.length + 1)) return kDictionaryFailed;
    memcpy(word, base.word, (size_t)base.length);
    word[base.length] = '\0';
    set_entry(c.g_dictionary[n], word, base);
    return kDictionaryStored;
}

int add_word_variant(const char *line, uint8_t **stored) {
    SearchContext &c = g_search_context;
    *stored = nullptr;
    int64_t length = 0;
    const char *token = scan_variant(line, &length);
    if (token == nullptr) return kDictionaryNothing;
    uint8_t *entry = (uint8_t *)c.g_variant_pool + c.g_variant_pool_pos;
    if (!count_variant(c, length + 1)) return kDictionaryFailed;
    entry[0] = (uint8_t)(length + 1);  // low 8 bits: longer variants wrap it
    memcpy(entry + 1, token, (size_t)length);
    entry[1 + length] = '\0';
    *stored = entry;
    return kDictionaryStored;
}

const char *find_word_variant(const uint8_t *list, uint32_t n, uint32_t count) {
    if (n < 1 || list == nullptr || count == 0) return nullptr;
    const uint32_t steps = n < count ? n : count;
    const char *text = (const char *)list + 1;
    for (uint32_t i = 1; i < steps; i++) {
        text += strlen(text) + 1;
        while (*text == '\0' || *text == ' ' || *text == '\r') text++;
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
    struct stat status;
    const uint64_t size_hint = fstat(fd, &status) == 0 && status.st_size > 0 ? status.st_size : 0;
    bool loaded = allocate_tables(c, size_hint);
    size_t size = 0;
    if (loaded) {
        const int read = platform_read_whole_file(fd, &c.g_dictionary_text, &size);
        if (read == kWholeFileNoMemory) print_wrapped_error("Error: out of memory");
        if (read == kWholeFileReadError) print_read_error();
        loaded = read == kWholeFileRead;
    }
    close_file(fd);
    return loaded && load_lines(c, c.g_dictionary_text, size) ? 0 : 1;
}

int load_dictionary() {
    if (load_dictionary_file() == 0) return 1;
    return finish_page_after_error("Failed to load dictionary file.<br />\n", "</vesk:error>\n");
}
