// The index writers: each lays out one file of the index directory exactly as
// its reader in this folder reads it (constants from index/layout.h). They
// append to a byte string or encode into a caller's buffer; they never cut or
// invent data: a value that the layout cannot hold is refused (false, with a
// message in *error when error is not null) and the caller decides what to
// cut. Writers allocate only the string they append to. Public routines
// grouped by the file that defines them.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "index/layout.h"

// ---- page_info_writer.cpp ----

// Meta field types as the page-info file lays out their values.
// Whether a count fits the 32 bits a layout stores it in. A function, so that
// a size_t of 32 bits (where every count fits) compares without a warning.
inline bool fits_in_32_bits(uint64_t count) {
    return count <= 0xFFFFFFFFull;
}

constexpr int kMetaTypeText = 1, kMetaTypeDropDown = 2, kMetaTypeMultiple = 3;

// One page's value of one meta field.
struct MetaValueOut {
    bool present = false;      // false: the field's no-value marker
    std::string text;          // text fields
    int option = 0;            // drop-down: option index (0 to 254)
    std::vector<int> options;  // multiple choice: option indexes (0 to 255 each, 255 at most)
    uint32_t number = 0;       // numeric and money fields (0xFFFFFFFF is the no-value marker)
};

// What the settings say about the records' layout.
struct PageInfoLayout {
    bool big = false;             // UseBigPageInfoData 1
    int category_bytes = 0;       // NumCatBytes with UseCats 1, else 0
    std::vector<int> meta_types;  // type of each meta field, definition order (empty: none)
};

// One page's record as written.
struct PageInfoOut {
    uint64_t data_offset = 0;  // offset of the page's page-data line (below 2^40)
    uint32_t file_size = 0;
    uint32_t date = 0;
    uint8_t boost = 0;
    uint8_t file_type = 0;
    std::vector<int> categories;     // category numbers; each below category_bytes * 8
    std::vector<MetaValueOut> meta;  // one per meta type; missing ones: no value
};

// Appends one record: the length (u16 small, u32 big), the fixed fields, the
// bitmap and the meta values. false, out unchanged: a data offset of 2^40 or
// more, a category outside the bitmap, a text value longer than its length
// field (255 small, 65535 big), an option outside a byte, or a small record
// longer than 65535 bytes.
bool append_page_info_record(std::string &out, const PageInfoLayout &layout,
                             const PageInfoOut &page, std::string *error);

// ---- page_data_writer.cpp ----

// Appends the line url|title|description|image|tail LF. false, out unchanged:
// a field holding '|', CR, LF or NUL (tail: CR, LF or NUL), or a field longer than the
// reader delivers (2084, 512, 2000, 2084 bytes).
bool append_page_data_line(std::string &out, const std::string &url, const std::string &title,
                           const std::string &description, const std::string &image,
                           const std::string &tail, std::string *error);
// The same without checks, for test indexes that must be damaged on purpose.
void append_page_data_line_unchecked(std::string &out, const std::string &url,
                                     const std::string &title, const std::string &description,
                                     const std::string &image, const std::string &tail);

// ---- wordmap_writer.cpp ----

// One posting as written.
struct WordmapPostingOut {
    uint8_t score;
    uint8_t zones;
    uint32_t page;         // below 2^24
    uint64_t text_offset;  // below 2^40
};
// Encodes one 10-byte record at out (kWordmapRecordSize bytes). The page and
// the offset are taken modulo their widths: check them with
// wordmap_posting_fits first.
void encode_wordmap_record(uint8_t *out, const WordmapPostingOut &posting);
// Whether the posting's page and offset fit their fields.
bool wordmap_posting_fits(const WordmapPostingOut &posting);
// Encodes a block's u32 record count at out (kWordmapCountSize bytes).
void encode_wordmap_count(uint8_t *out, uint32_t count);
// Appends a whole block (count, then the records). false, out unchanged, when
// a posting does not fit or there are 2^32 postings or more.
bool append_wordmap_block(std::string &out, const std::vector<WordmapPostingOut> &postings,
                          std::string *error);

// ---- page_text_writer.cpp ----

// Encodes one page-text record of `size` bytes (2 to 5) at out: the id's
// size - 1 low bytes, then the variant. Check the id with page_text_id_fits.
void encode_page_text_record(uint8_t *out, int size, uint32_t id, uint8_t variant);
// Whether id fits the id bytes of a record of `size` bytes.
bool page_text_id_fits(int size, uint32_t id);
// The smallest record size (3 to 5) whose id bytes hold ids below id_count;
// size 2 (one id byte) is left to hand-made indexes: its 256 ids are too few
// for the reserved tokens and a site's words.
int page_text_record_size_for(uint64_t id_count);

// ---- dictionary_writer.cpp ----

// Appends a base line "word offset count" and one line per variant, each
// ended by line_end ("\n" or "\r\n"). false, out unchanged: an empty word, a
// word or variant holding a space, CR, LF or NUL, a variant longer than
// kMaxVariantLength bytes (the reader would drop it), or more than
// kMaxVariantNumber variants (page-text records number them in one byte).
bool append_dictionary_entry(std::string &out, const std::string &word, int64_t offset,
                             const std::vector<std::string> &variants, std::string *error,
                             const char *line_end = "\n");
// The same without checks, for test indexes that must be damaged on purpose.
void append_dictionary_entry_unchecked(std::string &out, const std::string &word, int64_t offset,
                                       const std::vector<std::string> &variants,
                                       const char *line_end = "\n");

// ---- list_writer.cpp ----

// Appends a spelling line: the first kSpellingKeyChars bytes of key, then the
// ids (one to three are read; more are written as given). false, out
// unchanged: an empty key, a key holding a space, CR or LF, or no id.
bool append_spelling_line(std::string &out, const std::string &key,
                          const std::vector<long long> &ids, std::string *error);
// The same without checks (a key-only line too), for damaged test indexes.
void append_spelling_line_unchecked(std::string &out, const std::string &key,
                                    const std::vector<long long> &ids);
// Appends a recommended line "keywords page". false, out unchanged: keywords
// empty, starting with a space, holding CR or LF, or longer than 503 bytes
// (the reader keeps no more), or a negative page.
bool append_recommended_line(std::string &out, const std::string &keywords, long long page,
                             std::string *error);
void append_recommended_line_unchecked(std::string &out, const std::string &keywords,
                                       long long page);
// Appends an autocomplete line. false, out unchanged: an empty text or one
// holding CR, LF, or a character that the answer cannot carry unescaped in
// HTML and in a script string inside an attribute (& < > " ' \).
bool append_autocomplete_line(std::string &out, const std::string &text, std::string *error);
void append_autocomplete_line_unchecked(std::string &out, const std::string &text);
// Length of the longest line of text, its LF included (0 for none): the
// MaxKeyWordLineLen that a list needs is this plus one.
size_t longest_line_length(const std::string &text);
