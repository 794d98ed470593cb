#include "CommandLine.h"

#include <QCommandLineParser>

QStringList DictionaryFilesFromCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Rewrites text in one pass with a dictionary of pairs."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("dictionary"),
        QStringLiteral("Dictionary files to read at start, in order, as if dropped on the window."),
        QStringLiteral("[dictionary...]"));
    parser.process(arguments);
    return parser.positionalArguments();
}
