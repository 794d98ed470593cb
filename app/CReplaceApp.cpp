#include "CReplaceApp.h"

#include "CReplaceDlg.h"
#include "QtTranslations.h"

#include <QFileInfo>

#include <clocale>
#include <locale>
#include <stdexcept>

CReplaceApp::CReplaceApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Velmora"));
    InstallQtJapaneseTranslations(*this);
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

bool CReplaceApp::InitInstance()
{
    m_pszProfileName = SettingsPathFor(applicationFilePath());
    SetJapaneseLocale();
    CReplaceDlg dialog(m_pszProfileName);
    dialog.exec();
    return false;
}
