// Loading settings.vdat: the table of keys, the line loop, the wrapper that
// reports a failure, and trim_string.
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "context/context.h"
#include "context/settings_writer.h"

namespace {
enum KeyKind { kKindInt, kKindUnsigned, kKindText, kKindByte };

// One key of settings.vdat and the member that receives its value.
struct SettingKey {
    const char *key;   // key as written in the file
    KeyKind kind;      // value pattern
    size_t offset;     // member offset in SearchContext
    int room;          // text members: bytes of the member
    bool empty_first;  // text members emptied before their scan
    size_t length;     // strlen(key)
};

#define INT_KEY(name) \
    { #name, kKindInt, offsetof(SearchContext, name), 0, false, sizeof #name - 1 }
#define UNS_KEY(name) \
    { #name, kKindUnsigned, offsetof(SearchContext, name), 0, false, sizeof #name - 1 }
#define TEXT_KEY(name, empty)                                                                     \
    {                                                                                             \
#name, kKindText, offsetof(SearchContext, name), (int)sizeof(SearchContext::name), empty, \
            sizeof #name - 1                                                                      \
    }

// Every key, in the loader's order.
const SettingKey kSettingKeys[] = {
    INT_KEY(UseUTF8),
    TEXT_KEY(Charset, false),
    INT_KEY(Codepage),
    INT_KEY(UseStemming),
    INT_KEY(StemmingAlgo),
    INT_KEY(NoCharset),
    INT_KEY(MinWordLen),
    INT_KEY(Highlighting),
    INT_KEY(HighlightLimit),
    INT_KEY(GotoHighlight),
    INT_KEY(PdfHighlight),
    INT_KEY(FormFormat),
    INT_KEY(DisplayMetaDesc),
    INT_KEY(DisplayMetaFields),
    INT_KEY(DotNetUseFormTags),
    INT_KEY(DotNetUsePostBacks),
    INT_KEY(UseDateTime),
    INT_KEY(DisplayDate),
    INT_KEY(DefaultSort),
    INT_KEY(DateRangeSearch),
    INT_KEY(DateRangeFormat),
    INT_KEY(UseAutoComplete),
    INT_KEY(DisplayContext),
    TEXT_KEY(DatePickerPath, true),
    INT_KEY(DisplayNumber),
    INT_KEY(DisplayTitle),
    INT_KEY(DisplayTerms),
    INT_KEY(DisplayScore),
    INT_KEY(DisplayURL),
    INT_KEY(TruncateShowURL),
    INT_KEY(DisplayFilesize),
    INT_KEY(UseVeskImage),
    INT_KEY(DisplayCatSummary),
    TEXT_KEY(Version, false),
    INT_KEY(Logging),
    TEXT_KEY(LogFileName, false),
    INT_KEY(MaxKeyWordLineLen),
    INT_KEY(OutputVariantBufferSize),
    INT_KEY(OutputBasewordBufferSize),
    INT_KEY(DictIDLen),
    UNS_KEY(DictReservedLimit),
    UNS_KEY(DictReservedPrefixes),
    UNS_KEY(DictReservedSuffixes),
    UNS_KEY(DictReservedNoSpaces),
    UNS_KEY(DictReservedSpaces),
    INT_KEY(UseBigPageInfoData),
    INT_KEY(PluginOpenNewWindow),
    INT_KEY(FileTypePluginStart),
    INT_KEY(WordSplit),
    INT_KEY(VeskInfo),
    INT_KEY(Timing),
    INT_KEY(SearchAsSubstring),
    INT_KEY(ToLowerSearchWords),
    INT_KEY(ContextSize),
    UNS_KEY(MaxContextKeywords),
    INT_KEY(MaxResultsPerQuery),
    INT_KEY(WeightProximity),
    INT_KEY(AllowExactPhrase),
    INT_KEY(MaxContextSeeks),
    UNS_KEY(MaxMatches),
    INT_KEY(MaxSearchTime),
    INT_KEY(UseLinkTarget),
    TEXT_KEY(LinkTarget, false),
    TEXT_KEY(WordJoinChars, false),
    TEXT_KEY(BroadNumericValidChars, false),
    TEXT_KEY(BroadNumericStripChars, false),
    INT_KEY(Spelling),
    INT_KEY(SpellingWhenLessThan),
    UNS_KEY(NumSpellings),
    INT_KEY(Recommended),
    INT_KEY(NumRecommended),
    INT_KEY(RecommendedMax),
    INT_KEY(UseCats),
    INT_KEY(SearchMultiCats),
    {"UseDomainDiversity", kKindByte, offsetof(SearchContext, UseDomainDiversity), 0, false,
     sizeof "UseDomainDiversity" - 1},
    INT_KEY(MaxDomainDiversity),
    UNS_KEY(NumKeywords),
    INT_KEY(NumPages),
    INT_KEY(NumVariants),
    INT_KEY(PageInfoSize),
    TEXT_KEY(LinkBackURL, true),
    INT_KEY(DefaultToAnd),
    INT_KEY(UseXML),
    TEXT_KEY(XMLTitle, true),
    TEXT_KEY(XMLDesc, true),
    TEXT_KEY(XMLURL, true),
    TEXT_KEY(XMLXSLTURL, true),
    TEXT_KEY(XMLOpenSearchDescURL, true),
    INT_KEY(XMLHighlight),
    INT_KEY(NumCats),
    INT_KEY(NumCatBytes),
    INT_KEY(UseMetaFields),
    INT_KEY(NumMetaFields),
    INT_KEY(MetaMoneyShowDec),
    TEXT_KEY(MetaMoneyCurrency, false),
    INT_KEY(MapAccents),
};
constexpr int kSettingKeyCount = 96;
static_assert(sizeof kSettingKeys / sizeof kSettingKeys[0] == kSettingKeyCount,
              "settings.vdat has 96 keys");

#undef INT_KEY
#undef UNS_KEY
#undef TEXT_KEY

constexpr int kMaxDictIdLen = 5;  // largest page-text record width accepted

const char kMissingTextMessage[] =
    "Error: Missing text in the settings.vdat file. Check that your VLANG file is valid if you "
    "have modified it.<br />\n";
const char kNoMemoryMessage[] =
    "Unable to load settings.vdat file due to lack of memory.<br />Check that the file is valid "
    "and not corrupted and that server load is normal.";

// Set by load_settings_file when code 1 comes from missing interface texts.
bool g_texts_missing = false;

// The key named by token, or null. Lengths are compared first: most keys differ
// in length, and this runs for every line of the file on every request.
const SettingKey *find_key(const char *token) {
    size_t length = strlen(token);
    for (const SettingKey &key : kSettingKeys)
        if (key.length == length && memcmp(key.key, token, length) == 0) return &key;
    return nullptr;
}

// Scans a key line into its member; a value that does not scan leaves it unchanged.
void scan_key_line(SearchContext *context, const SettingKey &key, const char *line) {
    char *member = (char *)context + key.offset;
    if (key.kind == kKindText && key.empty_first) member[0] = '\0';
    const char *value = match_key_equals(line, key.key);
    if (value == nullptr) return;
    switch (key.kind) {
        case kKindInt: {
            int32_t number;
            if (scan_int32(value, &number)) memcpy(member, &number, sizeof number);
            break;
        }
        case kKindUnsigned: {
            uint32_t number;
            if (scan_uint32(value, &number)) memcpy(member, &number, sizeof number);
            break;
        }
        case kKindByte: {
            int32_t number;
            if (scan_int32(value, &number)) *(uint8_t *)member = (uint8_t)number;
            break;
        }
        case kKindText:
            scan_quoted_text(value, member, key.room);
            break;
    }
}

int load_from_open_file(SearchContext *context, FILE *file) {
    char line[kSettingsLineSize];
    char token[kSettingsLineSize];
    while (read_settings_line(file, line, sizeof line)) {
        if (!settings_key_token(line, token, sizeof token)) continue;
        bool interface_text = strncmp(token, "STR_", 4) == 0;  // no key begins so
        const SettingKey *key = interface_text ? nullptr : find_key(token);
        if (key != nullptr) {
            scan_key_line(context, *key, line);
            if (key->offset == offsetof(SearchContext, DictIDLen) &&
                context->DictIDLen > kMaxDictIdLen)
                return 5;
            if (key->offset == offsetof(SearchContext, LinkBackURL) &&
                strchr(context->LinkBackURL, '?') != nullptr)
                snprintf(context->g_link_separator, sizeof context->g_link_separator, "&amp;");
            if (key->offset == offsetof(SearchContext, MapAccents) && context->MapAccents == 1) {
                int code = read_accent_lines(context, file);
                if (code != kBlockOk) return code;
            }
            continue;
        }
        int code = kBlockOk;
        if (interface_text)
            code = read_interface_text_line(context, line);
        else if (strcmp(token, "catnames") == 0)
            code = read_category_block(context, file);
        else if (strcmp(token, "metafields") == 0)
            code = read_meta_field_block(context, file);
        if (code != kBlockOk) return code;
    }
    if (!all_interface_texts_present(context)) {
        g_texts_missing = true;
        return 1;
    }
    return 0;
}
}  // namespace

bool find_setting_key(const char *key, SettingKind *kind, int *room) {
    const SettingKey *found = key != nullptr ? find_key(key) : nullptr;
    if (found == nullptr) return false;
    static const SettingKind kKinds[] = {SettingKind::kInt, SettingKind::kUnsigned,
                                         SettingKind::kText, SettingKind::kByte};
    if (kind != nullptr) *kind = kKinds[found->kind];
    if (room != nullptr) *room = found->kind == kKindText ? found->room : 0;
    return true;
}

const char kInvalidSettingsFileMessage[] =
    "Unable to load settings.vdat file.<br />The file appears to be invalid and may have been "
    "corrupted.";

int load_settings_file(SearchContext *context) {
    g_texts_missing = false;
    FILE *file = open_data_file(context->settings_file_name);
    if (file == nullptr) return 6;
    int code = load_from_open_file(context, file);
    fclose(file);
    return code;
}

int load_settings_from(const char *index_directory, const char *script_file_name) {
    SearchContext &c = g_search_context;
    copy_bounded_utf8(c.g_base_directory, sizeof c.g_base_directory, index_directory);
    // Resolved once: every file of the request comes from this directory.
    open_base_directory();
    copy_bounded_utf8(c.LinkBackURL, sizeof c.LinkBackURL, script_file_name);
    c.UseBigPageInfoData = 0;
    snprintf(c.g_link_separator, sizeof c.g_link_separator, "?");

    int code = allocate_output_buffers() == 0 ? 0 : 4;
    if (code == 0) {
        if (c.g_str_texts != nullptr) {
            for (int i = 0; i < kStrTextCount; i++) free(c.g_str_texts[i]);
            free(c.g_str_texts);
        }
        c.g_str_texts = (char **)calloc(kStrTextCount, sizeof(char *));
        if (c.g_str_texts == nullptr) code = 4;
    }
    if (code == 0) code = load_settings_file(&c);
    if (code == 0) return 0;

    out_printf("Content-type: text/html\n\n");
    switch (code) {
        case 1:
            if (g_texts_missing) out_printf("%s", kMissingTextMessage);
            out_printf("%s", kInvalidSettingsFileMessage);
            break;
        case 4:
            out_printf("%s", kNoMemoryMessage);
            break;
        case 5:
            out_printf("%s", kInvalidSettingsFileMessage);
            break;
        default: {
            char *reason = get_system_error_text();
            out_printf(
                "Unable to open settings.vdat or file is invalid.<br />%s<br />Check file "
                "permissions and that file exists",
                reason);
            free_system_error_text(reason);
            break;
        }
    }
    return 1;
}

int trim_string(char *text) {
    if (text == nullptr || text[0] == '\0') return 0;
    auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t length = strlen(text);
    size_t first = 0;
    while (first < length && trimmed(text[first])) first++;
    if (first == length) return 0;  // only trimmable characters: left unchanged
    size_t last = length - 1;
    while (trimmed(text[last])) last--;
    if (first == 0 && last == length - 1) return 0;
    size_t kept = last - first + 1;
    memmove(text, text + first, kept);
    text[kept] = '\0';
    return 0;
}
