// The dictionary text read block by block: byte masks of each 64-byte block,
// the LF positions of a stretch of blocks, and the common line shapes read
// from a line's masks in one step each. The loader tries the plain shapes
// first and reads every other line token by token.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr int kTextBlockSize = 64;  // bytes of one block of masks (one bit each)
// Zero bytes the file text needs behind its NUL: a last block read whole and
// a group of digits read at a line's last byte.
constexpr size_t kTextPadding = 2 * kTextBlockSize;
constexpr int kPlainOffsetDigits = 16;  // most offset digits read in one step
constexpr int kPlainCountDigits = 8;    // most count digits read in one step

// Masks of a line or a block: bit i for byte i.
struct ByteMasks {
    uint64_t low;    // every byte at or below ' ' (NUL, tab, LF, CR, space, ...)
    uint64_t space;  // ' '
};

// Masks of the kTextBlockSize bytes at p (SSE2 compares where the processor
// has them); *lf gets the LF bits.
ByteMasks text_block_masks(const char *p, uint64_t *lf);
// Appends the positions of the set bits of `bits` (lowest first), each plus
// `at`, to out, and returns how many. out needs room for 64 positions.
uint32_t append_bit_positions(uint64_t bits, uint32_t at, uint16_t *out);
// The masks from `offset` (0 to 63) bits into block `first` on, with the
// block after it behind.
inline ByteMasks line_masks(const ByteMasks &first, const ByteMasks &next, uint32_t offset) {
    // (x << 1) << (63 - offset) is x << (64 - offset), and 0 for offset 0.
    const uint32_t back = 63 - offset;
    return ByteMasks{first.low >> offset | (next.low << 1) << back,
                     first.space >> offset | (next.space << 1) << back};
}

// A base line taken apart in one step.
struct PlainBaseLine {
    uint32_t word_length;  // bytes of the word
    int64_t offset;        // the word-map offset
    uint32_t count;        // the variant count
};

// Reads a base line of `length` bytes (below 64) before its LF, with masks m
// from its first byte: "word offset count", a word of bytes above ' ', one
// space, an optional '-' and 1 to 16 digits, one space, 1 to 8 digits. These
// give exactly what the token-by-token reading gives. false (out untouched)
// for any other line. Reads up to 16 bytes past the LF.
bool read_plain_base_line(const char *line, uint32_t length, const ByteMasks &m,
                          PlainBaseLine *out);
// Whether a variant line of `length` bytes (below 64) before its LF, with
// masks m, is one token of bytes above ' ' (then the whole line is stored).
inline bool is_plain_variant_line(uint32_t length, const ByteMasks &m) {
    return length > 0 && (m.low & ((1ull << length) - 1)) == 0;
}
// The value of n (1 to 8) decimal digits at p; reads 8 bytes at p.
uint64_t read_digit_group(const char *p, uint32_t n);
// Zeroes the n bytes at p (n at most 64) with whole 16-byte reads and writes
// that leave the bytes after them as they are: up to 15 bytes past the n may
// be read and written back unchanged.
void zero_short_run(char *p, uint32_t n);
