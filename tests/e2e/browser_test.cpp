// A real browser on the result page: lighttpd runs the program as a CGI
// program and headless Chromium (no network beyond 127.0.0.1, a fresh profile
// each time) loads the page and dumps the document it built. The result links
// must be there in order, and for hostile requests no element or attribute
// of the document may come from the request. A screenshot of the result page
// stays in the build folder (test-artifacts/result_page.png).
#include <gtest/gtest.h>

#include <ctype.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace {

using testsupport::PageSpec;

const char kTemplate[] =
    "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Search</title>\n"
    "<style>body { font-family: sans-serif; margin: 2em; } .result_altblock { background: "
    "#eef; }</style></head>\n<body><h1>Search the notes</h1>\n<!--VESKSEARCH-->\n</body></html>\n";
const char kProductPage[] = "https://www.orlatine.com/vesk/";
constexpr int kPages = 6;
constexpr int kBrowserSeconds = 30;  // a browser run is stopped after this (an alert() hangs it)

// The page URLs of the index, in the order a search for "bee" ranks them.
std::vector<std::string> page_urls() {
    std::vector<std::string> urls;
    for (int i = 0; i < kPages; i++)
        urls.push_back("http://notes.example/" + std::to_string(i) +
                       (i == 2 ? "/manual.pdf" : "/page.html"));
    return urls;
}

// Hostile request texts, URL-encoded: script and event-handler payloads,
// quotes, javascript: links, invalid UTF-8 and a long value.
const std::vector<std::string> &hostile_texts() {
    static std::vector<std::string> texts;
    if (!texts.empty()) return texts;
    texts = {"%22%3E%3Cscript%3Ealert(1)%3C%2Fscript%3E", "%3Cimg+src%3Dx+onerror%3Dalert(1)%3E",
             "%27+onmouseover%3D%27alert(1)%27+x%3D%27", "javascript%3Aalert(1)",
             "--%3E%3Csvg%2Fonload%3Dalert(1)%3E%3C!--",
             "%3C%2Ftitle%3E%3Ciframe+src%3Djavascript%3Aalert(1)%3E",
             // lighttpd refuses the bytes C0, C1 and F5 to FF in a request; these
             // sequences it passes: cut short, bad continuation, stray
             // continuation, surrogate, beyond U+10FFFF.
             "%E2%82%3Cscript%3Ealert(1)%3C%2Fscript%3E%C3%28%80%ED%A0%80%F4%90%80%80"};
    std::string long_text;
    while (long_text.size() < 2000) long_text += "%22%3E%3Cb+onclick%3Dx%3E";
    texts.push_back(long_text);
    return texts;
}

std::string url_decoded(const std::string &text) {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '+')
            out += ' ';
        else if (text[i] == '%' && i + 2 < text.size())
            out += (char)strtol(text.substr(++i, 2).c_str(), nullptr, 16), i++;
        else
            out += text[i];
    }
    return out;
}

testsupport::IndexSpec browser_index() {
    testsupport::IndexSpec spec;
    spec.template_text = kTemplate;
    testsupport::SettingsSpec &s = spec.settings;
    s.set_text("Charset", "UTF-8").set("UseUTF8", 1).set("FormFormat", 2).set("VeskInfo", 1);
    for (const char *key :
         {"DisplayNumber", "DisplayTitle", "DisplayTerms", "DisplayScore", "DisplayDate",
          "DisplayFilesize", "DisplayURL", "DisplayMetaDesc", "DisplayMetaFields", "UseVeskImage",
          "UseDateTime", "GotoHighlight", "PdfHighlight", "DisplayCatSummary"})
        s.set(key, 1);
    spec.categories = {"Hive care", "Honey"};
    spec.meta_fields = {testsupport::MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
                        testsupport::MetaFieldSpec{3, "tags", "Tags", "Tags", 0, {"a", "b"}, -1}};
    // Every hostile text is part of the pages' author, so that a request
    // naming any of them still finds the pages and puts it into the links.
    spec.big_layout = true;
    s.set("DisplayMetaFields", 0);
    std::string author;
    for (const std::string &text : hostile_texts()) author += url_decoded(text);
    std::vector<std::string> urls = page_urls();
    for (int i = 0; i < kPages; i++) {
        PageSpec page;
        page.url = urls[i];
        page.title = "Note " + std::to_string(i);
        page.description = "About bees, part " + std::to_string(i) + ".";
        page.image = i == 0 ? "http://notes.example/bee.png" : "";
        page.date = 1609502400u + (uint32_t)i * 86400u;
        page.size = 2048;
        page.categories = {i % 2};
        page.meta = {testsupport::MetaValueSpec::of_text(author),
                     testsupport::MetaValueSpec::of_options({i % 2})};
        std::string text;
        for (int k = 0; k < kPages * 2 - i; k++) text += " bee";
        page.words = testsupport::split_words(text);
        spec.pages.push_back(page);
    }
    return spec;
}

// One start tag of the document.
struct Element {
    std::string tag;
    std::map<std::string, std::string> attributes;  // values with references resolved
};

std::string attribute_value(const std::string &raw) {
    static const std::map<std::string, std::string> references = {
        {"amp", "&"}, {"quot", "\""}, {"lt", "<"}, {"gt", ">"}, {"nbsp", "\xC2\xA0"}};
    std::string out;
    for (size_t i = 0; i < raw.size(); i++) {
        size_t end = raw[i] == '&' ? raw.find(';', i) : std::string::npos;
        auto known = end != std::string::npos ? references.find(raw.substr(i + 1, end - i - 1))
                                              : references.end();
        if (known == references.end()) {
            out += raw[i];
        } else {
            out += known->second;
            i = end;
        }
    }
    return out;
}

// The start tags of a document as Chromium serializes it: attribute values
// in double quotes, '<' in text as "&lt;", script and style text raw.
std::vector<Element> elements_of(const std::string &html) {
    std::vector<Element> elements;
    size_t i = 0;
    while ((i = html.find('<', i)) != std::string::npos) {
        if (html.compare(i, 4, "<!--") == 0) {
            i = html.find("-->", i);
            continue;
        }
        if (i + 1 >= html.size() || !isalpha((unsigned char)html[i + 1])) {
            i++;
            continue;
        }
        Element element;
        size_t p = i + 1;
        while (p < html.size() && (isalnum((unsigned char)html[p]) || html[p] == '-'))
            element.tag += (char)tolower((unsigned char)html[p++]);
        while (p < html.size() && html[p] != '>') {
            if (isspace((unsigned char)html[p]) || html[p] == '/') {
                p++;
                continue;
            }
            std::string name;
            while (p < html.size() && !isspace((unsigned char)html[p]) && html[p] != '=' &&
                   html[p] != '>')
                name += (char)tolower((unsigned char)html[p++]);
            std::string value;
            if (p + 1 < html.size() && html[p] == '=' && html[p + 1] == '"') {
                size_t close = html.find('"', p + 2);
                value = attribute_value(html.substr(p + 2, close - p - 2));
                p = close + 1;
            }
            element.attributes[name] = value;
        }
        elements.push_back(element);
        i = p;
        for (const char *raw_text : {"script", "style"})
            if (element.tag == raw_text) i = html.find(std::string("</") + raw_text, i);
    }
    return elements;
}

// Why a document holds markup that no part of the program writes; "" when it
// holds none. Every link must lead back to the search, to a page of the
// index or to the product page.
std::string foreign_markup(const std::vector<Element> &elements) {
    static const std::set<std::string> tags = {
        "html",  "head",  "meta",   "title",  "style", "body",  "h1", "form",
        "input", "label", "select", "option", "span",  "ul",    "li", "div",
        "a",     "b",     "br",     "center", "p",     "small", "img"};
    static const std::set<std::string> attributes = {
        "charset", "method", "action", "class",   "type",     "name",     "value", "size", "id",
        "for",     "href",   "target", "checked", "selected", "multiple", "src",   "alt"};
    std::vector<std::string> allowed_links = page_urls();
    allowed_links.push_back("sitequery?");
    allowed_links.push_back(kProductPage);
    for (const Element &element : elements) {
        if (tags.count(element.tag) == 0) return "element " + element.tag;
        if (element.tag == "meta" && element.attributes.count("charset") == 0) return "meta";
        for (const auto &attribute : element.attributes)
            if (attributes.count(attribute.first) == 0)
                return "attribute " + attribute.first + " of " + element.tag;
        auto href = element.attributes.find("href");
        if (href != element.attributes.end()) {
            bool allowed = false;
            for (const std::string &prefix : allowed_links)
                allowed = allowed || href->second.compare(0, prefix.size(), prefix) == 0;
            if (!allowed) return "link " + href->second;
        }
        auto src = element.attributes.find("src");
        if (src != element.attributes.end() && src->second != "http://notes.example/bee.png")
            return "source " + src->second;
        auto action = element.attributes.find("action");
        if (action != element.attributes.end() && action->second != "sitequery")
            return "form action " + action->second;
    }
    return "";
}

// Writes, once the page with its frames has loaded, the document of each
// frame into <pre id="frameN">, as text.
const char kFrameDumpScript[] =
    "<script>window.addEventListener('load', function () {\n"
    "  var frames = document.getElementsByTagName('iframe');\n"
    "  for (var i = 0; i < frames.length; i++) {\n"
    "    var pre = document.createElement('pre');\n"
    "    pre.id = 'frame' + i;\n"
    "    pre.textContent = frames[i].contentDocument.documentElement.outerHTML;\n"
    "    document.body.appendChild(pre);\n"
    "  }\n"
    "});</script>\n";

std::string html_escaped(const std::string &text) {
    std::string out;
    for (char c : text) out += c == '&' ? std::string("&amp;") : std::string(1, c);
    return out;
}

class BrowserE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("browser");
        chmod(root_.c_str(), 0755);
        for (const char *dir : {"www", "www/cgi-bin", "index", "logs", "profile"})
            mkdir((root_ + "/" + dir).c_str(), 0755);
        testsupport::write_index(root_ + "/index", browser_index());
        std::string run = "exec ";
#ifdef SITEQUERY_EMULATOR
        run += std::string("'") + SITEQUERY_EMULATOR + "' ";
#endif
        std::string script = "#!/bin/sh\n" + run + "'" + testsupport::program_path() + "' /I '" +
                             root_ + "/index' \"$@\"\n";
        testsupport::write_file(root_ + "/www/cgi-bin", "sitequery", script);
        chmod((root_ + "/www/cgi-bin/sitequery").c_str(), 0755);
        ASSERT_FALSE(testsupport::find_program("chromium").empty())
            << "chromium is not installed (see tools/install-deps.sh)";
        ASSERT_TRUE(testsupport::start_server(testsupport::Server::kLighttpd, server_, {root_}));
    }
    void TearDown() override {
        server_.stop();
        testsupport::remove_tree(root_);
    }

    std::string url(const std::string &query_string) const {
        return "http://127.0.0.1:" + std::to_string(server_.port()) + "/cgi-bin/sitequery?" +
               query_string;
    }
    // Runs the browser on url with a fresh profile and the given mode flags;
    // returns what it printed. Every host but 127.0.0.1 is unknown to it.
    std::string browse(const std::string &target, const std::vector<std::string> &mode) {
        std::string profile = root_ + "/profile/" + std::to_string(runs_++);
        std::vector<std::string> argv = {testsupport::find_program("timeout"),
                                         std::to_string(kBrowserSeconds),
                                         testsupport::find_program("chromium"),
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-quic",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                                         "--user-data-dir=" + profile};
        argv.insert(argv.end(), mode.begin(), mode.end());
        argv.push_back(target);
        std::vector<std::string> shell = {
            "/bin/sh", "-c", "exec \"$@\" 2>>'" + root_ + "/logs/browser.log'", "browser"};
        shell.insert(shell.end(), argv.begin(), argv.end());
        return testsupport::capture_output(shell);
    }
    std::string dom(const std::string &query_string) {
        return browse(url(query_string), {"--dump-dom"});
    }

    std::string root_;
    testsupport::TestServer server_;
    int runs_ = 0;
};

TEST_F(BrowserE2E, ResultLinksInOrder) {
    std::string document = dom("vesk_query=bee");
    std::vector<std::string> links;
    const std::vector<Element> elements = elements_of(document);
    for (size_t i = 0; i + 1 < elements.size(); i++)
        if (elements[i].tag == "div" && elements[i].attributes.count("class") != 0 &&
            elements[i].attributes.at("class") == "result_title") {
            size_t a = i + 1;
            while (a < elements.size() && elements[a].tag != "a") a++;
            if (a < elements.size()) links.push_back(elements[a].attributes.at("href"));
        }
    std::vector<std::string> expected;
    for (const std::string &page : page_urls())
        expected.push_back(page.find(".pdf") != std::string::npos ? page + "#search=%22bee%22"
                                                                  : page + "?vesk_highlight=bee");
    EXPECT_EQ(links, expected) << document;
    EXPECT_EQ(foreign_markup(elements), "");
}

TEST_F(BrowserE2E, ScreenshotOfTheResultPage) {
    std::string dir = testsupport::program_path();
    dir = dir.substr(0, dir.rfind('/')) + "/test-artifacts";
    mkdir(dir.c_str(), 0755);
    std::string file = dir + "/result_page.png";
    remove(file.c_str());
    browse(url("vesk_query=bee"), {"--screenshot=" + file, "--window-size=1000,1400"});
    std::string png = testsupport::read_file(file);
    ASSERT_GT(png.size(), 10000u) << file;
    EXPECT_EQ(png.compare(0, 4, "\x89PNG"), 0);
    RecordProperty("screenshot", file);
}

// Hostile request texts: script and event-handler payloads, quotes, javascript:
// links, long values and invalid UTF-8, in the query and in a meta value.
// Each hostile text in the query and in the meta values, every result page
// in a frame of one page of the same server, which after loading writes the
// document each frame built into a <pre>: one browser run for all of them.
TEST_F(BrowserE2E, HostileRequestsAddNoMarkup) {
    const std::vector<std::string> &texts = hostile_texts();
    std::string frames;
    for (const std::string &text : texts) {
        std::string target =
            "/cgi-bin/sitequery?vesk_query=bee+" + text + "&author=" + text + "&tags%5B%5D=" + text;
        frames += "<iframe src=\"" + html_escaped(target) + "\"></iframe>\n";
    }
    // The test server has no types for static files: a CGI script serves the page.
    testsupport::write_file(root_, "frames.html",
                            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"></head><body>\n" +
                                frames + kFrameDumpScript + "</body></html>\n");
    testsupport::write_file(root_ + "/www/cgi-bin", "frames",
                            "#!/bin/sh\nprintf 'Content-type: text/html\\n\\n'\nexec cat '" +
                                root_ + "/frames.html'\n");
    chmod((root_ + "/frames.html").c_str(), 0644);
    chmod((root_ + "/www/cgi-bin/frames").c_str(), 0755);
    std::string document = browse(
        "http://127.0.0.1:" + std::to_string(server_.port()) + "/cgi-bin/frames", {"--dump-dom"});
    for (size_t i = 0; i < texts.size(); i++) {
        SCOPED_TRACE(texts[i]);
        std::string open = "<pre id=\"frame" + std::to_string(i) + "\">";
        size_t start = document.find(open);
        ASSERT_NE(start, std::string::npos) << document;
        start += open.size();
        std::string frame =
            attribute_value(document.substr(start, document.find("</pre>", start) - start));
        EXPECT_NE(frame.find("class=\"result_title\""), std::string::npos) << frame;
        EXPECT_EQ(foreign_markup(elements_of(frame)), "") << frame;
    }
}

}  // namespace
