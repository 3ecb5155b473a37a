// End to end through the real binary: every committed input of the
// whole-search fuzz target (its seeds and the inputs of faults it found) is
// run as a CGI request against the target's fixture indexes, with the
// target's checks, so that they hold in every build of the test suite and
// not only where the fuzzer is built.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/search_fuzz_input.h"

namespace {

const char kCorpusDir[] = "/tests/fuzz/corpus/search";
const char kCategoryExitMessage[] = "Error: Category number is invalid.";
constexpr int kCategoryExitCode = 1;

std::vector<std::string> corpus_files() {
    std::vector<std::string> names;
    const std::string dir = std::string(SITEQUERY_SOURCE_DIR) + kCorpusDir;
    DIR *listing = opendir(dir.c_str());
    if (listing == nullptr) return names;
    while (dirent *entry = readdir(listing))
        if (entry->d_name[0] != '.') names.push_back(dir + "/" + entry->d_name);
    closedir(listing);
    return names;
}

class SearchCorpusE2E : public ::testing::Test {
   protected:
    void SetUp() override {
        root_ = testsupport::make_temp_dir("searchcorpus");
        for (int f = 0; f < testsupport::kSearchFixtureCount; f++) {
            dirs_[f] = testsupport::make_temp_dir("searchcorpus");
            settings_[f] =
                testsupport::write_index(dirs_[f], testsupport::search_fixture(f)).settings;
        }
    }
    void TearDown() override {
        testsupport::remove_tree(root_);
        for (const std::string &dir : dirs_) testsupport::remove_tree(dir);
    }
    std::string root_;
    std::string dirs_[testsupport::kSearchFixtureCount];
    testsupport::SettingsSpec settings_[testsupport::kSearchFixtureCount];
};

TEST_F(SearchCorpusE2E, EveryInputGivesAWholeAnswer) {
    const std::vector<std::string> files = corpus_files();
    ASSERT_FALSE(files.empty());
    for (const std::string &file : files) {
        SCOPED_TRACE(file);
        const std::string input = testsupport::read_file(file);
        testsupport::SearchFuzzRequest decoded;
        ASSERT_TRUE(testsupport::decode_search_input((const uint8_t *)input.data(), input.size(),
                                                     settings_, &decoded));
        const std::string &dir = dirs_[decoded.fixture];
        testsupport::write_settings(dir, decoded.settings);
        unlink((dir + "/" + testsupport::kSearchFuzzLogName).c_str());

        // The index directory comes from the program's path, as in the fuzz
        // target: a query string without "=" turns trailing arguments into words.
        testsupport::CgiRequest request;
        request.argv0 = dir + "/sitequery";
        request.remote_addr = "2001:db8::7";
        if (decoded.post) {
            request.method = "POST";
            request.content_type = "application/x-www-form-urlencoded";
            request.content_length = std::to_string(decoded.form.size());
            request.body = decoded.form;
        } else {
            request.query_string = decoded.form;
        }
        const testsupport::CgiResponse response = testsupport::run_cgi(request);
        EXPECT_FALSE(response.timed_out);
        EXPECT_EQ(response.err, "");
        if (response.out.find(kCategoryExitMessage) != std::string::npos)
            EXPECT_EQ(response.exit_code, kCategoryExitCode);
        else
            EXPECT_EQ(response.exit_code, 0);
        const bool page = decoded.form.find("vesk_ac") == std::string::npos;
        EXPECT_EQ(testsupport::search_answer_fault(response.out, page,
                                                   [this](const std::string &doc) {
                                                       return testsupport::xml_errors(root_, doc);
                                                   }),
                  "");
        EXPECT_EQ(testsupport::search_log_fault(
                      testsupport::read_file(dir + "/" + testsupport::kSearchFuzzLogName)),
                  "");
    }
}

}  // namespace
