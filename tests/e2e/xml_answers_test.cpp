// Every XML answer that the end-to-end cases expect must be a well-formed XML
// document: web clients and feed readers refuse anything else.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"

namespace {

const char kSeparator[] = "\n======== the same request in XML ========\n";
const char kXmlHeader[] = "Content-type: text/xml";

// The XML bodies of the responses in a golden file (one response, or a plain
// and an XML one joined by the separator).
std::vector<std::string> xml_bodies(const std::string &golden) {
    std::vector<std::string> bodies;
    size_t start = 0;
    while (start <= golden.size()) {
        size_t end = golden.find(kSeparator, start);
        std::string response =
            golden.substr(start, end == std::string::npos ? std::string::npos : end - start);
        size_t body = response.find("\n\n");
        if (response.compare(0, sizeof kXmlHeader - 1, kXmlHeader) == 0 &&
            body != std::string::npos)
            bodies.push_back(response.substr(body + 2));
        if (end == std::string::npos) break;
        start = end + sizeof kSeparator - 1;
    }
    return bodies;
}

TEST(XmlAnswers, EveryExpectedXmlAnswerIsWellFormed) {
    std::string expected_dir = std::string(SITEQUERY_SOURCE_DIR) + "/tests/e2e/expected";
    DIR *dir = opendir(expected_dir.c_str());
    ASSERT_NE(dir, nullptr);
    std::string scratch = testsupport::make_temp_dir("xmlanswers");
    int documents = 0;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".out") != 0) continue;
        for (const std::string &body :
             xml_bodies(testsupport::read_file(expected_dir + "/" + name))) {
            EXPECT_EQ(testsupport::xml_errors(scratch, body), "") << name;
            documents++;
        }
    }
    closedir(dir);
    testsupport::remove_tree(scratch);
    EXPECT_GE(documents, 15);
}

}  // namespace
