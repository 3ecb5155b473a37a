// libFuzzer target of query normalisation and the word split. The first two
// input bytes pick the settings (accent mapping, case, UTF-8, phrases,
// substrings, codepage, word-joining characters); the rest is the query.
// Checked after every input: the query holds at most 2085 characters, no word
// is longer, exclusion words stand last, and the escaped query holds no raw
// '<', '>', '"' or '\''.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "text/text.h"

namespace {
constexpr size_t kMaxQueryChars = 2085;
const char kJoinCandidates[] = ".-#+_'$,:&/\\@%";

void set_accent_lists(SearchContext &c) {
    const char *accents[] = {"\xC3\xA9", "\xC3\xA8", "", "a", "\xC3\x9F"};
    const char *normals[] = {"e", "e", "x", "aa", "ss"};
    constexpr int kCount = 5;
    c.g_accent_chars = (char **)calloc(kCount, sizeof(char *));
    c.g_normal_chars = (char **)calloc(kCount, sizeof(char *));
    for (int i = 0; i < kCount; i++) {
        c.g_accent_chars[i] = strdup(accents[i]);
        c.g_normal_chars[i] = strdup(normals[i]);
    }
    c.g_accent_count = c.g_accent_capacity = kCount;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    init_search_context();
    SearchContext &c = g_search_context;
    uint8_t flags = data[0], joins = data[1];
    c.MapAccents = flags & 1;
    c.ToLowerSearchWords = (flags >> 1) & 1;
    c.UseUTF8 = (flags >> 2) & 1;
    c.AllowExactPhrase = (flags >> 3) & 1;
    c.SearchAsSubstring = (flags >> 4) & 1;
    c.Codepage = (flags >> 5) & 1 ? 932 : 0;
    size_t n = 0;
    for (int bit = 0; bit < 8; bit++)
        if (joins & (1 << bit))
            c.WordJoinChars[n++] = kJoinCandidates[bit + ((flags >> 6) & 3) * 2];
    if (c.MapAccents) set_accent_lists(c);
    if (c.UseUTF8) load_unicode_tables();

    size_t length = size - 2 < kMaxQueryChars ? size - 2 : kMaxQueryChars;
    memcpy(c.g_query_text, data + 2, length);
    c.g_query_text[length] = '\0';
    normalize_query(&c);
    if (strlen(c.g_query_text) > kMaxQueryChars) abort();
    split_query_words(&c);

    bool exclusion_seen = false;
    for (uint32_t w = 0; w < c.g_query_word_count; w++) {
        const char *word = c.g_query_words[w];
        if (strlen(word) > kMaxQueryChars) abort();
        if (word[0] == '-')
            exclusion_seen = true;
        else if (exclusion_seen)
            abort();
    }
    if (strpbrk(c.g_query_html, "<>\"'") != nullptr) abort();
    release_all();
    return 0;
}
