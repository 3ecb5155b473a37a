// The first stages of a search: the stemmer, the per-search arrays, the
// classes of the query words, and the term loop that looks every word up in
// the dictionary and scores the postings it reads from the word map.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "index/index.h"
#include "platform/platform.h"
#include "search/search.h"
#include "text/text.h"

namespace {
const char kInvalidPage[] = "Error in wordmap: page number is invalid.";
const char kSkippedOpen[] = "\"<b>";
const char kSkippedClose[] = "</b>\"";
const char kSkippedSeparator[] = ", ";
constexpr int kEscapedWordSize = kQueryWordSize * 5 + 1;  // every byte escaped as "&#NN;"

// What the term loop knows of the word it is looking up.
struct TermWord {
    uint32_t index;      // position in g_query_words
    char *text;          // the word, changed in place
    bool exclusion;      // a leading "-" was removed: its pages are dropped
    bool wildcard;       // matched as a pattern against base words and variants
    bool phrase;         // a quoted phrase: postings checked by the phrase check
    uint32_t phrase_id;  // the dictionary id of the phrase's first word
    uint32_t matched;    // dictionary words matched so far
};

bool has_blank(const char *word) {
    return strchr(word, ' ') != nullptr;
}

bool begins_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

// "site:" and "url:" words filter pages by their address.
bool is_filter_word(const char *word) {
    return strchr(word, ':') != nullptr &&
           (begins_with(word, "site:") || begins_with(word, "url:"));
}

// Decorates a substring word with "*" at each end that lacks one; an
// exclusion's "-" stays in front. The buffer holds kQueryWordSize bytes.
void decorate_substring(char *word) {
    char *body = word[0] == '-' ? word + 1 : word;
    const size_t length = strlen(body);
    char scratch[kQueryWordSize];
    size_t n = 0;
    if (body[0] != '*') scratch[n++] = '*';
    memcpy(scratch + n, body, length);
    n += length;
    if (length == 0 || body[length - 1] != '*') scratch[n++] = '*';
    scratch[n] = '\0';
    const size_t room = kQueryWordSize - (size_t)(body - word);
    if (n < room) memcpy(body, scratch, n + 1);
}

// Removes from word every character of strip; the others close up in order.
void strip_characters(char *word, const char *strip) {
    char *out = word;
    for (const char *in = word; *in != '\0'; in++)
        if (strchr(strip, *in) == nullptr) *out++ = *in;
    *out = '\0';
}

// Raises the ordered count of a page for term i at most once per term.
void count_ordered(const SearchContext &c, const SearchRun &run, PageScore &page, uint32_t i) {
    if (page.ordered_term == i + 1) return;
    const uint32_t shifted =
        i - c.g_skipped_word_count - c.g_nonsearch_word_count - run.empty_words;
    if (page.ordered == i || page.ordered == shifted) {
        page.ordered++;
        page.ordered_term = i + 1;
    }
}

// Adds one posting to its page (the page index already checked).
void update_page(SearchContext &c, SearchRun &run, const TermWord &term,
                 const ScoredPosting &posting) {
    PageScore &page = run.page_scores[posting.page];
    uint32_t new_score;
    if (term.exclusion) {
        if (page.score != 0) run.hit_page_count--;
        page.score = 0;
        new_score = 0;
    } else if (page.score == 0) {
        run.hit_page_count++;
        page.score = posting.score & 0xFFFF;
        page.positions[0] = posting.offset;
        page.zones = posting.zones;
        new_score = page.score;
    } else {
        page.score = page.score > kScoreSaturation ? page.score + 1 : page.score + posting.score;
        if (page.hits != 0 && page.hits < c.MaxContextKeywords) {
            if (page.positions[1] == 0)
                page.positions[1] = posting.offset;
            else if (page.positions[2] == 0)
                page.positions[2] = posting.offset;
        }
        page.zones &= posting.zones;
        new_score = page.score;
    }
    page.hits++;
    if (c.g_sort_order > 0) {
        const uint32_t date = page_info_date(page_record(posting.page), c.UseBigPageInfoData);
        if (run.hit_page_count == 1) c.g_rank_min = date;
        if (date > c.g_rank_max) c.g_rank_max = date;
        if (date < c.g_rank_min) c.g_rank_min = date;
    } else {
        if (page.hits > run.max_hits) run.max_hits = page.hits;
        if (new_score > run.max_score) run.max_score = new_score;
    }
    count_ordered(c, run, page, term.index);
}

// Scores the records of run.block. 1 go on, 0 the term ends, -1 the request ended.
int score_block(SearchContext &c, SearchRun &run, const TermWord &term) {
    for (uint32_t r = 0; r < run.block.count; r++) {
        const WordmapPosting raw = wordmap_posting(&run.block, r);
        if (raw.page >= run.page_count) {
            finish_search_error(c, kInvalidPage, "</vesk:error>\n");
            return -1;
        }
        const uint8_t boost = page_info_boost(page_record(raw.page), c.UseBigPageInfoData);
        ScoredPosting posting{boosted_score(boost, raw.score), raw.zones, raw.page,
                              raw.text_offset};
        if ((posting.score & 0xFFFF) == 0) continue;
        if (term.phrase) {
            const int check = verify_phrase_candidate(c, run, term.index, &posting);
            if (check == kPhraseFailed) return -1;
            if (check == kPhraseTermEnds) return 0;
            if (check == kPhraseRejected) continue;
        }
        update_page(c, run, term, posting);
    }
    return 1;
}

// Whether the NUL-terminated word equals the base word at entry (which ends
// at a byte ends_base_word accepts) byte for byte; the first bytes are
// compared at once: the scan passes most words at their first byte.
inline bool same_word(const char *word, const char *entry) {
    if (entry[0] != word[0]) return false;
    size_t i = 0;
    while (word[i] != '\0' && word[i] == entry[i] && !ends_base_word(entry[i])) i++;
    return word[i] == '\0' && ends_base_word(entry[i]);
}

// How a wildcard pattern is tried against the texts of the words.
struct WildcardTest {
    WildcardHead head;  // the pattern (its head's length), and whether the case counts
    char lead;          // the pattern's first byte as compared
    bool plain_lead;    // a plain byte: texts that start with another cannot match
};

WildcardTest wildcard_test(const SearchContext &c, const char *pattern) {
    const bool case_sensitive = c.ToLowerSearchWords == 0;
    const char lead = folded(pattern[0], case_sensitive);
    return WildcardTest{WildcardHead{pattern, strcspn(pattern, "*?"), case_sensitive}, lead,
                        lead != '*' && lead != '?' && lead != '\0'};
}

// Whether the base word or one of its variants, in this order, matches: a
// text that cannot match is passed over at its first byte.
bool word_texts_match(const DictionaryEntry &entry, const WildcardTest &test) {
    WordText text = dictionary_base_text(entry);
    for (uint32_t v = 0;; v++) {
        if ((!test.plain_lead || folded(text.bytes[0], test.head.case_sensitive) == test.lead) &&
            match_wildcard(text.bytes, text.length, test.head.bytes, test.head.case_sensitive))
            return true;
        if (v == entry.stored_variants) return false;
        text = next_word_text(text);
    }
}

// Whether the entries from `from` to end are filled ones of the loaded text,
// whose words lie in it in order.
bool in_file_text(const SearchContext &c, uint64_t from, uint64_t end) {
    return c.g_dictionary_text != nullptr && from < end && end <= c.g_dictionary_count;
}

// The entry among [from, end) whose texts hold position `at` (the last whose
// word starts at or before it; words ascend through the file text).
uint64_t entry_holding(const DictionaryEntry *table, uint64_t from, uint64_t end, const char *at) {
    const DictionaryEntry *found = std::upper_bound(
        table + from, table + end, at,
        [](const char *p, const DictionaryEntry &e) { return p < dictionary_word(e); });
    return (uint64_t)(found - table) - 1;
}

// The first id from `from` on (below end) whose entry matches the term, or
// end: a phrase's first word by its id, a wildcard by its texts, a plain word
// by its base word.
uint64_t next_match(const SearchContext &c, const TermWord &term, uint64_t from, uint64_t end) {
    if (term.phrase) return from <= term.phrase_id && term.phrase_id < end ? term.phrase_id : end;
    const DictionaryEntry *table = c.g_dictionary;
    if (term.wildcard) {
        const WildcardTest test = wildcard_test(c, term.text);
        if (test.plain_lead && in_file_text(c, from, end)) {
            // Only entries whose texts may start with the pattern's head are
            // tried: its positions are found in the file text, which holds
            // every entry's texts between its word and the next entry's
            // (and the lines' numbers and unstored tokens, which a head may
            // also start: word_texts_match then refuses the entry).
            const char *text_end = c.g_dictionary_text + c.g_dictionary_text_size;
            const char *span_end =
                end < c.g_dictionary_count ? dictionary_word(table[end]) : text_end;
            const char *at = dictionary_word(table[from]);
            while (from < end && (at = next_head_start(at, span_end, test.head)) != nullptr) {
                from = entry_holding(table, from, end, at);
                if (word_texts_match(table[from], test)) return from;
                if (++from < end) at = dictionary_word(table[from]);
            }
            return end;
        }
        for (; from < end; from++)
            if (table[from].word != 0 && word_texts_match(table[from], test)) return from;
        return end;
    }
    for (; from < end; from++) {
        const char *word = dictionary_word(table[from]);
        if (word != nullptr && same_word(term.text, word)) return from;
    }
    return end;
}

// The dictionary scan of one word. false when the request ended.
bool scan_dictionary(SearchContext &c, SearchRun &run, TermWord &term) {
    const uint64_t end =
        c.NumKeywords < c.g_dictionary_count ? c.NumKeywords : c.g_dictionary_count;
    for (uint64_t id64 = (uint64_t)c.DictReservedLimit + 1; id64 < end; id64++) {
        if (c.g_search_cut_short && !term.exclusion) return true;
        // Nothing changes the cut-short flag while entries are passed over.
        id64 = next_match(c, term, id64, end);
        if (id64 >= end) return true;
        const uint32_t id = (uint32_t)id64;
        const DictionaryEntry &entry = c.g_dictionary[id];
        if (entry.offset == -1) {
            if (term.wildcard || c.SearchAsSubstring != 0) continue;
            if (term.phrase) run.skipped_phrase = true;
            skip_query_word(c, term.index);
            return true;
        }
        term.matched++;
        run.matched_total++;
        if (!term.exclusion) {
            if (run.matched_total > c.MaxMatches) {
                c.g_search_cut_short = 1;
                return true;
            }
            if (term.matched > run.match_budget) return true;
        }
        if (c.g_term_first_word_id[term.index] == 0) c.g_term_first_word_id[term.index] = id;
        if (term.phrase) run.phrase_seeks = 0;
        const int read = read_wordmap_block(c.g_word_map_file, entry.offset, &run.block);
        if (read == kWordmapSeekFailed) return false;
        if (read != kWordmapRead) {
            finish_search_error(
                c, read == kWordmapNoMemory ? kSearchOutOfMemory : kWordmapNoDataMessage,
                read == kWordmapNoMemory ? "</vesk:error>" : "</vesk:error>\n");
            return false;
        }
        run.term_record_counts[term.index] += run.block.count;
        const int scored = score_block(c, run, term);
        if (scored < 0) return false;
        if (scored == 0) return true;
        if (!term.wildcard && c.SearchAsSubstring == 0) return true;
    }
    return true;
}

// What prepare_word decided.
enum WordPlan {
    kLookUp = 0,        // scan the dictionary for the word
    kPassOver = 1,      // nothing to look up for this word
    kEndLoop = 2,       // the term loop ends (a lone address filter)
    kRequestEnded = 3,  // an error ended the request
};

// Prepares the word for the scan: skips, exclusion, address filter, stemming,
// broad numeric matching and phrases.
int prepare_word(SearchContext &c, SearchRun &run, TermWord &term) {
    char *word = term.text;
    if (word[0] == '\0') {
        run.empty_words++;
        return kPassOver;
    }
    size_t length = strlen(word);
    if ((uint32_t)length < (uint32_t)c.MinWordLen) {
        skip_query_word(c, term.index);
        return kPassOver;
    }
    if (word[0] == '-') {
        memmove(word, word + 1, length);
        length--;
        c.g_nonsearch_word_count++;
        term.exclusion = true;
    }
    if (is_filter_word(word)) {
        snprintf(run.url_filter, sizeof run.url_filter, "%s", strchr(word, ':') + 1);
        c.g_nonsearch_word_count++;
        if (c.g_query_word_count == 1) {
            c.g_meta_only_search = 1;
            return kEndLoop;
        }
    }
    if (c.UseStemming == 1 && !(c.g_phrase_seen && has_blank(word))) stem_word(word, (int)length);
    if (c.g_broad_numeric == 1 && strspn(word, c.BroadNumericValidChars) == length)
        strip_characters(word, c.BroadNumericStripChars);
    if (c.AllowExactPhrase == 1 && has_blank(word)) {
        term.phrase = true;
        if (!prepare_phrase_term(c, run, term.index, &term.phrase_id)) return kRequestEnded;
        if (term.phrase_id == kNoDictionaryWord) return kPassOver;
    }
    return kLookUp;
}
// Whether the spelling stage will read the spelling list: Spelling is on and
// a query word found fewer records than SpellingWhenLessThan (compared as
// signed numbers), the rule by which that stage proposes words.
bool spelling_list_wanted(const SearchContext &c, const SearchRun &run) {
    if (c.Spelling != 1) return false;
    for (uint32_t t = 0; t < c.g_query_word_count; t++)
        if ((int64_t)run.term_record_counts[t] < (int64_t)c.SpellingWhenLessThan) return true;
    return false;
}

}  // namespace

uint32_t boosted_score(uint8_t boost, uint8_t score) {
    if (boost == 0) return score;
    // Single precision in this order: the index's scores were tuned to it
    // (boost 13 on 45 gives 58, not the 59 of exact rounding).
    return float_to_u32((float)boost / 10.0f * (float)score + 0.5f);
}

uint32_t find_dictionary_word(const char *word) {
    const SearchContext &c = g_search_context;
    const uint32_t end =
        c.NumKeywords < c.g_dictionary_count ? c.NumKeywords : c.g_dictionary_count;
    for (uint32_t id = 0; id < end; id++) {
        const char *entry = dictionary_word(c.g_dictionary[id]);
        if (entry != nullptr && same_word(word, entry)) return id;
    }
    return kNoDictionaryWord;
}

void skip_query_word(SearchContext &c, uint32_t i) {
    static char escaped[kEscapedWordSize];
    char *word = c.g_query_words[i];
    snprintf(escaped, sizeof escaped, "%s", word);
    escape_html(escaped, sizeof escaped);
    const size_t used = strlen(c.g_skipped_words);
    const bool separate = used > 0;
    const size_t entry = (separate ? sizeof kSkippedSeparator - 1 : 0) + sizeof kSkippedOpen - 1 +
                         strlen(escaped) + sizeof kSkippedClose - 1;
    // An entry that does not fit whole is left out: a cut one would leave
    // markup open on the page.
    if (used + entry < sizeof c.g_skipped_words)
        snprintf(c.g_skipped_words + used, sizeof c.g_skipped_words - used, "%s%s%s%s",
                 separate ? kSkippedSeparator : "", kSkippedOpen, escaped, kSkippedClose);
    word[0] = '\0';
    c.g_skipped_word_count++;
}

bool setup_stemmer(SearchContext &c) {
    const int32_t record = c.DictIDLen > 1 ? c.DictIDLen : 1;
    c.g_page_text_buffer = (char *)platform_arena_alloc((size_t)record * kPageTextBufferRecords);
    c.g_page_text_pos = c.g_page_text_fill = 0;
    if (c.g_page_text_buffer == nullptr) {
        print_error_message(kSearchOutOfMemory, "</vesk:error>");
        return false;
    }
    if (c.UseStemming == 1 && !create_stemmer()) return false;
    if (c.BroadNumericValidChars[0] != '\0') c.g_broad_numeric = 1;
    return true;
}

bool setup_search(SearchContext &c, SearchRun &run) {
    const uint32_t pages = c.NumPages > 0 ? (uint32_t)c.NumPages : 0;
    const size_t words = c.g_query_word_count > 0 ? c.g_query_word_count : 1;
    run.page_count = pages;
    const uint64_t score_bytes = (uint64_t)(pages > 0 ? pages : 1) * sizeof(PageScore);
    if (score_bytes <= SIZE_MAX)
        run.page_scores = (PageScore *)platform_arena_alloc((size_t)score_bytes);
    bool ok = run.page_scores != nullptr;
    if (ok && c.UseDomainDiversity == 1) {
        c.MaxDomainDiversity = kDiversityPicks;
        c.g_picked_count = 0;
        c.g_picked_results = (int32_t *)calloc(kDiversityPicks, sizeof(int32_t));
        c.g_picked_hosts = (char **)calloc(kDiversityPicks, sizeof(char *));
        ok = c.g_picked_results != nullptr && c.g_picked_hosts != nullptr;
    }
    if (ok) {
        run.term_record_counts = (uint32_t *)calloc(words, sizeof(uint32_t));
        c.g_term_first_word_id = (uint32_t *)calloc(words, sizeof(uint32_t));
        c.g_term_is_wildcard = (uint8_t *)calloc(words, 1);
        if (c.AllowExactPhrase == 1)
            c.g_phrase_word_ids = (uint32_t **)calloc(words, sizeof(uint32_t *));
        ok = run.term_record_counts != nullptr && c.g_term_first_word_id != nullptr &&
             c.g_term_is_wildcard != nullptr &&
             (c.AllowExactPhrase != 1 || c.g_phrase_word_ids != nullptr);
    }
    if (!ok) finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
    return ok;
}

void classify_terms(SearchContext &c) {
    for (uint32_t i = 0; i < c.g_query_word_count; i++) {
        char *word = c.g_query_words[i];
        if (strchr(word, '*') != nullptr || strchr(word, '?') != nullptr)
            c.g_term_is_wildcard[i] = 1;
        // An empty word (after an opening quote) and the address filters stay
        // as they are: "**" would match every word, "*site:x*" no address.
        if (c.SearchAsSubstring == 1 && word[0] != '\0' && !has_blank(word) &&
            !is_filter_word(word[0] == '-' ? word + 1 : word)) {
            c.g_term_is_wildcard[i] = 1;
            decorate_substring(word);
        }
        if (c.Highlighting == 1 && c.g_query_word_copies != nullptr &&
            c.g_query_word_copies[i] != nullptr)
            snprintf(c.g_query_word_copies[i], kQueryWordSize, "%s", word);
    }
}

bool look_up_terms(SearchContext &c, SearchRun &run) {
    const uint32_t n = c.g_query_word_count;
    run.match_budget =
        n == 0 ? c.MaxMatches : (uint32_t)(uint64_t)ceil((double)c.MaxMatches / (double)n);
    for (uint32_t i = 0; i < n && !c.g_meta_only_search; i++) {
        TermWord term{i,     c.g_query_words[i], false, c.g_term_is_wildcard[i] != 0,
                      false, kNoDictionaryWord,  0};
        const int plan = prepare_word(c, run, term);
        if (plan == kRequestEnded) return false;
        if (plan == kEndLoop) break;
        if (plan == kLookUp && !scan_dictionary(c, run, term)) return false;
    }
    if (c.g_sort_order == 0) {
        c.g_rank_min = 0;
        c.g_rank_max = saturating_product(run.max_hits, run.max_score);
    }
    free_phrase_blocks(run);
    close_word_map_file();
    // The spelling list, opened with the index files, is read only for a
    // search whose spelling stage will propose words.
    return !spelling_list_wanted(c, run) || read_spelling_list() == 1;
}
