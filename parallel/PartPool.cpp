// A text is replaced block by block, and each block's decoding, scanning,
// building and encoding is split over the cores: dozens of short runs of
// parts a second. Starting a thread for each part costs tens of
// microseconds, and waking an idle core more, so the threads are kept and
// spin a little while between runs before they sleep.
#include "PartPool.h"

#include "RunParts.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include <sched.h>

#include <pthread.h>

namespace {

// How long a kept thread looks for the next run before it sleeps: longer
// than the reading and writing between two runs of a block.
constexpr auto kSpin = std::chrono::milliseconds(2);

void Pause()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

// Calls `step` until it returns true: spinning for kSpin (when `spin`), then
// sleeping on `word` until it is no longer `seen` between calls.
template <typename T, typename Step>
void SpinThenWait(const std::atomic<T>& word, bool spin, Step step)
{
    const auto until = std::chrono::steady_clock::now() + (spin ? kSpin : std::chrono::milliseconds(0));
    for (unsigned k = 1;; ++k) {
        const T seen = word.load(std::memory_order_acquire);
        if (step(seen))
            return;
        if (k % 256 != 0 || std::chrono::steady_clock::now() < until)
            Pause();
        else
            word.wait(seen, std::memory_order_acquire);
    }
}

class Pool {
public:
    bool Run(size_t count, void (*run)(void*, size_t), void* context)
    {
        bool idle = false;
        if (!m_busy.compare_exchange_strong(idle, true, std::memory_order_acquire))
            return false;
        Keep(count - 1);
        m_count.store(count, std::memory_order_relaxed);
        m_run.store(run, std::memory_order_relaxed);
        m_context.store(context, std::memory_order_relaxed);
        m_done.store(0, std::memory_order_relaxed);
        const uint32_t generation = Generation(m_ticket.load(std::memory_order_relaxed)) + 1;
        m_ticket.store(uint64_t(generation) << 32, std::memory_order_release);
        m_ticket.notify_all();
        TakeParts(generation);
        SpinThenWait(m_done, Spins(), [count](size_t done) { return done == count; });
        m_busy.store(false, std::memory_order_release);
        return true;
    }

private:
    // Spinning only while every thread has a core of its own: on fewer, a
    // spinning thread would hold back the one with work.
    bool Spins() const { return m_threads.load(std::memory_order_relaxed) < m_cores; }

    static uint32_t Generation(uint64_t ticket) { return uint32_t(ticket >> 32); }

    // At least `threads` kept threads, as far as the system gives them;
    // fewer take the parts when it gives fewer, and the caller takes any left.
    void Keep(size_t threads)
    {
        try {
            while (m_threads < threads && Start(m_threads))
                ++m_threads;
        } catch (const std::exception&) {
            // no memory for a thread's start: as when the system gives no more
        }
    }

    // Thread `index` of the pool. The kernel puts a new thread on its
    // creator's core, where it waits until the creator sleeps or a balancing
    // tick moves it: a run of a few milliseconds would have ended by then,
    // having used one core. So each thread starts on another core the
    // process may use (the next in turn), and may move as usual once it runs.
    bool Start(size_t index)
    {
        struct Launch {
            Pool* pool;
            uint32_t served;
            cpu_set_t allowed;
            bool pinned;
        };
        auto start = std::make_unique<Launch>();
        start->pool = this;
        start->served = Generation(m_ticket.load(std::memory_order_relaxed));
        pthread_attr_t attributes;
        if (::pthread_attr_init(&attributes) != 0)
            return false;
        if (::sched_getaffinity(0, sizeof start->allowed, &start->allowed) == 0) {
            const int here = ::sched_getcpu();
            std::vector<int> others;
            for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
                if (CPU_ISSET(cpu, &start->allowed) && cpu != here)
                    others.push_back(cpu);
            if (!others.empty()) {
                cpu_set_t first;
                CPU_ZERO(&first);
                CPU_SET(others[index % others.size()], &first);
                start->pinned = ::pthread_attr_setaffinity_np(&attributes, sizeof first, &first) == 0;
            }
        }
        void* (*const serve)(void*) = [](void* given) -> void* {
            const std::unique_ptr<Launch> start(static_cast<Launch*>(given));
            if (start->pinned)
                ::sched_setaffinity(0, sizeof start->allowed, &start->allowed);
            start->pool->Serve(start->served);
            return nullptr;
        };
        pthread_t thread;
        int failed = ::pthread_create(&thread, &attributes, serve, start.get());
        ::pthread_attr_destroy(&attributes);
        if (failed != 0 && start->pinned) { // a core that cannot be had after all (a cpuset): anywhere
            start->pinned = false;
            failed = ::pthread_create(&thread, nullptr, serve, start.get());
        }
        if (failed != 0)
            return false;
        start.release();
        ::pthread_detach(thread);
        return true;
    }

    void Serve(uint32_t served)
    {
        for (;;) {
            SpinThenWait(m_ticket, Spins(), [&](uint64_t ticket) {
                if (Generation(ticket) == served)
                    return false;
                served = Generation(ticket);
                return true;
            });
            TakeParts(served);
        }
    }

    // Runs parts of run `generation` until none is left to take. A part is
    // taken by moving the ticket past it; a thread that comes late finds the
    // ticket of a later run, and takes nothing.
    void TakeParts(uint32_t generation)
    {
        uint64_t ticket = m_ticket.load(std::memory_order_acquire);
        for (;;) {
            if (Generation(ticket) != generation || uint32_t(ticket) >= m_count.load(std::memory_order_relaxed))
                return;
            if (!m_ticket.compare_exchange_weak(ticket, ticket + 1, std::memory_order_acq_rel))
                continue;
            m_run.load(std::memory_order_relaxed)(m_context.load(std::memory_order_relaxed), uint32_t(ticket));
            const size_t done = m_done.fetch_add(1, std::memory_order_acq_rel) + 1;
            if (done == m_count.load(std::memory_order_relaxed))
                m_done.notify_all();
            ticket = m_ticket.load(std::memory_order_acquire);
        }
    }

    std::atomic<bool> m_busy{false};
    const size_t m_cores = UsableCores();
    std::atomic<size_t> m_threads{0}; // kept threads, changed only while busy
    // The run's generation in the high half, the next part to take in the low.
    std::atomic<uint64_t> m_ticket{0};
    std::atomic<size_t> m_count{0};
    std::atomic<void (*)(void*, size_t)> m_run{nullptr};
    std::atomic<void*> m_context{nullptr};
    std::atomic<size_t> m_done{0};
};

// Never destroyed: kept threads may still look at it while the program ends.
// A child forked from the program has none of them, and starts a pool of its own.
std::atomic<Pool*> g_pool{nullptr};

Pool& ThePool()
{
    static const bool forkHandled = [] {
        ::pthread_atfork(nullptr, nullptr, [] { g_pool.store(nullptr, std::memory_order_relaxed); });
        return true;
    }();
    (void)forkHandled;
    Pool* pool = g_pool.load(std::memory_order_acquire);
    if (!pool) {
        Pool* const made = new Pool;
        if (g_pool.compare_exchange_strong(pool, made, std::memory_order_acq_rel))
            pool = made;
        else
            delete made;
    }
    return *pool;
}

} // namespace

bool RunPartsInPool(size_t count, void (*run)(void*, size_t), void* context)
{
    if (count >= (size_t(1) << 32))
        return false;
    return ThePool().Run(count, run, context);
}
