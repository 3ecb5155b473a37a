// Walking the sources of a run (see source_walk.h).
#include "indexer/source_walk.h"

#include <dirent.h>
#include <errno.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "indexer/page_text.h"

namespace indexer {

namespace {

using FileId = std::pair<uint64_t, uint64_t>;  // device, inode

struct Walk {
    const RunConfig &config;
    SourceList &list;
    std::set<FileId> chain;              // folders open on the way down: a loop returns to one
    std::map<FileId, std::string> seen;  // folders and files met, with their paths
    std::map<std::string, std::string> paths;  // page paths taken, with their full paths
};

bool excluded(const RunConfig &config, const std::string &path) {
    for (const std::string &pattern : config.exclude)
        if (pattern_matches(pattern, path)) return true;
    return false;
}

bool included(const RunConfig &config, const std::string &path) {
    for (const std::string &pattern : config.include)
        if (pattern_matches(pattern, path)) return true;
    return false;
}

void skip(Walk &walk, const std::string &full_path, const std::string &reason) {
    walk.list.skipped.push_back(SkippedFile{printable_path(full_path), reason});
}

std::string join(const std::string &folder, const std::string &name) {
    if (folder.empty()) return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

void add_file(Walk &walk, const std::string &full_path, const std::string &path,
              const struct stat &status) {
    if (!S_ISREG(status.st_mode)) return skip(walk, full_path, "not a regular file");
    const FileId id{(uint64_t)status.st_dev, (uint64_t)status.st_ino};
    const auto met = walk.seen.emplace(id, full_path);
    if (!met.second)
        return skip(walk, full_path, "the same file as " + printable_path(met.first->second));
    const auto taken = walk.paths.emplace(path, full_path);
    if (!taken.second)
        return skip(walk, full_path,
                    "the same page path as " + printable_path(taken.first->second));
    SourceFile file;
    file.full_path = full_path;
    file.path = path;
    file.size = (uint64_t)status.st_size;
    file.mtime = (int64_t)status.st_mtime;
    file.kind = kind_of(path);
    walk.list.total_bytes += std::min<uint64_t>(file.size, walk.config.max_file_bytes);
    walk.list.files.push_back(std::move(file));
}

std::vector<std::string> folder_names(DIR *folder) {
    std::vector<std::string> names;
    while (const struct dirent *entry = readdir(folder))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    std::sort(names.begin(), names.end());
    return names;
}

void walk_folder(Walk &walk, const std::string &full_path, const std::string &path,
                 const struct stat &status);

// One entry of a folder: a file that the patterns take, or a folder to walk.
void walk_entry(Walk &walk, const std::string &full_path, const std::string &path) {
    if (excluded(walk.config, path)) return;
    struct stat status;
    if (stat(full_path.c_str(), &status) != 0) {
        const int error = errno;
        if (included(walk.config, path)) skip(walk, full_path, strerror(error));
        return;
    }
    if (S_ISDIR(status.st_mode)) return walk_folder(walk, full_path, path, status);
    if (included(walk.config, path)) add_file(walk, full_path, path, status);
}

void walk_folder(Walk &walk, const std::string &full_path, const std::string &path,
                 const struct stat &status) {
    const FileId id{(uint64_t)status.st_dev, (uint64_t)status.st_ino};
    if (walk.chain.count(id) != 0)
        return skip(walk, full_path, "symlink loop: the folder holds itself");
    const auto met = walk.seen.emplace(id, full_path);
    if (!met.second)
        return skip(walk, full_path, "the same folder as " + printable_path(met.first->second));
    DIR *folder = opendir(full_path.c_str());
    if (folder == nullptr) return skip(walk, full_path, strerror(errno));
    const std::vector<std::string> names = folder_names(folder);
    closedir(folder);
    walk.chain.insert(id);
    for (const std::string &name : names) walk_entry(walk, join(full_path, name), join(path, name));
    walk.chain.erase(id);
}

}  // namespace

FileKind kind_of(const std::string &path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return FileKind::kHtml;
    const char *extension = path.c_str() + dot + 1;
    if (strcasecmp(extension, "txt") == 0) return FileKind::kText;
    if (strcasecmp(extension, "pdf") == 0) return FileKind::kPdf;
    return FileKind::kHtml;
}

SourceList walk_sources(const RunConfig &config) {
    SourceList list;
    Walk walk{config, list, {}, {}, {}};
    for (const std::string &source : config.sources) {
        struct stat status;
        if (stat(source.c_str(), &status) != 0) {
            skip(walk, source, strerror(errno));
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            walk_folder(walk, source, "", status);
            continue;
        }
        const size_t slash = source.rfind('/');
        add_file(walk, source, slash == std::string::npos ? source : source.substr(slash + 1),
                 status);
    }
    return list;
}

}  // namespace indexer
