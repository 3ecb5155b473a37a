// Test support for the index builder (see builder_fixture.h).
#include "indexer/builder_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace buildertest {

std::string build(const indexer::BuildOptions &options,
                  const std::vector<indexer::ExtractedPage> &pages, int threads, std::string *error,
                  std::vector<indexer::Notice> *notices) {
    indexer::IndexBuilder builder(options);
    if (!builder.ok()) {
        if (error != nullptr) *error = builder.error();
        return "";
    }
    std::vector<indexer::PageAnalysis> analyses(pages.size());
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([&, t] {
            for (size_t i = (size_t)t; i < pages.size(); i += (size_t)threads)
                analyses[i] = builder.analyze(pages[i]);
        });
    for (std::thread &worker : workers) worker.join();
    for (size_t i = 0; i < pages.size(); i++) builder.add(pages[i], std::move(analyses[i]));
    const std::string dir = testsupport::make_temp_dir("builder");
    std::string message;
    if (!builder.write(dir, &message)) {
        if (error != nullptr) *error = message;
        testsupport::remove_tree(dir);
        return "";
    }
    if (notices != nullptr) *notices = builder.notices();
    return dir;
}

std::string search(const std::string &dir, const std::string &query_string) {
    return testsupport::run_clean_get(dir, query_string).out;
}

}  // namespace buildertest
