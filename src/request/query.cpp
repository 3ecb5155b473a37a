// Query preparation: accent mapping, normalisation of case and punctuation, and
// the split into words and quoted phrases with exclusion words last.
#include <stdlib.h>
#include <initializer_list>
#include <string.h>

#include "context/context.h"
#include "request/request.h"
#include "text/text.h"

namespace {
constexpr int kMaxAccentReplacements = 100000;  // guard against mappings that never settle

// Codepages whose double-byte characters use '|' and the pound sign's bytes.
bool keeps_bar_and_pound(int32_t codepage) {
    return codepage == 950 || codepage == 20936 || codepage == 932;
}

void replace_char(char *text, char from, char to) {
    for (char *p = text; *p != '\0'; p++)
        if (*p == from) *p = to;
}

void replace_text(char *text, const char *needle, const char *replacement) {
    replace_substrings(needle, replacement, text, 0, kQueryReplaceCap);
}

bool is_join_char(const SearchContext &c, char ch) {
    return strchr(c.WordJoinChars, ch) != nullptr;
}

// '-' after anything but a space is no exclusion mark.
void hyphens_to_spaces(char *text) {
    if (text[0] == '\0') return;
    for (size_t i = 1; text[i] != '\0'; i++)
        if (text[i] == '-' && text[i - 1] != ' ') text[i] = ' ';
}

// A mark ('#', '%') kept only where it ends a word.
void marks_inside_words_to_spaces(char *text, char mark) {
    for (size_t i = strlen(text); i-- > 0;)
        if (text[i] == mark && text[i + 1] != '\0' && text[i + 1] != ' ') text[i] = ' ';
}

// '+' kept in runs that end a word ("c++") and alone at the start of the query.
void pluses_to_spaces(char *text) {
    size_t length = strlen(text);
    for (size_t i = length; i-- > 0;) {
        if (text[i] != '+') continue;
        bool ends_word = text[i + 1] == '\0' || text[i + 1] == ' ';
        if (ends_word) {
            if (i != 0 && text[i - 1] != '+') text[i] = ' ';
        } else if (text[i + 1] != '+') {
            text[i] = ' ';
        }
    }
}

void apply_word_join_rules(const SearchContext &c, char *q) {
    if (!is_join_char(c, '.')) replace_char(q, '.', ' ');
    if (!is_join_char(c, '-')) hyphens_to_spaces(q);
    if (!is_join_char(c, '#')) marks_inside_words_to_spaces(q, '#');
    if (!is_join_char(c, '+')) pluses_to_spaces(q);
    for (char ch : {'_', '\'', '$', ','})
        if (!is_join_char(c, ch)) replace_char(q, ch, ' ');
    if (!is_join_char(c, ':')) {
        replace_text(q, "site:", "[#@!]");
        replace_text(q, "url:", "[#@]");
        replace_char(q, ':', ' ');
        replace_text(q, "[#@!]", "site:");
        replace_text(q, "[#@]", "url:");
    }
    for (char ch : {'&', '/', '\\', '@'})
        if (!is_join_char(c, ch)) replace_char(q, ch, ' ');
    if (!is_join_char(c, '%')) marks_inside_words_to_spaces(q, '%');
}
}  // namespace

bool map_accents(char *query) {
    const SearchContext &c = g_search_context;
    if (c.g_accent_chars == nullptr || c.g_normal_chars == nullptr) return true;
    int32_t count = c.g_accent_count < c.g_accent_capacity ? c.g_accent_count : c.g_accent_capacity;
    char work[kQueryTextSize];
    int replacements = 0;
    for (int32_t i = 0; i < count; i++) {
        const char *accent = c.g_accent_chars[i];
        const char *normal = c.g_normal_chars[i];
        size_t accent_length = strlen(accent);
        // An empty item would match everywhere and grow the query without end.
        if (accent_length == 0 || strcmp(accent, normal) == 0) continue;
        size_t normal_length = strlen(normal);
        for (char *at = strstr(query, accent); at != nullptr; at = strstr(query, accent)) {
            size_t before = (size_t)(at - query);
            size_t after = strlen(at + accent_length);
            if (before + normal_length + after > (size_t)kQueryReplaceCap ||
                ++replacements > kMaxAccentReplacements)
                return false;
            memcpy(work, query, before);
            memcpy(work + before, normal, normal_length);
            memcpy(work + before + normal_length, at + accent_length, after + 1);
            memcpy(query, work, before + normal_length + after + 1);
        }
    }
    return true;
}

void normalize_query(SearchContext *context) {
    SearchContext &c = *context;
    char *q = c.g_query_text;
    if (c.MapAccents == 1) map_accents(q);
    if (c.ToLowerSearchWords == 1) {
        if (c.UseUTF8 == 1)
            utf8_to_lower(q, kQueryTextSize);
        else
            ascii_to_lower(q);
    }
    if (c.AllowExactPhrase == 0) replace_char(q, '"', ' ');
    apply_word_join_rules(c, q);

    replace_text(q, "\xE2\x80\x9C", "\"");
    replace_text(q, "\xE2\x80\x9D", "\"");
    replace_text(q, "\xE2\x80\x98", "'");
    replace_text(q, "\xE2\x80\x99", "'");
    replace_text(q, "\xA1\xA7", "\"");
    replace_text(q, "\xA1\xA8", "\"");
    replace_text(q, "\xA1\xA5", "'");
    replace_text(q, "\xA1\xA6", "'");
    for (char ch : {'(', ')', '^', '[', ']'}) replace_char(q, ch, ' ');
    if (!keeps_bar_and_pound(c.Codepage) &&
        (c.UseUTF8 != 1 || (c.ToLowerSearchWords != 0 && c.SearchAsSubstring != 1))) {
        replace_char(q, '|', ' ');
        replace_text(q, "\xC2\xA3", " ");
    }
    for (char ch : {'{', '}', '!'}) replace_char(q, ch, ' ');
    for (const char *pair : {"_ ", "' ", "$ ", ". ", ", ", ": ", "& ", "/ ", "\\ ", "@ ", "% "})
        replace_text(q, pair, " ");
    size_t length = strlen(q);
    if (length > 0 && strchr("$%&',./:@\\_", q[length - 1]) != nullptr) q[length - 1] = '\0';
    trim_string(q);
}

namespace {

// Cuts the plain query into g_query_words (room for `capacity`): words end at
// spaces outside quotes, a quote opens or closes a phrase, and a word keeps at
// most kQueryWordSize - 1 bytes. Sets g_in_quotes and g_phrase_seen. false
// when a word could not be allocated (the words taken stay in the table).
bool take_query_words(SearchContext &c, const char *plain, size_t capacity) {
    char *word = (char *)calloc(kQueryWordSize, 1);
    if (word == nullptr) return false;
    size_t position = 0;
    for (size_t i = 0; plain[i] != '\0'; i++) {
        char ch = plain[i];
        if (ch == '"' && !c.g_in_quotes) {
            c.g_in_quotes = 1;
            if (i != 0 && plain[i - 1] != '-') position = 0;
            c.g_phrase_seen = 1;
        } else if (ch == '"') {
            c.g_in_quotes = 0;
        } else if (ch == ' ' && !c.g_in_quotes) {
            if (position == 0) continue;
            word[position] = '\0';
            c.g_query_words[c.g_query_word_count++] = word;
            word = (char *)calloc(kQueryWordSize, 1);
            position = 0;
            if (word == nullptr) return false;
            if (c.g_query_word_count >= capacity) break;
        } else {
            if (position < (size_t)kQueryWordSize - 1) word[position++] = ch;
            if (c.g_in_quotes) c.g_phrase_seen = 1;
        }
    }
    // The last word counts even when empty, but a query of spaces alone gives no
    // words (not one empty word).
    bool only_spaces = plain[strspn(plain, " ")] == '\0';
    if (only_spaces || c.g_query_word_count >= capacity) {
        free(word);
    } else {
        word[position] = '\0';
        c.g_query_words[c.g_query_word_count++] = word;
    }
    return true;
}

// Moves the exclusion words (those starting with "-") after the others,
// each group in query order. false without memory for the reordering.
bool put_exclusions_last(SearchContext &c) {
    char **words = c.g_query_words;
    uint32_t count = c.g_query_word_count;
    char **ordered = (char **)malloc(count * sizeof(char *) + 1);
    if (ordered == nullptr) return false;
    uint32_t n = 0;
    for (uint32_t w = 0; w < count; w++)
        if (words[w][0] != '-') ordered[n++] = words[w];
    for (uint32_t w = 0; w < count; w++)
        if (words[w][0] == '-') ordered[n++] = words[w];
    memcpy(words, ordered, count * sizeof(char *));
    free(ordered);
    return true;
}

}  // namespace

bool split_query_words(SearchContext *context) {
    SearchContext &c = *context;
    snprintf(c.g_query_plain, sizeof c.g_query_plain, "%s", c.g_query_text);
    snprintf(c.g_query_html, sizeof c.g_query_html, "%s", c.g_query_text);
    escape_html(c.g_query_html, sizeof c.g_query_html);

    const char *plain = c.g_query_plain;
    size_t capacity = 1;
    for (const char *p = plain; *p != '\0'; p++)
        if (*p == ' ') capacity++;
    c.g_in_quotes = 0;
    c.g_phrase_seen = 0;
    c.g_query_word_count = 0;
    c.g_query_words = (char **)calloc(capacity, sizeof(char *));
    if (c.g_query_words == nullptr || !take_query_words(c, plain, capacity)) return false;

    if (c.g_query_word_count != 0) {
        c.g_query_word_copies = (char **)calloc(c.g_query_word_count, sizeof(char *));
        if (c.g_query_word_copies == nullptr) return false;
        for (uint32_t w = 0; w < c.g_query_word_count; w++) {
            c.g_query_word_copies[w] = (char *)calloc(kQueryWordSize, 1);
            if (c.g_query_word_copies[w] == nullptr) return false;
        }
    }
    return strchr(plain, '-') == nullptr || put_exclusions_last(c);
}
