// Text processing: UTF-8 and case handling, word comparison and wildcards,
// escaping and URLs, phonetic keys and stemming. Public routines grouped by
// the file that defines them.
#pragma once

#include <stddef.h>
#include <stdint.h>

// ---- grow_text.cpp ----

// A heap text that grows as pieces are appended; NUL-terminated once
// allocated. After a failed allocation it stays failed and ignores appends.
struct GrowText {
    char *bytes = nullptr;  // the text, or null before the first reserve
    size_t length = 0;      // bytes of text
    size_t capacity = 0;    // bytes of the block
    bool failed = false;    // an allocation failed: the text is incomplete
};
// Makes room for extra more bytes and the NUL. false when it cannot grow.
bool grow_text_reserve(GrowText &text, size_t extra);
// Appends length bytes of piece (or all of a terminated piece). false on failure.
bool grow_text_append(GrowText &text, const char *piece, size_t length);
bool grow_text_append(GrowText &text, const char *piece);
// Appends a formatted text, whole. false on failure.
bool grow_text_printf(GrowText &text, const char *format, ...)
    __attribute__((format(printf, 2, 3)));
// Appends value URL-encoded as url_encode does. false on failure.
bool grow_text_append_url_encoded(GrowText &text, const char *value);
// Empties the text, keeping its block.
void grow_text_clear(GrowText &text);
// Frees the block; the text is empty again.
void grow_text_free(GrowText &text);

// ---- metaphone.cpp ----

// Double Metaphone keys of word (NUL-terminated; null counts as ""): keys[0]
// receives the primary key, keys[1] the alternate key. Each key holds at most
// 4 characters of A-Z and '0' (for TH) and may be empty. Only ASCII letters are
// upper-cased; the bytes 0xC7 and 0xD1 (Latin-1 capital C cedilla and N tilde)
// code as "S" and "N", every other non-letter byte is skipped. The word is read
// in place. Both keys are heap texts that the caller releases with free();
// false, and both null, when there is no memory for them.
bool double_metaphone(const char *word, char **keys);

// ---- stem.cpp ----

// Creates g_search_context.g_stemmer from the settings, deleting any stemmer
// left from before. With UseStemming not 1 no stemmer is made and the result
// is true. Otherwise StemmingAlgo (0 danish, 1 dutch, 2 english, 3 finnish,
// 4 french, 5 german, 6 hungarian, 7 italian, 8 norwegian, 9 porter,
// 10 portuguese, 11 romanian, 12 russian, 13 spanish, 14 swedish, 15 turkish)
// picks the algorithm; the encoding is UTF_8 when UseUTF8 is not 0, else
// ISO_8859_2 for hungarian and romanian, KOI8_R for russian and ISO_8859_1 for
// the rest (turkish exists only in UTF_8). An algorithm outside 0..15 or a
// stemmer the library cannot make prints its message (inside <vesk:error>
// in XML mode) and gives false; the caller then finishes the page.
bool create_stemmer();
// Replaces word by its stem, in place, with g_stemmer. length is the word's
// byte length (the word is also taken to end at a NUL before it). The bytes
// go to the stemmer unconverted: UTF-8 to a UTF_8 stemmer, single bytes to
// the others. False, word unchanged: no stemmer, an empty word, a word holding
// a digit, the grave accent or ASCII punctuation other than ( ) { }, a word of
// more than 400 UTF-16 units, a failed or empty stem, or a stem longer in
// bytes than the word. True when the stem was written (it may equal the word).
bool stem_word(char *word, int length);
// stem_word with the given stemmer (null: false) instead of the search's. A
// stemmer is used by one thread at a time.
struct sb_stemmer;
bool stem_word_with(sb_stemmer *stemmer, char *word, int length);
// StemmingAlgo number (0 to 15) of a libstemmer algorithm name, or -1.
int stemming_algorithm_number(const char *name);
// A new UTF_8 stemmer of algorithm number algo (free it with
// sb_stemmer_delete), or null for a number outside 0..15 or no memory.
sb_stemmer *new_utf8_stemmer(int algo);

// ---- escape.cpp ----

// Replaces text in buffer (capacity cap bytes) in place. mode 1 maps each needle
// character to the replacement character at its position (mappings chain);
// any other mode replaces every non-overlapping occurrence of needle, left to
// right. True when done (also when needle equals replacement, is empty, or is
// absent); false, buffer unchanged, when the result would not be shorter than
// cap, the buffer holds no text shorter than cap, or an argument is null.
// needle and replacement must not lie inside buffer.
bool replace_substrings(const char *needle, const char *replacement, char *buffer, uint8_t mode,
                        int cap);
// Escapes & < > " ' in place as &#38; &#60; &#62; &#34; &#39;. When the whole
// escaped text would not fit in cap bytes, the text is first cut (never inside
// a UTF-8 character) to the longest start that fits, so nothing stays unescaped.
void escape_html(char *buffer, int cap);
// URL-encodes in place: letters, digits, '-' and '_' stay, ' ' becomes '+',
// every other byte %XX (upper-case hex). Stops before the first byte whose
// encoded form would not fit in cap bytes.
void url_encode(char *buffer, int cap);
// out = base + ("?" when base holds no '?', else "&amp;") + first + second, cut
// to out_cap - 1 characters and always terminated. Characters written. out
// must not overlap the inputs.
int make_query_url(char *out, const char *base, const char *first, const char *second, int out_cap);
// As make_query_url, but a "#fragment" of base moves to the end of out; the
// separator is chosen from the whole base, and the first '#' of base is
// overwritten with a NUL. Characters written.
int make_query_url_keep_anchor(char *out, char *base, const char *first, const char *second,
                               int out_cap);
// Copies source to destination (dest_cap bytes) writing each byte of set as
// "&#N;" (N the signed byte value); an existing "&#...;" passes unchanged. Stops
// before an item that would not fit; always terminated. False, nothing written,
// for a null argument or dest_cap < 1.
bool encode_numeric_entities(const char *source, char *destination, const char *set, int dest_cap);
// Copies source to destination (dest_cap bytes) turning each "&#N;" or "&#xH;"
// whose nonzero value has a low byte in set into that byte; other text is
// copied. At most dest_cap - 1 bytes, always terminated. False, nothing
// written, for a null argument or dest_cap < 1.
bool decode_numeric_entities(const char *source, char *destination, const char *set, int dest_cap);

// ---- unicode.cpp ----

// Lower-casing of UTF-8 text through the built-in case table: the simple
// lower-case mappings of Unicode 5.0. Text is taken in units framed by their
// first byte alone: 0x00-0xBF one byte (a stray continuation byte is a unit
// of its own), 0xC0-0xDF two, 0xE0-0xEF three, 0xF0-0xF7 four, 0xF8-0xFB
// five, 0xFC-0xFF six. A unit changes only when it is the shortest well-formed
// encoding of a character of the table; malformed, overlong and 5- or 6-byte
// units, and units cut short by the end of the text, are kept byte for byte.
// The units and the decoding are those of context/utf8.h.

// Makes the case table available; it is built into the program, so this
// allocates nothing and cannot fail: 0 (also when it already was). Until it
// has been loaded, and after unloading, every unit maps to itself.
int load_unicode_tables();
// Makes the case table unavailable again.
void unload_unicode_tables();
// Lower-case form of the unit at text, of which at most available (>= 1)
// bytes may be read (a unit cut short there is kept as it is). Returns the
// form's byte length and points *replacement at its bytes (not terminated):
// the table's bytes, or text itself for a unit not in the table;
// *unit_length receives the bytes the unit takes in text.
int lower_utf8_unit(const char *text, int available, int *unit_length, const char **replacement);
// Lower-cases text in place within a buffer of capacity bytes and returns the
// new length. Some characters grow (U+023A and U+023E take 3 bytes instead of
// 2): when the result does not fit in capacity - 1 bytes, it ends after the
// last whole character that fits. Unread input is never overwritten. A text
// not terminated within capacity is taken as its first capacity - 1 bytes.
// Null text or capacity < 1: nothing is done, result 0. Allocates nothing.
int utf8_to_lower(char *text, int capacity);
// Capacity with which utf8_to_lower never cuts a text of length bytes.
int utf8_lower_capacity(int length);

// ---- words.cpp ----

// The case settings of g_search_context decide: ToLowerSearchWords 0 compares
// bytes exactly; 1 ignores case, through the case table (utf8_to_lower) when
// UseUTF8 is 1, else for the ASCII letters only. Texts are NUL-terminated
// and not null unless said otherwise.

// ASCII case-insensitive comparison (only A-Z fold): -1, 0 or 1.
int ascii_compare_nocase(const char *a, const char *b);
// The same over at most n bytes (0 for n <= 0).
int ascii_compare_nocase_n(const char *a, const char *b, int n);
// Lower-cases the ASCII letters of text in place; other bytes stay.
void ascii_to_lower(char *text);
// Compares query word a (already in the case the search uses) with text word
// b under the case settings; only b is lower-cased. -1, 0 or 1, by unsigned
// bytes. Allocates nothing.
int compare_words(const char *a, const char *b);
// The same over the first n bytes of each word (0 for n <= 0): when case is
// ignored, each word is cut at n bytes (fewer when it ends sooner), both are
// lower-cased and n bytes of the results compare. -1, 0 or 1. Allocates nothing.
int compare_words_n(const char *a, const char *b, int n);
// Looks for part in text ignoring case (the case table when UseUTF8 is 1,
// else ASCII letters), whatever ToLowerSearchWords says. n > 0 limits text to
// its first n bytes (it then need not be terminated); n <= 0 takes all of it.
// Returns the position in text of the character where the first occurrence
// starts (an empty part: text), or null. Compares the lower-case forms as it
// reads them: it allocates nothing.
const char *find_text_nocase(const char *text, const char *part, int n);
// Whether the whole text matches pattern: "*" stands for any run of bytes
// (also none), "?" for exactly one well-formed UTF-8 character (whatever
// UseUTF8 says; a malformed or overlong sequence is no character), any other
// byte for itself, with A-Z folded to a-z when case_sensitive is false.
bool match_wildcard(const char *text, const char *pattern, bool case_sensitive);
// The same for the `length` bytes at text (which need no NUL).
bool match_wildcard(const char *text, size_t length, const char *pattern, bool case_sensitive);
