// The example index under examples/site: the committed files are exactly what
// the writer makes of its description, and a search against them opens every
// index file without a message.
#include <gtest/gtest.h>

#include <string>

#include "support/example_index.h"
#include "support/run_program.h"

namespace {

const std::string kExampleDir = std::string(SITEQUERY_SOURCE_DIR) + "/examples/site";

TEST(ExampleIndex, CommittedFilesAreWhatTheGeneratorWrites) {
    const testsupport::IndexFiles files = testsupport::build_index(testsupport::example_index());
    for (const auto &file : files.files)
        EXPECT_TRUE(testsupport::read_file(kExampleDir + "/" + file.first) == file.second)
            << file.first << " differs: run make_example examples/site";
}

TEST(ExampleIndex, SampleSearchOpensEveryIndexFile) {
    testsupport::CgiResponse response =
        testsupport::run_cgi(testsupport::get_request(kExampleDir, "vesk_query=honey"));
    EXPECT_EQ(response.exit_code, 0);
    EXPECT_EQ(response.err, "");
    EXPECT_EQ(response.out.find("Content-type: text/html; charset=utf-8\n\n<!DOCTYPE html>"), 0u);
    EXPECT_NE(response.out.find("</html>\n"), std::string::npos);
    for (const char *word : {"Unable", "Error", "Can not find", "Pageinfo"})
        EXPECT_EQ(response.out.find(word), std::string::npos) << word;
}

}  // namespace
