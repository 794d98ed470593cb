#include "EditHistory.h"

void EditHistory::Record(size_t at, std::u16string_view removed, size_t inserted, Kind kind)
{
    m_redo.clear();
    if (!m_undo.empty()) {
        Step& last = m_undo.back();
        if (kind == Kind::Typing && m_open == Open::Typing && removed.empty() && last.at + last.inserted == at) {
            last.inserted += inserted;
            return;
        }
        if (kind == Kind::Removal && m_open == Open::Removal && inserted == 0) {
            if (at + removed.size() == last.at) { // Backspace
                last.removed.insert(0, removed);
                last.at = at;
                return;
            }
            if (at == last.at) { // Delete
                last.removed += removed;
                return;
            }
        }
    }
    m_undo.push_back({at, std::u16string(removed), inserted});
    m_open = kind == Kind::Typing || kind == Kind::Insert ? Open::Typing
             : kind == Kind::Removal                      ? Open::Removal
                                                          : Open::None;
}

void EditHistory::Clear()
{
    m_undo.clear();
    m_undo.shrink_to_fit();
    m_redo.clear();
    m_redo.shrink_to_fit();
    m_open = Open::None;
}

EditHistory::Step EditHistory::TakeUndo()
{
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    m_open = Open::None;
    return step;
}

EditHistory::Step EditHistory::TakeRedo()
{
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    return step;
}
