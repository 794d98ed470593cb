// velmora-replace: loads the dictionaries, makes a plan from the options,
// replaces the files and reports.
#pragma once

// The whole program; returns the exit status.
int RunReplaceProgram(int argc, const char* const* argv);
