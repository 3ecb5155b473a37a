// Shared set-up of the index reader tests: an index directory written by the
// test-support writer, its settings loaded into g_search_context in process.
#pragma once

#include <gtest/gtest.h>
#include <string.h>

#include <functional>
#include <string>

#include "index/index.h"
#include "request/request.h"
#include "support/capture.h"
#include "support/index_files.h"

namespace indextest {

using testsupport::IndexFiles;
using testsupport::IndexSpec;
using testsupport::MetaFieldSpec;
using testsupport::MetaValueSpec;
using testsupport::PageSpec;

// Three pages with categories, every meta-field type (7 is an unknown type,
// laid out like a number) and present and absent values.
inline IndexSpec sample_index(bool big) {
    IndexSpec spec;
    spec.big_layout = big;
    spec.categories = {
        "Hive care", "Honey and wax", "Bee biology", "c3", "c4", "c5", "c6", "c7", "c8", "c9"};
    spec.meta_fields = {
        MetaFieldSpec{0, "year", "Year", "Year", 4, {}, -1},
        MetaFieldSpec{1, "author", "Author", "Author", 5, {}, -1},
        MetaFieldSpec{2, "season", "Season", "Season", 0, {"spring", "summer"}, -1},
        MetaFieldSpec{3, "tags", "Tags", "Tags", 0, {"a", "b", "c"}, -1},
        MetaFieldSpec{4, "price", "Price", "Price", 2, {}, -1},
        MetaFieldSpec{7, "odd", "Odd", "Odd", 0, {}, -1},
    };
    PageSpec first;
    first.url = "http://example.org/swarms.html";
    first.title = "Catching a swarm";
    first.description = "How to take a swarm from a branch.";
    first.image = "http://example.org/swarm.jpg";
    first.date = 1700000000;
    first.size = 4096;
    first.boost = 13;
    first.file_type = 2;
    first.categories = {0, 9};
    first.meta = {MetaValueSpec::of_number(2021), MetaValueSpec::of_text("Ann Smith"),
                  MetaValueSpec::of_option(1),    MetaValueSpec::of_options({0, 2}),
                  MetaValueSpec::of_number(1250), MetaValueSpec::of_number(7)};
    first.words = testsupport::split_words("A swarm hangs (quietly) from the branch. Swarms move!");
    PageSpec second;
    second.url = "wax.html";
    second.title = "Rendering wax";
    second.date = 0xFFFFFFFEu;
    second.size = 0xFFFFFFFFu;
    second.file_type = 255;
    second.categories = {1};
    second.meta = {MetaValueSpec::none(), MetaValueSpec::none(), MetaValueSpec::none(),
                   MetaValueSpec::none(), MetaValueSpec::none(), MetaValueSpec::none()};
    second.words = testsupport::split_words("Old comb gives wax; the wax is filtered.");
    PageSpec third;
    third.url = "drones.html";
    third.title = "Drones";
    third.description = "Male bees.";
    third.categories = {2, 8};
    third.meta = {MetaValueSpec::of_number(0), MetaValueSpec::of_text(std::string(200, 'x'))};
    third.words = testsupport::split_words("Drones do not sting; drones wait for queens.");
    spec.pages = {first, second, third};
    return spec;
}

class IndexFixture : public ::testing::Test {
   protected:
    void SetUp() override {
        dir_ = testsupport::make_temp_dir("index");
        release_all();
        init_search_context();
    }
    void TearDown() override {
        close_index_files();
        free_spelling_list();
        release_all();
        testsupport::remove_tree(dir_);
    }
    // Writes the index and loads its settings into the context.
    IndexFiles write(const IndexSpec &spec) {
        IndexFiles files = testsupport::write_index(dir_, spec);
        load_settings_here();
        return files;
    }
    void load_settings_here() {
        close_index_files();
        free_spelling_list();
        release_all();
        init_search_context();
        static RequestParams request;
        memset(&request, 0, sizeof request);
        snprintf(request.index_directory, sizeof request.index_directory, "%s", dir_.c_str());
        ASSERT_EQ(load_settings(&request), 0);
    }
    // Runs fn with standard output captured into out_.
    template <typename Fn>
    auto captured(Fn fn) -> decltype(fn()) {
        testsupport::StdoutCapture capture;
        auto result = fn();
        out_ = capture.text();
        return result;
    }
    SearchContext &c = g_search_context;
    std::string dir_, out_;
};

}  // namespace indextest
