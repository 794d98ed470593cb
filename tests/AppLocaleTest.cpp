// Qt's locale after the application's set-up, in an English environment:
// the Save As dialog lists files with the
// dates and sizes of Qt's system locale and sorts them by QLocale().
#include "CReplaceApp.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationLocale, FileDialogIsJapaneseWhateverTheEnvironmentSays)
{
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    EXPECT_EQ(QLocale(), japanese);
    EXPECT_EQ(QLocale::system().name(), japanese.name());
    EXPECT_EQ(qgetenv("LC_ALL"), QByteArray("en_US.UTF-8")); // as the C library saw it

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("辞書.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1500, 'x'));
    file.close();
    QFileDialog dialog;
    dialog.setDirectory(dir.path());
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(dialog.locale(), japanese);
    const QModelIndex size = model->index(path, 1);
    const QModelIndex modified = model->index(path, 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !model->data(modified).toString().isEmpty(); }));
    EXPECT_EQ(model->data(size).toString(), japanese.formattedDataSize(1500));
    EXPECT_EQ(model->data(modified).toString(),
              japanese.toString(QFileInfo(path).lastModified(), QLocale::ShortFormat));
}

} // namespace

// A user's English environment, then the program's own order: the locale
// first, then the application object.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LC_ALL", "en_US.UTF-8");
    SetJapaneseQtLocale();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
