#include "Messages.h"

#include <iostream>
#include <mutex>

namespace {
std::mutex g_reportMutex;
}

void Report(const std::string& line)
{
    std::lock_guard lock(g_reportMutex);
    std::cerr << "velmora-replace: " << line << std::endl;
}
