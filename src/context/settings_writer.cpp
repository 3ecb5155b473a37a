// Writes settings.vdat (layout: settings_writer.h) and checks keys and values
// against the table of keys the loader reads.
#include "context/settings_writer.h"

#include <stdlib.h>
#include <string.h>

#include "context/context.h"

namespace {

const char *const kDefaultTexts[kStrTextCount] = {
#define SITEQUERY_TEXT_DEFAULT(name, english) english,
    SITEQUERY_INTERFACE_TEXTS(SITEQUERY_TEXT_DEFAULT)
#undef SITEQUERY_TEXT_DEFAULT
};
static_assert(sizeof kDefaultTexts / sizeof kDefaultTexts[0] == kStrTextCount,
              "one default per interface text");

// Bytes of a line the loader reads at once (its LF included).
constexpr size_t kLineRoom = kSettingsLineSize - 1;
constexpr size_t kKeyValueFrame = sizeof " = \"\"" - 1;  // around a quoted value

std::string quoted_items(const std::vector<std::string> &items) {
    std::string out;
    for (size_t i = 0; i < items.size(); i++) out += (i ? ", \"" : "\"") + items[i] + "\"";
    return out;
}

// Whether text is a decimal number (optional '-' when signed) within [low, high].
bool scan_number(const std::string &text, bool allow_sign, long long low, long long high) {
    size_t i = 0;
    if (allow_sign && i < text.size() && text[i] == '-') i++;
    if (i == text.size() || text.size() - i > 10) return false;
    for (size_t k = i; k < text.size(); k++)
        if (text[k] < '0' || text[k] > '9') return false;
    const long long value = strtoll(text.c_str(), nullptr, 10);
    return value >= low && value <= high;
}

bool plain_line_text(const std::string &text, size_t limit) {
    return text.size() <= limit && text.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

const char *default_interface_text(int index) {
    return index >= 0 && index < kStrTextCount ? kDefaultTexts[index] : "";
}

std::string settings_file_text(const SettingsFileOut &file) {
    std::string out;
    const std::string &eol = file.line_end;
    for (const auto &key : file.keys) out += key.first + " = " + key.second + eol;
    for (int i = 0; i < kStrTextCount; i++)
        for (const auto &text : file.texts)
            if (text.first == interface_text_key(i))
                out += text.first + " = \"" + text.second + "\"" + eol;
    if (!file.accent_chars.empty() || !file.normal_chars.empty())
        out += "MapAccents = 1" + eol + "AccentChars = " + quoted_items(file.accent_chars) + eol +
               "NormalChars = " + quoted_items(file.normal_chars) + eol;
    if (!file.categories.empty()) {
        out += "catnames" + eol;
        for (const auto &name : file.categories) out += name + eol;
    }
    if (!file.meta_fields.empty()) {
        out += "metafields" + eol;
        for (const MetaFieldOut &field : file.meta_fields) {
            const int count =
                field.option_count >= 0 ? field.option_count : (int)field.options.size();
            out += std::to_string(field.type) + eol + field.name + eol + field.caption + eol +
                   field.label + eol + std::to_string(field.match_op) + eol +
                   std::to_string(count) + eol;
            if (field.type == 2 || field.type == 3)
                for (const auto &option : field.options) out += option + eol;
        }
    }
    for (const auto &line : file.extra_lines) out += line + eol;
    return out;
}

bool check_setting_value(const std::string &key, const std::string &value, std::string *line_value,
                         std::string *error) {
    SettingKind kind;
    int room = 0;
    std::string message;
    if (!find_setting_key(key.c_str(), &kind, &room)) {
        message = "unknown setting \"" + key + "\": settings.vdat has no such key";
    } else if (kind == SettingKind::kText) {
        const size_t line_limit = kLineRoom - 1 - key.size() - kKeyValueFrame;
        const size_t limit = std::min<size_t>((size_t)room - 1, line_limit);
        if (!plain_line_text(value, limit) || value.find('"') != std::string::npos)
            message = "setting " + key + ": a text of at most " + std::to_string(limit) +
                      " bytes without double quotes or line ends";
        else if (line_value != nullptr)
            *line_value = "\"" + value + "\"";
    } else {
        const bool is_unsigned = kind == SettingKind::kUnsigned;
        if (!scan_number(value, !is_unsigned, is_unsigned ? 0 : INT32_MIN,
                         is_unsigned ? (long long)UINT32_MAX : INT32_MAX))
            message = "setting " + key + ": a whole number is expected, not \"" + value + "\"";
        else if (line_value != nullptr)
            *line_value = value;
    }
    if (message.empty()) return true;
    if (error != nullptr) *error = message;
    return false;
}

bool check_settings_blocks(const SettingsFileOut &file, std::string *error) {
    const size_t eol = file.line_end.size();
    const size_t name_limit = kLineRoom - eol;           // a category name: one line
    const size_t field_limit = kMetaTextSize - 1 - eol;  // a name, caption or label line
    const size_t option_limit = kMetaOptionSize - 1 - eol;
    std::string bad;
    for (const std::string &name : file.categories)
        if (name.empty() || !plain_line_text(name, name_limit))
            bad = "category name \"" + name + "\"";
    for (const MetaFieldOut &field : file.meta_fields) {
        for (const std::string *text : {&field.name, &field.caption, &field.label})
            if (!plain_line_text(*text, field_limit)) bad = "meta field text \"" + *text + "\"";
        for (const std::string &option : field.options)
            if (!plain_line_text(option, option_limit))
                bad = "meta field option \"" + option + "\"";
    }
    for (const std::string &item : file.accent_chars)
        if (item.size() >= (size_t)kAccentItemSize || item.find('"') != std::string::npos)
            bad = "accent item \"" + item + "\"";
    for (const std::string &item : file.normal_chars)
        if (item.size() >= (size_t)kNormalItemSize || item.find('"') != std::string::npos)
            bad = "accent replacement \"" + item + "\"";
    if (bad.empty()) return true;
    if (error != nullptr) *error = "settings.vdat cannot hold the " + bad;
    return false;
}
