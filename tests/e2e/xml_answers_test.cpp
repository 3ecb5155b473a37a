// Every XML answer that the end-to-end cases expect must be a well-formed XML
// document that a feed reader takes as written: web clients and feed readers
// refuse anything else.
#include <dirent.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/index_writer.h"
#include "support/run_program.h"
#include "support/utf8.h"

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

// The XML answers of every golden file, by "file#n".
std::map<std::string, std::string> expected_xml_answers() {
    std::map<std::string, std::string> answers;
    std::string expected_dir = std::string(SITEQUERY_SOURCE_DIR) + "/tests/e2e/expected";
    DIR *dir = opendir(expected_dir.c_str());
    EXPECT_NE(dir, nullptr);
    if (dir == nullptr) return answers;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".out") != 0) continue;
        int n = 0;
        for (const std::string &body :
             xml_bodies(testsupport::read_file(expected_dir + "/" + name)))
            answers[name + "#" + std::to_string(n++)] = body;
    }
    closedir(dir);
    return answers;
}

// Character data of a well-formed document with its references resolved.
std::string unescaped(const std::string &text) {
    static const std::map<std::string, char> predefined = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
        size_t end = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (end == std::string::npos) {
            out += text[i];
            continue;
        }
        std::string name = text.substr(i + 1, end - i - 1);
        if (name[0] == '#')
            out += testsupport::utf8_encoded(
                (uint32_t)(name[1] == 'x' ? strtoul(name.c_str() + 2, nullptr, 16)
                                          : strtoul(name.c_str() + 1, nullptr, 10)));
        else
            out += predefined.at(name);
        i = end;
    }
    return out;
}

// The links of the items of an answer, as written.
std::vector<std::string> item_links(const std::string &body) {
    std::vector<std::string> links;
    for (size_t item = body.find("<item>"); item != std::string::npos;
         item = body.find("<item>", item + 1)) {
        size_t open = body.find("<link>", item), close = body.find("</link>", item);
        links.push_back(open != std::string::npos && close != std::string::npos
                            ? unescaped(body.substr(open + 6, close - open - 6))
                            : "");
    }
    return links;
}

TEST(XmlAnswers, EveryExpectedXmlAnswerIsWellFormed) {
    std::string scratch = testsupport::make_temp_dir("xmlanswers");
    int documents = 0;
    for (const auto &answer : expected_xml_answers()) {
        EXPECT_EQ(testsupport::xml_errors(scratch, answer.second), "") << answer.first;
        documents++;
    }
    testsupport::remove_tree(scratch);
    EXPECT_GE(documents, 15);
}

// python3-feedparser reads every answer as a feed without complaint, with the
// items and links the answer holds. One reader process for all of them.
TEST(XmlAnswers, FeedReaderTakesEveryAnswerAsWritten) {
    std::string scratch = testsupport::make_temp_dir("feeds");
    std::map<std::string, std::string> answers = expected_xml_answers();
    std::string command =
        "/usr/bin/python3 '" + std::string(SITEQUERY_SOURCE_DIR) + "/tests/clients/feed_check.py'";
    std::map<std::string, std::string> by_file;
    int n = 0;
    for (const auto &answer : answers) {
        std::string file = "feed" + std::to_string(n++) + ".xml";
        testsupport::write_file(scratch, file, answer.second);
        by_file[scratch + "/" + file] = answer.first;
        command += " '" + scratch + "/" + file + "'";
    }
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) out += buffer;
    ASSERT_EQ(pclose(pipe), 0) << "feed reader failed (see tools/install-deps.sh):\n" << out;
    std::istringstream lines(out);
    std::string line;
    size_t read = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::istringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) fields.push_back(field);
        ASSERT_GE(fields.size(), 4u) << line;
        const std::string &name = by_file[fields[0]];
        const std::vector<std::string> links = item_links(answers[name]);
        EXPECT_EQ(fields[1], "0") << name << ": " << fields[2];
        EXPECT_EQ(fields[3], std::to_string(links.size())) << name;
        std::vector<std::string> read_links(fields.begin() + 4, fields.end());
        read_links.resize(links.size());
        EXPECT_EQ(read_links, links) << name;
        read++;
    }
    EXPECT_EQ(read, answers.size());
    testsupport::remove_tree(scratch);
}

}  // namespace
