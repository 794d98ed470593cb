// A one-line progress bar on a terminal: bytes done of the total, rate and
// time left. It appears only once the work has taken a second, and is wiped
// when the work ends.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// The bar's text for `width` columns; without a `total` (input from a pipe)
// only the bytes done and the rate.
std::string FormatProgress(uint64_t done, uint64_t total, double seconds, int width);

class ProgressBar {
public:
    ProgressBar(const std::atomic<uint64_t>& done, uint64_t total, int fd);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

private:
    void Run();

    const std::atomic<uint64_t>& m_done;
    uint64_t m_total;
    int m_fd;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_shown = false;
    std::thread m_thread;
};
