// Lower-casing through the case table: the whole table against the Unicode
// data files, the growth and cut rules of in-place lower-casing, and the
// handling of malformed input.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "context/utf8.h"
#include "support/utf8.h"
#include "text/text.h"

namespace {

constexpr uint32_t kLastCodePoint = 0x10FFFF;
constexpr int kGuardBytes = 16;
constexpr char kGuardByte = 0x5A;

class UnicodeTest : public ::testing::Test {
   protected:
    void SetUp() override { ASSERT_EQ(load_unicode_tables(), 0); }
    void TearDown() override { unload_unicode_tables(); }
};

std::string utf8(uint32_t cp) {
    return testsupport::utf8_encoded(cp);
}

// Lower-cases text in a buffer of exactly capacity bytes followed by guard
// bytes, and checks that the guard is untouched and the result terminated.
std::string lower(const std::string &text, int capacity) {
    std::vector<char> buffer((size_t)capacity + kGuardBytes, kGuardByte);
    memcpy(buffer.data(), text.data(), std::min(text.size() + 1, (size_t)capacity));
    int length = utf8_to_lower(buffer.data(), capacity);
    for (int i = capacity; i < capacity + kGuardBytes; ++i) {
        EXPECT_EQ(buffer[(size_t)i], kGuardByte) << "written past the capacity at " << i;
    }
    EXPECT_LT(length, capacity);
    EXPECT_EQ((size_t)length, strlen(buffer.data()));
    return std::string(buffer.data(), (size_t)length);
}

std::string lower(const std::string &text) {
    return lower(text, (int)text.size() * 2 + 8);
}

// ---- the whole table against an independent reading of the data files ----

std::string data_path(const char *name) {
    return std::string(SITEQUERY_TEST_DATA) + "/unicode/" + name;
}

// Code points assigned in Unicode 5.0 or earlier, from DerivedAge.txt.
std::vector<bool> read_assigned_by_5_0() {
    std::vector<bool> assigned(kLastCodePoint + 1, false);
    std::ifstream in(data_path("DerivedAge.txt"));
    EXPECT_TRUE(in) << "cannot read DerivedAge.txt";
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        size_t semicolon = line.find(';');
        if (semicolon == std::string::npos) continue;
        unsigned first = 0, last = 0, major = 0, minor = 0;
        std::string range = line.substr(0, semicolon);
        if (sscanf(range.c_str(), "%x..%x", &first, &last) < 2) last = first;
        if (sscanf(line.c_str() + semicolon + 1, " %u.%u", &major, &minor) != 2) continue;
        if (major > 5 || (major == 5 && minor > 0)) continue;
        for (unsigned cp = first; cp <= last && cp <= kLastCodePoint; ++cp) assigned[cp] = true;
    }
    return assigned;
}

// Simple lower-case mappings (field 13) of UnicodeData.txt.
std::map<uint32_t, uint32_t> read_lower_mappings() {
    std::map<uint32_t, uint32_t> mappings;
    std::ifstream in(data_path("UnicodeData.txt"));
    EXPECT_TRUE(in) << "cannot read UnicodeData.txt";
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream stream(line);
        std::string field;
        while (std::getline(stream, field, ';')) fields.push_back(field);
        if (fields.size() > 13 && !fields[13].empty()) {
            mappings[(uint32_t)strtoul(fields[0].c_str(), nullptr, 16)] =
                (uint32_t)strtoul(fields[13].c_str(), nullptr, 16);
        }
    }
    return mappings;
}

TEST_F(UnicodeTest, EveryCodePointLowerCasesAsTheUnicodeDataSays) {
    std::vector<bool> assigned = read_assigned_by_5_0();
    std::map<uint32_t, uint32_t> mappings = read_lower_mappings();
    ASSERT_GT(mappings.size(), 1000u);
    int changed = 0;
    int failures = 0;
    for (uint32_t cp = 1; cp <= kLastCodePoint; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        uint32_t expected = cp;
        auto it = mappings.find(cp);
        if (it != mappings.end() && assigned[cp] && assigned[it->second]) expected = it->second;
        if (expected != cp) ++changed;
        char text[16] = {0};
        std::string source = utf8(cp);
        memcpy(text, source.data(), source.size());
        utf8_to_lower(text, sizeof text);
        if (text != utf8(expected) && ++failures <= 10) {
            ADD_FAILURE() << std::hex << "U+" << cp << " should become U+" << expected;
        }
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(changed, 922);
}

TEST_F(UnicodeTest, LowerCasesWordsAndReturnsTheNewLength) {
    EXPECT_EQ(lower("ΣΟΦΊΑ"), "σοφία");      // capital sigma always becomes σ
    EXPECT_EQ(lower("ẞ πрā Ꙁ"), "ẞ πрā Ꙁ");  // new after 5.0, or lower case already
    EXPECT_EQ(lower(""), "");
    char shrinks[32] = "İstanbul";
    EXPECT_EQ(utf8_to_lower(shrinks, sizeof shrinks), 8);
    EXPECT_STREQ(shrinks, "istanbul");
    char grows[32] = "Ⱥ";
    EXPECT_EQ(utf8_to_lower(grows, sizeof grows), 3);
    EXPECT_STREQ(grows, "ⱥ");
}

TEST_F(UnicodeTest, KeepsMalformedUnitsByteForByte) {
    const struct {
        const char *text;
        const char *expected;
    } cases[] = {
        {"\xC3\x41", "\xC3\x41"},                                  // the lead byte swallows "A"
        {"AB\xC3", "ab\xC3"},                                      // cut short by the end
        {"\xE2\x84", "\xE2\x84"},                                  // U+212A cut short
        {"\x80\x41", "\x80\x61"},                                  // stray continuation byte
        {"\xC1\x81\x42", "\xC1\x81\x62"},                          // overlong "A"
        {"\xE0\x81\x81", "\xE0\x81\x81"},                          // overlong "A"
        {"\xF0\x80\x81\x81", "\xF0\x80\x81\x81"},                  // overlong "A"
        {"\xE0\x83\x80", "\xE0\x83\x80"},                          // overlong "À"
        {"\xF8\x41\x42\x43\x44\x45", "\xF8\x41\x42\x43\x44\x65"},  // 5-byte unit
        {"\xED\xA0\x80\x41", "\xED\xA0\x80\x61"},                  // surrogate
    };
    for (const auto &c : cases) EXPECT_EQ(lower(c.text), c.expected);
}

TEST_F(UnicodeTest, EveryHighByteBeforeLettersIsSafe) {
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        std::string text = std::string(1, (char)byte) + "ABCDEFG";
        int swallowed = utf8_unit_length((unsigned char)byte) - 1;
        std::string expected = text.substr(0, 1 + (size_t)swallowed);
        for (size_t i = expected.size(); i < text.size(); ++i) expected += (char)(text[i] + 32);
        EXPECT_EQ(lower(text), expected) << "lead byte " << byte;
    }
}

TEST_F(UnicodeTest, UnitReportsTheReplacementOrTheUnit) {
    const struct {
        const char *name;
        const char *text;
        int available;
        int unit_length;    // bytes the unit takes in the text
        int length;         // bytes of its lower-case form
        const char *lower;  // that form, or null: the text itself
    } cases[] = {
        {"shorter replacement", "\xC4\xB0x", 3, 2, 1, "i"},  // U+0130
        {"not in the table", "\xC3\xA9", 2, 2, 2, nullptr},
        {"cut short by the bytes allowed", "\xE2\x84\xAA", 2, 2, 2, nullptr},
        {"ASCII", "Q", 1, 1, 1, "q"},
    };
    for (const auto &c : cases) {
        const char *out = nullptr;
        int unit_length = 0;
        EXPECT_EQ(lower_utf8_unit(c.text, c.available, &unit_length, &out), c.length) << c.name;
        EXPECT_EQ(unit_length, c.unit_length) << c.name;
        if (c.lower == nullptr)
            EXPECT_EQ(out, c.text) << c.name;
        else
            EXPECT_EQ(std::string(out, (size_t)c.length), c.lower) << c.name;
    }
}

TEST_F(UnicodeTest, ResultIsCutAtAWholeCharacterWithinTheCapacity) {
    EXPECT_EQ(lower("ȺȺ", 7), "ⱥⱥ");
    EXPECT_EQ(lower("ȺȺ", 6), "ⱥ");
    EXPECT_EQ(lower("ȺȺ", 5), "ⱥ");
    EXPECT_EQ(lower("Ⱥ", 3), "");
    EXPECT_EQ(lower("aȺ", 4), "a");
    // Shrinking characters after growing ones: the whole result fits exactly.
    EXPECT_EQ(lower("ȺȺİİ", 9), "ⱥⱥii");
    EXPECT_EQ(lower("İȺİȺİ", 11), "iⱥiⱥi");
    EXPECT_EQ(lower("İȺİȺİ", 10), "iⱥiⱥ\xC4");  // the last İ cut short by the capacity
    // A text not terminated within its capacity.
    char text[4] = {'A', 'B', 'C', 'D'};
    EXPECT_EQ(utf8_to_lower(text, sizeof text), 3);
    EXPECT_STREQ(text, "abc");
    EXPECT_EQ(utf8_to_lower(text, 0), 0);
    // utf8_lower_capacity leaves room for the worst growth.
    std::string growing;
    for (int i = 0; i < 50; ++i) growing += "Ⱥ";
    EXPECT_EQ(lower(growing, utf8_lower_capacity((int)growing.size())).size(), 150u);
}

// Texts of whole characters with known lower-case forms, lower-cased at
// random capacities: the result must be the longest prefix of whole
// characters that fits.
TEST_F(UnicodeTest, RandomTextsMatchTheirCharacterByCharacterForm) {
    struct Piece {
        const char *text;
        const char *lowered;
    };
    const Piece pieces[] = {
        {"A", "a"},
        {"z", "z"},
        {"Ⱥ", "ⱥ"},
        {"Ⱦ", "ⱦ"},
        {"İ", "i"},
        {"\xE2\x84\xAA", "k"},
        {"É", "é"},
        {"Ω", "ω"},
        {"\xE2\x84\xA6", "ω"},
        {"\x80", "\x80"},
        {"\xC1\x81", "\xC1\x81"},
        {"ⱥ", "ⱥ"},
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\xA8"},
    };
    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::vector<const Piece *> chosen(random() % 12);
        std::string text;
        for (auto &piece : chosen) {
            piece = &pieces[random() % (sizeof pieces / sizeof pieces[0])];
            text += piece->text;
        }
        int capacity = (int)text.size() + 1 + (int)(random() % 8) - 3;
        if (capacity < 1) capacity = 1;
        // The input is taken up to capacity - 1 bytes; a piece cut there is
        // a unit cut short and stays as it is.
        size_t taken = std::min(text.size(), (size_t)capacity - 1);
        std::vector<std::string> forms;
        size_t used = 0;
        for (const Piece *piece : chosen) {
            size_t length = strlen(piece->text);
            if (used + length > taken) {
                if (used < taken) forms.push_back(text.substr(used, taken - used));
                break;
            }
            forms.push_back(piece->lowered);
            used += length;
        }
        std::string expected;
        for (const std::string &form : forms) {
            if (expected.size() + form.size() > (size_t)capacity - 1) break;
            expected += form;
        }
        ASSERT_EQ(lower(text, capacity), expected) << "round " << round << " capacity " << capacity;
    }
}

TEST(UnicodeTables, LoadIsIdempotentAndUnloadedTablesChangeNothing) {
    unload_unicode_tables();
    EXPECT_EQ(lower("ABC"), "ABC");
    EXPECT_EQ(load_unicode_tables(), 0);
    EXPECT_EQ(load_unicode_tables(), 0);
    EXPECT_EQ(lower("ABC"), "abc");
    unload_unicode_tables();
    unload_unicode_tables();
    EXPECT_EQ(lower("ABC"), "ABC");
}

}  // namespace
