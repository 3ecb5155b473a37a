// UTF-8 in one place: the lead-byte units of the lower-casing, the decoding of
// one well-formed character, the cut of a text on a character boundary, and
// the encoding of a code point. Every layer above uses these; nothing here
// allocates, reads past what a caller allows, or keeps state.
//
// Contract of the decoder (utf8_decode), the one test of "is this a character":
// a character is the shortest encoding of a Unicode scalar value, 1 to 4
// bytes. Refused (result 0, nothing decoded): a continuation byte 0x80-0xBF
// where a character starts; the lead bytes C0, C1 and F5-FF, which start no
// character; an overlong form (E0 with a second byte below A0, F0 below 90);
// a surrogate (ED with a second byte above 9F); a value above U+10FFFF (F4
// with a second byte above 8F); a sequence cut short by the end of the bytes
// allowed or by a byte that is no continuation byte. A caller that steps over
// refused bytes takes one byte at a time, so the bytes after a bad lead byte
// are looked at again as characters of their own.
#pragma once

#include <stddef.h>
#include <stdint.h>

constexpr int kUtf8MaxBytes = 4;             // longest character
constexpr int kUtf8MaxUnitBytes = 6;         // longest lead-byte unit
constexpr uint32_t kUnicodeLast = 0x10FFFF;  // largest scalar value
constexpr unsigned char kUtf8ContinuationMask = 0xC0;
constexpr unsigned char kUtf8ContinuationBits = 0x80;

// Whether byte continues a character (0x80-0xBF).
inline bool utf8_is_continuation(unsigned char byte) {
    return (byte & kUtf8ContinuationMask) == kUtf8ContinuationBits;
}

// Length of the unit a byte starts, from that byte alone, as the lower-casing
// frames text: 0x00-0xBF 1 (a stray continuation byte is a unit of its own),
// 0xC0-0xDF 2, 0xE0-0xEF 3, 0xF0-0xF7 4, 0xF8-0xFB 5, 0xFC-0xFF 6.
int utf8_unit_length(unsigned char lead);

// Decodes the character at bytes, of which at most available (>= 1) may be
// read, into *cp (when not null). Its byte count (1 to 4), or 0 when the bytes
// there form no character (see the contract above). The bytes are read in
// order and reading stops at the first that does not fit, so a NUL-terminated
// text may pass kUtf8MaxBytes whatever is left of it.
int utf8_decode(const unsigned char *bytes, size_t available, uint32_t *cp);

// Where a text cut after `length` bytes should end so that it ends on no part
// of a character: when the last byte before the cut that is no continuation
// byte (at most kUtf8MaxBytes back) is a lead byte of 0xC0-0xF7 whose
// sequence reaches past the cut, the cut moves before that lead byte;
// otherwise it stays at length. For well-formed text this drops the character
// the cut splits, and only it.
size_t utf8_cut_length(const char *text, size_t length);

// Encodes a scalar value (at most U+10FFFF) into out (room for kUtf8MaxBytes)
// and returns its byte count.
constexpr int utf8_encode(uint32_t cp, char *out) {
    constexpr uint32_t kSixBits = 0x3F;
    if (cp < 0x80) {
        out[0] = (char)cp;
        return 1;
    }
    if (cp < 0x800) {
        out[0] = (char)(0xC0 | (cp >> 6));
        out[1] = (char)(0x80 | (cp & kSixBits));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = (char)(0xE0 | (cp >> 12));
        out[1] = (char)(0x80 | ((cp >> 6) & kSixBits));
        out[2] = (char)(0x80 | (cp & kSixBits));
        return 3;
    }
    out[0] = (char)(0xF0 | (cp >> 18));
    out[1] = (char)(0x80 | ((cp >> 12) & kSixBits));
    out[2] = (char)(0x80 | ((cp >> 6) & kSixBits));
    out[3] = (char)(0x80 | (cp & kSixBits));
    return 4;
}
