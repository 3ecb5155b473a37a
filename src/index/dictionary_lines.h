// The dictionary loader's own parts, shared by its three files: one line of
// the dictionary text taken apart token by token and the pools' fill counts
// (dictionary_lines.cpp); the loaded file text walked line after line, the
// plain line shapes read from the positions of its structure bytes (every
// byte at or below ' ': spaces, LFs, CRs, NULs, ...) and their numbers eight
// digits at a time (dictionary_walk.cpp); loading and the lookups
// (dictionary.cpp).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "context/context.h"
#include "index/index.h"

// ---- dictionary_lines.cpp ----

// Prints message, inside <vesk:error></vesk:error> in XML mode (no line end).
void print_wrapped_error(const char *message);
// The corrupted-entry message for record `record`, wrapped.
void print_corrupted_entry(uint32_t record);
// The message of an entry beyond NumKeywords (`limit`), wrapped.
void print_count_mismatch(uint32_t entries, uint32_t limit);
// The messages of a full base-word pool and a full variant pool.
extern const char kBasePoolFull[];
extern const char kVariantPoolFull[];

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
};

// Splits a base line: the word (first token ending at ' '), then the offset
// (next token ending at ' ') and the count (next token ending at ' ', CR or
// LF), each number read in the same pass that finds its end. The line ends
// at its NUL, or, `in_file_text` (the loaded text, with zero bytes behind
// it), also at its LF. Its kind.
int scan_base_line(const char *line, bool in_file_text, BaseLine *out);
// The first token of a variant line (ending at ' ', CR or LF), or null when
// the line has none or the token is too long to be stored; *length its
// bytes. The line ends as for scan_base_line.
const char *scan_variant(const char *line, bool in_file_text, int64_t *length);

// A pool's fill, as the loader counts it.
struct PoolFill {
    int64_t pos;   // bytes written
    int64_t size;  // its size
    int64_t used;  // entries stored
};

// Counts an entry of `size` bytes into the pool. false when it does not fit
// (full_message printed).
inline bool count_into_pool(PoolFill &pool, int64_t size, const char *full_message) {
    if (pool.pos + size > pool.size) {
        print_wrapped_error(full_message);
        return false;
    }
    pool.pos += size;
    pool.used++;
    return true;
}
// A base word of `size` bytes (NUL included) in the base-word pool.
inline bool count_base_word(PoolFill &pool, int64_t size) {
    return count_into_pool(pool, size, kBasePoolFull);
}
// A variant entry (length byte, text of size - 1 bytes, NUL) in the variant pool.
inline bool count_variant(PoolFill &pool, int64_t size) {
    return count_into_pool(pool, 1 + size, kVariantPoolFull);
}
// The context's pool counts, and back.
inline PoolFill base_pool(const SearchContext &c) {
    return PoolFill{c.g_baseword_pool_pos, c.g_baseword_pool_size, c.g_baseword_pool_used};
}
inline PoolFill variant_pool(const SearchContext &c) {
    return PoolFill{c.g_variant_pool_pos, c.g_variant_pool_size, c.g_variant_pool_used};
}
inline void keep_pools(SearchContext &c, const PoolFill &base, const PoolFill &variants) {
    c.g_baseword_pool_pos = base.pos;
    c.g_baseword_pool_used = base.used;
    c.g_variant_pool_pos = variants.pos;
    c.g_variant_pool_used = variants.used;
}

// Fills an entry from its word (in g_dictionary_text) and base line; no
// variants stored yet.
inline void set_entry(DictionaryEntry &entry, const char *word, const BaseLine &line) {
    entry.offset = line.offset;
    entry.word = dictionary_word_position(word);
    entry.stored_variants = 0;
}

// ---- dictionary_walk.cpp ----

constexpr int kTextBlockSize = 64;                   // bytes tested at once
constexpr int kTextChunkSize = 64 * kTextBlockSize;  // bytes whose positions are listed at once
// Positions a chunk can list: one per byte, and room for the list's
// unconditional writes behind the last one.
constexpr int kChunkPositions = kTextChunkSize + kTextBlockSize;
// Zero bytes the file text needs behind its NUL: the block read past a
// chunk's end and a group of digits read at a line's last byte.
constexpr size_t kTextPadding = 2 * kTextBlockSize;
constexpr uint32_t kPlainDigits = 8;  // digits of one group

// A chunk of a text, from a line's start, with the positions of its
// structure bytes.
struct TextChunk {
    const char *base = nullptr;  // the chunk's first byte (null: nothing listed yet)
    uint32_t count = 0;          // positions listed
    uint32_t next = 0;           // the first position not yet passed
    uint16_t positions[kChunkPositions];
};
// Lists the positions of the chunk that starts at line (up to
// kTextChunkSize bytes of [line, end), which kTextPadding zero bytes follow).
void list_chunk(const char *line, const char *end, TextChunk &chunk);
// Passes the chunk's positions that lie before line.
void pass_positions_before(const char *line, TextChunk &chunk);

// Walks the lines of the file text [text, text + size) (a NUL and
// kTextPadding zero bytes follow it) and loads each one that ends with LF
// into g_dictionary (sets g_dictionary_count and the pool counts). true at
// the end (a last line without LF is not read); false after a failure
// (message printed).
bool load_lines(SearchContext &c, const char *text, size_t size);

// Lists in positions (from `at`, ascending) every byte at or below ' ' among
// the `length` (at most kTextChunkSize) bytes at at. Reads whole blocks: up to
// kTextBlockSize - 1 bytes past the length. The count.
uint32_t list_structure_bytes(const char *at, uint32_t length, uint16_t *positions);
// The ways list_structure_bytes can work; it takes the fastest available.
enum StructureListing {
    kListPortably = 0,    // SSE2 where the compiler targets it, else byte by byte
    kListWithAvx2 = 1,    // x86 processors with AVX2
    kListWithAvx512 = 2,  // x86 processors with AVX-512 byte compress (VBMI2)
};
// Whether this processor can list with `method` (a StructureListing).
bool structure_listing_available(int method);
// list_structure_bytes with the given available method (to compare them).
uint32_t list_structure_bytes_with(int method, const char *at, uint32_t length,
                                   uint16_t *positions);

// The value of n (1 to kPlainDigits) decimal digits at p in *value; false
// when one of them is no digit. Reads 8 bytes at p.
inline bool read_digit_group(const char *p, uint32_t n, uint64_t *value) {
    constexpr uint64_t kEveryByte = 0x0101010101010101ull;
    constexpr uint64_t kHighBits = 0x8080808080808080ull;
    constexpr uint64_t kPairMask = 0x000000FF000000FFull;  // digit pairs 0-1 and 4-5
    constexpr uint64_t kHighScale = 100 + (1000000ull << 32);
    constexpr uint64_t kLowScale = 1 + (10000ull << 32);
    uint64_t group;
    memcpy(&group, p, sizeof group);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    group = __builtin_bswap64(group);
#endif
    // Digit values with the first digit in the lowest byte. Below '0' the
    // subtraction sets a byte's high bit, above '9' the addition does (a
    // borrow or carry only reaches bytes above a non-digit). Moving the digits
    // up drops the bytes after them and puts zeros (leading zero digits)
    // below them.
    const uint32_t drop = 8 * (8 - n);
    const uint64_t digits = (group - '0' * kEveryByte) << drop;
    const uint64_t outside = (digits | (group + (0x7F - '9') * kEveryByte) << drop) & kHighBits;
    const uint64_t pairs = digits * 10 + (digits >> 8);
    *value = (((pairs & kPairMask) * kHighScale) + (((pairs >> 16) & kPairMask) * kLowScale)) >> 32;
    return outside == 0;
}
