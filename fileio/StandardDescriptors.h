// Standard input, output and error that a parent left closed.
#pragma once

// Opens /dev/null on each of file descriptors 0, 1 and 2 that is closed, so
// that no file the program opens later gets one of those numbers and
// receives its error messages or output. Input is opened write-only and
// output read-only, so that a program that uses them sees an error rather
// than silence. False when one cannot be opened.
bool OpenMissingStandardDescriptors();
