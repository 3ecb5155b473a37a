// Exact phrases: the words of a quoted phrase looked up, and each candidate
// posting of its first word checked against the other words' postings and
// then against the page text.
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "index/index.h"
#include "platform/platform.h"
#include "search/phrase_scan.h"
#include "search/search.h"
#include "text/text.h"

namespace {
constexpr int64_t kSeekSlack = 50;    // seeks past MaxContextSeeks a near candidate may take
constexpr uint32_t kWindowSlack = 3;  // records read before the farthest later word
constexpr int kPageKeyShift = 32;     // page in the upper half of a page key
constexpr uint64_t kRecordKeyMask = 0xFFFFFFFFu;
constexpr uint32_t kScoreMask = 0xFFFF;  // phrase scores are 16 bits

// What the postings of the later words say about one candidate.
struct CandidateWindow {
    bool passed;       // every later word with postings is on the page in a fitting zone
    uint64_t largest;  // largest offset of a later word's first posting on the page (or o0)
    uint32_t kbig;     // the word that has it (0: none beyond the candidate)
    uint32_t score;    // candidate's score plus the later words' score bytes, 16 bits
};

uint32_t count_pieces(const char *text) {
    uint32_t pieces = 0;
    for (const char *p = text; *p != '\0'; p++)
        if (*p != ' ' && (p == text || p[-1] == ' ')) pieces++;
    return pieces;
}

char *copy_piece(const char *start, size_t length) {
    char *copy = (char *)malloc(length + 1);
    if (copy == nullptr) return nullptr;
    memcpy(copy, start, length);
    copy[length] = '\0';
    return copy;
}

// Allocates the per-term word tables at the first phrase of the search.
bool allocate_phrase_tables(SearchContext &c) {
    const size_t n = c.g_query_word_count > 0 ? c.g_query_word_count : 1;
    if (c.g_phrase_words == nullptr) {
        c.g_phrase_words = (char ***)calloc(n, sizeof(char **));
        if (c.g_phrase_words == nullptr) return false;
        if (c.Highlighting == 1) c.g_phrase_word_copies = (char ***)calloc(n, sizeof(char **));
    }
    return c.Highlighting != 1 || c.g_phrase_word_copies != nullptr;
}

// Splits phrase term i into its w words (stemmed, and as typed for
// highlighting) and gives it a zeroed id list. false when out of memory.
bool split_phrase(SearchContext &c, uint32_t i, uint32_t w) {
    char **words = (char **)calloc(w + 1, sizeof(char *));
    c.g_phrase_words[i] = words;
    char **typed = nullptr;
    if (c.g_phrase_word_copies != nullptr) {
        typed = (char **)calloc(w + 1, sizeof(char *));
        c.g_phrase_word_copies[i] = typed;
        if (typed == nullptr) return false;
    }
    if (words == nullptr || c.g_phrase_word_ids == nullptr) return false;
    const char *piece = c.g_query_words[i];
    for (uint32_t k = 0; k < w; k++) {
        piece += strspn(piece, " ");
        const size_t length = strcspn(piece, " ");
        words[k] = copy_piece(piece, length);
        if (words[k] == nullptr) return false;
        if (typed != nullptr && (typed[k] = copy_piece(piece, length)) == nullptr) return false;
        if (c.UseStemming == 1) stem_word(words[k], (int)length);
        piece += length;
    }
    c.g_phrase_word_ids[i] = (uint32_t *)calloc(w + 1, sizeof(uint32_t));
    return c.g_phrase_word_ids[i] != nullptr;
}

// The page of record r of the block.
inline uint32_t record_page(const PhraseWordBlock &block, int64_t r) {
    return decode_wordmap_record(block.records + (size_t)r * kWordmapRecordSize).page;
}

// Readies the block for finding a page's first record by binary search. Blocks
// mostly come in page order: then the records are searched in place; else
// keys of page and record are sorted (block order kept within a page).
bool index_block_pages(PhraseWordBlock &block) {
    block.in_page_order = true;
    uint32_t previous = block.count > 0 ? record_page(block, 0) : 0;
    for (int32_t r = 1; r < block.count && block.in_page_order; r++) {
        const uint32_t page = record_page(block, r);
        block.in_page_order = previous <= page;
        previous = page;
    }
    if (block.in_page_order) return true;
    block.page_keys = (uint64_t *)malloc((size_t)block.count * sizeof(uint64_t));
    if (block.page_keys == nullptr) return false;
    for (int32_t r = 0; r < block.count; r++)
        block.page_keys[r] =
            (uint64_t)record_page(block, r) << kPageKeyShift | (uint64_t)(uint32_t)r;
    std::sort(block.page_keys, block.page_keys + block.count);
    return true;
}

// Reads the postings of a later phrase word. A count that is not above 0 as
// a signed number leaves the word without postings. kWordmapRead or the failure.
int read_phrase_block(SearchContext &c, int64_t offset, PhraseWordBlock &out) {
    if (offset == -1) return kWordmapRead;
    WordmapBlock block{};
    const int read = read_wordmap_block(c.g_word_map_file, offset, &block);
    if (read != kWordmapRead || (int32_t)block.declared_count <= 0) {
        free_wordmap_block(&block);
        return read;
    }
    out.records = block.records;
    out.count = (int32_t)block.count;
    block.records = nullptr;  // now the word's
    free_wordmap_block(&block);
    return index_block_pages(out) ? kWordmapRead : kWordmapNoMemory;
}

// Looks the words up and reads the later words' postings. true when the
// request goes on (*missing: a word is not in the dictionary).
bool look_up_phrase_words(SearchContext &c, SearchRun &run, uint32_t i, uint32_t w, bool *missing) {
    uint32_t *ids = c.g_phrase_word_ids[i];
    *missing = false;
    for (uint32_t k = 0; k < w; k++) {
        const uint32_t id = find_dictionary_word(c.g_phrase_words[i][k]);
        if (id == kNoDictionaryWord) {
            *missing = true;
            return true;
        }
        ids[k] = id;
        if (k == 0) continue;  // the dictionary scan reads the first word's postings
        const int read = read_phrase_block(c, c.g_dictionary[id].offset, run.phrase_blocks[k]);
        if (read == kWordmapSeekFailed) return false;
        if (read == kWordmapNoMemory) {
            finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
            return false;
        }
        if (read != kWordmapRead) {
            finish_search_error(c, kWordmapNoDataMessage, "</vesk:error>\n");
            return false;
        }
    }
    return true;
}

// In a block in page order, the first record at or after (page, at) by page
// and then page-text offset, or count.
int64_t first_record_from(const PhraseWordBlock &block, uint32_t page, uint64_t at) {
    int64_t low = 0, high = block.count;
    while (low < high) {
        const int64_t middle = low + (high - low) / 2;
        const WordmapPosting posting =
            decode_wordmap_record(block.records + (size_t)middle * kWordmapRecordSize);
        if (posting.page < page || (posting.page == page && posting.text_offset < at))
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// Index in block order of the block's first record on page, or -1.
int64_t first_record_on_page(const PhraseWordBlock &block, uint32_t page) {
    if (block.in_page_order) {
        const int64_t r = first_record_from(block, page, 0);
        return r < block.count && record_page(block, r) == page ? r : -1;
    }
    const uint64_t *end = block.page_keys + block.count;
    const uint64_t *at =
        std::lower_bound((const uint64_t *)block.page_keys, end, (uint64_t)page << kPageKeyShift);
    if (at == end || (uint32_t)(*at >> kPageKeyShift) != page) return -1;
    return (int64_t)(*at & kRecordKeyMask);
}

// Whether the block holds a posting on page at page-text offset `at`. A block
// in page order is searched by page and offset; should a page's offsets not
// ascend, a posting may be missed, and the page text then decides.
bool has_posting_at(const PhraseWordBlock &block, uint32_t page, uint64_t at) {
    if (!block.in_page_order || block.count <= 0) return false;
    const int64_t r = first_record_from(block, page, at);
    if (r == block.count) return false;
    const WordmapPosting posting =
        decode_wordmap_record(block.records + (size_t)r * kWordmapRecordSize);
    return posting.page == page && posting.text_offset == at;
}

// Whether the postings alone show the phrase at the candidate: every later
// word k has a posting k records after it on its page, and the page-text file
// holds all w records. A posting points at its word's record, so the text
// there holds the words one after the other and a scan from the candidate
// would find the phrase at once; reading it is spared. Ids a scan would not
// match (page boundaries, ids beyond the dictionary) are left to the scan.
bool postings_show_phrase(const SearchContext &c, SearchRun &run, const uint32_t *ids, uint32_t w,
                          const ScoredPosting &candidate) {
    if (!page_text_record_size_valid(c.DictIDLen)) return false;
    for (uint32_t k = 0; k < w; k++)
        if (ids[k] < kFirstTokenId || ids[k] >= c.NumKeywords) return false;
    PageTextWindow &text = run.phrase_text;
    if (!text.sized) {
        text.sized = true;
        (void)platform_file_size(fileno(c.g_page_text_file), &text.size);  // else 0: no records
    }
    const uint64_t record = (uint64_t)c.DictIDLen;
    if (candidate.offset > text.size || text.size - candidate.offset < w * record) return false;
    for (uint32_t k = 1; k < w; k++)
        if (!has_posting_at(run.phrase_blocks[k], candidate.page, candidate.offset + k * record))
            return false;
    return true;
}

// Compares the candidate with each later word's first posting on its page.
CandidateWindow check_later_words(const SearchRun &run, const ScoredPosting &candidate) {
    CandidateWindow window{true, candidate.offset, 0, candidate.score & kScoreMask};
    for (int32_t k = 1; k < run.phrase_block_count; k++) {
        const PhraseWordBlock &block = run.phrase_blocks[k];
        if (block.count <= 0) continue;
        const int64_t r = first_record_on_page(block, candidate.page);
        if (r < 0) {
            window.passed = false;
            break;
        }
        const WordmapPosting other =
            decode_wordmap_record(block.records + (size_t)r * kWordmapRecordSize);
        const uint8_t shifted = (uint8_t)(other.zones << 1);
        if ((other.zones & candidate.zones) == 0 && (shifted & candidate.zones) == 0) {
            window.passed = false;
            break;
        }
        if (other.text_offset > window.largest) {
            window.largest = other.text_offset;
            window.kbig = (uint32_t)k;
        }
        window.score = (window.score + other.score) & kScoreMask;
    }
    return window;
}

// Records of Size bytes that the page-text window holds from offset on (0
// when offset lies outside it or off its record grid).
size_t window_records(const PageTextWindow &window, uint64_t offset, int32_t size) {
    if (offset < window.offset || offset - window.offset >= window.length) return 0;
    const uint64_t skip = offset - window.offset;
    if (skip % (uint64_t)size != 0) return 0;
    return (size_t)((window.length - skip) / (uint64_t)size);
}

// Where the text of the candidate's page ends at the latest, as bytes from
// start, or 0 when the postings do not tell. A page's records lie together,
// so a posting of another page behind start lies behind the page's end; the
// first posting of a later word on the next pages in its block is taken
// (blocks in page order only). Only a read size: nothing is decided by it.
uint64_t page_end_bound(const SearchRun &run, uint32_t page, uint64_t start) {
    uint64_t bound = 0;
    if (page == UINT32_MAX) return 0;
    for (int32_t k = 1; k < run.phrase_block_count; k++) {
        const PhraseWordBlock &block = run.phrase_blocks[k];
        if (!block.in_page_order || block.count <= 0) continue;
        const int64_t r = first_record_from(block, page + 1, 0);
        if (r == block.count) continue;
        const uint64_t at =
            decode_wordmap_record(block.records + (size_t)r * kWordmapRecordSize).text_offset;
        if (at > start && (bound == 0 || at - start < bound)) bound = at - start;
    }
    return bound;
}

// Reads the page text from start into the window, in pieces (kPhraseFirstPiece
// first, or less when `bound` says the page ends before, then doubling up to
// kPhraseLargestPiece), using what the window already holds, and scans it for
// the phrase's ids (w of them, all below NumKeywords). The first piece is large: a scan that fails
// runs to the page's end, and one read call costs about as much as copying several KB of cached
// text, so fewer larger reads take less time. Fills memo: found and phrase_start when found before
// a page boundary, the end of the file or a read error (a record size outside 2..5 finds nothing),
// and where the scan stopped.
void find_phrase_in_text(SearchContext &c, PageTextWindow &window, const uint32_t *ids, uint32_t w,
                         uint64_t start, uint64_t bound, PhraseScanMemo &memo) {
    memo.start = memo.end = start;
    memo.found = false;
    const int32_t size = c.DictIDLen;
    if (!page_text_record_size_valid(size)) return;
    PhraseScan scan{ids, w, 0, c.NumKeywords, c.DictReservedLimit, start, start};
    uint64_t offset = start;
    // A bound short of a record still reads one.
    size_t piece =
        bound > 0 && bound < kPhraseFirstPiece ? std::max<size_t>(bound, size) : kPhraseFirstPiece;
    for (;;) {
        size_t records = window_records(window, offset, size);
        if (records == 0) {
            const size_t want = piece / (size_t)size * (size_t)size;
            const int64_t got =
                platform_read_at(fileno(c.g_page_text_file), window.bytes, want, (int64_t)offset);
            window.offset = offset;
            window.length = got > 0 ? (size_t)got : 0;
            records = window.length / (size_t)size;
            piece = std::min(std::max(2 * piece, kPhraseFirstPiece), kPhraseLargestPiece);
        }
        if (records == 0) {
            memo.end = offset;
            return;
        }
        const uint8_t *bytes = window.bytes + (offset - window.offset);
        const int step = scan_piece(scan, size, bytes, records, offset);
        if (step != kScanGoesOn) {
            memo.found = step == kScanFound;
            memo.end = memo.found ? scan.phrase_start : scan.end;
            memo.phrase_start = scan.phrase_start;
            return;
        }
        offset += records * (uint64_t)size;
    }
}

// Whether a scan's outcome holds for every later start up to where it
// stopped: when the first word is no punctuation and no later word is the
// first again, a partial match never hides the start of another, so a scan
// finds the first occurrence at or after its start.
bool outcome_carries(const SearchContext &c, const uint32_t *ids, uint32_t w) {
    if (ids[0] >= kFirstTokenId && ids[0] <= c.DictReservedLimit) return false;
    for (uint32_t k = 1; k < w; k++)
        if (ids[k] == ids[0]) return false;
    return true;
}

// Whether the term's last scan tells the outcome of a scan from start.
bool memo_answers(const PhraseScanMemo &memo, uint64_t start) {
    if (!memo.valid) return false;
    if (start == memo.start) return true;
    return memo.carries && start > memo.start && start <= memo.end;
}

// Counts one page-text check of the term. false (the search is cut short)
// when the seek budget or the search time is used up.
bool within_budget(SearchContext &c, SearchRun &run) {
    if (run.phrase_seeks < INT32_MAX) run.phrase_seeks++;
    const bool over = run.phrase_seeks > c.MaxContextSeeks ||
                      timer_seconds(g_timer_start, timer_now()) > (double)c.MaxSearchTime;
    if (over) c.g_search_cut_short = 1;
    return !over;
}
// Frees each term's null-terminated word list, then the table.
void free_word_lists(char ***&lists, uint32_t terms) {
    if (lists == nullptr) return;
    for (uint32_t i = 0; i < terms; i++) {
        if (lists[i] == nullptr) continue;
        for (char **word = lists[i]; *word != nullptr; word++) free(*word);
        free(lists[i]);
    }
    free(lists);
    lists = nullptr;
}

}  // namespace

bool prepare_phrase_term(SearchContext &c, SearchRun &run, uint32_t i, uint32_t *first_id) {
    *first_id = kNoDictionaryWord;
    free_phrase_blocks(run);
    run.phrase_memo.valid = false;
    const uint32_t w = count_pieces(c.g_query_words[i]);
    if (w == 0) {
        // Blanks alone: no phrase, passed over like an empty word.
        run.empty_words++;
        return true;
    }
    if (!allocate_phrase_tables(c) || !split_phrase(c, i, w)) {
        finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
        return false;
    }
    run.phrase_blocks = (PhraseWordBlock *)calloc(w, sizeof(PhraseWordBlock));
    if (run.phrase_blocks == nullptr) {
        finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
        return false;
    }
    run.phrase_block_count = (int32_t)w;
    bool missing = false;
    if (!look_up_phrase_words(c, run, i, w, &missing)) return false;
    if (!missing) *first_id = c.g_phrase_word_ids[i][0];
    return true;
}

int verify_phrase_candidate(SearchContext &c, SearchRun &run, uint32_t i, ScoredPosting *posting) {
    const uint32_t *ids = c.g_phrase_word_ids != nullptr ? c.g_phrase_word_ids[i] : nullptr;
    const uint32_t w = (uint32_t)run.phrase_block_count;
    if (ids == nullptr || w == 0 || c.g_page_text_file == nullptr) return kPhraseRejected;
    const CandidateWindow window = check_later_words(run, *posting);
    const uint64_t record = (uint64_t)c.DictIDLen;
    // A candidate whose later words lie far away costs a long scan: past the
    // budget's slack only near ones are tried.
    if ((int64_t)run.phrase_seeks > (int64_t)c.MaxContextSeeks + kSeekSlack &&
        window.largest > posting->offset + (w + kWindowSlack) * record)
        return kPhraseRejected;
    if (!window.passed) return kPhraseRejected;
    if (!within_budget(c, run)) return kPhraseTermEnds;
    const uint64_t lead = (window.kbig + kWindowSlack) * record;
    const uint64_t start =
        window.largest < lead ? posting->offset : std::max(window.largest - lead, posting->offset);
    // The scan reads at offsets; a start that no seek could reach still
    // ends the request with the seek's message.
    if ((int64_t)start < 0 && !seek_page_text(c, start)) return kPhraseFailed;
    PageTextWindow &text = run.phrase_text;
    if (text.bytes == nullptr &&
        (text.bytes = (uint8_t *)platform_arena_alloc(kPhraseLargestPiece)) == nullptr) {
        finish_search_error(c, kSearchOutOfMemory, "</vesk:error>");
        return kPhraseFailed;
    }
    // Candidates of one page often start their scans at the same record (the
    // later words' first postings) or within the stretch the last scan passed:
    // its outcome holds for them.
    PhraseScanMemo &memo = run.phrase_memo;
    if (!memo_answers(memo, start)) {
        if (start == posting->offset && postings_show_phrase(c, run, ids, w, *posting)) {
            memo.start = memo.end = memo.phrase_start = start;
            memo.found = true;
        } else {
            find_phrase_in_text(c, text, ids, w, start, page_end_bound(run, posting->page, start),
                                memo);
        }
        memo.carries = outcome_carries(c, ids, w);
        memo.valid = true;
    }
    if (!memo.found) return kPhraseRejected;
    posting->score = window.score;
    posting->offset = memo.phrase_start;
    return kPhraseVerified;
}

void free_phrase_blocks(SearchRun &run) {
    if (run.phrase_blocks != nullptr) {
        for (int32_t k = 0; k < run.phrase_block_count; k++) {
            platform_arena_free(run.phrase_blocks[k].records);
            free(run.phrase_blocks[k].page_keys);
        }
    }
    free(run.phrase_blocks);
    run.phrase_blocks = nullptr;
    run.phrase_block_count = 0;
}

void free_phrase_text(SearchRun &run) {
    platform_arena_free(run.phrase_text.bytes);
    run.phrase_text = PageTextWindow{};
}

void free_phrase_words(SearchContext &c) {
    free_word_lists(c.g_phrase_words, c.g_query_word_count);
    free_word_lists(c.g_phrase_word_copies, c.g_query_word_count);
}
