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
    // How an edit joins the step before it, as a plain-text editor's undo
    // groups them: typed characters join the typing, a paste or a commit of
    // an input method before them, and a character removed by Backspace or
    // Delete joins the removals next to it; a line break, a cut and a removed
    // selection are steps of their own.
    enum class Kind {
        Typing,  // one typed character, nothing removed
        Insert,  // a paste, a commit, typing over a selection: typing may go on in its step
        Removal, // one character removed by Backspace or Delete
        Other,
    };
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
    void PushUndo(Step step) { m_undo.push_back(std::move(step)); m_open = Open::None; }
    void PushRedo(Step step) { m_redo.push_back(std::move(step)); }

private:
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    // What the last undo step takes in: typing at its end, removals next to
    // it, or nothing.
    enum class Open { None, Typing, Removal };
    Open m_open = Open::None;
};
