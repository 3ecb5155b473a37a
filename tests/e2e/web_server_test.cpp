// End to end behind real web servers: lighttpd, busybox httpd and Apache, with
// the configurations of tests/e2e/servers/, run the program as a CGI program
// from a cgi-bin folder, and curl sends the requests. Each server runs in the
// foreground on 127.0.0.1 and is stopped by its process id.
#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace {

using testsupport::fill;
using testsupport::find_program;
using testsupport::HttpResponse;
using testsupport::kServersDir;
using testsupport::sanitizer_settings;

const char kTemplate[] =
    "<html><head><title>@TITLE@</title></head>\n"
    "<body>\n"
    "<!--VESKSEARCH-->\n"
    "</body></html>\n";

// The two CGI programs of cgi-bin: the program beside its index (which it
// finds from its own path), and a wrapper script naming another index with /I.
struct Script {
    const char *name;
    const char *title;  // of the index's template, to tell which index answered
};
const Script kBeside = {"sitequery", "Index beside the program"};
const Script kWrapped = {"wrapped", "Index given with /I"};

class WebServerE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("webserver");
        // A server started as root serves as another user: all must be readable.
        chmod(root_.c_str(), 0755);
        for (const char *dir : {"www", "www/cgi-bin", "index", "other", "bin", "logs", "apache"})
            make_dir(root_ + "/" + dir);
        write_index(cgi_dir(), kBeside.title);
        write_index(root_ + "/index", kWrapped.title);
        // Settings that fail to load, should a request ever reach them.
        put(root_ + "/other", "settings.vdat", "FormFormat = 1\n", 0644);
        put(root_ + "/other", "search_template.html", fill(kTemplate, {{"TITLE", "Other"}}), 0644);

        std::string program = root_ + "/bin/sitequery";
        put(root_ + "/bin", "sitequery", testsupport::read_file(testsupport::program_path()), 0755);
#ifdef SITEQUERY_EMULATOR
        // The emulator runs the program under the script's own path, and with /I.
        put_script(kBeside.name, std::string("exec '") + SITEQUERY_EMULATOR + "' -0 \"$0\" '" +
                                     program + "' \"$@\"");
#else
        put(cgi_dir(), kBeside.name, testsupport::read_file(program), 0755);
#endif
        put_wrapper(kWrapped.name, root_ + "/index");
    }

    // A script of cgi-bin that runs the program with /I index.
    void put_wrapper(const std::string &name, const std::string &index) {
        std::string run = "exec ";
#ifdef SITEQUERY_EMULATOR
        run += std::string("'") + SITEQUERY_EMULATOR + "' ";
#endif
        put_script(name, run + "'" + root_ + "/bin/sitequery' /I '" + index + "' \"$@\"");
    }

    void TearDown() override {
        stop_server();
        std::string log = logs();
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
        testsupport::remove_tree(root_);
    }

    std::string cgi_dir() const {
        return root_ + "/www/cgi-bin";
    }

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
    void write_index(const std::string &dir, const std::string &title) {
        testsupport::SettingsSpec spec = testsupport::default_settings();
        spec.set("FormFormat", 1).set_text("Charset", "UTF-8");
        put(dir, "settings.vdat", testsupport::settings_text(spec), 0644);
        put(dir, "search_template.html", fill(kTemplate, {{"TITLE", title}}), 0644);
    }

    // Everything the servers and the programs they ran wrote to their logs.
    std::string logs() const {
        std::string all;
        for (const char *name : {"server.out", "lighttpd-error.log", "apache2-error.log"}) {
            std::string text = testsupport::read_file(root_ + "/logs/" + name);
            if (!text.empty()) all += std::string("--- ") + name + "\n" + text;
        }
        return all;
    }

    bool start_lighttpd() {
        return testsupport::start_lighttpd(server_, root_);
    }
    bool start_server(const std::string &program,
                      const std::function<std::vector<std::string>(int)> &command) {
        return server_.start(program, command, root_ + "/logs/server.out");
    }
    void stop_server() {
        server_.stop();
    }

    bool start_busybox_httpd() {
        return start_server(find_program("busybox"), [this](int port) {
            put(root_, "httpd.conf", testsupport::read_file(kServersDir + "busybox-httpd.conf"),
                0644);
            return std::vector<std::string>{find_program("busybox"),
                                            "httpd",
                                            "-f",
                                            "-p",
                                            "127.0.0.1:" + std::to_string(port),
                                            "-h",
                                            root_ + "/www",
                                            "-c",
                                            root_ + "/httpd.conf"};
        });
    }

    bool start_apache() {
        return start_server(find_program("apache2"), [this](int port) {
            std::string user, environment;
            if (geteuid() == 0) {
                const passwd *account = getpwnam("www-data");
                if (account == nullptr) account = getpwnam("nobody");
                if (account != nullptr)
                    user = "User #" + std::to_string(account->pw_uid) + "\nGroup #" +
                           std::to_string(account->pw_gid);
            }
            for (const auto &setting : sanitizer_settings())
                environment += "PassEnv " + setting.first + "\n";
            std::string config = fill(testsupport::read_file(kServersDir + "apache2.conf"),
                                      {{"ROOT", root_},
                                       {"PORT", std::to_string(port)},
                                       {"USER", user},
                                       {"CGI_ENVIRONMENT", environment}});
            put(root_, "apache2.conf", config, 0644);
            return std::vector<std::string>{find_program("apache2"), "-X", "-f",
                                            root_ + "/apache2.conf"};
        });
    }

    // GET target, or POST body to it (form-encoded) when body is given.
    HttpResponse fetch(const std::string &target, const char *body = nullptr) {
        return testsupport::fetch(server_.port(), target, body);
    }

    // The body of the page the program writes, run directly, for a GET request
    // without a query.
    std::string direct_page(const Script &script) {
        testsupport::CgiRequest request;
        if (std::string(script.name) == kBeside.name)
            request.argv0 = cgi_dir() + "/" + script.name;
        else
            request.args = {"/I", root_ + "/index"};
        testsupport::CgiResponse response = testsupport::run_cgi(request);
        EXPECT_EQ(response.err, "");
        size_t body = response.out.find("\n\n");
        EXPECT_NE(response.out.find(script.title), std::string::npos) << response.out;
        return body == std::string::npos ? "" : response.out.substr(body + 2);
    }

    // What a CGI program of cgi-bin answers through the server.
    void expect_answers(const Script &script) {
        SCOPED_TRACE(script.name);
        std::string url = std::string("/cgi-bin/") + script.name;
        std::string title = std::string("<title>") + script.title + "</title>";
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
        EXPECT_EQ(empty.body, direct_page(script));

        HttpResponse xml = fetch(url + "?vesk_xml=1&vesk_query=bee");
        EXPECT_EQ(xml.status, 200) << xml.raw;
        EXPECT_EQ(xml.headers["content-type"], "text/xml; charset=UTF-8") << xml.raw;
        EXPECT_EQ(xml.body.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", 0), 0u) << xml.raw;
    }

    std::string root_;
    testsupport::TestServer server_;
};

TEST_F(WebServerE2E, LighttpdRunsTheProgramBesideItsIndexAndThroughAWrapper) {
    ASSERT_TRUE(start_lighttpd()) << logs();
    expect_answers(kBeside);
    expect_answers(kWrapped);
}

// busybox httpd starts a CGI program by its bare file name in its own folder.
TEST_F(WebServerE2E, BusyboxHttpdRunsTheProgramBesideItsIndexAndThroughAWrapper) {
    ASSERT_TRUE(start_busybox_httpd()) << logs();
    expect_answers(kBeside);
    expect_answers(kWrapped);
}

TEST_F(WebServerE2E, ApacheRunsTheProgramBesideItsIndexAndThroughAWrapper) {
    ASSERT_TRUE(start_apache()) << logs();
    expect_answers(kBeside);
    expect_answers(kWrapped);
}

// Apache passes a query string without "=" to a CGI program as command-line
// words, decoded: "/I <dir>" from a visitor must not choose the index.
TEST_F(WebServerE2E, ApacheQueryWordsCannotMoveTheIndexDirectory) {
    put_script("arguments",
               "printf 'Content-type: text/plain\\n\\n'; for a in \"$@\"; do printf '[%s]' "
               "\"$a\"; done");
    ASSERT_TRUE(start_apache()) << logs();
    std::string other = root_ + "/other";
    // Apache does pass the words as arguments (else the rest proves nothing).
    EXPECT_EQ(fetch("/cgi-bin/arguments?/I+" + other).body, "[/I][" + other + "]");
    EXPECT_EQ(fetch("/cgi-bin/arguments?%2Fi+" + other + "+x").body, "[/i][" + other + "][x]");

    for (const Script &script : {kBeside, kWrapped}) {
        SCOPED_TRACE(script.name);
        std::string page = direct_page(script);
        for (const std::string &query : {"/I+" + other, "%2Fi+" + other + "+x", "x+/I+" + other}) {
            HttpResponse response = fetch(std::string("/cgi-bin/") + script.name + "?" + query);
            EXPECT_EQ(response.status, 200) << query << "\n" << response.raw;
            EXPECT_EQ(response.body, page) << query;
        }
    }
}

// Many searches at once through lighttpd on one index, each appending its line
// to the index's one search log: the log ends with exactly one whole line per
// search, ended by CR LF, and every answer is the whole page.
TEST_F(WebServerE2E, LighttpdConcurrentSearchesShareOneLog) {
    constexpr int kSearches = 200;
    const std::string index = root_ + "/search", answers = root_ + "/answers";
    make_dir(index);
    make_dir(answers);
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
    ASSERT_TRUE(start_lighttpd()) << logs();
    const std::string last = std::to_string(kSearches - 1);
    testsupport::capture_output({find_program("curl"), "-sS", "--no-progress-meter", "-i",
                                 "--noproxy", "*", "--max-time", "120", "--parallel",
                                 "--parallel-immediate", "--parallel-max",
                                 std::to_string(kSearches), "-o", answers + "/#1",
                                 "http://127.0.0.1:" + std::to_string(server_.port()) +
                                     "/cgi-bin/searching?vesk_query=bees+q[0-" + last + "]"});

    for (int n = 0; n < kSearches; n++) {
        const std::string query = "q" + std::to_string(n);
        HttpResponse answer =
            testsupport::parse_response(testsupport::read_file(answers + "/" + std::to_string(n)));
        EXPECT_EQ(answer.status, 200) << query << "\n" << answer.raw;
        EXPECT_EQ(answer.body, std::regex_replace(page0, std::regex("q0\\b"), query)) << query;
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

}  // namespace
