// End to end behind real web servers: lighttpd, Apache, nginx with fcgiwrap
// and busybox httpd, each with the README's set-up of tests/e2e/servers/, run
// the program from their CGI folder, and a socket client sends the requests.
// Each server runs in the foreground on 127.0.0.1 and is stopped by its
// process id.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace {

using testsupport::fill;
using testsupport::HttpResponse;
using testsupport::Server;

const char kTemplate[] =
    "<html><head><title>@TITLE@</title></head>\n"
    "<body>\n"
    "<!--VESKSEARCH-->\n"
    "</body></html>\n";

// The indexes of a test, each with its own title to tell which answered.
struct Index {
    const char *folder;  // under the test's root
    const char *title;
};
// The index the server names in SITEQUERY_INDEX.
const Index kNamed = {"index", "Index named by the server"};
// The index a wrapper names with /I.
const Index kGiven = {"given", "Index given with /I"};
// The index beside the program in the CGI folder, which it reads when nothing
// names another.
const Index kBeside = {"www/cgi-bin", "Index beside the program"};

// The CGI programs of cgi-bin: the program itself, installed under its own
// name, and a wrapper script running it with /I.
const char kProgram[] = "sitequery";
const char kWrapper[] = "wrapped";

class WebServerE2E : public ::testing::TestWithParam<Server> {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("webserver");
        // A server started as root serves as another user: all must be readable.
        chmod(root_.c_str(), 0755);
        for (const char *dir : {"www", "www/cgi-bin", "logs"}) make_dir(root_ + "/" + dir);
        for (const Index &index : {kNamed, kGiven, kBeside}) write_index(index);
        // Settings that fail to load, should a request ever reach them.
        make_dir(root_ + "/other");
        put(root_ + "/other", "settings.vdat", "FormFormat = 1\n", 0644);
        put(root_ + "/other", "search_template.html", fill(kTemplate, {{"TITLE", "Other"}}), 0644);

        program_ = testsupport::copy_program(root_);
        put(cgi_dir(), kProgram, testsupport::cgi_program_file(program_), 0755);
        put_wrapper(kWrapper, root_ + "/" + kGiven.folder);
    }

    void TearDown() override { testsupport::finish_server_test(server_, root_); }

    // A script of cgi-bin that runs the program with /I index.
    void put_wrapper(const std::string &name, const std::string &index) {
        put_script(name, testsupport::program_command(program_, "/I '" + index + "' \"$@\""));
    }

    std::string cgi_dir() const { return root_ + "/www/cgi-bin"; }
    void make_dir(const std::string &path) {
        mkdir(path.c_str(), 0755);
        chmod(path.c_str(), 0755);
    }
    void put(const std::string &dir, const std::string &name, const std::string &bytes,
             mode_t mode) {
        testsupport::write_file(dir, name, bytes);
        chmod((dir + "/" + name).c_str(), mode);
    }
    void put_script(const std::string &name, const std::string &command) {
        put(cgi_dir(), name, "#!/bin/sh\n" + command + "\n", 0755);
    }
    void write_index(const Index &index) {
        const std::string dir = root_ + "/" + index.folder;
        make_dir(dir);
        testsupport::SettingsSpec spec = testsupport::default_settings();
        spec.set("FormFormat", 1).set_text("Charset", "UTF-8");
        put(dir, "settings.vdat", testsupport::settings_text(spec), 0644);
        put(dir, "search_template.html", fill(kTemplate, {{"TITLE", index.title}}), 0644);
    }

    bool start() { return testsupport::start_server(GetParam(), server_, {root_}); }

    // The index that answers for a program of cgi-bin: busybox httpd names
    // none, so the program reads the one beside it.
    const Index &index_of(const std::string &script) const {
        if (script == kWrapper) return kGiven;
        return GetParam() == Server::kBusybox ? kBeside : kNamed;
    }

    HttpResponse fetch(const std::string &target, const char *body = nullptr) {
        return testsupport::fetch(server_.port(), target, body);
    }

    // The body of the page the program writes, run directly on index, for a
    // GET request with query_string.
    std::string direct_page(const Index &index, const std::string &query_string = "") {
        testsupport::CgiResponse response = testsupport::run_cgi(
            testsupport::get_request(root_ + "/" + index.folder, query_string));
        EXPECT_EQ(response.err, "");
        size_t body = response.out.find("\n\n");
        EXPECT_NE(response.out.find(index.title), std::string::npos) << response.out;
        return body == std::string::npos ? "" : response.out.substr(body + 2);
    }

    // What a CGI program of cgi-bin answers through the server.
    void expect_answers(const std::string &script) {
        SCOPED_TRACE(script);
        const Index &index = index_of(script);
        const std::string url = "/cgi-bin/" + script;
        const std::string title = std::string("<title>") + index.title + "</title>";
        const size_t npos = std::string::npos;

        // The search box echoes the query, escaped.
        HttpResponse get = fetch(url + "?vesk_query=a%3Cb+%22x%22");
        EXPECT_EQ(get.status, 200) << get.raw;
        EXPECT_EQ(get.headers["content-type"], "text/html; charset=UTF-8") << get.raw;
        EXPECT_NE(get.body.find(title), npos) << get.raw;
        EXPECT_NE(get.body.find("name=\"vesk_query\" size=\"20\" value=\"a&#60;b &#34;x&#34;\""),
                  npos)
            << get.raw;

        // A form-encoded POST body is the request.
        HttpResponse post = fetch(url, "vesk_query=fish+%26+chips");
        EXPECT_EQ(post.status, 200) << post.raw;
        EXPECT_NE(post.body.find(title), npos) << post.raw;
        EXPECT_NE(post.body.find("value=\"fish &#38; chips\""), npos) << post.raw;

        // Without a query: the very page the program writes run directly.
        HttpResponse empty = fetch(url);
        EXPECT_EQ(empty.status, 200) << empty.raw;
        EXPECT_EQ(empty.headers["content-type"], "text/html; charset=UTF-8") << empty.raw;
        EXPECT_EQ(empty.body, direct_page(index));

        HttpResponse xml = fetch(url + "?vesk_xml=1&vesk_query=bee");
        EXPECT_EQ(xml.status, 200) << xml.raw;
        EXPECT_EQ(xml.headers["content-type"], "text/xml; charset=UTF-8") << xml.raw;
        EXPECT_EQ(xml.body.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << xml.raw;
    }

    std::string root_, program_;
    testsupport::TestServer server_;
};

// The program installed under its own name reads the index the server names
// (busybox httpd: the one beside it); a wrapper's /I wins over that name.
TEST_P(WebServerE2E, RunsTheProgramAndAWrapper) {
    ASSERT_TRUE(start()) << testsupport::server_logs(root_);
    expect_answers(kProgram);
    expect_answers(kWrapper);
}

// A query string without "=" (which Apache passes on as command-line words)
// answers the ordinary page of that request, from the index of the set-up.
TEST_P(WebServerE2E, QueryWithoutEqualsSignAnswersTheOrdinaryPage) {
    ASSERT_TRUE(start()) << testsupport::server_logs(root_);
    for (const char *script : {kProgram, kWrapper}) {
        for (const char *query : {"honey", "honey+bee", "vesk_query"}) {
            SCOPED_TRACE(std::string(script) + "?" + query);
            HttpResponse response = fetch(std::string("/cgi-bin/") + script + "?" + query);
            EXPECT_EQ(response.status, 200) << response.raw;
            EXPECT_EQ(response.body, direct_page(index_of(script), query));
        }
    }
}

// A visitor cannot choose the index: not with a header named like the
// variable (servers pass headers as HTTP_*), nor with query words that spell
// /I (Apache passes them as command-line words).
TEST_P(WebServerE2E, VisitorsCannotChooseTheIndex) {
    put_script("arguments",
               "printf 'Content-type: text/plain\\n\\n'; for a in \"$@\"; do printf '[%s]' "
               "\"$a\"; done");
    ASSERT_TRUE(start()) << testsupport::server_logs(root_);
    const std::string other = root_ + "/other";
    if (GetParam() == Server::kApache) {
        // Apache does pass the words as arguments (else the rest proves less).
        EXPECT_EQ(fetch("/cgi-bin/arguments?/I+" + other).body, "[/I][" + other + "]");
        EXPECT_EQ(fetch("/cgi-bin/arguments?%2Fi+" + other + "+x").body, "[/i][" + other + "][x]");
    }
    for (const char *script : {kProgram, kWrapper}) {
        SCOPED_TRACE(script);
        const std::string url = std::string("/cgi-bin/") + script;
        const std::string page = direct_page(index_of(script));
        for (const std::string &query : {"/I+" + other, "%2Fi+" + other + "+x", "x+/I+" + other}) {
            HttpResponse response = fetch(url + "?" + query);
            EXPECT_EQ(response.status, 200) << query << "\n" << response.raw;
            EXPECT_EQ(response.body, direct_page(index_of(script), query)) << query;
        }
        HttpResponse hyphen =
            testsupport::get(server_.port(), url, "Sitequery-Index: " + other + "\r\n");
        EXPECT_EQ(hyphen.status, 200) << hyphen.raw;
        EXPECT_EQ(hyphen.body, page);
        // A server may refuse the underscore in a header name; if it answers,
        // the answer is the ordinary page.
        HttpResponse underscore =
            testsupport::get(server_.port(), url, "SITEQUERY_INDEX: " + other + "\r\n");
        if (underscore.status == 200) {
            EXPECT_EQ(underscore.body, page);
        }
    }
}

// Many searches at once, each appending its line to the index's one search
// log: the log ends with exactly one whole line per search, ended by CR LF,
// and every answer is the whole page.
TEST_P(WebServerE2E, ConcurrentSearchesShareOneLog) {
    constexpr int kSearches = 200, kClients = 8;
    const std::string index = root_ + "/search";
    make_dir(index);
    testsupport::IndexSpec spec;
    spec.template_text =
        "<html><body>\n<!--VESK_SHOW_HEADING-->\n<!--VESK_SHOW_RESULTS-->\n"
        "</body></html>\n";
    spec.settings.set_text("Charset", "UTF-8").set("Logging", 1).set("MaxMatches", 1000);
    for (int i = 0; i < 30; i++) {
        testsupport::PageSpec page;
        page.url = "page" + std::to_string(i) + ".html";
        page.title = "Bees " + std::to_string(i);
        page.words = testsupport::split_words("Bees make honey; page " + std::to_string(i));
        spec.pages.push_back(page);
    }
    testsupport::write_index(index, spec);
    // Whoever the server runs the program as may append to the log.
    make_dir(index + "/logs");
    chmod((index + "/logs").c_str(), 0777);
    const std::string log = index + "/logs/searchwords.log";

    // The answer of search 0 run directly; search n answers the same with its own query.
    testsupport::CgiResponse direct =
        testsupport::run_cgi(testsupport::get_request(index, "vesk_query=bees+q0"));
    const std::string page0 = direct.out.substr(direct.out.find("\n\n") + 2);
    ASSERT_NE(page0.find("</body></html>\n"), std::string::npos) << direct.out;
    unlink(log.c_str());

    put_wrapper("searching", index);
    ASSERT_TRUE(start()) << testsupport::server_logs(root_);
    std::vector<HttpResponse> answers(kSearches);
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; c++)
        clients.emplace_back([&, c] {
            for (int n = c; n < kSearches; n += kClients)
                answers[n] = fetch("/cgi-bin/searching?vesk_query=bees+q" + std::to_string(n));
        });
    for (std::thread &client : clients) client.join();

    for (int n = 0; n < kSearches; n++) {
        const std::string query = "q" + std::to_string(n);
        EXPECT_EQ(answers[n].status, 200) << query << "\n" << answers[n].raw;
        EXPECT_EQ(answers[n].body, std::regex_replace(page0, std::regex("q0\\b"), query)) << query;
    }

    const std::string text = testsupport::read_file(log);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::regex line(
        "\\d{4}-\\d{2}-\\d{2}, \\d{2}:\\d{2}:\\d{2}, 127\\.0\\.0\\.1, \"bees q(\\d+)\", Matches = "
        "30, "
        "OR, PerPage = 10, PageNum = 0, No cats, Time = \\d+\\.\\d{3}, Rec = 0");
    std::set<int> logged;
    int lines = 0;
    for (size_t start = 0, end; start < text.size(); start = end + 2, lines++) {
        end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        const std::string one = text.substr(start, end - start);
        std::smatch match;
        if (std::regex_match(one, match, line))
            logged.insert(std::stoi(match[1]));
        else
            ADD_FAILURE() << "damaged line: " << one;
    }
    EXPECT_EQ(lines, kSearches);
    EXPECT_EQ(logged.size(), (size_t)kSearches);
}

INSTANTIATE_TEST_SUITE_P(Servers, WebServerE2E,
                         ::testing::Values(Server::kLighttpd, Server::kApache, Server::kNginx,
                                           Server::kBusybox),
                         [](const ::testing::TestParamInfo<Server> &info) {
                             return std::string(testsupport::server_name(info.param));
                         });

}  // namespace
