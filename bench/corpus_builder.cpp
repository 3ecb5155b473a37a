// corpus_builder: turns a list of HTML pages into an index directory through
// the index writer of the tests, for the search benchmark. Text is taken out
// with libxml2's HTML parser: the title, the meta description (else the start
// of the body text), and the body words with their spellings as they occur
// and the punctuation as reserved tokens. The page date is the file's
// modification time, the category its top folder below <root>, and the one
// drop-down meta field "manual" names the same folder. Index pages of a
// manual become recommended links; the spelling list is written too. With
// stemming on (as the settings have it), a word's dictionary entry is its
// stem by the program's own stemmer, and every other spelling a variant of
// it, so that searches and phrases find the words as a stemming indexer
// would have stored them.
//
// Usage: corpus_builder <file list> <root> <index dir>
//   file list  one HTML path a line (bench/build_corpus.sh makes it)
//   root       common folder of the pages; URLs and categories are taken below it
#include <libxml/HTMLparser.h>
#include <ctype.h>
#include <libxml/tree.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_set>
#include <vector>

#include "support/example_index.h"
#include "support/index_files.h"

using testsupport::IndexSpec;
using testsupport::MetaFieldSpec;
using testsupport::MetaValueSpec;
using testsupport::PageSpec;
using testsupport::RecommendedSpec;

namespace {

constexpr size_t kTitleLimit = 500;               // bytes of a title kept (the reader keeps 512)
constexpr size_t kDescriptionLimit = 300;         // bytes of a description kept
constexpr size_t kRecommendedKeywordLimit = 200;  // bytes of a recommended keyword text
constexpr size_t kMaxRecommended = 40;            // recommended links at most
constexpr int kMaxRecommendedDepth = 4;           // folders below the root of a recommended page
constexpr int kDropDownNoValue = 0xFF;            // options of the meta field stay below it
constexpr int kIdBytesLimit[] = {0, 0, 0, 16, 24, 32};  // DictIDLen -> bits of a word id
constexpr int kMinDictIdLen = 3, kMaxDictIdLen = 5;
constexpr uint32_t kReservedIds = 32;  // room for the boundary and reserved token ids
const char kUrlPrefix[] = "http://localhost/doc/";

// Elements whose text is not page text.
const char *const kSkippedElements[] = {"script", "style", "noscript", "template"};
// Elements that separate words (a space goes in before and after their text).
const char *const kBlockElements[] = {
    "p",  "div", "li",      "td",      "th",         "tr",     "table",  "h1",      "h2",   "h3",
    "h4", "h5",  "h6",      "br",      "pre",        "dt",     "dd",     "dl",      "ul",   "ol",
    "hr", "nav", "section", "article", "blockquote", "header", "footer", "caption", "aside"};

struct PageText {
    std::string title, description, body;
};

bool name_is(const xmlNode *node, const char *name) {
    return xmlStrcasecmp(node->name, (const xmlChar *)name) == 0;
}

bool in_list(const xmlNode *node, const char *const *names, size_t count) {
    for (size_t i = 0; i < count; i++)
        if (name_is(node, names[i])) return true;
    return false;
}

std::string attribute(xmlNode *node, const char *name) {
    xmlChar *value = xmlGetProp(node, (const xmlChar *)name);
    if (value == nullptr) return "";
    std::string text = (const char *)value;
    xmlFree(value);
    return text;
}

std::string node_text(xmlNode *node) {
    xmlChar *content = xmlNodeGetContent(node);
    if (content == nullptr) return "";
    std::string text = (const char *)content;
    xmlFree(content);
    return text;
}

// Byte length of the UTF-8 sequence that starts with lead (1 for a stray byte).
int sequence_length(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) return 4;
    if (lead >= 0xE0) return lead < 0xF0 ? 3 : 1;
    if (lead >= 0xC0) return 2;
    return 1;
}

// Code points that are punctuation or spacing, not letters: Latin-1 signs,
// general punctuation, arrows, mathematical operators, box drawing, dingbats.
bool is_symbol(uint32_t cp) {
    return (cp >= 0x80 && cp <= 0xBF) || cp == 0xD7 || cp == 0xF7 ||
           (cp >= 0x2000 && cp <= 0x2BFF) || (cp >= 0x3000 && cp <= 0x303F) || cp == 0xFEFF;
}

// Turns control characters, "|" (the page-data separator) and symbol code
// points into spaces and collapses runs of white space; the result is trimmed.
std::string clean_text(const std::string &text) {
    std::string out;
    bool space = true;
    for (size_t i = 0; i < text.size();) {
        const unsigned char lead = (unsigned char)text[i];
        const int length = std::min<int>(sequence_length(lead), (int)(text.size() - i));
        uint32_t cp = length == 1 ? lead : lead & (0x7F >> length);
        for (int k = 1; k < length; k++) cp = cp << 6 | ((unsigned char)text[i + k] & 0x3F);
        const bool blank = cp <= ' ' || cp == '|' || cp == 0x7F || is_symbol(cp);
        if (blank) {
            if (!space) out += ' ';
            space = true;
        } else {
            out.append(text, i, (size_t)length);
            space = false;
        }
        i += (size_t)length;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

// Cuts text to at most limit bytes at a character boundary.
std::string cut_text(const std::string &text, size_t limit) {
    if (text.size() <= limit) return text;
    size_t end = limit;
    while (end > 0 && ((unsigned char)text[end] & 0xC0) == 0x80) end--;
    return text.substr(0, end);
}

void collect(xmlNode *node, PageText &page);

// The head gives the title and the description; its text is no page text.
void collect_head(xmlNode *head, PageText &page) {
    std::string body;
    body.swap(page.body);
    collect(head, page);
    page.body.swap(body);
}

void collect(xmlNode *node, PageText &page) {
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE) {
            if (node->content != nullptr) page.body += (const char *)node->content;
            continue;
        }
        if (node->type != XML_ELEMENT_NODE) continue;
        if (name_is(node, "title") && page.title.empty()) page.title = node_text(node);
        if (name_is(node, "meta") && page.description.empty() &&
            xmlStrcasecmp((const xmlChar *)attribute(node, "name").c_str(),
                          (const xmlChar *)"description") == 0)
            page.description = attribute(node, "content");
        if (name_is(node, "head")) {
            collect_head(node->children, page);
            continue;
        }
        if (in_list(node, kSkippedElements, sizeof kSkippedElements / sizeof *kSkippedElements))
            continue;
        const bool block =
            in_list(node, kBlockElements, sizeof kBlockElements / sizeof *kBlockElements);
        if (block) page.body += ' ';
        collect(node->children, page);
        if (block) page.body += ' ';
    }
}

bool read_page(const std::string &path, PageText &page) {
    const int options = HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                        HTML_PARSE_NONET | HTML_PARSE_COMPACT;
    htmlDocPtr doc = htmlReadFile(path.c_str(), nullptr, options);
    if (doc == nullptr) return false;
    collect(xmlDocGetRootElement(doc), page);
    xmlFreeDoc(doc);
    page.title = cut_text(clean_text(page.title), kTitleLimit);
    page.body = clean_text(page.body);
    page.description = clean_text(page.description);
    if (page.description.empty()) page.description = page.body;
    page.description = cut_text(page.description, kDescriptionLimit);
    return true;
}

std::string lower_ascii(std::string text) {
    for (char &ch : text)
        if (ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
    return text;
}

// Keyword text of a recommended link: the title's words, lower case, comma-separated.
std::string keywords_of(const std::string &title) {
    std::string keywords;
    for (const std::string &word : testsupport::split_words(title)) {
        if (!isalnum((unsigned char)word[0])) continue;  // punctuation tokens
        const std::string next = (keywords.empty() ? "" : ",") + lower_ascii(word);
        if (keywords.size() + next.size() > kRecommendedKeywordLimit) break;
        keywords += next;
    }
    return keywords;
}

struct Corpus {
    IndexSpec spec;
    std::map<std::string, int> category_of;  // top folder -> category number
    std::unordered_set<std::string> words;   // distinct base words, for DictIDLen
    size_t skipped = 0;
};

int category_number(Corpus &corpus, const std::string &folder) {
    auto found = corpus.category_of.find(folder);
    if (found != corpus.category_of.end()) return found->second;
    const int number = (int)corpus.spec.categories.size();
    corpus.category_of[folder] = number;
    corpus.spec.categories.push_back(folder);
    return number;
}

void add_page(Corpus &corpus, const std::string &path, const std::string &relative) {
    PageText text;
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !read_page(path, text)) {
        corpus.skipped++;
        return;
    }
    PageSpec page;
    page.url = kUrlPrefix + relative;
    page.title = text.title;
    page.description = text.description;
    page.date = (uint32_t)status.st_mtime;
    page.size = (uint32_t)status.st_size;
    const std::string folder = relative.substr(0, relative.find('/'));
    const int category = category_number(corpus, folder);
    page.categories = {category};
    page.meta = {MetaValueSpec::of_option(category)};
    page.words = testsupport::split_words(text.body);
    for (const std::string &word : testsupport::split_words(page.title))
        corpus.words.insert(lower_ascii(word));
    for (const std::string &word : page.words) corpus.words.insert(lower_ascii(word));

    const int depth = (int)std::count(relative.begin(), relative.end(), '/');
    const size_t slash = relative.rfind('/');
    const std::string name = relative.substr(slash == std::string::npos ? 0 : slash + 1);
    const std::string keywords = keywords_of(page.title);
    if (name == "index.html" && depth <= kMaxRecommendedDepth && !keywords.empty() &&
        corpus.spec.recommended.size() < kMaxRecommended)
        corpus.spec.recommended.push_back(
            RecommendedSpec{keywords, (long long)corpus.spec.pages.size()});
    corpus.spec.pages.push_back(std::move(page));
}

// The smallest page-text record width whose id bytes hold every word id.
int dict_id_len_for(size_t words) {
    for (int len = kMinDictIdLen; len < kMaxDictIdLen; len++)
        if ((uint64_t)words + kReservedIds < (1ull << kIdBytesLimit[len])) return len;
    return kMaxDictIdLen;
}

// Settings, template and common words of the example index, pages of the corpus.
void start_spec(Corpus &corpus) {
    corpus.spec = testsupport::example_index();
    corpus.spec.pages.clear();
    corpus.spec.categories.clear();
    corpus.spec.recommended.clear();
    corpus.spec.spelling = true;
    // The corpus has no autocomplete script files to include.
    corpus.spec.autocomplete.clear();
    corpus.spec.settings.set("UseAutoComplete", 0);
}

void finish_spec(Corpus &corpus) {
    IndexSpec &spec = corpus.spec;
    if (spec.categories.size() >= (size_t)kDropDownNoValue)
        throw std::runtime_error("too many top folders for the meta field");
    spec.meta_fields = {MetaFieldSpec{2, "manual", "Manual", "Manual", 0, spec.categories, -1}};
    spec.dict_id_len = dict_id_len_for(corpus.words.size());
    // With stemming on in the settings, words are stored under their stems.
    spec.base_word = testsupport::stemmed_base_word(spec.settings);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: %s <file list> <root> <index dir>\n", argv[0]);
        return 2;
    }
    std::string root = argv[2];
    if (!root.empty() && root.back() != '/') root += '/';
    std::ifstream list(argv[1]);
    if (!list) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    xmlInitParser();
    Corpus corpus;
    start_spec(corpus);
    std::string path;
    while (std::getline(list, path)) {
        if (path.empty()) continue;
        if (path.compare(0, root.size(), root) != 0) {
            fprintf(stderr, "not below %s: %s\n", root.c_str(), path.c_str());
            return 1;
        }
        add_page(corpus, path, path.substr(root.size()));
    }
    xmlCleanupParser();
    try {
        finish_spec(corpus);
        testsupport::write_index(argv[3], corpus.spec);
    } catch (const std::exception &error) {
        fprintf(stderr, "corpus_builder: %s\n", error.what());
        return 1;
    }
    printf("%zu pages (%zu unreadable), %zu words, %zu categories, DictIDLen %d -> %s\n",
           corpus.spec.pages.size(), corpus.skipped, corpus.words.size(),
           corpus.spec.categories.size(), corpus.spec.dict_id_len, argv[3]);
    return 0;
}
