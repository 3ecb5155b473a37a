// Text helpers of the indexer's front end: repairing bytes into valid UTF-8,
// collapsing white space, the first sentences of a body, escaping a path into
// a URL and reading the dates that pages carry in their meta tags.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace indexer {

constexpr size_t kSummaryBytes = 300;  // bytes of a description made from the body, at most

// Appends length bytes of text to out as valid UTF-8: every byte that starts
// no well-formed character (stray continuation, overlong form, surrogate,
// above U+10FFFF, cut short by the end) becomes U+FFFD. Returns the number of
// replacements made.
size_t append_valid_utf8(std::string &out, const char *text, size_t length);
// Whether length bytes of text are well-formed UTF-8 throughout.
bool is_valid_utf8(const char *text, size_t length);

// Appends valid UTF-8 text to out with every run of white space (ASCII white
// space, control bytes, U+00A0 and the U+2000 to U+200B spaces) turned into
// one blank. `space` carries whether out ends in white space across calls, so
// a text appended in pieces collapses as a whole; no blank starts out.
void append_collapsed(std::string &out, const char *text, size_t length, bool &space);
// text without a blank at its end.
void trim_end_blank(std::string &text);

// The opening sentences of a collapsed text, whole sentences while they fit
// within limit bytes; when even the first does not fit, its start cut at a
// word (or, without a blank, at a character boundary), followed by "...".
std::string first_sentences(const std::string &text, size_t limit);

// base (ending in '/' or given one) followed by path with every byte outside
// A-Z a-z 0-9 - . _ ~ / percent-encoded (upper-case hex).
std::string page_url(const std::string &base, const std::string &path);
// path with bytes below 0x20, 0x7F and bytes that form no valid UTF-8 shown
// as \xHH: safe to print in a notice on a terminal.
std::string printable_path(const std::string &path);

// Reads a date of a meta tag: ISO 8601 "YYYY-MM-DD", optionally followed by
// "T" or a blank, "hh:mm" or "hh:mm:ss" with fractions, and "Z" or "+hh:mm" /
// "-hh:mm" (no zone: UTC); also "YYYYMMDD". True with *seconds since 1970
// when the text is such a date between 1970 and 2106; false otherwise.
bool parse_meta_date(const std::string &text, uint32_t *seconds);

}  // namespace indexer
