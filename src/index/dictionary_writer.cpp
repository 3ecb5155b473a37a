// Writes dictionary entries: a base line "word offset count" (offset -1: no
// postings), then `count` variant lines, one variant a line. Entry i of the
// file is word id i.
#include <inttypes.h>
#include <stdio.h>

#include "index/index_writer.h"

namespace {

bool plain_token(const std::string &text) {
    if (text.empty()) return false;
    for (char ch : text)
        if (ch == ' ' || ch == '\r' || ch == '\n' || ch == '\0') return false;
    return true;
}

}  // namespace

void append_dictionary_entry_unchecked(std::string &out, const std::string &word, int64_t offset,
                                       const std::vector<std::string> &variants,
                                       const char *line_end) {
    char numbers[48];
    snprintf(numbers, sizeof numbers, " %" PRId64 " %zu", offset, variants.size());
    out.append(word).append(numbers).append(line_end);
    for (const std::string &variant : variants) out.append(variant).append(line_end);
}

bool append_dictionary_entry(std::string &out, const std::string &word, int64_t offset,
                             const std::vector<std::string> &variants, std::string *error,
                             const char *line_end) {
    bool fits = plain_token(word) && variants.size() <= (size_t)kMaxVariantNumber;
    for (const std::string &variant : variants)
        fits = fits && plain_token(variant) && variant.size() <= kMaxVariantLength;
    if (!fits) {
        if (error != nullptr) *error = "a dictionary word or variant cannot be written: " + word;
        return false;
    }
    append_dictionary_entry_unchecked(out, word, offset, variants, line_end);
    return true;
}
