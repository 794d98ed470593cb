// The command line: dictionary files to read at start, and the usual --help
// and --version.
#pragma once

#include <QStringList>

// The dictionary files named in `arguments` (the program's name first), in
// order. --help, --version and an unknown option are answered on the terminal
// and end the process, as the command-line parser does.
QStringList DictionaryFilesFromCommandLine(const QStringList& arguments);
