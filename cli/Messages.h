// Messages of velmora-replace on standard error.
#pragma once

#include <string>

// Writes "velmora-replace: LINE" whole, even while other threads report.
void Report(const std::string& line);
