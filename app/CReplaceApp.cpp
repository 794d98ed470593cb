#include "CReplaceApp.h"

#include "CReplaceDlg.h"
#include "CommandLine.h"
#include "QtTranslations.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTimer>
#include <QWindow>

#include <chrono>
#include <clocale>
#include <locale>
#include <stdexcept>

CReplaceApp::CReplaceApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    DescribeApplication();
    InstallQtJapaneseTranslations(*this);
}

void DescribeApplication()
{
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION));
    // Ties the window to velmora.desktop, its name and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));
}

QString SettingsPathFor(const QString& executablePath)
{
    const qsizetype slash = executablePath.lastIndexOf(u'/');
    const qsizetype dot = executablePath.lastIndexOf(u'.');
    // A dot that starts the name (".velmora") is part of the name.
    if (dot > slash + 1)
        return executablePath.left(dot) + QStringLiteral(".ini");
    return executablePath + QStringLiteral(".ini");
}

QString ChooseSettingsFile(const QString& executablePath, const SettingsFolders& folders)
{
    // The executable's path is canonical (it comes from /proc/self/exe); the
    // folders are compared in the same form.
    const QString folder = QFileInfo(executablePath).absolutePath();
    const auto sameFolder = [&](const QString& other) {
        return !other.isEmpty() && QFileInfo(other).canonicalFilePath() == QFileInfo(folder).canonicalFilePath();
    };
    const QString beside = SettingsPathFor(executablePath);
    if (sameFolder(folders.build) || (!sameFolder(folders.installed) && QFileInfo::exists(beside)))
        return beside;
    QDir().mkpath(folders.user);
    return QDir(folders.user).filePath(QStringLiteral("velmora.ini"));
}

QString UserSettingsFolder()
{
    // AppConfigLocation would be named after the application name, which is
    // "Velmora" for the window captions; the folder is lower case as usual.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/velmora");
}

void SetJapaneseQtLocale()
{
    // Qt reads its system locale from the LC_* variables and LANG once, at
    // its first use. LC_ALL is put back at once: QApplication hands the
    // variables to the C library, which may have no Japanese locale.
    const bool hadAll = qEnvironmentVariableIsSet("LC_ALL");
    const QByteArray all = qgetenv("LC_ALL");
    qputenv("LC_ALL", "ja_JP.UTF-8");
    (void)QLocale::system();
    if (hadAll)
        qputenv("LC_ALL", all);
    else
        qunsetenv("LC_ALL");
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
}

void SetJapaneseLocale()
{
    static const char* const names[] = {"ja_JP.UTF-8", "ja_JP.utf8"};
    for (const char* name : names) {
        try {
            std::locale::global(std::locale(name)); // also sets the C locale
            return;
        } catch (const std::runtime_error&) {
        }
    }
}

// The few seconds that ShowUntilMapped tries for.
constexpr std::chrono::milliseconds kShowRetry{500};
constexpr int kShowRetries = 10;

void ShowUntilMapped(QWidget& window)
{
    window.show();
    auto* retry = new QTimer(&window);
    QObject::connect(retry, &QTimer::timeout, &window, [&window, retry, tries = 0]() mutable {
        const QWindow* handle = window.windowHandle();
        if ((handle && handle->isExposed()) || window.isMinimized() || !window.isVisible() || ++tries > kShowRetries) {
            retry->deleteLater();
            return;
        }
        window.hide();
        window.show();
    });
    retry->start(kShowRetry);
}

bool CReplaceApp::InitInstance()
{
    const QStringList dictionaries = DictionaryFilesFromCommandLine(arguments());
    m_settingsFile = ChooseSettingsFile(applicationFilePath(),
                                        {QStringLiteral(VELMORA_BUILD_BINDIR), QStringLiteral(VELMORA_INSTALL_BINDIR),
                                         UserSettingsFolder()});
    SetJapaneseLocale();
    CReplaceDlg dialog(m_settingsFile);
    dialog.OpenAtStart(dictionaries);
    // Shown as the application's window, not as a modal one: a modal window
    // without a parent is a dialog to the window manager, and one that is
    // still starting may never map it.
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    ShowUntilMapped(dialog);
    loop.exec();
    return false;
}
