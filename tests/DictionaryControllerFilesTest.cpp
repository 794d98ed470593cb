// Reading and saving dictionary files through the dictionary controller.
#include "ControllerTest.h"
#include "DictionaryReader.h"
#include "FailingWrite.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

using DictionaryControllerFilesTest = DictionaryControllerTest;

// --- Reading files --------------------------------------------------------------

TEST_F(DictionaryControllerFilesTest, FilesMergeWithTheDictionary)
{
    Register("k", "x");
    const QString first = WriteDictionary("one.txt", "k\ty\nm\t1\n");
    const QString second = WriteDictionary("two.txt", "k\tx\nn\t2\n");
    Load({first});
    Load({second});
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y"}, {"m", "1"}, {"n", "2"}}));
    // A joined after-string joins its new pieces once, however often it comes.
    const QString joined = WriteDictionary("joined.txt", "k\ty; z\n");
    Load({joined, joined, joined});
    EXPECT_EQ(ListRows(), (Rows{{"k", "x; y; z"}, {"m", "1"}, {"n", "2"}}));
}

TEST_F(DictionaryControllerFilesTest, ThreeFilesWithTheMiddleOneMissing)
{
    const QString first = WriteDictionary("first.txt", "a\t1\n");
    const QString missing = Work(QStringLiteral("ない.txt"));
    const QString third = WriteDictionary("third.txt", "c\t3\n");
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    Load({first, missing, third});
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

TEST_F(DictionaryControllerFilesTest, ReadThatGivesUpPartWayKeepsThePairsFoundAndSaysSo)
{
    Register("k", "x");
    dictionary.SortByColumn(1);
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    const QString path = WriteDictionary(QStringLiteral("長い.txt"), "b\t2\nk\ty\nc\t3\na\t1\n");
    // The pattern search gives up before the fourth line, as Boost does on a
    // match too complex to finish.
    SetDictionarySearchHook([](size_t found) {
        if (found == 3)
            throw std::runtime_error("complexity exceeded");
    });
    Load({path});
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
    Load({path});
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}, {"b", "2"}, {"c", "3"}, {"k", "x; y"}}));
    EXPECT_EQ(prompter.Messages().size(), 1);
}

TEST_F(DictionaryControllerFilesTest, FileWithoutByteOrderMarkAddsNothingAndLeavesTheList)
{
    Register("a", "2");
    Register("b", "1");
    dictionary.SortByColumn(1);
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
        Load({path});
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

TEST_F(DictionaryControllerFilesTest, FileOfOnlyTheByteOrderMarkRefreshesTheList)
{
    Register("a", "2");
    Register("b", "1");
    dictionary.SortByColumn(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"a", "2"}}));
    QSignalSpy resets(model, &QAbstractItemModel::modelReset);

    const QString path = Work("bom-only.txt");
    ASSERT_TRUE(WriteBytes(path, QByteArray("\xFF\xFE", 2)));
    Load({path});
    EXPECT_EQ(ListRows(), (Rows{{"a", "2"}, {"b", "1"}})) << "refreshed: back in order of the before-string";
    EXPECT_EQ(resets.size(), 1);
    EXPECT_TRUE(prompter.asked.isEmpty());
}

TEST_F(DictionaryControllerFilesTest, WaitCursorWhileLoadingAndNotLeftOn)
{
    const QString path = WriteDictionary("d.txt", "a\t1\n");
    QList<int> depthAtRefresh;
    QObject::connect(model, &QAbstractItemModel::modelReset, model,
                     [&] { depthAtRefresh << prompter.waitDepth; });
    Load({path});
    ASSERT_EQ(depthAtRefresh.size(), 1);
    EXPECT_GT(depthAtRefresh[0], 0) << "the list is refreshed under the wait cursor";
    EXPECT_EQ(prompter.waitCount, 1);
    EXPECT_EQ(prompter.waitDepth, 0);

    // A failed file does not leave it on either.
    Load({Work("missing.txt")});
    EXPECT_EQ(prompter.waitCount, 2);
    EXPECT_EQ(prompter.waitDepth, 0);
}

TEST_F(DictionaryControllerFilesTest, FolderCannotBeOpened)
{
    const QString folder = Work("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    WriteDictionary("folder/inside.txt", "a\t1\n");
    Load({folder});
    EXPECT_EQ(model->rowCount(), 0);
    const QList<PromptRecord> messages = prompter.Messages();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0].text, CannotOpenText(folder));
    EXPECT_EQ(messages[0].icon, Prompter::Icon::Warning);
    EXPECT_EQ(messages[0].caption, QApplication::applicationName());
}

// --- Saving -------------------------------------------------------------------

TEST_F(DictionaryControllerFilesTest, SaveWritesTheByteOrderMarkAndOneLinePerRow)
{
    Register("b", "1");
    Register("a", "3");
    Register("c", "2");
    const QString path = Work("saved.txt");
    Save(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("a\t3\nb\t1\nc\t2\n"));
    EXPECT_TRUE(prompter.Messages().isEmpty());
    EXPECT_EQ(prompter.waitCount, 1);
    EXPECT_EQ(prompter.waitDepth, 0);
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"saved.txt"}) << "no temporary file left";
}

TEST_F(DictionaryControllerFilesTest, SaveFollowsTheListsCurrentOrder)
{
    Register("b", "1");
    Register("a", "3");
    Register("c", "2");
    dictionary.SortByColumn(1);
    ASSERT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}}));
    const QString path = Work("by-after.txt");
    Save(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("b\t1\nc\t2\na\t3\n"));
    EXPECT_EQ(ListRows(), (Rows{{"b", "1"}, {"c", "2"}, {"a", "3"}})) << "saving leaves the list";
}

TEST_F(DictionaryControllerFilesTest, SaveReplacesAnExistingFile)
{
    const QString path = WriteDictionary("old.txt", "old\tvalue\nmore\tlines\nthan\tnow\n");
    Register("a", "1");
    Save(path);
    EXPECT_EQ(ReadBytes(path), DictionaryBytes("a\t1\n"));
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"old.txt"});
}

TEST_F(DictionaryControllerFilesTest, CancelledSaveAsWritesNothing)
{
    Register("a", "1");
    Save(QString());
    EXPECT_TRUE(FolderNames(workDir.path()).isEmpty());
    EXPECT_EQ(prompter.asked.size(), 1);
    EXPECT_EQ(prompter.waitCount, 0);
}

TEST_F(DictionaryControllerFilesTest, SavingAnEmptyDictionaryGivesOnlyTheByteOrderMark)
{
    const QString path = Work("empty.txt");
    Save(path);
    EXPECT_EQ(ReadBytes(path), QByteArray("\xFF\xFE", 2));
    EXPECT_TRUE(prompter.Messages().isEmpty());
}

// --- Failed saves ---------------------------------------------------------------

TEST_F(DictionaryControllerFilesTest, SaveIntoAMissingFolderShowsTheErrorAndChangesNothing)
{
    Register("a", "1");
    Register("b", "2");
    const Rows rows = ListRows();
    const QString path = Work("no-such-folder/d.txt");
    Save(path);
    ExpectSaveError(path, ENOENT);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(ListRows(), rows) << "the dictionary is unchanged";
    EXPECT_EQ(prompter.waitDepth, 0);

    // It still saves where it can.
    const QString good = Work("good.txt");
    Save(good);
    EXPECT_EQ(ReadBytes(good), DictionaryBytes("a\t1\nb\t2\n"));
}

TEST_F(DictionaryControllerFilesTest, SaveBelowARegularFileShowsTheError)
{
    Register("a", "1");
    const QString file = WriteDictionary("file.txt", "x\ty\n");
    const QByteArray before = ReadBytes(file);
    const QString path = file + "/d.txt";
    Save(path);
    ExpectSaveError(path, ENOTDIR);
    EXPECT_EQ(ReadBytes(file), before);
    EXPECT_EQ(ListRows(), (Rows{{"a", "1"}}));
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"file.txt"});
}

TEST_F(DictionaryControllerFilesTest, SaveOverAFolderFailsAndLeavesIt)
{
    Register("a", "1");
    const QString folder = Work("folder");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString inside = WriteDictionary("folder/keep.txt", "x\ty\n");
    const QByteArray kept = ReadBytes(inside);

    Save(folder);
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
TEST_F(DictionaryControllerFilesTest, SaveThatFailsPartWayLeavesTheOldFileByteForByte)
{
    for (int i = 0; i < 2000; ++i)
        replacer.AddPair(QStringLiteral("before%1").arg(i, 4, 10, QChar('0')).toStdU16String().c_str(),
                                 u"a longer after-string");
    dictionary.RefreshList();
    const Rows rows = ListRows();
    ASSERT_EQ(rows.size(), 2000);

    const QString path = WriteDictionary("good.txt", "old\tpair\n");
    const QByteArray old = ReadBytes(path);

    fileWrite = FailingWriteAfter(4096);
    Save(path);
    fileWrite = nullptr;

    ExpectSaveError(path, ENOSPC);
    EXPECT_EQ(ReadBytes(path), old) << "the old file is left byte for byte";
    EXPECT_EQ(FolderNames(workDir.path()), QStringList{"good.txt"}) << "no temporary file left";
    EXPECT_EQ(ListRows(), rows);
    EXPECT_EQ(prompter.waitDepth, 0);
}

// A device that is always full, like /dev/full: the save must fail and leave
// the device in place. As root a node of our own is used, so that a broken
// save cannot take the system's one away.
TEST_F(DictionaryControllerFilesTest, SaveToAFullDeviceFailsAndLeavesTheDevice)
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
    Save(device);

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
