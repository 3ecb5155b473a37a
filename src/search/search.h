// The search engine: term lookup, scoring, filtering, ranking, the result page,
// and the autocomplete answer. The per-search state lives in one SearchRun that
// run_search owns and hands to every stage. Public routines grouped by the
// file that defines them.
#pragma once

#include <stdint.h>
#include <string.h>

#include "context/context.h"
#include "index/index.h"

// ---- Fixed widths and limits of the search ----
constexpr int kUrlFilterSize = 8337;           // text after "site:"/"url:"
constexpr int kHostSize = 8337;                // a picked host of domain diversity
constexpr int kMaxHostLength = 8335;           // longest host kept
constexpr int kDiversityPicks = 3;             // results picked from different hosts
constexpr int kDiversityMinMatches = 5;        // diversity only with more matches than this
constexpr int kPagePositionCount = 3;          // page-text positions kept per page
constexpr int kRankBuckets = 10000;            // buckets of the ranking histogram
constexpr uint32_t kScoreSaturation = 10000;   // above this a page's score grows by 1 per record
constexpr int kPageTextBufferRecords = 128;    // page-text reader buffer: DictIDLen x 128 bytes
constexpr size_t kPhraseFirstPiece = 32768;    // page-text bytes a phrase scan reads first
constexpr size_t kPhraseLargestPiece = 65536;  // then twice as much each time, up to this
constexpr int kSelfLinkSize = 8337;            // a result-page link: at most 8336 characters
constexpr uint32_t kNoDictionaryWord = 0xFFFFFFFFu;  // find_dictionary_word: not found
constexpr int kSortStackSpans = 32;                  // pending spans of sort_results
// Bits for one flag per query word: a query of kQueryTextSize - 1 characters
// splits into fewer words than it has characters.
constexpr int kExcludedTermBytes = (kQueryTextSize + 7) / 8;

// The score of one page during a search.
struct PageScore {
    uint32_t score;                          // accumulated score; 0 = no hit or excluded
    uint8_t zones;                           // zone byte of the first hit ANDed with later ones
    uint32_t hits;                           // posting records counted for the page
    uint64_t positions[kPagePositionCount];  // page-text offsets of hits; 0 = empty
    uint32_t ordered;                        // query terms matched in query order
    uint32_t ordered_term;                   // 1 + the term that last raised `ordered`
};

// One stored result of the ranking.
struct SearchResult {
    uint32_t page;                           // page index
    uint32_t final_score;                    // weighted score; 0 = already shown (diversity)
    uint32_t hits;                           // hit count of the page
    uint64_t positions[kPagePositionCount];  // page-text positions of the first hits
};

// Page text the phrase scans read, kept for the next scan.
struct PageTextWindow {
    uint8_t *bytes;   // kPhraseLargestPiece bytes, or null
    uint64_t offset;  // file offset of bytes[0]
    size_t length;    // bytes read there
    bool sized;       // the file's size was asked for
    uint64_t size;    // the page-text file's bytes (0 when it could not be asked)
};

// The last page-text scan of the phrase term being checked.
struct PhraseScanMemo {
    bool valid;             // a scan of this term was made
    bool carries;           // its outcome holds for later starts up to end
    uint64_t start;         // its first record's offset
    uint64_t end;           // where it stopped: the phrase's start, the boundary or the text's end
    bool found;             // the phrase was found
    uint64_t phrase_start;  // where (when found)
};

// One word of a phrase term being prepared: its postings, read once.
struct PhraseWordBlock {
    int32_t count;        // records in `records` (signed: the file's count as read)
    uint8_t *records;     // count records of kWordmapRecordSize bytes (request arena), or null
    uint64_t *page_keys;  // count keys (page << 32 | record), sorted, or null
    bool in_page_order;   // the records ascend by page: searched in place, no keys
};

// One posting as the term loop scores it: score, zone byte, page and page-text
// offset (for a phrase, as the phrase check leaves them).
struct ScoredPosting {
    uint32_t score;   // the (boosted) 16-bit score
    uint8_t zones;    // zone byte
    uint32_t page;    // page index
    uint64_t offset;  // page-text offset
};

// Everything one search keeps between its stages; owned by run_search, zeroed
// at its start, released by release_search_run.
struct SearchRun {
    // ---- Term lookup and scoring ----
    PageScore *page_scores;           // NumPages entries, or null
    uint32_t page_count;              // entries of page_scores (NumPages, 0 when negative)
    uint32_t *term_record_counts;     // per query word: records of the blocks read
    uint32_t hit_page_count;          // pages whose score is not 0
    uint32_t match_budget;            // matched dictionary words allowed per query word
    uint32_t matched_total;           // matched dictionary words of the whole search
    uint32_t max_hits;                // largest hit count of a page (relevance order)
    uint32_t max_score;               // largest page score (relevance order)
    char url_filter[kUrlFilterSize];  // text of the last "site:"/"url:" word
    bool skipped_phrase;              // a phrase was reported as skipped
    uint32_t empty_words;             // empty query words passed over so far
    WordmapBlock block;               // word-map block buffer, reused for every block read

    // ---- Phrases (the term being prepared) ----
    PhraseWordBlock *phrase_blocks;  // per phrase word: its postings, or null
    int32_t phrase_block_count;      // entries of phrase_blocks
    int32_t phrase_seeks;            // page-text seeks of the current phrase term
    PageTextWindow phrase_text;      // page text the phrase scans read
    PhraseScanMemo phrase_memo;      // the term's last scan

    // ---- Filters and cut-off ----
    uint32_t required_terms;     // query words that are search terms
    uint32_t match_count;        // pages kept by the filters
    uint32_t all_terms_count;    // kept pages that hold every term
    uint32_t rank_width;         // width of a histogram bucket (at least 1)
    int32_t cut_last_bucket;     // last bucket index the cut-off loop reached
    bool cut_exhausted;          // the cut-off loop ran through every bucket
    uint32_t *category_counts;   // NumCats counters, or null
    bool category_counted;       // a category count was raised
    bool date_active;            // the date range filters pages
    int64_t date_from, date_to;  // the date range, seconds since 1970

    // ---- Ranking ----
    SearchResult *results;  // g_result_capacity records, or null
    uint32_t result_count;  // records stored

    // ---- Result page ----
    char *category_link_suffix;  // selected categories of self-links (heap text, or null)

    // ---- Spelling suggestions ----
    // Bit t set: query word t began with "-" before the term loop took it off.
    uint8_t excluded_terms[kExcludedTermBytes];
};

// ---- run_search.cpp ----

extern const char kSearchOutOfMemory[];     // "Out of memory"
extern const char kWordmapNoDataMessage[];  // a word-map block without a single record

// The whole search request after the index files and the dictionary are
// loaded: looks the query up, ranks the pages and writes the result page,
// then finishes the page (print_template, release_all). Always 0.
int run_search(SearchContext *context);
// Runs the search stages up to the sorted, diversity-picked result list,
// without writing the result page; the stage results stay in run. true when
// the result page can follow; false when an error ended the request (its
// message printed and, unless a seek failed, the page finished).
bool search_pages(SearchContext &c, SearchRun &run);
// Frees everything run holds (page scores, counts, results, phrase blocks,
// the word-map buffer) and the diversity arrays of the context. Safe to repeat.
void release_search_run(SearchContext &c, SearchRun &run);
// Prints message after an error of the search (wrapped in <vesk:error> and
// closing, which may be "</vesk:error>" or "</vesk:error>\n", in XML mode),
// then finishes the page (print_template, release_all).
void finish_search_error(const SearchContext &c, const char *message, const char *closing);

// ---- lookup.cpp ----

// Creates the stemmer (when UseStemming is 1) and the page-text reader buffer,
// sets g_broad_numeric. false after its message; the caller finishes the page.
bool setup_stemmer(SearchContext &c);
// Allocates the page scores, the per-term arrays and the diversity arrays.
// false: "Out of memory" printed and the page finished.
bool setup_search(SearchContext &c, SearchRun &run);
// Marks wildcard words, decorates substring words and copies each word for
// highlighting.
void classify_terms(SearchContext &c);
// The term loop: looks every query word up and scores its postings. false
// when an error ended the request.
bool look_up_terms(SearchContext &c, SearchRun &run);
// First dictionary id (0 .. NumKeywords - 1) whose base word equals word byte
// for byte; kNoDictionaryWord when none or NumKeywords is 0.
uint32_t find_dictionary_word(const char *word);
// Reports query word i as skipped: appends it (HTML-escaped, in quotes and
// bold) to g_skipped_words when the whole entry fits, empties the word and
// counts it.
void skip_query_word(SearchContext &c, uint32_t i);
// The boosted score of a score byte: boost 0 keeps it, else (boost / 10 x
// score + 0.5) in single precision, truncated.
uint32_t boosted_score(uint8_t boost, uint8_t score);

// ---- wildcard_heads.cpp ----

// A byte as match_wildcard compares it: A-Z folded to a-z unless the case counts.
inline char folded(char ch, bool case_sensitive) {
    return !case_sensitive && ch >= 'A' && ch <= 'Z' ? (char)(ch - 'A' + 'a') : ch;
}
// A wildcard's literal head: its bytes before the first "*" or "?".
struct WildcardHead {
    const char *bytes;    // the pattern (the head is its start)
    size_t length;        // bytes of the head (next_head_start needs at least 1)
    bool case_sensitive;  // else A-Z and a-z match each other
};
// The first position from `at` on, below end, where a text of the loaded
// dictionary may start with the head: the head's bytes are there and the
// byte before is a separator (at or below ' ': NUL, space, CR, LF), or `at`
// itself. Null when there is none. Reads nothing before `at`, and nothing at
// or past end but the head's comparison, which stops at the first differing
// byte (at the latest the zero bytes behind the text).
const char *next_head_start(const char *at, const char *end, const WildcardHead &head);
// The ways next_head_start can seek; it takes the fastest available.
enum HeadScan {
    kScanPortably = 0,    // 16 bytes at a time with SSE2 where the compiler targets it, else 1
    kScanWithAvx2 = 1,    // x86 processors with AVX2: 32 bytes at a time
    kScanWithAvx512 = 2,  // x86 processors with AVX-512 byte compares: 64 at a time
};
// Whether this processor can seek with `method` (a HeadScan).
bool head_scan_available(int method);
// next_head_start with the given available method (to compare them).
const char *next_head_start_with(int method, const char *at, const char *end,
                                 const WildcardHead &head);

// ---- phrase.cpp ----

// Splits, stems and looks up the words of phrase term i and reads their
// postings into run.phrase_blocks. The id the dictionary scan looks for is
// returned in *first_id (kNoDictionaryWord: the term finds nothing). false
// when an error ended the request.
bool prepare_phrase_term(SearchContext &c, SearchRun &run, uint32_t i, uint32_t *first_id);
// Outcome of verify_phrase_candidate.
enum PhraseCheck {
    kPhraseRejected = 0,  // not the start of the phrase
    kPhraseVerified = 1,  // *posting now carries the phrase's score, zones and start
    kPhraseTermEnds = 2,  // a limit was reached: the term ends, nothing scored
    kPhraseFailed = 3,    // an error ended the request
};
// Checks one posting of the phrase's first word (its boosted score in
// posting->score) against the other words and the page text.
int verify_phrase_candidate(SearchContext &c, SearchRun &run, uint32_t i, ScoredPosting *posting);
// Frees the phrase blocks of the term last prepared.
void free_phrase_blocks(SearchRun &run);
// Frees the page-text buffer of the phrase scans.
void free_phrase_text(SearchRun &run);
// Frees g_phrase_words and g_phrase_word_copies with every phrase's words.
void free_phrase_words(SearchContext &c);

// ---- page_text_reader.cpp ----
// Reads the next page-text record through g_page_text_buffer (refilled up to
// its DictIDLen x kPageTextBufferRecords bytes, read at the reader's offset in
// a regular file, else from the stream): *id and *variant of the record; the
// result is the bytes consumed (DictIDLen), or 0 with *id 0 when no whole
// record is left.
int read_pagetext_word(SearchContext &c, uint32_t *id, uint32_t *variant);
// Moves the page-text reader to offset and empties its buffer. In a regular
// file the next read is simply made there; a stream, or an offset past the
// file's end, is sought. false when no page text is open or the seek failed
// (seek_data_file printed its message).
bool seek_page_text(SearchContext &c, uint64_t offset);

// ---- filters.cpp ----

// Ranking range, required terms, category counts, date range, the page walk
// and the cut-off. false when an error ended the request.
bool filter_pages(SearchContext &c, SearchRun &run);
// Reads the date range of the request into run (and g_date_link_suffix).
void read_date_range(SearchContext &c, SearchRun &run);
// Whether page passes the meta-field filters; with g_meta_only_search the
// page's score and hits rise for each field passed.
bool page_passes_meta_fields(SearchContext &c, uint32_t page, PageScore &score);
// Histogram bucket of ranking value v for the run's width and g_rank_min.
uint32_t rank_bucket(const SearchContext &c, const SearchRun &run, uint32_t v);

// ---- ranking.cpp ----

// Drops pages beyond the cut-off, counts categories, weights and stores the
// results, sorts them and picks the diversity results. false when an error
// ended the request.
bool rank_pages(SearchContext &c, SearchRun &run);
// The final score of a page: score weighted by its zone byte and hit count.
uint32_t final_score(const SearchContext &c, uint32_t score, uint8_t zones, uint32_t hits);
// a x b, or 0xFFFFFFFF when the product does not fit 32 bits.
uint32_t saturating_product(uint32_t a, uint32_t b);
// Converts a float to u32: NaN and negative values give 0, values past the
// top give 0xFFFFFFFF, others truncate.
uint32_t float_to_u32(float value);
// The result record shown in display slot `slot` of the page (0-based over the
// whole result list), or null when none: on page 1 with diversity the picks
// come first, then the unpicked results in sorted order.
const SearchResult *result_for_slot(const SearchContext &c, const SearchRun &run, uint32_t slot);

// ---- sort.cpp ----

// Comparator of sort_results: negative when a goes first, positive when b does.
typedef int (*ResultComparator)(const SearchContext &c, const SearchResult &a,
                                const SearchResult &b);
int compare_results_by_score(const SearchContext &c, const SearchResult &a, const SearchResult &b);
int compare_results_by_date_desc(const SearchContext &c, const SearchResult &a,
                                 const SearchResult &b);
int compare_results_by_date_asc(const SearchContext &c, const SearchResult &a,
                                const SearchResult &b);
// The program's own quicksort (median of three, equal-key blocks, explicit
// stack, insertion sort for spans of at most six): the order of equal records
// is part of the answer, so no library sort may replace it.
void sort_results(SearchResult *records, uint32_t count, ResultComparator compare,
                  const SearchContext &c);

// ---- frame.cpp ----

// Heading of the result page (query and categories); fills the category
// suffix. false after "Out of memory" (the page is finished).
bool write_heading(SearchContext &c, SearchRun &run);
// g_query_urlencoded from the query.
void encode_query_for_links(SearchContext &c);
// The skipped-words notice.
void write_skipped_notice(SearchContext &c, SearchRun &run);
// g_meta_link_suffix, the meta-field part of self-links: the request's values,
// URL-encoded. false after "Out of memory" (the page is finished).
bool build_meta_link_suffix(SearchContext &c);
// Counts, summary, more-results suggestion and category summary.
void write_summary(SearchContext &c, SearchRun &run);
// Page count and sort links (before the blocks).
void write_pages_and_sorting(SearchContext &c, SearchRun &run);
// Page-number links and the powered-by line, and the closing of the results
// wrapper (after the blocks).
void write_page_numbers(SearchContext &c, SearchRun &run);
// text (length bytes) as XML character data (see xml_escape_text; UTF-8 when
// the charset is). The result stays valid until the next call; "" when no
// memory is left for it.
const char *xml_text(const SearchContext &c, const char *text, size_t length,
                     bool keep_tags = false);
// The same for a whole NUL-terminated text.
inline const char *xml_text(const SearchContext &c, const char *text) {
    return xml_text(c, text, strlen(text));
}

// ---- blocks.cpp ----

// The message of a page whose page-data line lacks its fields.
extern const char kCorruptedIndexMessage[];
constexpr char kHighlightParameter[] = "vesk_highlight=";        // result-link highlight
constexpr char kHighlightSubParameter[] = "vesk_highlightsub=";  // the same in substring mode
constexpr char kPdfExtension[] = ".pdf";                         // links a PDF viewer opens
constexpr char kPdfFragmentOpen[] = "#search=%22";               // PDF viewer's search, quoted
constexpr char kPdfFragmentClose[] = "%22";

// The query for a PDF viewer's "#search=": without double quotes, every other
// byte that is not a letter, digit, '-' or '_' percent-encoded (a space as
// %20). The text stays valid until the next call.
const char *pdf_search_text(const SearchContext &c);
// The result links' highlight parameter: "vesk_highlightsub=" when
// SearchAsSubstring is 1, else "vesk_highlight=".
const char *highlight_parameter(const SearchContext &c);
// When PdfHighlight is 1 and link names a ".pdf" file (any letter case),
// replaces link (size bytes) by url + "#search=%22" + pdf_search_text + "%22".
void apply_pdf_highlight(const SearchContext &c, const char *url, char *link, size_t size);

// The result blocks of the requested page. false when an error ended the request.
bool write_result_blocks(SearchContext &c, SearchRun &run);

// ---- excerpts.cpp ----

// Section value of highlight_terms that means the results buffer.
constexpr int kResultsBufferTarget = -1;
constexpr int kHighlightTokenChars = 400;                      // longest token of the tokenizer
constexpr int kHighlightTokenSize = kHighlightTokenChars + 1;  // its buffer

// Highlight marks of one excerpt slot. Every mark opens a tag before the
// slot's word and closes one after a word, so the tags always balance.
struct ContextMark {
    uint8_t term;     // 1: a query term or the hit itself (tag opened and closed here)
    uint32_t opens;   // matched phrases that start at this slot
    uint32_t closes;  // matched phrases that end at this slot
};

// Kinds of tokens next_highlight_token returns.
enum HighlightToken {
    kNoToken = 0,         // nothing left
    kWordToken = 1,       // a word
    kSeparatorToken = 2,  // one separator character, or a numeric entity
};
// The context excerpt of one result block (DisplayContext 1, not a meta-only
// search), from the page text around the result's positions; title is the
// page's title as read from the page data.
void write_context_excerpt(SearchContext &c, SearchRun &run, const SearchResult &result,
                           const char *title);
// Writes text with the query terms marked, to the results buffer (section
// kResultsBufferTarget) or to an output section.
void highlight_terms(SearchContext &c, const char *text, int section);
// Marks the slots of the current excerpt run (g_context_slots) that hold a
// query term or a whole phrase in g_context_marks.
void mark_context_terms(SearchContext &c);
// The next token of text (null: continue at g_highlight_token_pos) into token
// (kHighlightTokenSize bytes) with join_chars kept inside words: a word of at
// most kHighlightTokenChars characters, a separator or a numeric entity.
// The token is empty when the text is used up (kNoToken once the position
// is null, or when an argument is null).
int next_highlight_token(SearchContext &c, const char *text, char *token, const char *join_chars);

// ---- spelling.cpp ----

// Notes in run.excluded_terms which query words are exclusions ("-word"),
// before the term loop removes their "-". Call after classify_terms.
void mark_excluded_terms(const SearchContext &c, SearchRun &run);
// Spelling suggestions: when a query word was found in fewer word-map records
// than SpellingWhenLessThan, proposes the query with each such word replaced
// by a dictionary word of the same phonetic key (up to three proposals for a
// one-word query), as "did you mean" links in section 10 or <vesk:spelling>
// elements. Frees the spelling table. false when memory ran out: the page has
// then been finished with the out-of-memory message.
bool write_spelling_suggestions(SearchContext &c, SearchRun &run);
// Lower-cases word in place (through the case table when UseUTF8 is 1, else
// the ASCII letters) within capacity bytes, then stems it when UseStemming is 1.
void normalise_spelling_word(SearchContext &c, char *word, int capacity);

// ---- recommended.cpp ----

// Recommended links: each entry of the recommended list whose keyword matches
// the query (or one of its words) shows its page above the results, at most
// RecommendedMax of them, counted in g_recommended_shown. false when a
// page-data error finished the page: nothing may be written after it.
bool write_recommended_links(SearchContext &c, SearchRun &run);

// ---- search_log.cpp ----

// The search time on the page (Timing 1) and one line appended to the search
// log (Logging 1); a log that cannot be opened only prints its message.
void write_search_time_and_log(SearchContext &c, SearchRun &run);

// ---- autocomplete.cpp ----
constexpr int kMinKeyWordLineLen = 2;  // smallest usable MaxKeyWordLineLen

// Prints one item for every line of vesk_autocomplete.vdat that begins with a
// query word (ASCII letters compared without case). 1 when the file was read,
// 0 after an error (missing file, invalid MaxKeyWordLineLen, no memory).
int print_autocomplete(SearchContext *context);
