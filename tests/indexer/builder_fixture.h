// Test support for the index builder: pages from short texts, an index built
// from them into a fresh directory, and searches through the real program.
#pragma once

#include <string>
#include <vector>

#include "indexer/index_builder.h"
#include "support/index_writer.h"
#include "support/run_program.h"

namespace buildertest {

// A page with a title run, a heading run (when given) and a body run.
inline indexer::ExtractedPage page(const std::string &path, const std::string &title,
                                   const std::string &body, const std::string &heading = "") {
    indexer::ExtractedPage p;
    p.path = path;
    p.url = "http://example.org/" + path;
    p.title = title;
    p.description = body.substr(0, 60);
    p.runs.push_back({indexer::TextZone::kTitle, title});
    if (!heading.empty()) p.runs.push_back({indexer::TextZone::kHeading, heading});
    p.runs.push_back({indexer::TextZone::kBody, body});
    p.date = 1700000000;
    p.size = (uint32_t)body.size();
    return p;
}

inline indexer::BuildOptions options() {
    indexer::BuildOptions o;
    o.base_url = "http://example.org/";
    o.site_name = "Example site";
    o.template_files = {
        {"search_template.html", "<html>\n<body>\n<!--VESKSEARCH-->\n</body>\n</html>\n"}};
    return o;
}

// Builds pages into a fresh directory with `threads` threads for the
// per-page step; the directory, or "" with *error set.
std::string build(const indexer::BuildOptions &options,
                  const std::vector<indexer::ExtractedPage> &pages, int threads = 1,
                  std::string *error = nullptr, std::vector<indexer::Notice> *notices = nullptr);

// The body of a search answer for query (URL-encoded) on dir, run cleanly.
std::string search(const std::string &dir, const std::string &query_string);

}  // namespace buildertest
