#include "BackgroundSync.h"

#include <cerrno>
#include <system_error>
#include <utility>

BackgroundSync::BackgroundSync(SyncFunction sync)
    : m_sync(std::move(sync))
{
}

BackgroundSync::~BackgroundSync()
{
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool BackgroundSync::Start(int fd)
{
    const std::lock_guard lock(m_mutex);
    if (m_busy)
        return false;
    if (!m_thread.joinable()) {
        try {
            m_thread = std::thread([this] { Serve(); });
        } catch (const std::system_error&) {
            return false; // the flush at the end does it all, as without this
        }
    }
    m_fd = fd;
    m_busy = true;
    m_changed.notify_all();
    return true;
}

int BackgroundSync::Wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_busy; });
    return std::exchange(m_error, 0);
}

void BackgroundSync::Serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || m_fd >= 0; });
        if (m_fd < 0)
            return;
        const int fd = std::exchange(m_fd, -1);
        lock.unlock();
        const int error = m_sync(fd) == 0 ? 0 : errno;
        lock.lock();
        if (m_error == 0)
            m_error = error;
        m_busy = false;
        m_changed.notify_all();
    }
}
