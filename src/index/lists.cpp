// The spelling list and the recommended list: two small text files read line
// by line (CR LF taken as LF) with a line buffer of MaxKeyWordLineLen bytes;
// longer lines arrive in pieces, each taken as a line of its own.
//
// vesk_spelling.vdat, sorted by key in ascending byte order, one entry a line:
//   KEY ID [ID [ID]]      tokens split at space, CR and LF; later tokens ignored
// KEY is a phonetic key (6 bytes kept), each ID a dictionary word id (0 = none).
//
// vesk_recommended.vdat, one link a line, split at the line's last space:
//   keyword text PAGE     keyword text may hold spaces and commas; PAGE a page index
#include <stdlib.h>
#include <string.h>

#include "index/dictionary_lines.h"
#include "index/index.h"
#include "platform/platform.h"

namespace {

const char kMissingSpellingMessage[] =
    "Can not find one or more of the Vesk index files. Please make sure the generated index files "
    "are uploaded to the same path as this search script. Also check file permissions have been "
    "set to allow reading.";
const char kSpellingNoMemory[] = "Error: Out of memory";
const char kRecommendedNoMemory[] = "Error: out of memory";

// Entries a table gets at first; it doubles while lines keep coming.
constexpr uint32_t kFirstTableEntries = 64;

// Drops the spelling table and finishes the page after message (inside
// <vesk:error>, closed by `closing`, in XML mode).
void finish_page(const char *message, const char *closing) {
    free_spelling_list();
    finish_page_after_error(message, closing);
}

// Makes room for entry `count` of a table of entry_size bytes, doubling its
// capacity up to limit entries. New entries are zero-filled. false without memory.
bool grow_table(void **table, uint32_t *capacity, uint32_t count, size_t entry_size,
                uint32_t limit) {
    if (count < *capacity) return true;
    uint64_t wanted = *capacity == 0 ? kFirstTableEntries : (uint64_t)*capacity * 2;
    if (wanted > limit) wanted = limit;
    if (wanted <= count || wanted * entry_size > SIZE_MAX) return false;
    void *grown = realloc(*table, (size_t)(wanted * entry_size));
    if (grown == nullptr) return false;
    memset((char *)grown + (size_t)*capacity * entry_size, 0,
           (size_t)((wanted - *capacity) * entry_size));
    *table = grown;
    *capacity = (uint32_t)wanted;
    return true;
}

// The pieces of a text as the text-mode line reader (platform_read_text_line
// with a buffer of `size` bytes) cuts them, found in memory: up to and
// including the first LF, at most size - 1 bytes; the piece's text ends at
// its first NUL; a Ctrl-Z in that text ends it and the whole text. The reader
// also turns CR LF into LF and takes an LF that follows a piece ending in CR
// into it; the spelling tokens end at CR and LF alike, so neither changes
// what a piece gives.
struct TextPieces {
    const char *at;
    const char *end;
    size_t most;  // size - 1
};

// The next piece's text in *text and *length; false at the end.
bool next_piece(TextPieces &pieces, const char **text, size_t *length) {
    constexpr char kTextEndOfFile = 0x1A;
    if (pieces.at >= pieces.end) return false;
    const char *start = pieces.at;
    size_t span =
        (size_t)(pieces.end - start) < pieces.most ? (size_t)(pieces.end - start) : pieces.most;
    const char *lf = (const char *)memchr(start, '\n', span);
    if (lf != nullptr) span = (size_t)(lf - start) + 1;
    pieces.at = start + span;
    size_t visible = strnlen(start, span);
    const char *end_mark = (const char *)memchr(start, kTextEndOfFile, visible);
    if (end_mark != nullptr) {
        visible = (size_t)(end_mark - start);
        pieces.at = pieces.end;
        if (visible == 0) return false;
    }
    *text = start;
    *length = visible;
    return true;
}

// Space, CR and LF as bits of the bytes up to ' '.
constexpr uint64_t kDelimiterBits = 1ull << ' ' | 1ull << '\r' | 1ull << '\n';

inline bool is_token_delimiter(char ch) {
    return (uint8_t)ch <= ' ' && (kDelimiterBits >> (uint8_t)ch & 1) != 0;
}

// The next token of [*cursor, end) delimited by space, CR and LF: its start,
// and its length in *length; null when none.
inline const char *next_token(const char **cursor, const char *end, size_t *length) {
    const char *p = *cursor;
    while (p < end && is_token_delimiter(*p)) p++;
    const char *start = p;
    while (p < end && !is_token_delimiter(*p)) p++;
    *cursor = p;
    *length = (size_t)(p - start);
    return start < end ? start : nullptr;
}

// The number of a token by the number rule; a token of up to eight digits,
// the usual id, is read eight bytes at once (the text has that many bytes
// behind its end).
inline uint32_t token_number(const char *token, size_t length) {
    uint64_t value;
    if (length <= kPlainDigits && read_digit_group(token, (uint32_t)length, &value))
        return (uint32_t)value;
    return (uint32_t)parse_int_decimal_bounded(token, length);
}

// A word id of the list, or 0 when it does not name a dictionary entry.
uint32_t checked_word_id(uint32_t id) {
    return id < g_search_context.NumKeywords ? id : 0;
}

// Fills entry from one piece. true when it gave a key and a first id.
bool parse_spelling_line(const char *text, size_t length, SpellingEntry *entry) {
    const char *cursor = text, *end = text + length;
    size_t key_length, token_length;
    const char *key = next_token(&cursor, end, &key_length);
    if (key == nullptr) return false;
    const char *first = next_token(&cursor, end, &token_length);
    if (first == nullptr) return false;
    memset(entry, 0, sizeof *entry);
    memcpy(entry->key, key, key_length < kSpellingKeySize - 1 ? key_length : kSpellingKeySize - 1);
    entry->ids[0] = checked_word_id(token_number(first, token_length));
    for (int i = 1; i < kSpellingIdCount; i++) {
        const char *token = next_token(&cursor, end, &token_length);
        if (token == nullptr) break;
        entry->ids[i] = checked_word_id(token_number(token, token_length));
    }
    return true;
}

// Entries the spelling table can need for a text of `size` bytes: no more
// than NumSpellings, nor than the text has pieces.
uint64_t spelling_table_bound(const SearchContext &c, const char *text, size_t size) {
    uint64_t pieces = 1 + size / (uint64_t)(c.MaxKeyWordLineLen - 1);
    const char *const end = text + size;
    for (const char *lf = text;
         (lf = (const char *)memchr(lf, '\n', (size_t)(end - lf))) != nullptr; lf++)
        pieces++;
    return pieces < c.NumSpellings ? pieces : c.NumSpellings;
}

// Reads the whole open spelling file into a block of the request arena with a
// NUL behind it (free it with platform_arena_free).
// Null without memory or when the read fails (the file is then taken as
// ending where the read stopped).
char *read_spelling_text(FILE *file, size_t *size) {
    *size = 0;
    uint64_t file_size = 0;
    if (!platform_file_size(fileno(file), &file_size) || file_size >= SIZE_MAX - 1 - kTextPadding)
        file_size = 0;
    // Zero bytes behind the text: its NUL, and room for the structure listing
    // and the digit groups to read past it.
    char *text = (char *)platform_arena_alloc((size_t)file_size + 1 + kTextPadding);
    if (text == nullptr) return nullptr;
    *size = fread(text, 1, (size_t)file_size, file);
    memset(text + *size, 0, 1 + kTextPadding);
    return text;
}

// What reading a spelling line in its plain shape gave.
enum PlainSpellingRead {
    kPlainSpellingRead = 0,  // the line was read
    kOtherSpellingLine = 1,  // the line has another shape
    kSpellingChunkEnds = 2,  // the chunk lists too few positions to tell
};

// A spelling line of the plain shape, taken apart from the chunk's positions:
// tokens of bytes above ' ' split by single spaces, its LF within one piece
// of the line reader (most bytes, the LF included), so it reads exactly as
// parse_spelling_line reads it. Fills entry, *filled telling whether it gave
// a key and a first id; *next gets the next line.
int read_plain_spelling_line(const char *line, TextChunk &chunk, size_t most, SpellingEntry *entry,
                             bool *filled, const char **next) {
    uint32_t k = chunk.next;
    const char *token = line;
    uint32_t ids[kSpellingIdCount] = {0, 0, 0};
    const char *key = nullptr;
    size_t key_length = 0;
    int tokens = 0;
    for (;; k++) {
        if (k >= chunk.count) return kSpellingChunkEnds;
        const char *at = chunk.base + chunk.positions[k];
        if (at == token || (*at != ' ' && *at != '\n')) return kOtherSpellingLine;
        if (tokens == 0) {
            key = token;
            key_length = (size_t)(at - token);
        } else if (tokens <= kSpellingIdCount) {
            ids[tokens - 1] = checked_word_id(token_number(token, (size_t)(at - token)));
        }
        tokens++;
        if (*at == '\n') {
            if ((size_t)(at - line) + 1 > most) return kOtherSpellingLine;
            *next = at + 1;
            break;
        }
        token = at + 1;
    }
    chunk.next = k + 1;
    *filled = tokens > 1;
    if (!*filled) return kPlainSpellingRead;
    memset(entry, 0, sizeof *entry);
    memcpy(entry->key, key, key_length < kSpellingKeySize - 1 ? key_length : kSpellingKeySize - 1);
    memcpy(entry->ids, ids, sizeof ids);
    return kPlainSpellingRead;
}

// Reads the line at pieces.at piece by piece, as the line reader cuts it.
// false when the text ended (or a Ctrl-Z ended it).
bool read_line_in_pieces(SearchContext &c, uint64_t bound, TextPieces &pieces) {
    const char *lf = (const char *)memchr(pieces.at, '\n', (size_t)(pieces.end - pieces.at));
    const char *piece;
    size_t length;
    do {
        if (!next_piece(pieces, &piece, &length)) return false;
        if (parse_spelling_line(piece, length, &c.g_spelling_entries[c.g_spelling_count]))
            c.g_spelling_count++;
    } while (c.g_spelling_count < bound && lf != nullptr && pieces.at <= lf);
    return true;
}

// Fills the spelling table from the file text (kTextPadding zero bytes
// behind it). Plain lines are read from the positions of their structure
// bytes, every other line piece by piece. false without memory.
bool fill_spelling_table(SearchContext &c, char *text, size_t size) {
    const uint64_t bound = spelling_table_bound(c, text, size);
    if (bound == 0) return true;
    if (bound > SIZE_MAX / sizeof(SpellingEntry)) return false;
    c.g_spelling_entries =
        (SpellingEntry *)platform_arena_alloc((size_t)bound * sizeof(SpellingEntry));
    if (c.g_spelling_entries == nullptr) return false;
    const size_t most = (size_t)c.MaxKeyWordLineLen - 1;
    const char *const end = text + size;
    TextChunk chunk;
    for (const char *line = text; line < end && c.g_spelling_count < bound;) {
        bool filled = false;
        const int read = read_plain_spelling_line(
            line, chunk, most, &c.g_spelling_entries[c.g_spelling_count], &filled, &line);
        if (read == kPlainSpellingRead) {
            c.g_spelling_count += filled ? 1 : 0;
        } else if (read == kSpellingChunkEnds && chunk.base != line) {
            list_chunk(line, end, chunk);
        } else {
            TextPieces pieces{line, end, most};
            if (!read_line_in_pieces(c, bound, pieces)) break;
            line = pieces.at;
            pass_positions_before(line, chunk);
        }
    }
    return true;
}

}  // namespace

int open_spelling_list() {
    SearchContext &c = g_search_context;
    free_spelling_list();
    c.g_spelling_file = open_data_file(kSpellingFileName);
    if (c.g_spelling_file == nullptr) {
        finish_page(kMissingSpellingMessage, "</vesk:error>\n");
        return 0;
    }
    // A line buffer below two bytes reads no text and would never advance.
    if (c.MaxKeyWordLineLen < kMinListLineSize) {
        finish_page(kInvalidSettingsFileMessage, "</vesk:error>\n");
        return 0;
    }
    // The pieces are read in place, but a line buffer of MaxKeyWordLineLen
    // bytes that cannot be held still ends the request as "out of memory".
    char *line = (char *)malloc((size_t)c.MaxKeyWordLineLen);
    if (line == nullptr) {
        finish_page(kSpellingNoMemory, "</vesk:error>\n");
        return 0;
    }
    free(line);
    return 1;
}

int read_spelling_list() {
    SearchContext &c = g_search_context;
    if (c.g_spelling_file == nullptr) return 1;
    size_t size = 0;
    char *text = read_spelling_text(c.g_spelling_file, &size);
    fclose(c.g_spelling_file);
    c.g_spelling_file = nullptr;
    const bool filled = text != nullptr && fill_spelling_table(c, text, size);
    platform_arena_free(text);
    if (!filled) {
        finish_page(kSpellingNoMemory, "</vesk:error>\n");
        return 0;
    }
    return 1;
}

int load_spelling_file() {
    return open_spelling_list() == 1 ? read_spelling_list() : 0;
}

void free_spelling_list() {
    SearchContext &c = g_search_context;
    platform_arena_free(c.g_spelling_entries);
    c.g_spelling_entries = nullptr;
    c.g_spelling_count = 0;
}

int load_recommended_file() {
    SearchContext &c = g_search_context;
    free(c.g_recommended);
    c.g_recommended = nullptr;
    c.g_recommended_count = 0;
    FILE *file = open_data_file(c.recommended_file_name);
    if (file == nullptr) {
        out_printf("%s", kMissingIndexFilesMessage);
        return kListNotLoaded;
    }
    const char *failure = nullptr;
    char *line = nullptr;
    if (c.MaxKeyWordLineLen < kMinListLineSize)
        failure = kInvalidSettingsFileMessage;
    else if ((line = (char *)malloc((size_t)c.MaxKeyWordLineLen)) == nullptr)
        failure = kRecommendedNoMemory;

    const uint32_t limit = c.NumRecommended > 0 ? (uint32_t)c.NumRecommended : 0;
    uint32_t capacity = 0, count = 0;
    while (failure == nullptr && count < limit &&
           platform_read_text_line(line, c.MaxKeyWordLineLen, file) != nullptr) {
        char *space = strrchr(line, ' ');
        if (space == nullptr || space == line) continue;
        if (!grow_table((void **)&c.g_recommended, &capacity, count, sizeof(RecommendedEntry),
                        limit)) {
            failure = kRecommendedNoMemory;
            break;
        }
        RecommendedEntry &entry = c.g_recommended[count];
        *space = '\0';
        copy_bounded_utf8(entry.keywords, sizeof entry.keywords, line);
        entry.page_index = parse_int64_decimal(space + 1);
        count++;
    }
    fclose(file);
    free(line);
    c.g_recommended_count = (int32_t)count;
    if (failure == nullptr) return kListLoaded;
    // The out-of-memory message closes without a line end, unlike the others.
    finish_page(failure, failure == kRecommendedNoMemory ? "</vesk:error>" : "</vesk:error>\n");
    return kListPageFinished;
}
