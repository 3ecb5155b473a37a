// Benchmark support: runs the real program (or any other) as a web server
// would for one CGI GET request, and reads the monotonic clock.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace bench {

constexpr size_t kPlainReadSize = 65536;  // read size of the plain pass

// The plain pass over a file: reads it in large pieces and counts its LF
// bytes. -1 when it cannot be opened.
inline long count_lines(const std::string &path) {
    static char buffer[kPlainReadSize];
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    long lines = 0;
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
        for (const char *p = buffer, *end = buffer + got;
             (p = (const char *)memchr(p, '\n', (size_t)(end - p))) != nullptr; p++)
            lines++;
    close(fd);
    return lines;
}

inline double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// What one request cost.
struct RequestCost {
    double seconds;       // from the spawn to the end of the wait (wall clock)
    double cpu_seconds;   // user and system time of the process
    long peak_rss_kb;     // the process's peak resident set (see peak_rss.c)
    long private_kb;      // its private dirty memory at the request's end, -1 when not reported
    bool exited_cleanly;  // exit code 0
};

// Runs argv (argv[0] the program) with the CGI variables of a GET request
// whose query string is `query`, standard output going to output_path and
// standard error to error_path, and waits for it. Ends this process when the
// program cannot be started.
inline RequestCost run_command(const std::vector<std::string> &argv, const std::string &query,
                               const char *output_path, const char *error_path) {
    const std::string query_variable = "QUERY_STRING=" + query;
    char *env[] = {(char *)"GATEWAY_INTERFACE=CGI/1.1", (char *)"REQUEST_METHOD=GET",
                   (char *)query_variable.c_str(),      (char *)"SCRIPT_NAME=/cgi-bin/sitequery",
                   (char *)"REMOTE_ADDR=127.0.0.1",     nullptr};
    std::vector<char *> args;
    for (const std::string &arg : argv) args.push_back((char *)arg.c_str());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, error_path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const double start = now_seconds();
    pid_t pid;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env) != 0) {
        perror("posix_spawn");
        exit(1);
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    RequestCost cost;
    cost.seconds = now_seconds() - start;
    posix_spawn_file_actions_destroy(&actions);
    cost.cpu_seconds = (double)(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       (double)(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    cost.peak_rss_kb = usage.ru_maxrss;
    cost.private_kb = -1;
    cost.exited_cleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return cost;
}

// One request of `program /I index_dir`, its output thrown away.
inline RequestCost run_request(const std::string &program, const std::string &index_dir,
                               const std::string &query) {
    return run_command({program, "/I", index_dir}, query, "/dev/null", "/dev/null");
}

// Runs one request through the peak_rss program (path in probe), with its
// answer written to output_path; the cost's peak_rss_kb is the request's own.
inline RequestCost probe_request(const std::string &probe, const std::string &program,
                                 const std::string &index_dir, const std::string &query,
                                 const char *output_path) {
    char report[] = "/tmp/bench_rss.XXXXXX";
    const int fd = mkstemp(report);
    if (fd >= 0) close(fd);
    RequestCost cost = run_command({probe, program, "/I", index_dir}, query, output_path, report);
    // The program's own memory report (a SITEQUERY_MEMORY_REPORT build)
    // comes first, the probe's peak after it.
    FILE *file = fopen(report, "r");
    cost.peak_rss_kb = -1;
    char line[256];
    while (file != nullptr && fgets(line, sizeof line, file) != nullptr) {
        long value;
        if (sscanf(line, "Private_Dirty: %ld", &value) == 1)
            cost.private_kb = value;
        else if (sscanf(line, "%ld", &value) == 1)
            cost.peak_rss_kb = value;
    }
    if (file != nullptr) fclose(file);
    unlink(report);
    return cost;
}

}  // namespace bench
