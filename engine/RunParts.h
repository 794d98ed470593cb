// Work split into parts that run at the same time.
#pragma once

#include <cstddef>
#include <thread>
#include <vector>

// Runs f(0) to f(count - 1) at once: f(0) on the calling thread, every other
// part on a thread of its own; returns when all are done.
template <typename F>
void RunParts(size_t count, const F& f)
{
    std::vector<std::thread> workers;
    for (size_t p = 1; p < count; ++p)
        workers.emplace_back([&f, p] { f(p); });
    if (count > 0)
        f(0);
    for (std::thread& w : workers)
        w.join();
}
