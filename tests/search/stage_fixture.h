// Set-up of the tests of single search stages: an index written by the
// test-support writer and loaded as a search request loads it, a raw query
// split into words (not normalised), and the term lookup, so that the phrase
// check, the excerpts and the highlighting can run and be inspected.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "index/index.h"
#include "request/request.h"
#include "search/search.h"
#include "support/capture.h"
#include "support/index_files.h"
#include "text/text.h"

namespace searchtest {

using testsupport::IndexFiles;
using testsupport::IndexSpec;
using testsupport::PageSpec;

// Tokens of a text as the writer splits page text.
inline std::vector<std::string> tokens(const std::string &text) {
    return testsupport::split_words(text);
}

// Text inside the highlight span of HTML output.
inline std::string hl(const std::string &text) {
    return "<span class=\"highlight\">" + text + "</span>";
}

// An index of one page per body text, titled "Page N", with the settings the
// search tests share: phrases, excerpts and highlighting on, no stemming.
inline IndexSpec pages_index(const std::vector<std::vector<std::string>> &bodies) {
    IndexSpec spec;
    spec.settings.set("AllowExactPhrase", 1)
        .set("MaxContextSeeks", 100)
        .set("MaxMatches", 1000)
        .set("MinWordLen", 1)
        .set("MaxSearchTime", 30)
        .set("DisplayContext", 1)
        .set("ContextSize", 12)
        .set("MaxContextKeywords", 3)
        .set("Highlighting", 1)
        .set("XMLHighlight", 1)
        .set("ToLowerSearchWords", 1);
    for (size_t i = 0; i < bodies.size(); i++) {
        PageSpec page;
        page.url = "page" + std::to_string(i) + ".html";
        page.title = "Page " + std::to_string(i);
        page.words = bodies[i];
        spec.pages.push_back(page);
    }
    return spec;
}

class StageFixture : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("stage");
        memset(&run_, 0, sizeof run_);
        release_all();
        init_search_context();
    }
    void TearDown() override {
        unload();
        testsupport::remove_tree(dir_);
    }
    void unload() {
        release_search_run(c, run_);
        memset(&run_, 0, sizeof run_);
        close_index_files();
        free_spelling_list();
        release_all();
        init_search_context();
    }
    // Writes the index, loads its settings and dictionary and opens its files.
    void load(const IndexSpec &spec) {
        unload();
        spec_ = spec;
        files_ = testsupport::write_index(dir_, spec);
        static RequestParams request;
        memset(&request, 0, sizeof request);
        snprintf(request.index_directory, sizeof request.index_directory, "%s", dir_.c_str());
        ASSERT_EQ(load_settings(&request), 0);
        ASSERT_EQ(open_index_files(), 1);
        ASSERT_EQ(load_dictionary(), 1);
        // The page head makes the case table ready for UTF-8 sites.
        if (c.UseUTF8 == 1) {
            ASSERT_EQ(load_unicode_tables(), 0);
        }
    }
    // Splits query into words as the request does (without normalising it).
    void set_query(const std::string &query) {
        snprintf(c.g_query_text, sizeof c.g_query_text, "%s", query.c_str());
        split_query_words(&c);
    }
    // Runs the stages of a search up to and including the term loop, standard
    // output captured into out_. false when an error ended the request.
    bool look_up(const std::string &query) {
        set_query(query);
        testsupport::StdoutCapture capture;
        bool ok = setup_stemmer(c) && setup_search(c, run_);
        if (ok) {
            classify_terms(c);
            ok = look_up_terms(c, run_);
        }
        out_ = capture.text();
        return ok;
    }
    // Offset of token k of page p's body (title = false) or title.
    uint64_t offset_of(uint32_t page, size_t k, bool title = false) const {
        const size_t title_tokens = tokens(spec_.pages[page].title).size();
        const uint64_t record = (uint64_t)c.DictIDLen;
        return files_.text_offsets[page] + record * (1 + (title ? 0 : title_tokens + 1) + k);
    }
    // The results buffer as the stages left it.
    std::string results_buffer() const {
        return c.g_result_buffer != nullptr ? c.g_result_buffer : "";
    }
    SearchContext &c = g_search_context;
    SearchRun run_;
    IndexSpec spec_;
    IndexFiles files_;
    std::string dir_, out_;
};

}  // namespace searchtest
