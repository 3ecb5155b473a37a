// The indexer end to end: sitequery-index runs on source trees that the tests
// write (odd charsets, broken markup, binary junk, noindex pages, scripts and
// styles, symlink loops, unreadable entries, odd bytes in names), then the
// search program answers on the index it wrote: what must be found is found
// and what must be left out is not.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "indexer/indexer_fixture.h"

namespace {

using indexer_test::SiteTest;

// A page with a title and body.
std::string page(const std::string &title, const std::string &body, const std::string &head = "") {
    return "<!DOCTYPE html><html><head><title>" + title + "</title>" + head + "</head><body>" +
           body + "</body></html>\n";
}

// A one-page PDF file showing text (ASCII) in Helvetica.
std::string make_pdf(const std::string &text) {
    const std::string content = "BT /F1 12 Tf 10 50 Td (" + text + ") Tj ET";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 400 100] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); i++) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t offset : offsets) {
        char line[32];
        snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// Bytes that are no text: many NULs among random-looking bytes.
std::string junk() {
    std::string bytes;
    unsigned state = 12345;
    for (int i = 0; i < 4096; i++) {
        state = state * 1103515245 + 12345;
        bytes += (char)(i % 7 == 0 ? 0 : (state >> 16) & 0xFF);
    }
    return bytes;
}

const char kOddName[] = "odd\xFF name\n.html";

// A site with every kind of trouble a real one may hold.
class TroubledSite : public SiteTest {
   protected:
    void SetUp() override {
        SiteTest::SetUp();
        put("index.html",
            page("Apiary handbook",
                 "<p>Welcome to the apiary.</p><script>var zyxscript = 1;</script>"
                 "<style>body { content: 'qqstyleword'; }</style><noscript>nsword</noscript>"));
        put("latin.html", page("Caf\xE9 notes",
                               "<p>cr\xE8me br\xFBl\xE9"
                               "e recipe</p>",
                               "<meta charset=\"windows-1252\">"));
        put("broken.html",
            "<title>Broken hive<body><div><p>propolis<tr>stray</td>\x01\x02</span><h2>frames");
        put("junk.html", junk());
        put("hidden.html", page("Hidden", "<p>secretword</p>",
                                "<meta name=\"robots\" content=\"noindex,nofollow\">"));
        put("drafts/draft.html", page("Draft", "<p>draftword</p>"));
        put("notes.txt", "Varroa mites\n\nTreatment of varroa in autumn.\n");
        put("hives/langstroth.html", page("Langstroth frames", "<p>Deep boxes.</p>"));
        put(kOddName, page("Oddname page", "<p>oddity</p>"));
        put("image.png", "\x89PNG not a page");
        std::string big = "<title>Big file</title><p>beginword</p>";
        while (big.size() < (3u << 20)) big += "<p>filler text of the big page</p>\n";
        put("big.html", big + "<p>endword</p>");
        symlink(site_.c_str(), (site_ + "/loop").c_str());
        symlink("nowhere.html", (site_ + "/gone.html").c_str());
        mkfifo((site_ + "/pipe.html").c_str(), 0644);
        testsupport::write_file(root_, "site.conf",
                                "# test site\nexclude = drafts\nmax_file_size = 1\n");
    }
};

TEST_F(TroubledSite, FindsPagesAndLeavesOutWhatItMust) {
    const std::string index = index_site({"--config", root_ + "/site.conf"});
    const struct {
        const char *query;  // vesk_query, URL-encoded
        const char *page;   // the page that must be found ("" none)
    } cases[] = {
        {"apiary", "index.html"},
        {"handbook", "index.html"},
        {"welcome", "index.html"},
        {"caf%C3%A9", "latin.html"},
        {"cr%C3%A8me", "latin.html"},
        {"broken", "broken.html"},
        {"propolis", "broken.html"},
        {"frames", "broken.html"},
        {"varroa", "notes.txt"},
        {"langstroth", "hives/langstroth.html"},
        {"oddname", "odd%FF%20name%0A.html"},
        {"beginword", "big.html"},
        {"zyxscript", ""},
        {"qqstyleword", ""},
        {"nsword", ""},
        {"secretword", ""},
        {"draftword", ""},
        {"endword", ""},
    };
    for (const auto &c : cases) {
        const std::string answer = search(index, std::string("vesk_query=") + c.query);
        if (c.page[0] != '\0') {
            EXPECT_TRUE(links_to(answer, c.page)) << c.query << "\n" << answer;
        } else {
            EXPECT_EQ(answer.find(indexer_test::kBaseUrl), std::string::npos) << c.query;
        }
    }
    // Every file left out is named with its reason; the big one is read in part.
    const struct {
        const char *file;
        const char *reason;
    } left_out[] = {{"junk.html", "binary data"},
                    {"hidden.html", "marked noindex"},
                    {"loop", "symlink loop"},
                    {"gone.html", "No such file or directory"},
                    {"pipe.html", "not a regular file"},
                    {"big.html", "read up to 1 MB of 3 MB"}};
    for (const auto &c : left_out)
        EXPECT_NE(last_.err.find(site_ + "/" + c.file + ": " + c.reason), std::string::npos)
            << c.file << "\n"
            << last_.err;
    EXPECT_EQ(last_.err.find("draft"), std::string::npos) << last_.err;
    EXPECT_EQ(last_.err.find("image.png"), std::string::npos) << last_.err;
    EXPECT_NE(last_.err.find("7 pages, "), std::string::npos) << last_.err;
}

TEST_F(TroubledSite, SameFilesWhateverTheNumberOfThreads) {
    const std::string conf = root_ + "/site.conf";
    const std::string one = index_site({"--config", conf, "--jobs", "1"});
    rename(one.c_str(), (root_ + "/one").c_str());
    const std::string many = index_site({"--config", conf, "--jobs", "7"});
    const char *const files[] = {
        "settings.vdat",      "vesk_pagedata.vdat",     "vesk_pageinfo.vdat",
        "vesk_pagetext.vdat", "vesk_wordmap.vdat",      "vesk_dictionary.vdat",
        "vesk_spelling.vdat", "vesk_autocomplete.vdat", "search_template.html"};
    for (const char *file : files) {
        const std::string first = testsupport::read_file(root_ + "/one/" + file);
        EXPECT_FALSE(first.empty()) << file;
        EXPECT_TRUE(first == testsupport::read_file(many + "/" + file)) << file;
    }
}

TEST_F(SiteTest, PdfFilesThroughPdftotext) {
    if (access("/usr/bin/pdftotext", X_OK) != 0) GTEST_SKIP() << "poppler-utils not installed";
    put("guide.pdf", make_pdf("Queen rearing guide"));
    put("index.html", page("Home", "<p>home page</p>"));
    const std::string index = index_site();
    EXPECT_TRUE(links_to(search(index, "vesk_query=rearing"), "guide.pdf"));
    // Without pdftotext the PDF is left out with one notice, the rest indexed.
    std::vector<std::string> args = {"--base-url", indexer_test::kBaseUrl, "--verbose", site_,
                                     root_ + "/index2"};
    const testsupport::CgiResponse run = run_indexer(args, root_);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    EXPECT_NE(run.err.find("pdftotext is not installed"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("1 pages, "), std::string::npos) << run.err;
}

}  // namespace
