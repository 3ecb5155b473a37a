// Test support for the indexer's end-to-end tests: a source tree written by
// the test, the real sitequery-index run on it, and the real search program
// run on the index it wrote.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"

namespace indexer_test {

const char kBaseUrl[] = "http://example.test/";

class SiteTest : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("indexer-e2e");
        site_ = root_ + "/site";
        mkdir(site_.c_str(), 0755);
    }
    void TearDown() override { testsupport::remove_tree(root_); }

    // Writes bytes to site/path, making its folders.
    void put(const std::string &path, const std::string &bytes) {
        for (size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1))
            mkdir((site_ + "/" + path.substr(0, slash)).c_str(), 0755);
        testsupport::write_file(site_, path, bytes);
    }

    // Runs sitequery-index with args (and no CGI variables).
    testsupport::CgiResponse run_indexer(const std::vector<std::string> &args,
                                         const std::string &path_env = "/usr/bin:/bin") {
        testsupport::CgiRequest request;
        request.program = SITEQUERY_INDEX_BINARY;
        request.method = "";
        request.remote_addr = "";
        request.script_name = "";
        request.extra_env["PATH"] = path_env;
        request.args = args;
        request.timeout_seconds = 240;
        return testsupport::run_cgi(request);
    }

    // Indexes the site into root/index with extra options; expects success.
    std::string index_site(const std::vector<std::string> &options = {}) {
        const std::string index = root_ + "/index";
        std::vector<std::string> args = {"--base-url", kBaseUrl, "--verbose"};
        args.insert(args.end(), options.begin(), options.end());
        args.push_back(site_);
        args.push_back(index);
        last_ = run_indexer(args);
        EXPECT_EQ(last_.exit_code, 0) << last_.err;
        return index;
    }

    // The search program's whole answer to query_string on index.
    std::string search(const std::string &index, const std::string &query_string) {
        return testsupport::run_clean_get(index, query_string).out;
    }

    // Whether a result of answer links to the page at url path.
    static bool links_to(const std::string &answer, const std::string &path) {
        return answer.find(std::string(kBaseUrl) + path + "\"") != std::string::npos;
    }

    std::string root_, site_;
    testsupport::CgiResponse last_;
};

}  // namespace indexer_test
