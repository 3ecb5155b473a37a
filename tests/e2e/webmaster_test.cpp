// A webmaster's set-ups behind lighttpd, as the README shows them: the program
// copied into its index folder under the document root, with the rule that
// refuses the settings, the index files and the template to visitors; and an
// index replaced while visitors search, by switching a symlink with an atomic
// rename, the wrapper resolving the symlink once per request.
#include <gtest/gtest.h>

#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

#include "support/index_files.h"
#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace {

// An index of `pages` pages that all hold "bee", its title in the template.
testsupport::IndexSpec titled_index(const std::string &title, int pages) {
    testsupport::IndexSpec spec;
    spec.settings.set_text("Charset", "UTF-8").set("FormFormat", 1).set("DisplayTitle", 1);
    spec.template_text = "<html><head><title>" + title +
                         "</title></head>\n<body>\n<!--VESKSEARCH-->\n</body></html>\n";
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
    }
    void TearDown() override {
        server_.stop();
        std::string log = testsupport::read_file(root_ + "/logs/server.out") +
                          testsupport::read_file(root_ + "/logs/lighttpd-error.log");
        EXPECT_EQ(log.find("Sanitizer"), std::string::npos) << log;
        EXPECT_EQ(log.find("runtime error"), std::string::npos) << log;
        testsupport::remove_tree(root_);
    }
    void make_dir(const std::string &dir) {
        mkdir((root_ + "/" + dir).c_str(), 0755);
        chmod((root_ + "/" + dir).c_str(), 0755);
    }
    void write_index(const std::string &dir, const testsupport::IndexSpec &spec) {
        make_dir(dir);
        testsupport::IndexFiles files = testsupport::write_index(root_ + "/" + dir, spec);
        for (const auto &file : files.files)
            chmod((root_ + "/" + dir + "/" + file.first).c_str(), 0644);
    }
    // An executable shell script at www/<path> running command.
    void put_script(const std::string &path, const std::string &command) {
        testsupport::write_file(root_ + "/www", path, "#!/bin/sh\n" + command + "\n");
        chmod((root_ + "/www/" + path).c_str(), 0755);
    }
    // The command that runs the program under test with args.
    static std::string run_program(const std::string &args) {
        std::string run = "exec ";
#ifdef SITEQUERY_EMULATOR
        run += std::string("'") + SITEQUERY_EMULATOR + "' ";
#endif
        return run + "'" + testsupport::program_path() + "' " + args;
    }
    testsupport::HttpResponse get(const std::string &target) {
        return testsupport::fetch(server_.port(), target);
    }

    std::string root_;
    testsupport::TestServer server_;
};

// The program in its index folder: it answers searches, and no file of the
// index can be downloaded, however the address is written.
TEST_F(WebmasterE2E, IndexFolderUnderTheDocumentRootRefusesTheIndexFiles) {
    write_index("www/search", titled_index("Beside the index", 2));
#ifdef SITEQUERY_EMULATOR
    put_script("search/sitequery", std::string("exec '") + SITEQUERY_EMULATOR + "' -0 \"$0\" '" +
                                       testsupport::program_path() + "' \"$@\"");
#else
    testsupport::write_file(root_ + "/www/search", "sitequery",
                            testsupport::read_file(testsupport::program_path()));
    chmod((root_ + "/www/search/sitequery").c_str(), 0755);
#endif
    ASSERT_TRUE(testsupport::start_lighttpd(server_, root_, "lighttpd-index-folder.conf"));

    testsupport::HttpResponse search = get("/search/sitequery?vesk_query=bee");
    EXPECT_EQ(search.status, 200) << search.raw;
    EXPECT_NE(search.body.find("Beside the index page 1</a>"), std::string::npos) << search.raw;
    EXPECT_NE(search.body.find("action=\"sitequery\""), std::string::npos) << search.raw;

    for (const char *target :
         {"/search/settings.vdat", "/search/vesk_pagedata.vdat", "/search/vesk_wordmap.vdat",
          "/search/vesk_pageinfo.vdat", "/search/vesk_dictionary.vdat",
          "/search/vesk_pagetext.vdat", "/search/search_template.html", "/search/settings%2Evdat",
          "/search//settings.vdat", "/search/./settings.vdat", "/search/x/../settings.vdat",
          "/search/settings.vdat?x=1"}) {
        testsupport::HttpResponse refused = get(target);
        EXPECT_EQ(refused.status, 403) << target << "\n" << refused.raw;
        EXPECT_EQ(refused.body.find("NumPages"), std::string::npos) << target;
    }
}

// Searches without pause while the index is switched back and forth: every
// answer is whole and comes from one index or the other.
TEST_F(WebmasterE2E, IndexSwitchedByARenamedSymlinkWhileVisitorsSearch) {
    write_index("index-a", titled_index("Index A", 3));
    write_index("index-b", titled_index("Index B", 5));
    const std::string current = root_ + "/current";
    ASSERT_EQ(symlink((root_ + "/index-a").c_str(), current.c_str()), 0);
    put_script("cgi-bin/sitequery", run_program("/I \"$(readlink -f '" + current + "')\" \"$@\""));
    ASSERT_TRUE(testsupport::start_lighttpd(server_, root_));

    std::atomic<bool> searching(true);
    std::atomic<int> switches(0);
    std::thread switcher([&] {
        const std::string next = current + ".next";
        while (searching || switches < 300) {
            const char *target = switches % 2 == 0 ? "index-b" : "index-a";
            unlink(next.c_str());
            if (symlink((root_ + "/" + target).c_str(), next.c_str()) != 0 ||
                rename(next.c_str(), current.c_str()) != 0)
                break;
            switches++;
            usleep(1000);
        }
    });
    int from_a = 0, from_b = 0;
    for (int i = 0; i < 60; i++) {
        testsupport::HttpResponse answer = get("/cgi-bin/sitequery?vesk_query=bee");
        const std::string &body = answer.body;
        const bool a = body.find("<title>Index A</title>") != std::string::npos &&
                       body.find("3 results found.") != std::string::npos;
        const bool b = body.find("<title>Index B</title>") != std::string::npos &&
                       body.find("5 results found.") != std::string::npos;
        EXPECT_EQ(answer.status, 200) << answer.raw;
        EXPECT_TRUE(a != b) << answer.raw;
        EXPECT_EQ(body.size() - body.rfind("</body></html>\n"), 15u) << answer.raw;
        from_a += a;
        from_b += b;
    }
    searching = false;
    switcher.join();
    EXPECT_GE(switches, 300);
    EXPECT_GT(from_a, 0);
    EXPECT_GT(from_b, 0);
}

}  // namespace
