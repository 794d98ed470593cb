#include "RunPlan.h"

#include "OutputFolder.h"
#include "RunParts.h"
#include "StreamReplacer.h"

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kBlockBytesPerThread = size_t(1) << 20;

RunPlan::Mode ModeOf(const ReplaceOptions& options)
{
    if (!options.compileTo.empty())
        return RunPlan::Mode::Compile;
    if (options.inPlace)
        return RunPlan::Mode::InPlace;
    if (!options.outputDir.empty())
        return RunPlan::Mode::IntoFolder;
    return RunPlan::Mode::ToOutput;
}

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

size_t BlockBytes(unsigned threads)
{
    return threads > 1 ? kBlockBytesPerThread * threads : StreamReplacer::kDefaultBlockBytes;
}

bool MakeRunPlan(const ReplaceOptions& options, RunPlan& plan, std::string& error)
{
    const std::vector<std::string>& files = options.files;
    plan.mode = ModeOf(options);
    plan.files = files;
    plan.outputLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::FollowTrusted;
    if (plan.mode == RunPlan::Mode::IntoFolder
        && !PlanOutputFolder(options.outputDir, files, plan.outputLinks, plan.folderOutputs, error))
        return false;
    plan.backupSuffix = options.backupSuffix;
    plan.totalBytes = RegularFileBytes(files);

    const unsigned cores = UsableCores();
    const unsigned jobs = options.jobs ? options.jobs : cores;
    plan.jobs = unsigned(std::min<size_t>(jobs, files.size()));
    // Cores that no file job takes scan inside the jobs' blocks.
    plan.scanThreads = std::max(1u, cores / std::max(plan.jobs, 1u));
    plan.blockBytes = BlockBytes(plan.scanThreads);
    plan.gloss = options.gloss;
    plan.jsonLines = options.jsonLines;
    plan.jsonField = options.jsonField;
    plan.keepBadLines = options.keepBadLines;

    plan.outputName = options.output.empty() ? "standard output" : options.output;
    plan.checkFirst = options.output.empty();
    plan.inPlaceLinks = options.followSymlinks ? LinkPolicy::Follow : LinkPolicy::Replace;
    plan.showProgress = !options.quiet && ::isatty(STDERR_FILENO);
    plan.countUses = !options.countsPath.empty();
    return true;
}
