#include "CReplaceApp.h"
#include "CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
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
