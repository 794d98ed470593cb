// The base of the tests of the dictionary controller: a controller over a
// Replacer and two history boxes that are never shown, questions answered by
// a TestPrompter, the list model watched by QAbstractItemModelTester, and a
// work folder for dictionary files. The teardown fails a test whose model drew
// warnings or whose questions found no answer queued.
#pragma once

#include "ComboHistory.h"
#include "DictionaryController.h"
#include "Replacer.h"
#include "TestPrompter.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "DictionaryFileTestSupport.h"
#include "QtTestSupport.h"

#include <gtest/gtest.h>

class DictionaryControllerTest : public ::testing::Test {
protected:
    DictionaryControllerTest()
    {
        SetUpHistoryCombo(beforeBox);
        SetUpHistoryCombo(afterBox);
    }

    void SetUp() override { ASSERT_TRUE(workDir.isValid()); }

    void TearDown() override
    {
        EXPECT_EQ(modelWarnings.Count(), 0) << "the model tester reported problems";
        EXPECT_EQ(prompter.unanswered, 0) << "a question came that the test did not expect";
    }

    QComboBox& Before() { return beforeBox; }
    QComboBox& After() { return afterBox; }
    static void Type(QComboBox& box, const QString& text) { box.setEditText(text); }

    void Register(const QString& before, const QString& after)
    {
        Type(beforeBox, before);
        Type(afterBox, after);
        dictionary.Register();
    }

    // Delete with the confirmation answered `yes`, and checks the question.
    void Delete(bool yes)
    {
        const qsizetype asked = prompter.asked.size();
        prompter.yesNoAnswers << yes;
        dictionary.Delete();
        ASSERT_EQ(prompter.asked.size(), asked + 1);
        const PromptRecord& question = prompter.asked.back();
        EXPECT_EQ(question.kind, PromptRecord::YesNo);
        EXPECT_EQ(question.text, QStringLiteral("削除してよろしいですか？"));
        EXPECT_EQ(question.caption, QStringLiteral("確認"));
        EXPECT_EQ(question.icon, Prompter::Icon::None);
        EXPECT_TRUE(prompter.yesNoAnswers.isEmpty());
    }

    QString Work(const QString& name) const { return workDir.filePath(name); }

    QString WriteDictionary(const QString& name, const QString& text) const
    {
        return ::WriteDictionary(workDir, name, text);
    }

    // The files read one after the other, as a drop of them reads them.
    void Load(const QStringList& paths)
    {
        for (const QString& path : paths)
            dictionary.LoadDictionary(path);
    }

    // Save with the Save As dialog answered `answer` (empty: cancelled).
    void Save(const QString& answer)
    {
        const qsizetype asked = prompter.asked.size();
        prompter.saveAsAnswers << answer;
        dictionary.SaveDictionary();
        ASSERT_GT(prompter.asked.size(), asked);
        EXPECT_EQ(prompter.asked[asked].kind, PromptRecord::SaveAs);
        EXPECT_TRUE(prompter.saveAsAnswers.isEmpty());
    }

    // Checks that exactly one message came, and that it is the error of a
    // failed save of `path` for the reason `err`.
    void ExpectSaveError(const QString& path, int err)
    {
        const QList<PromptRecord> messages = prompter.Messages();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].icon, Prompter::Icon::Stop);
        EXPECT_EQ(messages[0].caption, QApplication::applicationName());
        EXPECT_TRUE(messages[0].text.contains(path)) << messages[0].text.toStdString();
        EXPECT_TRUE(messages[0].text.contains(Reason(err))) << messages[0].text.toStdString();
    }

    Rows ListRows() const { return ::ListRows(*model); }
    QString Cell(int row, int column) const { return ::Cell(*model, row, column); }

    QTemporaryDir workDir;
    ModelTesterWarnings modelWarnings;
    Replacer replacer;
    QComboBox beforeBox;
    QComboBox afterBox;
    TestPrompter prompter;
    WriteFunction fileWrite;
    DictionaryController dictionary{replacer, beforeBox, afterBox, prompter, fileWrite};
    QAbstractItemModel* model = &dictionary.Model();
    QAbstractItemModelTester tester{model, QAbstractItemModelTester::FailureReportingMode::Warning};
};
