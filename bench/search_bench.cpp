// Speed of whole search requests on a real index (bench/build_corpus.sh
// builds one): every query type runs as a separate process of the real
// program, as a web server runs it, interleaved round by round (each round
// in an order of its own) with the empty-query request and a trivial static
// C program, so that drifts of the machine touch all of them alike. Prints per query type the
// median wall time, its ratio to the empty-query request and to the trivial program, the median CPU
// time, the peak RSS (measured once, through peak_rss) and the answer's size; then, in this
// process, the median load time of each index file and a line-by-line fgets pass over the
// dictionary for comparison. A program built with SITEQUERY_MEMORY_REPORT
// reports its private dirty memory at the end of each request, and the
// table of those follows.
//
// What a read costs depends on how the page cache holds the file. Read in
// 4 KB pieces (as after being dropped and read back a page at a time), the
// large corpus's dictionary took 0.8 to 0.9 ms to read on the development
// machine; freshly written, 0.2 ms; read back by the program's own single
// read, 0.5 to 0.75 ms. A cache left by earlier work can be in any of these
// states, so the index files are first dropped from the cache and the
// untimed first request of each query type reads them back, as the program
// does on a server whose cache does not hold them. `--as-cached` measures
// the cache as it is found. `--against` times another build of the program
// (an older commit's) in the same rounds, beside this one. Usage:
//   search_bench <index dir> [rounds] [--as-cached] [--against <program>]
//   (default 200 rounds)
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench_process.h"
#include "context/context.h"
#include "index/index.h"
#include "request/request.h"

namespace {

constexpr int kDefaultRounds = 200;
constexpr int kLoadRuns = 200;               // in-process runs of each loader
constexpr unsigned kShuffleSeed = 20261209;  // the rounds' orders, the same in every run
constexpr double kMegabyte = 1024.0 * 1024.0;

struct QueryType {
    const char *name;
    const char *query;  // the QUERY_STRING
};

// Words chosen for the Debian manuals of bench/build_corpus.sh (both corpora).
const QueryType kQueries[] = {
    {"empty query", ""},
    {"common word", "vesk_query=function"},
    {"rare word", "vesk_query=adminpack"},
    {"two words, any", "vesk_query=database+index&vesk_and=0"},
    {"two words, all", "vesk_query=database+index&vesk_and=1"},
    {"exact phrase", "vesk_query=%22regular+expression%22"},
    {"wildcard prefix", "vesk_query=pyth*"},
    {"misspelling", "vesk_query=tabel"},
    {"common word, RSS", "vesk_query=function&vesk_xml=1"},
    {"meta-only search", "vesk_query=&manual=1"},
    {"common word, page 5", "vesk_query=function&vesk_page=5"},
};
constexpr int kQueryCount = (int)(sizeof kQueries / sizeof kQueries[0]);

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long file_size(const std::string &path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? (long)status.st_size : -1;
}

struct Samples {
    std::vector<double> seconds, cpu;
    long peak_rss_kb = 0;
    long private_kb = -1;  // Private_Dirty at the request's end, -1 when not reported
    long answer_bytes = 0;
    bool failed = false;
};

void add_sample(Samples &samples, const bench::RequestCost &cost) {
    samples.seconds.push_back(cost.seconds);
    samples.cpu.push_back(cost.cpu_seconds);
    if (!cost.exited_cleanly) samples.failed = true;
}

// Drops the regular files of the index directory from the page cache (a
// file with pages not yet written back, or mapped, keeps them). How many
// files were dropped.
int drop_from_page_cache(const std::string &index_dir) {
    DIR *dir = opendir(index_dir.c_str());
    if (dir == nullptr) return 0;
    int dropped = 0;
    while (const dirent *entry = readdir(dir)) {
        const int fd = open((index_dir + "/" + entry->d_name).c_str(), O_RDONLY);
        if (fd < 0) continue;
        struct stat status;
        if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && fdatasync(fd) == 0 &&
            posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED) == 0)
            dropped++;
        close(fd);
    }
    closedir(dir);
    return dropped;
}

// One untimed request that warms the page cache and gives the peak RSS and
// the answer's size.
void probe(Samples &samples, const std::string &program, const std::string &index_dir,
           const char *query) {
    char answer[] = "/tmp/search_bench.XXXXXX";
    const int fd = mkstemp(answer);
    if (fd >= 0) close(fd);
    const bench::RequestCost cost =
        bench::probe_request(PEAK_RSS_BINARY, program, index_dir, query, answer);
    samples.peak_rss_kb = cost.peak_rss_kb;
    samples.private_kb = cost.private_kb;
    samples.answer_bytes = file_size(answer);
    if (!cost.exited_cleanly) samples.failed = true;
    unlink(answer);
}

// The private dirty memory each query type's probe left at its end, for the
// builds that report it (cmake -DSITEQUERY_MEMORY_REPORT=ON); nothing when
// neither does.
void print_private_memory(const std::vector<Samples> &samples, bool compare) {
    bool any = false;
    for (const Samples &s : samples) any = any || s.private_kb >= 0;
    if (!any) return;
    printf("\nprivate memory at the end of a request (Private_Dirty)\n%-22s %9s", "query type",
           "this");
    if (compare) printf(" %9s", "other");
    printf("\n");
    for (int q = 0; q < kQueryCount; q++) {
        printf("%-22s %6.1f MB", kQueries[q].name, samples[q].private_kb / 1024.0);
        if (compare) printf(" %6.1f MB", samples[kQueryCount + q].private_kb / 1024.0);
        printf("\n");
    }
}

// Times every query type on this build's program and, when `against` is
// not empty, on that program too (an older build), both within the same
// rounds in orders of their own, so that a drift of the machine touches both.
void time_requests(const std::string &index_dir, int rounds, const std::string &against) {
    const std::string program = SITEQUERY_BINARY, trivial = TRIVIAL_CGI_BINARY;
    const bool compare = !against.empty();
    const int programs = compare ? 2 : 1;
    std::vector<Samples> samples(kQueryCount * programs);  // this build's, then the other's
    Samples baseline;
    probe(baseline, trivial, index_dir, "");
    for (int q = 0; q < kQueryCount * programs; q++)
        probe(samples[q], q < kQueryCount ? program : against, index_dir,
              kQueries[q % kQueryCount].query);
    // Each round runs the requests in an order of its own: a request leaves
    // the caches as its own work left them, and in one fixed order every
    // query type would always follow the same one (the same query on page 1
    // and on page 5 measured 8% apart that way).
    std::vector<int> order(kQueryCount * programs + 1);
    for (size_t i = 0; i < order.size(); i++) order[i] = (int)i - 1;  // -1: the trivial program
    std::mt19937 shuffle_seed(kShuffleSeed);
    for (int round = 0; round < rounds; round++) {
        std::shuffle(order.begin(), order.end(), shuffle_seed);
        for (int q : order) {
            if (q < 0)
                add_sample(baseline, bench::run_request(trivial, index_dir, ""));
            else
                add_sample(samples[q],
                           bench::run_request(q < kQueryCount ? program : against, index_dir,
                                              kQueries[q % kQueryCount].query));
        }
    }
    const double empty = median(samples[0].seconds), base = median(baseline.seconds);
    printf("%d rounds; trivial static C program: median %.3f ms, CPU %.3f ms, peak RSS %.1f MB\n",
           rounds, base * 1e3, median(baseline.cpu) * 1e3, baseline.peak_rss_kb / 1024.0);
    printf("%-22s %9s %9s %9s %9s %9s %9s", "query type", "median", "/empty", "/trivial", "CPU",
           "peak RSS", "answer");
    if (compare) printf(" %9s %9s %9s %9s", "other", "this/oth", "oth RSS", "oth ans");
    printf("\n");
    for (int q = 0; q < kQueryCount; q++) {
        const Samples &s = samples[q];
        const double m = median(s.seconds);
        printf("%-22s %6.3f ms %9.2f %9.2f %6.3f ms %6.1f MB %7ld B", kQueries[q].name, m * 1e3,
               m / empty, m / base, median(s.cpu) * 1e3, s.peak_rss_kb / 1024.0, s.answer_bytes);
        if (compare) {
            const Samples &o = samples[kQueryCount + q];
            const double other = median(o.seconds);
            printf(" %6.3f ms %9.3f %6.1f MB %7ld B", other * 1e3, m / other,
                   o.peak_rss_kb / 1024.0, o.answer_bytes);
        }
        printf("%s\n", s.failed || (compare && samples[kQueryCount + q].failed)
                           ? "  (exit code not 0)"
                           : "");
    }
    print_private_memory(samples, compare);
}

// Median seconds of `runs` calls of load; release runs after each, untimed.
double time_loader(int runs, const std::function<bool()> &load,
                   const std::function<void()> &release) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; i++) {
        const double start = bench::now_seconds();
        const bool loaded = load();
        seconds.push_back(bench::now_seconds() - start);
        release();
        if (!loaded) {
            fprintf(stderr, "\nthe load failed\n");
            exit(1);
        }
    }
    return median(seconds);
}

// The plain passes the dictionary loader is compared with: lines counted
// with fgets, and the bytes read with read() and their LFs counted.
bool fgets_pass(const std::string &path) {
    static char line[kDictionaryReadBufferSize];
    FILE *file = fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    long lines = 0;
    while (fgets(line, sizeof line, file) != nullptr) lines++;
    fclose(file);
    return lines >= 0;
}

void print_load(const char *name, const std::string &path, double seconds) {
    const long size = file_size(path);
    printf("%-14s %8.1f KB %9.3f ms %9.1f MB/s\n", name, size / 1024.0, seconds * 1e3,
           size / kMegabyte / seconds);
}

void time_loads(const std::string &index_dir) {
    SearchContext &c = g_search_context;
    snprintf(g_request.index_directory, sizeof g_request.index_directory, "%s", index_dir.c_str());
    if (load_settings(&g_request) != 0) {
        fprintf(stderr, "cannot load %s/settings.vdat\n", index_dir.c_str());
        exit(1);
    }
    const std::string dir = index_dir + "/";
    const std::string dictionary = dir + kDictionaryFileName;
    printf("\n%-14s %11s %12s %14s   (in this process, median of %d)\n", "index file", "size",
           "load", "speed", kLoadRuns);
    print_load("page info", dir + c.pageinfo_file_name,
               time_loader(
                   kLoadRuns, [] { return load_pageinfo_file() == 0; }, release_page_info_tables));
    const double loader = time_loader(
        kLoadRuns, [] { return load_dictionary_file() == 0; }, release_dictionary_tables);
    print_load("dictionary", dictionary, loader);
    if (c.Spelling == 1)
        print_load("spelling", dir + kSpellingFileName,
                   time_loader(
                       kLoadRuns, [] { return load_spelling_file() == 1; }, free_spelling_list));
    if (c.Recommended == 1)
        print_load("recommended", dir + c.recommended_file_name,
                   time_loader(
                       kLoadRuns, [] { return load_recommended_file() == kListLoaded; },
                       [&c] {
                           free(c.g_recommended);
                           c.g_recommended = nullptr;
                       }));
    const double by_line = time_loader(
        kLoadRuns, [&] { return fgets_pass(dictionary); }, [] {});
    const double plain = time_loader(
        kLoadRuns, [&] { return bench::count_lines(dictionary) >= 0; }, [] {});
    print_load("  fgets pass", dictionary, by_line);
    print_load("  read pass", dictionary, plain);
    printf("dictionary loader: %.2f times as fast as the fgets pass (goal: at least 3)\n",
           by_line / loader);
}

}  // namespace

int main(int argc, char **argv) {
    bool as_cached = false;
    std::string against;             // the program of --against
    std::vector<const char *> args;  // the index directory and the rounds
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--as-cached") == 0)
            as_cached = true;
        else if (strcmp(argv[i], "--against") == 0 && i + 1 < argc)
            against = argv[++i];
        else
            args.push_back(argv[i]);
    }
    if (args.empty() || args.size() > 2 || file_size(std::string(args[0]) + "/settings.vdat") < 0) {
        fprintf(stderr, "usage: %s <index dir> [rounds] [--as-cached] [--against <program>]\n",
                argv[0]);
        return 2;
    }
    const std::string index_dir = args[0];
    const int rounds = args.size() > 1 ? std::max(1, atoi(args[1])) : kDefaultRounds;
    if (as_cached)
        printf("page cache: as found\n");
    else
        printf("page cache: %d index files dropped, read back by the first requests\n",
               drop_from_page_cache(index_dir));
    time_requests(index_dir, rounds, against);
    time_loads(index_dir);
    return 0;
}
