// settings.vdat of a built index: the builder's defaults, the run's own keys
// (checked against the keys the program reads), the keys that describe the
// index files, the interface texts, the categories and meta-field blocks and
// the accent lines; and the meta values of the pages as the settings define
// their fields.
#include <libstemmer.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "context/context.h"
#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

// Settings that serve a site search, in the order they are written; the
// run's settings replace them or follow them.
const std::pair<const char *, const char *> kDefaultKeys[] = {
    {"Charset", "\"utf-8\""},
    {"Codepage", "0"},
    {"NoCharset", "0"},
    {"MinWordLen", "1"},
    {"Highlighting", "1"},
    {"HighlightLimit", "30"},
    {"GotoHighlight", "0"},
    {"PdfHighlight", "0"},
    {"FormFormat", "2"},
    {"DisplayMetaDesc", "1"},
    {"DisplayMetaFields", "1"},
    {"DotNetUseFormTags", "1"},
    {"DotNetUsePostBacks", "0"},
    {"UseDateTime", "1"},
    {"DisplayDate", "1"},
    {"DefaultSort", "0"},
    {"DateRangeSearch", "0"},
    {"DateRangeFormat", "0"},
    {"UseAutoComplete", "0"},
    {"DisplayContext", "1"},
    {"DisplayNumber", "1"},
    {"DisplayTitle", "1"},
    {"DisplayTerms", "0"},
    {"DisplayScore", "0"},
    {"DisplayURL", "1"},
    {"TruncateShowURL", "0"},
    {"DisplayFilesize", "0"},
    {"UseVeskImage", "0"},
    {"DisplayCatSummary", "0"},
    {"Version", "\"1.0\""},
    {"Logging", "0"},
    {"VeskInfo", "1"},
    {"Timing", "0"},
    {"SearchAsSubstring", "0"},
    {"ContextSize", "30"},
    {"MaxContextKeywords", "3"},
    {"MaxResultsPerQuery", "1000"},
    {"WeightProximity", "0"},
    {"AllowExactPhrase", "1"},
    // A phrase of common words is checked against the page text of every page
    // that holds all of them, one seek each, up to this many: at 500 a site
    // of a few thousand pages already cuts such phrases short and loses the
    // pages where they stand; a check reads a few KB from the page cache.
    {"MaxContextSeeks", "5000"},
    {"MaxMatches", "100000"},
    {"MaxSearchTime", "30"},
    {"UseLinkTarget", "0"},
    {"Spelling", "1"},
    {"SpellingWhenLessThan", "2"},
    {"RecommendedMax", "2"},
    {"SearchMultiCats", "0"},
    {"UseDomainDiversity", "0"},
    {"MaxDomainDiversity", "3"},
    {"DefaultToAnd", "0"},
    {"UseXML", "0"},
    {"XMLHighlight", "0"},
    {"MetaMoneyShowDec", "0"},
};

// Keys that describe the index files or the way its words were made: the
// builder writes them, a run cannot set them.
const char *const kIndexKeys[] = {
    "UseUTF8",
    "UseStemming",
    "StemmingAlgo",
    "ToLowerSearchWords",
    "MapAccents",
    "NumKeywords",
    "NumVariants",
    "OutputBasewordBufferSize",
    "OutputVariantBufferSize",
    "DictIDLen",
    "DictReservedLimit",
    "DictReservedSpaces",
    "DictReservedSuffixes",
    "DictReservedPrefixes",
    "DictReservedNoSpaces",
    "NumPages",
    "PageInfoSize",
    "UseBigPageInfoData",
    "UseCats",
    "NumCats",
    "NumCatBytes",
    "UseMetaFields",
    "NumMetaFields",
    "NumSpellings",
    "Recommended",
    "NumRecommended",
    "MaxKeyWordLineLen",
};

constexpr char kUnsafeJoinChars[] = "&<>\" ";

void set_key(SettingsFileOut &file, const std::string &key, const std::string &value) {
    for (auto &line : file.keys)
        if (line.first == key) {
            line.second = value;
            return;
        }
    file.keys.emplace_back(key, value);
}

const std::string *find_key(const SettingsFileOut &file, const std::string &key) {
    for (const auto &line : file.keys)
        if (line.first == key) return &line.second;
    return nullptr;
}

int interface_text_index(const std::string &key) {
    for (int i = 0; i < kStrTextCount; i++)
        if (key == interface_text_key(i)) return i;
    return -1;
}

// Applies one key of the run's settings. false with a message.
bool apply_option_key(SettingsFileOut &file, const std::string &key, const std::string &value,
                      std::string *error) {
    for (const char *index_key : kIndexKeys)
        if (key == index_key) {
            *error = "setting " + key + " describes the index and is set by the indexer";
            return false;
        }
    if (interface_text_index(key) >= 0) {
        if (value.size() >= (size_t)kSettingTextSize ||
            value.find_first_of("\"\r\n") != std::string::npos) {
            *error = "setting " + key + ": a text of at most 1023 bytes without double quotes";
            return false;
        }
        for (auto &text : file.texts)
            if (text.first == key) text.second = value;
        return true;
    }
    std::string line_value;
    if (!check_setting_value(key, value, &line_value, error)) return false;
    set_key(file, key, line_value);
    return true;
}

MetaFieldOut meta_field_out(const MetaFieldOption &option) {
    MetaFieldOut field;
    field.type = option.type;
    field.name = option.name;
    field.caption = option.caption;
    field.label = option.label.empty() ? option.caption : option.label;
    field.match_op =
        option.match_op >= 0 ? option.match_op : (option.type == kMetaTypeText ? 5 : 0);
    if (option.type == kMetaTypeDropDown || option.type == kMetaTypeMultiple)
        field.options = option.options;
    return field;
}

bool check_blocks(IndexBuilder::State &state) {
    const BuildOptions &o = state.options;
    for (const MetaFieldOption &field : o.meta_fields) {
        if (field.type < 0 || field.type > 4) {
            state.error = "meta field " + field.name + ": type must be 0 to 4";
            return false;
        }
        if (field.name.empty() || field.name.find_first_of(" \t\"&<>") != std::string::npos) {
            state.error = "meta field name \"" + field.name + "\" must be one word";
            return false;
        }
        if (field.options.size() >= (size_t)kNoMetaOption) {
            state.error = "meta field " + field.name + ": at most 254 options";
            return false;
        }
    }
    return check_settings_blocks(state.settings, &state.error);
}

}  // namespace

bool prepare_settings(IndexBuilder::State &state) {
    const BuildOptions &o = state.options;
    SettingsFileOut &file = state.settings;
    for (const auto &key : kDefaultKeys) file.keys.emplace_back(key.first, key.second);
    for (int i = 0; i < kStrTextCount; i++)
        file.texts.emplace_back(interface_text_key(i), default_interface_text(i));
    for (const auto &name : o.template_files)
        if (name.first == "vesk_autocomplete.js") set_key(file, "UseAutoComplete", "1");
    const std::string site = o.site_name.empty() ? o.base_url : o.site_name;
    std::string quoted_site;
    for (char ch : site) quoted_site += ch == '"' ? '\'' : ch;
    std::string line_value;
    std::string xml_title = quoted_site.substr(0, 1000),
                xml_desc = "Search results from " + xml_title;
    for (const auto &key : {std::make_pair(std::string("XMLTitle"), xml_title),
                            std::make_pair(std::string("XMLDesc"), xml_desc),
                            std::make_pair(std::string("XMLURL"), o.base_url)})
        if (check_setting_value(key.first, key.second, &line_value, nullptr))
            set_key(file, key.first, line_value);
    for (const auto &key : o.settings)
        if (!apply_option_key(file, key.first, key.second, &state.error)) return false;

    if (o.language == "none" || o.language.empty()) {
        state.rules.stemming_algo = -1;
    } else {
        state.rules.stemming_algo = stemming_algorithm_number(o.language.c_str());
        sb_stemmer *probe = new_utf8_stemmer(state.rules.stemming_algo);
        if (probe == nullptr) {
            state.error = "unknown language \"" + o.language + "\" (a stemmer name or none)";
            return false;
        }
        sb_stemmer_delete(probe);
    }
    state.rules.map_accents = o.map_accents;
    const std::string *join = find_key(file, "WordJoinChars");
    if (join != nullptr && join->size() >= 2)
        state.rules.join_chars = join->substr(1, join->size() - 2);
    if (state.rules.join_chars.find_first_of(kUnsafeJoinChars) != std::string::npos) {
        state.error = "WordJoinChars cannot hold & < > \" or a space";
        return false;
    }
    const std::string *money = find_key(file, "MetaMoneyShowDec");
    state.money_decimals = money != nullptr && *money != "0" ? 1 : 0;

    file.categories = o.categories;
    for (const MetaFieldOption &field : o.meta_fields) {
        file.meta_fields.push_back(meta_field_out(field));
        state.info_layout.meta_types.push_back(field.type);
    }
    if (o.map_accents)
        for (const auto &pair : accent_pairs()) {
            file.accent_chars.push_back(pair.first);
            file.normal_chars.push_back(pair.second);
        }
    state.info_layout.category_bytes = (int)((o.categories.size() + 7) / 8);
    return check_blocks(state);
}

bool settings_text(const IndexBuilder::State &state, const IndexTotals &totals, std::string &out,
                   std::string *error) {
    SettingsFileOut file = state.settings;
    const BuildOptions &o = state.options;
    const bool stemming = state.rules.stemming_algo >= 0;
    const uint32_t per_class = (uint32_t)reserved_texts().size();
    const uint64_t limits[] = {totals.base_pool, totals.variant_pool, totals.page_info_size};
    for (uint64_t limit : limits)
        if (limit > (uint64_t)INT32_MAX) {
            *error =
                "the index is larger than settings.vdat can describe (2 GB pools and page info)";
            return false;
        }
    const std::pair<const char *, uint64_t> keys[] = {
        {"UseUTF8", 1},
        {"ToLowerSearchWords", 1},
        {"UseStemming", stemming ? 1 : 0},
        {"StemmingAlgo", stemming ? (uint64_t)state.rules.stemming_algo : 2},
        {"NumKeywords", totals.keywords},
        {"NumVariants", totals.variants},
        {"OutputBasewordBufferSize", totals.base_pool},
        {"OutputVariantBufferSize", std::max<uint64_t>(totals.variant_pool, 1)},
        {"DictIDLen", (uint64_t)totals.dict_id_len},
        {"DictReservedLimit", reserved_id_limit()},
        {"DictReservedSpaces", kFirstTokenId + per_class},
        {"DictReservedSuffixes", kFirstTokenId + 2 * per_class - 1},
        {"DictReservedPrefixes", kFirstTokenId + 3 * per_class - 1},
        {"DictReservedNoSpaces", reserved_id_limit()},
        {"NumPages", state.pages.size()},
        {"PageInfoSize", totals.page_info_size},
        {"UseBigPageInfoData", state.info_layout.big ? 1u : 0u},
        {"UseCats", o.categories.empty() ? 0u : 1u},
        {"NumCats", o.categories.size()},
        {"NumCatBytes", (uint64_t)state.info_layout.category_bytes},
        {"UseMetaFields", o.meta_fields.empty() ? 0u : 1u},
        {"NumMetaFields", o.meta_fields.size()},
        {"NumSpellings", totals.spellings},
        {"Recommended", totals.recommended > 0 ? 1u : 0u},
        {"NumRecommended", totals.recommended},
        {"MaxKeyWordLineLen", std::max<uint64_t>(totals.list_line + 1, kDefaultListLineSize)},
    };
    for (const auto &key : keys) set_key(file, key.first, std::to_string(key.second));
    if (!o.map_accents) set_key(file, "MapAccents", "0");
    out = settings_file_text(file);
    return true;
}

}  // namespace indexer
