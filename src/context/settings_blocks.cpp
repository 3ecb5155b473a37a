// The interface texts, the catnames and metafields blocks and the accent lists
// of settings.vdat, and the settings echo for XML requests.
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "context/utf8.h"
#include "context/xml_text.h"

namespace {
constexpr int kAccentWorkSize = 2048;  // work buffer of an accent line
constexpr size_t kEchoSlice = 256;     // bytes of a settings text escaped at once
static_assert(kEchoSlice > kUtf8MaxBytes, "a slice cut on a boundary keeps bytes");

const char *const kInterfaceTextKeys[kStrTextCount] = {
#define SITEQUERY_TEXT_KEY(name, english) "STR_" #name,
    SITEQUERY_INTERFACE_TEXTS(SITEQUERY_TEXT_KEY)
#undef SITEQUERY_TEXT_KEY
};
static_assert(sizeof kInterfaceTextKeys / sizeof kInterfaceTextKeys[0] == kStrTextCount,
              "one key per interface text");

char *duplicate_text(const char *text) {
    size_t length = strlen(text);
    char *copy = (char *)malloc(length + 1);
    if (copy != nullptr) memcpy(copy, text, length + 1);
    return copy;
}

// Reads a block line. A read error or the end of the file ends the block (false).
bool read_block_line(FILE *file, char *line) {
    return read_settings_line(file, line, kSettingsLineSize);
}

// Frees a table of `count` texts; null-safe.
void free_table(char **table, int32_t count) {
    if (table == nullptr) return;
    for (int32_t i = 0; i < count; i++) free(table[i]);
    free(table);
}

// Counts the quoted items of text and, when items is given, copies each (at most
// item_size - 1 bytes, at most max_items of them). Returns the number of items found.
int32_t walk_quoted_items(const char *text, char **items, int32_t max_items, int item_size) {
    int32_t count = 0;
    const char *p = text;
    char item[kAccentWorkSize];
    for (;;) {
        const char *open = strchr(p, '"');
        if (open == nullptr) break;
        const char *close = strchr(open + 1, '"');
        if (close == nullptr) break;
        if (items != nullptr && count < max_items) {
            size_t length = (size_t)(close - open - 1);
            memcpy(item, open + 1, length);
            item[length] = '\0';
            copy_bounded_utf8(items[count], item_size, item);
        }
        count++;
        p = close + 1;
    }
    return count;
}

// Scans "<key> = <rest of line>" into work (emptied first); a line of another
// shape leaves it empty.
void scan_accent_line(const char *line, const char *key, char *work) {
    work[0] = '\0';
    const char *value = match_key_equals(line, key);
    if (value == nullptr) return;
    size_t length = strcspn(value, "\n");
    if (length > kAccentWorkSize - 1) length = kAccentWorkSize - 1;
    memcpy(work, value, length);
    work[length] = '\0';
}

// Allocates a table of `count` empty items of item_size bytes (at least one entry,
// so that a table of no items still exists). Null when memory runs out.
char **allocate_items(int32_t count, int item_size) {
    char **table = (char **)calloc(count > 0 ? (size_t)count : 1, sizeof(char *));
    if (table == nullptr) return nullptr;
    for (int32_t i = 0; i < count; i++) {
        table[i] = (char *)calloc((size_t)item_size, 1);
        if (table[i] == nullptr) {
            free_table(table, count);
            return nullptr;
        }
    }
    return table;
}

// Writes a settings text as it stands into an XML attribute or element, in
// slices that end on character boundaries (xml_escape_literal takes each
// character by itself, so slices escape as the whole text would).
void print_xml_escaped(const char *text) {
    if (text == nullptr) return;
    const bool utf8 = charset_is_utf8(g_search_context.Charset);
    char escaped[kXmlLiteralGrowth * kEchoSlice + 1];
    for (size_t left = strlen(text); left > 0;) {
        const size_t slice = left <= kEchoSlice ? left : utf8_cut_length(text, kEchoSlice);
        xml_escape_literal(escaped, text, slice, utf8);
        out_puts(escaped);
        text += slice;
        left -= slice;
    }
}

void print_setting_number(const char *name, int32_t value) {
    out_printf("<vesk:setting name=\"%s\" value=\"%d\" />\n", name, value);
}

void print_setting_text(const char *name, const char *value) {
    out_printf("<vesk:setting name=\"%s\" value=\"", name);
    print_xml_escaped(value);
    out_puts("\" />\n");
}

void print_item_setting(const char *name, char **items, int32_t count) {
    out_printf("<vesk:setting name=\"%s\">", name);
    for (int32_t i = 0; i < count; i++) print_xml_escaped(items[i]);
    out_puts("</vesk:setting>\n");
}
}  // namespace

int32_t defined_meta_field_count() {
    const SearchContext &c = g_search_context;
    if (c.g_meta_fields == nullptr || c.NumMetaFields <= 0) return 0;
    return c.NumMetaFields < c.g_meta_field_capacity ? c.NumMetaFields : c.g_meta_field_capacity;
}

const char *interface_text_key(int index) {
    return index >= 0 && index < kStrTextCount ? kInterfaceTextKeys[index] : "";
}

bool all_interface_texts_present(const SearchContext *context) {
    if (context->g_str_texts == nullptr) return false;
    for (int i = 0; i < kStrTextCount; i++)
        if (context->g_str_texts[i] == nullptr) return false;
    return true;
}

int read_interface_text_line(SearchContext *context, const char *line) {
    char token[kSettingsLineSize];
    if (!settings_key_token(line, token, sizeof token)) return kBlockOk;
    int index = -1;
    for (int i = 0; i < kStrTextCount && index < 0; i++)
        if (token[4] == kInterfaceTextKeys[i][4] && strcmp(token, kInterfaceTextKeys[i]) == 0)
            index = i;
    if (index < 0 || context->g_str_texts == nullptr) return kBlockOk;

    // "<token> = \"value\"", white space allowed before the token.
    char value[kSettingTextSize];
    value[0] = '\0';
    const char *start = line;
    while (*start == ' ' || *start == '\t' || *start == '\r' || *start == '\n' || *start == '\v' ||
           *start == '\f')
        start++;
    const char *rest = match_key_equals(start, token);
    if (rest != nullptr) scan_quoted_text(rest, value, sizeof value);

    char *copy = duplicate_text(value);
    if (copy == nullptr) return kBlockNoMemory;
    free(context->g_str_texts[index]);
    context->g_str_texts[index] = copy;
    return kBlockOk;
}

int read_category_block(SearchContext *context, FILE *file) {
    if (context->NumCats <= 0) return kBlockOk;
    free_table(context->g_category_names, context->g_category_capacity);
    context->g_category_capacity = 0;
    context->g_category_names = (char **)calloc((size_t)context->NumCats, sizeof(char *));
    if (context->g_category_names == nullptr) return kBlockNoMemory;
    context->g_category_capacity = context->NumCats;

    char line[kSettingsLineSize];
    for (int32_t read = 0; read < context->g_category_capacity; read++) {
        if (!read_block_line(file, line) || line[0] == '\0') break;
        char *name = duplicate_text(line);
        if (name == nullptr) return kBlockNoMemory;
        trim_string(name);
        context->g_category_names[read] = name;
    }
    return kBlockOk;
}

int read_meta_field_block(SearchContext *context, FILE *file) {
    if (context->NumMetaFields <= 0) return kBlockOk;
    if (context->g_meta_fields != nullptr) {
        for (int32_t i = 0; i < context->g_meta_field_capacity; i++) {
            MetaField &old = context->g_meta_fields[i];
            free_table(old.options, old.option_count > 0 ? old.option_count : 0);
        }
        free(context->g_meta_fields);
    }
    context->g_meta_field_capacity = 0;
    context->g_meta_fields = (MetaField *)calloc((size_t)context->NumMetaFields, sizeof(MetaField));
    if (context->g_meta_fields == nullptr) return kBlockNoMemory;
    context->g_meta_field_capacity = context->NumMetaFields;

    char line[kSettingsLineSize];
    for (int32_t i = 0; i < context->g_meta_field_capacity; i++) {
        MetaField &field = context->g_meta_fields[i];
        if (!read_block_line(file, line) || line[0] == '\0') break;
        field.type = lenient_atoi(line);
        char *texts[3] = {field.name, field.caption, field.label};
        for (char *text : texts) {
            if (!read_block_line(file, line)) return kBlockInvalid;
            copy_bounded_utf8(text, kMetaTextSize, line);
            trim_string(text);
        }
        if (!read_block_line(file, line)) return kBlockInvalid;
        field.match_op = lenient_atoi(line);
        if (!read_block_line(file, line)) return kBlockInvalid;
        int32_t option_count = lenient_atoi(line);
        field.option_count = option_count;
        if (option_count <= 0 || (field.type != 2 && field.type != 3)) continue;
        field.options = (char **)calloc((size_t)option_count, sizeof(char *));
        if (field.options == nullptr) {
            field.option_count = 0;
            return kBlockNoMemory;
        }
        for (int32_t k = 0; k < option_count; k++) {
            if (!read_block_line(file, line)) return kBlockInvalid;
            field.options[k] = (char *)calloc(kMetaOptionSize, 1);
            if (field.options[k] == nullptr) return kBlockNoMemory;
            copy_bounded_utf8(field.options[k], kMetaOptionSize, line);
            trim_string(field.options[k]);
        }
    }
    return kBlockOk;
}

int read_accent_lines(SearchContext *context, FILE *file) {
    char line[kSettingsLineSize];
    char work[kAccentWorkSize];

    // A repeated accent list replaces the earlier one.
    free_table(context->g_accent_chars, context->g_accent_capacity);
    free_table(context->g_normal_chars, context->g_accent_capacity);
    context->g_accent_chars = context->g_normal_chars = nullptr;
    context->g_accent_capacity = 0;
    context->g_accent_count = 0;

    if (!read_block_line(file, line)) line[0] = '\0';
    scan_accent_line(line, "AccentChars", work);
    int32_t count = walk_quoted_items(work, nullptr, 0, kAccentItemSize);
    context->g_accent_chars = allocate_items(count, kAccentItemSize);
    if (context->g_accent_chars == nullptr) return kBlockNoMemory;
    context->g_accent_capacity = count;
    context->g_accent_count = count;
    walk_quoted_items(work, context->g_accent_chars, count, kAccentItemSize);

    if (!read_block_line(file, line)) line[0] = '\0';
    context->g_normal_chars = allocate_items(count, kNormalItemSize);
    if (context->g_normal_chars == nullptr) return kBlockNoMemory;
    scan_accent_line(line, "NormalChars", work);
    walk_quoted_items(work, context->g_normal_chars, count, kNormalItemSize);
    return kBlockOk;
}

// The category names (with UseCats 1) and the accent tables of the settings.
static void print_category_and_accent_settings(const SearchContext &c) {
    if (c.UseCats == 1) {
        print_setting_number("NumCats", c.NumCats);
        for (int32_t i = 0; i < c.NumCats; i++) {
            out_puts("<vesk:category>");
            print_xml_escaped(category_name(c, i));
            out_puts("</vesk:category>\n");
        }
    }
    print_setting_number("MapAccents", c.MapAccents);
    if (c.g_accent_chars != nullptr)
        print_item_setting("AccentChars", c.g_accent_chars, c.g_accent_capacity);
    if (c.g_normal_chars != nullptr)
        print_item_setting("NormalChars", c.g_normal_chars, c.g_accent_capacity);
}

void print_settings_xml() {
    const SearchContext &c = g_search_context;
    const struct {
        const char *name;
        int32_t value;
    } numbers_before[] = {
        {"UseUTF8", c.UseUTF8},
        {"MinWordLen", c.MinWordLen},
        {"Highlighting", c.Highlighting},
        {"HighlightLimit", c.HighlightLimit},
        {"GotoHighlight", c.GotoHighlight},
        {"PdfHighlight", c.PdfHighlight},
        {"PluginOpenNewWindow", c.PluginOpenNewWindow},
        {"DisplayMetaDesc", c.DisplayMetaDesc},
        {"DisplayCatSummary", c.DisplayCatSummary},
        {"UseDateTime", c.UseDateTime},
        {"DisplayDate", c.DisplayDate},
        {"DisplayContext", c.DisplayContext},
        {"DisplayTitle", c.DisplayTitle},
        {"DisplayTerms", c.DisplayTerms},
        {"DisplayScore", c.DisplayScore},
        {"DisplayURL", c.DisplayURL},
        {"DisplayFilesize", c.DisplayFilesize},
    };
    for (const auto &setting : numbers_before) print_setting_number(setting.name, setting.value);
    print_setting_text("LinkTarget", c.LinkTarget);
    print_setting_number("UseVeskImage", c.UseVeskImage);
    print_setting_text("Version", c.Version);
    const struct {
        const char *name;
        int32_t value;
    } numbers_after[] = {
        {"WordSplit", c.WordSplit},
        {"SearchAsSubstring", c.SearchAsSubstring},
        {"ToLowerSearchWords", c.ToLowerSearchWords},
        {"ContextSize", c.ContextSize},
        {"MaxContextKeywords", (int32_t)c.MaxContextKeywords},
        {"AllowExactPhrase", c.AllowExactPhrase},
        {"MaxContextSeeks", c.MaxContextSeeks},
        {"MaxSearchTime", c.MaxSearchTime},
    };
    for (const auto &setting : numbers_after) print_setting_number(setting.name, setting.value);
    print_setting_text("WordJoinChars", c.WordJoinChars);
    const struct {
        const char *name;
        int32_t value;
    } numbers_last[] = {
        {"Spelling", c.Spelling},         {"SpellingWhenLessThan", c.SpellingWhenLessThan},
        {"Recommended", c.Recommended},   {"RecommendedMax", c.RecommendedMax},
        {"UseCats", c.UseCats},           {"SearchMultiCats", c.SearchMultiCats},
        {"XMLHighlight", c.XMLHighlight},
    };
    for (const auto &setting : numbers_last) print_setting_number(setting.name, setting.value);
    print_category_and_accent_settings(c);
}

const char *text_of(const SearchContext &c, int index) {
    const char *text = c.g_str_texts != nullptr ? c.g_str_texts[index] : nullptr;
    return text != nullptr ? text : "";
}

const char *category_name(const SearchContext &c, int32_t category) {
    if (c.g_category_names == nullptr || category < 0 || category >= c.g_category_capacity)
        return "";
    return c.g_category_names[category] != nullptr ? c.g_category_names[category] : "";
}
