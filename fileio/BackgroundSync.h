// Flushing a file's data to its disk on a thread of its own while the file
// is still being written. A flush takes the longer the more data it carries
// to the disk, so flushes made as a large file grows leave the one that ends
// it only the last stretch to wait for.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// fdatasync(2) or a stand-in: 0, or -1 with errno set.
using SyncFunction = std::function<int(int fd)>;

class BackgroundSync {
public:
    explicit BackgroundSync(SyncFunction sync);
    // Waits for the flush under way, if any.
    ~BackgroundSync();
    BackgroundSync(const BackgroundSync&) = delete;
    BackgroundSync& operator=(const BackgroundSync&) = delete;

    // Starts flushing `fd`, which stays open until Wait() returns; false when
    // no flush was started (one is under way, or no thread could be had).
    bool Start(int fd);
    // Waits for the flush under way, if any; returns the error of the first
    // flush that failed since the last call, 0 for none.
    int Wait();

private:
    void Serve();

    SyncFunction m_sync;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_fd = -1; // the file to flush next
    bool m_busy = false;
    bool m_quit = false;
    int m_error = 0;
    std::thread m_thread; // started by the first flush
};
