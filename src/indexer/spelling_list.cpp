// The spelling list: every base word with a Double Metaphone primary key (the
// program's own implementation, as the search computes the key of a stemmed
// query word), grouped by the key's first six bytes, sorted by key; within a
// key the words found on the most pages come first, three to a line and at
// most kLinesPerKey lines, so that a suggestion prefers the site's frequent
// words and still has others when the first candidates are the query word
// itself.
#include <stdlib.h>

#include <algorithm>

#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kLinesPerKey = 2;

struct Keyed {
    std::string key;
    uint32_t pages;
    uint32_t id;
};

}  // namespace

std::string spelling_list(const IndexBuilder::State &state, uint32_t first_word_id,
                          uint32_t *lines) {
    std::vector<Keyed> words;
    std::string word;
    for (uint32_t b = 0; b < state.bases.size(); b++) {
        word.assign(state.bases[b].text);
        char *keys[2] = {nullptr, nullptr};
        double_metaphone(word.c_str(), keys);
        std::string key = keys[0] != nullptr ? keys[0] : "";
        free(keys[0]);
        free(keys[1]);
        if (key.empty()) continue;
        key.resize(std::min<size_t>(key.size(), kSpellingKeyChars));
        words.push_back({key, state.bases[b].pages, first_word_id + b});
    }
    std::sort(words.begin(), words.end(), [](const Keyed &a, const Keyed &b) {
        if (a.key != b.key) return a.key < b.key;
        if (a.pages != b.pages) return a.pages > b.pages;
        return a.id < b.id;
    });
    std::string out;
    *lines = 0;
    for (size_t i = 0; i < words.size();) {
        size_t end = i;
        while (end < words.size() && words[end].key == words[i].key) end++;
        for (size_t line = 0; line < kLinesPerKey && i + line * kSpellingIdCount < end; line++) {
            std::vector<long long> ids;
            for (size_t k = i + line * kSpellingIdCount; k < end && ids.size() < kSpellingIdCount;
                 k++)
                ids.push_back(words[k].id);
            if (append_spelling_line(out, words[i].key, ids, nullptr)) ++*lines;
        }
        i = end;
    }
    return out;
}

}  // namespace indexer
