// The application object: reads the command line, fixes the settings file,
// sets the locale and runs the main window.
#pragma once

#include <QApplication>
#include <QString>

class CReplaceApp : public QApplication {
public:
    CReplaceApp(int& argc, char** argv);

    // Runs the main window until it ends; always false, so the process then
    // exits.
    bool InitInstance();

    QString m_settingsFile;
};

// Shows the window, and shows it again while it is not on screen, for a few
// seconds: a window manager that is just starting may drop the request to
// map it.
void ShowUntilMapped(QWidget& window);

// The application's name, version and desktop entry, for the window and the
// command line.
void DescribeApplication();

// The executable's path with its extension replaced by ".ini", or ".ini"
// appended where the file name has none.
QString SettingsPathFor(const QString& executablePath);

// The folders that decide where the settings file lies.
struct SettingsFolders {
    QString build;     // where the build puts the program
    QString installed; // where the build installs it
    QString user;      // the user's settings folder (UserSettingsFolder)
};

// The settings file for the executable: beside it (SettingsPathFor) when it
// runs from its build folder, or where such a file already stands (a
// portable copy) outside the folder it is installed to; otherwise
// "velmora.ini" in `folders.user`, which is created when missing. A program
// folder is never written otherwise, whoever runs the program: root could
// write into /usr/bin, and the file would outlive the package.
QString ChooseSettingsFile(const QString& executablePath, const SettingsFolders& folders);

// The user's own settings folder for Velmora, normally ~/.config/velmora.
QString UserSettingsFolder();

// Qt's locale Japanese, whatever the environment says: QLocale(), by which
// Qt's widgets sort, and Qt's system locale, in which its file dialog shows
// dates and sizes. To be called before the application object exists, which
// fixes the system locale.
void SetJapaneseQtLocale();

// The Japanese locale for the C and C++ runtimes where the system has one;
// nothing happens where it has not.
void SetJapaneseLocale();
