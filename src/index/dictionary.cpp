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
#include "index/dictionary_lines.h"
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
// variants and counts end at ' ', CR or LF; the end of the line ends every
// token. A line given on its own ends at its NUL; a line of the loaded file
// text, parsed in place before its LF becomes a NUL, ends at a NUL or its LF.
constexpr uint8_t kEndsWord = 1, kEndsVariant = 2, kEndsLine = 4;
struct ByteClasses {
    uint8_t of[256] = {};
    constexpr explicit ByteClasses(bool lf_ends_line) {
        of[0] = kEndsWord | kEndsVariant | kEndsLine;
        of[(uint8_t)' '] = kEndsWord | kEndsVariant;
        of[(uint8_t)'\r'] = kEndsVariant;
        of[(uint8_t)'\n'] = lf_ends_line ? of[0] : kEndsVariant;
    }
};
constexpr ByteClasses kNulEndsLine(false), kLfEndsLine(true);

// How a line is read: which bytes end it, and whether 8 bytes may be read at
// any place before its end (the loaded file text has zero bytes behind it).
struct LineReader {
    const ByteClasses &classes;
    bool padded;

    bool ends_token(char ch, uint8_t delimiters) const {
        return (classes.of[(uint8_t)ch] & delimiters) != 0;
    }
    bool ends_line(char ch) const { return ends_token(ch, kEndsLine); }
    // Skips the delimiters at p (never the line's end).
    const char *skip_delimiters(const char *p, uint8_t delimiters) const {
        while (!ends_line(*p) && ends_token(*p, delimiters)) p++;
        return p;
    }
    // The first byte at or after p that ends a token.
    const char *token_end(const char *p, uint8_t delimiters) const;
    // Moves past the token at p and its one ending delimiter (not past the
    // line's end), where the next token's search starts, as strtok does.
    const char *after_token(const char *p, uint8_t delimiters) const {
        p = token_end(p, delimiters);
        return ends_line(*p) ? p : p + 1;
    }
};
constexpr LineReader kSingleLine{kNulEndsLine, false};
constexpr LineReader kFileText{kLfEndsLine, true};

// token_end reads 8-byte groups; the file text has at least that many zero
// bytes behind its NUL (kTextPadding).
constexpr size_t kScanGroupSize = 8;
static_assert(kScanGroupSize <= kTextPadding, "groups never pass the padding");
constexpr uint64_t kEveryByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x8080808080808080ull;
// Every byte that can end a token or a line is at most ' ' (0x20).
constexpr uint64_t kAboveDelimiters = 0x21 * kEveryByte;

const char *LineReader::token_end(const char *p, uint8_t delimiters) const {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (padded) {
        // Eight bytes at a time: the lowest flagged byte of a group is exactly
        // its first byte below 0x21 (borrows only run upwards); a flagged
        // byte that ends nothing (a tab, say) is stepped over.
        for (;;) {
            uint64_t group;
            memcpy(&group, p, sizeof group);
            const uint64_t low = (group - kAboveDelimiters) & ~group & kHighBits;
            if (low == 0) {
                p += kScanGroupSize;
                continue;
            }
            p += __builtin_ctzll(low) / 8;
            if (ends_token(*p, delimiters)) return p;
            p++;
        }
    }
#endif
    while (!ends_token(*p, delimiters)) p++;
    return p;
}

// Reads the number rule's digits up to `end` (null: up to the NUL, which
// ends them anyway) as an unsigned value modulo 2^64 into *value; *negative
// tells whether a '-' came first. Returns where the digits end.
inline const char *read_magnitude(const char *text, const char *end, uint64_t *value,
                                  bool *negative) {
    *negative = false;
    while (text != end && *text == ' ') text++;
    if (text != end && *text == '-') {
        *negative = true;
        text++;
    }
    uint64_t v = 0;
    for (; text != end && (unsigned)(*text - '0') <= 9u; text++)
        v = v * 10u + (uint64_t)(*text - '0');
    *value = v;
    return text;
}
inline const char *read_magnitude(const char *text, uint64_t *value, bool *negative) {
    return read_magnitude(text, nullptr, value, negative);
}

uint64_t parse_magnitude(const char *text, const char *end, bool *negative) {
    uint64_t value = 0;
    *negative = false;
    if (text != nullptr) read_magnitude(text, end, &value, negative);
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
    int64_t offset = 0;          // 0 when missing
    uint32_t count = 0;          // 0 when missing
    const char *rest = nullptr;  // where the reading stopped (at or before the line's end)
};

// Reads the count field at p (after the offset token): its delimiters, then
// the number. Returns where the reading stopped.
const char *read_count(const LineReader &reader, const char *p, uint32_t *count) {
    p = reader.skip_delimiters(reader.after_token(p, kEndsWord), kEndsVariant);
    if (reader.ends_line(*p)) return p;
    uint64_t value;
    bool negative;
    p = read_magnitude(p, &value, &negative);
    *count = negative ? 0u - (uint32_t)value : (uint32_t)value;
    return p;
}

// Splits a base line: the word (first token ending at ' '), then the offset
// (next token ending at ' ') and the count (next token ending at ' ', CR or
// LF), each number read in the same pass that finds its end.
int scan_base_line(const LineReader &reader, const char *line, BaseLine *out) {
    const char *p = line;
    while (*p == ' ') p++;
    const bool leading_space = p != line;
    out->rest = p;
    if (reader.ends_line(*p)) return leading_space ? kBaseLineEmpty : kBaseLineWithoutSpace;
    out->word = p;
    p = reader.token_end(p, kEndsWord);
    out->length = p - out->word;
    out->rest = p;
    if (reader.ends_line(*p)) return leading_space ? kBaseLineWord : kBaseLineWithoutSpace;
    while (*p == ' ') p++;
    out->rest = p;
    if (reader.ends_line(*p)) return kBaseLineWord;
    uint64_t value;
    bool negative;
    p = read_magnitude(p, &value, &negative);
    out->offset = to_int64(negative ? 0u - value : value);
    out->rest = read_count(reader, p, &out->count);
    return kBaseLineWord;
}

// A pool's fill, as the loader counts it.
struct PoolFill {
    int64_t pos;   // bytes written
    int64_t size;  // its size
    int64_t used;  // entries stored
};

// Counts an entry of `size` bytes into the pool. false when it does not fit
// (the message printed).
inline bool count_into_pool(PoolFill &pool, int64_t size, const char *full_message) {
    if (pool.pos + size > pool.size) {
        print_wrapped_error(full_message);
        return false;
    }
    pool.pos += size;
    pool.used++;
    return true;
}

const char kBasePoolFull[] =
    "Error: Out of memory for storing base words. Settings file have been modified or invalid.";
const char kVariantPoolFull[] =
    "Error: Out of memory for storing word variants. Settings file have been modified or "
    "invalid.";

// A base word of `size` bytes (NUL included) in the base-word pool.
inline bool count_base_word(PoolFill &pool, int64_t size) {
    return count_into_pool(pool, size, kBasePoolFull);
}
// A variant entry (length byte, text of size - 1 bytes, NUL) in the variant pool.
inline bool count_variant(PoolFill &pool, int64_t size) {
    return count_into_pool(pool, 1 + size, kVariantPoolFull);
}

PoolFill base_pool(const SearchContext &c) {
    return PoolFill{c.g_baseword_pool_pos, c.g_baseword_pool_size, c.g_baseword_pool_used};
}
PoolFill variant_pool(const SearchContext &c) {
    return PoolFill{c.g_variant_pool_pos, c.g_variant_pool_size, c.g_variant_pool_used};
}
void keep_pools(SearchContext &c, const PoolFill &base, const PoolFill &variants) {
    c.g_baseword_pool_pos = base.pos;
    c.g_baseword_pool_used = base.used;
    c.g_variant_pool_pos = variants.pos;
    c.g_variant_pool_used = variants.used;
}

void set_entry(DictionaryEntry &entry, char *word, const BaseLine &line) {
    entry.word = word;
    entry.offset = line.offset;
    entry.variant_count = line.count;
    entry.stored_variants = 0;
}

// The first token of a variant line (ending at ' ', CR or LF), or null when
// the line has none or the token is too long to be stored; *length its bytes
// and *rest where the reading stopped.
const char *scan_variant(const LineReader &reader, const char *line, int64_t *length,
                         const char **rest) {
    const char *p = reader.skip_delimiters(line, kEndsVariant);
    *rest = p;
    if (reader.ends_line(*p)) return nullptr;
    const char *token = p;
    p = reader.token_end(p, kEndsVariant);
    *rest = p;
    *length = p - token;
    return *length + 1 > kMaxVariantEntrySize ? nullptr : token;
}

// ---- Loading ----

// Where the line walk stands; the context gets the counts at the end.
struct LoadState {
    DictionaryEntry *table;              // g_dictionary
    uint32_t limit;                      // NumKeywords
    PoolFill base, variants;             // the two pools' fill
    uint32_t entries = 0;                // base lines stored so far (n)
    uint32_t variants_due = 0;           // variant lines still expected (R)
    DictionaryEntry *current = nullptr;  // entry the variant lines belong to
    char *line;                          // the next line's first byte
};

// A line too long for the format: the corrupted-entry message (a long variant
// line belongs to the entry before the count). false for the caller.
bool refuse_long_line(const LoadState &state) {
    print_corrupted_entry(state.variants_due > 0 ? state.entries - 1 : state.entries);
    return false;
}

// Counts a variant line into its word's list (token null: the line stores
// nothing). The first variant line decides whether the word has a list at
// all. false when the pool is full (message printed).
inline bool count_variant_line(LoadState &state, const char *token, int64_t length) {
    if (token != nullptr && !count_variant(state.variants, length + 1)) return false;
    DictionaryEntry &entry = *state.current;
    if (state.variants_due == entry.variant_count)
        entry.stored_variants = token != nullptr ? 1 : 0;
    else if (token != nullptr && entry.stored_variants > 0)
        entry.stored_variants++;
    state.variants_due--;
    return true;
}

// Zeroes the bytes from `from` to `last`, both included.
inline void zero_bytes(char *from, char *last) {
    const size_t n = (size_t)(last + 1 - from);
    const uint64_t zero = 0;
    if (n >= sizeof zero && n <= 2 * sizeof zero) {
        // Two stores that overlap in the middle: no call for the usual run.
        memcpy(from, &zero, sizeof zero);
        memcpy(last + 1 - sizeof zero, &zero, sizeof zero);
    } else {
        memset(from, 0, n);
    }
}

// Stores the base line at state.line as the next entry: the word gets a NUL
// behind it; when variant lines follow, the rest of the line, its LF
// included, becomes NULs, so that the word's texts follow each other
// separated only by NUL, space and CR bytes. false after a failure (message
// printed).
inline bool store_base_line(LoadState &state, char *lf, const BaseLine &base) {
    if (!count_base_word(state.base, base.length + 1)) return false;
    char *word = state.line + (base.word - state.line);
    char *word_end = word + base.length;
    if (base.count == 0)
        *word_end = *lf = '\0';
    else
        zero_bytes(word_end, lf);
    state.current = state.table + state.entries;
    set_entry(*state.current, word, base);
    state.variants_due = base.count;
    state.entries++;
    if (state.entries > state.limit) {
        print_number_error(kCountMismatchFormat, (int)state.entries, (int)state.limit);
        return false;
    }
    return true;
}

// Any line from state.line to its LF, read token by token. A variant line
// keeps its stored token and every other byte, the LF included, becomes a
// NUL. false after a failure (message printed).
bool load_line(LoadState &state, char *lf) {
    char *const line = state.line;
    if (lf - line + 1 > kDictionaryMaxLineSize) return refuse_long_line(state);
    if (state.variants_due > 0) {
        int64_t length = 0;
        const char *rest;
        char *token = (char *)scan_variant(kFileText, line, &length, &rest);
        char *blank_from = token != nullptr ? token + length : line;
        memset(blank_from, 0, (size_t)(lf + 1 - blank_from));
        return count_variant_line(state, token, length);
    }
    BaseLine base;
    const int kind = scan_base_line(kFileText, line, &base);
    *lf = '\0';
    if (kind == kBaseLineWithoutSpace) {
        print_corrupted_entry(state.entries);
        return false;
    }
    return kind == kBaseLineEmpty || store_base_line(state, lf, base);
}

// A chunk of the text, from a line's start, with the positions of its
// structure bytes.
struct TextChunk {
    char *base;
    uint32_t count;  // positions listed
    uint32_t next;   // the first position not yet passed
    uint16_t positions[kChunkPositions];
};

// What reading a line in its plain shape gave.
enum PlainRead {
    kPlainDone = 0,    // the line was loaded
    kPlainFailed = 1,  // the load fails (message printed)
    kNotPlain = 2,     // the line is of another shape
    kChunkEnds = 3,    // the chunk lists too few positions to tell
};

// A variant line of one token of bytes above ' ' (its first structure byte
// is its LF), short enough to be stored: the whole line is stored.
inline int load_plain_variant_line(LoadState &state, TextChunk &chunk) {
    if (chunk.next >= chunk.count) return kChunkEnds;
    char *lf = chunk.base + chunk.positions[chunk.next];
    const int64_t length = lf - state.line;
    if (*lf != '\n' || length == 0 || length + 1 > kMaxVariantEntrySize) return kNotPlain;
    *lf = '\0';
    const bool loaded = count_variant_line(state, state.line, length);
    chunk.next++;
    state.line = lf + 1;
    return loaded ? kPlainDone : kPlainFailed;
}

// Reads the value of n (1 to 16) digits at p; false when one is no digit.
inline bool read_offset_digits(const char *p, uint32_t n, uint64_t *value) {
    constexpr uint64_t kGroupScale = 100000000;  // 10^8: one group of eight digits
    if (n <= kPlainDigits) return read_digit_group(p, n, value);
    uint64_t head = (uint8_t)(p[0] - '0'), tail;
    // Nine digits (the word maps of large sites) need no second group.
    const bool digits =
        (n == kPlainDigits + 1 ? head <= 9 : read_digit_group(p, n - kPlainDigits, &head)) &
        read_digit_group(p + n - kPlainDigits, kPlainDigits, &tail);
    *value = head * kGroupScale + tail;
    return digits;
}

// A base line "word offset count": a word of bytes above ' ', one space, 1
// to 16 digits, one space, one digit, the LF; its structure bytes are the
// two spaces and the LF. Gives exactly what the token-by-token reading gives.
inline int load_plain_base_line(LoadState &state, TextChunk &chunk) {
    constexpr uint32_t kMostOffsetDigits = 2 * kPlainDigits;
    if (chunk.next + 3 > chunk.count) return kChunkEnds;
    const uint16_t *at = chunk.positions + chunk.next;
    char *first = chunk.base + at[0], *second = chunk.base + at[1], *lf = chunk.base + at[2];
    const uint32_t digits = (uint32_t)(second - first - 1);
    const uint32_t count = (uint32_t)(uint8_t)(second[1] - '0');
    uint64_t offset;
    if (*first != ' ' || *second != ' ' || *lf != '\n' || first == state.line || lf != second + 2 ||
        digits - 1 >= kMostOffsetDigits || count > 9 ||
        !read_offset_digits(first + 1, digits, &offset))
        return kNotPlain;
    BaseLine base;
    base.word = state.line;
    base.length = first - state.line;
    base.offset = (int64_t)offset;
    base.count = count;
    const bool loaded = store_base_line(state, lf, base);
    chunk.next += 3;
    state.line = lf + 1;
    return loaded ? kPlainDone : kPlainFailed;
}

// Lists the positions of the chunk that starts at state.line.
void list_chunk(const LoadState &state, const char *end, TextChunk &chunk) {
    chunk.base = state.line;
    const size_t left = (size_t)(end - state.line);
    chunk.count = list_structure_bytes(
        state.line, left < (size_t)kTextChunkSize ? (uint32_t)left : kTextChunkSize,
        chunk.positions);
    chunk.next = 0;
}

// Walks the lines of the file text [text, text + size) (a NUL and
// kTextPadding zero bytes follow it) and loads each one that ends with LF.
// true at the end (a last line without LF is not read); false after a
// failure (message printed).
bool load_lines(SearchContext &c, char *text, size_t size) {
    LoadState state{c.g_dictionary, c.NumKeywords, base_pool(c), variant_pool(c), 0, 0,
                    nullptr,        text};
    TextChunk chunk;
    char *const end = text + size;
    chunk.base = nullptr;
    chunk.count = chunk.next = 0;
    int read = kPlainDone;
    while (state.line < end && read != kPlainFailed) {
        read = state.variants_due > 0 ? load_plain_variant_line(state, chunk)
                                      : load_plain_base_line(state, chunk);
        if (read == kPlainDone || read == kPlainFailed) continue;
        // A line a whole chunk from its start cannot tell is read token by token.
        if (read == kChunkEnds && chunk.base != state.line) {
            list_chunk(state, end, chunk);
            continue;
        }
        char *lf = (char *)memchr(state.line, '\n', (size_t)(end - state.line));
        if (lf == nullptr) break;
        read = load_line(state, lf) ? kPlainDone : kPlainFailed;
        state.line = lf + 1;
        while (chunk.next < chunk.count && chunk.base + chunk.positions[chunk.next] < state.line)
            chunk.next++;
    }
    c.g_dictionary_count = state.entries;
    keep_pools(c, state.base, state.variants);
    return read != kPlainFailed;
}

// The dictionary's one block: the file text with a NUL and a zeroed scan
// group behind it, then the entry table. Sizes in 64 bits, so that nothing
// wraps on a 32-bit system.
struct DictionaryBlock {
    uint64_t text_bytes;   // file text, NUL and padding, rounded to the table's alignment
    uint64_t table_bytes;  // NumKeywords + 1 entries
    uint64_t prefault;     // the text and the part of the table the file can fill
};

DictionaryBlock plan_block(const SearchContext &c, uint64_t file_size) {
    DictionaryBlock plan;
    const uint64_t align = alignof(DictionaryEntry);
    plan.text_bytes = (file_size + 1 + kTextPadding + align - 1) / align * align;
    const uint64_t entries = (uint64_t)c.NumKeywords + 1;
    const uint64_t fillable = file_size / kShortestBaseLine + 1;
    plan.table_bytes = entries * sizeof(DictionaryEntry);
    plan.prefault =
        plan.text_bytes + (fillable < entries ? fillable : entries) * sizeof(DictionaryEntry);
    return plan;
}

// Allocates the text and the entry table in one zero-filled block (the part
// the file can fill mapped at once), and the two pools. false after printing
// the message.
bool allocate_tables(SearchContext &c, uint64_t file_size) {
    const DictionaryBlock plan = plan_block(c, file_size);
    // Neither sum can wrap: the file size is below 2^63, the table below 2^40 bytes.
    if (plan.text_bytes + plan.table_bytes <= SIZE_MAX)
        c.g_dictionary_text = (char *)platform_alloc_mapped(
            (size_t)(plan.text_bytes + plan.table_bytes), (size_t)plan.prefault);
    if (c.g_dictionary_text == nullptr) {
        print_wrapped_error("Error: out of memory");
        return false;
    }
    c.g_dictionary = (DictionaryEntry *)(c.g_dictionary_text + plan.text_bytes);

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

// Reads the open dictionary file fd and loads it. true when loaded.
bool read_and_load(SearchContext &c, int fd) {
    uint64_t file_size = 0;
    const bool sized = platform_file_size(fd, &file_size);
    if (!allocate_tables(c, file_size)) return false;
    size_t size = 0;
    if (!sized || platform_read_file_into(fd, c.g_dictionary_text, (size_t)file_size, &size) !=
                      kWholeFileRead)
        return print_read_error();
    c.g_dictionary_text[size] = '\0';
    return load_lines(c, c.g_dictionary_text, size);
}

}  // namespace

void release_dictionary_tables() {
    SearchContext &c = g_search_context;
    // The entry table lives in the text's block.
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

int32_t parse_int_decimal_bounded(const char *text, size_t length) {
    bool negative;
    uint32_t value = (uint32_t)parse_magnitude(text, text + length, &negative);
    return to_int32(negative ? 0u - value : value);
}

int32_t parse_int_decimal(const char *text) {
    bool negative;
    uint32_t value = (uint32_t)parse_magnitude(text, nullptr, &negative);
    return to_int32(negative ? 0u - value : value);
}

int64_t parse_int64_decimal(const char *text) {
    bool negative;
    uint64_t value = parse_magnitude(text, nullptr, &negative);
    return to_int64(negative ? 0u - value : value);
}

int add_base_word(const char *line, uint32_t n) {
    SearchContext &c = g_search_context;
    BaseLine base;
    scan_base_line(kSingleLine, line, &base);
    if (base.word == nullptr) return kDictionaryNothing;
    char *word = c.g_baseword_pool + c.g_baseword_pool_pos;
    PoolFill pool = base_pool(c);
    const bool counted = count_base_word(pool, base.length + 1);
    keep_pools(c, pool, variant_pool(c));
    if (!counted) return kDictionaryFailed;
    memcpy(word, base.word, (size_t)base.length);
    word[base.length] = '\0';
    set_entry(c.g_dictionary[n], word, base);
    return kDictionaryStored;
}

int add_word_variant(const char *line, uint8_t **stored) {
    SearchContext &c = g_search_context;
    *stored = nullptr;
    int64_t length = 0;
    const char *rest;
    const char *token = scan_variant(kSingleLine, line, &length, &rest);
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

const char *find_word_variant(const char *word, uint32_t n, uint32_t count) {
    if (n < 1 || word == nullptr || count == 0) return nullptr;
    const uint32_t steps = n < count ? n : count;
    const char *text = word;
    for (uint32_t i = 0; i < steps; i++) {
        text += strlen(text) + 1;
        while (*text == '\0' || *text == ' ' || *text == '\r') text++;
    }
    return text;
}

const char *get_word_variant(uint32_t id, uint32_t n) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    // stored_variants never exceeds variant_count, so this also covers n > variant_count.
    if (n == 0 || n > entry->stored_variants) return entry->word;
    return find_word_variant(entry->word, n, entry->stored_variants);
}

const char *get_word_display_form(uint32_t id) {
    const DictionaryEntry *entry = filled_entry(id);
    if (entry == nullptr) return "";
    if (entry->stored_variants == 0) return entry->word;
    return find_word_variant(entry->word, 1, entry->stored_variants);
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
    const bool loaded = read_and_load(c, fd);
    close_file(fd);
    return loaded ? 0 : 1;
}

int load_dictionary() {
    if (load_dictionary_file() == 0) return 1;
    return finish_page_after_error("Failed to load dictionary file.<br />\n", "</vesk:error>\n");
}
