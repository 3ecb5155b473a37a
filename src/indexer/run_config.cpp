// The command line and the config file of sitequery-index (see run_config.h).
#include "indexer/run_config.h"

#include <ctype.h>
#include <fnmatch.h>
#include <libstemmer.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <sstream>

#include "text/text.h"

namespace indexer {

const char kUsage[] =
    "usage: sitequery-index --base-url URL [--name TEXT] [--language NAME|none]\n"
    "                       [--config FILE] [--template DIR] [--charset NAME] [--jobs N]\n"
    "                       [--quiet] [--verbose] SOURCE... INDEX_DIR\n"
    "       sitequery-index ... --publish LINK SOURCE...\n";

namespace {

constexpr uint64_t kMegabyte = 1ull << 20;
constexpr uint64_t kMaxFileMegabytes = 4095;  // a page's size is kept in 32 bits
const char *const kMetaTypeNames[] = {"numeric", "text", "dropdown", "multiple", "money"};
constexpr int kMetaTypeCount = sizeof kMetaTypeNames / sizeof *kMetaTypeNames;
// How a meta field's value is compared with the one searched for, by match_op.
const char *const kMatchNames[] = {"equal", "less", "at_most", "greater", "at_least", "contains"};
constexpr int kMatchCount = sizeof kMatchNames / sizeof *kMatchNames;

std::string trimmed(const std::string &text) {
    size_t start = 0, end = text.size();
    while (start < end && isspace((unsigned char)text[start])) start++;
    while (end > start && isspace((unsigned char)text[end - 1])) end--;
    return text.substr(start, end - start);
}

std::vector<std::string> words_of(const std::string &text, char separator) {
    std::vector<std::string> words;
    std::string word;
    std::istringstream in(text);
    while (std::getline(in, word, separator)) {
        if (separator != ' ') word = trimmed(word);
        if (!word.empty()) words.push_back(word);
    }
    return words;
}

bool parse_number(const std::string &text, long long low, long long high, long long *value) {
    if (text.empty()) return false;
    char *end = nullptr;
    const long long number = strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || number < low || number > high) return false;
    *value = number;
    return true;
}

bool parse_yes_no(const std::string &text, bool *value) {
    if (text == "yes" || text == "on" || text == "true" || text == "1") return *value = true, true;
    if (text == "no" || text == "off" || text == "false" || text == "0")
        return *value = false, true;
    return false;
}

// A language the search program can stem its queries in: one of libstemmer's
// algorithms that has a StemmingAlgo number, or "none".
bool known_language(const std::string &name) {
    if (name == "none") return true;
    for (const char **entry = sb_stemmer_list(); *entry != nullptr; entry++)
        if (name == *entry) return stemming_algorithm_number(name.c_str()) >= 0;
    return false;
}

std::string languages() {
    std::string list = "none";
    for (const char **entry = sb_stemmer_list(); *entry != nullptr; entry++)
        if (stemming_algorithm_number(*entry) >= 0) list += std::string(", ") + *entry;
    return list;
}

// One setting shared by the command line and the config file's main section.
bool set_option(const std::string &key, const std::string &value, RunConfig *config,
                std::string *error) {
    long long number;
    if (key == "base_url") {
        config->build.base_url = value;
    } else if (key == "name") {
        config->build.site_name = value;
    } else if (key == "language") {
        if (!known_language(value))
            return *error = "unknown language \"" + value + "\" (known: " + languages() + ")",
                   false;
        config->build.language = value;
    } else if (key == "map_accents") {
        if (!parse_yes_no(value, &config->build.map_accents))
            return *error = "map_accents takes yes or no", false;
    } else if (key == "charset") {
        config->extract.fallback_charset = value;
    } else if (key == "include") {
        config->include = words_of(value, ' ');
    } else if (key == "exclude") {
        for (const std::string &pattern : words_of(value, ' ')) config->exclude.push_back(pattern);
    } else if (key == "categories") {
        if (value == "none")
            config->category_mode = CategoryMode::kNone;
        else if (value == "folders")
            config->category_mode = CategoryMode::kFolders;
        else if (value == "rules")
            config->category_mode = CategoryMode::kRules;
        else
            return *error = "categories takes none, folders or rules", false;
    } else if (key == "template") {
        config->template_dir = value;
    } else if (key == "jobs") {
        if (!parse_number(value, 0, kMaxJobs, &number))
            return *error = "jobs takes a number from 0 (one per core) to 256", false;
        config->jobs = (int)number;
    } else if (key == "max_file_size") {
        if (!parse_number(value, 1, (long long)kMaxFileMegabytes, &number))
            return *error = "max_file_size takes megabytes from 1 to 4095", false;
        config->max_file_bytes = (uint64_t)number * kMegabyte;
    } else {
        return *error = "unknown key \"" + key + "\"", false;
    }
    return true;
}

bool set_meta(MetaFieldOption &field, const std::string &key, const std::string &value,
              std::string *error) {
    if (key == "type") {
        for (int type = 0; type < kMetaTypeCount; type++)
            if (value == kMetaTypeNames[type] || value == std::to_string(type))
                return field.type = type, true;
        return *error = "type takes numeric, text, dropdown, multiple or money", false;
    }
    if (key == "caption") return field.caption = value, true;
    if (key == "label") return field.label = value, true;
    if (key == "options") return field.options = words_of(value, ','), true;
    if (key == "match") {
        for (int op = 0; op < kMatchCount; op++)
            if (value == kMatchNames[op]) return field.match_op = op, true;
        return *error = "match takes equal, less, at_most, greater, at_least or contains", false;
    }
    return *error = "unknown key \"" + key + "\" of a meta field", false;
}

// A [boost] line "pattern = N": N a whole number from 0 (none) to kMaxBoost.
bool add_boost_rule(const std::string &pattern, const std::string &value, RunConfig *config,
                    std::string *error) {
    long long boost;
    if (!parse_number(value, 0, kMaxBoost, &boost))
        return *error = "boost of " + pattern + " takes a number from 0 (none) to " +
                        std::to_string(kMaxBoost) + ", not \"" + value + "\"",
               false;
    config->boost_rules.emplace_back(pattern, (uint8_t)boost);
    return true;
}

// The section a line of the config file belongs to.
struct Section {
    enum Kind { kMain, kCategories, kBoost, kMeta, kRecommended, kSettings } kind = kMain;
    size_t meta = 0;  // index into build.meta_fields for kMeta
};

bool start_section(const std::string &head, RunConfig *config, Section *section,
                   std::string *error) {
    const std::string name = trimmed(head.substr(1, head.size() - 2));
    if (name == "categories") {
        section->kind = Section::kCategories;
        config->category_mode = CategoryMode::kRules;
    } else if (name == "boost") {
        section->kind = Section::kBoost;
    } else if (name == "recommended") {
        section->kind = Section::kRecommended;
    } else if (name == "settings") {
        section->kind = Section::kSettings;
    } else if (name.compare(0, 5, "meta ") == 0 && !trimmed(name.substr(5)).empty()) {
        section->kind = Section::kMeta;
        section->meta = config->build.meta_fields.size();
        MetaFieldOption field;
        field.name = trimmed(name.substr(5));
        field.caption = field.name;
        config->build.meta_fields.push_back(field);
        config->extract.meta_names.push_back(field.name);
    } else {
        return *error = "unknown section [" + name + "]", false;
    }
    return true;
}

bool config_line(const std::string &line, RunConfig *config, Section *section, std::string *error) {
    if (line.front() == '[' && line.back() == ']')
        return start_section(line, config, section, error);
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return *error = "a line without \"=\"", false;
    const std::string key = trimmed(line.substr(0, equals));
    const std::string value = trimmed(line.substr(equals + 1));
    if (key.empty()) return *error = "a line without a key", false;
    switch (section->kind) {
        case Section::kMain:
            return set_option(key, value, config, error);
        case Section::kCategories:
            config->category_rules.emplace_back(key, value);
            return true;
        case Section::kBoost:
            return add_boost_rule(key, value, config, error);
        case Section::kMeta:
            return set_meta(config->build.meta_fields[section->meta], key, value, error);
        case Section::kRecommended:
            config->build.recommended.emplace_back(key, value);
            return true;
        case Section::kSettings:
            config->build.settings.emplace_back(key, value);
            return true;
    }
    return true;
}

// The options of the command line: name, whether it takes a value, config key.
struct CommandOption {
    const char *name;
    bool takes_value;
    const char *key;
};
const CommandOption kOptions[] = {{"--base-url", true, "base_url"}, {"--name", true, "name"},
                                  {"--language", true, "language"}, {"--jobs", true, "jobs"},
                                  {"--template", true, "template"}, {"--charset", true, "charset"},
                                  {"--config", true, nullptr},      {"--publish", true, nullptr},
                                  {"--quiet", false, nullptr},      {"--verbose", false, nullptr},
                                  {"--help", false, nullptr}};

bool read_file(const std::string &path, std::string *text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    *text = bytes.str();
    return !in.bad();
}

// Splits the command line into options (name, value) and the other arguments.
bool split_command_line(int argc, char **argv,
                        std::vector<std::pair<std::string, std::string>> *options,
                        std::vector<std::string> *arguments, std::string *error) {
    bool only_arguments = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        if (only_arguments || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            arguments->push_back(arg);
            continue;
        }
        if (arg == "--") {
            only_arguments = true;
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        const CommandOption *option = nullptr;
        for (const CommandOption &known : kOptions)
            if (name == known.name) option = &known;
        if (option == nullptr) return *error = "unknown option " + name, false;
        std::string value;
        if (equals != std::string::npos)
            value = arg.substr(equals + 1);
        else if (option->takes_value && i + 1 < argc)
            value = argv[++i];
        else if (option->takes_value)
            return *error = name + " needs a value", false;
        options->emplace_back(name, value);
    }
    return true;
}

bool check_config(RunConfig *config, std::string *error) {
    if (config->build.base_url.empty()) return *error = "no base URL (--base-url URL)", false;
    if (config->category_mode == CategoryMode::kRules && config->category_rules.empty())
        return *error = "categories = rules but no [categories] section", false;
    for (const MetaFieldOption &field : config->build.meta_fields)
        if ((field.type == 2 || field.type == 3) && field.options.empty())
            return *error = "meta field " + field.name + " lists no options", false;
    if (config->sources.empty()) return *error = "no source folder or file", false;
    return true;
}

}  // namespace

bool pattern_matches(const std::string &pattern, const std::string &path) {
    if (pattern.find('/') != std::string::npos)
        return fnmatch(pattern.c_str(), path.c_str(), 0) == 0;
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return fnmatch(pattern.c_str(), name.c_str(), 0) == 0;
}

uint8_t boost_of(const RunConfig &config, const std::string &path) {
    uint8_t boost = 0;
    for (const auto &rule : config.boost_rules)
        if (pattern_matches(rule.first, path)) boost = rule.second;
    return boost;
}

bool parse_config_text(const std::string &text, const std::string &path, RunConfig *config,
                       std::string *error) {
    std::istringstream in(text);
    std::string line;
    Section section;
    for (int number = 1; std::getline(in, line); number++) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (!config_line(line, config, &section, error)) {
            *error = path + ":" + std::to_string(number) + ": " + *error;
            return false;
        }
    }
    return true;
}

bool read_run_config(int argc, char **argv, RunConfig *config, std::string *error, bool *help) {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> arguments;
    *help = false;
    if (!split_command_line(argc, argv, &options, &arguments, error)) return false;
    for (const auto &option : options) {
        if (option.first == "--help") return *help = true, true;
        if (option.first != "--config") continue;
        std::string text;
        if (!read_file(option.second, &text))
            return *error = "cannot read config file " + option.second, false;
        if (!parse_config_text(text, option.second, config, error)) return false;
    }
    for (const auto &option : options) {
        if (option.first == "--publish") config->publish_link = option.second;
        if (option.first == "--quiet") config->quiet = true;
        if (option.first == "--verbose") config->verbose = true;
        for (const CommandOption &known : kOptions)
            if (option.first == known.name && known.key != nullptr &&
                !set_option(known.key, option.second, config, error))
                return false;
    }
    if (config->publish_link.empty() && !arguments.empty()) {
        config->index_dir = arguments.back();
        arguments.pop_back();
    }
    config->sources = arguments;
    if (config->publish_link.empty() && config->index_dir.empty())
        return *error = "no index folder (or --publish LINK)", false;
    return check_config(config, error);
}

}  // namespace indexer
