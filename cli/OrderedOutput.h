// One output shared by texts that are replaced in parallel, receiving their
// output in the order of the texts. The first unfinished text writes straight
// through; the ones behind it keep their output in memory up to a limit and
// then wait for their turn, so memory stays bounded and nothing is reordered.
#pragma once

#include "ByteStreams.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

class OrderedOutput {
public:
    OrderedOutput(ByteSink& out, size_t textCount, size_t holdLimit = size_t(8) << 20);

    // A sink for text `index`; used by one thread at a time.
    class Part : public ByteSink {
    public:
        Part(OrderedOutput& owner, size_t index) : m_owner(owner), m_index(index) {}
        bool Write(std::string_view bytes) override;

    private:
        OrderedOutput& m_owner;
        size_t m_index;
    };

    // Text `index` is done. Without `keep`, output it still holds is dropped.
    // False when the output failed (then Error() tells why).
    bool Finish(size_t index, bool keep);
    // Stops every writer: their writes fail from now on.
    void Cancel();
    // errno of the first failed write to the output, 0 if none.
    int Error() const;

private:
    bool Write(size_t index, std::string_view bytes);
    bool WriteOut(std::string_view bytes); // with m_mutex held or as the head

    ByteSink& m_out;
    size_t m_holdLimit;
    mutable std::mutex m_mutex;
    std::condition_variable m_turn;
    size_t m_head = 0; // first unfinished text
    std::vector<std::string> m_held;
    std::vector<char> m_finished;
    bool m_cancelled = false;
    int m_error = 0;
};
