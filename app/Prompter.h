// The one seam between the commands and the user's answers: message boxes,
// the Save As dialog and the wait cursor. The program uses WidgetPrompter;
// tests install one that answers from a script.
#pragma once

#include <QString>

class QWidget;

class Prompter {
public:
    enum class Icon { None, Warning, Stop };

    virtual ~Prompter() = default;

    // Yes and No, Yes the default; true for Yes.
    virtual bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) = 0;
    // An OK box.
    virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption, Icon icon) = 0;
    // A Save As dialog with no initial name, no filter and no default
    // extension that asks before replacing a file. Empty when cancelled.
    virtual QString AskSaveFileName(QWidget* owner) = 0;
    virtual void BeginWait() = 0;
    virtual void EndWait() = 0;
};

class WidgetPrompter : public Prompter {
public:
    bool AskYesNo(QWidget* owner, const QString& text, const QString& caption) override;
    void ShowMessage(QWidget* owner, const QString& text, const QString& caption, Icon icon) override;
    QString AskSaveFileName(QWidget* owner) override;
    void BeginWait() override;
    void EndWait() override;
};

// Shows the wait cursor for its lifetime.
class WaitCursor {
public:
    explicit WaitCursor(Prompter& prompter) : m_prompter(prompter) { m_prompter.BeginWait(); }
    ~WaitCursor() { m_prompter.EndWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    Prompter& m_prompter;
};
