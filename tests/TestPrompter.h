// A Prompter that answers from a script and records what it was asked.
#pragma once

#include "Prompter.h"

#include <QList>
#include <QString>

struct PromptRecord {
    enum Kind { YesNo, Message, SaveAs } kind;
    QString text;
    QString caption;
    Prompter::Icon icon = Prompter::Icon::None;
};

class TestPrompter : public Prompter {
public:
    // Answers for the next questions, oldest first; a question with no answer
    // queued fails the test that asked it.
    QList<bool> yesNoAnswers;
    QList<QString> saveAsAnswers;

    QList<PromptRecord> asked;
    int waitDepth = 0;
    int waitCount = 0;
    int unanswered = 0;

    bool AskYesNo(QWidget*, const QString& text, const QString& caption) override
    {
        asked.append({PromptRecord::YesNo, text, caption});
        if (yesNoAnswers.isEmpty()) {
            ++unanswered;
            return false;
        }
        return yesNoAnswers.takeFirst();
    }

    void ShowMessage(QWidget*, const QString& text, const QString& caption, Icon icon) override
    {
        asked.append({PromptRecord::Message, text, caption, icon});
    }

    QString AskSaveFileName(QWidget*) override
    {
        asked.append({PromptRecord::SaveAs, QString(), QString()});
        if (saveAsAnswers.isEmpty()) {
            ++unanswered;
            return QString();
        }
        return saveAsAnswers.takeFirst();
    }

    void BeginWait() override
    {
        ++waitDepth;
        ++waitCount;
    }

    void EndWait() override { --waitDepth; }

    QList<PromptRecord> Messages() const
    {
        QList<PromptRecord> out;
        for (const PromptRecord& r : asked)
            if (r.kind == PromptRecord::Message)
                out.append(r);
        return out;
    }
};
