// A request reads one index from start to end: the index directory is named
// by a symlink that is switched to another index right after the settings
// were read (the first file of a request), and every later file of the
// request (template, included page script, page data, page info, page text,
// word map, dictionary, spelling and recommended lists, autocomplete list,
// search log) must still come from the index the request started on. The
// request runs in process, as the program's main runs it, so that the switch
// falls exactly between the two.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "context/context.h"
#include "index/index.h"
#include "request/request.h"
#include "search/search.h"
#include "support/capture.h"
#include "support/index_files.h"

namespace {

const char kLogName[] = "search.log";

// An index whose every file names it: "a" or "b". Both answer the same
// queries with one page, so that only the index's own texts differ.
testsupport::IndexSpec named_index(const std::string &name) {
    testsupport::IndexSpec spec;
    spec.template_text =
        "<html><head></head><body>template " + name + "\n<!--VESKSEARCH-->\n</body></html>\n";
    spec.settings.set_text("Charset", "UTF-8")
        .set("Logging", 1)
        .set_text("LogFileName", kLogName)
        .set("DisplayContext", 1)
        .set("UseAutoComplete", 1)
        .set("MaxMatches", 1000)
        .set("MaxContextSeeks", 1000);
    testsupport::PageSpec page;
    page.url = "page-" + name + ".html";
    page.title = "Title " + name;
    page.words = testsupport::split_words("honey comb from hive " + name);
    spec.pages = {page};
    spec.spelling = true;
    spec.recommended = {{"honey", 0}};
    spec.autocomplete = {"honey " + name};
    return spec;
}

class IndexSwitch : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("index_switch");
        for (const char *name : {"a", "b"}) {
            const std::string dir = root_ + "/" + name;
            ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
            testsupport::write_index(dir, named_index(name));
            testsupport::write_file(dir, "vesk_autocomplete.js", std::string("// script ") + name);
            testsupport::write_file(dir, "vesk_autocomplete.css", std::string("/* style */"));
        }
        point_link_at("a");
        setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("SCRIPT_NAME", "/cgi-bin/sitequery", 1);
        setenv("REMOTE_ADDR", "10.0.0.5", 1);
    }
    void TearDown() override {
        for (const char *name :
             {"GATEWAY_INTERFACE", "REQUEST_METHOD", "SCRIPT_NAME", "REMOTE_ADDR", "QUERY_STRING"})
            unsetenv(name);
        release_all();
        testsupport::remove_tree(root_);
    }

    // Switches the symlink "current" to index name with an atomic rename.
    void point_link_at(const std::string &name) {
        const std::string link = root_ + "/current", fresh = link + ".new";
        ASSERT_EQ(symlink(name.c_str(), fresh.c_str()), 0);
        ASSERT_EQ(rename(fresh.c_str(), link.c_str()), 0);
    }

    // One request for query_string with "/I <root>/current", as main runs it;
    // the symlink is switched to `switch_to` (when not empty) right after the
    // settings were read. The whole answer.
    std::string serve(const std::string &query_string, const std::string &switch_to) {
        setenv("QUERY_STRING", query_string.c_str(), 1);
        std::string program = "sitequery", option = "/I", link = root_ + "/current";
        char *argv[] = {&program[0], &option[0], &link[0], nullptr};
        testsupport::StdoutCapture capture;
        init_search_context();
        memset(&g_request, 0, sizeof g_request);
        read_command_line(&g_request, 3, argv);
        if (load_settings(&g_request) == 0) {
            if (!switch_to.empty()) point_link_at(switch_to);
            if (read_cgi_parameters()) {
                reset_request_state();
                if (g_request.autocomplete != 0) {
                    if (begin_page(&g_search_context, &g_request))
                        print_autocomplete(&g_search_context);
                } else if (begin_page(&g_search_context, &g_request) && open_index_files() != 0 &&
                           load_dictionary() != 0) {
                    run_search(&g_search_context);
                }
            }
        }
        close_index_files();
        free_spelling_list();
        release_all();
        free_request();
        return capture.text();
    }

    std::string log_of(const std::string &name) {
        return testsupport::read_file(root_ + "/" + name + "/" + kLogName);
    }

    std::string root_;
};

TEST_F(IndexSwitch, EveryFileOfARequestComesFromTheIndexItStartedOn) {
    struct Case {
        const char *what;
        const char *query_string;
        const char *own_text;  // what only index a's files give the answer
        bool logged;           // the request appends to the search log
    };
    const Case cases[] = {
        {"result page", "vesk_query=honey", "page-a.html", true},
        {"result page with the page scripts", "vesk_query=comb", "// script a", true},
        {"template", "vesk_query=hive", "template a", true},
        {"spelling suggestion", "vesk_query=hony", "template a", true},
        {"XML answer", "vesk_query=honey&vesk_xml=1", "page-a.html", true},
        {"autocomplete answer", "vesk_query=hon&vesk_ac=1", "honey a", false},
    };
    for (const Case &c : cases) {
        point_link_at("a");
        const std::string unswitched = serve(c.query_string, "");
        const std::string log_line = log_of("a");
        EXPECT_NE(unswitched.find(c.own_text), std::string::npos) << c.what << "\n" << unswitched;
        EXPECT_EQ(!log_line.empty(), c.logged) << c.what;

        // Switched after the settings were read: the same answer, from a alone.
        point_link_at("a");
        EXPECT_EQ(serve(c.query_string, "b"), unswitched) << c.what;
        EXPECT_EQ(log_of("a").size(), log_line.size() * 2) << c.what;
        EXPECT_EQ(log_of("b"), "") << c.what;

        // A request that starts after the switch reads b.
        const std::string from_b = serve(c.query_string, "");
        EXPECT_NE(from_b, unswitched) << c.what;
        EXPECT_EQ(from_b.find(c.own_text), std::string::npos) << c.what;
        unlink((root_ + "/a/" + kLogName).c_str());
        unlink((root_ + "/b/" + kLogName).c_str());
    }
}

}  // namespace
