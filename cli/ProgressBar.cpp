#include "ProgressBar.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// How often the bar is drawn again, once the run has lasted long enough
// (kFirstShown) to be worth one.
constexpr std::chrono::milliseconds kRedrawTick{250};
constexpr std::chrono::seconds kFirstShown{1};

std::string Megabytes(uint64_t bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
    return text;
}

int TerminalWidth(int fd)
{
    winsize size {};
    return ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

void Put(int fd, const std::string& text)
{
    // Progress is best effort: a failed write only loses a frame.
    if (::write(fd, text.data(), text.size()) < 0)
        return;
}

} // namespace

std::string FormatProgress(uint64_t done, uint64_t total, double seconds, int width)
{
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    char rateText[32];
    std::snprintf(rateText, sizeof rateText, "%.1f MB/s", rate / 1e6);
    if (total == 0)
        return Megabytes(done) + "  " + rateText;

    done = std::min(done, total);
    const double fraction = double(done) / double(total);
    std::string left = "--:--";
    if (rate > 0) {
        const auto secondsLeft = uint64_t(double(total - done) / rate);
        char text[32];
        std::snprintf(text, sizeof text, "%llu:%02llu", (unsigned long long)(secondsLeft / 60),
                      (unsigned long long)(secondsLeft % 60));
        left = text;
    }
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", int(fraction * 100));
    const std::string tail = std::string(" ") + percent + "  " + Megabytes(done) + " of " + Megabytes(total) + "  "
        + rateText + "  " + left + " left";
    const int barWidth = std::max(10, width - 1 - int(tail.size()) - 2);
    const int filled = int(fraction * barWidth);
    return "[" + std::string(size_t(filled), '#') + std::string(size_t(barWidth - filled), '-') + "]" + tail;
}

ProgressBar::ProgressBar(const std::atomic<uint64_t>& done, uint64_t total, int fd)
    : m_done(done)
    , m_total(total)
    , m_fd(fd)
    , m_thread([this] { Run(); })
{
}

ProgressBar::~ProgressBar()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_shown)
        Put(m_fd, "\r\033[K");
}

void ProgressBar::Run()
{
    using namespace std::chrono;
    const auto start = steady_clock::now();
    std::unique_lock lock(m_mutex);
    if (m_wake.wait_for(lock, kFirstShown, [this] { return m_stop; }))
        return;
    do {
        const double elapsed = duration<double>(steady_clock::now() - start).count();
        const int width = TerminalWidth(m_fd);
        std::string line = FormatProgress(m_done.load(std::memory_order_relaxed), m_total, elapsed, width);
        line.resize(std::min(line.size(), size_t(std::max(width - 1, 1))));
        Put(m_fd, "\r" + line + "\033[K");
        m_shown = true;
    } while (!m_wake.wait_for(lock, kRedrawTick, [this] { return m_stop; }));
}
