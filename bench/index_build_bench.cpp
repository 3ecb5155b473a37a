// index_build_bench: times the index builder on a synthetic site as large as
// the large benchmark corpus (16,500 pages; the text an HTML parser would
// take from 434 MB of pages), with the per-page step on N threads and the
// serial step in page order, and reports pages/s, MB/s of text, the index's
// size and the process's peak RSS.
//
// Usage: index_build_bench [pages] [threads] [index dir]
//   pages    default 16500
//   threads  default 8
//   dir      default: a new directory under /tmp, removed afterwards
#include <ctype.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <time.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "indexer/index_builder.h"

namespace {

constexpr size_t kVocabulary = 150000;  // distinct words of the site
constexpr size_t kWordsPerPage = 1700;  // ~10 KB of text a page
constexpr size_t kWindow = 256;         // pages analysed ahead of the serial step
constexpr double kZipfExponent = 1.05;

std::string make_word(std::mt19937 &random) {
    static const char kLetters[] = "etaoinshrdlucmfwypvbgkjqxz";
    std::string word;
    const size_t length = 2 + random() % 9;
    for (size_t i = 0; i < length; i++) word += kLetters[random() % 26 * random() % 26 % 26];
    return word;
}

// Page i: a title, two headings and paragraphs of Zipf-distributed words with punctuation.
indexer::ExtractedPage make_page(size_t i, const std::vector<std::string> &words,
                                 const std::vector<double> &cumulative) {
    std::mt19937 random((unsigned)i * 2654435761u);
    std::uniform_real_distribution<double> uniform(0.0, cumulative.back());
    auto pick = [&]() -> const std::string & {
        const size_t at =
            (size_t)(std::lower_bound(cumulative.begin(), cumulative.end(), uniform(random)) -
                     cumulative.begin());
        return words[at < words.size() ? at : words.size() - 1];
    };
    indexer::ExtractedPage page;
    page.path = "section" + std::to_string(i % 40) + "/page" + std::to_string(i) + ".html";
    page.url = "http://localhost/" + page.path;
    for (int k = 0; k < 5; k++) page.title += (k ? " " : "") + pick();
    page.title[0] = (char)toupper(page.title[0]);
    page.runs.push_back({indexer::TextZone::kTitle, page.title});
    std::string text;
    for (size_t w = 0; w < kWordsPerPage; w++) {
        if (w % 400 == 0) {
            if (!text.empty()) page.runs.push_back({indexer::TextZone::kBody, text});
            text.clear();
            page.runs.push_back({indexer::TextZone::kHeading, pick() + " " + pick()});
        }
        text += pick();
        const unsigned r = random() % 20;
        text += r == 0 ? ". " : r == 1 ? ", " : r == 2 ? " (" : r == 3 ? ") " : " ";
    }
    page.runs.push_back({indexer::TextZone::kBody, text});
    page.description = text.substr(0, 200);
    page.date = 1600000000 + (uint32_t)i * 60;
    page.size = (uint32_t)(text.size() * 2.6);
    return page;
}

// CPU time of the calling thread in nanoseconds: the machine may be shared,
// so the steps are measured by the CPU they take, not by the clock.
uint64_t thread_ns() {
    struct timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return (uint64_t)now.tv_sec * 1000000000ull + (uint64_t)now.tv_nsec;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char **argv) {
    const size_t pages = argc > 1 ? (size_t)atol(argv[1]) : 16500;
    const int threads = argc > 2 ? atoi(argv[2]) : 8;
    std::string dir = argc > 3 ? argv[3] : "";
    const bool temporary = dir.empty();
    if (temporary) {
        char pattern[] = "/tmp/index_build_benchXXXXXX";
        if (mkdtemp(pattern) == nullptr) return 1;
        dir = pattern;
    }
    std::mt19937 random(7);
    std::vector<std::string> words(kVocabulary);
    std::vector<double> cumulative(kVocabulary);
    double sum = 0;
    for (size_t r = 0; r < kVocabulary; r++) {
        words[r] = make_word(random) + (r % 3 == 0 ? "s" : "");
        sum += 1.0 / pow((double)(r + 1), kZipfExponent);
        cumulative[r] = sum;
    }

    indexer::BuildOptions options;
    options.base_url = "http://localhost/";
    options.site_name = "Benchmark site";
    options.template_files = {
        {"search_template.html", "<html><body>\n<!--VESKSEARCH-->\n</body></html>\n"}};
    indexer::IndexBuilder builder(options);
    if (!builder.ok()) {
        fprintf(stderr, "%s\n", builder.error().c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    // Workers take page numbers in order; the main thread adds them in order.
    std::vector<indexer::ExtractedPage> page_slots(kWindow);
    std::vector<indexer::PageAnalysis> slots(kWindow);
    std::vector<char> ready(kWindow, 0);
    std::mutex lock;
    std::condition_variable changed;
    std::atomic<size_t> next{0};
    std::atomic<uint64_t> making_ns{0}, analysing_ns{0};
    uint64_t adding_ns = 0;
    size_t added = 0;
    uint64_t text_bytes = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([&] {
            for (;;) {
                const size_t i = next.fetch_add(1);
                if (i >= pages) return;
                {
                    std::unique_lock<std::mutex> hold(lock);
                    changed.wait(hold, [&] { return i < added + kWindow; });
                }
                const auto made = std::chrono::steady_clock::now();
                indexer::ExtractedPage page = make_page(i, words, cumulative);
                const auto analysing = std::chrono::steady_clock::now();
                indexer::PageAnalysis analysis = builder.analyze(page);
                making_ns += (uint64_t)std::chrono::nanoseconds(analysing - made).count();
                analysing_ns +=
                    (uint64_t)std::chrono::nanoseconds(std::chrono::steady_clock::now() - analysing)
                        .count();
                std::lock_guard<std::mutex> hold(lock);
                page_slots[i % kWindow] = std::move(page);
                slots[i % kWindow] = std::move(analysis);
                ready[i % kWindow] = 1;
                changed.notify_all();
            }
        });
    while (added < pages) {
        std::unique_lock<std::mutex> hold(lock);
        changed.wait(hold, [&] { return ready[added % kWindow] != 0; });
        indexer::ExtractedPage page = std::move(page_slots[added % kWindow]);
        indexer::PageAnalysis analysis = std::move(slots[added % kWindow]);
        ready[added % kWindow] = 0;
        hold.unlock();
        for (const indexer::TextRun &run : page.runs) text_bytes += run.text.size();
        const auto adding = std::chrono::steady_clock::now();
        builder.add(page, std::move(analysis));
        adding_ns +=
            (uint64_t)std::chrono::nanoseconds(std::chrono::steady_clock::now() - adding).count();
        hold.lock();
        added++;
        changed.notify_all();
    }
    for (std::thread &worker : workers) worker.join();
    const double analysed = seconds_since(start);
    const uint64_t writing = thread_ns();
    std::string error;
    if (!builder.write(dir, &error)) {
        fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    const double total = seconds_since(start);
    const double write_cpu = (thread_ns() - writing) / 1e9;
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    uint64_t index_bytes = 0;
    for (const char *name : {"vesk_dictionary.vdat", "vesk_wordmap.vdat", "vesk_pagetext.vdat",
                             "vesk_pageinfo.vdat", "vesk_pagedata.vdat"}) {
        struct stat status;
        if (stat((dir + "/" + name).c_str(), &status) == 0) index_bytes += (uint64_t)status.st_size;
    }
    printf("%zu pages, %.1f MB of text, %u words, %d threads\n", pages, text_bytes / 1e6,
           builder.word_count(), threads);
    printf("pages added %.2f s, files written %.2f s, total %.2f s: %.0f pages/s, %.1f MB/s\n",
           analysed, total - analysed, total, pages / total, text_bytes / 1e6 / total);
    printf(
        "CPU: making pages %.2f s, analysing %.2f s (both on the threads); serial: adding "
        "%.2f s, writing %.2f s\n",
        making_ns / 1e9, analysing_ns / 1e9, adding_ns / 1e9, write_cpu);
    printf("on %d free cores: about %.1f s\n", threads,
           std::max((making_ns + analysing_ns) / 1e9 / threads, adding_ns / 1e9) + write_cpu);
    printf("index %.1f MB, peak RSS %.0f MB\n", index_bytes / 1e6, usage.ru_maxrss / 1024.0);
    if (temporary) {
        const std::string command = "rm -rf '" + dir + "'";
        if (system(command.c_str()) != 0) return 1;
    }
    return 0;
}
