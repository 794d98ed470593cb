#include "OrderedOutput.h"

#include <cerrno>

OrderedOutput::OrderedOutput(ByteSink& out, size_t textCount, size_t holdLimit)
    : m_out(out)
    , m_holdLimit(holdLimit)
    , m_held(textCount)
    , m_finished(textCount, 0)
{
}

bool OrderedOutput::Part::Write(std::string_view bytes)
{
    if (m_owner.Write(m_index, bytes))
        return true;
    m_error = m_owner.Error() ? m_owner.Error() : ECANCELED;
    return false;
}

bool OrderedOutput::WriteOut(std::string_view bytes)
{
    if (m_out.Write(bytes))
        return true;
    std::lock_guard lock(m_mutex);
    if (m_error == 0)
        m_error = m_out.Error();
    m_cancelled = true;
    m_turn.notify_all();
    return false;
}

bool OrderedOutput::Write(size_t index, std::string_view bytes)
{
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (m_cancelled)
                return false;
            if (index == m_head)
                break;
            if (m_held[index].size() + bytes.size() <= m_holdLimit) {
                m_held[index].append(bytes);
                return true;
            }
            m_turn.wait(lock);
        }
    }
    // Only the head writes outside the lock, and Finish has passed on to it
    // whatever it held before it became the head.
    return WriteOut(bytes);
}

bool OrderedOutput::Finish(size_t index, bool keep)
{
    std::unique_lock lock(m_mutex);
    if (!keep)
        std::string().swap(m_held[index]);
    m_finished[index] = 1;
    if (index != m_head)
        return !m_cancelled;
    // Hand the output on: write what the texts behind held, up to the next
    // one that is still running, which then writes straight through.
    for (;;) {
        ++m_head;
        if (m_head == m_held.size())
            break;
        std::string held;
        held.swap(m_held[m_head]);
        if (!m_cancelled && !held.empty() && !m_out.Write(held)) {
            if (m_error == 0)
                m_error = m_out.Error();
            m_cancelled = true;
        }
        if (!m_finished[m_head])
            break;
    }
    m_turn.notify_all();
    return !m_cancelled;
}

void OrderedOutput::Cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    m_turn.notify_all();
}

int OrderedOutput::Error() const
{
    std::lock_guard lock(m_mutex);
    return m_error;
}
