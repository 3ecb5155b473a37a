// Charsets of source files: finding the one a document names and decoding
// bytes of any charset iconv knows into valid UTF-8; and plain-text pages.
#include <ctype.h>
#include <errno.h>
#include <iconv.h>
#include <string.h>

#include "indexer/page_extract.h"
#include "indexer/page_text.h"

namespace indexer {

namespace {

constexpr size_t kSniffBytes = 8192;     // bytes of a document searched for its charset
constexpr size_t kMaxCharsetName = 40;   // bytes of a charset name, at most
constexpr size_t kDecodeChunk = 65536;   // bytes converted by one iconv call
constexpr size_t kTitleLineBytes = 150;  // a text file's first line is its title up to this
const char kReplacement[] = "\xEF\xBF\xBD";

std::string lower(std::string text) {
    for (char &ch : text) ch = (char)tolower((unsigned char)ch);
    return text;
}

// Position of needle in the first length bytes of text, ignoring ASCII case; npos when absent.
size_t find_nocase(const char *text, size_t length, const char *needle, size_t from) {
    const size_t size = strlen(needle);
    for (size_t i = from; i + size <= length; i++)
        if (strncasecmp(text + i, needle, size) == 0) return i;
    return std::string::npos;
}

// The charset name after "charset" or "encoding" at text[at]: '=' with blanks
// and quotes around it, then letters, digits and - _ . : ( ).
std::string name_after(const char *text, size_t length, size_t at) {
    while (at < length && (text[at] == ' ' || text[at] == '\t')) at++;
    if (at >= length || text[at] != '=') return "";
    at++;
    while (at < length && (text[at] == ' ' || text[at] == '"' || text[at] == '\'')) at++;
    std::string name;
    while (at < length && name.size() < kMaxCharsetName &&
           (isalnum((unsigned char)text[at]) || strchr("-_.:()", text[at]) != nullptr))
        name += text[at++];
    return name;
}

// The name iconv knows for a charset a page gives: ASCII and Latin-1 are read
// as windows-1252, as browsers read them.
std::string iconv_name(const std::string &charset) {
    const std::string name = lower(charset);
    if (name == "utf8" || name == "utf-8" || name.empty()) return "UTF-8";
    if (name == "us-ascii" || name == "ascii" || name == "iso-8859-1" || name == "latin1" ||
        name == "iso8859-1" || name == "iso_8859-1" || name == "l1" || name == "cp1252")
        return "WINDOWS-1252";
    return charset;
}

// Decodes with a descriptor of iconv, each byte it refuses one U+FFFD.
std::string convert(iconv_t converter, const char *bytes, size_t length, size_t *replaced) {
    std::string out;
    out.reserve(length + length / 8);
    char buffer[kDecodeChunk];
    char *in = const_cast<char *>(bytes);
    size_t left = length;
    while (left > 0) {
        char *at = buffer;
        size_t room = sizeof buffer;
        const size_t result = iconv(converter, &in, &left, &at, &room);
        out.append(buffer, (size_t)(at - buffer));
        if (result == (size_t)-1 && errno != E2BIG) {  // EILSEQ, or EINVAL at the end
            out += kReplacement;
            (*replaced)++;
            in++;
            left--;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace

std::string declared_charset(const char *bytes, size_t length) {
    const unsigned char *b = (const unsigned char *)bytes;
    if (length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return "UTF-8";
    if (length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return "UTF-16";
    const size_t scan = length < kSniffBytes ? length : kSniffBytes;
    if (scan >= 5 && strncmp(bytes, "<?xml", 5) == 0) {
        const size_t end = find_nocase(bytes, scan, "?>", 0);
        const size_t at = find_nocase(bytes, end == std::string::npos ? scan : end, "encoding", 0);
        if (at != std::string::npos) {
            const std::string name = name_after(bytes, scan, at + 8);
            if (!name.empty()) return name;
        }
    }
    for (size_t at = find_nocase(bytes, scan, "charset", 0); at != std::string::npos;
         at = find_nocase(bytes, scan, "charset", at + 7)) {
        const std::string name = name_after(bytes, scan, at + 7);
        if (!name.empty()) return name;
    }
    return "";
}

std::string decode_to_utf8(const char *bytes, size_t length, const std::string &charset,
                           size_t *replaced) {
    *replaced = 0;
    const unsigned char *b = (const unsigned char *)bytes;
    std::string name = iconv_name(charset);
    if (name == "UTF-8" && length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        bytes += 3;
        length -= 3;
    }
    if (name != "UTF-8") {
        iconv_t converter = iconv_open("UTF-8", name.c_str());
        if (converter != (iconv_t)-1) {
            std::string out = convert(converter, bytes, length, replaced);
            iconv_close(converter);
            const size_t bom = out.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
            return bom ? out.substr(bom) : out;
        }
    }
    if (is_valid_utf8(bytes, length)) return std::string(bytes, length);
    std::string out;
    out.reserve(length + 16);
    *replaced = append_valid_utf8(out, bytes, length);
    return out;
}

void extract_text(const char *bytes, size_t length, const ExtractOptions &options,
                  ExtractedPage *page, ExtractFacts *facts) {
    facts->charset = is_valid_utf8(bytes, length) ? "UTF-8" : options.fallback_charset;
    const std::string text = decode_to_utf8(bytes, length, facts->charset, &facts->replaced_bytes);
    page->meta.assign(options.meta_names.size(), "");
    std::string body;  // the whole text collapsed, for the description
    bool body_space = true;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\n\n", start);
        const size_t crlf = text.find("\r\n\r\n", start);
        if (crlf < end) end = crlf;
        if (end == std::string::npos) end = text.size();
        TextRun run;
        bool space = true;
        append_collapsed(run.text, text.data() + start, end - start, space);
        trim_end_blank(run.text);
        if (!run.text.empty()) {
            append_collapsed(body, run.text.data(), run.text.size(), body_space);
            append_collapsed(body, " ", 1, body_space);
            page->runs.push_back(std::move(run));
        }
        start = end + 2;
    }
    trim_end_blank(body);
    const size_t line_end = text.find('\n');
    std::string first_line;
    bool space = true;
    append_collapsed(first_line, text.data(),
                     line_end == std::string::npos ? text.size() : line_end, space);
    trim_end_blank(first_line);
    if (!first_line.empty() && first_line.size() <= kTitleLineBytes) {
        page->title = first_line;
        page->runs.insert(page->runs.begin(), TextRun{TextZone::kTitle, first_line});
    }
    page->description = first_sentences(body, kSummaryBytes);
}

}  // namespace indexer
