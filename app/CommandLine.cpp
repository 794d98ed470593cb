#include "CommandLine.h"

#include <QCommandLineParser>

namespace {

void SetUp(QCommandLineParser& parser)
{
    parser.setApplicationDescription(QStringLiteral("Rewrites text in one pass with a dictionary of pairs."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("dictionary"),
        QStringLiteral("Dictionary files to read at start, in order, as if dropped on the window."),
        QStringLiteral("[dictionary...]"));
}

} // namespace

QStringList DictionaryFilesFromCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    SetUp(parser);
    parser.process(arguments);
    return parser.positionalArguments();
}

bool AsksForHelpOrVersion(const QStringList& arguments)
{
    QCommandLineParser parser;
    SetUp(parser);
    // Unknown options, Qt's own among them, are left to the full parse.
    parser.parse(arguments);
    return parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))
        || parser.isSet(QStringLiteral("version"));
}
