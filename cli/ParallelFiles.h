#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace cli {

// Works on `count` files with up to `workers` threads: `work(index, worker)`
// for each, with `worker` below the number of threads (each thread's own
// objects), and `report(index)` for each in the order of the files, as soon
// as it and every file before it are done. Many small files are written at
// once so that the file system syncs them in common, not one after another.
inline void forEachFile(std::size_t count,
                        std::size_t workers,
                        const std::function<void(std::size_t index, std::size_t worker)>& work,
                        const std::function<void(std::size_t index)>& report)
{
    workers = std::clamp<std::size_t>(workers, 1, std::max<std::size_t>(count, 1));
    std::atomic<std::size_t> next{0};
    std::mutex lock;
    std::vector<char> done(count, 0);
    std::size_t reported = 0;
    const auto run = [&](std::size_t worker) {
        for (;;) {
            const std::size_t index = next.fetch_add(1);
            if (index >= count)
                return;
            work(index, worker);
            const std::lock_guard<std::mutex> guard(lock);
            done[index] = 1;
            while (reported < count && done[reported] != 0)
                report(reported++);
        }
    };
    if (workers == 1) {
        run(0);
        return;
    }
    std::vector<std::thread> threads;
    threads.reserve(workers);
    for (std::size_t w = 0; w < workers; ++w)
        threads.emplace_back(run, w);
    for (std::thread& thread : threads)
        thread.join();
}

} // namespace cli
