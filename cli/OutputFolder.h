// --output-dir: every input's output goes into one folder, under the input's
// own file name.
#pragma once

#include "SymbolicLinks.h"

#include <string>
#include <vector>

// Makes `folder` when it is missing and gives the output path of each of
// `inputs` in it. False with a one-line `error`, before anything is written,
// when an input has no file name (standard input), two inputs share one, or
// an output would be one of the inputs: the same file by device and inode,
// whatever the names or links that lead to it. A `folder` that is a
// symbolic link is followed as `links` says, as an output file's would be.
bool PlanOutputFolder(const std::string& folder, const std::vector<std::string>& inputs, LinkPolicy links,
                      std::vector<std::string>& outputs, std::string& error);
