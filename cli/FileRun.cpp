#include "FileRun.h"

#include "FileReplacement.h"
#include "JsonLinesReplacer.h"
#include "Messages.h"
#include "OrderedOutput.h"
#include "StreamReplacer.h"

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

namespace {

std::unique_ptr<TextReplacer> MakeReplacer(const RunPlan& plan, const std::shared_ptr<const CompiledMatcher>& matcher)
{
    if (plan.jsonLines)
        return std::make_unique<JsonLinesReplacer>(matcher, plan.jsonField, plan.gloss, plan.blockBytes,
                                                   plan.scanThreads, plan.keepBadLines);
    return std::make_unique<StreamReplacer>(matcher, plan.gloss, plan.blockBytes, plan.scanThreads);
}

FileOutcome ReplaceFile(const RunPlan& plan, size_t index, TextReplacer& replacer, OrderedOutput& output,
                        PairUses* uses, std::atomic<uint64_t>& bytesDone)
{
    const std::string& file = plan.files[index];
    if (plan.mode == RunPlan::Mode::InPlace)
        return ReplaceInPlace(file, plan.backupSuffix, replacer, uses, &bytesDone, nullptr, plan.inPlaceLinks);
    if (plan.mode == RunPlan::Mode::IntoFolder)
        return ReplaceIntoFile(file, plan.folderOutputs[index], replacer, uses, &bytesDone, plan.outputLinks);
    return ReplaceToOutput(file, index, output, plan.outputName, plan.checkFirst, replacer, uses, &bytesDone);
}

} // namespace

RunTotals ReplaceFiles(const RunPlan& plan, const std::shared_ptr<const CompiledMatcher>& matcher,
                       OrderedOutput& output, std::atomic<uint64_t>& bytesDone)
{
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stopped{false};
    std::mutex totalsMutex;
    RunTotals totals;
    auto replaceFiles = [&] {
        const std::unique_ptr<TextReplacer> replacer = MakeReplacer(plan, matcher);
        for (size_t index; !stopped && (index = next++) < plan.files.size();) {
            PairUses fileUses;
            const FileOutcome outcome =
                ReplaceFile(plan, index, *replacer, output, plan.countUses ? &fileUses : nullptr, bytesDone);
            if (outcome.stopQuietly) {
                stopped = true;
                output.Cancel();
                break;
            }
            if (!outcome.note.empty())
                Report(outcome.note);
            if (!outcome.ok) {
                failed = true;
                Report(outcome.message);
                continue;
            }
            std::lock_guard lock(totalsMutex);
            totals.units += outcome.result.units;
            totals.replacements += outcome.result.replacements;
            MergePairUses(totals.uses, fileUses);
        }
    };
    // A thread must not end by an exception: the run would abort.
    auto work = [&] {
        try {
            replaceFiles();
        } catch (const std::bad_alloc&) {
            failed = true;
            Report(std::strerror(ENOMEM));
        }
    };
    std::vector<std::thread> workers;
    try {
        for (unsigned k = 1; k < plan.jobs; ++k)
            workers.emplace_back(work);
    } catch (const std::exception&) {
        // fewer threads than asked for share the files
    }
    work();
    for (std::thread& worker : workers)
        worker.join();
    totals.failed = failed;
    totals.stopped = stopped;
    return totals;
}
