// The command line: dictionary files to read at start, and the usual --help
// and --version.
#pragma once

#include <QStringList>

// The dictionary files named in `arguments` (the program's name first), in
// order. --help, --version and an unknown option are answered on the terminal
// and end the process, as the command-line parser does.
QStringList DictionaryFilesFromCommandLine(const QStringList& arguments);

// Whether `arguments` ask for --help or --version. These are answered with
// a QCoreApplication, so that they work where there is no window system.
bool AsksForHelpOrVersion(const QStringList& arguments);
