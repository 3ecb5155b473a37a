// Page assembly in process: markers and "</head>" are found wherever the
// 1023-character pieces of a long template line cut them, and text that only
// looks like their beginning is printed as it is.
#include <gtest/gtest.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "support/capture.h"
#include "support/index_writer.h"

namespace {

constexpr size_t kPiece = 1023;  // characters of one template read

class TemplateTest : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("template");
        release_all();
        init_search_context();
        ASSERT_EQ(allocate_output_buffers(), 0);
        snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir_.c_str());
        section_printf(SECTION_SUMMARY, "[summary]");
        section_printf(SECTION_RESULTSPERPAGE, "[per page]");
        buffer_printf("[results]");
    }
    void TearDown() override {
        release_all();
        testsupport::remove_tree(dir_);
    }
    std::string page(const std::string &text) {
        testsupport::write_file(dir_, "search_template.html", text);
        testsupport::StdoutCapture capture;
        print_template();
        return capture.text();
    }
    SearchContext &c = g_search_context;
    std::string dir_;
};

// A line that puts `cut` characters of its marker into the first piece.
std::string cut_line(const std::string &marker, size_t cut, const std::string &tail) {
    return std::string(kPiece - cut, 'x') + marker + tail;
}

TEST_F(TemplateTest, MarkersCutBetweenPiecesAreRecognised) {
    const std::string summary = "<!--VESK_SHOW_SUMMARY-->";
    for (size_t cut = 1; cut < summary.size(); cut++) {
        SCOPED_TRACE(cut);
        EXPECT_EQ(page(cut_line(summary, cut, "tail\n") + "end"),
                  std::string(kPiece - cut, 'x') + "[summary]tail\nend");
    }
    // Cut where the results marker and the per-page marker still agree.
    const std::string per_page = "<!--VESK_SHOW_RESULTSPERPAGE-->";
    EXPECT_EQ(page(cut_line(per_page, 21, "\n")), std::string(kPiece - 21, 'x') + "[per page]\n");
    const std::string results = "<!--VESK_SHOW_RESULTS-->";
    EXPECT_EQ(page(cut_line(results, 21, "!\n")), std::string(kPiece - 21, 'x') + "[results]!\n");
}

TEST_F(TemplateTest, TextThatOnlyLooksLikeAMarkerStaysText) {
    struct Case {
        const char *name;
        std::string text;
    };
    const Case cases[] = {
        {"'<' then other text", cut_line("<", 1, "p>\n")},
        {"unknown marker", cut_line("<!--VESK_SHOW_NOTHING-->", 12, " rest\n")},
        {"marker prefix at the end of a long line", std::string(kPiece - 8, 'y') + "<!--VESK\nz"},
        {"'<' at the end of the file", std::string(kPiece + 5, 'w') + "<"},
        {"piece that ends the line", std::string(kPiece - 1, 'v') + "<\nnext\n"},
        {"cut marker of another case", cut_line("<!--vesk_show_summary-->", 9, "\n")},
    };
    for (const Case &k : cases) EXPECT_EQ(page(k.text), k.text) << k.name;
}

TEST_F(TemplateTest, ScriptsComeBeforeAHeadCloseCutBetweenPieces) {
    c.DateRangeSearch = 1;
    for (size_t cut : {1, 3, 6}) {
        SCOPED_TRACE(cut);
        std::string out = page(cut_line("</head>", cut, "<body>\n") + "</html>\n");
        size_t scripts = out.find("<style>\n");
        EXPECT_EQ(scripts, kPiece - cut);
        EXPECT_NE(out.find("</script>\n</head><body>\n</html>\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("<style>\n", scripts + 1), std::string::npos);
    }
}

}  // namespace
