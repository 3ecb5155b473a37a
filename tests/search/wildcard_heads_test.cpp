// Seeking a wildcard's head in the dictionary text: every way the processor
// offers finds exactly the positions a byte-by-byte reading finds, across
// vector edges, at the ends of the span and in either case.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "search/search.h"

namespace {

// The first position from `at` on, below end, where the head starts a text,
// read byte by byte; -1 when there is none.
long first_start_bytewise(const std::string &text, size_t at, size_t end,
                          const WildcardHead &head) {
    for (size_t p = at; p < end; p++) {
        if (p != at && (unsigned char)text[p - 1] > ' ') continue;
        bool same = true;
        for (size_t i = 0; i < head.length && same; i++)
            same = folded(text[p + i], head.case_sensitive) ==
                   folded(head.bytes[i], head.case_sensitive);
        if (same) return (long)p;
    }
    return -1;
}

TEST(WildcardHeads, EveryMethodFindsWhatTheBytesSay) {
    // Separators of every kind, both cases of the heads' letters, bytes
    // that differ from a letter only in the case bit, and high bytes.
    const char kAlphabet[] = " \n\r\t\0pPyYaA1@`\xF0\xD0";
    const struct {
        const char *pattern;
        size_t length;
    } heads[] = {{"p*", 1}, {"py*", 2}, {"P?", 1}, {"pYa*", 3},
                 {"1*", 1}, {"@*", 1},  {"`a", 2}, {"\xF0*", 1}};
    uint32_t seed = 11;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int method = kScanPortably; method <= kScanWithAvx512; method++) {
        if (!head_scan_available(method)) {
            // Said, not skipped silently: this processor lacks the instructions.
            printf("head scan %d not run: the processor lacks its instructions\n", method);
            continue;
        }
        for (int round = 0; round < 300; round++) {
            // Lengths around one and two vectors of every width, and longer.
            const size_t length = round < 200 ? (size_t)round : 200 + next(600);
            std::string text;
            for (size_t i = 0; i < length; i++) text += kAlphabet[next(sizeof kAlphabet - 1)];
            // The heads are compared up to the text's NUL, which may lie past end.
            const char *base = text.c_str();
            for (int seek = 0; seek < 4; seek++) {
                const size_t at = length > 0 ? next((uint32_t)length) : 0;
                const size_t end = at + next((uint32_t)(length - at + 1));
                for (const auto &h : heads) {
                    for (bool case_sensitive : {false, true}) {
                        const WildcardHead head{h.pattern, h.length, case_sensitive};
                        const char *found =
                            next_head_start_with(method, base + at, base + end, head);
                        EXPECT_EQ(found != nullptr ? found - base : -1,
                                  first_start_bytewise(text, at, end, head))
                            << "method " << method << ", head " << h.pattern << ", case "
                            << case_sensitive << ", length " << length << ", at " << at << ", end "
                            << end;
                    }
                }
            }
        }
    }
}

}  // namespace
