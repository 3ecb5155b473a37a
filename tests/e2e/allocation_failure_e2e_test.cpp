// End to end through the program linked with failing allocations: whichever
// one allocation of a request fails, the request still ends in order, with
// the whole answer or with a page finished after its message, never a crash,
// a cut page or output on standard error.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "support/index_writer.h"
#include "support/run_program.h"

namespace {

const std::string kExampleDir = std::string(SITEQUERY_SOURCE_DIR) + "/examples/site";
// Runs with every allocation failing at most this many (spread evenly over the
// request's allocations), so that the suite stays fast under the sanitizer.
constexpr unsigned long kMostRuns = 150;
// Bytes of the page's end that a finished page shares with the whole answer.
constexpr size_t kTailBytes = 16;
// The end of the example's template, which also ends an autocomplete request
// that failed and answered with the page instead.
const char kTemplateEnd[] = "</body>\n</html>\n";

testsupport::CgiRequest failing_request(const std::string &query, const std::string &variable,
                                        const std::string &value) {
    testsupport::CgiRequest request = testsupport::get_request(kExampleDir, query);
    request.program = SITEQUERY_FAILING_ALLOC_BINARY;
    request.extra_env[variable] = value;
    return request;
}

// The number of allocation calls that the request makes.
unsigned long allocation_count(const std::string &query, const std::string &dir) {
    const std::string path = dir + "/count";
    const testsupport::CgiResponse response =
        testsupport::run_cgi(failing_request(query, "SITEQUERY_COUNT_ALLOCATIONS", path));
    EXPECT_EQ(response.exit_code, 0) << query;
    return strtoul(testsupport::read_file(path).c_str(), nullptr, 10);
}

// Whether text names the lack of memory, in any of the program's messages.
bool names_lack_of_memory(const std::string &text) {
    for (const char *message :
         {"lack of memory", "ut of memory", "ut-of-memory", "Memory Allocation Error"})
        if (text.find(message) != std::string::npos) return true;
    return false;
}

// How the answer with one failing allocation ended, or "" when not soundly:
// "whole", the whole answer; "finished", a page or feed that ends as the whole
// answer does, after the message of the lack of memory ("short" without it:
// a part left out); "message", before any page was begun, the message alone
// (the form's with exit status 1). Whole pages that leave a part out where
// an allocation failed are still counted as "short": they end soundly.
std::string failure_ending(const testsupport::CgiResponse &whole,
                           const testsupport::CgiResponse &failed) {
    if (failed.timed_out || !failed.err.empty()) return "";
    if (failed.exit_code == 0 && failed.out == whole.out) return "whole";
    const bool named = names_lack_of_memory(failed.out);
    const std::string tail = whole.out.substr(whole.out.size() - kTailBytes);
    for (const std::string &end : {tail, std::string(kTemplateEnd)})
        if (failed.exit_code == 0 && failed.out.size() >= end.size() &&
            failed.out.compare(failed.out.size() - end.size(), end.size(), end) == 0)
            return named ? "finished" : "short";
    for (const char *begun : {"<html", "<!DOCTYPE", "<rss", "<div"})
        if (failed.out.find(begun) != std::string::npos) return "";
    const bool form_error = failed.out.find("<H3>") != std::string::npos;
    return named && failed.exit_code == (form_error ? 1 : 0) ? "message" : "";
}

class AllocationFailures : public ::testing::TestWithParam<const char *> {};

TEST_P(AllocationFailures, EveryRequestEndsWithItsAnswerOrItsMessage) {
    const std::string query = GetParam();
    const std::string dir = testsupport::make_temp_dir("failing");
    const testsupport::CgiResponse whole = testsupport::run_clean_get(kExampleDir, query);
    ASSERT_GE(whole.out.size(), kTailBytes);
    const unsigned long count = allocation_count(query, dir);
    ASSERT_GT(count, 0u);
    const unsigned long step = (count + kMostRuns - 1) / kMostRuns;
    std::map<std::string, int> endings;
    for (unsigned long n = 1; n <= count; n += step) {
        const testsupport::CgiResponse failed = testsupport::run_cgi(
            failing_request(query, "SITEQUERY_FAIL_ALLOCATION", std::to_string(n)));
        const std::string ending = failure_ending(whole, failed);
        endings[ending]++;
        EXPECT_NE(ending, "") << "allocation " << n << " of " << count << " failing:\n"
                              << failed.out.substr(failed.out.size() > 600 ? failed.out.size() - 600
                                                                           : 0)
                              << "\nexit " << failed.exit_code << "\n"
                              << failed.err;
    }
    // Some failures end the request with its message.
    EXPECT_GT(endings["finished"] + endings["message"], 0);
    testsupport::remove_tree(dir);
}

// A page, a phrase with an exclusion and a wildcard, a spelling proposal, a
// feed and autocomplete items.
INSTANTIATE_TEST_SUITE_P(Requests, AllocationFailures,
                         ::testing::Values("vesk_query=honey",
                                           "vesk_query=%22honey+extractor%22+-wax+bee*",
                                           "vesk_query=hony+swarm&vesk_and=1",
                                           "vesk_query=honey&vesk_xml=1",
                                           "vesk_ac=1&vesk_query=hon"));

}  // namespace
