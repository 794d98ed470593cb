// The application object: fixes the settings file beside the executable,
// sets the locale and runs the main window.
#pragma once

#include <QApplication>

class CReplaceApp : public QApplication {
public:
    CReplaceApp(int& argc, char** argv);

    // Runs the main window until it ends; always false, so the process then
    // exits.
    bool InitInstance();

    QString m_pszProfileName;
};

// The executable's path with its extension replaced by ".ini", or ".ini"
// appended where the file name has none.
QString SettingsPathFor(const QString& executablePath);

// The Japanese locale for the C and C++ runtimes where the system has one;
// nothing happens where it has not.
void SetJapaneseLocale();
