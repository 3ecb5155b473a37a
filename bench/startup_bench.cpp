// Start-up cost: times a request without a query (the search form page) of the
// real program against a trivial statically linked C program, both run the
// same number of times in this process, and prints the ratio. Usage:
//   startup_bench <index dir> [runs]     (goal: ratio at most 1.5)
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "bench_process.h"

namespace {
// Runs the command `runs` times with its output thrown away; total seconds.
double time_runs(const std::string &program, const std::string &index_dir, int runs) {
    double total = 0;
    for (int i = 0; i < runs; i++) total += bench::run_request(program, index_dir, "").seconds;
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
