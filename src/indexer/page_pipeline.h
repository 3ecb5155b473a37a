// Reading the pages of a run in parallel: worker threads read and extract
// files (and run a thread-safe per-page step on them) in any order, while the
// calling thread receives the results strictly in file order, so that what is
// built never depends on the number of threads. At most a window of results
// waits ahead of the one due, which bounds the memory held.
#pragma once

#include <stddef.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace indexer {

constexpr size_t kPipelineWindowPerJob = 16;  // results held ahead of the one due, per thread

// Runs work(i) for i in 0..count-1 on `jobs` threads (1: on the calling
// thread alone) and take(i, result) on the calling thread in order of i.
// work must be safe to run on several threads at once; take runs on one.
template <class Result, class Work, class Take>
void run_in_order(size_t count, int jobs, Work work, Take take) {
    if (jobs <= 1 || count <= 1) {
        for (size_t i = 0; i < count; i++) {
            Result result = work(i);
            take(i, result);
        }
        return;
    }
    const size_t window = kPipelineWindowPerJob * (size_t)jobs;
    std::vector<std::unique_ptr<Result>> slots(count);
    std::mutex lock;
    std::condition_variable ready, room;
    size_t next_claim = 0, next_take = 0;
    auto worker = [&]() {
        while (true) {
            size_t i;
            {
                std::unique_lock<std::mutex> guard(lock);
                room.wait(guard,
                          [&] { return next_claim >= count || next_claim < next_take + window; });
                if (next_claim >= count) return;
                i = next_claim++;
            }
            std::unique_ptr<Result> result(new Result(work(i)));
            std::lock_guard<std::mutex> guard(lock);
            slots[i] = std::move(result);
            if (i == next_take) ready.notify_one();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < jobs; t++) threads.emplace_back(worker);
    for (size_t i = 0; i < count; i++) {
        std::unique_ptr<Result> result;
        {
            std::unique_lock<std::mutex> guard(lock);
            ready.wait(guard, [&] { return slots[i] != nullptr; });
            result = std::move(slots[i]);
            next_take = i + 1;
        }
        room.notify_all();
        take(i, *result);
    }
    for (std::thread &thread : threads) thread.join();
}

}  // namespace indexer
