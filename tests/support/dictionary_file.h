// Test support: builds the text of vesk_dictionary.vdat. Not part of the program.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// One word: its base line "word offset count" and its variant lines.
struct DictionaryWord {
    std::string word;
    long long offset = 0;
    std::vector<std::string> variants;
};

// The file text: every word's base line (count = variants.size()) and variant
// lines, each line ended by line_end ("\n" or "\r\n").
std::string dictionary_text(const std::vector<DictionaryWord> &words,
                            const std::string &line_end = "\n");
// `count` distinct words (1 to 40 random letters and the index) with 0 to 3
// variants each and offsets up to 2^32 (some -1); the same for the same seed.
std::vector<DictionaryWord> generated_words(size_t count, unsigned seed);

}  // namespace testsupport
