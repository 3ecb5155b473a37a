// Publishing an index under a symlink (see publish.h).
#include "indexer/publish.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <vector>

#include "platform/platform.h"

namespace indexer {

namespace {

constexpr int kMaxNameTries = 1000;  // folders of one second tried: LINK.<time>, LINK.<time>-2, ...
const char kWorkSuffix[] = ".partial";

bool exists(const std::string &path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

std::string base_name(const std::string &path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string parent_of(const std::string &path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool sync_path(const std::string &path, int flags) {
    const int fd = open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool done = fsync(fd) == 0;
    close(fd);
    return done;
}

std::vector<std::string> files_of(const std::string &folder) {
    std::vector<std::string> names;
    DIR *dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const struct dirent *entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            names.push_back(folder + "/" + entry->d_name);
    closedir(dir);
    return names;
}

// Asks the kernel to read the new index's files into the page cache, so that
// the first searches on it do not wait for the disk.
void warm(const std::string &folder) {
    for (const std::string &path : files_of(folder)) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        posix_fadvise(fd, 0, 0, POSIX_FADV_WILLNEED);
        close(fd);
    }
}

std::string error_text(const std::string &what, const std::string &path) {
    return what + " " + path + ": " + strerror(errno);
}

}  // namespace

bool plan_publish(const std::string &link, long long now, PublishPlan *plan, std::string *error) {
    std::string name = link;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    struct stat status;
    if (lstat(name.c_str(), &status) == 0 && !S_ISLNK(status.st_mode))
        return *error = name + " exists and is not a symlink: --publish switches a symlink", false;
    const UtcTime time = platform_utc_time(now < 0 ? 0 : now);
    char stamp[64];
    snprintf(stamp, sizeof stamp, ".%04lld%02d%02dT%02d%02d%02dZ", (long long)time.year,
             time.month + 1, time.day, time.hour, time.minute, time.second);
    for (int attempt = 1; attempt <= kMaxNameTries; attempt++) {
        std::string folder = name + stamp;
        if (attempt > 1) folder += "-" + std::to_string(attempt);
        if (exists(folder) || exists(folder + kWorkSuffix)) continue;
        plan->link = name;
        plan->folder = folder;
        plan->work = folder + kWorkSuffix;
        return true;
    }
    return *error = "no free folder name beside " + name, false;
}

bool switch_published(const PublishPlan &plan, std::string *error) {
    for (const std::string &path : files_of(plan.work))
        if (!sync_path(path, O_RDONLY)) return *error = error_text("cannot write", path), false;
    if (!sync_path(plan.work, O_RDONLY | O_DIRECTORY))
        return *error = error_text("cannot write", plan.work), false;
    if (rename(plan.work.c_str(), plan.folder.c_str()) != 0)
        return *error = error_text("cannot rename to", plan.folder), false;
    const std::string temporary = plan.link + ".new-" + std::to_string((long long)getpid());
    unlink(temporary.c_str());
    if (symlink(base_name(plan.folder).c_str(), temporary.c_str()) != 0)
        return *error = error_text("cannot make the symlink", temporary), false;
    if (rename(temporary.c_str(), plan.link.c_str()) != 0) {
        *error = error_text("cannot switch", plan.link);
        unlink(temporary.c_str());
        return false;
    }
    sync_path(parent_of(plan.link), O_RDONLY | O_DIRECTORY);
    warm(plan.folder);
    return true;
}

std::string published_folder(const std::string &link) {
    char target[PATH_MAX];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length < 0) return "";
    return std::string(target, (size_t)length);
}

}  // namespace indexer
