#include "EditHistory.h"

void EditHistory::Record(size_t at, std::u16string_view removed, size_t inserted, Kind kind)
{
    m_redo.clear();
    const bool typing = kind == Kind::Typing;
    if (typing && m_typing && removed.empty() && m_undo.back().at + m_undo.back().inserted == at) {
        m_undo.back().inserted += inserted;
        return;
    }
    m_undo.push_back({at, std::u16string(removed), inserted});
    m_typing = typing && removed.empty();
}

void EditHistory::Clear()
{
    m_undo.clear();
    m_undo.shrink_to_fit();
    m_redo.clear();
    m_redo.shrink_to_fit();
    m_typing = false;
}

EditHistory::Step EditHistory::TakeUndo()
{
    Step step = std::move(m_undo.back());
    m_undo.pop_back();
    m_typing = false;
    return step;
}

EditHistory::Step EditHistory::TakeRedo()
{
    Step step = std::move(m_redo.back());
    m_redo.pop_back();
    return step;
}
