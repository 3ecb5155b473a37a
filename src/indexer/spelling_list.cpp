// The spelling list. The search proposes, for a query word found in too few
// records, the first word of the first line under the word's phonetic key (the
// Double Metaphone primary key of the stemmed word, cut to six bytes) that is
// not the word itself. So each key's words are ranked by how likely a reader
// who typed a word of that key meant them:
//   - every base word sits under its own key;
//   - the site's frequent words (on kMinPagesToCorrect pages or more, of
//     kMinLettersToCorrect letters or more) are misspelled in every way one
//     edit away (a letter dropped, doubled, swapped with the next, replaced),
//     each misspelling stemmed and keyed as the search would, and every
//     misspelling adds its share of its word's weight to the word's standing
//     under the misspelling's key (a key no base word has gets lines of its
//     own);
//   - under a key the words with the most weight come first, then those found
//     on the most pages, then the lower ids; three to a line, at most
//     kLinesPerKey lines.
#include <libstemmer.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <unordered_map>

#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kLinesPerKey = 2;
constexpr uint32_t kMinPagesToCorrect = 5;
constexpr size_t kMinLettersToCorrect = 6;
constexpr size_t kMaxLettersToCorrect = 40;  // longer words are names, not typed
constexpr double kOtherSpellingWeight = 0.5;
constexpr double kMinMisspellingWeight = 0.01;
constexpr int kEditKinds = 4;  // drop, double, swap, replace
constexpr int kAlphabetSize = 26;

// A word's standing under one key.
struct Candidate {
    uint32_t base;
    double weight;  // share of misspellings of the word that reach the key
};

// What the list is built from: per key the candidates, and the tools that
// make a key of a typed word.
struct KeyEntry {
    std::vector<Candidate> candidates;
    bool has_base = false;  // some base word has this key
};
struct Keying {
    std::unordered_map<std::string, KeyEntry> keys;
    sb_stemmer *stemmer = nullptr;  // the index's stemmer, null without stemming
    std::string scratch;
};

// The key the search computes for typed (lower case): stemmed when the index
// is, Double Metaphone primary key, first kSpellingKeyChars bytes. "" without one.
std::string search_key(Keying &keying, const std::string &typed, bool stem) {
    keying.scratch.assign(typed);
    if (stem && keying.stemmer != nullptr &&
        stem_word_with(keying.stemmer, &keying.scratch[0], (int)keying.scratch.size()))
        keying.scratch.resize(strlen(keying.scratch.c_str()));
    char *keys[2] = {nullptr, nullptr};
    double_metaphone(keying.scratch.c_str(), keys);
    std::string key = keys[0] != nullptr ? keys[0] : "";
    free(keys[0]);
    free(keys[1]);
    if (key.size() > kSpellingKeyChars) key.resize(kSpellingKeyChars);
    return key;
}

// Whether text is a word worth misspelling: lower-case ASCII letters only, of
// a length readers type.
bool correctable(const std::string &text) {
    if (text.size() < kMinLettersToCorrect || text.size() > kMaxLettersToCorrect) return false;
    return text.find_first_not_of("abcdefghijklmnopqrstuvwxyz") == std::string::npos;
}

// A frequent word to misspell: its text in lower case, its base and the
// weight of its misspellings.
struct Frequent {
    std::string text;
    uint32_t base;
    double weight;
};

// The site's frequent words, each once. A word the search shows for its base
// (the base's spelling on the most pages) weighs 1, its other spellings
// kOtherSpellingWeight: proposing the shown spelling for them is only half right.
std::vector<Frequent> frequent_words(const IndexBuilder::State &state) {
    std::vector<uint32_t> shown(state.bases.size(), UINT32_MAX);
    for (uint32_t id = 0; id < state.surfaces.size(); id++) {
        uint32_t &best = shown[state.surfaces[id].base];
        if (best == UINT32_MAX || state.surfaces[id].pages > state.surfaces[best].pages) best = id;
    }
    std::unordered_map<std::string, std::pair<uint32_t, uint32_t>> pages;  // base, pages
    for (const SurfaceEntry &surface : state.surfaces) {
        std::string text = lower_text(surface.text);
        if (!correctable(text)) continue;
        auto &entry = pages.emplace(text, std::make_pair(surface.base, 0u)).first->second;
        entry.second += surface.pages;
    }
    std::vector<Frequent> words;
    for (const auto &entry : pages) {
        if (entry.second.second < kMinPagesToCorrect) continue;
        const uint32_t base = entry.second.first;
        const bool is_shown = lower_text(state.surfaces[shown[base]].text) == entry.first;
        words.push_back({entry.first, base, is_shown ? 1.0 : kOtherSpellingWeight});
    }
    std::sort(words.begin(), words.end(),
              [](const Frequent &a, const Frequent &b) { return a.text < b.text; });
    return words;
}

// The one-edit misspellings of word, each with its probability when a reader
// makes one edit of a kind chosen at random at a place chosen at random.
std::vector<std::pair<std::string, double>> misspellings(const std::string &word) {
    std::vector<std::pair<std::string, double>> out;
    const size_t n = word.size();
    const double kind = 1.0 / kEditKinds;
    for (size_t i = 0; i < n; i++) {
        out.emplace_back(word.substr(0, i) + word.substr(i + 1), kind / (double)n);
        out.emplace_back(word.substr(0, i + 1) + word.substr(i), kind / (double)n);
        if (i + 1 < n) {
            std::string swapped = word;
            std::swap(swapped[i], swapped[i + 1]);
            out.emplace_back(swapped, kind / (double)(n - 1));
        }
        for (char letter = 'a'; letter <= 'z'; letter++)
            if (letter != word[i]) {
                std::string replaced = word;
                replaced[i] = letter;
                out.emplace_back(replaced, kind / (double)n / (kAlphabetSize - 1));
            }
    }
    return out;
}

// Adds the misspellings of word (whose base has the text base_text) to
// the keys they reach. Misspellings that stem to the word's own base find the
// word itself and need no proposal.
void vote_misspellings(Keying &keying, const Frequent &word, const std::string &base_text) {
    std::vector<std::pair<std::string, double>> reached;
    for (const auto &typo : misspellings(word.text)) {
        if (typo.first == word.text) continue;
        const std::string key = search_key(keying, typo.first, true);
        if (key.empty() || keying.scratch == base_text) continue;
        reached.emplace_back(key, typo.second * word.weight);
    }
    std::sort(reached.begin(), reached.end());
    for (size_t i = 0; i < reached.size();) {
        double weight = 0;
        size_t end = i;
        for (; end < reached.size() && reached[end].first == reached[i].first; end++)
            weight += reached[end].second;
        keying.keys[reached[i].first].candidates.push_back({word.base, weight});
        i = end;
    }
}

// Orders one key's candidates (weights of the same word summed): most weight,
// most pages, lowest id.
void rank_candidates(const IndexBuilder::State &state, std::vector<Candidate> &list) {
    std::sort(list.begin(), list.end(),
              [](const Candidate &a, const Candidate &b) { return a.base < b.base; });
    size_t kept = 0;
    for (size_t i = 0; i < list.size(); i++) {
        if (kept > 0 && list[kept - 1].base == list[i].base)
            list[kept - 1].weight += list[i].weight;
        else
            list[kept++] = list[i];
    }
    list.resize(kept);
    std::sort(list.begin(), list.end(), [&state](const Candidate &a, const Candidate &b) {
        if (a.weight != b.weight) return a.weight > b.weight;
        const uint32_t pa = state.bases[a.base].pages, pb = state.bases[b.base].pages;
        if (pa != pb) return pa > pb;
        return a.base < b.base;
    });
}

}  // namespace

std::string spelling_list(const IndexBuilder::State &state, uint32_t first_word_id,
                          uint32_t *lines) {
    Keying keying;
    keying.stemmer = new_utf8_stemmer(state.rules.stemming_algo);
    for (uint32_t b = 0; b < state.bases.size(); b++) {
        const std::string key = search_key(keying, std::string(state.bases[b].text), false);
        if (key.empty()) continue;
        KeyEntry &entry = keying.keys[key];
        entry.candidates.push_back({b, 0});
        entry.has_base = true;
    }
    for (const Frequent &word : frequent_words(state))
        vote_misspellings(keying, word, std::string(state.bases[word.base].text));
    sb_stemmer_delete(keying.stemmer);
    std::vector<std::string> sorted;
    sorted.reserve(keying.keys.size());
    for (const auto &entry : keying.keys) sorted.push_back(entry.first);
    std::sort(sorted.begin(), sorted.end());
    std::string out;
    *lines = 0;
    for (const std::string &key : sorted) {
        KeyEntry &entry = keying.keys[key];
        std::vector<Candidate> &list = entry.candidates;
        rank_candidates(state, list);
        if (!entry.has_base && list[0].weight < kMinMisspellingWeight) continue;
        for (size_t line = 0; line < kLinesPerKey && line * kSpellingIdCount < list.size();
             line++) {
            std::vector<long long> ids;
            for (size_t k = line * kSpellingIdCount;
                 k < list.size() && ids.size() < kSpellingIdCount; k++)
                ids.push_back(first_word_id + list[k].base);
            if (append_spelling_line(out, key, ids, nullptr)) ++*lines;
        }
    }
    return out;
}

}  // namespace indexer
