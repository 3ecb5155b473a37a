#include <gtest/gtest.h>

#include <ctype.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "text/text.h"

namespace {

// Both keys of word, freed right away.
std::pair<std::string, std::string> keys_of(const std::string &word) {
    char *keys[2] = {nullptr, nullptr};
    double_metaphone(word.c_str(), keys);
    std::pair<std::string, std::string> result(keys[0], keys[1]);
    free(keys[0]);
    free(keys[1]);
    return result;
}

using Keys = std::pair<std::string, std::string>;

TEST(DoubleMetaphone, MatchesEveryReferenceVector) {
    std::ifstream file(std::string(SITEQUERY_TEST_DATA) + "/double_metaphone.tsv");
    ASSERT_TRUE(file.is_open());
    std::string line;
    int rows = 0;
    int mismatches = 0;
    std::ostringstream first_mismatches;
    while (std::getline(file, line)) {
        if (line.empty()) continue;
        size_t tab1 = line.find('\t');
        size_t tab2 = line.find('\t', tab1 + 1);
        ASSERT_NE(tab2, std::string::npos) << "malformed row: " << line;
        std::string word = line.substr(0, tab1);
        Keys expected(line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1));
        Keys actual = keys_of(word);
        ++rows;
        if (actual != expected) {
            if (++mismatches <= 20) {
                first_mismatches << word << ": got " << actual.first << "/" << actual.second
                                 << ", want " << expected.first << "/" << expected.second << "\n";
            }
        }
    }
    EXPECT_GT(rows, 45000);
    EXPECT_EQ(mismatches, 0) << first_mismatches.str();
}

TEST(DoubleMetaphone, EmptyAndNonLetterWordsGiveEmptyKeys) {
    EXPECT_EQ(keys_of(""), Keys("", ""));
    EXPECT_EQ(keys_of("1234"), Keys("", ""));
    EXPECT_EQ(keys_of("-.,!?"), Keys("", ""));
}

TEST(DoubleMetaphone, InitialXSoundsLikeS) {
    EXPECT_EQ(keys_of("x"), Keys("S", "S"));
    EXPECT_EQ(keys_of("X"), Keys("S", "S"));
    EXPECT_EQ(keys_of("Xavier"), Keys("SF", "SFR"));
}

TEST(DoubleMetaphone, SilentFirstLetterOfGnKnPnWrPs) {
    EXPECT_EQ(keys_of("knight"), Keys("NT", "NT"));
    EXPECT_EQ(keys_of("gnome"), Keys("NM", "NM"));
    EXPECT_EQ(keys_of("pneumonia"), Keys("NMN", "NMN"));
    EXPECT_EQ(keys_of("wright"), Keys("RT", "RT"));
    EXPECT_EQ(keys_of("psalm"), Keys("SLM", "SLM"));
    // Only at the start of the word: inside it both letters are coded.
    EXPECT_EQ(keys_of("akne"), Keys("AKN", "AKN"));
}

TEST(DoubleMetaphone, CaseDoesNotMatter) {
    for (const char *word : {"Schmidt", "Thompson", "Gallegos", "Jose", "Filipowicz"}) {
        std::string upper(word);
        std::string lower(word);
        for (char &ch : upper) ch = static_cast<char>(toupper(static_cast<unsigned char>(ch)));
        for (char &ch : lower) ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
        EXPECT_EQ(keys_of(upper), keys_of(lower)) << word;
        EXPECT_EQ(keys_of(word), keys_of(lower)) << word;
    }
}

TEST(DoubleMetaphone, Latin1CapitalsCedillaAndTilde) {
    EXPECT_EQ(keys_of("GAR\xC7ON"), Keys("KRSN", "KRSN"));
    // The lower-case letters are not upper-cased and so are skipped.
    EXPECT_EQ(keys_of("GAR\xE7ON"), Keys("KRN", "KRN"));
    EXPECT_EQ(keys_of("CA\xD1ON"), Keys("KNN", "KNN"));
    EXPECT_EQ(keys_of("ca\xF1on"), Keys("KN", "KN"));
    // As a UTF-8 lead byte 0xD1 codes too; its continuation byte is skipped.
    EXPECT_EQ(keys_of("\xD1\x8F"), Keys("N", "N"));
}

TEST(DoubleMetaphone, HighBytesAloneAreSkippedSafely) {
    for (int byte = 128; byte < 256; ++byte) {
        std::string word = "A" + std::string(1, static_cast<char>(byte)) + "B";
        Keys expected("AP", "AP");
        if (byte == 0xC7) expected = Keys("ASP", "ASP");
        if (byte == 0xD1) expected = Keys("ANP", "ANP");
        EXPECT_EQ(keys_of(word), expected) << "byte " << byte;
    }
}

TEST(DoubleMetaphone, KeysNeverExceedFourCharacters) {
    // The last step appends two characters to a key of three.
    EXPECT_EQ(keys_of("TAMPAX"), Keys("TMPK", "TMPK"));
    // The alternate key keeps growing after the primary has four characters.
    EXPECT_EQ(keys_of("Arnow"), Keys("ARN", "ARNF"));
    std::string long_word(5000, 'B');
    long_word += std::string(5000, 'z');
    EXPECT_EQ(keys_of(long_word), Keys("PPPP", "PPPP"));
    for (const char *word : {"supercalifragilistic", "Schwarzenegger", "accident", "xxxxxxx"}) {
        Keys keys = keys_of(word);
        EXPECT_LE(keys.first.size(), 4u) << word;
        EXPECT_LE(keys.second.size(), 4u) << word;
    }
}

TEST(DoubleMetaphone, NullWordCountsAsEmpty) {
    char *keys[2] = {nullptr, nullptr};
    double_metaphone(nullptr, keys);
    EXPECT_STREQ(keys[0], "");
    EXPECT_STREQ(keys[1], "");
    free(keys[0]);
    free(keys[1]);
}

}  // namespace
