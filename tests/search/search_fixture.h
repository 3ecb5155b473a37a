// Shared set-up of the search tests: an index directory written by the
// test-support writer, one request read from a query string and searched in
// process up to the sorted result list, as the program does before it writes
// the result page.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "index/index.h"
#include "request/request.h"
#include "search/search.h"
#include "support/capture.h"
#include "support/index_files.h"

namespace searchtest {

using testsupport::IndexFiles;
using testsupport::IndexSpec;
using testsupport::MetaFieldSpec;
using testsupport::MetaValueSpec;
using testsupport::PageSpec;
using testsupport::PostingSpec;

// (page, final score) of one result.
using Ranked = std::vector<std::pair<uint32_t, uint32_t>>;

// A page with the given address and body text.
inline PageSpec page_of(const std::string &url, const std::string &text) {
    PageSpec page;
    page.url = url;
    page.title = "t";
    page.words = testsupport::split_words(text);
    return page;
}

class SearchFixture : public ::testing::Test {
   protected:
    void SetUp() override { dir_ = testsupport::make_temp_dir("search"); }
    void TearDown() override {
        clean_up();
        testsupport::remove_tree(dir_);
    }

    IndexFiles write(const IndexSpec &spec) { return testsupport::write_index(dir_, spec); }

    // Reads the request of query_string and runs the search stages. true when
    // the sorted result list is ready; out_ holds what was printed.
    bool search(const std::string &query_string) {
        clean_up();
        testsupport::StdoutCapture capture;
        bool ready = start(query_string) && search_pages(c, run_);
        out_ = capture.text();
        return ready;
    }

    // The stored results in sorted order.
    Ranked ranked() const {
        Ranked list;
        for (uint32_t i = 0; i < run_.result_count; i++)
            list.push_back({run_.results[i].page, run_.results[i].final_score});
        return list;
    }
    // Pages of the results shown on the requested page, in slot order.
    std::vector<uint32_t> shown() const {
        std::vector<uint32_t> pages;
        for (int32_t slot = 0; slot < c.g_per_page; slot++) {
            const SearchResult *result = result_for_slot(c, run_, (uint32_t)slot);
            if (result == nullptr) break;
            pages.push_back(result->page);
        }
        return pages;
    }
    // Pages whose score is not 0 after the search, in page order.
    std::vector<uint32_t> scored_pages() const {
        std::vector<uint32_t> pages;
        for (uint32_t p = 0; p < run_.page_count; p++)
            if (run_.page_scores[p].score != 0) pages.push_back(p);
        return pages;
    }

    SearchContext &c = g_search_context;
    SearchRun run_{};
    std::string dir_, out_;

   private:
    bool start(const std::string &query_string) {
        init_search_context();
        snprintf(g_request.index_directory, sizeof g_request.index_directory, "%s", dir_.c_str());
        setenv("REQUEST_METHOD", "GET", 1);
        setenv("QUERY_STRING", query_string.c_str(), 1);
        if (load_settings(&g_request) != 0 || !read_cgi_parameters()) return false;
        reset_request_state();
        if (begin_page(&c, &g_request) == 0) return false;
        if (open_index_files() == 0) return false;
        return load_dictionary() != 0;
    }
    void clean_up() {
        release_search_run(c, run_);
        memset(&run_, 0, sizeof run_);
        close_index_files();
        free_spelling_list();
        release_all();
        free_request();
    }
};

}  // namespace searchtest
