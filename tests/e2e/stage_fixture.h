// Shared set-up of the end-to-end tests of one stage of the result page: an
// index written by the test-support writer whose template shows one output
// section between "<name>{" and "}", searched through the real binary.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/index_files.h"
#include "support/run_program.h"

namespace stagetest {

// A template that shows marker (one output section) between "name{" and "}".
inline std::string stage_template(const std::string &name, const std::string &marker) {
    return "<html><body>\n" + name + "{" + marker + "}\n</body></html>\n";
}

class StageE2E : public ::testing::Test {
   protected:
    void SetUp() override { dir_ = testsupport::make_temp_dir("stage"); }
    void TearDown() override { testsupport::remove_tree(dir_); }
    // The whole answer to query_string on the index of spec_.
    std::string get(const std::string &query_string) {
        testsupport::write_index(dir_, spec_);
        return testsupport::run_clean_get(dir_, query_string).out;
    }
    // What the HTML answer shows of the section of stage_template(name, ...).
    std::string section(const std::string &name, const std::string &query_string) {
        const std::string out = get(query_string);
        const std::string open = name + "{", close = "}\n</body>";
        size_t from = out.find(open), to = out.rfind(close);
        if (from == std::string::npos || to == std::string::npos) return "<no page>\n" + out;
        from += open.size();
        return to >= from ? out.substr(from, to - from) : "<no page>\n" + out;
    }
    // Every text from `open` to the end of the next `close` in the XML answer,
    // which must be well-formed.
    std::string xml_elements(const std::string &query_string, const std::string &open,
                             const std::string &close) {
        const std::string out = get(query_string + "&vesk_xml=1");
        EXPECT_EQ(testsupport::xml_errors(dir_, out.substr(out.find("\n\n") + 2)), "");
        std::string elements;
        for (size_t at = out.find(open); at != std::string::npos; at = out.find(open, at + 1))
            elements += out.substr(at, out.find(close, at) + close.size() - at);
        return elements;
    }
    std::string dir_;
    testsupport::IndexSpec spec_;
};

}  // namespace stagetest
