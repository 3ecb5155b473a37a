// The structure listing of the dictionary text (every method this processor
// has, against a byte loop) and the digit groups of plain base lines.
#include <gtest/gtest.h>
#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "index/dictionary_lines.h"

namespace {

TEST(StructureListing, EveryMethodListsTheBytesAtOrBelowSpace) {
    const char structure[] = {' ', '\n', '\r', '\0', '\t', 0x1F};
    const char other[] = {'!', 'a', '0', 0x7F, (char)0x80, (char)0xFF};
    std::mt19937 random(7);
    for (int method : {kListPortably, kListWithAvx2, kListWithAvx512}) {
        if (!structure_listing_available(method)) {
            // Said, not skipped silently: this processor lacks the instructions.
            printf("structure listing %d not run: the processor lacks its instructions\n", method);
            continue;
        }
        for (uint32_t length : {0u, 1u, 63u, 64u, 65u, 127u, 1000u, (uint32_t)kTextChunkSize})
            for (uint32_t density : {1u, 3u, 9u}) {  // one byte in `density` is a structure byte
                std::string text(length + kTextPadding, '\0');
                std::vector<uint16_t> expected;
                for (uint32_t i = 0; i < length; i++) {
                    const bool found = random() % density == 0;
                    text[i] = found ? structure[random() % sizeof structure]
                                    : other[random() % sizeof other];
                    if (found) expected.push_back((uint16_t)i);
                }
                std::vector<uint16_t> positions(kChunkPositions);
                positions.resize(
                    list_structure_bytes_with(method, text.data(), length, positions.data()));
                EXPECT_EQ(positions, expected) << method << " " << length << " " << density;
            }
    }
}

TEST(PlainDigits, GroupsOfOneToEightDigits) {
    struct Case {
        std::string text;  // padded to 8 readable bytes below
        uint32_t n;
        bool digits;
        uint64_t value;  // when digits
    };
    const std::vector<Case> cases = {
        {"12345678", 8, true, 12345678},
        {"00000001", 8, true, 1},
        {"99999999", 8, true, 99999999},
        {"7abc", 1, true, 7},
        {"1234 567", 4, true, 1234},
        {"0\n", 1, true, 0},
        {"12a45678", 8, false, 0},
        {"/", 1, false, 0},
        {":", 1, false, 0},
        {"1\x80", 2, false, 0},
        {" 1", 2, false, 0},
        {"9876543\xff", 8, false, 0},
    };
    for (const Case &test : cases) {
        std::string text = test.text + std::string(8, 'x');
        uint64_t value = 0;
        EXPECT_EQ(read_digit_group(text.data(), test.n, &value), test.digits) << test.text;
        if (test.digits) {
            EXPECT_EQ(value, test.value) << test.text;
        }
    }
}

}  // namespace
