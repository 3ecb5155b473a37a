// End to end through the real binary: a dictionary that does not load
// finishes the page with its message, in HTML and in XML.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/dictionary_file.h"
#include "support/index_writer.h"
#include "support/run_program.h"

namespace {

class DictionaryE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("dict-e2e");
        spec_ = testsupport::default_settings();
        spec_.set_text("Charset", "UTF-8").set_text("Version", "5.0");
        spec_.set("NumPages", 0).set("PageInfoSize", 0).set("NumKeywords", 3);
        spec_.set("OutputBasewordBufferSize", 1000).set("OutputVariantBufferSize", 1000);
        testsupport::write_file(dir_, "search_template.html",
                                "<html><body>[<!--VESK_SHOW_RESULTS-->]</body></html>\n");
        testsupport::write_file(dir_, "vesk_pagedata.vdat", "");
        testsupport::write_file(dir_, "vesk_pageinfo.vdat", "");
        testsupport::write_file(dir_, "vesk_wordmap.vdat", "");
        testsupport::write_file(
            dir_, "vesk_dictionary.vdat",
            testsupport::dictionary_text({{"bee", 0, {"Bee"}}, {"hive", -1, {}}}));
    }
    void TearDown() override { testsupport::remove_tree(dir_); }
    std::string get(const std::string &query_string) {
        testsupport::write_settings(dir_, spec_);
        return testsupport::run_clean_get(dir_, query_string).out;
    }
    std::string dir_;
    testsupport::SettingsSpec spec_;
};

TEST_F(DictionaryE2E, CorruptedEntryInHtml) {
    testsupport::write_file(dir_, "vesk_dictionary.vdat", "bee 0 0\nhive\n");
    EXPECT_EQ(testsupport::compare_golden("dictionary_corrupted.out", get("vesk_query=bee")), "");
}

TEST_F(DictionaryE2E, MissingFileInHtmlAndTooManyEntriesInXml) {
    spec_.set("NumKeywords", 1);
    EXPECT_EQ(
        testsupport::compare_golden("dictionary_count_xml.out", get("vesk_xml=1&vesk_query=bee")),
        "");
    unlink((dir_ + "/vesk_dictionary.vdat").c_str());
    EXPECT_EQ(testsupport::compare_golden("dictionary_missing.out", get("vesk_query=bee")), "");
}

}  // namespace
