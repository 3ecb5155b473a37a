// The one UTF-8 decoder and its cut: every refusal the contract names, the
// bounds it may read, and every scalar value through the encoder and back.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "context/utf8.h"

namespace {

struct DecodeRow {
    const char *name;
    const char *bytes;  // the bytes at the start (a NUL ends them)
    size_t available;   // bytes the decoder may read
    int length;         // its result
    uint32_t cp;        // the character, when length > 0
};

const DecodeRow kDecodeRows[] = {
    {"ASCII", "A", 1, 1, 'A'},
    {"two bytes", "\xC3\xA9", 2, 2, 0xE9},
    {"smallest two-byte", "\xC2\x80", 2, 2, 0x80},
    {"three bytes", "\xE2\x82\xAC", 3, 3, 0x20AC},
    {"smallest three-byte", "\xE0\xA0\x80", 3, 3, 0x800},
    {"last before surrogates", "\xED\x9F\xBF", 3, 3, 0xD7FF},
    {"first after surrogates", "\xEE\x80\x80", 3, 3, 0xE000},
    {"four bytes", "\xF0\x9F\x98\x80", 4, 4, 0x1F600},
    {"largest scalar", "\xF4\x8F\xBF\xBF", 4, 4, 0x10FFFF},
    {"only the first character", "\xC3\xA9\xC3\xA9", 4, 2, 0xE9},
    {"stray continuation byte", "\x80", 1, 0, 0},
    {"last continuation byte", "\xBF\x80", 2, 0, 0},
    {"overlong C0", "\xC0\x80", 2, 0, 0},
    {"overlong C1", "\xC1\xBF", 2, 0, 0},
    {"overlong three-byte", "\xE0\x9F\xBF", 3, 0, 0},
    {"overlong four-byte", "\xF0\x8F\xBF\xBF", 4, 0, 0},
    {"first surrogate", "\xED\xA0\x80", 3, 0, 0},
    {"last surrogate", "\xED\xBF\xBF", 3, 0, 0},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", 4, 0, 0},
    {"lead F5", "\xF5\x80\x80\x80", 4, 0, 0},
    {"five-byte lead", "\xF8\x88\x80\x80\x80", 5, 0, 0},
    {"six-byte lead", "\xFC\x84\x80\x80\x80\x80", 6, 0, 0},
    {"lead alone", "\xC3", 1, 0, 0},
    {"cut by the bytes allowed", "\xE2\x82\xAC", 2, 0, 0},
    {"cut by the NUL", "\xE2\x82", kUtf8MaxBytes, 0, 0},
    {"cut by an ASCII byte", "\xE2\x82Z", 3, 0, 0},
    {"second byte no continuation", "\xC3Z", 2, 0, 0},
    {"fourth byte no continuation", "\xF0\x9F\x98Z", 4, 0, 0},
};

TEST(Utf8Decode, EveryCharacterKindAndEveryRefusal) {
    for (const DecodeRow &row : kDecodeRows) {
        uint32_t cp = 0xDEADu;
        const int length = utf8_decode((const unsigned char *)row.bytes, row.available, &cp);
        EXPECT_EQ(length, row.length) << row.name;
        EXPECT_EQ(cp, row.length > 0 ? row.cp : 0xDEADu) << row.name << ": untouched when refused";
        EXPECT_EQ(utf8_decode((const unsigned char *)row.bytes, row.available, nullptr), row.length)
            << row.name;
    }
}

// The decoder reads no byte past the first that does not fit: a text at the
// end of its buffer may pass kUtf8MaxBytes (the sanitizer build checks the
// bounds of these heap copies).
TEST(Utf8Decode, ReadsNothingBehindTheByteThatEndsASequence) {
    const std::string cases[] = {std::string("\xE2\0", 2), std::string("\xF0\x9F\0", 3),
                                 "\xC3"
                                 "A",
                                 "\xE2\x82Z"};
    for (const std::string &bytes : cases) {
        unsigned char *copy = new unsigned char[bytes.size()];
        memcpy(copy, bytes.data(), bytes.size());
        EXPECT_EQ(utf8_decode(copy, kUtf8MaxBytes, nullptr), 0) << bytes;
        delete[] copy;
    }
}

TEST(Utf8Decode, EveryScalarValueComesBackFromItsEncoding) {
    int failures = 0;
    for (uint32_t cp = 0; cp <= kUnicodeLast && failures < 5; cp++) {
        char bytes[kUtf8MaxBytes];
        const int length = utf8_encode(cp, bytes);
        uint32_t back = 0;
        const int decoded = utf8_decode((const unsigned char *)bytes, (size_t)length, &back);
        const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
        const bool right = surrogate ? decoded == 0 : decoded == length && back == cp;
        const int expected_length = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
        if (!right || length != expected_length) {
            ADD_FAILURE() << "U+" << std::hex << cp << ": " << length << " bytes, " << decoded;
            failures++;
        }
    }
}

TEST(Utf8Units, LengthFromTheFirstByteAlone) {
    const struct {
        int first, last, length;
    } ranges[] = {{0x00, 0xBF, 1}, {0xC0, 0xDF, 2}, {0xE0, 0xEF, 3},
                  {0xF0, 0xF7, 4}, {0xF8, 0xFB, 5}, {0xFC, 0xFF, 6}};
    for (const auto &range : ranges)
        for (int byte = range.first; byte <= range.last; byte++)
            EXPECT_EQ(utf8_unit_length((unsigned char)byte), range.length) << byte;
    for (int byte = 0; byte < 256; byte++)
        EXPECT_EQ(utf8_is_continuation((unsigned char)byte), byte >= 0x80 && byte <= 0xBF);
}

TEST(Utf8Cut, NeverEndsInsideACharacter) {
    const struct {
        const char *name;
        const char *text;
        size_t cut;
        size_t kept;
    } cases[] = {
        {"nothing", "", 0, 0},
        {"ASCII", "abcdef", 3, 3},
        {"after a whole character", "a\xC3\xA9z", 3, 3},
        {"inside a two-byte character", "a\xC3\xA9z", 2, 1},
        {"after the lead of a three-byte character", "ab\xE2\x82\xAC", 3, 2},
        {"inside a three-byte character", "ab\xE2\x82\xAC", 4, 2},
        {"inside a four-byte character", "\xF0\x9F\x98\x80", 3, 0},
        {"after a four-byte character", "\xF0\x9F\x98\x80!", 4, 4},
        {"continuation bytes only", "\x80\x80\x80", 2, 2},
        {"more continuation bytes than a character has", "\xC3\x80\x80\x80\x80", 5, 5},
        {"a five-byte lead is no character's", "\xF8\x88\x80", 3, 3},
        {"a lead byte alone at the end", "ab\xC3", 3, 2},
    };
    for (const auto &c : cases) EXPECT_EQ(utf8_cut_length(c.text, c.cut), c.kept) << c.name;
}

}  // namespace
