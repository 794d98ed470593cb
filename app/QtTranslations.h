// Qt's own texts (standard buttons, the file dialog and its questions) in
// Japanese, to match the window.
#pragma once

class QCoreApplication;

// Installs Qt's Japanese translations from the folder Qt was built to look
// in; false when they are not there, and Qt's texts then stay English.
bool InstallQtJapaneseTranslations(QCoreApplication& app);
