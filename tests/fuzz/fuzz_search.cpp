// libFuzzer target of the whole request path, in-process: settings, CGI
// parameters, page head, index files, dictionary, search and result page, or
// the autocomplete answer. Two fixture indexes are written once at start-up
// (see tests/support/search_fuzz_input.h for them and for the input layout):
// the input picks the fixture, GET or POST, a variation of the settings and
// the query string or body. Standard output is captured per input.
//
// Checked after every input: the answer has its header; an XML answer is a
// well-formed document; an HTML search page ends with the template's last
// line (the page is never cut short) and holds no element or attribute that
// the program does not write itself (no markup of the request got through);
// a log line, when one is written, is one whole line ending in CR LF.
// Everything the request allocated is released (LeakSanitizer sees every
// input on its own).
//
// A request whose category list names a category past the bitmaps of the
// index is not searched: the program reports it and ends the process on
// purpose, which libFuzzer would count as a failure.
//
// Build: see tools/fuzz.sh (this target also needs the index writer of
// tests/support and libxml2).
#include <fcntl.h>
#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "search/search.h"
#include "support/index_writer.h"
#include "support/search_fuzz_input.h"

namespace {

constexpr int kBitsPerCategoryByte = 8;
constexpr size_t kReadChunkSize = 65536;  // bytes of the capture file read at a time
const char kHtmlHeader[] = "Content-type: text/html";
const char kHeaderEnd[] = "\n\n";

std::string g_root;                                                      // temporary directory
std::string g_index_dirs[testsupport::kSearchFixtureCount];              // one per fixture
testsupport::SettingsSpec g_settings[testsupport::kSearchFixtureCount];  // as written
std::string g_body_path;    // the POST body, standard input of the request
std::string g_output_path;  // standard output of the request
int g_output_fd = -1;

// Stops the run with fault and the answer when fault is not "".
void check(const std::string &fault, const std::string &answer) {
    if (fault.empty()) return;
    fprintf(stderr, "fuzz_search: %s\n---- answer ----\n", fault.c_str());
    fwrite(answer.data(), 1, answer.size(), stderr);
    fprintf(stderr, "\n---- end ----\n");
    abort();
}

void remove_root() {
    testsupport::remove_tree(g_root);
}

void set_up_fixtures() {
    g_root = testsupport::make_temp_dir("fuzz_search");
    atexit(remove_root);
    for (int f = 0; f < testsupport::kSearchFixtureCount; f++) {
        g_index_dirs[f] = g_root + "/index" + std::to_string(f);
        if (mkdir(g_index_dirs[f].c_str(), 0700) != 0) abort();
        testsupport::IndexFiles files = testsupport::build_index(testsupport::search_fixture(f));
        files.files.erase("settings.vdat");  // written per input, with its variations
        testsupport::write_index_files(g_index_dirs[f], files);
        g_settings[f] = files.settings;
    }
    g_body_path = g_root + "/body";
    g_output_path = g_root + "/stdout";
    g_output_fd = open(g_output_path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (g_output_fd < 0) abort();
}

// The CGI environment of the request; a POST body becomes standard input.
void set_environment(const testsupport::SearchFuzzRequest &request) {
    setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
    setenv("REMOTE_ADDR", "2001:db8::7", 1);
    setenv("SCRIPT_NAME", "/cgi-bin/sitequery", 1);
    unsetenv("CONTENT_TYPE");
    unsetenv("CONTENT_LENGTH");
    if (!request.post) {
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("QUERY_STRING", request.form.c_str(), 1);
        return;
    }
    setenv("REQUEST_METHOD", "POST", 1);
    unsetenv("QUERY_STRING");
    setenv("CONTENT_TYPE", "application/x-www-form-urlencoded", 1);
    setenv("CONTENT_LENGTH", std::to_string(request.form.size()).c_str(), 1);
    testsupport::write_file(g_root, "body", request.form);
    if (freopen(g_body_path.c_str(), "rb", stdin) == nullptr) abort();
}

// Whether every requested category lies within the index's category bitmaps.
bool categories_in_bitmaps() {
    const int64_t limit = (int64_t)g_search_context.NumCatBytes * kBitsPerCategoryByte;
    for (int32_t i = 0; i < g_request.selected_cat_count; i++)
        if (g_request.selected_cats[i] >= limit) return false;
    return true;
}

// What serve_request answered.
enum Answer { kNotServed, kAutocompleteAnswer, kPageAnswer };

// The program's request path, as main runs it, for the index in index_dir.
Answer serve_request(const std::string &index_dir) {
    std::string program = index_dir + "/sitequery";
    char *argv[] = {&program[0], nullptr};
    init_search_context();
    memset(&g_request, 0, sizeof g_request);
    read_command_line(&g_request, 1, argv);
    if (load_settings(&g_request) != 0) return kPageAnswer;  // the fixtures' settings load
    if (!read_cgi_parameters() || !categories_in_bitmaps()) return kNotServed;
    reset_request_state();
    if (g_request.autocomplete != 0) {
        if (begin_page(&g_search_context, &g_request)) print_autocomplete(&g_search_context);
        return kAutocompleteAnswer;
    }
    if (begin_page(&g_search_context, &g_request) && open_index_files() != 0 &&
        load_dictionary() != 0)
        run_search(&g_search_context);
    return kPageAnswer;
}

// Everything a request may still hold after its page, as the process end would free it.
void release_request() {
    close_index_files();
    free_spelling_list();
    release_all();
    free_request();
}

// Everything the request printed to standard output.
std::string captured_output() {
    fflush(stdout);
    std::string text;
    char buffer[kReadChunkSize];
    ssize_t n;
    for (off_t at = 0; (n = pread(g_output_fd, buffer, sizeof buffer, at)) > 0; at += n)
        text.append(buffer, (size_t)n);
    return text;
}

// libxml2's verdict on document: "" when it is well-formed.
std::string xml_errors(const std::string &document) {
    xmlDocPtr doc = xmlReadMemory(document.data(), (int)document.size(), "answer.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr) return "not well-formed";
    xmlFreeDoc(doc);
    return "";
}

// The elements and attributes the program and the fixture templates write;
// anything else in an HTML answer came from the request unescaped.
const char *const kHtmlElements[] = {"html",  "head",  "title",  "body",   "script", "style",
                                     "link",  "div",   "span",   "a",      "b",      "br",
                                     "label", "input", "option", "select", "ul",     "li",
                                     "img",   "p",     "form",   "center", "small",  "h3"};
const char *const kHtmlAttributes[] = {"class",   "value",  "type",     "id",       "for",
                                       "href",    "name",   "size",     "selected", "checked",
                                       "target",  "src",    "language", "alt",      "rel",
                                       "onclick", "method", "action",   "multiple"};

template <size_t N>
bool listed(const char *const (&names)[N], const xmlChar *name) {
    for (const char *known : names)
        if (xmlStrcasecmp(name, (const xmlChar *)known) == 0) return true;
    return false;
}

// The first element or attribute below node that the program does not write.
std::string unknown_markup(xmlNodePtr node) {
    for (; node != nullptr; node = node->next) {
        if (node->type != XML_ELEMENT_NODE) continue;
        if (!listed(kHtmlElements, node->name))
            return std::string("element ") + (const char *)node->name;
        for (xmlAttrPtr attr = node->properties; attr != nullptr; attr = attr->next)
            if (!listed(kHtmlAttributes, attr->name))
                return std::string("attribute ") + (const char *)attr->name;
        const std::string below = unknown_markup(node->children);
        if (!below.empty()) return below;
    }
    return "";
}

// What the request injected into an HTML answer ("" when nothing): the
// body is parsed as single bytes, so that any text parses and only the
// markup counts.
std::string html_injection(const std::string &answer) {
    const size_t body = answer.find(kHeaderEnd);
    if (body == std::string::npos || answer.rfind(kHtmlHeader, 0) != 0) return "";
    const std::string page = answer.substr(body + sizeof kHeaderEnd - 1);
    htmlDocPtr doc = htmlReadMemory(page.data(), (int)page.size(), nullptr, "ISO-8859-1",
                                    HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
    if (doc == nullptr) return "";
    const std::string unknown = unknown_markup(xmlDocGetRootElement(doc));
    xmlFreeDoc(doc);
    return unknown.empty() ? "" : "markup from the request in the HTML answer: " + unknown;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    set_up_fixtures();
    xmlInitParser();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    testsupport::SearchFuzzRequest request;
    if (!testsupport::decode_search_input(data, size, g_settings, &request)) return 0;
    const std::string &dir = g_index_dirs[request.fixture];
    testsupport::write_settings(dir, request.settings);
    unlink((dir + "/" + testsupport::kSearchFuzzLogName).c_str());
    set_environment(request);

    // Standard output goes to the capture file for the request.
    fflush(stdout);
    const int saved_stdout = dup(STDOUT_FILENO);
    if (saved_stdout < 0 || ftruncate(g_output_fd, 0) != 0) abort();
    if (lseek(g_output_fd, 0, SEEK_SET) != 0) abort();
    if (dup2(g_output_fd, STDOUT_FILENO) < 0) abort();
    const Answer kind = serve_request(dir);
    release_request();
    const std::string answer = captured_output();
    if (dup2(saved_stdout, STDOUT_FILENO) < 0) abort();
    close(saved_stdout);

    if (kind != kNotServed)
        check(testsupport::search_answer_fault(answer, kind == kPageAnswer, xml_errors), answer);
    check(html_injection(answer), answer);
    const std::string log = testsupport::read_file(dir + "/" + testsupport::kSearchFuzzLogName);
    check(testsupport::search_log_fault(log), answer + "\n---- log ----\n" + log);
    return 0;
}
