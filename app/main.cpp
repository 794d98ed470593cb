#include "CReplaceApp.h"
#include "CommandLine.h"
#include "StandardDescriptors.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // Started with a standard stream closed, the settings or a dictionary
    // being saved could take its number and receive Qt's warnings.
    OpenMissingStandardDescriptors();
    if (AsksForHelpOrVersion(QStringList(argv, argv + argc))) {
        QCoreApplication app(argc, argv);
        DescribeApplication();
        DictionaryFilesFromCommandLine(app.arguments()); // prints the answer and exits
        return 0;
    }
    SetJapaneseQtLocale();
    CReplaceApp app(argc, argv);
    app.InitInstance();
    return 0;
}
