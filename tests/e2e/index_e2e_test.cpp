// End to end through the real binary: each way opening the index files can
// fail, answered with its message in HTML and in XML (one golden file holds
// both responses), and a whole index that opens without a word of complaint.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "support/index_files.h"
#include "support/run_program.h"

using testsupport::CgiRequest;
using testsupport::CgiResponse;
using testsupport::IndexSpec;

namespace {

const char kTemplate[] = "<html><body>[<!--VESK_SHOW_QUERY-->]</body></html>\n";
const char kXmlSeparator[] = "\n======== the same request in XML ========\n";
constexpr int kMemoryLimitMb = 256;
constexpr long long kHugeLineLength = 2147483647;  // a line buffer that cannot be allocated

// A small index of two pages with every optional list.
IndexSpec small_index() {
    IndexSpec spec;
    spec.settings.set_text("Charset", "UTF-8");
    spec.template_text = kTemplate;
    testsupport::PageSpec page;
    page.url = "bees.html";
    page.title = "Bees";
    page.words = testsupport::split_words("Bees make honey.");
    spec.pages = {page, page};
    spec.pages[1].url = "wax.html";
    spec.pages[1].words = testsupport::split_words("Wax comes from bees.");
    spec.categories = {"Hive care", "Honey and wax"};
    spec.pages[1].categories = {1};
    spec.spelling = true;
    spec.recommended = {{"honey", 0}};
    return spec;
}

struct Case {
    const char *golden;
    std::function<void(IndexSpec &)> damage;
    bool memory_limit = false;
};

class IndexE2E : public ::testing::Test {
   protected:
    void SetUp() override { dir_ = testsupport::make_temp_dir("index-e2e"); }
    void TearDown() override { testsupport::remove_tree(dir_); }
    CgiResponse get(const std::string &query_string, bool memory_limit) {
        CgiRequest request = testsupport::get_request(dir_, query_string);
        if (memory_limit) request.memory_limit_mb = kMemoryLimitMb;
        CgiResponse response = testsupport::run_cgi(request);
        EXPECT_FALSE(response.timed_out);
        EXPECT_EQ(response.exit_code, 0);
        // Under a memory limit AddressSanitizer warns of the allocation it refused.
        if (!memory_limit ||
            response.err.find("AddressSanitizer failed to allocate") == std::string::npos) {
            EXPECT_EQ(response.err, "");
        }
        return response;
    }
    // The HTML and the XML response to a search against the damaged index.
    std::string both(const Case &test) {
        IndexSpec spec = small_index();
        test.damage(spec);
        testsupport::remove_tree(dir_);  // no file of an earlier case may stay
        dir_ = testsupport::make_temp_dir("index-e2e");
        testsupport::write_index(dir_, spec);
        return get("vesk_query=bee", test.memory_limit).out + kXmlSeparator +
               get("vesk_query=bee&vesk_xml=1", test.memory_limit).out;
    }
    std::string dir_;
};

TEST_F(IndexE2E, EveryFailureToOpenTheIndexIsReported) {
    const Case cases[] = {
        {"index_pagedata_missing.out",
         [](IndexSpec &s) { s.corrupt.missing_files = {"vesk_pagedata.vdat"}; }},
        {"index_pageinfo_missing.out",
         [](IndexSpec &s) { s.corrupt.missing_files = {"vesk_pageinfo.vdat"}; }},
        {"index_pageinfo_short.out", [](IndexSpec &s) { s.corrupt.pageinfo_size_delta = -1; }},
        {"index_pageinfo_mismatch.out", [](IndexSpec &s) { s.corrupt.record_length[1] = 0; }},
        {"index_pageinfo_warning.out", [](IndexSpec &s) { s.corrupt.settings["NumPages"] = 1; }},
        {"index_pagetext_invalid_width.out",
         [](IndexSpec &s) {
             s.settings.set("DisplayContext", 1);
             s.corrupt.settings["DictIDLen"] = 1;
         }},
        {"index_pagetext_missing.out",
         [](IndexSpec &s) {
             s.settings.set("AllowExactPhrase", 1);
             s.corrupt.missing_files = {"vesk_pagetext.vdat"};
         }},
        {"index_pagetext_foreign.out",
         [](IndexSpec &s) {
             s.settings.set("DisplayContext", 1);
             s.corrupt.replaced_files["vesk_pagetext.vdat"] = std::string("T\0h\0i\0s\0 \0", 10);
         }},
        {"index_wordmap_missing.out",
         [](IndexSpec &s) { s.corrupt.missing_files = {"vesk_wordmap.vdat"}; }},
        {"index_spelling_missing.out",
         [](IndexSpec &s) { s.corrupt.missing_files = {"vesk_spelling.vdat"}; }},
        {"index_spelling_no_memory.out",
         [](IndexSpec &s) {
             s.recommended.clear();
             s.corrupt.settings["MaxKeyWordLineLen"] = kHugeLineLength;
         },
         true},
        {"index_recommended_missing.out",
         [](IndexSpec &s) {
             s.spelling = false;
             s.corrupt.missing_files = {"vesk_recommended.vdat"};
         }},
        {"index_recommended_no_memory.out",
         [](IndexSpec &s) { s.corrupt.settings["MaxKeyWordLineLen"] = kHugeLineLength; }, true},
        {"index_list_invalid_line_length.out",
         [](IndexSpec &s) { s.corrupt.settings["MaxKeyWordLineLen"] = 1; }},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.golden);
        EXPECT_EQ(testsupport::compare_golden(test.golden, both(test)), "");
    }
}

TEST_F(IndexE2E, WholeIndexOpensQuietly) {
    IndexSpec spec = small_index();
    spec.settings.set("DisplayContext", 1).set("AllowExactPhrase", 1);
    spec.big_layout = true;
    testsupport::write_index(dir_, spec);
    EXPECT_EQ(get("vesk_query=bee", false).out,
              "Content-type: text/html; charset=UTF-8\n\n<html><body>[bee]</body></html>\n");
}

}  // namespace
