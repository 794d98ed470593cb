// Dictionary files through the main window: files dropped on it and its
// controls, and the Save button.
#include "CommandLine.h"
#include "DictionaryReader.h"
#include "FailingAllocation.h"
#include "FailingWrite.h"
#include "TextArea.h"
#include "WindowTest.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

const QString kNoBomText = QStringLiteral("BOM付きUTF16LEで保存し直してください。");

QString CannotOpenText(const QString& path)
{
    return QStringLiteral("辞書ファイル %1 を開けませんでした。").arg(path);
}

QString Reason(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

// FF FE and the text's UTF-16 units, low byte first.
QByteArray DictionaryBytes(const QString& text)
{
    QByteArray bytes("\xFF\xFE", 2);
    for (const QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

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
        const QString path = Work(name);
        WriteBytes(path, DictionaryBytes(text));
        return path;
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

TEST_F(DictionaryFileCommandsTest, DroppedFilesMergeWithTheDictionary)
{
    Register("k", "x");
    const QString first = WriteDictionary("one.txt", "k\ty\nm\t1\n");
    const QString second = WriteDictionary("two.txt", "k\tx\nn\t2\n");
    DropOnWindow({first});
    DropOnWindow({second});
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}, {"m", "1"}, {"n", "2"}}));
    // A joined after-string joins its new pieces once, however often it comes.
    const QString joined = WriteDictionary("joined.txt", "k\ty; z\n");
    DropOnWindow({joined, joined, joined});
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y; z"}, {"m", "1"}, {"n", "2"}}));
}

TEST_F(DictionaryFileCommandsTest, ThreeFilesWithTheMiddleOneMissing)
{
    const QString first = WriteDictionary("first.txt", "a\t1\n");
    const QString missing = Work(QStringLiteral("ない.txt"));
    const QString third = WriteDictionary("third.txt", "c\t3\n");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    DropOnWindow({first, missing, third});
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"c", "3"}}));
    EXPECT_EQ(resets.size(), 2) << "the list is refreshed after each file that was read";
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, CannotOpenText(missing));
    EXPECT_EQ(messages[0].caption, QApplication::applicationName());
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Warning);
    EXPECT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.waitCount, 3);
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

TEST_F(DictionaryFileCommandsTest, ReadThatGivesUpPartWayKeepsThePairsFoundAndSaysSo)
{
    Register("k", "x");
    ClickHeader(1);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    const QString path = WriteDictionary(QStringLiteral("長い.txt"), "b\t2\nk\ty\nc\t3\na\t1\n");
    // The pattern search gives up before the fourth line, as Boost does on a
    // match too complex to finish.
    SetDictionarySearchHook([](size_t found) {
        if (found == 3)
            throw std::runtime_error("complexity exceeded");
    });
    DropOnWindow({path});
    SetDictionarySearchHook(nullptr);

    EXPECT_EQ(ListRows(), (Rows{{"b", "2"}, {"c", "3"}, {"k", "x; y"}})) << "refreshed with the pairs found";
    EXPECT_EQ(resets.size(), 1);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, QStringLiteral("辞書ファイル %1 を最後まで読み込めませんでした。").arg(path));
    EXPECT_EQ(messages[0].caption, QApplication::applicationName());
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Warning);
    EXPECT_EQ(prompter.waitDepth, 0);

    // The next file is read whole again.
    DropOnWindow({path});
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"k", "x; y"}}));
    EXPECT_EQ(prompter.Messages().size(), 1);
}

TEST_F(DictionaryFileCommandsTest, FileWithoutByteOrderMarkAddsNothingAndLeavesTheList)
{
    Register("a", "2");
    Register("b", "1");
    ClickHeader(1);
    const Rows byAfter{{"b", "1"}, {"a", "2"}};
    ASSERT_EQ(ListRows(), byAfter);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    const QString noBom = Work("plain.txt");
    ASSERT_TRUE(WriteBytes(noBom, QByteArray("c\0\t\0""3\0\n\0", 8)));
    const QString bigEndian = Work("be.txt");
    ASSERT_TRUE(WriteBytes(bigEndian, QByteArray("\xFE\xFF\0c\0\t\0""3\0\n", 10)));
    const QString utf8 = Work("utf8.txt");
    ASSERT_TRUE(WriteBytes(utf8, QByteArray("\xEF\xBB\xBF""c\t3\n")));
    const QString oneByte = Work("one-byte.txt");
    ASSERT_TRUE(WriteBytes(oneByte, QByteArray("\xFF", 1)));
    const QString empty = Work("empty.txt");
    ASSERT_TRUE(WriteBytes(empty, QByteArray()));

    for (const QString& path : {noBom, bigEndian, utf8, oneByte, empty}) {
        SCOPED_TRACE(path.toStdString());
        prompter.asked.clear();
        DropOnWindow({path});
        const QList<PromptRecord> messages = prompter.Messages();
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0].text, kNoBomText);
        EXPECT_EQ(messages[0].caption, QApplication::applicationName());
        EXPECT_EQ(messages[0].icon, Prompter::Icon::Warning);
        EXPECT_EQ(ListRows(), byAfter) << "nothing added and the list not refreshed";
    }
    EXPECT_EQ(resets.size(), 0);
    EXPECT_EQ(prompter.waitDepth, 0);
}

TEST_F(DictionaryFileCommandsTest, FileOfOnlyTheByteOrderMarkRefreshesTheList)
{
    Register("a", "2");
    Register("b", "1");
    ClickHeader(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"a", "2"}}));
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    const QString path = Work("bom-only.txt");
    ASSERT_TRUE(WriteBytes(path, QByteArray("\xFF\xFE", 2)));
    DropOnWindow({path});
    EXPECT_EQ(ListRows(), (Rows{{"a", "2"}, {"b", "1"}})) << "refreshed: back in order of the before-string";
    EXPECT_EQ(resets.size(), 1);
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(DictionaryFileCommandsTest, WaitCursorWhileLoadingAndNotLeftOn)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    QList<int> depthAtRefresh;
    QObject::connect(model, &QAbstractItemModel::modelReset, model,
                     [&] { depthAtRefresh << prompter.waitDepth; });
    DropOnWindow({path});
    ASSERT_EQ(depthAtRefresh.size(), 1);
    EXPECT_GT(depthAtRefresh[0], 0) << "the list is refreshed under the wait cursor";
    EXPECT_EQ(prompter.waitCount, 1);
    EXPECT_EQ(prompter.waitDepth, 0);

    // A failed file does not leave it on either.
    DropOnWindow({Work("missing.txt")});
    EXPECT_EQ(prompter.waitCount, 2);
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

TEST_F(DictionaryFileCommandsTest, DroppedFolderCannotBeOpened)
{
    const QString folder = Work("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteDictionary("folder/inside.txt", "a\t1\n");
    DropOnWindow({folder});
    EXPECT_EQ(model->rowCount(), 0);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, CannotOpenText(folder));
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Warning);
    EXPECT_EQ(messages[0].caption, QApplication::applicationName());
}

// A file too large for memory is reported like one that cannot be opened,
// and the dictionary, the list and the text stay as they were.
TEST_F(DictionaryFileCommandsTest, FileLargerThanMemoryIsReportedAndChangesNothing)
{
    Register("k", "v");
    dlg->m_textEdit->SetText(QStringLiteral("本文"));
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
    EXPECT_EQ(dlg->m_textEdit->ReadText(), QStringLiteral("本文"));
    EXPECT_EQ(prompter.waitDepth, 0);
}

TEST_F(DictionaryFileCommandsTest, DropOnTheTextAreaLoadsTheDictionaryAndLeavesTheText)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    TextArea* text = dlg->m_textEdit;
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
    const DropResult result = Drop(dlg->m_dictList->viewport(), FileUrls({path}));
    EXPECT_TRUE(result.enterAccepted);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));

    const QString second = WriteDictionary("e.txt", "b\t2\n");
    Drop(dlg->m_beforeCombo->lineEdit(), FileUrls({second}));
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
    EXPECT_EQ(dlg->m_beforeCombo->currentText(), QString());
    EXPECT_TRUE(prompter.asked.isEmpty());
}

// File managers offer the names as plain text too; on the before and after
// boxes such a drag is still a file drop, not typing.
TEST_F(DictionaryFileCommandsTest, DropWithNamesAsTextOnTheBoxesLoadsTheDictionaryAndLeavesTheirText)
{
    const QString first = WriteDictionary("d.txt", "a\t1\n");
    const QString second = WriteDictionary("e.txt", "b\t2\n");
    Drop(dlg->m_beforeCombo->lineEdit(), FileUrls({first}), first);
    EXPECT_EQ(dlg->m_beforeCombo->currentText(), QString());
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    Drop(dlg->m_afterCombo->lineEdit(), FileUrls({second}), second);
    EXPECT_EQ(dlg->m_afterCombo->currentText(), QString());
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}}));
}

// --- Saving -------------------------------------------------------------------

TEST_F(DictionaryFileCommandsTest, SaveWritesTheByteOrderMarkAndOneLinePerRow)
{
    Register("b", "1");
    Register("a", "3");
    Register("c", "2");
    const QString path = Work("saved.txt");
    ClickSave(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("a\t3\nb\t1\nc\t2\n"));
    EXPECT_TRUE(prompter.Messages().isEmpty());
    EXPECT_EQ(prompter.waitCount, 1);
    EXPECT_EQ(prompter.waitDepth, 0);
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"saved.txt"}) << "no temporary file left";
}

TEST_F(DictionaryFileCommandsTest, SaveFollowsTheListsCurrentOrder)
{
    Register("b", "1");
    Register("a", "3");
    Register("c", "2");
    ClickHeader(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}}));
    const QString path = Work("by-after.txt");
    ClickSave(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("b\t1\nc\t2\na\t3\n"));
    EXPECT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}})) << "saving leaves the list";
}

TEST_F(DictionaryFileCommandsTest, SaveReplacesAnExistingFile)
{
    const QString path = WriteDictionary("old.txt", "old\tvalue\nmore\tlines\nthan\tnow\n");
    Register("a", "1");
    ClickSave(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("a\t1\n"));
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"old.txt"});
}

TEST_F(DictionaryFileCommandsTest, CancelledSaveAsWritesNothing)
{
    Register("a", "1");
    ClickSave(QString());
    EXPECT_TRUE(FolderNames(workDir.path()).isEmpty());
    EXPECT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.waitCount, 0);
}

TEST_F(DictionaryFileCommandsTest, SavingAnEmptyDictionaryGivesOnlyTheByteOrderMark)
{
    const QString path = Work("empty.txt");
    ClickSave(path);
    EXPECT_EQ(ReadBytes(path), QByteArray("\xFF\xFE", 2));
    EXPECT_TRUE(prompter.Messages().isEmpty());
}

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
    EXPECT_EQ(::ListRows(*fresh->m_dictList->model()), rows);
    EXPECT_EQ(prompter.asked.size(), asked);
}

// --- Failed saves ---------------------------------------------------------------

TEST_F(DictionaryFileCommandsTest, SaveIntoAMissingFolderShowsTheErrorAndChangesNothing)
{
    Register("a", "1");
    Register("b", "2");
    const Rows rows = ListRows();
    const QString path = Work("no-such-folder/d.txt");
    ClickSave(path);
    ExpectSaveError(path, ENOENT);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(ListRows(), rows) << "the dictionary is unchanged";
    EXPECT_EQ(prompter.waitDepth, 0);

    // It still saves where it can.
    const QString good = Work("good.txt");
    ClickSave(good);
    EXPECT_EQ(ReadBytes(good), DictionaryBytes("a\t1\nb\t2\n"));
}

TEST_F(DictionaryFileCommandsTest, SaveBelowARegularFileShowsTheError)
{
    Register("a", "1");
    const QString file = WriteDictionary("file.txt", "x\ty\n");
    const QByteArray before = ReadBytes(file);
    const QString path = file + "/d.txt";
    ClickSave(path);
    ExpectSaveError(path, ENOTDIR);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"file.txt"});
}

TEST_F(DictionaryFileCommandsTest, SaveOverAFolderFailsAndLeavesIt)
{
    Register("a", "1");
    const QString folder = Work("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString inside = WriteDictionary("folder/keep.txt", "x\ty\n");
    const QByteArray kept = ReadBytes(inside);

    ClickSave(folder);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Stop);
    EXPECT_TRUE(messages[0].text.contains(folder)) << messages[0].text.toStdString();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(ReadBytes(inside), kept);
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"folder"}) << "no temporary file left";
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
}

// A write that fails part-way, as on a full disk.
TEST_F(DictionaryFileCommandsTest, SaveThatFailsPartWayLeavesTheOldFileByteForByte)
{
    for (int i = 0; i < 2000; ++i)
        dlg->m_replacer.AddPair(QStringLiteral("before%1").arg(i, 4, 10, QChar('0')).toStdU16String().c_str(),
                                 u"a longer after-string");
    dlg->RefreshList();
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 2000);

    const QString path = WriteDictionary("good.txt", "old\tpair\n");
    const QByteArray old = ReadBytes(path);

    dlg->m_fileWrite = FailingWriteAfter(4096);
    ClickSave(path);
    dlg->m_fileWrite = nullptr;

    ExpectSaveError(path, ENOSPC);
    EXPECT_EQ(ReadBytes(path), old) << "the old file is left byte for byte";
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"good.txt"}) << "no temporary file left";
    EXPECT_EQ(ListRows(), rows);
    EXPECT_EQ(prompter.waitDepth, 0);
}

// A device that is always full, like /dev/full: the save must fail and leave
// the device in place. As root a node of our own is used, so that a broken
// save cannot take the system's one away.
TEST_F(DictionaryFileCommandsTest, SaveToAFullDeviceFailsAndLeavesTheDevice)
{
    QString device = Work("full");
    if (::mknod(QFile::encodeName(device).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        if (::geteuid() == 0 || ::access("/dev", W_OK) == 0)
            GTEST_SKIP() << "cannot make a device node: " << std::strerror(errno);
        device = QStringLiteral("/dev/full"); // nobody but root can write beside it
    }
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(device).constData(), &st), 0);
    ASSERT_TRUE(S_ISCHR(st.st_mode));
    const dev_t rdev = st.st_rdev;

    Register("a", "1");
    ClickSave(device);

    struct stat after {};
    ASSERT_EQ(::lstat(QFile::encodeName(device).constData(), &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode)) << "the device was replaced by a regular file";
    EXPECT_EQ(after.st_rdev, rdev);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1) << "the failed save is not reported";
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Stop);
    EXPECT_TRUE(messages[0].text.contains(device)) << messages[0].text.toStdString();
    if (device != QStringLiteral("/dev/full")) {
        EXPECT_EQ(FolderNames(workDir.path()), QStringList{"full"}) << "no temporary file left";
    }
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
}

} // namespace
