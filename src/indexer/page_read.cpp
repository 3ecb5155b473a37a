// Reading one source file into a page record (see page_read.h).
#include "indexer/page_read.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "indexer/page_extract.h"
#include "indexer/page_text.h"

extern char **environ;

namespace indexer {

namespace {

constexpr size_t kReadChunk = 1 << 16;         // bytes of one read
constexpr int kPdfSeconds = 120;               // pdftotext runs at most this long on one file
constexpr uint32_t kMaxPageSize = UINT32_MAX;  // a page's size is kept in 32 bits
constexpr size_t kBinaryProbe = 4096;          // bytes looked at for NULs
constexpr size_t kBinaryNuls = 16;             // NULs in them that make a file binary

// Reads at most limit bytes from fd into *bytes. False with errno on a read error.
bool read_all(int fd, uint64_t limit, std::string *bytes) {
    char buffer[kReadChunk];
    while (bytes->size() < limit) {
        const size_t want = (size_t)std::min<uint64_t>(sizeof buffer, limit - bytes->size());
        const ssize_t got = read(fd, buffer, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        bytes->append(buffer, (size_t)got);
    }
    return true;
}

// The file's first limit bytes. "" and *reason set when it cannot be read.
bool read_file(const SourceFile &file, uint64_t limit, std::string *bytes, std::string *reason) {
    const int fd = open(file.full_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return *reason = strerror(errno), false;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        return *reason = "not a regular file", false;
    }
    const bool done = read_all(fd, limit, bytes);
    const int error = errno;
    close(fd);
    if (!done) return *reason = strerror(error), false;
    return true;
}

// A file of HTML or text that is mostly NULs in its first bytes is no text.
bool looks_binary(const std::string &bytes) {
    if (bytes.size() >= 2 && ((unsigned char)bytes[0] == 0xFF || (unsigned char)bytes[0] == 0xFE))
        return false;  // UTF-16 has NULs in every other byte
    const size_t probe = std::min(bytes.size(), kBinaryProbe);
    size_t nuls = 0;
    for (size_t i = 0; i < probe; i++) nuls += bytes[i] == '\0';
    return nuls >= kBinaryNuls;
}

// Waits up to the deadline for fd to be readable. False at the deadline.
bool wait_readable(int fd, time_t deadline) {
    while (true) {
        const time_t left = deadline - time(nullptr);
        if (left <= 0) return false;
        struct pollfd wait {
            fd, POLLIN, 0
        };
        const int ready = poll(&wait, 1, (int)std::min<time_t>(left, 1) * 1000);
        if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    }
}

// The text of a PDF file as pdftotext writes it with its meta tags (HTML).
bool pdf_text(const SourceFile &file, uint64_t limit, std::string *html, std::string *reason) {
    int pipe_fds[2];
    if (pipe2(pipe_fds, O_CLOEXEC) != 0) return *reason = strerror(errno), false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string path = file.full_path[0] == '-' ? "./" + file.full_path : file.full_path;
    const char *argv[] = {"pdftotext", "-q",         "-enc", "UTF-8",
                          "-htmlmeta", path.c_str(), "-",    nullptr};
    pid_t child;
    const int spawned =
        posix_spawnp(&child, "pdftotext", &actions, nullptr, (char **)argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    if (spawned != 0) {
        close(pipe_fds[0]);
        return *reason = std::string("pdftotext: ") + strerror(spawned), false;
    }
    const time_t deadline = time(nullptr) + kPdfSeconds;
    bool timed_out = false;
    char buffer[kReadChunk];
    while (html->size() < limit) {
        if (!wait_readable(pipe_fds[0], deadline)) {
            timed_out = true;
            break;
        }
        const ssize_t got = read(pipe_fds[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        html->append(buffer, (size_t)got);
    }
    close(pipe_fds[0]);
    if (timed_out || html->size() >= limit) kill(child, SIGKILL);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (timed_out) return *reason = "pdftotext took too long", false;
    if (html->size() < limit && (!WIFEXITED(status) || WEXITSTATUS(status) != 0))
        return *reason = "pdftotext could not read it", false;
    return true;
}

std::string megabytes(uint64_t bytes) {
    return std::to_string(bytes >> 20) + " MB";
}

}  // namespace

bool find_pdftotext() {
    const char *path = getenv("PATH");
    std::string folders = path != nullptr ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        const std::string folder = folders.substr(start, end - start);
        const std::string program = (folder.empty() ? "." : folder) + "/pdftotext";
        if (access(program.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

PageResult read_page(const SourceFile &file, const ReadContext &context) {
    PageResult result;
    const RunConfig &config = *context.config;
    std::string bytes;
    if (file.kind == FileKind::kPdf) {
        if (!context.have_pdftotext)
            return result.reason = "a PDF file (pdftotext is not installed)", result;
        if (!pdf_text(file, config.max_file_bytes, &bytes, &result.reason)) return result;
        result.bytes = file.size;
    } else {
        if (!read_file(file, config.max_file_bytes, &bytes, &result.reason)) return result;
        result.bytes = bytes.size();
        if (looks_binary(bytes)) return result.reason = "binary data, not text", result;
    }
    if (bytes.size() >= config.max_file_bytes)
        result.notice =
            "read up to " + megabytes(config.max_file_bytes) + " of " + megabytes(file.size);
    ExtractFacts facts;
    ExtractedPage &page = result.page;
    if (file.kind == FileKind::kText)
        extract_text(bytes.data(), bytes.size(), config.extract, &page, &facts);
    else
        extract_html(bytes.data(), bytes.size(), config.extract, &page, &facts);
    if (facts.noindex) return result.reason = "marked noindex", result;
    if (page.runs.empty()) return result.reason = "no text", result;
    if (facts.replaced_bytes > 0 && result.notice.empty())
        result.notice = std::to_string(facts.replaced_bytes) + " bytes not of charset " +
                        facts.charset + " replaced";
    page.path = file.path;
    page.url = page_url(config.build.base_url, file.path);
    if (!facts.has_date)
        page.date = file.mtime < 0 ? 0 : (uint32_t)std::min<int64_t>(file.mtime, UINT32_MAX);
    page.size = (uint32_t)std::min<uint64_t>(file.size, kMaxPageSize);
    page.file_type = (uint8_t)file.kind;
    page.boost = boost_of(config, file.path);
    result.indexed = true;
    return result;
}

std::vector<std::string> assign_categories(const RunConfig &config,
                                           const std::vector<SourceFile> &files,
                                           std::vector<std::vector<int>> *categories) {
    std::vector<std::string> names;
    categories->assign(files.size(), {});
    if (config.category_mode == CategoryMode::kFolders) {
        std::map<std::string, int> folders;
        for (const SourceFile &file : files) {
            const size_t slash = file.path.find('/');
            if (slash != std::string::npos) folders.emplace(file.path.substr(0, slash), 0);
        }
        for (auto &folder : folders) {
            folder.second = (int)names.size();
            std::string name;
            append_valid_utf8(name, folder.first.data(), folder.first.size());
            names.push_back(name);
        }
        for (size_t i = 0; i < files.size(); i++) {
            const size_t slash = files[i].path.find('/');
            if (slash != std::string::npos)
                (*categories)[i] = {folders[files[i].path.substr(0, slash)]};
        }
    } else if (config.category_mode == CategoryMode::kRules) {
        std::map<std::string, int> numbers;
        for (const auto &rule : config.category_rules)
            if (numbers.emplace(rule.second, (int)names.size()).second)
                names.push_back(rule.second);
        // Every rule that matches adds its category; the numbers are kept
        // ascending and once each (two rules may name the same category).
        for (size_t i = 0; i < files.size(); i++) {
            std::vector<int> &page = (*categories)[i];
            for (const auto &rule : config.category_rules)
                if (pattern_matches(rule.first, files[i].path))
                    page.push_back(numbers[rule.second]);
            std::sort(page.begin(), page.end());
            page.erase(std::unique(page.begin(), page.end()), page.end());
        }
    }
    return names;
}

}  // namespace indexer
