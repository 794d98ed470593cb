// Work split into parts that run at the same time.
#pragma once

#include "PartPool.h"

#include <algorithm>
#include <cstddef>
#include <exception>
#include <system_error>
#include <thread>
#include <vector>

#include <sched.h>

// The cores this process may run on (at least one): fewer than the machine
// has when it is pinned to some, and then more threads would only take turns.
inline unsigned UsableCores()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return unsigned(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

// Runs f(0) to f(count - 1) at once: on the calling thread and threads kept
// for the purpose, or, when those are taken (a part runs parts of its own,
// or another thread runs parts), f(0) on the calling thread and every other
// part on a thread of its own (on the calling thread too when the system
// gives no more threads); returns when all are done. When parts throw, the
// first part's exception (by part number) is rethrown once all have ended,
// so running out of memory in a part is reported like anywhere else.
template <typename F>
void RunParts(size_t count, const F& f)
{
    std::vector<std::exception_ptr> failures(count);
    auto run = [&f, &failures](size_t p) {
        try {
            f(p);
        } catch (...) {
            failures[p] = std::current_exception();
        }
    };
    auto runInPool = [](void* context, size_t p) { (*static_cast<decltype(run)*>(context))(p); };
    if (count <= 1 || !RunPartsInPool(count, runInPool, &run)) {
        std::vector<std::thread> workers;
        workers.reserve(count);
        size_t p = 1;
        try {
            for (; p < count; ++p)
                workers.emplace_back(run, p);
        } catch (const std::system_error&) {
        }
        for (size_t q = p; q < count; ++q)
            run(q);
        if (count > 0)
            run(0);
        for (std::thread& w : workers)
            w.join();
    }
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
}
