// Loading settings.vdat: value patterns, text keys, codes, blocks and trimming.
#include <gtest/gtest.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "support/capture.h"
#include "support/index_writer.h"

using testsupport::SettingsSpec;

namespace {

class SettingsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        release_all();
        init_search_context();
        dir_ = testsupport::make_temp_dir("settings");
        snprintf(c.g_base_directory, sizeof c.g_base_directory, "%s", dir_.c_str());
        c.g_str_texts = (char **)calloc(kStrTextCount, sizeof(char *));
    }
    void TearDown() override {
        release_all();
        testsupport::remove_tree(dir_);
    }
    // Loads a settings file made of the 49 texts and these raw lines.
    int load(const std::string &lines) {
        SettingsSpec spec = testsupport::default_settings();
        testsupport::write_file(dir_, "settings.vdat", lines + testsupport::settings_text(spec));
        return load_settings_file(&c);
    }
    SearchContext &c = g_search_context;
    std::string dir_;
};

TEST_F(SettingsTest, IntegerPatternAcceptsAnyWhiteSpaceAroundTheEqualsSign) {
    ASSERT_EQ(load("MinWordLen = 3\nContextSize=\t7\nTiming\t=\t\t1\r\nMaxSearchTime =9\n"), 0);
    EXPECT_EQ(c.MinWordLen, 3);
    EXPECT_EQ(c.ContextSize, 0);  // token "ContextSize=" is no key: unchanged
    EXPECT_EQ(c.Timing, 1);
    EXPECT_EQ(c.MaxSearchTime, 9);
}

TEST_F(SettingsTest, KeyJoinedToEqualsOrIndentedLineDoesNotScan) {
    ASSERT_EQ(load("ContextSize= 7\n  MinWordLen = 4\n"), 0);
    EXPECT_EQ(c.ContextSize, 0);
    EXPECT_EQ(c.MinWordLen, 0);
}

TEST_F(SettingsTest, IntegerValuesTakeTheLeadingNumberAndKeepSigns) {
    ASSERT_EQ(load("MinWordLen = 3x\nContextSize = abc\nTiming =\nMaxSearchTime = -2\n"
                   "DictReservedLimit = -1\nNumPages = 99999999999\n"),
              0);
    EXPECT_EQ(c.MinWordLen, 3);
    EXPECT_EQ(c.ContextSize, 0);
    EXPECT_EQ(c.Timing, 0);
    EXPECT_EQ(c.MaxSearchTime, -2);
    EXPECT_EQ(c.DictReservedLimit, 4294967295u);
    EXPECT_EQ(c.NumPages, 2147483647);  // saturated, the same on both builds
}

TEST_F(SettingsTest, DefaultsHoldForKeysTheFileLacks) {
    ASSERT_EQ(load(""), 0);
    EXPECT_EQ(c.StemmingAlgo, 2);
    EXPECT_EQ(c.MaxKeyWordLineLen, 32);
    EXPECT_EQ(c.MaxResultsPerQuery, 1000);
    EXPECT_EQ(c.MaxDomainDiversity, 3);
    EXPECT_STREQ(c.MetaMoneyCurrency, "&#36;");
    EXPECT_STREQ(c.LogFileName, ".//logs//searchwords.log");
}

TEST_F(SettingsTest, TextValues) {
    ASSERT_EQ(load("Charset = \"utf-8\"\nCharset = \"\"\nXMLTitle = \"Site\"\nXMLTitle = \"\"\n"
                   "Version = \"1.0 open\r\nXMLDesc = none\n"),
              0);
    EXPECT_STREQ(c.Charset, "utf-8");         // empty quotes keep the earlier value
    EXPECT_STREQ(c.XMLTitle, "");             // this key is emptied first
    EXPECT_STREQ(c.Version, "1.0 open\r\n");  // no closing quote: the rest of the line
    EXPECT_STREQ(c.XMLDesc, "");
}

TEST_F(SettingsTest, TextValuesAreBoundedByTheirMember) {
    std::string currency(40, '$');
    std::string title(5000, 't');
    ASSERT_EQ(load("MetaMoneyCurrency = \"" + currency + "\"\nXMLTitle = \"" + title + "\"\n"), 0);
    EXPECT_EQ(strlen(c.MetaMoneyCurrency), sizeof c.MetaMoneyCurrency - 1);
    // The line buffer takes 2047 bytes; the rest of the line is read as another line.
    EXPECT_EQ(strlen(c.XMLTitle), 2047u - strlen("XMLTitle = \""));
}

TEST_F(SettingsTest, CutTextNeverEndsInsideAUtf8Character) {
    // 11 bytes of room: "&" and five two-byte characters would need 12.
    ASSERT_EQ(load("MetaMoneyCurrency = \"a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\"\n"), 0);
    EXPECT_STREQ(c.MetaMoneyCurrency, "a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
    ASSERT_EQ(load("MetaMoneyCurrency = \"ab\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\"\n"), 0);
    EXPECT_STREQ(c.MetaMoneyCurrency, "ab\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9");
}

TEST_F(SettingsTest, LinkBackUrlSetsTheSeparatorOnlyOnce) {
    snprintf(c.LinkBackURL, sizeof c.LinkBackURL, "sitequery");
    ASSERT_EQ(load("DatePickerPath = \"x\"\n"), 0);
    EXPECT_STREQ(c.LinkBackURL, "sitequery");
    ASSERT_EQ(load("LinkBackURL = \"/s?lang=en\"\nLinkBackURL = \"/plain\"\n"), 0);
    EXPECT_STREQ(c.LinkBackURL, "/plain");
    EXPECT_STREQ(c.g_link_separator, "&amp;");
}

TEST_F(SettingsTest, DictIdLenAboveFiveStopsTheLoad) {
    EXPECT_EQ(load("DictIDLen = 5\n"), 0);
    EXPECT_EQ(load("DictIDLen = 6\nMinWordLen = 8\n"), 5);
    EXPECT_EQ(c.MinWordLen, 0);
}

TEST_F(SettingsTest, MissingFileIsCodeSix) {
    testsupport::remove_tree(dir_);
    EXPECT_EQ(load_settings_file(&c), 6);
    dir_ = testsupport::make_temp_dir("settings");
}

TEST_F(SettingsTest, InterfaceTexts) {
    SettingsSpec spec = testsupport::default_settings();
    spec.texts.erase("STR_OR");
    testsupport::write_settings(dir_, spec);
    EXPECT_EQ(load_settings_file(&c), 1);

    spec.texts["STR_OR"] = "";
    spec.extra_lines = {"  STR_RESULT = \"hit\"", "STR_UNKNOWN = \"x\"", "STR_SECONDS = oops"};
    testsupport::write_settings(dir_, spec);
    ASSERT_EQ(load_settings_file(&c), 0);
    EXPECT_STREQ(c.g_str_texts[STR_OR], "");
    EXPECT_STREQ(c.g_str_texts[STR_RESULT], "hit");  // repeated key: the later wins
    EXPECT_STREQ(c.g_str_texts[STR_SECONDS], "");    // no quotes: stored empty
    std::string long_text(1500, 'w');
    spec.extra_lines = {"STR_OR = \"" + long_text + "\""};
    testsupport::write_settings(dir_, spec);
    ASSERT_EQ(load_settings_file(&c), 0);
    EXPECT_EQ(strlen(c.g_str_texts[STR_OR]), 1023u);
}

TEST_F(SettingsTest, CategoryBlock) {
    ASSERT_EQ(load("catnames\nNews\nNumCats = 3\ncatnames\n  Sports \n\r\nThird\n"), 0);
    ASSERT_NE(c.g_category_names, nullptr);
    EXPECT_STREQ(c.g_category_names[0], "Sports");
    EXPECT_STREQ(c.g_category_names[1], "\r\n");  // only line-end characters: unchanged
    EXPECT_STREQ(c.g_category_names[2], "Third");
}

TEST_F(SettingsTest, CategoryBlockCutShortLeavesNullEntries) {
    SettingsSpec spec = testsupport::default_settings();
    spec.set("NumCats", 3);
    spec.categories = {"A", "B"};
    testsupport::write_settings(dir_, spec);
    ASSERT_EQ(load_settings_file(&c), 0);
    EXPECT_STREQ(c.g_category_names[1], "B");
    EXPECT_EQ(c.g_category_names[2], nullptr);
}

TEST_F(SettingsTest, LaterNumCatsCannotMakeReleaseIndexPastTheTable) {
    ASSERT_EQ(load("NumCats = 1\ncatnames\nOnly\nNumCats = 500\n"), 0);
    EXPECT_EQ(c.NumCats, 500);
    EXPECT_EQ(c.g_category_capacity, 1);
    release_all();  // frees one entry; AddressSanitizer checks the rest
    EXPECT_EQ(c.g_category_names, nullptr);
}

TEST_F(SettingsTest, MetaFieldBlockReadsOptionsOnlyForListTypes) {
    SettingsSpec spec = testsupport::default_settings();
    spec.set("NumMetaFields", 3);
    testsupport::MetaFieldSpec colour{2, "colour", "Colour:", "Pick", 0, {"red", "green", "blue"}};
    testsupport::MetaFieldSpec price{0, "price", "Price", "Max price", 2, {}};
    price.option_count = 3;
    spec.meta_fields = {colour, price};
    testsupport::write_settings(dir_, spec);
    ASSERT_EQ(load_settings_file(&c), 0);
    ASSERT_NE(c.g_meta_fields, nullptr);
    EXPECT_EQ(c.g_meta_fields[0].type, 2);
    EXPECT_STREQ(c.g_meta_fields[0].name, "colour");
    EXPECT_STREQ(c.g_meta_fields[0].options[2], "blue");
    EXPECT_STREQ(c.g_meta_fields[1].label, "Max price");
    EXPECT_EQ(c.g_meta_fields[1].match_op, 2);
    EXPECT_EQ(c.g_meta_fields[1].options, nullptr);
    EXPECT_EQ(c.g_meta_fields[2].type, 0);  // the block ended: the third record stays zero
}

TEST_F(SettingsTest, MetaFieldRecordCutShortIsInvalid) {
    testsupport::write_file(dir_, "settings.vdat",
                            testsupport::settings_text(testsupport::default_settings()) +
                                "NumMetaFields = 1\nmetafields\n1\nname\ncaption\nlabel\n");
    EXPECT_EQ(load_settings_file(&c), 1);
}

TEST_F(SettingsTest, AccentLists) {
    ASSERT_EQ(load("MapAccents = 1\nAccentChars = \"\xC3\xA9\", \"\xC3\xA8\", \"\xC3\xAA\"\n"
                   "NormalChars = \"e\", \"e\"\n"),
              0);
    ASSERT_EQ(c.g_accent_count, 3);
    EXPECT_STREQ(c.g_accent_chars[1], "\xC3\xA8");
    EXPECT_STREQ(c.g_normal_chars[1], "e");
    EXPECT_STREQ(c.g_normal_chars[2], "");
    // More normal items than accent items: the extra ones are ignored.
    ASSERT_EQ(
        load("MapAccents = 1\nAccentChars = \"\xC3\xA0\"\nNormalChars = \"a\", \"b\", \"c\"\n"), 0);
    ASSERT_EQ(c.g_accent_count, 1);
    EXPECT_STREQ(c.g_normal_chars[0], "a");
}

TEST_F(SettingsTest, AccentLineOfAnotherShapeGivesNoItems) {
    ASSERT_EQ(load("MapAccents = 1\nSomething \"a\" \"b\"\nNormalChars = \"x\"\n"), 0);
    EXPECT_EQ(c.g_accent_count, 0);
    ASSERT_NE(c.g_accent_chars, nullptr);
    ASSERT_NE(c.g_normal_chars, nullptr);
    // A repeated list replaces the first one (AddressSanitizer checks the release).
    ASSERT_EQ(load("MapAccents = 1\nAccentChars = \"0123456789abc\"\nNormalChars = \"vwxyz\"\n"
                   "MapAccents = 1\nAccentChars = \"\xC3\xA0\"\nNormalChars = \"a\"\n"),
              0);
    EXPECT_EQ(c.g_accent_count, 1);
    EXPECT_STREQ(c.g_accent_chars[0], "\xC3\xA0");
}

TEST_F(SettingsTest, AccentItemsAreBounded) {
    ASSERT_EQ(load("MapAccents = 1\nAccentChars = \"0123456789abc\"\nNormalChars = \"vwxyz\"\n"),
              0);
    EXPECT_STREQ(c.g_accent_chars[0], "012345678");
    EXPECT_STREQ(c.g_normal_chars[0], "vwxy");
}

TEST(TrimString, TrimsBlankTabCrLfAtBothEnds) {
    char text[] = "  a b \r\n";
    EXPECT_EQ(trim_string(text), 0);
    EXPECT_STREQ(text, "a b");
    char only_line_end[] = "\r\n";
    trim_string(only_line_end);
    EXPECT_STREQ(only_line_end, "\r\n");
    char high_bytes[] = "\xA0x\xA0";
    trim_string(high_bytes);
    EXPECT_STREQ(high_bytes, "\xA0x\xA0");
    char empty[] = "";
    EXPECT_EQ(trim_string(empty), 0);
    EXPECT_EQ(trim_string(nullptr), 0);
}

TEST(LoadSettings, ReportsEachCodeAfterTheHeader) {
    release_all();
    init_search_context();
    RequestParams request{};
    std::string dir = testsupport::make_temp_dir("loadsettings");
    snprintf(request.index_directory, sizeof request.index_directory, "%s", dir.c_str());
    snprintf(request.script_file_name, sizeof request.script_file_name, "sitequery");
    {
        testsupport::StdoutCapture capture;
        EXPECT_EQ(load_settings(&request), 1);
        EXPECT_EQ(capture.text(),
                  "Content-type: text/html\n\nUnable to open settings.vdat or file is "
                  "invalid.<br />No such file or directory<br />Check file permissions and that "
                  "file exists");
    }
    release_all();
    init_search_context();
    SettingsSpec spec = testsupport::default_settings();
    spec.set("DefaultSort", 2);
    testsupport::write_settings(dir, spec);
    request.autocomplete = 5;
    EXPECT_EQ(load_settings(&request), 0);
    EXPECT_EQ(request.default_sort, 2);
    EXPECT_EQ(request.autocomplete, 0);
    EXPECT_STREQ(g_search_context.LinkBackURL, "sitequery");
    release_all();
    testsupport::remove_tree(dir);
}

}  // namespace
