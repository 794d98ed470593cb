// The application object: reads the command line, fixes the settings file,
// sets the locale and runs the main window.
#pragma once

#include <QApplication>

#include <functional>

class CReplaceApp : public QApplication {
public:
    CReplaceApp(int& argc, char** argv);

    // Runs the main window until it ends; always false, so the process then
    // exits.
    bool InitInstance();

    QString m_settingsFile;
};

// The application's name, version and desktop entry, for the window and the
// command line.
void DescribeApplication();

// The executable's path with its extension replaced by ".ini", or ".ini"
// appended where the file name has none.
QString SettingsPathFor(const QString& executablePath);

// The settings file for the executable: beside it (SettingsPathFor) when
// `folderWritable` says its folder takes files, as for a program run from its
// build or an unpacked folder; otherwise "velmora.ini" in `userFolder`, which
// is created when missing. An installed program's folder is not the user's to
// write, and settings written nowhere would be lost at every close.
QString ChooseSettingsFile(const QString& executablePath, const QString& userFolder,
                           const std::function<bool(const QString& folder)>& folderWritable);

// Whether this process may create files in `folder`.
bool FolderWritable(const QString& folder);

// The user's own settings folder for Velmora, normally ~/.config/velmora.
QString UserSettingsFolder();

// The Japanese locale for the C and C++ runtimes where the system has one;
// nothing happens where it has not.
void SetJapaneseLocale();
