// Qt's locale after the application's set-up, in an English environment:
// the Save As dialog lists files with the dates and sizes of Qt's system
// locale, sorts them by QLocale(), and shows the dates whole (its Japanese
// column title is narrower than a date).
#include "CReplaceApp.h"
#include "Prompter.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QStyle>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

TEST(ApplicationLocale, SaveAsDialogIsJapaneseWhateverTheEnvironmentSays)
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
    const QString home = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path())); // where the dialog opens

    QLocale shownIn;
    QString size, modified;
    bool dateShownWhole = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* model = dialog->findChild<QFileSystemModel*>();
        auto* view = dialog->findChild<QTreeView*>();
        if (model != nullptr && view != nullptr) {
            const QModelIndex date = model->index(path, 3);
            // The item view's text margins: the focus frame's and one pixel, either side.
            const int margins = 2 * (view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1);
            dateShownWhole = QTest::qWaitFor([&] {
                const QString text = model->data(date).toString();
                return !text.isEmpty() && view->columnWidth(3) >= view->fontMetrics().horizontalAdvance(text) + margins;
            });
            shownIn = dialog->locale();
            size = model->data(model->index(path, 1)).toString();
            modified = model->data(date).toString();
        }
        dialog->reject();
    });
    WidgetPrompter prompter;
    EXPECT_EQ(prompter.AskSaveFileName(nullptr), QString());
    QDir::setCurrent(home);

    EXPECT_EQ(shownIn, japanese);
    EXPECT_EQ(size, japanese.formattedDataSize(1500));
    EXPECT_EQ(modified, japanese.toString(QFileInfo(path).lastModified(), QLocale::ShortFormat));
    EXPECT_TRUE(dateShownWhole);
}

} // namespace

// A user's English environment, then the program's own order: the locale
// first, then the application object with Qt's Japanese texts. The file
// dialog keeps its state in a settings folder of its own.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("LANG", "en_US.UTF-8");
    qputenv("LC_ALL", "en_US.UTF-8");
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    SetJapaneseQtLocale();
    CReplaceApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
