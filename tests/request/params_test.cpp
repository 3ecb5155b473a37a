// The command line and the reading of every request parameter into the record.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"

namespace {

class ParamsTest : public ::testing::Test {
   protected:
    void SetUp() override {
        release_all();
        init_search_context();
        memset(&g_request, 0, sizeof g_request);
        for (const char *name :
             {"GATEWAY_INTERFACE", "REMOTE_ADDR", "SCRIPT_NAME", "CONTENT_TYPE", "CONTENT_LENGTH"})
            unsetenv(name);
        setenv("REQUEST_METHOD", "GET", 1);
    }
    void TearDown() override {
        free_request();
        release_all();
        unsetenv("REQUEST_METHOD");
        unsetenv("QUERY_STRING");
    }
    void read(const std::string &query_string) {
        free_request();
        setenv("QUERY_STRING", query_string.c_str(), 1);
        ASSERT_TRUE(read_cgi_parameters());
    }
    std::vector<int32_t> categories() {
        return std::vector<int32_t>(g_request.selected_cats,
                                    g_request.selected_cats + g_request.selected_cat_count);
    }
    SearchContext &c = g_search_context;
    RequestParams &r = g_request;
};

TEST_F(ParamsTest, AbsentParametersTakeTheirDefaults) {
    r.default_sort = 2;
    read("");
    EXPECT_EQ(r.xml, PARAM_NOT_GIVEN);
    EXPECT_EQ(r.match_all, PARAM_NOT_GIVEN);
    EXPECT_EQ(r.query_given, 0);
    EXPECT_STREQ(r.query, "");
    EXPECT_EQ(r.per_page, 10);
    EXPECT_EQ(r.page, 1);
    EXPECT_EQ(r.page_not_given, 1);
    EXPECT_EQ(r.sort_order, 2);
    EXPECT_EQ(r.autocomplete, 0);
    EXPECT_STREQ(r.remote_addr, "");
    EXPECT_STREQ(r.script_url, "");
}

TEST_F(ParamsTest, NumbersDatesAndTimes) {
    read(
        "vesk_page=abc&vesk_per_page=99999999999&vesk_and=-99999999999&vesk_ltimefrom=-1"
        "&vesk_ltimeto=7&vesk_datefrom=2024-01-01x&vesk_dateto=2024-01-31&vesk_query=");
    EXPECT_EQ(r.page, 1);
    EXPECT_EQ(r.page_not_given, 1);
    EXPECT_EQ(r.per_page, INT32_MAX);
    EXPECT_EQ(r.match_all, INT32_MIN);
    EXPECT_EQ(r.ltime_from, 4294967295LL);
    EXPECT_EQ(r.ltime_to, 7);
    EXPECT_STREQ(r.date_from, "");  // 11 characters
    EXPECT_STREQ(r.date_to, "2024-01-31");
    EXPECT_EQ(r.query_given, 1);
    read("vesk_page=0");
    EXPECT_EQ(r.page, 0);
    EXPECT_EQ(r.page_not_given, 0);
}

TEST_F(ParamsTest, QueryIsCutAndFoundUnderItsRawName) {
    read("vesk%5Fquery=raw");
    EXPECT_STREQ(r.query, "raw");
    read("vesk_query=" + std::string(3000, 'q'));
    EXPECT_EQ(strlen(r.query), 2085u);
}

TEST_F(ParamsTest, EnvironmentTextsAreCopiedBounded) {
    std::string ipv6 = "0000:0000:0000:0000:0000:ffff:192.168.100.228";
    ASSERT_EQ(ipv6.size(), 45u);
    setenv("REMOTE_ADDR", ipv6.c_str(), 1);
    setenv("SCRIPT_NAME", std::string(2048, 's').c_str(), 1);
    read("");
    EXPECT_EQ(r.remote_addr, ipv6);
    EXPECT_STREQ(r.script_url, "");  // 2048 characters or more: not taken
    setenv("REMOTE_ADDR", std::string(100, '9').c_str(), 1);
    setenv("SCRIPT_NAME", "/cgi-bin/sitequery", 1);
    read("");
    EXPECT_EQ(strlen(r.remote_addr), sizeof r.remote_addr - 1);
    EXPECT_STREQ(r.script_url, "/cgi-bin/sitequery");
}

TEST_F(ParamsTest, CategoryLists) {
    c.UseCats = 1;
    c.NumCats = 5;
    read("vesk_cat=3");
    EXPECT_EQ(categories(), (std::vector<int32_t>{3}));
    read("");
    EXPECT_EQ(categories(), (std::vector<int32_t>{-1}));
    read("vesk_cat[]=1&vesk_cat[]=4&vesk_cat[]=9");
    EXPECT_EQ(categories(), (std::vector<int32_t>{1, 4}));
    read("vesk_cat%5B%5D=2&vesk_cat[]=1");
    EXPECT_EQ(categories(), (std::vector<int32_t>{2}));
    c.NumCats = 0;  // still room for one entry
    read("vesk_cat=7");
    EXPECT_EQ(categories(), (std::vector<int32_t>{7}));
}

TEST_F(ParamsTest, MetaFieldValues) {
    c.UseMetaFields = 1;
    c.NumMetaFields = 2;
    c.g_meta_fields = (MetaField *)calloc(2, sizeof(MetaField));
    c.g_meta_field_capacity = 2;
    strcpy(c.g_meta_fields[0].name, "colour");
    c.g_meta_fields[0].type = 3;
    strcpy(c.g_meta_fields[1].name, "author");
    c.g_meta_fields[1].type = 1;
    read("colour[]=1&colour[]=255&colour[]=2&colour[]=-1&author=Ann+%26+Bob");
    ASSERT_EQ(r.meta_value_count, 2);
    const unsigned char *multi = (const unsigned char *)r.meta_values[0];
    EXPECT_EQ(std::vector<int>(multi, multi + 4), (std::vector<int>{3, 1, 2, 255}));
    EXPECT_STREQ(r.meta_values[1], "Ann & Bob");
    read("colour=2");
    multi = (const unsigned char *)r.meta_values[0];
    EXPECT_EQ(std::vector<int>(multi, multi + 2), (std::vector<int>{1, 2}));

    // A later NumMetaFields than the block had: only the records read are used.
    c.NumMetaFields = 40;
    read("author=x");
    EXPECT_EQ(r.meta_value_count, 2);
}

struct CommandLineCase {
    std::vector<std::string> argv;
    const char *script_name;
    const char *directory;
};

TEST(CommandLine, ScriptNameDirectoryAndOptions) {
    std::string long_dir(600, 'd');
    const CommandLineCase cases[] = {
        {{"C:\\web\\cgi-bin\\sitequery.exe"}, "sitequery.exe", "C:\\web\\cgi-bin"},
        {{"sitequery"}, "sitequery", "."},
        {{"a/b\\c/d"}, "c/d", "a/b"},
        {{"/srv/cgi/sq", "/index", "D:\\idx"}, "sq", "D:\\idx"},
        {{"sq", "/I", "one", "/i", "two"}, "sq", "two"},
        {{"sq", "/I", "one", "/I"}, "sq", "one"},
        {{"sq", "/I", long_dir}, "sq", "."},
        {{long_dir + "/sq"}, "sq", "."},
        {{"sq", "-I", "x", "/X", "y"}, "sq", "."},
    };
    unsetenv("GATEWAY_INTERFACE");
    unsetenv("REQUEST_METHOD");
    for (const CommandLineCase &test : cases) {
        RequestParams request{};
        std::vector<char *> argv;
        for (const std::string &a : test.argv) argv.push_back(const_cast<char *>(a.c_str()));
        read_command_line(&request, (int)argv.size(), argv.data());
        EXPECT_STREQ(request.script_file_name, test.script_name) << test.argv[0];
        EXPECT_STREQ(request.index_directory, test.directory) << test.argv.back();
    }
}

TEST(CommandLine, QueryWordsFromTheWebServerAreNoOptions) {
    std::vector<std::string> args = {"/cgi/sq", "/I", "/tmp/other"};
    std::vector<char *> argv;
    for (std::string &a : args) argv.push_back(&a[0]);
    setenv("REQUEST_METHOD", "GET", 1);
    setenv("QUERY_STRING", "/I+/tmp/other", 1);
    RequestParams request{};
    read_command_line(&request, 3, argv.data());
    EXPECT_STREQ(request.index_directory, "/cgi");
    setenv("QUERY_STRING", "vesk_query=x", 1);  // an "=" in the query: no words are passed
    read_command_line(&request, 3, argv.data());
    EXPECT_STREQ(request.index_directory, "/tmp/other");
    unsetenv("REQUEST_METHOD");
    unsetenv("QUERY_STRING");
}

}  // namespace
