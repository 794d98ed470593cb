#include "RunPlan.h"

#include "OutputFolder.h"
#include "RunParts.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t RegularFileBytes(const std::vector<std::string>& files)
{
    uint64_t total = 0;
    for (const std::string& file : files) {
        struct stat st {};
        if (file != "-" && ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            total += uint64_t(st.st_size);
    }
    return total;
}

} // namespace

bool MakeRunPlan(const ReplaceOptions& options, RunPlan& plan, std::string& error)
{
    const std::vector<std::string>& files = options.files;
    if (!options.outputDir.empty() && !PlanOutputFolder(options.outputDir, files, plan.folderOutputs, error))
        return false;
    plan.totalBytes = RegularFileBytes(files);

    const unsigned cores = UsableCores();
    const unsigned jobs = options.jobs ? options.jobs : cores;
    plan.jobs = unsigned(std::min<size_t>(jobs, files.size()));
    // Cores that no file job takes scan inside the jobs' blocks.
    plan.scanThreads = std::max(1u, cores / std::max(plan.jobs, 1u));

    plan.outputName = options.output.empty() ? "standard output" : options.output;
    plan.checkFirst = options.output.empty();
    plan.outputLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::FollowTrusted;
    plan.inPlaceLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::Replace;
    plan.showProgress = !options.quiet && ::isatty(STDERR_FILENO);
    plan.countUses = !options.countsPath.empty();
    return true;
}
