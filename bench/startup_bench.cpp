// Start-up cost: times a request without a query (the search form page) of the
// real program against a trivial statically linked C program, both run the
// same number of times in this process, and prints the ratio. Usage:
//   startup_bench <index dir> [runs]     (goal: ratio at most 1.5)
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

#include <string>

extern char **environ;

namespace {
double now_seconds() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

// Runs the command `runs` times with its output thrown away; total seconds.
double time_runs(const std::string &program, const std::string &index_dir, int runs) {
    char *env[] = {(char *)"GATEWAY_INTERFACE=CGI/1.1", (char *)"REQUEST_METHOD=GET",
                   (char *)"QUERY_STRING=", (char *)"SCRIPT_NAME=/cgi-bin/sitequery", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    double start = now_seconds();
    for (int i = 0; i < runs; i++) {
        char *argv[] = {(char *)program.c_str(), (char *)"/I", (char *)index_dir.c_str(), nullptr};
        pid_t pid;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, env) != 0) {
            perror("posix_spawn");
            exit(1);
        }
        int status;
        waitpid(pid, &status, 0);
    }
    double total = now_seconds() - start;
    posix_spawn_file_actions_destroy(&actions);
    return total;
}
}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s <index dir> [runs]\n", argv[0]);
        return 2;
    }
    std::string index_dir = argv[1];
    int runs = argc > 2 ? atoi(argv[2]) : 500;
    std::string program = SITEQUERY_BINARY;
    std::string baseline = TRIVIAL_CGI_BINARY;
    time_runs(program, index_dir, runs / 10 + 1);  // warm the page cache
    time_runs(baseline, index_dir, runs / 10 + 1);
    double base = time_runs(baseline, index_dir, runs);
    double ours = time_runs(program, index_dir, runs);
    printf("trivial static C program: %.1f us per run\n", base / runs * 1e6);
    printf("sitequery empty query:    %.1f us per run\n", ours / runs * 1e6);
    printf("ratio: %.2f (goal: at most 1.5)\n", ours / base);
    return 0;
}
