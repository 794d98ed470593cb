#include "RunReport.h"

#include "AtomicFile.h"
#include "Messages.h"
#include "PairCounts.h"

#include <cstdio>

bool KeepOutputs(const ReplaceOptions& options, const RunPlan& plan, const RunTotals& totals,
                 AtomicFile& outputFile)
{
    bool kept = !totals.failed;
    if (!options.output.empty()) {
        if (totals.failed)
            outputFile.Abandon();
        else if (!outputFile.Commit()) {
            Report(options.output + ": " + outputFile.ErrorText());
            kept = false;
        }
    }
    if (plan.countUses && kept) { // counts of a run that failed somewhere would not be its counts
        AtomicFile countsFile;
        const std::string table = FormatPairCounts(totals.uses);
        if (!countsFile.Open(options.countsPath, AtomicFile::Device::Wait, plan.outputLinks)
            || !countsFile.Write(table) || !countsFile.Commit()) {
            Report(options.countsPath + ": " + countsFile.ErrorText());
            kept = false;
        }
    }
    return kept;
}

std::string StatsLine(size_t files, const RunTotals& totals, double seconds, double loadSeconds, uint64_t bytes)
{
    char line[256];
    std::snprintf(line, sizeof line,
                  "%zu file%s, %llu units, %llu replacements, %.3f s (dictionaries %.3f s), %.1f MB/s", files,
                  files == 1 ? "" : "s", (unsigned long long)totals.units,
                  (unsigned long long)totals.replacements, seconds, loadSeconds,
                  seconds > 0 ? double(bytes) / 1e6 / seconds : 0.0);
    return line;
}
