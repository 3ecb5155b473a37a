// End to end through the real binary: the search time on the page and the
// line each search appends to the search log. The date-time and the elapsed
// time of a line are checked against the clock (the program runs with a fixed
// TZ five hours east of UTC); everything else byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "support/index_files.h"
#include "support/run_program.h"

using testsupport::CgiRequest;
using testsupport::CgiResponse;
using testsupport::IndexSpec;
using testsupport::PageSpec;

namespace {

const char kTemplate[] = "<html><body>\ntime{<!--VESK_SHOW_SEARCHTIME-->}\n</body></html>\n";
const char kZone[] = "XYZ-5";             // the program's local time: UTC + 5 hours
constexpr time_t kZoneOffset = 5 * 3600;  // seconds east of UTC
const char kLogDir[] = "logs";
const char kLogName[] = "logs/searchwords.log";  // where the default LogFileName leads
const char kTimePattern[] = "\\d+\\.\\d{3}";     // a time as the page and the log show it
const char kNotFound[] =
    "Check that you specified the correct log filename in your Indexer settings.<br />";

// Three pages that hold the word red and the phrase big box.
IndexSpec log_index() {
    IndexSpec spec;
    spec.template_text = kTemplate;
    spec.settings.set_text("Charset", "UTF-8")
        .set("Logging", 1)
        .set("MaxMatches", 1000)
        .set("MaxContextSeeks", 1000);
    for (int i = 0; i < 3; i++) {
        PageSpec page;
        page.url = "page" + std::to_string(i) + ".html";
        page.title = "Page";
        page.words = testsupport::split_words("a red and big box");
        spec.pages.push_back(page);
    }
    spec.pages.push_back(spec.pages[0]);
    spec.pages[3].words = testsupport::split_words("green");
    return spec;
}

// What one run left: its answer, its log line (the log is emptied before each
// run) and the clock around it.
struct LoggedRun {
    std::string out, log;
    time_t started, ended;
    double wall;  // seconds the run took
};

double seconds_now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

class SearchLogE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("searchlog");
        mkdir((dir_ + "/" + kLogDir).c_str(), 0755);
    }
    void TearDown() override {
        chmod((dir_ + "/" + kLogDir).c_str(), 0755);
        testsupport::remove_tree(dir_);
    }
    LoggedRun run(const std::string &query_string, const std::string &remote_addr = "10.0.0.5") {
        testsupport::write_index(dir_, spec_);
        unlink(log_path().c_str());
        CgiRequest request = testsupport::get_request(dir_, query_string);
        request.remote_addr = remote_addr;
        request.extra_env["TZ"] = kZone;
        LoggedRun result;
        result.started = time(nullptr);
        const double start = seconds_now();
        CgiResponse response = testsupport::run_cgi(request);
        result.wall = seconds_now() - start;
        result.ended = time(nullptr);
        EXPECT_FALSE(response.timed_out);
        EXPECT_EQ(response.err, "");
        EXPECT_EQ(response.exit_code, 0);
        result.out = response.out;
        result.log = testsupport::read_file(log_path());
        return result;
    }
    std::string log_path() const { return dir_ + "/" + kLogName; }

    // Checks the line's date-time and elapsed time against the run's clock and
    // returns the line with them replaced by "<date-time>" and "<time>".
    std::string masked(const LoggedRun &r) {
        static const std::regex head("^(\\d{4})-(\\d{2})-(\\d{2}), (\\d{2}):(\\d{2}):(\\d{2}), ");
        std::smatch date;
        if (!std::regex_search(r.log, date, head)) return "<no date-time>" + r.log;
        struct tm fields = {};
        fields.tm_year = std::stoi(date[1]) - 1900;
        fields.tm_mon = std::stoi(date[2]) - 1;
        fields.tm_mday = std::stoi(date[3]);
        fields.tm_hour = std::stoi(date[4]);
        fields.tm_min = std::stoi(date[5]);
        fields.tm_sec = std::stoi(date[6]);
        const time_t logged = timegm(&fields) - kZoneOffset;
        EXPECT_GE(logged, r.started);
        EXPECT_LE(logged, r.ended);
        std::string rest = "<date-time>, " + r.log.substr(date.length(0));
        const std::regex elapsed(std::string(", Time = (") + kTimePattern + "), ");
        std::smatch time;
        if (!std::regex_search(rest, time, elapsed)) return "<no time>" + rest;
        const double seconds = std::stod(time[1]);
        EXPECT_GE(seconds, 0.0);
        EXPECT_LE(seconds, r.wall + 0.0005);
        return time.prefix().str() + ", Time = <time>, " + time.suffix().str();
    }
    std::string dir_;
    IndexSpec spec_ = log_index();
};

struct LineCase {
    const char *name;
    const char *query_string;
    std::string line;  // the expected line, date-time and time masked
    std::function<void(IndexSpec &)> change;
    std::string remote_addr = "10.0.0.5";
};

TEST_F(SearchLogE2E, OneLinePerSearch) {
    const auto cats = [](IndexSpec &s) {
        s.categories = {"News", "Sport", "Say \"hi\""};
        s.pages[0].categories = {0, 1, 2};
    };
    const LineCase cases[] = {
        {"a word and a phrase, all words, no page number",
         "vesk_query=red+%22big+box%22&vesk_and=1",
         "<date-time>, 10.0.0.5, \"red \"\"big box\"\"\", Matches = 3, AND, PerPage = 10, "
         "PageNum = 0, No cats, Time = <time>, Rec = 0\r\n",
         [](IndexSpec &s) { s.settings.set("AllowExactPhrase", 1); }},
        {"any word, page number and results per page given",
         "vesk_query=green&vesk_page=1&vesk_per_page=20",
         "<date-time>, 10.0.0.5, \"green\", Matches = 1, OR, PerPage = 20, PageNum = 1, No cats, "
         "Time = <time>, Rec = 0\r\n",
         nullptr},
        {"no match", "vesk_query=blue",
         "<date-time>, 10.0.0.5, \"blue\", Matches = 0, OR, PerPage = 10, PageNum = 0, No cats, "
         "Time = <time>, Rec = 0\r\n",
         nullptr},
        {"all categories", "vesk_query=red",
         "<date-time>, 10.0.0.5, \"red\", Matches = 3, OR, PerPage = 10, PageNum = 0, "
         "\"Cat = All\", Time = <time>, Rec = 0\r\n",
         cats},
        {"two categories by name, in request order", "vesk_query=red&vesk_cat[]=1&vesk_cat[]=0",
         "<date-time>, 10.0.0.5, \"red\", Matches = 1, OR, PerPage = 10, PageNum = 0, "
         "\"Cat = Sport; News\", Time = <time>, Rec = 0\r\n",
         cats},
        {"a quote in a category name is doubled", "vesk_query=red&vesk_cat[]=2",
         "<date-time>, 10.0.0.5, \"red\", Matches = 1, OR, PerPage = 10, PageNum = 0, "
         "\"Cat = Say \"\"hi\"\"\", Time = <time>, Rec = 0\r\n",
         cats},
        {"a category number outside the index is left out",
         "vesk_query=red&vesk_cat[]=3&vesk_cat[]=1&vesk_cat[]=-4",
         "<date-time>, 10.0.0.5, \"red\", Matches = 1, OR, PerPage = 10, PageNum = 0, "
         "\"Cat = Sport\", Time = <time>, Rec = 0\r\n",
         cats},
        {"recommended links shown", "vesk_query=red",
         "<date-time>, 10.0.0.5, \"red\", Matches = 3, OR, PerPage = 10, PageNum = 0, No cats, "
         "Time = <time>, Rec = 2\r\n",
         [](IndexSpec &s) {
             s.recommended = {{"red", 0}, {"green", 3}, {"red", 2}};
             s.settings.set("RecommendedMax", 5);
         }},
        {"meta fields alone: an empty query", "vesk_query=&colour=1",
         "<date-time>, 10.0.0.5, \"\", Matches = 1, OR, PerPage = 10, PageNum = 0, No cats, "
         "Time = <time>, Rec = 0\r\n",
         [](IndexSpec &s) {
             s.meta_fields = {testsupport::MetaFieldSpec{
                 2, "colour", "Colour", "Colour", 0, {"red", "green"}, -1}};
             s.pages[1].meta = {testsupport::MetaValueSpec::of_option(1)};
         }},
        {"a line feed in the query or the address forges no second line",
         "vesk_query=red%0D%0Afake+line",
         "<date-time>, 10.0.0.5  x, \"red  fake line\", Matches = 0, OR, PerPage = 10, "
         "PageNum = 0, No cats, Time = <time>, Rec = 0\r\n",
         nullptr, "10.0.0.5\n\tx"},
        {"UTF-8: a line feed after a lead byte is no part of its character",
         "vesk_query=red%C3%0Afake%E2%82%0Dx",
         "<date-time>, 10.0.0.5, \"red\xC3 fake\xE2\x82 x\", Matches = 0, OR, PerPage = 10, "
         "PageNum = 0, No cats, Time = <time>, Rec = 0\r\n",
         [](IndexSpec &s) { s.settings.set("UseUTF8", 1); }},
    };
    for (const LineCase &test : cases) {
        SCOPED_TRACE(test.name);
        spec_ = log_index();
        if (test.change) test.change(spec_);
        const LoggedRun r = run(test.query_string, test.remote_addr);
        EXPECT_EQ(masked(r), test.line);
    }
}

// The time is measured once: the page shows the time the log line carries.
TEST_F(SearchLogE2E, PageAndLogShowOneTime) {
    spec_.settings.set("Timing", 1);
    const LoggedRun r = run("vesk_query=red");
    const std::regex shown(
        std::string("time\\{<div class=\"searchtime\"><br /><br />Search took: (") + kTimePattern +
        ") seconds</div>\n\\}");
    std::smatch page, log;
    ASSERT_TRUE(std::regex_search(r.out, page, shown)) << r.out;
    ASSERT_TRUE(
        std::regex_search(r.log, log, std::regex(std::string("Time = (") + kTimePattern + ")")));
    EXPECT_EQ(page[1], log[1]);

    const LoggedRun xml = run("vesk_query=red&vesk_xml=1");
    ASSERT_TRUE(std::regex_search(
        xml.out, page,
        std::regex(std::string("\n<vesk:searchtime>(") + kTimePattern + ")</vesk:searchtime>\n")))
        << xml.out;
    ASSERT_TRUE(
        std::regex_search(xml.log, log, std::regex(std::string("Time = (") + kTimePattern + ")")));
    EXPECT_EQ(page[1], log[1]);

    spec_.settings.set("Timing", 0);
    const LoggedRun untimed = run("vesk_query=red");
    EXPECT_NE(untimed.out.find("time{}"), std::string::npos) << untimed.out;
    EXPECT_NE(masked(untimed).find("Time = <time>, "), std::string::npos);
}

// Searches that end before the search time write no line; a search on meta
// fields alone is logged with an empty query.
TEST_F(SearchLogE2E, OnlyFinishedSearchesAreLogged) {
    EXPECT_EQ(run("vesk_query=").log, "");
    EXPECT_EQ(run("vesk_query=red&vesk_page=500").log, "");
    spec_.settings.set("Logging", 0);
    EXPECT_EQ(run("vesk_query=red").log, "");
}

// A query too long to quote is logged cut, never inside a character or
// between the two quotes of a doubled quote; so is a line too long for the log.
TEST_F(SearchLogE2E, LongQueryAndLongLineAreCutAtACharacter) {
    spec_.settings.set("AllowExactPhrase", 1).set("UseUTF8", 1);
    std::string accents, encoded;
    for (int i = 0; i < 1041; i++) {
        accents += "\xC3\xA9";
        encoded += "%C3%A9";
    }
    const LoggedRun quoted = run("vesk_query=a%22" + encoded);
    EXPECT_NE(quoted.log.find(", \"a\"\"" + accents.substr(0, 2080) + "\", Matches = 0"),
              std::string::npos)
        << quoted.log;

    spec_ = log_index();
    spec_.settings.set("UseUTF8", 1);
    spec_.categories.clear();
    std::string cats;
    for (int i = 0; i < 6; i++) {
        spec_.categories.push_back(std::to_string(i) + accents.substr(0, 1990));
        cats += "&vesk_cat[]=" + std::to_string(i);
    }
    const LoggedRun cut = run("vesk_query=red" + cats);
    ASSERT_GT(cut.log.size(), 2u);
    EXPECT_LE(cut.log.size(), 8319u);
    EXPECT_GE(cut.log.size(), 8318u);  // at most one byte of an accent left out
    EXPECT_EQ(cut.log.substr(cut.log.size() - 2), "\r\n");
    const std::string body = cut.log.substr(0, cut.log.size() - 2);
    EXPECT_EQ(body.find('\n'), std::string::npos);
    const size_t names = body.find("\"Cat = 0");
    ASSERT_NE(names, std::string::npos) << body;
    // Every accent whole: the names part is whole accents and the separators.
    std::string rest =
        std::regex_replace(body.substr(names + 7), std::regex("\xC3\xA9|; |[0-9]"), "");
    EXPECT_EQ(rest, "");
}

struct FailureCase {
    const char *name;
    std::string log_file_name;  // LogFileName
    std::string opened;         // the path in the message, below the index directory when relative
    std::string text;           // the error text before the message
    bool needs_non_root = false;  // permissions do not stop root
};

// A log that cannot be opened costs the search only its message, printed at
// once (before the page in HTML, inside <vesk:error> in XML).
TEST_F(SearchLogE2E, LogThatCannotBeOpened) {
    testsupport::write_file(dir_, "plainfile", "x");
    const FailureCase cases[] = {
        {"a missing folder", ".//nowhere//searchwords.log", "/.//nowhere//searchwords.log",
         "No such file or directory. "},
        {"backslashes separate folders", "nowhere\\search.log", "/nowhere/search.log",
         "No such file or directory. "},
        {"a drive path is taken as it is", "C:\\nowhere\\search.log", "C:/nowhere/search.log",
         "No such file or directory. "},
        {"a file where a folder should be", "plainfile/search.log", "/plainfile/search.log",
         "Unknown file error: 20. "},
        {"a folder without write permission", "locked/search.log", "/locked/search.log",
         "Permission denied. ", true},
    };
    mkdir((dir_ + "/locked").c_str(), 0500);
    for (const FailureCase &test : cases) {
        SCOPED_TRACE(test.name);
        if (test.needs_non_root && geteuid() == 0) continue;
        spec_.settings.set_text("LogFileName", test.log_file_name);
        const std::string path = test.opened[0] == '/' ? dir_ + test.opened : test.opened;
        const std::string message =
            test.text + "Log filename and path not found (" + path + "). " + kNotFound;
        const LoggedRun html = run("vesk_query=red");
        EXPECT_NE(html.out.find("\n\n" + message + "<html><body>\ntime{}"), std::string::npos)
            << html.out;
        const LoggedRun xml = run("vesk_query=red&vesk_xml=1");
        EXPECT_NE(xml.out.find("<vesk:error>" + message + "</vesk:error>\n</channel>"),
                  std::string::npos)
            << xml.out;
        EXPECT_EQ(testsupport::xml_errors(dir_, xml.out.substr(xml.out.find("\n\n") + 2)), "");
    }
}

// LogFileName with a backslash and no drive: a folder below the index directory.
TEST_F(SearchLogE2E, BackslashNameIsAFolderBelowTheIndex) {
    spec_.settings.set_text("LogFileName", "logs\\other.log");
    run("vesk_query=red");
    const std::string line = testsupport::read_file(dir_ + "/logs/other.log");
    EXPECT_NE(line.find(", \"red\", Matches = 3, OR"), std::string::npos) << line;
}

}  // namespace
