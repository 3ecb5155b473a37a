// Tests of the CGI form library: value decoding, pair splitting, typed
// lookups and building the form from the CGI environment.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "request/request.h"

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;
const char *const kFormType = "application/x-www-form-urlencoded";

std::string decoded(const char *text) {
    std::vector<char> copy(text, text + strlen(text) + 1);
    int length = percent_decode(copy.data());
    EXPECT_EQ(copy[(size_t)length], '\0');
    return std::string(copy.data(), (size_t)length);
}

// Writes body to a temporary file and makes it standard input.
void set_stdin(const std::string &body) {
    char path[] = "/tmp/cgi_form_test_XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, body.data(), body.size()), (ssize_t)body.size());
    close(fd);
    ASSERT_NE(freopen(path, "rb", stdin), nullptr);
    unlink(path);
}

// Every test starts from an empty CGI environment; g_cgi_form is freed after it.
class CgiFormTest : public ::testing::Test {
   protected:
    void SetUp() override { clear(); }
    void TearDown() override {
        cgi_form_free(g_cgi_form);
        g_cgi_form = nullptr;
        clear();
    }
    static void clear() {
        for (const char *name :
             {"REQUEST_METHOD", "QUERY_STRING", "CONTENT_TYPE", "CONTENT_LENGTH"})
            unsetenv(name);
    }
    void get(const char *query) {
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("QUERY_STRING", query, 1);
        g_cgi_form = cgi_form_create();
        ASSERT_NE(g_cgi_form, nullptr);
    }
    // POST of body with this CONTENT_LENGTH (null: unset); the form or null.
    CgiForm *post(const std::string &body, const char *length) {
        set_stdin(body);
        setenv("REQUEST_METHOD", "POST", 1);
        setenv("CONTENT_TYPE", kFormType, 1);
        if (length != nullptr)
            setenv("CONTENT_LENGTH", length, 1);
        else
            unsetenv("CONTENT_LENGTH");
        return g_cgi_form = cgi_form_create();
    }
    Pairs pairs() const {
        Pairs result;
        for (FormEntry *e = g_cgi_form->first; e != nullptr; e = e->next)
            result.emplace_back(e->name, e->value);
        return result;
    }
};

// ---- Decoding ----

TEST(CgiDecodingTest, PercentPairsDecodeByTheirArithmetic) {
    EXPECT_EQ(hex_pair_value('e', '4'), 0xE4);
    EXPECT_EQ(hex_pair_value('E', 'f'), 0xEF);
    EXPECT_EQ(hex_pair_value('0', 'Z'), 35);       // not hexadecimal: 'Z' - 55
    EXPECT_EQ(hex_pair_value('\xff', '1'), 0xF1);  // high bytes count as negative
    EXPECT_EQ(decoded("%41%e4"), "A\xe4");
    EXPECT_EQ(decoded("x%00y"), std::string("x\0y", 3));
    EXPECT_EQ(decoded("%zz!"), std::string(1, (char)hex_pair_value('z', 'z')) + "!");
}

TEST(CgiDecodingTest, APercentWithoutTwoFollowingCharactersStays) {
    EXPECT_EQ(decoded("%"), "%");
    EXPECT_EQ(decoded("ab%4"), "ab%4");
    EXPECT_EQ(decoded("%41%"), "A%");
}

// ---- Pair splitting ----

TEST_F(CgiFormTest, SplitsPairsDecodingValuesButNotNames) {
    const std::pair<const char *, Pairs> cases[] = {
        {"vesk_query=a+b%2Bc&vesk%5Fpage=%32", {{"vesk_query", "a b+c"}, {"vesk%5Fpage", "2"}}},
        {"a&b=c", {{"a&b", "c"}}},
        {"a=b=c", {{"a", "b"}, {"b", "c"}}},  // the last value is searched again
        {"q=x%3Dy", {{"q", "x"}, {"x", "y"}}},
        {"a=b=c&d=e", {{"a", "b=c"}, {"d", "e"}}},
        {"a=1&flag", {{"a", "1"}}},
        {"=v&a=&&=", {{"", "v"}, {"a", ""}, {"&", ""}}},
        {"a=1%&b=%4", {{"a", "1%"}, {"b", "%4"}}},
    };
    for (const auto &c : cases) {
        get(c.first);
        EXPECT_EQ(pairs(), c.second) << c.first;
        cgi_form_free(g_cgi_form);
        g_cgi_form = nullptr;
    }
}

// ---- Typed lookups ----

TEST_F(CgiFormTest, FindFirstRewindsAndFindNextContinues) {
    get("x=1&y=9&x=2&X=3");
    EXPECT_STREQ(cgi_find_first(g_cgi_form, "x"), "1");
    EXPECT_STREQ(cgi_find_next(g_cgi_form, "x"), "2");
    EXPECT_EQ(cgi_find_next(g_cgi_form, "x"), nullptr);
    EXPECT_STREQ(cgi_find_first(g_cgi_form, "x"), "1");
    EXPECT_STREQ(cgi_find_first(g_cgi_form, "X"), "3");
    EXPECT_EQ(cgi_find_first(nullptr, "x"), nullptr);
}

TEST_F(CgiFormTest, FormStringCutsAtMax) {
    get("d=2024-01-01&long=2024-01-01x");
    char out[11];
    EXPECT_EQ(cgi_form_string("d", out, 10), CGI_OK);
    EXPECT_STREQ(out, "2024-01-01");
    EXPECT_EQ(cgi_form_string("long", out, 10), CGI_TRUNCATED);
    EXPECT_STREQ(out, "2024-01-01");
    EXPECT_EQ(cgi_form_string("none", out, 10), CGI_NOT_SUBMITTED);
    EXPECT_STREQ(out, "");
}

TEST_F(CgiFormTest, FormIntegerCodesAndSaturation) {
    get("a=+42&b=%2B7&c=-7&d=12ab&e=1&e=2&ab=ab&m=-&ms=-+7&tab=%097&empty=&sp=+++&"
        "over=2147483648&huge=99999999999999999999999&under=-2147483649");
    const struct {
        const char *name;
        int code;
        int32_t value;
    } cases[] = {
        {"a", CGI_OK, 42},
        {"b", CGI_OK, 7},
        {"c", CGI_OK, -7},
        {"d", CGI_OK, 12},
        {"e", CGI_OK, 1},
        {"ab", CGI_NOT_LEGAL, 5},
        {"m", CGI_NOT_LEGAL, 5},
        {"ms", CGI_NOT_LEGAL, 5},   // "- 7"
        {"tab", CGI_NOT_LEGAL, 5},  // only ' ' is skipped before the sign
        {"empty", CGI_NO_DATA, 5},
        {"sp", CGI_NO_DATA, 5},
        {"none", CGI_NOT_SUBMITTED, 5},
        {"over", CGI_OK, INT32_MAX},
        {"huge", CGI_OK, INT32_MAX},
        {"under", CGI_OK, INT32_MIN},
    };
    for (const auto &c : cases) {
        int32_t value = 0;
        EXPECT_EQ(cgi_form_integer(c.name, &value, 5), c.code) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
        EXPECT_EQ(g_cgi_error, c.code);
    }
}

TEST_F(CgiFormTest, IntegerMultipleFiltersAndStopsAtCapacity) {
    get("c=3&c=&c=12&c=5&c=-4&c=6&x=x");
    int32_t values[4] = {0, 0, 0, 99};
    int32_t count = 3;
    EXPECT_EQ(cgi_form_integer_multiple("c", values, &count, 10), CGI_OK);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(std::vector<int32_t>(values, values + 4), (std::vector<int32_t>{3, 5, -4, 99}));
    count = 3;
    EXPECT_EQ(cgi_form_integer_multiple("x", values, &count, 10), CGI_OK);  // no digit check
    EXPECT_EQ(count, 1);
    EXPECT_EQ(values[0], 0);
}

TEST_F(CgiFormTest, IntegerMultipleFailuresKeepCountAndValues) {
    get("big=12&big=3&empty=&empty=1&a=1");
    int32_t values[2] = {7, 7};
    int32_t count = 2;
    EXPECT_EQ(cgi_form_integer_multiple("big", values, &count, 10), CGI_NO_DATA);
    EXPECT_EQ(cgi_form_integer_multiple("empty", values, &count, 10), CGI_NO_DATA);
    EXPECT_EQ(cgi_form_integer_multiple("none", values, &count, 10), CGI_NOT_SUBMITTED);
    EXPECT_EQ(count, 2);
    int32_t no_room = 0;
    values[0] = 7;
    EXPECT_EQ(cgi_form_integer_multiple("a", values, &no_room, 0), CGI_TRUNCATED);
    EXPECT_EQ(values[0], 7);  // nothing written without room
}

// ---- Building the form from the environment ----

TEST_F(CgiFormTest, GetWithoutQueryStringIsAnEmptyForm) {
    setenv("REQUEST_METHOD", "GET", 1);
    g_cgi_form = cgi_form_create();
    ASSERT_NE(g_cgi_form, nullptr);
    EXPECT_EQ(g_cgi_form->first, nullptr);
    char out[4];
    EXPECT_EQ(cgi_form_string("vesk_query", out, 3), CGI_NOT_SUBMITTED);
}

TEST_F(CgiFormTest, OnlyExactGetAndPostAreAccepted) {
    for (const char *method : {"get", "HEAD", "post", ""}) {
        setenv("REQUEST_METHOD", method, 1);
        EXPECT_EQ(cgi_form_create(), nullptr) << method;
        EXPECT_EQ(g_cgi_error, CGI_REQUEST_METHOD);
    }
    unsetenv("REQUEST_METHOD");
    EXPECT_EQ(cgi_form_create(), nullptr);
    EXPECT_STREQ(cgi_error_text(), "Request method error");
    set_cgi_error(-1);
    EXPECT_STREQ(cgi_error_text(), "");
}

TEST_F(CgiFormTest, PostReadsContentLengthBytesOfTheBodyOnly) {
    setenv("QUERY_STRING", "q=ignored", 1);
    ASSERT_NE(post("a=1&b=x+y&c=3", "  +9xyz"), nullptr);
    EXPECT_EQ(pairs(), (Pairs{{"a", "1"}, {"b", "x y"}}));
    cgi_form_free(g_cgi_form);
    ASSERT_NE(post(std::string("a=1\0b=2", 7), "7"), nullptr);  // a NUL ends the form
    EXPECT_EQ(pairs(), (Pairs{{"a", "1"}}));
}

TEST_F(CgiFormTest, PostNeedsTheExactContentType) {
    set_stdin("a=1");
    setenv("REQUEST_METHOD", "POST", 1);
    setenv("CONTENT_LENGTH", "3", 1);
    setenv("CONTENT_TYPE", "application/x-www-form-urlencoded; charset=UTF-8", 1);
    EXPECT_EQ(cgi_form_create(), nullptr);
    EXPECT_STREQ(cgi_error_text(), "MIME content type error");
}

TEST_F(CgiFormTest, PostContentLengthOutcomes) {
    const std::string too_big = std::to_string(kMaxPostBodyLength + 1);
    const struct {
        const char *length;
        int code;  // CGI_OK: an empty form
    } cases[] = {
        {nullptr, CGI_OK},
        {"", CGI_OK},
        {"abc", CGI_OK},
        {"-0", CGI_OK},
        {"4", CGI_IO},
        {"-1", CGI_NO_MEMORY},
        {" -5", CGI_NO_MEMORY},
        {too_big.c_str(), CGI_NO_MEMORY},
        {"4294967299", CGI_NO_MEMORY},
        {"99999999999999999999", CGI_NO_MEMORY},
    };
    for (const auto &c : cases) {
        const char *label = c.length ? c.length : "(unset)";
        CgiForm *form = post("a=1", c.length);
        EXPECT_EQ(g_cgi_error, c.code) << label;
        if (c.code == CGI_OK) {
            ASSERT_NE(form, nullptr) << label;
            EXPECT_EQ(form->first, nullptr) << label;
        } else {
            EXPECT_EQ(form, nullptr) << label;
        }
        cgi_form_free(form);
        g_cgi_form = nullptr;
    }
}

TEST_F(CgiFormTest, PostAcceptsTheLargestBody) {
    std::string body = "a=" + std::string(kMaxPostBodyLength - 2, 'x');
    ASSERT_NE(post(body, std::to_string(kMaxPostBodyLength).c_str()), nullptr);
    EXPECT_EQ(strlen(cgi_find_first(g_cgi_form, "a")), (size_t)kMaxPostBodyLength - 2);
}

}  // namespace
