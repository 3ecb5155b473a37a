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

#include "index/index.h"
#include "platform/platform.h"

namespace {

const char kMissingSpellingMessage[] =
    "Can not find one or more of the Vesk index files. Please make sure the generated index files "
    "are uploaded to the same path as this search script. Also check file permissions have been "
    "set to allow reading.";
const char kSpellingNoMemory[] = "Error: Out of memory";
const char kRecommendedNoMemory[] = "Error: out of memory";
const char kTokenDelimiters[] = " \r\n";

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

// Next token of *cursor delimited by kTokenDelimiters, terminated in place; null when none.
char *next_token(char **cursor) {
    char *start = *cursor + strspn(*cursor, kTokenDelimiters);
    if (*start == '\0') {
        *cursor = start;
        return nullptr;
    }
    char *end = start + strcspn(start, kTokenDelimiters);
    if (*end != '\0') *end++ = '\0';
    *cursor = end;
    return start;
}

// A word id of the list, or 0 when it does not name a dictionary entry.
uint32_t checked_word_id(const char *token) {
    uint32_t id = (uint32_t)parse_int_decimal(token);
    return id < g_search_context.NumKeywords ? id : 0;
}

// Fills entry from one line. true when the line gave a key and a first id.
bool parse_spelling_line(char *line, SpellingEntry *entry) {
    char *cursor = line;
    const char *key = next_token(&cursor);
    if (key == nullptr) return false;
    memset(entry, 0, sizeof *entry);
    strncpy(entry->key, key, kSpellingKeySize - 1);
    const char *first = next_token(&cursor);
    if (first == nullptr) return false;
    entry->ids[0] = checked_word_id(first);
    for (int i = 1; i < kSpellingIdCount; i++) {
        const char *token = next_token(&cursor);
        if (token == nullptr) break;
        entry->ids[i] = checked_word_id(token);
    }
    return true;
}

}  // namespace

int load_spelling_file() {
    SearchContext &c = g_search_context;
    free_spelling_list();
    index_file_path(c.g_work_path, sizeof c.g_work_path, kSpellingFileName);
    c.g_spelling_file = open_data_file(c.g_work_path, "r");
    if (c.g_spelling_file == nullptr) {
        finish_page(kMissingSpellingMessage, "</vesk:error>\n");
        return 0;
    }
    // A line buffer below two bytes reads no text and would never advance.
    if (c.MaxKeyWordLineLen < kMinListLineSize) {
        finish_page(kInvalidSettingsFileMessage, "</vesk:error>\n");
        return 0;
    }
    char *line = (char *)malloc((size_t)c.MaxKeyWordLineLen);
    if (line == nullptr) {
        finish_page(kSpellingNoMemory, "</vesk:error>\n");
        return 0;
    }
    uint32_t capacity = 0;
    SpellingEntry entry;
    while (c.g_spelling_count < c.NumSpellings &&
           platform_read_text_line(line, c.MaxKeyWordLineLen, c.g_spelling_file) != nullptr) {
        if (!parse_spelling_line(line, &entry)) continue;
        if (!grow_table((void **)&c.g_spelling_entries, &capacity, c.g_spelling_count,
                        sizeof(SpellingEntry), c.NumSpellings)) {
            free(line);
            finish_page(kSpellingNoMemory, "</vesk:error>\n");
            return 0;
        }
        c.g_spelling_entries[c.g_spelling_count++] = entry;
    }
    fclose(c.g_spelling_file);
    c.g_spelling_file = nullptr;
    free(line);
    return 1;
}

void free_spelling_list() {
    SearchContext &c = g_search_context;
    free(c.g_spelling_entries);
    c.g_spelling_entries = nullptr;
    c.g_spelling_count = 0;
}

int load_recommended_file() {
    SearchContext &c = g_search_context;
    free(c.g_recommended);
    c.g_recommended = nullptr;
    c.g_recommended_count = 0;
    char path[kWorkPathSize];
    index_file_path(path, sizeof path, c.recommended_file_name);
    FILE *file = open_data_file(path, "r");
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
