// A webmaster's set-ups behind real web servers, as the README shows them:
// the program copied into its index folder under the document root, with the
// rules of lighttpd, Apache and nginx that let visitors reach the program and
// nothing else of the folder; and an index replaced while visitors search,
// by switching a symlink with an atomic rename.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace {

using testsupport::HttpResponse;
using testsupport::Server;

// An index of `pages` pages that all hold "bee", its title in the template.
testsupport::IndexSpec titled_index(const std::string &title, int pages) {
    testsupport::IndexSpec spec;
    spec.settings.set_text("Charset", "UTF-8").set("FormFormat", 1).set("DisplayTitle", 1);
    spec.template_text = "<html><head><title>" + title +
                         "</title></head>\n<body class=\"search-page\">\n<!--VESKSEARCH-->\n"
                         "<p class=\"search-footer\">" +
                         title + " ends here.</p></body></html>\n";
    for (int i = 0; i < pages; i++) {
        testsupport::PageSpec page;
        page.url = "http://example.org/" + std::to_string(i) + ".html";
        page.title = title + " page " + std::to_string(i);
        page.words = testsupport::split_words("bee hive");
        spec.pages.push_back(page);
    }
    return spec;
}

class WebmasterE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("webmaster");
        chmod(root_.c_str(), 0755);
        for (const char *dir : {"www", "www/cgi-bin", "www/search", "logs"}) make_dir(dir);
        program_ = testsupport::copy_program(root_);
    }
    void TearDown() override { testsupport::finish_server_test(server_, root_); }
    void make_dir(const std::string &dir) {
        mkdir((root_ + "/" + dir).c_str(), 0755);
        chmod((root_ + "/" + dir).c_str(), 0755);
    }
    // Writes the index of spec into dir; returns each file's bytes by name.
    std::map<std::string, std::string> write_index(const std::string &dir,
                                                   const testsupport::IndexSpec &spec) {
        make_dir(dir);
        testsupport::IndexFiles files = testsupport::write_index(root_ + "/" + dir, spec);
        files.files["search_template.html"] =
            testsupport::read_file(root_ + "/" + dir + "/search_template.html");
        for (const auto &file : files.files)
            chmod((root_ + "/" + dir + "/" + file.first).c_str(), 0644);
        return files.files;
    }
    // An executable shell script at www/<path> running command.
    void put_script(const std::string &path, const std::string &command) {
        testsupport::write_file(root_ + "/www", path, "#!/bin/sh\n" + command + "\n");
        chmod((root_ + "/www/" + path).c_str(), 0755);
    }
    // The program itself at www/<path>.
    void put_program(const std::string &path) {
        testsupport::write_file(root_ + "/www", path, testsupport::cgi_program_file(program_));
        chmod((root_ + "/www/" + path).c_str(), 0755);
    }
    HttpResponse get(const std::string &target) { return testsupport::get(server_.port(), target); }

    std::string root_, program_;
    testsupport::TestServer server_;
};

// Every 16-byte piece of the files: an answer holding one of them hands out
// part of a file.
constexpr size_t kPiece = 16;
std::unordered_set<std::string> pieces_of(const std::map<std::string, std::string> &files) {
    std::unordered_set<std::string> pieces;
    for (const auto &file : files)
        for (size_t at = 0; at + kPiece <= file.second.size(); at++)
            pieces.insert(file.second.substr(at, kPiece));
    return pieces;
}
// The first file piece that text holds ("" when none).
std::string piece_in(const std::string &text, const std::unordered_set<std::string> &pieces) {
    for (size_t at = 0; at + kPiece <= text.size(); at++)
        if (pieces.count(text.substr(at, kPiece))) return text.substr(at, kPiece);
    return "";
}

// The ways a visitor may write the address of the file name in the index
// folder /search/: encoded, with path info, doubled or dot segments,
// parameters, other case, a query or a fragment.
std::vector<std::string> spellings(const std::string &name) {
    std::string upper = name, first_encoded = name;
    for (char &c : upper) c = (char)toupper((unsigned char)c);
    char hex[4];
    snprintf(hex, sizeof hex, "%%%02X", (unsigned char)name[0]);
    first_encoded.replace(0, 1, hex);
    std::string dot_encoded = name;
    dot_encoded.replace(dot_encoded.rfind('.'), 1, "%2e");
    return {"/search/" + name,
            "/search/" + name + "/",
            "/search/" + name + "/foo.html",
            "/search/" + name + "/.",
            "/search//" + name,
            "//search/" + name,
            "/search/./" + name,
            "/search/x/../" + name,
            "/search/%2e/" + name,
            "/search/x/%2e%2e/" + name,
            "/search/sitequery/../" + name,
            "/search%2F" + name,
            "/search%2f" + name,
            "/search/" + dot_encoded,
            "/search/" + first_encoded,
            "/search/" + name + ";x",
            "/search/" + name + "%3Bx",
            "/search/" + upper,
            "/SEARCH/" + name,
            "/Search/" + name,
            "/search/" + name + "?x=1",
            "/search/" + name + "#x",
            "/search/" + name + "%23x",
            "/search/" + name + "%00",
            "/search/" + name + ".",
            "/search/" + name + "%20",
            "/search\\" + name,
            "/search/" + name + "::$DATA",
            "/search/sitequery/" + name,
            "/search/sitequery%2F..%2F" + name};
}

class IndexFolderE2E : public WebmasterE2E, public ::testing::WithParamInterface<Server> {};

// The program in its index folder answers searches, and no address however
// written hands out a byte of the settings, the index files or the template:
// every answer is refused, not found, or the program's own page.
TEST_P(IndexFolderE2E, ServesTheProgramAndNothingElseOfItsFolder) {
    const std::map<std::string, std::string> files =
        write_index("www/search", titled_index("Beside the index", 2));
    put_program("search/sitequery");
    ASSERT_TRUE(testsupport::start_server(GetParam(), server_, {root_, "index-folder"}))
        << testsupport::server_logs(root_);

    HttpResponse search = get("/search/sitequery?vesk_query=bee");
    EXPECT_EQ(search.status, 200) << search.raw;
    EXPECT_NE(search.body.find("Beside the index page 1</a>"), std::string::npos) << search.raw;
    EXPECT_NE(search.body.find("action=\"sitequery\""), std::string::npos) << search.raw;

    const std::unordered_set<std::string> pieces = pieces_of(files);
    std::map<std::string, std::string> program_pages;  // query string -> the program's page
    std::vector<std::string> targets = {"/search/",          "/search",
                                        "/search/%2e",       "/search/sitequery/",
                                        "/search/SITEQUERY", "/search/sitequery;x"};
    for (const auto &file : files)
        for (const std::string &target : spellings(file.first)) targets.push_back(target);
    for (const std::string &target : targets) {
        SCOPED_TRACE(target);
        HttpResponse answer = get(target);
        EXPECT_NE(answer.status, 0) << answer.raw;
        if (answer.status == 200) {
            // Only the program may answer, with the page it writes at its own
            // address for that query.
            const size_t query = target.find('?');
            const std::string query_string = query == std::string::npos ? "" : target.substr(query);
            if (!program_pages.count(query_string))
                program_pages[query_string] = get("/search/sitequery" + query_string).body;
            EXPECT_EQ(answer.body, program_pages[query_string]) << answer.raw;
        } else {
            EXPECT_EQ(piece_in(answer.raw, pieces), "") << answer.raw;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, IndexFolderE2E,
                         ::testing::ValuesIn(testsupport::readme_servers()),
                         [](const ::testing::TestParamInfo<Server> &info) {
                             return std::string(testsupport::server_name(info.param));
                         });

// How the program is told the switched index: a wrapper's /I naming the
// symlink, or the server's SITEQUERY_INDEX naming it.
enum class Naming { kWrapper, kEnvironment };

// What the visitors got while the index was switched.
struct SwitchedSearches {
    int from_a = 0, from_b = 0, broken = 0, switches = 0;
    std::string first_broken;  // the first answer from neither index, whole
};

class IndexSwitchE2E : public WebmasterE2E, public ::testing::WithParamInterface<Naming> {
   protected:
    static constexpr int kAnswers = 10000, kClients = 16, kSwitchMs = 5;

    // Points the symlink root/current at root/index with an atomic rename.
    bool point_at(const std::string &index) {
        const std::string current = root_ + "/current", next = current + ".next";
        unlink(next.c_str());
        return symlink((root_ + "/" + index).c_str(), next.c_str()) == 0 &&
               rename(next.c_str(), current.c_str()) == 0;
    }

    // kClients visitors GET target until kAnswers answers came, while the
    // symlink is switched between index-a and index-b every kSwitchMs; each
    // answer must be a or b whole.
    SwitchedSearches search_while_switching(const std::string &target, const HttpResponse &a,
                                            const HttpResponse &b) {
        SwitchedSearches seen;
        std::atomic<bool> searching(true);
        std::atomic<int> answered(0), from_a(0), from_b(0), switches(0);
        std::thread switcher([&] {
            while (searching && point_at(switches % 2 == 0 ? "index-a" : "index-b")) {
                switches++;
                testsupport::sleep_ms(kSwitchMs);
            }
        });
        std::mutex broken_lock;
        std::vector<std::thread> clients;
        for (int c = 0; c < kClients; c++)
            clients.emplace_back([&] {
                while (answered++ < kAnswers) {
                    HttpResponse answer = get(target);
                    const bool is_a = answer.status == 200 && answer.body == a.body;
                    const bool is_b = answer.status == 200 && answer.body == b.body;
                    from_a += is_a;
                    from_b += is_b;
                    if (is_a || is_b) continue;
                    std::lock_guard<std::mutex> hold(broken_lock);
                    if (seen.broken++ == 0) seen.first_broken = answer.raw;
                }
            });
        for (std::thread &client : clients) client.join();
        searching = false;
        switcher.join();
        seen.from_a = from_a;
        seen.from_b = from_b;
        seen.switches = switches;
        return seen;
    }
};

// Visitors search without pause through lighttpd while the symlink of the
// index is switched every 5 ms between two indexes that answer differently:
// every answer is whole and wholly from one index.
TEST_P(IndexSwitchE2E, EveryAnswerComesWhollyFromOneIndex) {
    write_index("index-a", titled_index("Index A", 3));
    testsupport::IndexSpec b = titled_index("Index B", 5);
    b.settings.set("DisplayTitle", 0);
    write_index("index-b", b);
    const std::string current = root_ + "/current";
    ASSERT_TRUE(point_at("index-a"));
    std::string index_variable = current;
    if (GetParam() == Naming::kWrapper) {
        // The server names a folder without an index: /I wins.
        put_script("cgi-bin/sitequery",
                   testsupport::program_command(program_, "/I '" + current + "' \"$@\""));
        index_variable = root_ + "/missing";
    } else {
        put_program("cgi-bin/sitequery");
    }
    ASSERT_TRUE(testsupport::start_server(Server::kLighttpd, server_,
                                          {root_, "cgi-bin", {{"INDEX", index_variable}}}))
        << testsupport::server_logs(root_);

    // What each index answers, the symlink standing still.
    const std::string target = "/cgi-bin/sitequery?vesk_query=bee";
    const HttpResponse from_a = get(target);
    ASSERT_TRUE(point_at("index-b"));
    const HttpResponse from_b = get(target);
    ASSERT_NE(from_a.body.find("3 results found."), std::string::npos) << from_a.raw;
    ASSERT_NE(from_a.body.find("Index A ends here.</p></body></html>\n"), std::string::npos)
        << from_a.raw;
    ASSERT_NE(from_b.body.find("5 results found."), std::string::npos) << from_b.raw;

    const SwitchedSearches seen = search_while_switching(target, from_a, from_b);
    EXPECT_EQ(seen.broken, 0) << "first broken answer:\n" << seen.first_broken;
    EXPECT_EQ(seen.from_a + seen.from_b + seen.broken, kAnswers);
    EXPECT_GT(seen.from_a, 0);
    EXPECT_GT(seen.from_b, 0);
    EXPECT_GT(seen.switches, 100);
}

INSTANTIATE_TEST_SUITE_P(Namings, IndexSwitchE2E,
                         ::testing::Values(Naming::kWrapper, Naming::kEnvironment),
                         [](const ::testing::TestParamInfo<Naming> &info) {
                             return std::string(info.param == Naming::kWrapper ? "SlashI"
                                                                               : "SitequeryIndex");
                         });

// A pattern matching text line for line where each @KEY@ field stands for one
// path, the same path wherever the key comes again.
std::string pattern_of(const std::string &text) {
    static const std::string special = "\\^$.|?*+()[]{}";
    std::map<std::string, int> groups;
    std::string pattern = "(?:^|\n)";
    for (size_t at = 0; at < text.size(); at++) {
        const size_t end = text[at] == '@' ? text.find('@', at + 1) : std::string::npos;
        const std::string key = end == std::string::npos ? "" : text.substr(at + 1, end - at - 1);
        if (!key.empty() &&
            key.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ_") == std::string::npos) {
            if (groups.count(key)) {
                pattern += "\\" + std::to_string(groups[key]);
            } else {
                const int group = (int)groups.size() + 1;
                groups[key] = group;
                pattern += "(/[^\\s\"';]*)";
            }
            at = end;
            continue;
        }
        if (special.find(text[at]) != std::string::npos) pattern += '\\';
        pattern += text[at];
    }
    return pattern;
}

// The README shows each server's set-up as the tests run it: every
// tests/e2e/servers/<server>-<site>.conf appears in it line for line, with
// the README's own paths in place of the @KEY@ fields.
TEST(ReadmeSetUps, ShowEachConfigurationAsTheTestsRunIt) {
    const std::string readme =
        testsupport::read_file(std::string(SITEQUERY_SOURCE_DIR) + "/README.md");
    ASSERT_FALSE(readme.empty());
    for (Server server : testsupport::readme_servers())
        for (const char *site : {"cgi-bin", "index-folder"}) {
            const std::string name =
                std::string(testsupport::server_name(server)) + "-" + site + ".conf";
            const std::string config = testsupport::read_file(testsupport::kServersDir + name);
            ASSERT_FALSE(config.empty()) << name;
            EXPECT_TRUE(std::regex_search(readme, std::regex(pattern_of(config))))
                << "README.md does not show " << name << ":\n"
                << config;
        }
}

}  // namespace
