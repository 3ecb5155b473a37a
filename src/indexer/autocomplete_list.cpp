// The autocomplete list: the site's words (in lower case, as they are
// spelled on its pages) and the two-word phrases of its titles and headings.
// The search offers the lines that begin with what was typed in the order of
// the file, so the list is in order of use: most pages first, then most
// occurrences in the pages' text (a phrase counts its pages), then byte order.
// Words shorter than kMinLetters bytes, numbers and phrases found on a single
// page of a larger site are left out; each line stays within kMaxLineBytes so
// that a small line buffer serves the list.
#include <algorithm>
#include <map>

#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kMaxSuggestions = 2000;
constexpr size_t kMaxLineBytes = 40;
constexpr size_t kMinLetters = 3;
constexpr uint32_t kSmallSite = 50;  // pages below which single-page phrases count

bool usable(const std::string &text) {
    if (text.size() < kMinLetters || text.size() > kMaxLineBytes) return false;
    return text.find_first_not_of("0123456789 ") != std::string::npos;
}

// How much a suggestion is used.
struct Use {
    uint64_t pages = 0;
    uint64_t occurrences = 0;
};

// Occurrences of each spelling in the pages' text.
std::vector<uint64_t> occurrences(const IndexBuilder::State &state) {
    std::vector<uint64_t> count(state.surfaces.size(), 0);
    for (size_t i = 0; i < state.page_text.size(); i++) {
        const uint32_t record = state.page_text[i];
        if ((record & kReservedFlag) == 0 && record < count.size()) count[record]++;
    }
    return count;
}

}  // namespace

std::string autocomplete_list(const IndexBuilder::State &state) {
    std::map<std::string, Use> uses;
    const std::vector<uint64_t> occurred = occurrences(state);
    for (uint32_t id = 0; id < state.surfaces.size(); id++) {
        const std::string text = lower_text(state.surfaces[id].text);
        if (!usable(text)) continue;
        Use &use = uses[text];
        use.pages += state.surfaces[id].pages;
        use.occurrences += occurred[id];
    }
    const uint32_t least = state.pages.size() < kSmallSite ? 1 : 2;
    for (const auto &phrase : state.phrases)
        if (phrase.second >= least && usable(phrase.first)) {
            Use &use = uses[phrase.first];
            use.pages += phrase.second;
            use.occurrences += phrase.second;
        }
    std::vector<std::pair<std::string, Use>> ranked(uses.begin(), uses.end());
    // The map gives byte order; a stable sort keeps it among equals.
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) {
        if (a.second.pages != b.second.pages) return a.second.pages > b.second.pages;
        return a.second.occurrences > b.second.occurrences;
    });
    if (ranked.size() > kMaxSuggestions) ranked.resize(kMaxSuggestions);
    std::string out;
    for (const auto &entry : ranked) append_autocomplete_line(out, entry.first, nullptr);
    return out;
}

}  // namespace indexer
