// End to end through the real binary: settings failures, form failures, the
// command line, and the plain page.
#include <ctype.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>

#include <map>
#include <string>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"

using testsupport::CgiRequest;
using testsupport::CgiResponse;

namespace {

const char kTemplate[] =
    "<html><head><title>Search</title></head>\n"
    "<body>\n"
    "<!--VESKSEARCH-->\n"
    "</body></html>\n";

class RequestE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("e2e");
        spec_ = testsupport::write_empty_index(dir_, testsupport::default_settings());
        testsupport::write_file(dir_, "search_template.html", kTemplate);
    }
    void TearDown() override { testsupport::remove_tree(dir_); }
    CgiResponse run(CgiRequest request) {
        testsupport::write_settings(dir_, spec_);
        CgiResponse response = testsupport::run_cgi(request);
        EXPECT_FALSE(response.timed_out);
        // Under a memory limit AddressSanitizer warns of the allocation it refused.
        if (request.memory_limit_mb == 0 ||
            response.err.find("AddressSanitizer failed to allocate") == std::string::npos) {
            EXPECT_EQ(response.err, "");
        }
        return response;
    }
    void expect_golden(const std::string &name, const CgiResponse &response, int exit_code) {
        EXPECT_EQ(response.exit_code, exit_code);
        EXPECT_EQ(testsupport::compare_golden(name, response.out), "");
    }
    std::string dir_;
    testsupport::SettingsSpec spec_;
};

TEST_F(RequestE2E, SettingsFailuresAnswerWithTheHeaderAndTheirMessage) {
    testsupport::CgiRequest request = testsupport::get_request(dir_ + "/missing", "vesk_query=a");
    expect_golden("settings_missing.out", run(request), 0);

    spec_.texts.erase("STR_DIDYOUMEAN");
    expect_golden("settings_missing_text.out", run(testsupport::get_request(dir_, "")), 0);

    spec_ = testsupport::default_settings();
    spec_.set("DictIDLen", 6);
    expect_golden("settings_dictidlen.out", run(testsupport::get_request(dir_, "")), 0);
}

TEST_F(RequestE2E, SettingsOutOfMemoryIsReported) {
    spec_.set("NumCats", 2000000000);
    spec_.categories = {"One"};
    CgiRequest request = testsupport::get_request(dir_, "");
    request.memory_limit_mb = 256;
    expect_golden("settings_no_memory.out", run(request), 0);
}

TEST_F(RequestE2E, RequestOutOfMemoryIsReportedWithoutAPage) {
    // The settings load (no catnames block), but the request's category list
    // cannot be allocated.
    spec_.set("UseCats", 1).set("NumCats", 2000000000);
    CgiRequest request = testsupport::get_request(dir_, "vesk_query=a&vesk_cat=1");
    request.memory_limit_mb = 256;
    CgiResponse response = run(request);
    EXPECT_EQ(response.exit_code, 0);
    EXPECT_EQ(response.out, "Content-type: text/html\n\nError: Memory Allocation Error");
}

TEST_F(RequestE2E, FormsThatCannotBeBuiltEndWithExitCodeOne) {
    CgiRequest request = testsupport::get_request(dir_, "vesk_query=x");
    request.method = "HEAD";
    expect_golden("form_method.out", run(request), 1);

    request.method = "POST";
    request.content_type = "application/x-www-form-urlencoded; charset=UTF-8";
    request.body = "vesk_query=x";
    request.content_length = "12";
    expect_golden("form_content_type.out", run(request), 1);

    request.content_type = "application/x-www-form-urlencoded";
    request.content_length = "40";
    expect_golden("form_short_body.out", run(request), 1);

    for (const char *length : {"2000000", "-5", "99999999999999999999"}) {
        request.content_length = length;
        CgiResponse response = run(request);
        EXPECT_EQ(response.exit_code, 1) << length;
        EXPECT_EQ(response.out, "Content-type: text/html\n\n<H3>Out-of-memory error</H3>\n")
            << length;
    }
}

TEST_F(RequestE2E, PlainPageForGetAndPost) {
    expect_golden("plain_page.out", run(testsupport::get_request(dir_, "vesk_query=")), 0);
    CgiRequest post = testsupport::get_request(dir_, "");
    post.method = "POST";
    post.content_type = "application/x-www-form-urlencoded";
    post.body = "vesk_query=hello+world&vesk_page=2";
    post.content_length = "  +" + std::to_string(post.body.size()) + "junk";
    expect_golden("post_page.out", run(post), 0);
}

TEST_F(RequestE2E, IndexDirectoryComesFromTheProgramPathOrTheOption) {
    CgiRequest request;
    request.argv0 = dir_ + "/sitequery";
    expect_golden("page_no_query.out", run(request), 0);

    request.argv0 = "sitequery";  // no directory part: the current directory
    request.args = {"/include", dir_};
    expect_golden("page_no_query.out", run(request), 0);

    request.args = {"/I", dir_, "/i"};  // a last /I without a value is ignored
    expect_golden("page_no_query.out", run(request), 0);
}

// The index directory from the server's environment, the /I option and the
// program's own folder, in that order of precedence. The program sits in a
// folder whose settings fail, so that an answer tells which directory it read.
TEST_F(RequestE2E, IndexDirectoryFromTheEnvironmentYieldsToTheOption) {
    const std::string other = testsupport::make_temp_dir("e2e_other");
    testsupport::write_file(other, "settings.vdat", "");  // fails with missing texts
    // Cut to the field's 511 characters this would still name dir_.
    const std::string too_long = dir_ + std::string(600, '/');
    const std::map<std::string, std::string> names = {
        {"DIR", dir_}, {"OTHER", other}, {"LONG", too_long}, {"", ""}};
    struct Case {
        const char *what;
        const char *environment;  // SITEQUERY_INDEX; null leaves it unset
        std::vector<std::string> args;
        bool reads_dir;  // the answer comes from dir_ (else from the program's folder)
    };
    const Case cases[] = {
        {"the environment alone", "DIR", {}, true},
        {"/I wins over the environment", "DIR", {"/I", "OTHER"}, false},
        {"/I wins, the other way round", "OTHER", {"/I", "DIR"}, true},
        {"a too long value is ignored, not cut", "LONG", {}, false},
        {"an empty value is unset", "", {}, false},
        {"a too long /I is ignored, not cut", nullptr, {"/I", "LONG"}, false},
        {"a too long /I leaves the environment's", "DIR", {"/I", "LONG"}, true},
        {"a last /I without a value leaves the environment's", "DIR", {"/I"}, true},
    };
    for (const Case &c : cases) {
        CgiRequest request;
        request.argv0 = other + "/sitequery";
        if (c.environment != nullptr)
            request.extra_env["SITEQUERY_INDEX"] = names.at(c.environment);
        for (const std::string &arg : c.args)
            request.args.push_back(names.count(arg) != 0 ? names.at(arg) : arg);
        CgiResponse response = run(request);
        if (c.reads_dir)
            EXPECT_EQ(testsupport::compare_golden("page_no_query.out", response.out), "") << c.what;
        else
            EXPECT_EQ(response.out.find("Error: Missing text"), 25u) << c.what << response.out;
    }
    testsupport::remove_tree(other);
}

TEST_F(RequestE2E, QueryWordsPassedAsArgumentsCannotMoveTheIndexDirectory) {
    // A web server passes an "="-less query string as command-line words.
    std::string other = testsupport::make_temp_dir("e2e_other");
    testsupport::write_file(other, "settings.vdat", "");  // would fail with missing texts
    CgiRequest request;
    request.argv0 = dir_ + "/sitequery";
    request.query_string = "/I+" + other;
    request.args = {"/I", other};
    expect_golden("page_no_query.out", run(request), 0);

    request.query_string = "%2FI+" + other;
    expect_golden("page_no_query.out", run(request), 0);

    // The same arguments from a wrapper script (not CGI) do move it.
    request.method = "";
    EXPECT_EQ(run(request).out.find("Error: Missing text"), 25u);
    testsupport::remove_tree(other);
}

// Every byte but letters and digits as %XX, as a browser may send it.
std::string percent_encoded(const std::string &text) {
    std::string out;
    for (unsigned char c : text) {
        char pair[4];
        snprintf(pair, sizeof pair, "%%%02X", c);
        out += isalnum(c) ? std::string(1, (char)c) : std::string(pair);
    }
    return out;
}

// An "="-less query string through a wrapper script that names the index
// with its own "/I": the server passed the query's words after the wrapper's
// arguments, or none. Only trailing arguments that are the query's words are
// kept from the options, so the answer is always the ordinary page of the
// index the wrapper names (the program sits in a folder whose settings fail,
// and OTHER too, so that a dropped or moved /I shows).
TEST_F(RequestE2E, QueryWordsAreTakenFromTheOptionsOnlyWhenTheServerPassedThem) {
    const std::string other = testsupport::make_temp_dir("e2e_other");
    testsupport::write_file(other, "settings.vdat", "");  // fails with missing texts
    const std::string odd = other + "/a&b c$d";           // shell characters in a folder name
    ASSERT_EQ(mkdir(odd.c_str(), 0755), 0);
    testsupport::write_file(odd, "settings.vdat", "");
    const std::string many = [] {
        std::string words;
        for (int i = 0; i < 600; i++) words += "+x";
        return words;
    }();
    struct Case {
        const char *what;
        std::string query_string;
        std::vector<std::string> passed;  // the words the server passed after the wrapper's
    };
    const Case cases[] = {
        {"no word passed", "honey", {}},
        {"one word passed", "honey", {"honey"}},
        {"two words passed", "honey+bee", {"honey", "bee"}},
        {"a visitor's /I passed", "/I+" + other, {"/I", other}},
        {"a visitor's /I, none passed", "/I+" + other, {}},
        {"a percent-encoded /I passed decoded",
         percent_encoded("/i") + "+" + percent_encoded(other),
         {"/i", other}},
        {"a percent-encoded /I passed undecoded",
         "%2FI+" + percent_encoded(other),
         {"%2FI", percent_encoded(other)}},
        {"a lower-case escape passed decoded", "%2fInclude+" + other, {"/Include", other}},
        {"shell characters passed escaped",
         "/I+" + percent_encoded(odd),
         {"/I", other + "/a\\&b c\\$d"}},
        {"shell characters passed plainly", "/I+" + percent_encoded(odd), {"/I", odd}},
        {"a decoded NUL ends the word", "/I+" + other + "%00tail", {"/I", other}},
        {"a broken escape stays", "/I+%zz" + other, {"/I", "%zz" + other}},
        {"empty words passed", "honey++", {"honey", "", ""}},
        {"empty words, none passed", "++", {}},
        {"only the first words passed", "/I+" + other + many, {"/I", other, "x", "x"}},
        {"words like the wrapper's, none passed", "/I+x", {}},
    };
    for (const Case &c : cases) {
        CgiRequest request;
        request.argv0 = other + "/sitequery";
        request.query_string = c.query_string;
        request.args = {"/I", dir_};
        request.args.insert(request.args.end(), c.passed.begin(), c.passed.end());
        CgiResponse response = run(request);
        EXPECT_EQ(testsupport::compare_golden("page_no_query.out", response.out), "") << c.what;
    }
    testsupport::remove_tree(other);
}

}  // namespace
