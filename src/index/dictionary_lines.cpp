// One line of the dictionary text taken apart token by token, the number
// rule of the index text files, and the loader's messages. A line given on
// its own ends at its NUL; a line of the loaded file text is read in place,
// so it ends at a NUL or at its LF.
#include <stdio.h>
#include <string.h>

#include "index/dictionary_lines.h"

namespace {

// Error messages are wrapped in <vesk:error></vesk:error> in XML mode (no line end).
const char kErrorClosing[] = "</vesk:error>";
const char kCorruptedEntryFormat[] =
    "Error: Corrupted dictionary data. Invalid dictionary entry at record #%d<br />";
const char kCountMismatchFormat[] =
    "Error: Dictionary data (entry %d) does not match NumKeywords (%d) specified in "
    "settings.vdat<br />";
constexpr int kDecimalIntWidth = 11;  // "-2147483648"

// Prints format (one of the formats above) filled with up to two numbers, wrapped.
void print_number_error(const char *format, int first, int second) {
    static_assert(sizeof kCorruptedEntryFormat <= sizeof kCountMismatchFormat,
                  "the message buffer fits the longest format");
    char message[sizeof kCountMismatchFormat + 2 * kDecimalIntWidth];
    snprintf(message, sizeof message, format, first, second);
    print_wrapped_error(message);
}

// Byte classes of the tokenizer. Base-line words and offsets end at ' ';
// variants and counts end at ' ', CR or LF; the end of the line ends every
// token. A line given on its own ends at its NUL; a line of the loaded file
// text, parsed in place, ends at a NUL or its LF.
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

// Reads the count field at p (after the offset token): its delimiters, then
// the number.
void read_count(const LineReader &reader, const char *p, uint32_t *count) {
    p = reader.skip_delimiters(reader.after_token(p, kEndsWord), kEndsVariant);
    if (reader.ends_line(*p)) return;
    uint64_t value;
    bool negative;
    read_magnitude(p, &value, &negative);
    *count = negative ? 0u - (uint32_t)value : (uint32_t)value;
}

int read_base_line_tokens(const LineReader &reader, const char *line, BaseLine *out) {
    const char *p = line;
    while (*p == ' ') p++;
    const bool leading_space = p != line;
    if (reader.ends_line(*p)) return leading_space ? kBaseLineEmpty : kBaseLineWithoutSpace;
    out->word = p;
    p = reader.token_end(p, kEndsWord);
    out->length = p - out->word;
    if (reader.ends_line(*p)) return leading_space ? kBaseLineWord : kBaseLineWithoutSpace;
    while (*p == ' ') p++;
    if (reader.ends_line(*p)) return kBaseLineWord;
    uint64_t value;
    bool negative;
    p = read_magnitude(p, &value, &negative);
    out->offset = to_int64(negative ? 0u - value : value);
    read_count(reader, p, &out->count);
    return kBaseLineWord;
}

const char *read_variant_token(const LineReader &reader, const char *line, int64_t *length) {
    const char *p = reader.skip_delimiters(line, kEndsVariant);
    if (reader.ends_line(*p)) return nullptr;
    const char *token = p;
    p = reader.token_end(p, kEndsVariant);
    *length = p - token;
    return *length + 1 > kMaxVariantEntrySize ? nullptr : token;
}

}  // namespace

void print_wrapped_error(const char *message) {
    print_error_message(message, kErrorClosing);
}

void print_corrupted_entry(uint32_t record) {
    print_number_error(kCorruptedEntryFormat, (int)record, 0);
}

void print_count_mismatch(uint32_t entries, uint32_t limit) {
    print_number_error(kCountMismatchFormat, (int)entries, (int)limit);
}

const char kBasePoolFull[] =
    "Error: Out of memory for storing base words. Settings file have been modified or invalid.";
const char kVariantPoolFull[] =
    "Error: Out of memory for storing word variants. Settings file have been modified or "
    "invalid.";

int scan_base_line(const char *line, bool in_file_text, BaseLine *out) {
    return read_base_line_tokens(in_file_text ? kFileText : kSingleLine, line, out);
}

const char *scan_variant(const char *line, bool in_file_text, int64_t *length) {
    return read_variant_token(in_file_text ? kFileText : kSingleLine, line, length);
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
