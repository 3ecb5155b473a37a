// Shared set-up of the browser tests: lighttpd runs the program as a CGI
// program on an index directory of the test, and headless Chromium (no
// network beyond 127.0.0.1, a fresh profile each run) loads its pages.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/web_server.h"

namespace browsertest {

constexpr int kBrowserSeconds = 30;  // a browser run is stopped after this (an alert() hangs it)

class BrowserFixture : public ::testing::Test {
   protected:
    // Fills the index directory that the program searches.
    virtual void write_site(const std::string &index_dir) = 0;

    void SetUp() override {
        root_ = testsupport::make_temp_dir("browser");
        chmod(root_.c_str(), 0755);
        for (const char *dir : {"www", "www/cgi-bin", "index", "logs", "profile"})
            mkdir((root_ + "/" + dir).c_str(), 0755);
        write_site(root_ + "/index");
        std::string run = "exec ";
#ifdef SITEQUERY_EMULATOR
        run += std::string("'") + SITEQUERY_EMULATOR + "' ";
#endif
        serve_script("sitequery", run + "'" + testsupport::program_path() + "' /I '" + root_ +
                                      "/index' \"$@\"\n");
        ASSERT_FALSE(testsupport::find_program("chromium").empty())
            << "chromium is not installed (see tools/install-deps.sh)";
        ASSERT_TRUE(testsupport::start_server(testsupport::Server::kLighttpd, server_, {root_}));
    }
    void TearDown() override {
        server_.stop();
        testsupport::remove_tree(root_);
    }

    // Puts an executable shell script under /cgi-bin/name.
    void serve_script(const std::string &name, const std::string &body) {
        testsupport::write_file(root_ + "/www/cgi-bin", name, "#!/bin/sh\n" + body);
        chmod((root_ + "/www/cgi-bin/" + name).c_str(), 0755);
    }
    // Serves bytes as /cgi-bin/name with the given content type (the test
    // server has no types for static files).
    void serve_file(const std::string &name, const std::string &content_type,
                    const std::string &bytes) {
        testsupport::write_file(root_, name + ".served", bytes);
        chmod((root_ + "/" + name + ".served").c_str(), 0644);
        serve_script(name, "printf 'Content-type: " + content_type + "\\n\\n'\nexec cat '" + root_ +
                               "/" + name + ".served'\n");
    }

    std::string origin() const {
        return "http://127.0.0.1:" + std::to_string(server_.port());
    }
    std::string url(const std::string &query_string) const {
        return origin() + "/cgi-bin/sitequery?" + query_string;
    }
    // Runs the browser on target with a fresh profile and the given mode
    // flags; returns what it printed. Every host but 127.0.0.1 is unknown to
    // it. The run is stopped after seconds. Several threads may run browsers at once.
    std::string browse(const std::string &target, const std::vector<std::string> &mode,
                       int seconds = kBrowserSeconds) {
        std::string profile = root_ + "/profile/" + std::to_string(runs_++);
        std::vector<std::string> argv = {testsupport::find_program("timeout"),
                                         std::to_string(seconds),
                                         testsupport::find_program("chromium"),
                                         "--headless",
                                         "--no-sandbox",
                                         "--disable-gpu",
                                         "--disable-quic",
                                         "--no-first-run",
                                         "--disable-background-networking",
                                         "--disable-component-update",
                                         "--disable-sync",
                                         "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
                                         "--user-data-dir=" + profile};
        argv.insert(argv.end(), mode.begin(), mode.end());
        argv.push_back(target);
        std::vector<std::string> shell = {
            "/bin/sh", "-c", "exec \"$@\" 2>>'" + root_ + "/logs/browser.log'", "browser"};
        shell.insert(shell.end(), argv.begin(), argv.end());
        return testsupport::capture_output(shell);
    }
    std::string dom(const std::string &query_string) {
        return browse(url(query_string), {"--dump-dom"});
    }
    // The folder of screenshots that the tests keep: test-artifacts beside the program.
    static std::string artifacts_dir() {
        std::string dir = testsupport::program_path();
        dir = dir.substr(0, dir.rfind('/')) + "/test-artifacts";
        mkdir(dir.c_str(), 0755);
        return dir;
    }

    std::string root_;
    testsupport::TestServer server_;
    std::atomic<int> runs_{0};
};

}  // namespace browsertest
