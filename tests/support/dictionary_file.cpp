// Test support: dictionary file text.
#include "support/dictionary_file.h"

#include <random>

#include "index/index_writer.h"

namespace testsupport {

std::string dictionary_text(const std::vector<DictionaryWord> &words, const std::string &line_end) {
    std::string text;
    for (const DictionaryWord &w : words)
        append_dictionary_entry_unchecked(text, w.word, w.offset, w.variants, line_end.c_str());
    return text;
}

std::vector<DictionaryWord> generated_words(size_t count, unsigned seed) {
    std::mt19937 random(seed);
    auto text = [&random](size_t length) {
        std::string s;
        for (size_t i = 0; i < length; i++) s += (char)('a' + random() % 26);
        return s;
    };
    std::vector<DictionaryWord> words(count);
    for (size_t i = 0; i < count; i++) {
        words[i].word = text(1 + random() % 40) + std::to_string(i);
        words[i].offset = random() % 7 == 0 ? -1 : (long long)(random() % 5000000000ull);
        for (unsigned v = random() % 4; v > 0; v--)
            words[i].variants.push_back(text(1 + random() % 40));
    }
    return words;
}

}  // namespace testsupport
