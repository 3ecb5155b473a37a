// Writes the three small lists:
//   spelling     "KEY id [id [id]]" LF, KEY the first 6 bytes of a Double
//                Metaphone key; the caller sorts the lines by key
//   recommended  "keywords page" LF, split by the reader at the last space
//   autocomplete one suggestion a line, written into the answer unescaped
#include <string.h>

#include "index/index_writer.h"

namespace {

bool refuse(std::string *error, const char *message) {
    if (error != nullptr) *error = message;
    return false;
}

bool has_line_end(const std::string &text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

bool append_spelling_line(std::string &out, const std::string &key,
                          const std::vector<long long> &ids, std::string *error) {
    if (key.empty() || key.find_first_of(" \r\n") != std::string::npos || ids.empty())
        return refuse(error, "a spelling line needs a key without spaces and an id");
    append_spelling_line_unchecked(out, key.substr(0, kSpellingKeyChars), ids);
    return true;
}

void append_spelling_line_unchecked(std::string &out, const std::string &key,
                                    const std::vector<long long> &ids) {
    out.append(key);
    for (long long id : ids) out.append(1, ' ').append(std::to_string(id));
    out.append(1, '\n');
}

bool append_recommended_line(std::string &out, const std::string &keywords, long long page,
                             std::string *error) {
    if (keywords.empty() || keywords[0] == ' ' || has_line_end(keywords) ||
        keywords.size() >= (size_t)kRecommendedKeywordsSize || page < 0)
        return refuse(error, "a recommended line needs keywords (503 bytes at most) and a page");
    append_recommended_line_unchecked(out, keywords, page);
    return true;
}

void append_recommended_line_unchecked(std::string &out, const std::string &keywords,
                                       long long page) {
    out.append(keywords).append(1, ' ').append(std::to_string(page)).append(1, '\n');
}

bool append_autocomplete_line(std::string &out, const std::string &text, std::string *error) {
    if (text.empty() || has_line_end(text) || text.find_first_of("&<>\"'\\") != std::string::npos)
        return refuse(error, "an autocomplete line must be plain text");
    append_autocomplete_line_unchecked(out, text);
    return true;
}

void append_autocomplete_line_unchecked(std::string &out, const std::string &text) {
    out.append(text).append(1, '\n');
}

size_t longest_line_length(const std::string &text) {
    size_t longest = 0, start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end - start + 1 > longest) longest = end - start + 1;
        start = end + 1;
    }
    return longest;
}
