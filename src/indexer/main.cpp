// sitequery-index: reads the folders and files of a site and writes an index
// directory for sitequery (see README, "Indexing a site").
#include <libxml/parser.h>
#include <stdio.h>

#include <string>

#include "indexer/index_run.h"
#include "indexer/run_config.h"
#include "indexer/template_files.h"

int main(int argc, char **argv) {
    indexer::RunConfig config;
    std::string error;
    bool help = false;
    if (!indexer::read_run_config(argc, argv, &config, &error, &help)) {
        fprintf(stderr, "sitequery-index: %s\n%s", error.c_str(), indexer::kUsage);
        return 2;
    }
    if (help) {
        fputs(indexer::kUsage, stdout);
        return 0;
    }
    std::vector<indexer::NamedFile> template_files;
    if (config.template_dir.empty()) {
        template_files = indexer::built_in_template();
    } else if (!indexer::read_template_folder(config.template_dir, &template_files, &error)) {
        fprintf(stderr, "sitequery-index: %s\n", error.c_str());
        return 1;
    }
    xmlInitParser();
    const int status = indexer::run_index(config, template_files);
    xmlCleanupParser();
    return status;
}
