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

RunTotals ReplaceFiles(const ReplaceOptions& options, const RunPlan& plan,
                       const std::shared_ptr<const CompiledMatcher>& matcher, OrderedOutput& output,
                       std::atomic<uint64_t>& bytesDone)
{
    const std::vector<std::string>& files = options.files;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> stopped{false};
    std::mutex totalsMutex;
    RunTotals totals;
    auto replaceFiles = [&] {
        std::unique_ptr<TextReplacer> replacer;
        if (options.jsonLines)
            replacer = std::make_unique<JsonLinesReplacer>(matcher, options.jsonField, options.gloss,
                                                           JsonLinesReplacer::kDefaultBlockBytes * plan.scanThreads,
                                                           plan.scanThreads);
        else
            replacer = std::make_unique<StreamReplacer>(matcher, options.gloss,
                                                        StreamReplacer::BlockBytes(plan.scanThreads), plan.scanThreads);
        for (size_t index; !stopped && (index = next++) < files.size();) {
            PairUses fileUses;
            PairUses* usesHere = plan.countUses ? &fileUses : nullptr;
            const FileOutcome outcome = options.inPlace
                ? ReplaceInPlace(files[index], options.backupSuffix, *replacer, usesHere, &bytesDone, nullptr,
                                 plan.inPlaceLinks)
                : !plan.folderOutputs.empty()
                ? ReplaceIntoFile(files[index], plan.folderOutputs[index], *replacer, usesHere, &bytesDone,
                                  plan.outputLinks)
                : ReplaceToOutput(files[index], index, output, plan.outputName, plan.checkFirst, *replacer,
                                  usesHere, &bytesDone);
            if (outcome.stopQuietly) {
                stopped = true;
                output.Cancel();
                break;
            }
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
