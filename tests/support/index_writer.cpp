// Test support: the settings.vdat writer and small file helpers.
#include "support/index_writer.h"

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testsupport {

SettingsSpec &SettingsSpec::set(const std::string &key, long long value) {
    remove(key);
    keys.emplace_back(key, std::to_string(value));
    return *this;
}

SettingsSpec &SettingsSpec::set_text(const std::string &key, const std::string &value) {
    remove(key);
    keys.emplace_back(key, "\"" + value + "\"");
    return *this;
}

SettingsSpec &SettingsSpec::remove(const std::string &key) {
    for (size_t i = 0; i < keys.size(); i++)
        if (keys[i].first == key) {
            keys.erase(keys.begin() + (long)i);
            break;
        }
    return *this;
}

const std::vector<std::string> &interface_text_keys() {
    static const std::vector<std::string> keys = {"STR_FORM_SEARCHFOR",
                                                  "STR_FORM_SUBMIT_BUTTON",
                                                  "STR_FORM_RESULTS_PER_PAGE",
                                                  "STR_FORM_CATEGORY",
                                                  "STR_FORM_CATEGORY_ALL",
                                                  "STR_FORM_MATCH",
                                                  "STR_FORM_ANY_SEARCH_WORDS",
                                                  "STR_FORM_ALL_SEARCH_WORDS",
                                                  "STR_NO_QUERY",
                                                  "STR_RESULTS_FOR",
                                                  "STR_RESULTS_IN_ALL_CATEGORIES",
                                                  "STR_RESULTS_IN_CATEGORY",
                                                  "STR_POWEREDBY",
                                                  "STR_NO_RESULTS",
                                                  "STR_RESULT",
                                                  "STR_RESULTS",
                                                  "STR_PHRASE_CONTAINS_COMMON_WORDS",
                                                  "STR_SKIPPED_FOLLOWING_WORDS",
                                                  "STR_SKIPPED_PHRASE",
                                                  "STR_SUMMARY_NO_RESULTS_FOUND",
                                                  "STR_SUMMARY_FOUND_CONTAINING_ALL_TERMS",
                                                  "STR_SUMMARY_FOUND_CONTAINING_SOME_TERMS",
                                                  "STR_SUMMARY_FOUND",
                                                  "STR_PAGES_OF_RESULTS",
                                                  "STR_POSSIBLY_GET_MORE_RESULTS",
                                                  "STR_ANY_OF_TERMS",
                                                  "STR_ALL_CATS",
                                                  "STR_SORTBY_RELEVANCE",
                                                  "STR_SORTEDBY_DATE",
                                                  "STR_SORTEDBY_RELEVANCE",
                                                  "STR_SORTBY_DATE",
                                                  "STR_RESULT_TERMS_MATCHED",
                                                  "STR_RESULT_SCORE",
                                                  "STR_RESULT_URL",
                                                  "STR_RESULT_PAGES",
                                                  "STR_RESULT_PAGES_PREVIOUS",
                                                  "STR_RESULT_PAGES_NEXT",
                                                  "STR_SEARCH_TOOK",
                                                  "STR_SECONDS",
                                                  "STR_DIDYOUMEAN",
                                                  "STR_OR",
                                                  "STR_RECOMMENDED",
                                                  "STR_MAX_RESULTS",
                                                  "STR_MORETHAN",
                                                  "STR_CAT_SUMMARY",
                                                  "STR_SORTEDBY_DATE_ASC",
                                                  "STR_FORM_DATE_FROM",
                                                  "STR_FORM_DATE_TO",
                                                  "STR_FORM_DATE_BUTTON"};
    return keys;
}

SettingsSpec default_settings() {
    SettingsSpec spec;
    static const char *const defaults[] = {"Search for:",
                                           "Search",
                                           "Results per page:",
                                           "Category:",
                                           "Any",
                                           "Match:",
                                           "any search words",
                                           "all search words",
                                           "No search query entered.",
                                           "Search results for:",
                                           "in all categories",
                                           "in category",
                                           "Search powered by sitequery",
                                           "No results",
                                           "result",
                                           "results",
                                           "Your search phrase contains common words.",
                                           "Skipped the following words:",
                                           "Skipped phrase",
                                           "No results found.",
                                           "found containing all search terms.",
                                           "found containing some search terms.",
                                           "found.",
                                           "pages of results.",
                                           "More results may be found by searching for",
                                           "any of the terms",
                                           "all categories",
                                           "Sort by relevance",
                                           "Sorted by date",
                                           "Sorted by relevance",
                                           "Sort by date",
                                           "Terms matched:",
                                           "Score:",
                                           "URL:",
                                           "Result Pages:",
                                           "&lt;&lt; Previous",
                                           "Next &gt;&gt;",
                                           "Search took:",
                                           "seconds",
                                           "Did you mean:",
                                           "or",
                                           "Recommended links",
                                           "Too many results",
                                           "More than",
                                           "Category summary:",
                                           "Sorted by date (oldest first)",
                                           "From:",
                                           "To:",
                                           "..."};
    static_assert(sizeof defaults / sizeof defaults[0] == 49, "one default per text");
    for (size_t i = 0; i < interface_text_keys().size(); i++)
        spec.texts[interface_text_keys()[i]] = defaults[i];
    // Without a match limit every search would stop before its first word.
    spec.set("MaxMatches", 10000);
    return spec;
}

std::string settings_text(const SettingsSpec &spec) {
    std::string out;
    const std::string &eol = spec.line_end;
    for (const auto &key : spec.keys) out += key.first + " = " + key.second + eol;
    for (const auto &key : interface_text_keys()) {
        auto it = spec.texts.find(key);
        if (it != spec.texts.end()) out += key + " = \"" + it->second + "\"" + eol;
    }
    if (!spec.accent_chars.empty() || !spec.normal_chars.empty()) {
        out += "MapAccents = 1" + eol + "AccentChars = ";
        for (size_t i = 0; i < spec.accent_chars.size(); i++)
            out += (i ? ", \"" : "\"") + spec.accent_chars[i] + "\"";
        out += eol + "NormalChars = ";
        for (size_t i = 0; i < spec.normal_chars.size(); i++)
            out += (i ? ", \"" : "\"") + spec.normal_chars[i] + "\"";
        out += eol;
    }
    if (!spec.categories.empty()) {
        out += "catnames" + eol;
        for (const auto &name : spec.categories) out += name + eol;
    }
    if (!spec.meta_fields.empty()) {
        out += "metafields" + eol;
        for (const auto &field : spec.meta_fields) {
            int count = field.option_count >= 0 ? field.option_count : (int)field.options.size();
            out += std::to_string(field.type) + eol + field.name + eol + field.caption + eol +
                   field.label + eol + std::to_string(field.match_op) + eol +
                   std::to_string(count) + eol;
            if (field.type == 2 || field.type == 3)
                for (const auto &option : field.options) out += option + eol;
        }
    }
    for (const auto &line : spec.extra_lines) out += line + eol;
    return out;
}

std::string make_temp_dir(const std::string &prefix) {
    const char *base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    return buffer.data();
}

void write_file(const std::string &dir, const std::string &name, const std::string &bytes) {
    std::ofstream out(dir + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), (std::streamsize)bytes.size());
    if (!out) throw std::runtime_error("cannot write " + dir + "/" + name);
}

std::string read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_settings(const std::string &dir, const SettingsSpec &spec) {
    write_file(dir, "settings.vdat", settings_text(spec));
}

void remove_tree(const std::string &dir) {
    if (dir.empty() || dir == "/") return;
    std::string command = "rm -rf '" + dir + "'";
    if (system(command.c_str()) != 0) fprintf(stderr, "cannot remove %s\n", dir.c_str());
}

}  // namespace testsupport
