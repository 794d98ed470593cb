#include "ReplaceProgram.h"

#include "AtomicFile.h"
#include "CompiledDictionary.h"
#include "CompiledMatcher.h"
#include "DictionaryFiles.h"
#include "ExitSignals.h"
#include "ExitStatus.h"
#include "FileRun.h"
#include "Messages.h"
#include "Options.h"
#include "OrderedOutput.h"
#include "ProgressBar.h"
#include "RunPlan.h"
#include "RunReport.h"
#include "StandardDescriptors.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

#include <unistd.h>

namespace {

// JSON lines keep their line breaks inside strings: they may be cut anywhere between lines.
void WarnOfCutLines(const RunPlan& plan, const CompiledMatcher& matcher)
{
    const bool readsStandardInput = std::find(plan.files.begin(), plan.files.end(), "-") != plan.files.end();
    if (readsStandardInput && !plan.jsonLines && matcher.BeforeHoldsLineBreak())
        Report("warning: a before-string holds a line break, so a text cut at line ends (as parallel or a "
               "streaming mapper cuts standard input) is not replaced as the whole text would be");
}

int RunProgram(int argc, const char* const* argv)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    HandleSignals();

    ReplaceOptions options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options, std::cout, std::cerr))
        return *status;

    DictionaryFilesError loadError;
    const std::shared_ptr<const CompiledMatcher> matcher = LoadDictionaries(options.dictionaries, loadError);
    if (!matcher) {
        Report(loadError.message);
        return kExitFailed;
    }
    const double loadSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    RunPlan plan;
    std::string error;
    if (!MakeRunPlan(options, plan, error)) {
        Report(error);
        return kExitFailed;
    }
    if (plan.mode == RunPlan::Mode::Compile) {
        if (!CompiledDictionary::Save(*matcher, options.compileTo, error)) {
            Report(error);
            return kExitFailed;
        }
        return kExitSucceeded;
    }
    WarnOfCutLines(plan, *matcher);

    FdSink standardOutput(STDOUT_FILENO);
    AtomicFile outputFile;
    ByteSink* sink = &standardOutput;
    if (!options.output.empty()) {
        if (!outputFile.Open(options.output, AtomicFile::Device::Wait, plan.outputLinks)) {
            Report(options.output + ": " + outputFile.ErrorText());
            return kExitFailed;
        }
        sink = &outputFile;
    }
    OrderedOutput ordered(*sink, plan.files.size());

    std::atomic<uint64_t> bytesDone{0};
    std::unique_ptr<ProgressBar> progress;
    if (plan.showProgress)
        progress = std::make_unique<ProgressBar>(bytesDone, plan.totalBytes, STDERR_FILENO);
    const RunTotals totals = ReplaceFiles(plan, matcher, ordered, bytesDone);
    progress.reset();

    if (totals.stopped) { // the reader went away: nothing more to say to anyone
        outputFile.Abandon();
        return kExitSucceeded;
    }
    const bool kept = KeepOutputs(options, plan, totals, outputFile);
    if (options.stats) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        Report(StatsLine(plan.files.size(), totals, seconds, loadSeconds, bytesDone.load()));
    }
    return kept ? kExitSucceeded : kExitFailed;
}

} // namespace

int RunReplaceProgram(int argc, const char* const* argv)
{
    // With a standard stream closed, the next file opened would take its
    // number, and messages meant for standard error would go into it.
    if (!OpenMissingStandardDescriptors())
        return kExitFailed;
    try {
        return RunProgram(argc, argv);
    } catch (const std::bad_alloc&) {
        Report(std::strerror(ENOMEM));
        return kExitFailed;
    }
}
