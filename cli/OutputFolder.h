// --output-dir: every input's output goes into one folder, under the input's
// own file name.
#pragma once

#include <string>
#include <vector>

// Makes `folder` when it is missing and gives the output path of each of
// `inputs` in it. False with a one-line `error`, before anything is written,
// when an input has no file name (standard input), two inputs share one, or
// an output would be one of the inputs: the same file by device and inode,
// whatever the names or links that lead to it.
bool PlanOutputFolder(const std::string& folder, const std::vector<std::string>& inputs,
                      std::vector<std::string>& outputs, std::string& error);
