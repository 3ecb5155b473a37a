// A page's meta values, read from the raw texts the front end found, as the
// page-info file lays them out per field type: numbers (decimal digits),
// money (digits with an optional decimal part, in cents when the settings
// show decimals), texts (cut to 255 bytes), drop-down and multiple-choice
// options (the option texts, ASCII case ignored; several separated by commas).
// A value that does not fit its field is left out with a notice.
#include <math.h>
#include <stdlib.h>

#include "index/index_writer.h"
#include "indexer/builder_state.h"
#include "text/text.h"

namespace indexer {

namespace {

constexpr size_t kSmallTextMax = 0xFF;  // a text value's one-byte length
constexpr double kCents = 100.0;

std::string trimmed(const std::string &text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool parse_number(const std::string &text, bool money, bool cents, uint32_t *value) {
    std::string digits;
    bool point = false;
    for (char ch : text) {
        if (ch >= '0' && ch <= '9')
            digits += ch;
        else if (ch == '.' && money && !point)
            digits += ch, point = true;
        else if (!(money && (ch == ',' || ch == '$' || ch == ' ')))
            return false;
    }
    if (digits.empty() || digits == ".") return false;
    double number = strtod(digits.c_str(), nullptr);
    if (money && cents) number = floor(number * kCents + 0.5);
    if (number >= (double)kNoMetaNumber) return false;
    *value = (uint32_t)number;
    return true;
}

int option_index(const MetaFieldOption &field, const std::string &text) {
    for (size_t i = 0; i < field.options.size(); i++)
        if (ascii_compare_nocase(field.options[i].c_str(), text.c_str()) == 0) return (int)i;
    return -1;
}

}  // namespace

std::vector<MetaValueOut> meta_values(IndexBuilder::State &state, const ExtractedPage &page) {
    const std::vector<MetaFieldOption> &fields = state.options.meta_fields;
    std::vector<MetaValueOut> values(fields.size());
    for (size_t f = 0; f < fields.size() && f < page.meta.size(); f++) {
        const MetaFieldOption &field = fields[f];
        const std::string raw = trimmed(page.meta[f]);
        if (raw.empty()) continue;
        MetaValueOut &value = values[f];
        bool fits = true;
        if (field.type == kMetaTypeText) {
            value.text = raw.substr(0, utf8_prefix(raw, kSmallTextMax));
            if (value.text.size() < raw.size())
                state.notice(page.path, "meta " + field.name + " cut to 255 bytes");
        } else if (field.type == kMetaTypeDropDown) {
            value.option = option_index(field, raw);
            fits = value.option >= 0;
        } else if (field.type == kMetaTypeMultiple) {
            size_t start = 0;
            while (fits && start <= raw.size()) {
                size_t comma = raw.find(',', start);
                if (comma == std::string::npos) comma = raw.size();
                const std::string item = trimmed(raw.substr(start, comma - start));
                const int index = item.empty() ? -2 : option_index(field, item);
                if (index == -1) fits = false;
                if (index >= 0) value.options.push_back(index);
                start = comma + 1;
            }
        } else {
            fits = parse_number(raw, field.type == 4, state.money_decimals != 0, &value.number);
        }
        value.present = fits;
        if (!fits)
            state.notice(page.path, "meta " + field.name + " value \"" + raw + "\" left out");
    }
    return values;
}

}  // namespace indexer
