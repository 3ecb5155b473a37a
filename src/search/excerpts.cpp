// Context excerpts from the page text, and the marking of query terms in
// titles, descriptions and excerpts.
#include <ctype.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "index/index.h"
#include "search/search.h"
#include "text/text.h"

namespace {
const char kHighlightOpen[] = "<span class=\"highlight\">";
const char kHighlightClose[] = "</span>";
const char kXmlHighlightOpen[] = "<vesk:highlight>";
const char kXmlHighlightClose[] = "</vesk:highlight>";
const char kHtmlContextOpen[] = "<div class=\"context\">\n";
const char kHtmlContextClose[] = "</div>\n";
const char kXmlContextOpen[] = "<vesk:context>";
const char kXmlContextClose[] = "</vesk:context>\n";
const char kHtmlRunSeparator[] = " <b>...</b> ";
const char kXmlRunSeparator[] = " ... ";
const char kHtmlEllipsis[] = " <b>...</b>";
const char kXmlEllipsis[] = " ...";
const char kCriticalPageText[] =
    "Critical error with pagetext file. Check that your files are from the same indexing "
    "session.";
constexpr int kSlotFields = 2;              // word id and variant per slot
constexpr int kRepeatedPosition = 2;        // runs from the third on use the last position
constexpr int kEntityMaxLength = 7;         // "&#" ... ";" of a numeric entity, at most
constexpr size_t kEncodedBytesPerByte = 7;  // "&#-128;": the longest encoded byte

// Appends text to the results buffer or an output section.
void write_to(int section, const char *text) {
    if (section == kResultsBufferTarget)
        buffer_printf("%s", text);
    else
        section_printf(section, "%s", text);
}

// Excerpt text goes to standard output in XML, to the results buffer in HTML.
void write_excerpt_text(const SearchContext &c, const char *text) {
    if (c.g_xml_output)
        out_puts(text);
    else
        write_to(kResultsBufferTarget, text);
}

// ---- Context excerpts ----

// Where the runs of one excerpt stand.
struct ExcerptState {
    uint64_t back_off;     // bytes a run starts before its hit
    uint64_t first_start;  // start of the first run
    uint64_t prev_start;   // start of the run before
    uint64_t prev_end;     // end of the run before (the record read after it included)
    uint64_t prev_hit;     // hit of the run before
    bool printed;          // a run has been written
};

// What filling one run's slots found.
struct RunRead {
    uint64_t read;         // bytes read from the run's start
    uint64_t last_offset;  // offset of the last record read from the run's start
    uint32_t last_id;      // word id of the last record read (0 also when none was left)
    bool last_run;         // the excerpt ends with this run
    bool failed;           // the seek failed
};

void clear_slots(SearchContext &c) {
    memset(c.g_context_slots, 0, (size_t)c.g_context_slot_count * kSlotFields * sizeof(uint32_t));
    if (c.g_context_marks != nullptr)
        memset(c.g_context_marks, 0, (size_t)c.g_context_slot_count * sizeof(ContextMark));
}

// Where run r starts, given its hit p and the runs before it.
uint64_t run_start(const ExcerptState &state, uint64_t p) {
    uint64_t s = p > state.back_off ? p - state.back_off : p;
    const bool continues = s > state.prev_start || s > state.first_start;
    if (continues && s < state.prev_end) s = state.prev_end;
    return s;
}

// Fills the slots from s: stops at the end of the records, and at a page
// boundary at or after the hit p; a boundary before the hit starts the run
// again after it.
RunRead fill_slots(SearchContext &c, const ExcerptState &state, uint64_t s, uint64_t p) {
    RunRead run{0, 0, 0, false, false};
    if (!seek_page_text(c, s)) {
        run.failed = true;
        return run;
    }
    clear_slots(c);
    uint32_t id, variant;
    int size = read_pagetext_word(c, &id, &variant);
    uint64_t offset = 0;
    run.read = (uint64_t)size;
    for (uint32_t i = 0; i < c.g_context_slot_count; i++) {
        if (size == 0) {
            run.last_run = true;
            break;
        }
        if (id <= kLastBoundaryId || id > c.NumKeywords) {
            if (p <= state.back_off || s + run.read > p) {
                run.last_run = true;
                break;
            }
            clear_slots(c);
            i = 0;  // slot 0 stays empty; the next record goes into slot 1
        } else if (id == c.NumKeywords) {
            buffer_printf("%s", kCriticalPageText);
        } else {
            c.g_context_slots[i * kSlotFields] = id;
            c.g_context_slots[i * kSlotFields + 1] = variant;
            if (c.g_context_marks != nullptr && s + offset == p) c.g_context_marks[i].term = 1;
        }
        size = read_pagetext_word(c, &id, &variant);
        offset = run.read;
        run.read += (uint64_t)size;
    }
    run.last_id = id;
    run.last_offset = offset;
    return run;
}

// Opening and closing tags of the excerpt's marks in the current output form.
void mark_tags(const SearchContext &c, const char **open, const char **close) {
    const bool tagged = !c.g_xml_output || c.XMLHighlight == 1;
    *open = !tagged ? "" : c.g_xml_output ? kXmlHighlightOpen : kHighlightOpen;
    *close = !tagged ? "" : c.g_xml_output ? kXmlHighlightClose : kHighlightClose;
}

// Whether the token before a slot asks for a space, by the reserved-token
// classes; *joined says the token glues to the next one.
bool space_before(const SearchContext &c, uint32_t id, uint32_t previous, bool *joined) {
    if (*joined) {
        *joined = false;
        return false;
    }
    if (id > c.DictReservedNoSpaces)
        return !(previous > c.DictReservedPrefixes && previous <= c.DictReservedNoSpaces);
    if (id < c.DictReservedSpaces) return true;
    if (id <= c.DictReservedSuffixes) {
        *joined = id > c.DictReservedPrefixes;
        return false;
    }
    *joined = true;
    return id <= c.DictReservedPrefixes;
}

// The text of the current run: its words spaced by their classes, with
// marks. false when no slot holds a word (the text is then spaces alone).
bool build_run_text(const SearchContext &c, GrowText &text) {
    grow_text_clear(text);
    const char *open, *close;
    mark_tags(c, &open, &close);
    uint32_t previous = 0;
    bool joined = false, words = false;
    for (uint32_t i = 0; i < c.g_context_slot_count; i++) {
        const uint32_t id = c.g_context_slots[i * kSlotFields];
        if (space_before(c, id, previous, &joined)) grow_text_append(text, " ");
        previous = id;
        if (id == 0) continue;
        words = true;
        const ContextMark none{0, 0, 0};
        const ContextMark &mark = c.g_context_marks != nullptr ? c.g_context_marks[i] : none;
        for (uint32_t n = 0; n < mark.term + mark.opens; n++) grow_text_append(text, open);
        const WordText word = get_word_variant(id, c.g_context_slots[i * kSlotFields + 1]);
        // XML carries the index's words as character data that is always well-formed.
        if (c.g_xml_output)
            grow_text_append(text, xml_text(c, word.bytes, word.length));
        else
            grow_text_append(text, word.bytes, word.length);
        for (uint32_t n = 0; n < mark.term + mark.closes; n++) grow_text_append(text, close);
    }
    return words;
}

// Writes a run unless it holds no word or, before any run was written, its
// trimmed text is empty or the page's title.
void write_run(const SearchContext &c, ExcerptState &state, GrowText &text, bool words,
               const char *title) {
    if (text.failed || text.length == 0 || !words) return;
    if (!state.printed) {
        trim_string(text.bytes);
        text.length = strlen(text.bytes);
        if (text.length == 0 || strcmp(text.bytes, title) == 0) return;
    }
    write_excerpt_text(c, c.g_xml_output ? kXmlRunSeparator : kHtmlRunSeparator);
    write_excerpt_text(c, text.bytes);
    state.printed = true;
}

// Writes the runs around the result's positions (runs of them at most).
void write_runs(SearchContext &c, const SearchResult &result, const char *title, uint32_t runs) {
    ExcerptState state{};
    state.back_off = (uint64_t)(c.g_context_slot_count / 2) * (uint64_t)c.DictIDLen;
    GrowText text;
    for (uint32_t r = 0; r < runs; r++) {
        const uint64_t p = result.positions[r < kRepeatedPosition ? r : kRepeatedPosition];
        const uint64_t s = run_start(state, p);
        // A run of the same start and hit as the one before would repeat it.
        if (r > 0 && s == state.prev_start && p == state.prev_hit) continue;
        if (r == 0) state.first_start = s;
        state.prev_start = s;
        state.prev_hit = p;
        const RunRead run = fill_slots(c, state, s, p);
        if (run.failed) break;
        // A run that reached the next page's start ends there: later runs
        // continue from the page's end instead of repeating its last words.
        state.prev_end = s + (run.last_id != 0 ? run.read : run.last_offset);
        if (c.g_context_marks != nullptr) mark_context_terms(c);
        const bool words = build_run_text(c, text);
        write_run(c, state, text, words, title);
        if (run.last_run) break;
    }
    grow_text_free(text);
    if (state.printed) write_excerpt_text(c, c.g_xml_output ? kXmlEllipsis : kHtmlEllipsis);
}

// Allocates the slots (and marks) of runs that share context_size words.
bool allocate_slots(SearchContext &c, uint32_t runs) {
    const double per_run = ceil((double)c.ContextSize / (double)runs);
    c.g_context_slot_count = (uint32_t)(uint64_t)per_run;
    c.g_context_slots = (uint32_t *)calloc(c.g_context_slot_count, kSlotFields * sizeof(uint32_t));
    c.g_context_marks = nullptr;
    if (c.Highlighting == 1)
        c.g_context_marks = (ContextMark *)calloc(c.g_context_slot_count, sizeof(ContextMark));
    return c.g_context_slots != nullptr && (c.Highlighting != 1 || c.g_context_marks != nullptr);
}

void free_slots(SearchContext &c) {
    free(c.g_context_slots);
    free(c.g_context_marks);
    c.g_context_slots = nullptr;
    c.g_context_marks = nullptr;
    c.g_context_slot_count = 0;
}

// ---- Marks of an excerpt run ----

// Whether phrase `ids` (zero-terminated) starts at slot i: its words in order,
// other reserved tokens between them passed over. *last: its last slot.
bool phrase_at_slot(const SearchContext &c, const uint32_t *ids, uint32_t i, uint32_t *last) {
    if (ids[0] == 0) return false;
    uint32_t k = 0, j = i;
    bool strict = false;
    for (; j < c.g_context_slot_count && ids[k] != 0; j++) {
        const uint32_t id = c.g_context_slots[j * kSlotFields];
        const bool reserved = id <= c.DictReservedLimit;
        if (reserved && id == ids[k]) strict = true;
        if (j != i && reserved && !strict) continue;
        if (id != ids[k]) return false;
        k++;
    }
    if (k == 0 || ids[k] != 0) return false;
    *last = j - 1;
    return true;
}

// Whether the (single-word) term t matches the word of slot id.
bool term_matches_word(const SearchContext &c, uint32_t t, uint32_t id) {
    if (c.g_term_is_wildcard != nullptr && c.g_term_is_wildcard[t] == 1) {
        const WordText word = get_word_variant(id, 0);
        return c.g_query_words != nullptr && c.g_query_words[t] != nullptr &&
               match_wildcard(word.bytes, word.length, c.g_query_words[t],
                              c.ToLowerSearchWords == 0);
    }
    return c.g_term_first_word_id != nullptr && id == c.g_term_first_word_id[t];
}

// A term's mark goes only to a slot without marks.
void mark_term(ContextMark &mark) {
    if (mark.term == 0 && mark.opens == 0 && mark.closes == 0) mark.term = 1;
}

// A phrase from slot i to slot last replaces the term marks of both ends.
void mark_phrase(ContextMark *marks, uint32_t i, uint32_t last) {
    if (i == last) {
        marks[i].term = 1;  // a one-word phrase is marked like a word
        return;
    }
    marks[i].term = 0;
    marks[i].opens++;
    marks[last].term = 0;
    marks[last].closes++;
}

// ---- Highlighting ----

// Working texts of one highlight_terms call.
struct Highlighter {
    GrowText decoded;  // the input with the join characters' entities decoded
    GrowText pending;  // unmarked output not yet encoded
    GrowText out;      // the finished output
    GrowText phrase;   // tokens collected by a phrase attempt
};

bool is_join_char(unsigned char ch, const char *join_chars) {
    return ch != '\0' && strchr(join_chars, ch) != nullptr;
}

// Length of the numeric entity at text ("&#" and a ";" within its first
// kEntityMaxLength characters), or 0.
int numeric_entity_length(const char *text) {
    if (text[0] != '&' || text[1] != '#') return 0;
    for (int i = 2; i < kEntityMaxLength && text[i] != '\0'; i++)
        if (text[i] == ';') return i + 1;
    return 0;
}

// Whether the punctuation character at p ends the word being collected.
bool ends_word(const char *p, const char *join_chars) {
    if (!is_join_char((unsigned char)*p, join_chars)) return true;
    const unsigned char next = (unsigned char)p[1];
    return next != '\0' && !isalnum(next) && !is_join_char(next, join_chars);
}

// Encodes the join characters of text (NUL-terminated) as numeric entities onto out.
void append_encoded(GrowText &out, const char *text, size_t length, const char *join_chars) {
    if (length == 0 || !grow_text_reserve(out, length * kEncodedBytesPerByte)) return;
    const size_t room = out.capacity - out.length;
    encode_numeric_entities(text, out.bytes + out.length, join_chars, (int)room);
    out.length += strlen(out.bytes + out.length);
}

// Moves the pending unmarked output, encoded, to the finished output.
void flush_pending(Highlighter &h, const char *join_chars) {
    append_encoded(h.out, h.pending.bytes, h.pending.length, join_chars);
    grow_text_clear(h.pending);
}

// Writes marked text: opening tag, the text encoded, closing tag.
void append_marked(Highlighter &h, const char *text, size_t length, const char *join_chars) {
    flush_pending(h, join_chars);
    grow_text_append(h.out, kHighlightOpen);
    append_encoded(h.out, text, length, join_chars);
    grow_text_append(h.out, kHighlightClose);
}

// Tries the phrase `words` from the current token on. true: h.phrase holds the
// matched tokens and `after` the token read behind them; false: the tokenizer
// is back behind the current token.
bool match_phrase(SearchContext &c, Highlighter &h, char *const *words, const char *token, int kind,
                  char *after) {
    const char *resume = c.g_highlight_token_pos;
    grow_text_clear(h.phrase);
    if (words[0] == nullptr) return false;
    snprintf(after, kHighlightTokenSize, "%s", token);
    uint32_t k = 0;
    while (after[0] != '\0') {
        if (kind != kSeparatorToken || k == 0) {
            if (compare_words(words[k], after) != 0) break;
            if (kind == kWordToken) k++;
        }
        grow_text_append(h.phrase, after);
        kind = next_highlight_token(c, nullptr, after, c.WordJoinChars);
        if (words[k] == nullptr) return true;
    }
    c.g_highlight_token_pos = resume;
    return false;
}

// Whether single-word term t matches token.
bool term_matches_token(const SearchContext &c, uint32_t t, const char *token) {
    const char *typed = c.g_query_word_copies != nullptr ? c.g_query_word_copies[t] : nullptr;
    if (typed == nullptr) return false;
    if (c.g_term_is_wildcard != nullptr && c.g_term_is_wildcard[t] == 1)
        return match_wildcard(token, typed, c.ToLowerSearchWords == 0);
    return compare_words(typed, token) == 0;
}

// Writes the current token, marked when a query term or a phrase starting
// there matches it. After a phrase, token holds the token read behind it,
// which is written unmarked.
void highlight_token(SearchContext &c, Highlighter &h, char *token, int kind) {
    const char *join = c.WordJoinChars;
    if (strcmp(token, " ") != 0) {
        for (uint32_t t = 0; t < c.g_query_word_count; t++) {
            char *const *words =
                c.g_phrase_word_copies != nullptr ? c.g_phrase_word_copies[t] : nullptr;
            if (words != nullptr) {
                char after[kHighlightTokenSize];
                if (!match_phrase(c, h, words, token, kind, after)) continue;
                append_marked(h, h.phrase.bytes, h.phrase.length, join);
                grow_text_append(h.pending, after);
                return;
            }
            if (term_matches_token(c, t, token)) {
                append_marked(h, token, strlen(token), join);
                return;
            }
        }
    }
    grow_text_append(h.pending, token);
}

void free_highlighter(Highlighter &h) {
    grow_text_free(h.decoded);
    grow_text_free(h.pending);
    grow_text_free(h.out);
    grow_text_free(h.phrase);
}
}  // namespace

void write_context_excerpt(SearchContext &c, SearchRun &, const SearchResult &result,
                           const char *title) {
    if (c.DisplayContext != 1 || c.g_meta_only_search) return;
    write_excerpt_text(c, c.g_xml_output ? kXmlContextOpen : kHtmlContextOpen);
    const uint32_t runs = result.hits < c.MaxContextKeywords ? result.hits : c.MaxContextKeywords;
    if (runs > 0 && c.ContextSize > 0 && c.g_page_text_file != nullptr) {
        if (allocate_slots(c, runs)) write_runs(c, result, title != nullptr ? title : "", runs);
        free_slots(c);
    }
    write_excerpt_text(c, c.g_xml_output ? kXmlContextClose : kHtmlContextClose);
}

void mark_context_terms(SearchContext &c) {
    if (c.g_context_slots == nullptr || c.g_context_marks == nullptr) return;
    for (uint32_t i = 0; i < c.g_context_slot_count; i++) {
        const uint32_t id = c.g_context_slots[i * kSlotFields];
        for (uint32_t t = 0; t < c.g_query_word_count; t++) {
            if (c.g_phrase_words != nullptr && c.g_phrase_words[t] != nullptr) {
                const uint32_t *ids =
                    c.g_phrase_word_ids != nullptr ? c.g_phrase_word_ids[t] : nullptr;
                uint32_t last;
                if (ids != nullptr && phrase_at_slot(c, ids, i, &last))
                    mark_phrase(c.g_context_marks, i, last);
            } else if (term_matches_word(c, t, id)) {
                mark_term(c.g_context_marks[i]);
            }
        }
    }
}

int next_highlight_token(SearchContext &c, const char *text, char *token, const char *join_chars) {
    if (token == nullptr || join_chars == nullptr) return kNoToken;
    if (text != nullptr) c.g_highlight_token_pos = text;
    token[0] = '\0';
    const char *p = c.g_highlight_token_pos;
    if (p == nullptr) return kNoToken;
    int n = 0;
    for (; *p != '\0' && n < kHighlightTokenChars; p++) {
        const unsigned char ch = (unsigned char)*p;
        if (ch == ' ') break;
        if (ispunct(ch)) {
            const int entity = numeric_entity_length(p);
            if (entity > 0 && n > 0) break;
            if (entity > 0) {
                memcpy(token, p, (size_t)entity);
                token[entity] = '\0';
                c.g_highlight_token_pos = p + entity;
                return kSeparatorToken;
            }
            if (ends_word(p, join_chars)) break;
        }
        token[n++] = (char)ch;
    }
    token[n] = '\0';
    if (*p == '\0') {
        c.g_highlight_token_pos = nullptr;
        return kWordToken;
    }
    // A separator, or a word of the longest length (the rest of the text
    // follows as further tokens, none of it is lost).
    c.g_highlight_token_pos = p;
    if (n > 0) return kWordToken;
    token[0] = *p;
    token[1] = '\0';
    c.g_highlight_token_pos = p + 1;
    return kSeparatorToken;
}

void highlight_terms(SearchContext &c, const char *text, int section) {
    if (text == nullptr) return;
    const size_t length = strlen(text);
    if (c.Highlighting != 1 || length == 0) {
        write_to(section, text);
        return;
    }
    Highlighter h;
    if (grow_text_reserve(h.decoded, length)) {
        decode_numeric_entities(text, h.decoded.bytes, c.WordJoinChars, (int)length + 1);
        char token[kHighlightTokenSize];
        int kind = next_highlight_token(c, h.decoded.bytes, token, c.WordJoinChars);
        while (token[0] != '\0') {
            highlight_token(c, h, token, kind);
            kind = next_highlight_token(c, nullptr, token, c.WordJoinChars);
        }
        flush_pending(h, c.WordJoinChars);
    }
    // Without memory for the marks the text is written as it came.
    const bool done = !h.decoded.failed && !h.pending.failed && !h.out.failed && !h.phrase.failed;
    write_to(section, done && h.out.bytes != nullptr ? h.out.bytes : text);
    free_highlighter(h);
}
