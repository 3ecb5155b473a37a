// Reading one source file's text: HTML and XHTML through libxml2's HTML
// parser (a SAX pass, no tree), plain text, and PDF through pdftotext. The
// result is a page record whose texts are valid UTF-8 with white space
// collapsed, and the facts the front end needs to keep or skip it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "indexer/page_source.h"

namespace indexer {

// How pages are read, the same for every page of a run.
struct ExtractOptions {
    // Charset of pages that name none (no byte-order mark, no meta or XML
    // declaration) and are not valid UTF-8; also of such text files.
    std::string fallback_charset = "windows-1252";
    std::vector<std::string> meta_names;  // custom meta fields to read, in their order
};

// What the extraction found besides the page record.
struct ExtractFacts {
    bool noindex = false;       // <meta name="robots"> says noindex: the page is left out
    bool has_date = false;      // a meta date was found (in page.date)
    size_t replaced_bytes = 0;  // bytes that were not of the charset and became U+FFFD
    std::string charset;        // the charset the text was read in
};

// Decodes length bytes in charset (any name iconv knows; "" or an unknown
// name: UTF-8) into valid UTF-8; bytes that are not of the charset become
// U+FFFD, counted in *replaced. A leading byte-order mark is dropped.
std::string decode_to_utf8(const char *bytes, size_t length, const std::string &charset,
                           size_t *replaced);

// The charset a document names in its first bytes: a byte-order mark, the
// XML declaration's encoding or a meta tag's charset; "" when none.
std::string declared_charset(const char *bytes, size_t length);

// Reads an HTML or XHTML document of length bytes (any bytes: broken markup
// is recovered, nothing is fetched from the network) into page: title (the
// first <title>, else the first <h1>), description (meta description, else
// the first sentences of the body), runs (title, description and keywords
// from the meta tags, then headings and body blocks in document order;
// script, style, noscript and template left out), date (a meta date, when
// one is found) and one value per options.meta_names (""
// when the page has none). path, url, size and file_type are left alone.
void extract_html(const char *bytes, size_t length, const ExtractOptions &options,
                  ExtractedPage *page, ExtractFacts *facts);

// Reads a plain-text file: paragraphs (split at blank lines) are body runs,
// the first line is the title when it is short, the first sentences the
// description.
void extract_text(const char *bytes, size_t length, const ExtractOptions &options,
                  ExtractedPage *page, ExtractFacts *facts);

}  // namespace indexer
