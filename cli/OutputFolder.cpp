#include "OutputFolder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

#include <sys/stat.h>

namespace fs = std::filesystem;

bool PlanOutputFolder(const std::string& folder, const std::vector<std::string>& inputs, LinkPolicy links,
                      std::vector<std::string>& outputs, std::string& error)
{
    outputs.clear();
    std::string resolved = folder;
    switch (ResolveLinks(resolved, links)) {
    case LinkResolution::Untrusted:
        error = folder + ": " + kUntrustedLinkRefusal;
        return false;
    case LinkResolution::Failed:
        error = folder + ": " + std::strerror(errno);
        return false;
    case LinkResolution::Resolved:
        break;
    }
    std::map<std::string, std::string> inputByName;
    std::map<std::pair<dev_t, ino_t>, std::string> inputByFile;
    for (const std::string& input : inputs) {
        const fs::path name = fs::path(input).filename();
        if (input == "-" || name.empty() || name == "." || name == "..") {
            error = (input == "-" ? std::string("standard input") : input)
                + " has no file name to write under the output folder";
            return false;
        }
        const auto [named, fresh] = inputByName.emplace(name.string(), input);
        if (!fresh) {
            error = named->second + " and " + input + " would both be written to " + (fs::path(folder) / name).string();
            return false;
        }
        struct stat st {};
        if (::stat(input.c_str(), &st) == 0)
            inputByFile.emplace(std::make_pair(st.st_dev, st.st_ino), input);
        outputs.push_back((fs::path(folder) / name).string());
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = folder + ": " + ec.message();
        return false;
    }
    for (const std::string& output : outputs) {
        struct stat st {};
        if (::stat(output.c_str(), &st) != 0)
            continue;
        const auto input = inputByFile.find({st.st_dev, st.st_ino});
        if (input != inputByFile.end()) {
            error = output + " is the input " + input->second + ": it is not written over";
            return false;
        }
    }
    return true;
}
