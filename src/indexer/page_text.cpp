// Text helpers of the indexer's front end (see page_text.h).
#include "indexer/page_text.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include "context/utf8.h"
#include "text/text.h"

namespace indexer {

namespace {

const char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// Whether cp is white space to the collapsing: controls, the ASCII blanks,
// no-break space, the typographic spaces and the line and paragraph separators.
bool is_space(uint32_t cp) {
    return cp <= 0x20 || cp == 0x7F || (cp >= 0x80 && cp <= 0x9F) || cp == 0xA0 ||
           (cp >= 0x2000 && cp <= 0x200B) || cp == 0x2028 || cp == 0x2029 || cp == 0x202F ||
           cp == 0x205F || cp == 0x3000 || cp == 0xFEFF;
}

bool sentence_end(const std::string &text, size_t i) {
    const char ch = text[i];
    return (ch == '.' || ch == '!' || ch == '?') && (i + 1 == text.size() || text[i + 1] == ' ');
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
int64_t days_from_civil(int64_t year, int month, int day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// Reads `count` digits at text[*at] into *value.
bool read_digits(const std::string &text, size_t *at, int count, int *value) {
    *value = 0;
    for (int i = 0; i < count; i++, (*at)++) {
        if (*at >= text.size() || !isdigit((unsigned char)text[*at])) return false;
        *value = *value * 10 + (text[*at] - '0');
    }
    return true;
}

// Reads "hh:mm[:ss[.fff]]" at text[*at] into *seconds of the day.
bool read_time(const std::string &text, size_t *at, int64_t *seconds) {
    int hour, minute, second = 0;
    if (!read_digits(text, at, 2, &hour) || *at >= text.size() || text[*at] != ':') return false;
    (*at)++;
    if (!read_digits(text, at, 2, &minute)) return false;
    if (*at < text.size() && text[*at] == ':') {
        (*at)++;
        if (!read_digits(text, at, 2, &second)) return false;
        if (*at < text.size() && (text[*at] == '.' || text[*at] == ','))
            while (++*at < text.size() && isdigit((unsigned char)text[*at])) {
            }
    }
    if (hour > 23 || minute > 59 || second > 60) return false;
    *seconds = hour * 3600 + minute * 60 + second;
    return true;
}

// Reads an optional zone "Z", "+hh:mm", "-hh[mm]" into *offset (seconds east of UTC).
bool read_zone(const std::string &text, size_t *at, int64_t *offset) {
    *offset = 0;
    if (*at >= text.size()) return true;
    if (text[*at] == 'Z' || text[*at] == 'z') {
        (*at)++;
        return true;
    }
    if (text[*at] != '+' && text[*at] != '-') return false;
    const int sign = text[*at] == '-' ? -1 : 1;
    (*at)++;
    int hours, minutes = 0;
    if (!read_digits(text, at, 2, &hours)) return false;
    if (*at < text.size() && text[*at] == ':') (*at)++;
    if (*at < text.size() && !read_digits(text, at, 2, &minutes)) return false;
    *offset = sign * (hours * 3600 + minutes * 60);
    return hours <= 14 && minutes <= 59;
}

}  // namespace

size_t append_valid_utf8(std::string &out, const char *text, size_t length) {
    const unsigned char *bytes = (const unsigned char *)text;
    size_t replaced = 0;
    for (size_t i = 0; i < length;) {
        uint32_t cp;
        const int unit = utf8_decode(bytes + i, length - i, &cp);
        if (unit == 0) {
            out += kReplacement;
            replaced++;
            i++;
        } else {
            out.append(text + i, (size_t)unit);
            i += (size_t)unit;
        }
    }
    return replaced;
}

bool is_valid_utf8(const char *text, size_t length) {
    const unsigned char *bytes = (const unsigned char *)text;
    for (size_t i = 0; i < length;) {
        if (bytes[i] < 0x80) {
            i++;
            continue;
        }
        uint32_t cp;
        const int unit = utf8_decode(bytes + i, length - i, &cp);
        if (unit == 0) return false;
        i += (size_t)unit;
    }
    return true;
}

void append_collapsed(std::string &out, const char *text, size_t length, bool &space) {
    const unsigned char *bytes = (const unsigned char *)text;
    for (size_t i = 0; i < length;) {
        const size_t start = i;  // printable ASCII goes over in one piece
        while (i < length && bytes[i] > 0x20 && bytes[i] < 0x7F) i++;
        if (i > start) {
            out.append(text + start, i - start);
            space = false;
            continue;
        }
        uint32_t cp;
        int unit = utf8_decode(bytes + i, length - i, &cp);
        if (unit == 0) {  // the callers hand valid text; a stray byte counts as one blank
            unit = 1;
            cp = ' ';
        }
        if (is_space(cp)) {
            if (!space && !out.empty()) out += ' ';
            space = true;
        } else {
            out.append(text + i, (size_t)unit);
            space = false;
        }
        i += (size_t)unit;
    }
}

void trim_end_blank(std::string &text) {
    if (!text.empty() && text.back() == ' ') text.pop_back();
}

std::string first_sentences(const std::string &text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = 0;
    for (size_t i = 0; i < limit; i++)
        if (sentence_end(text, i)) end = i + 1;
    if (end > 0) return text.substr(0, end);
    const size_t room = limit > 3 ? limit - 3 : 0;
    size_t cut = text.rfind(' ', room);
    if (cut == std::string::npos || cut == 0) {
        cut = utf8_cut_length(text.data(), room);
    }
    return text.substr(0, cut) + "...";
}

std::string page_url(const std::string &base, const std::string &path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string url = base;
    if (url.empty() || url.back() != '/') url += '/';
    for (const char ch : path) {
        const unsigned char byte = (unsigned char)ch;
        if (isalnum(byte) || strchr("-._~/", byte) != nullptr) {
            url += ch;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 15];
        }
    }
    return url;
}

std::string printable_path(const std::string &path) {
    std::string out;
    const unsigned char *bytes = (const unsigned char *)path.data();
    for (size_t i = 0; i < path.size();) {
        uint32_t cp;
        const int unit = utf8_decode(bytes + i, path.size() - i, &cp);
        if (unit == 0 || cp < 0x20 || cp == 0x7F || cp == '\\') {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\x%02X", bytes[i]);
            out += escaped;
            i++;
        } else {
            out.append(path, i, (size_t)unit);
            i += (size_t)unit;
        }
    }
    return out;
}

bool parse_meta_date(const std::string &raw, uint32_t *seconds) {
    size_t start = 0, finish = raw.size();
    while (start < finish && isspace((unsigned char)raw[start])) start++;
    while (finish > start && isspace((unsigned char)raw[finish - 1])) finish--;
    const std::string text = raw.substr(start, finish - start);
    size_t at = 0;
    int year, month, day;
    if (!read_digits(text, &at, 4, &year)) return false;
    const bool dashed = at < text.size() && text[at] == '-';
    if (dashed) at++;
    if (!read_digits(text, &at, 2, &month)) return false;
    if (dashed && (at >= text.size() || text[at++] != '-')) return false;
    if (!read_digits(text, &at, 2, &day)) return false;
    if (month < 1 || month > 12 || day < 1 || day > 31) return false;
    int64_t time = 0, offset = 0;
    if (at < text.size() && (text[at] == 'T' || text[at] == 't' || text[at] == ' ')) {
        at++;
        if (!read_time(text, &at, &time)) return false;
        if (at < text.size() && text[at] == ' ') at++;
        if (!read_zone(text, &at, &offset)) return false;
    }
    if (at != text.size()) return false;
    const int64_t value = days_from_civil(year, month, day) * 86400 + time - offset;
    if (value < 0 || value > (int64_t)UINT32_MAX) return false;
    *seconds = (uint32_t)value;
    return true;
}

}  // namespace indexer
