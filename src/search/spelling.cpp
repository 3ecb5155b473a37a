// Spelling suggestions from the phonetic keys of the spelling list: each query
// word found in too few word-map records is replaced by a dictionary word that
// sounds alike, and the corrected query is offered as a "did you mean" link.
#include <stdlib.h>
#include <string.h>

#include <new>
#include <string>

#include "index/index.h"
#include "search/search.h"
#include "text/text.h"

namespace {

constexpr int kProposalCount = 3;   // a one-word query gets up to three proposals
constexpr int kBytesPerEscape = 5;  // escape_html writes "&#NN;" for one byte
constexpr int kBytesPerEncode = 3;  // url_encode writes "%XX" for one byte

// What the spelling list offers for one rare word.
struct Candidates {
    WordText first;                     // the replacement; null bytes: none
    WordText more[kProposalCount - 1];  // further proposals of a one-word query; null bytes: none
};
constexpr WordText kNoCandidate = {nullptr, 0};

// Whether the count of word-map records makes a query word rare.
bool is_rare(const SearchContext &c, uint32_t records) {
    return (int64_t)records < (int64_t)c.SpellingWhenLessThan;
}

// Turns Spelling off unless some query word is rare.
void decide_spelling(SearchContext &c, const SearchRun &run) {
    if (c.Spelling != 1) return;
    c.Spelling = 0;
    for (uint32_t t = 0; t < c.g_query_word_count; t++)
        if (is_rare(c, run.term_record_counts[t])) {
            c.Spelling = 1;
            return;
        }
}

// The Double Metaphone primary key of word into key ("" when it has none).
// false when there is no memory for the keys.
bool primary_key(const char *word, std::string &key) {
    char *keys[2] = {nullptr, nullptr};
    if (!double_metaphone(word, keys)) return false;
    key = keys[0];
    free(keys[0]);
    free(keys[1]);
    return true;
}

// The display form of dictionary word id when it is a usable candidate for the
// query word w: a word the dictionary holds whose normalised form is not w.
// kNoCandidate otherwise.
WordText usable_candidate(SearchContext &c, uint32_t id, const char *w, std::string &scratch) {
    if (id == 0 || id >= c.g_dictionary_count) return kNoCandidate;
    const WordText display = get_word_display_form(id);
    if (display.length == 0) return kNoCandidate;
    scratch.assign(display.bytes, display.length);
    scratch.resize((size_t)utf8_lower_capacity((int)display.length));
    normalise_spelling_word(c, &scratch[0], (int)scratch.size());
    return strcmp(scratch.c_str(), w) == 0 ? kNoCandidate : display;
}

// Scans the spelling list, sorted by key, for the first record of key that
// holds a usable candidate; a one-word query also takes the record's later
// candidates as further proposals.
Candidates find_candidates(SearchContext &c, const std::string &key, const char *w) {
    Candidates found = {kNoCandidate, {kNoCandidate, kNoCandidate}};
    std::string scratch;
    for (uint32_t i = 0; i < c.g_spelling_count; i++) {
        const SpellingEntry &entry = c.g_spelling_entries[i];
        const int order = strcmp(entry.key, key.c_str());
        if (order < 0) continue;
        if (order > 0) break;
        for (int j = 0; j < kSpellingIdCount; j++) {
            found.first = usable_candidate(c, entry.ids[j], w, scratch);
            if (found.first.bytes == nullptr) continue;
            if (c.g_query_word_count == 1)
                for (int k = j + 1; k < kSpellingIdCount; k++)
                    found.more[k - 1] = usable_candidate(c, entry.ids[k], w, scratch);
            return found;
        }
    }
    return found;
}

// Whether query word t was marked as an exclusion.
bool term_is_excluded(const SearchRun &run, uint32_t t) {
    return t / 8 < sizeof run.excluded_terms && (run.excluded_terms[t / 8] >> (t % 8)) & 1u;
}

// Appends word t (or its replacement) to the suggestion, after a space for
// every word but the first; an exclusion keeps its "-".
void append_word(std::string &text, const SearchRun &run, uint32_t t, const char *word,
                 size_t length) {
    if (t > 0) text += ' ';
    if (length > 0 && term_is_excluded(run, t)) text += '-';
    text.append(word, length);
}

// A link suffix that may not have been built.
const char *or_empty(const char *text) {
    return text != nullptr ? text : "";
}

// text escaped for HTML, never cut.
std::string escaped(const std::string &text) {
    std::string out(text);
    out.resize(text.size() * kBytesPerEscape + 1);
    escape_html(&out[0], (int)out.size());
    out.resize(strlen(out.c_str()));
    return out;
}

// The "did you mean" link for proposal text with match mode `match_all`.
std::string suggestion_link(const SearchContext &c, const SearchRun &run, const std::string &text,
                            int32_t match_all) {
    std::string encoded(text);
    encoded.resize(text.size() * kBytesPerEncode + 1);
    url_encode(&encoded[0], (int)encoded.size());
    encoded.resize(strlen(encoded.c_str()));
    std::string link = std::string(c.LinkBackURL) + c.g_link_separator + "vesk_query=" + encoded +
                       or_empty(c.g_meta_link_suffix) +
                       "&amp;vesk_per_page=" + std::to_string(c.g_per_page) +
                       or_empty(run.category_link_suffix) + c.g_date_link_suffix +
                       "&amp;vesk_and=" + std::to_string(match_all) +
                       "&amp;vesk_sort=" + std::to_string(c.g_sort_order);
    return link;
}

// Writes label and the link to the proposal text (match mode match_all).
void write_link(const SearchContext &c, const SearchRun &run, const char *label,
                const std::string &text, int32_t match_all) {
    section_printf(SECTION_SUGGESTION, "%s <a href=\"%s\">%s</a>", label,
                   suggestion_link(c, run, text, match_all).c_str(), escaped(text).c_str());
}

void write_xml_proposal(const SearchContext &c, const std::string &text) {
    out_printf("<vesk:spelling>%s</vesk:spelling>\n", xml_text(c, text.c_str()));
}

// Writes the proposals: the suggestion (any-word search) and, for a one-word
// query, the further proposals (the request's match mode), which keep the
// word's "-" as the suggestion does.
void write_proposals(const SearchContext &c, const SearchRun &run, const std::string &text,
                     const Candidates &words) {
    std::string more[kProposalCount - 1];
    for (int i = 0; i < kProposalCount - 1; i++)
        if (words.more[i].bytes != nullptr)
            append_word(more[i], run, 0, words.more[i].bytes, words.more[i].length);
    if (c.g_xml_output) {
        write_xml_proposal(c, text);
        for (const std::string &proposal : more)
            if (!proposal.empty()) write_xml_proposal(c, proposal);
        return;
    }
    section_printf(SECTION_SUGGESTION, "<div class=\"suggestion\"><br />");
    write_link(c, run, c.g_str_texts[STR_DIDYOUMEAN], text, 0);
    for (const std::string &proposal : more)
        if (!proposal.empty()) {
            section_printf(SECTION_SUGGESTION, " ");
            write_link(c, run, c.g_str_texts[STR_OR], proposal, c.g_match_all);
        }
    section_printf(SECTION_SUGGESTION, "?</div>");
}

}  // namespace

void mark_excluded_terms(const SearchContext &c, SearchRun &run) {
    memset(run.excluded_terms, 0, sizeof run.excluded_terms);
    for (uint32_t t = 0; t < c.g_query_word_count && t / 8 < sizeof run.excluded_terms; t++)
        if (c.g_query_words[t][0] == '-') run.excluded_terms[t / 8] |= (uint8_t)(1u << (t % 8));
}

void normalise_spelling_word(SearchContext &c, char *word, int capacity) {
    if (c.UseUTF8 == 1)
        utf8_to_lower(word, capacity);
    else
        ascii_to_lower(word);
    if (c.UseStemming == 1) stem_word(word, (int)strlen(word));
}

// write_spelling_suggestions while memory lasts; false when it ran out.
static bool propose_spellings(SearchContext &c, SearchRun &run) {
    if (c.Spelling == 1 && c.g_spelling_entries != nullptr) {
        std::string text;
        Candidates proposals = {kNoCandidate, {kNoCandidate, kNoCandidate}};
        int replaced = 0;
        for (uint32_t t = 0; t < c.g_query_word_count; t++) {
            const char *w = c.g_query_words[t];
            if (!is_rare(c, run.term_record_counts[t])) {
                append_word(text, run, t, w, strlen(w));
                continue;
            }
            std::string key;
            if (!primary_key(w, key)) return false;
            if (key.empty()) continue;
            const Candidates found = find_candidates(c, key.substr(0, kSpellingKeySize - 1), w);
            if (found.first.bytes == nullptr) continue;
            append_word(text, run, t, found.first.bytes, found.first.length);
            if (replaced++ == 0) proposals = found;
        }
        if (replaced > 0) write_proposals(c, run, text, proposals);
    }
    return true;
}

bool write_spelling_suggestions(SearchContext &c, SearchRun &run) {
    decide_spelling(c, run);
    bool done;
    try {
        done = propose_spellings(c, run);
    } catch (const std::bad_alloc &) {
        done = false;  // a text of the proposals could not grow
    }
    free_spelling_list();
    if (!done) finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
    return done;
}
