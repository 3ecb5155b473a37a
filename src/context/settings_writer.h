// Writing settings.vdat: the text of the file from its keys, interface texts
// and blocks, and the checks that a key is one the program reads and that its
// value fits. The reader (settings.cpp, settings_blocks.cpp) defines what the
// lines mean; this writes them the way it scans them.
//
// Layout, lines in this order: key lines "Key = value" (numbers as decimals,
// texts in double quotes), the interface texts "STR_... = \"text\"" in their
// fixed order, "MapAccents = 1" with its AccentChars and NormalChars lines,
// "catnames" and one name a line (after NumCats), "metafields" and per field
// its type, name, caption, label, match operator, option count and options
// (after NumMetaFields), then any extra lines.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One custom meta field of the metafields block.
struct MetaFieldOut {
    int type = 0;
    std::string name, caption, label;
    int match_op = 0;
    std::vector<std::string> options;  // written for types 2 and 3
    int option_count = -1;             // -1: options.size()
};

// Everything the file says.
struct SettingsFileOut {
    std::vector<std::pair<std::string, std::string>> keys;   // key, value as written (texts quoted)
    std::vector<std::pair<std::string, std::string>> texts;  // STR_ key, text (any order)
    std::vector<std::string> categories;                     // catnames block when not empty
    std::vector<MetaFieldOut> meta_fields;                   // metafields block when not empty
    std::vector<std::string> accent_chars, normal_chars;     // accent lines when not empty
    std::vector<std::string> extra_lines;                    // written verbatim at the end
    std::string line_end = "\n";                             // "\n" or "\r\n"
};

// The text of the file, laid out as above. Writes what it is given: check
// values with check_setting_value and the blocks with check_settings_blocks.
std::string settings_file_text(const SettingsFileOut &file);

// Kinds of values a key takes.
enum class SettingKind { kInt, kUnsigned, kText, kByte };
// Whether the program reads key; *kind and *room (bytes of a text member,
// its NUL included; 0 for numbers) describe its value. Either may be null.
bool find_setting_key(const char *key, SettingKind *kind, int *room);
// The value text written for key and value (a text key's value quoted), in
// *line_value. false with a clear message in *error: a key the program does
// not know, a number that does not scan or lies outside its kind's range, or
// a text holding a double quote or a line end or longer than its member
// holds.
bool check_setting_value(const std::string &key, const std::string &value, std::string *line_value,
                         std::string *error);
// Checks what the reader keeps of the blocks: a category name, meta-field
// name, caption or label within 99 bytes (the reader's line, its LF
// included, fills 101 bytes), an option within 63, accent items within 9
// and normal items within 4 bytes, nothing holding a line end or a double
// quote where the line is quoted. false with a message naming the item.
bool check_settings_blocks(const SettingsFileOut &file, std::string *error);

// The 49 interface texts in English, in their fixed order (the reader's keys
// come from interface_text_key in context.h).
const char *default_interface_text(int index);
