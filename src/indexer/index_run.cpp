// One whole indexing run (see index_run.h).
#include "indexer/index_run.h"

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <dirent.h>
#include <stdio.h>

#include <string>
#include <thread>
#include <utility>

#include "indexer/index_builder.h"
#include "indexer/page_pipeline.h"
#include "indexer/page_read.h"
#include "indexer/page_text.h"
#include "indexer/progress.h"
#include "indexer/publish.h"
#include "indexer/source_walk.h"

namespace indexer {

namespace {

// What a run tells at its end.
struct RunReport {
    std::vector<SkippedFile> skipped;
    std::vector<SkippedFile> notices;  // pages indexed with something worth telling
    size_t pages = 0;
    uint64_t bytes = 0;
};

bool make_folders(const std::string &path, std::string *error) {
    std::string partial;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('/', start);
        if (slash == std::string::npos) slash = path.size();
        partial = path.substr(0, slash);
        start = slash + 1;
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return *error = "cannot make folder " + partial + ": " + strerror(errno), false;
    }
    struct stat status;
    if (stat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return *error = path + " is not a folder", false;
    return true;
}

// Removes the files of a folder that a failed run wrote, and the folder.
void remove_work_folder(const std::string &folder) {
    if (DIR *dir = opendir(folder.c_str())) {
        while (const struct dirent *entry = readdir(dir))
            if (entry->d_name[0] != '.') unlink((folder + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(folder.c_str());
}

int jobs_of(const RunConfig &config) {
    if (config.jobs > 0) return config.jobs;
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : (int)std::min<unsigned>(cores, kMaxJobs);
}

bool any_pdf(const std::vector<SourceFile> &files) {
    for (const SourceFile &file : files)
        if (file.kind == FileKind::kPdf) return true;
    return false;
}

void print_list(const char *heading, const std::vector<SkippedFile> &entries) {
    if (entries.empty()) return;
    fprintf(stderr, "%s:\n", heading);
    for (const SkippedFile &entry : entries)
        fprintf(stderr, "  %s: %s\n", entry.path.c_str(), entry.reason.c_str());
}

void print_summary(const RunReport &report, const IndexBuilder &builder, const std::string &folder,
                   double seconds) {
    print_list("left out", report.skipped);
    std::vector<SkippedFile> notices = report.notices;
    for (const Notice &notice : builder.notices())
        notices.push_back(SkippedFile{notice.path.empty() ? "(index)" : printable_path(notice.path),
                                      notice.message});
    print_list("notices", notices);
    fprintf(stderr, "%u pages, %u words, %zu files left out, %.1f MB in %.1f s -> %s\n",
            builder.page_count(), builder.word_count(), report.skipped.size(),
            (double)report.bytes / (1 << 20), seconds, printable_path(folder).c_str());
}

// Reads every file in parallel and hands the pages to the builder in order.
void read_pages(const RunConfig &config, const SourceList &list,
                const std::vector<std::vector<int>> &categories, IndexBuilder &builder,
                RunReport &report, Progress &progress) {
    ReadContext context;
    context.config = &config;
    context.have_pdftotext = any_pdf(list.files) && find_pdftotext();
    if (any_pdf(list.files) && !context.have_pdftotext)
        fprintf(stderr,
                "sitequery-index: pdftotext is not installed (Debian: poppler-utils): PDF "
                "files are left out\n");
    struct Item {
        PageResult result;
        PageAnalysis analysis;
    };
    auto work = [&](size_t i) {
        Item item;
        item.result = read_page(list.files[i], context);
        if (item.result.indexed) {
            item.result.page.categories = categories[i];
            item.analysis = builder.analyze(item.result.page);
        }
        return item;
    };
    auto take = [&](size_t i, Item &item) {
        const SourceFile &file = list.files[i];
        progress.step(item.result.bytes);
        report.bytes += item.result.bytes;
        if (!item.result.indexed) {
            report.skipped.push_back(
                SkippedFile{printable_path(file.full_path), item.result.reason});
            return;
        }
        if (!item.result.notice.empty())
            report.notices.push_back(
                SkippedFile{printable_path(file.full_path), item.result.notice});
        builder.add(item.result.page, std::move(item.analysis));
        report.pages++;
    };
    run_in_order<Item>(list.files.size(), jobs_of(config), work, take);
}

}  // namespace

int run_index(const RunConfig &config, const std::vector<NamedFile> &template_files) {
    const bool terminal = isatty(2) != 0;
    const bool summary = !config.quiet && (terminal || config.verbose);
    std::string error;
    SourceList list = walk_sources(config);
    RunReport report;
    report.skipped = std::move(list.skipped);
    if (list.files.empty()) {
        if (!config.quiet) print_list("left out", report.skipped);
        fprintf(stderr,
                "sitequery-index: no page to index: the sources hold no file that the "
                "include patterns take (no index written)\n");
        return 1;
    }
    BuildOptions options = config.build;
    options.quiet = !summary;
    options.template_files = template_files;
    std::vector<std::vector<int>> categories;
    options.categories = assign_categories(config, list.files, &categories);
    IndexBuilder builder(options);
    PublishPlan plan;
    const bool publish = !config.publish_link.empty();
    if (!builder.ok())
        error = builder.error();
    else if (publish)
        plan_publish(config.publish_link, (long long)time(nullptr), &plan, &error);
    const std::string folder = publish ? plan.work : config.index_dir;
    if (error.empty()) make_folders(folder, &error);
    if (!error.empty()) {
        fprintf(stderr, "sitequery-index: %s (no index written)\n", error.c_str());
        return 1;
    }
    Progress progress(terminal && !config.quiet, list.files.size(), list.total_bytes);
    read_pages(config, list, categories, builder, report, progress);
    progress.finish();
    if (report.pages == 0) error = "every file was left out";
    const bool written = report.pages > 0 && builder.write(folder, &error) &&
                         (!publish || switch_published(plan, &error));
    if (!written) {
        if (summary || report.pages == 0) print_list("left out", report.skipped);
        if (publish) remove_work_folder(plan.work);
        fprintf(stderr, "sitequery-index: %s (no index written)\n", error.c_str());
        return 1;
    }
    if (summary) print_summary(report, builder, publish ? plan.folder : folder, progress.elapsed());
    return 0;
}

}  // namespace indexer
