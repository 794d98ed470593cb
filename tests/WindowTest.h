// The base of the tests of the main window: windows over a settings file in a
// fresh folder, questions answered by a TestPrompter, every list model
// watched by QAbstractItemModelTester, and the helpers that drive the
// controls. The teardown fails a test whose model drew warnings or whose
// questions found no answer queued.
#pragma once

#include "CReplaceDlg.h"
#include "MainDialogTemplate.h"
#include "TestPrompter.h"
#include "TextArea.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(settingsDir.isValid());
        QGuiApplication::clipboard()->clear();
        modelWarnings = std::make_unique<ModelTesterWarnings>();
    }

    void TearDown() override
    {
        EXPECT_EQ(modelWarnings->Count(), 0) << "the model tester reported problems";
        modelWarnings.reset();
        EXPECT_EQ(prompter.unanswered, 0) << "a question came that the test did not expect";
    }

    QString SettingsPath() const { return settingsDir.filePath(QStringLiteral("velmora.ini")); }

    // A new window on the test's settings file, shown and exposed.
    std::unique_ptr<CReplaceDlg> Open()
    {
        auto dlg = std::make_unique<CReplaceDlg>(SettingsPath(), &prompter);
        QAbstractItemModel* model = dlg->DictList()->model();
        // A child of the model, so that it goes with it.
        new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Warning, model);
        dlg->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dlg.get()));
        return dlg;
    }

    // As Open(), and made the active window so that the focus moves.
    std::unique_ptr<CReplaceDlg> OpenActive()
    {
        auto dlg = Open();
        QApplication::setActiveWindow(dlg.get());
        dlg->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
        return dlg;
    }

    // Closes the window the way its close box does and lets the events settle.
    static void Close(CReplaceDlg& dlg)
    {
        dlg.close();
        QCoreApplication::processEvents();
    }

    static QPushButton* Button(const CReplaceDlg& dlg, int id)
    {
        return qobject_cast<QPushButton*>(dlg.GetDlgItem(id));
    }

    static QRadioButton* Radio(const CReplaceDlg& dlg, int id)
    {
        return qobject_cast<QRadioButton*>(dlg.GetDlgItem(id));
    }

    // Replaces the field's text by typing; text beyond ASCII comes from an
    // input method.
    static void Type(QComboBox& box, const QString& text)
    {
        QLineEdit* field = box.lineEdit();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        bool ascii = true;
        for (const QChar c : text)
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            QTest::keyClicks(field, text);
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QApplication::sendEvent(field, &commit);
        }
        EXPECT_EQ(box.currentText(), text);
    }

    // Types the pair into the boxes and clicks Register.
    static void Register(CReplaceDlg& dlg, const QString& before, const QString& after)
    {
        Type(*dlg.BeforeCombo(), before);
        Type(*dlg.AfterCombo(), after);
        QTest::mouseClick(Button(dlg, IDC_REGISTER), Qt::LeftButton);
    }

    // A click on the middle of the column's header button.
    static void ClickHeader(CReplaceDlg& dlg, int column)
    {
        QHeaderView* header = dlg.DictList()->horizontalHeader();
        QSignalSpy clicked(header, &QHeaderView::sectionClicked);
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->viewport()->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        ASSERT_EQ(clicked.size(), 1) << "the header did not report the click on column " << column;
        EXPECT_EQ(clicked.front().front().toInt(), column);
    }

    // Puts `text` at the cursor the way Ctrl+V does.
    static void Paste(CReplaceDlg& dlg, const QString& text)
    {
        QGuiApplication::clipboard()->setText(text);
        dlg.TextEdit()->paste();
    }

    QTemporaryDir settingsDir;
    TestPrompter prompter;
    std::unique_ptr<ModelTesterWarnings> modelWarnings;
};

// For the tests that drive one window from start to end: `dlg`, opened before
// the test and closed after it, with its list model as `model`.
class OneWindowTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        dlg = Open();
        model = dlg->DictList()->model();
    }

    void TearDown() override
    {
        dlg.reset();
        WindowTest::TearDown();
    }

    Rows ListRows() const { return ::ListRows(*model); }
    QString Cell(int row, int column) const { return ::Cell(*model, row, column); }
    void Register(const QString& before, const QString& after) { WindowTest::Register(*dlg, before, after); }
    void ClickHeader(int column) { WindowTest::ClickHeader(*dlg, column); }

    std::unique_ptr<CReplaceDlg> dlg;
    QAbstractItemModel* model = nullptr;
};
