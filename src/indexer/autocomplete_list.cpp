// The autocomplete list: the site's words (in lower case, as they are
// spelled on its pages) and the two-word phrases of its titles and headings,
// ranked by the number of pages they occur on, most first (ties in byte
// order). Words shorter than kMinLetters bytes, numbers and phrases found on
// a single page of a larger site are left out; each line stays within
// kMaxLineBytes so that a small line buffer serves the list.
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

}  // namespace

std::string autocomplete_list(const IndexBuilder::State &state) {
    std::map<std::string, uint32_t> pages;
    for (const SurfaceEntry &surface : state.surfaces) {
        const std::string text = lower_text(surface.text);
        if (usable(text)) pages[text] += surface.pages;
    }
    const uint32_t least = state.pages.size() < kSmallSite ? 1 : 2;
    for (const auto &phrase : state.phrases)
        if (phrase.second >= least && usable(phrase.first)) pages[phrase.first] += phrase.second;
    std::vector<std::pair<std::string, uint32_t>> ranked(pages.begin(), pages.end());
    std::stable_sort(ranked.begin(), ranked.end(),
                     [](const auto &a, const auto &b) { return a.second > b.second; });
    if (ranked.size() > kMaxSuggestions) ranked.resize(kMaxSuggestions);
    std::string out;
    for (const auto &entry : ranked) append_autocomplete_line(out, entry.first, nullptr);
    return out;
}

}  // namespace indexer
