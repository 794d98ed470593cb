// The text area's undo and redo stacks. A step keeps what an edit removed and
// only the length of what it put in: the text itself holds that, and it is
// taken from there when the step is undone, so a large paste costs no copy.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class EditHistory {
public:
    // Typing at the end of the last typing joins its step.
    enum class Kind { Typing, Other };
    struct Step {
        size_t at = 0;
        std::u16string removed;
        size_t inserted = 0;
    };

    // [at, at + removed.size()) was replaced by `inserted` units; the redo
    // stack is dropped.
    void Record(size_t at, std::u16string_view removed, size_t inserted, Kind kind);
    void Clear();

    bool CanUndo() const { return !m_undo.empty(); }
    bool CanRedo() const { return !m_redo.empty(); }
    int UndoSteps() const { return int(m_undo.size()); }
    // The step to take back; the caller reverses it and hands the reverse
    // to PushRedo (PushUndo after a redo).
    Step TakeUndo();
    Step TakeRedo();
    void PushUndo(Step step) { m_undo.push_back(std::move(step)); m_typing = false; }
    void PushRedo(Step step) { m_redo.push_back(std::move(step)); }

private:
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    bool m_typing = false; // the last undo step is typing that may go on
};
