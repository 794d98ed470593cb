// Dictionary files through the main window: files dropped on it and its
// controls, files named at start, and the Save button. What the commands do
// with the files is tested through the controller.
#include "CommandLine.h"
#include "DictionaryFileTestSupport.h"
#include "FailingAllocation.h"
#include "TextArea.h"
#include "WindowTest.h"

#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace {

struct DropResult {
    bool enterAccepted = false;
    bool dropAccepted = false;
    bool readDuringDrop = false; // a file was read before the drop event returned
};

// Drags the URLs onto `target` and drops them there, as the window system
// delivers it: enter, move, drop, each to the widget under the mouse.
DropResult Drop(QWidget* target, const QList<QUrl>& urls, const QString& alsoText = QString(),
                const std::function<bool()>& readYet = {})
{
    QMimeData mime;
    mime.setUrls(urls);
    if (!alsoText.isNull())
        mime.setText(alsoText);
    const QPoint at = target->rect().center();
    DropResult result;
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    result.enterAccepted = enter.isAccepted();
    QDragMoveEvent move(at, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton,
                        Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &mime, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    result.dropAccepted = drop.isAccepted();
    result.readDuringDrop = readYet && readYet();
    QCoreApplication::processEvents(); // the files are read once the drop has returned
    return result;
}

QList<QUrl> FileUrls(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths)
        urls << QUrl::fromLocalFile(path);
    return urls;
}

class DictionaryFileCommandsTest : public OneWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(workDir.isValid());
        OneWindowTest::SetUp();
    }

    QString Work(const QString& name) const { return workDir.filePath(name); }

    QString WriteDictionary(const QString& name, const QString& text) const
    {
        return ::WriteDictionary(workDir, name, text);
    }

    DropResult DropOnWindow(const QStringList& paths)
    {
        const int waits = prompter.waitCount;
        return Drop(dlg.get(), FileUrls(paths), QString(), [&] { return prompter.waitCount != waits; });
    }

    // Clicks Save with the Save As dialog answered `answer` (empty: cancelled).
    void ClickSave(const QString& answer)
    {
        const qsizetype asked = prompter.asked.size();
        prompter.saveAsAnswers << answer;
        QTest::mouseClick(dlg->GetDlgItem(IDC_SAVE_DICT), Qt::LeftButton);
        ASSERT_GT(prompter.asked.size(), asked);
        EXPECT_EQ(prompter.asked[asked].kind, PromptRecord::SaveAs);
        EXPECT_TRUE(prompter.saveAsAnswers.isEmpty());
    }

    QTemporaryDir workDir;
};

// --- Dropping files -----------------------------------------------------------

TEST_F(DictionaryFileCommandsTest, DroppedFileAddsItsPairsSortedByTheBeforeString)
{
    // The last line has no line end and is read all the same.
    const QString path = WriteDictionary(QStringLiteral("辞書.txt"), QStringLiteral("b\t2\r\na\t1\n\nZ\t4\nab\t3"));
    const DropResult result = DropOnWindow({path});
    EXPECT_TRUE(result.enterAccepted) << "the window takes dragged files";
    EXPECT_TRUE(result.dropAccepted);
    EXPECT_FALSE(result.readDuringDrop) << "the drag source is not kept waiting while the file is read";
    EXPECT_EQ(ListRows(), (Rows{{"Z", "4"}, {"a", "1"}, {"ab", "3"}, {"b", "2"}}));
    EXPECT_TRUE(prompter.asked.isEmpty());
    EXPECT_EQ(prompter.waitCount, 1);
    EXPECT_EQ(prompter.waitDepth, 0);
}

// `velmora a.txt b.txt`: the files are read once the window runs, in order,
// with the messages a drop of the same files gives.
TEST_F(DictionaryFileCommandsTest, FilesNamedOnTheCommandLineAreReadAsIfDropped)
{
    const QString first = WriteDictionary("first.txt", "b\t1\na\t2\n");
    const QString missing = Work(QStringLiteral("ない.txt"));
    const QString noBom = Work("plain.txt");
    ASSERT_TRUE(WriteBytes(noBom, QByteArray("c\0\t\0""3\0\n\0", 8)));
    const QString last = WriteDictionary("last.txt", "a\t3\n");
    const QStringList files = DictionaryFilesFromCommandLine({"velmora", first, missing, noBom, last});
    ASSERT_EQ(files, (QStringList{first, missing, noBom, last}));

    dlg->OpenAtStart(files);
    EXPECT_EQ(ListRows(), Rows{}) << "nothing is read before the window runs";
    EXPECT_TRUE(QTest::qWaitFor([&] { return prompter.Messages().size() == 2; }));
    EXPECT_EQ(ListRows(), (Rows{{"a", "2; 3"}, {"b", "1"}}));
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0].text, CannotOpenText(missing));
    EXPECT_EQ(messages[1].text, kNoBomText);
    EXPECT_EQ(prompter.asked.size(), 2);
    EXPECT_EQ(prompter.waitDepth, 0);
}

TEST_F(DictionaryFileCommandsTest, NonLocalUrlsAreIgnored)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    Drop(dlg.get(), {QUrl(QStringLiteral("https://example.com/d.txt")),
                        QUrl(QStringLiteral("ftp://example.com/e.txt"))});
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_TRUE(prompter.asked.isEmpty());
    EXPECT_EQ(prompter.waitCount, 0);

    Drop(dlg.get(), {QUrl(QStringLiteral("https://example.com/d.txt")), QUrl::fromLocalFile(path)});
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_TRUE(prompter.asked.isEmpty());
    EXPECT_EQ(prompter.waitCount, 1);
}

// A file too large for memory is reported like one that cannot be opened,
// and the dictionary, the list and the text stay as they were.
TEST_F(DictionaryFileCommandsTest, FileLargerThanMemoryIsReportedAndChangesNothing)
{
    Register("k", "v");
    dlg->TextEdit()->SetText(QStringLiteral("本文"));
    QString text = QStringLiteral("a\t1\n");
    text += QString(1 << 20, u'x'); // 2 MB on disk
    const QString path = WriteDictionary("huge.txt", text + "\tlast\n");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    {
        const FailLargeAllocations seam(1 << 20);
        DropOnWindow({path});
        EXPECT_GT(seam.Failures(), 0);
    }
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, CannotOpenText(path));
    EXPECT_EQ(ListRows(), (Rows{{"k", "v"}}));
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(dlg->TextEdit()->ReadText(), QStringLiteral("本文"));
    EXPECT_EQ(prompter.waitDepth, 0);
}

TEST_F(DictionaryFileCommandsTest, DropOnTheTextAreaLoadsTheDictionaryAndLeavesTheText)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    TextArea* text = dlg->TextEdit();
    text->SetText(QStringLiteral("本文"));

    const DropResult result = Drop(text->viewport(), FileUrls({path}));
    EXPECT_TRUE(result.enterAccepted);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(text->ReadText(), QStringLiteral("本文")) << "neither the name nor the content goes into the text";

    // A drag that also carries the names as text is still a file drop.
    const QString second = WriteDictionary("e.txt", "b\t2\n");
    Drop(text->viewport(), FileUrls({second}), second);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(text->ReadText(), QStringLiteral("本文"));
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(DictionaryFileCommandsTest, DropOnTheListLoadsTheDictionary)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    const DropResult result = Drop(dlg->DictList()->viewport(), FileUrls({path}));
    EXPECT_TRUE(result.enterAccepted);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));

    const QString second = WriteDictionary("e.txt", "b\t2\n");
    Drop(dlg->BeforeCombo()->lineEdit(), FileUrls({second}));
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
    EXPECT_TRUE(prompter.asked.isEmpty());
}

// File managers offer the names as plain text too; on the before and after
// boxes such a drag is still a file drop, not typing.
TEST_F(DictionaryFileCommandsTest, DropWithNamesAsTextOnTheBoxesLoadsTheDictionaryAndLeavesTheirText)
{
    const QString first = WriteDictionary("d.txt", "a\t1\n");
    const QString second = WriteDictionary("e.txt", "b\t2\n");
    Drop(dlg->BeforeCombo()->lineEdit(), FileUrls({first}), first);
    EXPECT_EQ(dlg->BeforeCombo()->currentText(), QString());
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    Drop(dlg->AfterCombo()->lineEdit(), FileUrls({second}), second);
    EXPECT_EQ(dlg->AfterCombo()->currentText(), QString());
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
}

// --- Saving -------------------------------------------------------------------

TEST_F(DictionaryFileCommandsTest, SavedFileDroppedOnAFreshWindowGivesTheSamePairs)
{
    Register("k", "x");
    Register("k", "y");
    Register(" spaced ", " out ");
    Register(QStringLiteral("日本語"), QStringLiteral("にほんご"));
    Register(QString::fromUtf8("\xF0\x9F\x98\x80"), QStringLiteral("smile"));
    Register("Z", "last");
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 5);
    const QString path = Work(QStringLiteral("往復.txt"));
    ClickSave(path);
    ASSERT_TRUE(QFileInfo::exists(path));

    const qsizetype asked = prompter.asked.size();
    const auto fresh = Open();
    Drop(fresh.get(), FileUrls({path}));
    EXPECT_EQ(::ListRows(*fresh->DictList()->model()), rows);
    EXPECT_EQ(prompter.asked.size(), asked);
}

} // namespace
