// The dictionary text read chunk by chunk: the positions of its structure
// bytes (every byte at or below ' ': spaces, LFs, CRs, NULs, ...) found with
// whole 64-byte blocks at a time, and the numbers of a plain base line read
// eight digits at a time. The loader reads a line of the plain shapes from
// these positions and every other line token by token.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

constexpr int kTextBlockSize = 64;                   // bytes tested at once
constexpr int kTextChunkSize = 64 * kTextBlockSize;  // bytes whose positions are listed at once
// Positions a chunk can list: one per byte, and room for the list's
// unconditional writes behind the last one.
constexpr int kChunkPositions = kTextChunkSize + kTextBlockSize;
// Zero bytes the file text needs behind its NUL: the block read past a
// chunk's end and a group of digits read at a line's last byte.
constexpr size_t kTextPadding = 2 * kTextBlockSize;
constexpr uint32_t kPlainDigits = 8;  // most offset digits of a plain base line

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
